#include "uLangPackImport.h"

#include "uFormat.h"
#include "uLangText.h"
#include "uVision.h"

#include <QFileInfo>

namespace {

constexpr char TrainedDataSuffix[] = ".traineddata";

QString text(const char *key, const QVariantList &args) {
  return FormatText(GetLangText(QString::fromLatin1(key)), args);
}

int megabytes(qint64 bytes) { return int(bytes >> 20); }

// The check that a trained-data file must pass; other files pass as they are.
bool loadsInTheEngine(const QString &entryName, const QString &stagedFile, QString *reason) {
  const QFileInfo staged(stagedFile);
  const QString name = staged.fileName();
  if (!name.endsWith(QLatin1String(TrainedDataSuffix)))
    return true;
  QString why;
  if (VisionCheckTrainedData(staged.path(), name.chopped(int(sizeof TrainedDataSuffix - 1)), &why))
    return true;
  // The staged copy's path means nothing to the user; the entry does.
  *reason = why.replace(stagedFile, entryName);
  return false;
}

} // namespace

TLangPackImport::TLangPackImport(QString zipFileName, QString targetFolder)
    : FZipFileName(std::move(zipFileName)), FTargetFolder(std::move(targetFolder)) {}

void TLangPackImport::Execute() {
  TZipLimits limits;
  limits.MaxEntrySize = MaxFileSize;
  limits.MaxTotalSize = MaxPackSize;
  limits.MaxEntries = MaxEntries;
  FRefused = ExtractZipFile(FZipFileName, FTargetFolder, limits, loadsInTheEngine);
}

QString TLangPackImport::RefusedText() const {
  QStringList lines;
  for (const TZipRefusal &r : FRefused) {
    QString line = text("error_langPackBadData", {r.Entry, r.Reason});
    if (r.Existing)
      line += u' ' + GetLangText(QStringLiteral("info_langPackOldKept"));
    lines.append(line);
  }
  return lines.join(u'\n');
}

QString TLangPackImport::FailureText(const EZipError &e) {
  switch (e.Kind()) {
  case EZipError::zeArchive:
    return text("error_langPackRead", {e.Archive(), e.Detail()});
  case EZipError::zeOutside:
    return text("error_langPackOutside", {e.Entry(), e.Path()});
  case EZipError::zeTooLarge:
    return text("error_langPackTooLarge", {e.Entry(), megabytes(MaxFileSize)});
  case EZipError::zeTooMuch:
    return text("error_langPackTooMuch", {megabytes(MaxPackSize)});
  case EZipError::zeTooMany:
    return text("error_langPackTooMany", {int(MaxEntries)});
  case EZipError::zeLonger:
    return text("error_langPackLonger", {e.Entry()});
  case EZipError::zeEntry:
    return text("error_langPackEntry", {e.Entry(), e.Detail()});
  case EZipError::zeFolder:
    return text("error_langPackFolder", {e.Path(), e.Entry(), e.Detail()});
  case EZipError::zeWrite:
    return text("error_langPackWrite", {e.Path(), e.Entry(), e.Detail()});
  }
  return e.Message();
}
