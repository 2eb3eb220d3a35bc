#pragma once

#include <QDialog>
#include <QImage>
#include <QPoint>
#include <memory>

class QFrame;
class QKeyEvent;
class QPushButton;
class TImageEnVect;
namespace Ui {
class frmCapture;
}

// Where the capture window's tool panel goes for a cursor position (screen
// coordinates): its right edge at the cursor and its top at the cursor's
// height; 18 pixels from the screen's left edge when the cursor is nearer to
// that edge than the panel is wide; resting on the bottom edge near the
// bottom. Returns the panel's top-left corner.
QPoint ToolPanelPos(QPoint cursor, int panelWidth, int panelHeight, int screenHeight);

// The borderless window covering the primary screen that shows a still
// picture of the desktop: the user drags a rectangle with the left button
// and confirms it (OK, the dialog is accepted) or cancels (Cancel, Esc or the
// right button; rejected). Enter confirms nothing. The window is created for
// one capture: Init, then exec, then CopySelectionToBitmap when accepted.
class TfrmCapture : public QDialog {
  Q_OBJECT
public:
  explicit TfrmCapture(QWidget *owner = nullptr);
  ~TfrmCapture() override;

  // Grabs the whole desktop into img1 (no mouse pointer), clears any
  // selection and hides the tool panel. Called before the window is shown,
  // so the grab holds neither the window nor its owner.
  void Init();
  // The selected rectangle of the grab, pixel for pixel at 24 bits per pixel
  // (QImage::Format_RGB888); a null image when nothing is selected.
  QImage CopySelectionToBitmap() const;
  // The same, under the name the main window's capture calls.

  // The components of the form definition.
  QFrame *pnlTool;
  TImageEnVect *img1;
  QPushButton *btnCancel;
  QPushButton *btnOK;

  // Event handlers.
  void FormCreate();
  void FormResize();
  void FormShow();
  // Esc cancels and is consumed (Key becomes the null character); the form
  // sees every key before its controls.
  void FormKeyPress(QChar &Key);
  void img1SelectionChange();
  void img1MouseDown(Qt::MouseButton Button);
  void img1KeyPress(QChar &Key);
  void btnOKClick();
  void btnCancelClick();

protected:
  void resizeEvent(QResizeEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  // Runs FormKeyPress on a key event; true when the key was consumed.
  bool PreviewKey(QKeyEvent *event);

  std::unique_ptr<Ui::frmCapture> ui;
};
