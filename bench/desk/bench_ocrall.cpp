// Recognise all through the workspace's command: 16 letter pages at 300 dpi
// (English, grey; --colour: on a colour scan's paper), once with the
// workspace recognising every image itself (serial), once with workers
// recognising ahead in helper processes (parallel), in the same run on the
// same files. Prints both times and their ratio, whether the result text is
// the same, and the peak memory of the program with its helpers.
//
//   bench_ocrall [--colour] [--pages N] [--budget MB]

#include "uApplication.h"
#include "uBenchPage.h"
#include "uDMMain.h"
#include "uDialogs.h"
#include "uFraModuleOCR.h"
#include "uImageFile.h"
#include "uRecognitionBatch.h"
#include "uRichViewEdit.h"
#include "uThumbList.h"
#include "uVisionService.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

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

// A copy of the built program folder; the trained data linked.
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
    else if (!rel.endsWith(QLatin1String(".so")) && rel != QLatin1String(VisionHelperName))
      QFile::copy(from, dest + rel);
  }
  QDir().mkpath(dest + QStringLiteral("temp"));
  return dest;
}

// Resident memory of this process and its helpers, in MB.
double ResidentMb(pid_t pid) {
  FILE *f = std::fopen(qPrintable(QStringLiteral("/proc/%1/statm").arg(pid)), "r");
  long pages = 0, resident = 0;
  if (f) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
      resident = 0;
    std::fclose(f);
  }
  return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Samples the memory of the program and its helpers while it lives.
class TMemoryPeak {
public:
  TMemoryPeak()
      : FThread([this] {
          while (!FStop) {
            double sum = ResidentMb(getpid());
            for (qint64 pid : VisionServiceTest::HelperPids())
              sum += ResidentMb(pid_t(pid));
            FPeak = std::max(FPeak.load(), sum);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
          }
        }) {}
  ~TMemoryPeak() {
    FStop = true;
    FThread.join();
  }
  double Peak() const { return FPeak; }

private:
  std::atomic<bool> FStop{false};
  std::atomic<double> FPeak{0};
  std::thread FThread;
};

// The system's load averages over 1, 5 and 15 minutes.
QString LoadAverage() {
  QFile f(QStringLiteral("/proc/loadavg"));
  if (!f.open(QIODevice::ReadOnly))
    return QStringLiteral("unknown");
  return QString::fromLatin1(f.readLine()).section(u' ', 0, 2);
}

struct TRun {
  double Ms = 0;
  double PeakMb = 0;
  QString Text;
  int Messages = 0;
};

TRun RunBatch(TfraModuleOCR &fra, TPrintingDialogs &dialogs, int workers) {
  TRecognitionBatch::SetWorkers(workers);
  VisionServiceTest::StopIdleHelpers();
  fra.rveResult->ClearAll();
  const int before = dialogs.Count;
  TRun run;
  TMemoryPeak peak;
  QElapsedTimer t;
  t.start();
  fra.OCRAll(QStringLiteral("English"));
  run.Ms = double(t.nsecsElapsed()) / 1e6;
  run.PeakMb = peak.Peak();
  run.Text = fra.rveResult->toPlainText();
  run.Messages = dialogs.Count - before;
  return run;
}

} // namespace

int main(int argc, char **argv) {
  setenv("OMP_THREAD_LIMIT", "1", 1);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  TApplication app(argc, argv);
  const QStringList args = TApplication::arguments().mid(1);
  const bool colour = args.contains(QStringLiteral("--colour"));
  int pages = 16;
  if (const qsizetype i = args.indexOf(QStringLiteral("--pages")); i >= 0 && i + 1 < args.size())
    pages = std::max(2, args[i + 1].toInt());
  // A budget as on a machine with less memory to spare (by default half of
  // what the system can give now).
  if (const qsizetype i = args.indexOf(QStringLiteral("--budget")); i >= 0 && i + 1 < args.size())
    TRecognitionBatch::SetMemoryBudget(qint64(args[i + 1].toInt()) << 20);

  QTemporaryDir temp;
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

  // The pages: each its own lines of the text, so that every page differs.
  for (int i = 0; i < pages; ++i) {
    QImage page(2550, 3300, colour ? QImage::Format_RGB32 : QImage::Format_Grayscale8);
    page.fill(colour ? QColor(250, 247, 240) : QColor(255, 255, 255));
    DrawBenchText(page, 20 + i % 10, 250 + 20 * i, 120);
    const QString file = temp.filePath(QStringLiteral("page%1.png").arg(i, 2, 10, QLatin1Char('0')));
    WriteImageFile(file, page, 300, 300);
    fra->AddImageFile(file);
  }
  std::printf("%d pages of 2550 x 3300 at 300 dpi (%s), %u cores; machine load %s at the start\n", pages,
              colour ? "colour" : "grey", std::thread::hardware_concurrency(), qPrintable(LoadAverage()));

  const TRun serial = RunBatch(*fra, *dialogs, 0);
  const TRun parallel = RunBatch(*fra, *dialogs, -1);
  const int used = TRecognitionBatch::UsedJobs();
  const int atOnce = TRecognitionBatch::PeakJobs();
  std::printf("serial             %9.1f ms (peak memory %.0f MB, %d messages)\n", serial.Ms, serial.PeakMb,
              serial.Messages);
  std::printf("parallel           %9.1f ms (peak memory %.0f MB, %d messages; %d of %d results from workers, at most "
              "%d at once)\n",
              parallel.Ms, parallel.PeakMb, parallel.Messages, used, pages, atOnce);
  std::printf("ratio serial / parallel %5.2f (target >= 4 on 8 cores)\n", serial.Ms / parallel.Ms);
  std::printf("same text          %9s (%d characters)\n", serial.Text == parallel.Text ? "yes" : "no",
              int(serial.Text.size()));
  std::printf("peak memory        %9.0f MB parallel, %.0f MB serial (program and helpers)\n", parallel.PeakMb,
              serial.PeakMb);
  std::printf("machine load       %9s at the end (others' work shares the cores: the ratio holds for a quiet "
              "machine)\n",
              qPrintable(LoadAverage()));
  fra.reset();
  dm.reset();
  return serial.Text == parallel.Text && serial.Messages == 0 && parallel.Messages == 0 ? 0 : 1;
}
