// Writes the pages of a PDF document as image files at 96 dpi, once through
// TPDFDocument::SaveAsImage and once through pdftoppm, in each format, and
// prints both times and their ratio.
//
//   bench_pdfimport [file.pdf] [range] [format]
//
// Without a file it makes a 100-page document of text and a picture per
// page. The range defaults to the whole document ("1-N"); the format is bmp,
// jpeg or tiff (default: all three). pdftoppm writes the comparable format
// (-png for bmp, -jpeg, -tiff). Each figure is the best of BENCH_RUNS runs
// (default 3).

#include "uPDFDocument.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFont>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRadialGradient>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

namespace {

// A photograph-like picture: smooth shading with a few shapes.
QImage picture(int seed) {
  QImage image(400, 300, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  QRadialGradient sky(QPointF(120 + seed % 160, 90), 320);
  sky.setColorAt(0, QColor(250, 230, 180));
  sky.setColorAt(1, QColor(40, 90, 160));
  painter.fillRect(image.rect(), sky);
  painter.setPen(Qt::NoPen);
  for (int i = 0; i < 6; ++i) {
    painter.setBrush(QColor::fromHsv((seed * 37 + i * 60) % 360, 160, 200));
    painter.drawEllipse(QPointF(40 + i * 60, 200 + (seed * (i + 3)) % 60), 30, 22);
  }
  return image;
}

bool makeDocument(const QString &fileName, int pages) {
  QPdfWriter writer(fileName);
  writer.setResolution(72);
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  QPainter painter;
  if (!painter.begin(&writer))
    return false;
  QFont title(QStringLiteral("Liberation Serif"));
  title.setPixelSize(22);
  title.setBold(true);
  QFont body(QStringLiteral("Liberation Sans"));
  body.setPixelSize(10);
  const QString words = QStringLiteral("The quick brown fox jumps over the lazy dog while the recognition engine reads "
                                       "every line of this page, numbers 0123456789 and signs ,.;:!? included. ");
  for (int page = 1; page <= pages; ++page) {
    if (page > 1 && !writer.newPage())
      return false;
    painter.setFont(title);
    painter.drawText(QRect(50, 40, 495, 30), Qt::AlignLeft, QStringLiteral("Chapter %1").arg(page));
    painter.drawImage(QRect(50, 80, 240, 180), picture(page));
    painter.setFont(body);
    QString text;
    for (int i = 0; i < 40; ++i)
      text += words;
    painter.drawText(QRect(300, 80, 245, 180), Qt::TextWordWrap, text.left(900));
    painter.drawText(QRect(50, 280, 495, 520), Qt::TextWordWrap, text);
  }
  return painter.end();
}

struct TFormat {
  const char *Name;
  TImageType Type;
  const char *PdftoppmOption;
};
const TFormat Formats[] = {
    {"bmp", itBitmap, "-png"},
    {"jpeg", itJPEG, "-jpeg"},
    {"tiff", itSinglePageTIFF, "-tiff"},
};

int filesIn(const QString &folder) { return static_cast<int>(QDir(folder).entryList(QDir::Files).size()); }

} // namespace

int main(int argc, char *argv[]) {
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  QTemporaryDir tmp;
  if (!tmp.isValid()) {
    std::fprintf(stderr, "no temporary folder\n");
    return 1;
  }
  QString fileName = args.value(0);
  if (fileName.isEmpty()) {
    fileName = tmp.filePath(QStringLiteral("bench.pdf"));
    if (!makeDocument(fileName, 100)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(fileName));
      return 1;
    }
  }
  TPDFDocument document;
  try {
    document.LoadFromFile(fileName);
  } catch (const Exception &e) {
    std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
    return 1;
  }
  QString range = args.value(1);
  if (range.isEmpty())
    range = QStringLiteral("1-%1").arg(document.PageCount());
  const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^(\\d+)(?:-(\\d+))?$")).match(range);
  if (!m.hasMatch()) {
    std::fprintf(stderr, "range: first-last\n");
    return 1;
  }
  const QString first = m.captured(1);
  const QString last = m.hasCaptured(2) ? m.captured(2) : first;
  const QString only = args.value(2);

  // Each figure is the best of several runs, ours and pdftoppm's taking
  // turns, so that other load on the machine touches both alike.
  const int runs =
      qMax(1, qEnvironmentVariableIntValue("BENCH_RUNS") > 0 ? qEnvironmentVariableIntValue("BENCH_RUNS") : 3);
  std::printf("document %s, %d pages, range %s, %d cores, best of %d runs\n", qPrintable(fileName),
              document.PageCount(), qPrintable(range), QThread::idealThreadCount(), runs);
  std::printf("%-6s %14s %14s %14s %8s\n", "format", "SaveAsImage", "(1 thread)", "pdftoppm", "ratio");
  int rc = 0;
  for (const TFormat &format : Formats) {
    if (!only.isEmpty() && only != QLatin1String(format.Name))
      continue;
    const QString ours = tmp.filePath(QStringLiteral("ours-%1").arg(format.Name));
    const QString theirs = tmp.filePath(QStringLiteral("pdftoppm-%1").arg(format.Name));
    QDir().mkpath(ours);
    QDir().mkpath(theirs);
    double oursMs = 1e300;
    double singleMs = 1e300;
    double theirsMs = 1e300;
    for (int run = 0; run < runs; ++run) {
      for (int threads : {0, 1}) {
        TImageProperties props;
        props.Threads = threads;
        QElapsedTimer timer;
        timer.start();
        try {
          document.SaveAsImage(range, format.Type, ours, QStringLiteral("IMG"), &props);
        } catch (const Exception &e) {
          std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
          return 1;
        }
        double &best = threads == 0 ? oursMs : singleMs;
        best = qMin(best, static_cast<double>(timer.nsecsElapsed()) / 1e6);
      }

      QElapsedTimer timer;
      timer.start();
      const int exit = QProcess::execute(QStringLiteral("pdftoppm"),
                                         {QStringLiteral("-r"), QStringLiteral("96"),
                                          QString::fromLatin1(format.PdftoppmOption), QStringLiteral("-f"), first,
                                          QStringLiteral("-l"), last, fileName, theirs + QStringLiteral("/page")});
      theirsMs = qMin(theirsMs, static_cast<double>(timer.nsecsElapsed()) / 1e6);
      if (exit != 0) {
        std::fprintf(stderr, "pdftoppm failed (%d)\n", exit);
        return 1;
      }
    }
    if (filesIn(ours) != filesIn(theirs)) {
      std::fprintf(stderr, "%s: %d files written, pdftoppm wrote %d\n", format.Name, filesIn(ours), filesIn(theirs));
      rc = 1;
    }
    std::printf("%-6s %11.0f ms %11.0f ms %11.0f ms %7.2fx\n", format.Name, oursMs, singleMs, theirsMs,
                theirsMs / oursMs);
    std::fflush(stdout);
  }
  return rc;
}
