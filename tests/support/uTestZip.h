#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Writes a zip archive of the given entries (a name ending in "/" is a
// folder); `deflate` compresses the files, otherwise they are stored.
// Returns false when the archive could not be written.
bool WriteTestZip(const QString &zipFileName, const QList<QPair<QString, QByteArray>> &entries, bool deflate = true);

// One entry of an archive written byte by byte, so that a test can give it
// any data and any directory values: `Data` is stored as it stands (already
// deflated for method 8), `Crc` and `Size` are what the directory claims.
struct TRawZipEntry {
  QString Name;
  QByteArray Data;
  quint16 Method = 0; // 0 stored, 8 deflated
  quint32 Crc = 0;
  quint64 Size = 0;
};

// A raw entry whose directory values are right for `content`.
TRawZipEntry RawZipEntry(const QString &name, const QByteArray &content, bool deflate);
// Writes the entries as a zip archive, after `prefix` (a stub that moves no
// offsets, as a shell script put before an archive does) and with an
// archive comment. Sizes of 4 GiB or more are written as Zip64.
bool WriteRawZip(const QString &zipFileName, const QList<TRawZipEntry> &entries, const QByteArray &prefix = {},
                 const QByteArray &comment = {});
// Raw deflate data of `size` zero bytes, made without holding them.
QByteArray DeflatedZeros(qint64 size);
quint32 Crc32(const QByteArray &bytes);
