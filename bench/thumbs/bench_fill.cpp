// Filling the thumbnail list from a folder of 10,000 page pictures (1200 x
// 1600 JPEG) and scrolling through it from end to end in a 980 x 660 view:
//   - how long until FillFromDirectory returns, until the first image is read
//     in full (as the workspace does when it shows entry 0), and until every
//     thumbnail visible at the top is drawn;
//   - then the view jumps a screen at a time from the top to the bottom, and
//     then to random places: how long until every visible thumbnail is drawn
//     after each jump (target: within 1 s), and how far resident memory rises
//     above its value after the fill (target: at most 150 MB).
// The times are printed with their ratio to a reference measured in the same
// run: the visible thumbnails of one screen decoded one after the other on
// one thread with ReadThumbnail.
//
// The folder is made once in the temporary directory and reused by later
// runs: 100 distinct pages, each linked under 100 names (a link costs its
// decoding like a file of its own, and the folder takes 15 MB instead of
// 1.5 GB).

#include "uImageFile.h"
#include "uThumbListView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QtConcurrent>
#include <algorithm>
#include <cstdio>
#include <numeric>
#include <unistd.h>

namespace {

constexpr int ImageCount = 10000;
constexpr int Distinct = 100;
constexpr int RandomJumps = 40;
const QSize PageSize(1200, 1600);
const QSize ViewSize(980, 660);

// A page of text-like lines, so that decoding costs what a scanned page costs.
QImage makePage(int n) {
  QImage page(PageSize, QImage::Format_RGB32);
  page.fill(Qt::white);
  QPainter p(&page);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(22);
  p.setFont(font);
  p.setPen(Qt::black);
  for (int line = 0; line < 52; ++line)
    p.drawText(80, 120 + line * 27,
               QStringLiteral("%1 The quick brown fox jumps over the lazy dog, line %2 of page %3.")
                   .arg(line % 7 == 0 ? QStringLiteral("§") : QString())
                   .arg(line + 1)
                   .arg(n));
  font.setPixelSize(120);
  p.setFont(font);
  p.setPen(QColor::fromHsv((n * 37) % 360, 200, 200));
  p.drawText(QRect(0, 0, PageSize.width(), 110), Qt::AlignCenter, QString::number(n));
  return page;
}

QString prepareFolder() {
  const QString dir = QDir::temp().filePath(QStringLiteral("zq-bench-thumbs-%1").arg(ImageCount));
  const QString done = dir + QStringLiteral("/.complete");
  if (QFile::exists(done))
    return dir;
  std::printf("making %d pictures in %s ...\n", ImageCount, qPrintable(dir));
  std::fflush(stdout);
  QDir().mkpath(dir);
  const QString sources = dir + QStringLiteral("/.pages");
  QDir().mkpath(sources);
  QList<int> numbers(Distinct);
  std::iota(numbers.begin(), numbers.end(), 1);
  QtConcurrent::blockingMap(numbers,
                            [&](int n) { makePage(n).save(sources + QStringLiteral("/%1.jpg").arg(n), "JPEG", 90); });
  for (int i = 1; i <= ImageCount; ++i) {
    const QString source = sources + QStringLiteral("/%1.jpg").arg((i - 1) % Distinct + 1);
    const QString name = dir + QStringLiteral("/IMG_%1.jpg").arg(i);
    QFile::remove(name);
    if (::link(QFile::encodeName(source).constData(), QFile::encodeName(name).constData()) != 0)
      QFile::copy(source, name);
  }
  QFile marker(done);
  marker.open(QIODevice::WriteOnly);
  return dir;
}

double residentMb() {
  QFile statm(QStringLiteral("/proc/self/statm"));
  if (!statm.open(QIODevice::ReadOnly))
    return 0;
  const QList<QByteArray> fields = statm.readAll().split(' ');
  return fields.size() > 1 ? fields.at(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024 * 1024) : 0;
}

bool allVisibleDrawn(const TThumbListView &view) {
  const QList<int> visible = view.VisibleImages();
  return !visible.isEmpty() && std::all_of(visible.cbegin(), visible.cend(), [&](int i) {
    const TThumbState s = view.List()->PictureState(i);
    return s == TThumbState::Ready || s == TThumbState::Empty;
  });
}

// Waits until every visible thumbnail is drawn; the milliseconds it took.
double waitForVisible(TThumbListView &view) {
  QElapsedTimer clock;
  clock.start();
  QCoreApplication::processEvents();
  while (!allVisibleDrawn(view))
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  view.viewport()->repaint(); // the last pictures handed over are drawn
  return clock.nsecsElapsed() / 1e6;
}

double median(QList<double> v) {
  std::sort(v.begin(), v.end());
  return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

} // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QString dir = prepareFolder();

