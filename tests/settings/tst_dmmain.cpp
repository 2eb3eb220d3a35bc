#include "uDMMain.h"
#include "uEditRepository.h"
#include "uIniOptions.h"
#include "uLangText.h"
#include "uTestAppFolder.h"
#include "uTestDialogs.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {
const QByteArray MinimalLang = "caption_error=Error\n";

QStringList pickerItems() { return dmMain ? dmMain->cbbItemLang->Items() : QStringList(); }
} // namespace

class TestDMMain : public QObject {
  Q_OBJECT

private slots:
  void init() { *IniOptions = TIniOptions(); }

  void startLoadsEverythingAndExitSaves() {
    TTestAppFolder app(true, QString::fromUtf8("Program Folder äöü"));
    TDialogsScope dialogs;
    auto *dm = new TdmMain(nullptr, app.Path());
    QCOMPARE(AppPath, app.Path());
    QVERIFY(AppPath.endsWith('/'));
    QCOMPARE(IniOptions->SystemApplicationTitle(), QStringLiteral("Zorvi Quillon"));
    QVERIFY(LangList);
    QCOMPARE(LangList->size(), app.Read("langEn.zorvi").count('\n'));
    QVERIFY(OCRLangList && OCRLangList->size() == 64);
    // eng, deu and fra are installed; the picker follows the list's order.
    QCOMPARE(pickerItems(), (QStringList{"English", "French", "German"}));
    QVERIFY(dialogs->Calls.isEmpty());
    IniOptions->SetParamCurPDF("/tmp/doc.pdf");
    QFile::remove(app.File("ZorviOCR.ini"));
    delete dm;
    QVERIFY(!LangList && !OCRLangList);
    QVERIFY(app.Read("ZorviOCR.ini").contains("CurPDF=/tmp/doc.pdf\n"));
  }

  void pickerOffers_data() {
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QStringList>("files"); // created in ocrlangs; a trailing "/" makes a folder
    QTest::addColumn<QStringList>("offered");
    QTest::newRow("file present") << QByteArray("German=deu\n") << QStringList{"deu.traineddata"} << QStringList{"German"};
    QTest::newRow("file missing") << QByteArray("German=deu\n") << QStringList{} << QStringList{};
    QTest::newRow("folder in its place") << QByteArray("German=deu\n") << QStringList{"deu.traineddata/"} << QStringList{};
    QTest::newRow("UTF-8 mark") << QByteArray("\xEF\xBB\xBFGerman=deu\nFrench=fra\n")
                                << QStringList{"deu.traineddata", "fra.traineddata"} << QStringList{"German", "French"};
    QTest::newRow("blanks around =") << QByteArray("German = deu\n") << QStringList{" deu.traineddata"}
                                     << QStringList{"German "};
    QTest::newRow("empty line and no =") << QByteArray("\nGerman\n") << QStringList{".traineddata"}
                                         << QStringList{"", ""};
    QTest::newRow("empty line offers nothing") << QByteArray("\n\nEnglish=eng\n") << QStringList{"eng.traineddata"}
                                               << QStringList{"English"};
    QTest::newRow("duplicate names") << QByteArray("German=deu\nGerman=deu\n") << QStringList{"deu.traineddata"}
                                     << QStringList{"German", "German"};
    QTest::newRow("CR line ends") << QByteArray("English=eng\rGerman=deu\r") << QStringList{"eng.traineddata", "deu.traineddata"}
                                  << QStringList{"English", "German"};
  }
  void pickerOffers() {
    QFETCH(QByteArray, list);
    QFETCH(QStringList, files);
    QFETCH(QStringList, offered);
    TTestAppFolder app(false);
    TDialogsScope dialogs;
    app.Write("langEn.zorvi", MinimalLang);
    app.Write("ocrLang.zorvi", list);
    QDir().mkpath(app.File("ocrlangs"));
    for (const QString &f : files) {
      if (f.endsWith('/'))
        QDir().mkpath(app.File("ocrlangs/" + f));
      else
        app.Write("ocrlangs/" + f, "data");
    }
    TdmMain dm(nullptr, app.Path());
    QCOMPARE(pickerItems(), offered);
    QVERIFY(dialogs->Calls.isEmpty());
  }

