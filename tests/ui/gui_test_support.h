#pragma once
// What the window tests share: answering modal windows as a user would, waiting
// for the event loop, and starting the main window as the program does.
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/zek_intro_u.h"
#include "ui/zek_u.h"

namespace zek::test {

// Calls the handler, soon after, for every showing of a modal window, as a user
// reacting to it would.
class ModalHandler : public QObject {
 public:
  explicit ModalHandler(std::function<void(QWidget*)> handler) : handler_(std::move(handler)) {
    qApp->installEventFilter(this);
  }
  ~ModalHandler() override { qApp->removeEventFilter(this); }
  int Seen = 0;

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
      auto* window = static_cast<QWidget*>(watched);
      if (window->isWindow() && window->isModal())
        QTimer::singleShot(0, this, [this, shown = QPointer<QWidget>(window)] {
          if (shown == nullptr || !shown->isVisible()) return;
          ++Seen;
          handler_(shown);
        });
    }
    return false;
  }

 private:
  std::function<void(QWidget*)> handler_;
};

// Picks the path in a file dialog as a user would; a null path cancels it.
inline void AnswerFileDialog(QFileDialog* dialog, const QString& path) {
  if (path.isEmpty()) return dialog->reject();
  dialog->selectFile(path);
  static_cast<QDialog*>(dialog)->accept();  // QFileDialog's own accept checks the name
}

// Processes events until the condition holds; false when it does not within 10 s.
inline bool WaitUntil(const std::function<bool()>& condition) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > 10000) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// The main window after start-up: intro dismissed with OK, shown, first
// activation done.
inline std::unique_ptr<TfrmZEKMain> StartMainWindow(std::vector<std::string> arguments = {}) {
  ModalHandler clickOk([](QWidget* modal) {
    if (auto* intro = qobject_cast<TfrmIntro*>(modal)) intro->btnOK->click();
  });
  auto window = std::make_unique<TfrmZEKMain>(std::move(arguments));
  window->show();
  window->activateWindow();
  WaitUntil([&] { return !window->FirstActivation(); });
  return window;
}

}  // namespace zek::test
