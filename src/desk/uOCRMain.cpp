#include "uOCRMain.h"

#include "uAlertWindow.h"
#include "uApplication.h"
#include "uBars.h"
#include "uBusyWork.h"
#include "uCapture.h"
#include "uConst.h"
#include "uCustomHotkey.h"
#include "uDMMain.h"
#include "uDialogs.h"
#include "uEditRepository.h"
#include "uFormat.h"
#include "uGlobalAtom.h"
#include "uHotkeyBackend.h"
#include "uImageEnVect.h"
#include "uImageList.h"
#include "uImageSlider.h"
#include "uIniOptions.h"
#include "uLangPackImport.h"
#include "uLangText.h"
#include "uMessages.h"
#include "uPageControl.h"
#include "uRibbon.h"
#include "uRichViewActions.h"
#include "uRichViewEdit.h"
#include "uShell.h"
#include "uShortCut.h"
#include "uStatusBar.h"
#include "uThumbList.h"
#include "uZip.h"
#include "ui_uOCRMain.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

TfrmOCRMain *frmOCRMain = nullptr;

namespace {

// The rich-text editor's ready-made actions, in their places of the action
// list (after actIE_MergeAll). Tag 111 binds an action to the result editor.
struct TRVActionDef {
  const char *Name;
  const char *ClassName;
  int Tag;
  const char *Shortcut;
  int ImageIndex;
};
constexpr TRVActionDef RVActions[] = {
    {"RVETextrvActionFontBold1", "TrvActionFontBold", 111, "Ctrl+B", 20},
    {"RVETextrvActionFontItalic1", "TrvActionFontItalic", 111, "Ctrl+I", 21},
    {"RVETextrvActionFontUnderline1", "TrvActionFontUnderline", 111, "Ctrl+U", 22},
    {"RVETextrvActionFontStrikeout1", "TrvActionFontStrikeout", 111, "", 23},
    {"RVEParagraphrvActionAlignLeft1", "TrvActionAlignLeft", 111, "", 24},
    {"RVEParagraphrvActionAlignRight1", "TrvActionAlignRight", 111, "", 25},
    {"RVEParagraphrvActionAlignCenter1", "TrvActionAlignCenter", 111, "", 26},
    {"RVEParagraphrvActionAlignJustify1", "TrvActionAlignJustify", 111, "", 27},
    {"RVETextrvActionFonts1", "TrvActionFonts", 111, "", 28},
    {"actRVEInsertrvActionInsertPicture1", "TrvActionInsertPicture", 0, "", 29},
    {"RVETablervActionInsertTable1", "TrvActionInsertTable", 0, "", 30},
    {"RVEFilervActionExport1", "TrvActionExport", 111, "", 32},
    {"RVEFilervActionSaveAs1", "TrvActionSaveAs", 111, "", 34},
    {"RVEFilervActionPrintPreview1", "TrvActionPrintPreview", 111, "", 35},
    {"RVEFilervActionPrint1", "TrvActionPrint", 111, "Ctrl+P", 36},
    {"RVEFilervActionPageSetup1", "TrvActionPageSetup", 0, "", 37},
    {"RVEFilervActionOpen1", "TrvActionOpen", 111, "Ctrl+O", 38},
};

// The plain actions of the form before the rich-text ones, and after them.
const char *const ActionsBefore[] = {
    "actSrc_Scan",     "actSrc_ImportPDF",  "actSrc_ImportDir",  "actSrc_ImportFiles", "actSrc_CaptureScreen",
    "actSrc_ClearAll", "actSrc_RemoveSel",  "actRec_Sel",        "actRec_All",         "actRec_Barcode",
    "actCapture",      "actCaptureCombine", "actCaptureRestore", "actIE_Rotate90",     "actIE_Rotate90C",
    "actIE_Crop",      "actIE_Horizontal",  "actIE_Save",        "actIE_Undo",         "actIE_Redo",
    "actIE_BW",        "actIE_Mask",        "actIE_MergeAll",
};
const char *const ActionsAfter[] = {"actExport2PDF", "actCustomHotKey", "actImportLangFile"};

int TagOf(const QAction *a) { return a ? a->property("Tag").toInt() : -1; }

} // namespace

