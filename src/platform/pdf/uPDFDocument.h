#pragma once

#include "uException.h"

#include <QByteArray>
#include <QObject>
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
};

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
  // "File Not Found"; a file that is no readable PDF raises an error with
  // Poppler's reason.
  void LoadFromFile(const QString &fileName);
  // Pages of the loaded document; 0 when none is loaded.
  int PageCount() const;
  // The file of the loaded document; empty when none is loaded.
  const QString &FileName() const { return FFileName; }

  // Writes the pages of aPageRange ("3-5", or a single page "4"; pages count
  // from 1) into the folder aLocation, one file per page named by
  // PageImageFileName. A file of the same name is replaced, other files stay.
  // A range that is not within the document (or no document loaded) raises
  // "Invalid page range (<range>)" before anything is written. The pages are
  // rendered in parallel but written in ascending page order, each through a
  // temporary file, so no page file is ever left cut short; when a page
  // cannot be rendered or written an EPDFError is raised and the pages before
  // it stay written.
  void SaveAsImage(const QString &aPageRange, TImageType aImagetype, const QString &aLocation,
                   const QString &aFileNamePrefix, const TImageProperties *aImageProperties = nullptr);

private:
  QByteArray FData; // the loaded file's bytes, shared read-only with the workers
  std::unique_ptr<TPDFHandle> FHandle;
  QString FFileName;
  int FPageCount = 0;
};
