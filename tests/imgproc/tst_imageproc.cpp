#include "uImageProc.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

using namespace ImageProc;

namespace {

QImage randomImage(int w, int h, QImage::Format format, quint32 seed) {
  QImage image(w, h, format);
  QRandomGenerator rng(seed);
  for (int y = 0; y < h; ++y) {
    uchar *line = image.scanLine(y);
    for (int i = 0; i < image.bytesPerLine(); ++i)
      line[i] = uchar(rng.generate() & 0xFF);
  }
  if (format == QImage::Format_RGB32)
    image = image.convertToFormat(QImage::Format_ARGB32).convertToFormat(QImage::Format_RGB32);
  return image;
}

int maxByteDifference(const QImage &a, const QImage &b) {
  if (a.size() != b.size() || a.format() != b.format())
    return 1000;
  int worst = 0;
  const int bytes = a.width() * a.depth() / 8;
  for (int y = 0; y < a.height(); ++y)
    for (int i = 0; i < bytes; ++i)
      worst = std::max(worst, std::abs(a.constScanLine(y)[i] - b.constScanLine(y)[i]));
  return worst;
}

// Lines of text on a white page, as a scanner sees them.
QImage textPage(int w = 1400, int h = 1000) {
  QImage page(w, h, QImage::Format_RGB32);
  page.fill(Qt::white);
  QPainter p(&page);
  QFont font("DejaVu Sans");
  font.setPixelSize(22);
  p.setFont(font);
  p.setPen(Qt::black);
  const QString words = "The quick brown fox jumps over the lazy dog while the scanner hums along, "
                        "reading every line of this page with care and patience.";
  for (int y = 90, i = 0; y < h - 80; y += 38, ++i)
    p.drawText(100, y, words.mid((i * 7) % 40));
  return page;
}

bool isBackgroundRed(QRgb c) { return qRed(c) > 150 && qGreen(c) < 110 && qBlue(c) < 110; }

} // namespace

class TestImageProc : public QObject {
  Q_OBJECT

private slots:
  void hermiteSizeAndFormat_data();
  void hermiteSizeAndFormat();
  void hermiteConstantStaysConstant_data();
  void hermiteConstantStaysConstant();
  void hermiteSinglePixelSpreadsSymmetrically();
  void hermiteFastPathMatchesGeneric_data();
  void hermiteFastPathMatchesGeneric();
  void hermiteReduction();
  void hermiteRefusesEmptySize();
  void bwThresholdHandComputed_data();
  void bwThresholdHandComputed();
  void bwThresholdMatchesDefinition_data();
  void bwThresholdMatchesDefinition();
  void quarterTurns_data();
  void quarterTurns();
  void quarterTurnDirection();
  void rotateAnyAngleFillsBackground();
  void skewDetectionStraightens_data();
  void skewDetectionStraightens();
  void skewOfBlankPageIsZero();
  void rotateAndCropSamplesOnlyThePicture_data();
  void rotateAndCropSamplesOnlyThePicture();
  void displayAdjust_data();
  void displayAdjust();
  void displayAdjustKeepsFormats();
};

