#include "uDMMain.h"

#include "uApplication.h"
#include "uConst.h"
#include "uEditRepository.h"
#include "uImageList.h"
#include "uIniOptions.h"
#include "uRecognition.h"
#include "uTextFile.h"

#include <QCoreApplication>
#include <QFileInfo>

QString AppPath;
QStringList *LangList = nullptr;
QStringList *OCRLangList = nullptr;
TdmMain *dmMain = nullptr;

namespace {

// The pictures of the two image lists, by index (icon-theme names). The forms
// refer to them by index only.
const QStringList Images16 = {
    "document-open",             // 0
    "document-save",             // 1
    "edit-delete",               // 2
    "dialog-ok-apply",           // 3 OK
    "dialog-cancel",             // 4 Cancel
    "application-pdf",           // 5 choose a PDF document
    "folder",                    // 6
    "zoom-original",             // 7 100 %
    "zoom-in",                   // 8
    "folder-open",               // 9 choose a folder
    "edit-copy",                 // 10
    "edit-clear-all",            // 11 clear the result
    "edit-clear-list",           // 12 clear the list
    "system-file-manager",       // 13 show in file manager
    "list-remove",               // 14 remove the selected image
    "zoom-fit-width",            // 15 fit to width
    "zoom-out",                  // 16
    "view-refresh",              // 17
    "edit-undo",                 // 18
    "format-text-direction-ltr", // 19 clear the result's formatting
    "edit-redo",                 // 20
    "edit-find",                 // 21
    "document-print",            // 22
    "document-preview",          // 23
    "insert-image",              // 24
    "insert-table",              // 25
    "format-text-bold",          // 26
    "format-text-italic",        // 27
    "format-text-underline",     // 28
    "format-text-strikethrough", // 29
    "format-justify-left",       // 30
    "format-justify-right",      // 31
    "format-justify-center",     // 32
    "format-justify-fill",       // 33
    "preferences-desktop-font",  // 34
};

const QStringList Images32 = {
    "scanner",                   // 0 scan
    "application-pdf",           // 1 import PDF
    "folder-open",               // 2 import folder
    "document-open",             // 3 import files
    "camera-photo",              // 4 capture
    "list-remove",               // 5 remove selected
    "edit-clear-list",           // 6 clear all
    "document-edit",             // 7 recognise selection
    "document-multiple",         // 8 recognise all
    "view-barcode",              // 9 barcode
    "object-rotate-left",        // 10 rotate left
    "object-rotate-right",       // 11 rotate right
    "transform-crop",            // 12 crop
    "object-straighten",         // 13 straighten
    "document-save",             // 14 save
    "edit-undo",                 // 15 undo
    "edit-redo",                 // 16 redo
    "color-mode-black-white",    // 17 black and white
    "draw-rectangle",            // 18 mask
    "merge",                     // 19 merge
    "format-text-bold",          // 20
    "format-text-italic",        // 21
    "format-text-underline",     // 22
    "format-text-strikethrough", // 23
    "format-justify-left",       // 24
    "format-justify-right",      // 25
    "format-justify-center",     // 26
    "format-justify-fill",       // 27
    "preferences-desktop-font",  // 28
    "insert-image",              // 29
    "insert-table",              // 30
    "configure-shortcuts",       // 31 hotkeys
    "document-export",           // 32 export
    "languages",                 // 33 import language pack
    "document-save-as",          // 34 save as
    "document-preview",          // 35 print preview
    "document-print",            // 36 print
    "document-page-setup",       // 37 page setup
    "document-open",             // 38 open
    "application-pdf",           // 39 export to PDF
    "camera-photo",              // 40 capture
    "insert-image",              // 41 capture and append
    "window-restore",            // 42 restore window
    "zoom-fit-width",            // 43
    "zoom-original",             // 44
    "edit-clear-all",            // 45
    "system-file-manager",       // 46
    "view-refresh",              // 47
    "help-about",                // 48
};

} // namespace

QString ExtractFilePath(const QString &fileName) {
  const qsizetype slash = fileName.lastIndexOf(u'/');
  return slash < 0 ? QString() : fileName.left(slash + 1);
}

TdmMain::TdmMain(QObject *owner, const QString &appPath) : QObject(owner) {
  setObjectName(QStringLiteral("dmMain"));
  imgLst16 = new TImageList(16, Images16, this);
  imgLst16->setObjectName(QStringLiteral("imgLst16"));
  imgLst32 = new TImageList(32, Images32, this);
  imgLst32->setObjectName(QStringLiteral("imgLst32"));
  cbbItemLang = new TEditRepositoryComboBoxItem(this);
  cbbItemLang->setObjectName(QStringLiteral("cbbItemLang"));
  AppPath = appPath.isEmpty() ? ExtractFilePath(QCoreApplication::applicationFilePath()) : appPath;
  if (!AppPath.endsWith(u'/'))
    AppPath += u'/';
  dmMain = this;
  RunGuarded([this] { DataModuleCreate(); });
}

TdmMain::~TdmMain() {
  RunGuarded([this] { DataModuleDestroy(); });
  // What the save left undone is freed all the same.
  delete LangList;
  LangList = nullptr;
  delete OCRLangList;
  OCRLangList = nullptr;
  if (dmMain == this)
    dmMain = nullptr;
}

void TdmMain::DataModuleCreate() {
  IniOptions->LoadFromFile(AppPath + IniFileName);
  LangList = new QStringList;
  *LangList = LoadTextLines(AppPath + IniOptions->ParamCurLangFile());
  OCRLangList = new QStringList;
  *OCRLangList = LoadTextLines(AppPath + OCRLangFileName);
  InitConsts();
}

void TdmMain::DataModuleDestroy() {
  IniOptions->SaveToFile(AppPath + IniFileName);
  delete LangList;
  LangList = nullptr;
  delete OCRLangList;
  OCRLangList = nullptr;
}

void TdmMain::InitConsts() {
  cbbItemLang->ClearItems();
  if (!OCRLangList)
    return; // the list never loaded: nothing to offer
  for (const QString &entry : *OCRLangList) {
    const qsizetype eq = entry.indexOf(u'=');
    const QString name = eq < 0 ? QString() : entry.left(eq);
    const QString code = eq < 0 ? QString() : entry.mid(eq + 1);
    const QFileInfo file(TrainedDataFile(TrainedDataFolder(AppPath), code));
    if (file.exists() && file.isFile())
      cbbItemLang->AddItem(name);
  }
}
