#include "uBars.h"

#include "uEditRepository.h"

#include <QAction>
#include <QWidget>
#include <algorithm>

// --- TBarItem ---------------------------------------------------------------

TBarItem::TBarItem(TBarManager *manager, const QString &name) : QObject(manager), FManager(manager) {
  setObjectName(name);
  FCaption = name;
  if (FManager)
    FManager->FItems.append(this);
}

TBarItem::~TBarItem() {
  if (FManager)
    FManager->FItems.removeOne(this);
}

void TBarItem::NotifyChanged() { emit Changed(); }

void TBarItem::SetCaption(const QString &caption) {
  if (caption == FCaption)
    return;
  FCaption = caption;
  NotifyChanged();
}

void TBarItem::SetHint(const QString &hint) {
  if (hint == FHint)
    return;
  FHint = hint;
  NotifyChanged();
}

void TBarItem::SetGlyph(const QIcon &glyph) {
  FGlyph = glyph;
  NotifyChanged();
}

void TBarItem::SetEnabled(bool enabled) {
  if (enabled == FEnabled)
    return;
  FEnabled = enabled;
  NotifyChanged();
}

void TBarItem::SetVisible(TBarItemVisible visible) {
  if (visible == FVisible)
    return;
  FVisible = visible;
  NotifyChanged();
}

QList<QWidget *> TBarItem::LinkControls() const {
  QList<QWidget *> result;
  for (const QPointer<QObject> &c : FControls)
    if (auto *w = qobject_cast<QWidget *>(c.data()))
      result.append(w);
  return result;
}

void TBarItem::RegisterControl(QWidget *control) {
  FControls.removeIf([](const QPointer<QObject> &c) { return c.isNull(); });
  FControls.append(control);
}

// --- TBarButton -------------------------------------------------------------

TBarButton::TBarButton(TBarManager *manager, const QString &name, QAction *action) : TBarItem(manager, name) {
  SetAction(action);
}

void TBarButton::SetAction(QAction *action) {
  if (FAction == action)
    return;
  if (FAction)
    disconnect(FAction, nullptr, this, nullptr);
  FAction = action;
  if (!action)
    return;
  connect(action, &QAction::changed, this, [this] { ActionChanged(false); });
  ActionChanged(true);
}

// Copies what the action changed since it was last seen (everything when it
// is first bound), so that a property set on the button itself stays until
// the action changes that property.
void TBarButton::ActionChanged(bool initial) {
  QAction *a = FAction;
  if (!a)
    return;
  const TActionState now{a->text(),      a->toolTip(),     a->icon().cacheKey(), a->isEnabled(),
                         a->isVisible(), a->isCheckable(), a->isChecked()};
  {
    const QSignalBlocker quiet(this);
    if (initial || now.Text != FSeen.Text)
      SetCaption(now.Text);
    if (initial || now.Hint != FSeen.Hint)
      SetHint(now.Hint);
    if (initial || now.IconKey != FSeen.IconKey)
      SetGlyph(a->icon());
    if (initial || now.Enabled != FSeen.Enabled)
      SetEnabled(now.Enabled);
    if (initial || now.Visible != FSeen.Visible)
      SetVisible(now.Visible ? ivAlways : ivNever);
    FCheckable = now.Checkable;
    if (initial || now.Checked != FSeen.Checked || now.Checkable != FSeen.Checkable)
      FDown = now.Checkable && now.Checked;
  }
  FSeen = now;
  NotifyChanged();
}

void TBarButton::SetPaintStyle(TBarPaintStyle style) {
  if (style == FPaintStyle)
    return;
  FPaintStyle = style;
  NotifyChanged();
}

void TBarButton::SetDown(bool down) {
  if (down == FDown)
    return;
  FDown = down;
  NotifyChanged();
}

void TBarButton::Click() {
  if (!Enabled())
    return;
  // The handlers may delete the button (or its action) on the way.
  const QPointer<TBarButton> self(this);
  const QPointer<QAction> action(FAction);
  emit Clicked();
  if (self && action)
    action->trigger();
}

TBarLargeButton::TBarLargeButton(TBarManager *manager, const QString &name, QAction *action)
    : TBarButton(manager, name, action) {}

bool IsBarButtonKind(const QObject *item) {
  return item && (item->inherits("TBarButton") || item->inherits("TBarLargeButton"));
}

// --- TBarSubItem ------------------------------------------------------------

TBarSubItem::TBarSubItem(TBarManager *manager, const QString &name) : TBarItem(manager, name) {}

int TBarSubItem::AddLink(TBarItem *item, bool beginGroup) {
  TBarItemLink link;
  link.Item = item;
  link.BeginGroup = beginGroup;
  FLinks.append(link);
  emit LinksChanged();
  return LinkCount() - 1;
}

void TBarSubItem::SetLarge(bool large) {
  if (large == FLarge)
    return;
  FLarge = large;
  NotifyChanged();
}

// --- TBarEditItem -----------------------------------------------------------

TBarEditItem::TBarEditItem(TBarManager *manager, const QString &name) : TBarItem(manager, name) {}

void TBarEditItem::SetEditValue(const QVariant &value) {
  const QVariant v = Normalized(value);
  if (v == FEditValue && v.isValid() == FEditValue.isValid())
    return;
  FEditValue = v;
  NotifyChanged();
}

void TBarEditItem::SetShowCaption(bool show) {
  if (show == FShowCaption)
    return;
  FShowCaption = show;
  NotifyChanged();
}

