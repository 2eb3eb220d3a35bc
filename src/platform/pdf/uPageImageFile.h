#pragma once

#include <QImage>
#include <QString>

// Writers of the page files of a PDF import, straight from the rendered page
// to the file, a row at a time: 24-bit BMP, baseline JPEG through libjpeg
// and uncompressed RGB TIFF through libtiff (internal to this layer). Page
// files are made again at will, so they are not flushed to the disk.

enum class TPageFileFormat { Bmp, Jpeg, Tiff };

// Largest side a JPEG file can take.
inline constexpr int MaxJpegSide = 65500;

// Writes `page` (any format; RGB32 is taken as it is) as a new file
// `fileName`, which must not exist yet; `dpiX` and `dpiY` are recorded.
// `jpegQuality` (0..100) applies to JPEG. On failure returns false with the
// reason in *error and leaves no file behind.
bool WritePageImageFile(const QImage &page, TPageFileFormat format, const QString &fileName, int dpiX, int dpiY,
                        int jpegQuality, QString *error);
