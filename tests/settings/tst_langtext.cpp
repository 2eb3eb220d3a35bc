#include "uDMMain.h"
#include "uLangText.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

// A component of the program's own that declares its Caption itself.
class TOwnItem : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
public:
  QString Caption() const { return FCaption; }
  void SetCaption(const QString &c) { FCaption = c; }
  QString FCaption = QStringLiteral("design");
};

class TestLangText : public QObject {
  Q_OBJECT
  QStringList table;

private slots:
  void init() {
    table = QStringList{
        "[Messages]",
        "",
        "CAPTION_ERROR=Fehler",
        "caption_error=second",
        "info_dirExist =with a blank",
        "lblTo=",
        "filter_openlang=Packs (*.zip)|*.zip|Keys=values|*.ini",
        "btnEdtFile=Choose a document",
        "lblPages=Seiten",
        "actOK=OK!",
        "btn7=never used",
        "actCapture=Capture (%s)",
        "; comment=not special for the table",
    };
    LangList = &table;
  }
  void cleanup() { LangList = nullptr; }

  void getLangText_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("other case, first line wins") << "caption_error" << "Fehler";
    QTest::newRow("blank before = is part of the name") << "info_dirExist" << "info_dirExist";
    QTest::newRow("empty value") << "lblTo" << "";
    QTest::newRow("value keeps = and |") << "filter_openlang" << "Packs (*.zip)|*.zip|Keys=values|*.ini";
    QTest::newRow("missing key") << "ocr_noSrc" << "ocr_noSrc";
    QTest::newRow("section heading never matches") << "[Messages]" << "[Messages]";
    QTest::newRow("empty key matches no empty line") << "" << "";
  }
  void getLangText() {
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QCOMPARE(GetLangText(key), expected);
  }

  void noTableYieldsTheKey() {
    LangList = nullptr;
    QCOMPARE(GetLangText("caption_error"), QStringLiteral("caption_error"));
  }

  void translateSetsCaptionElseText() {
    QLabel lbl("design");
    lbl.setObjectName("lblPages");
    QLabel emptied("design");
    emptied.setObjectName("lblTo");
    QLineEdit edit("design");
    edit.setObjectName("btnEdtFile");
    QAction act("design");
    act.setObjectName("actOK");
    QPushButton untouched("design");
    untouched.setObjectName("btnCancel");
    TOwnItem own;
    own.setObjectName("ACTOK");
    for (QObject *o : std::initializer_list<QObject *>{&lbl, &emptied, &edit, &act, &untouched, &own})
      TranslateComponent(o);
    QCOMPARE(lbl.text(), QStringLiteral("Seiten"));
    QCOMPARE(emptied.text(), QString());
    QCOMPARE(edit.text(), QStringLiteral("Choose a document"));
    QCOMPARE(act.text(), QStringLiteral("OK!"));
    QCOMPARE(untouched.text(), QStringLiteral("design"));
    QCOMPARE(own.Caption(), QStringLiteral("OK!"));
  }

  void componentWithoutTextPropertyIsLeftAlone() {
    QObject plain;
    plain.setObjectName("lblPages");
    TranslateComponent(&plain);
    QVERIFY(!plain.property("text").isValid());
  }

  void captureFormatTakesTheHotkey() {
    QCOMPARE(GetLangText("actCapture").replace("%s", "F2"), QStringLiteral("Capture (F2)"));
  }

  void shippedLanguageFileHasEveryKeyOnce() {
    QFile f(QStringLiteral(ZQ_SOURCE_DIR "data/langEn.zorvi"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QStringList names;
    for (const QByteArray &line : f.readAll().split('\n'))
      if (line.contains('='))
        names.append(QString::fromUtf8(line.left(line.indexOf('='))).toLower());
    QCOMPARE(names.size(), 105);
    names.removeDuplicates();
    QCOMPARE(names.size(), 105);
    for (const char *key : {"caption_error", "info_src", "actcapture", "frmcustomhotkey", "btnedtseldir", "barmgrocrbar1"})
      QCOMPARE(names.contains(QLatin1String(key)), QByteArray(key) != "barmgrocrbar1");
  }
};

QTEST_MAIN(TestLangText)
#include "tst_langtext.moc"
