#include "uThumbListView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

constexpr int PictureMargin = 4;
constexpr int SelectionFrame = 2;
constexpr int CrossShade = 115; // the lines of the cross pattern: the background darker by 15 %

// The parts of a cell: the caption takes the bottom line, the picture the
// rest less a margin.
QRect captionPart(const QRect &cell, const QFontMetrics &fm) {
  const int h = std::min(fm.height() + 2, cell.height());
  return {cell.left(), cell.bottom() + 1 - h, cell.width(), h};
}

QRect picturePart(const QRect &cell, const QFontMetrics &fm) {
  QRect r = cell;
  r.setBottom(captionPart(cell, fm).top() - 1);
  return r.adjusted(PictureMargin, PictureMargin, -PictureMargin, 0);
}

class TThumbDelegate : public QStyledItemDelegate {
public:
  TThumbDelegate(TThumbListView *view) : QStyledItemDelegate(view), FView(view) {}

  QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override {
    return FView->List()->ThumbSize();
  }

  void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override {
    TThumbList *list = FView->List();
    const int row = index.row();
    if (list->PictureState(row) == TThumbState::OnDemand)
      list->RequestPicture(row); // first time in view
    const bool selected = list->SelectedImage() == row;
    const QRect cell = option.rect;
    painter->save();
    const QColor background = selected ? FView->ThumbnailsBackgroundSelected() : FView->ThumbnailsBackground();
    painter->fillRect(cell, background);
    if (FView->ThumbnailsBackgroundStyle() == iebsCross) {
      painter->setBrushOrigin(cell.topLeft()); // the same pattern in every cell
      painter->fillRect(cell, QBrush(background.darker(CrossShade), Qt::CrossPattern));
    }

    const QImage picture = list->Picture(row);
    const QRect box = picturePart(cell, option.fontMetrics);
    if (!picture.isNull() && box.width() > 0 && box.height() > 0) {
      QSize size = picture.size();
      if (size.width() > box.width() || size.height() > box.height())
        size = size.scaled(box.size(), Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
      QRect target(QPoint(), size);
      target.moveCenter(box.center());
      painter->setRenderHint(QPainter::SmoothPixmapTransform);
      painter->drawImage(target, picture);
    }

    const QString caption = list->ImageBottomText(row);
    if (!caption.isEmpty()) {
      const QRect textBox = captionPart(cell, option.fontMetrics).adjusted(2, 0, -2, 0);
      painter->setFont(option.font);
      painter->setPen(option.palette.color(QPalette::Text));
      painter->drawText(textBox, Qt::AlignCenter,
                        option.fontMetrics.elidedText(caption, Qt::ElideMiddle, textBox.width()));
    }

    if (selected) {
      painter->setPen(QPen(FView->SelectionColor(), SelectionFrame, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
      painter->setBrush(Qt::NoBrush);
      painter->drawRect(QRectF(cell).adjusted(SelectionFrame / 2.0, SelectionFrame / 2.0, -SelectionFrame / 2.0,
                                              -SelectionFrame / 2.0));
    }
    painter->restore();
  }

private:
  TThumbListView *FView;
};

} // namespace

TThumbListView::TThumbListView(QWidget *parent) : TThumbListView(nullptr, parent) {}

TThumbListView::TThumbListView(TThumbList *list, QWidget *parent)
    : QListView(parent), FList(list ? list : new TThumbList(this)) {
  FBackground = palette().color(QPalette::Button);
  FBackgroundSelected = FBackground;
  QPalette pal = palette();
  pal.setColor(QPalette::Base, Qt::white);
  setPalette(pal);

  setViewMode(IconMode);
  setMovement(Static);
  setFlow(LeftToRight);
  setWrapping(true);
  setResizeMode(Adjust);
  setUniformItemSizes(true);
  setSelectionMode(NoSelection);
  setEditTriggers(NoEditTriggers);
  setDragEnabled(false);
  setSpacing(0);
  setVerticalScrollMode(ScrollPerPixel);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setItemDelegate(new TThumbDelegate(this));
  setModel(FList);
  UpdateGrid();

  connect(FList, &TThumbList::SelectionChanged, this, &TThumbListView::FollowSelection);
  connect(FList, &TThumbList::ThumbSizeChanged, this, &TThumbListView::UpdateGrid);
  FollowSelection(FList->SelectedImage());
}

TThumbListView::~TThumbListView() {
  // Let go of the list while the view is whole; a list of its own goes with it.
  disconnect(FList, nullptr, this, nullptr);
  setModel(nullptr);
  if (FList->parent() == this)
    delete FList;
}

void TThumbListView::SetGridWidth(int columns) {
  FGridWidth = columns;
  UpdateGrid();
}

void TThumbListView::SetThumbnailsBackground(const QColor &color) {
  FBackground = color;
  viewport()->update();
}

void TThumbListView::SetThumbnailsBackgroundSelected(const QColor &color) {
  FBackgroundSelected = color;
  viewport()->update();
}

void TThumbListView::SetThumbnailsBackgroundStyle(TIEBackgroundStyle style) {
  FBackgroundStyle = style;
  viewport()->update();
}

void TThumbListView::SetSelectionColor(const QColor &color) {
  FSelectionColor = color;
  viewport()->update();
}

QRect TThumbListView::ImageRect(int idx) const {
  if (idx < 0 || idx >= FList->ImageCount())
    return {};
  return visualRect(FList->index(idx));
}

QRect TThumbListView::PictureRect(int idx) const {
  const QRect cell = ImageRect(idx);
  return cell.isEmpty() ? QRect() : picturePart(cell, fontMetrics());
}

QRect TThumbListView::CaptionRect(int idx) const {
  const QRect cell = ImageRect(idx);
  return cell.isEmpty() ? QRect() : captionPart(cell, fontMetrics());
}

QList<int> TThumbListView::VisibleImages() const {
  QList<int> result;
  const QRect area = viewport()->rect();
  // Rows of cells go down in list order: find the first row reaching into
  // the viewport, then take cells until one starts below it.
  int lo = 0;
  int hi = FList->ImageCount();
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (ImageRect(mid).bottom() < area.top())
      lo = mid + 1;
    else
      hi = mid;
  }
  for (int i = lo; i < FList->ImageCount(); ++i) {
    const QRect r = ImageRect(i);
    if (r.top() > area.bottom())
      break;
    if (r.intersects(area))
      result.append(i);
  }
  return result;
}

void TThumbListView::mousePressEvent(QMouseEvent *event) {
  const QModelIndex hit = indexAt(event->position().toPoint());
  QListView::mousePressEvent(event);
  if (event->button() == Qt::LeftButton && hit.isValid())
    FList->SelectByUser(hit.row());
}

void TThumbListView::keyPressEvent(QKeyEvent *event) {
  const int before = currentIndex().row();
  QListView::keyPressEvent(event);
  const QModelIndex after = currentIndex();
  if (after.isValid() && after.row() != before)
    FList->SelectByUser(after.row());
}

void TThumbListView::resizeEvent(QResizeEvent *event) {
  QListView::resizeEvent(event);
  if (FGridWidth > 0)
    UpdateGrid();
}

void TThumbListView::paintEvent(QPaintEvent *event) {
  FList->BeginRequestBatch();
  const QList<int> visible = VisibleImages();
  FList->SetVisibleRange(visible.isEmpty() ? -1 : visible.first(), visible.isEmpty() ? -1 : visible.last());
  QListView::paintEvent(event);
}

void TThumbListView::UpdateGrid() {
  const QSize cell = FList->ThumbSize();
  int width = cell.width() + HorizBorder;
  if (FGridWidth > 0)
    width = std::max(width, (viewport()->width() - 1) / FGridWidth);
  const QSize grid(width, cell.height() + VertBorder);
  if (grid != gridSize())
    setGridSize(grid);
}

void TThumbListView::FollowSelection(int idx) {
  if (!selectionModel())
    return;
  const QModelIndex index = idx >= 0 ? FList->index(idx) : QModelIndex();
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
  if (index.isValid())
    scrollTo(index);
}
