// Writes the pages of a PDF document as image files at 96 dpi, once through
// TPDFDocument::SaveAsImage and once through pdftoppm, in each format, like
// for like: BMP against PPM (the two uncompressed 24-bit formats), JPEG
// against JPEG at the same quality, uncompressed TIFF against uncompressed
// TIFF. It prints both times and their ratio, checks that both wrote the same
// pixels, and then the peak memory of writing six pages of 6000 by 6000 points
// as BMP (against pdftoppm's for the same pages as PPM).
//
//   bench_pdfimport [file.pdf] [range] [format]
//
// Without a file it takes the Debian reference manual when the package
// debian-reference-en is installed, else it makes a 100-page document of text
// and a picture per page. The range defaults to the whole document ("1-N");
// the format is bmp, jpeg or tiff (default: all three). Each time is the best
// of BENCH_RUNS runs (default 3).

#include "uPDFDocument.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImageReader>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRadialGradient>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <sys/resource.h>

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

bool makeDocument(const QString &fileName, int pages, const QPageSize &size = QPageSize(QPageSize::A4)) {
  QPdfWriter writer(fileName);
  writer.setResolution(72);
  writer.setPageSize(size);
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
  QStringList PdftoppmOptions; // the same kind of file
};
const TFormat Formats[] = {
    {"bmp", itBitmap, {}}, // pdftoppm's default: PPM
    {"jpeg", itJPEG, {"-jpeg", "-jpegopt", "quality=90"}},
    {"tiff", itSinglePageTIFF, {"-tiff", "-tiffcompression", "none"}},
};

QStringList filesIn(const QString &folder) { return QDir(folder).entryList(QDir::Files, QDir::Name); }

QImage readPicture(const QString &fileName) {
  QImageReader reader(fileName);
  reader.setDecideFormatFromContent(true);
  return reader.read().convertToFormat(QImage::Format_RGB32);
}

// How many pixels of two pictures differ, and by how much at most; -1 when
// their sizes differ or one cannot be read.
std::pair<qint64, int> difference(const QImage &a, const QImage &b) {
  if (a.isNull() || a.size() != b.size())
    return {-1, 0};
  qint64 n = 0;
  int most = 0;
  for (int y = 0; y < a.height(); ++y) {
    const auto *p = reinterpret_cast<const QRgb *>(a.constScanLine(y));
    const auto *q = reinterpret_cast<const QRgb *>(b.constScanLine(y));
    for (int x = 0; x < a.width(); ++x)
      if (p[x] != q[x]) {
        ++n;
        most = std::max({most, std::abs(qRed(p[x]) - qRed(q[x])), std::abs(qGreen(p[x]) - qGreen(q[x])),
                         std::abs(qBlue(p[x]) - qBlue(q[x]))});
      }
  }
  return {n, most};
}

// pdftoppm names its pages with zero-padded numbers; the n-th file in name
// order is the n-th page of the range. Three pages are compared: the first,
// the middle and the last.
QString samePixels(const QString &ours, const QString &theirs, int first, int last) {
  const QStringList pdftoppm = filesIn(theirs);
  const int count = last - first + 1;
  qint64 differing = 0;
  int most = 0;
  int compared = 0;
  for (int i : {0, count / 2, count - 1}) {
    const QStringList mine = QDir(ours).entryList({QStringLiteral("IMG_%1.*").arg(first + i)}, QDir::Files);
    if (mine.isEmpty() || i >= pdftoppm.size())
      return QStringLiteral("pages missing");
    const auto [n, m] =
        difference(readPicture(ours + u'/' + mine.first()), readPicture(theirs + u'/' + pdftoppm.at(i)));
    if (n < 0)
      return QStringLiteral("pictures of different sizes");
    differing += n;
    most = std::max(most, m);
    ++compared;
  }
  return differing == 0 ? QStringLiteral("same pixels (%1 pages compared)").arg(compared)
                        : QStringLiteral("%1 pixels differ, by %2 at most").arg(differing).arg(most);
}

