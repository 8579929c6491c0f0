#pragma once
// The usage help, a modeless window that the Help menu places next to the main
// window.
#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace zek {

class TfrmHelp : public QWidget {
  Q_OBJECT
 public:
  TfrmHelp();

  QPlainTextEdit* HelpMemo;
  QPushButton* btnClose;

 protected:
  void resizeEvent(QResizeEvent* event) override;
};

// The usage text of the help window.
QString UsageHelpText();

}  // namespace zek
