#include "uAlertWindow.h"
#include "uCapture.h"
#include "uCustomHotkey.h"
#include "uDeskFixture.h"
#include "uHotKeyEdit.h"
#include "uHotkeyBackend.h"
#include "uShortCut.h"
#include "uTestX11.h"

#include <QAction>
#include <QDialog>
#include <QProcess>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <functional>

// The main window's global hotkeys in a real X server with a window manager,
// pressed with xdotool.
class TestMainHotkeys : public QObject {
  Q_OBJECT

  static void press(const QString &keys) { QVERIFY(XDoTool({QStringLiteral("key"), keys})); }

  // Runs a modal form in its own event loop, as the program does, with
  // `whileOpen` once it is on the screen; the form is closed with `result`
  // at the end whatever `whileOpen` found.
  static int runModal(QDialog *form, const std::function<void()> &whileOpen, int result) {
    QTimer::singleShot(0, form, [form, whileOpen, result] {
      if (QTest::qWaitForWindowExposed(form)) {
        QTest::qWait(300); // the window manager has placed and focused it
        whileOpen();
      }
      form->done(result);
    });
    return form->exec();
  }

private slots:
  void initTestCase() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
      QSKIP("needs an X server");
    if (!XWindowManagerRunning())
      QSKIP("needs a window manager (openbox)");
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

  // A capture hotkey pressed while the capture window covers the screen: the
  // alert shows above that window, where the user sees it.
  void theAlertOfASecondCaptureShowsAboveTheCaptureWindow() {
    TDeskFixture desk;
    WId capture = 0;
    WId alert = 0;
    QList<WId> stack;
    desk.Dialogs->OnForm = [&](QDialog *form) {
      if (!qobject_cast<TfrmCapture *>(form))
        return int(QDialog::Rejected);
      return runModal(
          form,
          [&] {
            capture = form->winId();
            QTRY_VERIFY(form->isActiveWindow());
            press(QStringLiteral("F2"));
            QTRY_VERIFY(desk.Main->alertWindowMain->LastWindow() &&
                        desk.Main->alertWindowMain->LastWindow()->isVisible());
            TAlertWindow *shown = desk.Main->alertWindowMain->LastWindow();
            QVERIFY(QTest::qWaitForWindowExposed(shown));
            alert = shown->winId();
            QTest::qWait(300); // the window manager has stacked it
            stack = XStackingOrder();
          },
          QDialog::Rejected);
    };
    desk.Run("actCapture");
    QCOMPARE(desk.Main->MyPattern(), osNormal);
    QVERIFY(capture && alert);
    QVERIFY(stack.contains(capture));
    QVERIFY(stack.contains(alert));
    QVERIFY2(stack.indexOf(alert) > stack.indexOf(capture), "the alert is below the capture window");
  }

  // The hotkeys are given back while the hotkey dialog runs: a registered
  // combination typed into one of its fields reaches the field and starts no
  // capture; after OK or Cancel they work again.
  void hotkeysAreQuietWhileTheHotkeyDialogRuns_data() {
    QTest::addColumn<int>("result");
    QTest::newRow("OK") << int(QDialog::Accepted);
    QTest::newRow("Cancel") << int(QDialog::Rejected);
  }
  void hotkeysAreQuietWhileTheHotkeyDialogRuns() {
    QFETCH(int, result);
    TDeskFixture desk;
    QSignalSpy capture(desk.Main->Action("actCapture"), &QAction::triggered);
    int capturesWhileOpen = -1;
    quint16 typed = 0;
    desk.Dialogs->OnForm = [&](QDialog *form) {
      auto *dialog = qobject_cast<TfrmCustomHotkey *>(form);
      if (!dialog)
        return int(QDialog::Rejected); // a capture window: cancelled at once
      return runModal(
          form,
          [&] {
            QTRY_VERIFY(dialog->isActiveWindow());
            dialog->hkRestore->setFocus();
            QTRY_VERIFY(dialog->hkRestore->hasFocus());
            press(QStringLiteral("F2")); // the capture hotkey
            QTRY_COMPARE(dialog->hkRestore->HotKey(), TextToShortCut(QStringLiteral("Alt+F2")));
            QTest::qWait(300);
            typed = dialog->hkRestore->HotKey();
            capturesWhileOpen = capture.count();
            if (result == QDialog::Accepted)
              dialog->actOKExecute();
          },
          result);
    };
    desk.Run("actCustomHotKey");
    QCOMPARE(typed, TextToShortCut(QStringLiteral("Alt+F2")));
    QCOMPARE(capturesWhileOpen, 0);
    QCOMPARE(desk.Main->isMinimized(), false);
    QCOMPARE(IniOptions->HotkeyRestore(),
             result == QDialog::Accepted ? QStringLiteral("Alt+F2") : QStringLiteral("F4"));

    // Registered again.
    QTest::qWait(200);
    press(QStringLiteral("F2"));
    QTRY_COMPARE(capture.count(), 1);
  }
};

ZQ_TEST_MAIN_UNDER_WINDOW_MANAGER(TestMainHotkeys)
#include "tst_mainhotkeys_x11.moc"
