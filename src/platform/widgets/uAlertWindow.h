#pragma once

#include "uImageList.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

class QLabel;
class QTimer;

// A small window near the bottom-right corner of the screen that shows a
// caption and a text without taking the focus, and hides itself after the
// display time (longer while the mouse rests on it); a click closes it.
class TAlertWindow : public QWidget {
  Q_OBJECT
public:
  QString Caption() const;
  QString Text() const;
  QLabel *CaptionLabel() const { return FCaption; }
  QLabel *TextLabel() const { return FText; }

protected:
  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;

private:
  friend class TAlertWindowManager;
  TAlertWindow(const QString &caption, const QString &text, const QIcon &image, int displayTime);
  void TimeUp();

  QLabel *FCaption;
  QLabel *FText;
  QTimer *FTimer;
};

// Shows alert windows: no buttons, caption in bold Tahoma of 10 points, text
// in Tahoma of 8 points. Windows shown while others still stand are placed
// above them on the screen. A window shows above the application's window in
// front (its modal window, or else its active window), also a full-screen one.
class TAlertWindowManager : public QObject {
  Q_OBJECT
public:
  explicit TAlertWindowManager(QObject *owner = nullptr);
  ~TAlertWindowManager() override;

  // Shows a window and returns at once; imageIndex -1 (or no image list)
  // shows no picture.
  TAlertWindow *Show(const QString &caption, const QString &text, int imageIndex = -1);

  void SetImages(TImageList *images) { FImages = images; }
  // Milliseconds a window stands; 5000 unless set.
  int DisplayTime() const { return FDisplayTime; }
  void SetDisplayTime(int ms) { FDisplayTime = ms; }

  // The window shown last while it still exists (it is deleted once hidden).
  TAlertWindow *LastWindow() const { return FLast; }
  int WindowCount() const;

private:
  QPointer<TImageList> FImages;
  int FDisplayTime = 5000;
  QList<QPointer<TAlertWindow>> FWindows;
  QPointer<TAlertWindow> FLast;
};
