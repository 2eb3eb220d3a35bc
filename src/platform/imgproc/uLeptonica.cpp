#include "uLeptonica.h"

#include "uImageHeader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <leptonica/allheaders.h>

namespace Lept {

TPix &TPix::operator=(TPix &&other) noexcept {
  if (this != &other) {
    if (FPix)
      pixDestroy(&FPix);
    FPix = other.FPix;
    other.FPix = nullptr;
  }
  return *this;
}

TPix::~TPix() {
  if (FPix)
    pixDestroy(&FPix);
}

namespace {

// The bytes of an 8-bit picture into a picture of the same size.
void copyBytes(Pix *pix, QImage &out) {
  const l_uint32 *data = pixGetData(pix);
  const int wpl = pixGetWpl(pix);
  const int w = out.width();
  for (int y = 0; y < out.height(); ++y) {
    const l_uint32 *line = data + static_cast<qsizetype>(y) * wpl;
    uchar *dst = out.scanLine(y);
    for (int x = 0; x < w; ++x)
      dst[x] = static_cast<uchar>(GET_DATA_BYTE(line, x));
  }
}

bool isGreyImage(const QImage &image) {
  if (image.format() == QImage::Format_Grayscale8)
    return true;
  if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono ||
      image.format() == QImage::Format_MonoLSB) {
    for (QRgb c : image.colorTable())
      if (qRed(c) != qGreen(c) || qGreen(c) != qBlue(c) || qAlpha(c) != 255)
        return false;
    return true;
  }
  return image.format() == QImage::Format_Grayscale16;
}

TPix grey8(const QImage &grey) {
  const int w = grey.width(), h = grey.height();
  TPix pix(pixCreate(w, h, 8));
  if (!pix)
    return pix;
  l_uint32 *data = pixGetData(pix.get());
  const int wpl = pixGetWpl(pix.get());
  for (int y = 0; y < h; ++y) {
    const uchar *src = grey.constScanLine(y);
    l_uint32 *line = data + static_cast<qsizetype>(y) * wpl;
    for (int x = 0; x < w; ++x)
      SET_DATA_BYTE(line, x, src[x]);
  }
  return pix;
}

} // namespace

TPix GreyFromQImage(const QImage &image) {
  if (image.isNull())
    return {};
  const QImage grey =
      image.format() == QImage::Format_Grayscale8 ? image : image.convertToFormat(QImage::Format_Grayscale8);
  if (grey.isNull())
    return {};
  return grey8(grey);
}

TPix FromQImage(const QImage &image) {
  if (image.isNull())
    return {};
  const int w = image.width(), h = image.height();
  if (image.depth() == 1 && isGreyImage(image)) {
    const QImage mono = image.convertToFormat(QImage::Format_Mono);
    TPix pix(pixCreate(w, h, 1));
    if (!pix)
      return pix;
    // 1 = black in Leptonica: a pixel is set where its colour is the darker one.
    const bool zeroIsDark = qGray(mono.color(0)) < qGray(mono.color(1 % std::max(1, int(mono.colorCount()))));
    l_uint32 *data = pixGetData(pix.get());
    const int wpl = pixGetWpl(pix.get());
    for (int y = 0; y < h; ++y) {
      const uchar *src = mono.constScanLine(y);
      l_uint32 *line = data + static_cast<qsizetype>(y) * wpl;
      for (int x = 0; x < w; ++x) {
        const bool bit = (src[x >> 3] >> (7 - (x & 7))) & 1;
        if (bit != zeroIsDark)
          SET_DATA_BIT(line, x);
      }
    }
    return pix;
  }
  if (isGreyImage(image))
    return GreyFromQImage(image);
  const bool alpha = image.hasAlphaChannel();
  const QImage rgb = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  if (rgb.isNull())
    return {};
  TPix pix(pixCreate(w, h, 32));
  if (!pix)
    return pix;
  if (alpha)
    pixSetSpp(pix.get(), 4);
  l_uint32 *data = pixGetData(pix.get());
  const int wpl = pixGetWpl(pix.get());
  for (int y = 0; y < h; ++y) {
    const QRgb *src = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
    l_uint32 *line = data + static_cast<qsizetype>(y) * wpl;
    for (int x = 0; x < w; ++x) {
      const QRgb c = src[x];
      line[x] = (l_uint32(qRed(c)) << 24) | (l_uint32(qGreen(c)) << 16) | (l_uint32(qBlue(c)) << 8) |
                l_uint32(alpha ? qAlpha(c) : 255);
    }
  }
  return pix;
}

