#include "uDeskFixture.h"

#include "uApplication.h"
#include "uBars.h"
#include "uIEBitmap.h"
#include "uImageEnVect.h"
#include "uImageFile.h"
#include "uRichViewEdit.h"

#include <QAction>
#include <QGuiApplication>
#include <QtTest>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <cstdlib>

// Recognition and barcode reading through the workspace and the main
// window's commands, with the real plug-in, Tesseract and trained data.
class TestOCR : public QObject {
  Q_OBJECT

  static QImage page(QSize size, const QStringList &lines, int pixelSize = 36) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixelSize);
    p.setFont(f);
    p.setPen(Qt::black);
    for (int i = 0; i < lines.size(); ++i)
      p.drawText(pixelSize, pixelSize * 2 + i * pixelSize * 3, lines.at(i));
    return img;
  }
  // Writes a picture that records `dpi` (0: no resolution) and imports it.
  static QString import(TDeskFixture &desk, const QImage &img, const QString &name, int dpi = 300) {
    const QString file = desk.App.File("in/" + name);
    QDir().mkpath(desk.App.File("in"));
    WriteImageFile(file, img, dpi, dpi);
    desk.Dialogs->OpenAnswers = {{file}};
    desk.Run("actSrc_ImportFiles");
    return file;
  }
  static QString result(TDeskFixture &desk) { return desk.Fra()->rveResult->toPlainText(); }
  static void drawBarcode(QImage &canvas, QPoint at, ZXing::BarcodeFormat format, const std::string &content, int w,
                          int h) {
    ZXing::MultiFormatWriter writer(format);
    writer.setMargin(0);
    const ZXing::BitMatrix m = writer.encode(content, w, h);
    QPainter p(&canvas);
    for (int y = 0; y < m.height(); ++y)
      for (int x = 0; x < m.width(); ++x)
        if (m.get(x, y))
          p.fillRect(at.x() + x, at.y() + y, 1, 1, Qt::black);
  }

