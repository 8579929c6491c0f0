#pragma once
// The check of a target tree against a manifest alone (engine/manifest.h):
// every file it records is looked up below the target and compared by size,
// then by its SHA-256. Several readers work at once, as a cold disk serves many
// reads at a time; the lines come in the manifest's order all the same.
#include <atomic>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/manifest.h"
#include "engine/run_interfaces.h"
#include "engine/run_record.h"
#include "engine/shard.h"
#include "platform/text_file.h"

namespace zek {

// A manifest that cannot be read or is malformed: its text names the file,
// and the line where there is one.
class EManifestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class CheckStatus { Intact,
                         NotFound,
                         SizeDiffers,
                         ContentDiffers,
                         NotChecked };

// What the check found of one recorded file; every one passes through
// TManifestCheck::Take.
struct CheckedFile {
  std::string RelativePath;  // as recorded, "/" between its parts
  std::string Path;          // below the target, as the lines name it
  CheckStatus Status = CheckStatus::NotChecked;
  std::optional<int64_t> RecordedSize;
  std::optional<int64_t> FoundSize;
  std::optional<int64_t> RecordedTimeSteps;
  std::optional<int64_t> FoundTimeSteps;
  FileTime FoundWriteTime;  // where FoundTimeSteps is known
  std::string Reason;       // why it was not checked
  NotComparedReason Cause = NotComparedReason::None;
  int64_t BytesRead = 0;
  bool TimeDiffers() const { return RecordedTimeSteps && FoundTimeSteps && *RecordedTimeSteps != *FoundTimeSteps; }
};

struct ManifestCheckPlan {
  std::string ManifestFile;
  std::string TargetDir;
  Shard Part;
  bool TimeCounts = false;  // a different time is a difference, not only a line
  bool FromDisk = false;    // each file's cached pages are dropped before it is read
  bool ShowIntact = false;  // a line for every intact file too (MsgEqual)
};

struct CheckCounts {
  int32_t FilesTotal = 0;
  int32_t NotFound = 0;
  int32_t Different = 0;
  int32_t NotChecked = 0;
  int64_t Bytes = 0;  // read and hashed
};

class TManifestCheck {
 public:
  TManifestCheck(IRunView& view, ManifestCheckPlan plan);
  // Reads and parses the manifest; raises EManifestError.
  void Load();
  // Where the check's JSON Lines report goes; `file` is the report's, never one of the target's.
  void SetRecorder(IRunRecorder* recorder, const TextFile* file) {
    recorder_ = recorder;
    reportFile_ = file;
  }
  // The check, with its lines from "running..." to the verdict. The view's
  // dispatch may call Break.
  void Run();
  void Break() {
    stop_ = true;
    halt_ = true;
  }
  bool UserBreak() const { return stop_; }
  const CheckCounts& Counts() const { return counts_; }
  // What the check could not check, as one line; empty when it checked all.
  std::string IncompleteText() const;

 private:
  CheckedFile CheckOne(const ManifestEntry& entry) const;
  // The one place each file's outcome is reported and counted.
  void Take(const CheckedFile& file);
  void Record(const CheckedFile& file) const;
  void Report(const std::string& line);

  IRunView& view_;
  ManifestCheckPlan plan_;
  std::vector<ManifestEntry> entries_;
  CheckCounts counts_;
  IRunRecorder* recorder_ = nullptr;
  const TextFile* reportFile_ = nullptr;
  std::atomic<bool> stop_{false};  // the user broke the check off
  std::atomic<bool> halt_{false};  // the readers are to stop: a break, or the check's end
};

}  // namespace zek
