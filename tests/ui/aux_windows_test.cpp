#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "ui/gui_test_support.h"
#include "ui/utilities.h"
#include "ui/zek_help_u.h"
#include "ui/zek_trouble_shooting_u.h"

namespace zek::test {
namespace {

TEST(AuxWindowsTest, HelpFollowsTheMainWindowAtEveryOpening) {
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
  EXPECT_TRUE(help.HelpMemo->toPlainText().contains("ZEK32 <source> <target>"));

  // Opened again while open: moved and sized to the main window's new place.
  SetOuterBounds(window.get(), {10, 20, 700, 600});
  window->HowtouseZEK1->trigger();
  EXPECT_EQ(OuterBounds(&help), (Bounds{50, 60, 700, 600}));
  help.btnClose->click();
  EXPECT_FALSE(help.isVisible());
}

TEST(AuxWindowsTest, TroubleShootingKeepsWhatTheUserTyped) {
  auto window = StartMainWindow();
  TfrmTroubleShooting notes;
  window->frmTroubleShooting = &notes;
  window->TroubleShooting1->trigger();
  EXPECT_TRUE(notes.isVisible());
  EXPECT_TRUE(notes.Memo1->toPlainText().startsWith(">>> "));
  EXPECT_TRUE(notes.Memo1->toPlainText().contains("\"I/O-Fehler 5.\""));
  notes.Memo1->appendPlainText("my note");
  notes.move(33, 44);
  notes.Close1->trigger();
  EXPECT_FALSE(notes.isVisible());
  window->TroubleShooting1->trigger();
  EXPECT_TRUE(notes.Memo1->toPlainText().endsWith("my note"));
  EXPECT_EQ(notes.pos(), QPoint(33, 44));
}

TEST(AuxWindowsTest, IntroCentresItsLabelsWhenShown) {
  auto window = StartMainWindow();
  TfrmIntro* intro = window->frmIntro;
  intro->resize(600, 246);
  ModalHandler user([&](QWidget*) { intro->btnOK->click(); });
  window->About1->trigger();
  for (QLabel* label : {intro->Label1, intro->Label2, intro->Label3}) {
    EXPECT_EQ(label->width(), label->sizeHint().width());
    EXPECT_EQ(label->x(), (600 - label->width()) / 2);
  }
  EXPECT_EQ(intro->Label1->y(), 24);
}

}  // namespace
}  // namespace zek::test
