#include "ui/window_frame.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QThread>
#include <QVariant>
#include <QWidget>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>
#if defined(ZEK32_WITH_XCB) && QT_CONFIG(xcb)
#define ZEK32_X11 1
#include <xcb/xcb.h>
#endif

namespace zek {
namespace {

constexpr const char* kFrameProperty = "zek32Frame";

Margins FromQt(const QMargins& m) { return {m.left(), m.top(), m.right(), m.bottom()}; }

QRect ToQt(const Bounds& b) { return {b.Left, b.Top, b.Width, b.Height}; }

Bounds FromQt(const QRect& r) { return {r.x(), r.y(), r.width(), r.height()}; }

#ifdef ZEK32_X11
// The X server connection, when the windows are on one.
xcb_connection_t* X11Connection() {
  auto* x11 = qApp != nullptr ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* reply =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  return atom;
}

// The 32-bit values of a window property, empty when it is not set.
std::vector<uint32_t> Property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                               uint32_t count) {
  std::vector<uint32_t> values;
  xcb_get_property_reply_t* reply =
      xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, count), nullptr);
  if (reply != nullptr && reply->format == 32 && reply->type == type) {
    const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
    values.assign(data, data + xcb_get_property_value_length(reply) / 4);
  }
  std::free(reply);
  return values;
}

xcb_window_t RootWindow(xcb_connection_t* c) { return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root; }

// What the running window manager is, as far as frames go.
enum class Manager { None,
                     Tells,
                     Silent };

Manager WindowManager(xcb_connection_t* c) {
  const xcb_window_t root = RootWindow(c);
  const xcb_atom_t check = Atom(c, "_NET_SUPPORTING_WM_CHECK");
  const std::vector<uint32_t> wm = Property(c, root, check, XCB_ATOM_WINDOW, 1);
  // A manager that has gone leaves its check window behind: it must point to itself.
  if (wm.empty() || Property(c, wm[0], check, XCB_ATOM_WINDOW, 1) != wm) return Manager::None;
  const xcb_atom_t request = Atom(c, "_NET_REQUEST_FRAME_EXTENTS");
  for (const uint32_t atom : Property(c, root, Atom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM, 4096))
    if (atom == request) return Manager::Tells;
  return Manager::Silent;
}

// The frame that the X11 window manager gives the window: asked before the
// window is mapped, read once it is managed. Nothing when it cannot tell.
std::optional<Margins> FrameFromWindowManager(QWidget* window) {
  xcb_connection_t* c = X11Connection();
  if (c == nullptr) return std::nullopt;
  const Manager manager = WindowManager(c);
  if (manager == Manager::None) return Margins{};
  const auto id = static_cast<xcb_window_t>(window->winId());
  const xcb_atom_t extents = Atom(c, "_NET_FRAME_EXTENTS");
  auto read = [&]() -> std::optional<Margins> {
    const std::vector<uint32_t> v = Property(c, id, extents, XCB_ATOM_CARDINAL, 4);
    if (v.size() != 4) return std::nullopt;
    // Left, right, top, bottom.
    return Margins{static_cast<int32_t>(v[0]), static_cast<int32_t>(v[2]), static_cast<int32_t>(v[1]),
                   static_cast<int32_t>(v[3])};
  };
  if (const auto known = read()) return known;
  if (manager != Manager::Tells) return std::nullopt;
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = id;
  message.type = Atom(c, "_NET_REQUEST_FRAME_EXTENTS");
  xcb_send_event(c, 0, RootWindow(c), XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(c);
  // The manager answers at once; a busy one gets half a second.
  QElapsedTimer clock;
  clock.start();
  do {
    if (const auto answer = read()) return answer;
    QThread::msleep(2);
  } while (clock.elapsed() < 500);
  return std::nullopt;
}

bool WindowManagerRuns() {
  xcb_connection_t* c = X11Connection();
  return c != nullptr && WindowManager(c) != Manager::None;
}
#else
std::optional<Margins> FrameFromWindowManager(QWidget*) { return std::nullopt; }
bool WindowManagerRuns() { return false; }
#endif

class FirstShowCentring : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    // Show comes before the window is mapped: it appears at its place at once.
    if (event->type() == QEvent::Show) {
      CenterOnScreen(static_cast<QWidget*>(watched));
      deleteLater();
      watched->removeEventFilter(this);
    }
    return false;
  }
};

}  // namespace

Margins FrameOf(const QWidget* window) {
  const QVariant known = window->property(kFrameProperty);
  if (known.isValid()) return FromQt(known.value<QMargins>());
  auto* widget = const_cast<QWidget*>(window);
  if (const auto frame = FrameFromWindowManager(widget)) {
    widget->setProperty(kFrameProperty, QVariant::fromValue(QMargins(frame->Left, frame->Top, frame->Right,
                                                                     frame->Bottom)));
    return *frame;
  }
  // Elsewhere Qt knows the frame once the window is shown; until then the
  // frame of the last shown window is the best guess, the same manager drawing both.
  static Margins lastShown;
  if (!window->isVisible() || window->windowHandle() == nullptr) return lastShown;
  lastShown = FromQt(window->windowHandle()->frameMargins());
  return lastShown;
}

Bounds OuterBounds(const QWidget* window) {
  // A maximised window's frame may be thinner than its normal one.
  if (window->isMaximized() || window->isFullScreen()) return FromQt(window->frameGeometry());
  return OuterFor(FromQt(window->geometry()), FrameOf(window));
}

void SetOuterBounds(QWidget* window, const Bounds& bounds) {
  const QRect client = ToQt(ClientFor(bounds, FrameOf(window)));
  window->setGeometry(client);
  // A hidden window that already has its native window keeps the native one's
  // geometry apart, and Qt may later take that over; both get ours.
  if (window->windowHandle() != nullptr && !window->isVisible()) window->windowHandle()->setGeometry(client);
}

void MoveOuter(QWidget* window, const Origin& origin) {
  const Bounds outer = OuterBounds(window);
  SetOuterBounds(window, {origin.Left, origin.Top, outer.Width, outer.Height});
}

void ResizeOuter(QWidget* window, int32_t width, int32_t height) {
  const Bounds outer = OuterBounds(window);
  SetOuterBounds(window, {outer.Left, outer.Top, width, height});
}

void CenterOnScreen(QWidget* window) {
  const Bounds outer = OuterBounds(window);
  MoveOuter(window, CenteredOn(FromQt(window->screen()->geometry()), outer.Width, outer.Height));
}

void CenterOnFirstShow(QWidget* window) { window->installEventFilter(new FirstShowCentring(window)); }

void SetWindowStateNow(QWidget* window, Qt::WindowStates states) {
  if (window->windowState() == states) return;
  const QRect before = window->geometry();
  // Only maximising, restoring and full screen change the bounds.
  const Qt::WindowStates sized = Qt::WindowMaximized | Qt::WindowFullScreen;
  const bool resizes = (window->windowState() & sized) != (states & sized);
  window->setWindowState(states);
  if (!resizes || !window->isVisible() || !WindowManagerRuns()) return;
  QElapsedTimer clock;
  clock.start();
  while (window->geometry() == before && clock.elapsed() < 500)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace zek
