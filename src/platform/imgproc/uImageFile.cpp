#include "uImageFile.h"

#include "uAtomicFile.h"
#include "uException.h"
#include "uImageHeader.h"
#include "uLeptonica.h"
#include "uPlatformText.h"
#include "uRegularFile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <cmath>
#include <condition_variable>
#include <leptonica/allheaders.h>
#include <mutex>

namespace {

struct TFormatEntry {
  const char *Description;
  QStringList Extensions;
};

// The one list of readable formats: the open filter, the folder fill and the
// extension test all come from it.
const QList<TFormatEntry> &formatTable() {
  static const QList<TFormatEntry> table = {
      {"PNG", {"png"}},
      {"JPEG", {"jpg", "jpeg", "jpe"}},
      {"TIFF", {"tif", "tiff"}},
      {"Windows Bitmap", {"bmp", "dib"}},
      {"GIF", {"gif"}},
      {"WebP", {"webp"}},
      {"Portable Any Map", {"pbm", "pgm", "ppm", "pnm", "pam"}},
      {"JPEG 2000", {"jp2", "j2k", "j2c", "jpc"}},
  };
  return table;
}

// Formats Qt has no reader for here; Leptonica decodes them.
bool isLeptonicaFormat(const QByteArray &format) { return format == "jp2" || format == "j2k" || format == "pam"; }

// Qt refuses to allocate pictures above its allocation limit (256 MB by
// default); the limit is set once so that every picture up to MaxImagePixels
// fits even at 8 bytes per pixel. The pixel limit itself is checked by us.
void setUpReaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Leptonica's warnings (a JPEG 2000 file without a resolution box ...)
    // would fill the error output of every thumbnail thread; errors stay.
    setMsgSeverity(L_SEVERITY_ERROR);
    const qint64 mb = MaxImagePixels * 8 / (1024 * 1024) + 1;
    if (QImageReader::allocationLimit() < mb)
      QImageReader::setAllocationLimit(static_cast<int>(mb));
  });
}

QString shown(const QString &fileName) { return QFileInfo(fileName).absoluteFilePath(); }

[[noreturn]] void fail(const QString &fileName, const QString &reason) {
  throw EPlatformError(
      PlatformFormat("error_imgRead", "Cannot read the image file \"%s\": %s", {shown(fileName), reason}));
}

QString damaged() { return PlatformText("error_imgFormat", "the file is damaged or its format is not supported."); }

void checkSize(const QString &fileName, qint64 width, qint64 height) {
  if (width == 0 || height == 0)
    fail(fileName, PlatformText("error_imgNoPixels", "the file is damaged (its picture has no pixels)."));
  if (width > 0 && height > 0 && (width > MaxImagePixels || height > MaxImagePixels || width * height > MaxImagePixels))
    fail(fileName, PlatformFormat("error_imgTooLarge",
                                  "the picture is too large (%d x %d pixels; at most %d million pixels can be opened).",
                                  {width, height, MaxImagePixels / 1'000'000}));
}

// Formats whose decoders take the whole file at once (Leptonica's, Qt's WebP
// reader): the file may be no larger than a picture of the size its header
// gives can be, even at 16 bits for each of four channels.
void checkBody(const QString &fileName, const TImageHeader &header, qint64 fileSize) {
  if (header.Width <= 0 || header.Height <= 0)
    fail(fileName, damaged());
  const qint64 bound = header.Width * header.Height * 8 + (qint64(1) << 20);
  if (fileSize > bound)
    fail(fileName, PlatformFormat("error_imgBody",
                                  "the file is damaged (%d bytes are more than a picture of %d x %d pixels can take).",
                                  {fileSize, header.Width, header.Height}));
}

// Decodes with Leptonica what Qt cannot read; raises on failure.
QImage readWithLeptonica(const QString &fileName, QFile &file, int reduction) {
  const QByteArray bytes = file.readAll();
  if (bytes.isEmpty())
    fail(fileName, file.error() != QFileDevice::NoError ? file.errorString() : damaged());
  int w = 0, h = 0;
  if (!Lept::ReadHeader(bytes, w, h))
    fail(fileName, damaged());
  checkSize(fileName, w, h);
  Lept::TPix pix = Lept::ReadMem(bytes, reduction);
  if (!pix)
    fail(fileName, damaged());
  QImage image = Lept::ToQImage(pix.get());
  if (image.isNull())
    fail(fileName, PlatformText("error_imgConvert",
                                "its picture could not be converted (out of memory or unusual pixel layout)."));
  return image;
}

// Thumbnails are read on several threads at once; the pictures they decode
// on the way (at full size for most formats) take at most this much memory
// together. A decode waits until the others leave room for it; one alone may
// take more.
class TDecodeBudget {
public:
  void Acquire(qint64 cost) {
    std::unique_lock lock(FMutex);
    FRoom.wait(lock, [&] { return FInUse == 0 || FInUse + cost <= FLimit; });
    FInUse += cost;
  }
  qint64 Limit() {
    std::lock_guard lock(FMutex);
    return FLimit;
  }
  void SetLimit(qint64 bytes) {
    std::lock_guard lock(FMutex);
    FLimit = std::max<qint64>(bytes, 0);
    FRoom.notify_all();
  }
  void Release(qint64 cost) {
    std::lock_guard lock(FMutex);
    FInUse -= cost;
    FRoom.notify_all();
  }

private:
  std::mutex FMutex;
  std::condition_variable FRoom;
  qint64 FInUse = 0;
  qint64 FLimit = DefaultThumbnailDecodeBudget;
};

