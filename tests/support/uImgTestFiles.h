#pragma once

#include "uTestFiles.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <QString>

// Hand-made image files for the tests: headers are laid
// out byte by byte where the test is about what the header records.
namespace ImgTestFiles {

inline void Be16(QByteArray &b, quint32 v) {
  b.append(char((v >> 8) & 0xFF));
  b.append(char(v & 0xFF));
}
inline void Be32(QByteArray &b, quint32 v) {
  Be16(b, v >> 16);
  Be16(b, v & 0xFFFF);
}
inline void Le16(QByteArray &b, quint32 v) {
  b.append(char(v & 0xFF));
  b.append(char((v >> 8) & 0xFF));
}
inline void Le32(QByteArray &b, quint32 v) {
  Le16(b, v & 0xFFFF);
  Le16(b, v >> 16);
}

inline quint32 Crc32(const QByteArray &data) {
  quint32 crc = 0xFFFFFFFFu;
  for (char ch : data) {
    crc ^= quint8(ch);
    for (int k = 0; k < 8; ++k)
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

inline QByteArray PngChunk(const char *type, const QByteArray &data) {
  QByteArray out;
  Be32(out, quint32(data.size()));
  QByteArray body = QByteArray(type, 4) + data;
  out += body;
  Be32(out, Crc32(body));
  return out;
}

// A grey 8-bit PNG of width x height pixels of one level. physUnit < 0: no
// pHYs chunk; otherwise pHYs with perUnit pixels per unit (1 = metre, 0 = none).
// pixels false: the IHDR only, no image data (a header that claims a size).
inline QByteArray MakePng(quint32 width, quint32 height, int physUnit = -1, quint32 perUnit = 0, bool pixels = true,
                          quint8 level = 200) {
  QByteArray out("\x89PNG\r\n\x1a\n", 8);
  QByteArray ihdr;
  Be32(ihdr, width);
  Be32(ihdr, height);
  ihdr.append(char(8)); // bit depth
  ihdr.append(char(0)); // grey
  ihdr.append(char(0));
  ihdr.append(char(0));
  ihdr.append(char(0));
  out += PngChunk("IHDR", ihdr);
  if (physUnit >= 0) {
    QByteArray phys;
    Be32(phys, perUnit);
    Be32(phys, perUnit);
    phys.append(char(physUnit));
    out += PngChunk("pHYs", phys);
  }
  if (pixels) {
    QByteArray raw;
    for (quint32 y = 0; y < height; ++y) {
      raw.append(char(0)); // filter: none
      raw.append(QByteArray(int(width), char(level)));
    }
    const QByteArray z = qCompress(raw).mid(4); // zlib stream without Qt's length prefix
    out += PngChunk("IDAT", z);
  }
  out += PngChunk("IEND", QByteArray());
  return out;
}

// A picture whose every pixel differs from its neighbours, so that any turn,
// crop, copy or restore shows in the pixels.
inline QImage Pattern(int w, int h, QImage::Format format = QImage::Format_RGB888) {
  QImage img(w, h, format);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      img.setPixelColor(x, y, QColor((x * 7) % 256, (y * 11) % 256, (x + y) % 256));
  return img;
}

// A PNG whose header claims an RGB picture of width x height pixels, with no
// pixel data after it: whatever reads it must refuse it from the header,
// before it tries to find memory for the pixels.
inline QByteArray PngHeaderOnly(quint32 width, quint32 height) {
  QByteArray ihdr;
  Be32(ihdr, width);
  Be32(ihdr, height);
  ihdr.append("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB
  return QByteArray("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", ihdr) + PngChunk("IEND", QByteArray());
}

// A JPEG as Qt writes it (JFIF APP0 first), then with its APP0 density set.
inline QByteArray QtJpeg(const QImage &image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "jpeg");
  writer.write(image);
  return bytes;
}

// Sets the JFIF density fields (units 0: aspect ratio only, 1: per inch, 2: per cm).
inline QByteArray WithJfifDensity(QByteArray jpeg, int units, int x, int y) {
  // FF D8, FF E0, length(2), "JFIF\0", version(2), units, Xdensity(2), Ydensity(2)
  Q_ASSERT(jpeg.mid(6, 5) == QByteArray("JFIF\0", 5));
  jpeg[13] = char(units);
  jpeg[14] = char((x >> 8) & 0xFF);
  jpeg[15] = char(x & 0xFF);
  jpeg[16] = char((y >> 8) & 0xFF);
  jpeg[17] = char(y & 0xFF);
  return jpeg;
}

// The JPEG without its APP0 segment.
inline QByteArray WithoutJfif(const QByteArray &jpeg) {
  const int length = (quint8(jpeg[4]) << 8) | quint8(jpeg[5]);
  return jpeg.left(2) + jpeg.mid(4 + length);
}

// An EXIF APP1 segment with XResolution / YResolution = res / 1 and the
// given ResolutionUnit (big-endian TIFF structure).
inline QByteArray ExifSegment(quint32 res, int unit) {
  QByteArray tiff("MM\0\x2A", 4);
  Be32(tiff, 8); // IFD0
  Be16(tiff, 3); // entries
  const quint32 valuesAt = 8 + 2 + 3 * 12 + 4;
  auto entry = [&](quint32 tag, quint32 type, quint32 count, quint32 value, bool shortValue) {
    Be16(tiff, tag);
    Be16(tiff, type);
    Be32(tiff, count);
    if (shortValue) {
      Be16(tiff, value);
      Be16(tiff, 0);
    } else {
      Be32(tiff, value);
    }
  };
  entry(282, 5, 1, valuesAt, false);
  entry(283, 5, 1, valuesAt + 8, false);
  entry(296, 3, 1, quint32(unit), true);
  Be32(tiff, 0); // no next IFD
  Be32(tiff, res);
  Be32(tiff, 1);
  Be32(tiff, res);
  Be32(tiff, 1);
  const QByteArray data = QByteArray("Exif\0\0", 6) + tiff;
  QByteArray seg("\xFF\xE1", 2);
  Be16(seg, quint32(data.size() + 2));
  return seg + data;
}

// An EXIF APP1 segment that records only an orientation, numbered as TIFF
// numbers them (1: as stored, 3: turned half round, 6: to be turned a
// quarter clockwise, 8: a quarter anticlockwise ...).
inline QByteArray ExifOrientationSegment(int orientation) {
  QByteArray tiff("MM\0\x2A", 4);
  Be32(tiff, 8); // IFD0
  Be16(tiff, 1); // entries
  Be16(tiff, 274);
  Be16(tiff, 3); // SHORT
  Be32(tiff, 1);
  Be16(tiff, quint32(orientation));
  Be16(tiff, 0);
  Be32(tiff, 0); // no next IFD
  const QByteArray data = QByteArray("Exif\0\0", 6) + tiff;
  QByteArray seg("\xFF\xE1", 2);
  Be16(seg, quint32(data.size() + 2));
  return seg + data;
}

// Inserts a segment right after SOI and the APP0 segment (when there is one).
inline QByteArray WithSegmentAfterApp0(const QByteArray &jpeg, const QByteArray &segment) {
  int pos = 2;
  if (quint8(jpeg[2]) == 0xFF && quint8(jpeg[3]) == 0xE0)
    pos = 4 + ((quint8(jpeg[4]) << 8) | quint8(jpeg[5]));
  return jpeg.left(pos) + segment + jpeg.mid(pos);
}

// A JPEG of `image` whose EXIF block records `orientation`.
inline QByteArray JpegWithOrientation(const QImage &image, int orientation) {
  return WithSegmentAfterApp0(QtJpeg(image), ExifOrientationSegment(orientation));
}

// A picture whose left half is red and right half blue: which way it was
// turned shows in where the red went.
inline QImage RedLeftBlueRight(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::blue);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width / 2; ++x)
      image.setPixel(x, y, qRgb(255, 0, 0));
  return image;
}

// Whether a pixel is near pure red or pure blue (after lossy coding).
inline bool IsRed(QRgb c) { return qRed(c) > 180 && qBlue(c) < 80; }
inline bool IsBlue(QRgb c) { return qBlue(c) > 180 && qRed(c) < 80; }

// An uncompressed 8-bit grey TIFF of width x height, little- or big-endian;
// resolution < 0: no XResolution, YResolution and ResolutionUnit tags.
inline QByteArray MakeTiff(int width, int height, bool little, int resolution = -1, int unit = 2) {
  QByteArray out(little ? "II\x2A\0" : "MM\0\x2A", 4);
  auto u16 = [&](QByteArray &b, quint32 v) { little ? Le16(b, v) : Be16(b, v); };
  auto u32 = [&](QByteArray &b, quint32 v) { little ? Le32(b, v) : Be32(b, v); };
  const bool withRes = resolution >= 0;
  const int entries = withRes ? 12 : 9;
  const quint32 ifd = 8;
  const quint32 after = ifd + 2 + quint32(entries) * 12 + 4;
  const quint32 resAt = after;
  const quint32 pixelsAt = after + (withRes ? 16 : 0);
  u32(out, ifd);
  u16(out, quint32(entries));
  auto entry = [&](quint32 tag, quint32 type, quint32 value) {
    u16(out, tag);
    u16(out, type);
    u32(out, 1);
    if (type == 3) {
      u16(out, value);
      u16(out, 0);
    } else {
      u32(out, value);
    }
  };
  entry(256, 3, quint32(width));
  entry(257, 3, quint32(height));
  entry(258, 3, 8); // bits per sample
  entry(259, 3, 1); // no compression
  entry(262, 3, 1); // black is zero
  entry(273, 4, pixelsAt);
  entry(277, 3, 1); // samples per pixel
  entry(278, 3, quint32(height));
  entry(279, 4, quint32(width) * quint32(height));
  if (withRes) {
    entry(282, 5, resAt);
    entry(283, 5, resAt + 8);
    entry(296, 3, quint32(unit));
  }
  u32(out, 0); // no next IFD
  if (withRes) {
    u32(out, quint32(resolution));
    u32(out, 1);
    u32(out, quint32(resolution));
    u32(out, 1);
  }
  const qint64 pixels = qint64(width) * height;
  for (qint64 i = 0; i < std::min<qint64>(pixels, 1 << 20); ++i)
    out.append(char((i * 7) & 0xFF));
  return out;
}

// A BMP as Qt writes it, then with its pixels-per-metre fields set.
inline QByteArray WithBmpPelsPerMetre(QByteArray bmp, qint32 perMetre) {
  for (int i = 0; i < 4; ++i) {
    bmp[38 + i] = char((quint32(perMetre) >> (8 * i)) & 0xFF);
    bmp[42 + i] = char((quint32(perMetre) >> (8 * i)) & 0xFF);
  }
  return bmp;
}

// A GIF of a picture of at most 256 colours, its LZW data made of literal
// codes only (a clear code every 250 codes keeps the code width at 9 bits).
inline QByteArray MakeGif(const QImage &picture) {
  const QImage image = picture.convertToFormat(QImage::Format_RGB32);
  QList<QRgb> palette;
  QByteArray indices;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = image.pixel(x, y) | 0xFF000000u;
      qsizetype i = palette.indexOf(c);
      if (i < 0) {
        if (palette.size() == 256)
          return {};
        palette << c;
        i = palette.size() - 1;
      }
      indices.append(char(i));
    }
  QByteArray out("GIF89a");
  Le16(out, quint32(image.width()));
  Le16(out, quint32(image.height()));
  out.append(char(0xF7)); // global table of 256 entries, 8 bits per channel
  out.append(char(0));
  out.append(char(0));
  for (int i = 0; i < 256; ++i) {
    const QRgb c = i < palette.size() ? palette[i] : 0;
    out.append(char(qRed(c)));
    out.append(char(qGreen(c)));
    out.append(char(qBlue(c)));
  }
  out.append(char(0x2C));
  Le16(out, 0);
  Le16(out, 0);
  Le16(out, quint32(image.width()));
  Le16(out, quint32(image.height()));
  out.append(char(0));
  out.append(char(8)); // minimum code size
  QByteArray data;
  quint32 bits = 0;
  int count = 0;
  auto put = [&](quint32 code) {
    bits |= code << count;
    count += 9;
    while (count >= 8) {
      data.append(char(bits & 0xFF));
      bits >>= 8;
      count -= 8;
    }
  };
  for (qsizetype i = 0; i < indices.size(); ++i) {
    if (i % 250 == 0)
      put(256);
    put(quint8(indices[i]));
  }
  put(257);
  if (count > 0)
    data.append(char(bits & 0xFF));
  for (qsizetype i = 0; i < data.size(); i += 255) {
    const QByteArray block = data.mid(i, 255);
    out.append(char(block.size()));
    out += block;
  }
  out.append(char(0));
  out.append(char(0x3B));
  return out;
}

} // namespace ImgTestFiles