void TestImageProc::hermiteSizeAndFormat_data() {
  QTest::addColumn<QImage>("source");
  QTest::addColumn<QSize>("size");
  QTest::addColumn<int>("format");
  QImage mono(10, 7, QImage::Format_Mono);
  mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  mono.fill(1);
  QImage indexed(10, 7, QImage::Format_Indexed8);
  indexed.setColorTable({qRgb(255, 0, 0), qRgb(0, 0, 255)});
  indexed.fill(1);
  QImage greyIndexed(10, 7, QImage::Format_Indexed8);
  greyIndexed.setColorTable({qRgb(0, 0, 0), qRgb(90, 90, 90)});
  greyIndexed.fill(1);
  QImage argb(10, 7, QImage::Format_ARGB32);
  argb.fill(qRgba(10, 20, 30, 128));
  QImage rgb888(10, 7, QImage::Format_RGB888);
  rgb888.fill(Qt::green);
  const QImage grey = randomImage(10, 7, QImage::Format_Grayscale8, 1);
  const QImage rgb = randomImage(10, 7, QImage::Format_RGB32, 2);
  QTest::newRow("grey 3x") << grey << QSize(30, 21) << int(QImage::Format_Grayscale8);
  QTest::newRow("grey reduced") << grey << QSize(4, 3) << int(QImage::Format_Grayscale8);
  QTest::newRow("grey stretched") << grey << QSize(23, 5) << int(QImage::Format_Grayscale8);
  QTest::newRow("rgb 3x") << rgb << QSize(30, 21) << int(QImage::Format_RGB32);
  QTest::newRow("rgb 3x wide only") << rgb << QSize(30, 7) << int(QImage::Format_RGB32);
  QTest::newRow("mono 3x") << mono << QSize(30, 21) << int(QImage::Format_Grayscale8);
  QTest::newRow("indexed colour 3x") << indexed << QSize(30, 21) << int(QImage::Format_RGB32);
  QTest::newRow("indexed grey 3x") << greyIndexed << QSize(30, 21) << int(QImage::Format_Grayscale8);
  QTest::newRow("argb 3x") << argb << QSize(30, 21) << int(QImage::Format_ARGB32_Premultiplied);
  QTest::newRow("rgb888 3x") << rgb888 << QSize(30, 21) << int(QImage::Format_RGB32);
  QTest::newRow("one pixel 3x") << randomImage(1, 1, QImage::Format_Grayscale8, 3) << QSize(3, 3)
                                << int(QImage::Format_Grayscale8);
}

void TestImageProc::hermiteSizeAndFormat() {
  QFETCH(QImage, source);
  QFETCH(QSize, size);
  QFETCH(int, format);
  const QImage before = source.copy();
  const QImage out = HermiteResize(source, size.width(), size.height());
  QCOMPARE(out.size(), size);
  QCOMPARE(int(out.format()), format);
  QCOMPARE(source, before);
}

void TestImageProc::hermiteConstantStaysConstant_data() {
  QTest::addColumn<int>("format");
  QTest::addColumn<QSize>("size");
  QTest::addColumn<uint>("value");
  for (auto [name, fmt, value] : {std::tuple{"grey", QImage::Format_Grayscale8, 0xFF000000u | 173u},
                                  std::tuple{"rgb", QImage::Format_RGB32, 0xFF17A3E1u}}) {
    QTest::addRow("%s 3x", name) << int(fmt) << QSize(111, 66) << value;
    QTest::addRow("%s 2.5x", name) << int(fmt) << QSize(92, 55) << value;
    QTest::addRow("%s reduced", name) << int(fmt) << QSize(13, 9) << value;
  }
}

void TestImageProc::hermiteConstantStaysConstant() {
  QFETCH(int, format);
  QFETCH(QSize, size);
  QFETCH(uint, value);
  QImage source(37, 22, QImage::Format(format));
  if (format == QImage::Format_Grayscale8)
    source.fill(value & 0xFF);
  else
    source.fill(value);
  const QImage out = HermiteResize(source, size.width(), size.height());
  QCOMPARE(out.size(), size);
  for (int y = 0; y < out.height(); ++y)
    for (int x = 0; x < out.width(); ++x) {
      if (format == QImage::Format_Grayscale8)
        QCOMPARE(uint(out.constScanLine(y)[x]), value & 0xFF);
      else
        QCOMPARE(uint(out.pixel(x, y)), value);
    }
}

void TestImageProc::hermiteSinglePixelSpreadsSymmetrically() {
  QImage source(7, 7, QImage::Format_Grayscale8);
  source.fill(0);
  source.scanLine(3)[3] = 255;
  const QImage out = HermiteResize(source, 21, 21);
  auto at = [&](int x, int y) { return int(out.constScanLine(y)[x]); };
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 21; ++x) {
      QCOMPARE(at(x, y), at(20 - x, y));
      QCOMPARE(at(x, y), at(x, 20 - y));
      QCOMPARE(at(x, y), at(y, x));
      if (x < 8 || x > 12 || y < 8 || y > 12)
        QCOMPARE(at(x, y), 0); // beyond the filter's reach
    }
  // Weights 7/27, 20/27, 1, 20/27, 7/27 along each axis.
  QCOMPARE(at(10, 10), 255);
  QCOMPARE(at(9, 10), 189); // 255 * 20 / 27
  QCOMPARE(at(8, 10), 66);  // 255 * 7 / 27
  QCOMPARE(at(9, 9), 140);  // 255 * 400 / 729
  QCOMPARE(at(8, 9), 49);   // 255 * 140 / 729
  QCOMPARE(at(8, 8), 17);   // 255 * 49 / 729
}

