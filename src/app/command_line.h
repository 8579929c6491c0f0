#pragma once
// The program's command line, read in one place: the mode it asks for and
// what it gives that mode. The window reads again, with the same rules, what
// Qt leaves of the arguments once it has taken its own out.
#include <optional>
#include <string>
#include <vector>

#include "engine/shard.h"

namespace zek {

enum class CommandMode { Window,
                         Batch,
                         Help,
                         Version,
                         MergeReports };

struct CommandLine {
  // The first of --help (-h), --version, --batch and --merge-reports before a "--" decides;
  // without one the window opens.
  CommandMode Mode = CommandMode::Window;
  // Batch mode's SOURCE and TARGET, the reports to merge, or the window's
  // paths. After a "--" every argument is a path.
  std::vector<std::string> Paths;
  std::vector<std::string> Assignments;      // -o KEY=VALUE, in their order
  bool FromDisk = false;                     // --from-disk
  std::optional<std::string> Report;         // --report FILE, "-" for stdout
  std::optional<Shard> Part;                 // --shard K/N
  std::optional<std::string> SettingsFile;   // --ini, a bare name made ./NAME
  std::optional<std::string> WriteManifest;  // --write-manifest FILE
  // --manifest FILE: the one path is a TARGET checked against FILE alone.
  std::optional<std::string> Manifest;
  // The first mistake, in the order typed: a usage error's text, or
  // SettingsFileMissing for an --ini that names no file. Reading stops there.
  std::string Error;
  bool SettingsFileMissing = false;
};

// args are the arguments after the program name.
CommandLine ReadCommandLine(const std::vector<std::string>& args);

}  // namespace zek
