#include "uTestAppFolder.h"
#include "uTestX11.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QtTest>

namespace {

// The program's top-level windows of one kind with the given title.
QList<WId> windowsOfType(const QString &title, const QString &type) {
  QList<WId> out;
  for (WId w : XWindowsTitled(title))
    if (XWindowTypes(w).value(0) == type)
      out.append(w);
  return out;
}

const QString Dialog = QStringLiteral("_NET_WM_WINDOW_TYPE_DIALOG");
const QString Normal = QStringLiteral("_NET_WM_WINDOW_TYPE_NORMAL");

} // namespace

// The program itself, started from a program folder of its own in a real X
// server with a window manager, as the user starts it.
class TestStart : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
      QSKIP("needs an X server (DISPLAY)");
    if (!XWindowManagerRunning())
      QSKIP("needs a window manager (openbox)");
  }

  // A capture caption whose format does not fit its hotkey text: the default
  // error report shows, and after OK the main window comes up and the
  // program ends normally when it is closed.
  void aBadCaptionFormatDoesNotEndTheProgram_data() {
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("a number where the text goes") << QByteArray("Capture (%d)");
    QTest::newRow("a lone percent sign") << QByteArray("Capture 100%");
  }
  void aBadCaptionFormatDoesNotEndTheProgram() {
    QFETCH(QByteArray, format);
    TTestAppFolder app;
    QVERIFY(app.IsValid());
    QVERIFY(QFile::copy(BuiltAppDir() + "quillon", app.File("quillon")));
    QVERIFY(QFile(app.File("quillon")).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    for (const char *part : {"libzvision.so", "quillon-vision"}) // the recognition's, unused here
      QFile::link(BuiltAppDir() + part, app.File(part));
    QByteArray lang = app.Read("langEn.zorvi");
    QVERIFY(lang.contains("actCapture=Capture (%s)\n"));
    lang.replace("actCapture=Capture (%s)\n", "actCapture=" + format + "\n");
    app.Write("langEn.zorvi", lang);

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(app.Path());
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(app.File("quillon"), {});
    QVERIFY(program.waitForStarted(10000));
    auto output = [&program] { return QString::fromLocal8Bit(program.readAll()); };

    // The error report, captioned with the application's title.
    QTRY_VERIFY2_WITH_TIMEOUT(windowsOfType("Zorvi Quillon", Dialog).size() == 1 ||
                                  program.state() == QProcess::NotRunning,
                              "the error report never showed", 30000);
    QVERIFY2(program.state() == QProcess::Running, qPrintable(output()));
    const WId report = windowsOfType("Zorvi Quillon", Dialog).first();
    QVERIFY(windowsOfType("Zorvi Quillon", Normal).isEmpty()); // the main window waits for it
    QTest::qWait(300);
    QVERIFY(XDoTool({"windowactivate", "--sync", QString::number(report)}));
    QVERIFY(XDoTool({"key", "Return"}));

    // The program goes on with its main window.
    QTRY_VERIFY_WITH_TIMEOUT(
        windowsOfType("Zorvi Quillon", Normal).size() == 1 || program.state() == QProcess::NotRunning, 30000);
    QVERIFY2(program.state() == QProcess::Running, qPrintable(output()));
    QVERIFY(windowsOfType("Zorvi Quillon", Dialog).isEmpty());
    const WId main = windowsOfType("Zorvi Quillon", Normal).first();
    QTest::qWait(500);
    QVERIFY(XDoTool({"windowactivate", "--sync", QString::number(main)}));
    QVERIFY(XDoTool({"key", "alt+F4"}));
    QVERIFY2(program.waitForFinished(30000), qPrintable(output()));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QVERIFY2(program.exitCode() == 0, qPrintable(output()));
  }
};

ZQ_TEST_MAIN_UNDER_WINDOW_MANAGER(TestStart)

#include "tst_start_x11.moc"
