#include "uDeskFixture.h"

#include "uHotkeyBackend.h"
#include "uTestX11.h"

#include <QAction>
#include <QDialog>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

// The main window's global hotkeys in a real X server, pressed with xdotool.
class TestMainHotkeys : public QObject {
  Q_OBJECT

  static void press(const QString &keys) { QVERIFY(XDoTool({QStringLiteral("key"), keys})); }

private slots:
  void initTestCase() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
      QSKIP("needs an X server");
  }

  void defaultHotkeysRunTheCaptureCommands() {
    TDeskFixture desk;
    desk.Dialogs->OnForm = [](QDialog *) { return int(QDialog::Rejected); }; // the capture window
    QSignalSpy capture(desk.Main->Action("actCapture"), &QAction::triggered);
    QSignalSpy combine(desk.Main->Action("actCaptureCombine"), &QAction::triggered);
    QSignalSpy restore(desk.Main->Action("actCaptureRestore"), &QAction::triggered);
    QTest::qWait(200);
    press(QStringLiteral("F2"));
    QTRY_COMPARE(capture.count(), 1);
    QCOMPARE(desk.Main->MyPattern(), osNormal); // the capture ended
    press(QStringLiteral("ctrl+F2"));
    QTRY_COMPARE(combine.count(), 1);
    press(QStringLiteral("F4"));
    QTRY_COMPARE(restore.count(), 1);
    QVERIFY(!(desk.Main->windowState() & Qt::WindowMinimized));
    QCOMPARE(capture.count(), 1);
    QCOMPARE(combine.count(), 1);
  }

  void newHotkeysReplaceTheOldOnes() {
    TDeskFixture desk;
    desk.Dialogs->OnForm = [](QDialog *) { return int(QDialog::Rejected); };
    QSignalSpy capture(desk.Main->Action("actCapture"), &QAction::triggered);
    IniOptions->SetHotkeyCapture(QStringLiteral("Shift+Ctrl+F9"));
    desk.Main->UnregisterHotkeys();
    desk.Main->RegisterHotkeys();
    desk.Main->UpdateHotkeyCaptions();
    QCOMPARE(desk.Main->Action("actCapture")->text(), QStringLiteral("Capture (Shift+Ctrl+F9)"));
    QTest::qWait(200);
    press(QStringLiteral("F2"));
    QTest::qWait(500);
    QCOMPARE(capture.count(), 0);
    press(QStringLiteral("shift+ctrl+F9"));
    QTRY_COMPARE(capture.count(), 1);
  }

  void twoHotkeysOnOneCombinationTheFirstWins() {
    TDeskFixture desk;
    desk.Dialogs->OnForm = [](QDialog *) { return int(QDialog::Rejected); };
    desk.Main->UnregisterHotkeys();
    IniOptions->SetHotkeyRestore(QStringLiteral("F2")); // the same as capture
    desk.Main->RegisterHotkeys();
    QSignalSpy capture(desk.Main->Action("actCapture"), &QAction::triggered);
    QSignalSpy restore(desk.Main->Action("actCaptureRestore"), &QAction::triggered);
    QTest::qWait(200);
    press(QStringLiteral("F2"));
    QTRY_COMPARE(capture.count(), 1);
    QTest::qWait(300);
    QCOMPARE(restore.count(), 0);
  }
};

QTEST_MAIN(TestMainHotkeys)
#include "tst_mainhotkeys_x11.moc"
