#include "uException.h"
#include "uIEDocument.h"
#include "uImageFile.h"
#include "uImgTestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QImage filled(int w, int h, QColor c, QImage::Format f = QImage::Format_RGB888) {
  QImage img(w, h, f);
  img.fill(c);
  return img;
}

using ImgTestFiles::Pattern;

QColor at(const TIEDocument &doc, int x, int y) { return doc.IEBitmap()->Image().pixelColor(x, y); }

bool samePixels(const QImage &a, const QImage &b) {
  if (a.size() != b.size())
    return false;
  const QImage ca = a.convertToFormat(QImage::Format_RGB32);
  const QImage cb = b.convertToFormat(QImage::Format_RGB32);
  return ca == cb;
}

// The workspace's undo and redo commands.
void imgUndo(TIEDocument &doc) {
  doc.Proc().SaveRedo(ieuObjectsAndLayers);
  doc.Proc().Undo(false);
  doc.Proc().ClearUndo();
}

void imgRedo(TIEDocument &doc) {
  doc.Proc().SaveUndo(ieuObjectsAndLayers);
  doc.Proc().Redo();
  doc.Proc().ClearRedo();
}

// Boxes become pixels and layers are flattened, as the workspace merges.
void mergeAll(TIEDocument &doc) {
  if (doc.SelObjectsCount() > 0)
    doc.UnSelAllObjects();
  if (doc.ObjectsCount() > 0) {
    doc.DrawObjectsToBitmap(*doc.IEBitmap(), true, true);
    doc.RemoveAllObjects();
  }
  doc.LayersMergeAll();
  doc.Update();
}

void setUpMasks(TIEDocument &doc) {
  doc.SetObjPenColor(IEV_NEXT_INSERTED_OBJECT, Qt::white);
  doc.SetObjBoxHighLight(IEV_NEXT_INSERTED_OBJECT, false);
  doc.SetObjBrushColor(IEV_NEXT_INSERTED_OBJECT, Qt::white);
  doc.SetObjBrushStyle(IEV_NEXT_INSERTED_OBJECT, bsSolid);
}

} // namespace

class TstIEDocument : public QObject {
  Q_OBJECT
private slots:
  void newDocumentDefaults();
  void mergeAllPaintsBoxes_data();
  void mergeAllPaintsBoxes();
  void mergeWithoutBoxesKeepsFormat();
  void layersMergeAllPositioned_data();
  void layersMergeAllPositioned();
  void mergeKeepsDisplayParams();
  void undoListHoldsFive();
  void undoEmptyThenRedoLeavesImage();
  void rotateWithBoxesThenUndo();
  void blackAndWhiteAddsTwoEntries();
  void straightenEntries_data();
  void straightenEntries();
  void redoAfterNewEdit();
  void undoRestoresObjectsAndLayers();
  void undoKeepsEntryClearRemovesNewest();
  void quarterTurnsBackAndForth();
  void cropSel();
  void copySelectionToIEBitmap();
  void copySelectionToBitmap();
  void changeResolution_data();
  void changeResolution();
  void changeResolutionFromOwnNominal();
  void selectionBoundsInBitmapPixels();
  void loadRecordedDpi_data();
  void loadRecordedDpi();
  void loadDetectsFormatFromContent();
  void loadDropsBoxesAndSelection();
  void loadFailureLeavesDocument();
  void saveFormatFromExtension();
  void displayAdjustLeavesPixels();
  void blankAndClear();
  void objectSettings();
  void objectUndo();
};

void TstIEDocument::newDocumentDefaults() {
  TIEDocument doc;
  QCOMPARE(doc.LayersCount(), 1);
  QVERIFY(doc.IEBitmap()->IsEmpty());
  QCOMPARE(doc.IO().Params().DpiX, 300);
  QCOMPARE(doc.IO().Params().DpiY, 300);
  QVERIFY(!doc.Selected());
  QCOMPARE(doc.ObjectsCount(), 0);
  QCOMPARE(doc.Proc().UndoCount(), 0);
}

