#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Encodings a text file may come in; a byte-order mark selects the first three.
enum class TTextEncoding { Utf8Bom, Utf16LE, Utf16BE, Utf8, System };

struct TDecodedText {
  QString Text;
  TTextEncoding Encoding = TTextEncoding::System;
};

// Decodes a whole file's bytes. A byte-order mark (EF BB BF, FF FE, FE FF)
// selects UTF-8, UTF-16 LE or UTF-16 BE and is dropped; without one the bytes
// are read in `fallback` (the locale's 8-bit encoding, or UTF-8). A NUL
// character ends the text.
TDecodedText DecodeText(const QByteArray &bytes, TTextEncoding fallback = TTextEncoding::System);

// Encodes text for writing, with the byte-order mark the encoding asks for.
QByteArray EncodeText(const QString &text, TTextEncoding encoding);

// Cuts text into lines at CR LF, LF or CR. A break at the very end adds no
// empty line; an empty line inside the text is a line of its own.
QStringList SplitLines(const QString &text);

// Reads the whole of a user's file of at most `maxBytes` bytes. Only a
// regular file is read: a pipe or a device is refused before any read, so it
// can neither block the caller nor feed it endless bytes, and the size is
// checked before the read. A file that cannot be had (missing, a folder, no
// rights, too large) raises EFOpenError with the message
// `Cannot open file "<path>". <reason>`.
QByteArray ReadWholeFile(const QString &fileName, qint64 maxBytes);

// The largest file that LoadTextLines reads.
inline constexpr qint64 MaxTextFileBytes = qint64(16) << 20;

// Reads a whole text file (ReadWholeFile, at most MaxTextFileBytes) into
// lines as above.
QStringList LoadTextLines(const QString &fileName);

// The message of the file-open error for a path and a system error number,
// or for a path and a reason of the caller's (a sentence of its own).
QString FileOpenErrorMessage(const QString &fileName, int errorNumber);
QString FileOpenErrorMessage(const QString &fileName, const QString &reason);