void TestImageProc::hermiteFastPathMatchesGeneric_data() {
  QTest::addColumn<QImage>("source");
  for (auto [name, fmt] : {std::pair{"grey", QImage::Format_Grayscale8}, std::pair{"rgb", QImage::Format_RGB32}}) {
    QTest::addRow("%s 1x1", name) << randomImage(1, 1, fmt, 11);
    QTest::addRow("%s 1x9", name) << randomImage(1, 9, fmt, 12);
    QTest::addRow("%s 9x1", name) << randomImage(9, 1, fmt, 13);
    QTest::addRow("%s 2x2", name) << randomImage(2, 2, fmt, 14);
    QTest::addRow("%s 61x47", name) << randomImage(61, 47, fmt, 15);
    QTest::addRow("%s 300x201", name) << randomImage(300, 201, fmt, 16);
  }
}

void TestImageProc::hermiteFastPathMatchesGeneric() {
  QFETCH(QImage, source);
  const int w = source.width() * 3, h = source.height() * 3;
  const QImage fast = HermiteResize(source, w, h);
  const QImage generic = HermiteResizeGeneric(source, w, h);
  QVERIFY(maxByteDifference(fast, generic) <= 1);
}

void TestImageProc::hermiteReduction() {
  // Alternating black and white columns halve into mid grey.
  QImage source(64, 8, QImage::Format_Grayscale8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 64; ++x)
      source.scanLine(y)[x] = (x % 2) ? 255 : 0;
  const QImage out = HermiteResize(source, 32, 8);
  for (int x = 2; x < 30; ++x)
    QVERIFY(std::abs(out.constScanLine(4)[x] - 128) <= 1);
}

void TestImageProc::hermiteRefusesEmptySize() {
  const QImage source = randomImage(5, 5, QImage::Format_Grayscale8, 4);
  QVERIFY(HermiteResize(source, 0, 15).isNull());
  QVERIFY(HermiteResize(source, 15, -1).isNull());
  QVERIFY(HermiteResize(QImage(), 3, 3).isNull());
}

void TestImageProc::bwThresholdHandComputed_data() {
  QTest::addColumn<int>("winSize");
  QTest::addColumn<int>("offset");
  QTest::addColumn<QStringList>("rows"); // 1 white, 0 black
  QTest::newRow("window 3, offset 10") << 3 << 10 << QStringList{"11111", "10100", "11110", "11000"};
  QTest::newRow("window 2, offset 0") << 2 << 0 << QStringList{"11111", "10111", "11110", "00000"};
  QTest::newRow("window 10, offset 20") << 10 << 20 << QStringList{"11111", "10111", "11111", "11111"};
}

void TestImageProc::bwThresholdHandComputed() {
  QFETCH(int, winSize);
  QFETCH(int, offset);
  QFETCH(QStringList, rows);
  const int levels[4][5] = {
      {100, 100, 100, 100, 100}, {100, 60, 100, 100, 100}, {100, 100, 100, 200, 100}, {90, 90, 90, 100, 100}};
  QImage source(5, 4, QImage::Format_Grayscale8);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x)
      source.scanLine(y)[x] = uchar(levels[y][x]);
  const QImage bw = ConvertToBWLocalThreshold(source, winSize, offset);
  QCOMPARE(bw.format(), QImage::Format_Mono);
  QCOMPARE(bw.size(), source.size());
  QCOMPARE(bw.color(0), qRgb(0, 0, 0));
  QCOMPARE(bw.color(1), qRgb(255, 255, 255));
  for (int y = 0; y < 4; ++y) {
    QString row;
    for (int x = 0; x < 5; ++x)
      row += QString::number(bw.pixelIndex(x, y));
    QCOMPARE(row, rows[y]);
  }
}

