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

// Mono image with index 0 black and index 1 white.
QImage NewMono(int width, int height);

} // namespace ImageProcDetail
