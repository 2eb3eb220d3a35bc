#pragma once

#include <QByteArray>
#include <QString>

// Writes a whole file so that readers see either the old file or the complete
// new one: the bytes go to a temporary file in the same folder, are flushed
// to the disk and the temporary file then replaces the target. On any failure
// the temporary file is removed, the target is left exactly as it was and
// false is returned with the system's reason in *error.
bool WriteFileAtomically(const QString &fileName, const QByteArray &bytes, QString *error = nullptr);
