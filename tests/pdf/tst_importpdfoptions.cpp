#include "uButtonEdit.h"
#include "uDMMain.h"
#include "uDialogs.h"
#include "uImageList.h"
#include "uImportPDFOptions.h"
#include "uIniOptions.h"
#include "uLangText.h"
#include "uPDFDocument.h"
#include "uSpinEdit.h"
#include "uTestAppFolder.h"
#include "uTestDialogs.h"
#include "uTestFiles.h"
#include "uTestPDF.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

namespace {

const QStringList Table = {
    "caption_error=Fault",
    "caption_information=Note",
    "ocr_selDir=Pick the export folder",
    "error_selDir=No such export folder",
    "info_dirExist=Folder exists: delete it?",
    "error_pdfName=No folder for %s",
    "error_pdfInside=%s is in %s, which would be emptied",
    "error_pdfLoad=Unreadable document %s (%s)",
    "error_pdfWrite=Page file %s not written: %s",
    "error_pdfPageSize=Page %d too large: %s x %s pt, %d x %d px at %s dpi, over %d Mpx",
    "actSelFile=Choose document",
    "actSelDir=Choose folder",
    "actOK=Write pages",
    "actCancel=Close",
    "btnEdtFile=No document yet",
    "btnEdtSelDir=No folder yet",
    "lblImageFormat=Format",
    "lblPages=Range",
    "lblTo=until",
    "pnlInfo=Writing ...",
    "btnOK=never used: the button shows its action",
    "lblRange=never used: a fixed text",
    "Set pdf options=never used: the caption is fixed",
};

QList<TDialogCall> boxes(const TTestDialogs &dialogs) { return dialogs.OfKind(QStringLiteral("box")); }

} // namespace

class TestImportPDFOptions : public QObject {
  Q_OBJECT
  QStringList FTable = Table;
  QTemporaryDir FTmp;
  QString FTwelve; // a 12-page document, page 3 with a picture
  QString FRoot;   // a fresh folder per test
  QString FExport; // an existing export folder inside it

  // Chooses a document through the picker.
  static void choose(TfrmImportPDFOptions &dialog, TTestDialogs &dialogs, const QString &fileName) {
    dialogs.OpenAnswers.append(QStringList{fileName});
    dialog.actSelFile->trigger();
  }

private slots:
  void initTestCase() {
    QVERIFY(FTmp.isValid());
    FTwelve = FTmp.filePath("docs/Report.pdf");
    QVERIFY(QDir().mkpath(FTmp.filePath("docs")));
    QVERIFY(WriteTestPDF(FTwelve, 12, 3));
  }

  void init() {
    LangList = &FTable;
    *IniOptions = TIniOptions();
    static int serial = 0;
    FRoot = FTmp.filePath(QStringLiteral("case%1").arg(++serial));
    FExport = FRoot + "/out";
    QVERIFY(QDir().mkpath(FExport));
  }

  void cleanup() { LangList = nullptr; }

