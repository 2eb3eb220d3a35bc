#include "uCustomHotkey.h"
#include "uDMMain.h"
#include "uDialogs.h"
#include "uHotKeyEdit.h"
#include "uIniOptions.h"
#include "uLangText.h"
#include "uShortCut.h"
#include "uTestAppFolder.h"
#include "uTestDialogs.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {

struct THotkeyTexts {
  QString Capture, Combine, Restore;
  bool operator==(const THotkeyTexts &o) const {
    return Capture == o.Capture && Combine == o.Combine && Restore == o.Restore;
  }
};

char *toString(const THotkeyTexts &t) {
  return QTest::toString(QStringLiteral("{%1|%2|%3}").arg(t.Capture, t.Combine, t.Restore));
}

using TPresses = QList<QPair<int, int>>; // Qt key, modifiers

} // namespace

Q_DECLARE_METATYPE(THotkeyTexts)

namespace {

THotkeyTexts current() {
  return {IniOptions->HotkeyCapture(), IniOptions->HotkeyC_Capture(), IniOptions->HotkeyRestore()};
}
THotkeyTexts defaults() {
  return {IniOptions->HotkeyCapture_Default(), IniOptions->HotkeyC_Capture_Default(),
          IniOptions->HotkeyRestore_Default()};
}
void setCurrent(const THotkeyTexts &t) {
  IniOptions->SetHotkeyCapture(t.Capture);
  IniOptions->SetHotkeyC_Capture(t.Combine);
  IniOptions->SetHotkeyRestore(t.Restore);
}
void setDefaults(const THotkeyTexts &t) {
  IniOptions->SetHotkeyCapture_Default(t.Capture);
  IniOptions->SetHotkeyC_Capture_Default(t.Combine);
  IniOptions->SetHotkeyRestore_Default(t.Restore);
}

void press(QWidget *w, int key, Qt::KeyboardModifiers modifiers) {
  QKeyEvent event(QEvent::KeyPress, key, modifiers);
  QApplication::sendEvent(w, &event);
}
void release(QWidget *w, int key, Qt::KeyboardModifiers modifiers) {
  QKeyEvent event(QEvent::KeyRelease, key, modifiers);
  QApplication::sendEvent(w, &event);
}

// Clicks OK the way the user does and tells whether the dialog closed with OK.
bool clickOK(TfrmCustomHotkey &dialog) {
  QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
  return dialog.result() == QDialog::Accepted && !dialog.isVisible();
}

} // namespace

class TestCustomHotkey : public QObject {
  Q_OBJECT
  QStringList table;

private slots:
  void init() {
    table = QStringList{
        "frmCustomHotkey=Tastenkürzel", "lblCapture=Aufnahme",     "lblCaptureCombine=Anhängen",
        "lblRestore=Wiederherstellen",  "actOK=Übernehmen",        "actCancel=Abbrechen",
        "actRestoreDefault=Standard",   "hkCapture=not a caption",
    };
    LangList = &table;
    setCurrent({"F2", "Ctrl+F2", "F4"});
    setDefaults({"F2", "Ctrl+F2", "F4"});
  }
  void cleanup() { LangList = nullptr; }