TfrmOCRMain::TfrmOCRMain(QWidget *parent) : QMainWindow(parent), ui(new Ui::frmOCRMain) {
  Q_INIT_RESOURCE(desk);
  ui->setupUi(this);
  frmOCRMain = this;
  FHotkeys = CreateHotkeyBackend();
  connect(FHotkeys.get(), &THotkeyBackend::HotKey, this, [this](int id) { RunGuarded([this, id] { WMHotKey(id); }); });
  BuildActions();
  BuildRibbon();
  // As every handler of the window: an error ends the handler, the default
  // error report shows it and the program goes on with the window as far as
  // it was built (a capture caption whose format does not fit its hotkey
  // text, for one).
  RunGuarded([this] { FormCreate(); });
}

TfrmOCRMain::~TfrmOCRMain() {
  FormDestroy();
  if (frmOCRMain == this)
    frmOCRMain = nullptr;
  delete ui;
}

QAction *TfrmOCRMain::Action(const QString &name) const {
  for (QAction *a : actlstMain)
    if (a->objectName() == name)
      return a;
  return nullptr;
}

void TfrmOCRMain::BuildActions() {
  TImageList *images32 = dmMain ? dmMain->imgLst32 : nullptr;
  auto take = [this](const char *name) {
    QAction *a = findChild<QAction *>(QString::fromLatin1(name));
    Q_ASSERT(a);
    actlstMain.append(a);
  };
  for (const char *name : ActionsBefore)
    take(name);
  for (const TRVActionDef &def : RVActions) {
    TrvAction *a = CreateRVAction(QString::fromLatin1(def.ClassName), this);
    a->setObjectName(QString::fromLatin1(def.Name));
    a->setText(a->objectName());
    a->setProperty("Tag", def.Tag);
    a->setProperty("ImageIndex", def.ImageIndex);
    if (*def.Shortcut)
      a->setShortcut(QKeySequence(QString::fromLatin1(def.Shortcut)));
    actlstMain.append(a);
  }
  for (const char *name : ActionsAfter)
    take(name);
  for (QAction *a : actlstMain) {
    if (images32)
      a->setIcon(images32->Icon(a->property("ImageIndex").toInt()));
    addAction(a); // shortcuts act while the window is active
  }
  auto route = [this](const QStringList &names, void (TfrmOCRMain::*handler)(QAction *)) {
    for (const QString &n : names) {
      QAction *a = Action(n);
      connect(a, &QAction::triggered, this, [this, a, handler] {
        // No second command while a recognition or barcode reading runs.
        if (!TBusyWork::Active())
          RunGuarded([this, a, handler] { (this->*handler)(a); });
      });
    }
  };
  route({"actSrc_Scan", "actSrc_ImportPDF", "actSrc_ImportDir", "actSrc_ImportFiles", "actSrc_CaptureScreen",
         "actSrc_ClearAll", "actSrc_RemoveSel", "actCapture", "actCaptureCombine", "actCaptureRestore"},
        &TfrmOCRMain::actSrc_ScanExecute);
  route({"actRec_Sel", "actRec_All", "actRec_Barcode"}, &TfrmOCRMain::actRec_SelExecute);
  route({"actIE_Rotate90", "actIE_Rotate90C", "actIE_Crop", "actIE_Horizontal", "actIE_Save", "actIE_Undo",
         "actIE_Redo", "actIE_BW", "actIE_Mask", "actIE_MergeAll"},
        &TfrmOCRMain::actIE_Rotate90Execute);
  auto plain = [this](const char *name, void (TfrmOCRMain::*handler)()) {
    connect(Action(QString::fromLatin1(name)), &QAction::triggered, this, [this, handler] {
      if (!TBusyWork::Active())
        RunGuarded([this, handler] { (this->*handler)(); });
    });
  };
  plain("actExport2PDF", &TfrmOCRMain::actExport2PDFExecute);
  plain("actCustomHotKey", &TfrmOCRMain::actCustomHotKeyExecute);
  plain("actImportLangFile", &TfrmOCRMain::actImportLangFileExecute);
}

