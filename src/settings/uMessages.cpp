#include "uMessages.h"

#include "uDialogs.h"
#include "uLangText.h"
#include "uShell.h"

void ShowErrorBox(const QString &text) {
  Dialogs().MessageBox(nullptr, text, GetLangText(QStringLiteral("caption_error")), MB_OK | MB_ICONERROR);
}

void ShowWarningBox(const QString &text) {
  Dialogs().MessageBox(nullptr, text, GetLangText(QStringLiteral("caption_information")), MB_OK | MB_ICONWARNING);
}

void ShowInfoBox(const QString &text) {
  Dialogs().MessageBox(nullptr, text, GetLangText(QStringLiteral("caption_information")), MB_OK | MB_ICONINFORMATION);
}

int AskYesNoBox(const QString &text) {
  const int answer =
      Dialogs().MessageBox(nullptr, text, GetLangText(QStringLiteral("caption_information")), MB_YESNO | MB_ICONWARNING);
  return answer == IDYES ? IDYES : IDNO;
}

int AskYesNoCancelBox(const QString &text) {
  const int answer = Dialogs().MessageBox(nullptr, text, GetLangText(QStringLiteral("caption_information")),
                                          MB_YESNOCANCEL | MB_ICONWARNING);
  return answer == IDYES || answer == IDNO ? answer : IDCANCEL;
}

void RunProgram(const QString &fileName) { Desktop().OpenDocument(fileName); }

void DeleteFolder(const QString &folder) { DeleteFolderTree(folder); }
