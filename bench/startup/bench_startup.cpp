// Time from process start to the main window shown, against a bare Qt main
// window started the same way in the same run. Each start is a fresh process
// (this program runs itself as a child); the figures are medians.
//   bench_startup [runs]        (on the X server of DISPLAY, else offscreen)
#include "uApplication.h"
#include "uDMMain.h"
#include "uIniOptions.h"
#include "uOCRMain.h"
#include "uVision.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

// Milliseconds since this process started, from the kernel's start time.
double SinceProcessStart() {
  FILE *f = std::fopen("/proc/self/stat", "r");
  if (!f)
    return -1;
  char buf[4096];
  const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  buf[n] = 0;
  const char *p = std::strrchr(buf, ')');
  unsigned long long start = 0;
  int field = 2;
  for (; p && *p; ++p)
    if (*p == ' ' && ++field == 22) {
      start = std::strtoull(p + 1, nullptr, 10);
      break;
    }
  timespec boot{};
  clock_gettime(CLOCK_BOOTTIME, &boot);
  const double nowMs = boot.tv_sec * 1000.0 + boot.tv_nsec / 1e6;
  return nowMs - start * 1000.0 / sysconf(_SC_CLK_TCK);
}

int Child(bool bare, int argc, char **argv) {
  TApplication app(argc, argv);
  std::unique_ptr<TdmMain> dm;
  std::unique_ptr<QMainWindow> window;
  QTemporaryDir tmp;
  if (bare) {
    window = std::make_unique<QMainWindow>();
    window->resize(980, 660);
  } else {
    // A copy of the program folder, so the settings written at exit stay here.
    const QString appDir = tmp.path() + QStringLiteral("/app/");
    QDir().mkpath(appDir);
    const QDir src(QStringLiteral(ZQ_APP_DIR));
    for (const QString &name : src.entryList(QDir::Files))
      QFile::link(src.filePath(name), appDir + name);
    for (const char *dir : {"ocrlangs", "custom", "temp"})
      QFile::link(src.filePath(QString::fromLatin1(dir)), appDir + QString::fromLatin1(dir));
    dm = std::make_unique<TdmMain>(nullptr, appDir);
    SetVisionSearchFolder(AppPath);
    window = std::make_unique<TfrmOCRMain>();
  }
  window->show();
  QTimer::singleShot(0, [&] {
    // The first pass of the event loop after show: the window is laid out
    // and painted.
    window->repaint();
    std::printf("%.3f\n", SinceProcessStart());
    std::fflush(stdout);
    app.quit();
  });
  const int rc = TApplication::exec();
  window.reset();
  dm.reset();
  return rc;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

std::vector<double> Runs(const QString &self, const QString &mode, int runs) {
  std::vector<double> out;
  for (int i = 0; i < runs; ++i) {
    QProcess p;
    p.start(self, {mode});
    p.waitForFinished(60000);
    bool ok = false;
    const double ms = QString::fromUtf8(p.readAllStandardOutput()).trimmed().toDouble(&ok);
    if (ok)
      out.push_back(ms);
  }
  return out;
}

} // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc > 1 && (std::strcmp(argv[1], "--child-bare") == 0 || std::strcmp(argv[1], "--child-desk") == 0))
    return Child(std::strcmp(argv[1], "--child-bare") == 0, argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  QCoreApplication app(argc, argv);
  const QString self = QCoreApplication::applicationFilePath();
  Runs(self, QStringLiteral("--child-desk"), 1); // warm the file cache
  const double bare = Median(Runs(self, QStringLiteral("--child-bare"), runs));
  const double desk = Median(Runs(self, QStringLiteral("--child-desk"), runs));
  std::printf("platform: %s, %d runs each (medians)\n",
              qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("xcb")).toUtf8().constData(), runs);
  std::printf("bare Qt main window shown after   %8.1f ms\n", bare);
  std::printf("the program's main window after   %8.1f ms\n", desk);
  std::printf("ratio program / bare window       %8.2f\n", bare > 0 ? desk / bare : 0.0);
  return 0;
}
