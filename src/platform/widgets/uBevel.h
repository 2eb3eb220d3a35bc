#pragma once

#include <QWidget>

// A divider line one pixel thick: horizontal (a fixed height of 1) or
// vertical (a fixed width of 1).
class TBevel : public QWidget {
  Q_OBJECT
public:
  explicit TBevel(QWidget *parent = nullptr, Qt::Orientation orientation = Qt::Horizontal);

  Qt::Orientation Orientation() const { return FOrientation; }
  void SetOrientation(Qt::Orientation orientation);

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  Qt::Orientation FOrientation;
};
