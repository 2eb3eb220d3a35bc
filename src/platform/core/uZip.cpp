#include "uZip.h"

#include <QFile>
#include <QSet>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

namespace {

constexpr char StagingPrefix[] = ".zqpack-";
constexpr int StagingRandomLength = 6;

QString systemText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

QString defaultMessage(EZipError::TKind kind, const QString &archive, const QString &entry, const QString &path,
                       const QString &detail) {
  QString what;
  switch (kind) {
  case EZipError::zeArchive:
    what = detail;
    break;
  case EZipError::zeOutside:
    what = QStringLiteral("the entry \"%1\" would lie outside the folder %2").arg(entry, path);
    break;
  case EZipError::zeTooLarge:
    what = QStringLiteral("the entry \"%1\" is larger than %2 bytes").arg(entry, detail);
    break;
  case EZipError::zeTooMuch:
    what = QStringLiteral("the archive unpacks to more than %1 bytes").arg(detail);
    break;
  case EZipError::zeTooMany:
    what = QStringLiteral("the archive holds more than %1 entries").arg(detail);
    break;
  case EZipError::zeLonger:
    what = QStringLiteral("the entry \"%1\" holds more data than the archive's directory says").arg(entry);
    break;
  case EZipError::zeEntry:
    what = QStringLiteral("the entry \"%1\" cannot be read: %2").arg(entry, detail);
    break;
  case EZipError::zeFolder:
    what = QStringLiteral("the folder %1 for the entry \"%2\" cannot be created: %3").arg(path, entry, detail);
    break;
  case EZipError::zeWrite:
    what = QStringLiteral("the file %1 for the entry \"%2\" cannot be written: %3").arg(path, entry, detail);
    break;
  }
  return QStringLiteral("Cannot extract \"%1\": %2").arg(archive, what);
}

QString zipErrorText(int code) {
  zip_error_t ze;
  zip_error_init_with_code(&ze, code);
  const QString text = QString::fromLocal8Bit(zip_error_strerror(&ze));
  zip_error_fini(&ze);
  return text;
}

// The entry's path relative to the target folder, or a null string when it
// would lead outside it.
QString safeRelative(const QString &name) {
  if (name.isEmpty() || name.startsWith(u'/') || name.startsWith(u'\\') || (name.size() >= 2 && name.at(1) == u':'))
    return {};
  const QStringList parts = QString(name).replace(u'\\', u'/').split(u'/');
  for (const QString &p : parts)
    if (p == QLatin1String(".."))
      return {};
  return QString(name).replace(u'\\', u'/');
}

quint32 le32(const unsigned char *p) {
  return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}
quint64 le64(const unsigned char *p) { return quint64(le32(p)) | quint64(le32(p + 4)) << 32; }

// The number of bytes before the archive proper when other data (a stub, a
// self-extractor) was put in front of it without moving its offsets, as the
// zip tools find it: where the central directory really ends against where
// the end record says it starts. 0 when there is none or it cannot be told.
qint64 prependedBytes(const QString &fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    return 0;
  const qint64 size = file.size();
  const qint64 tailSize = qMin<qint64>(size, 22 + 65535 + 20);
  if (tailSize < 22 || !file.seek(size - tailSize))
    return 0;
  const QByteArray tail = file.read(tailSize);
  if (tail.size() != tailSize)
    return 0;
  const auto *t = reinterpret_cast<const unsigned char *>(tail.constData());
  for (qsizetype at = tail.size() - 22; at >= 0; --at) {
    if (std::memcmp(t + at, "PK\x05\x06", 4) != 0)
      continue;
    const qint64 recordPos = size - tailSize + at;
    const quint32 cdSize = le32(t + at + 12);
    const quint32 cdOffset = le32(t + at + 16);
    if (cdSize == 0xFFFFFFFFu || cdOffset == 0xFFFFFFFFu) {
      // Zip64: the locator before the end record names the Zip64 end record.
      if (at < 20 || std::memcmp(t + at - 20, "PK\x06\x07", 4) != 0)
        return 0;
      const quint64 stored = le64(t + at - 20 + 8);
      const qint64 actual = recordPos - 20 - 56; // the Zip64 end record without extensible data
      if (actual < 0 || quint64(actual) < stored || !file.seek(actual) || file.read(4) != QByteArray("PK\x06\x06", 4))
        return 0;
      return actual - qint64(stored);
    }
    const qint64 shift = recordPos - qint64(cdSize) - qint64(cdOffset);
    return shift > 0 ? shift : 0;
  }
  return 0;
}

class TArchive {
public:
  explicit TArchive(const QString &fileName) : FName(fileName) {
    const QByteArray native = QFile::encodeName(fileName);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
      fail(systemText(errno));
    if (!S_ISREG(st.st_mode)) // a FIFO or device would block or never end
      fail(systemText(S_ISDIR(st.st_mode) ? EISDIR : EINVAL));
    // Not ZIP_CHECKCONS: it refuses an archive with two entries of one name.
    int error = 0;
    FArchive = zip_open(native.constData(), ZIP_RDONLY, &error);
    if (FArchive)
      return;
    const int firstError = error;
    if (error == ZIP_ER_NOZIP || error == ZIP_ER_INCONS) {
      if (const qint64 shift = prependedBytes(fileName); shift > 0) {
        zip_error_t ze;
        zip_error_init(&ze);
        if (zip_source_t *source = zip_source_file_create(native.constData(), zip_uint64_t(shift), -1, &ze)) {
          FArchive = zip_open_from_source(source, ZIP_RDONLY, &ze);
          if (!FArchive)
            zip_source_free(source);
        }
        zip_error_fini(&ze);
        if (FArchive)
          return;
      }
    }
    fail(zipErrorText(firstError));
  }
  ~TArchive() {
    if (FArchive)
      zip_discard(FArchive);
  }
  TArchive(const TArchive &) = delete;
  TArchive &operator=(const TArchive &) = delete;
  zip_t *Get() const { return FArchive; }

private:
  [[noreturn]] void fail(const QString &reason) const {
    throw EZipError(EZipError::zeArchive, FName, QString(), FName, reason);
  }

