#include "uGlobalAtom.h"
#include "uHotkeyBackend.h"
#include "uKeyMap.h"
#include "uShortCut.h"

#include <QtTest>
#include <set>

Q_DECLARE_METATYPE(TShiftState)

namespace {
bool isKeypadDigit(unsigned key) { return key >= VK_NUMPAD0 && key <= VK_NUMPAD0 + 9; }

const TShortCut AllModifiers[] = {
    0, scShift, scCtrl, scAlt, scShift | scCtrl, scShift | scAlt, scCtrl | scAlt, scShift | scCtrl | scAlt};
} // namespace

class TestShortCut : public QObject {
  Q_OBJECT

private slots:
  // Every name of the fixed list and of our own, read and written.
  void keyNames_data() {
    QTest::addColumn<unsigned>("key");
    QTest::addColumn<QString>("name");
    const QList<QPair<unsigned, QString>> names = {
        {0x08, "BkSp"},
        {0x09, "Tab"},
        {0x0D, "Enter"},
        {0x1B, "Esc"},
        {0x20, "Space"},
        {0x21, "PgUp"},
        {0x22, "PgDn"},
        {0x23, "End"},
        {0x24, "Home"},
        {0x25, "Left"},
        {0x26, "Up"},
        {0x27, "Right"},
        {0x28, "Down"},
        {0x2D, "Ins"},
        {0x2E, "Del"},
        {0x30, "0"},
        {0x35, "5"},
        {0x39, "9"},
        {0x41, "A"},
        {0x4D, "M"},
        {0x5A, "Z"},
        {0x70, "F1"},
        {0x71, "F2"},
        {0x73, "F4"},
        {0x7B, "F12"},
        {0x7C, "F13"},
        {0x87, "F24"},
        {0x0C, "Clear"},
        {0x13, "Pause"},
        {0x14, "Caps Lock"},
        {0x2C, "Print Screen"},
        {0x5D, "Menu"},
        {0x6A, "Num *"},
        {0x6B, "Num +"},
        {0x6D, "Num -"},
        {0x6E, "Num ."},
        {0x6F, "Num /"},
        {0x90, "Num Lock"},
        {0x91, "Scroll Lock"},
        {0xAD, "Volume Mute"},
        {0xB3, "Play/Pause Media"},
        {0xBA, ";"},
        {0xBB, "="},
        {0xBC, ","},
        {0xBD, "-"},
        {0xBE, "."},
        {0xBF, "/"},
        {0xC0, "`"},
        {0xDB, "["},
        {0xDC, "\\"},
        {0xDD, "]"},
        {0xDE, "'"},
        {0xE2, "<"},
    };
    for (const auto &[key, name] : names)
      QTest::addRow("0x%02X %s", key, qPrintable(name)) << key << name;
  }
  void keyNames() {
    QFETCH(unsigned, key);
    QFETCH(QString, name);
    QCOMPARE(ShortCutToText(TShortCut(key)), name);
    QCOMPARE(TextToShortCut(name), TShortCut(key));
    QCOMPARE(TextToShortCut(name.toLower()), TShortCut(key));
    QCOMPARE(TextToShortCut(name.toUpper()), TShortCut(key));
    QCOMPARE(TextToShortCut("Shift+Ctrl+Alt+" + name), TShortCut(key | scShift | scCtrl | scAlt));
  }

  // Whatever the writer produces reads back to the same key and modifiers
  // (keypad digits to the digits of the main row) and is written again the
  // same; every name belongs to one key.
  void everyWrittenTextReadsBack() {
    int named = 0;
    for (unsigned key = 0; key < 256; ++key) {
      const QString name = KeyName(key);
      if (name.isEmpty()) {
        QVERIFY2(ShortCutToText(TShortCut(key | scCtrl)).isEmpty(), qPrintable(QString::number(key, 16)));
        continue;
      }
      ++named;
      const unsigned expectedKey = isKeypadDigit(key) ? key - VK_NUMPAD0 + VK_0 : key;
      for (const TShortCut modifiers : AllModifiers) {
        const QString text = ShortCutToText(TShortCut(key | modifiers));
        QVERIFY(!text.isEmpty());
        const TShortCut read = TextToShortCut(text);
        QVERIFY2(read == TShortCut(expectedKey | modifiers), qPrintable(text));
        QCOMPARE(ShortCutToText(read), text);
      }
    }
    QVERIFY(named > 100);
  }

