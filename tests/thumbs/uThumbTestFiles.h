#pragma once

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>

// Image files for the thumbnail list's tests.
namespace ThumbTestFiles {

// Writes a picture of one colour; the format follows the extension.
inline bool WriteImage(const QString &path, QColor color, QSize size = QSize(120, 90)) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(color);
  return image.save(path, nullptr, 95);
}

inline bool WriteBytes(const QString &path, const QByteArray &bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
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

// A PNG whose header claims a picture of width x height pixels, followed by
// no pixel data.
inline QByteArray PngHeaderOnly(quint32 width, quint32 height) {
  auto be32 = [](quint32 v) {
    QByteArray b(4, '\0');
    b[0] = char(v >> 24);
    b[1] = char(v >> 16);
    b[2] = char(v >> 8);
    b[3] = char(v);
    return b;
  };
  auto crc32 = [](const QByteArray &data) {
    quint32 crc = 0xFFFFFFFFu;
    for (char ch : data) {
      crc ^= static_cast<quint8>(ch);
      for (int k = 0; k < 8; ++k)
        crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
  };
  QByteArray chunk = "IHDR" + be32(width) + be32(height) + QByteArray("\x08\x02\x00\x00\x00", 5);
  return QByteArray("\x89PNG\r\n\x1a\n", 8) + be32(13) + chunk + be32(crc32(chunk));
}

} // namespace ThumbTestFiles
