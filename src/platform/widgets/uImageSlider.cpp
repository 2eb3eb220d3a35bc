#include "uImageSlider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <algorithm>

namespace {
constexpr int DotSize = 8;
constexpr int DotGap = 8;
constexpr int DotRowHeight = 28;
constexpr int ArrowSize = 36;
} // namespace

TImageSlider::TImageSlider(QWidget *parent)
    : QWidget(parent), FPrev(new QToolButton(this)), FNext(new QToolButton(this)) {
  setFocusPolicy(Qt::StrongFocus);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);
  const QString arrow = QStringLiteral("QToolButton { border: none; border-radius: 18px; background: #ededed; }"
                                       "QToolButton:hover { background: #d5e1f2; }"
                                       "QToolButton:pressed { background: #a3bde3; }");
  FPrev->setArrowType(Qt::LeftArrow);
  FNext->setArrowType(Qt::RightArrow);
  for (QToolButton *b : {FPrev, FNext}) {
    b->setFixedSize(ArrowSize, ArrowSize);
    b->setIconSize(QSize(16, 16));
    b->setFocusPolicy(Qt::NoFocus);
    b->setStyleSheet(arrow);
  }
  connect(FPrev, &QToolButton::clicked, this, [this] { GoToPrevImage(); });
  connect(FNext, &QToolButton::clicked, this, [this] { GoToNextImage(); });
  SyncArrows();
}

void TImageSlider::AddImage(const QImage &image) {
  FImages.append(image);
  if (FIndex < 0)
    SetItemIndex(0);
  SyncArrows();
  update();
}

void TImageSlider::Clear() {
  FImages.clear();
  const bool changed = FIndex != -1;
  FIndex = -1;
  SyncArrows();
  update();
  if (changed)
    emit ItemIndexChanged(-1);
}

void TImageSlider::SetItemIndex(int index) {
  if (FImages.isEmpty())
    return;
  index = std::clamp(index, 0, ImageCount() - 1);
  if (index == FIndex)
    return;
  FIndex = index;
  SyncArrows();
  update();
  emit ItemIndexChanged(index);
}

void TImageSlider::SetLoopSlide(bool loop) {
  FLoop = loop;
  SyncArrows();
}

bool TImageSlider::GoToNextImage() {
  if (FImages.isEmpty())
    return false;
  if (FIndex + 1 < ImageCount())
    SetItemIndex(FIndex + 1);
  else if (FLoop && ImageCount() > 1)
    SetItemIndex(0);
  else
    return false;
  return true;
}

bool TImageSlider::GoToPrevImage() {
  if (FImages.isEmpty())
    return false;
  if (FIndex > 0)
    SetItemIndex(FIndex - 1);
  else if (FLoop && ImageCount() > 1)
    SetItemIndex(ImageCount() - 1);
  else
    return false;
  return true;
}

void TImageSlider::SyncArrows() {
  const bool many = ImageCount() > 1;
  FPrev->setVisible(many);
  FNext->setVisible(many);
  FPrev->setEnabled(FLoop || FIndex > 0);
  FNext->setEnabled(FLoop || FIndex + 1 < ImageCount());
}

QRect TImageSlider::DotRect(int index) const {
  const int n = ImageCount();
  const int rowWidth = n * DotSize + (n - 1) * DotGap;
  const int x = (width() - rowWidth) / 2 + index * (DotSize + DotGap);
  const int y = height() - DotRowHeight + (DotRowHeight - DotSize) / 2;
  return QRect(x, y, DotSize, DotSize);
}

QRect TImageSlider::ImageRect() const {
  if (FIndex < 0)
    return QRect();
  const QSize room(std::max(1, width() - 2 * (ArrowSize + 16)), std::max(1, height() - DotRowHeight - 8));
  QSize size = FImages.at(FIndex).size();
  if (size.width() > room.width() || size.height() > room.height())
    size.scale(room, Qt::KeepAspectRatio);
  const int x = (width() - size.width()) / 2;
  const int y = std::max(4, (height() - DotRowHeight - size.height()) / 2);
  return QRect(QPoint(x, y), size);
}

void TImageSlider::paintEvent(QPaintEvent *) {
  QPainter p(this);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.setRenderHint(QPainter::Antialiasing);
  if (FIndex >= 0)
    p.drawImage(ImageRect(), FImages.at(FIndex));
  p.setPen(Qt::NoPen);
  for (int i = 0; i < ImageCount(); ++i) {
    p.setBrush(i == FIndex ? QColor(0x2b, 0x57, 0x9a) : QColor(0xc8, 0xc8, 0xc8));
    p.drawEllipse(DotRect(i));
  }
}

void TImageSlider::resizeEvent(QResizeEvent *) {
  const int y = (height() - DotRowHeight - ArrowSize) / 2;
  FPrev->move(12, std::max(0, y));
  FNext->move(width() - 12 - ArrowSize, std::max(0, y));
}

void TImageSlider::mousePressEvent(QMouseEvent *event) {
  const QPoint at = event->position().toPoint();
  for (int i = 0; i < ImageCount(); ++i)
    if (DotRect(i).adjusted(-DotGap / 2, -DotGap / 2, DotGap / 2, DotGap / 2).contains(at)) {
      SetItemIndex(i);
      return;
    }
  QWidget::mousePressEvent(event);
}

void TImageSlider::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_Left)
    GoToPrevImage();
  else if (event->key() == Qt::Key_Right)
    GoToNextImage();
  else
    QWidget::keyPressEvent(event);
}
