#pragma once

#include <QWidget>

enum TBevelCut { bvNone, bvLowered, bvRaised };

// A plain container that can show a caption in its middle (drawn beneath
// its children) and a thin outer bevel.
class TPanel : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
public:
  explicit TPanel(QWidget *parent = nullptr, const QString &name = QString());

  QString Caption() const { return FCaption; }
  void SetCaption(const QString &caption);
  TBevelCut BevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TBevelCut bevel);

  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  QString FCaption;
  TBevelCut FBevelOuter = bvRaised;
};
