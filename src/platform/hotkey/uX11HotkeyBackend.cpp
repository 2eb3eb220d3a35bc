#include "uX11HotkeyBackend.h"

#include "uKeyMap.h"
#include "uShortCut.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace {

// Grabs are passive key grabs on the root window, made with checked requests:
// a combination that another client holds fails with BadAccess, which we see
// as the request's error instead of an error event that would be logged.
class TX11HotkeyBackend : public THotkeyBackend, public QAbstractNativeEventFilter {
  Q_OBJECT
public:
  TX11HotkeyBackend(xcb_connection_t *connection, xcb_window_t root);
  ~TX11HotkeyBackend() override;

  bool Register(int id, unsigned modifiers, unsigned key) override;
  void Unregister(int id) override;
  bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
  struct TGrab {
    unsigned Modifiers = 0;
    unsigned Key = 0;
    uint16_t Mask = 0;           // the X modifier mask of Shift, Ctrl and Alt
    std::vector<uint16_t> Locks; // the lock modifiers grabbed with it
    std::vector<xcb_keycode_t> Keycodes;
  };
  struct TModifierMasks {
    uint16_t Alt = XCB_MOD_MASK_1;
    uint16_t NumLock = 0;
  };

  TModifierMasks QueryModifierMasks();
  std::vector<uint16_t> LockVariants() const;
  void Ungrab(const TGrab &grab);

  xcb_connection_t *FConnection;
  xcb_window_t FRoot;
  xcb_key_symbols_t *FSymbols;
  TModifierMasks FMasks;
  std::map<int, TGrab> FGrabs;
};

TX11HotkeyBackend::TX11HotkeyBackend(xcb_connection_t *connection, xcb_window_t root)
    : FConnection(connection), FRoot(root), FSymbols(xcb_key_symbols_alloc(connection)) {
  QCoreApplication::instance()->installNativeEventFilter(this);
}

TX11HotkeyBackend::~TX11HotkeyBackend() {
  // The connection goes with the application: without it there is nothing
  // left to give back.
  if (QCoreApplication::instance()) {
    QCoreApplication::instance()->removeNativeEventFilter(this);
    for (const auto &[id, grab] : FGrabs)
      Ungrab(grab);
    xcb_flush(FConnection);
  }
  xcb_key_symbols_free(FSymbols);
}

// The modifiers that hold the Alt and Num Lock keys in the server's modifier
// map right now.
TX11HotkeyBackend::TModifierMasks TX11HotkeyBackend::QueryModifierMasks() {
  TModifierMasks masks;
  xcb_get_modifier_mapping_reply_t *reply =
      xcb_get_modifier_mapping_reply(FConnection, xcb_get_modifier_mapping(FConnection), nullptr);
  if (!reply)
    return masks;
  const xcb_keycode_t *map = xcb_get_modifier_mapping_keycodes(reply);
  const int perModifier = reply->keycodes_per_modifier;
  auto maskOf = [&](xcb_keysym_t keysym) -> uint16_t {
    xcb_keycode_t *codes = xcb_key_symbols_get_keycode(FSymbols, keysym);
    uint16_t mask = 0;
    for (int modifier = 0; codes && modifier < 8; ++modifier)
      for (int i = 0; i < perModifier; ++i)
        for (const xcb_keycode_t *c = codes; *c != XCB_NO_SYMBOL; ++c)
          if (map[modifier * perModifier + i] == *c)
            mask |= uint16_t(1u << modifier);
    free(codes);
    return mask;
  };
  masks.NumLock = maskOf(XKB_KEY_Num_Lock);
  // Alt on the first modifier that carries it; Shift, Lock and Control aside.
  const uint16_t alt = (maskOf(XKB_KEY_Alt_L) | maskOf(XKB_KEY_Alt_R) | maskOf(XKB_KEY_Meta_L)) &
                       ~uint16_t(XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_LOCK | XCB_MOD_MASK_CONTROL);
  if (alt)
    masks.Alt = uint16_t(alt & -alt);
  free(reply);
  return masks;
}

// The lock modifiers that may be on while the combination is pressed:
// none, Caps Lock, Num Lock, both.
std::vector<uint16_t> TX11HotkeyBackend::LockVariants() const {
  std::vector<uint16_t> variants{0, XCB_MOD_MASK_LOCK};
  if (FMasks.NumLock && FMasks.NumLock != XCB_MOD_MASK_LOCK) {
    variants.push_back(FMasks.NumLock);
    variants.push_back(uint16_t(FMasks.NumLock | XCB_MOD_MASK_LOCK));
  }
  return variants;
}

