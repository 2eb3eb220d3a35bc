#include "uAlertWindow.h"

#include "uImageList.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace {
constexpr int WindowWidth = 300;
constexpr int ScreenMargin = 12;
} // namespace

TAlertWindow::TAlertWindow(const QString &caption, const QString &text, const QIcon &image, int displayTime)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      FCaption(new QLabel(caption, this)), FText(new QLabel(text, this)), FTimer(new QTimer(this)) {
  setObjectName(QStringLiteral("alertWindow"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_DeleteOnClose);
  // Closing an alert never ends the program, whatever else is shown.
  setAttribute(Qt::WA_QuitOnClose, false);
  setFocusPolicy(Qt::NoFocus);
  setFixedWidth(WindowWidth);

  QFont captionFont(QStringLiteral("Tahoma"), 10, QFont::Bold);
  FCaption->setFont(captionFont);
  QFont textFont(QStringLiteral("Tahoma"), 8);
  FText->setFont(textFont);
  for (QLabel *l : {FCaption, FText}) {
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(true);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, QColor(0x26, 0x26, 0x26));
    l->setPalette(pal);
  }

  auto *row = new QHBoxLayout(this);
  row->setContentsMargins(14, 12, 14, 14);
  row->setSpacing(12);
  if (!image.isNull()) {
    auto *picture = new QLabel(this);
    picture->setPixmap(image.pixmap(32, 32));
    picture->setAlignment(Qt::AlignTop);
    row->addWidget(picture);
  }
  auto *texts = new QVBoxLayout;
  texts->setSpacing(6);
  texts->addWidget(FCaption);
  texts->addWidget(FText);
  texts->addStretch(1);
  row->addLayout(texts, 1);

  FTimer->setSingleShot(true);
  FTimer->setInterval(displayTime);
  connect(FTimer, &QTimer::timeout, this, &TAlertWindow::TimeUp);
  FTimer->start();
}

QString TAlertWindow::Caption() const { return FCaption->text(); }
QString TAlertWindow::Text() const { return FText->text(); }

// The window stays while the mouse rests on it.
void TAlertWindow::TimeUp() {
  if (underMouse()) {
    FTimer->start();
    return;
  }
  close();
}

void TAlertWindow::mousePressEvent(QMouseEvent *event) {
  event->accept();
  close();
}

void TAlertWindow::paintEvent(QPaintEvent *) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.setPen(QColor(0xc6, 0xc6, 0xc6));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  p.fillRect(QRect(0, 0, width(), 3), QColor(0x2b, 0x57, 0x9a));
}

TAlertWindowManager::TAlertWindowManager(QObject *owner) : QObject(owner) {}

TAlertWindowManager::~TAlertWindowManager() {
  for (const QPointer<TAlertWindow> &w : FWindows)
    delete w.data();
}

int TAlertWindowManager::WindowCount() const {
  int n = 0;
  for (const QPointer<TAlertWindow> &w : FWindows)
    n += w ? 1 : 0;
  return n;
}

TAlertWindow *TAlertWindowManager::Show(const QString &caption, const QString &text, int imageIndex) {
  FWindows.removeIf([](const QPointer<TAlertWindow> &w) { return w.isNull(); });
  const QIcon image = FImages && imageIndex >= 0 ? FImages->Icon(imageIndex) : QIcon();
  auto *window = new TAlertWindow(caption, text, image, FDisplayTime);
  window->adjustSize();

  // Bottom-right of the screen, above the windows that still stand.
  int bottom = 0, right = 0;
  if (const QScreen *screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    bottom = area.bottom() - ScreenMargin;
    right = area.right() - ScreenMargin;
  }
  for (const QPointer<TAlertWindow> &w : FWindows)
    if (w && w->isVisible())
      bottom = std::min(bottom, w->geometry().top() - 8);
  window->move(right - window->width() + 1, bottom - window->height() + 1);
  // Above the window the user works in: a window manager keeps a window above
  // the one it is transient for, also above one that covers the screen (the
  // capture window), which it would otherwise stack above every other.
  QWidget *front = QApplication::activeModalWidget();
  if (!front)
    front = QApplication::activeWindow();
  if (front && front != window) {
    window->winId(); // its native window, to set the transient parent on
    if (QWindow *handle = window->windowHandle())
      handle->setTransientParent(front->windowHandle());
  }
  window->show();

  FWindows.append(window);
  FLast = window;
  return window;
}
