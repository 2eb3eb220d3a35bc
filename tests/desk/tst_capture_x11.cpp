#include "uCapture.h"
#include "uIEBitmap.h"
#include "uImageEnVect.h"
#include "uTestX11.h"

#include <QApplication>
#include <QCursor>
#include <QFrame>
#include <QGuiApplication>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QWidget>
#include <QtTest>

namespace {

// The colour of each pixel of the known picture: no two pixels of a 256 by
// 256 block alike, so a shift by one pixel shows.
QRgb patternPixel(int x, int y) { return qRgb(x & 255, y & 255, (x * 5 + y * 3) & 255); }

// A frameless top-level window at a known place showing the known picture.
class TPatternWindow : public QWidget {
public:
  TPatternWindow() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) {}

protected:
  void paintEvent(QPaintEvent *) override {
    QImage img(size(), QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        img.setPixel(x, y, patternPixel(x, y));
    QPainter(this).drawImage(0, 0, img);
  }
};

// How many pixels of `image` at `rect` differ from the known picture whose
// top-left corner lies at `origin` of the image.
int patternMismatches(const QImage &image, const QRect &rect, QPoint origin) {
  int bad = 0;
  for (int y = rect.top(); y <= rect.bottom(); ++y)
    for (int x = rect.left(); x <= rect.right(); ++x)
      if ((image.pixel(x, y) & 0xFFFFFF) != (patternPixel(x - origin.x(), y - origin.y()) & 0xFFFFFF))
        ++bad;
  return bad;
}

QString text(const QRect &r) {
  return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// A left-button drag on the screen, the way the user makes it.
bool dragOnScreen(QPoint from, QPoint to) {
  const QPoint mid = (from + to) / 2;
  return XDoTool({"mousemove", QString::number(from.x()), QString::number(from.y())}) && XDoTool({"mousedown", "1"}) &&
         XDoTool({"mousemove", QString::number(mid.x()), QString::number(mid.y())}) &&
         XDoTool({"mousemove", QString::number(to.x()), QString::number(to.y())}) && XDoTool({"mouseup", "1"});
}

} // namespace

// The capture window in a real X server: the desktop's picture, rectangles
// dragged with the mouse, and closing by mouse and keyboard (xdotool).
class TestCaptureX11 : public QObject {
  Q_OBJECT

  static constexpr QPoint PatternPos{300, 200};
  static constexpr QSize PatternSize{400, 300};

  // Shows the known picture, creates the capture window, grabs the desktop
  // and shows the window, as a capture does.
  [[nodiscard]] static bool startCapture(TfrmCapture &form) {
    TPatternWindow pattern;
    pattern.setGeometry(QRect(PatternPos, PatternSize));
    pattern.show();
    if (!QTest::qWaitForWindowExposed(&pattern))
      return false;
    QTest::qWait(200); // let the X server draw it
    form.Init();
    pattern.hide();
    form.setResult(-1);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
      return false;
    QTest::qWait(200);
    return true;
  }

private slots:
  void initTestCase() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
      QSKIP("needs an X server (DISPLAY)");
  }

  void theGrabHoldsTheDesktop() {
    TfrmCapture form;
    QVERIFY(startCapture(form));
    const QImage grab = form.img1->IEBitmap()->Image();
    QCOMPARE(grab.size(), QGuiApplication::primaryScreen()->virtualGeometry().size());
    QCOMPARE(patternMismatches(grab, QRect(PatternPos, PatternSize), PatternPos), 0);
    // The window covers the screen at its top-left corner and shows the grab
    // pixel for pixel.
    QCOMPARE(form.geometry(), QGuiApplication::primaryScreen()->geometry());
    QCOMPARE(form.img1->BitmapToClient(QPointF(PatternPos)), QPointF(PatternPos));
    QVERIFY(form.pnlTool->isHidden());
  }

