#include "uPDFDocument.h"

#include "uImageFile.h"
#include "uPageImageFile.h"
#include "uPageRenderer.h"
#include "uPlatformText.h"
#include "uRegularFile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <poppler-qt6.h>
#include <thread>
#include <vector>

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

TPageFileFormat fileFormat(TImageType type) {
  switch (type) {
  case itJPEG:
    return TPageFileFormat::Jpeg;
  case itSinglePageTIFF:
    return TPageFileFormat::Tiff;
  case itBitmap:
    break;
  }
  return TPageFileFormat::Bmp;
}

qint64 renderCost(QSize pixels) { return PageRenderMemory(pixels.width(), pixels.height()); }

QString number(double v) { return QString::number(v, 'g', 6); }

} // namespace

// The Poppler-Qt6 document over the loaded bytes: it checks the file and
// tells the page count and sizes. The pages are rendered by TPageRenderer,
// one per rendering thread, each with a document of its own.
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
        *reason = PlatformText("error_pdfNotPdf", "not a PDF document");
      return nullptr;
    }
    if (handle->Document->isLocked()) {
      *reason = PlatformText("error_pdfLocked", "the document is protected by a password");
      return nullptr;
    }
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
  QFile file;
  QString reason;
  switch (OpenRegularFile(file, fileName, &reason)) {
  case TFileKind::Regular:
    break;
  case TFileKind::Missing:
  case TFileKind::Folder:
    throw EPDFError(QStringLiteral("File Not Found"));
  case TFileKind::Special:
    reason = PlatformText("error_fileSpecial", "it is a device, a pipe or a socket, not a file.");
    [[fallthrough]];
  case TFileKind::Unreadable:
    throw EPDFError(PlatformFormat("error_pdfOpen", "Cannot open the PDF document %s: %s", {fileName, reason}));
  }
  if (file.size() > MaxPDFFileSize)
    throw EPDFError(PlatformFormat("error_pdfFileSize", "Cannot open the PDF document %s: it is larger than %d MB.",
                                   {fileName, MaxPDFFileSize >> 20}));
  QByteArray data = file.readAll();
  if (file.error() != QFileDevice::NoError)
    throw EPDFError(
        PlatformFormat("error_pdfOpen", "Cannot open the PDF document %s: %s", {fileName, file.errorString()}));
  file.close();
  std::unique_ptr<TPDFHandle> handle = TPDFHandle::Open(data, &reason);
  if (!handle)
    throw EPDFError(PlatformFormat("error_pdfLoad", "Cannot load the PDF document %s: %s", {fileName, reason}));
  FPageCount = std::max(0, handle->Document->numPages());
  FHandle = std::move(handle);
  FData = std::move(data);
  FFileName = fileName;
}

