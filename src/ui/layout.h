#pragma once
// The arithmetic of the hand-made window layouts: client size and measured font
// metrics in, rectangles out. No widgets here, so the tests can feed in the
// worked examples directly.
#include <cstdint>

namespace zek {

struct Bounds {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  bool operator==(const Bounds&) const = default;
};

struct Origin {
  int32_t Left = 0;
  int32_t Top = 0;
  bool operator==(const Origin&) const = default;
};

// The window manager's frame around a window's client area, on each side.
struct Margins {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  bool operator==(const Margins&) const = default;
};

// The client area that gives a window with this frame the outer bounds, and back.
Bounds ClientFor(const Bounds& outer, const Margins& frame);
Bounds OuterFor(const Bounds& client, const Margins& frame);
// Where a window of this outer size stands centred on the screen (halves truncated).
Origin CenteredOn(const Bounds& screen, int32_t width, int32_t height);

// numerator / denominator rounded to the nearest integer, an exact half going to
// the even neighbour; denominator > 0.
int32_t RoundHalfEven(int32_t numerator, int32_t denominator);

// What the main window's layout measures before it places anything.
struct MainMetrics {
  int32_t TextHeight = 0;     // TH: line height in the font of lblPfad1
  int32_t SourceLabel = 0;    // width of "Source:  " in that font
  int32_t TargetLabel = 0;    // width of "Target:  " in that font
  int32_t SubDirCaption = 0;  // width of the check box caption in its own font
};

struct MainLayout {
  Bounds lblPfad1, edtPfad1, btnBrowse1;
  Bounds lblPfad2, edtPfad2, btnBrowse2;
  Bounds cbxIncludeSubDir;
  Bounds btnStart, btnCancel, btnQuit;
  Bounds lblFile, ProgressBarOneFile;
  Bounds lblNichtGefunden, lblVerschieden, lblTotal, lblByteTotal;
  Bounds Memo1;
};

// The row step of the two path rows: the larger of 1.7 x TH (rounded, halves
// to even) and TH + 8.
int32_t PathRowStep(int32_t textHeight);
MainLayout ComputeMainLayout(const MainMetrics& metrics, int32_t clientWidth, int32_t clientHeight);

struct HelpLayout {
  Bounds HelpMemo;
  Bounds btnClose;
};
HelpLayout ComputeHelpLayout(int32_t clientWidth, int32_t clientHeight);

// Where a dialog goes so that it stands over the centre of its owner (outer
// bounds); the halves round to even and neither edge goes below 0.
Origin CenteredOver(const Bounds& owner, int32_t width, int32_t height);

// Where a window of these outer bounds goes so that a user can reach it on a
// screen's available area: where it stands, as long as enough of its top
// strip (the title bar) is on the screen to grab it; otherwise moved, at its
// size, as far onto the screen as it fits, its top left corner first.
Origin ReachableOrigin(const Bounds& window, const Bounds& screen);

// The left edge that centres a label of labelWidth in width (negative when the
// label is the wider one).
int32_t CenteredLeft(int32_t width, int32_t labelWidth);

}  // namespace zek
