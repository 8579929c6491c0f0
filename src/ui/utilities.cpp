#include "ui/utilities.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <string_view>
#include <utility>

namespace zek {

QFont WindowsFont(int pixelHeight) {
  QFont font;
  // The stand-ins are about as wide as the original, so fixed-size captions
  // still fit; without any of them the system's sans-serif font is used.
  font.setFamilies({"MS Sans Serif", "Liberation Sans", "Arimo", "Arial", "Nimbus Sans", "Helvetica"});
  font.setStyleHint(QFont::SansSerif);
  // In points, so that it grows with the desktop's font size (its logical
  // DPI); at the usual 96 DPI it is pixelHeight pixels high.
  font.setPointSizeF(pixelHeight * 72.0 / kDesignDpi);
  return font;
}

double FontScale() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen == nullptr ? 1.0 : std::max(1.0, screen->logicalDotsPerInchY() / kDesignDpi);
}

QIcon ProgramIcon() { return QIcon(QStringLiteral(":/zek32/zek32.png")); }

namespace {

constexpr char16_t kEscapedByte = 0xDC00;

// The code point of the well-formed UTF-8 sequence at text[at], with its length;
// a length of 0 when none starts there (stray, overlong, surrogate, truncated).
std::pair<char32_t, size_t> DecodeUtf8(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = 0;
  char32_t code = 0;
  // The second byte's range is narrowed where the lead alone would allow
  // overlong forms, surrogates or code points beyond U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  if (length == 0 || at + length > text.size()) return {0, 0};
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(at + i);
    if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return {0, 0};
    code = (code << 6) | (next & 0x3F);
  }
  return {code, length};
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

QString FromNative(const std::string& text) {
  QString out;
  out.reserve(static_cast<qsizetype>(text.size()));
  for (size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      out += QChar(byte);
      ++at;
      continue;
    }
    const auto [code, length] = DecodeUtf8(text, at);
    if (length == 0) {
      out += QChar(static_cast<char16_t>(kEscapedByte + byte));
      ++at;
    } else {
      if (QChar::requiresSurrogates(code)) {
        out += QChar(QChar::highSurrogate(code));
        out += QChar(QChar::lowSurrogate(code));
      } else {
        out += QChar(static_cast<char16_t>(code));
      }
      at += length;
    }
  }
  return out;
}

std::string ToNative(const QString& text) {
  std::string out;
  out.reserve(static_cast<size_t>(text.size()));
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i].unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      AppendUtf8(out, QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
      ++i;
    } else if (unit >= kEscapedByte + 0x80 && unit <= kEscapedByte + 0xFF) {
      out += static_cast<char>(unit - kEscapedByte);
    } else {
      // Any other lone surrogate names no character: it is written as U+FFFD.
      AppendUtf8(out, QChar::isSurrogate(unit) ? char32_t{0xFFFD} : char32_t{unit});
    }
  }
  return out;
}

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

bool PressFocusedButton(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  const int key = static_cast<QKeyEvent*>(event)->key();
  auto* button = qobject_cast<QPushButton*>(watched);
  // The window's focus widget: the key goes to it even before the window is active.
  if ((key != Qt::Key_Return && key != Qt::Key_Enter) || button == nullptr ||
      button->window()->focusWidget() != button || !button->isEnabled())
    return false;
  button->click();
  return true;
}

void ShowErrorBox(QWidget* parent, const std::exception& error) {
  QMessageBox box(QMessageBox::Critical, kApplicationTitle, FromNative(error.what()) + ".", QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void CallGuarded(QWidget* parent, const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& error) {
    ShowErrorBox(parent, error);
  }
}

void ShowMessage(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, text, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

namespace {

// A name holding * or ? is a filter, as in the platform's common dialogs: the
// dialog stays open and lists what matches, in the directory the name gives.
class TFileDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

  void accept() override {
    const QStringList chosen = selectedFiles();
    const QFileInfo name(chosen.isEmpty() ? QString() : chosen.first());
    const QString mask = name.fileName();
    if (!mask.contains(u'*') && !mask.contains(u'?')) return QFileDialog::accept();
    if (name.absoluteDir().exists()) setDirectory(name.absolutePath());
    if (auto* files = findChild<QFileSystemModel*>()) files->setNameFilters({mask});
    selectFile(mask);
  }
};

}  // namespace

QString ChooseFile(QWidget* parent, bool save, const QString& filterName, const QString& pattern,
                   const QString& startName, bool confirmOverwrite) {
  // Qt's own dialog, so that it behaves alike on every desktop and a pending
  // quit can close it like any other modal window.
  TFileDialog dialog(parent);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !confirmOverwrite);
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
