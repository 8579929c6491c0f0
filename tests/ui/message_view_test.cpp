#include "ui/message_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <string>
#include <vector>

namespace zek::test {
namespace {

std::vector<std::string> Numbered(int count) {
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) lines.push_back("line " + std::to_string(i) + (i % 7 == 0 ? " \xC3\xA4\xFF" : ""));
  return lines;
}

// A keyboard user could not reach the first line of a long run, and Ctrl+A,
// Ctrl+C lost or reordered lines (or froze the window).
TEST(MessageViewTest, KeysReachBothEndsAndCopyTakesEveryLineInOrder) {
  TMessageView view;
  view.resize(300, 200);
  view.show();
  const std::vector<std::string> lines = Numbered(30000);
  // Appended in batches, as a run hands them over, across many chunks of storage.
  for (size_t at = 0; at < lines.size(); ++at) {
    view.Append(lines[at]);
    if (at % 1000 == 999) view.ShowAppended();
  }
  ASSERT_EQ(view.LineCount(), 30000);
  EXPECT_EQ(view.Line(29999), lines.back());
  // A view that showed the end goes on showing it.
  EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());

  view.setFocus();
  QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(view.FirstVisibleLine(), 0);
  EXPECT_EQ(view.CursorPosition(), (TMessageView::Position{0, 0}));
  QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(view.CursorPosition().Line, 29999);
  EXPECT_GT(view.FirstVisibleLine(), 29900);

  QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
  std::string expected;
  for (const std::string& line : lines) expected += line + "\n";
  expected.pop_back();
  const QMimeData* copied = QApplication::clipboard()->mimeData();
  ASSERT_NE(copied, nullptr);
  EXPECT_TRUE(copied->data("text/plain").toStdString() == expected);

  // A selection inside lines, by the keyboard: the end of line 1 to the start of line 3.
  QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
  QTest::keyClick(&view, Qt::Key_Down);
  QTest::keyClick(&view, Qt::Key_End);
  QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(&view, Qt::Key_Home, Qt::ShiftModifier);
  EXPECT_EQ(view.SelectedBytes(), "\n" + lines[2] + "\n");

  // Clearing for the next run leaves what was copied on the clipboard.
  view.clear();
  EXPECT_EQ(view.LineCount(), 0);
  EXPECT_EQ(QApplication::clipboard()->mimeData()->data("text/plain").size(), static_cast<qsizetype>(expected.size()));
}

}  // namespace
}  // namespace zek::test
