#include "uWindowCaption.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <xcb/xcb.h>

namespace {

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name) {
  const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(qstrlen(name)), name);
  xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
  const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  free(reply);
  return atom;
}

// Empties both title properties of the window's X window.
void clearX11Title(QWidget *window) {
  auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !window->internalWinId())
    return;
  xcb_connection_t *connection = x11->connection();
  static const xcb_atom_t netWmName = internAtom(connection, "_NET_WM_NAME");
  static const xcb_atom_t utf8String = internAtom(connection, "UTF8_STRING");
  const auto id = static_cast<xcb_window_t>(window->internalWinId());
  if (netWmName != XCB_ATOM_NONE && utf8String != XCB_ATOM_NONE)
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, netWmName, utf8String, 8, 0, nullptr);
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, nullptr);
  xcb_flush(connection);
}

// Qt writes a window's title when it creates the native window and when the
// caption is set; both come before the Show and WindowTitleChange events.
class TCaptionKeeper : public QObject {
public:
  using QObject::QObject;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    const QEvent::Type type = event->type();
    if (type == QEvent::Show || type == QEvent::WindowTitleChange) {
      if (watched->isWidgetType()) {
        auto *widget = static_cast<QWidget *>(watched);
        if (widget->isWindow() && widget->windowTitle().isEmpty())
          clearX11Title(widget);
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

} // namespace

void KeepWindowCaptionsAsGiven(QCoreApplication *app) {
  if (app && QGuiApplication::platformName() == QLatin1String("xcb"))
    app->installEventFilter(new TCaptionKeeper(app));
}
