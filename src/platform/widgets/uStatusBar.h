#pragma once

#include <QList>
#include <QStatusBar>

class QLabel;

// The status line at the bottom of a window: text panels of fixed widths,
// left to right.
class TStatusBar : public QStatusBar {
  Q_OBJECT
public:
  explicit TStatusBar(QWidget *parent = nullptr);

  // Appends a panel; returns its index.
  int AddPanel(int width, const QString &text = QString());
  int PanelCount() const { return static_cast<int>(FPanels.size()); }
  int PanelWidth(int index) const;
  QString PanelText(int index) const;
  // An index outside the panels changes nothing.
  void SetPanelText(int index, const QString &text);
  QLabel *PanelControl(int index) const { return FPanels.value(index); }

private:
  QList<QLabel *> FPanels;
};