bool TX11HotkeyBackend::Register(int id, unsigned modifiers, unsigned key) {
  Unregister(id);
  for (const auto &[otherId, grab] : FGrabs)
    if (grab.Key == key && grab.Modifiers == modifiers)
      return false; // the window holds the combination already
  const uint32_t keysym = VirtualKeyToKeysym(key);
  if (!keysym)
    return false;

  FMasks = QueryModifierMasks();
  TGrab grab;
  grab.Modifiers = modifiers;
  grab.Key = key;
  grab.Locks = LockVariants();
  if (modifiers & MOD_SHIFT)
    grab.Mask |= XCB_MOD_MASK_SHIFT;
  if (modifiers & MOD_CONTROL)
    grab.Mask |= XCB_MOD_MASK_CONTROL;
  if (modifiers & MOD_ALT)
    grab.Mask |= FMasks.Alt;
  if (xcb_keycode_t *codes = xcb_key_symbols_get_keycode(FSymbols, keysym)) {
    for (const xcb_keycode_t *c = codes; *c != XCB_NO_SYMBOL; ++c)
      if (std::find(grab.Keycodes.begin(), grab.Keycodes.end(), *c) == grab.Keycodes.end())
        grab.Keycodes.push_back(*c);
    free(codes);
  }
  if (grab.Keycodes.empty())
    return false; // no key of this keyboard makes it

  std::vector<xcb_void_cookie_t> cookies;
  for (const xcb_keycode_t keycode : grab.Keycodes)
    for (const uint16_t locks : grab.Locks)
      cookies.push_back(xcb_grab_key_checked(FConnection, 0, FRoot, uint16_t(grab.Mask | locks), keycode,
                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
  bool granted = true;
  for (const xcb_void_cookie_t &cookie : cookies)
    if (xcb_generic_error_t *error = xcb_request_check(FConnection, cookie)) {
      granted = false;
      free(error);
    }
  if (!granted) {
    Ungrab(grab); // gives back only what we got; another client's grab stays
    xcb_flush(FConnection);
    return false;
  }
  FGrabs.emplace(id, std::move(grab));
  return true;
}

void TX11HotkeyBackend::Ungrab(const TGrab &grab) {
  for (const xcb_keycode_t keycode : grab.Keycodes)
    for (const uint16_t locks : grab.Locks)
      xcb_ungrab_key(FConnection, keycode, FRoot, uint16_t(grab.Mask | locks));
}

void TX11HotkeyBackend::Unregister(int id) {
  const auto it = FGrabs.find(id);
  if (it == FGrabs.end())
    return;
  Ungrab(it->second);
  xcb_flush(FConnection);
  FGrabs.erase(it);
}

bool TX11HotkeyBackend::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) {
  if (eventType != "xcb_generic_event_t")
    return false;
  auto *event = static_cast<xcb_generic_event_t *>(message);
  const uint8_t type = event->response_type & 0x7F;
  if (type == XCB_MAPPING_NOTIFY) {
    xcb_refresh_keyboard_mapping(FSymbols, reinterpret_cast<xcb_mapping_notify_event_t *>(event));
    return false;
  }
  if (type != XCB_KEY_PRESS)
    return false;
  const auto *press = reinterpret_cast<const xcb_key_press_event_t *>(event);
  if (press->event != FRoot)
    return false;
  const uint16_t modifiers = press->state & 0xFF; // without the pointer buttons
  for (const auto &[id, grab] : FGrabs) {
    const bool sameModifiers = std::any_of(grab.Locks.begin(), grab.Locks.end(),
                                           [&](uint16_t locks) { return modifiers == (grab.Mask | locks); });
    if (!sameModifiers || std::find(grab.Keycodes.begin(), grab.Keycodes.end(), press->detail) == grab.Keycodes.end())
      continue;
    // Posted like the system's hotkey message: the handler runs from the event
    // loop, not from inside the connection's event processing.
    QMetaObject::invokeMethod(
        this, [this, hotkeyId = id] { emit HotKey(hotkeyId); }, Qt::QueuedConnection);
    return true;
  }
  return false;
}

} // namespace

std::unique_ptr<THotkeyBackend> CreateX11HotkeyBackend() {
  if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
    return nullptr;
  auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
  if (!connection)
    return nullptr;
  // The root of the connection's first screen: the desktop the program shows on.
  const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  if (!screens.rem)
    return nullptr;
  return std::make_unique<TX11HotkeyBackend>(connection, screens.data->root);
}

#include "uX11HotkeyBackend.moc"