  void formDefinition() {
    TfrmCustomHotkey dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("frmCustomHotkey"));
    QCOMPARE(dialog.size(), QSize(412, 248));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.hkCapture->geometry(), QRect(192, 32, 121, 19));
    QCOMPARE(dialog.hkRestore->geometry(), QRect(192, 112, 121, 19));
    QCOMPARE(dialog.btnOK->geometry(), QRect(232, 192, 75, 25));
    for (const char *name : {"hkCapture", "hkCaptureCombine", "hkRestore"})
      QVERIFY(dialog.findChild<THotKeyEdit *>(name));
    for (const char *name : {"actOK", "actCancel", "actRestoreDefault"})
      QVERIFY(dialog.findChild<QAction *>(name));
    QVERIFY(dialog.findChild<QFrame *>("bvl1"));
    for (QPushButton *b : {dialog.btnRestoreDefault, dialog.btnOK, dialog.btnCancel})
      QVERIFY(!b->isDefault() && !b->autoDefault());

    // Tab order: the three buttons, then the three hotkeys.
    QList<QWidget *> order;
    QWidget *w = dialog.btnRestoreDefault;
    do {
      if (w->focusPolicy() & Qt::TabFocus)
        order.append(w);
      w = w->nextInFocusChain();
    } while (w != dialog.btnRestoreDefault);
    const QList<QWidget *> expected = {dialog.btnRestoreDefault, dialog.btnOK,    dialog.btnCancel, dialog.hkCapture,
                                       dialog.hkCaptureCombine,  dialog.hkRestore};
    QCOMPARE(order, expected);
  }

  void captionsFromTheLanguageTable() {
    TfrmCustomHotkey dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Tastenkürzel"));
    QCOMPARE(dialog.lblCapture->text(), QStringLiteral("Aufnahme"));
    QCOMPARE(dialog.lblCaptureCombine->text(), QStringLiteral("Anhängen"));
    QCOMPARE(dialog.lblRestore->text(), QStringLiteral("Wiederherstellen"));
    QCOMPARE(dialog.actOK->text(), QStringLiteral("Übernehmen"));
    QCOMPARE(dialog.btnOK->text(), QStringLiteral("Übernehmen"));
    QCOMPARE(dialog.btnCancel->text(), QStringLiteral("Abbrechen"));
    QCOMPARE(dialog.btnRestoreDefault->text(), QStringLiteral("Standard"));
    QCOMPARE(dialog.hkCapture->text(), QStringLiteral("F2")); // the controls are not translated
  }

  void missingEntriesKeepTheDesignCaptions() {
    table = QStringList{"lblRestore=Wiederherstellen"};
    TfrmCustomHotkey dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("frmCustomHotkey"));
    QCOMPARE(dialog.lblCapture->text(), QStringLiteral("lblCapture"));
    QCOMPARE(dialog.lblRestore->text(), QStringLiteral("Wiederherstellen"));
    QCOMPARE(dialog.btnRestoreDefault->text(), QStringLiteral("Default"));
  }

  // With the program's own data module: its language file and settings file.
  void withTheProgramsData() {
    TTestAppFolder folder;
    QVERIFY(folder.IsValid());
    LangList = nullptr;
    {
      TdmMain dm(nullptr, folder.Path());
      QVERIFY(LangList);
      TfrmCustomHotkey dialog;
      QCOMPARE(dialog.windowTitle(), GetLangText("frmCustomHotkey"));
      QVERIFY(dialog.windowTitle() != QStringLiteral("frmCustomHotkey"));
      QCOMPARE(dialog.hkCapture->text(), IniOptions->HotkeyCapture());
      QCOMPARE(int(dialog.hkCaptureCombine->HotKey()), int(TextToShortCut(IniOptions->HotkeyC_Capture())));
      QVERIFY(dialog.hkCaptureCombine->HotKey() != 0);
    }
    QVERIFY(!LangList);
  }

  // OK without a change stores the texts the controls read, written the
  // writer's way.
  void okWithoutChange_data() {
    QTest::addColumn<THotkeyTexts>("stored");
    QTest::addColumn<THotkeyTexts>("expected");
    QTest::newRow("defaults") << THotkeyTexts{"F2", "Ctrl+F2", "F4"} << THotkeyTexts{"F2", "Ctrl+F2", "F4"};
    QTest::newRow("all modifiers") << THotkeyTexts{"Shift+Ctrl+Alt+A", "Alt+Num +", "Shift+Alt+Esc"}
                                   << THotkeyTexts{"Shift+Ctrl+Alt+A", "Alt+Num +", "Shift+Alt+Esc"};
    QTest::newRow("other spellings") << THotkeyTexts{"ctrl+shift+f2", "^F3", "alt+del"}
                                     << THotkeyTexts{"Shift+Ctrl+F2", "Ctrl+F3", "Alt+Del"};
    QTest::newRow("unreadable and empty") << THotkeyTexts{"Foo", "", "Ctrl+"} << THotkeyTexts{"", "", ""};
    QTest::newRow("keypad digit written by hand")
        << THotkeyTexts{"F2", "Ctrl+5", "F4"} << THotkeyTexts{"F2", "Ctrl+5", "F4"};
  }
  void okWithoutChange() {
    QFETCH(THotkeyTexts, stored);
    QFETCH(THotkeyTexts, expected);
    setCurrent(stored);
    TfrmCustomHotkey dialog;
    dialog.show();
    QVERIFY(clickOK(dialog));
    QCOMPARE(current(), expected);
    QCOMPARE(defaults(), (THotkeyTexts{"F2", "Ctrl+F2", "F4"}));
  }

  void typedCombinationsAreStored_data() {
    QTest::addColumn<TPresses>("presses");
    QTest::addColumn<QString>("expected");
    using P = TPresses;
    const int ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier;
    QTest::newRow("Ctrl, then Shift, then F2")
        << P{{Qt::Key_Control, ctrl}, {Qt::Key_Shift, ctrl | shift}, {Qt::Key_F2, ctrl | shift}} << "Shift+Ctrl+F2";
    QTest::newRow("Shift, then Ctrl, then F2")
        << P{{Qt::Key_Shift, shift}, {Qt::Key_Control, shift | ctrl}, {Qt::Key_F2, shift | ctrl}} << "Shift+Ctrl+F2";
    QTest::newRow("F2 alone") << P{{Qt::Key_F2, 0}} << "Alt+F2";
    QTest::newRow("Shift with F2") << P{{Qt::Key_Shift, shift}, {Qt::Key_F2, shift}} << "Alt+F2";
    QTest::newRow("keypad digit") << P{{Qt::Key_Control, ctrl}, {Qt::Key_3, ctrl | Qt::KeypadModifier}} << "Ctrl+3";
    QTest::newRow("modifiers alone") << P{{Qt::Key_Control, ctrl}, {Qt::Key_Alt, ctrl | Qt::AltModifier}} << "";
  }
  void typedCombinationsAreStored() {
    QFETCH(TPresses, presses);
    QFETCH(QString, expected);
    TfrmCustomHotkey dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.hkCaptureCombine->setFocus();
    for (const auto &[key, modifiers] : presses)
      press(dialog.hkCaptureCombine, key, Qt::KeyboardModifiers(modifiers));
    for (auto it = presses.crbegin(); it != presses.crend(); ++it)
      release(dialog.hkCaptureCombine, it->first, Qt::KeyboardModifiers(it->second));
    QVERIFY(clickOK(dialog));
    QCOMPARE(current(), (THotkeyTexts{"F2", expected, "F4"}));
    // What is stored reads back to what the control held, the keypad digit
    // as the digit of the main row.
    if (expected == "Ctrl+3")
      QCOMPARE(int(TextToShortCut(IniOptions->HotkeyC_Capture())), 0x4033);
  }

  void restoreDefaultsThenCancel() {
    setCurrent({"Alt+F5", "Alt+F6", "Alt+F7"});
    setDefaults({"F2", "Ctrl+F2", "F4"});
    TfrmCustomHotkey dialog;
    dialog.show();
    QTest::mouseClick(dialog.btnRestoreDefault, Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QCOMPARE(int(dialog.hkCapture->HotKey()), 0x71);
    QCOMPARE(int(dialog.hkCaptureCombine->HotKey()), 0x4071);
    QCOMPARE(int(dialog.hkRestore->HotKey()), 0x73);
    QCOMPARE(current(), (THotkeyTexts{"Alt+F5", "Alt+F6", "Alt+F7"}));
    QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(current(), (THotkeyTexts{"Alt+F5", "Alt+F6", "Alt+F7"}));
    QCOMPARE(defaults(), (THotkeyTexts{"F2", "Ctrl+F2", "F4"}));
  }

  // Plain F2 and F4 come back only through the defaults.
  void restoreDefaultsThenOK() {
    setCurrent({"Alt+F5", "", "Alt+F7"});
    TfrmCustomHotkey dialog;
    dialog.show();
    dialog.actRestoreDefault->trigger();
    QVERIFY(clickOK(dialog));
    QCOMPARE(current(), (THotkeyTexts{"F2", "Ctrl+F2", "F4"}));
  }

  // Two equal combinations are stored as chosen.
  void noValidation() {
    setCurrent({"Ctrl+F2", "Ctrl+F2", ""});
    TfrmCustomHotkey dialog;
    dialog.show();
    QVERIFY(clickOK(dialog));
    QCOMPARE(current(), (THotkeyTexts{"Ctrl+F2", "Ctrl+F2", ""}));
  }

  // Run as the main window runs it.
  void runThroughTheDialogs() {
    TDialogsScope dialogs;
    dialogs->OnForm = [](QDialog *d) {
      auto *form = static_cast<TfrmCustomHotkey *>(d);
      form->hkRestore->SetHotKey(0x8074); // Alt+F5
      form->actOK->trigger();
      return d->result();
    };
    TfrmCustomHotkey dialog;
    QCOMPARE(Dialogs().ExecDialog(&dialog), int(QDialog::Accepted));
    QCOMPARE(dialogs->OfKind("form").size(), 1);
    QCOMPARE(dialogs->OfKind("form").first().Caption, QStringLiteral("Tastenkürzel"));
    QCOMPARE(current(), (THotkeyTexts{"F2", "Ctrl+F2", "Alt+F5"}));
  }
};

QTEST_MAIN(TestCustomHotkey)
#include "tst_customhotkey.moc"
