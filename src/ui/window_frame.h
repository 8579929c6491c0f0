#pragma once
// Windows are sized and placed by their outer bounds, the window manager's frame
// included, as a user sees them on the screen. Qt sizes the client area and
// learns the frame only after a window is shown, so we learn it earlier: X11
// window managers tell a window's frame before it is mapped when asked
// (_NET_REQUEST_FRAME_EXTENTS); without a window manager there is none.
#include <qnamespace.h>

#include "ui/layout.h"

class QWidget;

namespace zek {

// The frame the window has, or will have once shown, in its normal state.
Margins FrameOf(const QWidget* window);

// A window's bounds including its frame.
Bounds OuterBounds(const QWidget* window);
void SetOuterBounds(QWidget* window, const Bounds& bounds);
// Keeps the outer size or the outer place.
void MoveOuter(QWidget* window, const Origin& origin);
void ResizeOuter(QWidget* window, int32_t width, int32_t height);
// Centres the window on its screen at its current size.
void CenterOnScreen(QWidget* window);
// Centres the window on its screen when it is shown for the first time; later
// showings keep wherever it stands then.
void CenterOnFirstShow(QWidget* window);
// Sets the window's state and, when a window manager is to carry out the change
// (a maximised window restored), waits briefly until it has, so that the bounds
// read next are the new ones.
void SetWindowStateNow(QWidget* window, Qt::WindowStates states);

}  // namespace zek
