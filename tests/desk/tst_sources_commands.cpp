#include "tst_sources_support.h"
#include "uButtonEdit.h"
#include "uImageFile.h"
#include "uImportPDFOptions.h"
#include "uPDFDocument.h"
#include "uRichViewEdit.h"
#include "uSpinEdit.h"
#include "uStatusBar.h"
#include "uThumbList.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QtTest>

// The source commands through the main window: file, folder and PDF imports,
// removing and clearing thumbnails, showing a file in the file manager, and
// the has-data flag, page and status line after each command.
class TestSourceCommands : public QObject {
  Q_OBJECT

  static QString status(const TDeskFixture &desk) { return desk.Main->rbnStatusMain->PanelText(0); }

  // Pictures 0 .. n-1 of distinct sizes (40 + 10 i by 30 + 10 i).
  static QStringList pictures(const TDeskFixture &desk, const QString &folder, int n, int first = 0) {
    QStringList out;
    for (int i = first; i < first + n; ++i)
      out << WritePicture(desk.App.File(QStringLiteral("%1/p%2.png").arg(folder).arg(i)), {40 + 10 * i, 30 + 10 * i});
    return out;
  }
  static QSize sizeOf(int i) { return {40 + 10 * i, 30 + 10 * i}; }

  static void importFiles(TDeskFixture &desk, const QStringList &files) {
    desk.Dialogs->OpenAnswers = {files};
    desk.Run("actSrc_ImportFiles");
  }
  static void importDir(TDeskFixture &desk, const QString &dir) {
    desk.Dialogs->FolderAnswers = {dir};
    desk.Run("actSrc_ImportDir");
  }
  static QStringList paths(const TDeskFixture &desk) {
    QStringList out;
    for (int i = 0; i < desk.List()->ImageCount(); ++i)
      out << desk.List()->ImageFileName(i);
    return out;
  }
  static QStringList captions(const TDeskFixture &desk) {
    QStringList out;
    for (int i = 0; i < desk.List()->ImageCount(); ++i)
      out << desk.List()->ImageBottomText(i);
    return out;
  }
  static QStringList entriesOf(const QString &dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  }
  static bool allBackground(const TImageEnVect *v) {
    const QImage img = v->IEBitmap()->Image();
    for (int y = 0; y < img.height(); y += 7)
      for (int x = 0; x < img.width(); x += 7)
        if (img.pixelColor(x, y) != v->Background())
          return false;
    return true;
  }
  static double fitZoom(const TImageEnVect *v) {
    const QSize s(v->IEBitmap()->Width(), v->IEBitmap()->Height());
    const double fullW = v->width() - 2 * v->frameWidth();
    const double fullH = v->height() - 2 * v->frameWidth();
    return qMin(100.0 * fullW / s.width(), 100.0 * fullH / s.height());
  }

  // Runs the PDF import dialog the way a user fills it: `steps` gets the form.
  static void answerPdfDialog(TDeskFixture &desk, std::function<void(TfrmImportPDFOptions *)> steps) {
    desk.Dialogs->OnForm = [&desk, steps](QDialog *dialog) {
      auto *form = qobject_cast<TfrmImportPDFOptions *>(dialog);
      if (!form)
        return int(QDialog::Rejected);
      steps(form);
      // A form still open after the steps is closed by the user.
      return form->result() == QDialog::Accepted ? int(QDialog::Accepted) : int(QDialog::Rejected);
    };
  }
  static void choosePdf(TDeskFixture &desk, TfrmImportPDFOptions *form, const QString &pdf) {
    desk.Dialogs->OpenAnswers = {{pdf}};
    form->actSelFile->trigger(); // as the button does, through the default handler
  }
  static void chooseFolder(TDeskFixture &desk, TfrmImportPDFOptions *form, const QString &dir) {
    desk.Dialogs->FolderAnswers = {dir};
    form->actSelDir->trigger();
  }

private slots:
  void init() { qputenv("QT_QPA_PLATFORM", "offscreen"); }

  // ------------------------------------------------------------ imports