TDecodeBudget &decodeBudget() {
  static TDecodeBudget budget;
  return budget;
}

class TDecodeShare {
public:
  explicit TDecodeShare(qint64 cost) : FCost(cost) {
    if (FCost > 0)
      decodeBudget().Acquire(FCost);
  }
  ~TDecodeShare() {
    if (FCost > 0)
      decodeBudget().Release(FCost);
  }
  TDecodeShare(const TDecodeShare &) = delete;
  TDecodeShare &operator=(const TDecodeShare &) = delete;

private:
  qint64 FCost;
};

// What decoding a thumbnail of a picture takes: JPEG and JPEG 2000 decode at
// a reduced size, the others at full size (4 bytes a pixel, the reduced copy
// besides).
qint64 thumbnailDecodeCost(const TImageHeader &header, QSize box, int reduction) {
  if (header.Width <= 0 || header.Height <= 0)
    return 0;
  qint64 w = header.Width, h = header.Height;
  if (header.Format == "jpeg")
    while (reduction < 8 && w / (reduction * 2) >= box.width() && h / (reduction * 2) >= box.height())
      reduction *= 2;
  w /= reduction;
  h /= reduction;
  return w * h * 4 + qint64(box.width()) * box.height() * 4;
}

// Opens a file that may hold a picture: a regular file that is not empty.
void openPictureFile(QFile &file, const QString &fileName) {
  QString reason;
  switch (OpenRegularFile(file, fileName, &reason)) {
  case TFileKind::Regular:
    break;
  case TFileKind::Missing:
    // The same text as when the workspace finds the file gone before it reads.
    throw EPlatformError(PlatformText("error_nonFile", "The image file no longer exists."));
  case TFileKind::Folder:
    fail(fileName, PlatformText("error_fileFolder", "it is a folder."));
  case TFileKind::Special:
    fail(fileName, PlatformText("error_fileSpecial", "it is a device, a pipe or a socket, not a file."));
  case TFileKind::Unreadable:
    fail(fileName, reason + u'.');
  }
  if (file.size() == 0)
    fail(fileName, PlatformText("error_fileEmpty", "the file is empty."));
}

