#include "uApplication.h"
#include "uDeskFixture.h"
#include "uDialogs.h"
#include "uException.h"
#include "uMessages.h"
#include "uTestX11.h"

#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

namespace {

QString shown(WId window) { return XWindowTitle(window).value_or(QStringLiteral("<no title>")); }

// What a modal message box showed: its title as the window manager reads it
// and its width, and the width that its caption needs in a title bar.
struct TBoxSeen {
  QString Title;
  int Width = 0;
  int CaptionNeeds = 0;
};

// Runs `show` (which opens one modal message box through the real dialogs)
// and reads the box while it is up, then closes it.
TBoxSeen seeBox(const std::function<void()> &show) {
  TBoxSeen seen;
  std::unique_ptr<TDialogs> previous = SetDialogs(std::make_unique<TQtDialogs>());
  QTimer probe;
  probe.setInterval(20);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || !box->windowHandle() || !box->windowHandle()->isExposed())
      return;
    probe.stop();
    QTest::qWait(100); // the title and the size reach the server
    seen.Title = shown(box->winId());
    seen.Width = box->width();
    seen.CaptionNeeds = CaptionBarWidth(box->windowTitle(), box->font());
    box->done(QMessageBox::Ok);
  });
  probe.start();
  show();
  SetDialogs(std::move(previous));
  return seen;
}

} // namespace

// The captions as the window manager reads them (_NET_WM_NAME, WM_NAME) in a
// real X server: nothing is appended to them, and an empty one stays empty.
class TestCaptions : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
      QSKIP("needs an X server (DISPLAY)");
  }

  void mainWindowIsTitledWithTheSettingAsStored_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("title");
    QTest::newRow("default") << QByteArray() << "Zorvi Quillon";
    QTest::newRow("empty") << QByteArray("[System]\nApplicationTitle=\n") << "";
    QTest::newRow("another") << QByteArray("[System]\nApplicationTitle=OCR desk\n") << "OCR desk";
  }
  void mainWindowIsTitledWithTheSettingAsStored() {
    QFETCH(QByteArray, ini);
    QFETCH(QString, title);
    TDeskFixture desk(ini);
    QVERIFY(QTest::qWaitForWindowExposed(desk.Main.get()));
    QTRY_COMPARE(shown(desk.Main->winId()), title);
  }

  void messageBoxesAreCaptionedAsGiven_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");
    QTest::newRow("error, short") << 0 << ""
                                  << "Error";
    QTest::newRow("warning, short") << 1 << "No."
                                    << "Information";
    QTest::newRow("information, short") << 2 << ""
                                        << "Information";
    QTest::newRow("yes/no, short") << 3 << "Sure?"
                                   << "Information";
    QTest::newRow("information, long") << 2
                                       << "The language pack has been installed, and its languages are offered at once."
                                       << "Information";
  }
  void messageBoxesAreCaptionedAsGiven() {
    QFETCH(int, kind);
    QFETCH(QString, text);
    QFETCH(QString, caption);
    TDeskFixture desk;
    const TBoxSeen seen = seeBox([&] {
      switch (kind) {
      case 0:
        ShowErrorBox(text);
        break;
      case 1:
        ShowWarningBox(text);
        break;
      case 2:
        ShowInfoBox(text);
        break;
      default:
        AskYesNoBox(text);
        break;
      }
    });
    QCOMPARE(seen.Title, caption);
    // A short text does not make the box too narrow for its caption.
    QVERIFY2(seen.Width >= seen.CaptionNeeds,
             qPrintable(QStringLiteral("%1 < %2").arg(seen.Width).arg(seen.CaptionNeeds)));
  }

  void theDefaultErrorReportIsCaptionedWithTheApplicationTitle() {
    TDeskFixture desk;
    SetApplicationTitle(QStringLiteral("Zorvi Quillon"));
    const TBoxSeen seen = seeBox([] { RunGuarded([] { throw Exception(QStringLiteral("Disk full")); }); });
    QCOMPARE(seen.Title, QStringLiteral("Zorvi Quillon"));
  }

  // The dialogs and the capture window that the main window's commands open.
  void formsAreTitledAsTheirDefinitionsSay_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("title");
    QTest::newRow("hotkey dialog: from the language table") << "actCustomHotKey"
                                                            << "Hotkeys";
    QTest::newRow("PDF import dialog: fixed") << "actSrc_ImportPDF"
                                              << "Set pdf options";
    QTest::newRow("capture window: none, it has no title bar") << "actCapture"
                                                               << "";
  }
  void formsAreTitledAsTheirDefinitionsSay() {
    QFETCH(QString, action);
    QFETCH(QString, title);
    TDeskFixture desk;
    QString seen = QStringLiteral("<not opened>");
    desk.Dialogs->OnForm = [&](QDialog *form) {
      form->show();
      if (QTest::qWaitForWindowExposed(form)) {
        QTest::qWait(100);
        seen = shown(form->winId());
      }
      return int(QDialog::Rejected);
    };
    desk.Main->Action(action)->trigger();
    QCOMPARE(seen, title);
  }
};

// Without an X server the test starts on the offscreen platform and skips.
int main(int argc, char *argv[]) {
  if (qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  TApplication app(argc, argv); // the program's own application object
  TestCaptions test;
  QTEST_SET_MAIN_SOURCE_PATH
  return QTest::qExec(&test, argc, argv);
}

#include "tst_captions_x11.moc"