void TBarEditItem::SetWidth(int width) {
  if (width == FWidth)
    return;
  FWidth = width;
  NotifyChanged();
}

void TBarEditItem::PostUserValue(const QVariant &value) {
  if (!Enabled())
    return;
  const QVariant v = Normalized(value);
  const bool changed = !(v == FEditValue && v.isValid() == FEditValue.isValid());
  if (!changed)
    return;
  FEditValue = v;
  NotifyChanged();
  emit Change();
}

// --- TBarComboBoxItem -------------------------------------------------------

TBarComboBoxItem::TBarComboBoxItem(TBarManager *manager, const QString &name) : TBarEditItem(manager, name) {
  SetEditValue(QString());
}

void TBarComboBoxItem::SetRepositoryItem(TEditRepositoryComboBoxItem *item) {
  if (FRepository == item)
    return;
  disconnect(FRepositoryLink);
  FRepository = item;
  if (item)
    FRepositoryLink = connect(item, &TEditRepositoryComboBoxItem::ItemsChanged, this, [this] { NotifyChanged(); });
  NotifyChanged();
}

QStringList TBarComboBoxItem::Items() const { return FRepository ? FRepository->Items() : FItems; }

void TBarComboBoxItem::SetItems(const QStringList &items) {
  FItems = items;
  if (!FRepository)
    NotifyChanged();
}

// --- TBarTrackBarItem -------------------------------------------------------

TBarTrackBarItem::TBarTrackBarItem(TBarManager *manager, const QString &name) : TBarEditItem(manager, name) {
  SetEditValue(0);
  connect(this, &TBarEditItem::Change, this, [this] { emit PositionChange(Position()); });
}

void TBarTrackBarItem::SetRange(int min, int max) {
  FMin = min;
  FMax = std::max(min, max);
  // The position stays within the new range; that is no user change.
  const int kept = Normalized(EditValue()).toInt();
  if (kept != Position())
    SetEditValue(kept);
  else
    NotifyChanged();
}

QVariant TBarTrackBarItem::Normalized(const QVariant &value) const {
  bool ok = false;
  const int v = value.toInt(&ok);
  return std::clamp(ok ? v : FMin, FMin, FMax);
}

// --- TBarRadioGroupItem -----------------------------------------------------

TBarRadioGroupItem::TBarRadioGroupItem(TBarManager *manager, const QString &name) : TBarEditItem(manager, name) {}

void TBarRadioGroupItem::AddItem(const QString &caption, const QVariant &value) {
  FItems.append({caption, value});
  NotifyChanged();
}

int TBarRadioGroupItem::ItemIndex() const {
  const QVariant v = EditValue();
  if (!v.isValid())
    return -1;
  for (int i = 0; i < ItemCount(); ++i)
    if (FItems.at(i).Value == v)
      return i;
  return -1;
}

void TBarRadioGroupItem::SetColumns(int columns) {
  columns = std::max(1, columns);
  if (columns == FColumns)
    return;
  FColumns = columns;
  NotifyChanged();
}

// --- TBarLabelItem ----------------------------------------------------------

TBarLabelItem::TBarLabelItem(TBarManager *manager, const QString &name) : TBarEditItem(manager, name) {
  SetShowCaption(false);
}

// --- TBar -------------------------------------------------------------------

TBar::TBar(TBarManager *manager, const QString &name) : QObject(manager), FManager(manager) {
  setObjectName(name);
  FCaption = name;
  if (FManager)
    FManager->FBars.append(this);
}

TBar::~TBar() {
  if (FManager)
    FManager->FBars.removeOne(this);
}

void TBar::SetCaption(const QString &caption) {
  if (caption == FCaption)
    return;
  FCaption = caption;
  emit Changed();
}

void TBar::SetVisible(bool visible) {
  if (visible == FVisible)
    return;
  FVisible = visible;
  emit Changed();
}

int TBar::AddLink(TBarItem *item, bool beginGroup) {
  TBarItemLink link;
  link.Item = item;
  link.BeginGroup = beginGroup;
  return AddLink(link);
}

int TBar::AddLink(const TBarItemLink &link) {
  FLinks.append(link);
  emit LinksChanged();
  return LinkCount() - 1;
}

void TBar::AddButtonGroup(const QList<TBarItem *> &buttons, bool beginGroup) {
  for (int i = 0; i < buttons.size(); ++i) {
    TBarItemLink link;
    link.Item = buttons.at(i);
    link.BeginGroup = beginGroup && i == 0;
    link.ButtonGroup = i == 0 ? bgpStart : bgpMember;
    FLinks.append(link);
  }
  emit LinksChanged();
}

bool TBar::LinksItem(const TBarItem *item) const {
  return std::any_of(FLinks.begin(), FLinks.end(), [item](const TBarItemLink &l) { return l.Item == item; });
}

// --- TBarManager ------------------------------------------------------------

TBarManager::TBarManager(QObject *owner) : QObject(owner) {}

TBarManager::~TBarManager() {
  // Bars and items unregister themselves while the lists still exist.
  while (!FBars.isEmpty())
    delete FBars.last();
  while (!FItems.isEmpty())
    delete FItems.last();
}

TBarItem *TBarManager::FindItem(const QString &name) const {
  for (TBarItem *item : FItems)
    if (item->objectName().compare(name, Qt::CaseInsensitive) == 0)
      return item;
  return nullptr;
}

TBar *TBarManager::FindBar(const QString &name) const {
  for (TBar *bar : FBars)
    if (bar->objectName().compare(name, Qt::CaseInsensitive) == 0)
      return bar;
  return nullptr;
}
