#include "uCustomHotkey.h"

#include "uApplication.h"
#include "uDMMain.h"
#include "uHotKeyEdit.h"
#include "uImageList.h"
#include "uIniOptions.h"
#include "uLangText.h"
#include "uShortCut.h"
#include "ui_uCustomHotkey.h"

#include <QAction>
#include <QPushButton>

namespace {

// A button that shows its action's caption, picture and state and runs the
// action when clicked.
void linkButton(QPushButton *button, QAction *action) {
  auto update = [button, action] {
    button->setText(action->text());
    button->setIcon(action->icon());
    button->setEnabled(action->isEnabled());
    button->setVisible(action->isVisible());
  };
  update();
  QObject::connect(action, &QAction::changed, button, update);
  QObject::connect(button, &QPushButton::clicked, action, [action] { action->trigger(); });
}

} // namespace

TfrmCustomHotkey::TfrmCustomHotkey(QWidget *owner)
    : QDialog(owner, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint), ui(std::make_unique<Ui::frmCustomHotkey>()) {
  ui->setupUi(this);
  lblCapture = ui->lblCapture;
  lblCaptureCombine = ui->lblCaptureCombine;
  lblRestore = ui->lblRestore;
  hkCapture = ui->hkCapture;
  hkCaptureCombine = ui->hkCaptureCombine;
  hkRestore = ui->hkRestore;
  bvl1 = ui->bvl1;
  btnRestoreDefault = ui->btnRestoreDefault;
  btnOK = ui->btnOK;
  btnCancel = ui->btnCancel;
  actOK = ui->actOK;
  actCancel = ui->actCancel;
  actRestoreDefault = ui->actRestoreDefault;

  QFont tahoma = font();
  tahoma.setFamily(QStringLiteral("Tahoma"));
  tahoma.setPixelSize(11);
  setFont(tahoma);

  linkButton(btnRestoreDefault, actRestoreDefault);
  linkButton(btnOK, actOK);
  linkButton(btnCancel, actCancel);
  connect(actOK, &QAction::triggered, this, [this] { RunGuarded([this] { actOKExecute(); }); });
  connect(actCancel, &QAction::triggered, this, [this] { RunGuarded([this] { actCancelExecute(); }); });
  connect(actRestoreDefault, &QAction::triggered, this, [this] { RunGuarded([this] { actRestoreDefaultExecute(); }); });

  RunGuarded([this] { FormCreate(); });
}

TfrmCustomHotkey::~TfrmCustomHotkey() = default;

void TfrmCustomHotkey::FormCreate() {
  setWindowTitle(GetLangText(objectName()));
  TranslateComponent(lblCapture);
  TranslateComponent(lblCaptureCombine);
  TranslateComponent(lblRestore);
  for (QAction *action : {actOK, actCancel, actRestoreDefault}) {
    TranslateComponent(action);
    if (dmMain)
      action->setIcon(dmMain->imgLst16->Icon(action->property("ImageIndex").toInt()));
  }
  hkCapture->SetHotKey(TextToShortCut(IniOptions->HotkeyCapture()));
  hkCaptureCombine->SetHotKey(TextToShortCut(IniOptions->HotkeyC_Capture()));
  hkRestore->SetHotKey(TextToShortCut(IniOptions->HotkeyRestore()));
}

void TfrmCustomHotkey::actOKExecute() {
  IniOptions->SetHotkeyCapture(ShortCutToText(hkCapture->HotKey()));
  IniOptions->SetHotkeyC_Capture(ShortCutToText(hkCaptureCombine->HotKey()));
  IniOptions->SetHotkeyRestore(ShortCutToText(hkRestore->HotKey()));
  accept();
}

void TfrmCustomHotkey::actRestoreDefaultExecute() {
  hkCapture->SetHotKey(TextToShortCut(IniOptions->HotkeyCapture_Default()));
  hkCaptureCombine->SetHotKey(TextToShortCut(IniOptions->HotkeyC_Capture_Default()));
  hkRestore->SetHotKey(TextToShortCut(IniOptions->HotkeyRestore_Default()));
}

void TfrmCustomHotkey::actCancelExecute() { reject(); }
