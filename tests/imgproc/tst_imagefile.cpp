#include "uException.h"
#include "uImageFile.h"
#include "uImgTestFiles.h"
#include "uLeptonica.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <functional>
#include <leptonica/allheaders.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace ImgTestFiles;

namespace {

// A picture of a few flat colours (exact through a GIF palette) and some grey steps.
QImage colourPicture(int w = 64, int h = 48) {
  QImage image(w, h, QImage::Format_RGB32);
  const QRgb colours[] = {qRgb(255, 255, 255), qRgb(0, 0, 0),     qRgb(200, 30, 40),   qRgb(20, 160, 60),
                          qRgb(30, 60, 210),   qRgb(240, 220, 0), qRgb(128, 128, 128), qRgb(90, 10, 150)};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.setPixel(x, y, colours[(x / 16 + (y / 16) * 4) % 8]);
  return image;
}

QImage greyPicture(int w = 64, int h = 48) {
  QImage image(w, h, QImage::Format_Grayscale8);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.scanLine(y)[x] = uchar((x * 4 + y * 3) & 0xFF);
  return image;
}

QImage monoPicture(int w = 64, int h = 48) {
  QImage image(w, h, QImage::Format_Mono);
  image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.setPixel(x, y, ((x / 4 + y / 3) % 2) ? 1 : 0);
  return image;
}

// A noisy picture whose PNG encoding is large.
QImage noisePicture(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  QRandomGenerator rng(7);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.setPixel(x, y, rng.generate() | 0xFF000000u);
  return image;
}

QByteArray qtEncoded(const QImage &image, const char *format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  writer.write(image);
  return bytes;
}

// What Qt cannot write here: GIF by hand, a raw JPEG 2000 codestream by Leptonica.
QByteArray otherEncoded(const QImage &image, const QByteArray &format) {
  if (format == "gif")
    return MakeGif(image);
  Lept::TPix pix = Lept::FromQImage(image);
  QTemporaryDir dir;
  const QByteArray file = dir.filePath("stream.j2k").toLocal8Bit();
  FILE *fp = fopen(file.constData(), "wb+");
  if (!pix || !fp)
    return {};
  const bool ok = pixWriteStreamJp2k(fp, pix.get(), 100, 3, L_J2K_CODEC, 0, 0) == 0;
  fclose(fp);
  return ok ? ReadBytes(dir.filePath("stream.j2k")) : QByteArray();
}

double meanChannelDifference(const QImage &a, const QImage &b) {
  const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
  if (x.size() != y.size())
    return 1000;
  double sum = 0;
  for (int r = 0; r < x.height(); ++r)
    for (int c = 0; c < x.width(); ++c) {
      const QRgb p = x.pixel(c, r), q = y.pixel(c, r);
      sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
    }
  return sum / (3.0 * x.width() * x.height());
}

int maxChannelDifference(const QImage &a, const QImage &b) {
  const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
  if (x.size() != y.size())
    return 1000;
  int worst = 0;
  for (int r = 0; r < x.height(); ++r)
    for (int c = 0; c < x.width(); ++c) {
      const QRgb p = x.pixel(c, r), q = y.pixel(c, r);
      worst = std::max(
          {worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
    }
  return worst;
}

double residentMb() {
  QFile statm(QStringLiteral("/proc/self/statm"));
  if (!statm.open(QIODevice::ReadOnly))
    return 0;
  const QList<QByteArray> fields = statm.readAll().split(' ');
  return fields.size() > 1 ? fields.at(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1 << 20) : 0;
}

long maxRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

} // namespace

class TestImageFile : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  QString path(const QString &name) const { return FDir.filePath(name); }

private slots:
  void initTestCase() { QVERIFY(FDir.isValid()); }

  void recordedDpi_data();
  void recordedDpi();
  void writeRecordsDpi_data();
  void writeRecordsDpi();
  void roundTrip_data();
  void roundTrip();
  void formatFromContent();
  void extensionsAndFilter();
  void recordedOrientation_data();
  void recordedOrientation();
  void damagedFileRaises_data();
  void damagedFileRaises();
  void missingFileRaises();
  void onlyPictureFilesAreRead_data();
  void onlyPictureFilesAreRead();
  void tooLargeIsRefused_data();
  void tooLargeIsRefused();
  void thumbnail_data();
  void thumbnail();
  void thumbnailsFromManyThreads();
  void thumbnailDecodesShareABudget();
  void writeIntoPlainFileRaises();
  void failedWriteLeavesFileUntouched();
  void refusedFormatsLeaveFileUntouched_data();
  void refusedFormatsLeaveFileUntouched();
};

void TestImageFile::recordedDpi_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<int>("dpi");
  QTest::addColumn<QByteArray>("format");

