#include "uException.h"
#include "uImageFormats.h"
#include "uImageProc.h"
#include "uParallel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace ImageProcDetail {

bool HasGreyTable(const QImage &image) {
  const QList<QRgb> table = image.colorTable();
  if (table.isEmpty())
    return false;
  for (QRgb c : table)
    if (qRed(c) != qGreen(c) || qGreen(c) != qBlue(c) || qAlpha(c) != 255)
      return false;
  return true;
}

QImage ByteChannels(const QImage &src, int &channels) {
  switch (src.format()) {
  case QImage::Format_Grayscale8:
    channels = 1;
    return src;
  case QImage::Format_RGB32:
  case QImage::Format_ARGB32_Premultiplied:
    channels = 4;
    return src;
  case QImage::Format_Grayscale16:
    channels = 1;
    return src.convertToFormat(QImage::Format_Grayscale8);
  case QImage::Format_Mono:
  case QImage::Format_MonoLSB:
  case QImage::Format_Indexed8:
    if (HasGreyTable(src)) {
      channels = 1;
      return src.convertToFormat(QImage::Format_Grayscale8);
    }
    break;
  default:
    break;
  }
  channels = 4;
  return src.convertToFormat(src.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
}

QImage NewMono(int width, int height) {
  QImage out(width, height, QImage::Format_Mono);
  if (!out.isNull())
    out.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  return out;
}

} // namespace ImageProcDetail

