#include "app/batch_mode.h"

#include <strings.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <new>
#include <optional>
#include <stdexcept>

#include "app/batch_arguments.h"
#include "app/batch_report.h"
#include "app/command_line.h"
#include "engine/comparison_run.h"
#include "engine/line_escape.h"
#include "engine/manifest.h"
#include "engine/manifest_check.h"
#include "engine/path_rules.h"
#include "engine/probe.h"
#include "platform/console.h"
#include "platform/file_access.h"
#include "platform/io_error.h"
#include "platform/profile.h"
#include "platform/read_ahead.h"
#include "settings/ini_file.h"
#include "settings/option_set.h"
#include "settings/plain_run_inputs.h"
#include "settings/settings_file.h"
#include "settings/value_rules.h"

namespace zek {
namespace {

// "Options" keys of the settings file that only batch mode reads.
constexpr const char* kReadFromDiskKey = "ReadFromDisk";
constexpr const char* kReportFileKey = "ReportFile";
constexpr const char* kManifestFileKey = "ManifestFile";
constexpr const char* kManifestTimeKey = "ManifestTimeCounts";

// What batch mode alone has beside the run's inputs.
struct BatchOptions {
  std::string ReportName;           // a JSON Lines report to write, or empty
  std::string ManifestFile;         // a manifest to write, or empty
  bool ManifestTimeCounts = false;  // a check counts a different time as a difference
};

EInOutError OutputError() { return EInOutError(errno != 0 ? errno : EIO); }

// Message lines go to stdout (or stderr, where stdout is the report's). On a
// terminal, stderr shows one progress line,
// redrawn at most ten times a second and erased before each message and at the end.
class BatchView : public IRunView {
 public:
  BatchView(bool showProgress, std::FILE* out) : showProgress_(showProgress), out_(out) {}
  ~BatchView() override { EraseProgress(); }

  void Attach(TComparisonRun& run) { run_ = &run; }
  // For a check against a manifest: Ctrl-C breaks it off, and no progress line is drawn.
  void Attach(TManifestCheck& check) { check_ = &check; }
  void ClearMessages() override {}
  // A line that cannot be written is the run's I/O error, as for the log.
  void AppendMessage(const std::string& line) override {
    EraseProgress();
    if (std::fwrite(line.data(), 1, line.size(), out_) != line.size() || std::fputc('\n', out_) == EOF ||
        (showProgress_ && std::fflush(out_) != 0))
      throw OutputError();
  }
  // What is still buffered goes out when the run ends; an error there is the run's too.
  void FlushMessages() {
    if (std::fflush(out_) != 0) throw OutputError();
  }
  void SetLabel(StatusLabel label, const std::string& caption) override {
    if (label == StatusLabel::File) {
      // "Comparing: ./." means no file is being compared: nothing to show.
      comparing_ = caption != kIdleCaption;
      if (comparing_) file_ = caption;
    }
    DrawProgress();
  }
  void SetProgressRange(int, int) override {}
  void SetProgressPosition(int) override {}
  void Repaint() override {}
  // Ctrl-C plays the part of the Cancel button.
  void ProcessMessages() override {
    if (!InterruptRequested()) return;
    if (run_ != nullptr) run_->Break();
    if (check_ != nullptr) check_->Break();
  }

