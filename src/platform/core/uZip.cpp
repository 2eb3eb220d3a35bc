#include "uZip.h"

#include "uException.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <zip.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const QString &zipFileName, const QString &reason) {
  throw EPlatformError(QStringLiteral("Cannot extract \"%1\": %2").arg(zipFileName, reason));
}

QString zipError(zip_t *archive) { return QString::fromLocal8Bit(zip_strerror(archive)); }

// The entry's path relative to the target folder, or a null string when it
// would lead outside it.
QString safeRelative(const QString &name) {
  if (name.isEmpty() || name.startsWith(u'/') || name.startsWith(u'\\') ||
      (name.size() >= 2 && name.at(1) == u':'))
    return {};
  const QStringList parts = QString(name).replace(u'\\', u'/').split(u'/');
  for (const QString &p : parts)
    if (p == QLatin1String(".."))
      return {};
  return QString(name).replace(u'\\', u'/');
}

class TArchive {
public:
  explicit TArchive(const QString &fileName) : FName(fileName) {
    int error = 0;
    FArchive = zip_open(QFile::encodeName(fileName).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!FArchive) {
      zip_error_t ze;
      zip_error_init_with_code(&ze, error);
      const QString reason = QString::fromLocal8Bit(zip_error_strerror(&ze));
      zip_error_fini(&ze);
      fail(fileName, reason);
    }
  }
  ~TArchive() {
    if (FArchive)
      zip_discard(FArchive);
  }
  TArchive(const TArchive &) = delete;
  TArchive &operator=(const TArchive &) = delete;
  zip_t *Get() const { return FArchive; }

private:
  QString FName;
  zip_t *FArchive = nullptr;
};

void extractEntry(zip_t *archive, zip_uint64_t index, const QString &zipFileName, const QString &target) {
  zip_file_t *entry = zip_fopen_index(archive, index, 0);
  if (!entry)
    fail(zipFileName, zipError(archive));
  const QByteArray native = QFile::encodeName(target);
  QByteArray tmpl = native + ".XXXXXX";
  const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    zip_fclose(entry);
    fail(zipFileName, QStringLiteral("%1: %2").arg(target, QString::fromLocal8Bit(std::strerror(err))));
  }
  ::fchmod(fd, 0644);
  auto abandon = [&](const QString &reason) {
    ::close(fd);
    ::unlink(tmpl.constData());
    zip_fclose(entry);
    fail(zipFileName, reason);
  };
  char buffer[1 << 16];
  for (;;) {
    const zip_int64_t got = zip_fread(entry, buffer, sizeof buffer);
    if (got < 0)
      abandon(QString::fromLocal8Bit(zip_error_strerror(zip_file_get_error(entry))));
    if (got == 0)
      break;
    const char *p = buffer;
    zip_int64_t left = got;
    while (left > 0) {
      const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        abandon(QStringLiteral("%1: %2").arg(target, QString::fromLocal8Bit(std::strerror(n < 0 ? errno : EIO))));
      p += n;
      left -= n;
    }
  }
  zip_fclose(entry);
  if (::close(fd) != 0 || ::rename(tmpl.constData(), native.constData()) != 0) {
    const int err = errno;
    ::unlink(tmpl.constData());
    fail(zipFileName, QStringLiteral("%1: %2").arg(target, QString::fromLocal8Bit(std::strerror(err))));
  }
}

} // namespace

void ExtractZipFile(const QString &zipFileName, const QString &targetFolder) {
  TArchive archive(zipFileName);
  const zip_int64_t count = zip_get_num_entries(archive.Get(), 0);
  QStringList names;
  for (zip_int64_t i = 0; i < count; ++i) {
    const char *raw = zip_get_name(archive.Get(), static_cast<zip_uint64_t>(i), ZIP_FL_ENC_GUESS);
    if (!raw)
      fail(zipFileName, zipError(archive.Get()));
    const QString name = QString::fromUtf8(raw);
    const QString rel = safeRelative(name);
    if (rel.isNull())
      fail(zipFileName, QStringLiteral("the entry \"%1\" would lie outside the folder %2").arg(name, targetFolder));
    names.append(rel);
  }
  QString root = targetFolder;
  if (!root.endsWith(u'/'))
    root += u'/';
  if (!QDir().mkpath(root))
    fail(zipFileName, QStringLiteral("cannot create the folder %1").arg(root));
  for (zip_int64_t i = 0; i < count; ++i) {
    const QString &rel = names.at(i);
    const QString path = root + rel;
    if (rel.endsWith(u'/')) {
      if (!QDir().mkpath(path))
        fail(zipFileName, QStringLiteral("cannot create the folder %1").arg(path));
      continue;
    }
    const QString folder = QFileInfo(path).path();
    if (!QDir().mkpath(folder))
      fail(zipFileName, QStringLiteral("cannot create the folder %1").arg(folder));
    extractEntry(archive.Get(), static_cast<zip_uint64_t>(i), zipFileName, path);
  }
}
