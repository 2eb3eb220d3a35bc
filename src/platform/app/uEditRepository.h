#pragma once

#include <QObject>
#include <QStringList>

// A shared definition of a combo-box editor: its item list and behaviour.
// Editors bound to it (a bar combo box) follow its items.
class TEditRepositoryComboBoxItem : public QObject {
  Q_OBJECT
public:
  explicit TEditRepositoryComboBoxItem(QObject *owner = nullptr);

  const QStringList &Items() const { return FItems; }
  void ClearItems();
  void AddItem(const QString &item);

  // Only names of the item list are accepted (the user may type to find one).
  bool FixedList() const { return true; }
  // A choice takes effect at once.
  bool ImmediatePost() const { return true; }

signals:
  void ItemsChanged();

private:
  QStringList FItems;
};