void TstIEDocument::mergeAllPaintsBoxes_data() {
  QTest::addColumn<int>("format");
  QTest::addColumn<int>("expected");
  QTest::newRow("grey 8-bit becomes RGB") << int(QImage::Format_Grayscale8) << int(QImage::Format_RGB888);
  QTest::newRow("1-bit becomes RGB") << int(QImage::Format_Mono) << int(QImage::Format_RGB888);
  QTest::newRow("indexed becomes RGB") << int(QImage::Format_Indexed8) << int(QImage::Format_RGB888);
  QTest::newRow("32-bit becomes RGB") << int(QImage::Format_RGB32) << int(QImage::Format_RGB888);
  QTest::newRow("24-bit stays") << int(QImage::Format_RGB888) << int(QImage::Format_RGB888);
}

void TstIEDocument::mergeAllPaintsBoxes() {
  QFETCH(int, format);
  QFETCH(int, expected);
  TIEDocument doc;
  QImage black = filled(120, 80, Qt::black, QImage::Format_RGB32).convertToFormat(QImage::Format(format));
  doc.IO().LoadFromImage(black);
  setUpMasks(doc);
  doc.AddNewBox(QRect(10, 10, 20, 15));
  doc.AddNewBox(QRect(60, 40, 30, 30));
  doc.AddSelObject(1);
  QCOMPARE(doc.SelObjectsCount(), 1);

  mergeAll(doc);

  QCOMPARE(doc.ObjectsCount(), 0);
  QCOMPARE(int(doc.IEBitmap()->PixelFormat()), expected);
  QCOMPARE(doc.IEBitmap()->Width(), 120);
  for (const QPoint p : {QPoint(10, 10), QPoint(29, 24), QPoint(20, 17), QPoint(60, 40), QPoint(89, 69)})
    QCOMPARE(at(doc, p.x(), p.y()), QColor(Qt::white));
  for (const QPoint p : {QPoint(9, 10), QPoint(30, 24), QPoint(5, 5), QPoint(59, 40), QPoint(90, 70), QPoint(119, 0)})
    QCOMPARE(at(doc, p.x(), p.y()), QColor(Qt::black));
  QCOMPARE(doc.Proc().UndoCount(), 0); // the merge saves no undo entry
}

void TstIEDocument::mergeWithoutBoxesKeepsFormat() {
  TIEDocument doc;
  doc.IO().LoadFromImage(filled(20, 20, Qt::gray, QImage::Format_RGB32).convertToFormat(QImage::Format_Grayscale8));
  mergeAll(doc);
  QCOMPARE(doc.IEBitmap()->PixelFormat(), QImage::Format_Grayscale8);
}

void TstIEDocument::layersMergeAllPositioned_data() {
  QTest::addColumn<QSize>("current");
  QTest::addColumn<QSize>("capture");
  QTest::addColumn<bool>("canvas");
  QTest::addColumn<QSize>("merged");
  QTest::newRow("wider capture") << QSize(800, 600) << QSize(1000, 200) << true << QSize(1000, 800);
  QTest::newRow("narrower capture") << QSize(800, 600) << QSize(300, 100) << true << QSize(800, 700);
  QTest::newRow("wider capture, no canvas") << QSize(800, 600) << QSize(1000, 200) << false << QSize(1000, 800);
}

void TstIEDocument::layersMergeAllPositioned() {
  QFETCH(QSize, current);
  QFETCH(QSize, capture);
  QFETCH(bool, canvas);
  QFETCH(QSize, merged);
  const QColor image(Qt::red);
  const QColor grab(Qt::blue);
  TIEDocument doc;
  doc.IO().LoadFromImage(filled(current.width(), current.height(), image));

  // The capture appended below the current image.
  const int width = std::max(doc.IEBitmap()->Width(), capture.width());
  const int offset = doc.GetLayer(0)->Height();
  if (canvas) {
    const int l = doc.LayersInsert(0);
    QCOMPARE(l, 0);
    doc.GetLayer(0)->Bitmap().CopyFromTBitmap(filled(width, offset + capture.height(), Qt::white));
  }
  const int top = doc.LayersAdd();
  QCOMPARE(top, doc.LayersCount() - 1);
  doc.GetLayer(top)->SetPosX(0);
  doc.GetLayer(top)->SetPosY(offset);
  doc.GetLayer(top)->Bitmap().CopyFromTBitmap(filled(capture.width(), capture.height(), grab));
  doc.LayersMergeAll();

  QCOMPARE(doc.LayersCount(), 1);
  QCOMPARE(QSize(doc.IEBitmap()->Width(), doc.IEBitmap()->Height()), merged);
  QCOMPARE(at(doc, 0, 0), image);
  QCOMPARE(at(doc, current.width() - 1, current.height() - 1), image);
  QCOMPARE(at(doc, 0, current.height()), grab);
  QCOMPARE(at(doc, capture.width() - 1, merged.height() - 1), grab);
  if (capture.width() > current.width())
    QCOMPARE(at(doc, current.width(), 0), QColor(Qt::white));
  else
    QCOMPARE(at(doc, capture.width(), merged.height() - 1), QColor(Qt::white));
  QCOMPARE(doc.GetLayer(0)->PosY(), 0);
}

