#include "uCapture.h"
#include "uIEBitmap.h"
#include "uImageEnVect.h"
#include "uTestX11.h"

#include <QPainter>
#include <QProcess>
#include <QWidget>
#include <QtTest>

// The capture window in a real X server: the desktop's picture, and a
// rectangle dragged with the mouse (xdotool).
class TestCaptureX11 : public QObject {
  Q_OBJECT

  // A frameless window showing a known pattern at a known place.
  class TPattern : public QWidget {
  public:
    TPattern() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) {}

  protected:
    void paintEvent(QPaintEvent *) override {
      QPainter p(this);
      p.fillRect(rect(), QColor(255, 0, 255));
      p.fillRect(QRect(0, 0, width() / 2, height() / 2), QColor(0, 200, 0));
    }
  };

private slots:
  void initTestCase() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
      QSKIP("needs an X server");
  }

  void grabHoldsTheDesktopAndADragSelects() {
    TPattern pattern;
    pattern.setGeometry(300, 200, 200, 100);
    pattern.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pattern));
    QTest::qWait(300);

    TfrmCapture form;
    form.Init();
    const QImage grab = form.img1->IEBitmap()->Image();
    QVERIFY(grab.width() >= 600 && grab.height() >= 400);
    QCOMPARE(grab.pixelColor(310, 210), QColor(0, 200, 0));
    QCOMPARE(grab.pixelColor(490, 290), QColor(255, 0, 255));
    pattern.hide();

    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::qWait(300);
    // Drag from inside the green quarter to the magenta part.
    QVERIFY(XDoTool({"mousemove", "310", "210"}));
    QVERIFY(XDoTool({"mousedown", "1"}));
    QVERIFY(XDoTool({"mousemove", "350", "230"}));
    QVERIFY(XDoTool({"mousemove", "410", "260"}));
    QVERIFY(XDoTool({"mouseup", "1"}));
    QTRY_VERIFY(form.img1->Selected());
    const QRect sel = form.img1->SelectedRect();
    QVERIFY2(qAbs(sel.left() - 310) <= 1 && qAbs(sel.top() - 210) <= 1, qPrintable(QString("%1,%2").arg(sel.left()).arg(sel.top())));
    QVERIFY(qAbs(sel.width() - 100) <= 2 && qAbs(sel.height() - 50) <= 2);
    QVERIFY(form.pnlTool->isVisible());
    const QImage bmp = form.SelectionBitmap();
    QCOMPARE(bmp.size(), sel.size());
    QCOMPARE(bmp.pixelColor(2, 2), QColor(0, 200, 0));
    QCOMPARE(bmp.pixelColor(bmp.width() - 3, bmp.height() - 3), QColor(255, 0, 255));

    // The right button cancels.
    form.setResult(QDialog::Accepted);
    QVERIFY(XDoTool({"click", "3"}));
    QTRY_COMPARE(form.result(), int(QDialog::Rejected));
  }
};

QTEST_MAIN(TestCaptureX11)
#include "tst_capture_x11.moc"
