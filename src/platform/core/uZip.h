#pragma once

#include "uException.h"

#include <QList>
#include <QString>
#include <functional>

// What one extraction may write at most. The sizes that the archive's
// directory gives are checked before anything is written, and an entry
// whose data runs longer than its directory entry says is cut off there.
struct TZipLimits {
  qint64 MaxEntrySize = qint64(256) << 20; // bytes of one extracted file
  qint64 MaxTotalSize = qint64(2) << 30;   // bytes of all of them together
  qint64 MaxEntries = 10000;
};

// A failed extraction. Entry is the entry's name as the archive gives it
// (empty for a failure of the archive as a whole), Path the file or folder
// concerned, Detail the reason given by the zip reader or the system.
class EZipError : public EPlatformError {
public:
  enum TKind {
    zeArchive,  // the archive cannot be opened or its directory read
    zeOutside,  // the entry's name leads outside the target folder
    zeTooLarge, // the entry is larger than MaxEntrySize
    zeTooMuch,  // more than MaxTotalSize bytes in all
    zeTooMany,  // more than MaxEntries entries
    zeLonger,   // the entry's data runs longer than its directory entry says
    zeEntry,    // the entry's data cannot be read (CRC, damaged data, method)
    zeFolder,   // the folder Path for the entry cannot be created
    zeWrite,    // the file Path for the entry cannot be written
  };
  EZipError(TKind kind, QString archive, QString entry, QString path, QString detail);
  TKind Kind() const { return FKind; }
  const QString &Archive() const { return FArchive; }
  const QString &Entry() const { return FEntry; }
  const QString &Path() const { return FPath; }
  const QString &Detail() const { return FDetail; }

private:
  TKind FKind;
  QString FArchive, FEntry, FPath, FDetail;
};

// Asked for each extracted file before it takes its place. Its complete data
// lies in `stagedFile`, which has the target's own file name and lies in a
// hidden folder of its own beside the target. Returning false (with
// *reason) leaves the target as it was.
using TZipFileCheck = std::function<bool(const QString &entryName, const QString &stagedFile, QString *reason)>;

// A file that the check kept out.
struct TZipRefusal {
  QString Entry;
  QString Reason;
  bool Existing = false; // a file of that name was there and stays
};

// Extracts every entry of a zip archive into a folder, in the archive's
// directory order: "/" in a name separates folders, missing folders are
// created (the target folder itself included), a name ending in "/" only
// creates its folder, and any other entry is written to a file of that name,
// replacing an existing file (a link of that name is replaced, never
// followed); of two entries of the same name the later one wins. Each file
// is written in full beside its target and only then renamed over it, so a
// failure never leaves a cut-short file; a hidden folder that an extraction
// killed half-way left behind is removed by the next one into that folder.
// Stored and deflated entries are read; an archive with other data before it
// (a stub or a self-extractor) is read as the zip tools read it.
// Raises EZipError when the archive cannot be read, when an entry's name
// would lead outside the target folder (an absolute name or a ".." part) or
// when the directory's sizes exceed the limits; all of these before anything
// is written. A later failure names its entry; the entries extracted before
// it stay. Returns the files that `check` kept out, in order.
QList<TZipRefusal> ExtractZipFile(const QString &zipFileName, const QString &targetFolder,
                                  const TZipLimits &limits = TZipLimits(), const TZipFileCheck &check = {});
