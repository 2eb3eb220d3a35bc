#pragma once

#include <QString>

#include <memory>

// The desktop's shell services. Tests replace them with a recorder so that no
// viewer or file manager is started.
class TDesktop {
public:
  virtual ~TDesktop();
  // Opens a file with the user's default program for its type.
  virtual void OpenDocument(const QString &fileName) = 0;
  // Shows a file in the desktop's file manager, selected where it can.
  virtual void ShowInFileManager(const QString &fileName) = 0;
};

TDesktop &Desktop();
std::unique_ptr<TDesktop> SetDesktop(std::unique_ptr<TDesktop> desktop);

// Over QDesktopServices and the freedesktop FileManager1 D-Bus interface.
class TQtDesktop : public TDesktop {
public:
  void OpenDocument(const QString &fileName) override;
  void ShowInFileManager(const QString &fileName) override;
};

// Deletes a folder and everything below it, permanently. Symbolic links are
// removed as links: nothing outside the tree is touched. Asks nothing and
// reports nothing; a missing folder is no error.
void DeleteFolderTree(const QString &folder) noexcept;

// Blocks the calling (user-interface) thread for the given time.
void Pause(int milliseconds);
