#include "uVisionService.h"

#include "uVisionProtocol.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

using namespace VisionProtocol;

namespace {

std::atomic<int> GEngineMs{60000};
std::atomic<int> GScanMs{120000};
std::atomic<int> GRecognitionMs{120000};
std::atomic<int> GStarted{0};

// One helper process and the program's end of its socket.
struct THelper {
  pid_t Pid = -1;
  int Socket = -1;
  std::string Key;           // the helper file and the plug-in folder it serves
  bool PluginLoaded = false; // it has said that it loaded the plug-in
  bool Reused = false;       // it has served a request before

  ~THelper() {
    if (Socket >= 0)
      close(Socket);
    if (Pid > 0) {
      // Its socket is closed: a helper between requests ends by itself.
      int status = 0;
      for (int i = 0; i < 100; ++i) {
        pid_t done = waitpid(Pid, &status, WNOHANG);
        if (done == Pid || (done < 0 && errno != EINTR))
          return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      kill(Pid, SIGKILL);
      while (waitpid(Pid, &status, 0) < 0 && errno == EINTR) {
      }
    }
  }

  // Ends the process at once and collects its status.
  int Kill() {
    kill(Pid, SIGKILL);
    return Reap();
  }

  // Waits for the process that has closed its socket; its wait status.
  int Reap() {
    int status = 0;
    while (waitpid(Pid, &status, 0) < 0 && errno == EINTR) {
    }
    Pid = -1;
    return status;
  }

  bool HasEnded() {
    int status = 0;
    pid_t done = waitpid(Pid, &status, WNOHANG);
    if (done == Pid) {
      Pid = -1;
      return true;
    }
    return false;
  }
};

struct TPool {
  std::mutex Lock;
  std::vector<std::unique_ptr<THelper>> Idle;
  std::vector<pid_t> Busy;
};

TPool &Pool() {
  static TPool pool;
  return pool;
}

std::unique_ptr<THelper> Spawn(const QString &helperFile, const std::string &key) {
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
    throw EVisionUnavailable(QStringLiteral("The recognition helper could not be started (%1)")
                                 .arg(QString::fromLocal8Bit(strerror(errno))));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, sv[1], HelperSocketFd);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, HelperSocketFd + 1);
  const QByteArray path = QFile::encodeName(helperFile);
  char *argv[] = {const_cast<char *>(path.constData()), nullptr};
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, path.constData(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(sv[1]);
  if (rc != 0) {
    close(sv[0]);
    throw EVisionUnavailable(QStringLiteral("The recognition helper %1 could not be started (%2)")
                                 .arg(helperFile, QString::fromLocal8Bit(strerror(rc))));
  }
  ++GStarted;
  auto helper = std::make_unique<THelper>();
  helper->Pid = pid;
  helper->Socket = sv[0];
  helper->Key = key;
  return helper;
}

// What a helper was doing when it ended or ran out of time.
enum class TStage { Loading, Engine, Working };

QString SignalText(int status) {
  if (WIFSIGNALED(status))
    return QStringLiteral("signal %1, %2")
        .arg(WTERMSIG(status))
        .arg(QString::fromLocal8Bit(strsignal(WTERMSIG(status))));
  if (WIFEXITED(status))
    return QStringLiteral("exit status %1").arg(WEXITSTATUS(status));
  return QStringLiteral("status %1").arg(status);
}

bool IsFault(int status) {
  if (!WIFSIGNALED(status))
    return false;
  const int sig = WTERMSIG(status);
  return sig == SIGSEGV || sig == SIGBUS || sig == SIGILL || sig == SIGFPE;
}

QString TrainedDataNames(const QString &folder, const QString &code) {
  QString dir = folder;
  if (!dir.endsWith(u'/'))
    dir += u'/';
  QStringList names;
  for (const QString &c : code.split(u'+'))
    names << QStringLiteral("\"%1%2.traineddata\"").arg(dir, c);
  return names.join(QStringLiteral(", "));
}

// One request and what it is about, for the failure texts.
struct TRequest {
  uint32_t Type = 0;
  std::string Payload;
  int Fd = -1;
  QString Folder, Code;
  TVisionProgress Progress;
  const std::atomic<bool> *Cancel = nullptr;
};

// The failure of a request whose helper ended (timedOut: was ended after its
// time ran out) at `stage`.
[[noreturn]] void RaiseEnded(const TRequest &r, TStage stage, bool timedOut, int status, int limitMs) {
  const QString how = timedOut ? QStringLiteral("did not finish within %1 s").arg(limitMs / 1000.0)
                               : QStringLiteral("ended (%1)").arg(SignalText(status));
  if (stage == TStage::Loading)
    throw EVisionUnavailable(
        QStringLiteral("The recognition plug-in could not be loaded (the recognition helper %1 while loading it)")
            .arg(how));
  if (stage == TStage::Engine) {
    const bool several = r.Code.contains(u'+');
    throw EVisionError(ZV_E_BADDATA,
                       QStringLiteral("The trained data of \"%1\" could not be loaded: %2 %3 (the recognition helper "
                                      "%4 while loading it)")
                           .arg(r.Code, TrainedDataNames(r.Folder, r.Code),
                                several ? QStringLiteral("are not valid trained-data files")
                                        : QStringLiteral("is not a valid trained-data file"),
                                how));
  }
  const QString what = r.Type == Scan ? QStringLiteral("The barcode reader") : QStringLiteral("The recognition engine");
  if (!timedOut && IsFault(status))
    throw EVisionFault(QStringLiteral("%1 faulted on this image (%2)").arg(what, SignalText(status)));
  if (timedOut)
    throw EVisionError(ZV_E_FAIL,
                       QStringLiteral("%1 did not finish with this image within %2 s").arg(what).arg(limitMs / 1000.0));
  throw EVisionError(ZV_E_FAIL, QStringLiteral("%1 ended while working on this image (%2)").arg(what, how));
}

QString Utf8(const std::string &s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
QString Utf16(const std::u16string &s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }

// Runs `r` in a helper; `onFinal` takes the final answer's payload.
void Call(const TRequest &r, const std::function<void(uint32_t, TReader &)> &onFinal) {
  const QString helperFile = VisionHelperFile();
  if (helperFile.isEmpty()) {
    VisionNoteHelperLoad(false, QString());
    throw EVisionUnavailable(QStringLiteral("The recognition helper %1 is not in the program folder %2")
                                 .arg(QLatin1String(VisionHelperName), VisionSearchFolder()));
  }
  // A helper serves the plug-in folder it was started for.
  const std::string key = QFile::encodeName(helperFile).toStdString() + '\n' +
                          QFile::encodeName(VisionSearchFolder()).toStdString() +
                          (VisionSystemSearch() ? "\n1" : "\n0");
  TPool &pool = Pool();
  for (int attempt = 0;; ++attempt) {
    std::unique_ptr<THelper> helper;
    {
      std::lock_guard<std::mutex> lock(pool.Lock);
      for (auto it = pool.Idle.begin(); it != pool.Idle.end(); ++it) {
        if ((*it)->Key != key)
          continue;
        helper = std::move(*it);
        pool.Idle.erase(it);
        break;
      }
    }
    if (helper && helper->HasEnded())
      helper.reset();
    if (!helper)
      helper = Spawn(helperFile, key);
    {
      std::lock_guard<std::mutex> lock(pool.Lock);
      pool.Busy.push_back(helper->Pid);
    }
    struct TBusy {
      TPool &Pool;
      pid_t Pid;
      ~TBusy() {
        std::lock_guard<std::mutex> lock(Pool.Lock);
        std::erase(Pool.Busy, Pid);
      }
    } busy{pool, helper->Pid};

    const bool reused = helper->Reused;
    helper->Reused = true;
    TStage stage = helper->PluginLoaded ? (r.Type == Scan ? TStage::Working : TStage::Engine) : TStage::Loading;
    bool answered = false;
    bool sent = SendMessage(helper->Socket, r.Type, r.Payload, r.Fd);
    auto limit = [&] {
      if (stage == TStage::Working)
        return r.Type == Scan ? GScanMs.load() : GRecognitionMs.load();
      return GEngineMs.load();
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit());
    while (true) {
      bool ended = !sent;
      if (!ended) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
          const int status = helper->Kill();
          RaiseEnded(r, stage, true, status, limit());
        }
        if (r.Cancel && r.Cancel->load()) {
          helper->Kill();
          throw EVisionCancelled(QStringLiteral("The recognition was given up"));
        }
        pollfd p{helper->Socket, POLLIN, 0};
        const int ready = poll(&p, 1, int(std::min<qint64>(left.count(), r.Cancel ? 50 : 1000)));
        if (ready < 0 && errno != EINTR)
          ended = true;
        if (ready <= 0 && !ended)
          continue;
      }
      uint32_t type = 0;
      std::string payload;
      if (ended || !ReceiveMessage(helper->Socket, type, payload)) {
        const int status = helper->Reap();
        // A kept helper that ended while it waited (it was killed, or the
        // system took it away): the request never started; once more with
        // a new one.
        if (!answered && reused && attempt == 0 && !(WIFSIGNALED(status) && IsFault(status)))
          break;
        RaiseEnded(r, stage, false, status, limit());
      }
      answered = true;
      TReader in(payload);
      switch (type) {
      case Load: {
        const bool ok = in.U32() != 0;
        const std::string file = in.Str();
        VisionNoteHelperLoad(ok, QFile::decodeName(file.c_str()));
        if (ok) {
          helper->PluginLoaded = true;
          stage = r.Type == Scan ? TStage::Working : TStage::Engine;
          deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit());
        }
        continue;
      }
      case Engine:
        stage = TStage::Working;
        deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit());
        continue;
      case VisionProtocol::Progress: {
        const int percent = in.I32();
        // A sign of life: the time limit of a recognition starts again.
        deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit());
        if (r.Progress)
          r.Progress(percent);
        continue;
      }
      default:
        break;
      }
      // A final answer: the helper is free again.
      auto keep = [&] {
        std::lock_guard<std::mutex> lock(pool.Lock);
        pool.Idle.push_back(std::move(helper));
        const size_t most = std::max(2u, std::thread::hardware_concurrency());
        if (pool.Idle.size() > most)
          pool.Idle.erase(pool.Idle.begin());
      };
      if (type == Unavailable) {
        const QString message = Utf8(in.Str());
        keep();
        throw EVisionUnavailable(message);
      }
      if (type == Failed) {
        const int status = in.I32();
        QString message = Utf8(in.Str());
        keep();
        if (message.isEmpty())
          message = QString::fromLocal8Bit(strerror(-status));
        throw EVisionError(status, message);
      }
      onFinal(type, in);
      if (!in.Ok()) {
        helper.reset();
        throw EVisionError(ZV_E_FAIL, QStringLiteral("The recognition helper gave a damaged answer"));
      }
      keep();
      return;
    }
  }
}

