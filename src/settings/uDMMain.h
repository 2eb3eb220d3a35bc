#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class TEditRepositoryComboBoxItem;
class TImageList;

// The data module: shared components of every window, and the start and stop
// of the settings side. Creating it loads the settings, the interface-language
// table and the recognition-language list and fills the language picker;
// destroying it saves the settings.
class TdmMain : public QObject {
  Q_OBJECT
public:
  // appPath: the program folder with its trailing separator; empty takes the
  // executable's folder.
  explicit TdmMain(QObject *owner = nullptr, const QString &appPath = QString());
  ~TdmMain() override;

  // Rebuilds the picker's items: the names of the recognition-language list
  // whose trained-data file exists in the folder ocrlangs.
  void InitConsts();

  TImageList *imgLst16 = nullptr;
  TImageList *imgLst32 = nullptr;
  TEditRepositoryComboBoxItem *cbbItemLang = nullptr;

private:
  void DataModuleCreate();
  void DataModuleDestroy();
};

// The program folder, always ending with "/".
extern QString AppPath;
// The interface-language table and the recognition-language list; null until
// the data module creates them.
extern QStringList *LangList;
extern QStringList *OCRLangList;
extern TdmMain *dmMain;

// The folder part of a path up to and including its last separator.
QString ExtractFilePath(const QString &fileName);