void TestImageProc::bwThresholdMatchesDefinition_data() {
  QTest::addColumn<int>("winSize");
  QTest::addColumn<int>("offset");
  QTest::newRow("1, 0") << 1 << 0;
  QTest::newRow("4, 5") << 4 << 5;
  QTest::newRow("10, 20") << 10 << 20;
  QTest::newRow("25, -3") << 25 << -3;
  QTest::newRow("window larger than the picture") << 99 << 2;
}

void TestImageProc::bwThresholdMatchesDefinition() {
  QFETCH(int, winSize);
  QFETCH(int, offset);
  const QImage source = randomImage(41, 29, QImage::Format_Grayscale8, 21);
  const QImage bw = ConvertToBWLocalThreshold(source.convertToFormat(QImage::Format_RGB32), winSize, offset);
  const int before = winSize / 2, after = winSize - 1 - before;
  for (int y = 0; y < source.height(); ++y)
    for (int x = 0; x < source.width(); ++x) {
      long sum = 0, count = 0;
      for (int j = std::max(0, y - before); j <= std::min(source.height() - 1, y + after); ++j)
        for (int i = std::max(0, x - before); i <= std::min(source.width() - 1, x + after); ++i) {
          sum += source.constScanLine(j)[i];
          ++count;
        }
      const int v = source.constScanLine(y)[x];
      const int expected = v < double(sum) / count - offset ? 0 : 1;
      QCOMPARE(bw.pixelIndex(x, y), expected);
    }
}

void TestImageProc::quarterTurns_data() {
  QTest::addColumn<QImage>("source");
  QImage mono(37, 21, QImage::Format_Mono);
  mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  QRandomGenerator rng(5);
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 37; ++x)
      mono.setPixel(x, y, rng.generate() & 1);
  QImage indexed = randomImage(37, 21, QImage::Format_Indexed8, 6);
  QList<QRgb> table;
  for (int i = 0; i < 256; ++i)
    table << qRgb(i, 255 - i, i / 2);
  indexed.setColorTable(table);
  QTest::newRow("mono") << mono;
  QTest::newRow("grey") << randomImage(37, 21, QImage::Format_Grayscale8, 7);
  QTest::newRow("rgb") << randomImage(37, 21, QImage::Format_RGB32, 8);
  QTest::newRow("argb") << randomImage(37, 21, QImage::Format_ARGB32, 9);
  QTest::newRow("rgb888") << randomImage(37, 21, QImage::Format_RGB888, 10);
  QTest::newRow("indexed") << indexed;
}

void TestImageProc::quarterTurns() {
  QFETCH(QImage, source);
  const QImage left = Rotate(source, 90, Qt::red);
  QCOMPARE(left.size(), source.size().transposed());
  QCOMPARE(left.format(), source.format());
  QCOMPARE(Rotate(left, 270, Qt::red), source);
  QCOMPARE(Rotate(left, -90, Qt::red), source);
  QCOMPARE(Rotate(Rotate(source, 180, Qt::red), 180, Qt::red), source);
  QCOMPARE(Rotate(source, 360, Qt::red), source);
  QCOMPARE(Rotate(source, -270, Qt::red), left);
  QCOMPARE(RotateAndCrop(source, 90), left);
}

void TestImageProc::quarterTurnDirection() {
  QImage source(3, 2, QImage::Format_RGB32);
  source.fill(Qt::white);
  source.setPixel(2, 0, qRgb(255, 0, 0)); // top right
  source.setPixel(0, 0, qRgb(0, 0, 255)); // top left
  const QImage left = Rotate(source, 90, Qt::black);
  QCOMPARE(left.size(), QSize(2, 3));
  QCOMPARE(left.pixel(0, 0), qRgb(255, 0, 0)); // a quarter turn to the left: top right goes top left
  QCOMPARE(left.pixel(0, 2), qRgb(0, 0, 255)); // and top left goes bottom left
  const QImage right = Rotate(source, 270, Qt::black);
  QCOMPARE(right.pixel(1, 0), qRgb(0, 0, 255)); // top left goes top right
  QCOMPARE(right.pixel(1, 2), qRgb(255, 0, 0));
}