void TfrmOCRMain::BuildRibbon() {
  barMgrMain = new TBarManager(this);
  barMgrMain->setObjectName(QStringLiteral("barMgrMain"));
  TBarManager *m = barMgrMain;
  auto large = [m, this](const char *name, const char *action) {
    return new TBarLargeButton(m, QString::fromLatin1(name), Action(QString::fromLatin1(action)));
  };
  auto small = [m, this](const char *name, const char *action) {
    return new TBarButton(m, QString::fromLatin1(name), Action(QString::fromLatin1(action)));
  };

  // Items in the order of the toolbars, then those that no toolbar shows.
  barItemCapture = new TBarSubItem(m, QStringLiteral("barItemCapture"));
  barItemCapture->SetCaption(QStringLiteral("Capture"));
  barItemCapture->SetLarge(true);
  if (dmMain)
    barItemCapture->SetGlyph(dmMain->imgLst32->Icon(4));
  barItemCapture->AddLink(small("btn6", "actCapture"));
  barItemCapture->AddLink(small("btn11", "actCaptureCombine"));
  barItemCapture->AddLink(small("btn12", "actCaptureRestore"));
  TBarItem *btn2 = large("btn2", "actSrc_ImportPDF");
  TBarItem *btn3 = large("btn3", "actSrc_ImportDir");
  TBarItem *btn4 = large("btn4", "actSrc_ImportFiles");
  barItemLang = new TBarComboBoxItem(m, QStringLiteral("barItemLang"));
  barItemLang->SetCaption(QStringLiteral("barItemLang"));
  barItemLang->SetWidth(140);
  if (dmMain)
    barItemLang->SetRepositoryItem(dmMain->cbbItemLang);
  connect(barItemLang, &TBarEditItem::Change, this, [this] { RunGuarded([this] { barItemLangChange(); }); });
  barItemEngine = new TBarComboBoxItem(m, QStringLiteral("barItemEngine"));
  barItemEngine->SetVisible(ivNever);
  TBarItem *btn8 = large("btn8", "actRec_Sel");
  TBarItem *btn9 = large("btn9", "actRec_All");
  TBarItem *btn10 = large("btn10", "actRec_Barcode");
  TBarItem *btn13 = large("btn13", "actIE_Rotate90");
  TBarItem *btn14 = large("btn14", "actIE_Rotate90C");
  TBarItem *btn15 = large("btn15", "actIE_Crop");
  TBarItem *btn16 = large("btn16", "actIE_Horizontal");
  TBarItem *btn22 = large("btn22", "actIE_Save");
  baritemTrackBright = new TBarTrackBarItem(m, QStringLiteral("baritemTrackBright"));
  baritemTrackBright->SetRange(-255, 255);
  baritemTrackBright->SetPosition(0);
  baritemTrackBright->SetWidth(130);
  connect(baritemTrackBright, &TBarEditItem::Change, this,
          [this] { RunGuarded([this] { baritemTrackBrightPropertiesChange(); }); });
  baritemTrackContrast = new TBarTrackBarItem(m, QStringLiteral("baritemTrackContrast"));
  baritemTrackContrast->SetRange(0, 100);
  baritemTrackContrast->SetPosition(0);
  baritemTrackContrast->SetWidth(130);
  connect(baritemTrackContrast, &TBarEditItem::Change, this,
          [this] { RunGuarded([this] { baritemTrackContrastPropertiesChange(); }); });
  auto *btn19 = small("btn19", "actIE_Undo");
  btn19->SetPaintStyle(psCaptionGlyph);
  auto *btn20 = small("btn20", "actIE_Redo");
  btn20->SetPaintStyle(psCaptionGlyph);
  TBarItem *btn17 = large("btn17", "actIE_BW");
  TBarItem *btn18 = large("btn18", "actIE_Mask");
  TBarItem *btn21 = large("btn21", "actIE_MergeAll");
  TBarItem *btn24 = large("btn24", "actExport2PDF");
  TBarItem *btn23 = large("btn23", "RVEFilervActionExport1");
  TBarItem *btn38 = large("btn38", "RVEFilervActionPrint1");
  TBarItem *btn39 = large("btn39", "RVEFilervActionPrintPreview1");
  QList<TBarItem *> alignButtons = {
      small("btn26", "RVEParagraphrvActionAlignLeft1"), small("btn27", "RVEParagraphrvActionAlignRight1"),
      small("btn28", "RVEParagraphrvActionAlignCenter1"), small("btn29", "RVEParagraphrvActionAlignJustify1")};
  QList<TBarItem *> styleButtons = {
      small("btn30", "RVETextrvActionFontBold1"), small("btn31", "RVETextrvActionFontItalic1"),
      small("btn32", "RVETextrvActionFontUnderline1"), small("btn33", "RVETextrvActionFontStrikeout1")};
  TBarItem *btn34 = small("btn34", "RVETextrvActionFonts1");
  TBarItem *btn35 = small("btn35", "actRVEInsertrvActionInsertPicture1");
  baritemlblCustomHotkey = new TBarLabelItem(m, QStringLiteral("baritemlblCustomHotkey"));
  TBarItem *btn40 = small("btn40", "actCustomHotKey");
  baritemlblImportLang = new TBarLabelItem(m, QStringLiteral("baritemlblImportLang"));
  TBarItem *btn41 = small("btn41", "actImportLangFile");
  // Never shown: no toolbar links them.
  large("btn1", "actSrc_Scan");
  large("btn5", "actSrc_ClearAll");
  large("btn7", "actSrc_RemoveSel");
  large("btn25", "RVEFilervActionOpen1");
  large("btn37", "RVEFilervActionPageSetup1");
  small("btn36", "RVETablervActionInsertTable1");
  baritemFont = new TBarComboBoxItem(m, QStringLiteral("baritemFont"));
  baritemFontSize = new TBarComboBoxItem(m, QStringLiteral("baritemFontSize"));

  // Toolbars.
  auto bar = [m](const char *name) {
    auto *b = new TBar(m, QString::fromLatin1(name));
    b->SetCaption(QString::fromLatin1(name));
    return b;
  };
  dxBarManager1Bar1 = bar("dxBarManager1Bar1");
  barSource = bar("barSource");
  barOCR = bar("barOCR");
  barImageGeneralTool = bar("barImageGeneralTool");
  barImageBWTool = bar("barImageBWTool");
  barResultExport = bar("barResultExport");
  barResultEdit = bar("barResultEdit");
  barSource->AddLink(barItemCapture);
  barSource->AddLink(btn2, true);
  barSource->AddLink(btn3, true);
  barSource->AddLink(btn4, true);
  barOCR->AddLink(barItemLang);
  barOCR->AddLink(barItemEngine);
  barOCR->AddLink(btn8, true);
  barOCR->AddLink(btn9, true);
  barOCR->AddLink(btn10, true);
  barImageGeneralTool->AddLink(btn13);
  barImageGeneralTool->AddLink(btn14, true);
  barImageGeneralTool->AddLink(btn15, true);
  barImageGeneralTool->AddLink(btn16, true);
  barImageGeneralTool->AddLink(btn22, true);
  barImageGeneralTool->AddLink(baritemTrackBright, true);
  barImageGeneralTool->AddLink(baritemTrackContrast);
  barImageGeneralTool->AddLink(btn19, true);
  barImageGeneralTool->AddLink(btn20);
  barImageBWTool->AddLink(btn17);
  barImageBWTool->AddLink(btn18, true);
  barImageBWTool->AddLink(btn21, true);
  barResultExport->AddLink(btn24);
  barResultExport->AddLink(btn23, true);
  barResultExport->AddLink(btn38, true);
  barResultExport->AddLink(btn39, true);
  barResultEdit->AddButtonGroup(alignButtons);
  barResultEdit->AddButtonGroup(styleButtons);
  barResultEdit->AddLink(btn34);
  barResultEdit->AddLink(btn35, true);
  dxBarManager1Bar1->AddLink(baritemlblCustomHotkey);
  dxBarManager1Bar1->AddLink(btn40);
  dxBarManager1Bar1->AddLink(baritemlblImportLang, true);
  dxBarManager1Bar1->AddLink(btn41);

  // The ribbon.
  rbnMain = new TRibbon(this);
  rbnMain->setObjectName(QStringLiteral("rbnMain"));
  rbnTabOCR = rbnMain->AddTab(QStringLiteral("rbnTabOCR"), QStringLiteral("rbnTabOCR"));
  rbnTabOCR->AddGroup(barSource);
  rbnTabOCR->AddGroup(barOCR);
  rbnTabEditImage = rbnMain->AddTab(QStringLiteral("rbnTabEditImage"), QStringLiteral("rbnTabEditImage"));
  rbnTabEditImage->AddGroup(barImageGeneralTool);
  rbnTabEditImage->AddGroup(barImageBWTool);
  rbnTabExport = rbnMain->AddTab(QStringLiteral("rbnTabExport"), QStringLiteral("rbnTabExport"));
  rbnTabExport->AddGroup(barResultExport);
  rbnTabExport->AddGroup(barResultEdit);
  for (TRibbonTab *t : {rbnTabOCR, rbnTabEditImage, rbnTabExport})
    t->SetTag(0);
  rbnMain->SetQuickAccessToolbar(dxBarManager1Bar1);
  setMenuWidget(rbnMain);
  connect(rbnMain, &TRibbon::TabChanged, this, [this] { RunGuarded([this] { rbnMainTabChanged(); }); });

  // The pages, the status line and the alert windows.
  pcMain = new TPageControl(ui->centralHost);
  pcMain->setObjectName(QStringLiteral("pcMain"));
  ui->centralLayout->addWidget(pcMain);
  tsOCR = pcMain->AddSheet(QStringLiteral("tsOCR"));
  tsGuide = pcMain->AddSheet(QStringLiteral("tsGuide"));
  auto *ocrColumn = new QVBoxLayout(tsOCR);
  ocrColumn->setContentsMargins(0, 0, 0, 0);
  auto *guideColumn = new QVBoxLayout(tsGuide);
  guideColumn->setContentsMargins(0, 0, 0, 0);
  imgSliderMain = new TImageSlider(tsGuide);
  imgSliderMain->setObjectName(QStringLiteral("imgSliderMain"));
  for (int i = 1; i <= 3; ++i)
    imgSliderMain->AddImage(QImage(QStringLiteral(":/guide/guide%1.png").arg(i)));
  guideColumn->addWidget(imgSliderMain);
  rbnStatusMain = new TStatusBar(this);
  rbnStatusMain->setObjectName(QStringLiteral("rbnStatusMain"));
  rbnStatusMain->AddPanel(600);
  rbnStatusMain->AddPanel(200);
  setStatusBar(rbnStatusMain);
  alertWindowMain = new TAlertWindowManager(this);
  alertWindowMain->setObjectName(QStringLiteral("alertWindowMain"));
}

