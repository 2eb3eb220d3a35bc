#pragma once

#include "uDialogs.h"
#include "uShell.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// One exchange with the user that a test saw.
struct TDialogCall {
  QString Kind;    // "box", "error-dialog", "open", "save", "folder", "form"
  QString Text;    // box text
  QString Caption; // box caption or picker title
  unsigned Flags = 0;
  TFileDialogRequest Request;
};

// Answers the program's dialogs from queues the test fills, and records every
// call. An unexpected question (an empty queue) answers No / Cancel.
class TTestDialogs : public TDialogs {
public:
  QList<TDialogCall> Calls;
  QList<int> BoxAnswers;            // IDYES / IDNO (/ IDCANCEL) for yes/no (/cancel) boxes
  QList<QStringList> OpenAnswers;   // chosen files; empty list: cancel
  QList<QString> SaveAnswers;       // chosen file; empty: cancel
  QList<QString> FolderAnswers;     // chosen folder; empty: cancel
  // Runs a modal form instead of its event loop; returns its result.
  std::function<int(QDialog *)> OnForm;

  int MessageBox(QWidget *owner, const QString &text, const QString &caption, unsigned flags) override;
  void ErrorDialog(QWidget *owner, const QString &text) override;
  QStringList OpenFiles(QWidget *owner, const TFileDialogRequest &request) override;
  QString SaveFile(QWidget *owner, const TFileDialogRequest &request) override;
  QString ChooseFolder(QWidget *owner, const TFileDialogRequest &request) override;
  int ExecDialog(QDialog *dialog) override;

  // Calls of one kind, in order.
  QList<TDialogCall> OfKind(const QString &kind) const;
};

// Installs a fresh TTestDialogs for the scope of a test and returns it.
class TDialogsScope {
public:
  TDialogsScope();
  ~TDialogsScope();
  TTestDialogs &operator*() const { return *FDialogs; }
  TTestDialogs *operator->() const { return FDialogs; }

private:
  TTestDialogs *FDialogs;
  std::unique_ptr<TDialogs> FPrevious;
};

// Records what would have been opened or shown.
class TTestDesktop : public TDesktop {
public:
  QStringList Opened;
  QStringList Shown;
  void OpenDocument(const QString &fileName) override { Opened.append(fileName); }
  void ShowInFileManager(const QString &fileName) override { Shown.append(fileName); }
};

class TDesktopScope {
public:
  TDesktopScope();
  ~TDesktopScope();
  TTestDesktop *operator->() const { return FDesktop; }

private:
  TTestDesktop *FDesktop;
  std::unique_ptr<TDesktop> FPrevious;
};
