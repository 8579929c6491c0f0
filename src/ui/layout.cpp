#include "ui/layout.h"

#include <algorithm>

namespace zek {

Bounds ClientFor(const Bounds& outer, const Margins& frame) {
  return {outer.Left + frame.Left, outer.Top + frame.Top, outer.Width - frame.Left - frame.Right,
          outer.Height - frame.Top - frame.Bottom};
}

Bounds OuterFor(const Bounds& client, const Margins& frame) {
  return {client.Left - frame.Left, client.Top - frame.Top, client.Width + frame.Left + frame.Right,
          client.Height + frame.Top + frame.Bottom};
}

Origin CenteredOn(const Bounds& screen, int32_t width, int32_t height) {
  return {screen.Left + (screen.Width - width) / 2, screen.Top + (screen.Height - height) / 2};
}

int32_t RoundHalfEven(int32_t numerator, int32_t denominator) {
  const int32_t quotient = numerator / denominator;
  const int32_t remainder = numerator % denominator;
  const int32_t twice = 2 * (remainder < 0 ? -remainder : remainder);
  const int32_t away = quotient + (numerator < 0 ? -1 : 1);
  if (twice > denominator) return away;
  if (twice == denominator && quotient % 2 != 0) return away;
  return quotient;
}

int32_t PathRowStep(int32_t textHeight) {
  // 1.7 x TH in tenths, so that an exact half is seen as one.
  return std::max(RoundHalfEven(17 * textHeight, 10), textHeight + 8);
}

MainLayout ComputeMainLayout(const MainMetrics& metrics, int32_t clientWidth, int32_t clientHeight) {
  const int32_t CW = std::max(clientWidth, 250);
  const int32_t CH = clientHeight;
  const int32_t TH = metrics.TextHeight;
  const int32_t LX = std::max(metrics.SourceLabel, metrics.TargetLabel) + 10;
  const int32_t LH = PathRowStep(TH);
  const int32_t BX = CW - 80;
  const int32_t CBW = metrics.SubDirCaption + 30;
  const int32_t BW = CW / 4;
  const int32_t G = (CW - 3 * BW) / 4;
  const int32_t MX = CW / 2;
  const int32_t SW = MX - 7;

  const int32_t Y1 = 10;
  const int32_t Y2 = Y1 + LH;
  const int32_t Y3 = Y2 + LH;
  const int32_t Y4 = Y3 + TH + 10;
  const int32_t Y5 = Y4 + LH + 35;
  const int32_t Y6 = Y5 + TH;
  const int32_t Y7 = Y6 + TH + 5;
  const int32_t Y8 = Y7 + TH + 2;
  const int32_t Y9 = Y8 + TH + 2;

  MainLayout l;
  l.lblPfad1 = {5, Y1, LX - 6, TH};
  l.edtPfad1 = {LX, Y1 - 3, BX - LX - 4, TH + 6};
  l.btnBrowse1 = {BX, Y1 - 3, 75, TH + 6};
  l.lblPfad2 = {5, Y2, LX - 6, TH};
  l.edtPfad2 = {LX, Y2 - 3, BX - LX - 4, TH + 6};
  l.btnBrowse2 = {BX, Y2 - 3, 75, TH + 6};
  l.cbxIncludeSubDir = {5, Y3, CBW, TH - 1};
  l.btnStart = {G, Y4, BW, 31};
  l.btnCancel = {2 * G + BW, Y4, BW, 31};
  l.btnQuit = {3 * G + 2 * BW, Y4, BW, 31};
  l.lblFile = {5, Y5, CW - 7, TH};
  l.ProgressBarOneFile = {5, Y6, SW, TH};
  l.lblNichtGefunden = {5, Y7, SW, TH};
  l.lblVerschieden = {MX, Y7, SW, TH};
  l.lblTotal = {5, Y8, SW, TH};
  l.lblByteTotal = {MX, Y8, SW, TH};
  l.Memo1 = {5, Y9, CW - 9, std::max(CH - Y9 - 4, 100)};
  return l;
}

HelpLayout ComputeHelpLayout(int32_t clientWidth, int32_t clientHeight) {
  const int32_t BW = clientWidth / 4;
  const int32_t G = (clientWidth - 3 * BW) / 3;
  HelpLayout l;
  l.HelpMemo = {0, 0, clientWidth, clientHeight - 40};
  l.btnClose = {2 * BW + 2 * G, clientHeight - 35, BW, 32};
  return l;
}

Origin CenteredOver(const Bounds& owner, int32_t width, int32_t height) {
  return {std::max(0, owner.Left + RoundHalfEven(owner.Width - width, 2)),
          std::max(0, owner.Top + RoundHalfEven(owner.Height - height, 2))};
}

int32_t CenteredLeft(int32_t width, int32_t labelWidth) { return (width - labelWidth) / 2; }

Origin ReachableOrigin(const Bounds& window, const Bounds& screen) {
  // The part of the title bar that must be on the screen to grab the window.
  constexpr int32_t kGripWidth = 100;
  constexpr int32_t kGripHeight = 20;
  const int32_t right = screen.Left + screen.Width;
  const int32_t bottom = screen.Top + screen.Height;
  const int32_t visibleWidth = std::min(window.Left + window.Width, right) - std::max(window.Left, screen.Left);
  const bool reachable = visibleWidth >= std::min(kGripWidth, window.Width) && window.Top >= screen.Top &&
                         window.Top + kGripHeight <= bottom;
  if (reachable) return {window.Left, window.Top};
  return {std::max(screen.Left, std::min(window.Left, right - window.Width)),
          std::max(screen.Top, std::min(window.Top, bottom - window.Height))};
}

}  // namespace zek
