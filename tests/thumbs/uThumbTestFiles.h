#pragma once

#include "uImgTestFiles.h"
#include "uTestFiles.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>

// Image files for the thumbnail list's tests.
namespace ThumbTestFiles {

using ImgTestFiles::PngHeaderOnly;

// Writes a picture of one colour; the format follows the extension.
inline bool WriteImage(const QString &path, QColor color, QSize size = QSize(120, 90)) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(color);
  return image.save(path, nullptr, 95);
}

// A distinct colour for each number, far enough apart to survive JPEG.
inline QColor NumberColor(int n) { return QColor::fromHsv((n * 37) % 360, 255, 230); }

// Whether two colours differ by at most `tolerance` in each channel.
inline bool NearColor(QColor a, QColor b, int tolerance = 24) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

// The colour in the middle of a picture; invalid for a null picture.
inline QColor CentreColor(const QImage &image) {
  return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
}

} // namespace ThumbTestFiles
