#include "uIEBitmap.h"

#include "uImageProc.h"

#include <algorithm>
#include <iterator>

namespace {

bool isPaintFormat(QImage::Format format) {
  return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32_Premultiplied;
}

QImage toPaintFormat(const QImage &image) {
  if (isPaintFormat(image.format()))
    return image;
  return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
}

} // namespace

bool IsRGBFormat(QImage::Format format) {
  switch (format) {
  case QImage::Format_RGB32:
  case QImage::Format_ARGB32:
  case QImage::Format_ARGB32_Premultiplied:
  case QImage::Format_RGB888:
    return true;
  default:
    return false;
  }
}

TIEBitmap::TIEBitmap(QImage image) : FImage(std::move(image)) {}

void TIEBitmap::SetImage(QImage image) { FImage = std::move(image); }

void TIEBitmap::Allocate(int width, int height, QImage::Format format, const QColor &color) {
  if (width <= 0 || height <= 0) {
    FImage = QImage();
    return;
  }
  FImage = QImage(width, height, format);
  Fill(color);
}

void TIEBitmap::Fill(const QColor &color) {
  if (FImage.isNull())
    return;
  const QImage::Format f = FImage.format();
  if (f == QImage::Format_Mono || f == QImage::Format_MonoLSB || f == QImage::Format_Indexed8)
    FImage = QImage(FImage.width(), FImage.height(), QImage::Format_RGB888);
  FImage.fill(color);
}

int TIEBitmap::ChannelOffset(int channel) const { return channel >= 0 && channel < 4 ? FChannelOffset[channel] : 0; }

void TIEBitmap::SetChannelOffset(int channel, int value) {
  if (channel >= 0 && channel < 4)
    FChannelOffset[channel] = value;
}

bool TIEBitmap::HasDisplayAdjust() const {
  return FChannelOffset[0] != 0 || FChannelOffset[1] != 0 || FChannelOffset[2] != 0 || FContrast != 0;
}

void TIEBitmap::AssignDisplayParams(const TIEBitmap &source) {
  for (int i = 0; i < 4; ++i)
    FChannelOffset[i] = source.FChannelOffset[i];
  FContrast = source.FContrast;
}

QImage TIEBitmap::DisplayImage() const {
  if (FImage.isNull())
    return {};
  if (!HasDisplayAdjust() && isPaintFormat(FImage.format())) {
    FDisplay = QImage();
    return FImage;
  }
  const int params[4] = {FChannelOffset[0], FChannelOffset[1], FChannelOffset[2], FContrast};
  const bool same = !FDisplay.isNull() && FDisplayKey == FImage.cacheKey() &&
                    std::equal(std::begin(params), std::end(params), std::begin(FDisplayParams));
  if (!same) {
    QImage shown =
        HasDisplayAdjust() ? ImageProc::ApplyDisplayAdjust(FImage, params[0], params[1], params[2], params[3]) : FImage;
    FDisplay = toPaintFormat(shown);
    FDisplayKey = FImage.cacheKey();
    std::copy(std::begin(params), std::end(params), std::begin(FDisplayParams));
  }
  return FDisplay;
}
