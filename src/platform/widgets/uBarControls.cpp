#include "uBarControls.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <algorithm>

namespace {

QColor rgb(unsigned c) { return QColor::fromRgb(c); }

// Ribbon captions of large buttons take two lines when they are long.
QString largeCaption(const QString &caption) {
  if (caption.size() <= 10 || caption.contains(u'\n'))
    return caption;
  const qsizetype middle = caption.size() / 2;
  qsizetype best = -1;
  for (qsizetype i = 0; i < caption.size(); ++i)
    if (caption.at(i) == u' ' && (best < 0 || std::abs(i - middle) < std::abs(best - middle)))
      best = i;
  if (best < 0)
    return caption;
  QString result = caption;
  result[best] = u'\n';
  return result;
}

QString tipOf(const TBarItem *item) {
  QString tip = item->Hint().isEmpty() ? item->Caption() : item->Hint();
  return tip.remove(u'&');
}

// Shows or hides a control for its item without making a parentless one a
// window of its own.
void showFor(QWidget *w, bool shown) {
  if (w->isHidden() == shown)
    w->setHidden(!shown);
}

// --- buttons ----------------------------------------------------------------

class TBarButtonControl : public QToolButton {
  Q_OBJECT
public:
  TBarButtonControl(TBarButton *item, TBarLinkPlace place, QWidget *parent)
      : QToolButton(parent), FItem(item), FPlace(place) {
    setObjectName(item->objectName());
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    connect(item, &TBarItem::Changed, this, &TBarButtonControl::Sync);
    connect(this, &QToolButton::clicked, this, &TBarButtonControl::ClickedByUser);
    item->RegisterControl(this);
    Sync();
  }

private:
  void Sync() {
    TBarButton *b = FItem;
    if (!b)
      return;
    const bool large = FPlace == lpRibbon && qobject_cast<TBarLargeButton *>(b);
    const bool glyph = !b->Glyph().isNull();
    if (large) {
      setIconSize(QSize(32, 32));
      setToolButtonStyle(glyph ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonTextOnly);
      setText(largeCaption(b->Caption()));
      setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Expanding);
      setMinimumWidth(42);
    } else {
      setIconSize(QSize(16, 16));
      setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
      TBarPaintStyle style = b->PaintStyle();
      if (FPlace != lpRibbon && qobject_cast<TBarLargeButton *>(b))
        style = psCaptionGlyph;
      Qt::ToolButtonStyle s = Qt::ToolButtonTextOnly;
      if (glyph && style == psStandard)
        s = Qt::ToolButtonIconOnly;
      else if (glyph && style == psCaptionGlyph)
        s = Qt::ToolButtonTextBesideIcon;
      setToolButtonStyle(s);
      setText(b->Caption());
    }
    setIcon(b->Glyph());
    setToolTip(tipOf(b));
    setEnabled(b->Enabled());
    setCheckable(b->Checkable());
    setChecked(b->Checkable() && b->Down());
    showFor(this, b->IsShown());
  }

  void ClickedByUser() {
    const QPointer<TBarButtonControl> self(this);
    if (TBarButton *b = FItem)
      b->Click();
    if (self)
      Sync(); // the down state is the item's, not the tool button's own toggle
  }

  QPointer<TBarButton> FItem;
  TBarLinkPlace FPlace;
};

class TBarSubItemControl : public QToolButton {
  Q_OBJECT
public:
  TBarSubItemControl(TBarSubItem *item, TBarLinkPlace place, QWidget *parent)
      : QToolButton(parent), FItem(item), FPlace(place), FMenu(new QMenu(this)) {
    setObjectName(item->objectName());
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setPopupMode(QToolButton::InstantPopup);
    setMenu(FMenu);
    connect(item, &TBarItem::Changed, this, &TBarSubItemControl::Sync);
    connect(item, &TBarSubItem::LinksChanged, this, &TBarSubItemControl::RebuildMenu);
    item->RegisterControl(this);
    RebuildMenu();
    Sync();
  }

private:
  void Sync() {
    TBarSubItem *s = FItem;
    if (!s)
      return;
    const bool large = FPlace == lpRibbon && s->Large();
    const bool glyph = !s->Glyph().isNull();
    setIconSize(large ? QSize(32, 32) : QSize(16, 16));
    if (large)
      setToolButtonStyle(glyph ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonTextOnly);
    else
      setToolButtonStyle(glyph ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonTextOnly);
    setSizePolicy(QSizePolicy::Minimum, large ? QSizePolicy::Expanding : QSizePolicy::Fixed);
    setText(large ? largeCaption(s->Caption()) : s->Caption());
    setIcon(s->Glyph());
    setToolTip(tipOf(s));
    setEnabled(s->Enabled());
    showFor(this, s->IsShown());
  }

