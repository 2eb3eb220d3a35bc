#pragma once

#include <QPoint>
#include <QPointer>
#include <QWidget>

// The side of the splitter on which its bound control stands.
enum TSplitterAlign { salLeft, salRight, salTop, salBottom };

// A thin bar beside a bound control; dragging it sets the control's width
// (sides left and right) or height (top and bottom) as a fixed size, so put
// the control in a layout where the other panes take the rest.
class TSplitter : public QWidget {
  Q_OBJECT
public:
  explicit TSplitter(QWidget *parent = nullptr);

  QWidget *Control() const { return FControl; }
  void SetControl(QWidget *control);
  TSplitterAlign AlignSplitter() const { return FAlign; }
  void SetAlignSplitter(TSplitterAlign align);
  // Thickness in pixels, 12 unless set.
  int Thickness() const { return FThickness; }
  void SetThickness(int pixels);
  // The control never gets smaller than this (30 unless set).
  int MinSize() const { return FMinSize; }
  void SetMinSize(int pixels) { FMinSize = pixels; }

  // The control's size after a drag by delta from a start size: growing
  // towards the splitter's far side, kept within minSize and maxSize.
  static int DraggedSize(TSplitterAlign align, int startSize, QPoint delta, int minSize, int maxSize);

signals:
  // After the control was resized by a drag; the new width or height.
  void Moved(int size);

protected:
  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void enterEvent(QEnterEvent *event) override;
  void leaveEvent(QEvent *event) override;

private:
  bool Vertical() const { return FAlign == salLeft || FAlign == salRight; }
  int ControlSize() const;
  int MaxSize() const;
  void Shape();

  QPointer<QWidget> FControl;
  TSplitterAlign FAlign = salLeft;
  int FThickness = 12;
  int FMinSize = 30;
  bool FDragging = false;
  bool FHover = false;
  QPoint FStartPos;
  int FStartSize = 0;
};