void PutPluginFolder(TWriter &w) {
  QString folder = VisionSearchFolder();
  if (folder.isEmpty() && QCoreApplication::instance())
    folder = QCoreApplication::applicationDirPath();
  w.Str(QFile::encodeName(folder).toStdString());
  w.U32(VisionSystemSearch() ? 1 : 0);
}

void PutEngine(TWriter &w, const QString &folder, const QString &code, int mode) {
  w.Str(QFile::encodeName(folder).toStdString());
  w.Str(QFile::encodeName(code).toStdString());
  w.I32(mode);
}

// The picture's pixels in shared memory: the descriptor (closed by the
// caller) and its description. `grey`: as grey levels only (a 32-bit colour
// picture is turned grey on the way, as qGray() weighs the channels).
int SharePicture(const QImage &picture, const TVisionRect &rect, TPicture &out, bool grey = false) {
  int layout = 0;
  const bool turnGrey = grey && (picture.format() == QImage::Format_RGB32 ||
                                 (picture.format() == QImage::Format_ARGB32 && !picture.hasAlphaChannel()));
  const QImage image =
      turnGrey ? picture : VisionPixels(grey ? picture.convertToFormat(QImage::Format_Grayscale8) : picture, layout);
  if (turnGrey)
    layout = ZV_LAYOUT_GREY8;
  const qsizetype rowBytes = qsizetype(image.width()) * (layout == ZV_LAYOUT_GREY8   ? 1
                                                         : layout == ZV_LAYOUT_RGB24 ? 3
                                                                                     : 4);
  const size_t bytes = size_t(rowBytes) * size_t(image.height());
  const int fd = memfd_create("quillon-picture", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, off_t(bytes)) != 0) {
    if (fd >= 0)
      close(fd);
    throw EVisionError(
        ZV_E_NOMEM,
        QStringLiteral("No shared memory for the image of %1 x %2 pixels").arg(image.width()).arg(image.height()));
  }
  void *map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, 0);
  if (map == MAP_FAILED) {
    close(fd);
    throw EVisionError(
        ZV_E_NOMEM,
        QStringLiteral("No shared memory for the image of %1 x %2 pixels").arg(image.width()).arg(image.height()));
  }
  auto *dst = static_cast<uchar *>(map);
  for (int y = 0; y < image.height(); ++y) {
    uchar *row = dst + size_t(y) * size_t(rowBytes);
    if (turnGrey) {
      const auto *src = reinterpret_cast<const QRgb *>(image.constScanLine(y));
      for (int x = 0; x < image.width(); ++x)
        row[x] = uchar(qGray(src[x]));
    } else {
      memcpy(row, image.constScanLine(y), size_t(rowBytes));
    }
  }
  munmap(map, bytes);
  out.Width = image.width();
  out.Height = image.height();
  out.Layout = layout;
  out.RowBytes = int32_t(rowBytes);
  out.X = rect.x;
  out.Y = rect.y;
  out.RectWidth = rect.width;
  out.RectHeight = rect.height;
  return fd;
}

