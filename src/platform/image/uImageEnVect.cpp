#include "uImageEnVect.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace {

constexpr double MinZoom = 1;
constexpr double MaxZoom = 3200;

int roundInt(double v) { return static_cast<int>(std::lround(v)); }

constexpr int HintMoment = 1000;     // ms that the zoom hint stays after the wheel
constexpr QPoint HintOffset{16, 20}; // from the mouse pointer to the hint's corner

QString sizeText(const QRect &r) { return QStringLiteral("%1 \u00d7 %2").arg(r.width()).arg(r.height()); }
QString zoomText(double zoom) { return QStringLiteral("%1 %").arg(roundInt(zoom)); }

// Draws a shape twice, white and wide under black and thin, so that it shows
// on any picture.
void outlined(QPainter &p, const QPainterPath &path) {
  p.strokePath(path, QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.strokePath(path, QPen(Qt::black, 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
}

QPixmap cursorCanvas() {
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  return pm;
}

QCursor maskCursor() {
  QPixmap pm = cursorCanvas();
  QPainter p(&pm);
  QPainterPath cross;
  cross.moveTo(10.5, 1.5);
  cross.lineTo(10.5, 19.5);
  cross.moveTo(1.5, 10.5);
  cross.lineTo(19.5, 10.5);
  outlined(p, cross);
  p.fillRect(QRect(18, 18, 10, 8), Qt::white);
  p.setPen(Qt::black);
  p.drawRect(QRect(18, 18, 10, 8));
  return QCursor(pm, 10, 10);
}

QCursor cropCursor() {
  QPixmap pm = cursorCanvas();
  QPainter p(&pm);
  QPainterPath marks;
  marks.moveTo(6.5, 1.5);
  marks.lineTo(6.5, 24.5);
  marks.lineTo(29.5, 24.5);
  marks.moveTo(1.5, 6.5);
  marks.lineTo(24.5, 6.5);
  marks.lineTo(24.5, 29.5);
  outlined(p, marks);
  return QCursor(pm, 6, 6);
}

QCursor captureCursor() {
  QPixmap pm = cursorCanvas();
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath arrow;
  arrow.moveTo(0.5, 0.5);
  arrow.lineTo(0.5, 15.5);
  arrow.lineTo(4.5, 11.5);
  arrow.lineTo(7.5, 17.5);
  arrow.lineTo(9.5, 16.5);
  arrow.lineTo(6.5, 10.5);
  arrow.lineTo(11.5, 10.5);
  arrow.closeSubpath();
  p.fillPath(arrow, Qt::white);
  p.strokePath(arrow, QPen(Qt::black, 1));
  p.setRenderHint(QPainter::Antialiasing, false);
  const QRect box(14, 19, 14, 10);
  p.setPen(QPen(Qt::white, 1));
  p.drawRect(box);
  p.setPen(QPen(Qt::black, 1, Qt::DashLine));
  p.drawRect(box);
  return QCursor(pm, 0, 0);
}

} // namespace

TImageEnVect::TImageEnVect(QWidget *parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setMouseTracking(false);
}

TImageEnVect::~TImageEnVect() = default;

QCursor TImageEnVect::IECursor(int id) {
  switch (id) {
  case crIEPan:
    return QCursor(Qt::OpenHandCursor);
  case crIESelect:
  case -3:
    return QCursor(Qt::CrossCursor);
  case crIEMask:
    return maskCursor();
  case crIECrop:
    return cropCursor();
  case crIECapture:
    return captureCursor();
  case -11:
    return QCursor(Qt::WaitCursor);
  case -21:
    return QCursor(Qt::PointingHandCursor);
  default:
    return QCursor(Qt::ArrowCursor);
  }
}

void TImageEnVect::SetCursor(int id) {
  FCursorId = id;
  viewport()->setCursor(IECursor(id));
}

// ------------------------------------------------------------------ geometry

QSizeF TImageEnVect::ZoomedSize() const {
  const QRect r = LayersRect();
  return QSizeF(r.width() * Scale(), r.height() * Scale());
}

int TImageEnVect::ClientWidth() const {
  return isVisible() ? viewport()->width() : std::max(0, width() - 2 * frameWidth());
}

int TImageEnVect::ClientHeight() const {
  return isVisible() ? viewport()->height() : std::max(0, height() - 2 * frameWidth());
}

QPointF TImageEnVect::Origin() const {
  const QSizeF z = ZoomedSize();
  const double cw = ClientWidth();
  const double ch = ClientHeight();
  const double x = FCenter && z.width() < cw ? std::floor((cw - z.width()) / 2) : -FViewX;
  const double y = FCenter && z.height() < ch ? std::floor((ch - z.height()) / 2) : -FViewY;
  return {x, y};
}

QPointF TImageEnVect::BitmapToClient(const QPointF &p) const {
  const QRect r = LayersRect();
  return (p - QPointF(r.topLeft())) * Scale() + Origin();
}

QPointF TImageEnVect::ClientToBitmap(const QPointF &p) const {
  const QRect r = LayersRect();
  return (p - Origin()) / Scale() + QPointF(r.topLeft());
}

QRectF TImageEnVect::ClientRect(const QRect &bitmapRect) const {
  const QPointF tl = BitmapToClient(QPointF(bitmapRect.topLeft()));
  return QRectF(tl, QSizeF(bitmapRect.width() * Scale(), bitmapRect.height() * Scale()));
}

int TImageEnVect::MaxViewX() const {
  return std::max(0, static_cast<int>(std::ceil(ZoomedSize().width() - 1e-6)) - ClientWidth());
}

int TImageEnVect::MaxViewY() const {
  return std::max(0, static_cast<int>(std::ceil(ZoomedSize().height() - 1e-6)) - ClientHeight());
}

void TImageEnVect::ClampView() {
  FViewX = std::clamp(FViewX, 0, MaxViewX());
  FViewY = std::clamp(FViewY, 0, MaxViewY());
}

void TImageEnVect::UpdateLayout() {
  ClampView();
  if (!isVisible()) {
    FLayoutPending = true;
    return;
  }
  if (FSyncing)
    return;
  // Showing or hiding a scroll bar follows later and changes the client
  // area, which lays the view out again (resizeEvent).
  FSyncing = true;
  horizontalScrollBar()->setRange(0, MaxViewX());
  horizontalScrollBar()->setPageStep(std::max(1, ClientWidth()));
  horizontalScrollBar()->setSingleStep(20);
  verticalScrollBar()->setRange(0, MaxViewY());
  verticalScrollBar()->setPageStep(std::max(1, ClientHeight()));
  verticalScrollBar()->setSingleStep(20);
  ClampView();
  horizontalScrollBar()->setValue(FViewX);
  verticalScrollBar()->setValue(FViewY);
  FSyncing = false;
  FLayoutPending = false;
}

void TImageEnVect::Update() {
  UpdateLayout();
  viewport()->update();
}

void TImageEnVect::DocumentChanged(unsigned changes) {
  if (changes & chImage)
    UpdateLayout();
  viewport()->update();
}

// ---------------------------------------------------------------------- zoom

void TImageEnVect::ZoomAt(double percent, QPointF clientPoint) {
  FPendingFit = pfNone;
  percent = std::clamp(percent, MinZoom, MaxZoom);
  if (percent == FZoom)
    return;
  const QPointF b = ClientToBitmap(clientPoint);
  const QRect r = LayersRect();
  FZoom = percent;
  FViewX = roundInt((b.x() - r.left()) * Scale() - clientPoint.x());
  FViewY = roundInt((b.y() - r.top()) * Scale() - clientPoint.y());
  UpdateLayout();
  viewport()->update();
}

void TImageEnVect::SetZoom(double percent) {
  if (percent <= 0)
    return;
  FPendingFit = pfNone;
  if (percent == FZoom)
    return;
  ZoomAt(percent, QPointF(ClientWidth() / 2.0, ClientHeight() / 2.0));
}

void TImageEnVect::FitToWidth() { ApplyFit(pfWidth); }

void TImageEnVect::Fit() { ApplyFit(pfWhole); }

void TImageEnVect::ApplyFit(TPendingFit fit) {
  if (!isVisible()) {
    FPendingFit = fit;
    return;
  }
  FPendingFit = pfNone;
  const QRect r = LayersRect();
  if (r.isEmpty())
    return;
  const int fullW = std::max(1, width() - 2 * frameWidth());
  const int fullH = std::max(1, height() - 2 * frameWidth());
  double z;
  if (fit == pfWidth) {
    z = 100.0 * fullW / r.width();
    if (r.height() * z / 100.0 > fullH + 1e-6) {
      const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
      z = 100.0 * std::max(1, fullW - bar) / r.width();
    }
  } else {
    z = std::min(100.0 * fullW / r.width(), 100.0 * fullH / r.height());
    FViewY = 0;
  }
  FZoom = std::clamp(z, MinZoom, MaxZoom);
  FViewX = 0;
  UpdateLayout();
  viewport()->update();
}

void TImageEnVect::DisplayImageRect(const QRect &rect) {
  const QRect r = rect.normalized();
  if (r.isEmpty())
    return;
  FPendingFit = pfNone;
  const int cw = std::max(1, ClientWidth());
  const int ch = std::max(1, ClientHeight());
  FZoom = std::clamp(std::min(100.0 * cw / r.width(), 100.0 * ch / r.height()), MinZoom, MaxZoom);
  const QRect all = LayersRect();
  FViewX = roundInt((r.left() - all.left()) * Scale());
  FViewY = roundInt((r.top() - all.top()) * Scale());
  UpdateLayout();
  viewport()->update();
}

void TImageEnVect::SetViewXY(int x, int y) {
  FViewX = x;
  FViewY = y;
  UpdateLayout();
  viewport()->update();
}

void TImageEnVect::SetCenter(bool value) {
  FCenter = value;
  viewport()->update();
}

void TImageEnVect::SetMouseInteract(TIEMouseInteract value) { FMouseInteract = value; }

void TImageEnVect::SetMouseInteractVt(TIEMouseInteractVt value) {
  FMouseInteractVt = value;
  if (!(value & miPutBox) && FDrag == dBox) {
    FDrag = dNone;
    FBoxPreview = QRect();
    viewport()->update();
  }
}

// ------------------------------------------------------------------- events

void TImageEnVect::resizeEvent(QResizeEvent *event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateLayout();
}

void TImageEnVect::showEvent(QShowEvent *event) {
  QAbstractScrollArea::showEvent(event);
  if (FPendingFit != pfNone)
    ApplyFit(FPendingFit);
  else if (FLayoutPending)
    UpdateLayout();
}

void TImageEnVect::scrollContentsBy(int dx, int dy) {
  (void)dx;
  (void)dy;
  if (FSyncing)
    return;
  FViewX = horizontalScrollBar()->value();
  FViewY = verticalScrollBar()->value();
  viewport()->update();
}

void TImageEnVect::paintEvent(QPaintEvent *event) {
  QPainter p(viewport());
  const QRect exposed = event->rect();
  p.fillRect(exposed, Background());
  const double s = Scale();
  p.setRenderHint(QPainter::SmoothPixmapTransform, s < 1.0);

  for (int i = 0; i < LayersCount(); ++i) {
    const TIELayer &layer = *GetLayer(i);
    if (layer.Bitmap().IsEmpty())
      continue;
    const QRectF target = ClientRect(QRect(layer.PosX(), layer.PosY(), layer.Width(), layer.Height()));
    const QRectF visible = target & QRectF(exposed);
    if (visible.isEmpty())
      continue;
    const int sx1 = std::max(0, static_cast<int>(std::floor((visible.left() - target.left()) / s)));
    const int sy1 = std::max(0, static_cast<int>(std::floor((visible.top() - target.top()) / s)));
    const int sx2 = std::min(layer.Width(), static_cast<int>(std::ceil((visible.right() - target.left()) / s)));
    const int sy2 = std::min(layer.Height(), static_cast<int>(std::ceil((visible.bottom() - target.top()) / s)));
    if (sx2 <= sx1 || sy2 <= sy1)
      continue;
    const QRect source(sx1, sy1, sx2 - sx1, sy2 - sy1);
    const QRectF dest(target.left() + sx1 * s, target.top() + sy1 * s, source.width() * s, source.height() * s);
    p.drawImage(dest, layer.Bitmap().DisplayImage(), source);
  }

  auto clientRect = [&](const QRect &r) {
    const QRectF f = ClientRect(r);
    return QRect(QPoint(roundInt(f.left()), roundInt(f.top())),
                 QPoint(roundInt(f.right()) - 1, roundInt(f.bottom()) - 1));
  };
  auto drawBox = [&](const TIEBox &b) {
    const QRect r = clientRect(b.Rect.normalized());
    if (r.isEmpty())
      return;
    if (b.BrushStyle == bsSolid) {
      QColor fill = b.BrushColor;
      if (b.BoxHighLight)
        fill.setAlpha(fill.alpha() / 2);
      p.fillRect(r, fill);
    }
    if (b.PenWidth > 0 && b.PenColor.isValid()) {
      const int w = std::min({std::max(1, roundInt(b.PenWidth * s)), (r.width() + 1) / 2, (r.height() + 1) / 2});
      p.fillRect(QRect(r.left(), r.top(), r.width(), w), b.PenColor);
      p.fillRect(QRect(r.left(), r.bottom() - w + 1, r.width(), w), b.PenColor);
      p.fillRect(QRect(r.left(), r.top(), w, r.height()), b.PenColor);
      p.fillRect(QRect(r.right() - w + 1, r.top(), w, r.height()), b.PenColor);
    }
    if (b.Selected) {
      p.setPen(QPen(Qt::black, 1, Qt::DashLine));
      p.setBrush(Qt::NoBrush);
      p.drawRect(r.adjusted(-2, -2, 1, 1));
    }
  };
  for (int i = 0; i < ObjectsCount(); ++i)
    drawBox(GetObj(i));
  if (FDrag == dBox && !FBoxPreview.isEmpty()) {
    TIEBox preview = GetObj(IEV_NEXT_INSERTED_OBJECT);
    preview.Rect = FBoxPreview;
    drawBox(preview);
  }

  if (Selected()) {
    const TIELayer &layer = *GetLayer(LayersCurrent());
    const QRect r = clientRect(SelectedRect().translated(layer.PosX(), layer.PosY()));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 1));
    p.drawRect(r);
    p.setPen(QPen(Qt::black, 1, Qt::DashLine));
    p.drawRect(r);
  }

  if (!FHint.isEmpty()) {
    const QRect box = HintRect();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 190));
    p.drawRoundedRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    p.setPen(Qt::white);
    p.drawText(box, Qt::AlignCenter, FHint);
  }
}