  void textToShortCut_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("plain key") << "F2" << 0x71;
    QTest::newRow("Ctrl") << "Ctrl+F2" << 0x4071;
    QTest::newRow("lower case") << "ctrl+f2" << 0x4071;
    QTest::newRow("upper case") << "CTRL+F2" << 0x4071;
    QTest::newRow("caret for Ctrl") << "^F2" << 0x4071;
    QTest::newRow("caret then Shift") << "^Shift+a" << 0x6041;
    QTest::newRow("Shift before Ctrl") << "Shift+Ctrl+F2" << 0x6071;
    QTest::newRow("Ctrl before Shift") << "Ctrl+Shift+F2" << 0x6071;
    QTest::newRow("Alt first") << "Alt+Shift+Ctrl+F2" << 0xE071;
    QTest::newRow("prefix twice") << "Ctrl+Ctrl+F2" << 0x4071;
    QTest::newRow("digit") << "Alt+5" << 0x8035;
    QTest::newRow("keypad name with a plus") << "Alt+Num +" << 0x806B;
    QTest::newRow("punctuation key") << "Ctrl+=" << 0x40BB;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("prefix alone") << "Ctrl+" << 0;
    QTest::newRow("prefixes alone") << "Shift+Ctrl+Alt+" << 0;
    QTest::newRow("caret alone") << "^" << 0;
    QTest::newRow("unknown key") << "F25" << 0;
    QTest::newRow("unknown word") << "Foo" << 0;
    QTest::newRow("prefix after the key") << "F2+Ctrl" << 0;
    QTest::newRow("blank before") << " F2" << 0;
    QTest::newRow("blanks around plus") << "Ctrl + F2" << 0;
    QTest::newRow("modifier name is no key") << "Ctrl" << 0;
  }
  void textToShortCut() {
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(int(TextToShortCut(text)), expected);
  }

  void shortCutToText_data() {
    QTest::addColumn<int>("shortCut");
    QTest::addColumn<QString>("expected");
    QTest::newRow("none") << 0 << "";
    QTest::newRow("plain") << 0x71 << "F2";
    QTest::newRow("Shift+Ctrl") << 0x6071 << "Shift+Ctrl+F2";
    QTest::newRow("all three") << 0xE041 << "Shift+Ctrl+Alt+A";
    QTest::newRow("keypad digit as digit") << 0x8065 << "Alt+5";
    QTest::newRow("modifiers without key") << 0x4000 << "";
    QTest::newRow("key without name") << 0x4007 << "";
    QTest::newRow("modifier key") << 0x4011 << "";
    QTest::newRow("code above 255") << 0x4171 << "";
  }
  void shortCutToText() {
    QFETCH(int, shortCut);
    QFETCH(QString, expected);
    QCOMPARE(ShortCutToText(TShortCut(shortCut)), expected);
  }

  void shortCutToKeyAndModifiers_data() {
    QTest::addColumn<int>("shortCut");
    QTest::addColumn<unsigned>("key");
    QTest::addColumn<TShiftState>("shift");
    QTest::addColumn<unsigned>("modifiers");
    QTest::newRow("none") << 0 << 0u << TShiftState() << 0u;
    QTest::newRow("F2") << 0x71 << 0x71u << TShiftState() << 0u;
    QTest::newRow("Shift") << 0x2071 << 0x71u << TShiftState(ssShift) << 4u;
    QTest::newRow("Ctrl") << 0x4071 << 0x71u << TShiftState(ssCtrl) << 2u;
    QTest::newRow("Alt") << 0x8071 << 0x71u << TShiftState(ssAlt) << 1u;
    QTest::newRow("all") << 0xE071 << 0x71u << (ssShift | ssCtrl | ssAlt) << 7u;
    QTest::newRow("13 bits of key") << 0x5FFF << 0x1FFFu << TShiftState(ssCtrl) << 2u;
  }
  void shortCutToKeyAndModifiers() {
    QFETCH(int, shortCut);
    QFETCH(unsigned, key);
    QFETCH(TShiftState, shift);
    QFETCH(unsigned, modifiers);
    unsigned gotKey = 99;
    TShiftState gotShift = ssAlt;
    ShortCutToKey(TShortCut(shortCut), gotKey, gotShift);
    QCOMPARE(gotKey, key);
    QCOMPARE(gotShift, shift);
    QCOMPARE(ShiftToModifiers(gotShift), modifiers);
    QCOMPARE(int(ShortCut(gotKey, gotShift)), shortCut);
  }

  void hotKeyOfKeyPress_data() {
    QTest::addColumn<unsigned>("key");
    QTest::addColumn<TShiftState>("shift");
    QTest::addColumn<QString>("expected");
    QTest::newRow("alone takes Alt") << 0x71u << TShiftState() << "Alt+F2";
    QTest::newRow("Shift alone takes Alt") << 0x71u << TShiftState(ssShift) << "Alt+F2";
    QTest::newRow("Ctrl kept") << 0x71u << TShiftState(ssCtrl) << "Ctrl+F2";
    QTest::newRow("Alt kept") << 0x71u << TShiftState(ssAlt) << "Alt+F2";
    QTest::newRow("Shift and Ctrl kept") << 0x71u << (ssShift | ssCtrl) << "Shift+Ctrl+F2";
    QTest::newRow("Shift and Alt kept") << 0x41u << (ssShift | ssAlt) << "Shift+Alt+A";
    QTest::newRow("keypad digit") << 0x65u << TShiftState(ssCtrl) << "Ctrl+5";
    QTest::newRow("no key") << 0u << TShiftState(ssCtrl) << "";
    QTest::newRow("key without name") << 0x07u << TShiftState(ssCtrl) << "";
  }
  void hotKeyOfKeyPress() {
    QFETCH(unsigned, key);
    QFETCH(TShiftState, shift);
    QFETCH(QString, expected);
    const TShortCut value = HotKeyOfKeyPress(key, shift);
    QCOMPARE(ShortCutToText(value), expected);
    if (expected.isEmpty())
      QCOMPARE(int(value), 0);
  }

  // Every key with a name can be grabbed on the X keyboard, and the keysym
  // of a grab leads back to its key.
  void keysymsOfNamedKeys() {
    for (unsigned key = 0; key < 256; ++key) {
      const uint32_t keysym = VirtualKeyToKeysym(key);
      if (!KeyName(key).isEmpty())
        QVERIFY2(keysym != 0, qPrintable(KeyName(key)));
      if (keysym)
        QVERIFY2(KeysymToVirtualKey(keysym) == key, qPrintable(QString::number(key, 16)));
    }
  }

  void keysymToVirtualKey_data() {
    QTest::addColumn<uint>("keysym");
    QTest::addColumn<unsigned>("key");
    QTest::newRow("lower-case letter") << 0x61u << 0x41u;
    QTest::newRow("upper-case letter") << 0x5Au << 0x5Au;
    QTest::newRow("F2") << 0xFFBFu << 0x71u;
    QTest::newRow("keypad 5") << 0xFFB5u << 0x65u;
    QTest::newRow("keypad Home, Num Lock off") << 0xFF95u << 0x24u;
    QTest::newRow("keypad Enter") << 0xFF8Du << 0x0Du;
    QTest::newRow("Shift+Tab") << 0xFE20u << 0x09u;
    QTest::newRow("exclam is the key 1") << 0x21u << 0x31u;
    QTest::newRow("colon is the ; key") << 0x3Au << 0xBAu;
    QTest::newRow("less is the extra key") << 0x3Cu << 0xE2u;
    QTest::newRow("Shift_L is no key") << 0xFFE1u << 0u;
    QTest::newRow("unknown") << 0x12345u << 0u;
  }
  void keysymToVirtualKey() {
    QFETCH(uint, keysym);
    QFETCH(unsigned, key);
    QCOMPARE(KeysymToVirtualKey(keysym), key);
  }

  void qtKeyToVirtualKey_data() {
    QTest::addColumn<int>("qtKey");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<unsigned>("key");
    QTest::newRow("F2") << int(Qt::Key_F2) << 0 << 0x71u;
    QTest::newRow("F24") << int(Qt::Key_F24) << 0 << 0x87u;
    QTest::newRow("letter") << int(Qt::Key_Q) << 0 << 0x51u;
    QTest::newRow("digit") << int(Qt::Key_5) << 0 << 0x35u;
    QTest::newRow("keypad digit") << int(Qt::Key_5) << int(Qt::KeypadModifier) << 0x65u;
    QTest::newRow("keypad plus") << int(Qt::Key_Plus) << int(Qt::KeypadModifier) << 0x6Bu;
    QTest::newRow("plus of the main block") << int(Qt::Key_Plus) << int(Qt::ShiftModifier) << 0xBBu;
    QTest::newRow("keypad Home") << int(Qt::Key_Home) << int(Qt::KeypadModifier) << 0x24u;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << 0x0Du;
    QTest::newRow("Shift+1 gives !") << int(Qt::Key_Exclam) << int(Qt::ShiftModifier) << 0x31u;
    QTest::newRow("Shift+comma gives <") << int(Qt::Key_Less) << int(Qt::ShiftModifier) << 0xBCu;
    QTest::newRow("the extra key gives <") << int(Qt::Key_Less) << 0 << 0xE2u;
    QTest::newRow("Backtab") << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << 0x09u;
    QTest::newRow("Control") << int(Qt::Key_Control) << int(Qt::ControlModifier) << 0u;
    QTest::newRow("Super") << int(Qt::Key_Super_L) << 0 << 0u;
    QTest::newRow("unknown") << int(Qt::Key_unknown) << 0 << 0u;
  }
  void qtKeyToVirtualKey() {
    QFETCH(int, qtKey);
    QFETCH(int, modifiers);
    QFETCH(unsigned, key);
    QCOMPARE(QtKeyToVirtualKey(qtKey, Qt::KeyboardModifiers(modifiers)), key);
    const QKeyEvent event(QEvent::KeyPress, qtKey, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(VirtualKeyOfKeyEvent(event), key); // no X keyboard here
  }

  void atomsOfNames() {
    const TAtom capture = GlobalAddAtomW("hotkey_capture");
    const TAtom combine = GlobalAddAtomW("hotkey_c_capture");
    QVERIFY(capture >= 0xC000);
    QVERIFY(combine >= 0xC000);
    QVERIFY(capture != combine);
    QCOMPARE(GlobalAddAtomW("HOTKEY_Capture"), capture); // a second reference, any case
    QCOMPARE(GlobalFindAtomW("hotkey_capture"), capture);
    QCOMPARE(GlobalGetAtomNameW(capture), QStringLiteral("hotkey_capture"));

    QCOMPARE(GlobalDeleteAtom(capture), TAtom(0));
    QCOMPARE(GlobalFindAtomW("hotkey_capture"), capture); // one reference left
    QCOMPARE(GlobalDeleteAtom(capture), TAtom(0));
    QCOMPARE(GlobalFindAtomW("hotkey_capture"), TAtom(0));
    QCOMPARE(GlobalDeleteAtom(capture), capture); // no atom any more
    QVERIFY(GlobalGetAtomNameW(capture).isEmpty());

    QCOMPARE(GlobalDeleteAtom(combine), TAtom(0));
    QCOMPARE(GlobalFindAtomW("hotkey_c_capture"), TAtom(0));
  }

  void atomNamesOutOfRange() {
    QCOMPARE(GlobalAddAtomW(QString()), TAtom(0));
    QCOMPARE(GlobalAddAtomW(QString(256, u'x')), TAtom(0));
    const TAtom longest = GlobalAddAtomW(QString(255, u'x'));
    QVERIFY(longest >= 0xC000);
    QCOMPARE(GlobalDeleteAtom(longest), TAtom(0));
    QCOMPARE(GlobalDeleteAtom(0x1234), TAtom(0x1234));
  }

  // All 16384 string atoms can be had, each once; a freed one is had again.
  void atomTableFillsAndFrees() {
    std::set<TAtom> atoms;
    for (int i = 0; i < 0x4000; ++i) {
      const TAtom atom = GlobalAddAtomW(QStringLiteral("fill_%1").arg(i));
      QVERIFY(atom >= 0xC000);
      QVERIFY(atoms.insert(atom).second);
    }
    QCOMPARE(GlobalAddAtomW("one too many"), TAtom(0));
    const TAtom freed = GlobalFindAtomW("fill_100");
    QCOMPARE(GlobalDeleteAtom(freed), TAtom(0));
    QCOMPARE(GlobalAddAtomW("one too many"), freed);
    QCOMPARE(GlobalDeleteAtom(freed), TAtom(0));
    for (int i = 0; i < 0x4000; ++i)
      if (i != 100)
        QCOMPARE(GlobalDeleteAtom(GlobalFindAtomW(QStringLiteral("fill_%1").arg(i))), TAtom(0));
    QCOMPARE(GlobalFindAtomW("fill_0"), TAtom(0));
  }

  // Offscreen there is no desktop keyboard: nothing can be registered.
  void offscreenGivesTheNullBackend() {
    std::unique_ptr<THotkeyBackend> backend = CreateHotkeyBackend();
    QVERIFY(backend);
    QCOMPARE(backend->metaObject()->className(), "TNullHotkeyBackend");
    QVERIFY(!backend->Register(0xC000, MOD_CONTROL, VK_F1 + 1));
    backend->Unregister(0xC000);
  }

  void factoryCanBeReplaced() {
    int made = 0;
    THotkeyBackendFactory previous = SetHotkeyBackendFactory([&made] {
      ++made;
      return std::make_unique<TNullHotkeyBackend>();
    });
    QVERIFY(!previous);
    QVERIFY(CreateHotkeyBackend());
    QCOMPARE(made, 1);
    SetHotkeyBackendFactory(std::move(previous));
    QVERIFY(CreateHotkeyBackend());
    QCOMPARE(made, 1);
  }
};

QTEST_MAIN(TestShortCut)
#include "tst_shortcut.moc"
