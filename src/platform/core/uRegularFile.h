#pragma once

#include <QString>

class QFile;

// What a path names, for a file about to be read.
enum class TFileKind {
  Regular,    // a regular file (also through links), opened
  Missing,    // nothing of that name (or a link to nothing)
  Folder,     // a folder
  Special,    // a device, a pipe or a socket
  Unreadable, // a regular file that cannot be opened (no permission ...)
};

// Opens a user's file for reading only when it is a regular file, links
// followed. Anything else is refused without a read: a pipe cannot block
// the caller and a device cannot feed it endless bytes. On Unreadable,
// *reason (when given) holds the system's reason.
TFileKind OpenRegularFile(QFile &file, const QString &fileName, QString *reason = nullptr);
