#pragma once

#include "uPageRenderer.h"

#include <QString>

// Writers of the page files of a PDF import, straight from the renderer's
// rows to the file: 24-bit BMP, baseline JPEG through libjpeg and
// uncompressed RGB TIFF through libtiff (internal to this layer). Rows in the
// order and layout that the format keeps are written as they are, without a
// copy; others are repacked a few rows at a time. Page files are made again
// at will, so they are not flushed to the disk.

enum class TPageFileFormat { Bmp, Jpeg, Tiff };

// Largest side a JPEG file can take.
inline constexpr int MaxJpegSide = 65500;

// The layout of the rows that each format writes without repacking: BMP rows
// are B, G, R padded to 4 bytes, the others R, G, B packed.
inline TPageRaster::TOrder PageFileOrder(TPageFileFormat format) {
  return format == TPageFileFormat::Bmp ? TPageRaster::TOrder::Bgr : TPageRaster::TOrder::Rgb;
}
inline int PageFileRowPad(TPageFileFormat format) { return format == TPageFileFormat::Bmp ? 4 : 1; }

// Writes `page` as a new file `fileName`, which must not exist yet; `dpiX`
// and `dpiY` are recorded. `jpegQuality` (0..100) applies to JPEG. On failure
// returns false with the reason in *error and leaves no file behind.
bool WritePageImageFile(const TPageRaster &page, TPageFileFormat format, const QString &fileName, int dpiX, int dpiY,
                        int jpegQuality, QString *error);
