#include "uTextFile.h"

#include "uException.h"
#include "uPlatformText.h"
#include "uRegularFile.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <cstring>

namespace {

QString decodeWith(QStringConverter::Encoding enc, QByteArrayView bytes) {
  QStringDecoder decoder(enc, QStringConverter::Flag::Stateless);
  return decoder.decode(bytes);
}

} // namespace

TDecodedText DecodeText(const QByteArray &bytes, TTextEncoding fallback) {
  TDecodedText result;
  QByteArrayView view(bytes);
  if (view.startsWith("\xEF\xBB\xBF")) {
    result.Encoding = TTextEncoding::Utf8Bom;
    result.Text = decodeWith(QStringConverter::Utf8, view.sliced(3));
  } else if (view.startsWith("\xFF\xFE")) {
    result.Encoding = TTextEncoding::Utf16LE;
    result.Text = decodeWith(QStringConverter::Utf16LE, view.sliced(2));
  } else if (view.startsWith("\xFE\xFF")) {
    result.Encoding = TTextEncoding::Utf16BE;
    result.Text = decodeWith(QStringConverter::Utf16BE, view.sliced(2));
  } else {
    result.Encoding = fallback;
    result.Text = decodeWith(fallback == TTextEncoding::System ? QStringConverter::System : QStringConverter::Utf8, view);
  }
  const qsizetype nul = result.Text.indexOf(QChar(0));
  if (nul >= 0)
    result.Text.truncate(nul);
  return result;
}

QByteArray EncodeText(const QString &text, TTextEncoding encoding) {
  switch (encoding) {
  case TTextEncoding::Utf8Bom:
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
  case TTextEncoding::Utf16LE: {
    QStringEncoder enc(QStringConverter::Utf16LE);
    return QByteArray("\xFF\xFE") + QByteArray(enc.encode(text));
  }
  case TTextEncoding::Utf16BE: {
    QStringEncoder enc(QStringConverter::Utf16BE);
    return QByteArray("\xFE\xFF") + QByteArray(enc.encode(text));
  }
  case TTextEncoding::Utf8:
    return text.toUtf8();
  case TTextEncoding::System: {
    QStringEncoder enc(QStringConverter::System);
    return enc.encode(text);
  }
  }
  return text.toUtf8();
}

QStringList SplitLines(const QString &text) {
  QStringList lines;
  qsizetype start = 0;
  const qsizetype n = text.size();
  qsizetype i = 0;
  while (i < n) {
    const QChar c = text.at(i);
    if (c == u'\r' || c == u'\n') {
      lines.append(text.mid(start, i - start));
      if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
        ++i;
      ++i;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < n)
    lines.append(text.mid(start));
  return lines;
}

QString FileOpenErrorMessage(const QString &fileName, int errorNumber) {
  return FileOpenErrorMessage(fileName, QString::fromLocal8Bit(std::strerror(errorNumber)));
}

QString FileOpenErrorMessage(const QString &fileName, const QString &reason) {
  return QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, reason);
}

QByteArray ReadWholeFile(const QString &fileName, qint64 maxBytes) {
  auto refuse = [&fileName](const QString &reason) { throw EFOpenError(FileOpenErrorMessage(fileName, reason)); };
  QFile file;
  QString reason;
  switch (OpenRegularFile(file, fileName, &reason)) {
  case TFileKind::Regular:
    break;
  case TFileKind::Missing:
    throw EFOpenError(FileOpenErrorMessage(fileName, ENOENT));
  case TFileKind::Folder:
    throw EFOpenError(FileOpenErrorMessage(fileName, EISDIR));
  case TFileKind::Special:
    refuse(PlatformText("error_docSpecial", "It is a device, a pipe or a socket, not a file."));
    break;
  case TFileKind::Unreadable:
    refuse(reason);
    break;
  }
  // A regular file: its size is known before the read, which takes no more.
  if (file.size() > maxBytes)
    refuse(PlatformFormat("error_docTooLarge", "It is larger than %d MB.", {maxBytes >> 20}));
  QByteArray bytes = file.read(file.size());
  if (file.error() != QFileDevice::NoError)
    refuse(file.errorString());
  return bytes;
}

QStringList LoadTextLines(const QString &fileName) {
  return SplitLines(DecodeText(ReadWholeFile(fileName, MaxTextFileBytes)).Text);
}
