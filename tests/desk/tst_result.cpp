#include "uDeskFixture.h"

#include "uImgTestFiles.h"
#include "uGDIPages.h"
#include "uPageControl.h"
#include "uRichViewEdit.h"

#include <QAction>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QTextCursor>
#include <QtTest>
#include <poppler-qt6.h>
#include <sys/stat.h>

using ImgTestFiles::IsBlue;
using ImgTestFiles::IsRed;
using ImgTestFiles::JpegWithOrientation;
using ImgTestFiles::MakePng;
using ImgTestFiles::RedLeftBlueRight;

// The result editor's own commands and the export to PDF.
class TestResult : public QObject {
  Q_OBJECT

  static QString pdfText(const QString &pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
  }
  static QString pdfFonts(const QString &pdf) {
    QProcess p;
    p.start(QStringLiteral("pdffonts"), {pdf});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
  }

  // Pixels of a picture that are near a colour.
  static int CountNear(const QImage &image, QColor colour, int tolerance = 40) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QColor c = image.pixelColor(x, y);
        n += qAbs(c.red() - colour.red()) < tolerance && qAbs(c.green() - colour.green()) < tolerance &&
             qAbs(c.blue() - colour.blue()) < tolerance;
      }
    return n;
  }

private slots:
  void exportWritesTextAndOpensIt() {
    TDeskFixture desk;
    TRichViewEdit *r = desk.Fra()->rveResult;
    r->AddText(QStringLiteral("First paragraph"), 0);
    r->AddText(QStringLiteral("\r\nSecond paragraph"), 1);
    const QString pdf = desk.App.File("out/result.pdf");
    QDir().mkpath(desk.App.File("out"));
    desk.Dialogs->SaveAnswers = {pdf};
    desk.Run("actExport2PDF");
    const TDialogCall save = desk.Dialogs->OfKind("save").first();
    QCOMPARE(save.Request.DefaultExt, QStringLiteral("pdf"));
    QCOMPARE(save.Request.Filter, QStringLiteral("PDF file|*.pdf"));
    QVERIFY(QFile::exists(pdf));
    QCOMPARE(desk.Desktop->Opened, QStringList{pdf});
    const QString text = pdfText(pdf);
    QVERIFY2(text.contains("First paragraph") && text.contains("Second paragraph"), qPrintable(text));
    QVERIFY(text.indexOf("First") < text.indexOf("Second"));
    QVERIFY(pdfFonts(pdf).contains("Arial") || pdfFonts(pdf).contains("Liberation"));
  }

  void emptyResultStillWritesAPdf() {
    TDeskFixture desk;
    const QString pdf = desk.App.File("empty.pdf");
    desk.Dialogs->SaveAnswers = {pdf};
    desk.Run("actExport2PDF");
    QVERIFY(QFileInfo(pdf).size() > 0);
    QCOMPARE(desk.Desktop->Opened, QStringList{pdf});
  }

  void cancelledExportDoesNothing() {
    TDeskFixture desk;
    desk.Run("actExport2PDF");
    QVERIFY(desk.Desktop->Opened.isEmpty());
  }

  void boldAndPlainWordsStandOnTwoLines() {
    TDeskFixture desk;
    TRichViewEdit *r = desk.Fra()->rveResult;
    r->AddText(QStringLiteral("plainword"), 0);
    r->AddText(QStringLiteral(" boldword"), 1); // "Heading": 10 pt bold
    QCOMPARE(r->ItemCount(), 2);
    const QString pdf = desk.App.File("two.pdf");
    desk.Dialogs->SaveAnswers = {pdf};
    desk.Run("actExport2PDF");
    const QStringList lines = pdfText(pdf).split('\n', Qt::SkipEmptyParts);
    int plain = -1, bold = -1;
    for (int i = 0; i < lines.size(); ++i) {
      if (lines.at(i).contains("plainword"))
        plain = i;
      if (lines.at(i).contains("boldword"))
        bold = i;
    }
    QVERIFY(plain >= 0 && bold > plain);
    QVERIFY(!pdfFonts(pdf).contains("Bold"));
  }

  // A result with a picture (black ink on a transparent ground) and a table,
  // exported through the command: the text is there, the picture's ground
  // prints white and its ink black, and the picture is stored without loss.
  void exportKeepsPicturesAsTheyShow() {
    TDeskFixture desk;
    TRichViewEdit *r = desk.Fra()->rveResult;
    QImage picture(560, 280, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    {
      QPainter p(&picture);
      p.fillRect(300, 40, 220, 80, Qt::black);
      QFont font(QStringLiteral("DejaVu Sans"));
      font.setPixelSize(90);
      font.setBold(true);
      p.setFont(font);
      p.setPen(Qt::black);
      p.drawText(QRect(300, 150, 220, 110), Qt::AlignCenter, QStringLiteral("ink"));
    }
    r->AddText(QStringLiteral("Above the picture"), 0);
    r->AddPicture(picture, 0);
    r->AddText(QStringLiteral("\r\nBelow the picture"), 0);
    QTextCursor end(r->document());
    end.movePosition(QTextCursor::End);
    r->setTextCursor(end);
    r->InsertTable(2, 2);
    r->textCursor().insertText(QStringLiteral("cell"));
    r->AddText(QStringLiteral("\r\nAfter the table"), 0);
    const QString pdf = desk.App.File("export/result.pdf");
    QVERIFY(QDir().mkpath(desk.App.File("export")));
    desk.Dialogs->SaveAnswers = {pdf};
    desk.Run("actExport2PDF");
    QCOMPARE(desk.Desktop->Opened, QStringList{pdf});
    QVERIFY(desk.Dialogs->OfKind("box").isEmpty());

    auto doc = Poppler::Document::load(pdf);
    QVERIFY(doc);
    std::unique_ptr<Poppler::Page> page(doc->page(0));
    const QString text = page->text(QRectF()).simplified();
    for (const char *words : {"Above the picture", "Below the picture", "After the table"})
      QVERIFY2(text.contains(QLatin1String(words)), qPrintable(text));
    QRectF above, below;
    for (const auto &box : page->textList()) {
      if (box->text() == u"Above")
        above = box->boundingBox();
      if (box->text() == u"Below")
        below = box->boundingBox();
    }
    QVERIFY(above.isValid() && below.isValid());

    // At 144 dpi: the picture 160 mm wide (2 x 560 / 7) at the left margin
    // of 10 mm, between the two paragraphs.
    const double dpi = 144, perMM = dpi / 25.4, s = 160 * perMM / 560, x0 = 10 * perMM;
    const QImage shot = page->renderToImage(dpi, dpi).convertToFormat(QImage::Format_RGB32);
    auto at = [&](double px, double py, double top) { return qGray(shot.pixel(int(x0 + px * s), int(top + py * s))); };
    // The top of the black bar, found in its middle column, gives the
    // picture's top.
    const int column = int(x0 + 410 * s);
    int bar = -1;
    for (int y = int(above.bottom() * 2) + 2; y < int(below.top() * 2) && bar < 0; ++y)
      if (qGray(shot.pixel(column, y)) < 60)
        bar = y;
    QVERIFY(bar > 0);
    const double top = bar - 40 * s;
    QVERIFY(top > above.bottom() * 2 && top + 280 * s < below.top() * 2);
    QVERIFY(at(410, 80, top) < 60);
    int notWhite = 0;
    for (int y = 10; y < 270; y += 2)
      for (int x = 10; x < 270; x += 2)
        notWhite += at(x, y, top) < 240;
    QCOMPARE(notWhite, 0);
    int ink = 0, all = 0;
    for (int y = 150; y < 260; ++y)
      for (int x = 300; x < 520; ++x, ++all)
        ink += at(x, y, top) < 80;
    QVERIFY2(ink > all / 20, qPrintable(QStringLiteral("%1 of %2").arg(ink).arg(all)));

    // One picture, 560 by 280, not as JPEG (DCT), without a mask.
    QProcess list;
    list.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    QVERIFY(list.waitForFinished(30000));
    const QStringList rows = QString::fromUtf8(list.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts).mid(2);
    QCOMPARE(rows.size(), 1);
    const QStringList cols = rows.first().simplified().split(u' ');
    QCOMPARE(cols.value(2), QStringLiteral("image")); // type
    QCOMPARE(cols.value(3), QStringLiteral("560"));
    QCOMPARE(cols.value(4), QStringLiteral("280"));
    QCOMPARE(cols.value(8), QStringLiteral("image")); // encoding: "jpeg" for DCT
    QFile raw(pdf);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QVERIFY(!raw.readAll().contains("DCTDecode"));
  }

  // The report that an export draws holds the whole PDF: none stays behind
  // on the workspace after an export, written or failed, however many.
  void everyExportLetsGoOfItsReport() {
    TDeskFixture desk;
    TRichViewEdit *r = desk.Fra()->rveResult;
    r->AddText(QStringLiteral("Exported again and again"), 0);
    r->AddPicture(RedLeftBlueRight(400, 300), 0);
    desk.App.Write("blocker", "file");
    const QStringList targets = {desk.App.File("first.pdf"), desk.App.File("blocker/failed.pdf"),
                                 desk.App.File("second.pdf"), desk.App.File("third.pdf")};
    for (const QString &pdf : targets) {
      desk.Dialogs->SaveAnswers = {pdf};
      desk.Run("actExport2PDF");
      QVERIFY(desk.Fra()->findChildren<TGDIPages *>().isEmpty());
    }
    QCOMPARE(desk.Desktop->Opened, (QStringList{targets[0], targets[2], targets[3]}));
    QCOMPARE(desk.Dialogs->OfKind("box").size(), 1);
    for (const QString &pdf : desk.Desktop->Opened) {
      auto doc = Poppler::Document::load(pdf);
      QVERIFY(doc);
      QVERIFY(doc->page(0)->text(QRectF()).contains("Exported again and again"));
    }
  }

  // Insert picture reads the chosen file as every picture file is read: a
  // picture goes in at the caret the way it is to be shown (turned as its
  // EXIF block says); what is no picture file is refused at once, without
  // blocking or reading it whole, with the interface table's message, and
  // the result stays as it was.
  void insertPictureReadsOnlyPictureFiles_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QSize>("inserted"); // invalid: refused
    QTest::addColumn<QString>("reason"); // the table's text below
    QTest::newRow("PNG") << "png" << QSize(30, 20) << "";
    QTest::newRow("JPEG turned by its EXIF orientation") << "exif" << QSize(20, 40) << "";
    QTest::newRow("pipe") << "fifo" << QSize() << "special (table).";
    QTest::newRow("link to /dev/zero") << "zero" << QSize() << "special (table).";
    QTest::newRow("0 bytes") << "empty" << QSize() << "empty (table).";
    QTest::newRow("header of 100000 x 100000") << "giant" << QSize() << "too large (table): 100000 x 100000, 250.";
    QTest::newRow("folder") << "folder" << QSize() << "folder (table).";
  }
  void insertPictureReadsOnlyPictureFiles() {
    QFETCH(QString, kind);
    QFETCH(QSize, inserted);
    QFETCH(QString, reason);
    TDeskFixture desk;
    QByteArray lang = desk.App.Read("langEn.zorvi");
    lang.prepend("error_imgRead=Picture refused [%s]: %s\n"
                 "error_fileSpecial=special (table).\n"
                 "error_fileEmpty=empty (table).\n"
                 "error_fileFolder=folder (table).\n"
                 "error_imgTooLarge=too large (table): %d x %d, %d.\n");
    desk.App.Write("langEn.zorvi", lang);
    desk.Main.reset();
    desk.DataModule.reset();
    desk.DataModule = std::make_unique<TdmMain>(nullptr, desk.App.Path());
    desk.Main = std::make_unique<TfrmOCRMain>();
    desk.Main->show();

    const QString name = desk.App.File(kind == u"exif" ? "pic.jpg" : kind == u"folder" ? "pic.png.d" : "pic.png");
    if (kind == u"png")
      QVERIFY(RedLeftBlueRight(30, 20).save(name));
    else if (kind == u"exif")
      QVERIFY(WriteBytes(name, JpegWithOrientation(RedLeftBlueRight(40, 20), 6)));
    else if (kind == u"fifo")
      QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0600), 0);
    else if (kind == u"zero")
      QVERIFY(QFile::link(QStringLiteral("/dev/zero"), name));
    else if (kind == u"empty")
      QVERIFY(WriteBytes(name, {}));
    else if (kind == u"giant")
      QVERIFY(WriteBytes(name, MakePng(100000, 100000, -1, 0, false)));
    else
      QVERIFY(QDir().mkpath(name));

    TRichViewEdit *r = desk.Fra()->rveResult;
    r->AddText(QStringLiteral("ab"), 0);
    QTextCursor caret(r->document());
    caret.setPosition(1);
    r->setTextCursor(caret);
    // The command acts on the editor that has the focus.
    desk.Main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(desk.Main.get()));
    r->setFocus();
    QTRY_VERIFY(desk.Main->Action(QStringLiteral("actRVEInsertrvActionInsertPicture1"))->isEnabled());
    desk.Dialogs->Calls.clear();
    desk.Dialogs->OpenAnswers = {{name}};
    desk.Run("actRVEInsertrvActionInsertPicture1");
    QCOMPARE(desk.Dialogs->OfKind("open").size(), 1);
    const QList<TDialogCall> boxes = desk.Dialogs->OfKind("box");
    if (inserted.isValid()) {
      QVERIFY(boxes.isEmpty());
      QCOMPARE(r->ItemCount(), 3);
      const TRVItemInfo picture = r->GetItem(1);
      QCOMPARE(picture.Kind, TRVItemKind::Picture);
      QCOMPARE(picture.Image.size(), inserted);
      // Red on the left as stored; turned a quarter clockwise, red on top.
      const QImage image = picture.Image.convertToFormat(QImage::Format_RGB32);
      QVERIFY(IsRed(image.pixel(5, 5)));
      QVERIFY(IsBlue(image.pixel(image.width() - 5, image.height() - 5)));
      QVERIFY(IsRed(image.pixel(image.width() - 5, 5)) == (kind == u"exif"));
    } else {
      QCOMPARE(boxes.size(), 1);
      QCOMPARE(boxes.first().Flags, unsigned(MB_OK | MB_ICONERROR));
      QCOMPARE(boxes.first().Text, QStringLiteral("Picture refused [%1]: %2").arg(name, reason));
      QCOMPARE(r->ItemCount(), 1);
      QCOMPARE(r->toPlainText(), QStringLiteral("ab"));
    }
  }

  // A PDF that cannot be written is reported with the reason and not
  // opened; the result still counts as unsaved.
  void unwritablePdfIsReportedAndNotOpened() {
    TDeskFixture desk;
    desk.Fra()->rveResult->AddText(QStringLiteral("kept words"), 0);
    desk.App.Write("blocker", "file");
    const QString pdf = desk.App.File("blocker/out.pdf");
    desk.Dialogs->SaveAnswers = {pdf};
    desk.Run("actExport2PDF");
    QVERIFY(desk.Desktop->Opened.isEmpty());
    const QList<TDialogCall> boxes = desk.Dialogs->OfKind("box");
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().Flags, unsigned(MB_OK | MB_ICONERROR));
    QCOMPARE(boxes.first().Text, QStringLiteral("Cannot write the PDF file %1: Not a directory").arg(pdf));
    QVERIFY(desk.Fra()->rveResult->document()->isModified());
  }

  void clearFormatJoinsEverythingIntoOneParagraph() {
    TDeskFixture desk;
    TRichViewEdit *r = desk.Fra()->rveResult;
    r->AddNamedCheckpoint(QStringLiteral("/a.png"));
    r->AddText(QStringLiteral("ab"), 1);
    r->AddNamedCheckpoint(QStringLiteral("/b.png"));
    r->AddText(QStringLiteral("\r\ncd\nef"), 0);
    r->AddPicture(QImage(10, 10, QImage::Format_RGB32));
    desk.Dialogs->BoxAnswers = {IDNO};
    desk.Fra()->actResult_ClearFormat->trigger();
    QCOMPARE(r->CheckpointCount(), 2);
    desk.Dialogs->BoxAnswers = {IDYES};
    desk.Fra()->actResult_ClearFormat->trigger();
    QCOMPARE(r->toPlainText(), QStringLiteral("ab cd ef"));
    QCOMPARE(r->CheckpointCount(), 0);
    QCOMPARE(r->ItemCount(), 1);
    QCOMPARE(r->GetItemStyle(0), 0);
  }

  // Where lines and paragraphs are joined, their words stay apart by one
  // blank; runs of one paragraph join as they stand. A part "s:text" is text
  // in style s appended with AddText, "[picture]" a picture paragraph.
  void clearFormatKeepsTheWordsApart_data() {
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<QString>("joined");
    QTest::newRow("lines of one recognition")
        << QStringList{"0:the\r\nocr\r\ntypes\nof\rtext"} << "the ocr types of text";
    QTest::newRow("two recognitions") << QStringList{"0:first", "0:\r\nsecond"} << "first second";
    QTest::newRow("a line ending in a blank") << QStringList{"0:the \nocr"} << "the ocr";
    QTest::newRow("a line starting with blanks") << QStringList{"0:the\n  ocr"} << "the  ocr";
    QTest::newRow("empty lines between") << QStringList{"0:a\n\n\nb\n"} << "a b";
    QTest::newRow("runs of one paragraph") << QStringList{"0:bo", "1:ld", "0: word"} << "bold word";
    QTest::newRow("a picture between") << QStringList{"0:before", "[picture]", "0:\nafter"} << "before after";
    QTest::newRow("a tab at the end") << QStringList{"0:a\t\nb"} << "a\tb";
  }
  void clearFormatKeepsTheWordsApart() {
    QFETCH(QStringList, parts);
    QFETCH(QString, joined);
    TDeskFixture desk;
    TRichViewEdit *r = desk.Fra()->rveResult;
    for (const QString &part : parts)
      if (part == u"[picture]")
        r->AddPicture(QImage(8, 8, QImage::Format_RGB32), 0);
      else
        r->AddText(part.mid(2), part.left(1).toInt());
    desk.Dialogs->BoxAnswers = {IDYES};
    desk.Fra()->actResult_ClearFormat->trigger();
    QCOMPARE(r->toPlainText(), joined);
    QCOMPARE(r->ItemCount(), 1);
  }

  // Undo in the result editor (Ctrl+Z, as the user presses it) brings back
  // the whole result as it was: text, formatting, the picture, the table and
  // the checkpoints; redo joins it again.
  void clearFormatIsOneUndoStep() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    TRichViewEdit *r = f->rveResult;
    r->AddNamedCheckpoint(QStringLiteral("/in/a.png"));
    r->AddText(QStringLiteral("Heading line"), 1);
    r->AddText(QStringLiteral("\r\nthe\r\nocr"), 0);
    r->AddPicture(QImage(12, 12, QImage::Format_RGB32), 0);
    r->AddNamedCheckpoint(QStringLiteral("/in/b.png"));
    r->AddText(QStringLiteral("\r\nsecond image"), 0);
    QTextCursor end(r->document());
    end.movePosition(QTextCursor::End);
    r->setTextCursor(end);
    r->InsertTable(2, 2);
    const QString before = r->document()->toHtml();
    const int items = r->ItemCount();
    const int steps = r->document()->availableUndoSteps(); // of the table's insertion
    const int cpA = r->GetCheckpointPos(r->FindCheckpointByName(QStringLiteral("/in/a.png")));
    const int cpB = r->GetCheckpointPos(r->FindCheckpointByName(QStringLiteral("/in/b.png")));

    desk.Dialogs->BoxAnswers = {IDYES};
    f->actResult_ClearFormat->trigger();
    const QString joined = QStringLiteral("Heading line the ocr second image");
    QCOMPARE(r->toPlainText(), joined);
    QCOMPARE(r->CheckpointCount(), 0);

    desk.Main->pcMain->SetActivePage(desk.Main->tsOCR);
    f->SetOCRView(VResult);
    desk.Main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(desk.Main.get()));
    r->setFocus();
    QTRY_VERIFY(r->hasFocus());
    QTest::keyClick(r, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(r->document()->toHtml(), before);
    QCOMPARE(r->ItemCount(), items);
    QCOMPARE(r->CheckpointCount(), 2);
    QCOMPARE(r->GetCheckpointPos(r->FindCheckpointByName(QStringLiteral("/in/a.png"))), cpA);
    QCOMPARE(r->GetCheckpointPos(r->FindCheckpointByName(QStringLiteral("/in/b.png"))), cpB);
    QCOMPARE(r->document()->availableUndoSteps(), steps); // one step took it all back

    r->redo();
    QCOMPARE(r->toPlainText(), joined);
    QCOMPARE(r->CheckpointCount(), 0);
    r->undo();
    QCOMPARE(r->CheckpointCount(), 2);
    QCOMPARE(r->document()->toHtml(), before);
  }

  // Closing the main window with a result that is not kept in a file asks
  // whether to save it. `before`: what happened to the result; `answer`: the
  // answer to the question (0: none expected); `saveTo`: the answer of the
  // save dialog ("ok" a file, "" cancelled, "fail" a file that cannot be
  // written).
  void closingAsksForAnUnsavedResult_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("saveTo");
    QTest::addColumn<bool>("closes");
    QTest::newRow("empty result") << "" << 0 << "" << true;
    QTest::newRow("only blank lines") << "blanks" << 0 << "" << true;
    QTest::newRow("recognised, Yes") << "recognised" << int(IDYES) << "ok" << true;
    QTest::newRow("recognised, Yes, dialog cancelled") << "recognised" << int(IDYES) << "" << false;
    QTest::newRow("recognised, Yes, the save fails") << "recognised" << int(IDYES) << "fail" << false;
    QTest::newRow("recognised, No") << "recognised" << int(IDNO) << "" << true;
    QTest::newRow("recognised, Cancel") << "recognised" << int(IDCANCEL) << "" << false;
    QTest::newRow("typed, Cancel") << "typed" << int(IDCANCEL) << "" << false;
    QTest::newRow("saved") << "recognised saved" << 0 << "" << true;
    QTest::newRow("exported as text") << "recognised exported" << 0 << "" << true;
    QTest::newRow("exported to PDF") << "recognised pdf" << 0 << "" << true;
    QTest::newRow("changed after the export") << "recognised exported typed" << int(IDNO) << "" << true;
    QTest::newRow("opened, unchanged") << "opened" << 0 << "" << true;
    QTest::newRow("cleared") << "recognised cleared" << 0 << "" << true;
  }
  void closingAsksForAnUnsavedResult() {
    QFETCH(QString, before);
    QFETCH(int, answer);
    QFETCH(QString, saveTo);
    QFETCH(bool, closes);
    TDeskFixture desk;
    TRichViewEdit *r = desk.Fra()->rveResult;
    for (const QString &step : before.split(u' ', Qt::SkipEmptyParts)) {
      if (step == u"blanks") {
        r->AddText(QStringLiteral("  \r\n\r\n "), 0);
      } else if (step == u"recognised") {
        r->AddNamedCheckpoint(QStringLiteral("/in/a.png"));
        r->AddText(QStringLiteral("recognised words"), 0);
      } else if (step == u"typed") {
        QTextCursor c(r->document());
        c.movePosition(QTextCursor::End);
        c.insertText(QStringLiteral(" typed"));
      } else if (step == u"saved" || step == u"exported") {
        desk.Dialogs->SaveAnswers = {desk.App.File(step + ".txt")};
        desk.Run(step == u"saved" ? "RVEFilervActionSaveAs1" : "RVEFilervActionExport1");
        QVERIFY(QFile::exists(desk.App.File(step + ".txt")));
      } else if (step == u"pdf") {
        desk.Dialogs->SaveAnswers = {desk.App.File("result.pdf")};
        desk.Run("actExport2PDF");
        QCOMPARE(desk.Desktop->Opened.size(), 1);
      } else if (step == u"opened") {
        desk.App.Write("doc.html", "<p>an opened <b>document</b></p>");
        desk.Dialogs->OpenAnswers = {{desk.App.File("doc.html")}};
        desk.Run("RVEFilervActionOpen1");
        QCOMPARE(r->toPlainText(), QStringLiteral("an opened document"));
      } else if (step == u"cleared") {
        desk.Dialogs->BoxAnswers = {IDYES};
        desk.Fra()->actResult_Clear->trigger();
      }
    }
    desk.Dialogs->Calls.clear();
    if (answer)
      desk.Dialogs->BoxAnswers = {answer};
    const QString saved = saveTo == u"fail" ? desk.App.File("blocker/result.htm") : desk.App.File("result.htm");
    if (saveTo == u"fail")
      desk.App.Write("blocker", "a file, not a folder");
    desk.Dialogs->SaveAnswers = {saveTo.isEmpty() ? QString() : saved};

    QCOMPARE(desk.Main->close(), closes);
    QCOMPARE(desk.Main->isVisible(), !closes);
    const QList<TDialogCall> boxes = desk.Dialogs->OfKind("box");
    if (!answer) {
      QVERIFY(desk.Dialogs->Calls.isEmpty());
      return;
    }
    QVERIFY(!boxes.isEmpty());
    QCOMPARE(boxes.first().Text,
             QStringLiteral("The result has changed since it was last saved or exported. Save it before closing?"));
    QCOMPARE(boxes.first().Flags, unsigned(MB_YESNOCANCEL | MB_ICONWARNING));
    QCOMPARE(desk.Dialogs->OfKind("save").size(), answer == IDYES ? 1 : 0);
    QCOMPARE(QFile::exists(saved), answer == IDYES && saveTo == u"ok");
    if (answer == IDYES && saveTo == u"ok") {
      QVERIFY(desk.App.Read("result.htm").contains("recognised words"));
      QVERIFY(!r->document()->isModified());
    }
    // A failed save is reported, and the window stays.
    QCOMPARE(boxes.size(), saveTo == u"fail" ? 2 : 1);
    if (saveTo == u"fail")
      QCOMPARE(boxes.last().Flags, unsigned(MB_OK | MB_ICONERROR));
  }

  // Print and print preview show the pictures of a document opened with
  // Ctrl+O, which it names relative to its own folder.
  void printShowsThePicturesOfAnOpenedDocument_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("preview");
    QTest::newRow("HTML, print") << "doc.html" << false;
    QTest::newRow("HTML, preview") << "doc.html" << true;
    QTest::newRow("Markdown, print") << "notes.md" << false;
    QTest::newRow("Markdown, preview") << "notes.md" << true;
  }
  void printShowsThePicturesOfAnOpenedDocument() {
    QFETCH(QString, name);
    QFETCH(bool, preview);
    TDeskFixture desk;
    const QString folder = desk.App.File("docs");
    QVERIFY(QDir().mkpath(folder + "/pics"));
    QImage red(150, 100, QImage::Format_RGB32);
    red.fill(Qt::red);
    QVERIFY(red.save(folder + "/pics/red.png"));
    desk.App.Write("docs/" + name, name.endsWith(".md")
                                       ? QByteArray("Printed words\n\n![red](pics/red.png)\n")
                                       : QByteArray("<p>Printed words</p><p><img src=\"pics/red.png\"></p>"));
    desk.Dialogs->OpenAnswers = {{folder + "/" + name}};
    desk.Run("RVEFilervActionOpen1");
    QCOMPARE(desk.Fra()->rveResult->ItemCount(), 2);

    const QString pdf = desk.App.File("printed.pdf");
    int previewRed = -1;
    desk.Dialogs->OnForm = [&](QDialog *d) {
      if (auto *pd = qobject_cast<QPrintDialog *>(d)) {
        pd->printer()->setOutputFileName(pdf);
        return int(QDialog::Accepted);
      }
      if (auto *pp = qobject_cast<QPrintPreviewDialog *>(d)) {
        // What the preview shows on the screen ...
        pp->resize(700, 900);
        pp->show();
        if (!QTest::qWaitForWindowExposed(pp))
          return int(QDialog::Rejected);
        auto *widget = pp->findChild<QPrintPreviewWidget *>();
        widget->updatePreview();
        previewRed = CountNear(widget->grab().toImage(), Qt::red);
        // ... and the pages it paints, written to a file.
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFileName(pdf);
        emit pp->paintRequested(&printer);
        return int(QDialog::Rejected);
      }
      return int(QDialog::Rejected);
    };
    desk.Run(preview ? "RVEFilervActionPrintPreview1" : "RVEFilervActionPrint1");
    if (preview)
      QVERIFY2(previewRed > 100, qPrintable(QString::number(previewRed)));
    auto doc = Poppler::Document::load(pdf);
    QVERIFY(doc);
    QVERIFY(doc->page(0)->text(QRectF()).contains("Printed words"));
    // The picture, 150 by 100 pixels at the screen's 96 dpi: about 112 by
    // 75 points; a broken-picture icon has no red.
    const int printed = CountNear(doc->page(0)->renderToImage(72, 72), Qt::red);
    QVERIFY2(printed > 112 * 75 / 2, qPrintable(QString::number(printed)));
  }

  void clearFormatOnAnEmptyEditor() {
    TDeskFixture desk;
    desk.Dialogs->BoxAnswers = {IDYES};
    desk.Fra()->ClearParaFormat();
    QCOMPARE(desk.Fra()->rveResult->toPlainText(), QString());
  }

  void clearResultShowsTheImageAlone() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    f->rveResult->AddNamedCheckpoint(QStringLiteral("/x.png"));
    f->rveResult->AddText(QStringLiteral("text"), 0);
    f->SetOCRView(VResult);
    desk.Dialogs->BoxAnswers = {IDNO};
    f->actResult_Clear->trigger();
    QCOMPARE(f->rveResult->toPlainText(), QStringLiteral("text"));
    QCOMPARE(f->CurVT(), VResult);
    desk.Dialogs->BoxAnswers = {IDYES};
    f->actResult_Clear->trigger();
    QVERIFY(f->rveResult->toPlainText().isEmpty());
    QCOMPARE(f->rveResult->CheckpointCount(), 0);
    QCOMPARE(f->CurVT(), VImage);
    QCOMPARE(f->pcOCR->ActivePage(), f->tsImage);
  }
};

QTEST_MAIN(TestResult)
#include "tst_result.moc"
