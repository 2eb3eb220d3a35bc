// One recognition (or barcode reading) as the desk does it: a workspace on a
// program folder, on the offscreen platform; the image added and shown, an
// optional selection, then SetOCRImage and OCR (or BarcodeDetect). Prints the
// recognised text, the times of the steps, the longest stall of the event
// loop while OCR runs (the work runs in a helper process while the window
// keeps painting), the peak resident memory against the enlarged bitmap, and
// the whole against a reference measured in the same run: the `tesseract`
// command-line program on the same enlarged picture with the same trained
// data and one OpenMP thread (for barcodes: ZXing-cpp called directly on the
// same pixels as the desk holds them, barcodes counted, not lines).
//
//   bench_ocrdesk <image> <language name> [--rect x,y,w,h] [--barcode]
//   bench_ocrdesk [--grey]   (draws its own 2550 x 3300 page at 300 dpi,
//                             English: a colour scan, or a grey one)
//   bench_ocrdesk --barcode [--scan]  (draws its own 2550 x 3300 page with
//                             barcodes; --scan: as a scanner gives it)

#include "uApplication.h"
#include "uBenchPage.h"
#include "uDMMain.h"
#include "uDialogs.h"
#include "uFraModuleOCR.h"
#include "uIEDocument.h"
#include "uImageEnVect.h"
#include "uImageFile.h"
#include "uLangCodes.h"
#include "uRecognition.h"
#include "uRichViewEdit.h"
#include "uVision.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <ZXing/ReadBarcode.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double Ms(const QElapsedTimer &t) { return double(t.nsecsElapsed()) / 1e6; }

double PeakRssMb() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024.0;
}

// The peak resident memory of the recognition helpers now running.
double HelpersPeakMb() {
  double sum = 0;
  for (qint64 pid : VisionServiceTest::HelperPids()) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
      continue;
    for (const QByteArray &line : f.readAll().split('\n'))
      if (line.startsWith("VmHWM:"))
        sum += line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
  }
  return sum;
}

double RssMb() {
  FILE *f = std::fopen("/proc/self/statm", "r");
  long pages = 0, resident = 0;
  if (f) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
      resident = 0;
    std::fclose(f);
  }
  return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Messages are printed, never shown: nothing may wait for a click here.
class TPrintingDialogs : public TDialogs {
public:
  int Count = 0;
  int MessageBox(QWidget *, const QString &text, const QString &, unsigned) override {
    Report(text);
    return IDOK;
  }
  void ErrorDialog(QWidget *, const QString &text) override { Report(text); }
  QStringList OpenFiles(QWidget *, const TFileDialogRequest &) override { return {}; }
  QString SaveFile(QWidget *, const TFileDialogRequest &) override { return {}; }
  QString ChooseFolder(QWidget *, const TFileDialogRequest &) override { return {}; }
  int ExecDialog(QDialog *) override { return 0; }

private:
  void Report(const QString &text) {
    ++Count;
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
  }
};

// A copy of the built program folder (the settings written at exit stay
// there); the trained data linked, not copied.
QString MakeProgramFolder(const QString &root) {
  const QString dest = root + QStringLiteral("/app/");
  const QString src = QStringLiteral(ZQ_APP_DIR);
  QDirIterator it(src, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
  QDir().mkpath(dest);
  while (it.hasNext()) {
    const QString from = it.next();
    const QString rel = from.mid(src.size());
    if (it.fileInfo().isDir())
      QDir().mkpath(dest + rel);
    else if (rel.startsWith(QLatin1String("ocrlangs/")))
      QFile::link(it.fileInfo().canonicalFilePath(), dest + rel);
    else if (!rel.endsWith(QLatin1String(".so")))
      QFile::copy(from, dest + rel);
  }
  QDir().mkpath(dest + QStringLiteral("temp"));
  return dest;
}

// A letter page at 300 dpi: 30 lines of 12-point type, on a colour scan's
// paper or on white in grey.
QImage TestPage(bool grey) {
  QImage page(2550, 3300, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
  page.fill(grey ? QColor(255, 255, 255) : QColor(250, 247, 240));
  DrawBenchText(page, 30, 250, 95);
  return page;
}

void Usage() {
  std::fprintf(stderr, "usage: bench_ocrdesk <image> <language name> [--rect x,y,w,h] [--barcode]\n"
                       "       bench_ocrdesk [--grey]   (draws its own 2550 x 3300 page)\n");
}

// The enlargement alone, as SetOCRImage makes it of the selection or the
// whole image; the best of three.
double EnlargementMs(const TImageEnVect &view, int dpi) {
  double best = 1e300;
  for (int i = 0; i < 3; ++i) {
    TIEDocument work;
    if (view.Selected())
      view.CopySelectionToIEBitmap(*work.IEBitmap());
    else
      work.IEBitmap()->Assign(*view.IEBitmap());
    QElapsedTimer t;
    t.start();
    const QImage prepared = PrepareForRecognition(work.IEBitmap()->Image(), dpi);
    best = std::min(best, Ms(t));
  }
  return best;
}

// The longest gap between two turns of the event loop while `work` runs
// (a timer due every millisecond).
template <class F> double LongestStallMs(F work) {
  QElapsedTimer clock;
  clock.start();
  qint64 last = clock.nsecsElapsed();
  qint64 longest = 0;
  QTimer timer;
  timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    longest = std::max(longest, now - last);
    last = now;
  });
  timer.start(1);
  last = clock.nsecsElapsed();
  work();
  longest = std::max(longest, clock.nsecsElapsed() - last);
  return double(longest) / 1e6;
}

