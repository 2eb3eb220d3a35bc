#include "uPlatformText.h"

#include "uException.h"
#include "uFormat.h"

#include <atomic>

namespace {
// Read by worker threads too (thumbnails, pages); set once at start.
std::atomic<TPlatformTextLookup> gLookup{nullptr};
} // namespace

void SetPlatformTextLookup(TPlatformTextLookup lookup) { gLookup.store(lookup); }

QString PlatformText(const char *key, const char *english) {
  QString text;
  if (const TPlatformTextLookup lookup = gLookup.load(); lookup && lookup(QString::fromLatin1(key), text))
    return text;
  return QString::fromUtf8(english);
}

QString PlatformFormat(const char *key, const char *english, const QVariantList &args) {
  const QString format = PlatformText(key, english);
  try {
    return FormatText(format, args);
  } catch (const EConvertError &) {
    return FormatText(QString::fromUtf8(english), args);
  }
}
