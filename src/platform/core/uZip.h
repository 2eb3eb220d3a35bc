#pragma once

#include <QString>

// Extracts every entry of a zip archive into a folder, in the archive's
// directory order: "/" in a name separates folders, missing folders are
// created (the target folder itself included), a name ending in "/" only
// creates its folder, and any other entry is written to a file of that name,
// replacing an existing file (a link of that name is replaced, never
// followed). Each file is written under a temporary name and renamed, so a
// failure never leaves a cut-short file.
// Raises EPlatformError with the reason when the archive cannot be read, or
// when an entry's name would lead outside the target folder (an absolute
// name or a ".." part: such an archive is refused before anything is
// written). Entries extracted before a later failure stay.
void ExtractZipFile(const QString &zipFileName, const QString &targetFolder);
