#pragma once

#include <QDialog>
#include <QImage>
#include <QPoint>

class QPushButton;
class TImageEnVect;

namespace Ui {
class frmCapture;
}

// Where the capture window's tool panel goes for a cursor position (screen
// coordinates): its right edge at the cursor and its top at the cursor's
// height; 18 pixels from the left edge when the cursor is nearer to it than
// the panel is wide; resting on the bottom edge near the bottom.
QPoint ToolPanelPos(QPoint cursor, int panelWidth, int panelHeight, int screenHeight);

// The borderless window covering the screen that shows a still picture of
// the desktop: the user drags a rectangle and confirms it, or cancels.
class TfrmCapture : public QDialog {
  Q_OBJECT
public:
  explicit TfrmCapture(QWidget *owner = nullptr);
  ~TfrmCapture() override;

  // Grabs the whole desktop into the view, clears any selection and hides
  // the tool panel. Called before the window is shown.
  void Init();
  // The selected rectangle of the grab at 24 bits per pixel; an empty image
  // when nothing is selected.
  QImage SelectionBitmap() const;

  QWidget *pnlTool;
  TImageEnVect *img1;
  QPushButton *btnCancel;
  QPushButton *btnOK;

  // Event handlers.
  void img1SelectionChange();
  void img1MouseDown(Qt::MouseButton Button);
  void btnOKClick() { done(QDialog::Accepted); }
  void btnCancelClick() { done(QDialog::Rejected); }

protected:
  void resizeEvent(QResizeEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void FormCreate();
  void FormResize();
  // Esc cancels, from any control; Enter does nothing.
  bool FormKeyPress(QKeyEvent *event);

  Ui::frmCapture *ui;
};
