#include "uBevel.h"

#include <QPainter>

TBevel::TBevel(QWidget *parent, Qt::Orientation orientation) : QWidget(parent), FOrientation(orientation) {
  SetOrientation(orientation);
}

void TBevel::SetOrientation(Qt::Orientation orientation) {
  FOrientation = orientation;
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  if (orientation == Qt::Horizontal) {
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  } else {
    setFixedWidth(1);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  }
  update();
}

void TBevel::paintEvent(QPaintEvent *) {
  QPainter p(this);
  p.fillRect(rect(), QColor(0xd5, 0xd5, 0xd5));
}