  void opensTranslatedWithFixedTexts() {
    TfrmImportPDFOptions dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Set pdf options"));
    QCOMPARE(dialog.size(), QSize(554, 267));
    QVERIFY(dialog.pnlInfo->isHidden());
    QCOMPARE(dialog.pnlInfo->text(), QStringLiteral("Writing ..."));
    QCOMPARE(dialog.btnEdtFile->Text(), QStringLiteral("No document yet"));
    QVERIFY(dialog.btnEdtFile->ReadOnly());
    QCOMPARE(dialog.btnEdtSelDir->Text(), QStringLiteral("No folder yet"));
    QVERIFY(!dialog.btnEdtSelDir->ReadOnly());
    QCOMPARE(dialog.lblImageFormat->text(), QStringLiteral("Format"));
    QCOMPARE(dialog.lblPages->text(), QStringLiteral("Range"));
    QCOMPARE(dialog.lblTo->text(), QStringLiteral("until"));
    QCOMPARE(dialog.lblRange->text(), QString());
    QStringList actions;
    for (QAction *a : dialog.actlst1->actions())
      actions << a->objectName() + u'=' + a->text();
    QCOMPARE(actions, (QStringList{"actSelFile=Choose document", "actSelDir=Choose folder", "actOK=Write pages",
                                   "actCancel=Close"}));
    QCOMPARE(dialog.btnOK->text(), QStringLiteral("Write pages"));
    QCOMPARE(dialog.btnCancel->text(), QStringLiteral("Close"));
    QCOMPARE(dialog.btnEdtFile->Action(), dialog.actSelFile);
    QCOMPARE(dialog.btnEdtSelDir->Action(), dialog.actSelDir);
    QStringList formats;
    for (int i = 0; i < dialog.cbbImgFormat->count(); ++i)
      formats << dialog.cbbImgFormat->itemText(i);
    QCOMPARE(formats, (QStringList{"BMP", "JPEG", "TIFF - Single Page"}));
    QCOMPARE(dialog.cbbImgFormat->currentIndex(), 0);
    QVERIFY(!dialog.cbbImgFormat->isEditable());
    QCOMPARE(dialog.spinEdtFrom->MinValue(), 1);
    QCOMPARE(dialog.spinEdtFrom->Value(), 1);
    QCOMPARE(dialog.spinEdtTo->MinValue(), 1);
    QCOMPARE(dialog.spinEdtTo->Value(), 1);
    QCOMPARE(dialog.DestDir, QString());
    const QList<std::pair<QWidget *, QRect>> geometry = {
        {dialog.btnEdtFile, {32, 32, 489, 21}},     {dialog.btnEdtSelDir, {32, 75, 489, 21}},
        {dialog.cbbImgFormat, {107, 120, 131, 21}}, {dialog.spinEdtFrom, {365, 120, 65, 21}},
        {dialog.spinEdtTo, {456, 120, 65, 21}},     {dialog.pnlInfo, {82, 152, 385, 25}},
        {dialog.bvl1, {32, 177, 489, 1}},           {dialog.btnOK, {186, 200, 75, 25}},
        {dialog.btnCancel, {293, 200, 75, 25}}};
    for (const auto &[widget, rect] : geometry)
      QCOMPARE(widget->geometry(), rect);
  }

  // With the data module the actions take its 16-pixel pictures and the
  // texts come from the program's language file.
  void takesPicturesAndTextsFromTheDataModule() {
    LangList = nullptr;
    TDialogsScope dialogs;
    TTestAppFolder app;
    QVERIFY(app.IsValid());
    TdmMain dm(nullptr, app.Path());
    QVERIFY2(boxes(*dialogs).isEmpty(), qPrintable(boxes(*dialogs).value(0).Text));
    TfrmImportPDFOptions dialog;
    const QList<std::pair<QAction *, int>> images = {
        {dialog.actSelFile, 5}, {dialog.actSelDir, 9}, {dialog.actOK, 3}, {dialog.actCancel, 4}};
    for (const auto &[action, index] : images)
      QCOMPARE(action->icon().name(), dm.imgLst16->Icon(index).name());
    QCOMPARE(dialog.btnEdtFile->Button()->icon().name(), dm.imgLst16->Icon(5).name());
    QCOMPARE(dialog.btnOK->text(), GetLangText("actOK"));
    QCOMPARE(dialog.pnlInfo->text(), GetLangText("pnlInfo"));
  }

  // A 12-page document in a fresh dialog offers the whole document.
  void twelvePageDocumentOffersEveryPage() {
    TDialogsScope dialogs;
    IniOptions->SetParamCurPDF("/earlier/docs/old.pdf");
    TfrmImportPDFOptions dialog;
    choose(dialog, *dialogs, FTwelve);
    const QList<TDialogCall> open = dialogs->OfKind("open");
    QCOMPARE(open.size(), 1);
    QCOMPARE(open.first().Request.Filter, QStringLiteral("PDF file|*.pdf;"));
    QCOMPARE(open.first().Request.InitialDir, QStringLiteral("/earlier/docs/"));
    QCOMPARE(IniOptions->ParamCurPDF(), FTwelve);
    QCOMPARE(dialog.btnEdtFile->Text(), FTwelve);
    QCOMPARE(dialog.lblRange->text(), QStringLiteral("(1-12)"));
    QCOMPARE(dialog.spinEdtFrom->MaxValue(), 12);
    QCOMPARE(dialog.spinEdtTo->MaxValue(), 12);
    QCOMPARE(dialog.spinEdtTo->Value(), 12);
    QCOMPARE(dialog.spinEdtFrom->Value(), 1);
    dialog.spinEdtFrom->SetValue(13);
    dialog.spinEdtTo->SetValue(40);
    QCOMPARE(dialog.spinEdtFrom->Value(), 12);
    QCOMPARE(dialog.spinEdtTo->Value(), 12);
    QVERIFY(boxes(*dialogs).isEmpty());
  }