  // One menu entry per linked button, following the button.
  void RebuildMenu() {
    FMenu->clear();
    TBarSubItem *s = FItem;
    if (!s)
      return;
    for (int i = 0; i < s->LinkCount(); ++i) {
      const TBarItemLink &link = s->Links(i);
      auto *button = qobject_cast<TBarButton *>(link.Item.data());
      if (!button)
        continue;
      if (link.BeginGroup && !FMenu->isEmpty())
        FMenu->addSeparator();
      auto *entry = new QAction(FMenu);
      entry->setObjectName(button->objectName());
      const QPointer<TBarButton> target(button);
      auto sync = [entry, target] {
        if (!target)
          return;
        entry->setText(target->Caption());
        entry->setIcon(target->Glyph());
        entry->setToolTip(tipOf(target));
        entry->setEnabled(target->Enabled());
        entry->setVisible(target->IsShown());
        entry->setCheckable(target->Checkable());
        entry->setChecked(target->Checkable() && target->Down());
      };
      sync();
      connect(button, &TBarItem::Changed, entry, sync);
      connect(entry, &QAction::triggered, entry, [target] {
        if (target)
          target->Click();
      });
      FMenu->addAction(entry);
    }
  }

  QPointer<TBarSubItem> FItem;
  TBarLinkPlace FPlace;
  QMenu *FMenu;
};

// --- edit items -------------------------------------------------------------

class TBarEditControl : public QWidget {
  Q_OBJECT
public:
  TBarEditControl(TBarEditItem *item, const TBarItemLink &link, QWidget *parent)
      : QWidget(parent), FEditItem(item), FLinkWidth(link.Width), FLayout(new QHBoxLayout(this)),
        FCaption(new QLabel(this)) {
    setObjectName(item->objectName());
    FLayout->setContentsMargins(2, 1, 2, 1);
    FLayout->setSpacing(6);
    FCaption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    FLayout->addWidget(FCaption);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  }

protected:
  // Subclasses call this at the end of their constructors.
  void Bind() {
    connect(FEditItem, &TBarItem::Changed, this, &TBarEditControl::Sync);
    FEditItem->RegisterControl(this);
    Sync();
  }
  void AddEditor(QWidget *editor) { FLayout->addWidget(editor, 0, Qt::AlignVCenter); }
  int EditorWidth() const { return FLinkWidth > 0 ? FLinkWidth : (FEditItem ? FEditItem->Width() : 120); }
  virtual void SyncEditor() = 0;
  virtual bool CaptionLabelShown() const { return FEditItem->ShowCaption(); }

  QPointer<TBarEditItem> FEditItem;

private:
  void Sync() {
    TBarEditItem *e = FEditItem;
    if (!e)
      return;
    FCaption->setText(e->Caption());
    showFor(FCaption, CaptionLabelShown());
    setToolTip(e->Hint());
    setEnabled(e->Enabled());
    SyncEditor();
    showFor(this, e->IsShown());
  }

  int FLinkWidth;
  QHBoxLayout *FLayout;
  QLabel *FCaption;
};

class TComboBoxControl : public TBarEditControl {
  Q_OBJECT
public:
  TComboBoxControl(TBarComboBoxItem *item, const TBarItemLink &link, QWidget *parent)
      : TBarEditControl(item, link, parent), FCombo(new QComboBox(this)) {
    FCombo->setEditable(false);
    FCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    AddEditor(FCombo);
    connect(FCombo, &QComboBox::activated, this, [this](int index) {
      if (FEditItem && index >= 0)
        FEditItem->PostUserValue(FCombo->itemText(index));
    });
    Bind();
  }

private:
  void SyncEditor() override {
    auto *item = qobject_cast<TBarComboBoxItem *>(FEditItem.data());
    const QSignalBlocker quiet(FCombo);
    const QStringList items = item->Items();
    if (items != FShown) {
      FCombo->clear();
      FCombo->addItems(items);
      FShown = items;
    }
    const QString value = item->Text();
    const int index = static_cast<int>(items.indexOf(value));
    FCombo->setPlaceholderText(index < 0 ? value : QString());
    FCombo->setCurrentIndex(index);
    FCombo->setFixedWidth(EditorWidth());
  }