// The system's load averages (1, 5 and 15 minutes), as uptime tells them:
// the figures are only worth as much as the machine was quiet.
QString loadAverage() {
  QFile load(QStringLiteral("/proc/loadavg"));
  if (!load.open(QIODevice::ReadOnly))
    return QStringLiteral("unknown");
  const QList<QByteArray> fields = load.read(256).split(' ');
  return fields.size() >= 3 ? QString::fromLatin1(fields.mid(0, 3).join(' ')) : QStringLiteral("unknown");
}

// Processor time of the whole process so far (all threads, user and system).
double cpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

void emptyFolder(const QString &folder) {
  QDir(folder).removeRecursively();
  QDir().mkpath(folder);
}

// Runs pdftoppm; with GNU time at hand, *peakMb takes its peak memory.
bool pdftoppm(const QStringList &args, double *peakMb = nullptr) {
  const QString time = QStringLiteral("/usr/bin/time");
  if (peakMb && QFile::exists(time)) {
    QProcess p;
    p.start(time, QStringList{QStringLiteral("-f"), QStringLiteral("peak %M")} +
                      QStringList{QStringLiteral("pdftoppm")} + args);
    p.waitForFinished(-1);
    const QList<QByteArray> lines = p.readAllStandardError().trimmed().split('\n');
    if (!lines.isEmpty() && lines.last().startsWith("peak "))
      *peakMb = lines.last().mid(5).toDouble() / 1024;
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
  }
  return QProcess::execute(QStringLiteral("pdftoppm"), args) == 0;
}

// Peak resident memory since the last reset, in MB.
double peakMb() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly))
    return 0;
  for (const QByteArray &line : status.readAll().split('\n'))
    if (line.startsWith("VmHWM:"))
      return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
  return 0;
}

void resetPeak() {
  QFile clear(QStringLiteral("/proc/self/clear_refs"));
  if (clear.open(QIODevice::WriteOnly))
    clear.write("5");
}

double currentMb() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly))
    return 0;
  for (const QByteArray &line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:"))
      return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
  return 0;
}

