#include "uDMMain.h"
#include "uEditRepository.h"
#include "uIniOptions.h"
#include "uLangText.h"
#include "uTestAppFolder.h"
#include "uTestDialogs.h"
#include "uTextFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {
const QByteArray MinimalLang = "caption_error=Error\n";

QStringList pickerItems() { return dmMain ? dmMain->cbbItemLang->Items() : QStringList(); }

// Every key with the value that the program writes back, the title "Mine"
// and "@" for the remembered language-pack folder; `top` before the first
// section, `inSystem` and `inParam` at the start of those sections.
QByteArray settingsText(const QByteArray &top, const QByteArray &inSystem, const QByteArray &inParam,
                        const QByteArray &end = "\n") {
  const QList<QByteArray> system = {"Skin=Office2013White.skinres", "ApplicationTitle=Mine",
                                    "ApplicationName=Zorvi OCR", "ShowGuide=1"};
  const QList<QByteArray> param = {"CurLangFile=langEn.zorvi",
                                   "CurScan=testScan",
                                   "CurPath=",
                                   "CurFile=",
                                   "CurPDF=",
                                   "CurOCRLangName=German",
                                   "ExportImagePath=",
                                   "CaptureImagePath=c:\\",
                                   "LangFilePath=@"};
  const QList<QByteArray> hotkey = {"Capture=F2",         "C_Capture=Ctrl+F2",         "Restore=F4",
                                    "Capture_Default=F2", "C_Capture_Default=Ctrl+F2", "Restore_Default=F4"};
  QByteArray text = top + "[System]" + end + inSystem;
  for (const QByteArray &line : system)
    text += line + end;
  text += "[Param]" + end + inParam;
  for (const QByteArray &line : param)
    text += line + end;
  text += "[Hotkey]" + end;
  for (const QByteArray &line : hotkey)
    text += line + end;
  return text;
}