// ------------------------------------------------------------------ start

void TfrmOCRMain::FormCreate() {
  resize(980, 660);
  if (const QScreen *screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(490, 330));
  InitMainLayout();
  RegisterHotkeys();
  UpdateStatusInfo();
}

void TfrmOCRMain::FormDestroy() { UnregisterHotkeys(); }

void TfrmOCRMain::closeEvent(QCloseEvent *event) {
  // A failure on the way (the result could not be saved) is reported, and
  // the window stays.
  bool canClose = false;
  RunGuarded([this, &canClose] { FormCloseQuery(canClose); });
  if (canClose)
    event->accept();
  else
    event->ignore();
}

void TfrmOCRMain::FormCloseQuery(bool &CanClose) {
  CanClose = true;
  const TRichViewEdit *result = fraModuleOCR ? fraModuleOCR->rveResult : nullptr;
  if (!result || !result->document()->isModified() || result->toPlainText().trimmed().isEmpty())
    return;
  switch (AskYesNoCancelBox(GetLangText(QStringLiteral("ocr_saveResult")))) {
  case IDYES:
    CanClose = false; // also when the save fails
    if (auto *saveAs = qobject_cast<TrvAction *>(Action(QStringLiteral("RVEFilervActionSaveAs1"))))
      saveAs->Execute();
    CanClose = !result->document()->isModified(); // not when the dialog was cancelled
    break;
  case IDNO:
    break;
  default:
    CanClose = false;
    break;
  }
}

