#pragma once

// What the tests of the source images share: picture files of several
// formats, PDF documents made on the spot, a counter of the workspace's
// change-of-current-image event and a visible workspace.

#include "uDeskFixture.h"
#include "uImgTestFiles.h"
#include "uTestFiles.h"
#include "uIEBitmap.h"
#include "uImageEnVect.h"
#include "uPageControl.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QPageSize>
#include <QPdfWriter>
#include <QtEndian>
#include <functional>

// The PNG file without its resolution chunk (pHYs), which Qt always writes.
inline QByteArray WithoutPngResolution(const QByteArray &png) {
  QByteArray out = png.left(8);
  qsizetype at = 8;
  while (at + 12 <= png.size()) {
    const qsizetype length = qFromBigEndian<quint32>(png.constData() + at);
    const qsizetype whole = 12 + length;
    if (png.mid(at + 4, 4) != "pHYs")
      out += png.mid(at, whole);
    at += whole;
  }
  return out;
}

// A picture of `size` in one colour, written in the format that the
// extension names, recording `dpi`; a PNG with dpi 0 records no resolution.
inline QString WritePicture(const QString &path, QSize size, const QColor &color = QColor(200, 220, 240), int dpi = 0) {
  QImage img(size, QImage::Format_RGB32);
  img.fill(color);
  if (dpi > 0) {
    img.setDotsPerMeterX(qRound(dpi / 0.0254));
    img.setDotsPerMeterY(qRound(dpi / 0.0254));
  }
  QDir().mkpath(QFileInfo(path).absolutePath());
  if (!img.save(path))
    qFatal("cannot write %s", qPrintable(path));
  if (dpi <= 0 && QFileInfo(path).suffix().compare(QLatin1String("png"), Qt::CaseInsensitive) == 0)
    if (!WriteBytes(path, WithoutPngResolution(ReadBytes(path))))
      qFatal("cannot write %s", qPrintable(path));
  return path;
}

// A PNG file whose header claims width x height pixels (RGB, 8 bits) and
// which holds no picture data: whatever reads it must refuse it from the
// header, before it tries to find memory for the pixels.
inline QString WriteOversizedPng(const QString &path, quint32 width, quint32 height) {
  if (!WriteBytes(path, ImgTestFiles::PngHeaderOnly(width, height)))
    qFatal("cannot write %s", qPrintable(path));
  return path;
}

// A PDF document of `pages` small pages, each with its number on it.
inline QString WritePdf(const QString &path, int pages) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QPdfWriter writer(path);
  writer.setPageSize(QPageSize(QSizeF(60, 40), QPageSize::Millimeter));
  writer.setResolution(96);
  QPainter p(&writer);
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(30);
  p.setFont(f);
  for (int i = 1; i <= pages; ++i) {
    if (i > 1)
      writer.newPage();
    p.drawText(20, 60, QStringLiteral("Page %1").arg(i));
  }
  p.end();
  return path;
}

// The workspace on screen (the main window shows its guide page at start),
// so that the image view lays itself out and fits at once.
inline void ShowWorkspace(TDeskFixture &desk) {
  desk.Main->pcMain->SetActivePage(desk.Main->tsOCR);
  QApplication::processEvents();
}

inline QSize ShownSize(const TDeskFixture &desk) {
  const TIEBitmap *bmp = desk.Fra()->imgRaw->IEBitmap();
  return {bmp->Width(), bmp->Height()};
}

// Counts the workspace's change-of-current-image event and remembers what a
// handler saw of the list then; the main window's own handler still runs.
class TChangeProbe {
public:
  explicit TChangeProbe(TDeskFixture &desk) : FDesk(desk), FPrevious(desk.Fra()->OnChangeCurItem()) {
    desk.Fra()->SetOnChangeCurItem([this, previous = FPrevious] {
      ++Count;
      SelectedAtEvent.append(FDesk.List()->SelectedImage());
      ShownAtEvent.append(ShownSize(FDesk));
      if (Extra)
        Extra();
      if (previous)
        previous();
    });
  }
  ~TChangeProbe() { FDesk.Fra()->SetOnChangeCurItem(FPrevious); }
  TChangeProbe(const TChangeProbe &) = delete;
  TChangeProbe &operator=(const TChangeProbe &) = delete;
  int Count = 0;
  QList<int> SelectedAtEvent;
  QList<QSize> ShownAtEvent;
  std::function<void()> Extra;

private:
  TDeskFixture &FDesk;
  TChangeCurItem FPrevious;
};

// The texts of the message boxes shown so far.
inline QStringList BoxTexts(const TTestDialogs &dialogs) {
  QStringList out;
  for (const TDialogCall &c : dialogs.OfKind(QStringLiteral("box")))
    out << c.Text;
  return out;
}
