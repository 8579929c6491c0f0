#pragma once
// Notes on trouble shooting: one question and its answer, in an editable memo
// whose changes last until the program ends.
#include <QMainWindow>

class QAction;
class QPlainTextEdit;

namespace zek {

class TfrmTroubleShooting : public QMainWindow {
  Q_OBJECT
 public:
  TfrmTroubleShooting();

  QAction* Close1;
  QPlainTextEdit* Memo1;
};

}  // namespace zek
