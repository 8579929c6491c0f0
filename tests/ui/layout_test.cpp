#include "ui/layout.h"

#include <gtest/gtest.h>

namespace zek {
namespace {

TEST(LayoutTest, RoundHalfEvenGoesToTheEvenNeighbourBothWays) {
  EXPECT_EQ(RoundHalfEven(5, 2), 2);
  EXPECT_EQ(RoundHalfEven(7, 2), 4);
  EXPECT_EQ(RoundHalfEven(-3, 2), -2);
  EXPECT_EQ(RoundHalfEven(-5, 2), -2);
  EXPECT_EQ(RoundHalfEven(-7, 10), -1);
  EXPECT_EQ(RoundHalfEven(13, 10), 1);
  EXPECT_EQ(RoundHalfEven(0, 2), 0);
  // 1.7 x TH: an exact half only where the tenths make one.
  EXPECT_EQ(PathRowStep(16), 27);
  EXPECT_EQ(PathRowStep(10), 18);
  EXPECT_EQ(PathRowStep(25), 42);
  EXPECT_EQ(PathRowStep(15), 26);
}

TEST(LayoutTest, MainWindowWorkedExample) {
  // TH = 16 and LX = 62 in a client area of 453 x 371.
  const MainLayout l = ComputeMainLayout({16, 52, 47, 140}, 453, 371);
  EXPECT_EQ(l.lblPfad1, (Bounds{5, 10, 56, 16}));
  EXPECT_EQ(l.edtPfad1, (Bounds{62, 7, 307, 22}));
  EXPECT_EQ(l.btnBrowse1, (Bounds{373, 7, 75, 22}));
  EXPECT_EQ(l.lblPfad2, (Bounds{5, 37, 56, 16}));
  EXPECT_EQ(l.edtPfad2, (Bounds{62, 34, 307, 22}));
  EXPECT_EQ(l.btnBrowse2, (Bounds{373, 34, 75, 22}));
  EXPECT_EQ(l.cbxIncludeSubDir, (Bounds{5, 64, 170, 15}));
  EXPECT_EQ(l.btnStart, (Bounds{28, 90, 113, 31}));
  EXPECT_EQ(l.btnCancel, (Bounds{169, 90, 113, 31}));
  EXPECT_EQ(l.btnQuit, (Bounds{310, 90, 113, 31}));
  EXPECT_EQ(l.lblFile, (Bounds{5, 152, 446, 16}));
  EXPECT_EQ(l.ProgressBarOneFile, (Bounds{5, 168, 219, 16}));
  EXPECT_EQ(l.lblNichtGefunden, (Bounds{5, 189, 219, 16}));
  EXPECT_EQ(l.lblVerschieden, (Bounds{226, 189, 219, 16}));
  EXPECT_EQ(l.lblTotal, (Bounds{5, 207, 219, 16}));
  EXPECT_EQ(l.lblByteTotal, (Bounds{226, 207, 219, 16}));
  EXPECT_EQ(l.Memo1, (Bounds{5, 225, 444, 142}));
}

TEST(LayoutTest, MainWindowEdgeCases) {
  const MainMetrics metrics{16, 52, 47, 140};
  // Width 250 exactly, and anything narrower laid out as 250.
  for (const int width : {250, 120, -5}) {
    const MainLayout l = ComputeMainLayout(metrics, width, 371);
    EXPECT_EQ(l.btnBrowse1.Left, 170);
    EXPECT_EQ(l.btnStart, (Bounds{16, 90, 62, 31}));
    EXPECT_EQ(l.btnCancel.Left, 94);
    EXPECT_EQ(l.btnQuit.Left, 172);
    EXPECT_EQ(l.lblVerschieden, (Bounds{125, 189, 118, 16}));
    EXPECT_EQ(l.Memo1.Width, 241);
  }
  // Too low a client keeps a message window of 100; only it reads the height.
  const MainLayout low = ComputeMainLayout(metrics, 453, 300);
  EXPECT_EQ(low.Memo1, (Bounds{5, 225, 444, 100}));
  EXPECT_EQ(low.lblTotal, ComputeMainLayout(metrics, 453, 900).lblTotal);
  // An odd width truncates the halves and quarters.
  const MainLayout odd = ComputeMainLayout(metrics, 455, 371);
  EXPECT_EQ(odd.lblByteTotal, (Bounds{227, 207, 220, 16}));
  EXPECT_EQ(odd.btnQuit, (Bounds{313, 90, 113, 31}));
  // The path rows follow the row step of the font.
  EXPECT_EQ(ComputeMainLayout({10, 52, 47, 140}, 453, 371).lblPfad2.Top, 28);
  EXPECT_EQ(ComputeMainLayout({25, 52, 47, 140}, 453, 371).edtPfad2, (Bounds{62, 49, 307, 31}));
}

TEST(LayoutTest, HelpWindowDialogAndLabelPlacement) {
  const HelpLayout help = ComputeHelpLayout(683, 469);
  EXPECT_EQ(help.HelpMemo, (Bounds{0, 0, 683, 429}));
  EXPECT_EQ(help.btnClose, (Bounds{454, 434, 170, 32}));

  const Bounds owner{100, 50, 461, 429};
  EXPECT_EQ(CenteredOver(owner, 456, 422), (Origin{102, 54}));  // differences 5 and 7
  EXPECT_EQ(CenteredOver(owner, 464, 429), (Origin{98, 50}));   // difference -3
  EXPECT_EQ(CenteredOver({0, 10, 300, 200}, 625, 376), (Origin{0, 0}));
  EXPECT_EQ(CenteredOver({-40, 0, 625, 376}, 625, 376), (Origin{0, 0}));

  EXPECT_EQ(CenteredLeft(100, 121), -10);
  EXPECT_EQ(CenteredLeft(435, 200), 117);
}

TEST(LayoutTest, OuterBoundsTakeTheFrameIn) {
  // Guards against the written outer sizes applied to the client area, and centring by the client size.
  const Margins frame{1, 20, 1, 5};
  EXPECT_EQ(ClientFor({281, 169, 461, 429}, frame), (Bounds{282, 189, 459, 404}));
  EXPECT_EQ(OuterFor({282, 189, 459, 404}, frame), (Bounds{281, 169, 461, 429}));
  EXPECT_EQ(ClientFor({100, 50, 500, 450}, Margins{}), (Bounds{100, 50, 500, 450}));
  EXPECT_EQ(CenteredOn({0, 0, 1024, 768}, 461, 429), (Origin{281, 169}));
  EXPECT_EQ(CenteredOn({1024, 0, 1280, 1024}, 435, 246), (Origin{1446, 389}));
}

// Bounds stored on a bigger monitor left only a corner of the window on the screen.
TEST(LayoutTest, AWindowOutOfReachIsMovedOntoTheScreenAndAReachableOneStays) {
  const Bounds screen{0, 0, 1024, 768};
  EXPECT_EQ(ReachableOrigin({1500, 950, 461, 429}, screen), (Origin{563, 339}));
  EXPECT_EQ(ReachableOrigin({-2000, -50, 461, 429}, screen), (Origin{0, 0}));
  // Larger than the screen: its top left corner goes on it.
  EXPECT_EQ(ReachableOrigin({900, 760, 1600, 1200}, screen), (Origin{0, 0}));
  // Enough of the title bar on the screen to grab: left where the user put it.
  EXPECT_EQ(ReachableOrigin({800, 600, 461, 429}, screen), (Origin{800, 600}));
  EXPECT_EQ(ReachableOrigin({-300, 10, 461, 429}, screen), (Origin{-300, 10}));
}

}  // namespace
}  // namespace zek
