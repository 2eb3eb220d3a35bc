#pragma once

#include <QIcon>
#include <QObject>
#include <QStringList>

// A list of same-sized pictures referred to by index. The pictures come from
// the desktop's icon theme by name.
class TImageList : public QObject {
  Q_OBJECT
public:
  TImageList(int size, QStringList iconNames, QObject *owner = nullptr);

  int Size() const { return FSize; }
  int Count() const { return static_cast<int>(FNames.size()); }
  // The picture at an index; an empty icon outside the list.
  QIcon Icon(int index) const;
  QString IconName(int index) const;

private:
  int FSize;
  QStringList FNames;
};
