#include "uPanel.h"

#include <QPainter>

TPanel::TPanel(QWidget *parent, const QString &name) : QWidget(parent) {
  setObjectName(name);
  setAttribute(Qt::WA_StyledBackground, false);
}

void TPanel::SetCaption(const QString &caption) {
  FCaption = caption;
  updateGeometry();
  update();
}

void TPanel::SetBevelOuter(TBevelCut bevel) {
  FBevelOuter = bevel;
  update();
}

QSize TPanel::sizeHint() const {
  const QSize text = fontMetrics().size(Qt::TextSingleLine, FCaption);
  return QSize(std::max(185, text.width() + 16), std::max(41, text.height() + 8));
}

void TPanel::paintEvent(QPaintEvent *) {
  QPainter p(this);
  p.fillRect(rect(), palette().window());
  if (FBevelOuter != bvNone) {
    const QRect r = rect().adjusted(0, 0, -1, -1);
    const QColor light(0xff, 0xff, 0xff), dark(0xc6, 0xc6, 0xc6);
    const QColor topLeft = FBevelOuter == bvRaised ? light : dark;
    const QColor bottomRight = FBevelOuter == bvRaised ? dark : light;
    p.setPen(topLeft);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(bottomRight);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
  }
  if (!FCaption.isEmpty()) {
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(rect().adjusted(4, 0, -4, 0), Qt::AlignCenter | Qt::TextSingleLine, FCaption);
  }
}