// Six pages of 6000 by 6000 points as BMP: the peak memory of SaveAsImage,
// and of pdftoppm writing them as PPM.
int bigPages(const QTemporaryDir &tmp) {
  const QString doc = tmp.filePath(QStringLiteral("big.pdf"));
  if (!makeDocument(doc, 6, QPageSize(QSize(6000, 6000), QStringLiteral("big"), QPageSize::ExactMatch))) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(doc));
    return 1;
  }
  const QString ours = tmp.filePath(QStringLiteral("big-ours"));
  const QString theirs = tmp.filePath(QStringLiteral("big-pdftoppm"));
  QDir().mkpath(ours);
  QDir().mkpath(theirs);
  TPDFDocument document;
  QElapsedTimer timer;
  double before = 0, peak = 0, oursMs = 0;
  try {
    document.LoadFromFile(doc);
    before = currentMb();
    resetPeak();
    timer.start();
    document.SaveAsImage(QStringLiteral("1-6"), itBitmap, ours, QStringLiteral("IMG"));
    oursMs = timer.nsecsElapsed() / 1e6;
    peak = peakMb();
  } catch (const Exception &e) {
    std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
    return 1;
  }
  timer.start();
  double theirsPeak = 0;
  const bool ran =
      pdftoppm({QStringLiteral("-r"), QStringLiteral("96"), doc, theirs + QStringLiteral("/page")}, &theirsPeak);
  const double theirsMs = timer.nsecsElapsed() / 1e6;
  if (!ran) {
    std::fprintf(stderr, "pdftoppm failed\n");
    return 1;
  }
  const QSize px = document.PagePixelSize(1);
  std::printf("\nsix pages of 6000 x 6000 pt (%d x %d pixels) as BMP, %.0f MB budget: %.0f ms, pdftoppm (PPM) %.0f ms, "
              "ratio %.2fx\n",
              px.width(), px.height(), DefaultPageMemory / 1048576.0, oursMs, theirsMs, theirsMs / oursMs);
  std::printf("peak memory: %.0f MB (%.0f MB before the pages; target: within 1200 MB); pdftoppm, one page at a "
              "time on one thread: %.0f MB; ratio %.2f\n",
              peak, before, theirsPeak, theirsPeak > 0 ? peak / theirsPeak : 0.0);
  std::printf("%s\n", qPrintable(samePixels(ours, theirs, 1, 6)));
  return peak <= 1200 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[]) {
  QGuiApplication app(argc, argv);
  QImageReader::setAllocationLimit(2048); // the pictures compared
  const QStringList args = app.arguments().mid(1);
  QTemporaryDir tmp;
  if (!tmp.isValid()) {
    std::fprintf(stderr, "no temporary folder\n");
    return 1;
  }
  QString fileName = args.value(0);
  const QString reference = QStringLiteral("/usr/share/debian-reference/debian-reference.en.pdf");
  if (fileName.isEmpty() && QFile::exists(reference))
    fileName = reference;
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
  std::printf("document %s, %d pages, range %s, %d cores, best of %d runs, load average %s\n", qPrintable(fileName),
              document.PageCount(), qPrintable(range), QThread::idealThreadCount(), runs, qPrintable(loadAverage()));
  std::printf("%-6s %14s %14s %22s %8s   %s\n", "format", "SaveAsImage", "(1 thread)", "pdftoppm", "ratio", "pixels");
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
    double oursCpuMs = 0;
    for (int run = 0; run < runs; ++run) {
      // Into empty folders, as after a Yes to the import's question.
      for (int threads : {0, 1}) {
        TImageProperties props;
        props.Threads = threads;
        emptyFolder(ours);
        const double cpuBefore = cpuMs();
        QElapsedTimer timer;
        timer.start();
        try {
          document.SaveAsImage(range, format.Type, ours, QStringLiteral("IMG"), &props);
        } catch (const Exception &e) {
          std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
          return 1;
        }
        double &best = threads == 0 ? oursMs : singleMs;
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        if (threads == 0 && ms < best)
          oursCpuMs = cpuMs() - cpuBefore;
        best = qMin(best, ms);
      }

      emptyFolder(theirs);
      QElapsedTimer timer;
      timer.start();
      const bool ran = pdftoppm(QStringList{QStringLiteral("-r"), QStringLiteral("96")} + format.PdftoppmOptions +
                                QStringList{QStringLiteral("-f"), first, QStringLiteral("-l"), last, fileName,
                                            theirs + QStringLiteral("/page")});
      theirsMs = qMin(theirsMs, static_cast<double>(timer.nsecsElapsed()) / 1e6);
      if (!ran) {
        std::fprintf(stderr, "pdftoppm failed\n");
        return 1;
      }
    }
    if (filesIn(ours).size() != filesIn(theirs).size()) {
      std::fprintf(stderr, "%s: %d files written, pdftoppm wrote %d\n", format.Name, int(filesIn(ours).size()),
                   int(filesIn(theirs).size()));
      rc = 1;
    }
    const QString pdftoppmName =
        format.Type == itBitmap ? QStringLiteral("(ppm)") : QStringLiteral("(%1)").arg(format.Name);
    std::printf("%-6s %11.0f ms %11.0f ms %11.0f ms %-7s %7.2fx   %s\n", format.Name, oursMs, singleMs, theirsMs,
                qPrintable(pdftoppmName), theirsMs / oursMs,
                qPrintable(samePixels(ours, theirs, first.toInt(), last.toInt())));
    std::printf("       processor time of the best run on all threads: %.0f ms\n", oursCpuMs);
    std::fflush(stdout);
    QDir(ours).removeRecursively();
    QDir(theirs).removeRecursively();
  }
  if (only.isEmpty() || only == QLatin1String("big"))
    rc |= bigPages(tmp);
  std::printf("load average at the end: %s\n", qPrintable(loadAverage()));
  return rc;
}