void TImageEnVect::SetEnableInteractionHints(bool value) {
  FEnableHints = value;
  if (!value)
    HideHint();
}

// Where the hint goes: below and right of the point, kept inside the view.
QRect TImageEnVect::HintRect() const {
  const QFontMetrics fm(font());
  QRect box(QPoint(), QSize(fm.horizontalAdvance(FHint) + 10, fm.height() + 6));
  box.moveTopLeft(FHintAt + HintOffset);
  const QRect area = viewport()->rect();
  if (box.right() > area.right())
    box.moveRight(std::max(area.left(), FHintAt.x() - HintOffset.x()));
  if (box.bottom() > area.bottom())
    box.moveBottom(std::max(area.top(), FHintAt.y() - HintOffset.y() / 2));
  return box;
}

void TImageEnVect::ShowHint(const QString &text, QPoint at, bool forAMoment) {
  if (!FEnableHints)
    return;
  if (!FHint.isEmpty())
    viewport()->update(HintRect());
  FHint = text;
  FHintAt = at;
  viewport()->update(HintRect());
  if (!FHintTimer) {
    FHintTimer = new QTimer(this);
    FHintTimer->setSingleShot(true);
    connect(FHintTimer, &QTimer::timeout, this, &TImageEnVect::HideHint);
  }
  if (forAMoment)
    FHintTimer->start(HintMoment);
  else
    FHintTimer->stop();
}

