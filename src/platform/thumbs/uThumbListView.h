#pragma once

#include "uThumbList.h"

#include <QColor>
#include <QList>
#include <QListView>

// How the background of a thumbnail cell is drawn: plain, or crossed by thin
// horizontal and vertical lines of a darker shade of its colour.
enum TIEBackgroundStyle { iebsSolid, iebsCross };

// Draws a TThumbList as a grid of thumbnail cells (ThumbWidth x ThumbHeight
// each, the caption in their bottom line) with as many columns as the width
// allows, and forwards the user's selections to the list: a left click on a
// thumbnail and the navigation keys (arrows, Home, End, Page Up, Page Down)
// call TThumbList::SelectByUser(), which raises ImageSelect. Selections the
// program makes are followed and scrolled into view without the event.
// Drawing an entry whose picture is made on demand asks the list for it.
class TThumbListView : public QListView {
  Q_OBJECT
public:
  static constexpr int HorizBorder = 4; // gap between two columns
  static constexpr int VertBorder = 12; // gap between two rows

  // A view of its own new list.
  explicit TThumbListView(QWidget *parent = nullptr);
  // A view of `list`, which must outlive the view.
  explicit TThumbListView(TThumbList *list, QWidget *parent = nullptr);
  ~TThumbListView() override;

  TThumbList *List() const { return FList; }

  // Columns: -1 (or any value below 1) as many as fit; n at most n, spread
  // over the width.
  int GridWidth() const { return FGridWidth; }
  void SetGridWidth(int columns);
  // Background of a thumbnail cell, of the selected one, and the colour of
  // the frame around the selected one.
  QColor ThumbnailsBackground() const { return FBackground; }
  void SetThumbnailsBackground(const QColor &color);
  QColor ThumbnailsBackgroundSelected() const { return FBackgroundSelected; }
  void SetThumbnailsBackgroundSelected(const QColor &color);
  QColor SelectionColor() const { return FSelectionColor; }
  void SetSelectionColor(const QColor &color);
  // The pattern of the cells' backgrounds (selected or not); solid unless set.
  TIEBackgroundStyle ThumbnailsBackgroundStyle() const { return FBackgroundStyle; }
  void SetThumbnailsBackgroundStyle(TIEBackgroundStyle style);

  // The entry's cell in viewport coordinates; empty outside the list.
  QRect ImageRect(int idx) const;
  // Where the entry's picture and its caption are drawn, inside its cell.
  QRect PictureRect(int idx) const;
  QRect CaptionRect(int idx) const;
  // The entries whose cells are at least partly inside the viewport.
  QList<int> VisibleImages() const;

protected:
  void mousePressEvent(QMouseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void paintEvent(QPaintEvent *event) override;

private:
  void UpdateGrid();
  void FollowSelection(int idx);

  TThumbList *FList;
  int FGridWidth = -1;
  QColor FBackground;
  QColor FBackgroundSelected;
  QColor FSelectionColor = Qt::red;
  TIEBackgroundStyle FBackgroundStyle = iebsSolid;
};
