#include "ui/zek_trouble_shooting_u.h"

#include <QMenuBar>
#include <QPlainTextEdit>

#include "ui/utilities.h"

namespace zek {

TfrmTroubleShooting::TfrmTroubleShooting() {
  setWindowTitle("Trouble Shooting");
  setFont(WindowsFont(13));
  setAttribute(Qt::WA_QuitOnClose, false);

  Close1 = menuBar()->addAction("&Close");
  connect(Close1, &QAction::triggered, this, &QWidget::close);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setAccessibleName("Trouble Shooting");
  Memo1->setPlainText(
      ">>> While I compare files on a CD, ZEK32 shows the error message \"Fehler 30\". What does it mean?\n"
      "\n"
      "This message comes from the operating system (Win95); ZEK32 only passes it on. It means a physical "
      "read error on the CD. Copy the data from the CD onto the hard disk and run the comparison again on "
      "the copy.\n"
      "\n"
      "On Linux the same physical read error shows as \"I/O-Fehler 5.\".\n");
  setCentralWidget(Memo1);

  ResizeOuter(this, 509, 397);
  CenterOnFirstShow(this);
}

}  // namespace zek
