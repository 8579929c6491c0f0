#pragma once
// The JSON Lines report of a run: a first record for the run, one per file
// taken up and per directory that could not be listed, in the run's order, and
// a last record with the counts and the verdict. Each record is one line,
// handed to the sink as soon as it is known.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "engine/comparison_run.h"
#include "engine/run_record.h"
#include "engine/shard.h"

namespace zek {

// The format's version, in the first record; a reader that meets a later one
// may find fields it does not know.
constexpr int kReportFormat = 1;

struct ReportOption {
  std::string Key;  // as the settings file names it
  std::variant<bool, int64_t, std::string> Value;
};

struct ReportStart {
  std::optional<std::string> Manifest;  // a check's, which stands in for the source
  std::string Source;                   // as given
  std::string Target;
  std::string SourceDir;
  std::string Mask;
  std::string TargetDir;
  bool Subdirectories = true;
  Shard Part;
  std::vector<ReportOption> Options;
  FileTime Started;
};

enum class RunEnding { Finished,
                       UserBreak,
                       Error };

struct ReportEnd {
  RunCounts Counts;
  RunEnding Ending = RunEnding::Finished;
  std::string Error;  // what ended a run by error
  int ExitCode = 0;
  double ElapsedSeconds = 0;
};

// The verdict's name for an exit code: "same", "different", "trouble",
// "incomplete".
const char* VerdictName(int exitCode);

// The zone's offset from UTC at the last second asked for: the files of a tree
// mostly share their last write's second with the one before.
class ZoneMemo {
 public:
  int64_t OffsetAt(int64_t seconds);

 private:
  bool known_ = false;
  int64_t at_ = 0;
  int64_t offset_ = 0;
};

class RunReport : public IRunRecorder {
 public:
  using Sink = std::function<void(const std::string& line)>;
  explicit RunReport(Sink sink) : sink_(std::move(sink)) {}

  void Started(const ReportStart& start);
  void PairTaken(const PairRecord& pair) override;
  void DirectoryNotListed(const std::string& relativePath, int error) override;
  void Ended(const ReportEnd& end);

 private:
  Sink sink_;
  ZoneMemo zone_;
  bool check_ = false;  // of a check against a manifest
  std::string line_;    // reused: a record costs no allocation once it has grown
};

// "2026-12-09T17:01:02.5+01:00": local time with its offset.
std::string IsoLocalTime(const FileTime& time);

}  // namespace zek