QSize TPDFDocument::PagePixelSize(int page, double dpiX, double dpiY) const {
  if (!FHandle || page < 1 || page > FPageCount)
    return {};
  const std::unique_ptr<Poppler::Page> p = FHandle->Document->page(page - 1);
  if (!p)
    return {};
  // As Splash sizes its bitmap: the (turned) crop box at the resolution,
  // rounded, at least one pixel.
  const QSizeF points = p->pageSizeF();
  auto pixels = [](double pt, double dpi) {
    const double v = pt * dpi / 72.0 + 0.5;
    return !(v >= 1) ? 1 : v >= double(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max() : int(v);
  };
  return {pixels(points.width(), dpiX), pixels(points.height(), dpiY)};
}

TPDFDocument::TRange TPDFDocument::CheckedRange(const QString &aPageRange, TImageType aImagetype,
                                                const TImageProperties &props) const {
  TRange range;
  if (!FHandle || !parseRange(aPageRange, range.First, range.Last) || range.First < 1 || range.First > range.Last ||
      range.Last > FPageCount)
    throw EPDFError(QStringLiteral("Invalid page range (%1)").arg(aPageRange));
  if (!(props.DpiX > 0 && props.DpiX <= 4800 && props.DpiY > 0 && props.DpiY <= 4800))
    throw EPDFError(PlatformFormat("error_pdfResolution", "Invalid image resolution (%s x %s dpi)",
                                   {number(props.DpiX), number(props.DpiY)}));
  for (int page = range.First; page <= range.Last; ++page) {
    const QSize px = PagePixelSize(page, props.DpiX, props.DpiY);
    const std::unique_ptr<Poppler::Page> p = FHandle->Document->page(page - 1);
    const QSizeF pt = p ? p->pageSizeF() : QSizeF();
    if (px.isEmpty() || qint64(px.width()) * px.height() > MaxImagePixels)
      throw EPDFError(PlatformFormat(
          "error_pdfPageSize",
          "Page %d of the document is too large for a picture: %s by %s points give %d by %d pixels at %s dpi, "
          "and at most %d million pixels can be opened.",
          {page, number(pt.width()), number(pt.height()), px.width(), px.height(), number(props.DpiX),
           MaxImagePixels / 1'000'000}));
    if (aImagetype == itJPEG && (px.width() > MaxJpegSide || px.height() > MaxJpegSide))
      throw EPDFError(PlatformFormat(
          "error_pdfPageJpeg",
          "Page %d of the document is too large for a JPEG file: %s by %s points give %d by %d pixels at %s dpi, "
          "and a JPEG file holds at most %d pixels a side.",
          {page, number(pt.width()), number(pt.height()), px.width(), px.height(), number(props.DpiX), MaxJpegSide}));
    range.Pixels.append(px);
  }
  return range;
}

void TPDFDocument::CheckPages(const QString &aPageRange, TImageType aImagetype,
                              const TImageProperties *aImageProperties) const {
  (void)CheckedRange(aPageRange, aImagetype, aImageProperties ? *aImageProperties : TImageProperties());
}

namespace {

// Renders and writes the pages of a range on worker threads, each with its
// own renderer kept for all the pages it takes. A page is started when the
// pages under way and the bitmaps kept from the last pages leave room for it
// in the memory budget (or when none is under way); a worker that finds no
// room lets its own bitmap go, so that the kept ones never hold up a page. At
// most a few pages wait ahead of the caller. A worker writes its page completely
// under a pending name; the caller then gives the pending files their final
// names in ascending page order, so the page files appear in order and none
// is ever seen cut short.
class TPageWriter {
public:
  struct TPage {
    QString PendingFile; // written completely; empty on failure
    QString Error;       // why the page could not be rendered or written
  };

  TPageWriter(const QByteArray &data, int first, const QList<QSize> &pixels, TImageType type,
              const TImageProperties &props, const QDir &folder, const QString &prefix)
      : FData(data), FFirst(first), FLast(first + static_cast<int>(pixels.size()) - 1), FPixels(pixels), FType(type),
        FProps(props), FFolder(folder), FPrefix(prefix),
        FBudget(props.MemoryBudget > 0 ? props.MemoryBudget : DefaultPageMemory), FNextClaim(first), FNextTake(first) {
    const int pages = FLast - first + 1;
    int threads = props.Threads > 0 ? props.Threads : QThread::idealThreadCount();
    threads = std::clamp(threads, 1, pages);
    // At most this many pages wait, written under their pending names, ahead
    // of the caller.
    FWindow = 2 * threads;
    TPageRenderer::PrepareThreads();
    FWorkers.reserve(size_t(threads));
    for (int i = 0; i < threads; ++i)
      FWorkers.emplace_back([this] { Work(); });
  }

  ~TPageWriter() {
    Stop();
    for (std::thread &t : FWorkers)
      t.join();
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

  // The most memory that the pages under way held at once, by the estimate.
  qint64 PeakInFlight() {
    std::lock_guard lock(FMutex);
    return FPeak;
  }

private:
  qint64 Cost(int page) const { return renderCost(FPixels.at(page - FFirst)); }

  bool WindowOpen() const { return FNextClaim <= FLast && FNextClaim < FNextTake + FWindow; }

  // Whether the next page fits beside the others under way, for a worker
  // whose own bitmap (`kept`, counted in FInFlight) makes room for it.
  bool Fits(qint64 kept) const {
    const qint64 others = FInFlight - kept;
    return others == 0 || others + Cost(FNextClaim) <= FBudget;
  }

  void Work() {
    std::unique_ptr<TPageRenderer> renderer;
    bool opened = false;
    QString reason;
    // The bitmap this worker holds from its last page, counted in FInFlight.
    qint64 kept = 0;
    // Lets the bitmap go, with the lock held on entry and on return.
    auto drop = [&](std::unique_lock<std::mutex> &lock) {
      const qint64 bytes = kept;
      FIdleKept -= bytes; // nobody waits for this worker to let it go
      lock.unlock();
      if (renderer)
        renderer->Release();
      lock.lock();
      FInFlight -= bytes;
      kept = 0;
      FRoom.notify_all();
    };
    for (;;) {
      int page = 0;
      qint64 cost = 0;
      {
        std::unique_lock lock(FMutex);
        for (;;) {
          if (FStopped || FNextClaim > FLast) {
            if (kept > 0)
              drop(lock);
            return;
          }
          if (WindowOpen()) {
            if (Fits(kept))
              break;
            // No room: an idle worker's bitmap goes first, this one's too.
            if (kept > 0) {
              drop(lock);
              continue;
            }
            if (FIdleKept > 0)
              FRoom.notify_all();
          }
          FRoom.wait(lock);
        }
        page = FNextClaim++;
        cost = Cost(page);
        // The renderer lets the last bitmap go before it makes one of
        // another size, and keeps one of the same size.
        FIdleKept -= kept;
        FInFlight += cost - kept;
        kept = cost;
        FPeak = std::max(FPeak, FInFlight);
      }
      TPage result;
      try {
        if (!opened) {
          opened = true;
          TPopplerMessages messages;
          renderer = std::make_unique<TPageRenderer>(FData, PageFileOrder(fileFormat(FType)),
                                                     PageFileRowPad(fileFormat(FType)));
          if (!renderer->IsOpen()) {
            renderer.reset();
            reason = messages.Text();
            if (reason.isEmpty())
              reason = PlatformText("error_pdfNotPdf", "not a PDF document");
          }
        }
        if (!renderer)
          result.Error = PlatformFormat("error_pdfOpenAgain", "Cannot open the PDF document: %s", {reason});
        else
          result = Write(*renderer, page);
      } catch (const std::bad_alloc &) {
        result = {};
        result.Error = PlatformFormat("error_pdfMemory",
                                      "There is not enough memory to render page %d of the PDF document.", {page});
      } catch (const std::exception &e) {
        result = {};
        result.Error = ExceptionMessage(e);
      } catch (...) {
        result = {};
        result.Error = PlatformFormat("error_pdfRender", "Page %d of the PDF document could not be rendered.", {page});
      }
      // The bitmap stays for the next page, with the fonts read so far,
      // counted in the budget until it goes.
      std::lock_guard lock(FMutex);
      FIdleKept += kept;
      if (!result.Error.isEmpty())
        FStopped = true; // nothing after a failed page is written anyway
      FDone[page] = std::move(result);
      FReady.notify_all();
      FRoom.notify_all();
    }
  }

  TPage Write(TPageRenderer &renderer, int page) const {
    TPage result;
    const QSize expected = FPixels.at(page - FFirst);
    const TPageRaster raster = renderer.Render(page, FProps.DpiX, FProps.DpiY);
    if (raster.IsNull()) {
      result.Error = PlatformFormat("error_pdfRender", "Page %d of the PDF document could not be rendered.", {page});
      return result;
    }
    // Splash falls back to a blank pixel when it cannot make the bitmap:
    // a picture of another size is a failure, never a page.
    if (QSize(raster.Width, raster.Height) != expected) {
      result.Error = PlatformFormat(
          "error_pdfRenderSize",
          "Page %d of the PDF document came out as %d by %d pixels instead of %d by %d; it was not written.",
          {page, raster.Width, raster.Height, expected.width(), expected.height()});
      return result;
    }
    // A hidden name that no image filter takes, unique to this run.
    static std::atomic<quint64> serial{0};
    const QString pending = FFolder.filePath(QStringLiteral(".%1.%2-%3.part")
                                                 .arg(PageImageFileName(FPrefix, page, FType))
                                                 .arg(QCoreApplication::applicationPid())
                                                 .arg(++serial));
    QString error;
    if (!WritePageImageFile(raster, fileFormat(FType), pending, qRound(FProps.DpiX), qRound(FProps.DpiY),
                            std::clamp(FProps.JPEGQuality, 0, 100), &error))
      result.Error = PlatformFormat("error_pdfWrite", "Cannot write %s: %s", {FinalName(page), error});
    else
      result.PendingFile = pending;
    return result;
  }

  const QByteArray FData;
  const int FFirst;
  const int FLast;
  const QList<QSize> FPixels;
  const TImageType FType;
  const TImageProperties FProps;
  const QDir FFolder;
  const QString FPrefix;
  const qint64 FBudget;
  int FWindow = 1;

  std::mutex FMutex;
  std::condition_variable FReady; // a page was done
  std::condition_variable FRoom;  // the caller took a page, a page was done, or stop
  int FNextClaim;
  int FNextTake;
  qint64 FInFlight = 0; // pages under way and the bitmaps kept from the last ones
  qint64 FIdleKept = 0; // the bitmaps kept by workers that render nothing now
  qint64 FPeak = 0;
  bool FStopped = false;
  std::map<int, TPage> FDone;

  std::vector<std::thread> FWorkers;
};

} // namespace

void TPDFDocument::SaveAsImage(const QString &aPageRange, TImageType aImagetype, const QString &aLocation,
                               const QString &aFileNamePrefix, const TImageProperties *aImageProperties) {
  const TImageProperties props = aImageProperties ? *aImageProperties : TImageProperties();
  const TRange range = CheckedRange(aPageRange, aImagetype, props);
  if (aLocation.isEmpty() || !QFileInfo(aLocation).isDir())
    throw EPDFError(
        PlatformFormat("error_pdfFolder", "Cannot write the page images: the folder %s does not exist", {aLocation}));

  FPeakRenderMemory = 0;
  TPageWriter writer(FData, range.First, range.Pixels, aImagetype, props, QDir(aLocation), aFileNamePrefix);
  for (int page = range.First; page <= range.Last; ++page) {
    const TPageWriter::TPage done = writer.Take(page);
    FPeakRenderMemory = writer.PeakInFlight();
    if (!done.Error.isEmpty())
      throw EPDFError(done.Error);
    const QString fileName = writer.FinalName(page);
    if (::rename(QFile::encodeName(done.PendingFile).constData(), QFile::encodeName(fileName).constData()) != 0) {
      const QString reason = QString::fromLocal8Bit(std::strerror(errno));
      QFile::remove(done.PendingFile);
      throw EPDFError(PlatformFormat("error_pdfWrite", "Cannot write %s: %s", {fileName, reason}));
    }
  }
}
