#include "ui/zek_options_u.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "settings/settings_file.h"
#include "support/test_tree.h"
#include "ui/gui_test_support.h"
#include "ui/utilities.h"

namespace zek::test {
namespace {

void Type(QWidget* target, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, c.toUpper().unicode(), Qt::NoModifier, QString(c));
    QApplication::sendEvent(target, &press);
  }
}

void Press(QWidget* target, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
}

void LoseFocus(QWidget* target) {
  QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(target, &out);
}

TEST(OptionsDialogTest, StartValuesAndTheExclusiveComparisonModes) {
  TfrmOptions dialog(nullptr);
  EXPECT_EQ(dialog.cbxFilesEqual->text(), "\"Files equal\"");
  EXPECT_FALSE(dialog.Checked(Option::FilesEqual));
  EXPECT_TRUE(dialog.Checked(Option::DoNotMatch));
  EXPECT_EQ(dialog.CompNr(), 10);
  EXPECT_EQ(dialog.LogName(), "zek.log");

  // A click and a change by the program run the same rule; the box just checked wins.
  dialog.cbxCompareDifferentSize->click();
  dialog.cbxOnlyTimeDateSize->click();
  EXPECT_TRUE(dialog.cbxOnlyTimeDateSize->isChecked());
  EXPECT_FALSE(dialog.cbxCompareDifferentSize->isChecked());
  dialog.SetChecked(Option::CompareDifferentSize, true);
  EXPECT_FALSE(dialog.cbxOnlyTimeDateSize->isChecked());
  dialog.cbxCompareDifferentSize->click();
  EXPECT_FALSE(dialog.cbxCompareDifferentSize->isChecked());
  EXPECT_FALSE(dialog.cbxOnlyTimeDateSize->isChecked());

  // A settings file with both modes set loads as "Compare files with different size" only.
  TempTree tree;
  tree.Write("both.ini", "[Options]\nCompareOnlyTimeDateSize=1\nCompareDifferentSize=1\n");
  auto window = StartMainWindow();
  ReadSettings(tree.Path("both.ini"), *window, *window->frmOptions);
  EXPECT_FALSE(window->frmOptions->cbxOnlyTimeDateSize->isChecked());
  EXPECT_TRUE(window->frmOptions->cbxCompareDifferentSize->isChecked());
}

TEST(OptionsDialogTest, SpinEditFiltersKeysReadsNonNumbersAsZeroAndClamps) {
  TfrmOptions dialog(nullptr);
  TCompNrEdit* spin = dialog.speCompNr;
  spin->clear();
  Type(spin, "12a3");
  EXPECT_EQ(spin->text(), "123");
  EXPECT_EQ(dialog.CompNr(), 123);

  spin->clear();
  Type(spin, "20000");
  EXPECT_EQ(dialog.CompNr(), 10000);
  LoseFocus(spin);
  EXPECT_EQ(spin->text(), "10000");

  const QString decimal = spin->locale().decimalPoint();
  spin->clear();
  Type(spin, "1" + decimal + "5");
  EXPECT_EQ(spin->text(), "1" + decimal + "5");
  EXPECT_EQ(dialog.CompNr(), 0);

  spin->clear();
  Type(spin, "-+7");
  EXPECT_EQ(dialog.CompNr(), 0);
  spin->clear();
  Type(spin, "+7");
  EXPECT_EQ(dialog.CompNr(), 7);
  spin->clear();
  Type(spin, "99999999999999999999999");
  EXPECT_EQ(dialog.CompNr(), 10000);

  dialog.SetCompNr(-3);
  EXPECT_EQ(dialog.CompNr(), 0);
  dialog.SetCompNr(123456);
  EXPECT_EQ(dialog.CompNr(), 10000);
  Press(spin, Qt::Key_Down);
  EXPECT_EQ(dialog.CompNr(), 9999);
}