void TstIEDocument::mergeKeepsDisplayParams() {
  TIEDocument doc;
  doc.IO().LoadFromImage(filled(10, 10, Qt::gray));
  doc.IEBitmap()->SetChannelOffset(0, 40);
  doc.IEBitmap()->SetContrast(30);
  doc.LayersInsert(0);
  doc.GetLayer(0)->Bitmap().CopyFromTBitmap(filled(10, 20, Qt::white));
  doc.LayersMergeAll();
  QCOMPARE(doc.IEBitmap()->Height(), 20);
  QCOMPARE(doc.IEBitmap()->ChannelOffset(0), 40);
  QCOMPARE(doc.IEBitmap()->Contrast(), 30);
}

void TstIEDocument::undoListHoldsFive() {
  TIEDocument doc;
  doc.Proc().SetUndoLimit(5);
  doc.Proc().SetAutoUndo(true);
  doc.IO().LoadFromImage(filled(10, 10, QColor(0, 0, 0)));
  // Six edits, each adding one entry: states 0..6.
  for (int i = 1; i <= 6; ++i) {
    doc.Proc().SaveUndo(ieuObjectsAndLayers);
    doc.IEBitmap()->SetImage(filled(10, 10, QColor(i * 10, 0, 0)));
  }
  QCOMPARE(doc.Proc().UndoCount(), 5);
  for (int i = 5; i >= 1; --i) {
    imgUndo(doc);
    QCOMPARE(at(doc, 0, 0), QColor(i * 10, 0, 0));
  }
  QCOMPARE(doc.Proc().UndoCount(), 0);
  imgUndo(doc); // the sixth restores nothing
  QCOMPARE(at(doc, 0, 0), QColor(10, 0, 0));
  QCOMPARE(doc.Proc().RedoCount(), 5);
}

void TstIEDocument::undoEmptyThenRedoLeavesImage() {
  TIEDocument doc;
  doc.Proc().SetUndoLimit(5);
  const QImage img = Pattern(30, 20);
  doc.IO().LoadFromImage(img);
  imgUndo(doc);
  QVERIFY(samePixels(doc.IEBitmap()->Image(), img));
  QCOMPARE(doc.Proc().RedoCount(), 1);
  imgRedo(doc);
  QVERIFY(samePixels(doc.IEBitmap()->Image(), img));
  QCOMPARE(doc.Proc().RedoCount(), 0);
  QCOMPARE(doc.Proc().UndoCount(), 1);
}

void TstIEDocument::rotateWithBoxesThenUndo() {
  TIEDocument doc;
  doc.Proc().SetUndoLimit(5);
  const QImage img = Pattern(40, 20);
  doc.IO().LoadFromImage(img);
  doc.AddNewBox(QRect(0, 0, 10, 5));
  doc.AddNewBox(QRect(30, 10, 10, 10));
  doc.RotateAllObjects(90, ierImage);
  doc.Proc().Rotate(90);
  QCOMPARE(doc.IEBitmap()->Width(), 20);
  QCOMPARE(doc.IEBitmap()->Height(), 40);
  // Counter-clockwise: the top-left pixel goes to the bottom-left corner.
  QCOMPARE(at(doc, 0, 39), img.pixelColor(0, 0));
  QCOMPARE(doc.GetObj(0).Rect, QRect(0, 30, 5, 10));
  QCOMPARE(doc.GetObj(1).Rect, QRect(10, 0, 10, 10));
  QCOMPARE(doc.Proc().UndoCount(), 1);
  QCOMPARE(doc.Proc().UndoKind(0), ieuImage);

  imgUndo(doc);
  QVERIFY(samePixels(doc.IEBitmap()->Image(), img));
  QCOMPARE(doc.ObjectsCount(), 2);
  QCOMPARE(doc.GetObj(0).Rect, QRect(0, 30, 5, 10)); // the boxes keep their turned places
}

