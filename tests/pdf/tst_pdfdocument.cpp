#include "uPDFDocument.h"
#include "uPageImageFile.h"
#include "uTestFiles.h"
#include "uTestPDF.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <poppler-qt6.h>
#include <sys/stat.h>

Q_DECLARE_METATYPE(TImageType)
Q_DECLARE_METATYPE(TPageFileFormat)
Q_DECLARE_METATYPE(TPageRaster::TOrder)

namespace {

// The message an operation raises; empty when it raises nothing.
template <typename F> QString raised(F &&body) {
  try {
    body();
  } catch (const EPDFError &e) {
    return e.Message();
  }
  return {};
}

// A document of pages of the given sizes in points (fractions kept), each
// with a frame along its edges and a black square in its top left corner.
bool writeSizedPDF(const QString &fileName, const QList<QSizeF> &pages) {
  QList<QByteArray> objects; // numbered from 1
  const int n = static_cast<int>(pages.size());
  objects << "<< /Type /Catalog /Pages 2 0 R >>";
  QByteArray kids;
  for (int i = 0; i < n; ++i)
    kids += QByteArray::number(3 + 2 * i) + " 0 R ";
  objects << "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(n) + " >>";
  for (int i = 0; i < n; ++i) {
    const QByteArray w = QByteArray::number(pages.at(i).width(), 'f', 2);
    const QByteArray h = QByteArray::number(pages.at(i).height(), 'f', 2);
    objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + w + " " + h + "] /Contents " +
                   QByteArray::number(4 + 2 * i) + " 0 R >>";
    const QByteArray content = "2 w 1 1 " + QByteArray::number(pages.at(i).width() - 2, 'f', 2) + " " +
                               QByteArray::number(pages.at(i).height() - 2, 'f', 2) + " re S 0 " +
                               QByteArray::number(pages.at(i).height() - 20, 'f', 2) + " 20 20 re f\n";
    objects << "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "endstream";
  }
  QByteArray pdf = "%PDF-1.4\n";
  QList<qsizetype> offsets;
  for (int i = 0; i < objects.size(); ++i) {
    offsets << pdf.size();
    pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
  }
  const qsizetype xref = pdf.size();
  pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (qsizetype o : offsets)
    pdf += QByteArray::number(o).rightJustified(10, '0') + " 00000 n \n";
  pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         QByteArray::number(xref) + "\n%%EOF\n";
  QFile f(fileName);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(pdf) == pdf.size();
}

} // namespace

class TestPDFDocument : public QObject {
  Q_OBJECT
  QTemporaryDir FTmp;
  QString FDoc; // 6 pages, page 4 landscape with a picture
  QString FOut;

private slots:
  void initTestCase() {
    QVERIFY(FTmp.isValid());
    FDoc = FTmp.filePath("six.pdf");
    QVERIFY(WriteTestPDF(FDoc, 6, 4));
  }

  void init() {
    FOut = FTmp.filePath(QStringLiteral("out-%1").arg(QTest::currentTestFunction()) + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(FOut));
  }

  void loadCountsThePages() {
    TPDFDocument doc;
    QCOMPARE(doc.PageCount(), 0);
    doc.LoadFromFile(FDoc);
    QCOMPARE(doc.PageCount(), 6);
    QCOMPARE(doc.FileName(), FDoc);
  }

