#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <memory>

// The pixels of a rendered page as the renderer holds them: rows of three
// bytes a pixel, top row first, each row Stride bytes apart. Padding bytes at
// the end of a row are zero.
struct TPageRaster {
  enum class TOrder { Rgb, Bgr };
  const uchar *Bits = nullptr;
  int Width = 0;
  int Height = 0;
  qsizetype Stride = 0;
  TOrder Order = TOrder::Rgb;

  bool IsNull() const { return !Bits || Width <= 0 || Height <= 0; }
  const uchar *Row(int y) const { return Bits + y * Stride; }
};

// Renders the pages of one document with Poppler's Splash rasteriser, as
// pdftoppm does: a document of its own over the loaded bytes, one output
// device for all its pages, so the fonts of the document are read once and
// the bitmap of a page serves the next page of the same size. The pixels are
// those that Poppler-Qt6 gives with antialiasing of text and lines on white
// paper, only without the fourth byte. One renderer belongs to one thread at
// a time. It needs Poppler's global parameters, which every loaded
// Poppler-Qt6 document holds (and with them Poppler's error function, which
// takes the renderer's messages as well).
class TPageRenderer {
public:
  // Rows of three bytes a pixel in `order`, padded to `rowPad` bytes. The
  // bytes of the document must outlive the renderer.
  TPageRenderer(const QByteArray &data, TPageRaster::TOrder order, int rowPad);
  ~TPageRenderer();
  TPageRenderer(const TPageRenderer &) = delete;
  TPageRenderer &operator=(const TPageRenderer &) = delete;

  // Sets up what Poppler makes at its first drawing without a lock (the
  // colour profiles of its drawing state). Called before renderers run on
  // several threads at once; the first call does it.
  static void PrepareThreads();

  // False when Poppler could not open the bytes (or has no global
  // parameters).
  bool IsOpen() const;

  // Renders a page (counted from 1) at the resolution; the raster stays valid
  // until the next Render or Release. A null raster when the page cannot be
  // rendered.
  TPageRaster Render(int page, double dpiX, double dpiY);

  // Frees the bitmap and the fonts; the next Render makes them again.
  void Release();

private:
  struct TData;
  std::unique_ptr<TData> D;
};
