#include "uTestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

bool WriteBytes(const QString &path, const QByteArray &bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  if (f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() && f.flush())
    return true;
  qWarning("cannot write %s: %s", qPrintable(path), qPrintable(f.errorString()));
  return false;
}

QByteArray ReadBytes(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList FilesIn(const QString &folder) {
  return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}
