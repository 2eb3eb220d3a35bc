#include "uPageControl.h"

#include "uImageList.h"

#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

TTabSheet::TTabSheet(TPageControl *pageControl, const QString &name)
    : QWidget(nullptr), FPageControl(pageControl), FCaption(name) {
  setObjectName(name);
  pageControl->AppendSheet(this);
}

int TTabSheet::PageIndex() const { return static_cast<int>(FPageControl->FSheets.indexOf(this)); }

void TTabSheet::SetCaption(const QString &caption) {
  FCaption = caption;
  FPageControl->SyncTab(this);
}

void TTabSheet::SetImageIndex(int index) {
  FImageIndex = index;
  FPageControl->SyncTab(this);
}

TPageControl::TPageControl(QWidget *parent)
    : QWidget(parent), FTabBar(new QTabBar(this)), FStack(new QStackedWidget(this)) {
  auto *box = new QVBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(0);
  FTabBar->setDrawBase(true);
  FTabBar->setExpanding(false);
  box->addWidget(FTabBar);
  box->addWidget(FStack, 1);
  connect(FTabBar, &QTabBar::currentChanged, this, [this](int index) { SetActivePageIndex(index); });
}

// The sheets go with the stack after this object's lists are gone.
TPageControl::~TPageControl() {
  for (TTabSheet *sheet : FSheets)
    disconnect(sheet, nullptr, this, nullptr);
}

TTabSheet *TPageControl::AddSheet(const QString &name, const QString &caption) {
  auto *sheet = new TTabSheet(this, name);
  if (!caption.isEmpty())
    sheet->SetCaption(caption);
  return sheet;
}

void TPageControl::AppendSheet(TTabSheet *sheet) {
  FSheets.append(sheet);
  FStack->addWidget(sheet); // takes the sheet as its child
  {
    const QSignalBlocker quiet(FTabBar);
    FTabBar->addTab(sheet->Caption());
    FTabBar->setCurrentIndex(ActivePageIndex() < 0 ? 0 : ActivePageIndex());
  }
  connect(sheet, &QObject::destroyed, this, [this, sheet] {
    const qsizetype i = FSheets.indexOf(sheet);
    if (i < 0)
      return;
    FSheets.removeAt(i);
    const QSignalBlocker quiet(FTabBar);
    FTabBar->removeTab(static_cast<int>(i));
  });
  SyncTab(sheet);
  if (!FActive)
    SetActivePage(sheet);
}

void TPageControl::SyncTab(TTabSheet *sheet) {
  const int i = sheet->PageIndex();
  if (i < 0)
    return;
  FTabBar->setTabText(i, sheet->Caption());
  FTabBar->setTabIcon(i, FImages ? FImages->Icon(sheet->ImageIndex()) : QIcon());
}

void TPageControl::SetHideTabs(bool hide) {
  FHideTabs = hide;
  FTabBar->setHidden(hide);
}

void TPageControl::SetActivePage(TTabSheet *sheet) {
  if (!sheet || sheet == FActive || !FSheets.contains(sheet))
    return;
  FActive = sheet;
  {
    const QSignalBlocker quiet(FTabBar);
    FTabBar->setCurrentIndex(sheet->PageIndex());
  }
  FStack->setCurrentWidget(sheet);
  emit Change();
}

void TPageControl::SetActivePageIndex(int index) { SetActivePage(Pages(index)); }

void TPageControl::SetImages(TImageList *images) {
  FImages = images;
  for (TTabSheet *sheet : FSheets)
    SyncTab(sheet);
}