void TstIEDocument::blackAndWhiteAddsTwoEntries() {
  TIEDocument doc;
  doc.Proc().SetUndoLimit(5);
  QImage grey(40, 40, QImage::Format_Grayscale8);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x)
      grey.setPixel(x, y, qRgb(x * 6, x * 6, x * 6));
  doc.IO().LoadFromImage(grey);
  // Black and white as the workspace does it.
  mergeAll(doc);
  doc.Proc().SaveUndo(ieuObjectsAndLayers);
  doc.Proc().ConvertToBWLocalThreshold(10, 20);
  QCOMPARE(doc.IEBitmap()->PixelFormat(), QImage::Format_Mono);
  QCOMPARE(doc.Proc().UndoCount(), 2);
  QCOMPARE(doc.Proc().UndoKind(0), ieuObjectsAndLayers);
  QCOMPARE(doc.Proc().UndoKind(1), ieuImage);

  imgUndo(doc);
  QVERIFY(samePixels(doc.IEBitmap()->Image(), grey));
  imgUndo(doc);
  QVERIFY(samePixels(doc.IEBitmap()->Image(), grey));
  QCOMPARE(doc.Proc().UndoCount(), 0);
}

void TstIEDocument::straightenEntries_data() {
  QTest::addColumn<double>("angle");
  QTest::addColumn<int>("entries");
  QTest::newRow("angle 0") << 0.0 << 1;
  QTest::newRow("angle 3") << 3.0 << 2;
}

void TstIEDocument::straightenEntries() {
  QFETCH(double, angle);
  QFETCH(int, entries);
  TIEDocument doc;
  doc.Proc().SetUndoLimit(5);
  const QImage img = Pattern(200, 100);
  doc.IO().LoadFromImage(img);
  doc.AddNewBox(QRect(5, 5, 10, 10));
  doc.Proc().RotateAndCrop(angle);
  QCOMPARE(doc.Proc().UndoCount(), entries);
  QCOMPARE(doc.GetObj(0).Rect, QRect(5, 5, 10, 10)); // boxes stay where they were
  if (angle == 0)
    QVERIFY(samePixels(doc.IEBitmap()->Image(), img));
  else
    QVERIFY(doc.IEBitmap()->Width() < 200);
  imgUndo(doc);
  QVERIFY(samePixels(doc.IEBitmap()->Image(), img));
}

void TstIEDocument::redoAfterNewEdit() {
  TIEDocument doc;
  doc.Proc().SetUndoLimit(5);
  doc.IO().LoadFromImage(filled(10, 10, QColor(1, 0, 0)));
  doc.Proc().SaveUndo(ieuObjectsAndLayers);
  doc.IEBitmap()->SetImage(filled(10, 10, QColor(2, 0, 0)));
  imgUndo(doc); // back to 1; redo holds 2
  doc.Proc().SaveUndo(ieuObjectsAndLayers);
  doc.IEBitmap()->SetImage(filled(10, 10, QColor(3, 0, 0))); // a new edit
  imgRedo(doc);
  QCOMPARE(at(doc, 0, 0), QColor(2, 0, 0));
  QCOMPARE(doc.Proc().UndoCount(), 2); // the new edit stays in the undo list
  imgUndo(doc);
  QCOMPARE(at(doc, 0, 0), QColor(3, 0, 0));
}

void TstIEDocument::undoRestoresObjectsAndLayers() {
  TIEDocument doc;
  doc.Proc().SetUndoLimit(5);
  doc.IO().LoadFromImage(filled(10, 10, Qt::red));
  doc.IEBitmap()->SetChannelOffset(1, 25);
  doc.AddNewBox(QRect(1, 1, 3, 3));
  doc.Proc().SaveUndo(ieuObjectsAndLayers);
  doc.AddNewBox(QRect(5, 5, 3, 3));
  const int top = doc.LayersAdd();
  doc.GetLayer(top)->Bitmap().CopyFromTBitmap(filled(4, 4, Qt::blue));
  doc.Proc().Undo();
  QCOMPARE(doc.LayersCount(), 1);
  QCOMPARE(doc.ObjectsCount(), 1);
  QCOMPARE(doc.GetObj(0).Rect, QRect(1, 1, 3, 3));
  QCOMPARE(doc.IEBitmap()->ChannelOffset(1), 25); // display parameters are not part of a snapshot
}

