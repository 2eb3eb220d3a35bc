#pragma once

#include <QString>

// Global atoms: 16-bit numbers that stand for names. Adding a name gives the
// same atom as long as anyone holds it; each add is one reference, each delete
// gives one back, and the last delete frees the atom for other names. String
// atoms lie between 0xC000 and 0xFFFF; names compare without regard to case.
// The table belongs to the process and is safe to use from any thread.
using TAtom = quint16;

// The atom of a name, with one more reference; 0 for an empty name, a name
// longer than 255 characters, or a full table.
TAtom GlobalAddAtomW(const QString &name);
// Gives one reference back; returns 0 on success and the atom itself when it
// is no atom of the table.
TAtom GlobalDeleteAtom(TAtom atom);
// The atom of a name without adding a reference; 0 when the name has none.
TAtom GlobalFindAtomW(const QString &name);
// The name of an atom as first added; empty for no atom of the table.
QString GlobalGetAtomNameW(TAtom atom);
