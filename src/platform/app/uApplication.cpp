#include "uApplication.h"

#include "uDialogs.h"
#include "uException.h"
#include "uWindowCaption.h"

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
