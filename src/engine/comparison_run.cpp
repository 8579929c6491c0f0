#include "engine/comparison_run.h"

#include "engine/line_escape.h"
#include "engine/path_rules.h"
#include "engine/probe.h"

namespace zek {
namespace {

// Clears Busy and closes the log however the run ends.
class RunGuard {
 public:
  explicit RunGuard(TComparisonRun& run) : run_(run) { run_.Busy = true; }
  ~RunGuard() {
    run_.LogFile.CloseQuietly();
    run_.Busy = false;
  }
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;

 private:
  TComparisonRun& run_;
};

}  // namespace

TComparisonRun::TComparisonRun(IRunView& view, IRunInputs& inputs)
    : view_(view),
      inputs_(inputs),
      sourceBuffer_(kReadAheadBlocks * kBlockSize),
      targetBuffer_(kReadAheadBlocks * kBlockSize) {}

void TComparisonRun::ResetCounters() {
  FilesTotal = 0;
  TargetsNotFound = 0;
  FilesDifferent = 0;
  FilesNotCompared = 0;
  DirectoriesNotCompared = 0;
  TotalBytes = 0.0L;
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
    readAhead_.emplace(ReadAheadPlan{sourceDir_, SourceMask, targetDir_, inputs_.IncludeSubDir(),
                                     inputs_.ReadFromDisk(), !options.Checked(Option::OnlyTimeDateSize),
                                     options.Checked(Option::CompareDifferentSize)});
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
    const FileLook look = Files().LookAndOpen(SearchPath);
    Files().Close(look.Handle);
    CompareFilePair(SearchPath, TargetPath, look.Size);
  });
}

void TComparisonRun::Run(const std::function<void()>& compare) {
  RunGuard guard(*this);
  ResetCounters();
  IOptionControls& options = inputs_.Options();
  if (options.Checked(Option::WriteLog)) {
    const std::string logName = options.LogName();
    if (ProbeFileName(logName)) {
      LogFile.Rewrite(logName);
    } else {
      options.SetChecked(Option::WriteLog, false);
    }
  }
  view_.ClearMessages();
  UserBreak = false;
  view_.SetLabel(StatusLabel::NichtGefunden, "Not found: 0");
  view_.SetLabel(StatusLabel::Verschieden, "Different: 0");
  view_.SetLabel(StatusLabel::Total, "Total: 0");
  view_.SetLabel(StatusLabel::File, "Comparing: ./.");

  SearchPath = inputs_.SourcePath();
  TargetPath = inputs_.TargetPath();
  sourceDir_ = DirectoryOrCurrent(SearchPath);
  targetDir_ = DirectoryOrCurrent(TargetPath);
  SourceMask = NamePart(SearchPath);

  Report("running...");
  compare();
  Report("finished.");
  view_.SetLabel(StatusLabel::File, "Comparing: ./.");
  if (UserBreak) Report("USER BREAK!");
  Report("Files total: " + std::to_string(FilesTotal));
  if (TargetsNotFound != 0) Report("Target files not found: " + std::to_string(TargetsNotFound));
  if (FilesDifferent != 0) Report("Files with differences: " + std::to_string(FilesDifferent));
  // A run that left something unchecked says so before its verdict, which
  // stays the last line.
  if (const std::string incomplete = IncompleteRunText(); !incomplete.empty()) Report(incomplete);
  // Every line so far is in the file before the verdict may say it was written.
  if (LogFile.IsOpen()) LogFile.Flush();
  if (TargetsNotFound == 0 && FilesDifferent == 0) {
    Report("No differences found");
  } else if (options.Checked(Option::WriteLog)) {
    Report("Differences found. Log written: " + options.LogName());
  } else {
    Report("Differences found.");
  }
  LogFile.Close();
}

std::string TComparisonRun::IncompleteRunText() const {
  const auto count = [](int32_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  if (FilesTotal == 0) {
    std::string text = "Nothing compared: no file in " + sourceDir_ +
                       (inputs_.IncludeSubDir() ? " or its subdirectories" : "") + " matches the mask \"" + SourceMask +
                       "\"";
    if (DirectoriesNotCompared != 0) text += ", " + count(DirectoriesNotCompared, "directory", "directories") + " not listed";
    return text;
  }
  if (FilesNotCompared == 0 && DirectoriesNotCompared == 0) return "";
  return "Not compared: " + count(FilesNotCompared, "file", "files") + ", " +
         count(DirectoriesNotCompared, "directory", "directories");
}

void TComparisonRun::Report(const std::string& line) {
  // A path may hold line breaks or terminal escapes; the line must stay one line.
  const std::string shown = EscapeControls(line);
  view_.AppendMessage(shown);
  view_.ProcessMessages();
  // Only a log that this run opened is written, and only while the box is checked.
  if (LogFile.IsOpen() && inputs_.Options().Checked(Option::WriteLog)) LogFile.WriteLine(shown);
}

}  // namespace zek
