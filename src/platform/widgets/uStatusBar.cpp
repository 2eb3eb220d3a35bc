#include "uStatusBar.h"

#include <QLabel>

TStatusBar::TStatusBar(QWidget *parent) : QStatusBar(parent) {
  setSizeGripEnabled(true);
  setStyleSheet(QStringLiteral("TStatusBar { background: #f1f1f1; border-top: 1px solid #d5d5d5; }"
                               "TStatusBar::item { border: none; }"
                               "QLabel#statusPanel { color: #444444; padding: 0px 6px;"
                               " border-right: 1px solid #d5d5d5; }"));
}

int TStatusBar::AddPanel(int width, const QString &text) {
  auto *panel = new QLabel(text, this);
  panel->setObjectName(QStringLiteral("statusPanel"));
  panel->setFixedWidth(width);
  panel->setTextFormat(Qt::PlainText);
  panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  addWidget(panel);
  FPanels.append(panel);
  return PanelCount() - 1;
}

int TStatusBar::PanelWidth(int index) const {
  const QLabel *panel = FPanels.value(index);
  return panel ? panel->width() : 0;
}

QString TStatusBar::PanelText(int index) const {
  const QLabel *panel = FPanels.value(index);
  return panel ? panel->text() : QString();
}

void TStatusBar::SetPanelText(int index, const QString &text) {
  if (QLabel *panel = FPanels.value(index))
    panel->setText(text);
}
