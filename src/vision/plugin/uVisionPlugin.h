#pragma once

// Inside the recognition plug-in: the objects behind the handles of
// uVisionApi.h and what the operations share. Nothing here is exported.

#include "uVisionApi.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <utility>
#include <vector>

struct Pix;

namespace zv {

// A failure of an operation: its status and description, thrown inside the
// plug-in and turned into the status and last_error() at the boundary.
struct TFailure {
  int32_t Status;
  std::string Message; // UTF-8
};
[[noreturn]] void Fail(int32_t status, std::string message);

enum class TKind : uint32_t { Library = 1, Image, Ocr, Text, Scanner, BarcodeList, Barcode };

class TObject {
public:
  explicit TObject(TKind kind) : FKind(kind) {}
  virtual ~TObject() { FMagic = 0; }
  TObject(const TObject &) = delete;
  TObject &operator=(const TObject &) = delete;

  int32_t AddRef() { return FRefs.fetch_add(1, std::memory_order_relaxed) + 1; }
  int32_t Release();
  bool IsA(TKind kind) const { return FMagic == Magic && FKind == kind; }
  zv_handle *Handle() { return reinterpret_cast<zv_handle *>(this); }

private:
  static constexpr uint32_t Magic = 0x7a76626aU;
  uint32_t FMagic = Magic;
  TKind FKind;
  std::atomic<int32_t> FRefs{1};
};

// The object behind a handle, checked for its kind; fails with
// ZV_E_INVALIDARG naming `what` for a null handle or one of another kind.
template <class T> T *Cast(zv_handle *handle, const char *what) {
  auto *object = reinterpret_cast<TObject *>(handle);
  if (!object)
    Fail(ZV_E_INVALIDARG, std::string("No ") + what + " given");
  if (!object->IsA(T::Kind))
    Fail(ZV_E_INVALIDARG, std::string("The handle given is not ") + what);
  return static_cast<T *>(object);
}

// A reference held by one object on another.
template <class T> class TRef {
public:
  TRef() = default;
  explicit TRef(T *object) : FObject(object) {
    if (FObject)
      FObject->AddRef();
  }
  TRef(const TRef &) = delete;
  TRef &operator=(const TRef &) = delete;
  ~TRef() {
    if (FObject)
      FObject->Release();
  }
  T *operator->() const { return FObject; }
  T *Get() const { return FObject; }

private:
  T *FObject = nullptr;
};

class TLibrary : public TObject {
public:
  static constexpr TKind Kind = TKind::Library;
  TLibrary() : TObject(Kind) {}
};

// The pixels of a plug-in image, copied into a Leptonica picture: 8 bits
// grey, or 32 bits RGB without alpha.
class TImage : public TObject {
public:
  static constexpr TKind Kind = TKind::Image;
  TImage(int32_t width, int32_t height, int32_t layout, int32_t rowBytes, const void *pixels);
  ~TImage() override;
  Pix *Picture() const { return FPix; }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }

private:
  Pix *FPix = nullptr;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
};

class TText : public TObject {
public:
  static constexpr TKind Kind = TKind::Text;
  explicit TText(std::u16string text) : TObject(Kind), FText(std::move(text)) {}
  const std::u16string &Text() const { return FText; }

private:
  std::u16string FText;
};

// A rectangle clipped to an image: x, y, width, height, possibly empty.
struct TArea {
  int32_t X = 0, Y = 0, Width = 0, Height = 0;
  bool IsEmpty() const { return Width <= 0 || Height <= 0; }
  bool IsWhole(const TImage &image) const {
    return X == 0 && Y == 0 && Width == image.Width() && Height == image.Height();
  }
};
// The part of `image` (of a picture of width x height) that `rect` covers
// (all zeros: the whole of it); fails with ZV_E_INVALIDARG for a null
// rectangle or a negative width or height.
TArea ClipToImage(const zv_rect *rect, const TImage &image);
TArea ClipToSize(const zv_rect *rect, int32_t width, int32_t height);

// Checks the description of pixels handed to the plug-in (create_image,
// scan_pixels); their bytes per pixel, or fails with ZV_E_INVALIDARG.
int CheckPixels(int32_t width, int32_t height, int32_t layout, int32_t rowBytes, const void *pixels);

std::u16string Utf8ToUtf16(const char *text, size_t length);
inline std::u16string Utf8ToUtf16(const std::string &text) { return Utf8ToUtf16(text.data(), text.size()); }

// A new text object as a handle.
zv_handle *NewText(std::u16string text);

// Sets *out after checking it; fails with ZV_E_INVALIDARG for a null `out`.
void CheckOut(void *out, const char *what);
void CheckReserved(int32_t value, const char *what);

// The operations of uVisionOcr.cpp and uVisionBarcode.cpp.
int32_t CreateOcr(zv_handle *library, const char *folder, const char *language, int32_t reserved1, int32_t reserved2,
                  zv_handle **ocr);
int32_t SetMode(zv_handle *ocr, int32_t mode);
int32_t Recognize(zv_handle *ocr, zv_handle *image, const zv_rect *rect, int32_t reserved, zv_handle **text);
int32_t RecognizeProgress(zv_handle *ocr, zv_handle *image, const zv_rect *rect,
                          void (*progress)(void *context, int32_t percent), void *context, zv_handle **text);
int32_t CreateScanner(zv_handle *library, int32_t reserved, zv_handle **scanner);
int32_t Scan(zv_handle *scanner, zv_handle *image, const zv_rect *rect, int32_t reserved, zv_handle **list);
int32_t ScanPixels(zv_handle *scanner, int32_t width, int32_t height, int32_t layout, int32_t rowBytes,
                   const void *pixels, const zv_rect *rect, int32_t reserved, zv_handle **list);
int32_t ListCount(zv_handle *list, int32_t *count);
int32_t ListItem(zv_handle *list, int32_t index, zv_handle **item);
int32_t BarcodeType(zv_handle *item, zv_handle **text);
int32_t BarcodeValue(zv_handle *item, zv_handle **text);

// The calling thread's description of its last failure.
void SetLastError(std::string message);
void ClearLastError();
const std::u16string &LastError();

// Runs the body of an operation: clears the thread's last error, and turns
// whatever the body throws into a failing status with its description.
template <class F> int32_t Guard(F &&body) noexcept {
  try {
    ClearLastError();
    return body();
  } catch (const TFailure &e) {
    SetLastError(e.Message);
    return e.Status;
  } catch (const std::bad_alloc &) {
    SetLastError("Out of memory");
    return ZV_E_NOMEM;
  } catch (const std::exception &e) {
    SetLastError(e.what());
    return ZV_E_FAIL;
  } catch (...) {
    SetLastError("Unknown failure inside the recognition plug-in");
    return ZV_E_FAIL;
  }
}

} // namespace zv
