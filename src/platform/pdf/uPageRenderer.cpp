#include "uPageRenderer.h"

#include <GfxState.h>
#include <GlobalParams.h>
#include <PDFDoc.h>
#include <SplashOutputDev.h>
#include <Stream.h>
#include <cstring>
#include <mutex>
#include <splash/SplashBitmap.h>

struct TPageRenderer::TData {
  TPageRaster::TOrder Order = TPageRaster::TOrder::Rgb;
  int RowPad = 1;
  std::unique_ptr<PDFDoc> Document; // reads the caller's bytes in place
  std::unique_ptr<SplashOutputDev> Output;
};

TPageRenderer::TPageRenderer(const QByteArray &data, TPageRaster::TOrder order, int rowPad)
    : D(std::make_unique<TData>()) {
  D->Order = order;
  D->RowPad = rowPad;
  if (!globalParams)
    return;
  // The stream only reads the bytes, which stay with the caller.
  auto *stream = new MemStream(data.constData(), 0, data.size(), Object(objNull));
  D->Document = std::make_unique<PDFDoc>(stream); // owns the stream from here
  if (!D->Document->isOk())
    D->Document.reset();
}

TPageRenderer::~TPageRenderer() {
  // The output device refers to the document: it goes first.
  D->Output.reset();
  D->Document.reset();
}

void TPageRenderer::PrepareThreads() {
  static std::once_flag once;
  std::call_once(once, [] {
    // The first drawing state makes the shared colour profiles; later ones
    // only read them.
    const PDFRectangle box(0, 0, 72, 72);
    const GfxState state(72, 72, &box, 0, true);
  });
}

bool TPageRenderer::IsOpen() const { return D->Document != nullptr; }

void TPageRenderer::Release() { D->Output.reset(); }

TPageRaster TPageRenderer::Render(int page, double dpiX, double dpiY) {
  if (!D->Document || page < 1 || page > D->Document->getNumPages())
    return {};
  if (!D->Output) {
    // White paper, top row first; text and lines antialiased, no hinting:
    // what Poppler-Qt6 does with the Antialiasing and TextAntialiasing hints,
    // and pdftoppm by default.
    SplashColor paper = {255, 255, 255};
    D->Output = std::make_unique<SplashOutputDev>(
        D->Order == TPageRaster::TOrder::Bgr ? splashModeBGR8 : splashModeRGB8, D->RowPad, false, paper, true);
    D->Output->setFontAntialias(true);
    D->Output->setVectorAntialias(true);
    D->Output->setFreeTypeHinting(false, false);
    D->Output->startDoc(D->Document.get());
  }
  // The crop box, turned as the page asks, annotations drawn.
  D->Document->displayPageSlice(D->Output.get(), page, dpiX, dpiY, 0, false, true, false, -1, -1, -1, -1);
  SplashBitmap *bitmap = D->Output->getBitmap();
  if (!bitmap || !bitmap->getDataPtr() || bitmap->getRowSize() <= 0)
    return {};
  TPageRaster raster;
  raster.Width = bitmap->getWidth();
  raster.Height = bitmap->getHeight();
  raster.Stride = bitmap->getRowSize();
  raster.Order = D->Order;
  uchar *bits = bitmap->getDataPtr();
  // Splash leaves the padding as it cleared the page: zero it, so that what
  // is written is only the page.
  const qsizetype used = qsizetype(raster.Width) * 3;
  if (raster.Stride > used)
    for (int y = 0; y < raster.Height; ++y)
      std::memset(bits + y * raster.Stride + used, 0, size_t(raster.Stride - used));
  raster.Bits = bits;
  return raster;
}
