#include "uDMMain.h"
#include "uLangText.h"
#include "uPlatformText.h"

#include <QAction>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
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
    QTest::newRow("other case, first line wins") << "caption_error"
                                                 << "Fehler";
    QTest::newRow("blank before = is part of the name") << "info_dirExist"
                                                        << "info_dirExist";
    QTest::newRow("empty value") << "lblTo"
                                 << "";
    QTest::newRow("value keeps = and |") << "filter_openlang"
                                         << "Packs (*.zip)|*.zip|Keys=values|*.ini";
    QTest::newRow("missing key") << "ocr_noSrc"
                                 << "ocr_noSrc";
    QTest::newRow("section heading never matches") << "[Messages]"
                                                   << "[Messages]";
    QTest::newRow("empty key matches no empty line") << ""
                                                     << "";
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
    QVERIFY(names.size() > 100);
    const qsizetype all = names.size();
    names.removeDuplicates();
    QCOMPARE(names.size(), all);
    for (const char *key :
         {"caption_error", "info_src", "actcapture", "frmcustomhotkey", "btnedtseldir", "barmgrocrbar1"})
      QCOMPARE(names.contains(QLatin1String(key)), QByteArray(key) != "barmgrocrbar1");
  }

  // The platform layers give each of their texts with its key and its
  // English text, for programs without a table. Every such key is in the
  // shipped file with that same text, and once a table is loaded the texts
  // come from it.
  void platformTextsAreInTheShippedFile() {
    QMap<QString, QString> shipped;
    QFile lang(QStringLiteral(ZQ_SOURCE_DIR "data/langEn.zorvi"));
    QVERIFY(lang.open(QIODevice::ReadOnly));
    for (const QByteArray &line : lang.readAll().split('\n'))
      if (line.contains('='))
        shipped.insert(QString::fromUtf8(line.left(line.indexOf('='))),
                       QString::fromUtf8(line.mid(line.indexOf('=') + 1)));
    static const QRegularExpression call(
        QStringLiteral("Platform(?:Text|Format)\\(\\s*\"(\\w+)\",\\s*((?:\"(?:[^\"\\\\]|\\\\.)*\"\\s*)+)"));
    static const QRegularExpression literal(QStringLiteral("\"((?:[^\"\\\\]|\\\\.)*)\""));
    int found = 0;
    QDirIterator it(QStringLiteral(ZQ_SOURCE_DIR "src"), {QStringLiteral("*.cpp")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
      QFile source(it.next());
      QVERIFY(source.open(QIODevice::ReadOnly));
      const QString text = QString::fromUtf8(source.readAll());
      for (const QRegularExpressionMatch &m : call.globalMatch(text)) {
        QString english;
        for (const QRegularExpressionMatch &part : literal.globalMatch(m.captured(2)))
          english += part.captured(1);
        english.replace(QStringLiteral("\\\""), QStringLiteral("\""))
            .replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
        const QString key = m.captured(1);
        QVERIFY2(shipped.contains(key), qPrintable(key + QStringLiteral(" in ") + it.fileName()));
        QCOMPARE(shipped.value(key), english);
        ++found;
      }
    }
    QVERIFY(found >= 10);

    QStringList table{QStringLiteral("error_fileEmpty=die Datei ist leer."),
                      QStringLiteral("error_imgRead=Bild %s: %s")};
    LangList = &table;
    QCOMPARE(PlatformText("error_fileEmpty", "the file is empty."), QStringLiteral("die Datei ist leer."));
    QCOMPARE(PlatformText("error_fileFolder", "it is a folder."), QStringLiteral("error_fileFolder"));
    QCOMPARE(PlatformFormat("error_imgRead", "Cannot read \"%s\": %s", {QStringLiteral("a"), QStringLiteral("b")}),
             QStringLiteral("Bild a: b"));
    // A format of the table that does not fit gives way to the English one.
    table[1] = QStringLiteral("error_imgRead=Bild %d");
    QCOMPARE(PlatformFormat("error_imgRead", "Cannot read \"%s\": %s", {QStringLiteral("a"), QStringLiteral("b")}),
             QStringLiteral("Cannot read \"a\": b"));
    LangList = nullptr;
    QCOMPARE(PlatformText("error_fileEmpty", "the file is empty."), QStringLiteral("the file is empty."));
  }
};

QTEST_MAIN(TestLangText)
#include "tst_langtext.moc"