TEST(OptionsDialogTest, OpensOverTheOwnersCentreAndClosesOnEnterAndEscape) {
  // Guards against a first opening placed by the frameless size and later ones by the framed size.
  QWidget owner;
  owner.show();
  TfrmOptions dialog(&owner);
  // The dialog's outer size, frame included, at every opening.
  const QSize frame = owner.frameGeometry().size() - owner.size();
  const int width = 625 + frame.width(), height = 376 + frame.height();
  std::vector<QPoint> places;
  std::vector<QWidget*> keyTargets = {dialog.cbxWriteLog, dialog.speCompNr, dialog.edtLogName};
  size_t opening = 0;
  int leftOpen = 0;
  ModalHandler user([&](QWidget* modal) {
    if (modal != &dialog) return static_cast<QDialog*>(modal)->reject();
    places.push_back(modal->pos());
    Press(keyTargets[opening % keyTargets.size()], opening % 2 == 0 ? Qt::Key_Return : Qt::Key_Escape);
    ++opening;
    if (dialog.isVisible()) {
      ++leftOpen;
      dialog.close();
    }
  });
  for (const Bounds& bounds : {Bounds{100, 50, width + 5, height + 7}, Bounds{300, 200, width - 3, height},
                               Bounds{0, 0, width - 400, height - 200}}) {
    SetOuterBounds(&owner, bounds);
    dialog.ShowOver(&owner);
  }
  EXPECT_EQ(user.Seen, 3);
  EXPECT_EQ(leftOpen, 0);
  EXPECT_EQ(places, (std::vector<QPoint>{{102, 54}, {298, 200}, {0, 0}}));
  EXPECT_FALSE(dialog.isVisible());

  // Activation has fitted the labels and set the sentence of the count row.
  EXPECT_GE(dialog.lblCompNr1->width(), dialog.lblCompNr1->fontMetrics().horizontalAdvance("Stop comparing after"));
  EXPECT_EQ(dialog.speCompNr->x(), dialog.lblCompNr1->x() + dialog.lblCompNr1->width() + 4);
  EXPECT_EQ(dialog.lblCompNr2->x(), dialog.speCompNr->x() + dialog.speCompNr->width() + 8);
}

// Enter on the focused Browse button closed the dialog, and Browse was drawn as the default button.
TEST(OptionsDialogTest, EnterOnTheFocusedBrowseButtonBrowses) {
  TfrmOptions dialog(nullptr);
  int fileDialogs = 0;
  bool stillOpen = false, okDrawnAsDefault = false, browseDrawnAsDefault = true;
  ModalHandler user([&](QWidget* modal) {
    if (auto* files = qobject_cast<QFileDialog*>(modal)) {
      ++fileDialogs;
      stillOpen = dialog.isVisible();
      return files->reject();
    }
    dialog.cbxWriteLog->setFocus();
    okDrawnAsDefault = dialog.btnOK->isDefault();
    browseDrawnAsDefault = dialog.btnBrowse->isDefault();
    dialog.btnBrowse->setFocus();
    QTest::keyClick(dialog.btnBrowse, Qt::Key_Return);
    dialog.close();
  });
  dialog.exec();
  EXPECT_EQ(fileDialogs, 1);
  EXPECT_TRUE(stillOpen);
  EXPECT_TRUE(okDrawnAsDefault);
  EXPECT_FALSE(browseDrawnAsDefault);
}

// The spin edit showed "10000" with its first digit cut off.
TEST(OptionsDialogTest, TheSpinEditShowsItsMaximumWhole) {
  TfrmOptions dialog(nullptr);
  dialog.speCompNr->setValue(10000);
  const auto* field = dialog.speCompNr->findChild<QLineEdit*>();
  ASSERT_NE(field, nullptr);
  dialog.show();
  EXPECT_GE(field->width(), field->fontMetrics().horizontalAdvance("10000"));
}

TEST(OptionsDialogTest, BrowseForALogName) {
  TempTree tree;
  TfrmOptions dialog(nullptr);
  QString answer;  // a path to choose; empty: cancel the file dialog
  QString messageText;
  ModalHandler user([&](QWidget* modal) {
    if (auto* files = qobject_cast<QFileDialog*>(modal)) {
      AnswerFileDialog(files, answer);
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      messageText = box->text();
      box->accept();
    }
  });

  dialog.btnBrowse->click();
  EXPECT_EQ(dialog.LogName(), "zek.log");
  EXPECT_FALSE(dialog.Checked(Option::WriteLog));

  answer = QString::fromStdString(tree.Path("run.log"));
  dialog.btnBrowse->click();
  EXPECT_EQ(dialog.edtLogName->text(), answer);
  EXPECT_TRUE(dialog.Checked(Option::WriteLog));
  EXPECT_FALSE(tree.Exists("run.log"));

  answer = QString::fromStdString(tree.Path("no/such/dir/run.log"));
  dialog.btnBrowse->click();
  EXPECT_EQ(messageText, "Can not create file.");
  EXPECT_FALSE(dialog.Checked(Option::WriteLog));
  EXPECT_EQ(dialog.edtLogName->text(), QString::fromStdString(tree.Path("run.log")));
}

}  // namespace
}  // namespace zek::test