 private:
  void DrawProgress() {
    if (!showProgress_ || run_ == nullptr) return;
    if (!comparing_) {
      EraseProgress();
      return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    std::string text = file_ + "  [files: " + std::to_string(run_->Counts().FilesTotal) +
                       ", bytes: " + FormatByteTotal(run_->Counts().TotalBytes) + "]";
    constexpr size_t kWidth = 79;
    if (text.size() > kWidth) text = "..." + text.substr(text.size() - (kWidth - 3));
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
    drawn_ = true;
  }
  void EraseProgress() {
    if (!drawn_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
  }

  bool showProgress_;
  std::FILE* out_;
  TComparisonRun* run_ = nullptr;
  TManifestCheck* check_ = nullptr;
  static constexpr const char* kIdleCaption = "Comparing: ./.";
  std::string file_;
  bool comparing_ = false;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point lastDraw_;
};

// The fields as the settings file sees them in batch mode: only the
// sub-directory box matters; the paths come from the command line, and
// nothing is ever written back.
class BatchSettingsFields : public ISettingsFields {
 public:
  explicit BatchSettingsFields(TPlainRunInputs& inputs) : inputs_(inputs) {}
  bool IncludeSubDir() const override { return inputs_.SubDirs; }
  void SetIncludeSubDir(bool checked) override { inputs_.SubDirs = checked; }
  std::string Path1() const override { return inputs_.Source; }
  void SetPath1(const std::string&) override {}
  std::string Path2() const override { return inputs_.Target; }
  void SetPath2(const std::string&) override {}

 private:
  TPlainRunInputs& inputs_;
};

void ApplyOption(const std::string& assignment, TPlainRunInputs& inputs, BatchOptions& batch) {
  const size_t eq = assignment.find('=');
  if (eq == std::string::npos) throw UsageError("option '" + assignment + "' is not KEY=VALUE");
  const std::string key = assignment.substr(0, eq);
  const std::string value = assignment.substr(eq + 1);
  auto malformed = [&] { return UsageError("malformed value '" + value + "' for option " + key); };
  if (strcasecmp(key.c_str(), kManifestFileKey) == 0 || strcasecmp(key.c_str(), kReportFileKey) == 0) {
    (strcasecmp(key.c_str(), kReportFileKey) == 0 ? batch.ReportName : batch.ManifestFile) = value;
    return;
  }
  bool* flag = strcasecmp(key.c_str(), "IncludeSubDir") == 0    ? &inputs.SubDirs
               : strcasecmp(key.c_str(), kReadFromDiskKey) == 0 ? &inputs.FromDisk
               : strcasecmp(key.c_str(), kManifestTimeKey) == 0 ? &batch.ManifestTimeCounts
                                                                : nullptr;
  if (flag != nullptr) {
    const auto on = ParseIniBoolean(value);
    if (!on) throw malformed();
    *flag = *on;
    return;
  }
  const OptionKey* option = FindOptionKey(key);
  if (option == nullptr) throw UsageError("unknown option key '" + key + "'");
  VisitOptionValue(
      *option,
      [&](Option box) {
        const auto on = ParseIniBoolean(value);
        if (!on) throw malformed();
        inputs.OptionSet.SetChecked(box, *on);
      },
      [&] {
        const auto number = ParseIniInteger(value);
        if (!number) throw malformed();
        inputs.OptionSet.SetCompNr(*number);
      },
      [&] { inputs.OptionSet.SetLogName(value); });
}

// The verdict's exit code, and on stderr what was left unchecked; the same for a run and a check.
int Verdict(bool userBreak, bool different, const std::string& incomplete) {
  if (!incomplete.empty()) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", EscapeControls(incomplete).c_str());
  }
  return ExitCodeFor(userBreak, different, incomplete.empty());
}

}  // namespace

std::string UsageText() {
  // The examples in the path form of the system; Windows' command line leaves
  // a mask alone, which a POSIX shell must be told to by quotes.
  const bool windows = kNativeSyntax == PathSyntax::Windows;
  const std::string masks = windows ? "C:\\DATA\\*.txt" : "'/data/*.txt'";
  const std::string continued = windows ? "^" : "\\";
  const std::string delimiter(1, PathDelimiter());
  const std::string paths = windows ? "C:\\DATA D:\\BACKUP" : "/home/user/data /media/backup/data";
  return "Usage: zek32 [SOURCE [TARGET]]\n"
         "       zek32 --batch [--ini FILE] [--from-disk] [--report FILE] [--shard K/N]\n"
         "                     [-o KEY=VALUE]... SOURCE TARGET\n"
         "       zek32 --batch [OPTIONS] --write-manifest FILE SOURCE TARGET\n"
         "       zek32 --batch [OPTIONS] [--report FILE] [--shard K/N]\n"
         "                     --manifest FILE TARGET\n"
         "       zek32 --merge-reports REPORT...\n"
         "\n"
         "Checks that TARGET holds every file of SOURCE, comparing each file with its\n"
         "namesake below TARGET by time, size and contents, in all subdirectories\n"
         "unless IncludeSubDir=0.\n"
         "\n"
         "With --batch, SOURCE and TARGET mean what they name:\n"
         "  SOURCE a directory       all its files (DIR" +
         delimiter +
         "*.*), TARGET a directory\n"
         "  SOURCE ending in a mask  the matching files (" +
         masks +
         ")\n"
         "  SOURCE one file          compared with TARGET, a file, or its namesake in\n"
         "                           TARGET where that is an existing directory\n"
         "A TARGET whose last part holds * or ? counts by its directory part; a\n"
         "missing TARGET directory makes every file \"not found\"; a SOURCE and TARGET\n"
         "that are one directory or one file are a usage error. Without --batch the\n"
         "program opens its window, whose fields take SOURCE as a directory and a mask\n"
         "and only the directory part of TARGET.\n"
         "\n"
         "With --batch it prints the message lines on stdout and exits with\n"
         "  0  no differences found\n"
         "  1  differences found (different files or missing targets)\n"
         "  2  the run was ended by an error (stdout or a log that cannot be written\n"
         "     is one), by Ctrl-C, SIGTERM or SIGHUP, or the command line was wrong\n"
         "  3  no differences among the files compared, but not everything was\n"
         "     compared: no file at all, or files or directories that could not be\n"
         "     (not found, not opened, not listed); stderr says which\n"
         "\n"
         "Options:\n"
         "  --ini FILE              read the settings from FILE instead of zek32.ini\n"
         "  --from-disk             read every target file from the device, not from\n"
         "                          the page cache (to check a copy just written);\n"
         "                          as the settings file's Options key ReadFromDisk=1\n" +
         std::string(CanDropCachedPages() ? "" : "                          (not available in this build)\n") +
         "  --report FILE           also write a JSON Lines record of every file, and\n"
         "                          of the run or the check with --manifest, to FILE\n"
         "                          (- for stdout, the message lines then on stderr);\n"
         "                          as the key ReportFile\n"
         "  --shard K/N             compare (or with --manifest check) only the files of\n"
         "                          shard K of N, by a hash of their relative paths\n"
         "  --merge-reports REPORT...\n"
         "                          the summary and exit code of one run, from the\n"
         "                          reports of all N shards\n"
         "  --write-manifest FILE   write the SHA-256 of every file found equal to FILE,\n"
         "                          in sha256sum's lines (Options key ManifestFile)\n"
         "  --manifest FILE         check TARGET against the manifest FILE alone: each\n"
         "                          file by size and SHA-256; a different time is a\n"
         "                          line, and a difference with ManifestTimeCounts=1\n"
         "  -o, --option KEY=VALUE  set one option; KEY is its settings-file key:\n"
         "      IncludeSubDir, MsgEqual, MsgCouldNotOpenSource, MsgCouldNotOpenTarget,\n"
         "      MsgTargetNotFound, MsgDifferentSize, MsgDifferentTime, MsgDoNotMatch,\n"
         "      MsgDifferAt, MsgSwitchDir, CompareOnlyTimeDateSize, CompareDifferentSize,\n"
         "      StopAfterBytes, writelog, logfilename, HighSpeed, WarpSpeed, ReadFromDisk,\n"
         "      ReportFile, ManifestFile, ManifestTimeCounts\n"
         "  -h, --help              show this text\n"
         "  --version               show the version\n"
         "\n"
         "Example: zek32 --batch -o MsgDifferAt=1 -o writelog=1 -o logfilename=run.log " +
         continued +
         "\n"
         "             " +
         paths + "\n";
}

namespace {

// What the command line and the settings file ask of one batch run.
struct BatchSetup {
  TPlainRunInputs Inputs;
  BatchPaths Mapped;
  BatchOptions Batch;
  Shard Part;
};

// Reads the command line and the settings file into `setup`; an exit code
// where they make no run.
std::optional<int> ReadSetup(const CommandLine& command, BatchSetup& setup) {
  TPlainRunInputs& inputs = setup.Inputs;
  BatchOptions& batch = setup.Batch;
  const std::string settingsFile = command.SettingsFile.value_or(kSettingsFileName);
  if (command.SettingsFileMissing) {
    std::fputs("File not found.\n", stderr);
    return kExitTrouble;
  }
  try {
    if (!command.Error.empty()) throw UsageError(command.Error);
    if (command.Manifest && command.Paths[0].empty()) throw UsageError("TARGET must not be empty");
    if (!command.Manifest) setup.Mapped = MapBatchPaths(command.Paths[0], command.Paths[1]);
    BatchSettingsFields fields(inputs);
    // One reading of the file serves the shared keys and batch mode's own.
    const TIniFile ini(settingsFile);
    ReadFieldsAndOptions(ini, fields, inputs.OptionSet);
    inputs.FromDisk = command.FromDisk || ini.ReadBool("Options", kReadFromDiskKey, false);
    batch.ReportName = command.Report.value_or(ini.ReadString("Options", kReportFileKey, ""));
    batch.ManifestFile = command.WriteManifest.value_or(ini.ReadString("Options", kManifestFileKey, ""));
    batch.ManifestTimeCounts = ini.ReadBool("Options", kManifestTimeKey, false);
    for (const std::string& assignment : command.Assignments) ApplyOption(assignment, inputs, batch);
    // Reading from the cache while the user asked for the device would pass off a check that was not made.
    if (inputs.FromDisk && !CanDropCachedPages())
      throw UsageError("--from-disk (ReadFromDisk) is not available on this system");
    if (command.Manifest) {
      // A check writes no manifest, whatever the settings file says.
      batch.ManifestFile.clear();
    }
    if (!batch.ManifestFile.empty()) {
      // A manifest of files whose bytes were never read would vouch for what nobody checked.
      if (inputs.OptionSet.Checked(Option::OnlyTimeDateSize))
        throw UsageError("a manifest needs the files' bytes, which CompareOnlyTimeDateSize=1 does not read");
      RefuseManifestInTrees(batch.ManifestFile, setup.Mapped);
    }
  } catch (const std::bad_alloc&) {
    // Every batch run reads the settings file: one too large to hold must name
    // itself, or no run would ever start again.
    std::fprintf(stderr, "zek32: the settings file is too large to be read: %s\n",
                 EscapeControls(ResolveSettingsPath(settingsFile)).c_str());
    return kExitTrouble;
  } catch (const UsageError& error) {
    std::fprintf(stderr, "zek32: %s\nTry 'zek32 --help'.\n", error.what());
    return kExitTrouble;
  }
  setup.Part = command.Part.value_or(Shard{});
  if (command.Manifest) return std::nullopt;
  inputs.Source = setup.Mapped.Source;
  inputs.Target = setup.Mapped.Target;
  // A script that asked for a log must learn that it gets none, before the run.
  if (inputs.OptionSet.Checked(Option::WriteLog) && !ProbeFileName(inputs.OptionSet.LogName())) {
    std::fprintf(stderr, "zek32: the log file cannot be written: %s\n",
                 EscapeControls(inputs.OptionSet.LogName()).c_str());
    return kExitTrouble;
  }
  return std::nullopt;
}

// The report is opened before the run, which would otherwise empty a file it
// compares: a report that names the pair's source or target, or the manifest
// a check reads, is refused.
std::optional<BatchReport> OpenReport(const BatchSetup& setup, const std::optional<std::string>& checkedManifest) {
  const std::string& name = setup.Batch.ReportName;
  if (name.empty()) return std::nullopt;
  if (name != "-" && (setup.Mapped.FilePair || checkedManifest)) {
    const auto id = [](const std::string& path) {
      const FileLook look = Files().LookAndOpen(path);
      Files().Close(look.Handle);
      return look.Handle != kNoFile ? std::optional<FileId>(look.Id) : std::nullopt;
    };
    const std::optional<FileId> report = id(name);
    if (report && checkedManifest && report == id(*checkedManifest))
      throw UsageError("the report would overwrite the manifest it checks against: " + name);
    if (report && setup.Mapped.FilePair && (report == id(setup.Inputs.Source) || report == id(setup.Inputs.Target)))
      throw UsageError("the report would overwrite a file it compares: " + name);
  }
  return std::optional<BatchReport>(std::in_place, name);
}

// The run itself, its report's first and last record around it.
int Compare(BatchSetup& setup, std::optional<BatchReport>& report, ManifestWriter* manifest) {
  int code = kExitTrouble;
  RunEnding ending = RunEnding::Error;
  std::string error;
  // Where the report goes to stdout, the message lines go to stderr.
  BatchView view(StderrIsTerminal(), report && report->OnStdout() ? stderr : stdout);
  TComparisonRun run(view, setup.Inputs);
  view.Attach(run);
  run.SetShard(setup.Part);
  run.WriteManifestTo(manifest);
  if (report) {
    run.SetRecorder(&report->Recorder(), report->File());
    report->Started(setup.Inputs, setup.Part);
  }
  try {
    if (setup.Mapped.FilePair) {
      run.RunPairComparison();
    } else {
      run.RunComparison();
    }
    view.FlushMessages();
    code = Verdict(run.UserBreak(), run.Counts().FilesDifferent != 0 || run.Counts().TargetsNotFound != 0,
                   run.IncompleteRunText());
    ending = run.UserBreak() ? RunEnding::UserBreak : RunEnding::Finished;
  } catch (const EInOutError& failure) {
    error = failure.what();
  } catch (const std::bad_alloc&) {
    // Out of memory ends the run as the I/O error it is.
    error = EInOutError(ENOMEM).what();
  }
  if (!error.empty()) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s.\n", error.c_str());
  }
  if (report) report->Ended(run.Counts(), ending, error, code);
  return code;
}

// --manifest FILE TARGET: the target checked against the manifest alone, its
// report's first and last record around it.
int CheckManifest(const CommandLine& command, const BatchSetup& setup, std::optional<BatchReport>& report) {
  ManifestCheckPlan plan;
  plan.ManifestFile = *command.Manifest;
  plan.TargetDir = command.Paths[0];
  plan.Part = setup.Part;
  plan.TimeCounts = setup.Batch.ManifestTimeCounts;
  plan.FromDisk = setup.Inputs.FromDisk;
  plan.ShowIntact = setup.Inputs.OptionSet.Checked(Option::FilesEqual);
  BatchView view(false, report && report->OnStdout() ? stderr : stdout);
  TManifestCheck check(view, plan);
  view.Attach(check);
  if (report) {
    check.SetRecorder(&report->Recorder(), report->File());
    report->Started(setup.Inputs, plan);
  }
  int code = kExitTrouble;
  RunEnding ending = RunEnding::Error;
  std::string error;
  const auto say = [](const std::string& line) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", line.c_str());
  };
  try {
    check.Load();
    check.Run();
    view.FlushMessages();
    const CheckCounts& counts = check.Counts();
    code = Verdict(check.UserBreak(), counts.NotFound != 0 || counts.Different != 0, check.IncompleteText());
    ending = check.UserBreak() ? RunEnding::UserBreak : RunEnding::Finished;
  } catch (const EManifestError& failure) {
    error = std::string("the manifest cannot be read: ") + failure.what();
    say("zek32: " + EscapeControls(error));
  } catch (const EInOutError& failure) {
    error = failure.what();
    say(error + ".");
  } catch (const std::bad_alloc&) {
    error = EInOutError(ENOMEM).what();
    say(error + ".");
  }
  std::fflush(stdout);
  if (report) {
    const CheckCounts& c = check.Counts();
    report->Ended({c.FilesTotal, c.NotFound, c.Different, c.NotChecked, 0, static_cast<long double>(c.Bytes)}, ending,
                  error, code);
  }
  return code;
}

}  // namespace