  const QImage small = colourPicture(16, 12);
  const QByteArray jpeg = QtJpeg(small);
  const QByteArray bmp = qtEncoded(small, "bmp");

  QTest::newRow("png pHYs 11811/m") << "a.png" << MakePng(8, 6, 1, 11811) << 300 << QByteArray("png");
  QTest::newRow("png pHYs 2835/m") << "b.png" << MakePng(8, 6, 1, 2835) << 72 << QByteArray("png");
  QTest::newRow("png without pHYs") << "c.png" << MakePng(8, 6) << 0 << QByteArray("png");
  QTest::newRow("png pHYs aspect only") << "d.png" << MakePng(8, 6, 0, 3) << 0 << QByteArray("png");
  QTest::newRow("jpeg JFIF 300 dpi") << "a.jpg" << WithJfifDensity(jpeg, 1, 300, 300) << 300 << QByteArray("jpeg");
  QTest::newRow("jpeg JFIF 118 per cm") << "b.jpg" << WithJfifDensity(jpeg, 2, 118, 118) << 300 << QByteArray("jpeg");
  QTest::newRow("jpeg JFIF aspect only") << "c.jpg" << WithJfifDensity(jpeg, 0, 1, 1) << 0 << QByteArray("jpeg");
  QTest::newRow("jpeg JFIF density 0") << "d.jpg" << WithJfifDensity(jpeg, 1, 0, 0) << 0 << QByteArray("jpeg");
  QTest::newRow("jpeg JFIF aspect only, EXIF 200 dpi")
      << "e.jpg" << WithSegmentAfterApp0(WithJfifDensity(jpeg, 0, 1, 1), ExifSegment(200, 2)) << 200
      << QByteArray("jpeg");
  QTest::newRow("jpeg EXIF 100 per cm, no JFIF")
      << "f.jpg" << WithSegmentAfterApp0(WithoutJfif(jpeg), ExifSegment(100, 3)) << 254 << QByteArray("jpeg");
  QTest::newRow("jpeg JFIF 150 before EXIF 72")
      << "g.jpg" << WithSegmentAfterApp0(WithJfifDensity(jpeg, 1, 150, 150), ExifSegment(72, 2)) << 150
      << QByteArray("jpeg");
  QTest::newRow("jpeg EXIF without unit")
      << "h.jpg" << WithSegmentAfterApp0(WithoutJfif(jpeg), ExifSegment(72, 1)) << 0 << QByteArray("jpeg");
  QTest::newRow("jpeg with neither") << "i.jpg" << WithoutJfif(jpeg) << 0 << QByteArray("jpeg");
  QTest::newRow("tiff little-endian 300 dpi") << "a.tif" << MakeTiff(8, 6, true, 300, 2) << 300 << QByteArray("tiff");
  QTest::newRow("tiff big-endian 72 per cm") << "b.tif" << MakeTiff(8, 6, false, 72, 3) << 183 << QByteArray("tiff");
  QTest::newRow("tiff without resolution") << "c.tif" << MakeTiff(8, 6, true) << 0 << QByteArray("tiff");
  QTest::newRow("tiff resolution without unit") << "d.tif" << MakeTiff(8, 6, false, 300, 1) << 0 << QByteArray("tiff");
  QTest::newRow("bmp 11811 pels per metre") << "a.bmp" << WithBmpPelsPerMetre(bmp, 11811) << 300 << QByteArray("bmp");
  QTest::newRow("bmp 0 pels per metre") << "b.bmp" << WithBmpPelsPerMetre(bmp, 0) << 0 << QByteArray("bmp");
  QTest::newRow("gif") << "a.gif" << otherEncoded(small, "gif") << 0 << QByteArray("gif");
  QTest::newRow("webp") << "a.webp" << qtEncoded(small, "webp") << 0 << QByteArray("webp");
  QTest::newRow("pgm") << "a.pgm" << qtEncoded(greyPicture(8, 6), "pgm") << 0 << QByteArray("pgm");
  QTest::newRow("j2k codestream") << "a.j2k" << otherEncoded(small, "j2k") << 0 << QByteArray("j2k");
}

