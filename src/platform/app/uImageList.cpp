#include "uImageList.h"

TImageList::TImageList(int size, QStringList iconNames, QObject *owner)
    : QObject(owner), FSize(size), FNames(std::move(iconNames)) {}

QIcon TImageList::Icon(int index) const {
  if (index < 0 || index >= Count())
    return {};
  return QIcon::fromTheme(FNames.at(index));
}

QString TImageList::IconName(int index) const { return index >= 0 && index < Count() ? FNames.at(index) : QString(); }
