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
#include <map>
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

// The shared-memory buffer a helper reads its pictures from.
struct TPictureBuffer {
  int Fd = -1;
  uchar *Map = nullptr;
  size_t Bytes = 0;

  TPictureBuffer() = default;
  TPictureBuffer(const TPictureBuffer &) = delete;
  TPictureBuffer &operator=(const TPictureBuffer &) = delete;
  ~TPictureBuffer() { Release(); }

  void Release() {
    if (Map)
      munmap(Map, Bytes);
    if (Fd >= 0)
      close(Fd);
    Fd = -1;
    Map = nullptr;
    Bytes = 0;
  }

  // At least `bytes` of memory to write into: this buffer when it is large
  // enough, else a new one. False when the system has none.
  bool Reserve(size_t bytes) {
    if (Map && Bytes >= bytes)
      return true;
    Release();
    const int fd = memfd_create("quillon-picture", MFD_CLOEXEC);
    if (fd < 0)
      return false;
    if (ftruncate(fd, off_t(bytes)) != 0) {
      close(fd);
      return false;
    }
    // Populated at once: one call instead of a page fault per page.
    void *map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, 0);
    if (map == MAP_FAILED) {
      close(fd);
      return false;
    }
    Fd = fd;
    Map = static_cast<uchar *>(map);
    Bytes = bytes;
    return true;
  }
};

