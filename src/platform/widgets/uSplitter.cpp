#include "uSplitter.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

TSplitter::TSplitter(QWidget *parent) : QWidget(parent) { Shape(); }

void TSplitter::SetControl(QWidget *control) { FControl = control; }

void TSplitter::SetAlignSplitter(TSplitterAlign align) {
  FAlign = align;
  Shape();
}

void TSplitter::SetThickness(int pixels) {
  FThickness = std::max(1, pixels);
  Shape();
}

void TSplitter::Shape() {
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  if (Vertical()) {
    setFixedWidth(FThickness);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    setCursor(Qt::SplitHCursor);
  } else {
    setFixedHeight(FThickness);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::SplitVCursor);
  }
  update();
}

int TSplitter::DraggedSize(TSplitterAlign align, int startSize, QPoint delta, int minSize, int maxSize) {
  int size = startSize;
  switch (align) {
  case salLeft:
    size += delta.x();
    break;
  case salRight:
    size -= delta.x();
    break;
  case salTop:
    size += delta.y();
    break;
  case salBottom:
    size -= delta.y();
    break;
  }
  return std::clamp(size, minSize, std::max(minSize, maxSize));
}

int TSplitter::ControlSize() const {
  if (!FControl)
    return 0;
  return Vertical() ? FControl->width() : FControl->height();
}

// Room for the control: its parent's extent less the splitter and the
// smallest size left to the panes on the other side.
int TSplitter::MaxSize() const {
  const QWidget *host = FControl ? FControl->parentWidget() : nullptr;
  if (!host)
    return QWIDGETSIZE_MAX;
  const int extent = Vertical() ? host->width() : host->height();
  return extent - FThickness - FMinSize;
}

void TSplitter::mousePressEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton || !FControl) {
    QWidget::mousePressEvent(event);
    return;
  }
  FDragging = true;
  FStartPos = event->globalPosition().toPoint();
  FStartSize = ControlSize();
  event->accept();
}

void TSplitter::mouseMoveEvent(QMouseEvent *event) {
  if (!FDragging || !FControl)
    return;
  const QPoint delta = event->globalPosition().toPoint() - FStartPos;
  const int size = DraggedSize(FAlign, FStartSize, delta, FMinSize, MaxSize());
  if (size == ControlSize())
    return;
  if (Vertical())
    FControl->setFixedWidth(size);
  else
    FControl->setFixedHeight(size);
  emit Moved(size);
}

void TSplitter::mouseReleaseEvent(QMouseEvent *event) {
  if (FDragging && event->button() == Qt::LeftButton)
    FDragging = false;
}

void TSplitter::enterEvent(QEnterEvent *) {
  FHover = true;
  update();
}

void TSplitter::leaveEvent(QEvent *) {
  FHover = false;
  update();
}

void TSplitter::paintEvent(QPaintEvent *) {
  QPainter p(this);
  p.fillRect(rect(), FHover || FDragging ? QColor(0xe4, 0xec, 0xf7) : QColor(0xf3, 0xf3, 0xf3));
  p.setPen(QColor(0xd5, 0xd5, 0xd5));
  // A short grip in the middle of the bar.
  if (Vertical()) {
    const int x = width() / 2, y = height() / 2;
    p.drawLine(x, y - 12, x, y + 12);
  } else {
    const int x = width() / 2, y = height() / 2;
    p.drawLine(x - 12, y, x + 12, y);
  }
}