  void filesVersusFolderIntoAListOfFive_data() {
    QTest::addColumn<bool>("folder");
    QTest::newRow("files") << false;
    QTest::newRow("folder") << true;
  }
  void filesVersusFolderIntoAListOfFive() {
    QFETCH(bool, folder);
    TDeskFixture desk;
    const QStringList five = pictures(desk, "five", 5);
    for (const QString &p : five)
      desk.Fra()->AddImageFile(p);
    const QStringList three = pictures(desk, "three", 3, 5); // p5, p6, p7
    IniOptions->SetParamCurFile(desk.App.File("earlier/last.png"));
    QDir().mkpath(desk.App.File("earlier"));
    IniOptions->SetParamCurPath(desk.App.File("earlier"));
    TChangeProbe probe(desk);

    if (folder)
      importDir(desk, desk.App.File("three"));
    else
      importFiles(desk, {three.at(2), three.at(0), three.at(1)}); // in the dialog's order
    QCOMPARE(desk.List()->ImageCount(), 8);
    QCOMPARE(paths(desk).mid(0, 5), five);
    QCOMPARE(probe.Count, 1);
    QVERIFY(desk.Main->HasData());
    QCOMPARE(desk.Main->pcMain->ActivePage(), desk.Main->tsOCR);
    if (folder) {
      const TDialogCall call = desk.Dialogs->OfKind("folder").first();
      QCOMPARE(call.Caption, QStringLiteral("Select a folder"));
      QCOMPARE(call.Request.InitialDir, desk.App.File("earlier"));
      QVERIFY(!call.Request.NewFolderButton);
      QCOMPARE(paths(desk).mid(5), three);
      QCOMPARE(desk.Fra()->CurIdx(), 0);
      QCOMPARE(desk.List()->SelectedImage(), 0);
      QCOMPARE(ShownSize(desk), sizeOf(0));
      QCOMPARE(IniOptions->ParamCurPath(), desk.App.File("three"));
      QCOMPARE(IniOptions->ParamCurFile(), desk.App.File("earlier/last.png"));
      QCOMPARE(status(desk), QStringLiteral("Images: 8    Current image: %1").arg(five.at(0)));
    } else {
      const TDialogCall call = desk.Dialogs->OfKind("open").first();
      QCOMPARE(call.Request.InitialDir, desk.App.File("earlier/"));
      QVERIFY(call.Request.MultiSelect);
      QCOMPARE(call.Request.Filter, ImageOpenFilter());
      QCOMPARE(paths(desk).mid(5), (QStringList{three.at(2), three.at(0), three.at(1)}));
      QCOMPARE(captions(desk).mid(5), (QStringList{"p7.png", "p5.png", "p6.png"}));
      QCOMPARE(desk.Fra()->CurIdx(), 5);
      QCOMPARE(desk.List()->SelectedImage(), 5);
      QCOMPARE(ShownSize(desk), sizeOf(7));
      QCOMPARE(IniOptions->ParamCurFile(), three.at(2));
      QCOMPARE(IniOptions->ParamCurPath(), desk.App.File("earlier"));
      QCOMPARE(status(desk), QStringLiteral("Images: 8    Current image: %1").arg(three.at(2)));
    }
  }

  void folderImportTakesTheImagesOfTheFolderOnly() {
    TDeskFixture desk;
    const QString dir = desk.App.File("mixed");
    WritePicture(dir + "/d.tif", {20, 20}, Qt::red, 200);
    WritePicture(dir + "/B.PNG", {21, 20}, Qt::red, 150);
    WritePicture(dir + "/a.jpg", {22, 20}, Qt::red, 72);
    WritePicture(dir + "/c.bmp", {23, 20});
    WritePicture(dir + "/e.webp", {24, 20});
    WritePicture(dir + "/f.ppm", {25, 20});
    QVERIFY(WriteBytes(dir + "/zz_broken.png", "no picture")); // taken by its extension
    WriteOversizedPng(dir + "/g_huge.png", 100000, 100000);
    QVERIFY(WriteBytes(dir + "/notes.txt", "text"));
    QVERIFY(WriteBytes(dir + "/clip.avi", "video"));
    WritePicture(dir + "/.hidden.png", {26, 20});
    WritePicture(dir + "/sub/deep.png", {27, 20});
    TChangeProbe probe(desk);
    importDir(desk, dir);
    QCOMPARE(captions(desk),
             (QStringList{"a.jpg", "B.PNG", "c.bmp", "d.tif", "e.webp", "f.ppm", "g_huge.png", "zz_broken.png"}));
    for (int i = 0; i < desk.List()->ImageCount(); ++i)
      QCOMPARE(desk.List()->ImageFileName(i), dir + u'/' + desk.List()->ImageBottomText(i));
    // The thumbnails are made on the list's threads when asked for; the
    // picture too large to decode and the broken file give empty ones.
    for (int i = 0; i < desk.List()->ImageCount(); ++i)
      desk.List()->RequestPicture(i);
    auto settled = [&desk] {
      for (int i = 0; i < desk.List()->ImageCount(); ++i)
        if (desk.List()->PictureState(i) == TThumbState::OnDemand ||
            desk.List()->PictureState(i) == TThumbState::Loading)
          return false;
      return true;
    };
    QTRY_VERIFY_WITH_TIMEOUT(settled(), 20000);
    for (int i = 0; i < desk.List()->ImageCount(); ++i)
      QCOMPARE(desk.List()->PictureState(i), i >= 6 ? TThumbState::Empty : TThumbState::Ready);
    QCOMPARE(desk.Fra()->CurIdx(), 0);
    QCOMPARE(desk.List()->SelectedImage(), 0);
    QCOMPARE(ShownSize(desk), QSize(22, 20));
    QCOMPARE(desk.Fra()->GetDPI(), 72);
    QCOMPARE(probe.Count, 1);
    QVERIFY(desk.Dialogs->OfKind("box").isEmpty());
    // Each picks its own resolution; the broken one is refused when picked.
    desk.List()->SelectByUser(1);
    QCOMPARE(desk.Fra()->GetDPI(), 150);
    desk.List()->SelectByUser(3);
    QCOMPARE(desk.Fra()->GetDPI(), 200);
    desk.List()->SelectByUser(4);
    QCOMPARE(ShownSize(desk), QSize(24, 20));
    desk.List()->SelectByUser(6);
    desk.List()->SelectByUser(7);
    const QStringList texts = BoxTexts(*desk.Dialogs);
    QCOMPARE(texts.size(), 2);
    QVERIFY2(texts.at(0).contains("g_huge.png") && texts.at(0).contains("too large"), qPrintable(texts.at(0)));
    QVERIFY2(texts.at(1).contains("zz_broken.png"), qPrintable(texts.at(1)));
    QCOMPARE(desk.Fra()->CurIdx(), -1);
  }

