// The recognition path's own rules: the size a picture is recognised at,
// its enlargement, and the trained-data folder and file.

#include "uImageProc.h"
#include "uRecognition.h"

#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QtTest>

Q_DECLARE_METATYPE(QImage::Format)

class TestRecognitionPath : public QObject {
  Q_OBJECT

private slots:
  void recognitionSize_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("letter page, 300 dpi") << QSize(2550, 3300) << 300 << QSize(7650, 9900);
    QTest::newRow("899 dpi") << QSize(100, 50) << 899 << QSize(300, 150);
    QTest::newRow("96 dpi") << QSize(100, 50) << 96 << QSize(300, 150);
    QTest::newRow("900 dpi") << QSize(2550, 3300) << 900 << QSize(2550, 3300);
    QTest::newRow("1200 dpi") << QSize(2550, 3300) << 1200 << QSize(2550, 3300);
    // Three times would pass 250 million pixels: the largest that fits.
    QTest::newRow("600-dpi A4 page") << QSize(4960, 7016) << 600 << QSize(13294, 18805);
    QTest::newRow("square") << QSize(5300, 5300) << 300 << QSize(15811, 15811);
    // Three times would pass 32767 pixels a side.
    QTest::newRow("wide banner") << QSize(11000, 200) << 300 << QSize(32767, 595);
    QTest::newRow("tall strip") << QSize(100, 10923) << 300 << QSize(299, 32767);
    QTest::newRow("just fits three times") << QSize(10922, 100) << 300 << QSize(32766, 300);
    // Too large even at its own size: left as it is (the engine says so).
    QTest::newRow("beyond the side at its own size") << QSize(40000, 100) << 300 << QSize(40000, 100);
    QTest::newRow("at the limit already") << QSize(15811, 15811) << 300 << QSize(15811, 15811);
  }
  void recognitionSize() {
    QFETCH(QSize, size);
    QFETCH(int, dpi);
    QFETCH(QSize, expected);
    const QSize got = RecognitionSize(size, dpi);
    QCOMPARE(got, expected);
    QVERIFY(qint64(got.width()) * got.height() <= 250'000'000 || got == size);
  }

  // Three times is the Hermite filter's three times, pixel for pixel; the
  // fitted factor resamples to the fitted size; at 900 dpi the picture
  // itself.
  void preparation() {
    QImage page(300, 120, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter(&page).fillRect(40, 40, 100, 20, Qt::black);
    QCOMPARE(PrepareForRecognition(page, 300), ImageProc::HermiteResize(page, 900, 360));
    QCOMPARE(PrepareForRecognition(page, 900), page);
    QImage banner(11000, 20, QImage::Format_Grayscale8);
    banner.fill(255);
    QCOMPARE(PrepareForRecognition(banner, 72).size(), QSize(32767, 59));
  }

  // The enlargement made in the helper's memory is the Hermite filter's own
  // in every pixel format a picture comes in: the same format, pixels and
  // resolution, by three and by a fitted factor.
  void preparedInSharedMemory_data() {
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QSize>("size");
    QTest::newRow("grey") << QImage::Format_Grayscale8 << QSize(301, 97);
    QTest::newRow("RGB32") << QImage::Format_RGB32 << QSize(301, 97);
    QTest::newRow("ARGB32, transparent parts") << QImage::Format_ARGB32 << QSize(301, 97);
    QTest::newRow("RGB 24") << QImage::Format_RGB888 << QSize(301, 97);
    QTest::newRow("16-bit grey") << QImage::Format_Grayscale16 << QSize(301, 97);
    QTest::newRow("indexed grey") << QImage::Format_Indexed8 << QSize(301, 97);
    QTest::newRow("one bit") << QImage::Format_Mono << QSize(301, 97);
    QTest::newRow("wide banner, fitted") << QImage::Format_Grayscale8 << QSize(11000, 20);
    QTest::newRow("wide colour banner, fitted") << QImage::Format_RGB32 << QSize(11000, 20);
  }
  void preparedInSharedMemory() {
    QFETCH(QImage::Format, format);
    QFETCH(QSize, size);
    QImage page(size, QImage::Format_ARGB32);
    page.fill(format == QImage::Format_ARGB32 ? Qt::transparent : Qt::white);
    {
      QPainter p(&page);
      p.fillRect(QRect(10, 10, size.width() / 3, size.height() / 2), QColor(200, 30, 90));
      p.fillRect(QRect(size.width() / 2, 30, 40, 40), Qt::black);
    }
    page = page.convertToFormat(format);
    page.setDotsPerMeterX(11811); // 300 dpi
    page.setDotsPerMeterY(11811);
    const QImage prepared = PrepareForRecognition(page, 300);
    const QSize expected = RecognitionSize(size, 300);
    const QImage reference = ImageProc::HermiteResize(page, expected.width(), expected.height());
    QCOMPARE(prepared.format(), reference.format());
    QCOMPARE(prepared.size(), expected);
    QCOMPARE(prepared, reference);
    QCOMPARE(prepared.dotsPerMeterX(), reference.dotsPerMeterX());
    QCOMPARE(prepared.dotsPerMeterY(), reference.dotsPerMeterY());
  }

  // The memory of a picture for the helper goes when the picture does.
  void sharedPictureMemoryIsGivenBack() {
    auto openFiles = [] {
      return QDir(QStringLiteral("/proc/self/fd"))
          .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
          .size();
    };
    const qsizetype before = openFiles();
    for (int i = 0; i < 20; ++i) {
      QImage picture = VisionSharedPicture(QSize(1000, 1000), QImage::Format_RGB32);
      QVERIFY(!picture.isNull());
      picture.fill(Qt::white);
      QImage shared = picture; // the same pixels, held twice
      QCOMPARE(openFiles(), before + 1);
    }
    QCOMPARE(openFiles(), before);
  }

  void trainedDataPath() {
    QCOMPARE(TrainedDataFolder("/opt/quillon/"), QStringLiteral("/opt/quillon/ocrlangs/"));
    QCOMPARE(TrainedDataFolder("/opt/quillon"), QStringLiteral("/opt/quillon/ocrlangs/"));
    QCOMPARE(TrainedDataFile("/opt/quillon/ocrlangs/", "deu"), QStringLiteral("/opt/quillon/ocrlangs/deu.traineddata"));
    QCOMPARE(TrainedDataFile("/opt/quillon/ocrlangs/", ""), QStringLiteral("/opt/quillon/ocrlangs/.traineddata"));
    QCOMPARE(TrainedDataFile("/a%1b/", "%2"), QStringLiteral("/a%1b/%2.traineddata"));
  }
};

int main(int argc, char **argv) {
  QGuiApplication app(argc, argv);
  TestRecognitionPath test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_recognitionpath.moc"
