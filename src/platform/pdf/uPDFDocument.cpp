#include "uPDFDocument.h"

#include "uAtomicFile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QImage>
#include <QImageWriter>
#include <QRegularExpression>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <poppler-qt6.h>

namespace {

// Poppler reports its errors through one process-wide function. Whoever
// wants them on a thread points tPopplerMessages at a list for the time of
// the call; messages on other threads are dropped.
thread_local QStringList *tPopplerMessages = nullptr;

void popplerMessage(const QString &message, const QVariant &) {
  if (!tPopplerMessages)
    return;
  // "Error (1234): reason" -> "Error: reason": the same fault at many
  // offsets is told once.
  // One per thread: the rendering threads report their errors at the same time.
  static thread_local const QRegularExpression offset(QStringLiteral("^(\\w+) \\(\\d+\\):"));
  tPopplerMessages->append(message.trimmed().replace(offset, QStringLiteral("\\1:")));
}

void installPopplerHook() {
  static std::once_flag once;
  std::call_once(once, [] { Poppler::setDebugErrorFunction(popplerMessage, QVariant()); });
}

// Collects Poppler's messages of the calling thread while it lives.
class TPopplerMessages {
public:
  TPopplerMessages() : FPrevious(tPopplerMessages) {
    installPopplerHook();
    tPopplerMessages = &FMessages;
  }
  ~TPopplerMessages() { tPopplerMessages = FPrevious; }
  TPopplerMessages(const TPopplerMessages &) = delete;
  TPopplerMessages &operator=(const TPopplerMessages &) = delete;
  QString Text() const {
    QStringList unique;
    for (const QString &m : FMessages)
      if (!m.isEmpty() && !unique.contains(m) && unique.size() < 8)
        unique.append(m);
    return unique.join(u'\n');
  }

private:
  QStringList FMessages;
  QStringList *FPrevious;
};

bool parseRange(const QString &text, int &first, int &last) {
  static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d{1,9})\\s*(?:-\\s*(\\d{1,9})\\s*)?$"));
  const QRegularExpressionMatch m = pattern.match(text);
  if (!m.hasMatch())
    return false;
  first = m.captured(1).toInt();
  last = m.hasCaptured(2) ? m.captured(2).toInt() : first;
  return true;
}

int dotsPerMeter(double dpi) { return qRound(dpi / 0.0254); }

const char *writerFormat(TImageType type) {
  switch (type) {
  case itJPEG:
    return "jpeg";
  case itSinglePageTIFF:
    return "tiff";
  case itBitmap:
    break;
  }
  return "bmp";
}

// One page in the format asked for, in memory. Empty with *error set on failure.
QByteArray encodePage(QImage image, TImageType type, const TImageProperties &props, QString *error) {
  if (image.hasAlphaChannel())
    image = std::move(image).convertToFormat(QImage::Format_RGB32);
  image.setDotsPerMeterX(dotsPerMeter(props.DpiX));
  image.setDotsPerMeterY(dotsPerMeter(props.DpiY));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, writerFormat(type));
  if (type == itJPEG)
    writer.setQuality(std::clamp(props.JPEGQuality, 0, 100));
  if (!writer.write(image)) {
    *error = writer.errorString();
    return {};
  }
  return bytes;
}

} // namespace

// One Poppler document over the loaded bytes. Poppler documents must not be
// shared between threads, so every rendering thread opens its own.
struct TPDFHandle {
  QBuffer Buffer; // the device the document reads; outlives it
  std::unique_ptr<Poppler::Document> Document;

  ~TPDFHandle() { Document.reset(); }

  // Null with *reason set when Poppler cannot open the bytes.
  static std::unique_ptr<TPDFHandle> Open(const QByteArray &data, QString *reason) {
    auto handle = std::make_unique<TPDFHandle>();
    handle->Buffer.setData(data);
    handle->Buffer.open(QIODevice::ReadOnly);
    TPopplerMessages messages;
    handle->Document = Poppler::Document::load(&handle->Buffer);
    if (!handle->Document) {
      *reason = messages.Text();
      if (reason->isEmpty())
        *reason = QStringLiteral("not a PDF document");
      return nullptr;
    }
    if (handle->Document->isLocked()) {
      *reason = QStringLiteral("the document is protected by a password");
      return nullptr;
    }
    handle->Document->setRenderBackend(Poppler::Document::SplashBackend);
    handle->Document->setRenderHint(Poppler::Document::Antialiasing, true);
    handle->Document->setRenderHint(Poppler::Document::TextAntialiasing, true);
    return handle;
  }
};

