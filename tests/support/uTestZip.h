#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Writes a zip archive of the given entries (a name ending in "/" is a
// folder); `deflate` compresses the files, otherwise they are stored.
// Returns false when the archive could not be written.
bool WriteTestZip(const QString &zipFileName, const QList<QPair<QString, QByteArray>> &entries, bool deflate = true);
