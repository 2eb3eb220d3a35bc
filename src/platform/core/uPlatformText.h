#pragma once

#include <QString>
#include <QVariantList>

// The texts that the platform layers show to the user (in the messages of
// the errors they raise) are keys of the program's interface-language table.
// The settings side lends its lookup to the platform layers; without one (the
// tests and benches of those layers), or before the table is loaded, each text
// is the English one given with its key.

// Returns false when there is no table to look in; otherwise sets `text` to
// the table's text of `key` (by the table's own rules).
using TPlatformTextLookup = bool (*)(const QString &key, QString &text);
void SetPlatformTextLookup(TPlatformTextLookup lookup);

// The text of `key`: the table's, or `english` when there is no table.
QString PlatformText(const char *key, const char *english);
// The text of `key` filled with `args` by FormatText. A text of the table
// that does not fit the arguments gives way to the English one, so that a
// faulty language file never hides the failure being reported.
QString PlatformFormat(const char *key, const char *english, const QVariantList &args);
