#pragma once

#include "uEditRepository.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>

class QAction;
class QWidget;
class TBar;
class TBarManager;

// The bar items and toolbars of a window. Items and bars are plain objects
// owned by their bar manager; a toolbar links items in order, and every place
// that shows a toolbar (a ribbon group, a dock control, the quick-access
// toolbar) makes one control per link. The same item may stand on several
// toolbars: each of its controls follows the item.

enum TBarItemVisible { ivNever, ivAlways };

// How a button shows itself: psStandard shows its glyph when it has one and
// otherwise its caption; psCaption the caption only; psCaptionGlyph both.
enum TBarPaintStyle { psStandard, psCaption, psCaptionGlyph };

// Adjacent buttons of a toolbar drawn as one joined group.
enum TBarButtonGroup { bgpNone, bgpStart, bgpMember };

// Base of every bar item.
class TBarItem : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
  Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
public:
  // Registers the item with its manager, after the items made before it.
  TBarItem(TBarManager *manager, const QString &name);
  ~TBarItem() override;

  TBarManager *Manager() const { return FManager; }

  QString Caption() const { return FCaption; }
  void SetCaption(const QString &caption);
  QString Hint() const { return FHint; }
  void SetHint(const QString &hint);
  QIcon Glyph() const { return FGlyph; }
  void SetGlyph(const QIcon &glyph);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled);
  // ivNever keeps the item off every toolbar that links it.
  TBarItemVisible Visible() const { return FVisible; }
  void SetVisible(TBarItemVisible visible);
  bool IsShown() const { return FVisible == ivAlways; }

  // The controls that show the item now, one per link on a shown toolbar.
  QList<QWidget *> LinkControls() const;
  // Called by the controls the item gets when a toolbar shows it.
  void RegisterControl(QWidget *control);

signals:
  // Any property of the item changed; its controls update themselves.
  void Changed();

protected:
  void NotifyChanged();

private:
  TBarManager *FManager;
  QString FCaption;
  QString FHint;
  QIcon FGlyph;
  bool FEnabled = true;
  TBarItemVisible FVisible = ivAlways;
  QList<QPointer<QObject>> FControls;
};

// A small button: a 16-pixel glyph, with its caption as the paint style says.
// Bound to an action, it takes the action's text, icon, hint, enabled,
// visible and checked state whenever they change, and a click triggers the
// action.
class TBarButton : public TBarItem {
  Q_OBJECT
public:
  TBarButton(TBarManager *manager, const QString &name, QAction *action = nullptr);

  QAction *Action() const { return FAction; }
  void SetAction(QAction *action);

  TBarPaintStyle PaintStyle() const { return FPaintStyle; }
  void SetPaintStyle(TBarPaintStyle style);
  // A checkable button shows its down state (a checkable action's checked).
  bool Checkable() const { return FCheckable; }
  bool Down() const { return FDown; }
  void SetDown(bool down);

  // What a click does: nothing while disabled; otherwise Clicked, then the
  // action's trigger.
  void Click();

signals:
  void Clicked();

private:
  void ActionChanged(bool initial);

  QPointer<QAction> FAction;
  TBarPaintStyle FPaintStyle = psStandard;
  bool FCheckable = false;
  bool FDown = false;
  // What the action last showed, so that only its changes are copied.
  struct TActionState {
    QString Text, Hint;
    qint64 IconKey = 0;
    bool Enabled = true, Visible = true, Checkable = false, Checked = false;
  } FSeen;
};

// A large button: a 32-pixel glyph over its caption.
class TBarLargeButton : public TBarButton {
  Q_OBJECT
public:
  TBarLargeButton(TBarManager *manager, const QString &name, QAction *action = nullptr);
};

// True for the button kinds TBarButton and TBarLargeButton and every kind
// derived from them; these show their actions' captions and are left out of
// a window's translation pass.
bool IsBarButtonKind(const QObject *item);

// One link of a toolbar or sub-menu to an item.
struct TBarItemLink {
  QPointer<TBarItem> Item;
  bool BeginGroup = false; // a separator before the link
  TBarButtonGroup ButtonGroup = bgpNone;
  int Width = 0; // editor width on this link; 0: the item's own
};

// A drop-down button whose menu holds the buttons it links.
class TBarSubItem : public TBarItem {
  Q_OBJECT
public:
  TBarSubItem(TBarManager *manager, const QString &name);

  int AddLink(TBarItem *item, bool beginGroup = false);
  int LinkCount() const { return static_cast<int>(FLinks.size()); }
  const TBarItemLink &Links(int index) const { return FLinks.at(index); }
  // Shown like a large button (32-pixel glyph over the caption) in a ribbon.
  bool Large() const { return FLarge; }
  void SetLarge(bool large);

signals:
  void LinksChanged();

private:
  QList<TBarItemLink> FLinks;
  bool FLarge = false;
};

// Base of the items that hold an editor. The caption stands as a label
// before the editor while ShowCaption is on. EditValue set from code changes
// no more than the editor's display; a change the user makes is posted at
// once and raises Change.
class TBarEditItem : public TBarItem {
  Q_OBJECT
  Q_PROPERTY(QVariant EditValue READ EditValue WRITE SetEditValue)
public:
  TBarEditItem(TBarManager *manager, const QString &name);

