#pragma once

#include <QString>

class TIniFile;

// Every persistent setting of the program, held in memory for the run. The
// data module fills it from the settings file at start and writes it back at
// a normal exit; in between the program reads and assigns its fields freely.
class TIniOptions {
public:
  void LoadSettings(TIniFile *Ini);
  void SaveSettings(TIniFile *Ini) const;
  void LoadFromFile(const QString &FileName);
  // Raises EIniFileException when the file cannot be written.
  void SaveToFile(const QString &FileName) const;

#define ZQ_TEXT_PROPERTY(Name)                                                                                         \
  const QString &Name() const { return F##Name; }                                                                      \
  void Set##Name(const QString &value) { F##Name = value; }
  ZQ_TEXT_PROPERTY(SystemSkin)
  ZQ_TEXT_PROPERTY(SystemApplicationTitle)
  ZQ_TEXT_PROPERTY(SystemApplicationName)
  bool SystemShowGuide() const { return FSystemShowGuide; }
  void SetSystemShowGuide(bool value) { FSystemShowGuide = value; }
  ZQ_TEXT_PROPERTY(ParamCurLangFile)
  ZQ_TEXT_PROPERTY(ParamCurScan)
  ZQ_TEXT_PROPERTY(ParamCurPath)
  ZQ_TEXT_PROPERTY(ParamCurFile)
  ZQ_TEXT_PROPERTY(ParamCurPDF)
  ZQ_TEXT_PROPERTY(ParamCurOCRLangName)
  ZQ_TEXT_PROPERTY(ParamExportImagePath)
  ZQ_TEXT_PROPERTY(ParamCaptureImagePath)
  ZQ_TEXT_PROPERTY(ParamLangFilePath)
  ZQ_TEXT_PROPERTY(HotkeyCapture)
  ZQ_TEXT_PROPERTY(HotkeyC_Capture)
  ZQ_TEXT_PROPERTY(HotkeyRestore)
  ZQ_TEXT_PROPERTY(HotkeyCapture_Default)
  ZQ_TEXT_PROPERTY(HotkeyC_Capture_Default)
  ZQ_TEXT_PROPERTY(HotkeyRestore_Default)
#undef ZQ_TEXT_PROPERTY

private:
  struct TKey;
  static const TKey Keys[];

  QString FSystemSkin;
  QString FSystemApplicationTitle;
  QString FSystemApplicationName;
  bool FSystemShowGuide = false;
  QString FParamCurLangFile;
  QString FParamCurScan;
  QString FParamCurPath;
  QString FParamCurFile;
  QString FParamCurPDF;
  QString FParamCurOCRLangName;
  QString FParamExportImagePath;
  QString FParamCaptureImagePath;
  QString FParamLangFilePath;
  QString FHotkeyCapture;
  QString FHotkeyC_Capture;
  QString FHotkeyRestore;
  QString FHotkeyCapture_Default;
  QString FHotkeyC_Capture_Default;
  QString FHotkeyRestore_Default;
};

// The one settings object of the run: empty until the data module loads it.
extern TIniOptions *const IniOptions;
