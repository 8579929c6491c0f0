#include <gtest/gtest.h>

#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>

#include "ui/gui_test_support.h"
#include "ui/utilities.h"
#include "ui/zek_help_u.h"

namespace zek::test {
namespace {

TEST(AuxWindowsTest, HelpFollowsTheMainWindowAtEveryOpening) {
  // Guards against placing the help window by a frame other than the one it gets.
  auto window = StartMainWindow();
  TfrmHelp help;
  window->frmHelp = &help;
  SetOuterBounds(window.get(), {100, 80, 500, 450});
  window->HowtouseZEK1->trigger();
  EXPECT_TRUE(help.isVisible());
  EXPECT_EQ(OuterBounds(&help), (Bounds{140, 120, 500, 450}));
  help.resize(683, 469);
  EXPECT_EQ(help.HelpMemo->geometry(), QRect(0, 0, 683, 429));
  EXPECT_EQ(help.btnClose->geometry(), QRect(454, 434, 170, 32));
  // The command line as a Linux shell needs it: the mask quoted, so that the shell leaves it alone.
  EXPECT_TRUE(help.HelpMemo->toPlainText().contains("zek32 '/home/user/data/*.txt' /media/backup/"));

  // Opened again while open: moved and sized to the main window's new place.
  SetOuterBounds(window.get(), {10, 20, 700, 600});
  window->HowtouseZEK1->trigger();
  EXPECT_EQ(OuterBounds(&help), (Bounds{50, 60, 700, 600}));
  help.btnClose->click();
  EXPECT_FALSE(help.isVisible());
}

}  // namespace
}  // namespace zek::test
