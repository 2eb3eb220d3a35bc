#include "uApplication.h"
#include "uDMMain.h"
#include "uIniOptions.h"
#include "uOCRMain.h"
#include "uVision.h"

#include <QIcon>

#include <cstdlib>

int main(int argc, char *argv[]) {
  // One recognition runs fastest on one OpenMP thread; set before the
  // recognition engine is ever loaded.
  setenv("OMP_THREAD_LIMIT", "1", 1);

  TApplication app(argc, argv);
  TApplication::setApplicationName(QStringLiteral("quillon"));
  TApplication::setApplicationDisplayName(QStringLiteral("Zorvi Quillon"));
  if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
    QIcon::setThemeName(QStringLiteral("breeze"));

  // The data module first: the main window refers to its components.
  auto *dm = new TdmMain(&app);
  if (!IniOptions->SystemApplicationTitle().isEmpty())
    TApplication::setApplicationDisplayName(IniOptions->SystemApplicationTitle());
  SetVisionSearchFolder(AppPath);
  int rc = 0;
  {
    TfrmOCRMain window;
    window.show();
    rc = TApplication::exec();
  } // the main window goes first, then the data module saves the settings
  delete dm;
  return rc;
}