  QVariant EditValue() const { return FEditValue; }
  void SetEditValue(const QVariant &value);
  // The editor's value; choices are posted at once, so this is EditValue.
  QVariant CurEditValue() const { return FEditValue; }

  bool ShowCaption() const { return FShowCaption; }
  void SetShowCaption(bool show);
  // Width of the editor in pixels.
  int Width() const { return FWidth; }
  void SetWidth(int width);

  // Called by an editor control when the user changes its value.
  void PostUserValue(const QVariant &value);

signals:
  void Change();

protected:
  // The value that this kind of editor holds for a requested one.
  virtual QVariant Normalized(const QVariant &value) const { return value; }

private:
  QVariant FEditValue;
  bool FShowCaption = true;
  int FWidth = 120;
};

// A combo box with a fixed list: the items of a repository item, followed
// whenever they change, or its own items. The value is a text; a value set
// from code that the list lacks is kept and shown.
class TBarComboBoxItem : public TBarEditItem {
  Q_OBJECT
public:
  TBarComboBoxItem(TBarManager *manager, const QString &name);

  TEditRepositoryComboBoxItem *RepositoryItem() const { return FRepository; }
  void SetRepositoryItem(TEditRepositoryComboBoxItem *item);
  // The list shown: the repository item's when one is bound, else its own.
  QStringList Items() const;
  void SetItems(const QStringList &items);

  QString Text() const { return EditValue().toString(); }

protected:
  QVariant Normalized(const QVariant &value) const override { return value.toString(); }

private:
  QPointer<TEditRepositoryComboBoxItem> FRepository;
  QStringList FItems;
  QMetaObject::Connection FRepositoryLink;
};

// A horizontal track bar without ticks; the value is the position, an
// integer kept within Min to Max.
class TBarTrackBarItem : public TBarEditItem {
  Q_OBJECT
public:
  TBarTrackBarItem(TBarManager *manager, const QString &name);

  int Min() const { return FMin; }
  int Max() const { return FMax; }
  void SetRange(int min, int max);
  int Position() const { return EditValue().toInt(); }
  void SetPosition(int position) { SetEditValue(position); }

signals:
  // With Change, after the user moved the bar.
  void PositionChange(int position);

protected:
  QVariant Normalized(const QVariant &value) const override;

private:
  int FMin = 0;
  int FMax = 10;
};

// A group of radio buttons in columns; each button has a caption and a
// value, and the item's value is the value of the chosen one.
class TBarRadioGroupItem : public TBarEditItem {
  Q_OBJECT
public:
  struct TRadioItem {
    QString Caption;
    QVariant Value;
  };

  TBarRadioGroupItem(TBarManager *manager, const QString &name);

  void AddItem(const QString &caption, const QVariant &value);
  int ItemCount() const { return static_cast<int>(FItems.size()); }
  const TRadioItem &Items(int index) const { return FItems.at(index); }
  // Index of the button whose value is the item's value; -1 when none.
  int ItemIndex() const;
  int Columns() const { return FColumns; }
  void SetColumns(int columns);

private:
  QList<TRadioItem> FItems;
  int FColumns = 1;
};

// A label showing the item's caption, centred vertically.
class TBarLabelItem : public TBarEditItem {
  Q_OBJECT
public:
  TBarLabelItem(TBarManager *manager, const QString &name);
};

// A toolbar: a caption and item links in order. Shown as a ribbon group (its
// caption under the group), in a dock control, or as the quick-access
// toolbar.
class TBar : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
public:
  TBar(TBarManager *manager, const QString &name);
  ~TBar() override;

  TBarManager *Manager() const { return FManager; }
  QString Caption() const { return FCaption; }
  void SetCaption(const QString &caption);
  bool Visible() const { return FVisible; }
  void SetVisible(bool visible);

  int AddLink(TBarItem *item, bool beginGroup = false);
  int AddLink(const TBarItemLink &link);
  // Links adjacent buttons as one button group.
  void AddButtonGroup(const QList<TBarItem *> &buttons, bool beginGroup = false);
  int LinkCount() const { return static_cast<int>(FLinks.size()); }
  const TBarItemLink &Links(int index) const { return FLinks.at(index); }
  bool LinksItem(const TBarItem *item) const;

signals:
  void Changed();      // caption or visibility
  void LinksChanged(); // a link was added

private:
  TBarManager *FManager;
  QString FCaption;
  bool FVisible = true;
  QList<TBarItemLink> FLinks;
};

// Owns the bars and items of a window in the order they were made.
class TBarManager : public QObject {
  Q_OBJECT
public:
  explicit TBarManager(QObject *owner = nullptr);
  ~TBarManager() override;

  int ItemCount() const { return static_cast<int>(FItems.size()); }
  TBarItem *Items(int index) const { return FItems.at(index); }
  const QList<TBarItem *> &ItemList() const { return FItems; }
  TBarItem *FindItem(const QString &name) const;

  int BarCount() const { return static_cast<int>(FBars.size()); }
  TBar *Bars(int index) const { return FBars.at(index); }
  const QList<TBar *> &BarList() const { return FBars; }
  TBar *FindBar(const QString &name) const;

private:
  friend class TBarItem;
  friend class TBar;
  QList<TBarItem *> FItems;
  QList<TBar *> FBars;
};
