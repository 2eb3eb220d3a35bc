#include "uIniFile.h"

#include "uException.h"

#include "uAtomicFile.h"

#include <QFile>

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

QString decodeValue(const QString &raw) {
  QString v = raw.trimmed();
  if (v.size() >= 2 && v.front() == u'"' && v.back() == u'"')
    v = v.mid(1, v.size() - 2);
  return v;
}

// Whole number as the platform's integer conversion reads it: optional sign,
// decimal digits, or hexadecimal after "$" or "0x".
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
  QFile file(FFileName);
  if (!file.open(QIODevice::ReadOnly))
    return; // a missing or unreadable file reads as empty
  const TDecodedText decoded = DecodeText(file.readAll(), TTextEncoding::Utf8);
  FEncoding = decoded.Encoding;
  if (decoded.Text.contains(QStringLiteral("\r\n")))
    FLineBreak = QStringLiteral("\r\n");
  FLines = SplitLines(decoded.Text);
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
    const QString name = headingName(FLines.at(i));
    if (!name.isNull() && sameName(name, section))
      return i;
  }
  return -1;
}

qsizetype TIniFile::SectionEnd(qsizetype sectionLine) const {
  qsizetype i = sectionLine + 1;
  while (i < FLines.size() && headingName(FLines.at(i)).isNull())
    ++i;
  return i;
}

qsizetype TIniFile::FindKey(qsizetype sectionLine, const QString &key) const {
  const qsizetype end = SectionEnd(sectionLine);
  for (qsizetype i = sectionLine + 1; i < end; ++i) {
    const QString &line = FLines.at(i);
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
  const QString &line = FLines.at(k);
  return decodeValue(line.mid(line.indexOf(u'=') + 1)).left(MaxValueLength);
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
    FLines.append(u'[' + section + u']');
    FLines.append(line);
  } else if (const qsizetype k = FindKey(s, key); k >= 0) {
    if (FLines.at(k) == line)
      return;
    FLines[k] = line;
  } else {
    // after the section's last non-blank line, so blank separators stay last
    qsizetype at = SectionEnd(s);
    while (at > s + 1 && FLines.at(at - 1).trimmed().isEmpty())
      --at;
    FLines.insert(at, line);
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
  if (!FModified)
    return;
  const QString text = FLines.isEmpty() ? QString() : FLines.join(FLineBreak) + FLineBreak;
  const QByteArray bytes = EncodeText(text, FEncoding);
  if (!WriteFileAtomically(FFileName, bytes))
    throw EIniFileException(QStringLiteral("Unable to write to %1").arg(FFileName));
  FModified = false;
}
