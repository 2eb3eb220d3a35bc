#pragma once

#include <QColor>
#include <QImage>
#include <QSize>

// Image processing on whole bitmaps. Every function leaves its input alone
// and returns a new image; none keeps state. A null input gives a null
// result; a result that cannot be allocated raises EPlatformError.
namespace ImageProc {

// Resamples with the Hermite filter to the given size. Enlarging by exactly
// three in both directions takes a fast path (three fixed phases per axis,
// integer arithmetic, all cores). Accepts any format; 1-bit and indexed
// images are resampled as grey or RGB.
// The result is Grayscale8 for grey pictures (1-bit and indexed ones with a
// grey colour table included), RGB32 for opaque colour ones and
// ARGB32_Premultiplied for those with alpha. Its resolution (dots per metre)
// is scaled with the size. A size of 0 or less gives a null image.
QImage HermiteResize(const QImage &src, int newWidth, int newHeight);
// The same filter always through the general path (for checking the fast one).
QImage HermiteResizeGeneric(const QImage &src, int newWidth, int newHeight);
// The format HermiteResize gives for `src`, and HermiteResize into `dst`,
// which the caller has made at the new size in that format, in memory of
// its own choosing (its pixels are all written; its resolution is set as
// HermiteResize sets it). Raises EPlatformError for a `dst` of another
// format or a null one.
QImage::Format HermiteFormat(const QImage &src);
void HermiteResizeInto(const QImage &src, QImage &dst);

// Black and white by a local threshold: a pixel whose grey level is below the
// mean of the winSize x winSize window around it (clipped to the image) less
// `offset` becomes black, every other pixel white. Returns Format_Mono with
// colour index 0 black and 1 white. For an even winSize the window reaches
// winSize / 2 pixels before the pixel and winSize / 2 - 1 after it. O(1) per
// pixel through an integral image.
QImage ConvertToBWLocalThreshold(const QImage &src, int winSize, int offset);

// The skew of the text lines in degrees within +-angleRange, found to
// `precision`: the angle by which Rotate/RotateAndCrop turn the image
// (counter-clockwise positive) to make the lines horizontal. 0 when no skew
// can be found (a blank page, too little text).
double SkewDetection(const QImage &src, double angleRange, double precision);

// Turns the image by `angle` degrees (counter-clockwise positive) with fast
// interpolation and cuts away the corners that the turn leaves empty: the
// result is the largest centred axis-aligned rectangle inside the turned
// picture. Quarter turns are exact and cut nothing. 1-bit pictures stay 1-bit.
QImage RotateAndCrop(const QImage &src, double angle);
// Size of the largest axis-aligned rectangle, centred, inside a picture of
// `size` turned by `angle` degrees, less a pixel of margin on each side.
QSize LargestInnerRect(QSize size, double angle);

// Turns the image by `angle` degrees (counter-clockwise positive); corners
// left empty take `background` (white when invalid). Quarter turns are
// exact, keep the format and swap width and height: 90 turns a quarter to the
// left, 270 (or -90) a quarter to the right. Other angles interpolate
// bilinearly into a picture that holds the whole turned one.
QImage Rotate(const QImage &src, double angle, const QColor &background);

// How the view paints an image with channel offsets (added to R, G, B) and a
// contrast (0: unchanged; larger values spread the values away from the
// middle of the range). The pixel data itself never changes.
// Per channel: v1 = clamp(v + offset, 0, 255), then
// v2 = clamp(128 + (v1 - 128) * (100 + 2 * contrast) / 100, 0, 255), rounded;
// contrast is limited to -50 .. 100 (100 spreads three times). Indexed and
// 1-bit pictures change their colour table only; grey pictures with equal
// offsets stay grey; everything else comes back as RGB32 or ARGB32.
QImage ApplyDisplayAdjust(const QImage &src, int offsetR, int offsetG, int offsetB, int contrast);

} // namespace ImageProc
