#pragma once

#include "uImageList.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class QStackedWidget;
class QTabBar;
class TPageControl;

// A sheet of a page control. Give it a layout and children as to any
// widget.
class TTabSheet : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
  Q_PROPERTY(int ImageIndex READ ImageIndex WRITE SetImageIndex)
public:
  // Appends the sheet to the page control.
  TTabSheet(TPageControl *pageControl, const QString &name);

  TPageControl *PageControl() const { return FPageControl; }
  int PageIndex() const;
  QString Caption() const { return FCaption; }
  void SetCaption(const QString &caption);
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int index);

private:
  TPageControl *FPageControl;
  QString FCaption;
  int FImageIndex = -1;
};

// Sheets one above the other with a row of tabs, which HideTabs takes away
// (the sheets are then switched from code only).
class TPageControl : public QWidget {
  Q_OBJECT
public:
  explicit TPageControl(QWidget *parent = nullptr);
  ~TPageControl() override;

  TTabSheet *AddSheet(const QString &name, const QString &caption = QString());
  int PageCount() const { return static_cast<int>(FSheets.size()); }
  TTabSheet *Pages(int index) const { return FSheets.value(index); }

  bool HideTabs() const { return FHideTabs; }
  void SetHideTabs(bool hide);

  // The first sheet added is the active one; changing it raises Change.
  TTabSheet *ActivePage() const { return FActive; }
  void SetActivePage(TTabSheet *sheet);
  int ActivePageIndex() const { return FActive ? FActive->PageIndex() : -1; }
  // An index outside the sheets changes nothing.
  void SetActivePageIndex(int index);

  // Tab pictures by the sheets' ImageIndex.
  void SetImages(TImageList *images);
  QTabBar *TabBar() const { return FTabBar; }

signals:
  void Change();

private:
  friend class TTabSheet;
  void AppendSheet(TTabSheet *sheet);
  void SyncTab(TTabSheet *sheet);

  QTabBar *FTabBar;
  QStackedWidget *FStack;
  QList<TTabSheet *> FSheets;
  QPointer<TTabSheet> FActive;
  QPointer<TImageList> FImages;
  bool FHideTabs = false;
};