void TestImageFile::recordedDpi() {
  QFETCH(QString, name);
  QFETCH(QByteArray, bytes);
  QFETCH(int, dpi);
  QFETCH(QByteArray, format);
  QVERIFY(!bytes.isEmpty());
  QVERIFY(WriteBytes(path(name), bytes));
  QCOMPARE(RecordedDpiX(path(name)), dpi);
  TImageFileInfo info;
  const QImage image = ReadImageFile(path(name), &info);
  QVERIFY(!image.isNull());
  QCOMPARE(info.DpiX, dpi);
  QCOMPARE(info.DpiY, dpi);
  QCOMPARE(info.Format, format);
}

void TestImageFile::writeRecordsDpi_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<int>("dpiX");
  QTest::addColumn<int>("dpiY");
  QTest::addColumn<int>("recordedX");
  QTest::addColumn<int>("recordedY");
  for (const char *ext : {"png", "jpg", "bmp", "tif", "jp2"}) {
    QTest::addRow("%s 300", ext) << QString("w300.%1").arg(ext) << 300 << 300 << 300 << 300;
    QTest::addRow("%s 200 x 400", ext) << QString("w200.%1").arg(ext) << 200 << 400 << 200 << 400;
    QTest::addRow("%s 1200", ext) << QString("w1200.%1").arg(ext) << 1200 << 0 << 1200 << 1200;
    QTest::addRow("%s none", ext) << QString("w0.%1").arg(ext) << 0 << 0 << 0 << 0;
  }
  // Formats without a resolution record.
  QTest::newRow("webp 300") << "w300.webp" << 300 << 300 << 0 << 0;
  QTest::newRow("pgm 300") << "w300.pgm" << 300 << 300 << 0 << 0;
}

void TestImageFile::writeRecordsDpi() {
  QFETCH(QString, name);
  QFETCH(int, dpiX);
  QFETCH(int, dpiY);
  QFETCH(int, recordedX);
  QFETCH(int, recordedY);
  WriteImageFile(path(name), colourPicture(), dpiX, dpiY);
  QCOMPARE(RecordedDpiX(path(name)), recordedX);
  TImageFileInfo info;
  QVERIFY(!ReadImageFile(path(name), &info).isNull());
  QCOMPARE(info.DpiX, recordedX);
  QCOMPARE(info.DpiY, recordedY);
}

void TestImageFile::roundTrip_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QImage>("image");
  QTest::addColumn<QByteArray>("writtenBy"); // "" = WriteImageFile
  QTest::addColumn<int>("tolerance");        // 0: exact; otherwise the mean difference allowed (lossy)
  QTest::addColumn<QByteArray>("format");
  const QImage colour = colourPicture(), grey = greyPicture(), mono = monoPicture();
  QTest::newRow("png") << "r.png" << colour << QByteArray() << 0 << QByteArray("png");
  QTest::newRow("png grey") << "rg.png" << grey << QByteArray() << 0 << QByteArray("png");
  QTest::newRow("png mono") << "rm.png" << mono << QByteArray() << 0 << QByteArray("png");
  QTest::newRow("jpg") << "r.jpg" << colour << QByteArray() << 6 << QByteArray("jpeg");
  QTest::newRow("jpeg") << "r.jpeg" << grey << QByteArray() << 3 << QByteArray("jpeg");
  QTest::newRow("bmp") << "r.bmp" << colour << QByteArray() << 0 << QByteArray("bmp");
  QTest::newRow("tif") << "r.tif" << colour << QByteArray() << 0 << QByteArray("tiff");
  QTest::newRow("tiff mono") << "rm.tiff" << mono << QByteArray() << 0 << QByteArray("tiff");
  QTest::newRow("gif") << "r.gif" << colour << QByteArray("gif") << 0 << QByteArray("gif");
  QTest::newRow("webp") << "r.webp" << colour << QByteArray() << 0 << QByteArray("webp");
  QTest::newRow("pbm") << "r.pbm" << mono << QByteArray() << 0 << QByteArray("pbm");
  QTest::newRow("pgm") << "r.pgm" << grey << QByteArray() << 0 << QByteArray("pgm");
  QTest::newRow("ppm") << "r.ppm" << colour << QByteArray() << 0 << QByteArray("ppm");
  QTest::newRow("pnm grey") << "r.pnm" << grey << QByteArray() << 0 << QByteArray("pgm");
  QTest::newRow("pam") << "r.pam" << colour << QByteArray() << 0 << QByteArray("pam");
  QTest::newRow("jp2") << "r.jp2" << colour << QByteArray() << 0 << QByteArray("jp2");
  QTest::newRow("jp2 grey") << "rg.jp2" << grey << QByteArray() << 0 << QByteArray("jp2");
  QTest::newRow("jp2 of 5 x 3 pixels") << "tiny.jp2" << colourPicture(5, 3) << QByteArray() << 0 << QByteArray("jp2");
  QTest::newRow("jp2 of 1 pixel") << "one.jp2" << colourPicture(1, 1) << QByteArray() << 0 << QByteArray("jp2");
  QTest::newRow("j2k") << "r.j2k" << colour << QByteArray("j2k") << 0 << QByteArray("j2k");
}

