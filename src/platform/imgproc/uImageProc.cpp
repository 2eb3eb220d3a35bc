#include "uImageProc.h"

#include "uException.h"
#include "uImageFormats.h"
#include "uLeptonica.h"
#include "uParallel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <leptonica/allheaders.h>
#include <vector>

namespace ImageProc {
namespace {

using namespace ImageProcDetail;

[[noreturn]] void outOfMemory() { throw EPlatformError(QStringLiteral("Not enough memory for the picture.")); }

void keepResolution(const QImage &src, QImage &dst) {
  dst.setDotsPerMeterX(src.dotsPerMeterX());
  dst.setDotsPerMeterY(src.dotsPerMeterY());
}

// --- quarter turns -------------------------------------------------------------

// turns: 1 = a quarter turn to the left, 2 = half a turn, 3 = a quarter turn to the right.
// Where pixel (x, y) of a w x h picture lands after `turns` quarter turns to
// the left.
inline void turnedPos(int x, int y, int w, int h, int turns, int &dx, int &dy) {
  if (turns == 1) {
    dx = y;
    dy = w - 1 - x;
  } else if (turns == 2) {
    dx = w - 1 - x;
    dy = h - 1 - y;
  } else {
    dx = h - 1 - y;
    dy = x;
  }
}

template <typename T> void quarterTurnPixels(const QImage &src, QImage &dst, int turns) {
  const int w = src.width(), h = src.height();
  const TRowWriter rows = RowWriter(dst);
  constexpr int Tile = 64;
  ParallelRanges((h + Tile - 1) / Tile, 4, [&](int t0, int t1) {
    for (int ty = t0 * Tile; ty < std::min(h, t1 * Tile); ty += Tile) {
      for (int tx = 0; tx < w; tx += Tile) {
        for (int y = ty; y < std::min(h, ty + Tile); ++y) {
          const T *s = reinterpret_cast<const T *>(src.constScanLine(y));
          for (int x = tx; x < std::min(w, tx + Tile); ++x) {
            int dx, dy;
            turnedPos(x, y, w, h, turns, dx, dy);
            reinterpret_cast<T *>(rows(dy))[dx] = s[x];
          }
        }
      }
    }
  });
}

struct TPixel24 {
  uchar V[3];
};

QImage quarterTurn(const QImage &src, int turns) {
  if (turns == 0)
    return src.copy();
  QImage in = src;
  const bool swap = turns != 2;
  if (in.depth() == 1) {
    in = in.convertToFormat(QImage::Format_Mono);
    const int w = in.width(), h = in.height();
    QImage out(swap ? h : w, swap ? w : h, QImage::Format_Mono);
    if (out.isNull())
      outOfMemory();
    out.setColorTable(in.colorTable());
    out.fill(0);
    uchar *const base = out.bits();
    const qsizetype stride = out.bytesPerLine();
    for (int y = 0; y < h; ++y) {
      const uchar *s = in.constScanLine(y);
      for (int x = 0; x < w; ++x) {
        if (!((s[x >> 3] >> (7 - (x & 7))) & 1))
          continue;
        int dx, dy;
        turnedPos(x, y, w, h, turns, dx, dy);
        base[dy * stride + (dx >> 3)] |= static_cast<uchar>(0x80 >> (dx & 7));
      }
    }
    keepResolution(src, out);
    if (swap) {
      out.setDotsPerMeterX(src.dotsPerMeterY());
      out.setDotsPerMeterY(src.dotsPerMeterX());
    }
    return out;
  }
  QImage out(swap ? in.height() : in.width(), swap ? in.width() : in.height(), in.format());
  if (out.isNull())
    outOfMemory();
  out.setColorTable(in.colorTable());
  switch (in.depth()) {
  case 8:
    quarterTurnPixels<uint8_t>(in, out, turns);
    break;
  case 16:
    quarterTurnPixels<uint16_t>(in, out, turns);
    break;
  case 24:
    quarterTurnPixels<TPixel24>(in, out, turns);
    break;
  case 32:
    quarterTurnPixels<uint32_t>(in, out, turns);
    break;
  case 64:
    quarterTurnPixels<uint64_t>(in, out, turns);
    break;
  default: {
    QImage rgb = in.convertToFormat(in.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    return quarterTurn(rgb, turns);
  }
  }
  out.setDotsPerMeterX(swap ? src.dotsPerMeterY() : src.dotsPerMeterX());
  out.setDotsPerMeterY(swap ? src.dotsPerMeterX() : src.dotsPerMeterY());
  return out;
}

// Number of quarter turns when `angle` is a multiple of 90 degrees, else -1.
int quarterTurns(double angle) {
  const double q = angle / 90.0;
  const double r = std::round(q);
  if (std::abs(q - r) > 1e-9)
    return -1;
  return static_cast<int>(((static_cast<long long>(r) % 4) + 4) % 4);
}

// --- turns by any angle --------------------------------------------------------

// Renders `size` pixels of the source turned by `angle` degrees (counter-
// clockwise) about its centre, the centre of the output lying on the
// source's centre. Samples bilinearly; pixels beyond the source take
// `background` unless clampEdges, where they repeat the edge.
QImage turnedRegion(const QImage &in, int channels, double angle, QSize size, QRgb background, bool clampEdges) {
  QImage out(size, in.format());
  if (out.isNull())
    outOfMemory();
  const double rad = angle * M_PI / 180.0;
  const double c = std::cos(rad), s = std::sin(rad);
  const int w = in.width(), h = in.height();
  const double cx = w / 2.0, cy = h / 2.0;
  const double ox = size.width() / 2.0, oy = size.height() / 2.0;
  std::array<uint8_t, 4> bg{};
  if (channels == 1) {
    bg[0] = static_cast<uint8_t>(qGray(background));
  } else {
    const QRgb p =
        in.format() == QImage::Format_ARGB32_Premultiplied ? qPremultiply(background) : (background | 0xFF000000u);
    std::memcpy(bg.data(), &p, 4);
  }
  const TRowWriter rows = RowWriter(out);
  ParallelRanges(size.height(), 16, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      uint8_t *d = rows(y);
      const double dy = y + 0.5 - oy;
      // Source position of output pixel x: centre + R(-angle) (x + 0.5 - ox, dy) - 0.5.
      double sx = cx + (0.5 - ox) * c - dy * s - 0.5;
      double sy = cy + (0.5 - ox) * s + dy * c - 0.5;
      for (int x = 0; x < size.width(); ++x, sx += c, sy += s) {
        uint8_t *o = d + x * channels;
        const double fx0 = std::floor(sx), fy0 = std::floor(sy);
        int x0 = static_cast<int>(fx0), y0s = static_cast<int>(fy0);
        const int fx = static_cast<int>((sx - fx0) * 256), fy = static_cast<int>((sy - fy0) * 256);
        if (!clampEdges && (x0 < -1 || y0s < -1 || x0 >= w || y0s >= h)) {
          for (int k = 0; k < channels; ++k)
            o[k] = bg[static_cast<size_t>(k)];
          continue;
        }
        const uint8_t *p[4];
        for (int k = 0; k < 4; ++k) {
          int px = x0 + (k & 1), py = y0s + (k >> 1);
          if (clampEdges) {
            px = std::clamp(px, 0, w - 1);
            py = std::clamp(py, 0, h - 1);
          } else if (px < 0 || py < 0 || px >= w || py >= h) {
            p[k] = bg.data();
            continue;
          }
          p[k] = in.constScanLine(py) + px * channels;
        }
        for (int k = 0; k < channels; ++k) {
          const int top = p[0][k] * (256 - fx) + p[1][k] * fx;
          const int bottom = p[2][k] * (256 - fx) + p[3][k] * fx;
          o[k] = static_cast<uint8_t>((top * (256 - fy) + bottom * fy + 32768) >> 16);
        }
      }
    }
  });
  return out;
}

// Back to black and white after a turn of a 1-bit picture.
QImage toMono(const QImage &grey) {
  QImage out = NewMono(grey.width(), grey.height());
  if (out.isNull())
    outOfMemory();
  for (int y = 0; y < grey.height(); ++y) {
    const uchar *s = grey.constScanLine(y);
    uchar *d = out.scanLine(y);
    std::fill(d, d + out.bytesPerLine(), 0);
    for (int x = 0; x < grey.width(); ++x)
      if (s[x] >= 128)
        d[x >> 3] |= static_cast<uchar>(0x80 >> (x & 7));
  }
  return out;
}

QImage turned(const QImage &src, double angle, QSize size, QRgb background, bool clampEdges) {
  int channels = 1;
  const QImage in = ByteChannels(src, channels);
  if (in.isNull())
    outOfMemory();
  QImage out = turnedRegion(in, channels, angle, size, background, clampEdges);
  if (src.depth() == 1 && channels == 1)
    out = toMono(out);
  keepResolution(src, out);
  return out;
}

} // namespace

