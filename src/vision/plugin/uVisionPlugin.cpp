// The recognition plug-in: its entry point, the function table, and the
// objects every operation shares (library, image, text).

#include "uVisionPlugin.h"

#include <algorithm>
#include <cstring>
#include <leptonica/allheaders.h>
#include <limits>

#if defined(__GNUC__)
#define ZV_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define ZV_EXPORT extern "C"
#endif

namespace zv {

namespace {
thread_local std::u16string GLastError;
const std::u16string NoMemoryText = u"Out of memory";
thread_local bool GLastErrorIsNoMemory = false;
} // namespace

void Fail(int32_t status, std::string message) { throw TFailure{status, std::move(message)}; }

void SetLastError(std::string message) {
  try {
    GLastError = Utf8ToUtf16(message);
    GLastErrorIsNoMemory = false;
  } catch (...) {
    GLastErrorIsNoMemory = true;
  }
}

void ClearLastError() {
  GLastError.clear();
  GLastErrorIsNoMemory = false;
}

const std::u16string &LastError() { return GLastErrorIsNoMemory ? NoMemoryText : GLastError; }

int32_t TObject::Release() {
  int32_t left = FRefs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0)
    delete this;
  return left;
}

void CheckOut(void *out, const char *what) {
  if (!out)
    Fail(ZV_E_INVALIDARG, std::string("No place given for the ") + what);
}

void CheckReserved(int32_t value, const char *what) {
  if (value != 0)
    Fail(ZV_E_INVALIDARG, std::string("The reserved argument of ") + what + " must be 0");
}

zv_handle *NewText(std::u16string text) { return (new TText(std::move(text)))->Handle(); }