  void twoFolderImportsInARow() {
    TDeskFixture desk;
    const QStringList a = pictures(desk, "A", 3);
    const QStringList b = pictures(desk, "B", 2, 3);
    TChangeProbe probe(desk);
    importDir(desk, desk.App.File("A"));
    importDir(desk, desk.App.File("B"));
    QCOMPARE(paths(desk), a + b);
    QCOMPARE(desk.List()->SelectedImage(), 0);
    QCOMPARE(desk.Fra()->CurIdx(), 0);
    QCOMPARE(ShownSize(desk), sizeOf(0));
    QCOMPARE(probe.Count, 1); // the second import found entry 0 current already
    QCOMPARE(IniOptions->ParamCurPath(), desk.App.File("B"));
    QCOMPARE(status(desk), QStringLiteral("Images: 5    Current image: %1").arg(a.at(0)));
  }

  void theSameFolderTwiceListsEachImageTwice() {
    TDeskFixture desk;
    const QStringList a = pictures(desk, "A", 3);
    importDir(desk, desk.App.File("A"));
    importDir(desk, desk.App.File("A"));
    QCOMPARE(paths(desk), a + a);
    QCOMPARE(desk.List()->SelectedImage(), 0);
  }

  void folderWithoutImages_data() {
    QTest::addColumn<int>("before");
    QTest::newRow("into an empty list") << 0;
    QTest::newRow("into a list of two") << 2;
  }
  void folderWithoutImages() {
    QFETCH(int, before);
    TDeskFixture desk;
    if (before > 0)
      importFiles(desk, pictures(desk, "old", before));
    QVERIFY(WriteBytes(desk.App.File("none/readme.txt"), "text"));
    WritePicture(desk.App.File("none/sub/deep.png"), {10, 10});
    importDir(desk, desk.App.File("none"));
    QCOMPARE(desk.List()->ImageCount(), before);
    QCOMPARE(IniOptions->ParamCurPath(), desk.App.File("none"));
    QCOMPARE(desk.Main->HasData(), before > 0);
    QCOMPARE(desk.Main->pcMain->ActivePage(), before > 0 ? desk.Main->tsOCR : desk.Main->tsGuide);
    QCOMPARE(desk.Fra()->CurIdx(), before > 0 ? 0 : -1);
  }

