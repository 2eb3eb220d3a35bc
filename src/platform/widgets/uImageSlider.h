#pragma once

#include <QImage>
#include <QList>
#include <QWidget>

class QToolButton;

// Shows a list of pictures one at a time, scaled down to fit and centred,
// with arrows to the previous and next picture and a row of dots, one per
// picture, that also lead to it.
class TImageSlider : public QWidget {
  Q_OBJECT
public:
  explicit TImageSlider(QWidget *parent = nullptr);

  void AddImage(const QImage &image);
  void Clear();
  int ImageCount() const { return static_cast<int>(FImages.size()); }
  QImage Images(int index) const { return FImages.value(index); }

  // The picture shown; -1 while the list is empty.
  int ItemIndex() const { return FIndex; }
  // Kept within the pictures.
  void SetItemIndex(int index);
  // Whether the steps wrap around from the last picture to the first.
  bool LoopSlide() const { return FLoop; }
  void SetLoopSlide(bool loop);
  // One step; false when there was nowhere to go.
  bool GoToNextImage();
  bool GoToPrevImage();

  QToolButton *PrevButton() const { return FPrev; }
  QToolButton *NextButton() const { return FNext; }
  // Where the dot of a picture is drawn.
  QRect DotRect(int index) const;
  // Where the picture is drawn now.
  QRect ImageRect() const;

signals:
  void ItemIndexChanged(int index);

protected:
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;

private:
  void SyncArrows();

  QList<QImage> FImages;
  int FIndex = -1;
  bool FLoop = false;
  QToolButton *FPrev;
  QToolButton *FNext;
};
