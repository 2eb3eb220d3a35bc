#include "uRibbon.h"

#include "uBarControls.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

namespace {

constexpr int RowsPerColumn = 3;
constexpr int RowHeight = 24;

QColor rgb(unsigned c) { return QColor::fromRgb(c); }

void showFor(QWidget *w, bool shown) {
  if (w->isHidden() == shown)
    w->setHidden(!shown);
}

// One ribbon group: the toolbar's links in columns over its caption, with a
// thin line at its right edge.
class TRibbonGroupView : public QWidget {
  Q_OBJECT
public:
  TRibbonGroupView(TBar *toolbar, QWidget *parent) : QWidget(parent), FBar(toolbar), FCaption(new QLabel(this)) {
    setObjectName(toolbar->objectName());
    auto *box = new QVBoxLayout(this);
    box->setContentsMargins(4, 2, 6, 2);
    box->setSpacing(0);
    FCaption->setObjectName(QStringLiteral("groupCaption"));
    FCaption->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    QFont small = FCaption->font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.85));
    FCaption->setFont(small);
    QPalette pal = FCaption->palette();
    pal.setColor(QPalette::WindowText, rgb(BarColors::GroupCaption));
    FCaption->setPalette(pal);
    box->addStretch(1);
    box->addWidget(FCaption);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    connect(toolbar, &TBar::LinksChanged, this, &TRibbonGroupView::Rebuild);
    connect(toolbar, &TBar::Changed, this, &TRibbonGroupView::SyncBar);
    SyncBar();
    Rebuild();
  }

  TBar *Bar() const { return FBar; }

protected:
  void paintEvent(QPaintEvent *) override {
    QPainter p(this);
    p.setPen(rgb(BarColors::Separator));
    p.drawLine(width() - 1, 4, width() - 1, height() - 5);
  }

private:
  void SyncBar() {
    if (!FBar)
      return;
    FCaption->setText(FBar->Caption());
    showFor(this, FBar->Visible());
  }

  void Rebuild() {
    delete FContent;
    FColumns.clear();
    FContent = new QWidget(this);
    auto *row = new QHBoxLayout(FContent);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    FContent->setFixedHeight(RowsPerColumn * RowHeight + 2);
    static_cast<QVBoxLayout *>(layout())->insertWidget(0, FContent);
    TBar *bar = FBar;
    if (!bar)
      return;
    for (const TRibbonColumn &column : RibbonGroupColumns(bar)) {
      TColumnView view;
      if (column.SeparatorBefore) {
        view.Separator = new TBarSeparator(Qt::Vertical, FContent);
        row->addWidget(view.Separator);
      }
      view.Box = new QWidget(FContent);
      auto *rows = new QVBoxLayout(view.Box);
      rows->setContentsMargins(0, 0, 0, 0);
      rows->setSpacing(0);
      for (const QList<int> &links : column.Rows) {
        auto *line = new QHBoxLayout;
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(column.Large ? 0 : (links.size() > 1 ? 0 : 2));
        for (int index : links) {
          const TBarItemLink &link = bar->Links(index);
          QWidget *control = CreateBarItemControl(link.Item, link, lpRibbon, view.Box);
          if (!control)
            continue;
          if (!column.Large)
            control->setFixedHeight(RowHeight - 2);
          line->addWidget(control);
          view.Items.append(link.Item);
          connect(link.Item.data(), &TBarItem::Changed, this, &TRibbonGroupView::UpdateShown, Qt::UniqueConnection);
        }
        if (!column.Large)
          line->addStretch(1);
        rows->addLayout(line, column.Large ? 1 : 0);
      }
      if (!column.Large)
        rows->addStretch(1);
      row->addWidget(view.Box);
      FColumns.append(view);
    }
    UpdateShown();
  }

  // A column stands while one of its items is shown; a separator only
  // between two standing columns.
  void UpdateShown() {
    bool anyBefore = false;
    for (const TColumnView &c : FColumns) {
      bool shown = false;
      for (const QPointer<TBarItem> &item : c.Items)
        shown = shown || (item && item->IsShown());
      showFor(c.Box, shown);
      if (c.Separator)
        showFor(c.Separator, shown && anyBefore);
      anyBefore = anyBefore || shown;
    }
  }

  struct TColumnView {
    QPointer<QWidget> Separator;
    QPointer<QWidget> Box;
    QList<QPointer<TBarItem>> Items;
  };

  QPointer<TBar> FBar;
  QLabel *FCaption;
  QWidget *FContent = nullptr;
  QList<TColumnView> FColumns;
};

