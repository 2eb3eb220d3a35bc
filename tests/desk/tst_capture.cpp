#include "uDeskFixture.h"

#include "uCapture.h"
#include "uIEBitmap.h"
#include "uImageEnVect.h"
#include "uImageFile.h"

#include <QDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

// The capture window and the hand-on of a capture to the workspace.
class TestCapture : public QObject {
  Q_OBJECT

  static QImage filled(int w, int h, const QColor &c) {
    QImage img(w, h, QImage::Format_RGB888);
    img.fill(c);
    return img;
  }

private slots:
  void toolPanelPlacement_data() {
    QTest::addColumn<QPoint>("cursor");
    QTest::addColumn<QPoint>("expected");
    QTest::newRow("near the left edge") << QPoint(100, 300) << QPoint(18, 300);
    QTest::newRow("in the middle") << QPoint(500, 300) << QPoint(352, 300);
    QTest::newRow("exactly the panel's width") << QPoint(148, 300) << QPoint(0, 300);
    QTest::newRow("near the bottom") << QPoint(500, 758) << QPoint(352, 743);
    QTest::newRow("at the bottom") << QPoint(500, 768) << QPoint(352, 743);
  }
  void toolPanelPlacement() {
    QFETCH(QPoint, cursor);
    QFETCH(QPoint, expected);
    QCOMPARE(ToolPanelPos(cursor, 148, 25, 768), expected);
  }

  void windowTranslatesItsButtonsAndClosesAsTold() {
    QStringList table{"btnOK=Done", "btnCancel=Cancel"};
    LangList = &table;
    TfrmCapture form;
    LangList = nullptr;
    QCOMPARE(form.btnOK->text(), QStringLiteral("Done"));
    QCOMPARE(form.btnCancel->text(), QStringLiteral("Cancel"));
    QCOMPARE(form.pnlTool->width(), 148);
    QVERIFY(form.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(form.img1->Cursor(), int(crIECapture));
    QCOMPARE(form.img1->MouseWheelParams().Action, iemwNone);
    form.Init();
    QVERIFY(form.pnlTool->isHidden());
    QVERIFY(!form.img1->Selected());

    form.show();
    QTest::keyClick(form.img1, Qt::Key_Return); // no default button
    QVERIFY(form.isVisible());
    QTest::keyClick(form.btnOK, Qt::Key_Escape);
    QCOMPARE(form.result(), int(QDialog::Rejected));
    form.show();
    form.btnOK->click();
    QCOMPARE(form.result(), int(QDialog::Accepted));
    form.show();
    form.btnCancel->click();
    QCOMPARE(form.result(), int(QDialog::Rejected));
    form.show();
    form.setResult(QDialog::Accepted);
    form.img1MouseDown(Qt::RightButton);
    QCOMPARE(form.result(), int(QDialog::Rejected));
  }

  void selectionBitmapIsTheSelectedRectangle() {
    TfrmCapture form;
    QImage grab(300, 200, QImage::Format_RGB32);
    grab.fill(Qt::white);
    for (int y = 50; y < 100; ++y)
      for (int x = 20; x < 60; ++x)
        grab.setPixelColor(x, y, Qt::blue);
    form.img1->IO().LoadFromImage(grab);
    QVERIFY(form.SelectionBitmap().isNull());
    form.img1->Select(QRect(20, 50, 40, 50));
    const QImage bmp = form.SelectionBitmap();
    QCOMPARE(bmp.size(), QSize(40, 50));
    QCOMPARE(bmp.pixelColor(0, 0), QColor(Qt::blue));
    QCOMPARE(bmp.pixelColor(39, 49), QColor(Qt::blue));
  }

  void tinyCapturesAreIgnored_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("taken");
    QTest::newRow("9 by 9") << QSize(9, 9) << false;
    QTest::newRow("empty") << QSize(0, 0) << false;
    QTest::newRow("9 by 200") << QSize(9, 200) << true;
    QTest::newRow("200 by 9") << QSize(200, 9) << true;
  }
  void tinyCapturesAreIgnored() {
    QFETCH(QSize, size);
    QFETCH(bool, taken);
    TDeskFixture desk;
    desk.Fra()->Capture(size.isEmpty() ? QImage() : filled(size.width(), size.height(), Qt::red), ctSingle);
    QCOMPARE(desk.List()->ImageCount(), taken ? 1 : 0);
  }

