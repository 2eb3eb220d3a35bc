#include "uTestAppFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

QString BuiltAppDir() { return QStringLiteral(ZQ_APP_DIR); }
QString SourceDir() { return QStringLiteral(ZQ_SOURCE_DIR); }

TTestAppFolder::TTestAppFolder(bool withData, const QString &nameSuffix) {
  FRoot = FDir.path() + u'/' + (nameSuffix.isEmpty() ? QStringLiteral("app") : nameSuffix) + u'/';
  QDir().mkpath(FRoot);
  if (!withData)
    return;
  const QString src = SourceDir() + QStringLiteral("data/");
  QDirIterator it(src, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString from = it.next();
    const QString rel = from.mid(src.size());
    if (rel == QLatin1String("CMakeLists.txt") || rel.endsWith(QLatin1String(".gitkeep")))
      continue;
    if (it.fileInfo().isDir())
      QDir().mkpath(FRoot + rel);
    else
      QFile::copy(from, FRoot + rel);
  }
  QDir().mkpath(FRoot + QStringLiteral("temp"));
  QDir().mkpath(FRoot + QStringLiteral("ocrlangs"));
  const QDir built(BuiltAppDir() + QStringLiteral("ocrlangs"));
  for (const QFileInfo &f : built.entryInfoList(QDir::Files))
    QFile::link(f.canonicalFilePath(), FRoot + QStringLiteral("ocrlangs/") + f.fileName());
}

QString TTestAppFolder::Path() const { return FRoot; }

void TTestAppFolder::Write(const QString &relative, const QByteArray &bytes) const {
  const QString path = File(relative);
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
    f.write(bytes);
}

QByteArray TTestAppFolder::Read(const QString &relative) const {
  QFile f(File(relative));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
