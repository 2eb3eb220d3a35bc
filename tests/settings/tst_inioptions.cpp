#include "uException.h"
#include "uTestFiles.h"
#include "uIniFile.h"
#include "uIniOptions.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QByteArray DefaultFile = "[System]\nSkin=Office2013White.skinres\nApplicationTitle=Zorvi Quillon\n"
                               "ApplicationName=Zorvi OCR\nShowGuide=1\n[Param]\nCurLangFile=langEn.zorvi\n"
                               "CurScan=testScan\nCurPath=\nCurFile=\nCurPDF=\nCurOCRLangName=German\n"
                               "ExportImagePath=\nCaptureImagePath=c:\\\nLangFilePath=\n[Hotkey]\nCapture=F2\n"
                               "C_Capture=Ctrl+F2\nRestore=F4\nCapture_Default=F2\nC_Capture_Default=Ctrl+F2\n"
                               "Restore_Default=F4\n";
} // namespace

class TestIniOptions : public QObject {
  Q_OBJECT
  QTemporaryDir dir;
  QString path() const { return dir.filePath(QStringLiteral("ZorviOCR.ini")); }

private slots:
  void init() { QFile::remove(path()); }

  void startsEmpty() {
    TIniOptions fresh;
    QVERIFY(fresh.SystemApplicationTitle().isEmpty());
    QVERIFY(!fresh.SystemShowGuide());
    QVERIFY(fresh.HotkeyCapture().isEmpty());
  }

  void missingFileGivesDefaultsAndExitWritesEveryKey() {
    TIniOptions o;
    o.LoadFromFile(path());
    QCOMPARE(o.SystemSkin(), QStringLiteral("Office2013White.skinres"));
    QCOMPARE(o.SystemApplicationTitle(), QStringLiteral("Zorvi Quillon"));
    QCOMPARE(o.SystemApplicationName(), QStringLiteral("Zorvi OCR"));
    QVERIFY(o.SystemShowGuide());
    QCOMPARE(o.ParamCurLangFile(), QStringLiteral("langEn.zorvi"));
    QCOMPARE(o.ParamCurScan(), QStringLiteral("testScan"));
    QCOMPARE(o.ParamCurOCRLangName(), QStringLiteral("German"));
    QCOMPARE(o.ParamCaptureImagePath(), QStringLiteral("c:\\"));
    QCOMPARE(o.HotkeyCapture(), QStringLiteral("F2"));
    QCOMPARE(o.HotkeyC_Capture(), QStringLiteral("Ctrl+F2"));
    QCOMPARE(o.HotkeyRestore(), QStringLiteral("F4"));
    QCOMPARE(o.HotkeyRestore_Default(), QStringLiteral("F4"));
    QVERIFY(!QFile::exists(path())); // loading creates nothing
    o.SaveToFile(path());
    QCOMPARE(ReadBytes(path()), DefaultFile);
  }

  void shippedSettingsFileHoldsTheDefaults() {
    QCOMPARE(ReadBytes(QStringLiteral(ZQ_SOURCE_DIR "data/ZorviOCR.ini")), DefaultFile);
  }

  void valuesRoundTrip() {
    TIniOptions o;
    o.LoadFromFile(path());
    o.SetParamCurPath("/home/user/Scans with spaces");
    o.SetParamCurOCRLangName("French");
    o.SetHotkeyCapture("Shift+Ctrl+F9");
    o.SetSystemShowGuide(false);
    o.SaveToFile(path());
    TIniOptions back;
    back.LoadFromFile(path());
    QCOMPARE(back.ParamCurPath(), QStringLiteral("/home/user/Scans with spaces"));
    QCOMPARE(back.ParamCurOCRLangName(), QStringLiteral("French"));
    QCOMPARE(back.HotkeyCapture(), QStringLiteral("Shift+Ctrl+F9"));
    QVERIFY(!back.SystemShowGuide());
  }

  void emptyValueIsNotTheDefault() {
    QVERIFY(WriteBytes(path(), "[Param]\nCurLangFile=\n[system]\napplicationtitle=Lower\n"));
    TIniOptions o;
    o.LoadFromFile(path());
    QCOMPARE(o.ParamCurLangFile(), QString());
    QCOMPARE(o.SystemApplicationTitle(), QStringLiteral("Lower"));
  }

  void saveKeepsCommentsAndForeignKeys() {
    QVERIFY(WriteBytes(path(), "; written by hand\n[System]\nApplicationTitle=Mine\nPlugin=yes\n[Custom]\nA=1\n"));
    TIniOptions o;
    o.LoadFromFile(path());
    o.SaveToFile(path());
    const QByteArray text = ReadBytes(path());
    QVERIFY(text.startsWith("; written by hand\n[System]\nApplicationTitle=Mine\nPlugin=yes\n"));
    QVERIFY(text.contains("[Custom]\nA=1\n"));
    const QByteArray once = text;
    o.SaveToFile(path());
    QCOMPARE(ReadBytes(path()), once);
  }

  void nullIniChangesNothing() {
    TIniOptions o;
    o.SetParamCurPath("kept");
    o.LoadSettings(nullptr);
    o.SaveSettings(nullptr);
    QCOMPARE(o.ParamCurPath(), QStringLiteral("kept"));
  }

  void saveThatCannotWriteRaisesAndKeepsNothingHalfWritten() {
    const QString blocker = dir.filePath("notafolder");
    QVERIFY(WriteBytes(blocker, "plain file"));
    TIniOptions o;
    o.LoadFromFile(path());
    QVERIFY_THROWS_EXCEPTION(EIniFileException, o.SaveToFile(blocker + "/ZorviOCR.ini"));
    QCOMPARE(ReadBytes(blocker), QByteArray("plain file"));
  }

  void globalInstanceExists() { QVERIFY(IniOptions != nullptr); }
};

QTEST_GUILESS_MAIN(TestIniOptions)
#include "tst_inioptions.moc"
