#include "uRecognition.h"

#include "uImageFile.h"
#include "uImageProc.h"

#include <algorithm>
#include <cmath>

QSize RecognitionSize(const QSize &size, int dpi) {
  if (dpi >= RecognitionDpi || size.isEmpty())
    return size;
  const qint64 w = size.width();
  const qint64 h = size.height();
  if (3 * w <= RecognitionMaxSide && 3 * h <= RecognitionMaxSide && 9 * w * h <= MaxImagePixels)
    return QSize(int(3 * w), int(3 * h));
  const double factor = std::min({3.0, double(RecognitionMaxSide) / double(w), double(RecognitionMaxSide) / double(h),
                                  std::sqrt(double(MaxImagePixels) / (double(w) * double(h)))});
  if (factor <= 1.0)
    return size;
  qint64 nw = std::max<qint64>(w, qint64(std::floor(double(w) * factor)));
  qint64 nh = std::max<qint64>(h, qint64(std::floor(double(h) * factor)));
  // Rounding may leave the product a little above the limit.
  while (nw * nh > MaxImagePixels && (nw > w || nh > h)) {
    if (nw > w && nw * h >= nh * w)
      --nw;
    else
      --nh;
  }
  return QSize(int(nw), int(nh));
}

QImage PrepareForRecognition(const QImage &picture, int dpi) {
  const QSize size = RecognitionSize(picture.size(), dpi);
  if (size == picture.size())
    return picture;
  // Enlarged straight into memory the helper reads: no copy of the
  // enlarged picture (nine times the page) on its way there.
  QImage enlarged = VisionSharedPicture(size, ImageProc::HermiteFormat(picture));
  if (enlarged.isNull())
    return ImageProc::HermiteResize(picture, size.width(), size.height());
  ImageProc::HermiteResizeInto(picture, enlarged);
  return enlarged;
}

QString TrainedDataFolder(const QString &appPath) {
  QString folder = appPath;
  if (!folder.isEmpty() && !folder.endsWith(u'/'))
    folder += u'/';
  return folder + QStringLiteral("ocrlangs/");
}

QString TrainedDataFile(const QString &folder, const QString &code) {
  return QStringLiteral("%1%2%3").arg(folder, code, QStringLiteral(".traineddata"));
}

QString RecognizePrepared(const QImage &prepared, const QString &folder, const QString &code,
                          const TVisionProgress &progress, const std::atomic<bool> *cancel) {
  return VisionRecognize(prepared, TVisionRect{0, 0, prepared.width(), prepared.height()}, folder, code,
                         RecognitionEngineMode, progress, cancel);
}
