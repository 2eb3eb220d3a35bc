#include "uCapture.h"
#include "uDeskFixture.h"
#include "uIEBitmap.h"
#include "uImageEnVect.h"
#include "uImageFile.h"
#include "uImgTestFiles.h"
#include "uImageList.h"
#include "uLangText.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

// The capture window and the hand-on of a capture to the workspace.
class TestCapture : public QObject {
  Q_OBJECT

  static QImage filled(int w, int h, const QColor &c) {
    QImage img(w, h, QImage::Format_RGB888);
    img.fill(c);
    return img;
  }

  // Runs the window without a modal loop, ready for a capture: a known
  // picture in place of the desktop's, no selection, the tool panel hidden.
  [[nodiscard]] static bool showReady(TfrmCapture &form, const QImage &picture) {
    form.Init();
    form.img1->IO().LoadFromImage(picture);
    form.setResult(-1);
    form.show();
    return QTest::qWaitForWindowExposed(&form);
  }

  // A left-button drag in the picture (client coordinates of img1), released
  // with the mouse pointer at `cursorAtRelease` on the screen.
  static void drag(TfrmCapture &form, QPoint from, QPoint to, QPoint cursorAtRelease) {
    QWidget *viewport = form.img1->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    QTest::mouseMove(viewport, (from + to) / 2);
    QTest::mouseMove(viewport, to);
    QCursor::setPos(cursorAtRelease);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
  }

  static void keyPressOf(QWidget *widget, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_Escape ? QStringLiteral("\x1b") : QString());
    QApplication::sendEvent(widget, &press);
  }

