// Times one run through the main window, as a user starts it: the window is
// shown as the program shows it, Compare is pressed, and the clock runs until
// the run has ended and its last state is painted. Then Ctrl+A and Ctrl+C are
// pressed in the message window, each timed until the window has painted.
//
//   window_run [--differ-at] SOURCE TARGET
//
// --differ-at: report every differing position, up to 10000 a pair (as
// zek32 --batch -o MsgDifferAt=1 -o StopAfterBytes=10000).
// stdout: the lines of the message window, one per line, as zek32 --batch
// prints them; stderr: "seconds S", "select_all S" and "copy S" with the time
// from the press to the verdict and of the two keys, and "peak_kb K", the peak
// resident memory up to then. It needs a display (bench/run.sh starts Xvfb for it).
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMimeData>
#include <QPushButton>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "settings/option_set.h"
#include "ui/message_view.h"
#include "ui/zek_options_u.h"
#include "ui/zek_u.h"

namespace {

double Seconds(const QElapsedTimer& clock) { return static_cast<double>(clock.nsecsElapsed()) / 1e9; }

// One key press and release in the message window, timed until it is painted.
double PressKey(QWidget* target, Qt::Key key) {
  QElapsedTimer clock;
  clock.start();
  QKeyEvent press(QEvent::KeyPress, key, Qt::ControlModifier);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::ControlModifier);
  QApplication::sendEvent(target, &release);
  target->repaint();
  QApplication::processEvents();
  return Seconds(clock);
}

// The peak resident memory so far, in KiB.
long PeakKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const bool differAt = argc == 4 && std::strcmp(argv[1], "--differ-at") == 0;
  if (argc != 3 && !differAt) {
    std::fputs("usage: window_run [--differ-at] SOURCE TARGET\n", stderr);
    return 2;
  }
  zek::TfrmZEKMain window(std::vector<std::string>{argv[argc - 2], argv[argc - 1]});
  window.show();
  window.activateWindow();
  // The first activation fills the path fields; the run needs the window on screen.
  QElapsedTimer wait;
  wait.start();
  while (window.FirstActivation() || !window.windowHandle()->isExposed()) {
    if (wait.elapsed() > 10000) {
      std::fputs("window_run: the window did not come up within 10 s\n", stderr);
      return 2;
    }
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  if (differAt) {
    window.frmOptions->SetChecked(zek::Option::DifferAt, true);
    window.frmOptions->SetCompNr(10000);
  }
  QApplication::processEvents();

  QElapsedTimer clock;
  clock.start();
  window.btnStart->click();       // returns when the run has ended
  QApplication::processEvents();  // paints the verdict
  const double seconds = Seconds(clock);
  if (window.Run().Busy()) {
    std::fputs("window_run: the run was still busy after Compare returned\n", stderr);
    return 2;
  }
  window.Memo1->setFocus();
  const double selectAll = PressKey(window.Memo1, Qt::Key_A);
  const double copy = PressKey(window.Memo1, Qt::Key_C);
  const long peakKb = PeakKb();  // before the check below pastes what was copied
  const QByteArray copied = QApplication::clipboard()->mimeData()->data("text/plain");
  size_t written = 0;
  for (qsizetype line = 0; line < window.Memo1->LineCount(); ++line) {
    const std::string text = window.Memo1->Line(line);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    written += text.size() + 1;
  }
  // What Ctrl+C copied must be every line, as shown.
  if (written != 0 && static_cast<size_t>(copied.size()) + 1 != written) {
    std::fprintf(stderr, "window_run: Ctrl+C copied %lld bytes, not the whole message window\n",
                 static_cast<long long>(copied.size()));
    return 2;
  }
  std::fprintf(stderr, "seconds %.6f\nselect_all %.6f\ncopy %.6f\npeak_kb %ld\n", seconds, selectAll, copy, peakKb);
  return 0;
}