void TImageEnVect::HideHint() {
  if (FHintTimer)
    FHintTimer->stop();
  if (FHint.isEmpty())
    return;
  viewport()->update(HintRect());
  FHint.clear();
}

QRect TImageEnVect::DragRect(QPointF a, QPointF b) const {
  const int x1 = roundInt(std::min(a.x(), b.x()));
  const int y1 = roundInt(std::min(a.y(), b.y()));
  const int x2 = roundInt(std::max(a.x(), b.x()));
  const int y2 = roundInt(std::max(a.y(), b.y()));
  const QRect r(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1));
  return r & QRect(0, 0, IEBitmap()->Width(), IEBitmap()->Height());
}

void TImageEnVect::mousePressEvent(QMouseEvent *event) {
  const QPoint pos = event->position().toPoint();
  HideHint();
  emit MouseDown(event->button(), event->modifiers(), pos.x(), pos.y());
  if (event->button() != Qt::LeftButton || FDrag != dNone)
    return;
  const TIELayer &layer = *GetLayer(LayersCurrent());
  QPointF b = ClientToBitmap(event->position()) - QPointF(layer.PosX(), layer.PosY());
  b.setX(std::clamp(b.x(), 0.0, static_cast<double>(IEBitmap()->Width())));
  b.setY(std::clamp(b.y(), 0.0, static_cast<double>(IEBitmap()->Height())));
  FDragStartClient = pos;
  FDragStartBitmap = b;
  FDragStartView = QPoint(FViewX, FViewY);
  if (FMouseInteractVt & miPutBox) {
    FDrag = dBox;
    FBoxPreview = QRect();
  } else if (FMouseInteract & miSelect) {
    FDrag = dSelect;
  } else if (FMouseInteract & miScroll) {
    FDrag = dScroll;
  }
}

