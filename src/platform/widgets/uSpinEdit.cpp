#include "uSpinEdit.h"

#include <limits>

TSpinEdit::TSpinEdit(QWidget *parent) : QSpinBox(parent) {
  // No upper bound until one is set.
  setRange(0, std::numeric_limits<int>::max());
  setAccelerated(true);
}
