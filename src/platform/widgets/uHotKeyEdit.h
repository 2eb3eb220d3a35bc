#pragma once

#include <QLineEdit>

// The hotkey edit: records the key combination the user presses as a
// shortcut value (uShortCut.h) and shows its text, as "Shift+Ctrl+F2".
// A key pressed alone or with Shift alone takes Alt instead of its modifiers;
// modifiers held alone show themselves while held but make no hotkey (0).
// Tab and Shift+Tab still move the focus; every other key is recorded.
class THotKeyEdit : public QLineEdit {
  Q_OBJECT
  Q_PROPERTY(quint16 HotKey READ HotKey WRITE SetHotKey NOTIFY HotKeyChanged USER true)
public:
  explicit THotKeyEdit(QWidget *parent = nullptr);

  quint16 HotKey() const { return FHotKey; }
  // Takes any value as it is, also a key without modifiers.
  void SetHotKey(quint16 value);

signals:
  void HotKeyChanged(quint16 value);

protected:
  bool event(QEvent *e) override;
  void keyPressEvent(QKeyEvent *e) override;
  void keyReleaseEvent(QKeyEvent *e) override;
  void focusOutEvent(QFocusEvent *e) override;
  void contextMenuEvent(QContextMenuEvent *e) override;

private:
  void ShowModifiers(Qt::KeyboardModifiers modifiers);

  quint16 FHotKey = 0;
};
