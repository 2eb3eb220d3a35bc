#include "uTestZip.h"

#include <QFile>

#include <zip.h>

bool WriteTestZip(const QString &zipFileName, const QList<QPair<QString, QByteArray>> &entries, bool deflate) {
  int error = 0;
  zip_t *archive = zip_open(QFile::encodeName(zipFileName).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive)
    return false;
  for (const auto &[name, bytes] : entries) {
    const QByteArray utf8 = name.toUtf8();
    if (name.endsWith(u'/')) {
      if (zip_dir_add(archive, utf8.left(utf8.size() - 1).constData(), ZIP_FL_ENC_UTF_8) < 0) {
        zip_discard(archive);
        return false;
      }
      continue;
    }
    // The archive reads the data when it is closed: keep a copy alive until then.
    void *copy = malloc(static_cast<size_t>(bytes.size()) + 1);
    memcpy(copy, bytes.constData(), static_cast<size_t>(bytes.size()));
    zip_source_t *source = zip_source_buffer(archive, copy, static_cast<zip_uint64_t>(bytes.size()), 1);
    const zip_int64_t index = source ? zip_file_add(archive, utf8.constData(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) : -1;
    if (index < 0) {
      if (source)
        zip_source_free(source);
      zip_discard(archive);
      return false;
    }
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
  }
  return zip_close(archive) == 0;
}
