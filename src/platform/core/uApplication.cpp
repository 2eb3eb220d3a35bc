#include "uApplication.h"

#include "uDialogs.h"
#include "uException.h"
#include "uWindowCaption.h"

#include <QEventLoop>
#include <QGuiApplication>

#include <thread>

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) { KeepWindowCaptionsAsGiven(this); }

bool TApplication::notify(QObject *receiver, QEvent *event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception &e) {
    HandleException(e);
  }
  return false;
}

namespace {
QString &title() {
  static QString value;
  return value;
}
bool &titleSet() {
  static bool value = false;
  return value;
}
} // namespace

QString ApplicationTitle() { return titleSet() ? title() : QCoreApplication::applicationName(); }

void SetApplicationTitle(const QString &value) {
  title() = value;
  titleSet() = true;
}

void HandleException(const std::exception &e) {
  Dialogs().MessageBox(nullptr, ExceptionMessage(e), ApplicationTitle(), MB_OK | MB_ICONERROR);
}

void RunGuarded(const std::function<void()> &body) {
  try {
    body();
  } catch (const std::exception &e) {
    HandleException(e);
  }
}

void RunInBackground(const std::function<void()> &work) {
  std::exception_ptr error;
  QEventLoop loop;
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      error = std::current_exception();
    }
    // Queued: it ends the loop from inside, also when the loop starts later.
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
  QGuiApplication::restoreOverrideCursor();
  if (error)
    std::rethrow_exception(error);
}
