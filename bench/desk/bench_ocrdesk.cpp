// The program's own recognition path on one image: the workspace prepares
// the image (masks, selection, the 3x Hermite enlargement below 900 dpi) and
// recognises it through the plug-in, as the Recognise command does; then the
// tesseract command-line program reads the same enlarged image with the same
// trained data, and the two are compared.
//   bench_ocrdesk [image language-name [--rect x,y,w,h] [--barcode]] [--grey]
// Without an image it draws its own 2550 x 3300 page (300 dpi, English), a
// colour scan, or a grey one with --grey.
#include "uApplication.h"
#include "uDMMain.h"
#include "uFraModuleOCR.h"
#include "uIEBitmap.h"
#include "uImageEnVect.h"
#include "uImageFile.h"
#include "uLangCodes.h"
#include "uRichViewEdit.h"
#include "uVision.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double CurrentRssMiB() {
  FILE *f = std::fopen("/proc/self/statm", "r");
  long pages = 0, resident = 0;
  if (f) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
      resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024.0) / 1024.0;
}

double PeakRssMiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024.0;
}

QImage TestPage(bool grey) {
  QImage page(2550, 3300, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
  page.fill(grey ? QColor(255, 255, 255) : QColor(250, 247, 240)); // a colour scan's paper
  QPainter p(&page);
  QFont f(QStringLiteral("DejaVu Serif"));
  f.setPixelSize(42);
  p.setFont(f);
  const QString line = QStringLiteral("The quick brown fox jumps over the lazy dog, again and again, %1.");
  for (int i = 0; i < 40; ++i)
    p.drawText(180, 220 + i * 72, line.arg(i + 1));
  return page;
}

} // namespace

int main(int argc, char **argv) {
  setenv("OMP_THREAD_LIMIT", "1", 1);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  TApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  bool barcode = args.removeAll(QStringLiteral("--barcode")) > 0;
  const bool grey = args.removeAll(QStringLiteral("--grey")) > 0;
  QRect rect;
  const int r = args.indexOf(QStringLiteral("--rect"));
  if (r >= 0 && r + 1 < args.size()) {
    const QStringList v = args.at(r + 1).split(u',');
    if (v.size() == 4)
      rect = QRect(v[0].toInt(), v[1].toInt(), v[2].toInt(), v[3].toInt());
    args.remove(r, 2);
  }
  QTemporaryDir tmp;
  QString imageFile = args.value(0);
  const QString language = args.value(1, QStringLiteral("English"));
  if (imageFile.isEmpty()) {
    imageFile = tmp.filePath(QStringLiteral("page.png"));
    WriteImageFile(imageFile, TestPage(grey), 300, 300);
  }

  // The program folder: the built one's files linked into a fresh folder.
  const QString appDir = tmp.path() + QStringLiteral("/app/");
  QDir().mkpath(appDir);
  const QDir built(QStringLiteral(ZQ_APP_DIR));
  for (const QString &name : built.entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot))
    QFile::link(built.filePath(name), appDir + name);
  TdmMain dm(nullptr, appDir);
  SetVisionSearchFolder(AppPath);
  QWidget host;
  host.resize(980, 620);
  auto *fra = new TfraModuleOCR(&host);
  fra->setGeometry(host.rect());
  fra->InitModuleLayout();
  host.show();
  fra->ShowImage(fra->AddImageFile(imageFile));
  if (!rect.isEmpty())
    fra->imgRaw->Select(rect);

  if (barcode) {
    QElapsedTimer t;
    t.start();
    fra->BarcodeDetect();
    std::printf("%s", fra->rveResult->toPlainText().toUtf8().constData());
    std::printf("\nbarcode reading: %.1f ms\n", t.nsecsElapsed() / 1e6);
    return 0;
  }

  // Warm the plug-in once (it loads at its first use in a run).
  TVisionLibrary::Obtain();
  const double baseline = CurrentRssMiB();
  QElapsedTimer t;
  t.start();
  fra->SetOCRImage();
  const double prepare = t.nsecsElapsed() / 1e6;
  const TIEBitmap *enlarged = fra->imgTemp->IEBitmap();
  const double enlargedMiB = double(enlarged->Image().sizeInBytes()) / (1024.0 * 1024.0);
  t.restart();
  fra->OCR(language);
  const double total = t.nsecsElapsed() / 1e6;
  const QString text = fra->rveResult->toPlainText();

  // The same enlarged image through the command-line program.
  const QString enlargedFile = tmp.filePath(QStringLiteral("enlarged.png"));
  WriteImageFile(enlargedFile, enlarged->Image(), 900, 900);
  QProcess cli;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
  cli.setProcessEnvironment(env);
  t.restart();
  cli.start(QStringLiteral("tesseract"), {enlargedFile, QStringLiteral("stdout"), QStringLiteral("-l"), LanguageCode(language),
                                          QStringLiteral("--tessdata-dir"), AppPath + QStringLiteral("ocrlangs")});
  cli.waitForFinished(-1);
  const double command = t.nsecsElapsed() / 1e6;
  const QString cliText = QString::fromUtf8(cli.readAllStandardOutput());

  std::printf("%s\n", text.toUtf8().constData());
  std::printf("image %s, %d x %d -> %d x %d for recognition\n", qPrintable(imageFile), fra->imgRaw->IEBitmap()->Width(),
              fra->imgRaw->IEBitmap()->Height(), enlarged->Width(), enlarged->Height());
  std::printf("preparation (merge, copy, 3x Hermite)  %9.1f ms\n", prepare);
  std::printf("recognise command, total               %9.1f ms\n", total);
  std::printf("tesseract command line, same image     %9.1f ms\n", command);
  std::printf("ratio program / command line           %9.2f\n", command > 0 ? total / command : 0.0);
  std::printf("memory for the recognition / bitmap   %9.2f (peak %.0f MiB, before %.0f MiB, bitmap %.0f MiB)\n",
              (PeakRssMiB() - baseline) / enlargedMiB, PeakRssMiB(), baseline, enlargedMiB);
  const QStringList ours = text.simplified().split(u' ', Qt::SkipEmptyParts);
  const QStringList theirs = cliText.simplified().split(u' ', Qt::SkipEmptyParts);
  std::printf("words: program %lld, command line %lld%s\n", (long long)ours.size(), (long long)theirs.size(),
              ours == theirs ? " (the same)" : "");
  return 0;
}