QImage ToQImage(Pix *pix) {
  if (!pix)
    return {};
  const int w = pixGetWidth(pix), h = pixGetHeight(pix), d = pixGetDepth(pix);
  if (d == 1) {
    QImage out(w, h, QImage::Format_Mono);
    if (out.isNull())
      return {};
    PIXCMAP *cmap = pixGetColormap(pix);
    if (cmap && pixcmapGetCount(cmap) >= 2) {
      QList<QRgb> table;
      for (int i = 0; i < 2; ++i) {
        l_int32 r = 0, g = 0, b = 0;
        pixcmapGetColor(cmap, i, &r, &g, &b);
        table << qRgb(r, g, b);
      }
      out.setColorTable(table);
    } else {
      out.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)}); // 1 = black
    }
    const l_uint32 *data = pixGetData(pix);
    const int wpl = pixGetWpl(pix);
    const int bytes = (w + 7) / 8;
    for (int y = 0; y < h; ++y) {
      const l_uint32 *line = data + static_cast<qsizetype>(y) * wpl;
      uchar *dst = out.scanLine(y);
      for (int i = 0; i < bytes; ++i)
        dst[i] = static_cast<uchar>(GET_DATA_BYTE(line, i));
    }
    return out;
  }
  if (d == 8 && !pixGetColormap(pix)) {
    QImage out(w, h, QImage::Format_Grayscale8);
    if (out.isNull())
      return {};
    copyBytes(pix, out);
    return out;
  }
  if (d == 8) {
    PIXCMAP *cmap = pixGetColormap(pix);
    QImage out(w, h, QImage::Format_Indexed8);
    if (out.isNull())
      return {};
    QList<QRgb> table;
    const int n = pixcmapGetCount(cmap);
    for (int i = 0; i < 256; ++i) {
      l_int32 r = 0, g = 0, b = 0;
      if (i < n)
        pixcmapGetColor(cmap, i, &r, &g, &b);
      table << qRgb(r, g, b);
    }
    out.setColorTable(table);
    copyBytes(pix, out);
    return out;
  }
  if (d == 32) {
    const bool alpha = pixGetSpp(pix) == 4;
    QImage out(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (out.isNull())
      return {};
    const l_uint32 *data = pixGetData(pix);
    const int wpl = pixGetWpl(pix);
    for (int y = 0; y < h; ++y) {
      const l_uint32 *line = data + static_cast<qsizetype>(y) * wpl;
      QRgb *dst = reinterpret_cast<QRgb *>(out.scanLine(y));
      for (int x = 0; x < w; ++x) {
        const l_uint32 v = line[x];
        dst[x] = qRgba(int(v >> 24), int((v >> 16) & 255), int((v >> 8) & 255), alpha ? int(v & 255) : 255);
      }
    }
    return out;
  }
  // 2, 4 and 16 bpp (and colour-mapped ones): through 8 or 32 bpp.
  TPix converted;
  if (pixGetColormap(pix))
    converted = TPix(pixRemoveColormap(pix, REMOVE_CMAP_BASED_ON_SRC));
  else if (d == 16)
    converted = TPix(pixConvert16To8(pix, L_MS_BYTE));
  else if (d == 24)
    return {};
  else
    converted = TPix(pixConvertTo8(pix, 0));
  if (!converted || pixGetDepth(converted.get()) == d)
    return {};
  return ToQImage(converted.get());
}

TPix ReadMem(const QByteArray &bytes, int reduction) {
  if (bytes.isEmpty())
    return {};
  const auto *data = reinterpret_cast<const l_uint8 *>(bytes.constData());
  const size_t size = static_cast<size_t>(bytes.size());
  l_int32 format = IFF_UNKNOWN;
  if (findFileFormatBuffer(data, &format) != 0)
    return {};
  if (format == IFF_JP2 && reduction > 1)
    return TPix(pixReadMemJp2k(data, size, static_cast<l_uint32>(reduction), nullptr, 0, 0));
  return TPix(pixReadMem(data, size));
}

bool ReadHeader(const QByteArray &bytes, int &width, int &height) {
  l_int32 format = 0, w = 0, h = 0, bps = 0, spp = 0, cmap = 0;
  if (bytes.isEmpty() || pixReadHeaderMem(reinterpret_cast<const l_uint8 *>(bytes.constData()),
                                          static_cast<size_t>(bytes.size()), &format, &w, &h, &bps, &spp, &cmap) != 0)
    return false;
  width = w;
  height = h;
  return w > 0 && h > 0;
}

namespace {
QByteArray takeBytes(l_uint8 *data, size_t size) {
  QByteArray out;
  if (data) {
    out = QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    lept_free(data);
  }
  return out;
}

TPix forWriting(const QImage &image) {
  // JPEG 2000 and PAM take 8 and 32 bpp; 1-bit images go as grey.
  if (image.depth() == 1)
    return GreyFromQImage(image);
  return FromQImage(image);
}
} // namespace

QByteArray WriteJp2k(const QImage &image, int dpiX, int dpiY) {
  TPix pix = forWriting(image);
  if (!pix)
    return {};
  if (pixGetSpp(pix.get()) == 4)
    pixSetSpp(pix.get(), 3); // the encoder writes RGB only
  pixSetResolution(pix.get(), dpiX, dpiY);
  // The encoder needs 2^(levels - 1) pixels along the shorter side.
  int levels = 1;
  while (levels < 5 && (1 << levels) <= std::min(image.width(), image.height()))
    ++levels;
  l_uint8 *data = nullptr;
  size_t size = 0;
  if (pixWriteMemJp2k(&data, &size, pix.get(), 100, levels, 0, 0) != 0)
    return {};
  // The encoder records no resolution; the header box gets it here.
  return WithJp2Resolution(takeBytes(data, size), dpiX, dpiY);
}

QByteArray WritePam(const QImage &image) {
  TPix pix = forWriting(image);
  if (!pix)
    return {};
  l_uint8 *data = nullptr;
  size_t size = 0;
  if (pixWriteMemPam(&data, &size, pix.get()) != 0)
    return {};
  return takeBytes(data, size);
}

} // namespace Lept
