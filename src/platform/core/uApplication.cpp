#include "uApplication.h"

#include "uDialogs.h"
#include "uException.h"

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject *receiver, QEvent *event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception &e) {
    HandleException(e);
  }
  return false;
}

void HandleException(const std::exception &e) {
  Dialogs().MessageBox(nullptr, ExceptionMessage(e), QApplication::applicationDisplayName(), MB_OK | MB_ICONERROR);
}

void RunGuarded(const std::function<void()> &body) {
  try {
    body();
  } catch (const std::exception &e) {
    HandleException(e);
  }
}