// --- black and white -----------------------------------------------------------

QImage ConvertToBWLocalThreshold(const QImage &src, int winSize, int offset) {
  if (src.isNull())
    return {};
  const QImage grey = src.format() == QImage::Format_Grayscale8 ? src : src.convertToFormat(QImage::Format_Grayscale8);
  const int w = grey.width(), h = grey.height();
  QImage out = NewMono(w, h);
  if (grey.isNull() || out.isNull())
    outOfMemory();
  winSize = std::max(1, winSize);
  const int before = winSize / 2, after = winSize - 1 - before; // window x-before .. x+after
  // Integral image; sums wrap modulo 2^32 but every window sum fits, so the
  // differences come out exact.
  const size_t stride = static_cast<size_t>(w) + 1;
  std::vector<uint32_t> sat;
  try {
    sat.assign(stride * (static_cast<size_t>(h) + 1), 0u);
  } catch (const std::bad_alloc &) {
    outOfMemory();
  }
  for (int y = 0; y < h; ++y) {
    const uchar *s = grey.constScanLine(y);
    uint32_t rowSum = 0;
    uint32_t *row = sat.data() + (static_cast<size_t>(y) + 1) * stride;
    const uint32_t *above = row - stride;
    for (int x = 0; x < w; ++x) {
      rowSum += s[x];
      row[x + 1] = above[x + 1] + rowSum;
    }
  }
  const TRowWriter rows = RowWriter(out);
  ParallelRanges(h, 32, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      const int top = std::max(0, y - before), bottom = std::min(h - 1, y + after);
      const uint32_t *a = sat.data() + static_cast<size_t>(top) * stride;
      const uint32_t *b = sat.data() + (static_cast<size_t>(bottom) + 1) * stride;
      const uchar *s = grey.constScanLine(y);
      uchar *d = rows(y);
      std::fill(d, d + rows.Stride, 0);
      for (int x = 0; x < w; ++x) {
        const int left = std::max(0, x - before), right = std::min(w - 1, x + after);
        const uint32_t sum = b[right + 1] - b[left] - a[right + 1] + a[left];
        const int64_t count = int64_t(right - left + 1) * (bottom - top + 1);
        // grey < sum / count - offset, in integers
        const bool black = (int64_t(s[x]) + offset) * count < int64_t(sum);
        if (!black)
          d[x >> 3] |= static_cast<uchar>(0x80 >> (x & 7));
      }
    }
  });
  keepResolution(src, out);
  return out;
}