void TfrmOCRMain::InitMainLayout() {
  FHasData = false;
  FAIndex = 0;
  setWindowTitle(IniOptions->SystemApplicationTitle());
  rbnMain->SetActiveTab(rbnTabOCR);
  pcMain->SetHideTabs(true);
  pcMain->SetActivePage(tsGuide);
  fraModuleOCR = new TfraModuleOCR(tsOCR);
  tsOCR->layout()->addWidget(fraModuleOCR);
  fraModuleOCR->InitModuleLayout();
  fraModuleOCR->SetOnChangeCurItem([this] { DoChangeCurItem(); });
  fraModuleOCR->SetOnProgress([this](const QString &text) { rbnStatusMain->SetPanelText(1, text); });
  for (int i = 0; i < rbnMain->TabCount(); ++i)
    TranslateComponent(rbnMain->Tabs(i));
  for (TBar *b : barMgrMain->BarList())
    TranslateComponent(b);
  for (TBarItem *item : barMgrMain->ItemList())
    if (!IsBarButtonKind(item))
      TranslateComponent(item);
  for (QAction *a : actlstMain) {
    TranslateComponent(a);
    if (TagOf(a) == 111)
      if (auto *rv = qobject_cast<TrvAction *>(a))
        rv->SetControl(fraModuleOCR->rveResult);
  }
  barItemLang->SetEditValue(IniOptions->ParamCurOCRLangName());
  baritemFont->SetItems(QFontDatabase::families());
  UpdateHotkeyCaptions();
}