private slots:
  void initTestCase() { setenv("OMP_THREAD_LIMIT", "1", 1); }

  // First of all: the plug-in stays loaded for the run once it is found.
  void absentPluginThenFoundAgain() {
    TDeskFixture desk;
    import(desk, page({700, 200}, {"Plugin comes back"}), "p.png");
    QTemporaryDir empty;
    VisionLoaderTest::SetSystemSearch(false);
    SetVisionSearchFolder(empty.path());
    VisionLoaderTest::Reset();
    desk.Dialogs->Calls.clear();
    // The first use of the run: nothing loads from an empty folder.
    QVERIFY(VisionPluginFile().isEmpty());
    desk.Fra()->OCR(QStringLiteral("English"));
    QCOMPARE(desk.Dialogs->OfKind("error-dialog").size(), 1);
    QCOMPARE(desk.Dialogs->OfKind("error-dialog").first().Text,
             QStringLiteral("An error was encountered processing this image. Ensure you are using the latest "
                            "version of the IEVision plug-in."));
    QVERIFY(result(desk).isEmpty());
    QVERIFY(!QGuiApplication::overrideCursor());
    SetVisionSearchFolder(BuiltAppDir());
    VisionLoaderTest::SetSystemSearch(true);
    desk.Fra()->rveResult->ClearAll();
    desk.Fra()->OCR(QStringLiteral("English"));
    QVERIFY2(result(desk).contains("Plugin comes back"), qPrintable(result(desk)));
  }

  void englishThroughTheCommand() {
    TDeskFixture desk;
    const QString file = import(desk, page({900, 300}, {"Recognition works well", "on clean pages"}), "en.png");
    desk.Main->barItemLang->SetEditValue(QStringLiteral("English"));
    desk.Run("actRec_Sel");
    QVERIFY2(result(desk).contains("Recognition works well"), qPrintable(result(desk)));
    QVERIFY(result(desk).contains("clean pages"));
    TRichViewEdit *r = desk.Fra()->rveResult;
    QCOMPARE(r->CheckpointCount(), 1);
    QVERIFY(r->FindCheckpointByName(file));
    QCOMPARE(desk.Fra()->CurVT(), VBoth);
    QVERIFY(!QGuiApplication::overrideCursor());
    QVERIFY(desk.Dialogs->Calls.size() == 1); // the open picker only
  }

  void germanWithUmlauts() {
    TDeskFixture desk;
    import(desk, page({1000, 200}, {"Größere Übungen für Bäcker"}, 40), "de.png");
    desk.Fra()->OCR(QStringLiteral("gErMaN"));
    QVERIFY2(result(desk).contains(QString::fromUtf8("Größere Übungen für Bäcker")), qPrintable(result(desk)));
  }

  void selectionAndMasksLimitWhatIsRead() {
    TDeskFixture desk;
    import(desk, page({900, 400}, {"Alpha line here", "Bravo line there", "Charlie line too"}), "sel.png");
    // Only the first line's band.
    desk.Fra()->imgRaw->Select(QRect(0, 0, 900, 100));
    desk.Fra()->OCR(QStringLiteral("English"));
    QVERIFY(result(desk).contains("Alpha"));
    QVERIFY(!result(desk).contains("Bravo") && !result(desk).contains("Charlie"));
    QCOMPARE(desk.Fra()->imgTemp->IEBitmap()->Width(), 2700); // the selection, three times
    QCOMPARE(desk.Fra()->imgTemp->IEBitmap()->Height(), 300);
    // A white box over the second line hides it and becomes pixels.
    desk.Fra()->imgRaw->DeSelect();
    desk.Fra()->DrawMask();
    desk.Fra()->imgRaw->AddNewBox(QRect(0, 130, 900, 80));
    desk.Fra()->rveResult->ClearAll();
    desk.Fra()->OCR(QStringLiteral("English"));
    QVERIFY(result(desk).contains("Alpha") && result(desk).contains("Charlie"));
    QVERIFY(!result(desk).contains("Bravo"));
    QCOMPARE(desk.Fra()->imgRaw->ObjectsCount(), 0);
  }

  void enlargementFollowsTheRecordedResolution_data() {
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("factor");
    QTest::newRow("96") << 96 << 3;
    QTest::newRow("300") << 300 << 3;
    QTest::newRow("600") << 600 << 3;
    QTest::newRow("none recorded") << 0 << 3;
    QTest::newRow("900") << 900 << 1;
    QTest::newRow("1200") << 1200 << 1;
  }
  void enlargementFollowsTheRecordedResolution() {
    QFETCH(int, dpi);
    QFETCH(int, factor);
    TDeskFixture desk;
    import(desk, page({301, 123}, {"x"}), "dpi.png", dpi);
    QCOMPARE(desk.Fra()->GetDPI(), dpi == 0 ? 300 : dpi);
    desk.Fra()->SetOCRImage();
    QCOMPARE(desk.Fra()->imgTemp->IEBitmap()->Width(), 301 * factor);
    QCOMPARE(desk.Fra()->imgTemp->IEBitmap()->Height(), 123 * factor);
  }

  void missingTrainedDataOrUnknownLanguage_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("removeFile");
    QTest::newRow("file removed") << "French" << true;
    QTest::newRow("unknown name") << "Klingon" << false;
    QTest::newRow("empty name") << "" << false;
  }
  void missingTrainedDataOrUnknownLanguage() {
    QFETCH(QString, language);
    QFETCH(bool, removeFile);
    TDeskFixture desk;
    import(desk, page({600, 200}, {"text"}), "m.png");
    if (removeFile)
      QFile::remove(desk.App.File("ocrlangs/fra.traineddata"));
    desk.Dialogs->Calls.clear();
    desk.Fra()->OCR(language);
    QCOMPARE(desk.Dialogs->Calls.size(), 1);
    QCOMPARE(desk.Dialogs->Calls.first().Kind, QStringLiteral("box"));
    QCOMPARE(desk.Dialogs->Calls.first().Flags, unsigned(MB_ICONERROR));
    QCOMPARE(desk.Dialogs->Calls.first().Text,
             QStringLiteral("The trained-data file of the chosen recognition language is not installed."));
    QVERIFY(result(desk).isEmpty());
    QCOMPARE(desk.Fra()->rveResult->CheckpointCount(), 0);
    QVERIFY(!QGuiApplication::overrideCursor());
  }

  void corruptTrainedDataGivesTheSecondMessage() {
    TDeskFixture desk;
    import(desk, page({600, 200}, {"text"}), "c.png");
    QFile::remove(desk.App.File("ocrlangs/fra.traineddata"));
    desk.App.Write("ocrlangs/fra.traineddata", QByteArray(4096, '\x7f'));
    desk.Fra()->OCR(QStringLiteral("French"));
    const QList<TDialogCall> failures = desk.Dialogs->OfKind("error-dialog");
    QCOMPARE(failures.size(), 1);
    QVERIFY(failures.first().Text.startsWith(QStringLiteral("An error was encountered processing this image: ")));
    QVERIFY(failures.first().Text.size() > 48);
    QVERIFY(result(desk).isEmpty());
  }

  void recognisingTwiceAppendsTwice() {
    TDeskFixture desk;
    const QString file = import(desk, page({800, 150}, {"Twice told"}), "t.png");
    desk.Fra()->OCR(QStringLiteral("English"));
    desk.Fra()->OCR(QStringLiteral("English"));
    QCOMPARE(result(desk).count("Twice told"), 2);
    QCOMPARE(desk.Fra()->rveResult->CheckpointCount(), 2);
    QCOMPARE(desk.Fra()->rveResult->FindCheckpointByName(file), desk.Fra()->rveResult->GetCheckpoint(0));
  }

  void emptyResultKeepsItsCheckpoint() {
    TDeskFixture desk;
    const QString blank = import(desk, page({400, 300}, {}), "blank.png");
    desk.Fra()->OCR(QStringLiteral("English"));
    QVERIFY(desk.Dialogs->OfKind("error-dialog").isEmpty());
    QVERIFY(desk.Fra()->rveResult->FindCheckpointByName(blank));
    // The next recognition of another file finds its own checkpoint.
    const QString other = import(desk, page({800, 150}, {"After the blank"}), "after.png");
    desk.Fra()->OCR(QStringLiteral("English"));
    QVERIFY(desk.Dialogs->OfKind("error-dialog").isEmpty());
    QVERIFY(desk.Fra()->rveResult->FindCheckpointByName(other));
    QVERIFY(result(desk).contains("After the blank"));
  }

  void tooLargeToEnlargeIsRefusedAndTheCursorRestored() {
    TDeskFixture desk;
    QImage huge(6000, 5000, QImage::Format_Grayscale8);
    huge.fill(255);
    desk.Fra()->imgRaw->IO().LoadFromImage(huge, 300, 300);
    RunGuarded([&] { desk.Fra()->OCR(QStringLiteral("English")); }); // as the command runs it
    QVERIFY(!QGuiApplication::overrideCursor());
    const QList<TDialogCall> boxes = desk.Dialogs->OfKind("box");
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes.first().Text.contains("too large"));
    QVERIFY(result(desk).isEmpty());
  }

  void recogniseAllGoesOnPastAMissingFile() {
    TDeskFixture desk;
    QStringList files;
    for (const char *word : {"Apple", "Banana", "Cherry"}) {
      const QString f = desk.App.File(QStringLiteral("all/%1.png").arg(QLatin1String(word)));
      QDir().mkpath(desk.App.File("all"));
      WriteImageFile(f, page({700, 150}, {QStringLiteral("%1 pie").arg(QLatin1String(word))}), 300, 300);
      files.append(f);
    }
    desk.Dialogs->FolderAnswers = {desk.App.File("all")};
    desk.Run("actSrc_ImportDir");
    QFile::remove(files.at(1));
    desk.Main->barItemLang->SetEditValue(QStringLiteral("English"));
    desk.Run("actRec_All");
    QCOMPARE(desk.Dialogs->OfKind("box").size(), 1); // "error_nonFile" for Banana
    QCOMPARE(desk.Fra()->rveResult->CheckpointCount(), 3);
    QCOMPARE(result(desk).count("Apple pie"), 2); // the previous image once more
    QVERIFY(result(desk).contains("Cherry pie"));
    QVERIFY(!result(desk).contains("Banana"));
    QCOMPARE(desk.List()->SelectedImage(), 2);
  }

  void recogniseAllWithAnEmptyListWarns() {
    TDeskFixture desk;
    desk.Fra()->OCRAll(QStringLiteral("English"));
    QCOMPARE(desk.Dialogs->OfKind("box").size(), 1);
    QCOMPARE(desk.Dialogs->OfKind("box").first().Flags, unsigned(MB_ICONWARNING));
  }

  void barcodesAreNumberedLines() {
    TDeskFixture desk;
    QImage canvas(900, 400, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    drawBarcode(canvas, {40, 40}, ZXing::BarcodeFormat::QRCode, "quillon-qr", 240, 240);
    drawBarcode(canvas, {420, 120}, ZXing::BarcodeFormat::Code128, "CODE-128", 400, 120);
    import(desk, canvas, "codes.png");
    desk.Fra()->rveResult->AddText(QStringLiteral("before"), 0);
    desk.Run("actRec_Barcode");
    const QString text = result(desk);
    QVERIFY2(text.contains("before1. type:QRCode;value:quillon-qr\n") ||
                 text.contains("before1. type:Code128;value:CODE-128\n"),
             qPrintable(text));
    QVERIFY(text.contains("2. type:"));
    QVERIFY(text.endsWith('\n'));
    QCOMPARE(desk.Fra()->CurVT(), VBoth);
    QCOMPARE(desk.Fra()->rveResult->CheckpointCount(), 0);
    // A selection around the Code 128 alone; numbering starts at 1 again.
    desk.Fra()->imgRaw->Select(QRect(400, 100, 460, 170));
    desk.Fra()->rveResult->ClearAll();
    desk.Fra()->BarcodeDetect();
    QCOMPARE(result(desk), QStringLiteral("1. type:Code128;value:CODE-128\n"));
  }

  void noBarcodeAppendsNothingAndMasksDoNotHideThem() {
    TDeskFixture desk;
    QImage canvas(500, 400, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    import(desk, canvas, "none.png");
    desk.Fra()->BarcodeDetect();
    QVERIFY(result(desk).isEmpty());
    drawBarcode(canvas, {100, 80}, ZXing::BarcodeFormat::QRCode, "under a mask", 240, 240);
    desk.Fra()->imgRaw->IO().LoadFromImage(canvas, 300, 300);
    desk.Fra()->DrawMask();
    desk.Fra()->imgRaw->AddNewBox(QRect(90, 70, 260, 260));
    desk.Fra()->BarcodeDetect();
    QCOMPARE(result(desk), QStringLiteral("1. type:QRCode;value:under a mask\n"));
    QCOMPARE(desk.Fra()->imgRaw->ObjectsCount(), 1); // still a box
  }
};

QTEST_MAIN(TestOCR)
#include "tst_ocr.moc"