void TstIEDocument::undoKeepsEntryClearRemovesNewest() {
  TIEDocument doc;
  doc.Proc().SetUndoLimit(5);
  doc.IO().LoadFromImage(filled(4, 4, QColor(1, 0, 0)));
  doc.Proc().SaveUndo();
  doc.IEBitmap()->SetImage(filled(4, 4, QColor(2, 0, 0)));
  doc.Proc().SaveUndo();
  doc.IEBitmap()->SetImage(filled(4, 4, QColor(3, 0, 0)));
  doc.Proc().Undo();
  QCOMPARE(at(doc, 0, 0), QColor(2, 0, 0));
  QCOMPARE(doc.Proc().UndoCount(), 2);
  doc.Proc().Undo(); // the same entry again
  QCOMPARE(at(doc, 0, 0), QColor(2, 0, 0));
  doc.Proc().ClearUndo();
  QCOMPARE(doc.Proc().UndoCount(), 1);
  doc.Proc().Undo();
  QCOMPARE(at(doc, 0, 0), QColor(1, 0, 0));
  doc.Proc().Undo(true); // auto redo saves the present state first
  QCOMPARE(doc.Proc().RedoCount(), 1);
  QCOMPARE(doc.Proc().RedoKind(0), ieuImage);
}

void TstIEDocument::quarterTurnsBackAndForth() {
  TIEDocument doc;
  const QImage img = Pattern(37, 23);
  doc.IO().LoadFromImage(img);
  doc.AddNewBox(QRect(3, 4, 10, 6));
  doc.AddNewBox(QRect(20, 0, 17, 23));
  doc.RotateAllObjects(90, ierImage);
  doc.Proc().Rotate(90);
  doc.RotateAllObjects(270, ierImage);
  doc.Proc().Rotate(270);
  QVERIFY(samePixels(doc.IEBitmap()->Image(), img));
  QCOMPARE(doc.GetObj(0).Rect, QRect(3, 4, 10, 6));
  QCOMPARE(doc.GetObj(1).Rect, QRect(20, 0, 17, 23));
}

void TstIEDocument::cropSel() {
  TIEDocument doc;
  doc.Proc().SetUndoLimit(5);
  const QImage img = Pattern(50, 40);
  doc.IO().LoadFromImage(img);
  QVERIFY(!doc.Proc().CropSel());
  QCOMPARE(doc.Proc().UndoCount(), 0);
  doc.Select(QRect(10, 5, 20, 15));
  QVERIFY(doc.Proc().CropSel(false));
  QVERIFY(samePixels(doc.IEBitmap()->Image(), img.copy(10, 5, 20, 15)));
  QCOMPARE(doc.Proc().UndoCount(), 1);
  imgUndo(doc);
  QVERIFY(samePixels(doc.IEBitmap()->Image(), img));
}

void TstIEDocument::copySelectionToIEBitmap() {
  TIEDocument doc;
  const QImage img = Pattern(64, 48).convertToFormat(QImage::Format_RGB32);
  doc.IO().LoadFromImage(img);
  TIEBitmap target(filled(3, 3, Qt::green));
  QVERIFY(!doc.CopySelectionToIEBitmap(target));
  QCOMPARE(target.Width(), 3);

  doc.Select(QRect(10, 20, 30, 25));
  QVERIFY(doc.CopySelectionToIEBitmap(target));
  QCOMPARE(target.Width(), 30);
  QCOMPARE(target.Height(), 25);
  QCOMPARE(target.PixelFormat(), QImage::Format_RGB32);
  QVERIFY(samePixels(target.Image(), img.copy(10, 20, 30, 25)));

  // A selection reaching past the bitmap is clipped to it.
  doc.Select(QRect(50, 40, 100, 100));
  QCOMPARE(doc.SelectedRect(), QRect(50, 40, 14, 8));
  QVERIFY(doc.CopySelectionToIEBitmap(target));
  QCOMPARE(target.Width(), 14);
}

