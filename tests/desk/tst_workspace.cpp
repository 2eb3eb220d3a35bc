#include "uDeskFixture.h"

#include "uBars.h"
#include "uIEBitmap.h"
#include "uImageEnVect.h"
#include "uPageControl.h"
#include "uRichViewEdit.h"
#include "uSplitter.h"
#include "uThumbListView.h"

#include <QAction>
#include <QtTest>

// The workspace's layout: views, the start layout, mouse modes, zoom and the
// merge of masking boxes.
class TestWorkspace : public QObject {
  Q_OBJECT

  static void resizePageControl(TDeskFixture &desk, int height) {
    desk.Main->resize(980, 660);
    desk.Fra()->pcOCR->setFixedHeight(height);
    QApplication::processEvents();
  }

private slots:
  void startLayout() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    QCOMPARE(f->CurVT(), VImage);
    QCOMPARE(f->CurIdx(), -1);
    QCOMPARE(f->CurState(), esNormal);
    QCOMPARE(f->pnl1->width(), 209);
    QCOMPARE(f->split1->AlignSplitter(), salLeft);
    QCOMPARE(f->split1->Control(), f->pnl1);
    QVERIFY(f->pcOCR->HideTabs());
    QCOMPARE(f->pcOCR->ActivePage(), f->tsImage);
    QVERIFY(!f->actResult_Clear->isVisible());
    QVERIFY(!f->actResult_ClearFormat->isVisible());
    QVERIFY(f->split2->isHidden());
    QCOMPARE(f->rveResult->parentWidget(), f->tsResult);
    QCOMPARE(f->imgMViewListItems->ThumbWidth(), 180);
    QCOMPARE(f->imgMViewListItems->ThumbHeight(), 200);
    QCOMPARE(f->imgMViewList->ThumbnailsBackgroundStyle(), iebsCross);
    for (TImageEnVect *view : {f->imgRaw, f->imgLayoutResult, f->imgTemp})
      QVERIFY(view->EnableInteractionHints());
    // The start image is loaded and the undo lists hold five entries.
    QCOMPARE(f->imgRaw->IEBitmap()->Width(), 1240);
    QCOMPARE(f->imgRaw->Proc().UndoLimit(), 5);
    QCOMPARE(f->imgRaw->ObjUndoLimit(), 5);
    QCOMPARE(f->barItemMouseMode->CurEditValue().toInt(), 0);
    QCOMPARE(f->barItemZoom->CurEditValue().toInt(), 100);
    QCOMPARE(f->imgRaw->Cursor(), int(crIEPan));
  }

  void missingStartImageStillLaysOut() {
    TDeskFixture probe;
    QFile::remove(probe.App.File("custom/test.png"));
    probe.Main.reset();
    probe.Main = std::make_unique<TfrmOCRMain>();
    QVERIFY(probe.Fra());
    QCOMPARE(probe.Fra()->imgMViewListItems->ThumbWidth(), 180);
    QCOMPARE(probe.Fra()->actRaw_OSize->text(), QStringLiteral("100 %")); // translation ran
  }

  void translation() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    QCOMPARE(f->actList_ShowInExplore->text(), QStringLiteral("Show in file manager"));
    QCOMPARE(f->barItemMouseMode->Caption(), QStringLiteral("Mouse mode"));
    QCOMPARE(f->barItemZoom->Caption(), QStringLiteral("Zoom"));
    QCOMPARE(f->barItemMouseMode->Items(0).Caption, QStringLiteral("pan"));
    QCOMPARE(f->barMgrOCRBar2->Caption(), QStringLiteral("Raw"));
  }

  void viewSwitching() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    resizePageControl(desk, 457);
    f->SetOCRView(VBoth);
    QCOMPARE(f->CurVT(), VBoth);
    QCOMPARE(f->rveResult->parentWidget(), f->tsImage);
    QCOMPARE(f->rveResult->height(), 228);
    QVERIFY(!f->split2->isHidden());
    QCOMPARE(f->split2->Control(), f->rveResult);
    QCOMPARE(f->split2->AlignSplitter(), salBottom);
    QVERIFY(f->actResult_Clear->isVisible());
    f->SetOCRView(VResult);
    QCOMPARE(f->rveResult->parentWidget(), f->tsResult);
    QCOMPARE(f->pcOCR->ActivePage(), f->tsResult);
    resizePageControl(desk, 501);
    f->SetOCRView(VBoth);
    QCOMPARE(f->rveResult->height(), 250);
    f->SetOCRView(VImage);
    QVERIFY(f->split2->isHidden());
    QVERIFY(!f->actResult_ClearFormat->isVisible());
    QCOMPARE(f->pcOCR->ActivePage(), f->tsImage);
  }

  void sameViewChangesNothing() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    f->pcOCR->SetHideTabs(false);
    f->SetOCRView(VImage);
    QVERIFY(!f->pcOCR->HideTabs()); // returned at once
  }

  void layoutResultOnlyRecords() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    f->SetOCRView(VLayoutResult);
    QCOMPARE(f->CurVT(), VLayoutResult);
    QCOMPARE(f->pcOCR->ActivePage(), f->tsImage);
    QVERIFY(!f->actResult_Clear->isVisible());
    f->SetOCRView(VBoth);
    f->SetOCRView(VLayoutResult);
    f->SetOCRView(VImage);
    QVERIFY(f->split2->isHidden());
    QCOMPARE(f->rveResult->parentWidget(), f->tsResult);
  }

  void mouseModes_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("interact");
    QTest::addColumn<int>("cursor");
    QTest::newRow("pan") << 0 << int(miScroll) << int(crIEPan);
    QTest::newRow("select") << 1 << int(miSelect) << int(crIESelect);
  }
  void mouseModes() {
    QFETCH(int, value);
    QFETCH(int, interact);
    QFETCH(int, cursor);
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    f->barItemMouseMode->PostUserValue(1 - value);
    f->barItemMouseMode->PostUserValue(value);
    QCOMPARE(int(f->imgRaw->MouseInteract()), interact);
    QCOMPARE(f->imgRaw->Cursor(), cursor);
  }

  void rightButtonMergesBoxesAndReturnsToTheMode() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    f->barItemMouseMode->PostUserValue(1);
    f->DrawMask();
    f->imgRaw->AddNewBox(QRect(10, 10, 40, 20));
    f->imgRaw->AddNewBox(QRect(100, 100, 30, 30));
    f->imgRaw->Select(QRect(0, 0, 200, 200));
    const TEditState before = f->CurState();
    f->imgRawMouseDown(Qt::RightButton);
    QVERIFY(!f->imgRaw->Selected());
    QCOMPARE(f->imgRaw->ObjectsCount(), 0);
    QCOMPARE(f->imgRaw->IEBitmap()->Image().pixelColor(20, 15), QColor(Qt::white));
    QVERIFY(!f->imgRaw->MouseInteractVt().testFlag(miPutBox));
    QCOMPARE(int(f->imgRaw->MouseInteract()), int(miSelect));
    QCOMPARE(f->imgRaw->Cursor(), int(crIESelect));
    QCOMPARE(f->CurState(), before);
    // Left and middle buttons leave everything to the view's own tool.
    f->imgRaw->AddNewBox(QRect(1, 1, 5, 5));
    f->imgRawMouseDown(Qt::LeftButton);
    f->imgRawMouseDown(Qt::MiddleButton);
    QCOMPARE(f->imgRaw->ObjectsCount(), 1);
  }

  void zoomControls() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    f->imgRaw->SetZoom(50);
    f->barItemZoom->PostUserValue(0);
    QCOMPARE(f->imgRaw->Zoom(), 50.0); // 0 keeps the zoom
    f->barItemZoom->PostUserValue(200);
    QCOMPARE(f->imgRaw->Zoom(), 200.0);
    f->barItemZoom->PostUserValue(40);
    f->actRaw_OSize->trigger();
    QCOMPARE(f->imgRaw->Zoom(), 100.0);
    QCOMPARE(f->barItemZoom->CurEditValue().toInt(), 100);
    f->barItemZoom->PostUserValue(70);
    f->actRaw_FitWidth->trigger();
    QCOMPARE(f->barItemZoom->CurEditValue().toInt(), 70); // fit leaves the item alone
    // The wheel copies the view's zoom into the item.
    f->imgRaw->SetZoom(133);
    f->imgRawMouseWheel();
    QCOMPARE(f->barItemZoom->CurEditValue().toInt(), 133);
  }

  void mergeAllPaintsBoxesIntoAnRgbBitmap() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    QImage grey(60, 40, QImage::Format_Grayscale8);
    grey.fill(0);
    f->imgRaw->IO().LoadFromImage(grey);
    f->DrawMask();
    f->imgRaw->AddNewBox(QRect(5, 5, 20, 10));
    f->imgRaw->AddSelObject(0);
    f->MergeAll(f->imgRaw);
    QCOMPARE(f->imgRaw->ObjectsCount(), 0);
    QCOMPARE(f->imgRaw->IEBitmap()->PixelFormat(), QImage::Format_RGB888);
    QCOMPARE(f->imgRaw->IEBitmap()->Image().pixelColor(15, 10), QColor(Qt::white));
    QCOMPARE(f->imgRaw->IEBitmap()->Image().pixelColor(50, 30), QColor(Qt::black));
    // Without boxes the bitmap keeps its format.
    f->imgRaw->IO().LoadFromImage(grey);
    f->MergeAll(f->imgRaw);
    QCOMPARE(f->imgRaw->IEBitmap()->PixelFormat(), QImage::Format_Grayscale8);
  }

  void dpiOfTheImageLastRead() {
    TDeskFixture desk;
    QCOMPARE(desk.Fra()->GetDPI(), 150); // the start image records 150 dpi
  }
};

QTEST_MAIN(TestWorkspace)
#include "tst_workspace.moc"
