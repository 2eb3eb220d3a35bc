#include "uRecognitionBatch.h"

#include "uImageFile.h"
#include "uImageHeader.h"
#include "uRecognition.h"

#include <QFile>
#include <algorithm>
#include <cstdio>

namespace {

std::atomic<int> GWorkers{-1};
std::atomic<int> GUsed{0};
std::atomic<int> GPeakJobs{0};
std::atomic<qint64> GBudget{0};

// The memory the system can still give, in bytes (0 when unknown).
qint64 AvailableMemory() {
  FILE *f = std::fopen("/proc/meminfo", "r");
  if (!f)
    return 0;
  char line[256];
  qint64 kb = 0;
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "MemAvailable: %lld kB", &kb) == 1)
      break;
  std::fclose(f);
  return kb * 1024;
}

} // namespace

void TRecognitionBatch::SetWorkers(int workers) { GWorkers = workers; }
int TRecognitionBatch::ConfiguredWorkers() { return GWorkers; }
void TRecognitionBatch::NoteUsed() { ++GUsed; }
int TRecognitionBatch::UsedJobs() { return GUsed; }
int TRecognitionBatch::PeakJobs() { return GPeakJobs; }
void TRecognitionBatch::SetMemoryBudget(qint64 bytes) { GBudget = bytes; }

TRecognitionBatch::TRecognitionBatch(const QStringList &files, const QString &folder, const QString &code)
    : FFiles(files), FFolder(folder), FCode(code), FJobs(size_t(files.size())), FTaken(size_t(files.size())) {
  int workers = GWorkers;
  if (workers < 0)
    workers = int(std::max(1u, std::thread::hardware_concurrency()));
  workers = std::min(workers, int(files.size()));
  // Half of what the system can give now, for the jobs together; one job
  // always runs, whatever its size.
  FBudget = GBudget > 0 ? GBudget.load() : AvailableMemory() / 2;
  for (int i = 0; i < workers; ++i)
    FThreads.emplace_back([this] { Work(); });
}

TRecognitionBatch::~TRecognitionBatch() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FStop = true;
  }
  FCancel = true;
  FChanged.notify_all();
  for (std::thread &t : FThreads)
    t.join();
}

void TRecognitionBatch::Reached(int index) {
  std::lock_guard<std::mutex> lock(FLock);
  FNext = std::max(FNext, index);
  FChanged.notify_all();
}

std::shared_ptr<TRecognitionJob> TRecognitionBatch::Take(int index) {
  std::lock_guard<std::mutex> lock(FLock);
  if (index < 0 || index >= int(FJobs.size()))
    return nullptr;
  FTaken[size_t(index)] = true;
  FNext = std::max(FNext, index + 1);
  FChanged.notify_all();
  std::shared_ptr<TRecognitionJob> job = std::move(FJobs[size_t(index)]);
  if (job)
    Settle(*job);
  return job;
}

qint64 TRecognitionBatch::Estimate(const QString &file) const {
  QFile f(file);
  TImageHeader header;
  if (!f.open(QIODevice::ReadOnly) || !ProbeImageHeader(f, header) || header.Width <= 0 || header.Height <= 0 ||
      header.Width * header.Height > MaxImagePixels)
    return 0;
  const QSize size = RecognitionSize(QSize(int(header.Width), int(header.Height)), header.DpiX > 0 ? header.DpiX : 300);
  // Four bytes a pixel: the header does not tell grey from colour. Once the
  // picture is read, Need() tells.
  return qint64(RecognitionJobFactor * 4.0 * double(size.width()) * double(size.height())) +
         4 * header.Width * header.Height;
}

qint64 TRecognitionBatch::Need(const QImage &source, int dpi) {
  const QSize size = RecognitionSize(source.size(), dpi);
  // The enlarged copy keeps one byte a pixel for a grey picture, four for a
  // colour one (uImageProc.h); so does what the helper is given.
  const int bytes = source.isGrayscale() && !source.hasAlphaChannel() ? 1 : 4;
  return qint64(RecognitionJobFactor * double(bytes) * double(size.width()) * double(size.height())) +
         source.sizeInBytes();
}

void TRecognitionBatch::Resize(TRecognitionJob &job, qint64 need) {
  std::lock_guard<std::mutex> lock(FLock);
  need = std::max<qint64>(need, 1); // a job under way holds some
  if (job.Done || job.Reserved == 0 || need == job.Reserved)
    return;
  FInUse += need - job.Reserved;
  job.Reserved = need;
  FChanged.notify_all();
}

void TRecognitionBatch::Settle(TRecognitionJob &job) {
  qint64 keep = job.Reserved;
  if (job.Done)
    keep = FTaken[size_t(job.Index)]
               ? 0
               : std::min(job.Reserved, qint64(job.Source.sizeInBytes() + job.Picture.sizeInBytes()));
  if (keep == job.Reserved)
    return;
  FInUse -= job.Reserved - keep;
  if (keep == 0 && job.Reserved > 0)
    --FRunning;
  job.Reserved = keep;
  FChanged.notify_all();
}

void TRecognitionBatch::Work() {
  while (true) {
    std::shared_ptr<TRecognitionJob> job;
    {
      std::unique_lock<std::mutex> lock(FLock);
      while (!FStop && FNext < int(FFiles.size()) && FTaken[size_t(FNext)])
        ++FNext;
      if (FStop || FNext >= int(FFiles.size()))
        return;
      const int index = FNext++;
      const QString file = FFiles.at(index);
      lock.unlock();
      const qint64 need = Estimate(file);
      lock.lock();
      // Wait for room in the budget; a job always starts when none holds
      // any.
      FChanged.wait(lock, [&] { return FStop || FRunning == 0 || FInUse + need <= FBudget || FTaken[size_t(index)]; });
      if (FStop)
        return;
      if (FTaken[size_t(index)])
        continue;
      job = std::make_shared<TRecognitionJob>();
      job->Index = index;
      job->File = file;
      job->Reserved = std::max<qint64>(need, 1); // a job under way holds some
      FInUse += job->Reserved;
      ++FRunning;
      GPeakJobs = FPeakActive = std::max(FPeakActive, ++FActive);
      FJobs[size_t(index)] = job;
    }
    Run(*job);
  }
}

void TRecognitionBatch::Run(TRecognitionJob &job) {
  job.State = TRecognitionJob::Reading;
  try {
    TImageFileInfo info;
    job.Source = ReadImageFile(job.File, &info);
    job.Dpi = info.DpiX > 0 ? info.DpiX : 300;
    // What this picture needs rather than what its header let guess (a grey
    // page a quarter of it): room for the next jobs.
    Resize(job, Need(job.Source, job.Dpi));
    job.Picture = PrepareForRecognition(job.Source, job.Dpi);
  } catch (...) {
    job.Source = QImage();
    job.Picture = QImage();
    job.Failure = std::current_exception();
    Finish(job);
    job.State = TRecognitionJob::Failed;
    return;
  }
  job.State = TRecognitionJob::Prepared;
  int state = TRecognitionJob::Recognised;
  try {
    job.Text = RecognizePrepared(
        job.Picture, FFolder, FCode, [&job](int percent) { job.Percent = percent; }, &FCancel);
  } catch (...) {
    job.Failure = std::current_exception();
    state = TRecognitionJob::Failed;
  }
  Finish(job);
  job.State = state;
}

void TRecognitionBatch::Finish(TRecognitionJob &job) {
  std::lock_guard<std::mutex> lock(FLock);
  --FActive;
  job.Done = true;
  Settle(job);
}
