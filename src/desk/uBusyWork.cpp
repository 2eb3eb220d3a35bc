#include "uBusyWork.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <atomic>
#include <thread>

namespace {

// Drops input to the program's windows while a busy scope is open.
class TInputBlocker : public QObject {
public:
  QList<QPointer<QWidget>> PendingClose;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick:
      return !InDialog(watched);
    case QEvent::Close:
      if (auto *w = qobject_cast<QWidget *>(watched); w && w->isWindow() && !InDialog(watched)) {
        if (!PendingClose.contains(w))
          PendingClose.append(w);
        event->ignore();
        return true;
      }
      return false;
    default:
      return false;
    }
  }

private:
  // Whether the object belongs to a modal dialog or a popup opened while
  // the work runs.
  static bool InDialog(QObject *o) {
    QWidget *modal = QApplication::activeModalWidget();
    QWidget *popup = QApplication::activePopupWidget();
    if (!modal && !popup)
      return false;
    QWidget *w = qobject_cast<QWidget *>(o);
    if (!w)
      if (auto *window = qobject_cast<QWindow *>(o))
        for (QWidget *top : {modal, popup})
          if (top && top->windowHandle() == window)
            return true;
    for (QWidget *top : {modal, popup})
      if (w && top && (w == top || top->isAncestorOf(w)))
        return true;
    return false;
  }
};

int GDepth = 0;
TInputBlocker *GBlocker = nullptr;

} // namespace

TBusyWork::TBusyWork() {
  if (GDepth++ == 0 && QCoreApplication::instance()) {
    GBlocker = new TInputBlocker;
    QCoreApplication::instance()->installEventFilter(GBlocker);
  }
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

TBusyWork::~TBusyWork() {
  QGuiApplication::restoreOverrideCursor();
  if (--GDepth == 0 && GBlocker) {
    const QList<QPointer<QWidget>> pending = GBlocker->PendingClose;
    delete GBlocker; // also removes the filter
    GBlocker = nullptr;
    for (const QPointer<QWidget> &w : pending)
      if (w)
        QTimer::singleShot(0, w.data(), [w] {
          if (w)
            w->close();
        });
  }
}

bool TBusyWork::Active() { return GDepth > 0; }

void TBusyWork::RunErased(const std::function<void()> &work, const std::function<void()> &tick) {
  std::exception_ptr failure;
  std::atomic<bool> done{false};
  QEventLoop loop;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    done = true;
    QMetaObject::invokeMethod(
        &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  });
  QTimer timer;
  if (tick) {
    QObject::connect(&timer, &QTimer::timeout, &loop, [&tick] { tick(); });
    timer.start(100);
  }
  if (!done)
    loop.exec();
  worker.join();
  // The quit posted after the loop had ended already goes with the loop.
  QCoreApplication::removePostedEvents(&loop);
  if (tick)
    tick();
  if (failure)
    std::rethrow_exception(failure);
}

void TBusyWork::Wait(int milliseconds, const std::function<void()> &tick) {
  QElapsedTimer clock;
  clock.start();
  WaitUntil([&] { return clock.elapsed() >= milliseconds; }, tick, qBound(1, milliseconds, 20));
}

void TBusyWork::WaitUntil(const std::function<bool()> &done, const std::function<void()> &tick, int intervalMs) {
  if (done())
    return;
  QEventLoop loop;
  QTimer poll;
  QElapsedTimer sinceTick;
  sinceTick.start();
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (tick && sinceTick.elapsed() >= 100) {
      sinceTick.restart();
      tick();
    }
    if (done())
      loop.quit();
  });
  poll.start(intervalMs);
  loop.exec();
}