void TImageEnVect::mouseMoveEvent(QMouseEvent *event) {
  if (FDrag == dNone)
    return;
  const QPoint pos = event->position().toPoint();
  if (FDrag == dScroll) {
    const QPoint d = pos - FDragStartClient;
    SetViewXY(FDragStartView.x() - d.x(), FDragStartView.y() - d.y());
    return;
  }
  const TIELayer &layer = *GetLayer(LayersCurrent());
  const QPointF b = ClientToBitmap(event->position()) - QPointF(layer.PosX(), layer.PosY());
  const QRect r = DragRect(FDragStartBitmap, b);
  ShowHint(sizeText(r), pos, false);
  if (FDrag == dSelect) {
    Select(r);
    emit SelectionChanging();
  } else {
    FBoxPreview = r;
    viewport()->update();
  }
}

void TImageEnVect::mouseReleaseEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton || FDrag == dNone)
    return;
  const TDrag drag = FDrag;
  FDrag = dNone;
  HideHint();
  if (drag == dScroll)
    return;
  const TIELayer &layer = *GetLayer(LayersCurrent());
  const QPointF b = ClientToBitmap(event->position()) - QPointF(layer.PosX(), layer.PosY());
  const QRect r = DragRect(FDragStartBitmap, b);
  if (drag == dSelect) {
    if (r.isEmpty())
      DeSelect();
    else
      Select(r);
    emit SelectionChange();
    return;
  }
  FBoxPreview = QRect();
  viewport()->update();
  if (!r.isEmpty())
    emit NewObject(AddNewBox(r));
}

