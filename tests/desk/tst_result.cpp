#include "uDeskFixture.h"

#include "uPageControl.h"
#include "uRichViewEdit.h"

#include <QAction>
#include <QProcess>
#include <QTextCursor>
#include <QtTest>

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

  void unwritablePdfIsStillOpenedAndNothingCrashes() {
    TDeskFixture desk;
    desk.App.Write("blocker", "file");
    const QString pdf = desk.App.File("blocker/out.pdf");
    desk.Dialogs->SaveAnswers = {pdf};
    desk.Run("actExport2PDF");
    QCOMPARE(desk.Desktop->Opened, QStringList{pdf});
    QVERIFY(desk.Dialogs->OfKind("box").isEmpty());
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
    QCOMPARE(r->toPlainText(), QStringLiteral("abcdef"));
    QCOMPARE(r->CheckpointCount(), 0);
    QCOMPARE(r->ItemCount(), 1);
    QCOMPARE(r->GetItemStyle(0), 0);
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