void TfrmOCRMain::UpdateStatusInfo() {
  QString text = GetLangText(QStringLiteral("info_nosrc"));
  const TThumbList *list = fraModuleOCR->imgMViewListItems;
  const int i = list->SelectedImage();
  if (i >= 0)
    text = FormatText(GetLangText(QStringLiteral("info_src")), {list->ImageCount(), list->ImageFileName(i)});
  rbnStatusMain->SetPanelText(0, text);
}

void TfrmOCRMain::DoChangeCurItem() { UpdateStatusInfo(); }

void TfrmOCRMain::rbnMainTabChanged() {
  if (!FHasData)
    return;
  TRibbonTab *t = rbnMain->ActiveTab();
  if (!t)
    return;
  if (t->Tag() != FAIndex) {
    FAIndex = t->Tag();
    pcMain->SetActivePageIndex(FAIndex);
  }
  if (t == rbnTabEditImage)
    fraModuleOCR->SetOCRView(VImage);
  else if (t == rbnTabExport)
    fraModuleOCR->SetOCRView(VResult);
  else if (t == rbnTabOCR)
    fraModuleOCR->SetOCRView(VBoth);
}

// ---------------------------------------------------------------- hotkeys

void TfrmOCRMain::RegisterHotkeys() {
  id_capture = GlobalAddAtomW(QStringLiteral("hotkey_capture"));
  id_c_capture = GlobalAddAtomW(QStringLiteral("hotkey_c_capture"));
  id_restore = GlobalAddAtomW(QStringLiteral("hotkey_restore"));
  const std::pair<quint16, QString> keys[] = {{id_capture, IniOptions->HotkeyCapture()},
                                              {id_c_capture, IniOptions->HotkeyC_Capture()},
                                              {id_restore, IniOptions->HotkeyRestore()}};
  for (const auto &[id, text] : keys) {
    unsigned key = 0;
    TShiftState shift;
    ShortCutToKey(TextToShortCut(text), key, shift);
    FHotkeys->Register(id, ShiftToModifiers(shift), key);
  }
}

