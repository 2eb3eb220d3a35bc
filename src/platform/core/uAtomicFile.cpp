#include "uAtomicFile.h"

#include <QFile>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int MaxLinkHops = 40; // the system's own limit for a path
constexpr char TempMark[] = ".zqtmp-";
constexpr int TempRandomLength = 6;

bool fail(QString *error, int err) {
  if (error)
    *error = QString::fromLocal8Bit(std::strerror(err));
  return false;
}

// The end of the link chain that starts at `path`; 0 or the system's error.
int resolveChain(const QByteArray &path, QByteArray &end) {
  QByteArray current = path;
  for (int hop = 0; hop <= MaxLinkHops; ++hop) {
    struct stat st {};
    if (::lstat(current.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      end = current; // a plain file, or a missing one that a write creates
      return 0;
    }
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t n = ::readlink(current.constData(), buffer.data(), buffer.size());
    if (n < 0)
      return errno;
    if (static_cast<size_t>(n) >= buffer.size())
      return ENAMETOOLONG;
    QByteArray target(buffer.data(), n);
    if (!target.startsWith('/')) {
      const qsizetype slash = current.lastIndexOf('/');
      if (slash >= 0)
        target.prepend(current.left(slash + 1));
    }
    current = target;
  }
  return ELOOP;
}

bool memberOfGroup(gid_t group) {
  if (group == ::getegid())
    return true;
  const int n = ::getgroups(0, nullptr);
  if (n <= 0)
    return false;
  std::vector<gid_t> groups(static_cast<size_t>(n));
  const int got = ::getgroups(n, groups.data());
  for (int i = 0; i < got; ++i)
    if (groups[static_cast<size_t>(i)] == group)
      return true;
  return false;
}

// Decided by the bits alone, so that the superuser, whom the system lets
// write anything, leaves a read-only file alone as well.
bool bitsAllowWriting(const struct stat &st) {
  const uid_t user = ::geteuid();
  if (user == 0)
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
  if (st.st_uid == user)
    return (st.st_mode & S_IWUSR) != 0;
  if (memberOfGroup(st.st_gid))
    return (st.st_mode & S_IWGRP) != 0;
  return (st.st_mode & S_IWOTH) != 0;
}

// "<folder>/.<name>.zqtmp-" for "<folder>/<name>".
QByteArray tempPrefix(const QByteArray &target) {
  const qsizetype slash = target.lastIndexOf('/');
  return target.left(slash + 1) + '.' + target.mid(slash + 1) + TempMark;
}

} // namespace

bool WriteFileAtomically(const QString &fileName, const QByteArray &bytes, QString *error) {
  QByteArray native;
  if (const int err = resolveChain(QFile::encodeName(fileName), native))
    return fail(error, err);
  struct stat st {};
  const bool exists = ::stat(native.constData(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode))
    return fail(error, EISDIR);
  if (exists && !bitsAllowWriting(st))
    return fail(error, EACCES);
  // The file is replaced in its folder, so the folder must allow writing.
  const qsizetype slash = native.lastIndexOf('/');
  const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : native.left(slash);
  struct stat folderSt {};
  if (::stat(folder.constData(), &folderSt) == 0 && !bitsAllowWriting(folderSt))
    return fail(error, EACCES);
  QByteArray tmpl = tempPrefix(native) + QByteArray(TempRandomLength, 'X');
  const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0)
    return fail(error, errno);
  // Marks the temporary file as in use; the lock ends with the process.
  ::flock(fd, LOCK_EX);
  auto abandon = [&](int err) {
    ::unlink(tmpl.constData());
    ::close(fd);
    return fail(error, err);
  };
  ::fchmod(fd, exists ? (st.st_mode & 07777) : 0644);
  if (exists && ::geteuid() == 0 && ::fchown(fd, st.st_uid, st.st_gid) != 0) {
    // the file then belongs to the superuser; its contents are what matter
  }
  const char *p = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return abandon(errno);
    }
    if (n == 0)
      return abandon(EIO);
    p += n;
    left -= n;
  }
  if (::fsync(fd) != 0)
    return abandon(errno);
  // Renamed while still locked, so that no clean-up takes it for abandoned.
  if (::rename(tmpl.constData(), native.constData()) != 0)
    return abandon(errno);
  ::close(fd); // the data is on the disk and in place already
  return true;
}

void RemoveStaleTemporaries(const QString &fileName) {
  QByteArray native;
  if (resolveChain(QFile::encodeName(fileName), native) != 0)
    return;
  const QByteArray prefix = tempPrefix(native);
  const qsizetype slash = prefix.lastIndexOf('/');
  const QByteArray folder = slash < 0 ? QByteArray(".") : prefix.left(slash + 1);
  const QByteArray namePrefix = prefix.mid(slash + 1);
  DIR *dir = ::opendir(folder.constData());
  if (!dir)
    return;
  while (const dirent *entry = ::readdir(dir)) {
    const QByteArray name(entry->d_name);
    if (name.size() != namePrefix.size() + TempRandomLength || !name.startsWith(namePrefix))
      continue;
    const QByteArray path = (slash < 0 ? QByteArray() : folder) + name;
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
      continue;
    struct stat st {};
    // A lock to be had means that no write holds it any more.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      ::unlink(path.constData());
    ::close(fd);
  }
  ::closedir(dir);
}