void TestImageFile::roundTrip() {
  QFETCH(QString, name);
  QFETCH(QImage, image);
  QFETCH(QByteArray, writtenBy);
  QFETCH(int, tolerance);
  QFETCH(QByteArray, format);
  if (writtenBy.isEmpty())
    WriteImageFile(path(name), image);
  else
    QVERIFY(WriteBytes(path(name), otherEncoded(image, writtenBy)));
  TImageFileInfo info;
  const QImage back = ReadImageFile(path(name), &info);
  QCOMPARE(back.size(), image.size());
  QCOMPARE(info.Format, format);
  if (tolerance == 0)
    QCOMPARE(maxChannelDifference(back, image), 0);
  else
    QVERIFY2(meanChannelDifference(back, image) <= tolerance,
             qPrintable(QString("difference %1").arg(meanChannelDifference(back, image))));
  QVERIFY(HasReadableImageExtension(name));
}

void TestImageFile::formatFromContent() {
  // A PNG under a JPEG name and a JPEG 2000 under a PNG name read by their content.
  QVERIFY(WriteBytes(path("really-png.jpg"), qtEncoded(colourPicture(), "png")));
  TImageFileInfo info;
  QImage image = ReadImageFile(path("really-png.jpg"), &info);
  QCOMPARE(info.Format, QByteArray("png"));
  QCOMPARE(maxChannelDifference(image, colourPicture()), 0);
  WriteImageFile(path("jp2.jp2"), colourPicture(), 300);
  QVERIFY(QFile::rename(path("jp2.jp2"), path("really-jp2.png")));
  image = ReadImageFile(path("really-jp2.png"), &info);
  QCOMPARE(info.Format, QByteArray("jp2"));
  QCOMPARE(info.DpiX, 300);
  QCOMPARE(maxChannelDifference(image, colourPicture()), 0);
}

void TestImageFile::extensionsAndFilter() {
  const QStringList &exts = ReadableImageExtensions();
  const QString filter = ImageOpenFilter();
  const QStringList parts = filter.split('|');
  QVERIFY(parts.size() % 2 == 0);
  QCOMPARE(parts[0], QString("All images"));
  for (const char *ext :
       {"bmp", "png", "jpg", "jpeg", "tif", "tiff", "gif", "webp", "pbm", "pgm", "ppm", "pnm", "jp2", "j2k"}) {
    QVERIFY2(exts.contains(ext), ext);
    QVERIFY(parts[1].split(';').contains(QString("*.") + ext));
    QVERIFY(HasReadableImageExtension(QString("/x/Page.") + QString(ext).toUpper()));
  }
  // Every extension of the list appears in exactly one format entry, and
  // the "all images" entry is the whole list.
  QStringList perFormat;
  for (int i = 3; i < parts.size(); i += 2)
    perFormat << parts[i].split(';');
  QCOMPARE(perFormat.size(), exts.size());
  QCOMPARE(parts[1].split(';').size(), exts.size());
  for (const QString &e : exts)
    QVERIFY(perFormat.contains("*." + e));
  QVERIFY(!HasReadableImageExtension("notes.txt"));
  QVERIFY(!HasReadableImageExtension("movie.avi"));
  QVERIFY(!HasReadableImageExtension("png"));
  QVERIFY(!HasReadableImageExtension("archive.png.zip"));
}