void TstIEDocument::copySelectionToBitmap() {
  TIEDocument doc;
  doc.IO().LoadFromImage(Pattern(30, 30).convertToFormat(QImage::Format_ARGB32));
  QImage bmp;
  QVERIFY(!doc.CopySelectionToBitmap(bmp));
  QVERIFY(bmp.isNull());
  doc.Select(QRect(2, 3, 9, 200));
  QVERIFY(doc.CopySelectionToBitmap(bmp));
  QCOMPARE(bmp.size(), QSize(9, 27));
  QCOMPARE(bmp.format(), QImage::Format_RGB888);
}

void TstIEDocument::changeResolution_data() {
  QTest::addColumn<QSize>("size");
  QTest::addColumn<QImage::Format>("format");
  QTest::newRow("RGB") << QSize(101, 37) << QImage::Format_RGB888;
  QTest::newRow("grey") << QSize(40, 64) << QImage::Format_Grayscale8;
  QTest::newRow("1-bit") << QSize(33, 17) << QImage::Format_Mono;
}

void TstIEDocument::changeResolution() {
  QFETCH(QSize, size);
  QFETCH(QImage::Format, format);
  // The image as recognition prepares it: copied into a new document whose
  // nominal resolution is 300 dpi, whatever the source records.
  TIEDocument source;
  source.IO().LoadFromImage(Pattern(size.width(), size.height()).convertToFormat(format), 96, 96);
  TIEDocument working;
  working.IEBitmap()->Assign(*source.IEBitmap());
  QCOMPARE(working.IO().Params().DpiY, 300);
  working.ChangeResolution(900, rfHermite);
  QCOMPARE(working.IEBitmap()->Width(), size.width() * 3);
  QCOMPARE(working.IEBitmap()->Height(), size.height() * 3);
  QCOMPARE(working.IO().Params().DpiX, 900);
  QCOMPARE(working.IO().Params().DpiY, 900);
  QCOMPARE(source.IEBitmap()->Width(), size.width());
}

void TstIEDocument::changeResolutionFromOwnNominal() {
  TIEDocument doc;
  doc.IO().LoadFromImage(Pattern(101, 33), 600, 600);
  doc.ChangeResolution(900, rfHermite);
  // Height round(33 * 1.5) = 50 (49.5 rounds up), width 101 * 50 / 33 = 153.
  QCOMPARE(doc.IEBitmap()->Height(), 50);
  QCOMPARE(doc.IEBitmap()->Width(), 153);
  doc.ChangeResolution(0, rfHermite); // nothing
  QCOMPARE(doc.IEBitmap()->Height(), 50);
}

void TstIEDocument::selectionBoundsInBitmapPixels() {
  TIEDocument doc;
  doc.IO().LoadFromImage(Pattern(100, 80));
  doc.SetSelectionBase(iesbBitmap);
  doc.Select(QRect(5, 6, 10, 20));
  QVERIFY(doc.Selected());
  QCOMPARE(doc.SelX1(), 5);
  QCOMPARE(doc.SelY1(), 6);
  QCOMPARE(doc.SelX2(), 14);
  QCOMPARE(doc.SelY2(), 25);
  // The scan rectangle of barcode reading.
  QCOMPARE(doc.SelX2() - doc.SelX1() + 1, 10);
  QCOMPARE(doc.SelY2() - doc.SelY1() + 1, 20);
  doc.DeSelect();
  QVERIFY(!doc.Selected());
  QCOMPARE(doc.SelectedRect(), QRect(0, 0, 100, 80));
  doc.Select(QRect(200, 200, 5, 5)); // outside the bitmap
  QVERIFY(!doc.Selected());
}

void TstIEDocument::loadRecordedDpi_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<int>("written");
  QTest::addColumn<int>("expected");
  QTest::newRow("png none") << "a.png" << 0 << 300;
  QTest::newRow("png 96") << "b.png" << 96 << 96;
  QTest::newRow("png 1200") << "c.png" << 1200 << 1200;
  QTest::newRow("ppm none") << "d.ppm" << 0 << 300;
  QTest::newRow("jpeg 600") << "e.jpg" << 600 << 600;
}

