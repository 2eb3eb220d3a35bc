#pragma once

// The recognition path, in one place for the workspace and the benchmarks:
// the size a picture is recognised at and its enlargement, the trained-data
// folder and file, and the engine call (in a helper process, see
// uVisionService.h).

#include "uVisionService.h"

#include <QImage>
#include <QSize>
#include <QString>

// Recognition wants 900 dpi: a picture that records less is enlarged.
inline constexpr int RecognitionDpi = 900;
// The engine's mode: whatever the trained data serves best.
inline constexpr int RecognitionEngineMode = ZV_MODE_DEFAULT;
// The engine keeps page coordinates in 16 bits: no side may pass this.
inline constexpr int RecognitionMaxSide = 32767;

// The size a picture of `size` that records `dpi` is recognised at. At
// RecognitionDpi or more: its own size. Below: three times its width and
// height; when that would pass the program's picture limit (MaxImagePixels)
// or the engine's largest side, the largest enlargement (in the picture's
// proportions) that fits, down to the picture's own size.
QSize RecognitionSize(const QSize &size, int dpi);

// The picture as it is recognised: enlarged to RecognitionSize() with the
// Hermite filter (in memory the helper reads, VisionSharedPicture), or
// itself when that is its own size.
QImage PrepareForRecognition(const QImage &picture, int dpi);

// The trained-data folder of a program folder (ending with "/"), and the
// file of a language code in it.
QString TrainedDataFolder(const QString &appPath);
QString TrainedDataFile(const QString &folder, const QString &code);

// All text of a prepared picture, read with the trained data of `code` in
// `folder`, in RecognitionEngineMode.
QString RecognizePrepared(const QImage &prepared, const QString &folder, const QString &code,
                          const TVisionProgress &progress = {}, const std::atomic<bool> *cancel = nullptr);
