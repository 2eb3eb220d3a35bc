#pragma once

#include <QSpinBox>

// A whole-number spin edit: a value kept between a minimum and a maximum.
// A value set or typed outside the bounds is brought within them; narrowing
// the bounds brings the value along.
class TSpinEdit : public QSpinBox {
  Q_OBJECT
  Q_PROPERTY(int MinValue READ MinValue WRITE SetMinValue)
  Q_PROPERTY(int MaxValue READ MaxValue WRITE SetMaxValue)
  Q_PROPERTY(int Value READ Value WRITE SetValue)
public:
  explicit TSpinEdit(QWidget *parent = nullptr);

  int MinValue() const { return minimum(); }
  void SetMinValue(int value) { setMinimum(value); }
  int MaxValue() const { return maximum(); }
  void SetMaxValue(int value) { setMaximum(value); }
  int Value() const { return value(); }
  void SetValue(int value) { setValue(value); }
};