  TThumbListView view;
  TThumbList *list = view.List();
  list->SetStoreType(ietThumb);
  list->SetThumbWidth(180);
  list->SetThumbHeight(200);
  view.SetGridWidth(-1);
  view.resize(ViewSize);
  view.show();
  QCoreApplication::processEvents();

  QElapsedTimer clock;
  clock.start();
  list->FillFromDirectory(dir);
  const double fillMs = clock.nsecsElapsed() / 1e6;
  list->SetSelectedImage(0); // the workspace shows the first image after a folder import
  view.scrollToTop();
  const QImage first = ReadImageFile(list->ImageFileName(0));
  const double firstMs = clock.nsecsElapsed() / 1e6;
  waitForVisible(view);
  const double visibleMs = clock.nsecsElapsed() / 1e6;
  const double afterFill = residentMb();

  // The reference: one screen of thumbnails decoded one after the other.
  const QList<int> visible = view.VisibleImages();
  QElapsedTimer ref;
  ref.start();
  qint64 pixels = 0;
  for (int i : visible)
    pixels += ReadThumbnail(list->ImageFileName(i), list->ThumbSize()).width();
  const double referenceMs = ref.nsecsElapsed() / 1e6;
  if (first.isNull() || pixels == 0)
    std::printf("warning: pictures could not be read\n");

  // A screen at a time to the end, then random places.
  QScrollBar *bar = view.verticalScrollBar();
  QList<double> pageJumps;
  QList<double> randomJumps;
  double highest = afterFill;
  const int step = std::max(1, view.viewport()->height());
  for (int value = step; value <= bar->maximum() + step - 1; value += step) {
    bar->setValue(std::min(value, bar->maximum()));
    pageJumps << waitForVisible(view);
    highest = std::max(highest, residentMb());
  }
  QRandomGenerator rng(11);
  for (int i = 0; i < RandomJumps; ++i) {
    bar->setValue(static_cast<int>(rng.bounded(bar->maximum() + 1)));
    randomJumps << waitForVisible(view);
    highest = std::max(highest, residentMb());
  }
  const double end = residentMb();

  std::printf("bench_fill: %d images of %dx%d, view %dx%d, thumbnails %dx%d, %d visible at once\n", ImageCount,
              PageSize.width(), PageSize.height(), ViewSize.width(), ViewSize.height(), list->ThumbWidth(),
              list->ThumbHeight(), int(visible.size()));
  std::printf("reference: %d visible thumbnails decoded one after the other on one thread: %.1f ms\n",
              int(visible.size()), referenceMs);
  auto line = [&](const char *what, double ms) {
    std::printf("%-52s %9.1f ms   ratio %.3f\n", what, ms, ms / referenceMs);
  };
  line("FillFromDirectory returned", fillMs);
  line("first image read in full", firstMs);
  line("every visible thumbnail drawn", visibleMs);
  const QString pages = QStringLiteral("%1 jumps of a screen to the end: median").arg(pageJumps.size());
  line(qPrintable(pages), median(pageJumps));
  line("   slowest (target: within 1000 ms)", *std::max_element(pageJumps.cbegin(), pageJumps.cend()));
  const QString random = QStringLiteral("%1 jumps to random places: median").arg(randomJumps.size());
  line(qPrintable(random), median(randomJumps));
  line("   slowest (target: within 1000 ms)", *std::max_element(randomJumps.cbegin(), randomJumps.cend()));
  std::printf("resident memory after the fill %.0f MB; highest above it while scrolling %.0f MB (target: at most "
              "150 MB), at the end %.0f MB above it\n",
              afterFill, highest - afterFill, end - afterFill);
  return 0;
}
