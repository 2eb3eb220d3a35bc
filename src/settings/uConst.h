#pragma once

#include <QString>

// File and folder names under the program folder.
inline const QString IniFileName = QStringLiteral("ZorviOCR.ini");
inline const QString OCRLangFileName = QStringLiteral("ocrLang.zorvi");
inline const QString OCRLangPath = QStringLiteral("ocrlangs/");
