#pragma once

#include "uZip.h"

#include <QList>
#include <QString>

// Installs a recognition-language pack: a zip archive extracted into the
// trained-data folder, where each trained-data file (a name ending in
// ".traineddata") must load in the recognition engine before it takes the
// place of an installed one; a file that does not load is kept out and the
// installed file of that name stays. The limits refuse what no real pack
// holds (the largest published trained-data files are well below 100 MB)
// before anything is written, and stop an entry whose data runs longer than
// the archive says at once.
class TLangPackImport {
public:
  static constexpr qint64 MaxFileSize = qint64(256) << 20;
  static constexpr qint64 MaxPackSize = qint64(2) << 30;
  static constexpr qint64 MaxEntries = 10000;

  TLangPackImport(QString zipFileName, QString targetFolder);

  // Extracts and checks; may run on any thread (the check is made in the
  // recognition's helper process). Raises EZipError.
  void Execute();
  // The trained-data files kept out, in archive order.
  const QList<TZipRefusal> &Refused() const { return FRefused; }

  // What to tell the user, from the interface-language table: of the files
  // kept out (empty when there are none), and of a failed extraction.
  QString RefusedText() const;
  static QString FailureText(const EZipError &e);

private:
  QString FZipFileName;
  QString FTargetFolder;
  QList<TZipRefusal> FRefused;
};