std::u16string Utf8ToUtf16(const char *text, size_t length) {
  // Decodes UTF-8; a malformed sequence becomes U+FFFD, one per bad byte.
  std::u16string out;
  out.reserve(length);
  const auto *s = reinterpret_cast<const unsigned char *>(text);
  size_t i = 0;
  while (i < length) {
    unsigned char c = s[i];
    if (c < 0x80) {
      out.push_back(char16_t(c));
      ++i;
      continue;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t least = 0;
    if ((c & 0xE0) == 0xC0) {
      extra = 1;
      cp = c & 0x1F;
      least = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      cp = c & 0x0F;
      least = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      cp = c & 0x07;
      least = 0x10000;
    } else {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    bool ok = true;
    for (int k = 1; ok && k <= extra; ++k) {
      if (i + k >= length || (s[i + k] & 0xC0) != 0x80)
        ok = false;
      else
        cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if (!ok || cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
    i += extra + 1;
  }
  return out;
}

TArea ClipToImage(const zv_rect *rect, const TImage &image) { return ClipToSize(rect, image.Width(), image.Height()); }

TArea ClipToSize(const zv_rect *rect, int32_t width, int32_t height) {
  if (!rect)
    Fail(ZV_E_INVALIDARG, "No rectangle given");
  if (rect->x == 0 && rect->y == 0 && rect->width == 0 && rect->height == 0)
    return TArea{0, 0, width, height};
  if (rect->width < 0 || rect->height < 0)
    Fail(ZV_E_INVALIDARG, "The rectangle has a negative width or height");
  // In 64 bits, so that no sum of the fields overflows.
  int64_t x1 = std::max<int64_t>(rect->x, 0);
  int64_t y1 = std::max<int64_t>(rect->y, 0);
  int64_t x2 = std::min<int64_t>(int64_t(rect->x) + rect->width, width);
  int64_t y2 = std::min<int64_t>(int64_t(rect->y) + rect->height, height);
  if (x2 <= x1 || y2 <= y1)
    return TArea{0, 0, 0, 0};
  return TArea{int32_t(x1), int32_t(y1), int32_t(x2 - x1), int32_t(y2 - y1)};
}

namespace {
bool IsAllGrey(const unsigned char *pixels, int32_t width, int32_t height, int bytesPerPixel, int32_t rowBytes) {
  for (int32_t y = 0; y < height; ++y) {
    const unsigned char *s = pixels + ptrdiff_t(y) * rowBytes;
    unsigned differ = 0;
    for (int32_t x = 0; x < width; ++x, s += bytesPerPixel)
      differ |= unsigned(s[0] ^ s[1]) | unsigned(s[1] ^ s[2]);
    if (differ)
      return false;
  }
  return true;
}
} // namespace

int CheckPixels(int32_t width, int32_t height, int32_t layout, int32_t rowBytes, const void *pixels) {
  int bytesPerPixel = 0;
  switch (layout) {
  case ZV_LAYOUT_GREY8:
    bytesPerPixel = 1;
    break;
  case ZV_LAYOUT_RGB24:
    bytesPerPixel = 3;
    break;
  case ZV_LAYOUT_RGBA32:
  case ZV_LAYOUT_BGRA32:
    bytesPerPixel = 4;
    break;
  default:
    Fail(ZV_E_INVALIDARG, "Unknown channel layout " + std::to_string(layout));
  }
  if (width <= 0 || height <= 0)
    Fail(ZV_E_INVALIDARG, "The image size " + std::to_string(width) + " x " + std::to_string(height) + " is not valid");
  if (!pixels)
    Fail(ZV_E_INVALIDARG, "No pixels given");
  if (int64_t(rowBytes) < int64_t(width) * bytesPerPixel)
    Fail(ZV_E_INVALIDARG, "The row length " + std::to_string(rowBytes) + " is shorter than a row of " +
                              std::to_string(width) + " pixels");
  return bytesPerPixel;
}

TImage::TImage(int32_t width, int32_t height, int32_t layout, int32_t rowBytes, const void *pixels)
    : TObject(Kind), FWidth(width), FHeight(height) {
  const int bytesPerPixel = CheckPixels(width, height, layout, rowBytes, pixels);
  const auto *src = static_cast<const unsigned char *>(pixels);
  // A colour picture whose pixels are all grey is kept as grey: a quarter of
  // the memory here and in the engine's own copy, and the same recognition.
  if (bytesPerPixel > 1 && IsAllGrey(src, width, height, bytesPerPixel, rowBytes))
    layout = ZV_LAYOUT_GREY8 | (layout << 8);
  // Leptonica refuses pictures above 2^31 bytes; say so before trying.
  int depth = (layout & 0xff) == ZV_LAYOUT_GREY8 ? 8 : 32;
  if (int64_t(width) * height * (depth / 8) >= std::numeric_limits<int32_t>::max())
    Fail(ZV_E_NOMEM, "The image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is too large");
  FPix = pixCreateNoInit(width, height, depth);
  if (!FPix)
    Fail(ZV_E_NOMEM,
         "Out of memory for an image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels");
  l_uint32 *data = pixGetData(FPix);
  int wpl = pixGetWpl(FPix);
  for (int32_t y = 0; y < height; ++y) {
    const unsigned char *s = src + ptrdiff_t(y) * rowBytes;
    l_uint32 *line = data + ptrdiff_t(y) * wpl;
    switch (layout) {
    case ZV_LAYOUT_GREY8: {
      // Leptonica keeps 8-bit pixels in 32-bit words, the first pixel in
      // the most significant byte.
      const int32_t whole = width / 4;
      for (int32_t w = 0; w < whole; ++w) {
        uint32_t v;
        memcpy(&v, s + 4 * w, 4);
        line[w] = __builtin_bswap32(v);
      }
      for (int32_t x = whole * 4; x < width; ++x)
        SET_DATA_BYTE(line, x, s[x]);
      break;
    }
    case ZV_LAYOUT_GREY8 | (ZV_LAYOUT_RGB24 << 8):
      for (int32_t x = 0; x < width; ++x)
        SET_DATA_BYTE(line, x, s[3 * x]);
      break;
    case ZV_LAYOUT_GREY8 | (ZV_LAYOUT_RGBA32 << 8):
    case ZV_LAYOUT_GREY8 | (ZV_LAYOUT_BGRA32 << 8):
      for (int32_t x = 0; x < width; ++x)
        SET_DATA_BYTE(line, x, s[4 * x]);
      break;
    case ZV_LAYOUT_RGB24:
      for (int32_t x = 0; x < width; ++x, s += 3)
        line[x] = (l_uint32(s[0]) << L_RED_SHIFT) | (l_uint32(s[1]) << L_GREEN_SHIFT) |
                  (l_uint32(s[2]) << L_BLUE_SHIFT) | (0xffU << L_ALPHA_SHIFT);
      break;
    case ZV_LAYOUT_RGBA32:
      for (int32_t x = 0; x < width; ++x, s += 4)
        line[x] = (l_uint32(s[0]) << L_RED_SHIFT) | (l_uint32(s[1]) << L_GREEN_SHIFT) |
                  (l_uint32(s[2]) << L_BLUE_SHIFT) | (0xffU << L_ALPHA_SHIFT);
      break;
    case ZV_LAYOUT_BGRA32:
      for (int32_t x = 0; x < width; ++x, s += 4)
        line[x] = (l_uint32(s[2]) << L_RED_SHIFT) | (l_uint32(s[1]) << L_GREEN_SHIFT) |
                  (l_uint32(s[0]) << L_BLUE_SHIFT) | (0xffU << L_ALPHA_SHIFT);
      break;
    }
  }
  if (depth == 32)
    pixSetSpp(FPix, 3);
}

TImage::~TImage() { pixDestroy(&FPix); }

namespace {

int32_t AddRef(zv_handle *object) {
  return Guard([&] {
    if (!object)
      Fail(ZV_E_INVALIDARG, "No object given");
    return reinterpret_cast<TObject *>(object)->AddRef();
  });
}

int32_t Release(zv_handle *object) {
  return Guard([&] {
    if (!object)
      Fail(ZV_E_INVALIDARG, "No object given");
    return reinterpret_cast<TObject *>(object)->Release();
  });
}

int32_t GetLastError(const uint16_t **text) {
  if (text)
    *text = reinterpret_cast<const uint16_t *>(LastError().c_str());
  return ZV_OK;
}

int32_t CreateImage(zv_handle *library, int32_t width, int32_t height, int32_t layout, int32_t rowBytes,
                    const void *pixels, zv_handle **image) {
  return Guard([&] {
    Cast<TLibrary>(library, "a library object");
    CheckOut(image, "image");
    *image = nullptr;
    *image = (new TImage(width, height, layout, rowBytes, pixels))->Handle();
    return ZV_OK;
  });
}

int32_t ImageSize(zv_handle *image, int32_t *width, int32_t *height) {
  return Guard([&] {
    auto *img = Cast<TImage>(image, "an image");
    if (width)
      *width = img->Width();
    if (height)
      *height = img->Height();
    return ZV_OK;
  });
}

int32_t GetText(zv_handle *text, const uint16_t **chars, int32_t *length) {
  return Guard([&] {
    auto *t = Cast<TText>(text, "a text object");
    CheckOut(chars, "text");
    *chars = reinterpret_cast<const uint16_t *>(t->Text().c_str());
    if (length)
      *length = int32_t(t->Text().size());
    return ZV_OK;
  });
}

const zv_api Api = {
    sizeof(zv_api), ZV_ABI_VERSION, AddRef,       Release,           GetLastError,  CreateImage, ImageSize,
    CreateOcr,      SetMode,        Recognize,    GetText,           CreateScanner, Scan,        ListCount,
    ListItem,       BarcodeType,    BarcodeValue, RecognizeProgress, ScanPixels,
};

} // namespace
} // namespace zv

ZV_EXPORT int32_t zvision_library_create(uint32_t version, const zv_api **api, zv_handle **library) {
  return zv::Guard([&] {
    if (!api || !library)
      zv::Fail(ZV_E_INVALIDARG, "No place given for the function table or the library object");
    *api = nullptr;
    *library = nullptr;
    if (version != ZV_ABI_VERSION)
      zv::Fail(ZV_E_VERSION, "This recognition plug-in serves interface version " + std::to_string(ZV_ABI_VERSION) +
                                 ", not " + std::to_string(version));
    *library = (new zv::TLibrary)->Handle();
    *api = &zv::Api;
    return ZV_OK;
  });
}