void TstIEDocument::loadRecordedDpi() {
  QFETCH(QString, name);
  QFETCH(int, written);
  QFETCH(int, expected);
  QTemporaryDir dir;
  const QString path = dir.filePath(name);
  WriteImageFile(path, Pattern(20, 10), written, written);
  TIEDocument doc;
  doc.IO().Params().DpiX = 1;
  doc.IO().LoadFromFile(path);
  QCOMPARE(doc.IO().Params().DpiX, expected);
  QCOMPARE(doc.IO().Params().DpiY, expected);
  QCOMPARE(doc.IEBitmap()->Width(), 20);
  QCOMPARE(doc.IO().Params().FileName, path);
}

void TstIEDocument::loadDetectsFormatFromContent() {
  QTemporaryDir dir;
  const QString path = dir.filePath("really-a-png.jpg");
  const QImage img = Pattern(16, 12);
  {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(img.save(&f, "PNG"));
  }
  TIEDocument doc;
  doc.IO().LoadFromFile(path);
  QCOMPARE(doc.IO().Params().FileType, QByteArray("png"));
  QVERIFY(samePixels(doc.IEBitmap()->Image(), img));
}

void TstIEDocument::loadDropsBoxesAndSelection() {
  QTemporaryDir dir;
  const QString path = dir.filePath("b.png");
  WriteImageFile(path, Pattern(20, 20));
  TIEDocument doc;
  doc.Proc().SetUndoLimit(5);
  doc.IO().LoadFromImage(Pattern(40, 40));
  doc.IEBitmap()->SetChannelOffset(0, 50);
  doc.AddNewBox(QRect(1, 1, 5, 5));
  doc.Select(QRect(2, 2, 10, 10));
  doc.Proc().SaveUndo(ieuObjectsAndLayers);
  doc.IO().LoadFromFile(path);
  QCOMPARE(doc.ObjectsCount(), 0);
  QVERIFY(!doc.Selected());
  QCOMPARE(doc.IEBitmap()->ChannelOffset(0), 50);
  QCOMPARE(doc.Proc().UndoCount(), 1);
  // An undo brings back the picture shown before, with its boxes.
  imgUndo(doc);
  QCOMPARE(doc.IEBitmap()->Width(), 40);
  QCOMPARE(doc.ObjectsCount(), 1);
}

void TstIEDocument::loadFailureLeavesDocument() {
  QTemporaryDir dir;
  TIEDocument doc;
  const QImage img = Pattern(20, 20);
  doc.IO().LoadFromImage(img, 150, 150);
  doc.AddNewBox(QRect(1, 1, 5, 5));
  QFile bad(dir.filePath("bad.png"));
  QVERIFY(bad.open(QIODevice::WriteOnly));
  bad.write("not a picture at all");
  bad.close();
  for (const QString &path : {dir.filePath("missing.png"), bad.fileName()}) {
    QVERIFY_THROWS_EXCEPTION(EPlatformError, doc.IO().LoadFromFile(path));
    QVERIFY(samePixels(doc.IEBitmap()->Image(), img));
    QCOMPARE(doc.IO().Params().DpiX, 150);
    QCOMPARE(doc.ObjectsCount(), 1);
  }
}

void TstIEDocument::saveFormatFromExtension() {
  QTemporaryDir dir;
  TIEDocument doc;
  doc.IO().LoadFromImage(Pattern(30, 20));
  doc.AddNewBox(QRect(0, 0, 5, 5)); // boxes are not pixels until merged
  const QString jpg = dir.filePath("out.jpg");
  doc.IO().SaveToFile(jpg);
  QFile f(jpg);
  QVERIFY(f.open(QIODevice::ReadOnly));
  QCOMPARE(f.read(2), QByteArray("\xFF\xD8"));
  f.close();

  const QString png = dir.filePath("out.png");
  doc.IO().SaveToFile(png);
  TIEDocument back;
  back.IO().LoadFromFile(png);
  QVERIFY(samePixels(back.IEBitmap()->Image(), Pattern(30, 20)));
  QCOMPARE(back.IO().Params().FileType, QByteArray("png"));
}