// One helper process and the program's end of its socket.
struct THelper {
  pid_t Pid = -1;
  int Socket = -1;
  std::string Key;           // the helper file and the plug-in folder it serves
  bool PluginLoaded = false; // it has said that it loaded the plug-in
  bool Reused = false;       // it has served a request before
  TPictureBuffer Picture;    // kept between barcode readings

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
  // A request with a picture: its size in bytes, and what writes it into
  // the helper's buffer (Picture.Keep: the buffer is kept for later ones).
  TPicture Picture;
  size_t PictureBytes = 0;
  std::function<void(uchar *)> WritePicture;
  // Or the picture's own shared memory (VisionSharedPicture) and the image
  // that holds it.
  int SharedFd = -1;
  QImage Shared;
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
      // The one used last: its memory is warm, and it may hold a picture
      // buffer already.
      for (auto it = pool.Idle.rbegin(); it != pool.Idle.rend(); ++it) {
        if ((*it)->Key != key)
          continue;
        helper = std::move(*it);
        pool.Idle.erase(std::next(it).base());
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
    int fd = -1;
    if (r.WritePicture) {
      if (!helper->Picture.Reserve(r.PictureBytes))
        throw EVisionError(ZV_E_NOMEM, QStringLiteral("No shared memory for the image of %1 x %2 pixels")
                                           .arg(r.Picture.Width)
                                           .arg(r.Picture.Height));
      r.WritePicture(helper->Picture.Map);
      fd = helper->Picture.Fd;
    } else if (r.SharedFd >= 0) {
      fd = r.SharedFd;
    }
    bool sent = SendMessage(helper->Socket, r.Type, r.Payload, fd);
    // A picture that is not kept lives on in the message on its way: the
    // helper lets it go once it has its copy.
    if (r.WritePicture && !r.Picture.Keep)
      helper->Picture.Release();
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

// The memory of the pictures made by VisionSharedPicture(), by the address
// of their pixels.
struct TSharedPictures {
  std::mutex Lock;
  std::map<const uchar *, std::pair<int, size_t>> Memory; // descriptor, bytes
};

TSharedPictures &SharedPictures() {
  static TSharedPictures shared;
  return shared;
}

void FreeSharedPicture(void *pixels) {
  TSharedPictures &shared = SharedPictures();
  std::lock_guard<std::mutex> lock(shared.Lock);
  const auto it = shared.Memory.find(static_cast<const uchar *>(pixels));
  if (it == shared.Memory.end())
    return;
  munmap(pixels, it->second.second);
  close(it->second.first);
  shared.Memory.erase(it);
}

// The descriptor of the shared memory that holds `bytes` bytes from
// `pixels`, or -1.
int SharedPictureFd(const uchar *pixels, size_t bytes) {
  TSharedPictures &shared = SharedPictures();
  std::lock_guard<std::mutex> lock(shared.Lock);
  const auto it = shared.Memory.find(pixels);
  return it != shared.Memory.end() && it->second.second >= bytes ? it->second.first : -1;
}

// A request's picture: its description and what writes its pixels, as the
// plug-in takes them (VisionPixels), row after row; or, for a picture that
// lies in shared memory already, that memory.
void SharePicture(TRequest &r, const QImage &picture, const TVisionRect &rect) {
  int layout = 0;
  const QImage image = VisionPixels(picture, layout);
  const qsizetype rowBytes = qsizetype(image.width()) * (layout == ZV_LAYOUT_GREY8   ? 1
                                                         : layout == ZV_LAYOUT_RGB24 ? 3
                                                                                     : 4);
  r.Picture =
      TPicture{image.width(), image.height(), layout, int32_t(rowBytes), rect.x, rect.y, rect.width, rect.height, 0};
  r.PictureBytes = size_t(rowBytes) * size_t(image.height());
  const size_t lineBytes = size_t(image.bytesPerLine());
  r.SharedFd = SharedPictureFd(image.constBits(), lineBytes * size_t(image.height()));
  if (r.SharedFd >= 0) {
    r.Picture.RowBytes = int32_t(lineBytes);
    r.Shared = image; // its memory lives while the request does
    return;
  }
  r.WritePicture = [image, rowBytes](uchar *dst) {
    for (int y = 0; y < image.height(); ++y)
      memcpy(dst + size_t(y) * size_t(rowBytes), image.constScanLine(y), size_t(rowBytes));
  };
}

// The luminance of a pixel as the barcode reader weighs colour itself
// (0.299 R + 0.587 G + 0.114 B in tenths of a thousand, rounded), so that the
// grey picture reads as the colour one would.
inline uchar Luminance(unsigned r, unsigned g, unsigned b) {
  return uchar((306 * r + 601 * g + 117 * b + 0x200) >> 10);
}

// A barcode reading's picture: its luminance only, one byte a pixel (a
// quarter of the bytes of a colour page to write), made in one pass from
// the picture's pixels into the helper's buffer, which is kept for the next
// reading. (Transparent parts read as white paper, as VisionPixels lays them
// over white.)
void ShareLuminance(TRequest &r, const QImage &picture, const TVisionRect &rect) {
  int layout = 0;
  const QImage image = VisionPixels(picture, layout);
  const int width = image.width();
  r.Picture = TPicture{width, image.height(), ZV_LAYOUT_GREY8, width, rect.x, rect.y, rect.width, rect.height, 0};
  r.PictureBytes = size_t(width) * size_t(image.height());
  r.Picture.Keep = r.PictureBytes <= KeptPictureBytes ? 1 : 0;
  r.WritePicture = [image, layout, width](uchar *dst) {
    for (int y = 0; y < image.height(); ++y) {
      const uchar *s = image.constScanLine(y);
      uchar *d = dst + size_t(y) * size_t(width);
      switch (layout) {
      case ZV_LAYOUT_GREY8:
        memcpy(d, s, size_t(width));
        break;
      case ZV_LAYOUT_RGB24:
        for (int x = 0; x < width; ++x, s += 3)
          d[x] = Luminance(s[0], s[1], s[2]);
        break;
      case ZV_LAYOUT_RGBA32:
        for (int x = 0; x < width; ++x, s += 4)
          d[x] = Luminance(s[0], s[1], s[2]);
        break;
      default: { // ZV_LAYOUT_BGRA32: 0xAARRGGBB words
        // Sixteen pixels at a time: a fixed count the compiler turns into
        // vector instructions.
        int x = 0;
        for (; x + 16 <= width; x += 16) {
          quint32 p[16];
          memcpy(p, s + 4 * x, sizeof p);
          for (int k = 0; k < 16; ++k)
            d[x + k] = Luminance((p[k] >> 16) & 0xff, (p[k] >> 8) & 0xff, p[k] & 0xff);
        }
        for (; x < width; ++x)
          d[x] = Luminance(s[4 * x + 2], s[4 * x + 1], s[4 * x]);
        break;
      }
      }
    }
  };
}

} // namespace

QImage VisionSharedPicture(const QSize &size, QImage::Format format) {
  if (size.isEmpty() || format == QImage::Format_Invalid)
    return {};
  // Rows as QImage lays them out (32-bit aligned).
  const qsizetype lineBytes = ((qsizetype(size.width()) * QImage::toPixelFormat(format).bitsPerPixel() + 31) / 32) * 4;
  const size_t bytes = size_t(lineBytes) * size_t(size.height());
  const int fd = memfd_create("quillon-picture", MFD_CLOEXEC);
  if (fd < 0)
    return {};
  // Not populated here: whoever fills the picture touches its pages first,
  // the enlargement on all cores at once.
  void *map = MAP_FAILED;
  if (ftruncate(fd, off_t(bytes)) == 0)
    map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (map == MAP_FAILED) {
    close(fd);
    return {};
  }
  {
    TSharedPictures &shared = SharedPictures();
    std::lock_guard<std::mutex> lock(shared.Lock);
    shared.Memory[static_cast<const uchar *>(map)] = {fd, bytes};
  }
  QImage image(static_cast<uchar *>(map), size.width(), size.height(), lineBytes, format, &FreeSharedPicture, map);
  if (image.isNull())
    FreeSharedPicture(map);
  return image;
}

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
  SharePicture(r, picture, rect);
  w.Picture(r.Picture);
  r.Payload = w.Data();
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
  ShareLuminance(r, picture, rect);
  w.Picture(r.Picture);
  r.Payload = w.Data();
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
