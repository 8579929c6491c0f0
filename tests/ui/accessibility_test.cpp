#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <set>

#include "support/scoped_env.h"
#include "support/test_tree.h"
#include "ui/browse_u.h"
#include "ui/gui_test_support.h"
#include "ui/message_view.h"
#include "ui/zek_help_u.h"
#include "ui/zek_options_u.h"

namespace zek::test {
namespace {

QString Name(QObject* object) { return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Name); }

// The label that a screen reader reads for the control, by its label relation.
QObject* LabelOf(QObject* object) {
  for (const auto& [other, relation] : QAccessible::queryAccessibleInterface(object)->relations(QAccessible::Label))
    return other->object();
  return nullptr;
}

// Screen readers heard nothing for the path fields, "Browse" twice, nothing
// for the message window, the progress bar and the browse dialog's controls,
// and the help window as a "filler".
TEST(AccessibilityTest, EveryControlHasANameAndFieldsTheirLabels) {
  TempTree config;
  ScopedEnv configHome{"XDG_CONFIG_HOME", config.Root().c_str()};
  auto window = StartMainWindow();
  EXPECT_EQ(LabelOf(window->edtPfad1), window->lblPfad1);
  EXPECT_EQ(LabelOf(window->edtPfad2), window->lblPfad2);
  EXPECT_EQ(LabelOf(window->frmBrowse->Edit), window->frmBrowse->Label1);
  EXPECT_EQ(LabelOf(window->frmOptions->edtLogName), window->frmOptions->Label1);
  std::set<QString> names;
  for (QObject* control : std::initializer_list<QObject*>{
           window->edtPfad1, window->edtPfad2, window->btnBrowse1, window->btnBrowse2, window->Memo1,
           window->ProgressBarOneFile, window->btnStart, window->frmBrowse->DriveComboBox,
           window->frmBrowse->DirectoryListBox, window->frmBrowse->Edit, window->frmOptions->speCompNr,
           window->frmOptions->btnBrowse}) {
    const QString name = Name(control);
    EXPECT_FALSE(name.trimmed().isEmpty()) << control->metaObject()->className();
    EXPECT_TRUE(names.insert(name).second) << name.toStdString();
  }
  TfrmHelp help;
  EXPECT_EQ(QAccessible::queryAccessibleInterface(&help)->role(), QAccessible::Window);
  EXPECT_EQ(Name(&help), "How to use ZEK32");
  EXPECT_FALSE(Name(help.HelpMemo).isEmpty());
}

// The message window's lines could not be read by a screen reader at all.
TEST(AccessibilityTest, AScreenReaderReadsTheMessageWindowByLine) {
  TMessageView view;
  for (const char* line : {"running...", "Target file not found: /t/\xC3\xA4", "finished."}) view.Append(line);
  view.ShowAppended();
  QAccessibleTextInterface* text = QAccessible::queryAccessibleInterface(&view)->textInterface();
  ASSERT_NE(text, nullptr);
  const QString all = QString::fromUtf8("running...\nTarget file not found: /t/\xC3\xA4\nfinished.");
  EXPECT_EQ(text->characterCount(), all.size());
  EXPECT_EQ(text->text(0, text->characterCount()), all);
  int start = 0, end = 0;
  EXPECT_EQ(text->textAtOffset(12, QAccessible::LineBoundary, &start, &end),
            QString::fromUtf8("Target file not found: /t/\xC3\xA4\n"));
  EXPECT_EQ(start, 11);
  EXPECT_EQ(text->textAfterOffset(12, QAccessible::LineBoundary, &start, &end), "finished.");
  // The keyboard cursor is the reader's cursor.
  text->setCursorPosition(end - 1);
  EXPECT_EQ(view.CursorPosition(), (TMessageView::Position{2, 8}));
  EXPECT_EQ(text->cursorPosition(), end - 1);
}

}  // namespace
}  // namespace zek::test
