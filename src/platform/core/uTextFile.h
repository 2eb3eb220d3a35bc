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

// Reads a whole text file into lines as above. A file that cannot be opened
// (missing, a folder, no rights) raises EFOpenError with the message
// `Cannot open file "<path>". <reason>`.
QStringList LoadTextLines(const QString &fileName);

// The message of the file-open error for a path and a system error number,
// or for a path and a reason of the caller's (a sentence of its own).
QString FileOpenErrorMessage(const QString &fileName, int errorNumber);
QString FileOpenErrorMessage(const QString &fileName, const QString &reason);