void TfrmOCRMain::UnregisterHotkeys() {
  for (quint16 id : {id_capture, id_c_capture, id_restore})
    FHotkeys->Unregister(id);
  for (quint16 id : {id_capture, id_c_capture, id_restore})
    GlobalDeleteAtom(id);
}

void TfrmOCRMain::UpdateHotkeyCaptions() {
  const std::pair<const char *, QString> captions[] = {{"actCapture", IniOptions->HotkeyCapture()},
                                                       {"actCaptureCombine", IniOptions->HotkeyC_Capture()},
                                                       {"actCaptureRestore", IniOptions->HotkeyRestore()}};
  for (const auto &[name, hotkey] : captions)
    Action(QString::fromLatin1(name))->setText(FormatText(GetLangText(QString::fromLatin1(name)), {hotkey}));
}

void TfrmOCRMain::WMHotKey(int id) {
  QAction *a = nullptr;
  if (id == id_capture)
    a = Action(QStringLiteral("actCapture"));
  else if (id == id_c_capture)
    a = Action(QStringLiteral("actCaptureCombine"));
  else if (id == id_restore)
    a = Action(QStringLiteral("actCaptureRestore"));
  if (a && a->isEnabled() && !TBusyWork::Active())
    a->trigger();
}

// --------------------------------------------------------------- commands

void TfrmOCRMain::actSrc_ScanExecute(QAction *Sender) {
  TfraModuleOCR *fra = fraModuleOCR;
  // The flag, the page and the status line follow the list, also when a
  // command fails half-way (a file import whose first file cannot be read
  // has appended its entries all the same).
  auto followList = [this, fra] {
    if (fra->imgMViewListItems->ImageCount() > 0) {
      FHasData = true;
      pcMain->SetActivePageIndex(FAIndex);
    } else {
      FHasData = false;
      pcMain->SetActivePage(tsGuide);
    }
    UpdateStatusInfo();
  };
  fra->imgMViewListItems->SetStoreType(ietThumb);
  try {
    switch (TagOf(Sender)) {
    case 0:
      fra->Scan();
      break;
    case 1:
      fra->ImportPDF();
      break;
    case 2:
      fra->ImportDir();
      break;
    case 3:
      fra->ImportFiles();
      break;
    case 4:
      StartCapture(ctSingle);
      break;
    case 5:
      fra->RemoveSel();
      break;
    case 6:
      fra->ClearAll();
      break;
    case 7:
      StartCapture(ctCombine);
      break;
    case 8:
      setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
      showNormal();
      raise();
      activateWindow();
      break;
    default:
      break;
    }
  } catch (...) {
    followList();
    throw;
  }
  followList();
}

void TfrmOCRMain::actRec_SelExecute(QAction *Sender) {
  if (!FHasData) {
    ShowWarningBox(GetLangText(QStringLiteral("ocr_noSrc")));
    return;
  }
  const QString langName = barItemLang->CurEditValue().toString();
  switch (TagOf(Sender)) {
  case 0:
    fraModuleOCR->OCR(langName);
    break;
  case 1:
    fraModuleOCR->OCRAll(langName);
    break;
  case 2:
    fraModuleOCR->BarcodeDetect();
    break;
  default:
    break;
  }
  fraModuleOCR->SetOCRView(VBoth);
}

void TfrmOCRMain::actIE_Rotate90Execute(QAction *Sender) {
  TfraModuleOCR *fra = fraModuleOCR;
  switch (TagOf(Sender)) {
  case 0:
    fra->Rotate90();
    break;
  case 1:
    fra->Rotate90C();
    break;
  case 2:
    fra->Crop();
    break;
  case 3:
    fra->Horizontal();
    break;
  case 4:
    fra->SaveImage();
    break;
  case 5:
    fra->ImgUndo();
    break;
  case 6:
    fra->ImgRedo();
    break;
  case 7:
    fra->ImgTwoValue();
    break;
  case 8:
    fra->DrawMask();
    break;
  case 9:
    fra->MergeAll(fra->imgRaw);
    if (fra->imgRaw->Selected())
      fra->imgRaw->DeSelect();
    break;
  default:
    break;
  }
}

