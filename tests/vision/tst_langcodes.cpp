#include "uLangCodes.h"

#include <QSet>
#include <QtTest>
#include <cstdlib>

class TestLangCodes : public QObject {
  Q_OBJECT

private slots:
  void lookup_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("code");
    QTest::newRow("as written") << "German"
                                << "deu";
    QTest::newRow("small letters") << "german"
                                   << "deu";
    QTest::newRow("capital letters") << "GERMAN"
                                     << "deu";
    QTest::newRow("mixed") << "gErMaN"
                           << "deu";
    QTest::newRow("first row") << "Ancient Greek"
                               << "grc";
    QTest::newRow("last row") << "vietnamese"
                              << "vie";
    QTest::newRow("brackets and digits must be equal") << "middle FRENCH (CA. 1400-1600)"
                                                       << "frm";
    QTest::newRow("a different digit") << "Middle French (ca. 1400-1601)"
                                       << "";
    QTest::newRow("umlaut is no a") << QString::fromUtf8("Germän") << "";
    QTest::newRow("non-ASCII letters are not folded") << QString::fromUtf8("ÄRABIC") << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("name in another language") << "Deutsch"
                                              << "";
    QTest::newRow("leading blank") << " German"
                                   << "";
    QTest::newRow("trailing blank") << "German "
                                    << "";
    QTest::newRow("prefix of a name") << "Germ"
                                      << "";
    QTest::newRow("longer than a name") << "Germany"
                                        << "";
    QTest::newRow("Spanish is not Spanish (Old)") << "spanish"
                                                  << "spa";
    QTest::newRow("Spanish (Old)") << "SPANISH (OLD)"
                                   << "spa_old";
    QTest::newRow("Esperanto") << "Esperanto"
                               << "epo";
    QTest::newRow("Chinese (Traditional)") << "chinese (traditional)"
                                           << "chi_tra";
    QTest::newRow("the Kelvin sign is no K") << QString::fromUtf8("\u212Aorean") << "";
  }
  void lookup() {
    QFETCH(QString, name);
    QFETCH(QString, code);
    QCOMPARE(LanguageCode(name), code);
  }

  // Every row is found by its own name in any case, and gives its own code:
  // the table has no name twice, without regard to case.
  void everyRowFindsItself() {
    const auto &table = LanguageCodeTable();
    QSet<QString> codes;
    for (const TLanguageCode &row : table) {
      QString name = QString::fromLatin1(row.Name);
      QCOMPARE(LanguageCode(name), QString::fromLatin1(row.Code));
      QCOMPARE(LanguageCode(name.toUpper()), QString::fromLatin1(row.Code));
      QCOMPARE(LanguageCode(name.toLower()), QString::fromLatin1(row.Code));
      codes.insert(QString::fromLatin1(row.Code));
    }
    QCOMPARE(codes.size(), LanguageCodeCount);
    QCOMPARE(QString::fromLatin1(table[2].Code), QStringLiteral("eng"));
    QCOMPARE(QString::fromLatin1(table[49].Name), QStringLiteral("German"));
  }
};

int main(int argc, char **argv) {
  setenv("OMP_THREAD_LIMIT", "1", 1);
  QCoreApplication app(argc, argv);
  TestLangCodes test;
  return QTest::qExec(&test, argc, argv);
}
#include "tst_langcodes.moc"
