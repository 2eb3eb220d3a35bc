#include "uGlobalAtom.h"

#include <QHash>
#include <QMutex>

namespace {

constexpr TAtom FirstAtom = 0xC000;
constexpr qsizetype MaxNameLength = 255;

struct TAtomEntry {
  QString Name;
  quint32 References = 0;
};

struct TAtomTable {
  QMutex Lock;
  QHash<QString, TAtom> ByName; // key: the name folded to lower case
  QHash<TAtom, TAtomEntry> ByAtom;
  TAtom Next = FirstAtom; // where the search for a free atom starts
};

TAtomTable &table() {
  static TAtomTable t;
  return t;
}

QString folded(const QString &name) { return name.toCaseFolded(); }

} // namespace

TAtom GlobalAddAtomW(const QString &name) {
  if (name.isEmpty() || name.size() > MaxNameLength)
    return 0;
  TAtomTable &t = table();
  QMutexLocker lock(&t.Lock);
  const QString key = folded(name);
  if (const auto it = t.ByName.constFind(key); it != t.ByName.cend()) {
    ++t.ByAtom[*it].References;
    return *it;
  }
  constexpr int AtomCount = 0x10000 - FirstAtom;
  if (t.ByAtom.size() >= AtomCount)
    return 0;
  TAtom atom = t.Next;
  while (t.ByAtom.contains(atom))
    atom = atom == 0xFFFF ? FirstAtom : TAtom(atom + 1);
  t.Next = atom == 0xFFFF ? FirstAtom : TAtom(atom + 1);
  t.ByName.insert(key, atom);
  t.ByAtom.insert(atom, TAtomEntry{name, 1});
  return atom;
}

TAtom GlobalDeleteAtom(TAtom atom) {
  TAtomTable &t = table();
  QMutexLocker lock(&t.Lock);
  const auto it = t.ByAtom.find(atom);
  if (it == t.ByAtom.end())
    return atom;
  if (--it->References == 0) {
    t.ByName.remove(folded(it->Name));
    t.ByAtom.erase(it);
  }
  return 0;
}

TAtom GlobalFindAtomW(const QString &name) {
  TAtomTable &t = table();
  QMutexLocker lock(&t.Lock);
  return t.ByName.value(folded(name), 0);
}

QString GlobalGetAtomNameW(TAtom atom) {
  TAtomTable &t = table();
  QMutexLocker lock(&t.Lock);
  const auto it = t.ByAtom.constFind(atom);
  return it == t.ByAtom.cend() ? QString() : it->Name;
}