void TfrmOCRMain::actExport2PDFExecute() { fraModuleOCR->Export2PDF(); }

void TfrmOCRMain::barItemLangChange() { IniOptions->SetParamCurOCRLangName(barItemLang->CurEditValue().toString()); }

void TfrmOCRMain::baritemTrackBrightPropertiesChange() {
  fraModuleOCR->AdjustBrightness(baritemTrackBright->CurEditValue().toInt());
}

void TfrmOCRMain::baritemTrackContrastPropertiesChange() {
  fraModuleOCR->AdjustContrast(baritemTrackContrast->CurEditValue().toInt());
}

void TfrmOCRMain::actCustomHotKeyExecute() {
  // The hotkeys are given back while the dialog runs, so that a combination
  // typed into one of its fields reaches the field instead of starting a
  // command over the dialog; they are registered again from the settings
  // however the dialog ends (after OK with the new combinations).
  UnregisterHotkeys();
  int result = QDialog::Rejected;
  try {
    TfrmCustomHotkey dialog(this);
    result = Dialogs().ExecDialog(&dialog);
  } catch (...) {
    RegisterHotkeys();
    throw;
  }
  RegisterHotkeys();
  if (result == QDialog::Accepted)
    UpdateHotkeyCaptions();
}

void TfrmOCRMain::actImportLangFileExecute() {
  TFileDialogRequest request;
  request.InitialDir = IniOptions->ParamLangFilePath();
  request.Filter = GetLangText(QStringLiteral("filter_openlang"));
  request.MultiSelect = false;
  request.FileName = FOpenMainFileName;
  const QStringList files = Dialogs().OpenFiles(this, request);
  if (files.isEmpty())
    return;
  FOpenMainFileName = files.first();
  IniOptions->SetParamLangFilePath(ExtractFilePath(files.first()));
  // Extracting and checking the trained data takes a while for a large
  // pack: off this thread, so that the window keeps drawing itself.
  TLangPackImport import(files.first(), AppPath + OCRLangPath);
  try {
    TBusyWork busy;
    busy.Run([&import] { import.Execute(); });
  } catch (const EZipError &e) {
    throw Exception(TLangPackImport::FailureText(e)); // to the default error report
  }
  dmMain->InitConsts();
  if (!import.Refused().isEmpty()) {
    ShowErrorBox(import.RefusedText());
    return;
  }
  ShowInfoBox(GetLangText(QStringLiteral("info_ImportLangOK")));
}

// ---------------------------------------------------------------- capture

void TfrmOCRMain::StartCapture(TCaptureType ct) {
  if (FMyPattern == osCapture) {
    alertWindowMain->Show(GetLangText(QStringLiteral("alertWindowCaption")),
                          GetLangText(QStringLiteral("alert_capture")), -1);
    return;
  }
  FMyPattern = osCapture;
  struct TRestore {
    TPattern &Pattern;
    ~TRestore() { Pattern = osNormal; }
  } restore{FMyPattern};
  setWindowState(windowState() | Qt::WindowMinimized);
  // Let the window system take the window away before the screen is grabbed.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  Pause(300);
  RunCaptureWindow(ct);
}

void TfrmOCRMain::RunCaptureWindow(TCaptureType ct) {
  TfrmCapture frmCapture(this);
  struct TDrop {
    TfrmCapture &Form;
    ~TDrop() { Form.img1->Blank(); } // the screen picture goes with the capture
  } drop{frmCapture};
  frmCapture.Init();
  if (Dialogs().ExecDialog(&frmCapture) != QDialog::Accepted)
    return;
  const QImage bitmap = frmCapture.CopySelectionToBitmap();
  fraModuleOCR->Capture(bitmap, ct);
}
