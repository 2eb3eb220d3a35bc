#include "uDeskFixture.h"

#include "uBars.h"
#include "uIEBitmap.h"
#include "uImageEnVect.h"
#include "uImageFile.h"

#include <QAction>
#include <QtTest>

// Cleaning up the current image: the crop tool, masks, turns, straightening,
// black and white, undo and redo, brightness and contrast, saving.
class TestImageEdit : public QObject {
  Q_OBJECT

  // A picture whose four quarters have different colours.
  static QImage quarters(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        img.setPixelColor(x, y, x < w / 2 ? (y < h / 2 ? Qt::red : Qt::green) : (y < h / 2 ? Qt::blue : Qt::yellow));
    return img;
  }
  static QImage picture(TfraModuleOCR *f) { return f->imgRaw->IEBitmap()->Image(); }

private slots:
  void cropToolInTwoSteps() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    f->imgRaw->IO().LoadFromImage(quarters(200, 100));
    f->DrawMask();
    f->imgRaw->AddNewBox(QRect(0, 0, 10, 10));
    f->Crop(); // no selection: the tool goes on, boxes become pixels
    QCOMPARE(f->CurState(), esCrop);
    QCOMPARE(f->imgRaw->Cursor(), int(crIECrop));
    QCOMPARE(int(f->imgRaw->MouseInteract()), int(miSelect));
    QVERIFY(!f->imgRaw->MouseInteractVt().testFlag(miPutBox));
    QCOMPARE(f->imgRaw->ObjectsCount(), 0);
    QCOMPARE(picture(f).pixelColor(5, 5), QColor(Qt::white));
    f->imgRaw->Select(QRect(100, 0, 100, 50));
    QChar enter(13);
    f->imgRawKeyPress(enter);
    QCOMPARE(enter, QChar(0));
    QCOMPARE(picture(f).size(), QSize(100, 50));
    QCOMPARE(picture(f).pixelColor(50, 25), QColor(Qt::blue));
    QVERIFY(!f->imgRaw->Selected());
    QCOMPARE(f->CurState(), esCrop);
    f->imgRaw->Select(QRect(0, 0, 10, 10)); // and again
    f->Crop();
    QCOMPARE(picture(f).size(), QSize(10, 10));
  }

  void cropWithASelectionOutsideTheToolDoesNothing() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    f->imgRaw->IO().LoadFromImage(quarters(200, 100));
    f->imgRaw->Select(QRect(0, 0, 50, 50));
    f->Crop();
    f->Crop();
    QCOMPARE(picture(f).size(), QSize(200, 100));
    QCOMPARE(f->CurState(), esNormal);
    f->DrawMask();
    QChar enter(13);
    f->imgRawKeyPress(enter); // consumed, nothing else
    QCOMPARE(enter, QChar(0));
    QCOMPARE(picture(f).size(), QSize(200, 100));
    QChar other(u'a');
    f->imgRawKeyPress(other);
    QCOMPARE(other, QChar(u'a'));
  }

  void maskToolTwiceSavesTwoEntries() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    f->imgRaw->IO().LoadFromImage(quarters(40, 40));
    const int before = f->imgRaw->Proc().UndoCount();
    f->DrawMask();
    f->DrawMask();
    QCOMPARE(f->imgRaw->Proc().UndoCount(), before + 2);
    QCOMPARE(f->CurState(), esDrawRactangle);
    QCOMPARE(f->imgRaw->Cursor(), int(crIEMask));
    QVERIFY(f->imgRaw->MouseInteractVt().testFlag(miPutBox));
    const int box = f->imgRaw->AddNewBox(QRect(2, 2, 5, 5));
    QCOMPARE(f->imgRaw->GetObj(box).BrushColor, QColor(Qt::white));
    QCOMPARE(f->imgRaw->GetObj(box).PenColor, QColor(Qt::white));
    QCOMPARE(f->imgRaw->GetObj(box).BrushStyle, bsSolid);
  }

  void quarterTurnsAndBack() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    const QImage src = quarters(80, 40);
    f->imgRaw->IO().LoadFromImage(src);
    f->imgRaw->AddNewBox(QRect(0, 0, 10, 5));
    f->Rotate90(); // a quarter turn to the left: the top-right corner comes to the top-left
    QCOMPARE(picture(f).size(), QSize(40, 80));
    QCOMPARE(picture(f).pixelColor(5, 5), QColor(Qt::blue));
    f->Rotate90C();
    QCOMPARE(picture(f).convertToFormat(QImage::Format_RGB32), src);
    QCOMPARE(f->imgRaw->GetObj(0).Rect, QRect(0, 0, 10, 5));
  }

  void undoAfterATurnKeepsTheTurnedBoxes() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    f->imgRaw->IO().LoadFromImage(quarters(80, 40));
    f->imgRaw->AddNewBox(QRect(0, 0, 10, 5));
    f->Rotate90();
    const QRect turned = f->imgRaw->GetObj(0).Rect;
    f->ImgUndo();
    QCOMPARE(picture(f).size(), QSize(80, 40));
    QCOMPARE(f->imgRaw->GetObj(0).Rect, turned);
  }

  void blackAndWhiteThenTwoUndos() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    QImage grey(60, 60, QImage::Format_RGB32);
    grey.fill(QColor(128, 128, 128));
    f->imgRaw->IO().LoadFromImage(grey);
    f->ImgTwoValue();
    QCOMPARE(picture(f).format(), QImage::Format_Mono);
    f->ImgUndo();
    QCOMPARE(picture(f).pixelColor(30, 30), QColor(128, 128, 128));
    f->ImgUndo();
    QCOMPARE(picture(f).pixelColor(30, 30), QColor(128, 128, 128));
  }

  void fiveUndosOfSix() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    f->imgRaw->IO().LoadFromImage(quarters(40, 20));
    f->imgRaw->Proc().ClearAllUndo();
    for (int i = 0; i < 6; ++i)
      f->Rotate90();
    // Six turns: the picture stands upright again after four of them.
    QList<QSize> sizes;
    for (int i = 0; i < 6; ++i) {
      f->ImgUndo();
      sizes.append(picture(f).size());
    }
    QCOMPARE(sizes, (QList<QSize>{{20, 40}, {40, 20}, {20, 40}, {40, 20}, {20, 40}, {20, 40}}));
  }

  void undoOnAnEmptyListThenRedoChangesNothing() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    const QImage src = quarters(30, 30);
    f->imgRaw->IO().LoadFromImage(src);
    f->imgRaw->Proc().ClearAllUndo();
    f->imgRaw->Proc().ClearAllRedo();
    f->ImgUndo();
    QCOMPARE(picture(f).convertToFormat(QImage::Format_RGB32), src);
    f->ImgRedo();
    QCOMPARE(picture(f).convertToFormat(QImage::Format_RGB32), src);
  }

  void straighteningLeavesTheBoxesInPlace() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    QImage page(800, 600, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
      QPainter p(&page);
      p.translate(400, 300);
      p.rotate(4);
      p.translate(-400, -300);
      QFont font(QStringLiteral("DejaVu Sans"));
      font.setPixelSize(28);
      p.setFont(font);
      for (int i = 0; i < 8; ++i)
        p.drawText(60, 120 + i * 50, QStringLiteral("The quick brown fox jumps over the lazy dog %1").arg(i));
    }
    f->imgRaw->IO().LoadFromImage(page);
    f->imgRaw->AddNewBox(QRect(10, 10, 50, 50));
    f->imgRaw->AddNewBox(QRect(300, 300, 40, 40));
    f->Horizontal();
    QVERIFY(picture(f).width() < 800);
    QCOMPARE(f->imgRaw->ObjectsCount(), 2);
    QCOMPARE(f->imgRaw->GetObj(0).Rect, QRect(10, 10, 50, 50));
  }

  void brightnessReplacesAndSavingWritesTheUnadjustedPixels() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    const QString file = WriteTestImage(desk.App.File("in/grey.png"), QSize(40, 40), QColor(100, 100, 100));
    desk.Dialogs->OpenAnswers = {{file}};
    desk.Run("actSrc_ImportFiles");
    desk.Main->baritemTrackBright->PostUserValue(50);
    desk.Main->baritemTrackBright->PostUserValue(20);
    QCOMPARE(f->imgRaw->IEBitmap()->ChannelOffset(0), 20);
    QCOMPARE(f->imgRaw->IEBitmap()->DisplayImage().pixelColor(5, 5), QColor(120, 120, 120));
    desk.Main->baritemTrackContrast->PostUserValue(30);
    QCOMPARE(f->imgRaw->IEBitmap()->Contrast(), 30);
    desk.Run("actIE_Save");
    QCOMPARE(ReadImageFile(file).pixelColor(5, 5), QColor(100, 100, 100));
  }

  void savingWritesTheEditOverTheFile() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    QImage src = quarters(64, 32);
    const QString file = desk.App.File("in/photo.jpg");
    QDir().mkpath(desk.App.File("in"));
    QVERIFY(src.save(file, "JPEG", 95));
    desk.Dialogs->OpenAnswers = {{file}};
    desk.Run("actSrc_ImportFiles");
    desk.Run("actIE_Rotate90");
    desk.Run("actIE_Save");
    TImageFileInfo info;
    const QImage back = ReadImageFile(file, &info);
    QCOMPARE(info.Format, QByteArray("jpeg"));
    QCOMPARE(back.size(), QSize(32, 64));
    QCOMPARE(f->imgMViewListItems->Picture(0).height() > f->imgMViewListItems->Picture(0).width(), true);
  }

  void savingTheStartImageDoesNothing() {
    TDeskFixture desk;
    const QByteArray before = desk.App.Read("custom/test.png");
    desk.Run("actIE_Rotate90");
    desk.Run("actIE_Save");
    QCOMPARE(desk.App.Read("custom/test.png"), before);
  }

  void mergeCommandRemovesTheSelection() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    f->imgRaw->IO().LoadFromImage(quarters(40, 40));
    f->imgRaw->AddNewBox(QRect(1, 1, 4, 4));
    desk.Run("actIE_MergeAll");
    QCOMPARE(f->imgRaw->ObjectsCount(), 0);
    f->imgRaw->Select(QRect(0, 0, 10, 10));
    desk.Run("actIE_MergeAll");
    QVERIFY(!f->imgRaw->Selected());
  }
};

QTEST_MAIN(TestImageEdit)
#include "tst_imageedit.moc"
