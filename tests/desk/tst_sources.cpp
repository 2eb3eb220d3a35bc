#include "uDeskFixture.h"

#include "uIEBitmap.h"
#include "uImageEnVect.h"
#include "uImageFile.h"
#include "uImportPDFOptions.h"
#include "uPageControl.h"
#include "uPDFDocument.h"
#include "uRichViewEdit.h"
#include "uStatusBar.h"

#include <QAction>
#include <QDialog>
#include <QPdfWriter>
#include <QScrollBar>
#include <QtTest>

// Source images: the thumbnail list and the current image, the imports and
// the removal of images, through the workspace and the main window.
class TestSources : public QObject {
  Q_OBJECT

  static QString png(TDeskFixture &desk, const QString &name, QSize size, const QColor &c = Qt::white) {
    return WriteTestImage(desk.App.File(name), size, c);
  }
  static void importFiles(TDeskFixture &desk, const QStringList &files) {
    desk.Dialogs->OpenAnswers = {files};
    desk.Run("actSrc_ImportFiles");
  }
  static void importDir(TDeskFixture &desk, const QString &dir) {
    desk.Dialogs->FolderAnswers = {dir};
    desk.Run("actSrc_ImportDir");
  }
  static QString makePdf(const QString &path, int pages) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QPdfWriter writer(path);
    writer.setResolution(72);
    QPainter p(&writer);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(40);
    p.setFont(f);
    for (int i = 1; i <= pages; ++i) {
      if (i > 1)
        writer.newPage();
      p.drawText(100, 200, QStringLiteral("Page %1").arg(i));
    }
    return path;
  }