private slots:
  void initTestCase() {
    // The icon theme as the program finds it on the desktop.
    QIcon::setThemeSearchPaths(QIcon::themeSearchPaths() << QStringLiteral("/usr/share/icons"));
    QIcon::setThemeName(QStringLiteral("breeze"));
  }
  void cleanup() { LangList = nullptr; }

  void toolPanelPlacement_data() {
    QTest::addColumn<QPoint>("cursor");
    QTest::addColumn<int>("screenHeight");
    QTest::addColumn<QPoint>("expected");
    QTest::newRow("near the left edge") << QPoint(100, 300) << 768 << QPoint(18, 300);
    QTest::newRow("in the middle") << QPoint(500, 300) << 768 << QPoint(352, 300);
    QTest::newRow("exactly the panel's width") << QPoint(148, 300) << 768 << QPoint(0, 300);
    QTest::newRow("one less than the panel's width") << QPoint(147, 300) << 768 << QPoint(18, 300);
    QTest::newRow("at the left edge") << QPoint(0, 0) << 768 << QPoint(18, 0);
    QTest::newRow("10 above the bottom, h 768") << QPoint(500, 758) << 768 << QPoint(352, 743);
    QTest::newRow("10 above the bottom, h 1024") << QPoint(500, 1014) << 1024 << QPoint(352, 999);
    QTest::newRow("the panel just fits") << QPoint(500, 743) << 768 << QPoint(352, 743);
    QTest::newRow("one below that") << QPoint(500, 744) << 768 << QPoint(352, 743);
    QTest::newRow("on the bottom edge") << QPoint(500, 767) << 768 << QPoint(352, 743);
    QTest::newRow("bottom-left corner") << QPoint(3, 767) << 768 << QPoint(18, 743);
    QTest::newRow("far right") << QPoint(1279, 10) << 768 << QPoint(1131, 10);
  }
  void toolPanelPlacement() {
    QFETCH(QPoint, cursor);
    QFETCH(int, screenHeight);
    QFETCH(QPoint, expected);
    QCOMPARE(ToolPanelPos(cursor, 148, 25, screenHeight), expected);
  }

  void formDefinition() {
    TfrmCapture form;
    QCOMPARE(form.objectName(), QStringLiteral("frmCapture"));
    QVERIFY(form.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(form.geometry(), QRect(QPoint(0, 0), QGuiApplication::primaryScreen()->geometry().size()));
    QCOMPARE(form.pnlTool->size(), QSize(148, 25));
    QCOMPARE(form.pnlTool->frameShape(), QFrame::NoFrame);
    QCOMPARE(form.btnCancel->parentWidget(), form.pnlTool);
    QCOMPARE(form.btnOK->parentWidget(), form.pnlTool);
    QCOMPARE(form.btnCancel->geometry(), QRect(0, 0, 75, 25));
    QCOMPARE(form.btnOK->geometry(), QRect(72, 0, 75, 25));
    QCOMPARE(form.btnCancel->text(), QStringLiteral("取消"));
    QCOMPARE(form.btnOK->text(), QStringLiteral("完成"));
    for (QPushButton *b : {form.btnOK, form.btnCancel})
      QVERIFY(!b->isDefault() && !b->autoDefault());
    QCOMPARE(form.img1->objectName(), QStringLiteral("img1"));
    QCOMPARE(form.img1->MouseInteract(), TIEMouseInteract(miSelect));
    QCOMPARE(form.img1->Zoom(), 100.0);
    QCOMPARE(form.img1->frameShape(), QFrame::NoFrame);
    QCOMPARE(form.font().pixelSize(), 13);
  }

  void buttonsTranslated_data() {
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<QString>("ok");
    QTest::addColumn<QString>("cancel");
    QTest::newRow("both keys") << QStringList{"btnOK=Fertig", "btnCancel=Abbrechen"} << "Fertig"
                               << "Abbrechen";
    QTest::newRow("other letter case, first line wins")
        << QStringList{"BTNOK=Done", "btnok=Later", "BtnCancel=Cancel"} << "Done"
        << "Cancel";
    QTest::newRow("empty value") << QStringList{"btnOK=", "btnCancel=No = never"} << ""
                                 << "No = never";
    QTest::newRow("no keys: the placeholders") << QStringList{"btnOK =Done", "[btnCancel]"} << "完成"
                                               << "取消";
  }
  void buttonsTranslated() {
    QFETCH(QStringList, table);
    QFETCH(QString, ok);
    QFETCH(QString, cancel);
    LangList = &table;
    TfrmCapture form;
    QCOMPARE(form.btnOK->text(), ok);
    QCOMPARE(form.btnCancel->text(), cancel);
  }

  // With the program's own data module: its language file and image list.
  void withTheProgramsData() {
    TTestAppFolder folder;
    QVERIFY(folder.IsValid());
    TdmMain dm(nullptr, folder.Path());
    TfrmCapture form;
    QCOMPARE(form.btnOK->text(), GetLangText("btnOK"));
    QCOMPARE(form.btnCancel->text(), GetLangText("btnCancel"));
    QVERIFY(form.btnOK->text() != QStringLiteral("btnOK"));
    QCOMPARE(form.btnOK->icon().name(), dm.imgLst16->Icon(3).name());
    QCOMPARE(form.btnCancel->icon().name(), dm.imgLst16->Icon(4).name());
    QVERIFY(!form.btnOK->icon().isNull() && !form.btnCancel->icon().isNull());
    QVERIFY(form.btnOK->icon().name() != form.btnCancel->icon().name());
  }

  void shownLayout() {
    TfrmCapture form;
    QVERIFY(showReady(form, ImgTestFiles::Pattern(100, 80, QImage::Format_RGB32)));
    QCOMPARE(form.img1->geometry(), form.rect());
    // The view lies behind the tool panel.
    const QObjectList children = form.children();
    QVERIFY(children.indexOf(form.img1) < children.indexOf(form.pnlTool));
    QCOMPARE(form.img1->MouseWheelParams().Action, iemwNone);
    QCOMPARE(form.img1->Cursor(), int(crIECapture));
    QVERIFY(!form.img1->Center());
    // One picture pixel per screen pixel from the top-left corner, also for
    // a picture smaller than the window.
    QCOMPARE(form.img1->BitmapToClient(QPointF(0, 0)), QPointF(0, 0));
    QCOMPARE(form.img1->BitmapToClient(QPointF(60, 70)), QPointF(60, 70));
  }

  void initGrabsTheDesktop() {
    TfrmCapture form;
    form.pnlTool->show();
    form.img1->IO().LoadFromImage(ImgTestFiles::Pattern(50, 50, QImage::Format_RGB32));
    form.img1->Select(QRect(1, 1, 10, 10));
    form.Init();
    QCOMPARE(form.img1->IEBitmap()->Image().size(), QGuiApplication::primaryScreen()->virtualGeometry().size());
    QVERIFY(!form.img1->Selected());
    QVERIFY(form.pnlTool->isHidden());
    QVERIFY(form.CopySelectionToBitmap().isNull());
  }

  void aDragSelectsAndPlacesThePanel_data() {
    QTest::addColumn<QPoint>("cursor");
    QTest::newRow("middle") << QPoint(500, 300);
    QTest::newRow("near the left edge") << QPoint(100, 300);
    QTest::newRow("near the bottom") << QPoint(300, QGuiApplication::primaryScreen()->geometry().height() - 10);
  }
  void aDragSelectsAndPlacesThePanel() {
    QFETCH(QPoint, cursor);
    TfrmCapture form;
    QVERIFY(showReady(form, ImgTestFiles::Pattern(640, 480, QImage::Format_RGB32)));
    drag(form, QPoint(20, 30), QPoint(120, 90), cursor);
    QCOMPARE(form.img1->SelectedRect(), QRect(20, 30, 100, 60));
    QVERIFY(form.pnlTool->isVisible());
    const int screenHeight = QGuiApplication::primaryScreen()->geometry().height();
    QCOMPARE(form.pnlTool->mapToGlobal(QPoint(0, 0)), ToolPanelPos(cursor, 148, 25, screenHeight));
    QVERIFY(form.isVisible()); // a selection confirms nothing
  }

  // How the window closes: the result and whether it is gone.
  void closing_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("Esc in the picture") << "esc-view" << int(QDialog::Rejected);
    QTest::newRow("Esc on the OK button") << "esc-ok" << int(QDialog::Rejected);
    QTest::newRow("Esc through the view's own handler") << "view-handler" << int(QDialog::Rejected);
    QTest::newRow("right button in the picture") << "right" << int(QDialog::Rejected);
    QTest::newRow("Cancel clicked") << "cancel" << int(QDialog::Rejected);
    QTest::newRow("OK clicked") << "ok" << int(QDialog::Accepted);
  }
  void closing() {
    QFETCH(QString, how);
    QFETCH(int, result);
    TfrmCapture form;
    QVERIFY(showReady(form, ImgTestFiles::Pattern(640, 480, QImage::Format_RGB32)));
    drag(form, QPoint(10, 10), QPoint(200, 100), QPoint(400, 300));
    QVERIFY(form.pnlTool->isVisible());
    if (how == "esc-view") {
      QTest::keyClick(form.img1, Qt::Key_Escape);
    } else if (how == "esc-ok") {
      form.btnOK->setFocus();
      QTest::keyClick(form.btnOK, Qt::Key_Escape);
    } else if (how == "view-handler") {
      QChar key(27);
      emit form.img1->KeyPress(key);
    } else if (how == "right") {
      QTest::mouseClick(form.img1->viewport(), Qt::RightButton, {}, QPoint(300, 200));
    } else if (how == "cancel") {
      QTest::mouseClick(form.btnCancel, Qt::LeftButton);
    } else {
      QTest::mouseClick(form.btnOK, Qt::LeftButton);
    }
    QCOMPARE(form.result(), result);
    QVERIFY(!form.isVisible());
    // The selection survives for the caller to copy.
    QCOMPARE(form.CopySelectionToBitmap().size(), QSize(190, 90));
  }

  void enterConfirmsNothing_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("key");
    QTest::newRow("Return in the picture") << "view" << int(Qt::Key_Return);
    QTest::newRow("Enter in the picture") << "view" << int(Qt::Key_Enter);
    QTest::newRow("Return on OK") << "ok" << int(Qt::Key_Return);
    QTest::newRow("Return on Cancel") << "cancel" << int(Qt::Key_Return);
    QTest::newRow("Return to the form") << "form" << int(Qt::Key_Return);
  }
  void enterConfirmsNothing() {
    QFETCH(QString, target);
    QFETCH(int, key);
    TfrmCapture form;
    QVERIFY(showReady(form, ImgTestFiles::Pattern(640, 480, QImage::Format_RGB32)));
    drag(form, QPoint(10, 10), QPoint(200, 100), QPoint(400, 300));
    QWidget *w = target == "view"     ? static_cast<QWidget *>(form.img1)
                 : target == "ok"     ? static_cast<QWidget *>(form.btnOK)
                 : target == "cancel" ? static_cast<QWidget *>(form.btnCancel)
                                      : static_cast<QWidget *>(&form);
    w->setFocus();
    QTest::keyClick(w, Qt::Key(key));
    QVERIFY(form.isVisible());
    QCOMPARE(form.result(), -1);
  }

  // The form sees keys before the view: Esc never reaches the view's key
  // handler, other keys do.
  void theFormSeesKeysFirst() {
    TfrmCapture form;
    QVERIFY(showReady(form, ImgTestFiles::Pattern(640, 480, QImage::Format_RGB32)));
    QSignalSpy viewKeys(form.img1, &TImageEnVect::KeyPress);
    QTest::keyClick(form.img1, Qt::Key_A);
    QCOMPARE(viewKeys.count(), 1);
    QVERIFY(form.isVisible());
    keyPressOf(form.img1, Qt::Key_Escape);
    QCOMPARE(viewKeys.count(), 1);
    QCOMPARE(form.result(), int(QDialog::Rejected));
  }

  void copyOfTheSelection_data() {
    QTest::addColumn<QRect>("selected");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("inside") << QRect(20, 50, 40, 50) << QRect(20, 50, 40, 50);
    QTest::newRow("one pixel") << QRect(299, 199, 1, 1) << QRect(299, 199, 1, 1);
    QTest::newRow("the whole picture") << QRect(0, 0, 300, 200) << QRect(0, 0, 300, 200);
    QTest::newRow("over the edges: clipped") << QRect(250, 150, 100, 100) << QRect(250, 150, 50, 50);
  }
  void copyOfTheSelection() {
    QFETCH(QRect, selected);
    QFETCH(QRect, expected);
    TfrmCapture form;
    const QImage grab = ImgTestFiles::Pattern(300, 200, QImage::Format_RGB32);
    form.img1->IO().LoadFromImage(grab);
    form.img1->Select(selected);
    const QImage bmp = form.CopySelectionToBitmap();
    QCOMPARE(bmp.format(), QImage::Format_RGB888);
    QCOMPARE(bmp.size(), expected.size());
    for (int y = 0; y < bmp.height(); ++y)
      for (int x = 0; x < bmp.width(); ++x)
        if (bmp.pixel(x, y) != grab.pixel(expected.x() + x, expected.y() + y))
          QFAIL(qPrintable(QStringLiteral("pixel %1,%2 differs").arg(x).arg(y)));
  }

  void noSelectionGivesAnEmptyImage() {
    TfrmCapture form;
    form.img1->IO().LoadFromImage(ImgTestFiles::Pattern(300, 200, QImage::Format_RGB32));
    QVERIFY(form.CopySelectionToBitmap().isNull());
    form.img1->Select(QRect(10, 10, 20, 20));
    form.img1->DeSelect();
    QVERIFY(form.CopySelectionToBitmap().isNull());
    form.img1->Select(QRect(400, 400, 20, 20)); // outside the picture
    QVERIFY(form.CopySelectionToBitmap().isNull());
    // A click without a drag removes the selection.
    QVERIFY(showReady(form, ImgTestFiles::Pattern(300, 200, QImage::Format_RGB32)));
    form.img1->Select(QRect(10, 10, 20, 20));
    QTest::mouseClick(form.img1->viewport(), Qt::LeftButton, {}, QPoint(50, 50));
    QVERIFY(form.CopySelectionToBitmap().isNull());
    QVERIFY(form.isVisible());
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
