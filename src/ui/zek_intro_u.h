#pragma once
// The intro window: greets the user at start-up for about a second and serves
// as the About box.
#include <QDialog>

class QLabel;
class QPushButton;
class QTimer;

namespace zek {

class TfrmIntro : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmIntro(QWidget* owner);

  // About1Click: the timer stops for good, so the window waits for the user.
  void ShowAsAbout();

  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QPushButton* btnOK;
  QTimer* Timer1;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
};

}  // namespace zek
