#include <gtest/gtest.h>

#include <QProgressBar>
#include <QPushButton>

#include "ui/gui_test_support.h"

namespace zek::test {
namespace {

TEST(ProgressBarTest, AnEmptyRangeDrawsAStillEmptyBar) {
  // Guards against the range 0..0 of a small file, which Qt draws as an endless busy animation.
  auto window = StartMainWindow();
  QProgressBar* bar = window->ProgressBarOneFile;
  IRunView& view = *window;
  view.SetProgressRange(0, 100);
  view.SetProgressPosition(0);
  const QImage empty = bar->grab().toImage();
  view.SetProgressRange(0, 0);
  view.SetProgressPosition(0);
  EXPECT_EQ(bar->grab().toImage(), empty);
  EXPECT_NE(bar->minimum(), bar->maximum());
}

}  // namespace
}  // namespace zek::test
