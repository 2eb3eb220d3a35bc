#pragma once

#include "uTextFile.h"

#include <QString>
#include <QStringList>

// An ini file with the rules of the operating system's private-profile
// functions, kept in memory between the reads and writes of one use:
// - section and key names match without regard to case; the first of two
//   equal names wins;
// - a read returns the value after the "=" with white space around it
//   trimmed and one pair of enclosing double quotes removed, cut to at most
//   2047 characters; a missing file, section or key gives the default, a
//   key with an empty value the empty text;
// - a write replaces the key's value where it stands, or adds the key at the
//   end of its section, or the section at the end of the file; every other
//   line stays as it was; values that would not read back the same are
//   quoted, and line breaks inside a value become blanks;
// - lines beginning with ";" or "#" are comments.
// UpdateFile() writes pending changes at once and atomically: the new text
// goes to a temporary file in the same folder that then replaces the old
// one, so a failed write leaves the previous file exactly as it was.
class TIniFile {
public:
  static constexpr int MaxValueLength = 2047;

  explicit TIniFile(QString fileName);
  ~TIniFile();
  TIniFile(const TIniFile &) = delete;
  TIniFile &operator=(const TIniFile &) = delete;

  const QString &FileName() const { return FFileName; }

  QString ReadString(const QString &section, const QString &key, const QString &defaultValue) const;
  int ReadInteger(const QString &section, const QString &key, int defaultValue) const;
  bool ReadBool(const QString &section, const QString &key, bool defaultValue) const;

  void WriteString(const QString &section, const QString &key, const QString &value);
  void WriteInteger(const QString &section, const QString &key, int value);
  void WriteBool(const QString &section, const QString &key, bool value);

  bool Modified() const { return FModified; }
  // Writes pending changes; raises EIniFileException "Unable to write to <path>".
  void UpdateFile();

private:
  qsizetype FindSection(const QString &section) const;
  qsizetype SectionEnd(qsizetype sectionLine) const;
  qsizetype FindKey(qsizetype sectionLine, const QString &key) const;

  QString FFileName;
  QStringList FLines;
  QString FLineBreak = QStringLiteral("\n");
  TTextEncoding FEncoding = TTextEncoding::Utf8;
  bool FModified = false;
};
