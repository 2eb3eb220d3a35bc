// Filling the thumbnail list from a folder of 2,000 page pictures (1200 x 1600
// JPEG): how long until FillFromDirectory returns, until the first image is
// read in full (as the workspace does when it shows entry 0), and until every
// thumbnail visible in a 980 x 660 view is drawn. Each figure is printed with
// its ratio to a reference measured in the same run: the visible thumbnails
// decoded one after the other on one thread with ReadThumbnail.
//
// The pictures are made once, in a folder of the temporary directory that
// later runs reuse.

#include "uImageFile.h"
#include "uThumbListView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QtConcurrent>
#include <algorithm>
#include <cstdio>
#include <numeric>

namespace {

constexpr int ImageCount = 2000;
constexpr int Rounds = 3;
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
  QList<int> numbers(ImageCount);
  std::iota(numbers.begin(), numbers.end(), 1);
  QtConcurrent::blockingMap(numbers,
                            [&](int n) { makePage(n).save(dir + QStringLiteral("/IMG_%1.jpg").arg(n), "JPEG", 90); });
  QFile marker(done);
  marker.open(QIODevice::WriteOnly);
  return dir;
}

struct TRound {
  double FillMs = 0;
  double FirstMs = 0;
  double VisibleMs = 0;
  double ReferenceMs = 0;
  int Visible = 0;
};

bool allVisibleDrawn(const TThumbListView &view) {
  const QList<int> visible = view.VisibleImages();
  return !visible.isEmpty() && std::all_of(visible.cbegin(), visible.cend(), [&](int i) {
    const TThumbState s = view.List()->PictureState(i);
    return s == TThumbState::Ready || s == TThumbState::Empty;
  });
}

TRound runRound(const QString &dir) {
  TRound r;
  TThumbListView view;
  TThumbList *list = view.List();
  list->SetStoreType(ietThumb);
  list->SetThumbWidth(180);
  list->SetThumbHeight(200);
  view.SetGridWidth(-1);
  view.SetThumbnailsBackgroundSelected(QColor(0x00FF00));
  view.resize(ViewSize);
  view.show();
  QCoreApplication::processEvents();

  QElapsedTimer clock;
  clock.start();
  list->FillFromDirectory(dir);
  r.FillMs = clock.nsecsElapsed() / 1e6;
  list->SetSelectedImage(0); // the workspace shows the first image after a folder import
  const QImage first = ReadImageFile(list->ImageFileName(0));
  r.FirstMs = clock.nsecsElapsed() / 1e6;
  while (!allVisibleDrawn(view))
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  view.viewport()->repaint(); // the last pictures handed over are drawn
  r.VisibleMs = clock.nsecsElapsed() / 1e6;

  const QList<int> visible = view.VisibleImages();
  r.Visible = static_cast<int>(visible.size());
  QElapsedTimer ref;
  ref.start();
  qint64 pixels = 0;
  for (int i : visible)
    pixels += ReadThumbnail(list->ImageFileName(i), list->ThumbSize()).width();
  r.ReferenceMs = ref.nsecsElapsed() / 1e6;
  if (first.isNull() || pixels == 0)
    std::printf("warning: pictures could not be read\n");
  return r;
}

double median(QList<double> v) {
  std::sort(v.begin(), v.end());
  return v.at(v.size() / 2);
}

} // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QString dir = prepareFolder();

  QList<double> fill, first, visible, reference;
  int shown = 0;
  for (int round = 0; round < Rounds; ++round) {
    const TRound r = runRound(dir);
    fill << r.FillMs;
    first << r.FirstMs;
    visible << r.VisibleMs;
    reference << r.ReferenceMs;
    shown = r.Visible;
  }
  const double ref = median(reference);
  std::printf("bench_fill: %d images of %dx%d, view %dx%d, %d visible thumbnails, median of %d rounds\n", ImageCount,
              PageSize.width(), PageSize.height(), ViewSize.width(), ViewSize.height(), shown, Rounds);
  std::printf("reference: %d visible thumbnails decoded one after the other on one thread: %.1f ms\n", shown, ref);
  auto line = [&](const char *what, double ms) { std::printf("%-40s %9.1f ms   ratio %.3f\n", what, ms, ms / ref); };
  line("FillFromDirectory returned", median(fill));
  line("first image read in full", median(first));
  line("every visible thumbnail drawn", median(visible));
  return 0;
}
