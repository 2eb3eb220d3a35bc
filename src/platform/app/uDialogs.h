#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QDialog;
class QFont;
class QWidget;

// Message-box flags and results, with the numeric values of the Windows
// API's message boxes (MessageBox), so that flags combine as they do there.
enum : unsigned {
  MB_OK = 0x00,
  MB_YESNOCANCEL = 0x03,
  MB_YESNO = 0x04,
  MB_ICONERROR = 0x10,
  MB_ICONWARNING = 0x30,
  MB_ICONINFORMATION = 0x40,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// What the file and folder pickers are asked for.
struct TFileDialogRequest {
  QString Title;        // empty: Qt's own title of the picker
  QString InitialDir;   // start folder; empty or missing: Qt's choice (the working folder)
  QString FileName;     // preselected file name
  QString Filter;       // "description|pattern|description|pattern"
  QString DefaultExt;   // save: extension added to a name typed without one
  bool MultiSelect = false;
  bool NewFolderButton = false; // folder choice: a button to make a new folder
};

// Every modal exchange with the user passes through this interface, so that
// tests can answer dialogs, boxes and pickers without a screen.
class TDialogs {
public:
  virtual ~TDialogs();

  // A modal message box; returns IDOK, IDYES or IDNO, and for Yes/No/Cancel
  // also IDCANCEL (Cancel, Escape or the window closed).
  virtual int MessageBox(QWidget *owner, const QString &text, const QString &caption, unsigned flags) = 0;
  // An error message with a single OK button, captioned with the
  // application's title: how an exception is reported.
  virtual void ErrorDialog(QWidget *owner, const QString &text) = 0;
  // Open picker: the chosen files, empty when cancelled.
  virtual QStringList OpenFiles(QWidget *owner, const TFileDialogRequest &request) = 0;
  // Save picker: the chosen file, empty when cancelled.
  virtual QString SaveFile(QWidget *owner, const TFileDialogRequest &request) = 0;
  // Folder choice: the chosen folder, empty when cancelled.
  virtual QString ChooseFolder(QWidget *owner, const TFileDialogRequest &request) = 0;
  // Runs a modal form and returns its result (QDialog::Accepted / Rejected).
  virtual int ExecDialog(QDialog *dialog) = 0;
};

// The dialogs in force; by default the real Qt ones.
TDialogs &Dialogs();
// Replaces the dialogs (tests); returns the previous ones.
std::unique_ptr<TDialogs> SetDialogs(std::unique_ptr<TDialogs> dialogs);

// "Text files|*.txt|All|*" -> "Text files (*.txt);;All (*)". The pickers
// show the descriptions alone, as given ("Text files", "All").
QString FilterToQt(const QString &filter);

// The width a window needs for its whole caption in the window manager's
// title bar, with the bar's icon and buttons, in `font` (at most the
// screen's width). The message boxes are at least this wide.
int CaptionBarWidth(const QString &caption, const QFont &font);

// The real implementation over QMessageBox and QFileDialog.
class TQtDialogs : public TDialogs {
public:
  int MessageBox(QWidget *owner, const QString &text, const QString &caption, unsigned flags) override;
  void ErrorDialog(QWidget *owner, const QString &text) override;
  QStringList OpenFiles(QWidget *owner, const TFileDialogRequest &request) override;
  QString SaveFile(QWidget *owner, const TFileDialogRequest &request) override;
  QString ChooseFolder(QWidget *owner, const TFileDialogRequest &request) override;
  int ExecDialog(QDialog *dialog) override;
};
