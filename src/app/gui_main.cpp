#include "app/gui_main.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/batch_mode.h"
#include "ui/utilities.h"
#include "ui/zek_help_u.h"
#include "ui/zek_trouble_shooting_u.h"
#include "ui/zek_u.h"

namespace zek {
namespace {

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

int RunGui(int argc, char** argv) {
  // Without a display Qt aborts the whole process; say what works instead.
  if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY") && !IsSet("QT_QPA_PLATFORM")) {
    std::fputs("zek32: no display to open the window on; use zek32 --batch SOURCE TARGET (see zek32 --help)\n",
               stderr);
    return kExitTrouble;
  }
  QApplication application(argc, argv);  // takes out the arguments meant for Qt
  QApplication::setApplicationName("zek32");
  QApplication::setDesktopFileName("zek32");
  QApplication::setWindowIcon(ProgramIcon());

  std::vector<std::string> arguments(argv + 1, argv + argc);
  // "--" ends the program's own options, so that a path may begin with "-".
  if (!arguments.empty() && arguments.front() == "--") arguments.erase(arguments.begin());

  TfrmZEKMain frmZEKMain(arguments);
  TfrmHelp frmHelp;
  TfrmTroubleShooting frmTroubleShooting;
  frmZEKMain.frmHelp = &frmHelp;
  frmZEKMain.frmTroubleShooting = &frmTroubleShooting;

  frmZEKMain.show();
  // Without a window manager nothing would activate the window, and its first
  // activation fills the path fields.
  frmZEKMain.activateWindow();
  return QApplication::exec();
}

}  // namespace zek
