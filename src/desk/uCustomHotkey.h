#pragma once

#include <QDialog>
#include <memory>

class QAction;
class QFrame;
class QLabel;
class QPushButton;
class THotKeyEdit;
namespace Ui {
class frmCustomHotkey;
}

// The hotkey dialog: edits the three global hotkeys of the settings object
// (capture, capture and append, restore the main window). OK writes their
// texts into the settings and accepts; restore defaults puts the default
// hotkeys into the controls only; Cancel changes nothing. Nothing is
// validated: empty or equal combinations are stored as chosen.
class TfrmCustomHotkey : public QDialog {
  Q_OBJECT
public:
  explicit TfrmCustomHotkey(QWidget *owner = nullptr);
  ~TfrmCustomHotkey() override;

  // The components of the form definition.
  QLabel *lblCapture;
  QLabel *lblCaptureCombine;
  QLabel *lblRestore;
  THotKeyEdit *hkCapture;
  THotKeyEdit *hkCaptureCombine;
  THotKeyEdit *hkRestore;
  QFrame *bvl1;
  QPushButton *btnRestoreDefault;
  QPushButton *btnOK;
  QPushButton *btnCancel;
  QAction *actOK;
  QAction *actCancel;
  QAction *actRestoreDefault;

  void FormCreate();
  void actOKExecute();
  void actRestoreDefaultExecute();
  void actCancelExecute();

private:
  std::unique_ptr<Ui::frmCustomHotkey> ui;
};
