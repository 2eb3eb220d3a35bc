#include "uGlobalAtom.h"
#include "uHotKeyEdit.h"
#include "uHotkeyBackend.h"
#include "uShortCut.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QtTest>
#include <cstdlib>
#include <set>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace {

// Another client of the X server, on a connection of its own.
class TOtherClient {
public:
  TOtherClient() : FConnection(xcb_connect(nullptr, nullptr)) {
    if (xcb_connection_has_error(FConnection))
      return;
    FRoot = xcb_setup_roots_iterator(xcb_get_setup(FConnection)).data->root;
    FSymbols = xcb_key_symbols_alloc(FConnection);
  }
  ~TOtherClient() {
    if (FSymbols)
      xcb_key_symbols_free(FSymbols);
    xcb_disconnect(FConnection);
  }
  bool IsValid() const { return FSymbols != nullptr; }

  xcb_keycode_t Keycode(xcb_keysym_t keysym) const {
    xcb_keycode_t *codes = xcb_key_symbols_get_keycode(FSymbols, keysym);
    const xcb_keycode_t code = codes ? codes[0] : 0;
    free(codes);
    return code;
  }
  // A passive grab of the key on the root window; true when granted.
  bool Grab(xcb_keysym_t keysym, uint16_t modifiers) {
    const xcb_void_cookie_t cookie = xcb_grab_key_checked(FConnection, 0, FRoot, modifiers, Keycode(keysym),
                                                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    xcb_generic_error_t *error = xcb_request_check(FConnection, cookie);
    free(error);
    return !error;
  }
  // Whether a press of the keycode has come in (it is remembered: the
  // QTRY macros ask once more at the end).
  bool SawKeyPress(xcb_keycode_t keycode) {
    while (xcb_generic_event_t *event = xcb_poll_for_event(FConnection)) {
      if ((event->response_type & 0x7F) == XCB_KEY_PRESS)
        FPressed.insert(reinterpret_cast<xcb_key_press_event_t *>(event)->detail);
      free(event);
    }
    return FPressed.count(keycode) > 0;
  }
  // The modifier that Num Lock sets, and whether it is on.
  bool NumLockOn() {
    uint16_t mask = 0;
    const xcb_keycode_t numLock = Keycode(XKB_KEY_Num_Lock);
    if (auto *map = xcb_get_modifier_mapping_reply(FConnection, xcb_get_modifier_mapping(FConnection), nullptr)) {
      const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(map);
      for (int m = 0; m < 8; ++m)
        for (int i = 0; i < map->keycodes_per_modifier; ++i)
          if (codes[m * map->keycodes_per_modifier + i] == numLock)
            mask |= uint16_t(1u << m);
      free(map);
    }
    bool on = false;
    if (auto *pointer = xcb_query_pointer_reply(FConnection, xcb_query_pointer(FConnection, FRoot), nullptr)) {
      on = mask && (pointer->mask & mask) == mask;
      free(pointer);
    }
    return on;
  }

private:
  xcb_connection_t *FConnection;
  xcb_window_t FRoot = 0;
  xcb_key_symbols_t *FSymbols = nullptr;
  std::set<xcb_keycode_t> FPressed;
};

// Presses keys through the X server's test extension, as "ctrl+F2".
void press(const QString &keys) { QCOMPARE(QProcess::execute("xdotool", {"key", keys}), 0); }

bool registerText(THotkeyBackend &backend, int id, const QString &text) {
  unsigned key = 0;
  TShiftState shift;
  ShortCutToKey(TextToShortCut(text), key, shift);
  return backend.Register(id, ShiftToModifiers(shift), key);
}

// Collects the X errors that the application's connection reports (Qt logs
// them in the category qt.qpa.xcb, at the debug level).
class TXcbErrorLog {
public:
  TXcbErrorLog() {
    Messages().clear();
    QLoggingCategory::setFilterRules(QStringLiteral("qt.qpa.xcb.debug=true"));
    FPrevious = qInstallMessageHandler(&TXcbErrorLog::Handler);
  }
  ~TXcbErrorLog() {
    qInstallMessageHandler(FPrevious);
    QLoggingCategory::setFilterRules(QString());
  }
  static QStringList &Messages() {
    static QStringList messages;
    return messages;
  }

private:
  static void Handler(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    if (message.contains(QLatin1String("XCB error")))
      Messages().append(message);
    else if (type != QtDebugMsg)
      FPrevious(type, context, message);
  }
  static inline QtMessageHandler FPrevious = nullptr;
};

QList<int> idsOf(const QSignalSpy &spy) {
  QList<int> ids;
  for (const QList<QVariant> &args : spy)
    ids.append(args.at(0).toInt());
  return ids;
}

} // namespace

