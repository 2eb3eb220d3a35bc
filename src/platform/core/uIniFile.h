#pragma once

#include "uTextFile.h"

#include <QByteArray>
#include <QList>
#include <QString>

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
// The file is kept as the bytes it holds: every line is decoded for finding
// sections and keys (UTF-8, or UTF-16 after its byte-order mark; a NUL byte
// is a character like any other), but only the lines that a write changes
// are encoded anew. Every other line goes back byte for byte, with its own
// line end, whatever its encoding. A write that finds the key already
// reading back as the value leaves its line as it is.
// UpdateFile() writes pending changes at once and atomically (see
// uAtomicFile.h): the new text goes to a temporary file in the same folder
// that then replaces the file at the end of its link chain, so a failed
// write leaves the previous file exactly as it was; temporaries that a
// killed write left behind are removed first (at the first update or at
// the release, even without changes). A file that exists but could
// not be read whole (no rights, not a plain file, larger than MaxFileSize)
// reads as empty and is never written over.
class TIniFile {
public:
  static constexpr int MaxValueLength = 2047;
  static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

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
  // Removes stale temporaries of the file first, also with nothing to write.
  void UpdateFile();

private:
  struct TLine {
    QByteArray Raw; // the line's bytes without its end
    QByteArray End; // CR LF, LF, CR or nothing (the last line)
    QString Text;   // Raw decoded
  };

  QString Decode(const QByteArray &raw) const;
  QByteArray Encode(const QString &text) const;
  void Split(const QByteArray &bytes);
  QString LineText(qsizetype i) const { return FLines.at(i).Text; }
  void InsertLine(qsizetype at, const QString &text);

  qsizetype FindSection(const QString &section) const;
  qsizetype SectionEnd(qsizetype sectionLine) const;
  qsizetype FindKey(qsizetype sectionLine, const QString &key) const;

  QString FFileName;
  QByteArray FMark; // the byte-order mark the file starts with
  QList<TLine> FLines;
  QString FLineBreak = QStringLiteral("\n"); // for new lines: the first line end found
  TTextEncoding FEncoding = TTextEncoding::Utf8;
  bool FModified = false;
  bool FUnreadable = false; // it exists, but was not read whole
  bool FSwept = false;      // stale temporaries looked for
};