private slots:
  void zoomRules_data() {
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("widthDelta"); // against the client width of tsImage
    QTest::addColumn<bool>("fitted");
    QTest::newRow("one entry, wider") << 1 << 300 << false;
    QTest::newRow("two entries, wider") << 2 << 300 << true;
    QTest::newRow("two entries, exactly as wide") << 2 << 0 << false;
    QTest::newRow("two entries, narrower") << 2 << -100 << false;
  }
  void zoomRules() {
    QFETCH(int, entries);
    QFETCH(int, widthDelta);
    QFETCH(bool, fitted);
    TDeskFixture desk;
    importFiles(desk, {png(desk, "in/first.png", {100, 100})});
    const int sheetWidth = desk.Fra()->tsImage->width();
    QStringList more;
    for (int i = 1; i < entries; ++i)
      more.append(png(desk, QStringLiteral("in/more%1.png").arg(i), {50, 50}));
    if (!more.isEmpty())
      importFiles(desk, more);
    const QString wide = png(desk, "in/wide.png", {sheetWidth + widthDelta, 200});
    if (entries == 1) {
      desk.Dialogs->BoxAnswers = {IDYES};
      desk.Fra()->ClearAll();
    }
    const int idx = desk.Fra()->AddImageFile(wide);
    desk.Fra()->ShowImage(idx);
    if (fitted)
      QVERIFY(desk.Fra()->imgRaw->Zoom() < 100);
    else
      QCOMPARE(desk.Fra()->imgRaw->Zoom(), 100.0);
  }

  void tallImageIsShownFromTheTop_data() {
    QTest::addColumn<int>("heightDelta");
    QTest::addColumn<bool>("tall");
    QTest::newRow("taller") << 400 << true;
    QTest::newRow("exactly as tall") << 0 << false;
  }
  void tallImageIsShownFromTheTop() {
    QFETCH(int, heightDelta);
    QFETCH(bool, tall);
    TDeskFixture desk;
    importFiles(desk, {png(desk, "in/a.png", {50, 50})});
    const int h = desk.Fra()->tsImage->height() + heightDelta;
    const int idx = desk.Fra()->AddImageFile(png(desk, "in/tall.png", {100, h}));
    desk.Fra()->imgRaw->SetViewXY(0, 0);
    desk.Fra()->ShowImage(idx);
    QCOMPARE(desk.Fra()->imgRaw->ViewY(), 0);
    QCOMPARE(desk.Fra()->imgRaw->IEBitmap()->Height(), h);
    Q_UNUSED(tall);
  }

  void pickingTheCurrentImageAgainDoesNothing() {
    TDeskFixture desk;
    importFiles(desk, {png(desk, "in/a.png", {60, 60}, Qt::red), png(desk, "in/b.png", {60, 60}, Qt::blue)});
    int changes = 0;
    const TChangeCurItem mainHandler = desk.Fra()->OnChangeCurItem();
    desk.Fra()->SetOnChangeCurItem([&] {
      ++changes;
      mainHandler();
    });
    desk.Fra()->imgRaw->IEBitmap()->Fill(Qt::green); // an edit that a reload would lose
    desk.Fra()->imgMViewListImageSelect(0);
    QCOMPARE(changes, 0);
    QCOMPARE(desk.Fra()->imgRaw->IEBitmap()->Image().pixelColor(5, 5), QColor(Qt::green));
    desk.Fra()->imgMViewListImageSelect(1);
    QCOMPARE(changes, 1);
    QCOMPARE(desk.Fra()->CurIdx(), 1);
    QCOMPARE(desk.Main->rbnStatusMain->PanelText(0),
             QStringLiteral("Images: 2    Current image: %1").arg(desk.App.File("in/b.png")));
  }

  void folderImportLeavesTheSelectionOnTheFirstImage() {
    TDeskFixture desk;
    for (const char *n : {"b.png", "a.PNG", "c.jpg"})
      png(desk, QStringLiteral("dir1/%1").arg(QLatin1String(n)), {40, 40});
    png(desk, "dir1/sub/deep.png", {40, 40});
    png(desk, "dir1/.hidden.png", {40, 40});
    desk.App.Write("dir1/notes.txt", "text");
    desk.App.Write("dir1/broken.png", "not a picture");
    for (const char *n : {"x.png", "y.png"})
      png(desk, QStringLiteral("dir2/%1").arg(QLatin1String(n)), {40, 40});
    importDir(desk, desk.App.File("dir1"));
    QCOMPARE(desk.List()->ImageCount(), 4); // a, b, broken, c
    QCOMPARE(QFileInfo(desk.List()->ImageFileName(0)).fileName(), QStringLiteral("a.PNG"));
    QCOMPARE(IniOptions->ParamCurPath(), desk.App.File("dir1"));
    importDir(desk, desk.App.File("dir2"));
    QCOMPARE(desk.List()->ImageCount(), 6);
    QCOMPARE(desk.List()->SelectedImage(), 0);
    QCOMPARE(desk.Fra()->CurIdx(), 0);
    // The same folder again lists its images twice.
    importDir(desk, desk.App.File("dir2"));
    QCOMPARE(desk.List()->ImageCount(), 8);
  }

  void fileImportShowsTheFirstNewFileFolderImportTheFirstOfAll() {
    TDeskFixture desk;
    QStringList five;
    for (int i = 0; i < 5; ++i)
      five.append(png(desk, QStringLiteral("five/%1.png").arg(i), {30, 30}));
    importDir(desk, desk.App.File("five"));
    importFiles(desk, {png(desk, "three/a.png", {30, 30}), png(desk, "three/b.png", {30, 30}),
                       png(desk, "three/c.png", {30, 30})});
    QCOMPARE(desk.List()->ImageCount(), 8);
    QCOMPARE(desk.List()->SelectedImage(), 5);
    QCOMPARE(desk.Fra()->CurIdx(), 5);
    QCOMPARE(desk.List()->ImageBottomText(5), QStringLiteral("a.png"));
    QCOMPARE(IniOptions->ParamCurFile(), desk.App.File("three/a.png"));
    importDir(desk, desk.App.File("three"));
    QCOMPARE(desk.List()->SelectedImage(), 0);
  }

  void removingThumbnails_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("removed");
    QTest::addColumn<int>("selectedAfter");
    QTest::newRow("third of five") << 5 << 2 << 2;
    QTest::newRow("last of five") << 5 << 4 << 3;
    QTest::newRow("the only one") << 1 << 0 << -1;
  }
  void removingThumbnails() {
    QFETCH(int, count);
    QFETCH(int, removed);
    QFETCH(int, selectedAfter);
    TDeskFixture desk;
    QStringList files;
    for (int i = 0; i < count; ++i)
      files.append(png(desk, QStringLiteral("rm/%1.png").arg(i), {40 + i, 40}, QColor(i * 40, 0, 0)));
    importFiles(desk, files);
    desk.List()->SetSelectedImage(removed);
    desk.Dialogs->BoxAnswers = {IDYES};
    desk.Fra()->actSrc_RemoveSel->trigger();
    QCOMPARE(desk.List()->ImageCount(), count - 1);
    QCOMPARE(desk.List()->SelectedImage(), selectedAfter);
    QCOMPARE(desk.Fra()->CurIdx(), selectedAfter);
    QVERIFY(QFile::exists(files.at(removed))); // files stay on disk
    if (selectedAfter >= 0)
      QCOMPARE(desk.Fra()->imgRaw->IEBitmap()->Width(), 40 + (selectedAfter >= removed ? selectedAfter + 1 : selectedAfter));
  }

  void removeAndClearAsk() {
    TDeskFixture desk;
    desk.Fra()->RemoveSel(); // nothing selected: a warning
    QCOMPARE(desk.Dialogs->Calls.last().Flags, unsigned(MB_ICONWARNING));
    QCOMPARE(desk.Dialogs->Calls.last().Text, QStringLiteral("Select an image in the list first."));
    importFiles(desk, {png(desk, "q/a.png", {20, 20})});
    desk.Dialogs->BoxAnswers = {IDNO};
    desk.Fra()->RemoveSel();
    QCOMPARE(desk.List()->ImageCount(), 1);
    desk.Dialogs->BoxAnswers = {IDNO};
    desk.Fra()->ClearAll();
    QCOMPARE(desk.List()->ImageCount(), 1);
    desk.Dialogs->BoxAnswers = {IDYES};
    desk.Fra()->ClearAll();
    QCOMPARE(desk.List()->ImageCount(), 0);
    QCOMPARE(desk.Fra()->CurIdx(), -1);
    desk.Dialogs->Calls.clear();
    desk.Fra()->ClearAll(); // asks also on an empty list
    QCOMPARE(desk.Dialogs->Calls.size(), 1);
    QCOMPARE(desk.Dialogs->Calls.first().Flags, unsigned(MB_YESNO | MB_ICONWARNING));
  }

  void deletedFileIsReportedAndNothingElseChanges() {
    TDeskFixture desk;
    const QString a = png(desk, "d/a.png", {30, 30}, Qt::red);
    const QString b = png(desk, "d/b.png", {30, 30}, Qt::blue);
    importFiles(desk, {a, b});
    desk.Fra()->ShowImage(0);
    const QString status = desk.Main->rbnStatusMain->PanelText(0);
    QFile::remove(b);
    desk.Fra()->imgMViewListImageSelect(1);
    QCOMPARE(desk.Dialogs->OfKind("box").last().Text, QStringLiteral("The image file no longer exists."));
    QCOMPARE(desk.Fra()->CurIdx(), 0);
    QCOMPARE(desk.List()->SelectedImage(), 0);
    QCOMPARE(desk.Main->rbnStatusMain->PanelText(0), status);
    QCOMPARE(desk.Fra()->imgRaw->IEBitmap()->Image().pixelColor(1, 1), QColor(Qt::red));
  }

  void unreadableFileCanBePickedAgain() {
    TDeskFixture desk;
    const QString good = png(desk, "u/good.png", {30, 30});
    desk.App.Write("u/bad.png", "garbage");
    importFiles(desk, {good});
    const int bad = desk.Fra()->AddImageFile(desk.App.File("u/bad.png"));
    desk.List()->SelectByUser(bad); // a click; the failure goes to the default handler
    QCOMPARE(desk.Dialogs->OfKind("box").last().Flags, unsigned(MB_ICONERROR));
    QCOMPARE(desk.Fra()->CurIdx(), -1);
    WriteTestImage(desk.App.File("u/bad.png"), {44, 33}, Qt::green); // mended on disk
    desk.List()->SelectByUser(bad);
    QCOMPARE(desk.Fra()->CurIdx(), bad);
    QCOMPARE(desk.Fra()->imgRaw->IEBitmap()->Width(), 44);
  }

  void tooLargePictureIsRefused() {
    TDeskFixture desk;
    // A PNG header claiming 100000 x 100000 pixels.
    QByteArray bytes = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000186a0000186a00802000000");
    bytes += QByteArray(4, '\0');
    desk.App.Write("big/huge.png", bytes);
    importFiles(desk, {desk.App.File("big/huge.png")});
    QCOMPARE(desk.List()->ImageCount(), 1);
    QCOMPARE(desk.Dialogs->OfKind("box").last().Flags, unsigned(MB_ICONERROR));
    QVERIFY(desk.Dialogs->OfKind("box").last().Text.contains("huge.png"));
  }

  void checkpointsFollowTheCurrentImage() {
    TDeskFixture desk;
    const QString a = png(desk, "c/a.png", {30, 30});
    const QString b = png(desk, "c/b.png", {30, 30});
    importFiles(desk, {a, b});
    TRichViewEdit *r = desk.Fra()->rveResult;
    for (int i = 0; i < 60; ++i)
      r->AddText(QStringLiteral("\nfiller %1").arg(i), 0);
    r->AddNamedCheckpoint(b);
    r->AddText(QStringLiteral("\ntext of b"), 0);
    r->AddNamedCheckpoint(QString(b).replace("b.png", "B.png")); // another case, another name
    r->AddText(QStringLiteral("\nother"), 0);
    r->ReformatAll();
    desk.Fra()->SetOCRView(VBoth);
    r->ScrollTo(0);
    desk.Fra()->imgMViewListImageSelect(1);
    QCOMPARE(r->verticalScrollBar()->value(), qMin(r->GetCheckpointYEx(r->FindCheckpointByName(b)), r->verticalScrollBar()->maximum()));
    QVERIFY(r->verticalScrollBar()->value() > 0);
    // In the image view nothing scrolls.
    desk.Fra()->SetOCRView(VImage);
    desk.Fra()->imgMViewListImageSelect(0);
    r->ScrollTo(0);
    desk.Fra()->imgMViewListImageSelect(1);
    QCOMPARE(r->verticalScrollBar()->value(), 0);
  }

  void addImageFileIndexesAndCaptions() {
    TDeskFixture desk;
    QCOMPARE(desk.Fra()->AddImageFile(png(desk, "n/one.png", {10, 10})), 0);
    for (int i = 0; i < 4; ++i)
      desk.Fra()->AddImageFile(png(desk, QStringLiteral("n/%1.png").arg(i), {10, 10}));
    QCOMPARE(desk.Fra()->AddImageFile(png(desk, "n/six.jpeg", {10, 10})), 5);
    QCOMPARE(desk.List()->ImageBottomText(5), QStringLiteral("six.jpeg"));
    QCOMPARE(desk.List()->SelectedImage(), -1);
  }

  void showInFileManager() {
    TDeskFixture desk;
    desk.Fra()->actList_ShowInExplore->trigger();
    QVERIFY(desk.Desktop->Shown.isEmpty());
    const QString a = png(desk, "f/a.png", {10, 10});
    importFiles(desk, {a});
    desk.Fra()->actList_ShowInExplore->trigger();
    QCOMPARE(desk.Desktop->Shown, QStringList{a});
  }

  void pdfImportFillsTheListInNameOrder() {
    TDeskFixture desk;
    const QString pdf = makePdf(desk.App.File("docs/Report.pdf"), 12);
    QDir().mkpath(desk.App.File("export"));
    desk.Dialogs->OnForm = [&](QDialog *dialog) {
      auto *form = qobject_cast<TfrmImportPDFOptions *>(dialog);
      if (!form)
        return int(QDialog::Rejected);
      desk.Dialogs->OpenAnswers = {{pdf}};
      form->actSelFileExecute();
      desk.Dialogs->FolderAnswers = {desk.App.File("export")};
      form->actSelDirExecute();
      form->actOKExecute();
      return form->result();
    };
    desk.Run("actSrc_ImportPDF");
    QCOMPARE(desk.List()->ImageCount(), 12);
    QStringList names;
    for (int i = 0; i < 5; ++i)
      names.append(desk.List()->ImageBottomText(i));
    QCOMPARE(names, (QStringList{"IMG_1.bmp", "IMG_10.bmp", "IMG_11.bmp", "IMG_12.bmp", "IMG_2.bmp"}));
    QCOMPARE(IniOptions->ParamCurPath(), desk.App.File("export/Report"));
    QCOMPARE(desk.List()->SelectedImage(), 0);
    QVERIFY(desk.Main->HasData());
    QCOMPARE(desk.Main->pcMain->ActivePage(), desk.Main->tsOCR);
  }

  void cancelledPdfImportOnAnEmptyListStaysOnTheGuide() {
    TDeskFixture desk;
    desk.Run("actSrc_ImportPDF");
    QCOMPARE(desk.Dialogs->OfKind("form").size(), 1);
    QVERIFY(!desk.Main->HasData());
    QCOMPARE(desk.Main->pcMain->ActivePage(), desk.Main->tsGuide);
  }

  void damagedPdfIsReportedAndNothingIsAdded() {
    TDeskFixture desk;
    desk.App.Write("docs/broken.pdf", "%PDF-1.4\nthis is not really a document");
    desk.Dialogs->OnForm = [&](QDialog *dialog) {
      auto *form = qobject_cast<TfrmImportPDFOptions *>(dialog);
      desk.Dialogs->OpenAnswers = {{desk.App.File("docs/broken.pdf")}};
      form->actSelFile->trigger(); // through the default handler
      return int(QDialog::Rejected);
    };
    desk.Run("actSrc_ImportPDF");
    QCOMPARE(desk.List()->ImageCount(), 0);
    QCOMPARE(desk.Dialogs->OfKind("box").size(), 1);
    QCOMPARE(desk.Dialogs->OfKind("box").first().Flags, unsigned(MB_ICONERROR));
  }
};

QTEST_MAIN(TestSources)
#include "tst_sources.moc"