  void cancelledPickerChangesNothing() {
    TDialogsScope dialogs;
    TfrmImportPDFOptions dialog;
    choose(dialog, *dialogs, FTwelve);
    dialogs->OpenAnswers.append(QStringList());
    dialog.actSelFile->trigger();
    QCOMPARE(dialog.btnEdtFile->Text(), FTwelve);
    QCOMPARE(IniOptions->ParamCurPDF(), FTwelve);
    QCOMPARE(dialog.lblRange->text(), QStringLiteral("(1-12)"));
  }

  void choosesTheExportFolder_data() {
    QTest::addColumn<bool>("startExists");
    QTest::addColumn<bool>("picked");
    QTest::newRow("start folder exists, picked") << true << true;
    QTest::newRow("start folder missing, picked") << false << true;
    QTest::newRow("cancelled") << true << false;
  }
  void choosesTheExportFolder() {
    QFETCH(bool, startExists);
    QFETCH(bool, picked);
    TDialogsScope dialogs;
    const QString start = startExists ? FRoot : FRoot + "/gone";
    IniOptions->SetParamExportImagePath(start);
    TfrmImportPDFOptions dialog;
    dialogs->FolderAnswers.append(picked ? FExport : QString());
    dialog.actSelDir->trigger();
    const QList<TDialogCall> folder = dialogs->OfKind("folder");
    QCOMPARE(folder.size(), 1);
    QCOMPARE(folder.first().Request.Title, QStringLiteral("Pick the export folder"));
    QCOMPARE(folder.first().Request.InitialDir, startExists ? start : QString());
    QVERIFY(folder.first().Request.NewFolderButton);
    QCOMPARE(dialog.btnEdtSelDir->Text(), picked ? FExport : QStringLiteral("No folder yet"));
    QCOMPARE(IniOptions->ParamExportImagePath(), picked ? FExport : start);
  }

  void imageFolderIsNamedAfterTheDocument_data() {
    QTest::addColumn<QString>("exportDir");
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("folder");
    QTest::newRow("plain") << "/x/out"
                           << "/docs/Report.pdf"
                           << "/x/out/Report";
    QTest::newRow("trailing separator") << "/x/out/"
                                        << "/docs/Report.pdf"
                                        << "/x/out/Report";
    QTest::newRow("two dots") << "/x/out"
                              << "/docs/Report.final.pdf"
                              << "/x/out/Report.final";
    QTest::newRow("no extension") << "/x/out"
                                  << "/docs/archive"
                                  << "/x/out/archive";
    QTest::newRow("hidden") << "/x/out"
                            << "/docs/.hidden.pdf"
                            << "/x/out/.hidden";
    QTest::newRow("three dots") << "/x/out"
                                << "/docs/....pdf"
                                << "/x/out/...";
    QTest::newRow(".pdf") << "/x/out"
                          << "/docs/.pdf"
                          << "";
    QTest::newRow("..pdf") << "/x/out"
                           << "/docs/..pdf"
                           << "";
    QTest::newRow("...pdf") << "/x/out/"
                            << "/docs/...pdf"
                            << "";
    QTest::newRow("no name") << "/x/out"
                             << "/docs/"
                             << "";
  }
  void imageFolderIsNamedAfterTheDocument() {
    QFETCH(QString, exportDir);
    QFETCH(QString, document);
    QFETCH(QString, folder);
    QCOMPARE(PDFImageFolder(exportDir, document), folder);
  }