// A JPEG of 40 x 20 pixels, red on the left, whose EXIF block says how it is
// to be shown: read as stored it stays as it is; read upright it is turned.
void TestImageFile::recordedOrientation_data() {
  QTest::addColumn<int>("orientation");
  QTest::addColumn<QSize>("upright");
  QTest::addColumn<QPoint>("redAt");
  QTest::addColumn<QPoint>("blueAt");
  QTest::newRow("1: as stored") << 1 << QSize(40, 20) << QPoint(5, 10) << QPoint(35, 10);
  QTest::newRow("3: half round") << 3 << QSize(40, 20) << QPoint(35, 10) << QPoint(5, 10);
  QTest::newRow("6: a quarter clockwise") << 6 << QSize(20, 40) << QPoint(10, 5) << QPoint(10, 35);
  QTest::newRow("8: a quarter anticlockwise") << 8 << QSize(20, 40) << QPoint(10, 35) << QPoint(10, 5);
}

void TestImageFile::recordedOrientation() {
  QFETCH(int, orientation);
  QFETCH(QSize, upright);
  QFETCH(QPoint, redAt);
  QFETCH(QPoint, blueAt);
  const QString name = path(QStringLiteral("turned%1.jpg").arg(orientation));
  QVERIFY(WriteBytes(name, JpegWithOrientation(RedLeftBlueRight(40, 20), orientation)));
  const QImage stored = ReadImageFile(name);
  QCOMPARE(stored.size(), QSize(40, 20));
  QVERIFY(IsRed(stored.pixel(5, 10)));
  QVERIFY(IsBlue(stored.pixel(35, 10)));
  TImageFileInfo info;
  const QImage shown = ReadImageFile(name, &info, TImageOrientation::Upright);
  QCOMPARE(info.Format, QByteArray("jpeg"));
  QCOMPARE(shown.size(), upright);
  QVERIFY(IsRed(shown.pixel(redAt)));
  QVERIFY(IsBlue(shown.pixel(blueAt)));
  // Thumbnails keep to the stored pixels, as before.
  QCOMPARE(ReadThumbnail(name, QSize(400, 400)).size(), QSize(40, 20));
}

void TestImageFile::damagedFileRaises_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QByteArray>("bytes");
  const QByteArray png = qtEncoded(noisePicture(200, 150), "png");
  const QByteArray jpeg = QtJpeg(noisePicture(200, 150));
  QByteArray jp2;
  WriteImageFile(path("source.jp2"), noisePicture(200, 150));
  jp2 = ReadBytes(path("source.jp2"));
  QByteArray badIfd("II\x2A\0\xF0\xFF\0\0", 8);
  QByteArray zeroWidthBmp = qtEncoded(colourPicture(8, 8), "bmp");
  for (int i = 18; i < 22; ++i)
    zeroWidthBmp[i] = 0;
  QByteArray randomBytes;
  QRandomGenerator rng(3);
  for (int i = 0; i < 4000; ++i)
    randomBytes.append(char(rng.generate() & 0xFF));
  QTest::newRow("png cut in half") << "cut.png" << png.left(png.size() / 2);
  QTest::newRow("png with scrambled data") << "scrambled.png" << (png.left(60) + randomBytes);
  QTest::newRow("jpeg cut in its tables") << "cut.jpg" << jpeg.left(120);
  QTest::newRow("jp2 cut short") << "cut.jp2" << jp2.left(jp2.size() / 3);
  QTest::newRow("tiff with its directory beyond the end") << "bad.tif" << badIfd;
  QTest::newRow("bmp of width 0") << "zero.bmp" << zeroWidthBmp;
  QTest::newRow("random bytes") << "random.png" << randomBytes;
  QTest::newRow("empty file") << "empty.png" << QByteArray();
}

