#include <cstdio>
#include <string>
#include <vector>

#include "app/batch_mode.h"
#include "platform/console.h"

#ifdef ZEK32_WITH_GUI
#include "app/gui_loader.h"
#endif

int main(int argc, char** argv) {
  zek::OpenClosedStandardStreams();
  const std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") {
      std::fputs(zek::UsageText().c_str(), stdout);
#ifndef ZEK32_WITH_GUI
      std::fputs("\nThis build has no windows: only --batch runs.\n", stdout);
#endif
      return 0;
    }
    if (arg == "--version") {
      std::puts("zek32 " ZEK32_VERSION);
      return 0;
    }
    if (arg == "--batch") return zek::RunBatch(args);
  }
#ifdef ZEK32_WITH_GUI
  return zek::StartGui(argc, argv);
#else
  std::fputs("zek32: built without windows; use --batch (see --help)\n", stderr);
  return zek::kExitTrouble;
#endif
}