QString ImageTypeExtension(TImageType type) {
  switch (type) {
  case itJPEG:
    return QStringLiteral(".jpeg");
  case itSinglePageTIFF:
    return QStringLiteral(".tiff");
  case itBitmap:
    break;
  }
  return QStringLiteral(".bmp");
}

QString PageImageFileName(const QString &prefix, int page, TImageType type) {
  return prefix + u'_' + QString::number(page) + ImageTypeExtension(type);
}

TPDFDocument::TPDFDocument(QObject *owner) : QObject(owner) {}

TPDFDocument::~TPDFDocument() = default;

int TPDFDocument::PageCount() const { return FHandle ? FPageCount : 0; }

void TPDFDocument::LoadFromFile(const QString &fileName) {
  const QFileInfo info(fileName);
  if (fileName.isEmpty() || !info.exists() || info.isDir())
    throw EPDFError(QStringLiteral("File Not Found"));
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    throw EPDFError(QStringLiteral("Cannot open the PDF document %1: %2").arg(fileName, file.errorString()));
  QByteArray data = file.readAll();
  if (file.error() != QFileDevice::NoError)
    throw EPDFError(QStringLiteral("Cannot read the PDF document %1: %2").arg(fileName, file.errorString()));
  file.close();
  QString reason;
  std::unique_ptr<TPDFHandle> handle = TPDFHandle::Open(data, &reason);
  if (!handle)
    throw EPDFError(QStringLiteral("Cannot load the PDF document %1: %2").arg(fileName, reason));
  FPageCount = std::max(0, handle->Document->numPages());
  FHandle = std::move(handle);
  FData = std::move(data);
  FFileName = fileName;
}

namespace {

// Renders, encodes and writes the pages of a range on worker threads, each
// with its own Poppler document. A worker writes its page completely (and
// flushed to the disk) under a pending name; the caller then gives the
// pending files their final names in ascending page order, so the page files
// appear in order and none is ever seen cut short.
class TPageWriter {
public:
  struct TPage {
    QString PendingFile; // written completely; empty on failure
    QString Error;       // why the page could not be rendered, encoded or written
  };

  TPageWriter(const QByteArray &data, int first, int last, TImageType type, const TImageProperties &props,
              const QDir &folder, const QString &prefix)
      : FData(data), FLast(last), FType(type), FProps(props), FFolder(folder), FPrefix(prefix), FNextClaim(first),
        FNextTake(first) {
    const int pages = last - first + 1;
    int threads = props.Threads > 0 ? props.Threads : QThread::idealThreadCount();
    threads = std::clamp(threads, 1, pages);
    // At most this many pages wait, written under their pending names, ahead
    // of the caller.
    FWindow = 2 * threads;
    FPool.setMaxThreadCount(threads);
    for (int i = 0; i < threads; ++i)
      FWorkers.append(QtConcurrent::run(&FPool, [this] { Work(); }));
  }

  ~TPageWriter() {
    Stop();
    for (QFuture<void> &f : FWorkers)
      f.waitForFinished();
    // Pages done but never taken: their pending files go.
    for (const auto &[page, done] : FDone)
      if (!done.PendingFile.isEmpty())
        QFile::remove(done.PendingFile);
  }

  TPageWriter(const TPageWriter &) = delete;
  TPageWriter &operator=(const TPageWriter &) = delete;

  QString FinalName(int page) const { return FFolder.filePath(PageImageFileName(FPrefix, page, FType)); }

  // Waits for a page (taken in ascending order) and hands it over.
  TPage Take(int page) {
    std::unique_lock lock(FMutex);
    FReady.wait(lock, [&] { return FDone.count(page) != 0; });
    TPage result = std::move(FDone[page]);
    FDone.erase(page);
    FNextTake = page + 1;
    FRoom.notify_all();
    return result;
  }