void TestImageFile::damagedFileRaises() {
  QFETCH(QString, name);
  QFETCH(QByteArray, bytes);
  QVERIFY(WriteBytes(path(name), bytes));
  try {
    ReadImageFile(path(name));
    QFAIL("no error raised");
  } catch (const EPlatformError &e) {
    QVERIFY2(e.Message().contains(QFileInfo(path(name)).absoluteFilePath()), qPrintable(e.Message()));
  }
  QVERIFY(ReadThumbnail(path(name), QSize(64, 64)).isNull());
  RecordedDpiX(path(name)); // whatever the header says; no crash
}

void TestImageFile::missingFileRaises() {
  // A missing file gives the one text that the workspace shows for it, a
  // folder a text that names it.
  for (const QString &name : {path("missing.png"), FDir.path()}) {
    try {
      ReadImageFile(name);
      QFAIL("no error raised");
    } catch (const EPlatformError &e) {
      if (name == FDir.path())
        QCOMPARE(e.Message(), QStringLiteral("Cannot read the image file \"%1\": it is a folder.")
                                  .arg(QFileInfo(name).absoluteFilePath()));
      else
        QCOMPARE(e.Message(), QStringLiteral("The image file no longer exists."));
    }
    QVERIFY(ReadThumbnail(name, QSize(64, 64)).isNull());
    QCOMPARE(RecordedDpiX(name), 0);
  }
}

// What is not a regular file, or tells nothing of a picture in its first
// bytes, is refused at once: nothing blocks, nothing is read whole.
void TestImageFile::onlyPictureFilesAreRead_data() {
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QString>("reason");
  QTest::newRow("empty file") << "empty"
                              << "the file is empty.";
  QTest::newRow("pipe named .png") << "fifo"
                                   << "it is a device, a pipe or a socket, not a file.";
  QTest::newRow("link to /dev/zero named .png") << "zero"
                                                << "it is a device, a pipe or a socket, not a file.";
  QTest::newRow("3 GB of zeros named .png") << "zeros"
                                            << "the file is damaged or its format is not supported.";
  QTest::newRow("JPEG 2000 header of 8 x 8 before 3 GB") << "jp2"
                                                         << "the file is damaged (3221225472 bytes are more than a "
                                                            "picture of 8 x 8 pixels can take).";
  QTest::newRow("WebP header of 8 x 8 before 3 GB") << "webp"
                                                    << "the file is damaged (3221225472 bytes are more than a "
                                                       "picture of 8 x 8 pixels can take).";
}

void TestImageFile::onlyPictureFilesAreRead() {
  QFETCH(QString, kind);
  QFETCH(QString, reason);
  const QString name = path(kind + QStringLiteral(".png"));
  QFile::remove(name);
  constexpr qint64 Huge = qint64(3) << 30;
  auto sparse = [&](const QByteArray &head) {
    // The bytes after the head are a hole: nothing is written to the disk.
    QVERIFY(WriteBytes(name, head));
    QFile f(name);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.resize(Huge));
  };
  if (kind == QLatin1String("empty")) {
    QVERIFY(WriteBytes(name, {}));
  } else if (kind == QLatin1String("fifo")) {
    QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0600), 0);
  } else if (kind == QLatin1String("zero")) {
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), name));
  } else if (kind == QLatin1String("zeros")) {
    sparse({});
  } else if (kind == QLatin1String("jp2")) {
    WriteImageFile(path("small.jp2"), colourPicture(8, 8));
    sparse(ReadBytes(path("small.jp2")));
  } else {
    sparse(qtEncoded(colourPicture(8, 8), "webp"));
  }
  const long before = maxRssKb();
  try {
    ReadImageFile(name);
    QFAIL("no error raised");
  } catch (const EPlatformError &e) {
    QCOMPARE(e.Message(), QStringLiteral("Cannot read the image file \"%1\": %2").arg(name, reason));
  }
  QVERIFY(ReadThumbnail(name, QSize(64, 64)).isNull());
  QCOMPARE(RecordedDpiX(name), 0);
  QVERIFY(maxRssKb() - before < 64 * 1024);
}

