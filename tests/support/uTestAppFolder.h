#pragma once

#include <QString>
#include <QTemporaryDir>

// A program folder in a temporary folder: the data files of the built program
// folder copied into it (the trained data linked), so a test may change them.
class TTestAppFolder {
public:
  // withData: copy the program's data files; otherwise an empty folder.
  explicit TTestAppFolder(bool withData = true, const QString &nameSuffix = QString());
  bool IsValid() const { return FDir.isValid(); }
  // The folder with its trailing "/".
  QString Path() const;
  QString File(const QString &relative) const { return Path() + relative; }
  void Write(const QString &relative, const QByteArray &bytes) const;
  QByteArray Read(const QString &relative) const;

private:
  QTemporaryDir FDir;
  QString FRoot;
};

// The built program folder and the source tree, with trailing "/".
QString BuiltAppDir();
QString SourceDir();
