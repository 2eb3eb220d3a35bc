#pragma once

// Recognise-all ahead of the workspace: while the workspace shows the
// images of the list one after the other and appends their text in list
// order, workers read the next image files, prepare them for recognition
// and recognise them, each recognition in a helper process of its own. The
// workspace takes the job of the image it has reached and uses its result
// only when the job's picture is exactly the one it would recognise itself
// (the same pixels and resolution, no selection); otherwise it recognises
// on its own, so the result is the serial command's in every case.
//
// The number of jobs under way is bounded by the cores and by a memory
// budget: a job holds its picture, the enlarged copy and the helper's work,
// about RecognitionJobFactor times the enlarged bitmap.

#include <QImage>
#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A recognition's peak memory over its enlarged bitmap, with the picture
// and the shared copy sent to the helper.
inline constexpr double RecognitionJobFactor = 4.5;

struct TRecognitionJob {
  enum TState { Waiting, Reading, Prepared, Recognised, Failed };
  std::atomic<int> State{Waiting};
  std::atomic<int> Percent{0};
  int Index = -1;
  QString File;
  // Set when State reaches Prepared (or stays empty when the file could
  // not be read or prepared: Failed before Prepared).
  QImage Source;
  int Dpi = 0;
  QImage Picture; // as recognised
  // Set when State reaches Recognised or Failed.
  QString Text;
  std::exception_ptr Failure;
  qint64 Reserved = 0; // bytes of the budget held
  bool Done = false;   // the worker is through with it
};

class TRecognitionBatch {
public:
  // `files`: the list's files in order; recognised with the trained data of
  // `code` in `folder`.
  TRecognitionBatch(const QStringList &files, const QString &folder, const QString &code);
  // Gives up the jobs under way (their helpers are ended) and waits for the
  // workers.
  ~TRecognitionBatch();
  TRecognitionBatch(const TRecognitionBatch &) = delete;
  TRecognitionBatch &operator=(const TRecognitionBatch &) = delete;

  // The workspace has reached entry `index`: no job is started any more for
  // the entries before it.
  void Reached(int index);
  // The job of entry `index`, taken out of the batch (null when none was
  // started for it; none will be).
  std::shared_ptr<TRecognitionJob> Take(int index);

  int Workers() const { return int(FThreads.size()); }
  qint64 Budget() const { return FBudget; }

  // The number of workers of later batches: 0 none (the workspace
  // recognises every image itself), less than 0 as many as the cores.
  static void SetWorkers(int workers);
  static int ConfiguredWorkers();
  // For tests: the workspace notes each job whose result it used.
  static void NoteUsed();
  static int UsedJobs();
  // For benchmarks and tests: the most jobs workers were on at once in the
  // last batch; the memory budget of later batches (0: half of what the
  // system can give, as by default).
  static int PeakJobs();
  static void SetMemoryBudget(qint64 bytes);

private:
  void Work();
  void Run(TRecognitionJob &job);
  // The budget a job needs: before its file is read, from the header; once
  // it is read, from the picture; and the change of a job's share to it.
  qint64 Estimate(const QString &file) const;
  static qint64 Need(const QImage &source, int dpi);
  void Resize(TRecognitionJob &job, qint64 need);
  // Brings the budget a job holds in line with its state (under FLock): all
  // of its estimate while it runs, its pictures once it is done, nothing
  // once it is done and taken.
  void Settle(TRecognitionJob &job);
  void Finish(TRecognitionJob &job);

  const QStringList FFiles;
  const QString FFolder;
  const QString FCode;
  qint64 FBudget = 0;
  std::mutex FLock;
  std::condition_variable FChanged;
  int FNext = 0;     // the next entry to start
  qint64 FInUse = 0; // bytes of the budget held
  int FRunning = 0;  // jobs holding budget
  int FActive = 0;   // jobs a worker is on
  int FPeakActive = 0;
  bool FStop = false;
  std::atomic<bool> FCancel{false};
  std::vector<std::shared_ptr<TRecognitionJob>> FJobs; // by entry; null: not started
  std::vector<bool> FTaken;
  std::vector<std::thread> FThreads;
};
