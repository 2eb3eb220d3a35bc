#pragma once

#include <QApplication>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>
#include <memory>
#include <optional>
#include <qwindowdefs.h>

// The user's hands in the X server: runs xdotool with the given arguments
// and tells whether it succeeded.
inline bool XDoTool(const QStringList &args) {
  QProcess p;
  p.start(QStringLiteral("xdotool"), args);
  return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// What the window manager reads of the X server (of DISPLAY), through a
// connection of its own: usable before the application object exists and
// for the windows of other processes.

// The title that a window manager shows for an X window: its _NET_WM_NAME
// (UTF-8) when it has one, else its WM_NAME; none when it has neither.
std::optional<QString> XWindowTitle(WId window);
// The window's types (_NET_WM_WINDOW_TYPE), as atom names such as
// "_NET_WM_WINDOW_TYPE_DIALOG", most specific first.
QStringList XWindowTypes(WId window);
// The managed top-level windows from the bottom to the top of the stack
// (_NET_CLIENT_LIST_STACKING of the root window); empty without a window
// manager.
QList<WId> XStackingOrder();
// The top-level X windows whose title (as above) is `title`.
QList<WId> XWindowsTitled(const QString &title);
// Whether a window manager runs on the display (its check window exists).
bool XWindowManagerRunning();

// A window manager for the tests that need one (stacking, activation, the
// title bar's keys): starts openbox on the display when none runs and stops
// it at the end of its scope; a window manager already running is used as it
// is. Create it before the application object, so that Qt sees the window
// manager from the start.
class TTestWindowManager {
public:
  TTestWindowManager();
  ~TTestWindowManager();
  TTestWindowManager(const TTestWindowManager &) = delete;
  TTestWindowManager &operator=(const TTestWindowManager &) = delete;

  // A window manager runs (the one started here or one found).
  bool IsRunning() const { return FRunning; }

private:
  std::unique_ptr<QProcess> FProcess;
  bool FRunning = false;
};

// The main of a test that runs under a window manager, started before the
// application object so that Qt sees it from the start; without an X server
// the test runs offscreen (and its X cases skip themselves).
#define ZQ_TEST_MAIN_UNDER_WINDOW_MANAGER(TestClass)                                                                 \
  int main(int argc, char *argv[]) {                                                                                  \
    if (qEnvironmentVariableIsEmpty("DISPLAY"))                                                                       \
      qputenv("QT_QPA_PLATFORM", "offscreen");                                                                        \
    std::unique_ptr<TTestWindowManager> wm;                                                                           \
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))                                                                      \
      wm = std::make_unique<TTestWindowManager>();                                                                    \
    QApplication app(argc, argv);                                                                                     \
    TestClass test;                                                                                                   \
    QTEST_SET_MAIN_SOURCE_PATH                                                                                        \
    return QTest::qExec(&test, argc, argv);                                                                           \
  }
