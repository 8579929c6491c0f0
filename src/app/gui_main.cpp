#include "app/gui_main.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/batch_mode.h"
#include "app/command_line.h"
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

// Qt's warnings that say nothing to a user: no runtime directory when run as
// root, and the offscreen platform's missing size hints.
QtMessageHandler previousHandler = nullptr;

void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")) ||
      message.contains(QLatin1String("does not support propagateSizeHints()")))
    return;
  previousHandler(type, context, message);
}

}  // namespace

int RunGui(int argc, char** argv) {
  // Without a display Qt aborts the whole process; say what works instead.
  if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY") && !IsSet("QT_QPA_PLATFORM")) {
    std::fputs("zek32: no display to open the window on; use zek32 --batch SOURCE TARGET (see zek32 --help)\n",
               stderr);
    return kExitTrouble;
  }
  previousHandler = qInstallMessageHandler(QuietMessages);
  QApplication application(argc, argv);  // takes out the arguments meant for Qt
  QApplication::setApplicationName("zek32");
  QApplication::setDesktopFileName("zek32");
  QApplication::setWindowIcon(ProgramIcon());

  const CommandLine command = ReadCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!command.Error.empty()) {
    std::fprintf(stderr, "zek32: %s\nTry 'zek32 --help'.\n", command.Error.c_str());
    return kExitTrouble;
  }

  TfrmZEKMain frmZEKMain(command.Paths);
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
