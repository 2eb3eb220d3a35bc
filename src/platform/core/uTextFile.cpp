#include "uTextFile.h"

#include "uException.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

QStringList LoadTextLines(const QString &fileName) {
  // Read through the system calls so that a folder or a missing file gives
  // the system's own reason.
  const QByteArray native = fileName.toLocal8Bit();
  const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    throw EFOpenError(FileOpenErrorMessage(fileName, errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    throw EFOpenError(FileOpenErrorMessage(fileName, err));
  }
  QByteArray bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      const int err = errno;
      ::close(fd);
      throw EFOpenError(FileOpenErrorMessage(fileName, err));
    }
    if (got == 0)
      break;
    bytes.append(buffer, got);
  }
  ::close(fd);
  return SplitLines(DecodeText(bytes).Text);
}
