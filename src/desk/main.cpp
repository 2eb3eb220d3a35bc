#include "uApplication.h"
#include "uDMMain.h"
#include "uIniOptions.h"
#include "uOCRMain.h"
#include "uVision.h"

#include <QIcon>
#include <cstdlib>
#include <exception>

int main(int argc, char *argv[]) {
  // One recognition runs fastest on one OpenMP thread; set before the
  // recognition engine is ever loaded.
  setenv("OMP_THREAD_LIMIT", "1", 1);

  TApplication app(argc, argv);
  // No display name: the window system would append it to every caption.
  TApplication::setApplicationName(QStringLiteral("quillon"));
  SetApplicationTitle(QStringLiteral("Zorvi Quillon"));
  if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
    QIcon::setThemeName(QStringLiteral("breeze"));

  // Every step of the start runs inside the default error handler: an error
  // is reported and the program goes on. The data module and the main window
  // guard their own creation handlers.
  try {
    // The data module first: the main window refers to its components.
    auto *dm = new TdmMain(&app);
    RunGuarded([] {
      if (!IniOptions->SystemApplicationTitle().isEmpty())
        SetApplicationTitle(IniOptions->SystemApplicationTitle());
      SetVisionSearchFolder(AppPath);
    });
    int rc = 0;
    {
      TfrmOCRMain window;
      window.show();
      rc = TApplication::exec();
    } // the main window goes first, then the data module saves the settings
    delete dm;
    return rc;
  } catch (const std::exception &e) {
    // Without its main window the program cannot go on: report and end.
    HandleException(e);
    return EXIT_FAILURE;
  }
}
