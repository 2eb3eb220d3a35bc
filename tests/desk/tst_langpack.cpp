#include "uBars.h"
#include "uDeskFixture.h"
#include "uEditRepository.h"
#include "uTestZip.h"
#include "uZip.h"

#include <QAction>
#include <QDirIterator>
#include <QProcess>
#include <QTimer>
#include <QtTest>
#include <csignal>

namespace {
// A real trained-data file of the built program folder.
QByteArray trainedData(const char *code) {
  QFile f(BuiltAppDir() + QStringLiteral("ocrlangs/%1.traineddata").arg(QLatin1String(code)));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Everything in ocrlangs, hidden entries and sub-folders included, with
// the size of each file: a temporary or a cut-short file shows here.
QStringList folderContents(const QString &folder) {
  QStringList found;
  QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    const QFileInfo fi = it.fileInfo();
    found.append(path.mid(folder.size()) + (fi.isDir() && !fi.isSymLink() ? QStringLiteral("/") : QString()) +
                 (fi.isFile() ? QStringLiteral(" %1").arg(fi.size()) : QString()));
  }
  found.sort();
  return found;
}
} // namespace

// Installing recognition-language packs: a zip archive extracted into
// ocrlangs, the picker rebuilt, an information box.
class TestLangPack : public QObject {
  Q_OBJECT

  static QStringList picker() { return dmMain->cbbItemLang->Items(); }

