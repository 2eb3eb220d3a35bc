#pragma once

#include <QImage>

// Pixel layouts that the processing functions work on (internal to this layer).
namespace ImageProcDetail {

// Whether every colour of an indexed or 1-bit image is an opaque grey.
bool HasGreyTable(const QImage &image);

// The image in a layout of byte channels: Grayscale8 (1 channel) for grey
// images, 1-bit and indexed ones with a grey table included; RGB32, or
// ARGB32_Premultiplied where there is alpha (4 channels) for the rest.
QImage ByteChannels(const QImage &src, int &channels);

// Row access for worker threads: QImage::scanLine() on a non-const image
// runs its detach check (and bumps a counter) at every call, which is not to
// be done from several threads at once. Take the writer before the threads start.
struct TRowWriter {
  uchar *Base;
  qsizetype Stride;
  uchar *operator()(int y) const { return Base + y * Stride; }
};
inline TRowWriter RowWriter(QImage &image) { return {image.bits(), image.bytesPerLine()}; }

// Mono image with index 0 black and index 1 white.
QImage NewMono(int width, int height);

} // namespace ImageProcDetail
