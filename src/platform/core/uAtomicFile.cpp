#include "uAtomicFile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool fail(QString *error, int err) {
  if (error)
    *error = QString::fromLocal8Bit(std::strerror(err));
  return false;
}
} // namespace

bool WriteFileAtomically(const QString &fileName, const QByteArray &bytes, QString *error) {
  // Write through a link to its target, as an in-place write would.
  QString target = fileName;
  const QFileInfo info(fileName);
  if (info.isSymLink() && !info.symLinkTarget().isEmpty())
    target = info.symLinkTarget();
  const QByteArray native = target.toLocal8Bit();
  QByteArray tmpl = native + ".XXXXXX";
  const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0)
    return fail(error, errno);
  auto abandon = [&](int err) {
    ::close(fd);
    ::unlink(tmpl.constData());
    return fail(error, err);
  };
  // Keep the permissions of the file being replaced.
  struct stat st {};
  if (::stat(native.constData(), &st) == 0)
    ::fchmod(fd, st.st_mode & 07777);
  else
    ::fchmod(fd, 0644);
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
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(tmpl.constData());
    return fail(error, err);
  }
  if (::rename(tmpl.constData(), native.constData()) != 0) {
    const int err = errno;
    ::unlink(tmpl.constData());
    return fail(error, err);
  }
  return true;
}
