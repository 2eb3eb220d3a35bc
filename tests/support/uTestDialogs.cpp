#include "uTestDialogs.h"

#include <QDialog>

int TTestDialogs::MessageBox(QWidget *, const QString &text, const QString &caption, unsigned flags) {
  Calls.append({QStringLiteral("box"), text, caption, flags, {}});
  if ((flags & 0x0Fu) == MB_YESNOCANCEL)
    return BoxAnswers.isEmpty() ? IDCANCEL : BoxAnswers.takeFirst();
  if ((flags & 0x0Fu) != MB_YESNO)
    return IDOK;
  return BoxAnswers.isEmpty() ? IDNO : BoxAnswers.takeFirst();
}

void TTestDialogs::ErrorDialog(QWidget *, const QString &text) {
  Calls.append({QStringLiteral("error-dialog"), text, {}, 0, {}});
}

QStringList TTestDialogs::OpenFiles(QWidget *, const TFileDialogRequest &request) {
  Calls.append({QStringLiteral("open"), {}, request.Title, 0, request});
  return OpenAnswers.isEmpty() ? QStringList() : OpenAnswers.takeFirst();
}

QString TTestDialogs::SaveFile(QWidget *, const TFileDialogRequest &request) {
  Calls.append({QStringLiteral("save"), {}, request.Title, 0, request});
  return SaveAnswers.isEmpty() ? QString() : SaveAnswers.takeFirst();
}

QString TTestDialogs::ChooseFolder(QWidget *, const TFileDialogRequest &request) {
  Calls.append({QStringLiteral("folder"), {}, request.Title, 0, request});
  return FolderAnswers.isEmpty() ? QString() : FolderAnswers.takeFirst();
}

int TTestDialogs::ExecDialog(QDialog *dialog) {
  Calls.append({QStringLiteral("form"), dialog->objectName(), dialog->windowTitle(), 0, {}});
  return OnForm ? OnForm(dialog) : QDialog::Rejected;
}

QList<TDialogCall> TTestDialogs::OfKind(const QString &kind) const {
  QList<TDialogCall> out;
  for (const TDialogCall &c : Calls)
    if (c.Kind == kind)
      out.append(c);
  return out;
}

TDialogsScope::TDialogsScope() : FDialogs(new TTestDialogs) {
  FPrevious = SetDialogs(std::unique_ptr<TDialogs>(FDialogs));
}

TDialogsScope::~TDialogsScope() { SetDialogs(std::move(FPrevious)); }

TDesktopScope::TDesktopScope() : FDesktop(new TTestDesktop) {
  FPrevious = SetDesktop(std::unique_ptr<TDesktop>(FDesktop));
}

TDesktopScope::~TDesktopScope() { SetDesktop(std::move(FPrevious)); }