void TestImageFile::tooLargeIsRefused_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QByteArray>("bytes");
  QTest::newRow("png 100000 x 100000") << "huge.png" << MakePng(100000, 100000, -1, 0, false);
  QByteArray bmp = qtEncoded(colourPicture(8, 8), "bmp");
  for (int i = 0; i < 4; ++i) {
    bmp[18 + i] = char((60000u >> (8 * i)) & 0xFF);
    bmp[22 + i] = char((60000u >> (8 * i)) & 0xFF);
  }
  QTest::newRow("bmp 60000 x 60000") << "huge.bmp" << bmp;
  QTest::newRow("pgm 100000 x 100000") << "huge.pgm" << QByteArray("P5\n# big\n100000 100000\n255\n\0\0\0", 30);
  // A JPEG whose frame header claims 65535 x 65535.
  QByteArray jpeg = QtJpeg(colourPicture(8, 8));
  const int sof = int(jpeg.indexOf("\xFF\xC0"));
  for (int i = 5; i < 9; ++i)
    jpeg[sof + i] = char(0xFF);
  QTest::newRow("jpeg 65535 x 65535") << "huge.jpg" << jpeg;
  QTest::newRow("tiff 60000 x 60000") << "huge.tif" << MakeTiff(60000, 60000, true).left(200);
}

void TestImageFile::tooLargeIsRefused() {
  QFETCH(QString, name);
  QFETCH(QByteArray, bytes);
  QVERIFY(WriteBytes(path(name), bytes));
  const long before = maxRssKb();
  try {
    ReadImageFile(path(name));
    QFAIL("no error raised");
  } catch (const EPlatformError &e) {
    QVERIFY2(e.Message().contains("too large"), qPrintable(e.Message()));
    QVERIFY2(e.Message().contains(QFileInfo(path(name)).absoluteFilePath()), qPrintable(e.Message()));
  }
  QVERIFY(ReadThumbnail(path(name), QSize(100, 100)).isNull());
  // Nothing near the claimed size was allocated.
  QVERIFY(maxRssKb() - before < 64 * 1024);
}

void TestImageFile::thumbnail_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QSize>("picture");
  QTest::addColumn<QSize>("box");
  QTest::addColumn<QSize>("expected");
  QTest::newRow("jpeg reduced") << "t.jpg" << QSize(1600, 1200) << QSize(160, 160) << QSize(160, 120);
  QTest::newRow("png reduced") << "t.png" << QSize(600, 900) << QSize(100, 100) << QSize(66, 100);
  QTest::newRow("jp2 reduced") << "t.jp2" << QSize(800, 600) << QSize(100, 100) << QSize(100, 75);
  QTest::newRow("tiff reduced") << "t.tif" << QSize(300, 300) << QSize(128, 96) << QSize(96, 96);
  QTest::newRow("small png kept") << "s.png" << QSize(50, 40) << QSize(160, 160) << QSize(50, 40);
}

void TestImageFile::thumbnail() {
  QFETCH(QString, name);
  QFETCH(QSize, picture);
  QFETCH(QSize, box);
  QFETCH(QSize, expected);
  QImage image(picture, QImage::Format_RGB32);
  image.fill(qRgb(30, 140, 200));
  WriteImageFile(path(name), image);
  const QImage thumb = ReadThumbnail(path(name), box);
  QCOMPARE(thumb.size(), expected);
  const QColor c = thumb.pixelColor(thumb.width() / 2, thumb.height() / 2);
  QVERIFY(std::abs(c.red() - 30) < 8 && std::abs(c.green() - 140) < 8 && std::abs(c.blue() - 200) < 8);
}

void TestImageFile::thumbnailsFromManyThreads() {
  QStringList files;
  for (int i = 0; i < 12; ++i) {
    const char *ext[] = {"png", "jpg", "tif", "jp2", "bmp", "webp"};
    const QString name = path(QString("mt%1.%2").arg(i).arg(ext[i % 6]));
    QImage image = colourPicture(300 + 10 * i, 200);
    WriteImageFile(name, image);
    files << name;
  }
  files << path("missing-thumb.png");
  QList<QImage> expected;
  for (const QString &f : files)
    expected << ReadThumbnail(f, QSize(96, 96));
  std::vector<std::thread> threads;
  std::atomic<int> mismatches{0};
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 5; ++round)
        for (int i = 0; i < files.size(); ++i) {
          const int k = (i + t) % int(files.size());
          if (ReadThumbnail(files[k], QSize(96, 96)) != expected[k])
            ++mismatches;
        }
    });
  for (auto &t : threads)
    t.join();
  QCOMPARE(mismatches.load(), 0);
  QVERIFY(expected.last().isNull());
  QVERIFY(!expected.first().isNull());
}