void TestImageProc::rotateAnyAngleFillsBackground() {
  QImage source(200, 100, QImage::Format_RGB32);
  source.fill(qRgb(0, 200, 0));
  const QImage out = Rotate(source, 30, QColor(255, 0, 0));
  // The whole turned picture fits: 200 cos 30 + 100 sin 30 by 200 sin 30 + 100 cos 30.
  QCOMPARE(out.width(), 224);
  QCOMPARE(out.height(), 187);
  for (QPoint corner : {QPoint(0, 0), QPoint(out.width() - 1, 0), QPoint(0, out.height() - 1),
                        QPoint(out.width() - 1, out.height() - 1)})
    QCOMPARE(out.pixel(corner), qRgb(255, 0, 0));
  QCOMPARE(out.pixel(out.width() / 2, out.height() / 2), qRgb(0, 200, 0));
  // Counter-clockwise: the top edge's middle moves left of the centre line
  // while the picture's top-right corner rises to the top.
  const QImage marked = [&] {
    QImage m = source.copy();
    QPainter p(&m);
    p.fillRect(190, 0, 10, 10, Qt::blue);
    return m;
  }();
  const QImage turned = Rotate(marked, 30, QColor(255, 0, 0));
  int topBlue = turned.height(), topBlueX = 0;
  for (int y = 0; y < turned.height(); ++y)
    for (int x = 0; x < turned.width(); ++x)
      if (qBlue(turned.pixel(x, y)) > 200 && y < topBlue) {
        topBlue = y;
        topBlueX = x;
      }
  QVERIFY(topBlue < 10);
  QVERIFY(topBlueX > turned.width() / 2);
}

void TestImageProc::skewDetectionStraightens_data() {
  QTest::addColumn<double>("turn");
  QTest::newRow("+4") << 4.0;
  QTest::newRow("-3") << -3.0;
  QTest::newRow("+12.5") << 12.5;
}

void TestImageProc::skewDetectionStraightens() {
  QFETCH(double, turn);
  const QImage page = textPage();
  const QImage turned = Rotate(page, turn, Qt::white);
  const double angle = SkewDetection(turned, 30, 0.1);
  QVERIFY2(std::abs(angle + turn) <= 0.3, qPrintable(QString("found %1").arg(angle)));
  // Turned on a red background: the straightened and cropped page shows none of it.
  const QImage onRed = Rotate(page, turn, QColor(255, 0, 0));
  const QImage straight = RotateAndCrop(onRed, angle);
  QVERIFY(straight.width() > page.width() * 0.9 && straight.height() > page.height() * 0.9);
  QVERIFY(straight.width() <= page.width() + 2 && straight.height() <= page.height() + 2);
  for (int x = 0; x < straight.width(); ++x)
    for (int y : {0, straight.height() - 1})
      QVERIFY2(!isBackgroundRed(straight.pixel(x, y)), qPrintable(QString("red at %1,%2").arg(x).arg(y)));
  for (int y = 0; y < straight.height(); ++y)
    for (int x : {0, straight.width() - 1})
      QVERIFY2(!isBackgroundRed(straight.pixel(x, y)), qPrintable(QString("red at %1,%2").arg(x).arg(y)));
  QVERIFY(std::abs(SkewDetection(straight, 30, 0.1)) <= 0.3);
}

void TestImageProc::skewOfBlankPageIsZero() {
  QImage blank(800, 600, QImage::Format_RGB32);
  blank.fill(Qt::white);
  QCOMPARE(SkewDetection(blank, 30, 0.1), 0.0);
  QImage black(800, 600, QImage::Format_Grayscale8);
  black.fill(0);
  QCOMPARE(SkewDetection(black, 30, 0.1), 0.0);
  QCOMPARE(SkewDetection(QImage(), 30, 0.1), 0.0);
}

void TestImageProc::rotateAndCropSamplesOnlyThePicture_data() {
  QTest::addColumn<double>("angle");
  QTest::addColumn<QSize>("size");
  QTest::newRow("+4 landscape") << 4.0 << QSize(400, 300);
  QTest::newRow("-3 portrait") << -3.0 << QSize(255, 330);
  QTest::newRow("+30") << 30.0 << QSize(400, 300);
  QTest::newRow("-45 square") << -45.0 << QSize(200, 200);
  QTest::newRow("+0.3 narrow") << 0.3 << QSize(600, 40);
}

