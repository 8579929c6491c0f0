#pragma once
// Small helpers that every window of the program shares.
#include <QFont>
#include <QIcon>
#include <QString>
#include <exception>
#include <functional>
#include <string>

#include "ui/layout.h"
#include "ui/window_frame.h"

class QEvent;
class QLabel;
class QObject;
class QWidget;

namespace zek {

// The title of the program's own message boxes.
inline constexpr const char* kApplicationTitle = "ZEK32";
// The product's full title, shown by the intro window and the help text.
inline constexpr const char* kProductTitle = "ZEK32 Directory Compare";

// The desktop resolution at which a font's size in points gives the size in pixels it was designed with.
inline constexpr double kDesignDpi = 96.0;

// "MS Sans Serif" at the given pixel height at kDesignDpi, larger with a larger
// desktop font; where that family is missing, the system's sans-serif font stands in.
QFont WindowsFont(int pixelHeight);
// How much larger than designed the desktop's fonts are (1 at kDesignDpi, never
// less): windows of fixed layout grow by it.
double FontScale();

QIcon ProgramIcon();

// Paths and texts of the core are bytes, read as UTF-8. A Linux name need not be
// UTF-8, so every byte that does not decode crosses into Qt as the lone
// surrogate U+DC00 + byte (U+DC80..U+DCFF) and turns back into that byte:
// ToNative(FromNative(bytes)) == bytes for any bytes. A field shows such a byte
// as a replacement glyph but keeps it.
QString FromNative(const std::string& text);
std::string ToNative(const QString& text);

// Sizes the label to its caption in its current font, at once.
void RefitLabel(QLabel* label);
// RefitLabel for every label the window owns, in creation order.
void RefitAllLabels(QWidget* window);
// RefitLabel, then set the left edge so the label stands centred in width.
void CenterLabel(QLabel* label, int width);

void SetBounds(QWidget* widget, const Bounds& bounds);

// For a window's key preview: Enter on a focused push button presses that
// button (as Space does) before the window gives Enter a meaning of its own.
// True when it pressed one.
bool PressFocusedButton(QObject* watched, QEvent* event);

// The application's error box: an error icon, an OK button, the application's
// title, and the error's text with a period appended.
void ShowErrorBox(QWidget* parent, const std::exception& error);
// Runs a command of a window; an exception it raises ends in the error box,
// since none may cross the event loop.
void CallGuarded(QWidget* parent, const std::function<void()>& command);
// A plain message box with an OK button ("File not found.").
void ShowMessage(QWidget* parent, const QString& text);

// The common Open or Save dialog, made for one command: its file name box starts
// with startName (a path opens its directory), its filter list has the one
// entry filterName (files matching pattern, in any case), no extension is
// added, and an existing file is overwritten only after asking when
// confirmOverwrite is set. Returns the chosen full path, or a null string when
// the user cancels.
QString ChooseFile(QWidget* parent, bool save, const QString& filterName, const QString& pattern,
                   const QString& startName, bool confirmOverwrite = false);

}  // namespace zek
