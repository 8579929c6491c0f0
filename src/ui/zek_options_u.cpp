#include "ui/zek_options_u.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <algorithm>
#include <climits>

#include "engine/probe.h"
#include "settings/option_set.h"
#include "ui/utilities.h"

namespace zek {
namespace {

// The nine message boxes read as the quoted message line.
QString Quoted(const char* text) { return QStringLiteral("\"%1\"").arg(QLatin1String(text)); }

// The fixed layout grows with the desktop's font size.
int Scaled(int pixels) { return static_cast<int>(pixels * FontScale() + 0.5); }

template <class Control>
Control* Place(Control* control, int left, int top, int width, int height) {
  control->setGeometry(Scaled(left), Scaled(top), Scaled(width), Scaled(height));
  return control;
}

}  // namespace

TCompNrEdit::TCompNrEdit(QWidget* parent) : QSpinBox(parent) {
  setRange(kCompNrMin, kCompNrMax);
  setSingleStep(1);
  setValue(kCompNrStart);
}

bool TCompNrEdit::IsAllowed(QChar c) const {
  return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || QString(c) == locale().decimalPoint();
}

QValidator::State TCompNrEdit::validate(QString& text, int&) const {
  for (QChar c : text)
    if (!IsAllowed(c)) return QValidator::Invalid;
  return QValidator::Acceptable;
}

int TCompNrEdit::valueFromText(const QString& text) const {
  static const QRegularExpression wholeNumber(QStringLiteral("^[+-]?[0-9]+$"));
  if (!wholeNumber.match(text).hasMatch()) return 0;
  bool ok = false;
  qlonglong number = text.toLongLong(&ok);
  // More digits than any integer holds still name a number beyond one end.
  if (!ok) number = text.startsWith(u'-') ? LLONG_MIN : LLONG_MAX;
  return ClampCompNr(static_cast<int>(std::clamp<qlonglong>(number, INT_MIN, INT_MAX)));
}

void TCompNrEdit::keyPressEvent(QKeyEvent* event) {
  const QString text = event->text();
  if (text.size() == 1 && text[0].isPrint() && !IsAllowed(text[0])) {
    QApplication::beep();
    event->accept();
    return;
  }
  QSpinBox::keyPressEvent(event);
}

TfrmOptions::TfrmOptions(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint) {
  setWindowTitle("Options");
  setFont(WindowsFont(13));
  setFixedSize(Scaled(625), Scaled(376));

  gbxMessage = Place(new QGroupBox("Messages", this), 8, 3, 321, 246);
  cbxFilesEqual = Place(new QCheckBox(Quoted("Files equal"), gbxMessage), 8, 24, 280, 17);
  cbxCouldNotOpenSource = Place(new QCheckBox(Quoted("Could not open source file"), gbxMessage), 8, 48, 280, 17);
  cbxCouldNotOpenTarget = Place(new QCheckBox(Quoted("Could not open target file"), gbxMessage), 8, 72, 280, 17);
  cbxTargetNotFound = Place(new QCheckBox(Quoted("Target file not found"), gbxMessage), 8, 96, 280, 17);
  cbxDifferentSize = Place(new QCheckBox(Quoted("Files have different size"), gbxMessage), 8, 120, 280, 17);
  cbxDifferentTime = Place(new QCheckBox(Quoted("Files have different time"), gbxMessage), 8, 144, 305, 17);
  cbxDoNotMatch = Place(new QCheckBox(Quoted("Files do not match"), gbxMessage), 8, 168, 300, 17);
  cbxDifferAt = Place(new QCheckBox(Quoted("Files differ at position..."), gbxMessage), 8, 192, 300, 17);
  cbxShowDir = Place(new QCheckBox(Quoted("Switching to directory..."), gbxMessage), 8, 216, 300, 17);

  gbxLOGFile = Place(new QGroupBox("Log-file", this), 336, 8, 281, 137);
  cbxWriteLog = Place(new QCheckBox("Write Log-file", gbxLOGFile), 8, 24, 97, 17);
  Label1 = Place(new QLabel("Name of Log-file:", gbxLOGFile), 8, 48, 0, 16);
  edtLogName = Place(new QLineEdit(kLogNameStart, gbxLOGFile), 8, 72, 265, 24);
  btnBrowse = Place(new QPushButton("Browse", gbxLOGFile), 192, 104, 81, 25);

  gbxCompare = Place(new QGroupBox("Compare", this), 8, 256, 377, 113);
  cbxOnlyTimeDateSize =
      Place(new QCheckBox("Compare only time, date and size of files", gbxCompare), 8, 24, 353, 17);
  cbxCompareDifferentSize = Place(new QCheckBox("Compare files with different size", gbxCompare), 8, 52, 361, 17);
  lblCompNr1 = Place(new QLabel("Stop comparing after ", gbxCompare), 8, 80, 0, 16);
  speCompNr = Place(new TCompNrEdit(gbxCompare), 145, 76, 56, 26);
  // Wide enough for "10000" and its arrows in whatever font it gets.
  speCompNr->resize(std::max(Scaled(56), speCompNr->sizeHint().width()), speCompNr->height());
  lblCompNr2 = Place(new QLabel("different bytes.", gbxCompare), 216, 80, 0, 16);

  btnOK = Place(new QPushButton("OK", this), 392, 264, 225, 105);
  QFont okFont = WindowsFont(40);
  okFont.setBold(true);
  btnOK->setFont(okFont);
  // Enter away from a button closes the dialog as OK does: OK is drawn as the default.
  btnOK->setDefault(true);

  GroupBox1 = Place(new QGroupBox("Accelerators", this), 336, 152, 281, 97);
  cbxHighSpeed = Place(new QCheckBox("Use High-Speed PSX 99i Acc.", GroupBox1), 16, 32, 249, 17);
  cbxWarpSpeed = Place(new QCheckBox("Use Warp XVZ 3000 Acc.", GroupBox1), 16, 56, 257, 17);

  for (QLabel* label : {Label1, lblCompNr1, lblCompNr2}) label->setTextFormat(Qt::PlainText);
  Label1->setBuddy(edtLogName);
  lblCompNr1->setBuddy(speCompNr);
  edtLogName->setAccessibleName("Name of Log-file");
  speCompNr->setAccessibleName("Stop comparing after this many different bytes");
  btnBrowse->setAccessibleName("Browse for the log file");
  RefitAllLabels(this);

  // Tab order: each group's own order, the groups in the dialog's order.
  const QList<QWidget*> tabOrder = {cbxFilesEqual, cbxCouldNotOpenSource, cbxCouldNotOpenTarget, cbxTargetNotFound,
                                    cbxDifferentSize, cbxDoNotMatch, cbxDifferAt, cbxShowDir, cbxDifferentTime,
                                    cbxWriteLog, edtLogName, btnBrowse, cbxCompareDifferentSize, speCompNr,
                                    cbxOnlyTimeDateSize, btnOK, cbxHighSpeed, cbxWarpSpeed};
  for (qsizetype i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

  boxes_ = {cbxFilesEqual, cbxCouldNotOpenSource, cbxCouldNotOpenTarget, cbxTargetNotFound,
            cbxDifferentSize, cbxDifferentTime, cbxDoNotMatch, cbxDifferAt,
            cbxShowDir, cbxWriteLog, cbxOnlyTimeDateSize, cbxCompareDifferentSize,
            cbxHighSpeed, cbxWarpSpeed};
  for (int i = 0; i < kOptionCount; ++i) boxes_[i]->setChecked(OptionStartValue(static_cast<Option>(i)));

  // toggled fires on every change of state, by a click or by the program.
  connect(cbxOnlyTimeDateSize, &QCheckBox::toggled, this, [this] { ModeClick(Option::OnlyTimeDateSize); });
  connect(cbxCompareDifferentSize, &QCheckBox::toggled, this, [this] { ModeClick(Option::CompareDifferentSize); });
  connect(btnOK, &QPushButton::clicked, this, &TfrmOptions::btnOKClick);
  connect(btnBrowse, &QPushButton::clicked, this, &TfrmOptions::btnBrowseClick);

  // The dialog sees every key before the focused control does.
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

void TfrmOptions::ShowOver(const QWidget* owner) {
  // Its own frame, which need not be the owner's.
  const Bounds outer = OuterBounds(this);
  MoveOuter(this, CenteredOver(OuterBounds(owner), outer.Width, outer.Height));
  exec();
}

bool TfrmOptions::Checked(Option option) const { return Box(option)->isChecked(); }

void TfrmOptions::SetChecked(Option option, bool checked) { Box(option)->setChecked(checked); }

int TfrmOptions::CompNr() const { return speCompNr->value(); }

void TfrmOptions::SetCompNr(int value) { speCompNr->setValue(ClampCompNr(value)); }

std::string TfrmOptions::LogName() const { return ToNative(edtLogName->text()); }

void TfrmOptions::SetLogName(const std::string& name) { edtLogName->setText(FromNative(name)); }

bool TfrmOptions::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) FormActivate();
  return QDialog::event(event);
}

bool TfrmOptions::eventFilter(QObject* watched, QEvent* event) {
  if (PressFocusedButton(watched, event)) return true;
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
      close();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmOptions::FormActivate() {
  RefitAllLabels(this);
  speCompNr->move(lblCompNr1->x() + lblCompNr1->width() + 4, speCompNr->y());
  lblCompNr2->move(speCompNr->x() + speCompNr->width() + 8, lblCompNr2->y());
}

void TfrmOptions::btnOKClick() { close(); }

void TfrmOptions::btnBrowseClick() {
  const QString path = ChooseFile(this, true, "zek32 Log-files", "*.LOG", edtLogName->text());
  if (path.isNull()) return;
  if (ProbeFileName(ToNative(path))) {
    edtLogName->setText(path);
    cbxWriteLog->setChecked(true);
  } else {
    ShowMessage(this, "Can not create file.");
    cbxWriteLog->setChecked(false);
  }
}

void TfrmOptions::ModeClick(Option changed) {
  if (const auto other = ModeToUncheck(changed, cbxOnlyTimeDateSize->isChecked(), cbxCompareDifferentSize->isChecked()))
    Box(*other)->setChecked(false);
}

}  // namespace zek