  void newCaptureIsAPngInTempNamedByTheTime() {
    TDeskFixture desk;
    int changes = 0;
    desk.Fra()->SetOnChangeCurItem([&] { ++changes; });
    desk.Fra()->Capture(filled(120, 80, Qt::red), ctSingle);
    QCOMPARE(desk.List()->ImageCount(), 1);
    const QString file = desk.List()->ImageFileName(0);
    QCOMPARE(QFileInfo(file).absolutePath() + u'/', desk.App.File("temp/"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{17}\\.png$")).match(QFileInfo(file).fileName()).hasMatch());
    TImageFileInfo info;
    QCOMPARE(ReadImageFile(file, &info).size(), QSize(120, 80));
    QCOMPARE(info.Format, QByteArray("png"));
    QCOMPARE(desk.List()->SelectedImage(), 0);
    QCOMPARE(desk.Fra()->CurIdx(), 0);
    QCOMPARE(changes, 1);
  }

  void appendWithAnEmptyListIsANewImage() {
    TDeskFixture desk;
    desk.Fra()->Capture(filled(50, 50, Qt::green), ctCombine);
    QCOMPARE(desk.List()->ImageCount(), 1);
    QVERIFY(desk.List()->ImageFileName(0).startsWith(desk.App.File("temp/")));
  }

  void appendGoesBelowTheCurrentImage_data() {
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("capture");
    QTest::addColumn<QSize>("result");
    QTest::newRow("wider capture") << QSize(800, 600) << QSize(1000, 200) << QSize(1000, 800);
    QTest::newRow("narrower capture") << QSize(800, 600) << QSize(300, 100) << QSize(800, 700);
  }
  void appendGoesBelowTheCurrentImage() {
    QFETCH(QSize, image);
    QFETCH(QSize, capture);
    QFETCH(QSize, result);
    TDeskFixture desk;
    const QString file = WriteTestImage(desk.App.File("in/page.png"), image, Qt::blue);
    desk.Dialogs->OpenAnswers = {{file}};
    desk.Run("actSrc_ImportFiles");
    int changes = 0;
    desk.Fra()->SetOnChangeCurItem([&] { ++changes; });
    desk.Fra()->Capture(filled(capture.width(), capture.height(), Qt::red), ctCombine);
    QCOMPARE(desk.List()->ImageCount(), 1);
    QCOMPARE(changes, 0);
    const QImage written = ReadImageFile(file);
    QCOMPARE(written.size(), result);
    QCOMPARE(written.pixelColor(5, 5), QColor(Qt::blue));
    QCOMPARE(written.pixelColor(5, image.height() + 5), QColor(Qt::red));
    // White where neither covers the canvas.
    if (capture.width() > image.width())
      QCOMPARE(written.pixelColor(result.width() - 5, 5), QColor(Qt::white));
    else
      QCOMPARE(written.pixelColor(result.width() - 5, result.height() - 5), QColor(Qt::white));
    QCOMPARE(desk.Fra()->imgRaw->IEBitmap()->Image().size(), result);
  }

  void appendWithoutASelectedImageKeepsTheCaptureApart() {
    TDeskFixture desk;
    const QString file = WriteTestImage(desk.App.File("in/page.png"), QSize(100, 100), Qt::blue);
    desk.Fra()->AddImageFile(file);
    QCOMPARE(desk.List()->SelectedImage(), -1);
    desk.Fra()->Capture(filled(40, 40, Qt::red), ctCombine);
    QCOMPARE(desk.List()->ImageCount(), 2);
    QCOMPARE(ReadImageFile(file).size(), QSize(100, 100)); // untouched
  }

  void missingTempFolderIsReportedAndTheCaptureEnds() {
    TDeskFixture desk;
    QDir(desk.App.File("temp")).removeRecursively();
    desk.Dialogs->OnForm = [](QDialog *dialog) {
      auto *form = static_cast<TfrmCapture *>(dialog);
      form->img1->IO().LoadFromImage(QImage(200, 200, QImage::Format_RGB32));
      form->img1->Select(QRect(0, 0, 100, 100));
      return int(QDialog::Accepted);
    };
    desk.Run("actCapture");
    QCOMPARE(desk.List()->ImageCount(), 0);
    QCOMPARE(desk.Main->MyPattern(), osNormal);
    const QList<TDialogCall> boxes = desk.Dialogs->OfKind("box");
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().Flags, unsigned(MB_ICONERROR));
  }

  void confirmedCaptureThroughTheCommand() {
    TDeskFixture desk;
    desk.Dialogs->OnForm = [](QDialog *dialog) {
      auto *form = static_cast<TfrmCapture *>(dialog);
      QImage grab(200, 200, QImage::Format_RGB32);
      grab.fill(Qt::darkGreen);
      form->img1->IO().LoadFromImage(grab);
      form->img1->Select(QRect(10, 10, 60, 30));
      return int(QDialog::Accepted);
    };
    desk.Run("actCapture");
    QCOMPARE(desk.List()->ImageCount(), 1);
    QCOMPARE(ReadImageFile(desk.List()->ImageFileName(0)).size(), QSize(60, 30));
    QVERIFY(desk.Main->HasData());
    QCOMPARE(desk.Main->MyPattern(), osNormal);
  }
};

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"
