#include "uIniOptions.h"

#include "uIniFile.h"

// One row per key, in read and write order. The Boolean row has no text field.
struct TIniOptions::TKey {
  const char *Section;
  const char *Key;
  const char *Default;
  QString TIniOptions::*Field;
};

const TIniOptions::TKey TIniOptions::Keys[] = {
    {"System", "Skin", "Office2013White.skinres", &TIniOptions::FSystemSkin},
    {"System", "ApplicationTitle", "Zorvi Quillon", &TIniOptions::FSystemApplicationTitle},
    {"System", "ApplicationName", "Zorvi OCR", &TIniOptions::FSystemApplicationName},
    {"System", "ShowGuide", nullptr, nullptr},
    {"Param", "CurLangFile", "langEn.zorvi", &TIniOptions::FParamCurLangFile},
    {"Param", "CurScan", "testScan", &TIniOptions::FParamCurScan},
    {"Param", "CurPath", "", &TIniOptions::FParamCurPath},
    {"Param", "CurFile", "", &TIniOptions::FParamCurFile},
    {"Param", "CurPDF", "", &TIniOptions::FParamCurPDF},
    {"Param", "CurOCRLangName", "German", &TIniOptions::FParamCurOCRLangName},
    {"Param", "ExportImagePath", "", &TIniOptions::FParamExportImagePath},
    {"Param", "CaptureImagePath", "c:\\", &TIniOptions::FParamCaptureImagePath},
    {"Param", "LangFilePath", "", &TIniOptions::FParamLangFilePath},
    {"Hotkey", "Capture", "F2", &TIniOptions::FHotkeyCapture},
    {"Hotkey", "C_Capture", "Ctrl+F2", &TIniOptions::FHotkeyC_Capture},
    {"Hotkey", "Restore", "F4", &TIniOptions::FHotkeyRestore},
    {"Hotkey", "Capture_Default", "F2", &TIniOptions::FHotkeyCapture_Default},
    {"Hotkey", "C_Capture_Default", "Ctrl+F2", &TIniOptions::FHotkeyC_Capture_Default},
    {"Hotkey", "Restore_Default", "F4", &TIniOptions::FHotkeyRestore_Default},
};

void TIniOptions::LoadSettings(TIniFile *Ini) {
  if (!Ini)
    return;
  for (const TKey &k : Keys) {
    const QString section = QString::fromLatin1(k.Section);
    const QString key = QString::fromLatin1(k.Key);
    if (k.Field)
      this->*k.Field = Ini->ReadString(section, key, QString::fromLatin1(k.Default));
    else
      FSystemShowGuide = Ini->ReadBool(section, key, true);
  }
}

void TIniOptions::SaveSettings(TIniFile *Ini) const {
  if (!Ini)
    return;
  for (const TKey &k : Keys) {
    const QString section = QString::fromLatin1(k.Section);
    const QString key = QString::fromLatin1(k.Key);
    if (k.Field)
      Ini->WriteString(section, key, this->*k.Field);
    else
      Ini->WriteBool(section, key, FSystemShowGuide);
  }
}

void TIniOptions::LoadFromFile(const QString &FileName) {
  TIniFile ini(FileName);
  LoadSettings(&ini);
}

void TIniOptions::SaveToFile(const QString &FileName) const {
  TIniFile ini(FileName);
  SaveSettings(&ini);
  ini.UpdateFile();
}

namespace {
TIniOptions gIniOptions;
}
TIniOptions *const IniOptions = &gIniOptions;
