#pragma once

#include "uException.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSize>
#include <QString>
#include <memory>

struct TPDFHandle;

// The formats SaveAsImage writes, one file per page.
enum TImageType { itBitmap, itJPEG, itSinglePageTIFF };

// How pages are rendered and encoded. The defaults are what SaveAsImage
// uses when it is given none.
struct TImageProperties {
  double DpiX = 96;     // horizontal resolution, also recorded in the file
  double DpiY = 96;     // vertical resolution
  int JPEGQuality = 90; // 0..100
  int Threads = 0;      // rendering threads; 0: one per processor core
  // Memory for the pages rendered at once, in bytes; 0: DefaultPageMemory.
  // A page whose picture alone needs more is rendered when no other is.
  qint64 MemoryBudget = 0;
};

// Largest document file that is opened.
inline constexpr qint64 MaxPDFFileSize = qint64(2) << 30;

// The memory budget of the pages rendered side by side when none is given.
inline constexpr qint64 DefaultPageMemory = qint64(768) << 20;
// What rendering and writing a page of that many pixels takes, as the budget
// counts it: the renderer's bitmap of 3 bytes a pixel with its alpha plane of
// 1, which the writers write from as it stands, and a little for the writers.
inline constexpr qint64 PageRenderMemory(qint64 width, qint64 height) { return width * height * 4 + (qint64(1) << 20); }

// Any failure of the PDF document component.
class EPDFError : public EPlatformError {
public:
  using EPlatformError::EPlatformError;
};

// The extension of the page files of a format, with its dot: ".bmp", ".jpeg",
// ".tiff".
QString ImageTypeExtension(TImageType type);
// The name of a page file: prefix, "_", the page number without leading
// zeros, the extension of the format (IMG_3.jpeg).
QString PageImageFileName(const QString &prefix, int page, TImageType type);

// A PDF document loaded from a file. It holds at most one document, the last
// one loaded.
class TPDFDocument : public QObject {
  Q_OBJECT
public:
  explicit TPDFDocument(QObject *owner = nullptr);
  ~TPDFDocument() override;

  // Loads a document; either it loads and replaces the one held, or an
  // EPDFError is raised and the one held stays. A missing file raises
  // "File Not Found"; what is not a regular file is refused without being
  // read; a file that is no readable PDF raises an error with Poppler's
  // reason.
  void LoadFromFile(const QString &fileName);
  // Pages of the loaded document; 0 when none is loaded.
  int PageCount() const;
  // The file of the loaded document; empty when none is loaded.
  const QString &FileName() const { return FFileName; }

  // Raises what SaveAsImage would raise before it writes anything: a range
  // that is not within the document (or no document loaded) raises "Invalid
  // page range (<range>)"; a page whose picture at the resolution asked for
  // would be larger than the program opens (MaxImagePixels), or than the
  // format can hold, raises an error that names the page and its size.
  void CheckPages(const QString &aPageRange, TImageType aImagetype,
                  const TImageProperties *aImageProperties = nullptr) const;

  // Writes the pages of aPageRange ("3-5", or a single page "4"; pages count
  // from 1) into the folder aLocation, one file per page named by
  // PageImageFileName. A file of the same name is replaced, other files stay.
  // Nothing is written when CheckPages refuses. The pages are rendered side
  // by side, as many as the threads and the memory budget allow (a thread
  // keeps the bitmap of its last page for its next one, within the budget),
  // with Poppler's Splash as pdftoppm renders them (the same pixels), and
  // written in ascending page order, each under a temporary name that is
  // then given its own, so no page file is ever seen cut short (page files
  // are not flushed to the disk: they can be made again). When a page cannot be
  // rendered at its size or written, an EPDFError is raised and the pages
  // before it stay written.
  void SaveAsImage(const QString &aPageRange, TImageType aImagetype, const QString &aLocation,
                   const QString &aFileNamePrefix, const TImageProperties *aImageProperties = nullptr);

  // The size in pixels of a page (counted from 1) rendered at the given
  // resolution; empty when there is no such page.
  QSize PagePixelSize(int page, double dpiX = 96, double dpiY = 96) const;
  // The most memory that the pages rendered side by side (and the bitmaps
  // kept from the last ones) took at once during the last SaveAsImage, as the
  // budget counts it.
  qint64 PeakRenderMemory() const { return FPeakRenderMemory; }

private:
  struct TRange {
    int First = 0;
    int Last = 0;
    QList<QSize> Pixels; // of each page of the range
  };
  TRange CheckedRange(const QString &aPageRange, TImageType aImagetype, const TImageProperties &props) const;

  QByteArray FData; // the loaded file's bytes, shared read-only with the workers
  std::unique_ptr<TPDFHandle> FHandle;
  QString FFileName;
  int FPageCount = 0;
  qint64 FPeakRenderMemory = 0;
};