  // OK writes the range in the chosen format into the folder named after the
  // document and closes the dialog with that folder in DestDir.
  void okWritesThePages_data() {
    QTest::addColumn<bool>("trailingSeparator");
    QTest::addColumn<QString>("docName");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("bmp, whole document") << false << "Report.pdf" << 0 << 1 << 12 << "Report"
                                         << QStringList{"IMG_1.bmp", "IMG_10.bmp", "IMG_11.bmp", "IMG_12.bmp",
                                                        "IMG_2.bmp", "IMG_3.bmp",  "IMG_4.bmp",  "IMG_5.bmp",
                                                        "IMG_6.bmp", "IMG_7.bmp",  "IMG_8.bmp",  "IMG_9.bmp"};
    QTest::newRow("jpeg 3-5, trailing separator")
        << true << "Report.pdf" << 1 << 3 << 5 << "Report" << QStringList{"IMG_3.jpeg", "IMG_4.jpeg", "IMG_5.jpeg"};
    QTest::newRow("tiff 2-2, dotted name")
        << false << "Report.final.pdf" << 2 << 2 << 2 << "Report.final" << QStringList{"IMG_2.tiff"};
  }
  void okWritesThePages() {
    QFETCH(bool, trailingSeparator);
    QFETCH(QString, docName);
    QFETCH(int, format);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, folder);
    QFETCH(QStringList, files);
    const QString doc = FRoot + u'/' + docName;
    QVERIFY(QFile::copy(FTwelve, doc));
    TDialogsScope dialogs;
    TfrmImportPDFOptions dialog;
    choose(dialog, *dialogs, doc);
    dialogs->FolderAnswers.append(trailingSeparator ? FExport + u'/' : FExport);
    dialog.actSelDir->trigger();
    dialog.cbbImgFormat->setCurrentIndex(format);
    dialog.spinEdtFrom->SetValue(from);
    dialog.spinEdtTo->SetValue(to);
    dialog.btnOK->click();
    QVERIFY2(boxes(*dialogs).isEmpty(), qPrintable(boxes(*dialogs).value(0).Text));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.DestDir, FExport + u'/' + folder);
    QCOMPARE(FilesIn(FExport), QStringList{folder});
    QCOMPARE(FilesIn(dialog.DestDir), files);
    QVERIFY(dialog.pnlInfo->isHidden());
    for (const QString &name : files) {
      const QImage image(dialog.DestDir + u'/' + name);
      QCOMPARE(CountPageMarks(image), name.section(u'_', 1).section(u'.', 0, 0).toInt());
      QCOMPARE(qRound(image.dotsPerMeterX() * 0.0254), 96);
    }
  }

  // The folder for the pages exists: Yes empties it first, No writes beside
  // the older files.
  void existingFolderIsEmptiedOrKept_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("yes") << int(IDYES) << QStringList{"IMG_2.jpeg", "IMG_3.jpeg"};
    QTest::newRow("no") << int(IDNO) << QStringList{"IMG_2.jpeg", "IMG_3.jpeg", "IMG_7.jpeg", "older", "older.txt"};
  }
  void existingFolderIsEmptiedOrKept() {
    QFETCH(int, answer);
    QFETCH(QStringList, files);
    const QString target = FExport + "/Report";
    QVERIFY(QDir().mkpath(target + "/older"));
    QVERIFY(WriteBytes(target + "/older.txt", "old"));
    QVERIFY(WriteBytes(target + "/IMG_7.jpeg", "old page"));
    QVERIFY(WriteBytes(target + "/IMG_2.jpeg", "old page"));
    TDialogsScope dialogs;
    dialogs->BoxAnswers = {answer};
    TfrmImportPDFOptions dialog;
    choose(dialog, *dialogs, FTwelve);
    dialog.btnEdtSelDir->SetText(FExport);
    dialog.cbbImgFormat->setCurrentIndex(1);
    dialog.spinEdtFrom->SetValue(2);
    dialog.spinEdtTo->SetValue(3);
    dialog.actOK->trigger();
    const QList<TDialogCall> asked = boxes(*dialogs);
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.first().Text, QStringLiteral("Folder exists: delete it?"));
    QCOMPARE(asked.first().Flags, unsigned(MB_YESNO | MB_ICONWARNING));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.DestDir, target);
    QCOMPARE(FilesIn(target), files);
    QCOMPARE(CountPageMarks(QImage(target + "/IMG_2.jpeg")), 2);
    QCOMPARE(FilesIn(FExport), QStringList{"Report"});
  }

  // A folder typed into the folder box counts when it exists.
  void typedExportFolderIsAccepted() {
    TDialogsScope dialogs;
    TfrmImportPDFOptions dialog;
    choose(dialog, *dialogs, FTwelve);
    dialog.btnEdtSelDir->Edit()->clear();
    QTest::keyClicks(dialog.btnEdtSelDir->Edit(), FExport);
    QCOMPARE(dialog.btnEdtSelDir->Text(), FExport);
    dialog.spinEdtFrom->SetValue(12);
    dialog.actOK->trigger();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(FilesIn(FExport + "/Report"), QStringList{"IMG_12.bmp"});
    QVERIFY(dialogs->OfKind("folder").isEmpty());
  }

  void missingExportFolderIsAnError_data() {
    QTest::addColumn<QString>("folder");
    QTest::newRow("never chosen") << QString("<default>");
    QTest::newRow("empty") << QString();
    QTest::newRow("missing") << QString("/gone");
    QTest::newRow("a file") << QString("/a-file");
  }
  void missingExportFolderIsAnError() {
    QFETCH(QString, folder);
    QVERIFY(WriteBytes(FRoot + "/a-file", "not a folder"));
    TDialogsScope dialogs;
    TfrmImportPDFOptions dialog;
    choose(dialog, *dialogs, FTwelve);
    if (folder != QLatin1String("<default>"))
      dialog.btnEdtSelDir->SetText(folder.isEmpty() ? folder : FRoot + folder);
    dialog.show();
    dialog.actOK->trigger();
    const QList<TDialogCall> shown = boxes(*dialogs);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().Text, QStringLiteral("No such export folder"));
    QCOMPARE(shown.first().Caption, QStringLiteral("Fault"));
    QCOMPARE(shown.first().Flags, unsigned(MB_OK | MB_ICONERROR));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.DestDir, QString());
    QCOMPARE(FilesIn(FRoot), (QStringList{"a-file", "out"}));
    QCOMPARE(FilesIn(FExport), QStringList());
  }

  // Esc closes the dialog with Rejected wherever the focus is, and nothing
  // is written.
  void escapeCancelsFromAnyControl_data() {
    QTest::addColumn<QString>("control");
    for (const char *name : {"frmImportPDFOptions", "btnEdtFile", "btnEdtSelDir", "cbbImgFormat", "spinEdtFrom",
                             "spinEdtTo", "btnOK", "btnCancel"})
      QTest::newRow(name) << QString::fromLatin1(name);
  }
  void escapeCancelsFromAnyControl() {
    QFETCH(QString, control);
    TDialogsScope dialogs;
    TfrmImportPDFOptions dialog;
    choose(dialog, *dialogs, FTwelve);
    dialog.btnEdtSelDir->SetText(FExport);
    dialog.show();
    QWidget *widget = control == dialog.objectName() ? &dialog : dialog.findChild<QWidget *>(control);
    QVERIFY(widget);
    // The innermost control that takes the key: the line edit of a button
    // edit or a spin edit.
    if (auto *edit = qobject_cast<TButtonEdit *>(widget))
      widget = edit->Edit();
    else if (auto *spin = qobject_cast<TSpinEdit *>(widget))
      widget = spin->findChild<QLineEdit *>();
    QVERIFY(widget);
    QTest::keyClick(widget, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(FilesIn(FExport), QStringList());
    QVERIFY(boxes(*dialogs).isEmpty());
    QCOMPARE(dialog.DestDir, QString());
  }

  void cancelRejects() {
    TDialogsScope dialogs;
    TfrmImportPDFOptions dialog;
    dialog.show();
    dialog.btnCancel->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
  }

  // A document that cannot be loaded: the default handler shows the reason;
  // the setting holds the new path, the boxes the previous document.
  void unloadableDocumentKeepsThePreviousOne_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("damaged") << "damaged.pdf"
                             << "Unreadable document ";
    QTest::newRow("missing") << "missing.pdf"
                             << "File Not Found";
  }
  void unloadableDocumentKeepsThePreviousOne() {
    QFETCH(QString, name);
    QFETCH(QString, message);
    const QString bad = FRoot + u'/' + name;
    if (name == QLatin1String("damaged.pdf"))
      QVERIFY(WriteBytes(bad, "%PDF-1.4\n1 0 obj << /Type /Catalog >>\ngarbage"));
    TDialogsScope dialogs;
    TfrmImportPDFOptions dialog;
    choose(dialog, *dialogs, FTwelve);
    dialog.spinEdtFrom->SetValue(4);
    choose(dialog, *dialogs, bad);
    const QList<TDialogCall> shown = boxes(*dialogs);
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().Text.startsWith(message), qPrintable(shown.first().Text));
    QCOMPARE(shown.first().Flags, unsigned(MB_OK | MB_ICONERROR));
    QCOMPARE(IniOptions->ParamCurPDF(), bad);
    QCOMPARE(dialog.btnEdtFile->Text(), FTwelve);
    QCOMPARE(dialog.lblRange->text(), QStringLiteral("(1-12)"));
    QCOMPARE(dialog.spinEdtFrom->Value(), 4);
    QCOMPARE(dialog.spinEdtTo->Value(), 12);
    QCOMPARE(dialog.spinEdtTo->MaxValue(), 12);
    // The document shown is still the one written.
    dialog.btnEdtSelDir->SetText(FExport);
    dialog.actOK->trigger();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(FilesIn(FExport + "/Report").size(), 9);
  }

  // A range the document refuses is shown by the default handler; the
  // folder was made, nothing is written, DestDir stays, the dialog stays open.
  void refusedRangeKeepsTheDialogOpen_data() {
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QString>("message");
    QTest::newRow("first above last") << true << "Invalid page range (5-2)";
    QTest::newRow("no document") << false << "Invalid page range (5-2)";
  }
  void refusedRangeKeepsTheDialogOpen() {
    QFETCH(bool, loaded);
    QFETCH(QString, message);
    TDialogsScope dialogs;
    TfrmImportPDFOptions dialog;
    dialog.btnEdtSelDir->SetText(FExport);
    QString folder = FExport + "/No document yet";
    QString before;
    if (loaded) {
      choose(dialog, *dialogs, FTwelve);
      dialog.spinEdtFrom->SetValue(7);
      dialog.actOK->trigger();
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
      before = FExport + "/Report";
      QCOMPARE(dialog.DestDir, before);
      folder = FExport + "/Report";
      QVERIFY(QDir(folder).removeRecursively());
      dialog.setResult(QDialog::Rejected);
    }
    dialog.show();
    dialog.spinEdtFrom->SetValue(5);
    dialog.spinEdtTo->SetValue(2);
    dialog.actOK->trigger();
    const QList<TDialogCall> shown = boxes(*dialogs);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().Text, message);
    QCOMPARE(shown.first().Flags, unsigned(MB_OK | MB_ICONERROR));
    QCOMPARE(dialog.DestDir, before);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(dialog.pnlInfo->isHidden());
    // Refused before the target folder is made.
    QVERIFY(!QFileInfo::exists(folder));
  }

  // An invalid range asks nothing and empties nothing: the pages of an
  // earlier import stay.
  void refusedRangeKeepsAnEarlierImport() {
    TDialogsScope dialogs;
    TfrmImportPDFOptions dialog;
    dialog.btnEdtSelDir->SetText(FExport);
    choose(dialog, *dialogs, FTwelve);
    dialog.spinEdtFrom->SetValue(1);
    dialog.spinEdtTo->SetValue(2);
    dialog.actOK->trigger();
    const QString folder = FExport + "/Report";
    QCOMPARE(FilesIn(folder).size(), 2);
    dialog.setResult(QDialog::Rejected);
    dialogs->BoxAnswers = {IDYES};
    dialog.spinEdtFrom->SetValue(9);
    dialog.spinEdtTo->SetValue(3);
    dialog.actOK->trigger();
    QCOMPARE(dialogs->BoxAnswers.size(), 1); // no question was asked
    QCOMPARE(FilesIn(folder).size(), 2);
  }

  // A page that cannot be written: the default handler shows why, the pages
  // before it stay, the dialog stays open.
  void unwritablePageKeepsTheDialogOpen() {
    const QString target = FExport + "/Report";
    QVERIFY(QDir().mkpath(target + "/IMG_3.bmp/occupied"));
    TDialogsScope dialogs;
    dialogs->BoxAnswers = {IDNO};
    TfrmImportPDFOptions dialog;
    choose(dialog, *dialogs, FTwelve);
    dialog.btnEdtSelDir->SetText(FExport);
    dialog.show();
    dialog.actOK->trigger();
    const QList<TDialogCall> shown = boxes(*dialogs);
    QCOMPARE(shown.size(), 2); // the question, then the error
    QVERIFY2(shown.last().Text.startsWith("Page file " + target + "/IMG_3.bmp not written: "),
             qPrintable(shown.last().Text));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.DestDir, QString());
    QVERIFY(dialog.pnlInfo->isHidden());
    QCOMPARE(FilesIn(target), (QStringList{"IMG_1.bmp", "IMG_2.bmp", "IMG_3.bmp"}));
  }

  // Documents whose name gives no folder of their own are refused with an
  // error box: the export folder and the folders above it are never deleted
  // or written into.
  void nameWithoutFolderIsRefused_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow(".pdf") << ".pdf";
    QTest::newRow("..pdf") << "..pdf";
    QTest::newRow("...pdf") << "...pdf";
  }
  void nameWithoutFolderIsRefused() {
    QFETCH(QString, name);
    const QString doc = FRoot + "/docs/" + name;
    QVERIFY(QDir().mkpath(FRoot + "/docs"));
    QVERIFY(QFile::copy(FTwelve, doc));
    QVERIFY(WriteBytes(FExport + "/keep.txt", "export"));
    QVERIFY(WriteBytes(FRoot + "/parent.txt", "parent"));
    TDialogsScope dialogs;
    dialogs->BoxAnswers = {IDYES, IDYES};
    TfrmImportPDFOptions dialog;
    choose(dialog, *dialogs, doc);
    QCOMPARE(dialog.btnEdtFile->Text(), doc);
    dialog.btnEdtSelDir->SetText(FExport);
    dialog.show();
    dialog.actOK->trigger();
    const QList<TDialogCall> shown = boxes(*dialogs);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().Flags, unsigned(MB_OK | MB_ICONERROR));
    QCOMPARE(shown.first().Text, "No folder for " + doc);
    QCOMPARE(dialogs->BoxAnswers.size(), 2); // nothing was asked
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.DestDir, QString());
    QCOMPARE(FilesIn(FExport), QStringList{"keep.txt"});
    QCOMPARE(FilesIn(FRoot), (QStringList{"docs", "out", "parent.txt"}));
  }

  // A document that lies inside the folder the import would empty is
  // refused before anything is asked, deleted or written: it is never lost.
  // Where deleting the folder would not reach it, the import goes on.
  void documentInsideTheTargetIsNeverDeleted_data() {
    QTest::addColumn<QString>("docPath");    // below FRoot
    QTest::addColumn<QString>("exportPath"); // below FRoot, as chosen
    QTest::addColumn<QString>("link");       // made first: "name=target", below FRoot
    QTest::addColumn<bool>("refused");
    QTest::newRow("in the folder of its own name") << "o6/tracemonkey/tracemonkey.pdf"
                                                   << "o6"
                                                   << "" << true;
    QTest::newRow("deeper inside") << "o6/Report/scans/2024/Report.pdf"
                                   << "o6"
                                   << "" << true;
    QTest::newRow("export folder through a link") << "real/Report/Report.pdf"
                                                  << "via"
                                                  << "via=real" << true;
    QTest::newRow("target folder is a link to the document's folder") << "elsewhere/Report.pdf"
                                                                      << "o6"
                                                                      << "o6/Report=elsewhere" << false;
    QTest::newRow("beside the target") << "o6/Report.pdf"
                                       << "o6"
                                       << "" << false;
  }
  void documentInsideTheTargetIsNeverDeleted() {
    QFETCH(QString, docPath);
    QFETCH(QString, exportPath);
    QFETCH(QString, link);
    QFETCH(bool, refused);
    const QString doc = FRoot + u'/' + docPath;
    QVERIFY(QDir().mkpath(QFileInfo(doc).path()));
    QVERIFY(QDir().mkpath(FRoot + "/o6"));
    QVERIFY(QFile::copy(FTwelve, doc));
    if (!link.isEmpty())
      QVERIFY(QFile::link(FRoot + u'/' + link.section(u'=', 1), FRoot + u'/' + link.section(u'=', 0, 0)));
    const QString exportDir = FRoot + u'/' + exportPath;
    const QString target = exportDir + u'/' + QFileInfo(doc).completeBaseName();
    QVERIFY(QDir().mkpath(target));
    QVERIFY(WriteBytes(target + "/older.txt", "old"));
    const QByteArray bytes = [&] {
      QFile f(doc);
      return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    TDialogsScope dialogs;
    dialogs->BoxAnswers = {IDYES};
    TfrmImportPDFOptions dialog;
    choose(dialog, *dialogs, doc);
    dialog.btnEdtSelDir->SetText(exportDir);
    dialog.spinEdtTo->SetValue(2);
    dialog.show();
    dialog.actOK->trigger();
    QFile kept(doc);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), bytes);
    const QList<TDialogCall> shown = boxes(*dialogs);
    QCOMPARE(shown.size(), 1);
    if (refused) {
      QCOMPARE(shown.first().Text, QStringLiteral("%1 is in %2, which would be emptied").arg(doc, target));
      QCOMPARE(shown.first().Flags, unsigned(MB_OK | MB_ICONERROR));
      QCOMPARE(dialogs->BoxAnswers.size(), 1); // nothing was asked
      QVERIFY(dialog.isVisible());
      QCOMPARE(dialog.DestDir, QString());
      QVERIFY(QFile::exists(target + "/older.txt"));
      QVERIFY(!QFile::exists(target + "/IMG_1.bmp"));
    } else {
      QCOMPARE(shown.first().Text, QStringLiteral("Folder exists: delete it?"));
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
      QCOMPARE(FilesIn(target), (QStringList{"IMG_1.bmp", "IMG_2.bmp"}));
    }
  }

  // A page too large for a picture is refused before the folder is emptied.
  void pageTooLargeIsRefusedBeforeEmptying() {
    const QString doc = FRoot + "/docs/Poster.pdf";
    QVERIFY(QDir().mkpath(FRoot + "/docs"));
    {
      QPdfWriter writer(doc);
      writer.setResolution(72);
      writer.setPageMargins(QMarginsF(0, 0, 0, 0));
      writer.setPageSize(QPageSize(QSizeF(200, 200), QPageSize::Point, QString(), QPageSize::ExactMatch));
      QPainter painter(&writer);
      painter.fillRect(0, 0, 10, 10, Qt::black);
      writer.setPageSize(QPageSize(QSizeF(14400, 14400), QPageSize::Point, QString(), QPageSize::ExactMatch));
      writer.newPage();
      painter.fillRect(0, 0, 10, 10, Qt::black);
    }
    const QString target = FExport + "/Poster";
    QVERIFY(QDir().mkpath(target));
    QVERIFY(WriteBytes(target + "/IMG_1.bmp", "an earlier page"));
    TDialogsScope dialogs;
    dialogs->BoxAnswers = {IDYES};
    TfrmImportPDFOptions dialog;
    choose(dialog, *dialogs, doc);
    dialog.btnEdtSelDir->SetText(FExport);
    dialog.show();
    dialog.actOK->trigger();
    const QList<TDialogCall> shown = boxes(*dialogs);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().Text,
             QStringLiteral("Page 2 too large: 14400 x 14400 pt, 19200 x 19200 px at 96 dpi, over 250 Mpx"));
    QCOMPARE(dialogs->BoxAnswers.size(), 1); // nothing was asked
    QCOMPARE(FilesIn(target), QStringList{"IMG_1.bmp"});
    QVERIFY(dialog.isVisible());
  }
};

QTEST_MAIN(TestImportPDFOptions)
#include "tst_importpdfoptions.moc"
