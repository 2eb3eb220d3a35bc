#include "uEditRepository.h"

TEditRepositoryComboBoxItem::TEditRepositoryComboBoxItem(QObject *owner) : QObject(owner) {}

void TEditRepositoryComboBoxItem::ClearItems() {
  FItems.clear();
  emit ItemsChanged();
}

void TEditRepositoryComboBoxItem::AddItem(const QString &item) {
  FItems.append(item);
  emit ItemsChanged();
}
