#include "uIniFile.h"

#include "uAtomicFile.h"
#include "uException.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isComment(const QString &trimmed) { return trimmed.startsWith(u';') || trimmed.startsWith(u'#'); }

// The section name of a heading line, or a null string for any other line.
QString headingName(const QString &line) {
  const QString t = line.trimmed();
  if (!t.startsWith(u'['))
    return {};
  const qsizetype close = t.indexOf(u']');
  if (close < 0)
    return {};
  return t.mid(1, close - 1).trimmed();
}

bool sameName(const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

QString encodeValue(QString value) {
  value.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
  value.replace(u'\r', u' ');
  value.replace(u'\n', u' ');
  const bool padded = !value.isEmpty() && (value.front().isSpace() || value.back().isSpace());
  const bool quoted = value.size() >= 2 && value.front() == u'"' && value.back() == u'"';
  if (padded || quoted)
    return u'"' + value + u'"';
  return value;
}

// The value of a key line as a read returns it (cut to what a read gives),
// or whole.
QString valueOf(const QString &line, bool cut = true) {
  QString v = line.mid(line.indexOf(u'=') + 1).trimmed();
  if (v.size() >= 2 && v.front() == u'"' && v.back() == u'"')
    v = v.mid(1, v.size() - 2);
  return cut ? v.left(TIniFile::MaxValueLength) : v;
}

// Whole number as the Windows program's integer conversion (StrToInt) reads
// it: optional sign, decimal digits, or hexadecimal after "$" or "0x".
bool parseInteger(const QString &text, int &out) {
  QString t = text.trimmed();
  if (t.isEmpty())
    return false;
  bool negative = false;
  if (t.front() == u'-' || t.front() == u'+') {
    negative = t.front() == u'-';
    t.remove(0, 1);
  }
  bool ok = false;
  qlonglong v = 0;
  if (t.startsWith(u'$'))
    v = t.mid(1).toLongLong(&ok, 16);
  else if (t.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
    v = t.mid(2).toLongLong(&ok, 16);
  else {
    for (QChar c : t)
      if (!c.isDigit() || c.unicode() > 127)
        return false;
    v = t.toLongLong(&ok, 10);
  }
  if (!ok || v > 2147483647LL + (negative ? 1 : 0))
    return false;
  out = static_cast<int>(negative ? -v : v);
  return true;
}

} // namespace

TIniFile::TIniFile(QString fileName) : FFileName(std::move(fileName)) {
  // Read through the system calls: a FIFO or device must neither block nor
  // be read, and the size is known before anything is read.
  const int fd = ::open(QFile::encodeName(FFileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    FUnreadable = errno != ENOENT; // a missing file reads as empty
    return;
  }
  struct stat st {};
  QByteArray bytes;
  bool whole = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= MaxFileSize;
  if (whole) {
    bytes.reserve(static_cast<qsizetype>(st.st_size));
    char buffer[65536];
    for (;;) {
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR)
        continue;
      if (got < 0 || bytes.size() + got > MaxFileSize) {
        whole = false;
        break;
      }
      if (got == 0)
        break;
      bytes.append(buffer, got);
    }
  }
  ::close(fd);
  if (!whole) {
    FUnreadable = true;
    return;
  }
  Split(bytes);
}

QString TIniFile::Decode(const QByteArray &raw) const {
  switch (FEncoding) {
  case TTextEncoding::Utf16LE:
    return QStringDecoder(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless).decode(raw);
  case TTextEncoding::Utf16BE:
    return QStringDecoder(QStringConverter::Utf16BE, QStringConverter::Flag::Stateless).decode(raw);
  default:
    return QString::fromUtf8(raw);
  }
}

QByteArray TIniFile::Encode(const QString &text) const {
  switch (FEncoding) {
  case TTextEncoding::Utf16LE:
    return QStringEncoder(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless).encode(text);
  case TTextEncoding::Utf16BE:
    return QStringEncoder(QStringConverter::Utf16BE, QStringConverter::Flag::Stateless).encode(text);
  default:
    return text.toUtf8();
  }
}

void TIniFile::Split(const QByteArray &bytes) {
  qsizetype at = 0;
  int unit = 1;
  bool bigEndian = false;
  if (bytes.startsWith("\xEF\xBB\xBF")) {
    FEncoding = TTextEncoding::Utf8Bom;
    at = 3;
  } else if (bytes.startsWith("\xFF\xFE")) {
    FEncoding = TTextEncoding::Utf16LE;
    at = 2;
    unit = 2;
  } else if (bytes.startsWith("\xFE\xFF")) {
    FEncoding = TTextEncoding::Utf16BE;
    at = 2;
    unit = 2;
    bigEndian = true;
  }
  FMark = bytes.left(at);
  const auto *b = reinterpret_cast<const unsigned char *>(bytes.constData());
  const qsizetype n = bytes.size();
  // The character at a byte offset; a lone last byte of UTF-16 is none.
  auto charAt = [&](qsizetype i) -> int {
    if (unit == 1)
      return b[i];
    if (i + 1 >= n)
      return -1;
    return bigEndian ? (b[i] << 8 | b[i + 1]) : (b[i] | b[i + 1] << 8);
  };
  qsizetype start = at;
  qsizetype i = at;
  while (i < n) {
    const int c = charAt(i);
    if (c != '\r' && c != '\n') {
      i += unit;
      continue;
    }
    qsizetype endLength = unit;
    if (c == '\r' && i + unit < n && charAt(i + unit) == '\n')
      endLength = 2 * unit;
    const QByteArray raw = bytes.mid(start, i - start);
    FLines.append(TLine{raw, bytes.mid(i, endLength), Decode(raw)});
    if (FLines.size() == 1)
      FLineBreak = Decode(FLines.first().End);
    i += endLength;
    start = i;
  }
  if (start < n) {
    const QByteArray raw = bytes.mid(start);
    FLines.append(TLine{raw, QByteArray(), Decode(raw)});
  }
}

void TIniFile::InsertLine(qsizetype at, const QString &text) {
  const QByteArray end = Encode(FLineBreak);
  // Only the last line may lack its end; a line after it needs one.
  if (at == FLines.size() && at > 0 && FLines.last().End.isEmpty())
    FLines.last().End = end;
  FLines.insert(at, TLine{Encode(text), end, text});
}

TIniFile::~TIniFile() {
  // Releasing the object flushes the writes; a failure here cannot be
  // reported any more, callers that care call UpdateFile() first.
  try {
    UpdateFile();
  } catch (const std::exception &) {
  }
}

qsizetype TIniFile::FindSection(const QString &section) const {
  for (qsizetype i = 0; i < FLines.size(); ++i) {
    const QString name = headingName(LineText(i));
    if (!name.isNull() && sameName(name, section))
      return i;
  }
  return -1;
}

qsizetype TIniFile::SectionEnd(qsizetype sectionLine) const {
  qsizetype i = sectionLine + 1;
  while (i < FLines.size() && headingName(LineText(i)).isNull())
    ++i;
  return i;
}

qsizetype TIniFile::FindKey(qsizetype sectionLine, const QString &key) const {
  const qsizetype end = SectionEnd(sectionLine);
  for (qsizetype i = sectionLine + 1; i < end; ++i) {
    const QString &line = FLines.at(i).Text;
    const QString t = line.trimmed();
    if (t.isEmpty() || isComment(t))
      continue;
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0)
      continue;
    if (sameName(line.left(eq).trimmed(), key.trimmed()))
      return i;
  }
  return -1;
}

