#pragma once

#include "uIEDocument.h"

#include <QAbstractScrollArea>
#include <QCursor>
#include <QFlags>
#include <QPoint>
#include <QString>

class QTimer;

// The view's mouse tools for the picture and for the vector layer.
enum TIEMouseInteractItem {
  miScroll = 0x1, // a drag of the left button moves the picture
  miSelect = 0x2, // a drag of the left button draws the rectangular selection
};
Q_DECLARE_FLAGS(TIEMouseInteract, TIEMouseInteractItem)
Q_DECLARE_OPERATORS_FOR_FLAGS(TIEMouseInteract)

enum TIEMouseInteractVtItem {
  miPutBox = 0x1, // a drag of the left button draws a new box
};
Q_DECLARE_FLAGS(TIEMouseInteractVt, TIEMouseInteractVtItem)
Q_DECLARE_OPERATORS_FOR_FLAGS(TIEMouseInteractVt)

enum TIEMouseWheelAction {
  iemwNone,    // the wheel neither scrolls nor zooms
  iemwZoom,    // zooms about the mouse position
  iemwVScroll, // scrolls vertically
};

struct TIEMouseWheelParams {
  TIEMouseWheelAction Action = iemwZoom;
  double Value = 8; // zoom: percent of the present zoom per wheel step
};

// The cursor numbers of the image views, as the Windows program numbers them.
enum : int {
  crIEPan = 1782,     // open hand
  crIEMask = 1784,    // cross hair with a small box
  crIESelect = 1785,  // selection cross
  crIECrop = 1801,    // crop marks
  crIECapture = 1808, // arrow with a small dashed rectangle, hot spot at the tip
};

// A document that shows itself: the picture at a zoom, scrolled, with its
// boxes and its selection, and mouse tools to scroll, select and draw boxes.
// Every operation of TIEDocument is available on the view. A view that is
// never shown does no layout or painting work.
class TImageEnVect : public QAbstractScrollArea, public TIEDocument {
  Q_OBJECT
public:
  explicit TImageEnVect(QWidget *parent = nullptr);
  ~TImageEnVect() override;

  // Zoom in percent; a value of 0 or less, or the present zoom, changes
  // nothing. The point at the centre of the view stays there.
  double Zoom() const { return FZoom; }
  void SetZoom(double percent);
  double ZoomX() const { return FZoom; }
  double ZoomY() const { return FZoom; }
  // Zoom so that the picture's width fills the view (leaving room for the
  // vertical scroll bar when the picture is then taller than the view). A
  // view that is not visible fits when it is shown, unless the zoom is set
  // otherwise before.
  void FitToWidth();
  // Zoom so that the whole picture fits into the view; the same when hidden.
  void Fit();
  // Zoom and scroll so that `rect` of the picture (picture pixels) fills the
  // view, its top-left corner at the view's top-left corner.
  void DisplayImageRect(const QRect &rect);
  // The scroll position: the client pixel of the zoomed picture shown at the
  // view's left and top edges.
  int ViewX() const { return FViewX; }
  int ViewY() const { return FViewY; }
  void SetViewXY(int x, int y);
  // The client area (the part of the view that shows the picture).
  int ClientWidth() const;
  int ClientHeight() const;
  // A picture smaller than the view is centred in it (the default).
  bool Center() const { return FCenter; }
  void SetCenter(bool value);

  TIEMouseInteract MouseInteract() const { return FMouseInteract; }
  void SetMouseInteract(TIEMouseInteract value);
  TIEMouseInteractVt MouseInteractVt() const { return FMouseInteractVt; }
  void SetMouseInteractVt(TIEMouseInteractVt value);
  TIEMouseWheelParams &MouseWheelParams() { return FWheel; }

  // Interaction hints: while the user drags a selection or a new box, a
  // short hint near the mouse pointer gives its size in picture pixels
  // ("320 × 200"); after a zoom by the mouse wheel it gives the new zoom
  // ("150 %") for a moment. Off unless set.
  bool EnableInteractionHints() const { return FEnableHints; }
  void SetEnableInteractionHints(bool value);
  // The hint shown now; empty when none.
  QString InteractionHint() const { return FHint; }

  // The mouse cursor by its Windows number: crIE... above, or the standard
  // ones 0 default, -2 arrow, -3 cross, -11 busy, -21 hand point.
  int Cursor() const { return FCursorId; }
  void SetCursor(int id);
  static QCursor IECursor(int id);

  // Lays the view out again and repaints it.
  void Update() override;

  QPointF BitmapToClient(const QPointF &p) const override;
  QPointF ClientToBitmap(const QPointF &p) const override;

signals:
  // A mouse button went down on the picture (client coordinates); raised
  // before the view's own mouse tool acts.
  void MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
  // Raised after the view applied its own wheel action, so ZoomX is the new zoom.
  void MouseWheel(Qt::KeyboardModifiers Shift, int WheelDelta, QPoint MousePos);
  // A key with a character; a handler may change Key, and the null
  // character consumes the key.
  void KeyPress(QChar &Key);
  // The user is dragging the selection / has finished a selection (also one
  // that a click removed).
  void SelectionChanging();
  void SelectionChange();
  // The user drew a new box.
  void NewObject(int hobj);

protected:
  void DocumentChanged(unsigned changes) override;
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void wheelEvent(QWheelEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void scrollContentsBy(int dx, int dy) override;

private:
  enum TDrag { dNone, dScroll, dSelect, dBox };
  enum TPendingFit { pfNone, pfWidth, pfWhole };

  double Scale() const { return FZoom / 100.0; }
  QSizeF ZoomedSize() const;
  QPointF Origin() const;
  int MaxViewX() const;
  int MaxViewY() const;
  void ClampView();
  void UpdateLayout();
  void ZoomAt(double percent, QPointF clientPoint);
  void ApplyFit(TPendingFit fit);
  QRect DragRect(QPointF a, QPointF b) const;
  void ShowHint(const QString &text, QPoint at, bool forAMoment);
  void HideHint();
  QRect HintRect() const;
  QRectF ClientRect(const QRect &bitmapRect) const;

  double FZoom = 100;
  int FViewX = 0;
  int FViewY = 0;
  bool FCenter = true;
  bool FLayoutPending = true;
  TPendingFit FPendingFit = pfNone;
  bool FSyncing = false;
  TIEMouseInteract FMouseInteract = miScroll;
  TIEMouseInteractVt FMouseInteractVt;
  TIEMouseWheelParams FWheel;
  int FCursorId = 0;

  TDrag FDrag = dNone;
  QPoint FDragStartClient;
  QPointF FDragStartBitmap;
  QPoint FDragStartView;
  QRect FBoxPreview;

  bool FEnableHints = false;
  QString FHint;
  QPoint FHintAt;
  QTimer *FHintTimer = nullptr;
};

// The plain view: the same class.
using TImageEnView = TImageEnVect;
