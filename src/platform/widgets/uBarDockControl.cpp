#include "uBarDockControl.h"

#include "uBarControls.h"

#include <QPainter>
#include <QVBoxLayout>

TBarDockControl::TBarDockControl(QWidget *parent) : QWidget(parent), FRows(new QVBoxLayout(this)) {
  FRows->setContentsMargins(0, 0, 0, 1);
  FRows->setSpacing(0);
  setStyleSheet(BarStyleSheet());
  // Not Fixed: a fixed height would hold the dock to one line of links.
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

void TBarDockControl::AddBar(TBar *bar) {
  if (!bar || BarControl(bar))
    return;
  auto *view = new TBarRowView(bar, lpToolbar, this);
  FRows->addWidget(view);
  FViews.append(view);
}

int TBarDockControl::BarCount() const {
  int n = 0;
  for (const QPointer<QWidget> &v : FViews)
    n += v && static_cast<TBarRowView *>(v.data())->Bar() ? 1 : 0;
  return n;
}

TBar *TBarDockControl::Bars(int index) const {
  for (const QPointer<QWidget> &v : FViews)
    if (v)
      if (TBar *bar = static_cast<TBarRowView *>(v.data())->Bar(); bar && index-- == 0)
        return bar;
  return nullptr;
}

QWidget *TBarDockControl::BarControl(const TBar *bar) const {
  for (const QPointer<QWidget> &v : FViews)
    if (v && static_cast<TBarRowView *>(v.data())->Bar() == bar)
      return v;
  return nullptr;
}

void TBarDockControl::paintEvent(QPaintEvent *) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.setPen(QColor::fromRgb(BarColors::Line));
  p.drawLine(0, height() - 1, width(), height() - 1);
}
