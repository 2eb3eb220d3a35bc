#include "uException.h"
#include "uGDIPages.h"
#include "uTestDialogs.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <poppler-qt6.h>

namespace {

constexpr double PtPerMM = 72.0 / 25.4;

std::unique_ptr<Poppler::Document> LoadPdf(const QString &fileName) {
  auto doc = Poppler::Document::load(fileName);
  if (doc)
    doc->setRenderHint(Poppler::Document::TextAntialiasing, false);
  return doc;
}

QString PageText(const Poppler::Document &doc, int page) { return doc.page(page)->text(QRectF()).simplified(); }

QStringList FontNames(const Poppler::Document &doc) {
  QStringList names;
  for (const Poppler::FontInfo &font : doc.fonts())
    names.append(font.name());
  return names;
}

// The text boxes of a page, words with their rectangles in points.
std::vector<std::unique_ptr<Poppler::TextBox>> Words(const Poppler::Document &doc, int page) {
  return doc.page(page)->textList();
}

QImage Picture(int w, int h, QColor colour) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

// Rendering may shift a colour by a step or two.
bool Near(QRgb pixel, QColor colour) {
  const QColor c(pixel);
  return qAbs(c.red() - colour.red()) < 8 && qAbs(c.green() - colour.green()) < 8 && qAbs(c.blue() - colour.blue()) < 8;
}

} // namespace

class TestGDIPages : public QObject {
  Q_OBJECT
  QTemporaryDir tmp;

private slots:
  void writesARealPdfInTheGivenFonts() {
    TGDIPages report;
    report.BeginDoc();
    report.Font().Name = QStringLiteral("Liberation Serif");
    report.Font().Size = 16;
    report.NewLine();
    report.DrawText(QStringLiteral("Large serif words"));
    report.Font().Name = QStringLiteral("Liberation Mono");
    report.Font().Size = 8;
    report.NewLine();
    report.DrawText(QStringLiteral("small mono words"));
    report.EndDoc();
    const QString path = tmp.filePath("fonts.pdf");
    QVERIFY(report.ExportPDF(path, false, false));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.read(5).startsWith("%PDF-"));
    auto doc = LoadPdf(path);
    QVERIFY(doc);
    QCOMPARE(doc->numPages(), 1);
    const QSizeF size = doc->page(0)->pageSizeF();
    QVERIFY(qAbs(size.width() - 210 * PtPerMM) < 1);
    QVERIFY(qAbs(size.height() - 297 * PtPerMM) < 1);
    QCOMPARE(PageText(*doc, 0), QStringLiteral("Large serif words small mono words"));
    const QStringList fonts = FontNames(*doc);
    QVERIFY2(fonts.filter("LiberationSerif").size() == 1, qPrintable(fonts.join(',')));
    QVERIFY2(fonts.filter("LiberationMono").size() == 1, qPrintable(fonts.join(',')));