QString TIniFile::ReadString(const QString &section, const QString &key, const QString &defaultValue) const {
  const qsizetype s = FindSection(section);
  if (s < 0)
    return defaultValue;
  const qsizetype k = FindKey(s, key);
  if (k < 0)
    return defaultValue;
  return valueOf(FLines.at(k).Text);
}

int TIniFile::ReadInteger(const QString &section, const QString &key, int defaultValue) const {
  int v = 0;
  return parseInteger(ReadString(section, key, QString()), v) ? v : defaultValue;
}

bool TIniFile::ReadBool(const QString &section, const QString &key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString &section, const QString &key, const QString &value) {
  const QString line = key.trimmed() + u'=' + encodeValue(value);
  qsizetype s = FindSection(section);
  if (s < 0) {
    InsertLine(FLines.size(), u'[' + section + u']');
    InsertLine(FLines.size(), line);
  } else if (const qsizetype k = FindKey(s, key); k >= 0) {
    // A line that reads back as the value stays as it is, bytes and all
    // (also a long one that a read cut to this value); a longer value is
    // written, though a read gives only its start.
    if (valueOf(FLines.at(k).Text) == valueOf(line, false))
      return;
    TLine &old = FLines[k];
    old.Text = line;
    old.Raw = Encode(line);
  } else {
    // after the section's last non-blank line, so blank separators stay last
    qsizetype at = SectionEnd(s);
    while (at > s + 1 && LineText(at - 1).trimmed().isEmpty())
      --at;
    InsertLine(at, line);
  }
  FModified = true;
}

void TIniFile::WriteInteger(const QString &section, const QString &key, int value) {
  WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString &section, const QString &key, bool value) {
  WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::UpdateFile() {
  if (!FSwept) { // also when there is nothing to write
    RemoveStaleTemporaries(FFileName);
    FSwept = true;
  }
  if (!FModified)
    return;
  const QString failure = QStringLiteral("Unable to write to %1").arg(FFileName);
  if (FUnreadable) // what it holds is not known, so it cannot be kept
    throw EIniFileException(failure);
  QByteArray bytes = FMark;
  for (const TLine &line : FLines)
    bytes += line.Raw + line.End;
  if (!WriteFileAtomically(FFileName, bytes))
    throw EIniFileException(failure);
  FModified = false;
}