  QComboBox *FCombo;
  QStringList FShown;
};

class TTrackBarControl : public TBarEditControl {
  Q_OBJECT
public:
  TTrackBarControl(TBarTrackBarItem *item, const TBarItemLink &link, QWidget *parent)
      : TBarEditControl(item, link, parent), FSlider(new QSlider(Qt::Horizontal, this)) {
    FSlider->setTickPosition(QSlider::NoTicks);
    FSlider->setFocusPolicy(Qt::StrongFocus);
    AddEditor(FSlider);
    connect(FSlider, &QSlider::valueChanged, this, [this](int value) {
      if (FEditItem)
        FEditItem->PostUserValue(value);
    });
    Bind();
  }

private:
  void SyncEditor() override {
    auto *item = qobject_cast<TBarTrackBarItem *>(FEditItem.data());
    const QSignalBlocker quiet(FSlider);
    FSlider->setRange(item->Min(), item->Max());
    FSlider->setPageStep(std::max(1, (item->Max() - item->Min()) / 10));
    FSlider->setValue(item->Position());
    FSlider->setFixedWidth(EditorWidth());
  }

  QSlider *FSlider;
};

class TRadioGroupControl : public TBarEditControl {
  Q_OBJECT
public:
  TRadioGroupControl(TBarRadioGroupItem *item, const TBarItemLink &link, QWidget *parent)
      : TBarEditControl(item, link, parent), FBox(new QWidget(this)), FGrid(new QGridLayout(FBox)),
        FGroup(new QButtonGroup(this)) {
    FGrid->setContentsMargins(0, 0, 0, 0);
    FGrid->setHorizontalSpacing(8);
    FGrid->setVerticalSpacing(0);
    AddEditor(FBox);
    connect(FGroup, &QButtonGroup::idClicked, this, [this](int id) {
      auto *radio = qobject_cast<TBarRadioGroupItem *>(FEditItem.data());
      if (radio && id >= 0 && id < radio->ItemCount())
        radio->PostUserValue(radio->Items(id).Value);
    });
    Bind();
  }

private:
  void SyncEditor() override {
    auto *item = qobject_cast<TBarRadioGroupItem *>(FEditItem.data());
    QStringList captions;
    for (int i = 0; i < item->ItemCount(); ++i)
      captions.append(item->Items(i).Caption);
    if (captions != FCaptions || item->Columns() != FColumns) {
      for (QAbstractButton *b : FGroup->buttons()) {
        FGroup->removeButton(b);
        delete b;
      }
      for (int i = 0; i < captions.size(); ++i) {
        auto *b = new QRadioButton(captions.at(i), FBox);
        b->setFocusPolicy(Qt::NoFocus);
        FGroup->addButton(b, i);
        FGrid->addWidget(b, i / item->Columns(), i % item->Columns());
      }
      FCaptions = captions;
      FColumns = item->Columns();
    }
    const int index = item->ItemIndex();
    FGroup->setExclusive(false);
    for (QAbstractButton *b : FGroup->buttons())
      b->setChecked(FGroup->id(b) == index);
    FGroup->setExclusive(true);
  }

  QWidget *FBox;
  QGridLayout *FGrid;
  QButtonGroup *FGroup;
  QStringList FCaptions;
  int FColumns = 0;
};

class TLabelControl : public TBarEditControl {
  Q_OBJECT
public:
  TLabelControl(TBarLabelItem *item, const TBarItemLink &link, QWidget *parent)
      : TBarEditControl(item, link, parent), FLabel(new QLabel(this)) {
    FLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    FLabel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    AddEditor(FLabel);
    Bind();
  }

private:
  bool CaptionLabelShown() const override { return false; }
  void SyncEditor() override { FLabel->setText(FEditItem->Caption()); }

