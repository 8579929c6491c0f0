#include "ui/zek_intro_u.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "ui/utilities.h"

namespace zek {

TfrmIntro::TfrmIntro(QWidget* owner) : QDialog(owner) {
  setWindowTitle("ZEK32");
  setFont(WindowsFont(13));
  ResizeOuter(this, 435, 246);

  Label1 = new QLabel(kProductTitle, this);
  QFont titleFont = WindowsFont(23);
  Label1->setFont(titleFont);
  Label1->move(0, 24);
  Label2 = new QLabel("Version " ZEK32_VERSION ", released December 2026", this);
  Label2->move(0, 80);
  Label3 = new QLabel("Provided as is, without any warranty.", this);
  Label3->move(0, 104);
  for (QLabel* label : {Label1, Label2, Label3}) label->setTextFormat(Qt::PlainText);

  btnOK = new QPushButton("OK", this);
  btnOK->setGeometry(176, 176, 75, 25);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::close);

  // Runs from creation on: the start-up greeting ends by itself after a second.
  Timer1 = new QTimer(this);
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, &QDialog::close);
  Timer1->start();

  CenterOnFirstShow(this);
}

void TfrmIntro::ShowAsAbout() {
  Timer1->stop();
  exec();
}

void TfrmIntro::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TfrmIntro::FormShow() {
  for (QLabel* label : {Label1, Label2, Label3}) CenterLabel(label, width());
}

}  // namespace zek