void TImageEnVect::wheelEvent(QWheelEvent *event) {
  event->accept();
  const int delta = event->angleDelta().y();
  const QPointF pos = event->position();
  if (delta != 0) {
    if (FWheel.Action == iemwZoom) {
      ZoomAt(FZoom * std::pow(1.0 + FWheel.Value / 100.0, delta / 120.0), pos);
      ShowHint(zoomText(FZoom), pos.toPoint(), true);
    } else if (FWheel.Action == iemwVScroll)
      SetViewXY(FViewX, FViewY - delta);
  }
  emit MouseWheel(event->modifiers(), delta, pos.toPoint());
}

void TImageEnVect::keyPressEvent(QKeyEvent *event) {
  QChar key;
  const QString text = event->text();
  if (!text.isEmpty()) {
    key = text.front();
  } else {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      key = QChar(13);
      break;
    case Qt::Key_Escape:
      key = QChar(27);
      break;
    case Qt::Key_Backspace:
      key = QChar(8);
      break;
    case Qt::Key_Tab:
      key = QChar(9);
      break;
    default:
      break;
    }
  }
  if (!key.isNull()) {
    emit KeyPress(key);
    if (key.isNull()) {
      event->accept();
      return;
    }
  }
  QAbstractScrollArea::keyPressEvent(event);
}