// --- skew ----------------------------------------------------------------------

double SkewDetection(const QImage &src, double angleRange, double precision) {
  if (src.isNull() || src.width() < 8 || src.height() < 8)
    return 0;
  angleRange = std::clamp(std::abs(angleRange), 0.5, 45.0);
  precision = std::clamp(precision, 0.001, 1.0);
  Lept::TPix grey = Lept::GreyFromQImage(src);
  if (!grey)
    return 0;
  // Dark text on a light page: Otsu's threshold over large tiles.
  PIX *binary = nullptr;
  if (pixOtsuAdaptiveThreshold(grey.get(), 2000, 2000, 0, 0, 0.1f, nullptr, &binary) != 0 || !binary)
    return 0;
  Lept::TPix bw(binary);
  const int width = std::min(src.width(), src.height());
  const int sweepReduction = width >= 1600 ? 4 : width >= 800 ? 2 : 1;
  const int searchReduction = std::max(1, sweepReduction / 2);
  l_float32 angle = 0, confidence = 0;
  const l_float32 sweepDelta = static_cast<l_float32>(std::clamp(angleRange / 30.0, 0.2, 1.0));
  if (pixFindSkewSweepAndSearch(bw.get(), &angle, &confidence, sweepReduction, searchReduction,
                                static_cast<l_float32>(angleRange), sweepDelta, static_cast<l_float32>(precision)) != 0)
    return 0;
  if (!std::isfinite(angle) || confidence < 2.0f)
    return 0;
  // Leptonica's angle turns clockwise; ours counter-clockwise.
  const double result = std::round(-double(angle) / precision) * precision;
  return std::abs(result) < precision / 2 ? 0 : result;
}

// --- turns ----------------------------------------------------------------------

QImage Rotate(const QImage &src, double angle, const QColor &background) {
  if (src.isNull())
    return {};
  if (!std::isfinite(angle))
    return src.copy();
  const int turns = quarterTurns(angle);
  if (turns >= 0)
    return quarterTurn(src, turns);
  const double rad = angle * M_PI / 180.0;
  const double c = std::abs(std::cos(rad)), s = std::abs(std::sin(rad));
  const int w = static_cast<int>(std::ceil(src.width() * c + src.height() * s - 1e-6));
  const int h = static_cast<int>(std::ceil(src.width() * s + src.height() * c - 1e-6));
  const QRgb bg = background.isValid() ? background.rgba() : qRgb(255, 255, 255);
  return turned(src, angle, QSize(std::max(1, w), std::max(1, h)), bg, false);
}

