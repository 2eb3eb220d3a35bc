#pragma once

// The recognition plug-in as the program reaches it: the loader that finds
// the plug-in library at its first use, and handles over its objects (see
// uVisionApi.h for the C interface underneath).
//
//   TVisionLibrary lib = TVisionLibrary::Obtain();   // loads at first use
//   TVisionOCR ocr = lib.CreateOCR(AppPath + "ocrlangs/", "deu");
//   ocr.SetMode(ZV_MODE_DEFAULT);
//   QString text = ocr.Recognize(lib.CreateImage(image), TVisionRect{}).Text();
//
// A failing status of the plug-in raises EVisionError with the plug-in's
// description; a plug-in that cannot be loaded raises EVisionUnavailable.

#include "uException.h"
#include "uVisionApi.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

// A plug-in operation failed: the plug-in's own description of the failure,
// or the system's text for the status when it gives none.
class EVisionError : public EPlatformError {
public:
  EVisionError(int status, const QString &message) : EPlatformError(message), FStatus(status) {}
  int Status() const noexcept { return FStatus; }

private:
  int FStatus;
};

// No plug-in library could be loaded (none of the file names was found, or
// none of the files found has the entry point). The message names the files
// tried and why each failed.
class EVisionUnavailable : public EPlatformError {
public:
  using EPlatformError::EPlatformError;
};

// The plug-in faulted (an invalid memory access) inside the helper process
// that ran the operation.
class EVisionFault : public EPlatformError {
public:
  using EPlatformError::EPlatformError;
};

// The two fixed texts of a failed recognition or barcode reading.
inline constexpr const char *VisionUnavailableText =
    "An error was encountered processing this image. Ensure you are using the latest version of the IEVision "
    "plug-in.";
inline constexpr const char *VisionErrorPrefix = "An error was encountered processing this image: ";
// The text to show for a failure of a recognition or barcode reading:
// VisionUnavailableText for EVisionUnavailable and EVisionFault, otherwise
// VisionErrorPrefix followed by the failure's message.
QString VisionFailureText(const std::exception &e);

// A rectangle of an image in pixels (x, y, width, height); all zeros is the
// whole image.
using TVisionRect = zv_rect;
inline TVisionRect ToVisionRect(const QRect &r) { return TVisionRect{r.x(), r.y(), r.width(), r.height()}; }

// Holds one reference to a plug-in object; copies take another one.
class TVisionObject {
public:
  TVisionObject() = default;
  TVisionObject(const TVisionObject &other);
  TVisionObject(TVisionObject &&other) noexcept;
  TVisionObject &operator=(const TVisionObject &other);
  TVisionObject &operator=(TVisionObject &&other) noexcept;
  ~TVisionObject();

  bool IsNull() const { return FHandle == nullptr; }
  zv_handle *Handle() const { return FHandle; }
  const zv_api *Api() const { return FApi; }

protected:
  // Takes over the reference that `handle` carries.
  TVisionObject(const zv_api *api, zv_handle *handle) : FApi(api), FHandle(handle) {}
  // Raises EVisionError for a failing status; returns the status otherwise.
  int Check(int status) const;
  // The handle, or EVisionError when this holds none.
  zv_handle *Live() const;

  const zv_api *FApi = nullptr;
  zv_handle *FHandle = nullptr;
};

// Raises EVisionError for a failing status of `api`, with its description.
int VisionCheck(const zv_api *api, int status);

// A text object; its text copied out.
class TVisionText : public TVisionObject {
public:
  TVisionText() = default;
  QString Text() const;

private:
  friend class TVisionOCR;
  friend class TVisionBarcode;
  using TVisionObject::TVisionObject;
};

class TVisionImage : public TVisionObject {
public:
  TVisionImage() = default;
  int Width() const;
  int Height() const;

private:
  friend class TVisionLibrary;
  using TVisionObject::TVisionObject;
};

class TVisionOCR : public TVisionObject {
public:
  TVisionOCR() = default;
  // ZV_MODE_DEFAULT (3) and the others of uVisionApi.h.
  void SetMode(int mode);
  // All text found within `rect` of the image.
  TVisionText Recognize(const TVisionImage &image, const TVisionRect &rect);

private:
  friend class TVisionLibrary;
  using TVisionObject::TVisionObject;
};

class TVisionBarcode : public TVisionObject {
public:
  TVisionBarcode() = default;
  TVisionText Type() const;  // the symbology's name
  TVisionText Value() const; // the decoded content

private:
  friend class TVisionBarcodeList;
  using TVisionObject::TVisionObject;
};

