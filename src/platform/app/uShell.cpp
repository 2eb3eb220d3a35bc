#include "uShell.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QThread>
#include <QUrl>

#include <filesystem>
#include <system_error>

TDesktop::~TDesktop() = default;

namespace {
std::unique_ptr<TDesktop> &current() {
  static std::unique_ptr<TDesktop> desktop = std::make_unique<TQtDesktop>();
  return desktop;
}
} // namespace

TDesktop &Desktop() { return *current(); }

std::unique_ptr<TDesktop> SetDesktop(std::unique_ptr<TDesktop> desktop) {
  std::unique_ptr<TDesktop> previous = std::move(current());
  current() = desktop ? std::move(desktop) : std::make_unique<TQtDesktop>();
  return previous;
}

void TQtDesktop::OpenDocument(const QString &fileName) { QDesktopServices::openUrl(QUrl::fromLocalFile(fileName)); }

void TQtDesktop::ShowInFileManager(const QString &fileName) {
  const QString uri = QUrl::fromLocalFile(QFileInfo(fileName).absoluteFilePath()).toString();
  QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                                     QStringLiteral("/org/freedesktop/FileManager1"),
                                                     QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
  call << QStringList{uri} << QString();
  const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 3000);
  if (reply.type() != QDBusMessage::ReplyMessage)
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(fileName).absolutePath()));
}

void DeleteFolderTree(const QString &folder) noexcept {
  if (folder.isEmpty())
    return;
  std::error_code ec;
  const std::filesystem::path path(folder.toStdString());
  // A link named as the folder is removed as a link, never followed.
  if (std::filesystem::is_symlink(path, ec)) {
    std::filesystem::remove(path, ec);
    return;
  }
  std::filesystem::remove_all(path, ec);
}

void Pause(int milliseconds) {
  if (milliseconds > 0)
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}