  // No further pages are started.
  void Stop() {
    std::lock_guard lock(FMutex);
    FStopped = true;
    FRoom.notify_all();
  }

private:
  void Work() {
    QString reason;
    std::unique_ptr<TPDFHandle> handle;
    bool opened = false;
    for (;;) {
      int page = 0;
      {
        std::unique_lock lock(FMutex);
        FRoom.wait(lock, [&] { return FStopped || FNextClaim > FLast || FNextClaim < FNextTake + FWindow; });
        if (FStopped || FNextClaim > FLast)
          return;
        page = FNextClaim++;
      }
      TPage result;
      try {
        if (!opened) {
          opened = true;
          handle = TPDFHandle::Open(FData, &reason);
        }
        if (!handle)
          result.Error = QStringLiteral("Cannot open the PDF document: %1").arg(reason);
        else
          result = Write(*handle->Document, page);
      } catch (const std::exception &e) {
        result.Error = QString::fromLocal8Bit(e.what());
      }
      std::lock_guard lock(FMutex);
      if (!result.Error.isEmpty()) {
        FStopped = true; // nothing after a failed page is written anyway
        FRoom.notify_all();
      }
      FDone[page] = std::move(result);
      FReady.notify_all();
    }
  }

  TPage Write(Poppler::Document &document, int page) const {
    TPage result;
    QByteArray bytes;
    {
      const std::unique_ptr<Poppler::Page> p = document.page(page - 1);
      QImage image;
      if (p)
        image = p->renderToImage(FProps.DpiX, FProps.DpiY);
      if (image.isNull()) {
        result.Error = QStringLiteral("Page %1 of the PDF document could not be rendered").arg(page);
        return result;
      }
      QString error;
      bytes = encodePage(std::move(image), FType, FProps, &error);
      if (bytes.isEmpty()) {
        result.Error = QStringLiteral("Page %1 could not be encoded: %2").arg(page).arg(error);
        return result;
      }
    }
    // A hidden name that no image filter takes, unique to this run.
    static std::atomic<quint64> serial{0};
    const QString pending = FFolder.filePath(QStringLiteral(".%1.%2-%3.part")
                                                 .arg(PageImageFileName(FPrefix, page, FType))
                                                 .arg(QCoreApplication::applicationPid())
                                                 .arg(++serial));
    QString error;
    if (!WriteFileAtomically(pending, bytes, &error))
      result.Error = QStringLiteral("Cannot write %1: %2").arg(FinalName(page), error);
    else
      result.PendingFile = pending;
    return result;
  }

  const QByteArray FData;
  const int FLast;
  const TImageType FType;
  const TImageProperties FProps;
  const QDir FFolder;
  const QString FPrefix;
  int FWindow = 1;

  std::mutex FMutex;
  std::condition_variable FReady; // a page was done
  std::condition_variable FRoom;  // the caller took a page, or stop
  int FNextClaim;
  int FNextTake;
  bool FStopped = false;
  std::map<int, TPage> FDone;

  QThreadPool FPool;
  QList<QFuture<void>> FWorkers;
};

} // namespace

void TPDFDocument::SaveAsImage(const QString &aPageRange, TImageType aImagetype, const QString &aLocation,
                               const QString &aFileNamePrefix, const TImageProperties *aImageProperties) {
  int first = 0;
  int last = 0;
  if (!FHandle || !parseRange(aPageRange, first, last) || first < 1 || first > last || last > FPageCount)
    throw EPDFError(QStringLiteral("Invalid page range (%1)").arg(aPageRange));
  const TImageProperties props = aImageProperties ? *aImageProperties : TImageProperties();
  if (!(props.DpiX > 0 && props.DpiX <= 4800 && props.DpiY > 0 && props.DpiY <= 4800))
    throw EPDFError(QStringLiteral("Invalid image resolution (%1 x %2 dpi)").arg(props.DpiX).arg(props.DpiY));
  if (aLocation.isEmpty() || !QFileInfo(aLocation).isDir())
    throw EPDFError(QStringLiteral("Cannot write the page images: the folder %1 does not exist").arg(aLocation));

  TPageWriter writer(FData, first, last, aImagetype, props, QDir(aLocation), aFileNamePrefix);
  for (int page = first; page <= last; ++page) {
    const TPageWriter::TPage done = writer.Take(page);
    if (!done.Error.isEmpty())
      throw EPDFError(done.Error);
    const QString fileName = writer.FinalName(page);
    if (::rename(QFile::encodeName(done.PendingFile).constData(), QFile::encodeName(fileName).constData()) != 0) {
      const QString reason = QString::fromLocal8Bit(std::strerror(errno));
      QFile::remove(done.PendingFile);
      throw EPDFError(QStringLiteral("Cannot write %1: %2").arg(fileName, reason));
    }
  }
}
