// The barcode scanner of the recognition plug-in, over ZXing-cpp.

#include "uVisionPlugin.h"

#include <leptonica/allheaders.h>

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>
#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

namespace zv {
namespace {

struct TFound {
  std::u16string Type;
  std::u16string Value;
};

class TScanner : public TObject {
public:
  static constexpr TKind Kind = TKind::Scanner;
  explicit TScanner(TLibrary *library) : TObject(Kind), FLibrary(library) {}

private:
  TRef<TLibrary> FLibrary;
};

class TBarcodeList : public TObject {
public:
  static constexpr TKind Kind = TKind::BarcodeList;
  explicit TBarcodeList(std::vector<TFound> items) : TObject(Kind), FItems(std::move(items)) {}
  const std::vector<TFound> &Items() const { return FItems; }

private:
  std::vector<TFound> FItems;
};

class TBarcode : public TObject {
public:
  static constexpr TKind Kind = TKind::Barcode;
  explicit TBarcode(TFound found) : TObject(Kind), FFound(std::move(found)) {}
  const TFound &Found() const { return FFound; }

private:
  TFound FFound;
};

// The barcodes of a view of the pixels to read.
std::vector<TFound> ReadView(const ZXing::ImageView &view);

std::vector<TFound> ReadArea(const TImage &image, const TArea &area) {
  if (area.IsEmpty())
    return {};
  Pix *pix = image.Picture();
  const auto *data = reinterpret_cast<const uint8_t *>(pixGetData(pix));
  int rowStride = pixGetWpl(pix) * 4;
  static_assert(std::endian::native == std::endian::little, "the pixel layout below assumes a little-endian machine");
  if (pixGetDepth(pix) == 32) {
    // Each pixel is one word 0xRRGGBBxx: in memory x, B, G, R.
    return ReadView(ZXing::ImageView(data + ptrdiff_t(area.Y) * rowStride + ptrdiff_t(area.X) * 4, area.Width,
                                     area.Height, ZXing::ImageFormat::XBGR, rowStride));
  }
  // 8-bit pixels lie in the words most significant byte first: unpack.
  std::unique_ptr<uint8_t[]> grey(new uint8_t[size_t(area.Width) * size_t(area.Height)]);
  for (int32_t y = 0; y < area.Height; ++y) {
    const l_uint32 *line = pixGetData(pix) + ptrdiff_t(area.Y + y) * pixGetWpl(pix);
    uint8_t *out = grey.get() + ptrdiff_t(y) * area.Width;
    int32_t x = 0;
    if (area.X % 4 == 0)
      for (; x + 4 <= area.Width; x += 4) {
        const uint32_t v = __builtin_bswap32(line[(area.X + x) / 4]);
        memcpy(out + x, &v, 4);
      }
    for (; x < area.Width; ++x)
      out[x] = uint8_t(GET_DATA_BYTE(line, area.X + x));
  }
  return ReadView(ZXing::ImageView(grey.get(), area.Width, area.Height, ZXing::ImageFormat::Lum));
}

// The pixels of `area` of a picture the caller holds, read in place.
std::vector<TFound> ReadPixels(const uint8_t *pixels, int32_t rowBytes, int32_t layout, int bytesPerPixel,
                               const TArea &area) {
  if (area.IsEmpty())
    return {};
  ZXing::ImageFormat format = ZXing::ImageFormat::Lum;
  switch (layout) {
  case ZV_LAYOUT_RGB24:
    format = ZXing::ImageFormat::RGB;
    break;
  case ZV_LAYOUT_RGBA32:
    format = ZXing::ImageFormat::RGBX;
    break;
  case ZV_LAYOUT_BGRA32:
    format = ZXing::ImageFormat::BGRX;
    break;
  default:
    break;
  }
  return ReadView(ZXing::ImageView(pixels + ptrdiff_t(area.Y) * rowBytes + ptrdiff_t(area.X) * bytesPerPixel,
                                   area.Width, area.Height, format, rowBytes));
}

std::vector<TFound> ReadView(const ZXing::ImageView &view) {
  ZXing::DecodeHints hints;
  hints.setFormats(ZXing::BarcodeFormat::Any);
  hints.setTryHarder(true);
  hints.setTryRotate(true);
  // Reading downscaled copies as well merges their results with a check that
  // asserts (and so ends the process) on some pages with linear codes.
  hints.setTryDownscale(false);
  // ZXing-cpp as packaged keeps its assertions, and some of them fail on
  // unusual pictures, which ends the process: the program reads barcodes
  // only in its helper process.
  ZXing::Results results = ZXing::ReadBarcodes(view, hints);

  // Reading order: by the top edge, then by the left edge.
  auto top = [](const ZXing::Result &r) {
    const auto &p = r.position();
    return std::min({p[0].y, p[1].y, p[2].y, p[3].y});
  };
  auto left = [](const ZXing::Result &r) {
    const auto &p = r.position();
    return std::min({p[0].x, p[1].x, p[2].x, p[3].x});
  };
  std::stable_sort(results.begin(), results.end(), [&](const ZXing::Result &a, const ZXing::Result &b) {
    int ta = top(a), tb = top(b);
    return ta != tb ? ta < tb : left(a) < left(b);
  });

  std::vector<TFound> found;
  for (const auto &r : results) {
    if (!r.isValid())
      continue;
    found.push_back(TFound{Utf8ToUtf16(ZXing::ToString(r.format())), Utf8ToUtf16(r.text())});
  }
  return found;
}

} // namespace

int32_t CreateScanner(zv_handle *library, int32_t reserved, zv_handle **scanner) {
  return Guard([&] {
    auto *lib = Cast<TLibrary>(library, "a library object");
    CheckOut(scanner, "barcode scanner");
    *scanner = nullptr;
    CheckReserved(reserved, "create_scanner");
    *scanner = (new TScanner(lib))->Handle();
    return ZV_OK;
  });
}

int32_t Scan(zv_handle *scanner, zv_handle *image, const zv_rect *rect, int32_t reserved, zv_handle **list) {
  return Guard([&] {
    Cast<TScanner>(scanner, "a barcode scanner");
    auto *img = Cast<TImage>(image, "an image");
    CheckOut(list, "barcode list");
    *list = nullptr;
    CheckReserved(reserved, "scan");
    TArea area = ClipToImage(rect, *img);
    *list = (new TBarcodeList(ReadArea(*img, area)))->Handle();
    return ZV_OK;
  });
}

int32_t ScanPixels(zv_handle *scanner, int32_t width, int32_t height, int32_t layout, int32_t rowBytes,
                   const void *pixels, const zv_rect *rect, int32_t reserved, zv_handle **list) {
  return Guard([&] {
    Cast<TScanner>(scanner, "a barcode scanner");
    CheckOut(list, "barcode list");
    *list = nullptr;
    CheckReserved(reserved, "scan_pixels");
    const int bytesPerPixel = CheckPixels(width, height, layout, rowBytes, pixels);
    const TArea area = ClipToSize(rect, width, height);
    *list = (new TBarcodeList(ReadPixels(static_cast<const uint8_t *>(pixels), rowBytes, layout, bytesPerPixel, area)))
                ->Handle();
    return ZV_OK;
  });
}

int32_t ListCount(zv_handle *list, int32_t *count) {
  return Guard([&] {
    auto *l = Cast<TBarcodeList>(list, "a barcode list");
    CheckOut(count, "count");
    *count = int32_t(l->Items().size());
    return ZV_OK;
  });
}

int32_t ListItem(zv_handle *list, int32_t index, zv_handle **item) {
  return Guard([&] {
    auto *l = Cast<TBarcodeList>(list, "a barcode list");
    CheckOut(item, "barcode");
    *item = nullptr;
    if (index < 0 || size_t(index) >= l->Items().size())
      Fail(ZV_E_RANGE, "Barcode index " + std::to_string(index) + " out of range (the list holds " +
                           std::to_string(l->Items().size()) + ")");
    *item = (new TBarcode(l->Items()[size_t(index)]))->Handle();
    return ZV_OK;
  });
}

int32_t BarcodeType(zv_handle *item, zv_handle **text) {
  return Guard([&] {
    auto *b = Cast<TBarcode>(item, "a barcode");
    CheckOut(text, "text object");
    *text = NewText(b->Found().Type);
    return ZV_OK;
  });
}

int32_t BarcodeValue(zv_handle *item, zv_handle **text) {
  return Guard([&] {
    auto *b = Cast<TBarcode>(item, "a barcode");
    CheckOut(text, "text object");
    *text = NewText(b->Found().Value);
    return ZV_OK;
  });
}

} // namespace zv
