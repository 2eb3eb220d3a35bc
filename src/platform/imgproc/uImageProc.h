#pragma once

#include <QColor>
#include <QImage>

// Image processing on whole bitmaps. Every function leaves its input alone
// and returns a new image; none keeps state.
namespace ImageProc {

// Resamples with the Hermite filter to the given size. Enlarging by exactly
// three in both directions takes a fast path (three fixed phases per axis,
// integer arithmetic, all cores). Accepts any format; 1-bit and indexed
// images are resampled as grey or RGB.
QImage HermiteResize(const QImage &src, int newWidth, int newHeight);

// Black and white by a local threshold: a pixel whose grey level is below the
// mean of the winSize x winSize window around it (clipped to the image) less
// `offset` becomes black, every other pixel white. Returns Format_Mono.
QImage ConvertToBWLocalThreshold(const QImage &src, int winSize, int offset);

// The skew of the text lines in degrees within +-angleRange, found to
// `precision`: the angle by which Rotate/RotateAndCrop turn the image
// (counter-clockwise positive) to make the lines horizontal.
double SkewDetection(const QImage &src, double angleRange, double precision);

// Turns the image by `angle` degrees (counter-clockwise positive) with fast
// interpolation and cuts away the corners that the turn leaves empty.
QImage RotateAndCrop(const QImage &src, double angle);

// Turns the image by `angle` degrees (counter-clockwise positive); corners
// left empty take `background`. Quarter turns are exact.
QImage Rotate(const QImage &src, double angle, const QColor &background);

// How the view paints an image with channel offsets (added to R, G, B) and a
// contrast (0: unchanged; larger values spread the values away from the
// middle of the range). The pixel data itself never changes.
QImage ApplyDisplayAdjust(const QImage &src, int offsetR, int offsetG, int offsetB, int contrast);

} // namespace ImageProc
