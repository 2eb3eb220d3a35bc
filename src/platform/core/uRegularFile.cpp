#include "uRegularFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
TFileKind kindOf(const struct stat &st) {
  if (S_ISREG(st.st_mode))
    return TFileKind::Regular;
  return S_ISDIR(st.st_mode) ? TFileKind::Folder : TFileKind::Special;
}

TFileKind failure(int err, QString *reason) {
  if (err == ENOENT || err == ENOTDIR || err == ELOOP)
    return TFileKind::Missing;
  if (reason)
    *reason = QString::fromLocal8Bit(std::strerror(err));
  return TFileKind::Unreadable;
}
} // namespace

TFileKind OpenRegularFile(QFile &file, const QString &fileName, QString *reason) {
  if (fileName.isEmpty())
    return TFileKind::Missing;
  const QByteArray native = QFile::encodeName(fileName);
  struct stat st {};
  if (::stat(native.constData(), &st) != 0)
    return failure(errno, reason);
  if (const TFileKind kind = kindOf(st); kind != TFileKind::Regular)
    return kind;
  // Opened without blocking, in case the name was given to a pipe since the
  // test above, and looked at again through the descriptor itself.
  const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0)
    return failure(errno, reason);
  if (::fstat(fd, &st) != 0 || kindOf(st) != TFileKind::Regular) {
    const TFileKind kind = kindOf(st);
    ::close(fd);
    return kind == TFileKind::Regular ? failure(EIO, reason) : kind;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0)
    ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  file.setFileName(fileName);
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    return failure(EIO, reason);
  }
  return TFileKind::Regular;
}
