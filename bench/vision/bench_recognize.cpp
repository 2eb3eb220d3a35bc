// Recognising one picture through the program's recognition path
// (uRecognition.h), without the workspace: read the file, prepare it
// (enlarged when it records less than 900 dpi, 300 when it records none),
// recognise it with the program folder's trained data in a helper process.
// Prints the text, the times of each step, the peak resident memory of this
// process and the helper over the enlarged bitmap's bytes, and the whole
// against the `tesseract` command-line program run on the same enlarged
// picture with the same trained data, measured in this run.
//
//   bench_recognize <image> <language name> [--rect x,y,w,h] [--barcode]
//   bench_recognize            (draws its own test page)

#include "uBenchPage.h"
#include "uImageFile.h"
#include "uLangCodes.h"
#include "uRecognition.h"

#define ZX_USE_UTF8 1
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {

double Ms(const QElapsedTimer &t) { return double(t.nsecsElapsed()) / 1e6; }

long PeakRssKb() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The peak resident memory of the recognition helpers now running.
double HelpersPeakKb() {
  double sum = 0;
  for (qint64 pid : VisionServiceTest::HelperPids()) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
      continue;
    for (const QByteArray &line : f.readAll().split('\n'))
      if (line.startsWith("VmHWM:"))
        sum += line.mid(6).trimmed().split(' ').value(0).toDouble();
  }
  return sum;
}

void DrawBarcode(QImage &page, QPoint at, ZXing::BarcodeFormat format, const std::string &content, int w, int h) {
  ZXing::BitMatrix m = ZXing::MultiFormatWriter(format).setMargin(0).encode(content, w, h);
  QPainter p(&page);
  for (int y = 0; y < m.height(); ++y)
    for (int x = 0; x < m.width(); ++x)
      if (m.get(x, y))
        p.fillRect(at.x() + x, at.y() + y, 1, 1, Qt::black);
}

// Half a letter page at 300 dpi: a paragraph in 12-point type, two barcodes.
QImage TestPage() {
  QImage page(2550, 1650, QImage::Format_RGB32);
  page.fill(Qt::white);
  DrawBenchText(page, 7, 200, 80);
  DrawBarcode(page, QPoint(150, 900), ZXing::BarcodeFormat::QRCode, "https://example.org/quillon", 450, 450);
  DrawBarcode(page, QPoint(900, 1000), ZXing::BarcodeFormat::Code128, "ZQ-0001-2024", 900, 200);
  return page;
}

void Usage() {
  fprintf(stderr, "usage: bench_recognize <image> <language name> [--rect x,y,w,h] [--barcode]\n"
                  "       bench_recognize   (draws its own test page)\n");
}

} // namespace

int main(int argc, char **argv) {
  setenv("OMP_THREAD_LIMIT", "1", 1);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);

  QString imagePath;
  QString languageName = QStringLiteral("English");
  QRect rect;
  bool barcodes = false;
  QTemporaryDir temp;
  if (args.isEmpty()) {
    imagePath = temp.filePath(QStringLiteral("page.png"));
    WriteImageFile(imagePath, TestPage(), 300, 300);
    barcodes = true;
    printf("test page: %s\n", qPrintable(imagePath));
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
        QStringList v = args[++i].split(',');
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

  SetVisionSearchFolder(QStringLiteral(ZQ_APP_DIR));
  const QString folder = TrainedDataFolder(QStringLiteral(ZQ_APP_DIR));
  const QString code = LanguageCode(languageName);
  if (code.isEmpty() || !QFile::exists(TrainedDataFile(folder, code))) {
    fprintf(stderr, "no trained data for \"%s\" in %s\n", qPrintable(languageName), qPrintable(folder));
    return 1;
  }

  try {
    TImageFileInfo info;
    QImage source = ReadImageFile(imagePath, &info);
    int dpi = info.DpiX > 0 ? info.DpiX : 300;
    QImage selection = rect.isValid() ? source.copy(rect) : source;

    QElapsedTimer total;
    total.start();
    QElapsedTimer step;
    step.start();
    QImage prepared = PrepareForRecognition(selection, dpi);
    double enlargeMs = Ms(step);

    // The first recognition of a run starts the helper, which loads the
    // plug-in; the second finds them ready.
    step.restart();
    QString text = RecognizePrepared(prepared, folder, code);
    double firstMs = Ms(step);
    double totalMs = Ms(total);
    step.restart();
    RecognizePrepared(prepared, folder, code);
    double againMs = Ms(step);
    double peakKb = double(PeakRssKb()) + HelpersPeakKb();

    printf("---- text (%s, %s)\n%s----\n", qPrintable(languageName), qPrintable(code), qPrintable(text));
    printf("image            %d x %d, %d dpi%s; recognised at %d x %d\n", selection.width(), selection.height(), dpi,
           info.DpiX > 0 ? "" : " (none recorded)", prepared.width(), prepared.height());
    printf("enlargement      %9.1f ms\n", enlargeMs);
    printf("recognition      %9.1f ms first of run (helper started), %.1f ms again\n", firstMs, againMs);
    printf("total            %9.1f ms\n", totalMs);
    double bitmapKb = double(prepared.sizeInBytes()) / 1024.0;
    printf("peak memory      %9.1f MB (this process and the helper) = %.2f x the enlarged bitmap (%.1f MB)\n",
           peakKb / 1024.0, peakKb / bitmapKb, bitmapKb / 1024.0);

    // The command-line program on the same enlarged picture.
    QString png = temp.filePath(QStringLiteral("enlarged.png"));
    WriteImageFile(png, prepared);
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    cli.setProcessEnvironment(env);
    QElapsedTimer cliTimer;
    cliTimer.start();
    cli.start(QStringLiteral("tesseract"),
              {png, QStringLiteral("stdout"), QStringLiteral("-l"), code, QStringLiteral("--tessdata-dir"), folder,
               QStringLiteral("--oem"), QStringLiteral("3")});
    if (!cli.waitForFinished(600000) || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
      fprintf(stderr, "tesseract failed: %s\n", cli.readAllStandardError().constData());
      return 1;
    }
    double cliMs = Ms(cliTimer);
    QString cliText = QString::fromUtf8(cli.readAllStandardOutput());
    printf("tesseract CLI    %9.1f ms (same text: %s)\n", cliMs,
           cliText.simplified() == text.simplified() ? "yes" : "no");
    printf("ratio total / tesseract CLI: %.2f (again: %.2f)\n", totalMs / cliMs, (enlargeMs + againMs) / cliMs);

    if (barcodes) {
      // Barcodes are read from the picture as it is, not enlarged.
      step.restart();
      const QList<TVisionBarcodeRead> list =
          VisionReadBarcodes(source, rect.isValid() ? ToVisionRect(rect) : TVisionRect{0, 0, 0, 0});
      double scanMs = Ms(step);
      printf("---- barcodes\n");
      for (int i = 0; i < list.size(); ++i)
        printf("%d. type:%s;value:%s\n", i + 1, qPrintable(list[i].Type), qPrintable(list[i].Value));
      printf("----\nbarcode reading  %9.1f ms\n", scanMs);
    }
  } catch (const std::exception &e) {
    fprintf(stderr, "%s\n", qPrintable(VisionFailureText(e)));
    fprintf(stderr, "(%s)\n", qPrintable(ExceptionMessage(e)));
    return 1;
  }
  return 0;
}
