#include "uImageEnVect.h"
#include "uImgTestFiles.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <memory>

namespace {

using ImgTestFiles::Pattern;

QImage filled(int w, int h, QColor c) {
  QImage img(w, h, QImage::Format_RGB888);
  img.fill(c);
  return img;
}

// A shown view of an exact client size: no frame, scroll bars as asked.
std::unique_ptr<TImageEnVect> shownView(int w, int h, bool scrollBars = true) {
  auto view = std::make_unique<TImageEnVect>();
  view->setFrameStyle(QFrame::NoFrame);
  if (!scrollBars) {
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }
  view->resize(w, h);
  view->show();
  if (!QTest::qWaitForWindowExposed(view.get()))
    qWarning("view not exposed");
  return view;
}

void mouse(QWidget *w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

void drag(TImageEnVect &view, QPoint from, QPoint to) {
  QWidget *vp = view.viewport();
  mouse(vp, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  mouse(vp, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
  mouse(vp, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
  mouse(vp, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

void wheel(TImageEnVect &view, QPoint pos, int delta) {
  QWidget *vp = view.viewport();
  QWheelEvent e(QPointF(pos), vp->mapToGlobal(QPointF(pos)), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                Qt::NoScrollPhase, false);
  QApplication::sendEvent(vp, &e);
}

// Counts the keys that reach it from its child.
class TKeyParent : public QWidget {
public:
  int Keys = 0;

protected:
  void keyPressEvent(QKeyEvent *event) override {
    ++Keys;
    event->accept();
  }
};

} // namespace

class TstImageEnVect : public QObject {
  Q_OBJECT
private slots:
  void zoomIgnoresInvalidAndEqual();
  void fitToWidth_data();
  void fitToWidth();
  void fitWhole();
  void displayImageRect();
  void displayImageRectOfClientSize();
  void hiddenViewDefersWork();
  void selectionDraggedAtZoom200();
  void clickRemovesSelection();
  void putBoxDrawsBox();
  void scrollDragMovesPicture();
  void cursorIds_data();
  void cursorIds();
  void wheelZoomsThenSignals();
  void interactionHints_data();
  void interactionHints();
  void wheelActionNone();
  void keyPressHandlerConsumes();
  void mouseDownSignal();
  void paintingShowsAdjustAndBoxes();
  void viewIsADocument();
  void captureFromScreen();
};

void TstImageEnVect::zoomIgnoresInvalidAndEqual() {
  auto view = shownView(400, 300);
  view->IO().LoadFromImage(Pattern(1000, 800));
  QCOMPARE(view->Zoom(), 100.0);
  view->SetZoom(150);
  QCOMPARE(view->Zoom(), 150.0);
  QCOMPARE(view->ZoomX(), 150.0);
  view->SetViewXY(123, 77);
  view->SetZoom(0);
  view->SetZoom(-20);
  view->SetZoom(150);
  QCOMPARE(view->Zoom(), 150.0);
  QCOMPARE(view->ViewX(), 123);
  QCOMPARE(view->ViewY(), 77);
  view->SetZoom(200);
  QCOMPARE(view->Zoom(), 200.0);
}

void TstImageEnVect::fitToWidth_data() {
  QTest::addColumn<QSize>("image");
  QTest::newRow("wide, shorter than the view") << QSize(1000, 500);
  QTest::newRow("tall, needs the vertical bar") << QSize(200, 1000);
  QTest::newRow("small, enlarged") << QSize(100, 50);
}

void TstImageEnVect::fitToWidth() {
  QFETCH(QSize, image);
  auto view = shownView(400, 300);
  view->IO().LoadFromImage(Pattern(image.width(), image.height()));
  view->FitToWidth();
  QCoreApplication::processEvents(); // the scroll bars settle
  // The picture's width fills the client area and nothing scrolls sideways.
  QCOMPARE(qRound(image.width() * view->ZoomX() / 100), view->ClientWidth());
  QCOMPARE(view->horizontalScrollBar()->maximum(), 0);
  const bool tall = image.height() * 400.0 / image.width() > 300;
  QCOMPARE(view->verticalScrollBar()->isVisible(), tall);
  if (!tall)
    QCOMPARE(view->ZoomX(), 40000.0 / image.width());
}

void TstImageEnVect::fitWhole() {
  auto view = shownView(400, 300);
  view->IO().LoadFromImage(Pattern(1000, 1500));
  view->Fit();
  QCOMPARE(view->Zoom(), 20.0);
  QCOMPARE(view->verticalScrollBar()->maximum(), 0);
}

void TstImageEnVect::displayImageRect() {
  auto view = shownView(400, 300, false);
  view->IO().LoadFromImage(Pattern(1000, 800));
  view->DisplayImageRect(QRect(100, 50, 200, 150));
  QCOMPARE(view->Zoom(), 200.0);
  QCOMPARE(view->ViewX(), 200);
  QCOMPARE(view->ViewY(), 100);
  QCOMPARE(view->BitmapToClient(QPointF(100, 50)), QPointF(0, 0));
  QCOMPARE(view->ClientToBitmap(QPointF(400, 300)), QPointF(300, 200));
}

void TstImageEnVect::displayImageRectOfClientSize() {
  // A tall picture shown from its top-left corner, as the workspace shows it.
  auto view = shownView(400, 300);
  view->IO().LoadFromImage(Pattern(1000, 2000));
  view->SetZoom(50);
  view->SetViewXY(100, 300);
  view->DisplayImageRect(QRect(0, 0, view->ClientWidth(), view->ClientHeight()));
  QCOMPARE(view->Zoom(), 100.0);
  QCOMPARE(view->ViewX(), 0);
  QCOMPARE(view->ViewY(), 0);
  QCOMPARE(view->BitmapToClient(QPointF(0, 0)), QPointF(0, 0));
}

void TstImageEnVect::hiddenViewDefersWork() {
  TImageEnVect view;
  view.setFrameStyle(QFrame::NoFrame);
  view.resize(400, 300);
  view.IO().LoadFromImage(Pattern(1000, 500));
  view.IEBitmap()->SetChannelOffset(0, 30);
  view.FitToWidth();
  view.ChangeResolution(900, rfHermite);
  view.Update();
  QCOMPARE(view.Zoom(), 100.0); // the fit waits for the view to be shown
  QCOMPARE(view.horizontalScrollBar()->maximum(), 0);
  QVERIFY(!view.IEBitmap()->HasDisplayCache());
  QCOMPARE(view.IEBitmap()->Width(), 3000);

  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  QCoreApplication::processEvents();
  QCOMPARE(qRound(3000 * view.ZoomX() / 100), view.ClientWidth());
}

void TstImageEnVect::selectionDraggedAtZoom200() {
  auto view = shownView(300, 200);
  view->IO().LoadFromImage(Pattern(400, 300));
  view->SetZoom(200);
  view->SetViewXY(0, 0);
  view->SetMouseInteract(miSelect);
  QSignalSpy changing(view.get(), &TImageEnVect::SelectionChanging);
  QSignalSpy change(view.get(), &TImageEnVect::SelectionChange);
  drag(*view, QPoint(20, 30), QPoint(120, 90));
  QVERIFY(view->Selected());
  QCOMPARE(change.count(), 1);
  QVERIFY(changing.count() >= 1);
  QCOMPARE(view->SelectedRect(), QRect(10, 15, 50, 30));
  // The view starts with client-area coordinates.
  QCOMPARE(view->SelectionBase(), iesbClientArea);
  QCOMPARE(view->SelX1(), 20);
  QCOMPARE(view->SelY1(), 30);
  QCOMPARE(view->SelX2(), 119);
  QCOMPARE(view->SelY2(), 89);
  view->SetSelectionBase(iesbBitmap);
  QCOMPARE(view->SelX1(), 10);
  QCOMPARE(view->SelY1(), 15);
  QCOMPARE(view->SelX2(), 59);
  QCOMPARE(view->SelY2(), 44);
  // Scrolling moves the client coordinates, not the bitmap ones.
  view->SetViewXY(40, 0);
  QCOMPARE(view->SelX1(), 10);
  view->SetSelectionBase(iesbClientArea);
  QCOMPARE(view->SelX1(), -20);
  // A drag reaching past the picture is clipped to it.
  view->SetViewXY(0, 0);
  view->SetZoom(50);
  drag(*view, QPoint(5, 5), QPoint(299, 199));
  view->SetSelectionBase(iesbBitmap);
  QCOMPARE(view->SelX2(), 399);
  QCOMPARE(view->SelY2(), 299);
}

void TstImageEnVect::clickRemovesSelection() {
  auto view = shownView(300, 200);
  view->IO().LoadFromImage(Pattern(300, 200));
  view->SetMouseInteract(miSelect);
  view->Select(QRect(10, 10, 50, 50));
  QSignalSpy change(view.get(), &TImageEnVect::SelectionChange);
  QWidget *vp = view->viewport();
  mouse(vp, QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton, Qt::LeftButton);
  mouse(vp, QEvent::MouseButtonRelease, QPoint(100, 100), Qt::LeftButton, Qt::NoButton);
  QVERIFY(!view->Selected());
  QCOMPARE(change.count(), 1);
}

void TstImageEnVect::putBoxDrawsBox() {
  auto view = shownView(300, 200);
  view->IO().LoadFromImage(Pattern(400, 300));
  view->SetZoom(200);
  view->SetViewXY(0, 0);
  view->SetObjUndoLimit(5);
  view->SetObjAutoUndo(true);
  view->SetMouseInteract({});
  view->SetMouseInteractVt(miPutBox);
  view->SetObjPenColor(IEV_NEXT_INSERTED_OBJECT, Qt::white);
  view->SetObjBrushColor(IEV_NEXT_INSERTED_OBJECT, Qt::white);
  view->SetObjBrushStyle(IEV_NEXT_INSERTED_OBJECT, bsSolid);
  QSignalSpy added(view.get(), &TImageEnVect::NewObject);
  drag(*view, QPoint(50, 30), QPoint(10, 10));
  QCOMPARE(view->ObjectsCount(), 1);
  QCOMPARE(added.count(), 1);
  QCOMPARE(added.at(0).at(0).toInt(), 0);
  const TIEBox &box = view->GetObj(0);
  QCOMPARE(box.Rect, QRect(5, 5, 20, 10));
  QCOMPARE(box.PenColor, QColor(Qt::white));
  QCOMPARE(box.BrushStyle, bsSolid);
  QCOMPARE(view->ObjUndoCount(), 1);
  QVERIFY(!view->Selected());

  // Without a mouse tool a drag does nothing.
  view->SetMouseInteractVt({});
  drag(*view, QPoint(100, 100), QPoint(150, 150));
  QCOMPARE(view->ObjectsCount(), 1);
  QVERIFY(!view->Selected());
}

void TstImageEnVect::scrollDragMovesPicture() {
  auto view = shownView(300, 200);
  view->IO().LoadFromImage(Pattern(400, 300));
  view->SetZoom(200);
  view->SetViewXY(100, 100);
  view->SetMouseInteract(miScroll);
  drag(*view, QPoint(150, 150), QPoint(100, 120));
  QCOMPARE(view->ViewX(), 150);
  QCOMPARE(view->ViewY(), 130);
  QCOMPARE(view->horizontalScrollBar()->value(), 150);
  QVERIFY(!view->Selected());
}

void TstImageEnVect::cursorIds_data() {
  QTest::addColumn<int>("id");
  QTest::addColumn<int>("shape");
  QTest::newRow("pan") << 1782 << int(Qt::OpenHandCursor);
  QTest::newRow("select") << 1785 << int(Qt::CrossCursor);
  QTest::newRow("mask") << 1784 << int(Qt::BitmapCursor);
  QTest::newRow("crop") << 1801 << int(Qt::BitmapCursor);
  QTest::newRow("capture") << 1808 << int(Qt::BitmapCursor);
  QTest::newRow("default") << 0 << int(Qt::ArrowCursor);
}

void TstImageEnVect::cursorIds() {
  QFETCH(int, id);
  QFETCH(int, shape);
  TImageEnVect view;
  view.SetCursor(id);
  QCOMPARE(view.Cursor(), id);
  const QCursor c = view.viewport()->cursor();
  QCOMPARE(int(c.shape()), shape);
  if (shape == Qt::BitmapCursor)
    QVERIFY(!c.pixmap().isNull());
  if (id == crIECapture)
    QCOMPARE(c.hotSpot(), QPoint(0, 0)); // the arrow's tip
}

void TstImageEnVect::interactionHints_data() {
  QTest::addColumn<bool>("enabled");
  QTest::newRow("on") << true;
  QTest::newRow("off") << false;
}

// While the user drags a selection or a box the view shows its size near the
// pointer; after a wheel zoom it shows the zoom for a moment. Off, nothing.
void TstImageEnVect::interactionHints() {
  QFETCH(bool, enabled);
  auto view = shownView(400, 300);
  view->IO().LoadFromImage(filled(800, 600, Qt::white));
  view->SetCenter(false);
  view->SetViewXY(0, 0);
  view->SetZoom(200);
  view->SetViewXY(0, 0);
  view->SetEnableInteractionHints(enabled);
  QWidget *vp = view->viewport();
  auto inkBelowRightOf = [&](QPoint p) {
    const QImage shot = vp->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const qreal dpr = shot.devicePixelRatio();
    int ink = 0;
    for (int y = p.y(); y < std::min(p.y() + 50, vp->height()); ++y)
      for (int x = p.x(); x < std::min(p.x() + 120, vp->width()); ++x)
        if (shot.pixel((QPointF(x, y) * dpr).toPoint()) != qRgb(255, 255, 255))
          ++ink;
    return ink;
  };
  const QString none;
  auto hintOrNone = [&](const QString &hint) { return enabled ? hint : none; };

  for (const TIEMouseInteract tool : {TIEMouseInteract(miSelect), TIEMouseInteract()}) {
    view->SetMouseInteract(tool);
    view->SetMouseInteractVt(tool ? TIEMouseInteractVt() : TIEMouseInteractVt(miPutBox));
    mouse(vp, QEvent::MouseButtonPress, QPoint(20, 20), Qt::LeftButton, Qt::LeftButton);
    mouse(vp, QEvent::MouseMove, QPoint(100, 60), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(view->InteractionHint(), hintOrNone(QStringLiteral("40 \u00d7 20")));
    mouse(vp, QEvent::MouseMove, QPoint(120, 80), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(view->InteractionHint(), hintOrNone(QStringLiteral("50 \u00d7 30")));
    // Drawn near the pointer, clear of the selection's outline.
    QCOMPARE(inkBelowRightOf(QPoint(130, 92)) > 100, enabled);
    mouse(vp, QEvent::MouseButtonRelease, QPoint(120, 80), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(view->InteractionHint(), none);
    view->DeSelect();
    view->RemoveAllObjects();
    QCOMPARE(inkBelowRightOf(QPoint(130, 92)), 0);
  }

  view->SetMouseInteractVt(TIEMouseInteractVt());
  wheel(*view, QPoint(60, 40), 120);
  QCOMPARE(view->InteractionHint(), hintOrNone(QStringLiteral("%1 %").arg(qRound(view->ZoomX()))));
  QCOMPARE(inkBelowRightOf(QPoint(70, 55)) > 100, enabled);
  // Gone by itself after a moment.
  QTRY_COMPARE(view->InteractionHint(), none);
  QTRY_COMPARE(inkBelowRightOf(QPoint(70, 55)), 0);
}

void TstImageEnVect::wheelZoomsThenSignals() {
  auto view = shownView(400, 300);
  view->IO().LoadFromImage(Pattern(1000, 800));
  double seen = 0;
  int delta = 0;
  connect(view.get(), &TImageEnVect::MouseWheel, this, [&](Qt::KeyboardModifiers, int d, QPoint) {
    seen = view->ZoomX();
    delta = d;
  });
  // The picture point under the mouse stays under it.
  const QPoint at(100, 80);
  const QPointF before = view->ClientToBitmap(QPointF(at));
  wheel(*view, at, 120);
  QVERIFY(view->ZoomX() > 100);
  QCOMPARE(seen, view->ZoomX());
  QCOMPARE(delta, 120);
  const QPointF after = view->ClientToBitmap(QPointF(at));
  QVERIFY(qAbs(after.x() - before.x()) < 1 && qAbs(after.y() - before.y()) < 1);
  const double in = view->ZoomX();
  wheel(*view, at, -120);
  QVERIFY(view->ZoomX() < in);
  QCOMPARE(seen, view->ZoomX());
}

void TstImageEnVect::wheelActionNone() {
  auto view = shownView(400, 300);
  view->IO().LoadFromImage(Pattern(1000, 800));
  view->MouseWheelParams().Action = iemwNone;
  view->SetViewXY(50, 60);
  QSignalSpy spy(view.get(), &TImageEnVect::MouseWheel);
  wheel(*view, QPoint(10, 10), 240);
  QCOMPARE(view->Zoom(), 100.0);
  QCOMPARE(view->ViewX(), 50);
  QCOMPARE(view->ViewY(), 60);
  QCOMPARE(spy.count(), 1);
  view->MouseWheelParams().Action = iemwVScroll;
  wheel(*view, QPoint(10, 10), -120);
  QCOMPARE(view->ViewY(), 180);
  QCOMPARE(view->Zoom(), 100.0);
}

void TstImageEnVect::keyPressHandlerConsumes() {
  TKeyParent parent;
  auto *view = new TImageEnVect(&parent);
  parent.resize(200, 200);
  parent.show();
  QVERIFY(QTest::qWaitForWindowExposed(&parent));
  view->setFocus();
  QList<QChar> seen;
  connect(view, &TImageEnVect::KeyPress, this, [&](QChar &key) {
    seen << key;
    if (key == QChar(13))
      key = QChar(0);
  });
  QTest::keyClick(view, Qt::Key_Return);
  QCOMPARE(seen, QList<QChar>{QChar(13)});
  QCOMPARE(parent.Keys, 0); // consumed
  QTest::keyClick(view, Qt::Key_A);
  QCOMPARE(seen.size(), 2);
  QCOMPARE(seen.at(1), QChar('a'));
  QCOMPARE(parent.Keys, 1); // passed on unchanged
}

void TstImageEnVect::mouseDownSignal() {
  auto view = shownView(300, 200);
  view->IO().LoadFromImage(Pattern(100, 100));
  view->SetMouseInteract(miSelect);
  QSignalSpy spy(view.get(), &TImageEnVect::MouseDown);
  QWidget *vp = view->viewport();
  mouse(vp, QEvent::MouseButtonPress, QPoint(30, 40), Qt::RightButton, Qt::RightButton);
  mouse(vp, QEvent::MouseButtonRelease, QPoint(30, 40), Qt::RightButton, Qt::NoButton);
  QCOMPARE(spy.count(), 1);
  QCOMPARE(spy.at(0).at(0).value<Qt::MouseButton>(), Qt::RightButton);
  QCOMPARE(spy.at(0).at(2).toInt(), 30);
  QCOMPARE(spy.at(0).at(3).toInt(), 40);
  QVERIFY(!view->Selected()); // the right button draws no selection
}

void TstImageEnVect::paintingShowsAdjustAndBoxes() {
  auto view = shownView(200, 150);
  view->SetBackground(QColor(1, 2, 3));
  view->IO().LoadFromImage(filled(100, 50, QColor(100, 100, 100)));
  view->SetObjPenColor(IEV_NEXT_INSERTED_OBJECT, Qt::white);
  view->SetObjBrushColor(IEV_NEXT_INSERTED_OBJECT, Qt::white);
  view->SetObjBrushStyle(IEV_NEXT_INSERTED_OBJECT, bsSolid);
  view->AddNewBox(QRect(60, 10, 20, 20));
  for (int c = 0; c < 3; ++c)
    view->IEBitmap()->SetChannelOffset(c, 50);
  view->Update();
  const QImage shot = view->viewport()->grab().toImage();
  // The picture is centred: its top-left corner at (50, 50).
  QCOMPARE(view->BitmapToClient(QPointF(0, 0)), QPointF(50, 50));
  QCOMPARE(shot.pixelColor(5, 5), QColor(1, 2, 3));
  QCOMPARE(shot.pixelColor(60, 60), QColor(150, 150, 150));
  QCOMPARE(shot.pixelColor(50 + 70, 50 + 20), QColor(Qt::white));
  QCOMPARE(view->IEBitmap()->Image().pixelColor(10, 10), QColor(100, 100, 100)); // pixels unchanged
  QVERIFY(view->IEBitmap()->HasDisplayCache());
}

void TstImageEnVect::viewIsADocument() {
  // The workspace merges views and documents alike.
  TImageEnVect view;
  TIEDocument &doc = view;
  doc.IO().LoadFromImage(filled(10, 10, Qt::black));
  doc.AddNewBox(QRect(0, 0, 5, 5));
  doc.SetObjBrushStyle(0, bsSolid);
  doc.DrawObjectsToBitmap(*doc.IEBitmap());
  doc.RemoveAllObjects();
  doc.LayersMergeAll();
  doc.Update();
  QCOMPARE(view.IEBitmap()->Image().pixelColor(2, 2), QColor(Qt::white));
  QCOMPARE(view.ObjectsCount(), 0);
}

void TstImageEnVect::captureFromScreen() {
  TImageEnView view;
  view.Select(QRect(0, 0, 1, 1));
  view.IO().CaptureFromScreen();
  QRect desktop;
  for (QScreen *s : QGuiApplication::screens())
    desktop |= s->geometry();
  QCOMPARE(QSize(view.IEBitmap()->Width(), view.IEBitmap()->Height()), desktop.size());
  QCOMPARE(view.IEBitmap()->PixelFormat(), QImage::Format_RGB888);
  QVERIFY(!view.Selected());
}

QTEST_MAIN(TstImageEnVect)
#include "tst_imageenvect.moc"
