#include "engine/comparison_run.h"

#include "engine/line_escape.h"
#include "engine/manifest.h"
#include "engine/path_rules.h"
#include "engine/probe.h"

namespace zek {
namespace {

// Keeps the busy flag set while the run goes on; clears it and closes the log
// however the run ends.
class RunGuard {
 public:
  RunGuard(bool& busy, TextFile& log) : busy_(busy), log_(log) { busy_ = true; }
  ~RunGuard() {
    log_.CloseQuietly();
    busy_ = false;
  }
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;

 private:
  bool& busy_;
  TextFile& log_;
};

}  // namespace

TComparisonRun::TComparisonRun(IRunView& view, IRunInputs& inputs)
    : view_(view),
      inputs_(inputs),
      sourceBuffer_(kReadAheadBlocks * kBlockSize),
      targetBuffer_(kReadAheadBlocks * kBlockSize) {}

void TComparisonRun::ResetCounters() {
  counts_.FilesTotal = 0;
  counts_.TargetsNotFound = 0;
  counts_.FilesDifferent = 0;
  counts_.FilesNotCompared = 0;
  counts_.DirectoriesNotCompared = 0;
  counts_.TotalBytes = 0.0L;
  view_.SetLabel(StatusLabel::NichtGefunden, "Not found: 0");
  view_.SetLabel(StatusLabel::Verschieden, "Different: 0");
  view_.SetLabel(StatusLabel::Total, "Total files: 0");
  view_.SetLabel(StatusLabel::ByteTotal, "Total bytes: 0");
  view_.SetLabel(StatusLabel::File, "Comparing: ./.");
}

void TComparisonRun::RunComparison() {
  Run([this] {
    // While the walk goes on, helpers fetch the files it reaches next; they
    // are told to stop when it ends, however it ends, and never waited for.
    IOptionControls& options = inputs_.Options();
    ReadAheadPlan plan{sourceDir_, sourceMask_, targetDir_, inputs_.IncludeSubDir(), inputs_.ReadFromDisk(),
                       !options.Checked(Option::OnlyTimeDateSize), options.Checked(Option::CompareDifferentSize)};
    // The helpers fetch only this shard's files; the filter outlives the run with them.
    if (!shard_.Whole())
      plan.Takes = [dir = sourceDir_, shard = shard_](const std::string& source) {
        return InShard(RelativePath(dir, source), shard);
      };
    readAhead_.emplace(plan);
    try {
      CompareDirectory(sourceDir_, targetDir_);
    } catch (...) {
      readAhead_.reset();
      throw;
    }
    readAhead_.reset();
  });
}

void TComparisonRun::RunPairComparison() {
  Run([this] {
    const FileLook look = Files().LookAndOpen(searchPath_);
    Files().Close(look.Handle);
    CompareFilePair(searchPath_, targetPath_, look.Size, KnownAs::Nothing);
  });
}

void TComparisonRun::Run(const std::function<void()>& compare) {
  RunGuard guard(busy_, logFile_);
  ResetCounters();
  IOptionControls& options = inputs_.Options();
  if (options.Checked(Option::WriteLog)) {
    const std::string logName = options.LogName();
    if (ProbeFileName(logName)) {
      logFile_.Rewrite(logName);
    } else {
      options.SetChecked(Option::WriteLog, false);
    }
  }
  view_.ClearMessages();
  userBreak_ = false;
  view_.SetLabel(StatusLabel::NichtGefunden, "Not found: 0");
  view_.SetLabel(StatusLabel::Verschieden, "Different: 0");
  view_.SetLabel(StatusLabel::Total, "Total: 0");
  view_.SetLabel(StatusLabel::File, "Comparing: ./.");

  searchPath_ = inputs_.SourcePath();
  targetPath_ = inputs_.TargetPath();
  sourceDir_ = DirectoryOrCurrent(searchPath_);
  targetDir_ = DirectoryOrCurrent(targetPath_);
  sourceMask_ = NamePart(searchPath_);

  Report("running...");
  compare();
  Report("finished.");
  view_.SetLabel(StatusLabel::File, "Comparing: ./.");
  if (userBreak_) Report("USER BREAK!");
  for (const std::string& line : CountLines(counts_)) Report(line);
  // A run that left something unchecked says so before its verdict, which
  // stays the last line.
  if (const std::string incomplete = IncompleteRunText(); !incomplete.empty()) Report(incomplete);
  // A manifest of a run broken off would look like the record of a whole one.
  if (manifest_ != nullptr && !userBreak_) {
    manifest_->Commit();
    Report("Manifest written: " + manifest_->FileName() + " (" + std::to_string(manifest_->Recorded()) +
           (manifest_->Recorded() == 1 ? " file)" : " files)"));
  }
  // Every line so far is in the file before the verdict may say it was written.
  if (logFile_.IsOpen()) logFile_.Flush();
  if (counts_.TargetsNotFound == 0 && counts_.FilesDifferent == 0) {
    Report("No differences found");
  } else if (options.Checked(Option::WriteLog)) {
    Report("Differences found. Log written: " + options.LogName());
  } else {
    Report("Differences found.");
  }
  logFile_.Close();
}

std::vector<std::string> CountLines(const RunCounts& counts) {
  std::vector<std::string> lines{"Files total: " + std::to_string(counts.FilesTotal)};
  if (counts.TargetsNotFound != 0) lines.push_back("Target files not found: " + std::to_string(counts.TargetsNotFound));
  if (counts.FilesDifferent != 0) lines.push_back("Files with differences: " + std::to_string(counts.FilesDifferent));
  return lines;
}

std::string IncompleteText(const RunCounts& counts, const std::string& sourceDir, const std::string& mask,
                           bool subdirectories) {
  const auto count = [](int32_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  if (counts.FilesTotal == 0) {
    std::string text = "Nothing compared: no file in " + sourceDir + (subdirectories ? " or its subdirectories" : "") +
                       " matches the mask \"" + mask + "\"";
    if (counts.DirectoriesNotCompared != 0)
      text += ", " + count(counts.DirectoriesNotCompared, "directory", "directories") + " not listed";
    return text;
  }
  if (counts.FilesNotCompared == 0 && counts.DirectoriesNotCompared == 0) return "";
  return "Not compared: " + count(counts.FilesNotCompared, "file", "files") + ", " +
         count(counts.DirectoriesNotCompared, "directory", "directories");
}

std::string TComparisonRun::IncompleteRunText() const {
  return IncompleteText(counts_, sourceDir_, sourceMask_, inputs_.IncludeSubDir());
}

void TComparisonRun::Report(const std::string& line) {
  // A path may hold line breaks or terminal escapes; the line must stay one line.
  const std::string shown = EscapeControls(line);
  view_.AppendMessage(shown);
  view_.ProcessMessages();
  // Only a log that this run opened is written, and only while the box is checked.
  if (logFile_.IsOpen() && inputs_.Options().Checked(Option::WriteLog)) logFile_.WriteLine(shown);
}

}  // namespace zek