struct TFd {
  int Fd;
  ~TFd() {
    if (Fd >= 0)
      close(Fd);
  }
};

} // namespace

QString VisionHelperFile() {
  QStringList folders;
  if (!VisionSearchFolder().isEmpty())
    folders << VisionSearchFolder();
  if (QCoreApplication::instance())
    folders << QCoreApplication::applicationDirPath();
  for (QString folder : folders) {
    if (!folder.endsWith(u'/'))
      folder += u'/';
    const QFileInfo file(folder + QLatin1String(VisionHelperName));
    if (file.isFile() && file.isExecutable())
      return file.absoluteFilePath();
  }
  return {};
}

QString VisionRecognize(const QImage &picture, const TVisionRect &rect, const QString &folder, const QString &code,
                        int mode, const TVisionProgress &progress, const std::atomic<bool> *cancel) {
  TRequest r;
  r.Type = Recognize;
  r.Cancel = cancel;
  r.Folder = folder;
  r.Code = code;
  r.Progress = progress;
  TWriter w;
  PutPluginFolder(w);
  PutEngine(w, folder, code, mode);
  TPicture p;
  TFd fd{SharePicture(picture, rect, p)};
  w.Picture(p);
  r.Payload = w.Data();
  r.Fd = fd.Fd;
  QString text;
  Call(r, [&](uint32_t type, TReader &in) {
    if (type != Text)
      throw EVisionError(ZV_E_FAIL, QStringLiteral("The recognition helper gave a damaged answer"));
    text = Utf16(in.Str16());
  });
  return text;
}