int ExitCodeFor(bool userBreak, bool different, bool complete) {
  if (userBreak) return kExitTrouble;
  if (different) return kExitDifferent;
  return complete ? kExitSame : kExitNotAllCompared;
}

int RunBatch(const CommandLine& command) {
  BatchSetup setup;
  if (const std::optional<int> failed = ReadSetup(command, setup)) return *failed;
  // Created before the run, so that one that cannot be written stops it before it starts.
  std::optional<ManifestWriter> manifest;
  if (!setup.Batch.ManifestFile.empty()) {
    try {
      manifest.emplace(setup.Batch.ManifestFile);
    } catch (const EInOutError& error) {
      std::fprintf(stderr, "zek32: the manifest cannot be written: %s (%s)\n",
                   EscapeControls(setup.Batch.ManifestFile).c_str(), error.what());
      return kExitTrouble;
    }
  }
  const ScopedInterruptWatch interrupts;
  int code = kExitTrouble;
  try {
    std::optional<BatchReport> report = OpenReport(setup, command.Manifest);
    code = command.Manifest ? CheckManifest(command, setup, report)
                            : Compare(setup, report, manifest ? &*manifest : nullptr);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "zek32: %s\n", EscapeControls(error.what()).c_str());
  } catch (const EInOutError& error) {
    // The report could not be written: no run may pass for reported.
    std::fflush(stdout);
    std::fprintf(stderr, "zek32: the report cannot be written: %s (%s).\n",
                 EscapeControls(setup.Batch.ReportName).c_str(), error.what());
    code = kExitTrouble;
  }
  std::fflush(stdout);
  return code;
}

}  // namespace zek
