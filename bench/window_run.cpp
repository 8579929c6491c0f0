// Times one run through the main window, as a user starts it: the window is
// shown as the program shows it, Compare is pressed, and the clock runs until
// the run has ended and its last state is painted.
//
//   window_run SOURCE TARGET
//
// stdout: the lines of the message window, one per line, as zek32 --batch
// prints them; stderr: "seconds S" with the time from the press to the verdict.
// It needs a display (bench/run.sh starts Xvfb for it).
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWindow>
#include <cstdio>
#include <string>
#include <vector>

#include "ui/message_view.h"
#include "ui/zek_u.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fputs("usage: window_run SOURCE TARGET\n", stderr);
    return 2;
  }
  zek::TfrmZEKMain window(std::vector<std::string>{argv[1], argv[2]});
  window.show();
  window.activateWindow();
  // The first activation fills the path fields; the run needs the window on screen.
  QElapsedTimer wait;
  wait.start();
  while (window.Run().FirstActivation || !window.windowHandle()->isExposed()) {
    if (wait.elapsed() > 10000) {
      std::fputs("window_run: the window did not come up within 10 s\n", stderr);
      return 2;
    }
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  QApplication::processEvents();

  QElapsedTimer clock;
  clock.start();
  window.btnStart->click();  // returns when the run has ended
  QApplication::processEvents();  // paints the verdict
  const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  if (window.Run().Busy) {
    std::fputs("window_run: the run was still busy after Compare returned\n", stderr);
    return 2;
  }
  std::fputs(window.Memo1->toPlainText().toLocal8Bit().constData(), stdout);
  std::fputs("\n", stdout);
  std::fprintf(stderr, "seconds %.6f\n", seconds);
  return 0;
}
