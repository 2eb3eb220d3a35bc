#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

// Reading and writing image files: Qt's image I/O, with Leptonica for the
// formats Qt lacks (JPEG 2000). The format of a file being read is detected
// from its content; the format of a file being written from its extension.

// What a file records beside its pixels.
struct TImageFileInfo {
  int DpiX = 0; // recorded resolution; 0 when the file records none
  int DpiY = 0;
  QByteArray Format; // detected format, lower case ("png", "jpeg", "tiff", "jp2" ...)
};

// Largest picture decoded, in pixels; larger ones are refused, not decoded.
inline constexpr qint64 MaxImagePixels = 250'000'000;

// Extensions (lower case, without the dot) of every format the program reads.
const QStringList &ReadableImageExtensions();
// Open-dialog filter "All images|*.png;*.jpg;...|PNG|*.png|..." in the
// "description|pattern" form of the Windows file dialogs, which
// TFileDialogRequest::Filter (uDialogs.h) takes.
QString ImageOpenFilter();
// Whether a file name's extension (without regard to case) is readable.
bool HasReadableImageExtension(const QString &fileName);

// How a picture whose file records an orientation (the EXIF orientation of
// JPEG, the orientation tag of TIFF ...) is given.
enum class TImageOrientation {
  AsStored, // the pixels as the file stores them
  Upright,  // turned and mirrored the way the file says it is to be shown
};

// Reads a whole image. Raises EPlatformError with a message naming the file
// and the reason when the file cannot be read or its picture is too large.
// The size is checked from the file's header before any pixel is decoded.
// Multi-page and animated files give their first picture.
QImage ReadImageFile(const QString &fileName, TImageFileInfo *info = nullptr,
                     TImageOrientation orientation = TImageOrientation::AsStored);
// Reads a picture reduced to fit into `box` (keeping its aspect ratio), for
// thumbnails; decodes at reduced size where the format allows it (JPEG, JPEG
// 2000). A null image when the file cannot be read; never raises. A picture
// that fits already keeps its size. Safe to call from several threads at
// once: the pictures decoded on the way take at most ThumbnailDecodeBudget()
// together (a call waits for room; a single one may take more).
QImage ReadThumbnail(const QString &fileName, QSize box);
inline constexpr qint64 DefaultThumbnailDecodeBudget = qint64(512) << 20;
qint64 ThumbnailDecodeBudget();
void SetThumbnailDecodeBudget(qint64 bytes);
// The horizontal resolution the file records, read from its header; 0 when
// it records none or cannot be read.
int RecordedDpiX(const QString &fileName);

// Writes an image in the format its extension names, replacing the file
// atomically (a failure leaves the previous file as it was). The resolution
// is recorded where the format allows it and dpi > 0. Raises EPlatformError.
// Written: png, jpg/jpeg/jpe (quality 90), bmp/dib, tif/tiff (LZW), webp
// (lossless), pbm/pgm/ppm, pnm (pbm, pgm or ppm after the picture), pam and
// jp2/j2k/j2c/jpc (JPEG 2000 file, lossless). GIF is refused: it can only be
// read. With dpi 0 the file records no resolution (a dpiY of 0 follows dpiX).
void WriteImageFile(const QString &fileName, const QImage &image, int dpiX = 0, int dpiY = 0);
