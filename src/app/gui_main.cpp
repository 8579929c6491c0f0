#include "app/gui_main.h"

#include <QApplication>
#include <string>
#include <vector>

#include "ui/utilities.h"
#include "ui/zek_help_u.h"
#include "ui/zek_trouble_shooting_u.h"
#include "ui/zek_u.h"

namespace zek {

int RunGui(int argc, char** argv) {
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
