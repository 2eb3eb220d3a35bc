#pragma once

// The controls that show bar items, and the row that shows a toolbar. Used
// by the ribbon and the dock control; a window builds on those instead.

#include "uBars.h"

#include <QLayout>
#include <QList>
#include <QPointer>
#include <QToolButton>
#include <QWidget>

class QLabel;

// Where a link is shown; it decides the size and layout of its control.
enum TBarLinkPlace { lpToolbar, lpRibbon, lpQuickAccess };

// The control of one link: a tool button for buttons and sub-menus, a label
// and an editor for edit items. The control registers itself with the item
// and follows it; it hides itself while the item is not shown.
QWidget *CreateBarItemControl(TBarItem *item, const TBarItemLink &link, TBarLinkPlace place, QWidget *parent);

// Takes a whole ribbon column: large buttons and large sub-menus.
bool IsLargeInRibbon(const TBarItem *item);

// The look of the bars: white, thin grey lines, a light blue hover.
const QString &BarStyleSheet();

namespace BarColors {
inline constexpr unsigned Line = 0xd5d5d5;
inline constexpr unsigned Separator = 0xe1e1e1;
inline constexpr unsigned GroupCaption = 0x6a6a6a;
inline constexpr unsigned Accent = 0x2b579a;
} // namespace BarColors

// A thin line between groups of links.
class TBarSeparator : public QWidget {
  Q_OBJECT
public:
  TBarSeparator(Qt::Orientation orientation, QWidget *parent);
  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  Qt::Orientation FOrientation;
};

// Lays its widgets out left to right and wraps onto further lines when the
// width runs out; hidden widgets take no place.
class TFlowLayout : public QLayout {
  Q_OBJECT
public:
  explicit TFlowLayout(QWidget *parent = nullptr, bool wrap = true);
  ~TFlowLayout() override;

  void addItem(QLayoutItem *item) override;
  int count() const override { return static_cast<int>(FItems.size()); }
  QLayoutItem *itemAt(int index) const override { return FItems.value(index); }
  QLayoutItem *takeAt(int index) override;
  Qt::Orientations expandingDirections() const override { return {}; }
  bool hasHeightForWidth() const override { return FWrap; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSize() const override;
  void setGeometry(const QRect &rect) override;

private:
  int DoLayout(const QRect &rect, bool apply) const;

  QList<QLayoutItem *> FItems;
  bool FWrap;
};

// One toolbar drawn as a row of its links (a dock control's bar, the
// quick-access toolbar). It rebuilds when the bar's links change and keeps
// its separators beside shown links only.
class TBarRowView : public QWidget {
  Q_OBJECT
public:
  TBarRowView(TBar *bar, TBarLinkPlace place, QWidget *parent);

  TBar *Bar() const { return FBar; }

private:
  void Rebuild();
  void UpdateShown();

  QPointer<TBar> FBar;
  TBarLinkPlace FPlace;
  struct TLinkView {
    QPointer<TBarItem> Item;
    QPointer<QWidget> Separator;
    QPointer<QWidget> Control;
  };
  QList<TLinkView> FViews;
};
