#pragma once

#include "uBars.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

class QStackedWidget;
class QTabBar;
class QHBoxLayout;
class TRibbon;

// A tab of the ribbon: a caption, a Tag and its groups, each the toolbar it
// shows (the group's caption is the toolbar's caption).
class TRibbonTab : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)
public:
  TRibbon *Ribbon() const { return FRibbon; }
  QString Caption() const { return FCaption; }
  void SetCaption(const QString &caption);
  int Tag() const { return FTag; }
  void SetTag(int tag) { FTag = tag; }
  // Position among the ribbon's tabs.
  int Index() const;

  void AddGroup(TBar *toolbar);
  int GroupCount() const { return static_cast<int>(FGroups.size()); }
  TBar *Groups(int index) const { return FGroups.at(index); }

signals:
  void Changed();
  void GroupAdded(TBar *toolbar);

private:
  friend class TRibbon;
  TRibbonTab(TRibbon *ribbon, const QString &name);

  TRibbon *FRibbon;
  QString FCaption;
  int FTag = 0;
  QList<QPointer<TBar>> FGroups;
};

// How a ribbon group places its links: columns, each either one large item
// or up to three rows of small ones (a button group is one row). A link that
// begins a group starts a new column behind a separator.
struct TRibbonColumn {
  bool SeparatorBefore = false;
  bool Large = false;
  QList<QList<int>> Rows; // link indices of the toolbar
};
QList<TRibbonColumn> RibbonGroupColumns(const TBar *toolbar);

// The ribbon at the top of a main window (QMainWindow::setMenuWidget): the
// tab row with the quick-access toolbar beside the tabs, and below it the
// groups of the active tab.
class TRibbon : public QWidget {
  Q_OBJECT
public:
  explicit TRibbon(QWidget *parent = nullptr);

  // The first tab added becomes the active one.
  TRibbonTab *AddTab(const QString &name, const QString &caption = QString());
  int TabCount() const { return static_cast<int>(FTabs.size()); }
  TRibbonTab *Tabs(int index) const { return FTabs.at(index); }

  TRibbonTab *ActiveTab() const { return FActive; }
  // Raises TabChanged when the tab changes, from code as from a click.
  void SetActiveTab(TRibbonTab *tab);

  // The toolbar shown in the tab row, beside the tabs; null for none.
  TBar *QuickAccessToolbar() const { return FQuickAccess; }
  void SetQuickAccessToolbar(TBar *toolbar);

  // The group (its caption label and controls) showing a toolbar on a tab.
  QWidget *GroupControl(const TRibbonTab *tab, const TBar *toolbar) const;
  QTabBar *TabBar() const { return FTabBar; }

signals:
  void TabChanged();

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  void TabCaptionChanged(TRibbonTab *tab);
  void AddGroupControl(TRibbonTab *tab, TBar *toolbar);

  QList<TRibbonTab *> FTabs;
  QPointer<TRibbonTab> FActive;
  QPointer<TBar> FQuickAccess;
  QTabBar *FTabBar;
  QHBoxLayout *FTopRow;
  QWidget *FQuickAccessView = nullptr;
  QStackedWidget *FPages;
  struct TGroupEntry {
    QPointer<TRibbonTab> Tab;
    QPointer<TBar> Bar;
    QPointer<QWidget> View;
  };
  QList<TGroupEntry> FGroupViews;
};
