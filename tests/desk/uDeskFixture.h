#pragma once

// What the desk tests share: a program folder in a temporary folder with the
// data module and the main window (and so the one workspace) on it, scripted
// dialogs and a recording desktop.

#include "uDMMain.h"
#include "uFraModuleOCR.h"
#include "uIniOptions.h"
#include "uOCRMain.h"
#include "uTestAppFolder.h"
#include "uTestDialogs.h"
#include "uThumbList.h"
#include "uVision.h"
#include "uVisionService.h"

#include <QColor>
#include <QDir>
#include <QTest>
#include <QFont>
#include <QImage>
#include <QPainter>

#include <cstdlib>
#include <memory>

class TDeskFixture {
public:
  explicit TDeskFixture(const QByteArray &iniText = QByteArray()) {
    *IniOptions = TIniOptions();
    if (!iniText.isNull())
      App.Write("ZorviOCR.ini", iniText);
    DataModule = std::make_unique<TdmMain>(nullptr, App.Path());
    SetVisionSearchFolder(BuiltAppDir());
    Main = std::make_unique<TfrmOCRMain>();
    Main->show();
  }
  ~TDeskFixture() {
    Main.reset();
    DataModule.reset();
  }
  TDeskFixture(const TDeskFixture &) = delete;
  TDeskFixture &operator=(const TDeskFixture &) = delete;

  TfraModuleOCR *Fra() const { return fraModuleOCR; }
  TThumbList *List() const { return fraModuleOCR->imgMViewListItems; }
  // Runs a main-window action the way a click does.
  void Run(const char *action) const { Main->Action(QString::fromLatin1(action))->trigger(); }
  // Imports the files through the main window, as the user does; the
  // picker's call is not kept.
  void Import(const QStringList &files) const {
    Dialogs->OpenAnswers = {files};
    Run("actSrc_ImportFiles");
    QCOMPARE(Dialogs->Calls.size(), 1); // the file picker
    Dialogs->Calls.clear();
  }

  TTestAppFolder App;
  TDialogsScope Dialogs;
  TDesktopScope Desktop;
  std::unique_ptr<TdmMain> DataModule;
  std::unique_ptr<TfrmOCRMain> Main;
};

// The recognition plug-in loaded nowhere, as at the start of a run: no
// helper process kept, the loader back to "not loaded".
inline bool PlugInLoadedNowhere() {
  VisionServiceTest::StopIdleHelpers();
  return VisionLoaderTest::Unload() && VisionPluginFile().isEmpty();
}

// A picture of a plain colour, or with lines of text, written to `path`.
inline QString WriteTestImage(const QString &path, QSize size, const QColor &color = Qt::white,
                              const QStringList &lines = {}, int pixelSize = 40, int dpi = 0) {
  QImage img(size, QImage::Format_RGB32);
  img.fill(color);
  if (!lines.isEmpty()) {
    QPainter p(&img);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixelSize);
    p.setFont(f);
    p.setPen(Qt::black);
    int y = pixelSize * 2;
    for (const QString &line : lines) {
      p.drawText(pixelSize, y, line);
      y += pixelSize * 2;
    }
  }
  if (dpi > 0) {
    img.setDotsPerMeterX(qRound(dpi / 0.0254));
    img.setDotsPerMeterY(qRound(dpi / 0.0254));
  }
  QDir().mkpath(QFileInfo(path).absolutePath());
  img.save(path);
  return path;
}

// The main of a test that recognises: the thread limit is set before the
// recognition engine is ever loaded, as the program does.
#define ZQ_RECOGNITION_TEST_MAIN(TestClass)                                                                            \
  int main(int argc, char **argv) {                                                                                    \
    setenv("OMP_THREAD_LIMIT", "1", 1);                                                                                \
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                                                \
      qputenv("QT_QPA_PLATFORM", "offscreen");                                                                         \
    QApplication app(argc, argv);                                                                                      \
    TestClass test;                                                                                                    \
    return QTest::qExec(&test, argc, argv);                                                                            \
  }
