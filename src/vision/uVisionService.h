#pragma once

// The recognition plug-in as the program uses it: through helper processes
// of its own (the executable quillon-vision in the program folder), so that
// whatever the engine or the barcode reader does to its process (an
// assertion on damaged trained data or an odd picture, a fault, a hang)
// ends one operation, never the program.
//
// A helper is started at the first use, kept for later uses (by any
// thread; one operation at a time each, so parallel callers get helpers of
// their own) and replaced when it has ended. It loads the plug-in at its
// first request by the loader's rules (uVision.h: VisionPluginFileNames() in
// the search folder, then the system's library search; a failed load is
// tried again at the next request) and keeps the OCR engine of its last
// recognition for the next one with the same trained data (the same files,
// unchanged) and mode. The picture goes to it in shared
// memory (for a barcode reading its luminance only, in memory the helper
// keeps mapped for the next reading, where the plug-in reads it without a
// copy); answers and progress come back over a socket.
//
// Failures raise what the in-process handles raise, so VisionFailureText()
// gives the texts to show: EVisionUnavailable (no plug-in, no helper, a
// plug-in file that is damaged), EVisionFault (the helper faulted inside the
// plug-in), EVisionError (a failing status with the plug-in's description,
// trained data that could not be loaded, an operation that ended the helper
// otherwise or did not finish in time).

#include "uVision.h"

#include <QImage>
#include <QList>
#include <QString>
#include <atomic>
#include <functional>

// Share of a recognition done, 0 to 100; called on the calling thread.
using TVisionProgress = std::function<void(int percent)>;

struct TVisionBarcodeRead {
  QString Type;  // the symbology's name
  QString Value; // the decoded content
};

// The name of the helper executable.
inline constexpr const char *VisionHelperName = "quillon-vision";
// The helper executable: in the search folder (the program folder), else in
// the executable's folder; empty when neither holds it.
QString VisionHelperFile();

// All text within `rect` of the picture (all zeros: the whole picture) by an
// engine made from <folder>/<code>.traineddata in engine mode `mode`. When
// *cancel turns true the helper is ended and EVisionCancelled raised.
QString VisionRecognize(const QImage &picture, const TVisionRect &rect, const QString &folder, const QString &code,
                        int mode = ZV_MODE_DEFAULT, const TVisionProgress &progress = {},
                        const std::atomic<bool> *cancel = nullptr);

// A recognition given up by its caller.
class EVisionCancelled : public EPlatformError {
public:
  using EPlatformError::EPlatformError;
};

// A picture of `size` and `format` (its pixels not set) in memory that a
// helper can read itself: VisionRecognize of it, or of a copy that shares
// its pixels, hands that memory over instead of copying the pixels. A null
// image when no such memory can be had.
QImage VisionSharedPicture(const QSize &size, QImage::Format format);

// Every barcode within `rect` of the picture (all zeros: the whole picture),
// in the plug-in's order.
QList<TVisionBarcodeRead> VisionReadBarcodes(const QImage &picture, const TVisionRect &rect);

// Hooks for tests and benchmarks.
namespace VisionServiceTest {
// How long a helper may take: making an engine or checking trained data
// (and loading the plug-in), reading barcodes, and a recognition between
// two signs of progress. 0 or less keeps a value.
void SetTimeouts(int engineMs, int scanMs, int recognitionMs);
// The process identifiers of the helpers running now (idle or busy).
QList<qint64> HelperPids();
// Number of helpers started in this run.
int HelpersStarted();
// Ends the idle helpers.
void StopIdleHelpers();
} // namespace VisionServiceTest
