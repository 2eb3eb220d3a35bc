#pragma once

#include <QByteArray>
#include <QImage>

struct Pix;

// Bridges between QImage and Leptonica's PIX (internal to this layer).
namespace Lept {

// Owns a PIX.
class TPix {
public:
  TPix() = default;
  explicit TPix(Pix *pix) : FPix(pix) {}
  TPix(const TPix &) = delete;
  TPix &operator=(const TPix &) = delete;
  TPix(TPix &&other) noexcept : FPix(other.FPix) { other.FPix = nullptr; }
  TPix &operator=(TPix &&other) noexcept;
  ~TPix();
  Pix *get() const { return FPix; }
  explicit operator bool() const { return FPix != nullptr; }

private:
  Pix *FPix = nullptr;
};

// Any QImage as a PIX: 1-bit as 1 bpp (1 = black), grey as 8 bpp, the rest
// as 32 bpp RGB (with alpha when the image has it). Null on failure.
TPix FromQImage(const QImage &image);
// 8 bpp grey PIX of any image.
TPix GreyFromQImage(const QImage &image);
// A PIX of any depth as a QImage (1 bpp -> Mono, 8 bpp -> Grayscale8 or
// Indexed8, 32 bpp -> RGB32 / ARGB32, other depths through 8 bpp).
QImage ToQImage(Pix *pix);

// Decodes the bytes of a file with Leptonica; `reduction` (1, 2, 4, 8, 16)
// applies to JPEG 2000, which decodes reduced. Null on failure.
TPix ReadMem(const QByteArray &bytes, int reduction = 1);
// Width and height from the header, false when Leptonica does not know it.
bool ReadHeader(const QByteArray &bytes, int &width, int &height);
// Encodes as JPEG 2000 (lossless) or PAM. Empty on failure.
QByteArray WriteJp2k(const QImage &image, int dpiX, int dpiY);
QByteArray WritePam(const QImage &image);

} // namespace Lept
