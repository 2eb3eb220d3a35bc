#include "uHotKeyEdit.h"
#include "uShortCut.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
// One key event of a sequence: press or release, Qt key, modifiers in effect.
struct TKeyStep {
  bool Press;
  int Key;
  Qt::KeyboardModifiers Modifiers;
};
using TKeySteps = QList<TKeyStep>;

// Sends exactly these events, without the modifier presses that QTest adds.
void send(QWidget *w, const TKeySteps &steps) {
  for (const TKeyStep &s : steps) {
    QKeyEvent event(s.Press ? QEvent::KeyPress : QEvent::KeyRelease, s.Key, s.Modifiers);
    QApplication::sendEvent(w, &event);
  }
}

constexpr Qt::KeyboardModifiers None = Qt::NoModifier;
constexpr Qt::KeyboardModifiers Shift = Qt::ShiftModifier;
constexpr Qt::KeyboardModifiers Ctrl = Qt::ControlModifier;
constexpr Qt::KeyboardModifiers Alt = Qt::AltModifier;
constexpr Qt::KeyboardModifiers Keypad = Qt::KeypadModifier;
} // namespace

Q_DECLARE_METATYPE(TKeySteps)

class TestHotKeyEdit : public QObject {
  Q_OBJECT

private slots:
  void typing_data() {
    QTest::addColumn<TKeySteps>("steps");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("F2 alone takes Alt") << TKeySteps{{true, Qt::Key_F2, None}, {false, Qt::Key_F2, None}} << 0x8071
                                        << "Alt+F2";
    QTest::newRow("Shift+F2 takes Alt alone") << TKeySteps{{true, Qt::Key_Shift, Shift},
                                                           {true, Qt::Key_F2, Shift},
                                                           {false, Qt::Key_F2, Shift},
                                                           {false, Qt::Key_Shift, None}}
                                              << 0x8071 << "Alt+F2";
    QTest::newRow("Ctrl first, then Shift")
        << TKeySteps{{true, Qt::Key_Control, Ctrl},        {true, Qt::Key_Shift, Ctrl | Shift},
                     {true, Qt::Key_F2, Ctrl | Shift},     {false, Qt::Key_F2, Ctrl | Shift},
                     {false, Qt::Key_Shift, Ctrl | Shift}, {false, Qt::Key_Control, Ctrl}}
        << 0x6071 << "Shift+Ctrl+F2";
    QTest::newRow("Shift first, then Ctrl")
        << TKeySteps{{true, Qt::Key_Shift, Shift},           {true, Qt::Key_Control, Shift | Ctrl},
                     {true, Qt::Key_F2, Shift | Ctrl},       {false, Qt::Key_F2, Shift | Ctrl},
                     {false, Qt::Key_Control, Shift | Ctrl}, {false, Qt::Key_Shift, Shift}}
        << 0x6071 << "Shift+Ctrl+F2";
    QTest::newRow("Ctrl+Alt+letter") << TKeySteps{{true, Qt::Key_Control, Ctrl},
                                                  {true, Qt::Key_Alt, Ctrl | Alt},
                                                  {true, Qt::Key_K, Ctrl | Alt}}
                                     << 0xC04B << "Ctrl+Alt+K";
    QTest::newRow("Shift+1 is the key 1")
        << TKeySteps{{true, Qt::Key_Exclam, Shift | Ctrl}} << 0x6031 << "Shift+Ctrl+1";
    QTest::newRow("keypad digit") << TKeySteps{{true, Qt::Key_7, Ctrl | Keypad}} << 0x4067 << "Ctrl+7";
    QTest::newRow("Esc is a key too") << TKeySteps{{true, Qt::Key_Escape, None}} << 0x801B << "Alt+Esc";
    QTest::newRow("modifier alone shows while held")
        << TKeySteps{{true, Qt::Key_F2, Ctrl}, {true, Qt::Key_Control, Ctrl}, {true, Qt::Key_Alt, Ctrl | Alt}} << 0
        << "Ctrl+Alt+";
    QTest::newRow("modifiers released show nothing") << TKeySteps{{true, Qt::Key_F2, Ctrl},
                                                                  {true, Qt::Key_Control, Ctrl},
                                                                  {true, Qt::Key_Shift, Ctrl | Shift},
                                                                  {false, Qt::Key_Shift, Ctrl | Shift},
                                                                  {false, Qt::Key_Control, Ctrl}}
                                                     << 0 << "";
    QTest::newRow("the key stays after the release") << TKeySteps{{true, Qt::Key_Control, Ctrl},
                                                                  {true, Qt::Key_F4, Ctrl},
                                                                  {false, Qt::Key_F4, Ctrl},
                                                                  {false, Qt::Key_Control, Ctrl}}
                                                     << 0x4073 << "Ctrl+F4";
    QTest::newRow("unknown key changes nothing")
        << TKeySteps{{true, Qt::Key_F3, Ctrl}, {true, Qt::Key_unknown, Ctrl}} << 0x4072 << "Ctrl+F3";
  }
  void typing() {
    QFETCH(TKeySteps, steps);
    QFETCH(int, value);
    QFETCH(QString, text);
    THotKeyEdit edit;
    edit.SetHotKey(0x4041);
    send(&edit, steps);
    QCOMPARE(int(edit.HotKey()), value);
    QCOMPARE(edit.text(), text);
    QCOMPARE(edit.property("HotKey").toInt(), value);
  }

  void setHotKeyTakesAnyValue_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain F2") << 0x71 << "F2";
    QTest::newRow("Shift+F4") << 0x2073 << "Shift+F4";
    QTest::newRow("none") << 0 << "";
  }
  void setHotKeyTakesAnyValue() {
    QFETCH(int, value);
    QFETCH(QString, text);
    THotKeyEdit edit;
    QSignalSpy changed(&edit, &THotKeyEdit::HotKeyChanged);
    edit.SetHotKey(quint16(value));
    QCOMPARE(int(edit.HotKey()), value);
    QCOMPARE(edit.text(), text);
    QCOMPARE(changed.count(), value ? 1 : 0);
    edit.SetHotKey(quint16(value));
    QCOMPARE(changed.count(), value ? 1 : 0);
  }

  // The window's shortcuts do not see what the edit records, and Tab still
  // moves on.
  void keysStayWithTheEdit() {
    QWidget window;
    auto *edit = new THotKeyEdit(&window);
    auto *next = new QLineEdit(&window);
    auto *action = new QAction(&window);
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F2));
    window.addAction(action);
    QSignalSpy triggered(action, &QAction::triggered);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_F2, Qt::ControlModifier);
    QCOMPARE(int(edit->HotKey()), 0x4071);
    QCOMPARE(triggered.count(), 0);
    QTest::keyClick(edit, Qt::Key_Tab);
    QCOMPARE(int(edit->HotKey()), 0x4071);
    QVERIFY(next->hasFocus());
  }
};

QTEST_MAIN(TestHotKeyEdit)
#include "tst_hotkeyedit.moc"
