#pragma once

#include "uFraModuleOCR.h"

#include <QList>
#include <QMainWindow>

#include <memory>

class QAction;
class TAlertWindowManager;
class TBar;
class TBarComboBoxItem;
class TBarItem;
class TBarLabelItem;
class TBarManager;
class TBarSubItem;
class TBarTrackBarItem;
class THotkeyBackend;
class TImageSlider;
class TPageControl;
class TRibbon;
class TRibbonTab;
class TStatusBar;
class TTabSheet;

namespace Ui {
class frmOCRMain;
}

// What the main window is busy with.
enum TPattern : unsigned char { osNormal, osCapture, osRecognize, osImportPDF, osImportDir, osImportMultiFiles };

// The program's one top-level window: the ribbon with its commands, the
// guide page and the OCR workspace, the status line and the global hotkeys.
class TfrmOCRMain : public QMainWindow {
  Q_OBJECT
public:
  explicit TfrmOCRMain(QWidget *parent = nullptr);
  ~TfrmOCRMain() override;

  // State, read by the tests.
  TPattern MyPattern() const { return FMyPattern; }
  bool HasData() const { return FHasData; }
  int AIndex() const { return FAIndex; }
  quint16 IdCapture() const { return id_capture; }
  quint16 IdCCapture() const { return id_c_capture; }
  quint16 IdRestore() const { return id_restore; }
  THotkeyBackend *HotkeyBackend() const { return FHotkeys.get(); }

  // Event handlers.
  void rbnMainTabChanged();
  void actSrc_ScanExecute(QAction *Sender);
  void actRec_SelExecute(QAction *Sender);
  void actIE_Rotate90Execute(QAction *Sender);
  void actExport2PDFExecute();
  void barItemLangChange();
  void baritemTrackBrightPropertiesChange();
  void baritemTrackContrastPropertiesChange();
  void actCustomHotKeyExecute();
  void actImportLangFileExecute();
  // The system's hotkey message: the identifier of the hotkey pressed.
  void WMHotKey(int id);

  // Global hotkeys.
  void RegisterHotkeys();
  void UnregisterHotkeys();
  void UpdateHotkeyCaptions();

  // One screen capture from start to end.
  void StartCapture(TCaptureType ct);

  QAction *Action(const QString &name) const;

  // Whether the window may close: a result changed since it was last saved
  // or exported is offered for saving first (Yes saves it through the
  // save-as command and closes only when it was written; No closes; Cancel
  // stays). An empty result, or a kept one, closes without a question.
  void FormCloseQuery(bool &CanClose);

  // Components
  TRibbon *rbnMain;
  TRibbonTab *rbnTabOCR;
  TRibbonTab *rbnTabEditImage;
  TRibbonTab *rbnTabExport;
  TBarManager *barMgrMain;
  TBar *dxBarManager1Bar1;
  TBar *barSource;
  TBar *barOCR;
  TBar *barImageGeneralTool;
  TBar *barImageBWTool;
  TBar *barResultExport;
  TBar *barResultEdit;
  TBarSubItem *barItemCapture;
  TBarComboBoxItem *barItemLang;
  TBarComboBoxItem *barItemEngine;
  TBarTrackBarItem *baritemTrackBright;
  TBarTrackBarItem *baritemTrackContrast;
  TBarComboBoxItem *baritemFont;
  TBarComboBoxItem *baritemFontSize;
  TBarLabelItem *baritemlblCustomHotkey;
  TBarLabelItem *baritemlblImportLang;
  TStatusBar *rbnStatusMain;
  TPageControl *pcMain;
  TTabSheet *tsOCR;
  TTabSheet *tsGuide;
  TImageSlider *imgSliderMain;
  TAlertWindowManager *alertWindowMain;
  QList<QAction *> actlstMain; // in list order

protected:
  void closeEvent(QCloseEvent *event) override;

private:
  void FormCreate();
  void FormDestroy();
  void InitMainLayout();
  void UpdateStatusInfo();
  void DoChangeCurItem();
  void BuildActions();
  void BuildRibbon();
  void RunCaptureWindow(TCaptureType ct);

  Ui::frmOCRMain *ui;
  TPattern FMyPattern = osNormal;
  bool FHasData = false;
  int FAIndex = 0;
  quint16 id_capture = 0;
  quint16 id_c_capture = 0;
  quint16 id_restore = 0;
  std::unique_ptr<THotkeyBackend> FHotkeys;
  QString FOpenMainFileName; // the open dialog offers its last file again
};

extern TfrmOCRMain *frmOCRMain;