QSize LargestInnerRect(QSize size, double angle) {
  const double w = size.width(), h = size.height();
  if (w <= 0 || h <= 0)
    return {};
  const double rad = angle * M_PI / 180.0;
  const double sa = std::abs(std::sin(rad)), ca = std::abs(std::cos(rad));
  const bool wide = w >= h;
  const double longSide = wide ? w : h, shortSide = wide ? h : w;
  double wr, hr;
  if (shortSide <= 2 * sa * ca * longSide || std::abs(sa - ca) < 1e-10) {
    // Two corners of the inner rectangle touch the long sides.
    const double x = 0.5 * shortSide;
    wr = wide ? x / sa : x / ca;
    hr = wide ? x / ca : x / sa;
  } else {
    const double cos2 = ca * ca - sa * sa;
    wr = (w * ca - h * sa) / cos2;
    hr = (h * ca - w * sa) / cos2;
  }
  // Whole pixels strictly inside, a pixel short on each side so that no
  // interpolated pixel reaches beyond the turned picture.
  const int iw = std::max(1, static_cast<int>(std::floor(wr)) - 2);
  const int ih = std::max(1, static_cast<int>(std::floor(hr)) - 2);
  return QSize(std::min(iw, size.width()), std::min(ih, size.height()));
}

QImage RotateAndCrop(const QImage &src, double angle) {
  if (src.isNull())
    return {};
  if (!std::isfinite(angle))
    return src.copy();
  const int turns = quarterTurns(angle);
  if (turns >= 0)
    return quarterTurn(src, turns);
  // The inner rectangle of the turned picture; only that part is rendered.
  QSize inner = LargestInnerRect(src.size(), angle);
  // Keep the centres aligned on the pixel grid (same parity as the turned
  // bounding box is irrelevant: the region is centred on the source centre).
  return turned(src, angle, inner, qRgb(255, 255, 255), true);
}

// --- display adjustments ---------------------------------------------------------

QImage ApplyDisplayAdjust(const QImage &src, int offsetR, int offsetG, int offsetB, int contrast) {
  if (src.isNull())
    return {};
  if (offsetR == 0 && offsetG == 0 && offsetB == 0 && contrast == 0)
    return src;
  contrast = std::clamp(contrast, -50, 100);
  const double factor = (100.0 + 2.0 * contrast) / 100.0;
  auto makeLut = [&](int offset) {
    std::array<uchar, 256> lut{};
    for (int v = 0; v < 256; ++v) {
      const int shifted = std::clamp(v + offset, 0, 255);
      const double spread = 128.0 + (shifted - 128.0) * factor;
      lut[static_cast<size_t>(v)] = static_cast<uchar>(std::clamp(static_cast<int>(std::lround(spread)), 0, 255));
    }
    return lut;
  };
  const auto lr = makeLut(offsetR), lg = makeLut(offsetG), lb = makeLut(offsetB);
  // Indexed and 1-bit pictures: only the colour table changes.
  if (src.format() == QImage::Format_Indexed8 || src.format() == QImage::Format_Mono ||
      src.format() == QImage::Format_MonoLSB) {
    QImage out = src.copy();
    QList<QRgb> table = out.colorTable();
    for (QRgb &c : table)
      c = qRgba(lr[static_cast<size_t>(qRed(c))], lg[static_cast<size_t>(qGreen(c))], lb[static_cast<size_t>(qBlue(c))],
                qAlpha(c));
    out.setColorTable(table);
    return out;
  }
  if (src.format() == QImage::Format_Grayscale8 && offsetR == offsetG && offsetG == offsetB) {
    QImage out(src.size(), QImage::Format_Grayscale8);
    if (out.isNull())
      outOfMemory();
    const TRowWriter rows = RowWriter(out);
    ParallelRanges(src.height(), 64, [&](int y0, int y1) {
      for (int y = y0; y < y1; ++y) {
        const uchar *s = src.constScanLine(y);
        uchar *d = rows(y);
        for (int x = 0; x < src.width(); ++x)
          d[x] = lr[s[x]];
      }
    });
    keepResolution(src, out);
    return out;
  }
  const bool alpha = src.hasAlphaChannel();
  const QImage in = src.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  QImage out(src.size(), in.format());
  if (in.isNull() || out.isNull())
    outOfMemory();
  const TRowWriter rows = RowWriter(out);
  ParallelRanges(src.height(), 64, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      const QRgb *s = reinterpret_cast<const QRgb *>(in.constScanLine(y));
      QRgb *d = reinterpret_cast<QRgb *>(rows(y));
      for (int x = 0; x < src.width(); ++x) {
        const QRgb c = s[x];
        d[x] = qRgba(lr[static_cast<size_t>(qRed(c))], lg[static_cast<size_t>(qGreen(c))],
                     lb[static_cast<size_t>(qBlue(c))], qAlpha(c));
      }
    }
  });
  keepResolution(src, out);
  return out;
}

} // namespace ImageProc