// The number of barcodes in BarcodeDetect's lines: "1. type:", "2. type:" ...
// at the start of a paragraph, in order (a value may hold line breaks).
int CountBarcodes(const QString &text) {
  int n = 0;
  for (const QString &line : text.split(u'\n'))
    if (line.startsWith(QStringLiteral("%1. type:").arg(n + 1)))
      ++n;
  return n;
}

void DrawBarcode(QImage &page, QPoint at, ZXing::BarcodeFormat format, const std::string &content, int w, int h) {
  ZXing::BitMatrix m = ZXing::MultiFormatWriter(format).setMargin(0).encode(content, w, h);
  QPainter p(&page);
  for (int y = 0; y < m.height(); ++y)
    for (int x = 0; x < m.width(); ++x)
      if (m.get(x, y))
        p.fillRect(at.x() + x, at.y() + y, 1, 1, Qt::black);
}

// A letter page at 300 dpi with text and four barcodes, one of them a QR
// code whose value has four lines.
QImage BarcodePage() {
  QImage page(2550, 3300, QImage::Format_RGB32);
  page.fill(Qt::white);
  DrawBenchText(page, 10, 250, 95);
  DrawBarcode(page, QPoint(200, 1400), ZXing::BarcodeFormat::QRCode, "Zorvi Quillon\nline two\nline three\nline four",
              500, 500);
  DrawBarcode(page, QPoint(1100, 1500), ZXing::BarcodeFormat::Code128, "ZQ-0001-2024", 1000, 250);
  DrawBarcode(page, QPoint(200, 2300), ZXing::BarcodeFormat::EAN13, "4006381333931", 700, 300);
  DrawBarcode(page, QPoint(1300, 2200), ZXing::BarcodeFormat::DataMatrix, "Data Matrix 42", 400, 400);
  return page;
}

// A scanned page as a scanner gives it: the barcode page with more text and
// a printed photograph (a halftone screen), on slightly uneven, grainy
// paper, turned by half a degree, softened, kept as JPEG.
QImage ScannedBarcodePage() {
  QImage clean = BarcodePage();
  DrawBenchText(clean, 6, 2750, 95);
  {
    QPainter p(&clean);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    const QRect photo(1500, 2650, 900, 550);
    for (int y = photo.top(); y < photo.bottom(); y += 8)
      for (int x = photo.left(); x < photo.right(); x += 8) {
        // A dot as large as the picture is dark there.
        const double dark = 0.5 + 0.45 * std::sin(x / 97.0) * std::cos(y / 61.0);
        const double r = 4.6 * std::sqrt(dark);
        p.drawEllipse(QPointF(x + 4, y + 4), r, r);
      }
  }
  QImage page(clean.size(), QImage::Format_RGB32);
  page.fill(QColor(238, 234, 222));
  {
    QPainter p(&page);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.translate(page.width() / 2.0, page.height() / 2.0);
    p.rotate(0.5);
    p.translate(-page.width() / 2.0, -page.height() / 2.0);
    p.setCompositionMode(QPainter::CompositionMode_Multiply);
    p.drawImage(0, 0, clean);
  }
  // Grain and shading, then a 3 x 3 softening.
  quint32 seed = 12345;
  for (int y = 0; y < page.height(); ++y) {
    auto *line = reinterpret_cast<QRgb *>(page.scanLine(y));
    const int shade = -12 * y / page.height();
    for (int x = 0; x < page.width(); ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int grain = int(seed >> 27) - 16 + shade;
      line[x] = qRgb(qBound(0, qRed(line[x]) + grain, 255), qBound(0, qGreen(line[x]) + grain, 255),
                     qBound(0, qBlue(line[x]) + grain, 255));
    }
  }
  QImage soft = page.copy();
  for (int y = 1; y + 1 < page.height(); ++y) {
    const QRgb *rows[3] = {reinterpret_cast<const QRgb *>(page.constScanLine(y - 1)),
                           reinterpret_cast<const QRgb *>(page.constScanLine(y)),
                           reinterpret_cast<const QRgb *>(page.constScanLine(y + 1))};
    auto *out = reinterpret_cast<QRgb *>(soft.scanLine(y));
    for (int x = 1; x + 1 < page.width(); ++x) {
      int r = 0, g = 0, b = 0;
      for (const QRgb *row : rows)
        for (int dx = -1; dx <= 1; ++dx) {
          r += qRed(row[x + dx]);
          g += qGreen(row[x + dx]);
          b += qBlue(row[x + dx]);
        }
      out[x] = qRgb(r / 9, g / 9, b / 9);
    }
  }
  return soft;
}