  // Imports `pack` through the command, as the user does.
  static void importPack(TDeskFixture &desk, const QString &pack) {
    desk.Dialogs->OpenAnswers = {{pack}};
    desk.Run("actImportLangFile");
  }

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
    const QByteArray french = trainedData("fra");
    QVERIFY(WriteTestZip(pack, {{"fra.traineddata", french}, {"readme.txt", "French"}}, deflate));
    desk.Dialogs->OpenAnswers = {{pack}};
    desk.Run("actImportLangFile");
    QCOMPARE(picker(), (QStringList{"English", "French", "German"}));
    QCOMPARE(desk.App.Read("ocrlangs/fra.traineddata"), french);
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
    QVERIFY(WriteTestZip(
        pack, {{"more/", {}}, {"more/ita.traineddata", trainedData("fra")}, {"xyz.traineddata", trainedData("deu")}}));
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
    const QByteArray replacement = trainedData("fra");
    QVERIFY(WriteTestZip(pack, {{"eng.traineddata", replacement}}));
    desk.Dialogs->OpenAnswers = {{pack}};
    desk.Run("actImportLangFile");
    QCOMPARE(desk.App.Read("ocrlangs/eng.traineddata"), replacement);
    QCOMPARE(QFileInfo(target).size(), size);
  }

  // A trained-data file that does not load in the recognition engine is kept
  // out, the installed one stays, and the box names the file and the reason;
  // the good files of the same pack are installed.
  void trainedDataThatDoesNotLoadIsKeptOut_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("installed"); // eng.traineddata was installed before
    QTest::newRow("empty, over an installed file") << QByteArray() << true;
    QTest::newRow("junk, over an installed file") << QByteArray(5000, 'f') << true;
    QTest::newRow("cut short, over an installed file") << trainedData("eng").left(200000) << true;
    QTest::newRow("junk, new language") << QByteArray("not trained data") << false;
  }
  void trainedDataThatDoesNotLoadIsKeptOut() {
    QFETCH(QByteArray, content);
    QFETCH(bool, installed);
    TDeskFixture desk;
    QFile::remove(desk.App.File("ocrlangs/fra.traineddata"));
    if (!installed)
      QFile::remove(desk.App.File("ocrlangs/eng.traineddata"));
    dmMain->InitConsts();
    const QString ocrlangs = desk.App.File("ocrlangs/");
    const QByteArray englishBefore = desk.App.Read("ocrlangs/eng.traineddata");
    const QString pack = desk.App.File("pack.zip");
    QVERIFY(WriteTestZip(pack, {{"eng.traineddata", content}, {"fra.traineddata", trainedData("fra")}}));
    importPack(desk, pack);
    const QList<TDialogCall> boxes = desk.Dialogs->OfKind("box");
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().Flags, unsigned(MB_ICONERROR));
    const QString text = boxes.first().Text;
    QVERIFY2(text.startsWith("eng.traineddata has not been installed: it does not load in the recognition engine ("),
             qPrintable(text));
    QVERIFY2(!text.contains(".zqpack"), qPrintable(text)); // the reason names the entry, not a temporary
    QCOMPARE(text.endsWith(" The file installed before stays in use."), installed);
    QCOMPARE(desk.App.Read("ocrlangs/eng.traineddata"), englishBefore);
    QCOMPARE(desk.App.Read("ocrlangs/fra.traineddata"), trainedData("fra"));
    QCOMPARE(picker(), installed ? QStringList({"English", "French", "German"}) : QStringList({"French", "German"}));
    QStringList expected = {"deu.traineddata " + QString::number(trainedData("deu").size()),
                            "fra.traineddata " + QString::number(trainedData("fra").size())};
    if (installed)
      expected.append("eng.traineddata " + QString::number(QFileInfo(ocrlangs + "eng.traineddata").size()));
    expected.sort();
    QCOMPARE(folderContents(ocrlangs), expected); // no temporary left
    QVERIFY(VisionCheckTrainedData(ocrlangs, QStringLiteral("fra")));
    if (installed)
      QVERIFY(VisionCheckTrainedData(ocrlangs, QStringLiteral("eng")));
  }

  // Sizes beyond what any language pack holds are refused from the
  // archive's directory, before anything is written.
  void oversizedPacksAreRefusedBeforeWriting_data() {
    QTest::addColumn<QList<TRawZipEntry>>("entries");
    QTest::addColumn<QString>("message");
    const TRawZipEntry good = RawZipEntry("fra.traineddata", trainedData("fra"), true);
    TRawZipEntry large = RawZipEntry("eng.traineddata", QByteArray(), true);
    large.Data = DeflatedZeros(1 << 20);
    large.Size = quint64(300) << 20;
    TRawZipEntry huge = large;
    huge.Size = quint64(4) << 30; // in Zip64
    QList<TRawZipEntry> many = {good};
    for (int i = 0; i < 9; ++i) {
      TRawZipEntry part = large;
      part.Name = QStringLiteral("part%1.bin").arg(i);
      part.Size = quint64(250) << 20;
      many.append(part);
    }
    QList<TRawZipEntry> numerous = {good};
    for (int i = 0; i < 10001; ++i)
      numerous.append(RawZipEntry(QStringLiteral("f%1").arg(i), QByteArray(), false));
    QTest::newRow("an entry of 300 MB") << QList<TRawZipEntry>{good, large}
                                        << "The entry \"eng.traineddata\" of the language pack is larger than 256 MB, "
                                           "more than any trained-data file. Nothing has been installed.";
    QTest::newRow("an entry of 4 GiB") << QList<TRawZipEntry>{good, huge}
                                       << "The entry \"eng.traineddata\" of the language pack is larger than 256 MB, "
                                          "more than any trained-data file. Nothing has been installed.";
    QTest::newRow("2.2 GB in all") << many
                                   << "The language pack unpacks to more than 2048 MB. Nothing has been installed.";
    QTest::newRow("10002 entries") << numerous
                                   << "The language pack holds more than 10000 entries. Nothing has been installed.";
  }
  void oversizedPacksAreRefusedBeforeWriting() {
    QFETCH(QList<TRawZipEntry>, entries);
    QFETCH(QString, message);
    TDeskFixture desk;
    QFile::remove(desk.App.File("ocrlangs/fra.traineddata"));
    dmMain->InitConsts();
    const QString ocrlangs = desk.App.File("ocrlangs/");
    const QStringList before = folderContents(ocrlangs);
    const QString pack = desk.App.File("pack.zip");
    QVERIFY(WriteRawZip(pack, entries));
    importPack(desk, pack);
    const QList<TDialogCall> boxes = desk.Dialogs->OfKind("box");
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().Flags, unsigned(MB_ICONERROR));
    QCOMPARE(boxes.first().Text, message);
    QCOMPARE(folderContents(ocrlangs), before); // not even the good file
    QCOMPARE(picker(), (QStringList{"English", "German"}));
  }

  // An entry that fails while it is extracted is named; nothing of it is
  // left, the entries before it stay and the picker is not rebuilt.
  void failingEntriesAreNamedAndLeaveNothing_data() {
    QTest::addColumn<QList<TRawZipEntry>>("entries");
    QTest::addColumn<QString>("message"); // "<ocrlangs>" stands for the folder
    const TRawZipEntry good = RawZipEntry("fra.traineddata", trainedData("fra"), true);
    TRawZipEntry bomb = RawZipEntry("eng.traineddata", QByteArray(), true);
    bomb.Data = DeflatedZeros(qint64(64) << 20); // says 1000 bytes
    bomb.Size = 1000;
    TRawZipEntry badCrc = RawZipEntry("deu.traineddata", trainedData("deu"), false);
    badCrc.Crc ^= 1;
    TRawZipEntry badDeflate = RawZipEntry("deu.traineddata", trainedData("deu"), true);
    badDeflate.Data[0] = char(badDeflate.Data[0] | 0x06); // a block of the reserved type
    QTest::newRow("deflate bomb that hides its size")
        << QList<TRawZipEntry>{good, bomb}
        << "The entry \"eng.traineddata\" of the language pack holds more data than the archive says; it is damaged "
           "and has not been installed.";
    QTest::newRow("wrong CRC")
        << QList<TRawZipEntry>{good, badCrc}
        << "The entry \"deu.traineddata\" of the language pack cannot be read: CRC error. It has "
           "not been installed.";
    QTest::newRow("damaged deflate data")
        << QList<TRawZipEntry>{good, badDeflate}
        << "The entry \"deu.traineddata\" of the language pack cannot be read: Zlib error: data error. It has "
           "not been installed.";
    QTest::newRow("folder below a file")
        << QList<TRawZipEntry>{good, RawZipEntry("eng.traineddata/notes.txt", "x", false)}
        << "The folder <ocrlangs>eng.traineddata for the entry \"eng.traineddata/notes.txt\" of the language pack "
           "cannot be created: Not a directory";
    QTest::newRow("folder entry over a file")
        << QList<TRawZipEntry>{good, RawZipEntry("deu.traineddata/", QByteArray(), false)}
        << "The folder <ocrlangs>deu.traineddata for the entry \"deu.traineddata/\" of the language pack cannot be "
           "created: Not a directory";
    QTest::newRow("file over a folder")
        << QList<TRawZipEntry>{good, RawZipEntry("more", "x", false)}
        << "The file <ocrlangs>more for the entry \"more\" of the language pack cannot be written: Is a directory";
  }
  void failingEntriesAreNamedAndLeaveNothing() {
    QFETCH(QList<TRawZipEntry>, entries);
    QFETCH(QString, message);
    TDeskFixture desk;
    QFile::remove(desk.App.File("ocrlangs/fra.traineddata"));
    dmMain->InitConsts();
    const QString ocrlangs = desk.App.File("ocrlangs/");
    QDir().mkpath(ocrlangs + "more/inside");
    QStringList before = folderContents(ocrlangs);
    const QString pack = desk.App.File("pack.zip");
    QVERIFY(WriteRawZip(pack, entries));
    importPack(desk, pack);
    const QList<TDialogCall> boxes = desk.Dialogs->OfKind("box");
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().Flags, unsigned(MB_ICONERROR));
    QCOMPARE(boxes.first().Text, QString(message).replace("<ocrlangs>", ocrlangs));
    // The good entry before stays, as it was written whole; nothing else.
    before.append("fra.traineddata " + QString::number(trainedData("fra").size()));
    before.sort();
    QCOMPARE(folderContents(ocrlangs), before);
    QCOMPARE(picker(), (QStringList{"English", "German"})); // not rebuilt
  }

  // Of two entries of the same name the later one is installed.
  void laterOfTwoEntriesWins() {
    TDeskFixture desk;
    const QString pack = desk.App.File("pack.zip");
    QVERIFY(WriteRawZip(pack, {RawZipEntry("fra.traineddata", trainedData("deu"), true),
                               RawZipEntry("fra.traineddata", trainedData("fra"), false)}));
    QFile::remove(desk.App.File("ocrlangs/fra.traineddata"));
    importPack(desk, pack);
    QCOMPARE(desk.Dialogs->OfKind("box").size(), 1);
    QCOMPARE(desk.Dialogs->OfKind("box").first().Text, QStringLiteral("The language pack has been installed."));
    QCOMPARE(desk.App.Read("ocrlangs/fra.traineddata"), trainedData("fra"));
  }

  // An archive with other data before it, as the zip tools read it.
  void archiveAfterAStubIsRead_data() {
    QTest::addColumn<QByteArray>("stub");
    QTest::addColumn<QByteArray>("comment");
    QTest::newRow("shell stub") << QByteArray("#!/bin/sh\necho 'a language pack'\nexit 0\n").repeated(20)
                                << QByteArray();
    QTest::newRow("stub and archive comment") << QByteArray(70000, '\x01') << QByteArray("French, 4.1");
  }
  void archiveAfterAStubIsRead() {
    QFETCH(QByteArray, stub);
    QFETCH(QByteArray, comment);
    TDeskFixture desk;
    QFile::remove(desk.App.File("ocrlangs/fra.traineddata"));
    dmMain->InitConsts();
    const QString pack = desk.App.File("pack.zip");
    QVERIFY(WriteRawZip(
        pack,
        {RawZipEntry("fra.traineddata", trainedData("fra"), true), RawZipEntry("notes/readme.txt", "French", false)},
        stub, comment));
    importPack(desk, pack);
    QCOMPARE(desk.Dialogs->OfKind("box").size(), 1);
    QCOMPARE(desk.Dialogs->OfKind("box").first().Text, QStringLiteral("The language pack has been installed."));
    QCOMPARE(desk.App.Read("ocrlangs/fra.traineddata"), trainedData("fra"));
    QCOMPARE(desk.App.Read("ocrlangs/notes/readme.txt"), QByteArray("French"));
    QCOMPARE(picker(), (QStringList{"English", "French", "German"}));
  }

  // The extraction runs off the window's thread: the window goes on
  // handling its events, with the busy cursor, until it is done.
  void windowStaysAliveWhileAPackIsInstalled() {
    TDeskFixture desk;
    const QString pack = desk.App.File("pack.zip");
    TRawZipEntry filler = RawZipEntry("filler.bin", QByteArray(), true);
    filler.Data = DeflatedZeros(qint64(64) << 20);
    filler.Size = quint64(64) << 20;
    filler.Crc = Crc32(QByteArray(64 << 20, '\0'));
    QVERIFY(WriteRawZip(pack, {RawZipEntry("eng.traineddata", trainedData("eng"), true), filler}));
    bool inCommand = false;
    int ticks = 0;
    bool busy = true;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      if (!inCommand)
        return;
      ++ticks;
      busy = busy && QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
    });
    timer.start();
    inCommand = true;
    importPack(desk, pack);
    inCommand = false;
    QVERIFY(ticks > 0);
    QVERIFY(busy);
    QVERIFY(!QGuiApplication::overrideCursor());
    QCOMPARE(desk.Dialogs->OfKind("box").first().Text, QStringLiteral("The language pack has been installed."));
  }

  // What a killed import left in the folder goes with the next import.
  void leftoversOfAKilledImportAreRemoved() {
    TDeskFixture desk;
    const QString ocrlangs = desk.App.File("ocrlangs/");
    const QStringList before = folderContents(ocrlangs);
    // The staging folder that an extraction killed half-way leaves behind.
    const QString pack = desk.App.File("pack.zip");
    QVERIFY(WriteTestZip(pack, {{"readme.txt", "x"}}));
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--killed-import"), pack, ocrlangs});
    QVERIFY(child.waitForFinished(120000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QVERIFY(folderContents(ocrlangs).size() > before.size());
    importPack(desk, pack);
    QStringList after = before;
    after.append("readme.txt 1");
    after.sort();
    QCOMPARE(folderContents(ocrlangs), after);
  }
};

// Run as a child process: an extraction that is killed while a file waits
// for its check, as a kill or a power cut would end it.
int killedImport(const QString &pack, const QString &folder) {
  ExtractZipFile(pack, folder, TZipLimits(), [](const QString &, const QString &, QString *) {
    std::raise(SIGKILL);
    return true;
  });
  return 3; // not killed
}

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc == 4 && qstrcmp(argv[1], "--killed-import") == 0)
    return killedImport(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
  TestLangPack test;
  return QTest::qExec(&test, argc, argv);
}
#include "tst_langpack.moc"