  void cancelledImportsChangeNothing_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("before");
    QTest::newRow("files, empty list") << "actSrc_ImportFiles" << 0;
    QTest::newRow("folder, empty list") << "actSrc_ImportDir" << 0;
    QTest::newRow("pdf, empty list") << "actSrc_ImportPDF" << 0;
    QTest::newRow("files, two images") << "actSrc_ImportFiles" << 2;
    QTest::newRow("folder, two images") << "actSrc_ImportDir" << 2;
    QTest::newRow("pdf, two images") << "actSrc_ImportPDF" << 2;
  }
  void cancelledImportsChangeNothing() {
    QFETCH(QString, action);
    QFETCH(int, before);
    TDeskFixture desk;
    const QStringList old = pictures(desk, "old", before);
    if (before > 0)
      importFiles(desk, old);
    IniOptions->SetParamCurPath(QStringLiteral("/nowhere"));
    const QString file = IniOptions->ParamCurFile();
    TChangeProbe probe(desk);
    desk.Dialogs->Calls.clear();
    desk.Main->Action(action)->trigger();
    QCOMPARE(desk.Dialogs->Calls.size(), 1); // the dialog, and no message after it
    QCOMPARE(paths(desk), old);
    QCOMPARE(probe.Count, 0);
    QCOMPARE(IniOptions->ParamCurPath(), QStringLiteral("/nowhere"));
    QCOMPARE(IniOptions->ParamCurFile(), file);
    QCOMPARE(desk.Main->HasData(), before > 0);
    QCOMPARE(desk.Main->pcMain->ActivePage(), before > 0 ? desk.Main->tsOCR : desk.Main->tsGuide);
    QCOMPARE(status(desk), before > 0 ? QStringLiteral("Images: 2    Current image: %1").arg(old.at(0))
                                      : QStringLiteral("No source image selected"));
  }

  void fileImportOfBadFiles_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << "missing"
                                  << "The image file no longer exists.";
    QTest::newRow("unreadable file") << "text"
                                     << "bad.png";
    QTest::newRow("too large to decode") << "huge"
                                         << "too large";
  }
  void fileImportOfBadFiles() {
    // The first chosen file cannot be shown: a clear message, the other
    // files still come in, and the main window shows the list it now has.
    QFETCH(QString, kind);
    QFETCH(QString, message);
    TDeskFixture desk;
    const QString bad = desk.App.File("in/bad.png");
    if (kind == QLatin1String("text"))
      QVERIFY(WriteBytes(bad, "no picture"));
    else if (kind == QLatin1String("huge"))
      WriteOversizedPng(bad, 100000, 100000);
    const QStringList good = pictures(desk, "in", 2);
    importFiles(desk, {bad, good.at(0), good.at(1)});
    const QList<TDialogCall> boxes = desk.Dialogs->OfKind("box");
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().Flags, unsigned(MB_OK | MB_ICONERROR));
    QVERIFY2(boxes.first().Text.contains(message), qPrintable(boxes.first().Text));
    QCOMPARE(paths(desk), (QStringList{bad, good.at(0), good.at(1)}));
    QCOMPARE(IniOptions->ParamCurFile(), bad);
    QCOMPARE(desk.Fra()->CurIdx(), -1);
    QVERIFY(desk.Main->HasData());
    QCOMPARE(desk.Main->pcMain->ActivePage(), desk.Main->tsOCR);
    // Recognition is not refused for want of images.
    desk.Run("actRec_Barcode");
    QVERIFY(!desk.Dialogs->Calls.last().Text.contains("There is no source image yet"));
    // Another entry can be shown at once.
    desk.List()->SelectByUser(2);
    QCOMPARE(desk.Fra()->CurIdx(), 2);
    QCOMPARE(ShownSize(desk), sizeOf(1));
  }

  // -------------------------------------------------------- PDF documents

  void pdfImport_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QStringList>("names");
    // The entries come in page order (names sorted as file managers do).
    QTest::newRow("all twelve pages as BMP")
        << 0 << 0 << 1 << 12
        << QStringList{"IMG_1.bmp", "IMG_2.bmp", "IMG_3.bmp", "IMG_4.bmp",  "IMG_5.bmp",  "IMG_6.bmp",
                       "IMG_7.bmp", "IMG_8.bmp", "IMG_9.bmp", "IMG_10.bmp", "IMG_11.bmp", "IMG_12.bmp"};
    QTest::newRow("pages 3 to 5 as JPEG") << 0 << 1 << 3 << 5 << QStringList{"IMG_3.jpeg", "IMG_4.jpeg", "IMG_5.jpeg"};
    QTest::newRow("page 10 as TIFF after two images") << 2 << 2 << 10 << 10 << QStringList{"IMG_10.tiff"};
  }
  void pdfImport() {
    QFETCH(int, before);
    QFETCH(int, format);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QStringList, names);
    TDeskFixture desk;
    const QStringList old = pictures(desk, "old", before);
    if (before > 0)
      importFiles(desk, old);
    const QString pdf = WritePdf(desk.App.File("docs/Report.pdf"), 12);
    const QString exportDir = desk.App.File("export");
    QDir().mkpath(exportDir);
    QString range;
    answerPdfDialog(desk, [&](TfrmImportPDFOptions *form) {
      choosePdf(desk, form, pdf);
      range = form->lblRange->text();
      chooseFolder(desk, form, exportDir);
      form->cbbImgFormat->setCurrentIndex(format);
      form->spinEdtTo->SetValue(to);
      form->spinEdtFrom->SetValue(from);
      form->actOK->trigger();
    });
    TChangeProbe probe(desk);
    desk.Run("actSrc_ImportPDF");
    QCOMPARE(range, QStringLiteral("(1-12)"));
    QVERIFY2(desk.Dialogs->OfKind("box").isEmpty(), qPrintable(BoxTexts(*desk.Dialogs).join('\n')));
    const QString target = exportDir + "/Report";
    QStringList onDisk = names;
    onDisk.sort();
    QCOMPARE(entriesOf(target), onDisk);
    QCOMPARE(captions(desk).mid(before), names);
    QCOMPARE(paths(desk).mid(0, before), old);
    for (int i = 0; i < names.size(); ++i)
      QCOMPARE(desk.List()->ImageFileName(before + i), target + u'/' + names.at(i));
    QCOMPARE(IniOptions->ParamCurPath(), target);
    QCOMPARE(IniOptions->ParamCurPDF(), pdf);
    QCOMPARE(IniOptions->ParamExportImagePath(), exportDir);
    QCOMPARE(desk.Fra()->CurIdx(), 0);
    QCOMPARE(desk.List()->SelectedImage(), 0);
    QVERIFY(desk.Main->HasData());
    QCOMPARE(desk.Main->pcMain->ActivePage(), desk.Main->tsOCR);
    if (before == 0) {
      // The first entry's page, 60 by 40 mm at 96 dpi.
      QCOMPARE(probe.Count, 1);
      QVERIFY(qAbs(ShownSize(desk).width() - 227) <= 1 && qAbs(ShownSize(desk).height() - 151) <= 1);
      QCOMPARE(desk.Fra()->GetDPI(), 96);
    } else {
      QCOMPARE(probe.Count, 0); // entry 0 was current already
      QCOMPARE(ShownSize(desk), sizeOf(0));
    }
  }

  void pdfImportIntoAnExistingFolder_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("Yes: made anew") << int(IDYES) << QStringList{"IMG_1.bmp", "IMG_2.bmp", "IMG_3.bmp"};
    QTest::newRow("No: written into it") << int(IDNO)
                                         << QStringList{"IMG_1.bmp", "IMG_2.bmp", "IMG_3.bmp", "older.png"};
  }
  void pdfImportIntoAnExistingFolder() {
    QFETCH(int, answer);
    QFETCH(QStringList, names);
    TDeskFixture desk;
    const QString pdf = WritePdf(desk.App.File("docs/Scan.pdf"), 3);
    const QString exportDir = desk.App.File("export");
    WritePicture(exportDir + "/Scan/older.png", {10, 10});
    QVERIFY(WriteBytes(exportDir + "/Scan/IMG_2.bmp", "stale"));
    QVERIFY(WriteBytes(exportDir + "/keep.txt", "beside the target folder"));
    answerPdfDialog(desk, [&](TfrmImportPDFOptions *form) {
      choosePdf(desk, form, pdf);
      chooseFolder(desk, form, exportDir);
      desk.Dialogs->BoxAnswers = {answer};
      form->actOK->trigger();
    });
    desk.Run("actSrc_ImportPDF");
    QCOMPARE(BoxTexts(*desk.Dialogs),
             QStringList{QStringLiteral("The folder for the page images exists already. Yes deletes it and creates it "
                                        "anew; No writes the pages into it.")});
    QCOMPARE(captions(desk), names);
    QCOMPARE(entriesOf(exportDir + "/Scan"), names);
    QVERIFY(ReadBytes(exportDir + "/Scan/IMG_2.bmp") != "stale"); // replaced by the page
    QVERIFY(QFile::exists(exportDir + "/keep.txt"));
  }

  void pdfImportRefusesBadInput_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message"); // a part of the last message
    QTest::newRow("damaged document") << "damaged"
                                      << "Invalid page range (1-1)";
    QTest::newRow("document named .pdf") << "dotname"
                                         << "gives no folder of its own";
    QTest::newRow("document inside the folder to be emptied") << "inside"
                                                              << "which the import would empty";
    QTest::newRow("export folder vanished before OK") << "vanished"
                                                      << "The export folder does not exist.";
    QTest::newRow("no export folder chosen") << "nofolder"
                                             << "The export folder does not exist.";
    QTest::newRow("folder typed by hand that does not exist") << "typed"
                                                              << "The export folder does not exist.";
  }
  void pdfImportRefusesBadInput() {
    // A clear message, the dialog stays open, and nothing is lost: the list,
    // the current image and the export folder stay as they were.
    QFETCH(QString, kind);
    QFETCH(QString, message);
    TDeskFixture desk;
    const QStringList old = pictures(desk, "old", 2);
    importFiles(desk, old);
    desk.List()->SelectByUser(1);
    const QString statusBefore = status(desk);
    const QString exportDir = desk.App.File("export");
    QVERIFY(WriteBytes(exportDir + "/keep.txt", "stays"));
    QString pdf = WritePdf(desk.App.File("docs/Good.pdf"), 2);
    if (kind == QLatin1String("damaged")) {
      pdf = desk.App.File("docs/Broken.pdf");
      QVERIFY(WriteBytes(pdf, ReadBytes(desk.App.File("docs/Good.pdf")).left(400)));
    } else if (kind == QLatin1String("dotname")) {
      QVERIFY(QFile::rename(pdf, desk.App.File("docs/.pdf")));
      pdf = desk.App.File("docs/.pdf");
    } else if (kind == QLatin1String("inside")) {
      // Export folder o6, document o6/Good/Good.pdf: Yes would delete it.
      QVERIFY(QDir().mkpath(exportDir + "/Good"));
      QVERIFY(QFile::rename(pdf, exportDir + "/Good/Good.pdf"));
      pdf = exportDir + "/Good/Good.pdf";
      desk.Dialogs->BoxAnswers = {IDYES};
    }
    const QByteArray document = ReadBytes(pdf);
    bool stillOpen = false;
    answerPdfDialog(desk, [&](TfrmImportPDFOptions *form) {
      choosePdf(desk, form, pdf);
      if (kind == QLatin1String("vanished")) {
        const QString gone = desk.App.File("gone");
        QDir().mkpath(gone);
        chooseFolder(desk, form, gone);
        QVERIFY(QDir(gone).removeRecursively());
      } else if (kind == QLatin1String("typed")) {
        form->btnEdtSelDir->SetText(desk.App.File("typed/by/hand"));
      } else if (kind != QLatin1String("nofolder")) {
        chooseFolder(desk, form, exportDir);
      }
      form->actOK->trigger();
      stillOpen = form->result() != QDialog::Accepted;
      if (kind == QLatin1String("damaged")) {
        QCOMPARE(form->lblRange->text(), QString());
        QCOMPARE(form->btnEdtFile->Text().contains("Broken"), false);
      }
    });
    desk.Run("actSrc_ImportPDF");
    QVERIFY(stillOpen);
    const QStringList texts = BoxTexts(*desk.Dialogs);
    QVERIFY(!texts.isEmpty());
    QVERIFY2(texts.last().contains(message), qPrintable(texts.join('\n')));
    for (const TDialogCall &c : desk.Dialogs->OfKind("box"))
      QCOMPARE(c.Flags, unsigned(MB_OK | MB_ICONERROR));
    if (kind == QLatin1String("damaged")) {
      QCOMPARE(texts.size(), 2);
      QVERIFY2(texts.first().contains("Broken.pdf"), qPrintable(texts.first()));
      QCOMPARE(IniOptions->ParamCurPDF(), pdf);
    } else {
      QCOMPARE(texts.size(), 1);
    }
    QCOMPARE(paths(desk), old);
    QCOMPARE(desk.Fra()->CurIdx(), 1);
    QCOMPARE(ShownSize(desk), sizeOf(1));
    QCOMPARE(status(desk), statusBefore);
    QVERIFY(desk.Main->HasData());
    if (kind == QLatin1String("inside")) {
      QCOMPARE(desk.Dialogs->BoxAnswers.size(), 1); // nothing was asked
      QCOMPARE(entriesOf(exportDir), (QStringList{"Good", "keep.txt"}));
      QCOMPARE(entriesOf(exportDir + "/Good"), QStringList{"Good.pdf"});
    } else {
      QCOMPARE(entriesOf(exportDir), QStringList{"keep.txt"});
    }
    QCOMPARE(ReadBytes(pdf), document);
    QVERIFY(!QFileInfo::exists(desk.App.File("gone")));
    QVERIFY(!QFileInfo::exists(desk.App.File("typed")));
  }

  // ----------------------------------------------------- removing images

  void removeTheSelectedImage_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("removed");
    QTest::addColumn<int>("selectedAfter");
    QTest::addColumn<int>("shownPicture"); // which of the original pictures is shown; -1 none
    QTest::newRow("third of five") << 5 << 2 << 2 << 3;
    QTest::newRow("last of five") << 5 << 4 << 3 << 3;
    QTest::newRow("first of five") << 5 << 0 << 0 << 1;
    QTest::newRow("the only one") << 1 << 0 << -1 << -1;
  }
  void removeTheSelectedImage() {
    QFETCH(int, count);
    QFETCH(int, removed);
    QFETCH(int, selectedAfter);
    QFETCH(int, shownPicture);
    TDeskFixture desk;
    ShowWorkspace(desk);
    TfraModuleOCR *f = desk.Fra();
    const QStringList files = pictures(desk, "rm", count);
    for (const QString &p : files)
      f->AddImageFile(p);
    desk.List()->SelectByUser(removed);
    f->rveResult->AddText(QStringLiteral("result stays"), 0);
    f->imgRaw->SetZoom(55);
    TChangeProbe probe(desk);
    desk.Dialogs->BoxAnswers = {IDYES};
    const QSize before = ShownSize(desk);

    desk.Run("actSrc_RemoveSel");
    QCOMPARE(BoxTexts(*desk.Dialogs), QStringList{"Are you sure?"});
    QStringList expected = files;
    expected.removeAt(removed);
    QCOMPARE(paths(desk), expected);
    for (const QString &p : files)
      QVERIFY(QFile::exists(p)); // the files stay on disk
    QCOMPARE(desk.List()->SelectedImage(), selectedAfter);
    QCOMPARE(f->CurIdx(), selectedAfter);
    QCOMPARE(probe.Count, 1); // the status line follows
    QCOMPARE(probe.SelectedAtEvent, QList<int>{selectedAfter});
    QCOMPARE(f->rveResult->toPlainText(), QStringLiteral("result stays"));
    if (shownPicture >= 0) {
      QCOMPARE(ShownSize(desk), sizeOf(shownPicture));
      QCOMPARE(f->imgRaw->Zoom(), 55.0); // loaded straight: no zoom rule
      QVERIFY(desk.Main->HasData());
      QCOMPARE(status(desk),
               QStringLiteral("Images: %1    Current image: %2").arg(count - 1).arg(files.at(shownPicture)));
    } else {
      QCOMPARE(ShownSize(desk), before);
      QVERIFY(allBackground(f->imgRaw));
      QVERIFY(qAbs(f->imgRaw->Zoom() - fitZoom(f->imgRaw)) < 0.01);
      QVERIFY(!desk.Main->HasData());
      QCOMPARE(desk.Main->pcMain->ActivePage(), desk.Main->tsGuide);
      QCOMPARE(status(desk), QStringLiteral("No source image selected"));
    }
  }

  void removeIsRefusedOrDeclined_data() {
    QTest::addColumn<bool>("selected");
    QTest::addColumn<QString>("text");
    QTest::addColumn<unsigned>("flags");
    QTest::newRow("nothing selected") << false << "Select an image in the list first."
                                      << unsigned(MB_OK | MB_ICONWARNING);
    QTest::newRow("answered No") << true << "Are you sure?" << unsigned(MB_YESNO | MB_ICONWARNING);
  }
  void removeIsRefusedOrDeclined() {
    QFETCH(bool, selected);
    QFETCH(QString, text);
    QFETCH(unsigned, flags);
    TDeskFixture desk;
    const QStringList files = pictures(desk, "in", 3);
    for (const QString &p : files)
      desk.Fra()->AddImageFile(p);
    if (selected)
      desk.List()->SelectByUser(1);
    desk.Dialogs->BoxAnswers = {IDNO};
    desk.Fra()->actSrc_RemoveSel->trigger(); // the workspace's own button
    QCOMPARE(desk.Dialogs->Calls.size(), 1);
    QCOMPARE(desk.Dialogs->Calls.first().Text, text);
    QCOMPARE(desk.Dialogs->Calls.first().Flags, flags);
    QCOMPARE(paths(desk), files);
    QCOMPARE(desk.List()->SelectedImage(), selected ? 1 : -1);
    QCOMPARE(desk.Fra()->CurIdx(), selected ? 1 : -1);
  }

  void removeWhenTheNextFileCannotBeRead() {
    // The image that moves into place cannot be read: a clear message,
    // nothing is taken as shown, and a later pick reads it again.
    TDeskFixture desk;
    const QStringList files = pictures(desk, "in", 3);
    importFiles(desk, files);
    QVERIFY(WriteBytes(files.at(1), "no picture any more"));
    desk.Dialogs->BoxAnswers = {IDYES};
    desk.Run("actSrc_RemoveSel");
    const QStringList texts = BoxTexts(*desk.Dialogs);
    QCOMPARE(texts.size(), 2);
    QVERIFY2(texts.last().contains("p1.png"), qPrintable(texts.last()));
    QCOMPARE(paths(desk), files.mid(1));
    QCOMPARE(desk.List()->SelectedImage(), 0);
    QCOMPARE(desk.Fra()->CurIdx(), -1);
    QVERIFY(desk.Main->HasData());
    QCOMPARE(desk.Main->pcMain->ActivePage(), desk.Main->tsOCR);
    QCOMPARE(status(desk), QStringLiteral("Images: 2    Current image: %1").arg(files.at(1)));
    WritePicture(files.at(1), {77, 66});
    TChangeProbe probe(desk);
    desk.List()->SelectByUser(0);
    QCOMPARE(desk.Fra()->CurIdx(), 0);
    QCOMPARE(ShownSize(desk), QSize(77, 66));
    QCOMPARE(probe.Count, 1);
  }

  void clearAll_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("answer");
    QTest::newRow("empty list, Yes") << 0 << int(IDYES);
    QTest::newRow("empty list, No") << 0 << int(IDNO);
    QTest::newRow("three images, No") << 3 << int(IDNO);
    QTest::newRow("three images, Yes") << 3 << int(IDYES);
  }
  void clearAll() {
    QFETCH(int, count);
    QFETCH(int, answer);
    TDeskFixture desk;
    ShowWorkspace(desk);
    TfraModuleOCR *f = desk.Fra();
    const QStringList files = pictures(desk, "in", count);
    if (count > 0)
      importFiles(desk, files);
    f->rveResult->AddNamedCheckpoint(files.value(0));
    f->rveResult->AddText(QStringLiteral("result stays"), 0);
    f->imgRaw->SetZoom(55);
    const QSize before = ShownSize(desk);
    TChangeProbe probe(desk);
    desk.Dialogs->BoxAnswers = {answer};
    desk.Run("actSrc_ClearAll");
    const QList<TDialogCall> boxes = desk.Dialogs->OfKind("box");
    QCOMPARE(boxes.size(), 1); // asked also when the list is empty
    QCOMPARE(boxes.first().Text, QStringLiteral("Are you sure?"));
    QCOMPARE(boxes.first().Flags, unsigned(MB_YESNO | MB_ICONWARNING));
    QCOMPARE(probe.Count, answer == IDYES ? 1 : 0); // the status line follows a clear
    QCOMPARE(f->rveResult->toPlainText(), QStringLiteral("result stays"));
    QCOMPARE(f->rveResult->CheckpointCount(), 1);
    if (answer == IDYES) {
      QCOMPARE(desk.List()->ImageCount(), 0);
      QCOMPARE(f->CurIdx(), -1);
      QCOMPARE(ShownSize(desk), before);
      QVERIFY(allBackground(f->imgRaw));
      QVERIFY(qAbs(f->imgRaw->Zoom() - fitZoom(f->imgRaw)) < 0.01);
    } else {
      QCOMPARE(paths(desk), files);
      QCOMPARE(f->CurIdx(), count > 0 ? 0 : -1);
      QCOMPARE(f->imgRaw->Zoom(), 55.0);
      QVERIFY(!allBackground(f->imgRaw));
    }
    for (const QString &p : files)
      QVERIFY(QFile::exists(p));
    const bool data = desk.List()->ImageCount() > 0;
    QCOMPARE(desk.Main->HasData(), data);
    QCOMPARE(desk.Main->pcMain->ActivePage(), data ? desk.Main->tsOCR : desk.Main->tsGuide);
  }

  // ------------------------------------------------- the file manager

  void showInFileManager_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("deleteFile");
    QTest::addColumn<bool>("shown");
    QTest::newRow("empty list") << 0 << -1 << false << false;
    QTest::newRow("no selection") << 2 << -1 << false << false;
    QTest::newRow("selected") << 2 << 1 << false << true;
    QTest::newRow("selected file gone") << 2 << 1 << true << false;
  }
  void showInFileManager() {
    QFETCH(int, count);
    QFETCH(int, selected);
    QFETCH(bool, deleteFile);
    QFETCH(bool, shown);
    TDeskFixture desk;
    const QStringList files = pictures(desk, "in", count);
    for (const QString &p : files)
      desk.Fra()->AddImageFile(p);
    desk.List()->SetSelectedImage(selected);
    if (deleteFile)
      QVERIFY(QFile::remove(files.at(selected)));
    desk.Fra()->actList_ShowInExplore->trigger();
    QCOMPARE(desk.Desktop->Shown, shown ? QStringList{files.at(selected)} : QStringList());
    QVERIFY(desk.Desktop->Opened.isEmpty());
    QVERIFY(desk.Dialogs->Calls.isEmpty());
  }

  // ------------------------------------- the main window after a command

  void flagPageAndStatusAfterEachCommand_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("before");    // images in the list
    QTest::addColumn<int>("shown");     // the one shown before (-1: none)
    QTest::addColumn<QString>("input"); // "", "files", "folder", "yes", "no"
    QTest::addColumn<int>("after");
    QTest::newRow("scan, empty list") << "actSrc_Scan" << 0 << -1 << "" << 0;
    QTest::newRow("scan, images none selected") << "actSrc_Scan" << 2 << -1 << "" << 2;
    QTest::newRow("restore, images") << "actCaptureRestore" << 2 << 1 << "" << 2;
    QTest::newRow("files chosen") << "actSrc_ImportFiles" << 0 << -1 << "files" << 1;
    QTest::newRow("folder chosen") << "actSrc_ImportDir" << 1 << 0 << "folder" << 3;
    QTest::newRow("pdf cancelled, images") << "actSrc_ImportPDF" << 2 << 0 << "" << 2;
    QTest::newRow("remove the only image") << "actSrc_RemoveSel" << 1 << 0 << "yes" << 0;
    QTest::newRow("remove one of two") << "actSrc_RemoveSel" << 2 << 0 << "yes" << 1;
    QTest::newRow("clear all, No") << "actSrc_ClearAll" << 2 << 0 << "no" << 2;
    QTest::newRow("clear all, Yes") << "actSrc_ClearAll" << 2 << 0 << "yes" << 0;
  }
  void flagPageAndStatusAfterEachCommand() {
    QFETCH(QString, action);
    QFETCH(int, before);
    QFETCH(int, shown);
    QFETCH(QString, input);
    QFETCH(int, after);
    TDeskFixture desk;
    for (const QString &p : pictures(desk, "old", before))
      desk.Fra()->AddImageFile(p);
    if (shown >= 0)
      desk.Fra()->ShowImage(shown);
    const QStringList folder = pictures(desk, "new", 2, 5);
    if (input == QLatin1String("files"))
      desk.Dialogs->OpenAnswers = {{folder.at(1)}};
    else if (input == QLatin1String("folder"))
      desk.Dialogs->FolderAnswers = {desk.App.File("new")};
    else if (input == QLatin1String("yes"))
      desk.Dialogs->BoxAnswers = {IDYES};
    desk.List()->SetStoreType(ietNormal);

    desk.Main->Action(action)->trigger();
    QCOMPARE(desk.List()->StoreType(), ietThumb);
    QCOMPARE(desk.List()->ImageCount(), after);
    QCOMPARE(desk.Main->HasData(), after > 0);
    if (after > 0) {
      QCOMPARE(desk.Main->pcMain->ActivePageIndex(), desk.Main->AIndex());
      QCOMPARE(desk.Main->pcMain->ActivePage(), desk.Main->tsOCR);
    } else {
      QCOMPARE(desk.Main->pcMain->ActivePage(), desk.Main->tsGuide);
    }
    const int sel = desk.List()->SelectedImage();
    QCOMPARE(status(desk),
             sel < 0
                 ? QStringLiteral("No source image selected")
                 : QStringLiteral("Images: %1    Current image: %2").arg(after).arg(desk.List()->ImageFileName(sel)));
  }
};

QTEST_MAIN(TestSourceCommands)
#include "tst_sources_commands.moc"
