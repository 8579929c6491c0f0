#include "ui/utilities.h"

#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QEvent>
#include <QScreen>
#include <QWidget>

namespace zek {

QFont WindowsFont(int pixelHeight) {
  QFont font;
  // The stand-ins are about as wide as the original, so fixed-size captions
  // still fit; without any of them the system's sans-serif font is used.
  font.setFamilies({"MS Sans Serif", "Liberation Sans", "Arimo", "Arial", "Nimbus Sans", "Helvetica"});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelHeight);
  return font;
}

QIcon ProgramIcon() { return QIcon(QStringLiteral(":/zek32/zek32.png")); }

QString FromNative(const std::string& text) { return QString::fromLocal8Bit(text); }

std::string ToNative(const QString& text) { return text.toLocal8Bit().toStdString(); }

void RefitLabel(QLabel* label) { label->adjustSize(); }

void RefitAllLabels(QWidget* window) {
  for (QLabel* label : window->findChildren<QLabel*>()) RefitLabel(label);
}

void CenterLabel(QLabel* label, int width) {
  RefitLabel(label);
  label->move(CenteredLeft(width, label->width()), label->y());
}

void SetBounds(QWidget* widget, const Bounds& bounds) {
  widget->setGeometry(bounds.Left, bounds.Top, bounds.Width, bounds.Height);
}

Bounds OuterBounds(const QWidget* window) {
  const QRect frame = window->frameGeometry();
  return {frame.x(), frame.y(), frame.width(), frame.height()};
}

Bounds OuterSizeLike(const QWidget* window, const QWidget* owner) {
  const QSize frame = owner->frameGeometry().size() - owner->size();
  return {0, 0, window->width() + frame.width(), window->height() + frame.height()};
}

void SetOuterBounds(QWidget* window, const Bounds& bounds) {
  const QRect frame = window->frameGeometry();
  window->move(bounds.Left, bounds.Top);
  window->resize(bounds.Width - (frame.width() - window->width()),
                 bounds.Height - (frame.height() - window->height()));
}

void CenterOnScreen(QWidget* window) {
  const QRect screen = window->screen()->geometry();
  const Bounds outer = OuterBounds(window);
  window->move(screen.x() + (screen.width() - outer.Width) / 2, screen.y() + (screen.height() - outer.Height) / 2);
}

namespace {

class FirstShowCentring : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      CenterOnScreen(static_cast<QWidget*>(watched));
      deleteLater();
      watched->removeEventFilter(this);
    }
    return false;
  }
};

}  // namespace

void CenterOnFirstShow(QWidget* window) { window->installEventFilter(new FirstShowCentring(window)); }

void ShowErrorBox(QWidget* parent, const std::exception& error) {
  QMessageBox box(QMessageBox::Critical, kApplicationTitle, FromNative(error.what()) + ".", QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void ShowMessage(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, text, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

QString ChooseFile(QWidget* parent, bool save, const QString& filterName, const QString& pattern,
                   const QString& startName) {
  // Qt's own dialog, so that it behaves alike on every desktop and a pending
  // quit can close it like any other modal window.
  QFileDialog dialog(parent);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
  dialog.setNameFilter(filterName + " (" + pattern + ")");
  dialog.selectFile(startName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

}  // namespace zek
