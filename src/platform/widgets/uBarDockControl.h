#pragma once

#include "uBars.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class QVBoxLayout;

// A strip, usually at the top of a panel, that holds docked toolbars: each
// bar stands alone on its row, fills it and wraps onto further lines when
// its links do not fit. The bars cannot be closed, moved or customised.
class TBarDockControl : public QWidget {
  Q_OBJECT
public:
  explicit TBarDockControl(QWidget *parent = nullptr);

  void AddBar(TBar *bar);
  int BarCount() const;
  TBar *Bars(int index) const;
  // The row that shows a bar here; null when the bar is not docked here.
  QWidget *BarControl(const TBar *bar) const;

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  QVBoxLayout *FRows;
  QList<QPointer<QWidget>> FViews;
};