QList<TVisionBarcodeRead> VisionReadBarcodes(const QImage &picture, const TVisionRect &rect) {
  TRequest r;
  r.Type = Scan;
  TWriter w;
  PutPluginFolder(w);
  TPicture p;
  // The reader reads the luminance only: a quarter of the bytes to hand
  // over and to copy. (A picture with transparent parts keeps its colour:
  // they read as white paper.)
  TFd fd{SharePicture(picture, rect, p, !picture.hasAlphaChannel())};
  w.Picture(p);
  r.Payload = w.Data();
  r.Fd = fd.Fd;
  QList<TVisionBarcodeRead> read;
  Call(r, [&](uint32_t type, TReader &in) {
    if (type != Barcodes)
      throw EVisionError(ZV_E_FAIL, QStringLiteral("The recognition helper gave a damaged answer"));
    const uint32_t count = in.U32();
    for (uint32_t i = 0; in.Ok() && i < count; ++i) {
      TVisionBarcodeRead b;
      b.Type = Utf16(in.Str16());
      b.Value = Utf16(in.Str16());
      read.append(b);
    }
  });
  return read;
}

bool VisionCheckTrainedData(const QString &folder, const QString &code, QString *reason) {
  try {
    TRequest r;
    r.Type = Check;
    r.Folder = folder;
    r.Code = code;
    TWriter w;
    PutPluginFolder(w);
    PutEngine(w, folder, code, ZV_MODE_DEFAULT);
    r.Payload = w.Data();
    Call(r, [](uint32_t type, TReader &) {
      if (type != Done)
        throw EVisionError(ZV_E_FAIL, QStringLiteral("The recognition helper gave a damaged answer"));
    });
    return true;
  } catch (const std::exception &e) {
    if (reason)
      *reason = ExceptionMessage(e);
    return false;
  }
}

void VisionServiceTest::SetTimeouts(int engineMs, int scanMs, int recognitionMs) {
  if (engineMs > 0)
    GEngineMs = engineMs;
  if (scanMs > 0)
    GScanMs = scanMs;
  if (recognitionMs > 0)
    GRecognitionMs = recognitionMs;
}

QList<qint64> VisionServiceTest::HelperPids() {
  TPool &pool = Pool();
  std::lock_guard<std::mutex> lock(pool.Lock);
  QList<qint64> pids;
  for (const auto &h : pool.Idle)
    if (h->Pid > 0)
      pids << h->Pid;
  for (pid_t pid : pool.Busy)
    pids << pid;
  return pids;
}

int VisionServiceTest::HelpersStarted() { return GStarted; }

void VisionServiceTest::StopIdleHelpers() {
  std::vector<std::unique_ptr<THelper>> idle;
  {
    TPool &pool = Pool();
    std::lock_guard<std::mutex> lock(pool.Lock);
    idle.swap(pool.Idle);
  }
}