// The files of a folder whose name holds `part`, hidden ones included.
QStringList filesNamed(const QString &folder, const QString &part) {
  return QDir(folder).entryList({u'*' + part + u'*'}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// Run as a child process: starts the data module on the program folder and
// is killed half-way through the save at exit (a file-size limit whose
// signal ends the process, as a kill or a power cut would).
int killedSave(const QString &appPath) {
  TDialogsScope dialogs;
  auto *dm = new TdmMain(nullptr, appPath);
  IniOptions->SetParamCurPath(QString(100000, u'k'));
  struct rlimit noCore {};
  setrlimit(RLIMIT_CORE, &noCore);
  std::signal(SIGXFSZ, SIG_DFL);
  struct rlimit small {};
  getrlimit(RLIMIT_FSIZE, &small);
  small.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &small);
  delete dm;
  return 3; // not killed
}
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
    QTest::newRow("file present") << QByteArray("German=deu\n") << QStringList{"deu.traineddata"}
                                  << QStringList{"German"};
    QTest::newRow("file missing") << QByteArray("German=deu\n") << QStringList{} << QStringList{};
    QTest::newRow("folder in its place") << QByteArray("German=deu\n") << QStringList{"deu.traineddata/"}
                                         << QStringList{};
    QTest::newRow("UTF-8 mark") << QByteArray("\xEF\xBB\xBFGerman=deu\nFrench=fra\n")
                                << QStringList{"deu.traineddata", "fra.traineddata"} << QStringList{"German", "French"};
    QTest::newRow("blanks around =") << QByteArray("German = deu\n") << QStringList{" deu.traineddata"}
                                     << QStringList{"German "};
    QTest::newRow("empty line and no =") << QByteArray("\nGerman\n") << QStringList{".traineddata"}
                                         << QStringList{"", ""};
    QTest::newRow("empty line offers nothing")
        << QByteArray("\n\nEnglish=eng\n") << QStringList{"eng.traineddata"} << QStringList{"English"};
    QTest::newRow("duplicate names") << QByteArray("German=deu\nGerman=deu\n") << QStringList{"deu.traineddata"}
                                     << QStringList{"German", "German"};
    QTest::newRow("CR line ends") << QByteArray("English=eng\rGerman=deu\r")
                                  << QStringList{"eng.traineddata", "deu.traineddata"}
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

  // The lists are read only from regular files of a bounded size: a pipe in
  // their place does not block the start, a huge file is not read.
  void listThatIsNoPlainFileIsRefused_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("interface texts, a FIFO") << "langEn.zorvi" << "fifo"
                                             << "It is a device, a pipe or a socket, not a file.";
    QTest::newRow("recognition languages, a FIFO") << "ocrLang.zorvi" << "fifo"
                                                   << "It is a device, a pipe or a socket, not a file.";
    QTest::newRow("recognition languages, too large") << "ocrLang.zorvi" << "large" << "It is larger than 16 MB.";
  }
  void listThatIsNoPlainFileIsRefused() {
    QFETCH(QString, file);
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    TTestAppFolder app(true);
    TDialogsScope dialogs;
    const QString path = app.File(file);
    QVERIFY(QFile::remove(path));
    if (kind == "fifo") {
      QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
    } else {
      QFile f(path);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("English=eng\n");
      QVERIFY(f.resize(MaxTextFileBytes + 1));
    }
    TdmMain dm(nullptr, app.Path());
    QCOMPARE(dialogs->Calls.size(), 1);
    QCOMPARE(dialogs->Calls.first().Text, QStringLiteral("Cannot open file \"%1\". %2").arg(path, reason));
    QVERIFY(pickerItems().isEmpty());
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

  // Only the lines of the program's own keys are the program's: everything
  // else goes back byte for byte, whatever its encoding, and a changed key
  // changes its own line alone.
  void saveKeepsEveryLineItDoesNotWrite_data() {
    QTest::addColumn<QByteArray>("before"); // "@": the value the test changes
    QTest::newRow("Latin-1 comment") << settingsText("; Gr\xF6\xDF"
                                                     "e der Fenster\n",
                                                     "", "");
    QTest::newRow("foreign Latin-1 key") << settingsText("", "",
                                                         "Schl\xFCssel=Gr\xF6\xDF"
                                                         "e\n");
    QTest::newRow("NUL byte before the keys")
        << settingsText("", QByteArray("Note=a\0b\n", 9), QByteArray("; after\0\n", 9));
    QTest::newRow("UTF-8 mark, Latin-1 comment") << settingsText("\xEF\xBB\xBF; caf\xE9\n", "", "");
    QTest::newRow("own value not in UTF-8, unchanged")
        << settingsText("", "", "").replace("CurPath=\n", "CurPath=/home/j\xF6rg/\n");
    QTest::newRow("own key in its own spelling")
        << settingsText("", "", "").replace("ApplicationTitle=Mine\n", "  applicationTITLE =  \"Mine\"\t\n");
    QTest::newRow("CR LF and CR line ends, none at the end") << settingsText("; old\r", "", "", "\r\n").chopped(2);
    QTest::newRow("foreign section with odd lines")
        << settingsText("", "", "") + "[Plug\xE9]\nno equals sign\n=\n\xFF\xFE\n";
  }
  void saveKeepsEveryLineItDoesNotWrite() {
    QFETCH(QByteArray, before);
    TTestAppFolder app(true);
    TDialogsScope dialogs;
    app.Write("ZorviOCR.ini", QByteArray(before).replace("@", ""));
    auto *dm = new TdmMain(nullptr, app.Path());
    QCOMPARE(IniOptions->SystemApplicationTitle(), QStringLiteral("Mine")); // read past whatever came first
    IniOptions->SetParamLangFilePath(QStringLiteral("/packs/"));
    delete dm;
    QVERIFY(dialogs->Calls.isEmpty());
    QCOMPARE(app.Read("ZorviOCR.ini"), QByteArray(before).replace("@", "/packs/"));
  }

  // The save writes the file at the end of the chain; every link stays.
  void saveFollowsTheWholeLinkChain_data() {
    QTest::addColumn<QStringList>("links"); // link=target, from ZorviOCR.ini on; relative to the program folder
    QTest::addColumn<QString>("end");       // the file at the end
    QTest::addColumn<bool>("endExists");
    QTest::newRow("two links in the folder")
        << QStringList{"ZorviOCR.ini=mid.ini", "mid.ini=real.ini"} << "real.ini" << true;
    QTest::newRow("into other folders, relative and absolute")
        << QStringList{"ZorviOCR.ini=../conf/mid.ini", "../conf/mid.ini=<abs>../store/real.ini"} << "../store/real.ini"
        << true;
    QTest::newRow("missing end is created")
        << QStringList{"ZorviOCR.ini=mid.ini", "mid.ini=real.ini"} << "real.ini" << false;
  }
  void saveFollowsTheWholeLinkChain() {
    QFETCH(QStringList, links);
    QFETCH(QString, end);
    QFETCH(bool, endExists);
    TTestAppFolder app(true);
    TDialogsScope dialogs;
    QDir().mkpath(app.File("../conf"));
    QDir().mkpath(app.File("../store"));
    QFile::remove(app.File("ZorviOCR.ini"));
    QByteArray before = settingsText("; mine\n", "", "");
    if (endExists)
      app.Write(end, QByteArray(before).replace("@", ""));
    QStringList targets;
    for (const QString &link : links) {
      const QString name = link.section(u'=', 0, 0);
      QString target = link.section(u'=', 1);
      if (target.startsWith(QLatin1String("<abs>")))
        target = QDir::cleanPath(app.File(target.mid(5)));
      targets.append(target);
      QVERIFY(QFile::link(target, app.File(name)));
    }
    auto *dm = new TdmMain(nullptr, app.Path());
    IniOptions->SetParamLangFilePath(QStringLiteral("/packs/"));
    delete dm;
    QVERIFY(dialogs->Calls.isEmpty());
    for (qsizetype i = 0; i < links.size(); ++i) { // still links, to the same place
      const QString name = app.File(links.at(i).section(u'=', 0, 0));
      QVERIFY2(QFileInfo(name).isSymLink(), qPrintable(name));
      QCOMPARE(QFile::symLinkTarget(name), QFileInfo(QFileInfo(name).absolutePath(), targets.at(i)).absoluteFilePath());
    }
    const QByteArray written = app.Read(end);
    if (endExists)
      QCOMPARE(written, before.replace("@", "/packs/"));
    else
      QVERIFY(written.contains("LangFilePath=/packs/\n"));
    QStringList expected{QDir::cleanPath(app.File(end))}; // the links and the end, no temporaries
    for (const QString &link : links)
      expected.append(QDir::cleanPath(app.File(link.section(u'=', 0, 0))));
    QStringList present;
    for (const QString &folder : {app.Path(), app.File("../conf/"), app.File("../store/")})
      for (const QString &name : filesNamed(folder, ".ini"))
        present.append(QDir::cleanPath(folder + name));
    expected.sort();
    present.sort();
    QCOMPARE(present, expected);
  }

  // A settings file that may not be written stays as it is, also for the
  // superuser, and the data module reports the failure.
  void readOnlySettingsAreLeftAndReported_data() {
    QTest::addColumn<QString>("readOnly"); // what is made read-only
    QTest::newRow("read-only file") << "file";
    QTest::newRow("read-only end of a link") << "link";
    QTest::newRow("read-only program folder") << "folder";
  }
  void readOnlySettingsAreLeftAndReported() {
    QFETCH(QString, readOnly);
    const bool throughLink = readOnly == "link";
    TTestAppFolder app(true);
    TDialogsScope dialogs;
    const QByteArray before = QByteArray(settingsText("; mine\n", "", "")).replace("@", "");
    const QString file = throughLink ? app.File("real.ini") : app.File("ZorviOCR.ini");
    QFile::remove(app.File("ZorviOCR.ini"));
    app.Write(file.mid(app.Path().size()), before);
    if (throughLink)
      QVERIFY(QFile::link(QStringLiteral("real.ini"), app.File("ZorviOCR.ini")));
    const QByteArray folder = QFile::encodeName(app.Path());
    struct TWritableAgain { // so that the folder can be removed, whatever the test finds
      QByteArray Folder;
      ~TWritableAgain() { ::chmod(Folder.constData(), 0755); }
    } writableAgain{folder};
    const mode_t fileMode = readOnly == "folder" ? 0644 : 0444;
    QVERIFY(::chmod(QFile::encodeName(file).constData(), fileMode) == 0);
    if (readOnly == "folder")
      QVERIFY(::chmod(folder.constData(), 0555) == 0);
    auto *dm = new TdmMain(nullptr, app.Path());
    IniOptions->SetParamLangFilePath(QStringLiteral("/packs/"));
    delete dm;
    QCOMPARE(dialogs->Calls.size(), 1);
    QCOMPARE(dialogs->Calls.first().Flags, unsigned(MB_ICONERROR));
    QCOMPARE(dialogs->Calls.first().Text, QStringLiteral("Unable to write to %1ZorviOCR.ini").arg(app.Path()));
    QVERIFY(!LangList && !OCRLangList); // the exit went on
    QCOMPARE(app.Read(file.mid(app.Path().size())), before);
    struct stat st {};
    QVERIFY(::stat(QFile::encodeName(file).constData(), &st) == 0);
    QCOMPARE(st.st_mode & 07777, fileMode);
    QCOMPARE(QFileInfo(app.File("ZorviOCR.ini")).isSymLink(), throughLink);
    QCOMPARE(filesNamed(app.Path(), ".ini").size(), qsizetype(throughLink ? 2 : 1)); // no temporary
  }

  // A settings file that cannot be read whole gives the defaults and is
  // never written over: what it holds is not known.
  void unreadableSettingsAreNotWrittenOver_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("larger than any settings file") << "large";
  }
  void unreadableSettingsAreNotWrittenOver() {
    QFETCH(QString, kind);
    TTestAppFolder app(true);
    TDialogsScope dialogs;
    const QString file = app.File("ZorviOCR.ini");
    QFile::remove(file);
    if (kind == "fifo") {
      QVERIFY(::mkfifo(QFile::encodeName(file).constData(), 0644) == 0);
    } else {
      QFile f(file);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("[System]\nApplicationTitle=Big\n");
      QVERIFY(f.resize(64 * 1024 * 1024));
    }
    auto *dm = new TdmMain(nullptr, app.Path()); // a FIFO must not block the start
    QCOMPARE(IniOptions->SystemApplicationTitle(), QStringLiteral("Zorvi Quillon"));
    delete dm;
    QCOMPARE(dialogs->Calls.size(), 1);
    QCOMPARE(dialogs->Calls.first().Text, QStringLiteral("Unable to write to %1").arg(file));
    const QFileInfo after(file);
    if (kind == "fifo") {
      struct stat st {};
      QVERIFY(::lstat(QFile::encodeName(file).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
    } else {
      QCOMPARE(after.size(), qint64(64 * 1024 * 1024));
      QVERIFY(app.Read("ZorviOCR.ini").startsWith("[System]\nApplicationTitle=Big\n"));
    }
  }

  // A save killed half-way leaves the old file; its temporary is gone after
  // the next run, also one that changes nothing.
  void killedSaveLeavesNoTemporaryForGood() {
    TTestAppFolder app(true);
    const QByteArray before = app.Read("ZorviOCR.ini");
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--killed-save"), app.Path()});
    QVERIFY(child.waitForFinished(120000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QCOMPARE(app.Read("ZorviOCR.ini"), before);
    QCOMPARE(filesNamed(app.Path(), "ZorviOCR.ini").size(), qsizetype(2)); // the file and a cut-short temporary
    TDialogsScope dialogs;
    delete new TdmMain(nullptr, app.Path()); // a run that changes nothing
    QVERIFY(dialogs->Calls.isEmpty());
    QCOMPARE(filesNamed(app.Path(), "ZorviOCR.ini"), QStringList{"ZorviOCR.ini"});
    QCOMPARE(app.Read("ZorviOCR.ini"), before);
  }

  void extractFilePath() {
    QCOMPARE(ExtractFilePath("/a/b c/prog"), QStringLiteral("/a/b c/"));
    QCOMPARE(ExtractFilePath("prog"), QString());
  }
};

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc == 3 && qstrcmp(argv[1], "--killed-save") == 0)
    return killedSave(QString::fromLocal8Bit(argv[2]));
  TestDMMain test;
  return QTest::qExec(&test, argc, argv);
}
#include "tst_dmmain.moc"
