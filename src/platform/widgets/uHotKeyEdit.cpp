#include "uHotKeyEdit.h"

#include "uKeyMap.h"
#include "uShortCut.h"

#include <QContextMenuEvent>
#include <QKeyEvent>

namespace {

TShiftState shiftOf(Qt::KeyboardModifiers modifiers) {
  TShiftState shift;
  if (modifiers & Qt::ShiftModifier)
    shift |= ssShift;
  if (modifiers & Qt::ControlModifier)
    shift |= ssCtrl;
  if (modifiers & Qt::AltModifier)
    shift |= ssAlt;
  return shift;
}

// The modifier that a modifier key stands for.
Qt::KeyboardModifiers modifierOfKey(int key) {
  switch (key) {
  case Qt::Key_Shift:
    return Qt::ShiftModifier;
  case Qt::Key_Control:
    return Qt::ControlModifier;
  case Qt::Key_Alt:
    return Qt::AltModifier;
  default:
    return Qt::NoModifier;
  }
}

} // namespace

THotKeyEdit::THotKeyEdit(QWidget *parent) : QLineEdit(parent) {
  // Nothing is typed, pasted or dropped: the text only shows the value.
  setReadOnly(true);
  setAcceptDrops(false);
  setAttribute(Qt::WA_InputMethodEnabled, false);
  setFocusPolicy(Qt::StrongFocus);
}

void THotKeyEdit::SetHotKey(quint16 value) {
  setText(ShortCutToText(value));
  if (FHotKey == value)
    return;
  FHotKey = value;
  emit HotKeyChanged(value);
}

bool THotKeyEdit::event(QEvent *e) {
  // Every combination is ours while we have the focus, also those that
  // would otherwise trigger a shortcut or a mnemonic of the window.
  if (e->type() == QEvent::ShortcutOverride) {
    e->accept();
    return true;
  }
  return QLineEdit::event(e);
}

void THotKeyEdit::ShowModifiers(Qt::KeyboardModifiers modifiers) {
  QString text;
  const TShiftState shift = shiftOf(modifiers);
  if (shift & ssShift)
    text += QStringLiteral("Shift+");
  if (shift & ssCtrl)
    text += QStringLiteral("Ctrl+");
  if (shift & ssAlt)
    text += QStringLiteral("Alt+");
  setText(text);
}

void THotKeyEdit::keyPressEvent(QKeyEvent *e) {
  e->accept();
  if (IsModifierKey(e->key())) {
    SetHotKey(0);
    ShowModifiers(e->modifiers() | modifierOfKey(e->key()));
    return;
  }
  const unsigned key = VirtualKeyOfKeyEvent(*e);
  if (!key)
    return; // a key we know no code for: the value stays
  SetHotKey(HotKeyOfKeyPress(key, shiftOf(e->modifiers())));
}

void THotKeyEdit::keyReleaseEvent(QKeyEvent *e) {
  e->accept();
  if (FHotKey == 0)
    ShowModifiers(e->modifiers() & ~modifierOfKey(e->key()));
}

void THotKeyEdit::focusOutEvent(QFocusEvent *e) {
  if (FHotKey == 0)
    setText(QString());
  QLineEdit::focusOutEvent(e);
}

void THotKeyEdit::contextMenuEvent(QContextMenuEvent *e) { e->accept(); }