QImage read(const QString &fileName, TImageFileInfo *info, QSize thumbnailBox, TImageOrientation orientation) {
  setUpReaders();
  QFile file;
  openPictureFile(file, fileName);
  // The header decides: content of no known format, or a picture too large,
  // is refused before any more of the file is read.
  TImageHeader header;
  if (!ProbeImageHeader(file, header))
    fail(fileName, damaged());
  checkSize(fileName, header.Width, header.Height);
  if (info) {
    info->DpiX = header.DpiX;
    info->DpiY = header.DpiY;
    info->Format = header.Format;
  }
  const bool thumbnail = thumbnailBox.isValid();
  if (isLeptonicaFormat(header.Format)) {
    checkBody(fileName, header, file.size());
    int reduction = 1;
    if (thumbnail && header.Format != "pam")
      while (reduction < 16 && header.Width / (reduction * 2) >= thumbnailBox.width() &&
             header.Height / (reduction * 2) >= thumbnailBox.height())
        reduction *= 2;
    const TDecodeShare share(thumbnail ? thumbnailDecodeCost(header, thumbnailBox, reduction) + file.size() : 0);
    return readWithLeptonica(fileName, file, reduction);
  }
  if (header.Format == "webp")
    checkBody(fileName, header, file.size());
  const TDecodeShare share(thumbnail ? thumbnailDecodeCost(header, thumbnailBox, 1) : 0);
  QImageReader reader(&file, header.Format);
  reader.setAutoTransform(orientation == TImageOrientation::Upright);
  if (!reader.canRead())
    fail(fileName, damaged());
  const QSize size = reader.size();
  if (size.isValid())
    checkSize(fileName, size.width(), size.height());
  if (thumbnail && size.isValid() && (size.width() > thumbnailBox.width() || size.height() > thumbnailBox.height()))
    reader.setScaledSize(size.scaled(thumbnailBox, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
  QImage image = reader.read();
  if (image.isNull()) {
    const QString reason = reader.errorString();
    fail(fileName,
         reason.isEmpty() ? damaged() : PlatformFormat("error_imgDecode", "the file is damaged (%s).", {reason}));
  }
  return image;
}

// Writer format for a file name's extension; raises for what cannot be written.
QByteArray writeFormat(const QString &fileName, const QImage &image) {
  const QString ext = QFileInfo(fileName).suffix().toLower();
  if (ext == "png")
    return "png";
  if (ext == "jpg" || ext == "jpeg" || ext == "jpe")
    return "jpeg";
  if (ext == "bmp" || ext == "dib")
    return "bmp";
  if (ext == "tif" || ext == "tiff")
    return "tiff";
  if (ext == "webp")
    return "webp";
  if (ext == "pbm" || ext == "pgm" || ext == "ppm")
    return ext.toLatin1();
  if (ext == "pnm") {
    if (image.depth() == 1)
      return "pbm";
    return image.isGrayscale() ? "pgm" : "ppm";
  }
  if (ext == "pam")
    return "pam";
  if (ext == "jp2" || ext == "j2k" || ext == "j2c" || ext == "jpc")
    return "jp2";
  if (ext == "gif")
    throw EPlatformError(QStringLiteral("Cannot write the image file \"%1\": GIF files can be read but not written; "
                                        "save the picture as PNG instead.")
                             .arg(shown(fileName)));
  throw EPlatformError(
      QStringLiteral(
          "Cannot write the image file \"%1\": the extension \"%2\" names no image format that can be written.")
          .arg(shown(fileName), ext));
}

} // namespace

const QStringList &ReadableImageExtensions() {
  static const QStringList extensions = [] {
    QStringList out;
    for (const TFormatEntry &e : formatTable())
      out << e.Extensions;
    return out;
  }();
  return extensions;
}

QString ImageOpenFilter() {
  auto patterns = [](const QStringList &exts) {
    QStringList p;
    for (const QString &e : exts)
      p << QStringLiteral("*.") + e;
    return p.join(';');
  };
  QStringList parts;
  parts << QStringLiteral("All images") << patterns(ReadableImageExtensions());
  for (const TFormatEntry &e : formatTable())
    parts << QString::fromLatin1(e.Description) << patterns(e.Extensions);
  return parts.join('|');
}

bool HasReadableImageExtension(const QString &fileName) {
  const QString ext = QFileInfo(fileName).suffix().toLower();
  return !ext.isEmpty() && ReadableImageExtensions().contains(ext);
}

QImage ReadImageFile(const QString &fileName, TImageFileInfo *info, TImageOrientation orientation) {
  try {
    return read(fileName, info, QSize(), orientation);
  } catch (const std::bad_alloc &) {
    fail(fileName, PlatformText("error_imgMemory", "there is not enough memory for its picture."));
  }
}

QImage ReadThumbnail(const QString &fileName, QSize box) {
  try {
    if (box.isEmpty())
      return {};
    QImage image = read(fileName, nullptr, box, TImageOrientation::AsStored);
    if (image.width() > box.width() || image.height() > box.height())
      image = image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
  } catch (...) {
    return {};
  }
}

qint64 ThumbnailDecodeBudget() { return decodeBudget().Limit(); }

void SetThumbnailDecodeBudget(qint64 bytes) { decodeBudget().SetLimit(bytes); }

int RecordedDpiX(const QString &fileName) {
  QFile file;
  if (OpenRegularFile(file, fileName) != TFileKind::Regular)
    return 0;
  TImageHeader header;
  if (!ProbeImageHeader(file, header))
    return 0;
  return header.DpiX;
}

void WriteImageFile(const QString &fileName, const QImage &image, int dpiX, int dpiY) {
  if (image.isNull())
    throw EPlatformError(
        QStringLiteral("Cannot write the image file \"%1\": there is no picture.").arg(shown(fileName)));
  const QByteArray format = writeFormat(fileName, image);
  if (dpiX <= 0)
    dpiX = dpiY > 0 ? dpiY : 0;
  if (dpiY <= 0)
    dpiY = dpiX;
  QByteArray bytes;
  try {
    if (format == "jp2") {
      bytes = Lept::WriteJp2k(image, dpiX, dpiY);
    } else if (format == "pam") {
      bytes = Lept::WritePam(image);
    } else {
      QImage out = image;
      if (dpiX > 0) {
        out.setDotsPerMeterX(static_cast<int>(std::lround(dpiX / 0.0254)));
        out.setDotsPerMeterY(static_cast<int>(std::lround(dpiY / 0.0254)));
      }
      QBuffer buffer(&bytes);
      buffer.open(QIODevice::WriteOnly);
      QImageWriter writer(&buffer, format);
      if (format == "jpeg")
        writer.setQuality(90);
      else if (format == "webp")
        writer.setQuality(100); // lossless
      else if (format == "tiff")
        writer.setCompression(1); // LZW
      if (!writer.write(out))
        throw EPlatformError(
            QStringLiteral("Cannot write the image file \"%1\": %2.").arg(shown(fileName), writer.errorString()));
      buffer.close();
      if (dpiX <= 0)
        bytes = WithoutRecordedResolution(bytes, format);
    }
  } catch (const std::bad_alloc &) {
    bytes.clear();
  }
  if (bytes.isEmpty())
    throw EPlatformError(
        QStringLiteral("Cannot write the image file \"%1\": the picture could not be encoded.").arg(shown(fileName)));
  QString error;
  if (!WriteFileAtomically(fileName, bytes, &error))
    throw EPlatformError(QStringLiteral("Cannot write the image file \"%1\": %2.").arg(shown(fileName), error));
}