class TestHotkeysX11 : public QObject {
  Q_OBJECT
  TAtom idCapture = 0, idCombine = 0, idRestore = 0;
  bool numLockWasOn = false;

  // Waits until as many hotkeys as expected have come, then compares them.
  // The last key pressed is always one that comes, and the server keeps the
  // order of the keys: whatever should not have come would be there by then.
  static bool arrived(QSignalSpy &spy, const QList<int> &expected) {
    [&] { QTRY_COMPARE(spy.count(), expected.size()); }();
    if (QTest::currentTestFailed())
      return false;
    [&] { QCOMPARE(idsOf(spy), expected); }();
    return !QTest::currentTestFailed();
  }

private slots:
  void initTestCase() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
      QSKIP("needs an X server (DISPLAY)");
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(), "xdotool is needed");
    TOtherClient probe;
    QVERIFY(probe.IsValid());
    // The tests turn Num Lock on and off themselves; they start with it off
    // and leave it as they found it.
    numLockWasOn = probe.NumLockOn();
    if (numLockWasOn)
      press("Num_Lock");
    QTRY_VERIFY(!probe.NumLockOn());
  }
  void cleanupTestCase() {
    TOtherClient probe;
    if (probe.IsValid() && probe.NumLockOn() != numLockWasOn)
      press("Num_Lock");
  }

  void init() {
    idCapture = GlobalAddAtomW("hotkey_capture");
    idCombine = GlobalAddAtomW("hotkey_c_capture");
    idRestore = GlobalAddAtomW("hotkey_restore");
  }
  void cleanup() {
    GlobalDeleteAtom(idCapture);
    GlobalDeleteAtom(idCombine);
    GlobalDeleteAtom(idRestore);
  }

  void theDefaultHotkeysArrive() {
    std::unique_ptr<THotkeyBackend> backend = CreateHotkeyBackend();
    QCOMPARE(backend->metaObject()->className(), "TX11HotkeyBackend");
    QSignalSpy spy(backend.get(), &THotkeyBackend::HotKey);
    QVERIFY(registerText(*backend, idCapture, "F2"));
    QVERIFY(registerText(*backend, idCombine, "Ctrl+F2"));
    QVERIFY(registerText(*backend, idRestore, "F4"));
    press("F2");
    press("ctrl+F2");
    press("shift+F2"); // no hotkey
    press("alt+F4");   // no hotkey
    press("F4");
    QVERIFY(arrived(spy, {idCapture, idCombine, idRestore}));
  }

  // Whatever lock is on, the hotkeys work.
  void locksDoNotMatter() {
    std::unique_ptr<THotkeyBackend> backend = CreateHotkeyBackend();
    QSignalSpy spy(backend.get(), &THotkeyBackend::HotKey);
    QVERIFY(registerText(*backend, idCapture, "F2"));
    QVERIFY(registerText(*backend, idCombine, "Ctrl+F2"));
    QVERIFY(registerText(*backend, idRestore, "F4"));
    TOtherClient x;
    press("Num_Lock");
    auto numLockOff = qScopeGuard([&x] {
      if (x.NumLockOn())
        press("Num_Lock");
    });
    QTRY_VERIFY(x.NumLockOn());
    press("F2");
    press("ctrl+F2");
    QVERIFY(arrived(spy, {idCapture, idCombine}));
    press("Caps_Lock");
    auto capsLockOff = qScopeGuard([] { press("Caps_Lock"); });
    press("F4");
    QVERIFY(arrived(spy, {idCapture, idCombine, idRestore}));
    capsLockOff.dismiss();
    press("Caps_Lock");
    numLockOff.dismiss();
    press("Num_Lock");
    QTRY_VERIFY(!x.NumLockOn());
    press("ctrl+F2");
    QVERIFY(arrived(spy, {idCapture, idCombine, idRestore, idCombine}));
  }

  // After the set is replaced, the old combinations no longer arrive and the
  // new ones do.
  void replacedHotkeys() {
    std::unique_ptr<THotkeyBackend> backend = CreateHotkeyBackend();
    QSignalSpy spy(backend.get(), &THotkeyBackend::HotKey);
    QVERIFY(registerText(*backend, idCapture, "F2"));
    QVERIFY(registerText(*backend, idCombine, "Ctrl+F2"));
    QVERIFY(registerText(*backend, idRestore, "F4"));
    backend->Unregister(idCapture);
    backend->Unregister(idCombine);
    backend->Unregister(idRestore);
    QVERIFY(registerText(*backend, idCapture, "Alt+F3"));
    QVERIFY(registerText(*backend, idCombine, "Shift+Ctrl+F3"));
    QVERIFY(registerText(*backend, idRestore, "Shift+Alt+0"));
    press("F2");
    press("ctrl+F2");
    press("F4");
    press("alt+F3");
    press("F3");
    press("ctrl+shift+F3");
    press("alt+shift+0");
    QVERIFY(arrived(spy, {idCapture, idCombine, idRestore}));
    // Registering an id again replaces its combination.
    QVERIFY(registerText(*backend, idCapture, "Ctrl+Alt+A"));
    press("alt+F3");
    press("ctrl+alt+a");
    QVERIFY(arrived(spy, {idCapture, idCombine, idRestore, idCapture}));
  }

  // A combination that another client holds cannot be had: Register says so
  // without a word, the key stays with the other client, and nothing of the
  // attempt is left behind.
  void heldByAnotherClient() {
    QTest::failOnWarning(QRegularExpression(".*"));
    TXcbErrorLog errors;
    TOtherClient other;
    QVERIFY(other.IsValid());
    QVERIFY(other.Grab(XKB_KEY_F5, 0));
    std::unique_ptr<THotkeyBackend> backend = CreateHotkeyBackend();
    QSignalSpy spy(backend.get(), &THotkeyBackend::HotKey);
    QVERIFY(!registerText(*backend, idRestore, "F5"));
    QVERIFY(registerText(*backend, idCapture, "F2"));
    press("F5");
    press("F2");
    QVERIFY(arrived(spy, {idCapture}));
    QTRY_VERIFY(other.SawKeyPress(other.Keycode(XKB_KEY_F5)));
    TOtherClient third;
    QVERIFY(third.Grab(XKB_KEY_F5, XCB_MOD_MASK_LOCK)); // our variant with Caps Lock was given back
    QVERIFY(!third.Grab(XKB_KEY_F2, 0));                // ours is held
    QCOMPARE(TXcbErrorLog::Messages(), QStringList());
  }

  // The window holds a combination once: the first id keeps it.
  void sameCombinationTwice() {
    std::unique_ptr<THotkeyBackend> backend = CreateHotkeyBackend();
    QSignalSpy spy(backend.get(), &THotkeyBackend::HotKey);
    QVERIFY(registerText(*backend, idCapture, "Ctrl+F7"));
    QVERIFY(!registerText(*backend, idCombine, "Ctrl+F7"));
    press("ctrl+F7");
    QVERIFY(arrived(spy, {idCapture}));
  }

  void noKeyRegistersNothing() {
    QTest::failOnWarning(QRegularExpression(".*"));
    TXcbErrorLog errors;
    std::unique_ptr<THotkeyBackend> backend = CreateHotkeyBackend();
    QVERIFY(!registerText(*backend, idCapture, ""));
    QVERIFY(!registerText(*backend, idCapture, "Foo"));
    QVERIFY(!backend->Register(idCapture, MOD_CONTROL, 0x07));
    backend->Unregister(idCapture);
    QCoreApplication::processEvents();
    QCOMPARE(TXcbErrorLog::Messages(), QStringList());
  }

  void destroyingGivesTheKeysBack() {
    {
      std::unique_ptr<THotkeyBackend> backend = CreateHotkeyBackend();
      QVERIFY(registerText(*backend, idCapture, "Ctrl+F8"));
      TOtherClient other;
      QVERIFY(!other.Grab(XKB_KEY_F8, XCB_MOD_MASK_CONTROL));
    }
    TOtherClient other;
    QVERIFY(other.Grab(XKB_KEY_F8, XCB_MOD_MASK_CONTROL));
  }

  // The hotkey edit takes the key of the keycode whatever Shift makes of it.
  void hotKeyEditOnTheXKeyboard() {
    THotKeyEdit edit;
    edit.show();
    edit.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&edit));
    edit.setFocus();
    QTRY_VERIFY(edit.hasFocus());
    press("shift+1");
    QTRY_COMPARE(int(edit.HotKey()), 0x8031); // Shift alone takes Alt
    QCOMPARE(edit.text(), QStringLiteral("Alt+1"));
    press("ctrl+shift+F2");
    QTRY_COMPARE(edit.text(), QStringLiteral("Shift+Ctrl+F2"));
    press("ctrl+shift+bracketleft");
    QTRY_COMPARE(edit.text(), QStringLiteral("Shift+Ctrl+["));
    TOtherClient x;
    press("Num_Lock");
    auto numLockOff = qScopeGuard([&x] {
      if (x.NumLockOn())
        press("Num_Lock");
    });
    QTRY_VERIFY(x.NumLockOn());
    press("ctrl+KP_5");
    QTRY_COMPARE(int(edit.HotKey()), 0x4065);
    QCOMPARE(edit.text(), QStringLiteral("Ctrl+5"));
  }
};

QTEST_MAIN(TestHotkeysX11)
#include "tst_hotkeys_x11.moc"