// ZXing-cpp's view of a picture's pixels as they lie (the formats the desk
// holds its bitmaps in; others are converted first, outside the timing).
ZXing::ImageView HeldPixels(const QImage &image) {
  ZXing::ImageFormat format = ZXing::ImageFormat::None;
  switch (image.format()) {
  case QImage::Format_Grayscale8:
    format = ZXing::ImageFormat::Lum;
    break;
  case QImage::Format_RGB888:
    format = ZXing::ImageFormat::RGB;
    break;
  case QImage::Format_RGB32:
  case QImage::Format_ARGB32:
    format = ZXing::ImageFormat::BGRX; // 0xAARRGGBB words on this machine
    break;
  case QImage::Format_RGBX8888:
  case QImage::Format_RGBA8888:
    format = ZXing::ImageFormat::RGBX;
    break;
  default:
    break;
  }
  return ZXing::ImageView(image.constBits(), image.width(), image.height(), format, int(image.bytesPerLine()));
}

int RunBarcodes(TfraModuleOCR &fra, TPrintingDialogs &dialogs) {
  QElapsedTimer t;
  t.start();
  fra.BarcodeDetect();
  const double coldMs = Ms(t);
  const QString first = fra.rveResult->toPlainText();
  if (dialogs.Count > 0)
    return 1;

  // ZXing-cpp itself, with the plug-in's hints, on the same area of the same
  // picture: the pixels as the desk holds them (ZXing-cpp takes their
  // luminance itself), and, for comparison, a grey copy made beforehand
  // (its making not timed).
  QImage held = fra.imgRaw->IEBitmap()->Image();
  if (HeldPixels(held).format() == ZXing::ImageFormat::None)
    held = held.convertToFormat(QImage::Format_RGB32);
  QImage grey = held.convertToFormat(QImage::Format_Grayscale8);
  QRect area(QPoint(0, 0), held.size());
  if (fra.imgRaw->Selected()) {
    fra.imgRaw->SetSelectionBase(iesbBitmap);
    area = QRect(QPoint(fra.imgRaw->SelX1(), fra.imgRaw->SelY1()), QPoint(fra.imgRaw->SelX2(), fra.imgRaw->SelY2()))
               .intersected(area);
  }
  ZXing::DecodeHints hints;
  hints.setFormats(ZXing::BarcodeFormat::Any);
  hints.setTryHarder(true);
  hints.setTryRotate(true);
  hints.setTryDownscale(false);
  auto direct = [&](const QImage &image) {
    return ZXing::ReadBarcodes(HeldPixels(image).cropped(area.x(), area.y(), area.width(), area.height()), hints);
  };

  // Best of nine each, the three taken in turn so that they meet the same
  // load of the machine.
  double deskMs = 1e300, directMs = 1e300, greyMs = 1e300;
  double stallMs = 0;
  ZXing::Results read, readGrey;
  for (int i = 0; i < 9; ++i) {
    fra.rveResult->ClearAll();
    t.restart();
    stallMs = std::max(stallMs, LongestStallMs([&] { fra.BarcodeDetect(); }));
    deskMs = std::min(deskMs, Ms(t));
    t.restart();
    read = direct(held);
    directMs = std::min(directMs, Ms(t));
    t.restart();
    readGrey = direct(grey);
    greyMs = std::min(greyMs, Ms(t));
  }
  const QString again = fra.rveResult->toPlainText();
  if (dialogs.Count > 0)
    return 1;

  std::printf("---- barcodes\n%s----\n", qPrintable(first));
  std::printf("image              %d x %d (%s)\n", held.width(), held.height(),
              held.format() == QImage::Format_Grayscale8 ? "grey" : "colour");
  std::printf("BarcodeDetect      %9.1f ms first (helper started), %.1f ms again (best of 9)\n", coldMs, deskMs);
  std::printf("GUI stall          %9.1f ms longest while BarcodeDetect ran\n", stallMs);
  std::printf("ZXing-cpp direct   %9.1f ms best of 9 on the pixels as held (%d barcodes found; the desk found %d%s)\n",
              directMs, int(read.size()), CountBarcodes(first),
              CountBarcodes(first) == CountBarcodes(again) ? "" : ", then a different number");
  std::printf("ZXing-cpp on grey  %9.1f ms best of 9 on a grey copy made beforehand (%d barcodes)\n", greyMs,
              int(readGrey.size()));
  std::printf("ratio desk / ZXing %9.2f (target <= 1.30); %.2f against the grey copy\n", deskMs / directMs,
              deskMs / greyMs);
  std::printf("peak memory        %9.1f MB (program and helper)\n", PeakRssMb() + HelpersPeakMb());
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  setenv("OMP_THREAD_LIMIT", "1", 1);
  // ZXing-cpp called here at its best: with the allocator's thresholds
  // fixed, its working memory stays mapped between readings whatever this
  // process allocated before (left to adapt, glibc's thresholds follow the
  // process's history, and the reference time with them: 36 to 65 ms for
  // the same page). The helper, a process of its own, needs no such help.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  TApplication app(argc, argv);
  const QStringList args = TApplication::arguments().mid(1);

  QTemporaryDir temp;
  QString imagePath;
  QString languageName = QStringLiteral("English");
  QRect rect;
  bool barcodes = false;
  if (args == QStringList{QStringLiteral("--barcode")} ||
      args == QStringList({QStringLiteral("--barcode"), QStringLiteral("--scan")})) {
    const bool scan = args.size() == 2;
    imagePath = temp.filePath(scan ? QStringLiteral("barcodes.jpg") : QStringLiteral("barcodes.png"));
    WriteImageFile(imagePath, scan ? ScannedBarcodePage() : BarcodePage(), 300, 300);
    barcodes = true;
    std::printf("test page: %s (2550 x 3300, 300 dpi, four barcodes%s)\n", qPrintable(imagePath),
                scan ? ", as scanned: grainy paper, turned, softened, JPEG" : "");
  } else if (args.isEmpty() || args == QStringList{QStringLiteral("--grey")}) {
    const bool grey = !args.isEmpty();
    imagePath = temp.filePath(QStringLiteral("page.png"));
    WriteImageFile(imagePath, TestPage(grey), 300, 300);
    std::printf("test page: %s (2550 x 3300, 300 dpi, %s)\n", qPrintable(imagePath), grey ? "grey" : "colour");
  } else {
    if (args.size() < 2) {
      Usage();
      return 2;
    }
    imagePath = args[0];
    languageName = args[1];
    for (int i = 2; i < args.size(); ++i) {
      if (args[i] == QLatin1String("--barcode")) {
        barcodes = true;
      } else if (args[i] == QLatin1String("--rect") && i + 1 < args.size()) {
        const QStringList v = args[++i].split(u',');
        if (v.size() != 4) {
          Usage();
          return 2;
        }
        rect = QRect(v[0].toInt(), v[1].toInt(), v[2].toInt(), v[3].toInt());
      } else {
        Usage();
        return 2;
      }
    }
  }

  auto *dialogs = new TPrintingDialogs;
  SetDialogs(std::unique_ptr<TDialogs>(dialogs));
  const QString appDir = MakeProgramFolder(temp.path());
  auto dm = std::make_unique<TdmMain>(nullptr, appDir);
  SetVisionSearchFolder(QStringLiteral(ZQ_APP_DIR));
  auto fra = std::make_unique<TfraModuleOCR>();
  fraModuleOCR = fra.get();
  fra->InitModuleLayout();
  fra->resize(980, 600);
  fra->show();
  TApplication::processEvents();

  int rc = 0;
  RunGuarded([&] {
    const int idx = fra->AddImageFile(QFileInfo(imagePath).absoluteFilePath());
    fra->ShowImage(idx);
    if (dialogs->Count > 0) {
      rc = 1;
      return;
    }
    if (rect.isValid())
      fra->imgRaw->Select(rect);
    if (barcodes) {
      rc = RunBarcodes(*fra, *dialogs);
      return;
    }
    const QString folder = TrainedDataFolder(appDir);
    const QString code = LanguageCode(languageName);
    const double rssBefore = RssMb();

    // The preparation alone, then two recognitions: the first of a run also
    // loads the plug-in and checks the trained data once.
    QElapsedTimer t;
    t.start();
    fra->SetOCRImage();
    const double prepMs = Ms(t);
    t.restart();
    fra->OCR(languageName);
    const double firstMs = Ms(t);
    if (dialogs->Count > 0) {
      rc = 1;
      return;
    }
    const QString text = fra->rveResult->toPlainText();
    fra->rveResult->ClearAll();
    t.restart();
    const double stallMs = LongestStallMs([&] { fra->OCR(languageName); });
    const double againMs = Ms(t);
    const double peakMb = PeakRssMb() + HelpersPeakMb();
    const QImage enlarged = fra->imgTemp->IEBitmap()->Image();
    const double bitmapMb = double(enlarged.sizeInBytes()) / (1024.0 * 1024.0);
    const QSize source = fra->imgRaw->Selected()
                             ? fra->imgRaw->SelectedRect().size()
                             : QSize(fra->imgRaw->IEBitmap()->Width(), fra->imgRaw->IEBitmap()->Height());
    const double enlargeMs = enlarged.size() != source ? EnlargementMs(*fra->imgRaw, fra->GetDPI()) : 0.0;

    // The command-line program on the same enlarged picture.
    const QString png = temp.filePath(QStringLiteral("enlarged.png"));
    WriteImageFile(png, enlarged);
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    cli.setProcessEnvironment(env);
    t.restart();
    cli.start(QStringLiteral("tesseract"),
              {png, QStringLiteral("stdout"), QStringLiteral("-l"), code, QStringLiteral("--tessdata-dir"), folder,
               QStringLiteral("--oem"), QStringLiteral("3"), QStringLiteral("--psm"), QStringLiteral("3")});
    if (!cli.waitForFinished(1800000) || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
      std::fprintf(stderr, "tesseract failed: %s\n", cli.readAllStandardError().constData());
      rc = 1;
      return;
    }
    const double cliMs = Ms(t);
    const QString cliText = QString::fromUtf8(cli.readAllStandardOutput());
    auto norm = [](QString s) { return s.replace(QStringLiteral("\f"), QString()).simplified(); };

    std::printf("---- text (%s, %s)\n%s----\n", qPrintable(languageName), qPrintable(code), qPrintable(text));
    std::printf("image              %d x %d, %d dpi; recognised at %d x %d\n", source.width(), source.height(),
                fra->GetDPI(), enlarged.width(), enlarged.height());
    std::printf("SetOCRImage        %9.1f ms (the 3x Hermite enlargement alone: %.1f ms)\n", prepMs, enlargeMs);
    std::printf("OCR, first of run  %9.1f ms = preparation + %.1f ms recognition\n", firstMs, firstMs - prepMs);
    std::printf("OCR, again         %9.1f ms = preparation + %.1f ms recognition\n", againMs, againMs - prepMs);
    std::printf("GUI stall          %9.1f ms longest while OCR ran %.1f ms (target <= 100 ms)\n", stallMs, againMs);
    std::printf("tesseract CLI      %9.1f ms (reads the enlarged PNG; same text: %s)\n", cliMs,
                norm(cliText) == norm(text) ? "yes" : "no");
    std::printf("ratio OCR / CLI    %9.2f again, %.2f first of run (target <= 1.10)\n", againMs / cliMs,
                firstMs / cliMs);
    std::printf("enlargement        %9.1f ms (target < 150 ms for a 2550 x 3300 page)\n", enlargeMs);
    std::printf("peak memory        %9.1f MB (program and helper) = %.2f x the enlarged bitmap (%.1f MB); %.2f x above "
                "the %.1f MB "
                "before (target < 4)\n",
                peakMb, peakMb / bitmapMb, bitmapMb, (peakMb - rssBefore) / bitmapMb, rssBefore);
  });
  fra.reset();
  dm.reset();
  return rc;
}
