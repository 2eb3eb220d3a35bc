#include "uOCRMain.h"

#include "uIniOptions.h"

#include <QGuiApplication>
#include <QScreen>

TfrmOCRMain::TfrmOCRMain(QWidget *parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("frmOCRMain"));
  FormCreate();
}

TfrmOCRMain::~TfrmOCRMain() = default;

void TfrmOCRMain::FormCreate() {
  resize(980, 660);
  if (const QScreen *screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  setWindowTitle(IniOptions->SystemApplicationTitle());
}
