#pragma once

#include <QString>

// Modal message boxes captioned from the interface-language table
// ("caption_error" for errors, "caption_information" for the others).
void ShowErrorBox(const QString &text);
void ShowWarningBox(const QString &text);
void ShowInfoBox(const QString &text);
// Yes and No only; returns IDYES (6) or IDNO (7).
int AskYesNoBox(const QString &text);
// Yes, No and Cancel; returns IDYES (6), IDNO (7) or IDCANCEL (2).
int AskYesNoCancelBox(const QString &text);

// Opens a file with the user's default program for its type.
void RunProgram(const QString &fileName);
// Deletes a folder tree permanently, asking and reporting nothing.
void DeleteFolder(const QString &folder);