    const auto words = Words(*doc, 0);
    QCOMPARE(words.size(), size_t(6));
    const QRectF large = words[0]->boundingBox();
    const QRectF small = words[3]->boundingBox();
    // At the left margin, one empty line below the top margin.
    QVERIFY(qAbs(large.left() - 10 * PtPerMM) < 2);
    QVERIFY(large.top() > 10 * PtPerMM + 12);
    // Twice the size, about twice as tall.
    const double ratio = large.height() / small.height();
    QVERIFY2(ratio > 1.6 && ratio < 2.4, qPrintable(QString::number(ratio)));
    // The second paragraph stands below the first with an empty line between.
    QVERIFY(small.top() > large.bottom() + 8);
  }

  void lineBreaksStartNewLines_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("CR") << "one\rtwo\rthree";
    QTest::newRow("LF") << "one\ntwo\nthree";
    QTest::newRow("CR LF") << "one\r\ntwo\r\nthree";
  }
  void lineBreaksStartNewLines() {
    QFETCH(QString, text);
    TGDIPages report;
    report.BeginDoc();
    report.Font().Size = 12;
    report.DrawText(text);
    const double lineMM = report.CurrentYPos() / 3;
    QVERIFY(lineMM > 4 && lineMM < 6); // 12 pt with single spacing
    report.EndDoc();
    const QString path = tmp.filePath("breaks.pdf");
    QVERIFY(report.ExportPDF(path, false, false));
    auto doc = LoadPdf(path);
    const auto words = Words(*doc, 0);
    QCOMPARE(words.size(), size_t(3));
    QVERIFY(words[1]->boundingBox().top() > words[0]->boundingBox().bottom() - 1);
    QVERIFY(words[2]->boundingBox().top() > words[1]->boundingBox().bottom() - 1);
    for (const auto &w : words)
      QVERIFY(qAbs(w->boundingBox().left() - 10 * PtPerMM) < 2);
  }

  void longTextWrapsAtTheMarginOntoASecondPage() {
    QStringList words;
    for (int i = 0; i < 1500; ++i)
      words.append(QStringLiteral("word%1").arg(i));
    TGDIPages report;
    report.BeginDoc();
    report.Font().Size = 12;
    report.DrawText(words.join(' '));
    report.EndDoc();
    QVERIFY(report.PageCount() >= 2);
    const QString path = tmp.filePath("long.pdf");
    QVERIFY(report.ExportPDF(path, false, false));
    auto doc = LoadPdf(path);
    QCOMPARE(doc->numPages(), report.PageCount());
    QStringList seen;
    for (int p = 0; p < doc->numPages(); ++p)
      for (const auto &w : Words(*doc, p)) {
        const QRectF box = w->boundingBox();
        QVERIFY2(box.right() <= 200 * PtPerMM + 1, qPrintable(w->text()));
        QVERIFY(box.left() >= 10 * PtPerMM - 1);
        QVERIFY(box.bottom() <= 287 * PtPerMM + 1);
        QVERIFY(box.top() >= 10 * PtPerMM - 1);
        seen.append(w->text());
      }
    QCOMPARE(seen, words); // nothing lost, nothing cut
    QVERIFY(!PageText(*doc, 1).isEmpty());
  }

  void aWordWiderThanTheLineIsBrokenInside() {
    TGDIPages report;
    report.BeginDoc();
    report.Font().Size = 20;
    report.DrawText(QString(200, u'W'));
    QVERIFY(report.CurrentYPos() > 15); // more than one line
    report.EndDoc();
    const QString path = tmp.filePath("wide.pdf");
    QVERIFY(report.ExportPDF(path, false, false));
    auto doc = LoadPdf(path);
    for (const auto &w : Words(*doc, 0))
      QVERIFY(w->boundingBox().right() <= 200 * PtPerMM + 1);
  }

  void pictureHeightInProportionAtItsPlace() {
    TGDIPages report;
    report.BeginDoc();
    report.DrawBMP(Picture(200, 100, Qt::red), 20, 60);
    QVERIFY(qAbs(report.CurrentYPos() - 30) < 0.01);
    report.EndDoc();
    const QString path = tmp.filePath("picture.pdf");
    QVERIFY(report.ExportPDF(path, false, false));
    auto doc = LoadPdf(path);
    const QImage page = doc->page(0)->renderToImage(25.4, 25.4); // one pixel per millimetre
    // Margin 10 mm + offset 20 mm: the picture covers x 30..90, y 10..40.
    QVERIFY(Near(page.pixel(60, 25), Qt::red));
    QVERIFY(Near(page.pixel(31, 11), Qt::red));
    QVERIFY(Near(page.pixel(88, 38), Qt::red));
    QVERIFY(Near(page.pixel(27, 25), Qt::white));
    QVERIFY(Near(page.pixel(93, 25), Qt::white));
    QVERIFY(Near(page.pixel(60, 43), Qt::white));
  }

  // Pictures are stored as drawn, without loss: a colour picture with fine
  // detail is not turned into JPEG, and its pixels come back unchanged.
  void picturesAreStoredWithoutLoss() {
    QImage picture(64, 32, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x)
        picture.setPixel(x, y, (x + y) % 2 ? qRgb(200, 30, 60) : qRgb(20, 180, 240));
    TGDIPages report;
    report.BeginDoc();
    report.DrawBMP(picture, 0, 64);
    report.EndDoc();
    QVERIFY(!report.PdfData().contains("DCTDecode"));
    const QString path = tmp.filePath("lossless.pdf");
    QVERIFY(report.ExportPDF(path, false, false));
    QCOMPARE(report.LastError(), QString());
    QVERIFY(QProcess::execute(QStringLiteral("pdfimages"), {QStringLiteral("-png"), path, tmp.filePath("lossless")}) ==
            0);
    const QImage back(tmp.filePath("lossless-000.png"));
    QCOMPARE(back.convertToFormat(QImage::Format_RGB32), picture);
  }

  void pictureStartsANewPageWhenTheRestIsTooShort() {
    TGDIPages report;
    report.BeginDoc();
    report.Font().Size = 12;
    while (report.CurrentYPos() < 250)
      report.NewLine();
    QCOMPARE(report.PageCount(), 1);
    report.DrawBMP(Picture(100, 50, Qt::blue), 0, 100); // 50 mm tall, 27 mm left
    QCOMPARE(report.PageCount(), 2);
    QVERIFY(qAbs(report.CurrentYPos() - 50) < 0.01);
    // One that fits stays on the page.
    report.DrawBMP(Picture(100, 50, Qt::blue), 0, 100);
    QCOMPARE(report.PageCount(), 2);
    QVERIFY(qAbs(report.CurrentYPos() - 100) < 0.01);
    report.EndDoc();
    const QString path = tmp.filePath("pages.pdf");
    QVERIFY(report.ExportPDF(path, false, false));
    auto doc = LoadPdf(path);
    QCOMPARE(doc->numPages(), 2);
    QVERIFY(Near(doc->page(1)->renderToImage(25.4, 25.4).pixel(50, 30), Qt::blue));
    QVERIFY(Near(doc->page(0)->renderToImage(25.4, 25.4).pixel(50, 280), Qt::white));
  }

  void pictureLargerThanThePageIsScaledToFit() {
    TGDIPages report;
    report.BeginDoc();
    report.DrawBMP(Picture(700, 1400, Qt::green), 0, 200); // 200 x 400 mm
    QCOMPARE(report.PageCount(), 1);
    QVERIFY(qAbs(report.CurrentYPos() - 277) < 0.01);
    report.EndDoc();
  }

  void zeroWidthOrNullPictureDrawsNothing() {
    TGDIPages report;
    report.BeginDoc();
    report.DrawBMP(Picture(3, 3, Qt::red), 0, 0);
    report.DrawBMP(QImage(), 0, 50);
    QCOMPARE(report.CurrentYPos(), 0.0);
    report.EndDoc();
  }

  void emptyDocumentIsOneBlankPage() {
    TGDIPages report;
    report.BeginDoc();
    report.EndDoc();
    const QString path = tmp.filePath("empty.pdf");
    QVERIFY(report.ExportPDF(path, false, false));
    auto doc = LoadPdf(path);
    QVERIFY(doc);
    QCOMPARE(doc->numPages(), 1);
    QCOMPARE(PageText(*doc, 0), QString());
  }

  void pdftotextReadsTheText() {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
      QSKIP("pdftotext is not installed");
    TGDIPages report;
    report.BeginDoc();
    report.DrawText(QStringLiteral("Grüße aus dem Bericht"));
    const QString path = tmp.filePath("umlauts.pdf");
    QVERIFY(report.ExportPDF(path, false, false)); // ends the document itself
    QProcess p;
    p.start("pdftotext", {"-enc", "UTF-8", path, "-"});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).simplified(), QStringLiteral("Grüße aus dem Bericht"));
  }

  void exportReplacesAnExistingFile() {
    const QString path = tmp.filePath("replace.pdf");
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old contents");
    old.close();
    TGDIPages report;
    report.BeginDoc();
    report.DrawText(QStringLiteral("new"));
    report.EndDoc();
    QVERIFY(report.ExportPDF(path, false, false));
    auto doc = LoadPdf(path);
    QVERIFY(doc);
    QCOMPARE(PageText(*doc, 0), QStringLiteral("new"));
  }

  void exportFailureReturnsFalse_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing folder") << "missing/folder/out.pdf"
                                    << "No such file or directory";
    QTest::newRow("a folder") << "afolder"
                              << "Is a directory";
    QTest::newRow("no name") << ""
                             << "No file name was given.";
  }
  void exportFailureReturnsFalse() {
    QFETCH(QString, target);
    QFETCH(QString, reason);
    QDir(tmp.path()).mkpath("afolder");
    const QString path = target.isEmpty() ? QString() : tmp.filePath(target);
    TDialogsScope dialogs;
    TDesktopScope desktop;
    TGDIPages report;
    report.BeginDoc();
    report.DrawText(QStringLiteral("text"));
    report.EndDoc();
    QVERIFY(!report.ExportPDF(path, false, true));
    QCOMPARE(report.LastError(), reason);
    QVERIFY(dialogs->Calls.isEmpty());
    QVERIFY(desktop->Opened.isEmpty());
    QVERIFY(target != "afolder" || QFileInfo(path).isDir());
    // Asked to, it shows the failure.
    QVERIFY(!report.ExportPDF(path, true, false));
    QCOMPARE(dialogs->OfKind("error-dialog").size(), 1);
  }

  void launchAfterOpensTheWrittenFile() {
    TDesktopScope desktop;
    TGDIPages report;
    report.BeginDoc();
    report.EndDoc();
    const QString path = tmp.filePath("open.pdf");
    QVERIFY(report.ExportPDF(path, false, true));
    QCOMPARE(desktop->Opened, QStringList{path});
  }

  void drawingWithoutADocumentRaises() {
    TGDIPages report;
    QVERIFY_THROWS_EXCEPTION(EPlatformError, report.DrawText("x"));
    QVERIFY_THROWS_EXCEPTION(EPlatformError, report.NewLine());
    QVERIFY(!report.ExportPDF(tmp.filePath("none.pdf"), false, false));
    QVERIFY(!QFile::exists(tmp.filePath("none.pdf")));
  }
};

QTEST_MAIN(TestGDIPages)
#include "tst_gdipages.moc"