QString ribbonStyleSheet() {
  return BarStyleSheet() + QStringLiteral(R"(
QTabBar { background: transparent; }
QTabBar::tab { background: transparent; color: #444444; padding: 4px 14px 5px 14px; margin-right: 1px;
  border: 1px solid transparent; border-bottom: none; }
QTabBar::tab:selected { background: #ffffff; color: #2b579a; border-color: #d5d5d5; }
QTabBar::tab:hover:!selected { color: #2b579a; }
)");
}

} // namespace

// --- TRibbonTab -------------------------------------------------------------

TRibbonTab::TRibbonTab(TRibbon *ribbon, const QString &name) : QObject(ribbon), FRibbon(ribbon) {
  setObjectName(name);
  FCaption = name;
}

void TRibbonTab::SetCaption(const QString &caption) {
  if (caption == FCaption)
    return;
  FCaption = caption;
  emit Changed();
}

int TRibbonTab::Index() const {
  for (int i = 0; i < FRibbon->TabCount(); ++i)
    if (FRibbon->Tabs(i) == this)
      return i;
  return -1;
}

void TRibbonTab::AddGroup(TBar *toolbar) {
  if (!toolbar)
    return;
  FGroups.append(toolbar);
  emit GroupAdded(toolbar);
}

// --- columns ----------------------------------------------------------------

QList<TRibbonColumn> RibbonGroupColumns(const TBar *toolbar) {
  QList<TRibbonColumn> columns;
  bool lastJoinsGroup = false; // the last row is a button group open for members
  for (int i = 0; i < toolbar->LinkCount(); ++i) {
    const TBarItemLink &link = toolbar->Links(i);
    if (!link.Item)
      continue;
    const bool separator = link.BeginGroup && !columns.isEmpty();
    const bool large = IsLargeInRibbon(link.Item);
    if (!separator && !large && link.ButtonGroup == bgpMember && lastJoinsGroup) {
      columns.last().Rows.last().append(i);
      continue;
    }
    const bool newColumn =
        columns.isEmpty() || separator || large || columns.last().Large || columns.last().Rows.size() >= RowsPerColumn;
    if (newColumn) {
      TRibbonColumn column;
      column.SeparatorBefore = separator;
      column.Large = large;
      columns.append(column);
    }
    columns.last().Rows.append(QList<int>{i});
    lastJoinsGroup = !large && link.ButtonGroup != bgpNone;
  }
  return columns;
}

// --- TRibbon ----------------------------------------------------------------

TRibbon::TRibbon(QWidget *parent) : QWidget(parent), FTabBar(new QTabBar(this)), FPages(new QStackedWidget(this)) {
  setObjectName(QStringLiteral("ribbon"));
  setStyleSheet(ribbonStyleSheet());
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);

  auto *box = new QVBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 1);
  box->setSpacing(0);
  auto *top = new QWidget(this);
  FTopRow = new QHBoxLayout(top);
  FTopRow->setContentsMargins(4, 2, 4, 0);
  FTopRow->setSpacing(8);
  FTabBar->setDrawBase(false);
  FTabBar->setExpanding(false);
  FTabBar->setFocusPolicy(Qt::NoFocus);
  FTopRow->addWidget(FTabBar, 0, Qt::AlignBottom);
  FTopRow->addStretch(1);
  box->addWidget(top);
  box->addWidget(FPages);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

  connect(FTabBar, &QTabBar::currentChanged, this, [this](int index) {
    if (index >= 0 && index < TabCount())
      SetActiveTab(FTabs.at(index));
  });
}

TRibbonTab *TRibbon::AddTab(const QString &name, const QString &caption) {
  auto *tab = new TRibbonTab(this, name);
  if (!caption.isEmpty())
    tab->FCaption = caption;
  FTabs.append(tab);

  auto *page = new QWidget(FPages);
  auto *row = new QHBoxLayout(page);
  row->setContentsMargins(4, 2, 4, 2);
  row->setSpacing(0);
  row->addStretch(1);
  FPages->addWidget(page);
  {
    const QSignalBlocker quiet(FTabBar);
    FTabBar->addTab(tab->Caption());
    FTabBar->setCurrentIndex(FActive ? FActive->Index() : 0);
  }
  connect(tab, &TRibbonTab::Changed, this, [this, tab] { TabCaptionChanged(tab); });
  connect(tab, &TRibbonTab::GroupAdded, this, [this, tab](TBar *toolbar) { AddGroupControl(tab, toolbar); });
  if (!FActive)
    SetActiveTab(tab);
  return tab;
}

void TRibbon::SetActiveTab(TRibbonTab *tab) {
  if (!tab || tab == FActive || !FTabs.contains(tab))
    return;
  FActive = tab;
  const int index = tab->Index();
  {
    const QSignalBlocker quiet(FTabBar);
    FTabBar->setCurrentIndex(index);
  }
  FPages->setCurrentIndex(index);
  emit TabChanged();
}

void TRibbon::TabCaptionChanged(TRibbonTab *tab) { FTabBar->setTabText(tab->Index(), tab->Caption()); }

void TRibbon::AddGroupControl(TRibbonTab *tab, TBar *toolbar) {
  QWidget *page = FPages->widget(tab->Index());
  auto *row = static_cast<QHBoxLayout *>(page->layout());
  auto *view = new TRibbonGroupView(toolbar, page);
  row->insertWidget(row->count() - 1, view);
  FGroupViews.append({tab, toolbar, view});
}

QWidget *TRibbon::GroupControl(const TRibbonTab *tab, const TBar *toolbar) const {
  for (const TGroupEntry &e : FGroupViews)
    if (e.Tab == tab && e.Bar == toolbar)
      return e.View;
  return nullptr;
}

void TRibbon::SetQuickAccessToolbar(TBar *toolbar) {
  if (FQuickAccess == toolbar)
    return;
  delete FQuickAccessView;
  FQuickAccessView = nullptr;
  FQuickAccess = toolbar;
  if (!toolbar)
    return;
  FQuickAccessView = new TBarRowView(toolbar, lpQuickAccess, FTopRow->parentWidget());
  FTopRow->addWidget(FQuickAccessView, 0, Qt::AlignVCenter);
}

void TRibbon::paintEvent(QPaintEvent *) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.setPen(rgb(BarColors::Line));
  const int y = FPages->geometry().top();
  p.drawLine(0, y, width(), y);
  p.drawLine(0, height() - 1, width(), height() - 1);
}

#include "uRibbon.moc"
