#include "uButtonEdit.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>

TButtonEdit::TButtonEdit(QWidget *parent)
    : QWidget(parent), FEdit(new QLineEdit(this)), FButton(new QToolButton(this)) {
  auto *layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(1);
  layout->addWidget(FEdit, 1);
  layout->addWidget(FButton);
  FButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
  FButton->setFocusPolicy(Qt::TabFocus);
  FButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  setFocusProxy(FEdit);
  connect(FEdit, &QLineEdit::textChanged, this, &TButtonEdit::TextChanged);
  connect(FButton, &QToolButton::clicked, this, [this] {
    if (FAction && FAction->isEnabled())
      FAction->trigger();
  });
  SyncButton();
}

QString TButtonEdit::Text() const { return FEdit->text(); }

void TButtonEdit::SetText(const QString &text) {
  FEdit->setText(text);
  FEdit->setCursorPosition(0);
}

bool TButtonEdit::ReadOnly() const { return FEdit->isReadOnly(); }

void TButtonEdit::SetReadOnly(bool readOnly) { FEdit->setReadOnly(readOnly); }

void TButtonEdit::SetAction(QAction *action) {
  if (FAction)
    disconnect(FAction, nullptr, this, nullptr);
  FAction = action;
  if (FAction)
    connect(FAction, &QAction::changed, this, &TButtonEdit::SyncButton);
  SyncButton();
}

void TButtonEdit::SyncButton() {
  const QIcon icon = FAction ? FAction->icon() : QIcon();
  FButton->setIcon(icon);
  FButton->setText(icon.isNull() ? QStringLiteral("…") : QString());
  FButton->setToolTip(FAction ? FAction->text() : QString());
  FButton->setEnabled(!FAction || FAction->isEnabled());
  FButton->setFixedWidth(qMax(22, FButton->sizeHint().height()));
}
