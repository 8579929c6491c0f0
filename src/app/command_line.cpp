#include "app/command_line.h"

#include "engine/path_rules.h"
#include "platform/file_access.h"

namespace zek {
namespace {

CommandMode ModeOf(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") return CommandMode::Help;
    if (arg == "--version") return CommandMode::Version;
    if (arg == "--batch") return CommandMode::Batch;
    if (arg == "--merge-reports") return CommandMode::MergeReports;
  }
  return CommandMode::Window;
}

bool IsOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

// A name typed here means the current directory, not the settings place; one
// that names no file ends the reading.
void TakeSettingsFile(std::string name, CommandLine& command) {
  if (DirectoryPart(name).empty()) name = std::string(".") + PathDelimiter() + name;
  command.SettingsFileMissing = !Files().FileExists(name);
  command.SettingsFile = std::move(name);
}

void ReadBatch(const std::vector<std::string>& args, CommandLine& command) {
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size() && command.Error.empty() && !command.SettingsFileMissing; ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || !IsOption(arg)) {
      command.Paths.push_back(arg);
      continue;
    }
    const bool takesValue = arg == "-o" || arg == "--option" || arg == "--ini" || arg == "--report" ||
                            arg == "--write-manifest" || arg == "--manifest" || arg == "--shard";
    if (takesValue && i + 1 >= args.size()) {
      command.Error = arg + " needs a value";
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--batch") {
      continue;
    } else if (arg == "--from-disk") {
      command.FromDisk = true;
    } else if (arg == "--ini") {
      TakeSettingsFile(args[++i], command);
    } else if (arg == "--report") {
      command.Report = args[++i];
    } else if (arg == "--write-manifest") {
      command.WriteManifest = args[++i];
    } else if (arg == "--manifest") {
      command.Manifest = args[++i];
    } else if (arg == "--shard") {
      command.Part = ParseShard(args[++i]);
      if (!command.Part) command.Error = "--shard needs K/N with 1 <= K <= N, not '" + args[i] + "'";
    } else if (takesValue) {
      command.Assignments.push_back(args[++i]);
    } else {
      command.Error = "unknown argument '" + arg + "'";
    }
  }
  if (!command.Error.empty() || command.SettingsFileMissing) return;
  if (command.Manifest && command.WriteManifest) {
    command.Error = "--manifest checks a manifest and --write-manifest writes one: not both";
  } else if (command.Manifest && command.Paths.size() != 1) {
    command.Error = "--manifest FILE takes TARGET alone";
  } else if (!command.Manifest && command.Paths.size() != 2) {
    command.Error = "SOURCE and TARGET are needed";
  }
}

void ReadReports(const std::vector<std::string>& args, CommandLine& command) {
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (optionsEnded || arg != "--merge-reports") {
      if (!optionsEnded && IsOption(arg)) {
        command.Error = "unknown argument '" + arg + "'";
        return;
      }
      command.Paths.push_back(arg);
    }
  }
  if (command.Paths.empty()) command.Error = "--merge-reports needs the reports to merge";
}

void ReadWindow(const std::vector<std::string>& args, CommandLine& command) {
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && IsOption(arg)) {
      command.Error = "unknown argument '" + arg + "'";
      return;
    } else {
      command.Paths.push_back(arg);
    }
  }
}

}  // namespace

CommandLine ReadCommandLine(const std::vector<std::string>& args) {
  CommandLine command;
  command.Mode = ModeOf(args);
  if (command.Mode == CommandMode::Batch) ReadBatch(args, command);
  if (command.Mode == CommandMode::Window) ReadWindow(args, command);
  if (command.Mode == CommandMode::MergeReports) ReadReports(args, command);
  return command;
}

}  // namespace zek