void TestImageFile::thumbnailDecodesShareABudget() {
#ifdef __SANITIZE_ADDRESS__
  QSKIP("AddressSanitizer keeps freed memory resident: the resident size does not show what is in use");
#endif
  // Eight threads make thumbnails of a 9-million-pixel TIFF, which decodes at
  // full size (36 MB each, above what the allocator keeps for reuse): with
  // room for one at a time they stay near one picture instead of taking
  // eight times as much.
  const QString name = path("large.tif");
  {
    QImage large(3000, 3000, QImage::Format_RGB32);
    large.fill(qRgb(30, 140, 200));
    WriteImageFile(name, large);
  }
  SetThumbnailDecodeBudget(qint64(40) << 20);
  const double before = residentMb();
  std::atomic<bool> done{false};
  double highest = before;
  std::thread sampler([&] {
    while (!done.load()) {
      highest = std::max(highest, residentMb());
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  std::vector<std::thread> threads;
  std::atomic<int> made{0};
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      if (ReadThumbnail(name, QSize(150, 200)).size() == QSize(150, 150))
        ++made;
    });
  for (auto &t : threads)
    t.join();
  done = true;
  sampler.join();
  SetThumbnailDecodeBudget(DefaultThumbnailDecodeBudget);
  QCOMPARE(made.load(), 8);
  const double rise = highest - before;
  QVERIFY2(rise < 100, qPrintable(QString::number(rise)));
}

void TestImageFile::writeIntoPlainFileRaises() {
  QVERIFY(WriteBytes(path("plain"), "not a folder"));
  const QString target = path("plain/page.png");
  try {
    WriteImageFile(target, colourPicture());
    QFAIL("no error raised");
  } catch (const EPlatformError &e) {
    QVERIFY2(e.Message().contains(QFileInfo(target).absoluteFilePath()), qPrintable(e.Message()));
  }
  QCOMPARE(ReadBytes(path("plain")), QByteArray("not a folder"));
}

void TestImageFile::failedWriteLeavesFileUntouched() {
  QTemporaryDir dir;
  const QString target = dir.filePath("page.png");
  WriteImageFile(target, colourPicture(16, 16));
  const QByteArray before = ReadBytes(target);
  // A file size limit far below the new file's size makes the write fail midway.
  rlimit old{};
  QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 4096;
  QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool raised = false;
  QString message;
  try {
    WriteImageFile(target, noisePicture(300, 300));
  } catch (const EPlatformError &e) {
    raised = true;
    message = e.Message();
  }
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  QVERIFY(raised);
  QVERIFY2(message.contains(QFileInfo(target).absoluteFilePath()), qPrintable(message));
  QCOMPARE(ReadBytes(target), before);
  QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"page.png"});
}

void TestImageFile::refusedFormatsLeaveFileUntouched_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QImage>("image");
  QTest::addColumn<QString>("reason");
  QTest::newRow("gif") << "old.gif" << colourPicture() << "GIF";
  QTest::newRow("unknown extension") << "old.xyz" << colourPicture() << "xyz";
  QTest::newRow("no extension") << "old" << colourPicture() << "extension";
  QTest::newRow("null picture") << "old.png" << QImage() << "no picture";
}

void TestImageFile::refusedFormatsLeaveFileUntouched() {
  QFETCH(QString, name);
  QFETCH(QImage, image);
  QFETCH(QString, reason);
  QVERIFY(WriteBytes(path(name), "previous content"));
  try {
    WriteImageFile(path(name), image);
    QFAIL("no error raised");
  } catch (const EPlatformError &e) {
    QVERIFY2(e.Message().contains(reason), qPrintable(e.Message()));
  }
  QCOMPARE(ReadBytes(path(name)), QByteArray("previous content"));
}

QTEST_GUILESS_MAIN(TestImageFile)
#include "tst_imagefile.moc"