  QString FName;
  zip_t *FArchive = nullptr;
};

// Makes a folder and the folders above it; 0 or the system's error.
int makeFolders(const QByteArray &folder) {
  struct stat st {};
  if (::stat(folder.constData(), &st) == 0)
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  const qsizetype slash = folder.lastIndexOf('/', folder.endsWith('/') ? folder.size() - 2 : -1);
  if (slash > 0)
    if (const int err = makeFolders(folder.left(slash)))
      return err;
  if (::mkdir(folder.constData(), 0755) == 0)
    return 0;
  if (errno == EEXIST && ::stat(folder.constData(), &st) == 0)
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  return errno;
}

// Empties and removes a staging folder (it holds files only).
void removeStaging(const QByteArray &folder) {
  if (DIR *dir = ::opendir(folder.constData())) {
    while (const dirent *entry = ::readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
  }
  ::rmdir(folder.constData());
}

// Removes the staging folders of extractions that ended without clearing
// up; those of an extraction under way are locked and stay.
void removeStaleStaging(const QByteArray &folder) {
  DIR *dir = ::opendir(folder.constData());
  if (!dir)
    return;
  QList<QByteArray> stale;
  while (const dirent *entry = ::readdir(dir)) {
    const QByteArray name(entry->d_name);
    if (name.size() != qsizetype(sizeof StagingPrefix - 1) + StagingRandomLength || !name.startsWith(StagingPrefix))
      continue;
    const QByteArray path = folder + '/' + name;
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
      continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
      stale.append(path);
    ::close(fd);
  }
  ::closedir(dir);
  for (const QByteArray &path : stale)
    removeStaging(path);
}

// A hidden folder beside a target that holds its data until it is complete
// and checked; locked while it exists, removed with what it still holds.
class TStaging {
public:
  explicit TStaging(const QByteArray &folder) {
    QByteArray tmpl = folder + '/' + StagingPrefix + QByteArray(StagingRandomLength, 'X');
    if (!::mkdtemp(tmpl.data())) {
      FError = errno;
      return;
    }
    FFolder = tmpl;
    FLock = ::open(FFolder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (FLock >= 0)
      ::flock(FLock, LOCK_EX);
  }
  ~TStaging() {
    if (!FFolder.isEmpty())
      removeStaging(FFolder);
    if (FLock >= 0)
      ::close(FLock);
  }
  TStaging(const TStaging &) = delete;
  TStaging &operator=(const TStaging &) = delete;
  int Error() const { return FError; }
  const QByteArray &Folder() const { return FFolder; }

private:
  QByteArray FFolder;
  int FLock = -1;
  int FError = 0;
};

struct TEntry {
  QString Name; // as the archive gives it
  QString Relative;
  zip_uint64_t Size = 0;
};

class TExtraction {
public:
  TExtraction(const QString &zipFileName, const QString &root, const TZipLimits &limits, const TZipFileCheck &check)
      : FZipName(zipFileName), FRoot(root), FLimits(limits), FCheck(check), FArchive(zipFileName) {}

  QList<TZipRefusal> Run() {
    ReadDirectory();
    if (const int err = makeFolders(QFile::encodeName(FRoot)))
      throw EZipError(EZipError::zeFolder, FZipName, QString(), FRoot, systemText(err));
    for (qsizetype i = 0; i < FEntries.size(); ++i)
      Extract(zip_uint64_t(i), FEntries.at(i));
    return FRefused;
  }

private:
  [[noreturn]] void Fail(EZipError::TKind kind, const TEntry &entry, const QString &path, const QString &detail) const {
    throw EZipError(kind, FZipName, entry.Name, path, detail);
  }

  // Names and sizes first: nothing is written for an archive that the
  // limits or its names refuse.
  void ReadDirectory() {
    zip_t *za = FArchive.Get();
    const zip_int64_t count = zip_get_num_entries(za, 0);
    if (count < 0)
      throw EZipError(EZipError::zeArchive, FZipName, QString(), FZipName, QString::fromLocal8Bit(zip_strerror(za)));
    if (count > FLimits.MaxEntries)
      throw EZipError(EZipError::zeTooMany, FZipName, QString(), FZipName, QString::number(FLimits.MaxEntries));
    qint64 total = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
      TEntry entry;
      const char *raw = zip_get_name(za, zip_uint64_t(i), ZIP_FL_ENC_GUESS);
      if (!raw)
        throw EZipError(EZipError::zeArchive, FZipName, QString(), FZipName, QString::fromLocal8Bit(zip_strerror(za)));
      entry.Name = QString::fromUtf8(raw);
      entry.Relative = safeRelative(entry.Name);
      if (entry.Relative.isNull())
        Fail(EZipError::zeOutside, entry, FRoot, QString());
      zip_stat_t st;
      zip_stat_init(&st);
      if (zip_stat_index(za, zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
        Fail(EZipError::zeEntry, entry, QString(), QString::fromLocal8Bit(zip_strerror(za)));
      entry.Size = st.size;
      if (st.size > zip_uint64_t(FLimits.MaxEntrySize))
        Fail(EZipError::zeTooLarge, entry, QString(), QString::number(FLimits.MaxEntrySize));
      total += qint64(st.size);
      if (total > FLimits.MaxTotalSize)
        throw EZipError(EZipError::zeTooMuch, FZipName, QString(), FZipName, QString::number(FLimits.MaxTotalSize));
      FEntries.append(entry);
    }
  }

  void Extract(zip_uint64_t index, const TEntry &entry) {
    const QString path = FRoot + entry.Relative;
    if (entry.Relative.endsWith(u'/')) {
      if (const int err = makeFolders(QFile::encodeName(path)))
        Fail(EZipError::zeFolder, entry, path.chopped(1), systemText(err));
      return;
    }
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString folder = path.left(slash);
    const QByteArray nativeFolder = QFile::encodeName(folder);
    if (const int err = makeFolders(nativeFolder))
      Fail(EZipError::zeFolder, entry, folder, systemText(err));
    if (!FCleaned.contains(folder)) {
      removeStaleStaging(nativeFolder);
      FCleaned.insert(folder);
    }
    TStaging staging(nativeFolder);
    if (staging.Error())
      Fail(EZipError::zeWrite, entry, path, systemText(staging.Error()));
    const QByteArray staged = staging.Folder() + '/' + QFile::encodeName(path.mid(slash + 1));
    Write(index, entry, path, staged);
    const QString stagedName = QFile::decodeName(staged);
    QString reason;
    if (FCheck && !FCheck(entry.Name, stagedName, &reason)) {
      struct stat st {};
      FRefused.append(TZipRefusal{entry.Name, reason, ::lstat(QFile::encodeName(path).constData(), &st) == 0});
      return;
    }
    if (::rename(staged.constData(), QFile::encodeName(path).constData()) != 0)
      Fail(EZipError::zeWrite, entry, path, systemText(errno));
  }

  // The entry's data into `staged`, never more than its directory entry says.
  void Write(zip_uint64_t index, const TEntry &entry, const QString &path, const QByteArray &staged) {
    zip_t *za = FArchive.Get();
    zip_file_t *file = zip_fopen_index(za, index, 0);
    if (!file)
      Fail(EZipError::zeEntry, entry, path, QString::fromLocal8Bit(zip_strerror(za)));
    const int fd = ::open(staged.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      const int err = errno;
      zip_fclose(file);
      Fail(EZipError::zeWrite, entry, path, systemText(err));
    }
    auto abandon = [&](EZipError::TKind kind, const QString &detail) {
      ::close(fd);
      zip_fclose(file);
      Fail(kind, entry, path, detail);
    };
    std::vector<char> buffer(1 << 16);
    zip_uint64_t written = 0;
    for (;;) {
      const zip_int64_t got = zip_fread(file, buffer.data(), buffer.size());
      if (got < 0)
        abandon(EZipError::zeEntry, QString::fromLocal8Bit(zip_error_strerror(zip_file_get_error(file))));
      if (got == 0)
        break;
      written += zip_uint64_t(got);
      if (written > entry.Size) // a bomb that hides its size: stop at once
        abandon(EZipError::zeLonger, QString());
      const char *p = buffer.data();
      zip_int64_t left = got;
      while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
          continue;
        if (n <= 0)
          abandon(EZipError::zeWrite, systemText(n < 0 ? errno : EIO));
        p += n;
        left -= n;
      }
    }
    zip_fclose(file);
    if (written != entry.Size) {
      ::close(fd);
      Fail(EZipError::zeEntry, entry, path, zipErrorText(ZIP_ER_INCONS));
    }
    if (::close(fd) != 0)
      Fail(EZipError::zeWrite, entry, path, systemText(errno));
  }

  QString FZipName;
  QString FRoot;
  TZipLimits FLimits;
  TZipFileCheck FCheck;
  TArchive FArchive;
  QList<TEntry> FEntries;
  QSet<QString> FCleaned;
  QList<TZipRefusal> FRefused;
};

} // namespace

EZipError::EZipError(TKind kind, QString archive, QString entry, QString path, QString detail)
    : EPlatformError(defaultMessage(kind, archive, entry, path, detail)), FKind(kind), FArchive(std::move(archive)),
      FEntry(std::move(entry)), FPath(std::move(path)), FDetail(std::move(detail)) {}

QList<TZipRefusal> ExtractZipFile(const QString &zipFileName, const QString &targetFolder, const TZipLimits &limits,
                                  const TZipFileCheck &check) {
  QString root = targetFolder;
  if (!root.endsWith(u'/'))
    root += u'/';
  return TExtraction(zipFileName, root, limits, check).Run();
}