void TestImageProc::rotateAndCropSamplesOnlyThePicture() {
  QFETCH(double, angle);
  QFETCH(QSize, size);
  // Green picture in a one-pixel red frame: a pixel sampled at or beyond the
  // picture's edge would show red.
  QImage source(size, QImage::Format_RGB32);
  source.fill(qRgb(255, 0, 0));
  QPainter(&source).fillRect(QRect(QPoint(1, 1), size - QSize(2, 2)), qRgb(0, 180, 0));
  const QImage out = RotateAndCrop(source, angle);
  QCOMPARE(out.size(), LargestInnerRect(size, angle));
  for (int y = 0; y < out.height(); ++y)
    for (int x = 0; x < out.width(); ++x)
      QVERIFY2(qRed(out.pixel(x, y)) == 0, qPrintable(QString("red at %1,%2").arg(x).arg(y)));
  // Not much more is cut than the turn requires: the corners of a slightly larger
  // rectangle would lie outside the turned picture.
  const double rad = angle * M_PI / 180;
  const double c = std::abs(std::cos(rad)), s = std::abs(std::sin(rad));
  const double w = out.width() + 4, h = out.height() + 4;
  // A w x h rectangle fits into the turned picture only when its own turn by
  // -angle fits into the picture.
  QVERIFY(w * c + h * s > size.width() || w * s + h * c > size.height());
}

void TestImageProc::displayAdjust_data() {
  QTest::addColumn<int>("value");
  QTest::addColumn<int>("offset");
  QTest::addColumn<int>("contrast");
  QTest::addColumn<int>("expected");
  QTest::newRow("offset up") << 100 << 50 << 0 << 150;
  QTest::newRow("offset clamps high") << 250 << 20 << 0 << 255;
  QTest::newRow("offset clamps low") << 10 << -20 << 0 << 0;
  QTest::newRow("full negative offset") << 200 << -255 << 0 << 0;
  QTest::newRow("contrast keeps the middle") << 128 << 0 << 100 << 128;
  QTest::newRow("contrast 100 triples the distance") << 138 << 0 << 100 << 158;
  QTest::newRow("contrast 50 doubles the distance") << 100 << 0 << 50 << 72;
  QTest::newRow("contrast clamps") << 200 << 0 << 100 << 255;
  QTest::newRow("offset before contrast") << 118 << 20 << 50 << 148;
}

void TestImageProc::displayAdjust() {
  QFETCH(int, value);
  QFETCH(int, offset);
  QFETCH(int, contrast);
  QFETCH(int, expected);
  QImage source(4, 3, QImage::Format_RGB32);
  source.fill(qRgb(value, value, value));
  const QImage before = source.copy();
  const QImage out = ApplyDisplayAdjust(source, offset, offset, offset, contrast);
  QCOMPARE(out.pixel(2, 1), qRgb(expected, expected, expected));
  QCOMPARE(source, before);
  // One channel at a time: only that channel moves.
  const QImage red = ApplyDisplayAdjust(source, offset, 0, 0, 0);
  QCOMPARE(qRed(red.pixel(0, 0)), std::clamp(value + offset, 0, 255));
  QCOMPARE(qGreen(red.pixel(0, 0)), value);
}

void TestImageProc::displayAdjustKeepsFormats() {
  QImage grey(4, 3, QImage::Format_Grayscale8);
  grey.fill(100);
  QImage same = ApplyDisplayAdjust(grey, 10, 10, 10, 0);
  QCOMPARE(same.format(), QImage::Format_Grayscale8);
  QCOMPARE(int(same.constScanLine(1)[1]), 110);
  QImage split = ApplyDisplayAdjust(grey, 10, 0, 0, 0);
  QCOMPARE(split.pixel(1, 1), qRgb(110, 100, 100));
  QImage mono(9, 3, QImage::Format_Mono);
  mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  mono.fill(0);
  const QImage lifted = ApplyDisplayAdjust(mono, 40, 40, 40, 0);
  QCOMPARE(lifted.format(), QImage::Format_Mono);
  QCOMPARE(lifted.color(0), qRgb(40, 40, 40));
  QCOMPARE(mono.color(0), qRgb(0, 0, 0));
  QCOMPARE(ApplyDisplayAdjust(grey, 0, 0, 0, 0), grey);
}

QTEST_MAIN(TestImageProc)
#include "tst_imageproc.moc"
