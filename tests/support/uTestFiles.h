#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Files of the tests' own making in their temporary folders.

// Writes `bytes` as the whole file at `path`, making its folder first; false
// (with a warning naming the file) when that cannot be done.
[[nodiscard]] bool WriteBytes(const QString &path, const QByteArray &bytes);

// The whole file; empty when it cannot be read.
QByteArray ReadBytes(const QString &path);

// The names in a folder, files and folders, hidden ones too, sorted by name.
QStringList FilesIn(const QString &folder);