class TVisionBarcodeList : public TVisionObject {
public:
  TVisionBarcodeList() = default;
  int Count() const;
  TVisionBarcode Item(int index) const;

private:
  friend class TVisionBarcodeScanner;
  using TVisionObject::TVisionObject;
};

class TVisionBarcodeScanner : public TVisionObject {
public:
  TVisionBarcodeScanner() = default;
  // Every barcode within `rect` of the image (all zeros: the whole image).
  TVisionBarcodeList Scan(const TVisionImage &image, const TVisionRect &rect);
  // The same on pixels of a ZV_LAYOUT_* read where they lie (not copied);
  // EVisionError ZV_E_VERSION when the plug-in does not offer it.
  TVisionBarcodeList ScanPixels(int width, int height, int layout, int rowBytes, const void *pixels,
                                const TVisionRect &rect);

private:
  friend class TVisionLibrary;
  using TVisionObject::TVisionObject;
};

// The plug-in's library object.
class TVisionLibrary : public TVisionObject {
public:
  TVisionLibrary() = default;

  // A new reference to the process-wide library object. At the first use of
  // a run (and after a failed one) loads the plug-in library, under a lock:
  // tries each of VisionPluginFileNames() in order, first in the search
  // folder, then through the system's library search; a file without the
  // entry point is unloaded again and the next tried; the first that has it
  // is kept for the rest of the run. Raises EVisionUnavailable when none
  // loads; the next call tries again.
  static TVisionLibrary Obtain();

  // The pixels of a picture (the plug-in copies them). Grey, RGB and 32-bit
  // formats go as they are; a picture with an alpha channel is laid over
  // white first; others are converted.
  TVisionImage CreateImage(const QImage &image) const;
  TVisionImage CreateImage(int width, int height, int layout, int rowBytes, const void *pixels) const;
  // An OCR engine reading <folder>/<code>.traineddata; both in the system's
  // file-name encoding.
  TVisionOCR CreateOCR(const QString &folder, const QString &code) const;
  TVisionBarcodeScanner CreateBarcodeScanner() const;

private:
  using TVisionObject::TVisionObject;
};

// Whether the trained-data file <folder>/<code>.traineddata loads in the
// recognition engine: true when it does; otherwise false with `reason` (when
// given) saying why. The engine is made in a helper process, as for a
// recognition (uVisionService.h), with a time limit: a file that would end
// the program when loaded is refused, not loaded here. Used before a
// language pack replaces an installed file.
bool VisionCheckTrainedData(const QString &folder, const QString &code, QString *reason = nullptr);

// The pixels of a picture as the plug-in takes them, with their ZV_LAYOUT_*:
// grey, RGB and 32-bit formats as they are; a picture with an alpha channel
// laid over white first; others converted.
QImage VisionPixels(const QImage &picture, int &layout);

// The file names tried, in order.
const QStringList &VisionPluginFileNames();
// The folder looked in first (the program folder); empty: the executable's
// folder. The desk sets AppPath.
void SetVisionSearchFolder(const QString &folder);
QString VisionSearchFolder();
// Whether the system's library search is tried after the search folder.
bool VisionSystemSearch();
// The file the plug-in was loaded from (in this process or, last, in a
// helper process); empty while none is loaded.
QString VisionPluginFile();
// A helper process's load of the plug-in: counted as an attempt, and the
// file kept when it loaded.
void VisionNoteHelperLoad(bool loaded, const QString &file);

// Hooks for tests.
namespace VisionLoaderTest {
// Whether the system's library search is tried after the search folder
// (on by default); off, only the search folder is looked in.
void SetSystemSearch(bool on);
// Number of load attempts made in this run, here and in helper processes
// (each failed Obtain() is one).
int LoadAttempts();
// Forgets a failed attempt's details and the attempt count; a loaded
// plug-in stays loaded.
void Reset();
// Puts the loader back as it is at the start of a run: the plug-in loaded in
// this process is let go (its library object released, its module closed),
// the file a helper process loaded is forgotten, the attempt count is 0; the
// next Obtain() looks for the plug-in again. The system may keep the module
// mapped (while a thread has thread-local objects of it), so that a search
// by its bare name (SetSystemSearch) finds it again. False, changing
// nothing, while an object of the plug-in is still held. Helper processes
// are the service's (VisionServiceTest::StopIdleHelpers).
bool Unload();
} // namespace VisionLoaderTest