void TstIEDocument::displayAdjustLeavesPixels() {
  QTemporaryDir dir;
  TIEDocument doc;
  doc.IO().LoadFromImage(filled(8, 8, QColor(100, 100, 100)));
  TIEBitmap &bmp = *doc.IEBitmap();
  for (int c = 0; c < 3; ++c)
    bmp.SetChannelOffset(c, 50);
  QCOMPARE(bmp.Image().pixelColor(0, 0), QColor(100, 100, 100));
  QCOMPARE(bmp.DisplayImage().pixelColor(0, 0), QColor(150, 150, 150));
  const qint64 key = bmp.DisplayImage().cacheKey();
  QCOMPARE(bmp.DisplayImage().cacheKey(), key); // computed once
  for (int c = 0; c < 3; ++c)
    bmp.SetChannelOffset(c, 20); // replaces, not adds
  QCOMPARE(bmp.DisplayImage().pixelColor(0, 0), QColor(120, 120, 120));

  const QString path = dir.filePath("s.png");
  doc.IO().SaveToFile(path);
  TIEDocument back;
  back.IO().LoadFromFile(path);
  QCOMPARE(back.IEBitmap()->Image().pixelColor(0, 0), QColor(100, 100, 100));

  // Loading another picture keeps the adjustment.
  doc.IO().LoadFromFile(path);
  QCOMPARE(doc.IEBitmap()->ChannelOffset(2), 20);
  QCOMPARE(doc.IEBitmap()->DisplayImage().pixelColor(0, 0), QColor(120, 120, 120));
  doc.Proc().Rotate(90);
  QCOMPARE(doc.IEBitmap()->ChannelOffset(0), 20);
}

void TstIEDocument::blankAndClear() {
  TIEDocument doc;
  doc.SetBackground(QColor(10, 20, 30));
  doc.IO().LoadFromImage(Pattern(20, 10).convertToFormat(QImage::Format_ARGB32));
  doc.Select(QRect(1, 1, 4, 4));
  doc.Clear();
  QCOMPARE(doc.IEBitmap()->Width(), 20);
  QVERIFY(!doc.IEBitmap()->Image().hasAlphaChannel());
  QCOMPARE(at(doc, 19, 9), QColor(10, 20, 30));
  doc.Blank();
  QCOMPARE(doc.IEBitmap()->Width(), 1);
  QCOMPARE(doc.IEBitmap()->Height(), 1);
  QVERIFY(!doc.Selected());
}

void TstIEDocument::objectSettings() {
  TIEDocument doc;
  doc.IO().LoadFromImage(Pattern(50, 50));
  setUpMasks(doc);
  const int a = doc.AddNewBox(QRect(30, 30, -10, -10)); // normalized
  QCOMPARE(a, 0);
  QCOMPARE(doc.GetObj(a).Rect, QRect(20, 20, 10, 10));
  QCOMPARE(doc.ObjPenColor(a), QColor(Qt::white));
  QCOMPARE(doc.ObjBrushColor(a), QColor(Qt::white));
  QCOMPARE(doc.ObjBrushStyle(a), bsSolid);
  QVERIFY(!doc.ObjBoxHighLight(a));
  QCOMPARE(doc.ObjPenWidth(a), 1);
  doc.SetObjPenColor(IEV_NEXT_INSERTED_OBJECT, Qt::red);
  QCOMPARE(doc.ObjPenColor(a), QColor(Qt::white)); // existing objects keep theirs
  QCOMPARE(doc.ObjPenColor(doc.AddNewBox(QRect(0, 0, 2, 2))), QColor(Qt::red));
  doc.AddSelObject(0);
  doc.AddSelObject(1);
  QCOMPARE(doc.SelObjectsCount(), 2);
  doc.UnSelAllObjects();
  QCOMPARE(doc.SelObjectsCount(), 0);
  doc.RemoveObject(0);
  QCOMPARE(doc.ObjectsCount(), 1);
  QCOMPARE(doc.ObjPenColor(0), QColor(Qt::red));
}

void TstIEDocument::objectUndo() {
  TIEDocument doc;
  doc.SetObjUndoLimit(5);
  doc.SetObjAutoUndo(true);
  doc.IO().LoadFromImage(Pattern(50, 50));
  for (int i = 0; i < 6; ++i)
    doc.AddNewBox(QRect(i, i, 3, 3));
  QCOMPARE(doc.ObjUndoCount(), 5);
  doc.ObjUndo();
  QCOMPARE(doc.ObjectsCount(), 5);
  doc.RemoveAllObjects();
  doc.ObjUndo();
  QCOMPARE(doc.ObjectsCount(), 5);
}

QTEST_GUILESS_MAIN(TstIEDocument)
#include "tst_iedocument.moc"