  void utf16ListGivesTheSameItems() {
    TTestAppFolder app(false);
    TDialogsScope dialogs;
    app.Write("langEn.zorvi", MinimalLang);
    const QString text = QStringLiteral("German=deu\r\nFrench=fra\r\n");
    QByteArray be("\xFE\xFF");
    for (QChar c : text) {
      be.append(char(c.unicode() >> 8));
      be.append(char(c.unicode() & 0xFF));
    }
    app.Write("ocrLang.zorvi", be);
    app.Write("ocrlangs/deu.traineddata", "x");
    app.Write("ocrlangs/fra.traineddata", "x");
    TdmMain dm(nullptr, app.Path());
    QCOMPARE(pickerItems(), (QStringList{"German", "French"}));
  }

  void emptyLanguageFileSettingOpensTheFolder() {
    TTestAppFolder app(true);
    TDialogsScope dialogs;
    app.Write("ZorviOCR.ini", "[Param]\nCurLangFile=\n");
    {
      TdmMain dm(nullptr, app.Path());
      QCOMPARE(dialogs->Calls.size(), 1);
      const TDialogCall box = dialogs->Calls.first();
      QCOMPARE(box.Flags, unsigned(MB_ICONERROR));
      QCOMPARE(box.Text, QStringLiteral("Cannot open file \"%1\". Is a directory").arg(app.Path()));
      QVERIFY(LangList && LangList->isEmpty());
      QVERIFY(!OCRLangList);
      QVERIFY(pickerItems().isEmpty());
      QCOMPARE(GetLangText("caption_error"), QStringLiteral("caption_error"));
      dm.InitConsts(); // the list never loaded: must not fail
      QVERIFY(pickerItems().isEmpty());
    }
  }

  void missingRecognitionListLeavesThePickerEmpty() {
    TTestAppFolder app(true);
    TDialogsScope dialogs;
    QFile::remove(app.File("ocrLang.zorvi"));
    TdmMain dm(nullptr, app.Path());
    QCOMPARE(dialogs->Calls.size(), 1);
    QCOMPARE(dialogs->Calls.first().Text,
             QStringLiteral("Cannot open file \"%1ocrLang.zorvi\". No such file or directory").arg(app.Path()));
    QVERIFY(OCRLangList && OCRLangList->isEmpty());
    QVERIFY(pickerItems().isEmpty());
    QCOMPARE(GetLangText("caption_error"), QStringLiteral("Error")); // the language table did load
  }

  void initConstsSeesNewTrainedData() {
    TTestAppFolder app(false);
    TDialogsScope dialogs;
    app.Write("langEn.zorvi", MinimalLang);
    app.Write("ocrLang.zorvi", "English=eng\nFrench=fra\nGerman=deu\n");
    app.Write("ocrlangs/eng.traineddata", "x");
    app.Write("ocrlangs/deu.traineddata", "x");
    TdmMain dm(nullptr, app.Path());
    QCOMPARE(pickerItems(), (QStringList{"English", "German"}));
    app.Write("ocrlangs/fra.traineddata", "x");
    app.Write("ocrLang.zorvi", "Italian=ita\n"); // not read again
    dm.InitConsts();
    QCOMPARE(pickerItems(), (QStringList{"English", "French", "German"}));
  }

  void unwritableSettingsAtExitAreReported() {
    TTestAppFolder app(true);
    TDialogsScope dialogs;
    auto *dm = new TdmMain(nullptr, app.Path());
    QFile::remove(app.File("ZorviOCR.ini"));
    QDir().mkpath(app.File("ZorviOCR.ini/blocked")); // a folder where the file should be
    delete dm;
    QCOMPARE(dialogs->Calls.size(), 1);
    QCOMPARE(dialogs->Calls.first().Text, QStringLiteral("Unable to write to %1ZorviOCR.ini").arg(app.Path()));
    QVERIFY(!LangList && !OCRLangList); // the exit went on
  }

  void extractFilePath() {
    QCOMPARE(ExtractFilePath("/a/b c/prog"), QStringLiteral("/a/b c/"));
    QCOMPARE(ExtractFilePath("prog"), QString());
  }
};

QTEST_MAIN(TestDMMain)
#include "tst_dmmain.moc"
