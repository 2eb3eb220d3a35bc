#include "uTestX11.h"

#include <QElapsedTimer>
#include <QThread>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace {

// One connection of the tests' own to the X server of DISPLAY.
xcb_connection_t *connection() {
  static xcb_connection_t *c = [] {
    xcb_connection_t *conn = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(conn)) {
      xcb_disconnect(conn);
      return static_cast<xcb_connection_t *>(nullptr);
    }
    return conn;
  }();
  return c;
}

xcb_window_t root() {
  xcb_connection_t *c = connection();
  return c ? xcb_setup_roots_iterator(xcb_get_setup(c)).data->root : 0;
}

xcb_atom_t atom(const char *name) {
  xcb_connection_t *c = connection();
  if (!c)
    return XCB_ATOM_NONE;
  xcb_intern_atom_reply_t *r =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
  const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
  free(r);
  return a;
}

// A property's bytes; none when the window does not have it.
std::optional<QByteArray> property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
  xcb_connection_t *c = connection();
  if (!c || name == XCB_ATOM_NONE)
    return std::nullopt;
  xcb_get_property_reply_t *r =
      xcb_get_property_reply(c, xcb_get_property(c, 0, window, name, type, 0, 1 << 20), nullptr);
  if (!r)
    return std::nullopt;
  std::optional<QByteArray> out;
  if (r->type != XCB_ATOM_NONE) {
    const int bytes = xcb_get_property_value_length(r);
    out = QByteArray(static_cast<const char *>(xcb_get_property_value(r)), bytes);
  }
  free(r);
  return out;
}

// A list of 32-bit values (windows, atoms) of a property.
QList<xcb_window_t> windowList(const std::optional<QByteArray> &bytes) {
  QList<xcb_window_t> out;
  if (!bytes)
    return out;
  const auto *ids = reinterpret_cast<const uint32_t *>(bytes->constData());
  for (qsizetype i = 0; i < bytes->size() / 4; ++i)
    out.append(ids[i]);
  return out;
}

bool windowExists(xcb_window_t window) {
  xcb_connection_t *c = connection();
  xcb_get_window_attributes_reply_t *r =
      xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
  free(r);
  return r != nullptr;
}

// Every window below the root, depth first.
void collect(xcb_window_t window, QList<xcb_window_t> &out) {
  xcb_connection_t *c = connection();
  xcb_query_tree_reply_t *r = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
  if (!r)
    return;
  const xcb_window_t *children = xcb_query_tree_children(r);
  const int n = xcb_query_tree_children_length(r);
  for (int i = 0; i < n; ++i) {
    out.append(children[i]);
    collect(children[i], out);
  }
  free(r);
}

} // namespace

std::optional<QString> XWindowTitle(WId window) {
  const auto id = static_cast<xcb_window_t>(window);
  if (const auto net = property(id, atom("_NET_WM_NAME"), atom("UTF8_STRING")))
    return QString::fromUtf8(*net);
  if (const auto plain = property(id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING))
    return QString::fromLatin1(*plain);
  return std::nullopt;
}

QStringList XWindowTypes(WId window) {
  QStringList out;
  xcb_connection_t *c = connection();
  for (xcb_atom_t a :
       windowList(property(static_cast<xcb_window_t>(window), atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM))) {
    xcb_get_atom_name_reply_t *r = xcb_get_atom_name_reply(c, xcb_get_atom_name(c, a), nullptr);
    if (!r)
      continue;
    out.append(QString::fromLatin1(xcb_get_atom_name_name(r), xcb_get_atom_name_name_length(r)));
    free(r);
  }
  return out;
}

QList<WId> XStackingOrder() {
  QList<WId> out;
  for (xcb_window_t w : windowList(property(root(), atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW)))
    out.append(w);
  return out;
}

QList<WId> XWindowsTitled(const QString &title) {
  QList<xcb_window_t> all;
  if (connection())
    collect(root(), all);
  QList<WId> out;
  for (xcb_window_t w : all)
    if (XWindowTitle(w) == title)
      out.append(w);
  return out;
}

bool XWindowManagerRunning() {
  if (!connection())
    return false;
  const xcb_atom_t check = atom("_NET_SUPPORTING_WM_CHECK");
  const QList<xcb_window_t> fromRoot = windowList(property(root(), check, XCB_ATOM_WINDOW));
  if (fromRoot.isEmpty() || !windowExists(fromRoot.first()))
    return false;
  // A window manager that ended may leave the root's property behind; its
  // check window names itself only while it is there.
  return windowList(property(fromRoot.first(), check, XCB_ATOM_WINDOW)) == fromRoot;
}

TTestWindowManager::TTestWindowManager() {
  if (XWindowManagerRunning()) {
    FRunning = true;
    return;
  }
  if (!connection())
    return;
  FProcess = std::make_unique<QProcess>();
  FProcess->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  FProcess->setStandardOutputFile(QProcess::nullDevice());
  FProcess->start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
  if (!FProcess->waitForStarted(10000)) {
    FProcess.reset();
    return;
  }
  QElapsedTimer waited;
  waited.start();
  while (!(FRunning = XWindowManagerRunning()) && waited.elapsed() < 10000 && FProcess->state() == QProcess::Running)
    QThread::msleep(50);
}

TTestWindowManager::~TTestWindowManager() {
  if (!FProcess)
    return;
  FProcess->terminate();
  if (!FProcess->waitForFinished(10000))
    FProcess->kill();
  FProcess->waitForFinished(5000);
}
