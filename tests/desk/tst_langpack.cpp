#include "uDeskFixture.h"

#include "uBars.h"
#include "uEditRepository.h"
#include "uTestZip.h"

#include <QAction>
#include <QtTest>

// Installing recognition-language packs: a zip archive extracted into
// ocrlangs, the picker rebuilt, an information box.
class TestLangPack : public QObject {
  Q_OBJECT

  static QStringList picker() { return dmMain->cbbItemLang->Items(); }

private slots:
  void packAddsALanguage_data() {
    QTest::addColumn<bool>("deflate");
    QTest::newRow("deflated") << true;
    QTest::newRow("stored") << false;
  }
  void packAddsALanguage() {
    QFETCH(bool, deflate);
    TDeskFixture desk;
    QFile::remove(desk.App.File("ocrlangs/fra.traineddata"));
    dmMain->InitConsts();
    QCOMPARE(picker(), (QStringList{"English", "German"}));
    desk.Main->barItemLang->SetEditValue(QStringLiteral("English"));
    const QString pack = desk.App.File("../packs/french.zip");
    QDir().mkpath(QFileInfo(pack).absolutePath());
    QVERIFY(WriteTestZip(pack, {{"fra.traineddata", QByteArray(5000, 'f')}, {"readme.txt", "French"}}, deflate));
    desk.Dialogs->OpenAnswers = {{pack}};
    desk.Run("actImportLangFile");
    QCOMPARE(picker(), (QStringList{"English", "French", "German"}));
    QCOMPARE(desk.App.Read("ocrlangs/fra.traineddata"), QByteArray(5000, 'f'));
    QCOMPARE(desk.App.Read("ocrlangs/readme.txt"), QByteArray("French"));
    QCOMPARE(IniOptions->ParamLangFilePath(), ExtractFilePath(pack));
    QCOMPARE(desk.Main->barItemLang->CurEditValue().toString(), QStringLiteral("English")); // choice unchanged
    const TDialogCall open = desk.Dialogs->OfKind("open").first();
    QCOMPARE(open.Request.Filter, QStringLiteral("Language packs (*.zip)|*.zip|All files|*"));
    QVERIFY(!open.Request.MultiSelect);
    const QList<TDialogCall> boxes = desk.Dialogs->OfKind("box");
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().Text, QStringLiteral("The language pack has been installed."));
    QCOMPARE(boxes.first().Flags, unsigned(MB_ICONINFORMATION));
    // The same pack again: same files, same picker; the dialog offers the last file.
    desk.Dialogs->OpenAnswers = {{pack}};
    desk.Run("actImportLangFile");
    QCOMPARE(picker(), (QStringList{"English", "French", "German"}));
    QCOMPARE(desk.Dialogs->OfKind("open").last().Request.FileName, pack);
    QCOMPARE(desk.Dialogs->OfKind("open").last().Request.InitialDir, ExtractFilePath(pack));
  }

  void cancelChangesNothing() {
    TDeskFixture desk;
    IniOptions->SetParamLangFilePath(QStringLiteral("/somewhere/"));
    desk.Run("actImportLangFile");
    QCOMPARE(IniOptions->ParamLangFilePath(), QStringLiteral("/somewhere/"));
    QVERIFY(desk.Dialogs->OfKind("box").isEmpty());
  }

  void subFoldersAndUnlistedCodesAreExtractedButNotOffered() {
    TDeskFixture desk;
    const QString pack = desk.App.File("pack.zip");
    QVERIFY(WriteTestZip(pack, {{"more/", {}}, {"more/ita.traineddata", "x"}, {"xyz.traineddata", "y"}}));
    QFile::remove(desk.App.File("ocrlangs"));
    QDir(desk.App.File("ocrlangs")).removeRecursively(); // a missing folder is created
    desk.Dialogs->OpenAnswers = {{pack}};
    desk.Run("actImportLangFile");
    QVERIFY(QFile::exists(desk.App.File("ocrlangs/more/ita.traineddata")));
    QVERIFY(QFile::exists(desk.App.File("ocrlangs/xyz.traineddata")));
    QVERIFY(picker().isEmpty());
  }

  void emptyArchiveStillRebuildsAndConfirms() {
    TDeskFixture desk;
    const QString pack = desk.App.File("empty.zip");
    // An archive without entries: the end-of-directory record alone.
    QFile f(pack);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
    f.close();
    desk.Dialogs->OpenAnswers = {{pack}};
    desk.Run("actImportLangFile");
    QCOMPARE(desk.Dialogs->OfKind("box").size(), 1);
    QCOMPARE(desk.Dialogs->OfKind("box").first().Flags, unsigned(MB_ICONINFORMATION));
  }

  void notAnArchiveIsReportedAndRemembered() {
    TDeskFixture desk;
    const QString bad = desk.App.File("bad/not.zip");
    desk.App.Write("bad/not.zip", "this is no zip archive");
    desk.Dialogs->OpenAnswers = {{bad}};
    desk.Run("actImportLangFile");
    const QList<TDialogCall> boxes = desk.Dialogs->OfKind("box");
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().Flags, unsigned(MB_ICONERROR));
    QVERIFY(boxes.first().Text.contains(bad));
    QCOMPARE(IniOptions->ParamLangFilePath(), desk.App.File("bad/"));
  }

  void entriesLeadingOutsideAreRefused_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("parent") << "../evil.traineddata";
    QTest::newRow("inner parent") << "sub/../../evil.traineddata";
    QTest::newRow("absolute") << "/tmp/evil.traineddata";
  }
  void entriesLeadingOutsideAreRefused() {
    QFETCH(QString, name);
    TDeskFixture desk;
    const QString pack = desk.App.File("evil.zip");
    QVERIFY(WriteTestZip(pack, {{"good.traineddata", "g"}, {name, "e"}}));
    desk.Dialogs->OpenAnswers = {{pack}};
    desk.Run("actImportLangFile");
    QVERIFY(!QFile::exists(desk.App.File("evil.traineddata")));
    QVERIFY(!QFile::exists(desk.App.File("ocrlangs/good.traineddata"))); // refused before writing
    QCOMPARE(desk.Dialogs->OfKind("box").first().Flags, unsigned(MB_ICONERROR));
  }

  void aLinkInTheFolderIsReplacedNotFollowed() {
    TDeskFixture desk;
    // The fixture links eng.traineddata to the built program folder's copy.
    const QString target = QFileInfo(desk.App.File("ocrlangs/eng.traineddata")).symLinkTarget();
    QVERIFY(!target.isEmpty());
    const qint64 size = QFileInfo(target).size();
    const QString pack = desk.App.File("eng.zip");
    QVERIFY(WriteTestZip(pack, {{"eng.traineddata", "replacement"}}));
    desk.Dialogs->OpenAnswers = {{pack}};
    desk.Run("actImportLangFile");
    QCOMPARE(desk.App.Read("ocrlangs/eng.traineddata"), QByteArray("replacement"));
    QCOMPARE(QFileInfo(target).size(), size);
  }
};

QTEST_MAIN(TestLangPack)
#include "tst_langpack.moc"
