#include <cstdio>
#include <string>
#include <vector>

#include "app/batch_mode.h"
#include "app/command_line.h"
#include "platform/console.h"

#ifdef ZEK32_WITH_GUI
#include "app/gui_loader.h"
#endif

int main(int argc, char** argv) {
  zek::OpenClosedStandardStreams();
  const zek::CommandLine command = zek::ReadCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (command.Mode) {
    case zek::CommandMode::Help:
      std::fputs(zek::UsageText().c_str(), stdout);
#ifndef ZEK32_WITH_GUI
      std::fputs("\nThis build has no windows: only --batch runs.\n", stdout);
#endif
      return 0;
    case zek::CommandMode::Version:
      std::puts("zek32 " ZEK32_VERSION);
      return 0;
    case zek::CommandMode::Batch:
      return zek::RunBatch(command);
    case zek::CommandMode::MergeReports:
      return zek::MergeReports(command);
    case zek::CommandMode::Window:
      break;
  }
#ifdef ZEK32_WITH_GUI
  // The window reads its arguments once Qt has taken its own out.
  return zek::StartGui(argc, argv);
#else
  std::fputs("zek32: built without windows; use --batch (see --help)\n", stderr);
  return zek::kExitTrouble;
#endif
}