  QLabel *FLabel;
};

} // namespace

QWidget *CreateBarItemControl(TBarItem *item, const TBarItemLink &link, TBarLinkPlace place, QWidget *parent) {
  if (auto *b = qobject_cast<TBarButton *>(item))
    return new TBarButtonControl(b, place, parent);
  if (auto *s = qobject_cast<TBarSubItem *>(item))
    return new TBarSubItemControl(s, place, parent);
  if (auto *c = qobject_cast<TBarComboBoxItem *>(item))
    return new TComboBoxControl(c, link, parent);
  if (auto *t = qobject_cast<TBarTrackBarItem *>(item))
    return new TTrackBarControl(t, link, parent);
  if (auto *r = qobject_cast<TBarRadioGroupItem *>(item))
    return new TRadioGroupControl(r, link, parent);
  if (auto *l = qobject_cast<TBarLabelItem *>(item))
    return new TLabelControl(l, link, parent);
  return nullptr;
}

bool IsLargeInRibbon(const TBarItem *item) {
  if (qobject_cast<const TBarLargeButton *>(item))
    return true;
  auto *sub = qobject_cast<const TBarSubItem *>(item);
  return sub && sub->Large();
}

const QString &BarStyleSheet() {
  static const QString sheet = QStringLiteral(R"(
QToolButton { border: 1px solid transparent; border-radius: 0px; background: transparent; padding: 2px 3px;
  color: #262626; }
QToolButton:hover { background: #d5e1f2; border-color: #c2d5f2; }
QToolButton:pressed, QToolButton:checked { background: #a3bde3; border-color: #a3bde3; }
QToolButton:checked:hover { background: #c2d5f2; border-color: #a3bde3; }
QToolButton:disabled { color: #a6a6a6; }
QToolButton[popupMode="2"] { padding-right: 14px; }
QToolButton::menu-indicator { subcontrol-origin: padding; subcontrol-position: right center; right: 3px; }
QMenu { background: #ffffff; border: 1px solid #c6c6c6; }
QMenu::item { padding: 4px 24px 4px 28px; color: #262626; }
QMenu::item:selected { background: #d5e1f2; }
QMenu::item:disabled { color: #a6a6a6; }
QMenu::separator { height: 1px; background: #e1e1e1; margin: 2px 4px; }
QMenu::icon { padding-left: 6px; }
)");
  return sheet;
}

// --- TBarSeparator ----------------------------------------------------------

TBarSeparator::TBarSeparator(Qt::Orientation orientation, QWidget *parent)
    : QWidget(parent), FOrientation(orientation) {
  if (orientation == Qt::Vertical)
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  else
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize TBarSeparator::sizeHint() const { return FOrientation == Qt::Vertical ? QSize(7, 22) : QSize(22, 7); }

void TBarSeparator::paintEvent(QPaintEvent *) {
  QPainter p(this);
  p.setPen(rgb(BarColors::Separator));
  if (FOrientation == Qt::Vertical) {
    const int x = width() / 2;
    p.drawLine(x, 3, x, height() - 4);
  } else {
    const int y = height() / 2;
    p.drawLine(3, y, width() - 4, y);
  }
}

// --- TFlowLayout ------------------------------------------------------------

TFlowLayout::TFlowLayout(QWidget *parent, bool wrap) : QLayout(parent), FWrap(wrap) {
  setContentsMargins(2, 2, 2, 2);
  setSpacing(2);
}

TFlowLayout::~TFlowLayout() {
  while (QLayoutItem *item = takeAt(0))
    delete item;
}

void TFlowLayout::addItem(QLayoutItem *item) { FItems.append(item); }

QLayoutItem *TFlowLayout::takeAt(int index) {
  if (index < 0 || index >= FItems.size())
    return nullptr;
  return FItems.takeAt(index);
}

int TFlowLayout::heightForWidth(int width) const { return DoLayout(QRect(0, 0, width, 0), false); }

QSize TFlowLayout::sizeHint() const {
  const QMargins m = contentsMargins();
  int w = 0, h = 0;
  bool first = true;
  for (QLayoutItem *item : FItems) {
    if (item->isEmpty())
      continue;
    const QSize s = item->sizeHint();
    w += s.width() + (first ? 0 : spacing());
    h = std::max(h, s.height());
    first = false;
  }
  return QSize(w + m.left() + m.right(), h + m.top() + m.bottom());
}

QSize TFlowLayout::minimumSize() const {
  if (!FWrap)
    return sizeHint();
  const QMargins m = contentsMargins();
  QSize size;
  for (QLayoutItem *item : FItems)
    if (!item->isEmpty())
      size = size.expandedTo(item->minimumSize());
  return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

void TFlowLayout::setGeometry(const QRect &rect) {
  QLayout::setGeometry(rect);
  DoLayout(rect, true);
}

// Places the shown items line by line, each centred in the height of its
// line; returns the height used.
int TFlowLayout::DoLayout(const QRect &rect, bool apply) const {
  const QMargins m = contentsMargins();
  const QRect area = rect.marginsRemoved(m);
  const int gap = spacing();
  struct TPlaced {
    QLayoutItem *Item;
    QSize Size;
    int X;
  };
  QList<QList<TPlaced>> lines(1);
  int x = area.x();
  for (QLayoutItem *item : FItems) {
    if (item->isEmpty())
      continue;
    const QSize s = item->sizeHint();
    if (FWrap && !lines.last().isEmpty() && x + s.width() > area.right() + 1) {
      lines.append(QList<TPlaced>());
      x = area.x();
    }
    lines.last().append(TPlaced{item, s, x});
    x += s.width() + gap;
  }
  int y = area.y();
  bool firstLine = true;
  for (const QList<TPlaced> &line : lines) {
    if (line.isEmpty())
      continue;
    if (!firstLine)
      y += gap;
    int h = 0;
    for (const TPlaced &p : line)
      h = std::max(h, p.Size.height());
    if (apply)
      for (const TPlaced &p : line)
        p.Item->setGeometry(QRect(QPoint(p.X, y + (h - p.Size.height()) / 2), p.Size));
    y += h;
    firstLine = false;
  }
  return y - rect.y() + m.bottom();
}

// --- TBarRowView ------------------------------------------------------------

TBarRowView::TBarRowView(TBar *bar, TBarLinkPlace place, QWidget *parent) : QWidget(parent), FBar(bar), FPlace(place) {
  setObjectName(bar->objectName());
  new TFlowLayout(this, place == lpToolbar);
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
  policy.setHeightForWidth(place == lpToolbar);
  setSizePolicy(policy);
  connect(bar, &TBar::LinksChanged, this, &TBarRowView::Rebuild);
  connect(bar, &TBar::Changed, this, [this] {
    if (FBar)
      showFor(this, FBar->Visible());
  });
  showFor(this, bar->Visible());
  Rebuild();
}

void TBarRowView::Rebuild() {
  for (const TLinkView &v : FViews) {
    delete v.Separator.data();
    delete v.Control.data();
  }
  FViews.clear();
  TBar *bar = FBar;
  if (!bar)
    return;
  for (int i = 0; i < bar->LinkCount(); ++i) {
    const TBarItemLink &link = bar->Links(i);
    if (!link.Item)
      continue;
    TLinkView view;
    view.Item = link.Item;
    if (i > 0 && link.BeginGroup) {
      view.Separator = new TBarSeparator(Qt::Vertical, this);
      layout()->addWidget(view.Separator);
    }
    view.Control = CreateBarItemControl(link.Item, link, FPlace, this);
    if (!view.Control) {
      delete view.Separator.data();
      continue;
    }
    layout()->addWidget(view.Control);
    connect(link.Item, &TBarItem::Changed, this, &TBarRowView::UpdateShown, Qt::UniqueConnection);
    FViews.append(view);
  }
  UpdateShown();
}

// A separator stands only between two shown links.
void TBarRowView::UpdateShown() {
  bool anyBefore = false;
  for (const TLinkView &v : FViews) {
    const bool shown = v.Item && v.Item->IsShown();
    if (v.Separator)
      showFor(v.Separator, shown && anyBefore);
    anyBefore = anyBefore || shown;
  }
}

#include "uBarControls.moc"