namespace ImageProc {
namespace {

using namespace ImageProcDetail;

double hermite(double x) {
  x = std::abs(x);
  return x < 1 ? (2 * x - 3) * x * x + 1 : 0;
}

// --- exact enlargement by three ---------------------------------------------
//
// With the filter's support of one source pixel, output pixel 3k+p sits at
// source position k + (p - 1) / 3: phase 0 takes 7/27 of pixel k-1 and 20/27
// of pixel k, phase 1 pixel k alone, phase 2 20/27 of k and 7/27 of k+1
// (h(1/3) = 20/27, h(2/3) = 7/27). The image edges repeat their pixel, which
// is what dropping the missing neighbour's weight gives. All sums are exact
// integers; the only rounding is the final division.

// The row kernels are built for AVX2 as well as for the baseline; the loader
// picks the variant the processor runs.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define ZQ_SIMD_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ZQ_SIMD_CLONES
#endif

// round(n / 729) for 0 <= n <= 729 * 255, exact, in 32 bits.
inline uint32_t div729(uint32_t n) { return (n * 11507u + 4194304u) >> 23; }

// Vertical step: v = wm * m + wo * o (weights 20 and 7, or 27 and 0).
ZQ_SIMD_CLONES void verticalMix(const uchar *__restrict m, const uchar *__restrict o, uint16_t *__restrict v, int n,
                                uint32_t wm, uint32_t wo) {
  for (int i = 0; i < n; ++i)
    v[i] = static_cast<uint16_t>(wm * m[i] + wo * o[i]);
}

// Horizontal step over a row of vertical sums (scaled by 27): the three
// phases of each element, element i's neighbours lying `c` elements away.
// Elements of the first and last pixel repeat themselves as neighbours.
ZQ_SIMD_CLONES void horizontalPhases(const uint16_t *__restrict v, uchar *__restrict p0, uchar *__restrict p1,
                                     uchar *__restrict p2, int n, int c) {
  auto edge = [&](int i, uint32_t l, uint32_t r) {
    const uint32_t m = v[i];
    p0[i] = static_cast<uchar>(div729(20 * m + 7 * l));
    p1[i] = static_cast<uchar>(div729(27 * m));
    p2[i] = static_cast<uchar>(div729(20 * m + 7 * r));
  };
  if (n <= c) { // a single pixel
    for (int i = 0; i < n; ++i)
      edge(i, v[i], v[i]);
    return;
  }
  for (int i = 0; i < c; ++i)
    edge(i, v[i], v[i + c]);
  for (int i = c; i < n - c; ++i) {
    const uint32_t m = v[i], l = v[i - c], r = v[i + c];
    p0[i] = static_cast<uchar>(div729(20 * m + 7 * l));
    p1[i] = static_cast<uchar>(div729(27 * m));
    p2[i] = static_cast<uchar>(div729(20 * m + 7 * r));
  }
  for (int i = n - c; i < n; ++i)
    edge(i, v[i - c], v[i]);
}

// Output pixel 3x + p is pixel x of phase p.
template <typename T>
void interleave(const T *__restrict p0, const T *__restrict p1, const T *__restrict p2, T *__restrict out, int width) {
  for (int x = 0; x < width; ++x) {
    out[3 * x] = p0[x];
    out[3 * x + 1] = p1[x];
    out[3 * x + 2] = p2[x];
  }
}

ZQ_SIMD_CLONES void interleave8(const uchar *p0, const uchar *p1, const uchar *p2, uchar *out, int width) {
  interleave(p0, p1, p2, out, width);
}
ZQ_SIMD_CLONES void interleave32(const uchar *p0, const uchar *p1, const uchar *p2, uchar *out, int width) {
  interleave(reinterpret_cast<const uint32_t *>(p0), reinterpret_cast<const uint32_t *>(p1),
             reinterpret_cast<const uint32_t *>(p2), reinterpret_cast<uint32_t *>(out), width);
}

void enlarge3Rows(const QImage &src, const TRowWriter &dst, int channels, int k0, int k1) {
  const int w = src.width(), h = src.height();
  const int n = w * channels;
  // One row of vertical sums and the three phase rows, 32-bit aligned.
  std::vector<uint16_t> v(static_cast<size_t>(n));
  std::vector<uint32_t> phases(3 * ((static_cast<size_t>(n) + 3) / 4));
  uchar *p0 = reinterpret_cast<uchar *>(phases.data());
  uchar *p1 = p0 + 4 * ((n + 3) / 4);
  uchar *p2 = p1 + 4 * ((n + 3) / 4);
  auto produce = [&](uchar *out) {
    horizontalPhases(v.data(), p0, p1, p2, n, channels);
    if (channels == 1)
      interleave8(p0, p1, p2, out, w);
    else
      interleave32(p0, p1, p2, out, w);
  };
  for (int k = k0; k < k1; ++k) {
    const uchar *s = src.constScanLine(k);
    const uchar *up = src.constScanLine(std::max(0, k - 1));
    const uchar *down = src.constScanLine(std::min(h - 1, k + 1));
    verticalMix(s, up, v.data(), n, 20, 7);
    produce(dst(3 * k));
    verticalMix(s, s, v.data(), n, 27, 0);
    produce(dst(3 * k + 1));
    verticalMix(s, down, v.data(), n, 20, 7);
    produce(dst(3 * k + 2));
  }
}

void enlarge3(const QImage &src, QImage &dst, int channels) {
  const TRowWriter rows = RowWriter(dst);
  ParallelRanges(src.height(), 16, [&](int k0, int k1) { enlarge3Rows(src, rows, channels, k0, k1); });
}

// --- any size ------------------------------------------------------------------

// The source pixels and weights that make each output pixel along one axis.
struct TAxis {
  std::vector<int> First;     // first source index per output index
  std::vector<int> Count;     // number of source indices used
  std::vector<float> Weights; // Stride weights per output index
  int Stride = 0;
};

TAxis makeAxis(int srcSize, int dstSize) {
  TAxis axis;
  const double scale = double(dstSize) / srcSize;
  const double filterScale = scale < 1 ? 1 / scale : 1; // widened only when reducing
  const double support = filterScale;
  axis.Stride = static_cast<int>(std::ceil(2 * support)) + 2;
  axis.First.resize(static_cast<size_t>(dstSize));
  axis.Count.resize(static_cast<size_t>(dstSize));
  axis.Weights.assign(static_cast<size_t>(dstSize) * static_cast<size_t>(axis.Stride), 0.f);
  std::vector<double> w(static_cast<size_t>(axis.Stride));
  for (int i = 0; i < dstSize; ++i) {
    const double centre = (i + 0.5) / scale - 0.5;
    int lo = static_cast<int>(std::ceil(centre - support));
    int hi = static_cast<int>(std::floor(centre + support));
    lo = std::max(lo, 0);
    hi = std::min(hi, srcSize - 1);
    double sum = 0;
    int first = -1, count = 0;
    for (int j = lo; j <= hi && count < axis.Stride; ++j) {
      const double wj = hermite((j - centre) / filterScale);
      if (wj <= 0 && count == 0)
        continue;
      if (first < 0)
        first = j;
      w[static_cast<size_t>(count++)] = wj;
      sum += wj;
    }
    while (count > 0 && w[static_cast<size_t>(count - 1)] <= 0)
      --count;
    if (count == 0 || sum <= 0) { // no weight left: take the nearest pixel
      first = std::clamp(static_cast<int>(std::lround(centre)), 0, srcSize - 1);
      count = 1;
      w[0] = sum = 1;
    }
    axis.First[static_cast<size_t>(i)] = first;
    axis.Count[static_cast<size_t>(i)] = count;
    for (int c = 0; c < count; ++c)
      axis.Weights[static_cast<size_t>(i) * axis.Stride + c] = static_cast<float>(w[static_cast<size_t>(c)] / sum);
  }
  return axis;
}

void resizeGeneric(const QImage &src, QImage &dst, int channels) {
  const int dw = dst.width(), dh = dst.height();
  const TAxis ax = makeAxis(src.width(), dw);
  const TAxis ay = makeAxis(src.height(), dh);
  const int n = dw * channels;
  constexpr int Chunk = 32; // output rows per horizontal pass
  const TRowWriter dstRows = RowWriter(dst);
  ParallelRanges(dh, Chunk, [&](int y0, int y1) {
    std::vector<float> rows;
    for (int c0 = y0; c0 < y1; c0 += Chunk) {
      const int c1 = std::min(y1, c0 + Chunk);
      const int r0 = ay.First[static_cast<size_t>(c0)];
      int r1 = r0;
      for (int y = c0; y < c1; ++y)
        r1 = std::max(r1, ay.First[static_cast<size_t>(y)] + ay.Count[static_cast<size_t>(y)]);
      rows.assign(static_cast<size_t>(r1 - r0) * static_cast<size_t>(n), 0.f);
      // Horizontal pass over the source rows that this chunk needs.
      for (int r = r0; r < r1; ++r) {
        const uchar *s = src.constScanLine(r);
        float *out = rows.data() + static_cast<size_t>(r - r0) * n;
        for (int x = 0; x < dw; ++x) {
          const int first = ax.First[static_cast<size_t>(x)], count = ax.Count[static_cast<size_t>(x)];
          const float *wt = ax.Weights.data() + static_cast<size_t>(x) * ax.Stride;
          for (int c = 0; c < channels; ++c) {
            float acc = 0;
            for (int j = 0; j < count; ++j)
              acc += wt[j] * s[(first + j) * channels + c];
            out[x * channels + c] = acc;
          }
        }
      }
      // Vertical pass.
      for (int y = c0; y < c1; ++y) {
        const int first = ay.First[static_cast<size_t>(y)], count = ay.Count[static_cast<size_t>(y)];
        const float *wt = ay.Weights.data() + static_cast<size_t>(y) * ay.Stride;
        uchar *d = dstRows(y);
        for (int i = 0; i < n; ++i) {
          float acc = 0;
          for (int j = 0; j < count; ++j)
            acc += wt[j] * rows[static_cast<size_t>(first + j - r0) * n + i];
          d[i] = static_cast<uchar>(std::clamp(static_cast<int>(std::lround(acc)), 0, 255));
        }
      }
    }
  });
}

} // namespace

QImage HermiteResize(const QImage &src, int newWidth, int newHeight) {
  if (src.isNull() || newWidth <= 0 || newHeight <= 0)
    return {};
  QImage dst(newWidth, newHeight, HermiteFormat(src));
  if (dst.isNull())
    throw EPlatformError(
        QStringLiteral("Not enough memory to resample the picture to %1 x %2 pixels.").arg(newWidth).arg(newHeight));
  HermiteResizeInto(src, dst);
  return dst;
}

QImage::Format HermiteFormat(const QImage &src) {
  switch (src.format()) {
  case QImage::Format_Grayscale8:
  case QImage::Format_RGB32:
  case QImage::Format_ARGB32_Premultiplied:
    return src.format();
  case QImage::Format_Grayscale16:
    return QImage::Format_Grayscale8;
  case QImage::Format_Mono:
  case QImage::Format_MonoLSB:
  case QImage::Format_Indexed8:
    if (HasGreyTable(src))
      return QImage::Format_Grayscale8;
    break;
  default:
    break;
  }
  return src.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
}

void HermiteResizeInto(const QImage &src, QImage &dst) {
  if (src.isNull() || dst.isNull() || dst.format() != HermiteFormat(src))
    throw EPlatformError(QStringLiteral("No picture of the right format to resample into."));
  int channels = 1;
  const QImage in = ByteChannels(src, channels);
  if (in.isNull())
    throw EPlatformError(QStringLiteral("Not enough memory to resample the picture."));
  const int newWidth = dst.width(), newHeight = dst.height();
  if (newWidth == 3 * in.width() && newHeight == 3 * in.height())
    enlarge3(in, dst, channels);
  else
    resizeGeneric(in, dst, channels);
  dst.setDotsPerMeterX(
      std::max(1, static_cast<int>(std::lround(double(src.dotsPerMeterX()) * newWidth / src.width()))));
  dst.setDotsPerMeterY(
      std::max(1, static_cast<int>(std::lround(double(src.dotsPerMeterY()) * newHeight / src.height()))));
}

QImage HermiteResizeGeneric(const QImage &src, int newWidth, int newHeight) {
  if (src.isNull() || newWidth <= 0 || newHeight <= 0)
    return {};
  int channels = 1;
  const QImage in = ByteChannels(src, channels);
  QImage dst(newWidth, newHeight, in.format());
  if (in.isNull() || dst.isNull())
    throw EPlatformError(QStringLiteral("Not enough memory to resample the picture."));
  resizeGeneric(in, dst, channels);
  return dst;
}

} // namespace ImageProc
