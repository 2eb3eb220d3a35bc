#include "uException.h"
#include "uTestFiles.h"
#include "uIniFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

class TestIniFile : public QObject {
  Q_OBJECT
  QTemporaryDir dir;
  QString path() const { return dir.filePath(QStringLiteral("t.ini")); }

private slots:
  void init() { QFile::remove(path()); }

  void readRules_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    const QByteArray f = "; comment=1\n[System]\nApplicationTitle=Zorvi\nEmpty=\n Spaced =  a b  \nQuoted=\"  x \"\n"
                         "Eq=a=b=c\n[system]\nApplicationTitle=second section\n[Other]\nkey=v\n";
    QTest::newRow("exact") << f << "System"
                           << "ApplicationTitle"
                           << "Zorvi";
    QTest::newRow("key in lower case") << f << "System"
                                       << "applicationtitle"
                                       << "Zorvi";
    QTest::newRow("section in upper case") << f << "SYSTEM"
                                           << "ApplicationTitle"
                                           << "Zorvi";
    QTest::newRow("empty value is not the default") << f << "System"
                                                    << "Empty"
                                                    << "";
    QTest::newRow("white space trimmed") << f << "System"
                                         << "Spaced"
                                         << "a b";
    QTest::newRow("quotes removed") << f << "System"
                                    << "Quoted"
                                    << "  x ";
    QTest::newRow("value keeps further equals") << f << "System"
                                                << "Eq"
                                                << "a=b=c";
    QTest::newRow("missing key") << f << "System"
                                 << "Nope"
                                 << "DEF";
    QTest::newRow("missing section") << f << "Hotkey"
                                     << "Capture"
                                     << "DEF";
    QTest::newRow("comment is no key") << f << "System"
                                       << "; comment"
                                       << "DEF";
    QTest::newRow("other section") << f << "Other"
                                   << "KEY"
                                   << "v";
    QTest::newRow("missing file") << QByteArray() << "System"
                                  << "ApplicationTitle"
                                  << "DEF";
  }
  void readRules() {
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    if (!file.isEmpty())
      QVERIFY(WriteBytes(path(), file));
    TIniFile ini(path());
    QCOMPARE(ini.ReadString(section, key, QStringLiteral("DEF")), expected);
  }

  void longValueIsCut() {
    QVERIFY(WriteBytes(path(), "[S]\nK=" + QByteArray(3000, 'x') + "\n"));
    TIniFile ini(path());
    QCOMPARE(ini.ReadString("S", "K", {}).size(), 2047);
  }

  // Writing back what a read gave keeps the long line; a new long value
  // that starts as the old one did is written all the same.
  void longValuesAreWrittenWhenTheyChange() {
    const QByteArray old = "[S]\nK=" + QByteArray(2047, 'x') + "old\n";
    QVERIFY(WriteBytes(path(), old));
    {
      TIniFile ini(path());
      ini.WriteString("S", "K", ini.ReadString("S", "K", {}));
    }
    QCOMPARE(ReadBytes(path()), old);
    {
      TIniFile ini(path());
      ini.WriteString("S", "K", QString(2047, u'x') + "new");
    }
    QCOMPARE(ReadBytes(path()), "[S]\nK=" + QByteArray(2047, 'x') + "new\n");
  }

  void readBool_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("expected");
    QTest::newRow("0") << QByteArray("0") << false;
    QTest::newRow("1") << QByteArray("1") << true;
    QTest::newRow("2") << QByteArray("2") << true;
    QTest::newRow("-1") << QByteArray("-1") << true;
    QTest::newRow("yes is no number") << QByteArray("yes") << true;
    QTest::newRow("empty") << QByteArray("") << true;
    QTest::newRow("hex zero") << QByteArray("$0") << false;
  }
  void readBool() {
    QFETCH(QByteArray, value);
    QFETCH(bool, expected);
    QVERIFY(WriteBytes(path(), "[System]\nShowGuide=" + value + "\n"));
    TIniFile ini(path());
    QCOMPARE(ini.ReadBool("System", "ShowGuide", true), expected);
  }

  void writeKeepsEveryOtherLine() {
    QVERIFY(WriteBytes(path(), "; my settings\r\n[System]\r\nTitle=old\r\n\r\n; keep me\r\nUnknown=7\r\n[Param]\r\nX=1\r\n"));
    {
      TIniFile ini(path());
      ini.WriteString("system", "title", "new");
      ini.WriteString("Param", "Y", "2");
      ini.WriteString("Hotkey", "Capture", "F2");
      ini.UpdateFile();
    }
    QCOMPARE(ReadBytes(path()), QByteArray("; my settings\r\n[System]\r\ntitle=new\r\n\r\n; keep me\r\nUnknown=7\r\n"
                                         "[Param]\r\nX=1\r\nY=2\r\n[Hotkey]\r\nCapture=F2\r\n"));
  }

  void newFileHoldsSectionsInOrderOfFirstWrite() {
    {
      TIniFile ini(path());
      ini.WriteString("System", "A", "1");
      ini.WriteString("Param", "B", "2");
      ini.WriteString("System", "C", "3");
      ini.WriteBool("Hotkey", "D", true);
    }
    QCOMPARE(ReadBytes(path()), QByteArray("[System]\nA=1\nC=3\n[Param]\nB=2\n[Hotkey]\nD=1\n"));
  }

  void valuesReadBackUnchanged_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "C:/some path/file.png";
    QTest::newRow("leading blank") << " x";
    QTest::newRow("trailing blank") << "x ";
    QTest::newRow("quoted") << "\"x\"";
    QTest::newRow("non-ASCII") << QString::fromUtf8("Größe/画像");
    QTest::newRow("empty") << "";
    QTest::newRow("equals and semicolon") << "a=b;c";
  }
  void valuesReadBackUnchanged() {
    QFETCH(QString, value);
    {
      TIniFile ini(path());
      ini.WriteString("S", "K", value);
    }
    TIniFile ini(path());
    QCOMPARE(ini.ReadString("S", "K", "DEF"), value);
  }

  void lineBreakInValueCannotAddKeys() {
    {
      TIniFile ini(path());
      ini.WriteString("S", "K", "a\n[T]\nX=1");
    }
    TIniFile ini(path());
    QCOMPARE(ini.ReadString("T", "X", "none"), QStringLiteral("none"));
    QCOMPARE(ini.ReadString("S", "K", {}), QStringLiteral("a [T] X=1"));
  }

  void utf16FileIsRead() {
    const QString text = QStringLiteral("[S]\r\nK=Wert äöü\r\n");
    QByteArray bytes("\xFF\xFE");
    bytes.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    QVERIFY(WriteBytes(path(), bytes));
    {
      TIniFile ini(path());
      QCOMPARE(ini.ReadString("s", "k", {}), QStringLiteral("Wert äöü"));
      ini.WriteString("S", "L", "x");
    }
    TIniFile again(path());
    QCOMPARE(again.ReadString("S", "L", {}), QStringLiteral("x"));
    QVERIFY(ReadBytes(path()).startsWith("\xFF\xFE"));
  }

  void utf16LinesNotWrittenStayAsTheyWere() {
    // A lone surrogate in a comment cannot survive decoding; untouched, it
    // goes back as it was.
    static const char bytes[] = "\xFF\xFE;\0\x00\xD8\r\0\n\0[\0S\0]\0\r\0\n\0K\0=\0a\0\r\0\n\0";
    const QByteArray before(bytes, sizeof bytes - 1);
    QVERIFY(WriteBytes(path(), before));
    {
      TIniFile ini(path());
      QCOMPARE(ini.ReadString("S", "K", {}), QStringLiteral("a"));
      ini.WriteString("S", "L", "b");
    }
    QCOMPARE(ReadBytes(path()), before + QByteArray("L\0=\0b\0\r\0\n\0", 10));
  }

  void secondSaveLeavesTextAsItWas() {
    {
      TIniFile ini(path());
      ini.WriteString("S", "K", "v");
    }
    const QByteArray first = ReadBytes(path());
    {
      TIniFile ini(path());
      ini.WriteString("S", "K", "v");
      QVERIFY(!ini.Modified());
    }
    QCOMPARE(ReadBytes(path()), first);
  }

  void writeIntoMissingFolderRaises() {
    // The file's folder is a plain file, so nothing can be created there.
    const QString blocker = dir.filePath("blocker");
    QVERIFY(WriteBytes(blocker, "x"));
    const QString target = blocker + "/t.ini";
    TIniFile ini(target);
    ini.WriteString("S", "K", "v");
    try {
      ini.UpdateFile();
      QFAIL("no error raised");
    } catch (const EIniFileException &e) {
      QCOMPARE(e.Message(), QStringLiteral("Unable to write to %1").arg(target));
    }
  }

  void failedWriteLeavesPreviousFile() {
    // A file-size limit makes the write fail half-way, as a full disk would.
    const QByteArray before = "[S]\nK=old\n";
    QVERIFY(WriteBytes(path(), before));
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    auto prevHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = old;
    tiny.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &tiny);
    bool raised = false;
    {
      TIniFile ini(path());
      ini.WriteString("S", "K", QString(200, u'n'));
      try {
        ini.UpdateFile();
      } catch (const EIniFileException &) {
        raised = true;
      }
      setrlimit(RLIMIT_FSIZE, &old);
      ini.WriteString("S", "K", "old"); // nothing left to flush on release
    }
    std::signal(SIGXFSZ, prevHandler);
    QVERIFY(raised);
    QCOMPARE(ReadBytes(path()), before);
    QCOMPARE(QDir(dir.path()).entryList({"*t.ini*"}, QDir::Files | QDir::Hidden),
             QStringList{"t.ini"}); // no temporary left
  }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
