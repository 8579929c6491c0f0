#include "app/gui_loader.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/batch_mode.h"
#include "platform/module.h"

namespace zek {

int StartGui(int argc, char** argv) {
  const std::string directory = ProgramDirectory();
  // Beside the program in the build tree, in the library directory once installed.
  std::string errors;
  bool installed = false;
  for (const char* place : {"", "/" ZEK32_MODULE_DIR}) {
    const std::string path = directory + place + "/" ZEK32_MODULE_NAME;
    std::error_code ignored;
    installed = installed || std::filesystem::exists(path, ignored);
    std::string why;
    if (auto* run = reinterpret_cast<int (*)(int, char**)>(LoadModuleFunction(path, "zek32_run_gui", why)))
      return run(argc, argv);
    errors += (errors.empty() ? "" : "; ") + why;
  }
  // The windows come in a package of their own; a batch-only install has no module.
  if (!installed) {
    std::fputs("zek32: the windows are not installed: install the package " ZEK32_GUI_PACKAGE
               ", or use zek32 --batch SOURCE TARGET (see zek32 --help)\n",
               stderr);
    return kExitTrouble;
  }
  std::fprintf(stderr, "zek32: the windows cannot be loaded (%s); use zek32 --batch SOURCE TARGET (see zek32 --help)\n",
               errors.c_str());
  return kExitTrouble;
}

}  // namespace zek
