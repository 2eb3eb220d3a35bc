#pragma once

#include <QByteArray>
#include <QString>

// Writes a whole file so that readers see either the old file or the complete
// new one: the bytes go to a temporary file in the same folder, are flushed
// to the disk and the temporary file then replaces the target. On any failure
// the temporary file is removed, the target is left exactly as it was and
// false is returned with the system's reason in *error.
// - A symbolic link is followed to its end, through any number of links (a
//   missing end is created, as a write through the link would): the file at
//   the end is replaced and every link stays a link.
// - A file whose permission bits forbid writing (for the program's user; for
//   the superuser, a file without any write bit) is left as it is: the write
//   fails with the system's text for EACCES. The same holds for the folder
//   that the file lies in (the one at the end of the link chain).
// - The new file keeps the permissions of the one it replaces (0644 when new)
//   and, where the program may, its owner.
// - The temporary file is hidden, named "." + the target's name +
//   ".zqtmp-" + six characters, and locked for as long as the write runs.
bool WriteFileAtomically(const QString &fileName, const QByteArray &bytes, QString *error = nullptr);

// Removes the temporary files that writes of `fileName` (the end of its link
// chain) left behind when their process ended before they were done; those
// of a write still under way are locked and stay.
void RemoveStaleTemporaries(const QString &fileName);
