#pragma once
// Batch mode: one comparison run without windows, for terminals and scripts.
//   zek32 --batch [--ini FILE] [-o KEY=VALUE]... SOURCE TARGET
// prints every message line on stdout and exits with one of these codes.
#include <string>

#include "app/command_line.h"

namespace zek {

constexpr int kExitSame = 0;
constexpr int kExitDifferent = 1;
constexpr int kExitTrouble = 2;  // an error ended the run, Ctrl-C, or a usage error
// No differences among the pairs compared, but some files or directories could
// not be compared: a script must not take the run for a verified copy.
constexpr int kExitNotAllCompared = 3;

// The exit code of a run (or a check) broken off or not, that found
// differences or not, and compared everything it met or not.
int ExitCodeFor(bool userBreak, bool different, bool complete);

// The text of `zek32 --help`.
std::string UsageText();

// One run as the command line asks for it, its mistakes included.
int RunBatch(const CommandLine& command);

// --merge-reports: the summary and exit code that one run over the whole tree
// would have given, from the reports of its shards.
int MergeReports(const CommandLine& command);

}  // namespace zek