  void aDragSelectsWhatLayUnderIt_data() {
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<QRect>("selected");
    QTest::addColumn<QPoint>("panel");
    const int h = QGuiApplication::primaryScreen()->geometry().height();
    QTest::newRow("down and right") << QPoint(310, 210) << QPoint(410, 260) << QRect(310, 210, 100, 50)
                                    << QPoint(262, 260);
    QTest::newRow("up and left: the panel 18 from the left edge")
        << QPoint(650, 450) << QPoint(120, 220) << QRect(120, 220, 530, 230) << QPoint(18, 220);
    QTest::newRow("down to 10 above the bottom: the panel on the bottom edge")
        << QPoint(500, 350) << QPoint(690, h - 10) << QRect(500, 350, 190, h - 10 - 350) << QPoint(542, h - 25);
  }
  void aDragSelectsWhatLayUnderIt() {
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(QRect, selected);
    QFETCH(QPoint, panel);
    TfrmCapture form;
    QVERIFY(startCapture(form));
    QVERIFY(dragOnScreen(from, to));
    QTRY_VERIFY(form.pnlTool->isVisible());
    QVERIFY2(form.img1->SelectedRect() == selected, qPrintable(text(form.img1->SelectedRect())));
    QCOMPARE(form.pnlTool->mapToGlobal(QPoint(0, 0)), panel);
    QCOMPARE(form.pnlTool->size(), QSize(148, 25));

    const QImage bmp = form.CopySelectionToBitmap();
    QCOMPARE(bmp.format(), QImage::Format_RGB888);
    QCOMPARE(bmp.size(), selected.size());
    // The part of the selection over the known picture is that picture.
    const QRect over = selected & QRect(PatternPos, PatternSize);
    QVERIFY(!over.isEmpty());
    QCOMPARE(patternMismatches(bmp, over.translated(-selected.topLeft()), PatternPos - selected.topLeft()), 0);
    QVERIFY(form.isVisible());
  }

  void closingByMouseAndKeyboard_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("right click") << "right" << int(QDialog::Rejected);
    QTest::newRow("Esc") << "esc" << int(QDialog::Rejected);
    QTest::newRow("Return confirms nothing, then Esc") << "return" << int(QDialog::Rejected);
    QTest::newRow("OK clicked") << "ok" << int(QDialog::Accepted);
    QTest::newRow("Cancel clicked") << "cancel" << int(QDialog::Rejected);
  }
  void closingByMouseAndKeyboard() {
    QFETCH(QString, how);
    QFETCH(int, result);
    TfrmCapture form;
    QVERIFY(startCapture(form));
    QVERIFY(dragOnScreen(QPoint(320, 220), QPoint(600, 400)));
    QTRY_VERIFY(form.pnlTool->isVisible());
    QTRY_VERIFY(form.isActiveWindow());
    auto clickAt = [](QWidget *w, const char *button) {
      const QPoint c = w->mapToGlobal(w->rect().center());
      return XDoTool({"mousemove", QString::number(c.x()), QString::number(c.y())}) && XDoTool({"click", button});
    };
    if (how == "right") {
      QVERIFY(XDoTool({"mousemove", "700", "600"}));
      QVERIFY(XDoTool({"click", "3"}));
    } else if (how == "esc") {
      QVERIFY(XDoTool({"key", "Escape"}));
    } else if (how == "return") {
      QVERIFY(XDoTool({"key", "Return"}));
      QVERIFY(XDoTool({"key", "KP_Enter"}));
      QTest::qWait(200);
      QVERIFY(form.isVisible());
      QCOMPARE(form.result(), -1);
      QVERIFY(XDoTool({"key", "Escape"}));
    } else if (how == "ok") {
      QVERIFY(clickAt(form.btnOK, "1"));
    } else {
      QVERIFY(clickAt(form.btnCancel, "1"));
    }
    QTRY_VERIFY(!form.isVisible());
    QCOMPARE(form.result(), result);
    QCOMPARE(form.CopySelectionToBitmap().size(), QSize(280, 180));
  }
};

// Without an X server the test starts on the offscreen platform and skips.
int main(int argc, char *argv[]) {
  if (qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TestCaptureX11 test;
  QTEST_SET_MAIN_SOURCE_PATH
  return QTest::qExec(&test, argc, argv);
}

#include "tst_capture_x11.moc"
