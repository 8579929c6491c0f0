// --merge-reports: the shards' reports read back, and the summary that one
// run over the whole tree would have given.
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/batch_mode.h"
#include "engine/comparison_run.h"
#include "engine/json.h"
#include "engine/line_escape.h"
#include "engine/run_report.h"
#include "platform/file_access.h"
#include "platform/io_error.h"

namespace zek {
namespace {

// What the merge needs of one report: its run record and its last record.
struct ShardReport {
  std::string Name;
  std::optional<JsonValue> Run;
  std::optional<JsonValue> End;
  Shard Part;
};

class MergeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Hands each line of the file to `line`, without holding more than one.
template <class OnLine>
void ReadLines(const std::string& name, OnLine line) {
  const FileLook look = Files().LookAndOpen(name);
  if (look.Handle == kNoFile)
    throw MergeError(name + ": cannot be read" + (look.Exists ? " (" + ErrorMessage(look.OpenError) + ")" : ": not found"));
  struct Closer {
    FileHandle Handle;
    ~Closer() { Files().Close(Handle); }
  } closer{look.Handle};
  std::string pending;
  std::vector<char> buffer(1 << 16);
  int64_t number = 0;
  for (;;) {
    const FileResult<size_t> read = Files().BlockRead(look.Handle, buffer.data(), buffer.size());
    if (!read.Ok()) throw MergeError(name + ": cannot be read (" + ErrorMessage(read.Error()) + ")");
    const size_t n = read.Value();
    size_t from = 0;
    for (size_t i = 0; i < n; ++i) {
      if (buffer[i] != '\n') continue;
      pending.append(buffer.data() + from, i - from);
      line(++number, pending);
      pending.clear();
      from = i + 1;
    }
    pending.append(buffer.data() + from, n - from);
    if (n == 0) break;
  }
  if (!pending.empty()) line(++number, pending);
}

ShardReport ReadReport(const std::string& name) {
  ShardReport report{name, std::nullopt, std::nullopt, {}};
  ReadLines(name, [&](int64_t number, const std::string& text) {
    const std::string where = name + ":" + std::to_string(number) + ": ";
    std::string error;
    std::optional<JsonValue> record = ParseJson(text, error);
    if (!record || record->Type != JsonValue::Kind::Object) throw MergeError(where + (record ? "not a record" : error));
    const std::optional<std::string> type = record->StringAt("type");
    if (report.End) throw MergeError(where + "a record after the last record");
    if (number == 1) {
      const std::optional<Shard> part = ParseShard(record->StringAt("shard").value_or(""));
      if (type != "run" || !part) throw MergeError(where + "not the first record of a report");
      if (record->IntegerAt("format").value_or(0) > kReportFormat)
        throw MergeError(where + "written by a later version of the format");
      report.Part = *part;
      report.Run = std::move(record);
    } else if (type == "end") {
      report.End = std::move(record);
    }
  });
  if (!report.Run) throw MergeError(name + ": empty, no report");
  if (!report.End) throw MergeError(name + ": cut off, the run's last record is missing");
  return report;
}

// The shards must be one run's: same tree, same mask, each part once.
void CheckParts(const std::vector<ShardReport>& reports) {
  const ShardReport& first = reports.front();
  std::map<uint32_t, const ShardReport*> parts;
  for (const ShardReport& report : reports) {
    for (const char* field : {"mode", "manifest", "source_dir", "mask", "target_dir"})
      if (report.Run->StringAt(field) != first.Run->StringAt(field))
        throw MergeError(report.Name + ": not a shard of the run of " + first.Name + " (its " + field + " differs)");
    if (report.Part.N != first.Part.N)
      throw MergeError(report.Name + ": a shard of " + std::to_string(report.Part.N) + ", " + first.Name + " of " +
                       std::to_string(first.Part.N));
    if (!parts.emplace(report.Part.K, &report).second)
      throw MergeError(report.Name + ": shard " + std::to_string(report.Part.K) + " given twice, also as " +
                       parts[report.Part.K]->Name);
  }
  std::string missing;
  for (uint32_t k = 1; k <= first.Part.N; ++k)
    if (parts.count(k) == 0) missing += (missing.empty() ? "" : ", ") + std::to_string(k) + "/" + std::to_string(first.Part.N);
  if (!missing.empty()) throw MergeError("shards missing: " + missing);
}

int32_t Count(const ShardReport& report, const char* name) {
  const JsonValue* counts = report.End->Find("counts");
  const std::optional<int64_t> n = counts != nullptr ? counts->IntegerAt(name) : std::nullopt;
  if (!n || *n < 0 || *n > INT32_MAX) throw MergeError(report.Name + ": the last record has no count \"" + name + "\"");
  return static_cast<int32_t>(*n);
}

RunCounts Sum(const std::vector<ShardReport>& reports) {
  RunCounts sum;
  for (const ShardReport& report : reports) {
    sum.FilesTotal += Count(report, "files");
    sum.TargetsNotFound += Count(report, "target_missing");
    sum.FilesDifferent += Count(report, "different");
    sum.FilesNotCompared += Count(report, "not_compared");
    sum.DirectoriesNotCompared += Count(report, "directories_not_listed");
    sum.TotalBytes += static_cast<long double>(report.End->IntegerAt("bytes").value_or(0));
  }
  return sum;
}

void Print(const std::string& line) { std::printf("%s\n", EscapeControls(line).c_str()); }

}  // namespace

int MergeReports(const CommandLine& command) {
  if (!command.Error.empty()) {
    std::fprintf(stderr, "zek32: %s\nTry 'zek32 --help'.\n", command.Error.c_str());
    return kExitTrouble;
  }
  try {
    std::vector<ShardReport> reports;
    for (const std::string& name : command.Paths) reports.push_back(ReadReport(name));
    CheckParts(reports);
    const RunCounts counts = Sum(reports);
    // A shard ended by the user or an error ends the whole run so.
    bool userBreak = false;
    for (const ShardReport& report : reports) {
      const std::string ended = report.End->StringAt("ended").value_or("");
      if (ended == "error")
        throw MergeError(report.Name + ": the run ended by an error: " + report.End->StringAt("error").value_or(""));
      if (ended != "finished") userBreak = true;
    }
    const ShardReport& first = reports.front();
    if (userBreak) Print("USER BREAK!");
    for (const std::string& line : CountLines(counts)) Print(line);
    const JsonValue* subdirectories = first.Run->Find("subdirectories");
    const std::string incomplete =
        IncompleteText(counts, first.Run->StringAt("source_dir").value_or(""), first.Run->StringAt("mask").value_or(""),
                       subdirectories == nullptr || subdirectories->Bool);
    if (!incomplete.empty()) Print(incomplete);
    Print(counts.TargetsNotFound == 0 && counts.FilesDifferent == 0 ? "No differences found" : "Differences found.");
    if (std::fflush(stdout) != 0) return kExitTrouble;
    return ExitCodeFor(userBreak, counts.TargetsNotFound != 0 || counts.FilesDifferent != 0, incomplete.empty());
  } catch (const MergeError& error) {
    std::fprintf(stderr, "zek32: %s\n", EscapeControls(error.what()).c_str());
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "zek32: a report holds a record too large to be read\n");
  }
  return kExitTrouble;
}

}  // namespace zek