  void missingFileIsNotFound_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << "nothere.pdf";
    QTest::newRow("folder") << "";
  }
  void missingFileIsNotFound() {
    QFETCH(QString, name);
    TPDFDocument doc;
    QCOMPARE(raised([&] { doc.LoadFromFile(FTmp.filePath(name)); }), QStringLiteral("File Not Found"));
    QCOMPARE(doc.PageCount(), 0);
  }

  // A damaged file raises an error with Poppler's reason, and the document
  // loaded before stays loaded.
  void damagedFileRaisesPopplersReason_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("garbage") << 0 << "May not be a PDF file";
    QTest::newRow("truncated head") << 1 << "Couldn't read xref table";
    QTest::newRow("truncated half") << 2 << "Couldn't read xref table";
    QTest::newRow("empty") << 3 << "Document stream is empty";
  }
  void damagedFileRaisesPopplersReason() {
    QFETCH(int, kind);
    QFETCH(QString, reason);
    const QByteArray good = ReadBytes(FDoc);
    QByteArray bytes;
    switch (kind) {
    case 0:
      bytes = QByteArray(5000, 'x');
      break;
    case 1:
      bytes = good.left(300);
      break;
    case 2:
      bytes = good.left(good.size() / 2);
      break;
    default:
      break;
    }
    const QString damaged = FTmp.filePath("damaged.pdf");
    QVERIFY(WriteBytes(damaged, bytes));
    TPDFDocument doc;
    doc.LoadFromFile(FDoc);
    const QString message = raised([&] { doc.LoadFromFile(damaged); });
    QVERIFY2(message.startsWith("Cannot load the PDF document " + damaged + ": "), qPrintable(message));
    QVERIFY2(message.contains(reason), qPrintable(message));
    QCOMPARE(doc.PageCount(), 6);
    QCOMPARE(doc.FileName(), FDoc);
    doc.SaveAsImage("2-2", itBitmap, FOut, "IMG");
    QCOMPARE(FilesIn(FOut), QStringList{"IMG_2.bmp"});
  }

  void invalidRangeIsRefusedBeforeWriting_data() {
    QTest::addColumn<QString>("range");
    QTest::addColumn<bool>("loaded");
    QTest::newRow("no document") << "1-1" << false;
    QTest::newRow("first is 0") << "0-2" << true;
    QTest::newRow("beyond the end") << "4-7" << true;
    QTest::newRow("first above last") << "5-2" << true;
    QTest::newRow("single page beyond") << "7" << true;
    QTest::newRow("not a range") << "abc" << true;
    QTest::newRow("open end") << "2-" << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("negative") << "-1-2" << true;
  }
  void invalidRangeIsRefusedBeforeWriting() {
    QFETCH(QString, range);
    QFETCH(bool, loaded);
    TPDFDocument doc;
    if (loaded)
      doc.LoadFromFile(FDoc);
    QCOMPARE(raised([&] { doc.SaveAsImage(range, itJPEG, FOut, "IMG"); }),
             QStringLiteral("Invalid page range (%1)").arg(range));
    QCOMPARE(FilesIn(FOut), QStringList());
  }

  // Each format: one file per page of the range, in the right format, at
  // 96 dpi recorded in the file, each showing its own page.
  void writesEveryFormat_data() {
    QTest::addColumn<TImageType>("type");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QString>("range");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("bmp") << itBitmap << QByteArray("bmp") << "1-6"
                         << QStringList{"IMG_1.bmp", "IMG_2.bmp", "IMG_3.bmp", "IMG_4.bmp", "IMG_5.bmp", "IMG_6.bmp"};
    QTest::newRow("jpeg") << itJPEG << QByteArray("jpeg") << "3-5"
                          << QStringList{"IMG_3.jpeg", "IMG_4.jpeg", "IMG_5.jpeg"};
    QTest::newRow("tiff") << itSinglePageTIFF << QByteArray("tiff") << "2-4"
                          << QStringList{"IMG_2.tiff", "IMG_3.tiff", "IMG_4.tiff"};
    QTest::newRow("tiff 2 to 2") << itSinglePageTIFF << QByteArray("tiff") << "2-2" << QStringList{"IMG_2.tiff"};
    QTest::newRow("single page") << itBitmap << QByteArray("bmp") << " 6 " << QStringList{"IMG_6.bmp"};
  }
  void writesEveryFormat() {
    QFETCH(TImageType, type);
    QFETCH(QByteArray, format);
    QFETCH(QString, range);
    QFETCH(QStringList, files);
    TPDFDocument doc;
    doc.LoadFromFile(FDoc);
    doc.SaveAsImage(range, type, FOut, "IMG");
    QCOMPARE(FilesIn(FOut), files);
    for (const QString &name : files) {
      const int page = name.section(u'_', 1).section(u'.', 0, 0).toInt();
      QImageReader reader(FOut + u'/' + name);
      reader.setDecideFormatFromContent(true);
      QCOMPARE(reader.format(), format);
      const QImage image = reader.read();
      QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
      QCOMPARE(image.size(), page == 4 ? LandscapePixels96 : PortraitPixels96);
      QCOMPARE(qRound(image.dotsPerMeterX() * 0.0254), 96);
      QCOMPARE(qRound(image.dotsPerMeterY() * 0.0254), 96);
      QCOMPARE(CountPageMarks(image), page);
    }
  }

  // Pages of any size: each comes out at the size of its crop box at the
  // resolution, as Splash rounds it; a page whose picture would be larger
  // than the program opens is refused before anything is rendered, with a
  // message that names the page and its size.
  void pagesComeOutAtTheirSize_data() {
    QTest::addColumn<QSizeF>("points");
    QTest::addColumn<TImageType>("type");
    QTest::addColumn<QSize>("pixels"); // empty: refused
    QTest::addColumn<QString>("message");
    QTest::newRow("odd size") << QSizeF(100.3, 200.7) << itBitmap << QSize(134, 268) << "";
    QTest::newRow("A4") << QSizeF(595.28, 841.89) << itJPEG << QSize(794, 1123) << "";
    QTest::newRow("long strip as TIFF") << QSizeF(40000, 30) << itSinglePageTIFF << QSize(53333, 40) << "";
    QTest::newRow("long strip as JPEG")
        << QSizeF(50000, 30) << itJPEG << QSize()
        << "Page 2 of the document is too large for a JPEG file: 50000 by 30 points give 66667 by 40 pixels at 96 "
           "dpi, and a JPEG file holds at most 65500 pixels a side.";
    QTest::newRow("largest PDF page")
        << QSizeF(14400, 14400) << itBitmap << QSize()
        << "Page 2 of the document is too large for a picture: 14400 by 14400 points give 19200 by 19200 pixels at "
           "96 dpi, and at most 250 million pixels can be opened.";
    QTest::newRow("20000 pt square")
        << QSizeF(20000, 20000) << itBitmap << QSize()
        << "Page 2 of the document is too large for a picture: 20000 by 20000 points give 26667 by 26667 pixels at "
           "96 dpi, and at most 250 million pixels can be opened.";
  }
  void pagesComeOutAtTheirSize() {
    QFETCH(QSizeF, points);
    QFETCH(TImageType, type);
    QFETCH(QSize, pixels);
    QFETCH(QString, message);
    const QString doc = FOut + "/sized.pdf";
    QVERIFY(writeSizedPDF(doc, {QSizeF(72, 72), points, QSizeF(72, 72)}));
    const QString pages = FOut + "/pages";
    QVERIFY(QDir().mkpath(pages));
    TPDFDocument d;
    d.LoadFromFile(doc);
    if (pixels.isEmpty()) {
      QCOMPARE(raised([&] { d.CheckPages("1-3", type); }), message);
      QCOMPARE(raised([&] { d.SaveAsImage("1-3", type, pages, "IMG"); }), message);
      QCOMPARE(FilesIn(pages), QStringList()); // not even page 1
      QCOMPARE(d.PeakRenderMemory(), 0);
      return;
    }
    QCOMPARE(d.PagePixelSize(2), pixels);
    d.CheckPages("1-3", type);
    d.SaveAsImage("2-2", type, pages, "IMG");
    const QImage image(pages + "/IMG_2" + ImageTypeExtension(type));
    QCOMPARE(image.size(), pixels);
    // The frame reaches the last row and column, and the corner is black.
    QVERIFY(qGray(image.pixel(2, 2)) < 64);
    QVERIFY(qGray(image.pixel(image.width() - 1, image.height() / 2)) < 200);
    QVERIFY(qGray(image.pixel(image.width() / 2, image.height() - 1)) < 200);
  }

  // Pages are rendered side by side only as far as the memory budget goes; a
  // page that alone needs more than the budget is rendered on its own.
  void pagesStayWithinTheMemoryBudget_data() {
    QTest::addColumn<double>("budgetInPages");
    QTest::newRow("room for two and a half pages") << 2.5;
    QTest::newRow("room for less than one page") << 0.5;
    QTest::newRow("room for all") << 100.0;
  }
  void pagesStayWithinTheMemoryBudget() {
    QFETCH(double, budgetInPages);
    const QString doc = FOut + "/six.pdf";
    QVERIFY(writeSizedPDF(doc, QList<QSizeF>(6, QSizeF(1500, 1500))));
    TPDFDocument d;
    d.LoadFromFile(doc);
    const qint64 page = PageRenderMemory(2000, 2000);
    TImageProperties props;
    props.Threads = 6;
    props.MemoryBudget = qint64(page * budgetInPages);
    d.SaveAsImage("1-6", itBitmap, FOut, "IMG", &props);
    QCOMPARE(FilesIn(FOut).filter(".bmp").size(), 6);
    QVERIFY(d.PeakRenderMemory() >= page);
    QVERIFY(d.PeakRenderMemory() <= std::max(page, props.MemoryBudget));
    if (budgetInPages < 1)
      QCOMPARE(d.PeakRenderMemory(), page);
    for (int i = 1; i <= 6; ++i)
      QCOMPARE(QImage(FOut + QStringLiteral("/IMG_%1.bmp").arg(i)).size(), QSize(2000, 2000));
  }

  // Pages of mixed sizes: the bitmaps that the threads keep from their last
  // pages count in the budget and never hold up a page, also one that alone
  // needs more than the budget.
  void mixedPagesShareTheBudget() {
    const QString doc = FOut + "/mixed.pdf";
    const QSizeF small(300, 300), large(1500, 1500); // 400 and 2000 pixels square
    QVERIFY(writeSizedPDF(doc, {small, small, small, large, small, small, large, small}));
    TPDFDocument d;
    d.LoadFromFile(doc);
    TImageProperties props;
    props.Threads = 6;
    props.MemoryBudget = PageRenderMemory(2000, 2000) / 2;
    d.SaveAsImage("1-8", itBitmap, FOut, "IMG", &props);
    for (int i = 1; i <= 8; ++i) {
      const int side = i == 4 || i == 7 ? 2000 : 400;
      QCOMPARE(QImage(FOut + QStringLiteral("/IMG_%1.bmp").arg(i)).size(), QSize(side, side));
    }
    QCOMPARE(d.PeakRenderMemory(), PageRenderMemory(2000, 2000));
  }

  // What is not a regular file is refused without being read.
  void onlyRegularFilesAreLoaded_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("pipe") << "pipe";
    QTest::newRow("link to /dev/zero") << "zero";
  }
  void onlyRegularFilesAreLoaded() {
    QFETCH(QString, kind);
    const QString name = FOut + "/special.pdf";
    if (kind == QLatin1String("pipe"))
      QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0600), 0);
    else
      QVERIFY(QFile::link("/dev/zero", name));
    TPDFDocument d;
    d.LoadFromFile(FDoc);
    QCOMPARE(raised([&] { d.LoadFromFile(name); }),
             "Cannot open the PDF document " + name + ": it is a device, a pipe or a socket, not a file.");
    QCOMPARE(d.FileName(), FDoc);
  }

  // The picture of page 4 is drawn: its middle is coloured, not white.
  void rendersPictures() {
    TPDFDocument doc;
    doc.LoadFromFile(FDoc);
    doc.SaveAsImage("4-4", itBitmap, FOut, "IMG");
    const QImage image(FOut + "/IMG_4.bmp");
    // The picture stands at 300,250 .. 660,490 points; its pixel at (x, y)
    // of the source is rgb(x, y, ...), so it is not grey.
    const QRgb px = image.pixel(qRound(480 * 96 / 72.0), qRound(370 * 96 / 72.0));
    QVERIFY2(qRed(px) != qGreen(px) || qGreen(px) != qBlue(px), qPrintable(QString::number(px, 16)));
  }

  // Pages rendered in parallel equal the pages rendered one by one with
  // Poppler on a single thread, antialiased.
  void parallelPagesEqualSequentialOnes() {
    TPDFDocument doc;
    doc.LoadFromFile(FDoc);
    TImageProperties many;
    many.Threads = 6;
    doc.SaveAsImage("1-6", itBitmap, FOut, "IMG", &many);
    const std::unique_ptr<Poppler::Document> direct = Poppler::Document::load(FDoc);
    QVERIFY(direct);
    direct->setRenderHint(Poppler::Document::Antialiasing, true);
    direct->setRenderHint(Poppler::Document::TextAntialiasing, true);
    for (int page = 1; page <= 6; ++page) {
      const QImage expected = direct->page(page - 1)->renderToImage(96, 96).convertToFormat(QImage::Format_RGB32);
      const QImage written =
          QImage(FOut + QStringLiteral("/IMG_%1.bmp").arg(page)).convertToFormat(QImage::Format_RGB32);
      QCOMPARE(written.size(), expected.size());
      QVERIFY2(written == expected, qPrintable(QStringLiteral("page %1").arg(page)));
    }
  }

  // The pages are those that pdftoppm writes at 96 dpi, pixel for pixel, in
  // each format against its own pair: BMP against PPM, JPEG against JPEG at
  // the same quality, TIFF against uncompressed TIFF; also for a page whose
  // rows are no multiple of 4 bytes.
  void pagesEqualPdftoppms_data() {
    QTest::addColumn<TImageType>("type");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("oddSize");
    const QStringList jpeg{"-jpeg", "-jpegopt", "quality=90"};
    const QStringList tiff{"-tiff", "-tiffcompression", "none"};
    QTest::newRow("bmp") << itBitmap << QStringList() << false;
    QTest::newRow("jpeg") << itJPEG << jpeg << false;
    QTest::newRow("tiff") << itSinglePageTIFF << tiff << false;
    QTest::newRow("bmp, odd size") << itBitmap << QStringList() << true;
    QTest::newRow("jpeg, odd size") << itJPEG << jpeg << true;
    QTest::newRow("tiff, odd size") << itSinglePageTIFF << tiff << true;
  }
  void pagesEqualPdftoppms() {
    QFETCH(TImageType, type);
    QFETCH(QStringList, options);
    QFETCH(bool, oddSize);
    QString doc = FDoc;
    if (oddSize) {
      doc = FOut + "/odd.pdf";
      // pdftoppm takes the next whole pixel where Splash rounds: these sizes
      // come out alike in both.
      QVERIFY(writeSizedPDF(doc, {QSizeF(100.3, 200.7), QSizeF(300.5, 150.6)}));
    }
    TPDFDocument d;
    d.LoadFromFile(doc);
    const QString ours = FOut + "/ours";
    const QString theirs = FOut + "/pdftoppm";
    QVERIFY(QDir().mkpath(ours));
    QVERIFY(QDir().mkpath(theirs));
    TImageProperties props;
    props.Threads = 3;
    d.SaveAsImage(QStringLiteral("1-%1").arg(d.PageCount()), type, ours, "IMG", &props);
    QProcess pdftoppm;
    pdftoppm.start("pdftoppm", QStringList{"-r", "96"} + options + QStringList{doc, theirs + "/page"});
    QVERIFY(pdftoppm.waitForFinished(60000));
    QCOMPARE(pdftoppm.exitCode(), 0);
    const QStringList reference = QDir(theirs).entryList(QDir::Files, QDir::Name);
    QCOMPARE(reference.size(), d.PageCount());
    for (int page = 1; page <= d.PageCount(); ++page) {
      QImageReader mine(ours + u'/' + PageImageFileName("IMG", page, type));
      QImageReader other(theirs + u'/' + reference.at(page - 1));
      const QImage a = mine.read().convertToFormat(QImage::Format_RGB32);
      const QImage b = other.read().convertToFormat(QImage::Format_RGB32);
      QVERIFY2(!a.isNull() && !b.isNull(), qPrintable(mine.errorString() + other.errorString()));
      QCOMPARE(a.size(), b.size());
      QVERIFY2(a == b, qPrintable(QStringLiteral("page %1").arg(page)));
    }
  }

  // The writers take rows in either order and with or without padding, and
  // write the same picture.
  void writersTakeEitherLayout_data() {
    QTest::addColumn<TPageFileFormat>("format");
    QTest::addColumn<TPageRaster::TOrder>("order");
    QTest::addColumn<int>("rowPad");
    for (const auto &[name, format] : {std::pair{"bmp", TPageFileFormat::Bmp}, std::pair{"jpeg", TPageFileFormat::Jpeg},
                                       std::pair{"tiff", TPageFileFormat::Tiff}})
      for (const auto &[orderName, order] :
           {std::pair{"rgb", TPageRaster::TOrder::Rgb}, std::pair{"bgr", TPageRaster::TOrder::Bgr}})
        for (int pad : {1, 4})
          QTest::addRow("%s from %s rows padded to %d", name, orderName, pad) << format << order << pad;
  }
  void writersTakeEitherLayout() {
    QFETCH(TPageFileFormat, format);
    QFETCH(TPageRaster::TOrder, order);
    QFETCH(int, rowPad);
    // Blocks of 16 by 16 pixels of one colour each, which JPEG keeps closely.
    const int w = 16 * 7, h = 16 * 3;
    const qsizetype stride = (w * 3 + rowPad - 1) / rowPad * rowPad;
    QByteArray bytes(stride * h, '\x5a'); // padding: not to be written
    auto colour = [](int x, int y) { return qRgb(40 * (x / 16), 100 * (y / 16), 255 - 30 * (x / 16)); };
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uchar *p = reinterpret_cast<uchar *>(bytes.data()) + y * stride + x * 3;
        const QRgb c = colour(x, y);
        const bool rgb = order == TPageRaster::TOrder::Rgb;
        p[0] = uchar(rgb ? qRed(c) : qBlue(c));
        p[1] = uchar(qGreen(c));
        p[2] = uchar(rgb ? qBlue(c) : qRed(c));
      }
    TPageRaster raster;
    raster.Bits = reinterpret_cast<const uchar *>(bytes.constData());
    raster.Width = w;
    raster.Height = h;
    raster.Stride = stride;
    raster.Order = order;
    const QString file = FOut + "/page";
    QString error;
    QVERIFY2(WritePageImageFile(raster, format, file, 96, 96, 100, &error), qPrintable(error));
    QImageReader reader(file);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), QSize(w, h));
    // JPEG blends the colours of neighbouring blocks near their edges.
    const bool jpeg = format == TPageFileFormat::Jpeg;
    const int tolerance = jpeg ? 6 : 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        if (jpeg && (x % 16 < 4 || x % 16 > 11 || y % 16 < 4 || y % 16 > 11))
          continue;
        const QRgb got = image.pixel(x, y), want = colour(x, y);
        QVERIFY2(
            std::abs(qRed(got) - qRed(want)) <= tolerance && std::abs(qGreen(got) - qGreen(want)) <= tolerance &&
                std::abs(qBlue(got) - qBlue(want)) <= tolerance,
            qPrintable(QStringLiteral("(%1, %2): %3 instead of %4").arg(x).arg(y).arg(got, 0, 16).arg(want, 0, 16)));
      }
    if (format == TPageFileFormat::Bmp) {
      // Bottom-up rows padded with zeros to 4 bytes.
      const QByteArray written = ReadBytes(file);
      const qsizetype row = (w * 3 + 3) / 4 * 4;
      QCOMPARE(written.size(), 54 + row * h);
      for (int y = 0; y < h; ++y)
        for (qsizetype i = w * 3; i < row; ++i)
          QCOMPARE(int(written.at(54 + y * row + i)), 0);
    }
  }

  // An existing page file is replaced; files of other names stay; no
  // temporary file is left.
  void replacesItsOwnFilesOnly() {
    QVERIFY(WriteBytes(FOut + "/IMG_2.jpeg", "not a picture"));
    QVERIFY(WriteBytes(FOut + "/IMG_2.bmp", "another format"));
    QVERIFY(WriteBytes(FOut + "/notes.txt", "keep me"));
    TPDFDocument doc;
    doc.LoadFromFile(FDoc);
    doc.SaveAsImage("1-3", itJPEG, FOut, "IMG");
    QCOMPARE(FilesIn(FOut), (QStringList{"IMG_1.jpeg", "IMG_2.bmp", "IMG_2.jpeg", "IMG_3.jpeg", "notes.txt"}));
    QCOMPARE(CountPageMarks(QImage(FOut + "/IMG_2.jpeg")), 2);
    QCOMPARE(ReadBytes(FOut + "/IMG_2.bmp"), QByteArray("another format"));
    QCOMPARE(ReadBytes(FOut + "/notes.txt"), QByteArray("keep me"));
  }

  // A page that cannot be written stops the writing with an error: the pages
  // before it stay, none after it is written, and nothing is left cut short
  // or under a temporary name.
  void writeFailureKeepsTheEarlierPages() {
    QVERIFY(QDir().mkpath(FOut + "/IMG_3.tiff/occupied"));
    TPDFDocument doc;
    doc.LoadFromFile(FDoc);
    const QString message = raised([&] { doc.SaveAsImage("1-6", itSinglePageTIFF, FOut, "IMG"); });
    QVERIFY2(message.startsWith("Cannot write " + FOut + "/IMG_3.tiff: "), qPrintable(message));
    QCOMPARE(FilesIn(FOut), (QStringList{"IMG_1.tiff", "IMG_2.tiff", "IMG_3.tiff"}));
    QVERIFY(QFileInfo(FOut + "/IMG_3.tiff").isDir());
    for (const char *name : {"IMG_1.tiff", "IMG_2.tiff"})
      QVERIFY(!QImage(FOut + u'/' + QLatin1String(name)).isNull());
  }

  void missingFolderIsRefused() {
    TPDFDocument doc;
    doc.LoadFromFile(FDoc);
    const QString missing = FOut + "/none";
    const QString message = raised([&] { doc.SaveAsImage("1-2", itBitmap, missing, "IMG"); });
    QVERIFY2(message.contains(missing), qPrintable(message));
    QVERIFY(!QFileInfo::exists(missing));
  }

  void fileNamesHaveNoLeadingZeros() {
    QCOMPARE(PageImageFileName("IMG", 3, itJPEG), QStringLiteral("IMG_3.jpeg"));
    QCOMPARE(PageImageFileName("IMG", 10, itBitmap), QStringLiteral("IMG_10.bmp"));
    QCOMPARE(PageImageFileName("IMG", 120, itSinglePageTIFF), QStringLiteral("IMG_120.tiff"));
  }
};

QTEST_MAIN(TestPDFDocument)
#include "tst_pdfdocument.moc"
