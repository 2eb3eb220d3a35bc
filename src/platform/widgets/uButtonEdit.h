#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QAction;
class QLineEdit;
class QToolButton;

// A line edit with one glyph button at its right end. The button runs the
// action bound to it and shows the action's icon (three dots while the action
// has none). Text is the edit's text, declared as a property so that a
// component translation by name sets it.
class TButtonEdit : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString Text READ Text WRITE SetText NOTIFY TextChanged)
  Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE SetReadOnly)
public:
  explicit TButtonEdit(QWidget *parent = nullptr);

  QString Text() const;
  void SetText(const QString &text);
  // Read-only: the text can be selected and copied, not typed; the button
  // still runs its action.
  bool ReadOnly() const;
  void SetReadOnly(bool readOnly);

  // The action the button runs; null unbinds it.
  void SetAction(QAction *action);
  QAction *Action() const { return FAction; }

  QLineEdit *Edit() const { return FEdit; }
  QToolButton *Button() const { return FButton; }

signals:
  void TextChanged(const QString &text);

private:
  void SyncButton();

  QLineEdit *FEdit;
  QToolButton *FButton;
  QPointer<QAction> FAction;
};
