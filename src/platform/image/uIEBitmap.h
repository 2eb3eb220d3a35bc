#pragma once

#include <QColor>
#include <QImage>

// The picture of one layer: the pixels (any QImage format) and the display
// parameters that painting applies to them. The display parameters never
// change the pixels: what is saved and processed is the image without them.
class TIEBitmap {
public:
  TIEBitmap() = default;
  explicit TIEBitmap(QImage image);

  int Width() const { return FImage.width(); }
  int Height() const { return FImage.height(); }
  bool IsEmpty() const { return FImage.isNull(); }
  QImage::Format PixelFormat() const { return FImage.format(); }

  const QImage &Image() const { return FImage; }
  // Replaces the pixels; the display parameters stay.
  void SetImage(QImage image);
  // The same for a plain QImage handed over by a caller.
  void CopyFromTBitmap(const QImage &bitmap) { SetImage(bitmap); }
  // Copies the pixels (size, format and content) of another bitmap; this
  // bitmap's display parameters stay.
  void Assign(const TIEBitmap &source) { SetImage(source.FImage); }
  // A new picture of the given size and format filled with `color`.
  void Allocate(int width, int height, QImage::Format format, const QColor &color = Qt::white);
  // Fills the whole picture; 1-bit and indexed pictures become 24-bit RGB.
  void Fill(const QColor &color);

  // Offsets added to the channels when painting: 0 red, 1 green, 2 blue,
  // 3 alpha (held, not applied). Indices outside 0..3 are ignored.
  int ChannelOffset(int channel) const;
  void SetChannelOffset(int channel, int value);
  // Contrast applied when painting; 0 leaves the values as they are.
  int Contrast() const { return FContrast; }
  void SetContrast(int value) { FContrast = value; }
  bool HasDisplayAdjust() const;
  // Copies offsets and contrast from another bitmap.
  void AssignDisplayParams(const TIEBitmap &source);

  // The picture as painting shows it: display parameters applied and the
  // format made one that painting handles directly. Computed on demand and
  // kept until the pixels or the parameters change; the picture itself when
  // nothing needs to change.
  QImage DisplayImage() const;
  bool HasDisplayCache() const { return !FDisplay.isNull(); }

private:
  QImage FImage;
  int FChannelOffset[4] = {0, 0, 0, 0};
  int FContrast = 0;

  mutable QImage FDisplay;
  mutable qint64 FDisplayKey = 0;
  mutable int FDisplayParams[4] = {0, 0, 0, 0};
};

// One layer of a document: its bitmap and its position over the picture.
class TIELayer {
public:
  TIELayer() = default;
  explicit TIELayer(QImage image) : FBitmap(std::move(image)) {}

  TIEBitmap &Bitmap() { return FBitmap; }
  const TIEBitmap &Bitmap() const { return FBitmap; }
  int Width() const { return FBitmap.Width(); }
  int Height() const { return FBitmap.Height(); }
  int PosX() const { return FPosX; }
  int PosY() const { return FPosY; }
  void SetPosX(int value) { FPosX = value; }
  void SetPosY(int value) { FPosY = value; }

private:
  TIEBitmap FBitmap;
  int FPosX = 0;
  int FPosY = 0;
};

// Whether painting can draw a bitmap's format onto a colour image: the
// formats that hold 24-bit colour directly.
bool IsRGBFormat(QImage::Format format);
