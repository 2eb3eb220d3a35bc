// The recognition plug-in as the program uses it: the real plug-in from the
// built program folder, Tesseract with the program folder's trained data,
// pictures drawn here.

#include "uVision.h"

#define ZX_USE_UTF8 1
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <cstdlib>

Q_DECLARE_METATYPE(QImage::Format)
Q_DECLARE_METATYPE(ZXing::BarcodeFormat)
Q_DECLARE_METATYPE(TVisionRect)

namespace {

QString OcrFolder() { return QStringLiteral(ZQ_APP_DIR "ocrlangs/"); }

// Black lines of text on white, glyphs 40 pixels high, one line every 80
// pixels from the top.
QFont TextFont() {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(40);
  return font;
}

QImage TextImage(const QStringList &lines, QSize size = QSize(1400, 400), QPoint at = QPoint(40, 20)) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  p.setFont(TextFont());
  p.setPen(Qt::black);
  for (int i = 0; i < lines.size(); ++i)
    p.drawText(QRect(at.x(), at.y() + i * 80, size.width() - at.x(), 80), Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
  return image;
}

// A barcode drawn by ZXing's own writer, black on white, at `at` of a white
// canvas.
void DrawBarcode(QImage &canvas, QPoint at, ZXing::BarcodeFormat format, const std::string &content, int width,
                 int height) {
  ZXing::MultiFormatWriter writer(format);
  writer.setEncoding(ZXing::CharacterSet::UTF8);
  writer.setMargin(0);
  ZXing::BitMatrix matrix = writer.encode(content, width, height);
  QPainter p(&canvas);
  for (int y = 0; y < matrix.height(); ++y)
    for (int x = 0; x < matrix.width(); ++x)
      if (matrix.get(x, y))
        p.fillRect(at.x() + x, at.y() + y, 1, 1, Qt::black);
}

QImage WhiteCanvas(QSize size) {
  QImage canvas(size, QImage::Format_RGB32);
  canvas.fill(Qt::white);
  return canvas;
}

// The picture in another pixel format; for the formats with alpha the
// paper is made transparent (a transparent pixel reads as white paper).
QImage InFormat(const QImage &image, QImage::Format format) {
  if (format == QImage::Format_ARGB32) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
      auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
      for (int x = 0; x < out.width(); ++x)
        line[x] = qRgba(0, 0, 0, 255 - qGray(line[x])); // black ink, transparent paper
    }
    return out;
  }
  return image.convertToFormat(format);
}

// Ink and paper in colour: orange paper, blue ink. Read in the wrong channel
// order, ink and paper come out at nearly the same brightness.
QImage InColour(const QImage &blackOnWhite, QImage::Format format) {
  QImage out = blackOnWhite.convertToFormat(QImage::Format_RGB32);
  const QColor paper(255, 128, 0), ink(0, 64, 255);
  for (int y = 0; y < out.height(); ++y) {
    auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      double t = qGray(line[x]) / 255.0; // 1 paper, 0 ink
      line[x] =
          qRgb(int(ink.red() + t * (paper.red() - ink.red())), int(ink.green() + t * (paper.green() - ink.green())),
               int(ink.blue() + t * (paper.blue() - ink.blue())));
    }
  }
  return out.convertToFormat(format);
}

QString Recognize(const QImage &image, const QString &code, TVisionRect rect = TVisionRect{}) {
  TVisionLibrary lib = TVisionLibrary::Obtain();
  TVisionOCR ocr = lib.CreateOCR(OcrFolder(), code);
  ocr.SetMode(ZV_MODE_DEFAULT);
  TVisionImage img = lib.CreateImage(image);
  if (rect.x == 0 && rect.y == 0 && rect.width == 0 && rect.height == 0)
    rect = TVisionRect{0, 0, img.Width(), img.Height()};
  return ocr.Recognize(img, rect).Text();
}

struct TRead {
  QString Type;
  QString Value;
  bool operator==(const TRead &) const = default;
};

QList<TRead> ListOf(const TVisionBarcodeList &list) {
  QList<TRead> read;
  for (int i = 0; i < list.Count(); ++i) {
    TVisionBarcode item = list.Item(i);
    read.append(TRead{item.Type().Text(), item.Value().Text()});
  }
  return read;
}

// The barcodes of a picture, read from the plug-in's copy of it (an image);
// the scan of the same pixels where they lie (scan_pixels) must read the
// same.
QList<TRead> ReadBarcodes(const QImage &image, TVisionRect rect = TVisionRect{}) {
  TVisionLibrary lib = TVisionLibrary::Obtain();
  TVisionBarcodeScanner scanner = lib.CreateBarcodeScanner();
  const QList<TRead> read = ListOf(scanner.Scan(lib.CreateImage(image), rect));
  int layout = 0;
  const QImage pixels = VisionPixels(image, layout);
  const QList<TRead> inPlace = ListOf(scanner.ScanPixels(pixels.width(), pixels.height(), layout,
                                                         int(pixels.bytesPerLine()), pixels.constBits(), rect));
  if (!(inPlace == read))
    qWarning("read in place: %d barcodes, from a copy: %d", int(inPlace.size()), int(read.size()));
  return inPlace == read ? read : QList<TRead>{TRead{QStringLiteral("in place"), QStringLiteral("differs")}};
}

// Runs `body`, which must raise EVisionError; returns it.
template <class F> EVisionError ExpectVisionError(F body) {
  try {
    body();
  } catch (const EVisionError &e) {
    return e;
  }
  return EVisionError(0, QString());
}

} // namespace

class TestVision : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() {
    SetVisionSearchFolder(QStringLiteral(ZQ_APP_DIR));
    for (const char *code : {"eng", "deu"})
      QVERIFY2(QFile::exists(OcrFolder() + code + ".traineddata"), code);
  }

  // English text in each pixel layout the program hands over.
  void recognizesEnglish_data() {
    QTest::addColumn<QImage::Format>("format");
    QTest::newRow("RGB32") << QImage::Format_RGB32;
    QTest::newRow("grey 8") << QImage::Format_Grayscale8;
    QTest::newRow("RGB 24") << QImage::Format_RGB888;
    QTest::newRow("RGBX 32") << QImage::Format_RGBX8888;
    QTest::newRow("ARGB32, transparent paper") << QImage::Format_ARGB32;
    QTest::newRow("1 bit, converted") << QImage::Format_Mono;
  }
  void recognizesEnglish() {
    QFETCH(QImage::Format, format);
    QImage image = InFormat(TextImage({"The quick brown fox jumps", "over the lazy dog 1234"}), format);
    QString text = Recognize(image, "eng");
    QCOMPARE(text.simplified(), QStringLiteral("The quick brown fox jumps over the lazy dog 1234"));
  }

  void recognizesColourText_data() {
    QTest::addColumn<QImage::Format>("format");
    QTest::newRow("RGB32") << QImage::Format_RGB32;
    QTest::newRow("RGB 24") << QImage::Format_RGB888;
    QTest::newRow("RGBX 32") << QImage::Format_RGBX8888;
  }
  void recognizesColourText() {
    QFETCH(QImage::Format, format);
    QImage image = InColour(TextImage({"Colour pictures are read too"}), format);
    QCOMPARE(Recognize(image, "eng").simplified(), QStringLiteral("Colour pictures are read too"));
  }

  void recognizesGermanUmlauts() {
    QImage image =
        TextImage({QString::fromUtf8("Grüße aus Köln und Düsseldorf"), QString::fromUtf8("Äpfel, Öfen und Übungen")});
    QString text = Recognize(image, "deu");
    QCOMPARE(text.simplified(), QString::fromUtf8("Grüße aus Köln und Düsseldorf Äpfel, Öfen und Übungen"));
  }

  // The text object holds what the engine found, line breaks included.
  void textKeepsLineBreaks() {
    QString text = Recognize(TextImage({"first line here", "second line here"}), "eng");
    QVERIFY2(QRegularExpression(QStringLiteral("^first line here\n+second line here\n*$")).match(text).hasMatch(),
             qPrintable(text));
  }

  void rectangleLimitsRecognition_data() {
    QTest::addColumn<TVisionRect>("rect");
    QTest::addColumn<QString>("expected");
    // Lines at y 20-100 ("Alpha"), 100-180 ("Omega"); image 1400 x 400.
    QTest::newRow("upper line") << TVisionRect{0, 0, 1400, 100} << "Alpha bravo charlie";
    QTest::newRow("lower line") << TVisionRect{0, 100, 1400, 100} << "Omega sierra tango";
    QTest::newRow("reaching beyond the image") << TVisionRect{0, 100, 5000, 5000} << "Omega sierra tango";
    // Up to the middle of the blank after the first word.
    QFontMetrics metrics(TextFont());
    int firstWord = 40 + metrics.horizontalAdvance(QStringLiteral("Alpha")) + metrics.horizontalAdvance(' ') / 2;
    QTest::newRow("first word of the upper line") << TVisionRect{0, 0, firstWord, 100} << "Alpha";
    QTest::newRow("whole image") << TVisionRect{0, 0, 1400, 400} << "Alpha bravo charlie Omega sierra tango";
    QTest::newRow("all zeros is the whole image")
        << TVisionRect{0, 0, 0, 0} << "Alpha bravo charlie Omega sierra tango";
    QTest::newRow("blank part") << TVisionRect{0, 250, 1400, 150} << "";
    QTest::newRow("outside the image") << TVisionRect{2000, 2000, 100, 100} << "";
  }
  void rectangleLimitsRecognition() {
    QFETCH(TVisionRect, rect);
    QFETCH(QString, expected);
    TVisionLibrary lib = TVisionLibrary::Obtain();
    TVisionOCR ocr = lib.CreateOCR(OcrFolder(), "eng");
    ocr.SetMode(ZV_MODE_DEFAULT);
    TVisionImage img = lib.CreateImage(TextImage({"Alpha bravo charlie", "Omega sierra tango"}));
    QCOMPARE(ocr.Recognize(img, rect).Text().simplified(), expected);
  }

  // One engine recognises several images; the engine modes are checked.
  void engineIsReusableAndModesAreChecked() {
    TVisionLibrary lib = TVisionLibrary::Obtain();
    TVisionOCR ocr = lib.CreateOCR(OcrFolder(), "eng");
    ocr.SetMode(ZV_MODE_DEFAULT);
    TVisionRect whole{};
    QCOMPARE(ocr.Recognize(lib.CreateImage(TextImage({"first picture"})), whole).Text().simplified(),
             QStringLiteral("first picture"));
    ocr.SetMode(ZV_MODE_LSTM);
    QCOMPARE(ocr.Recognize(lib.CreateImage(TextImage({"second picture"})), whole).Text().simplified(),
             QStringLiteral("second picture"));
    EVisionError e = ExpectVisionError([&] { ocr.SetMode(7); });
    QCOMPARE(e.Status(), ZV_E_INVALIDARG);
    QVERIFY2(e.Message().contains(QStringLiteral("mode 7")), qPrintable(e.Message()));
    // A failed change leaves the engine working.
    QCOMPARE(ocr.Recognize(lib.CreateImage(TextImage({"third picture"})), whole).Text().simplified(),
             QStringLiteral("third picture"));
  }

  void missingTrainedData_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("named");
    QTest::newRow("unknown code") << OcrFolder() << "xyz" << int(ZV_E_NOENT) << OcrFolder() + "xyz.traineddata";
    QTest::newRow("missing folder") << "/nonexistent/folder"
                                    << "eng" << int(ZV_E_NOENT) << "/nonexistent/folder/eng.traineddata";
    QTest::newRow("one of two languages")
        << OcrFolder() << "eng+xyz" << int(ZV_E_NOENT) << OcrFolder() + "xyz.traineddata";
    QTest::newRow("empty code") << OcrFolder() << "" << int(ZV_E_INVALIDARG) << "language";
    QTest::newRow("path in the code") << OcrFolder() << "../ocrlangs/eng" << int(ZV_E_INVALIDARG) << "../ocrlangs/eng";
    QTest::newRow("empty folder") << ""
                                  << "eng" << int(ZV_E_INVALIDARG) << "folder";
  }
  void missingTrainedData() {
    QFETCH(QString, folder);
    QFETCH(QString, code);
    QFETCH(int, status);
    QFETCH(QString, named);
    TVisionLibrary lib = TVisionLibrary::Obtain();
    EVisionError e = ExpectVisionError([&] { lib.CreateOCR(folder, code); });
    QCOMPARE(e.Status(), status);
    QVERIFY2(e.Message().contains(named), qPrintable(e.Message()));
  }

  // Damaged trained data that the engine's own checks refuse: refused with
  // a description; the process lives on. (Files that pass those checks and
  // end the process when loaded are the helper process's to meet:
  // tst_visionservice.)
  void corruptTrainedData_data() {
    QTest::addColumn<QString>("damage");
    QTest::newRow("garbage bytes") << "garbage";
    QTest::newRow("empty file") << "empty";
    QTest::newRow("cut short") << "truncated";
  }
  void corruptTrainedData() {
    QFETCH(QString, damage);
    QFile real(OcrFolder() + "eng.traineddata");
    QVERIFY(real.open(QIODevice::ReadOnly));
    QByteArray data = real.readAll();
    if (damage == "garbage") {
      QRandomGenerator random(42);
      data.resize(200000);
      for (char &c : data)
        c = char(random.bounded(256));
    } else if (damage == "empty") {
      data.clear();
    } else {
      data.truncate(data.size() / 2);
    }
    QTemporaryDir dir;
    QFile file(dir.filePath("eng.traineddata"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
    file.close();

    TVisionLibrary lib = TVisionLibrary::Obtain();
    for (int attempt = 0; attempt < 2; ++attempt) {
      EVisionError e = ExpectVisionError([&] { lib.CreateOCR(dir.path(), "eng"); });
      QCOMPARE(e.Status(), ZV_E_BADDATA);
      QVERIFY2(e.Message().contains(QStringLiteral("is not a valid trained-data file")), qPrintable(e.Message()));
      QVERIFY2(e.Message().contains(file.fileName()), qPrintable(e.Message()));
    }
    // Still alive and well.
    QCOMPARE(Recognize(TextImage({"still here"}), "eng").simplified(), QStringLiteral("still here"));
  }

  // Misuse of the C interface gives failing statuses, never a crash.
  void interfaceMisuse() {
    TVisionLibrary lib = TVisionLibrary::Obtain();
    const zv_api *api = lib.Api();
    QImage white = WhiteCanvas(QSize(50, 40));
    TVisionImage img = lib.CreateImage(white);
    TVisionOCR ocr = lib.CreateOCR(OcrFolder(), "eng");
    zv_handle *out = nullptr;
    zv_rect whole{0, 0, 0, 0};
    zv_rect negative{0, 0, -5, 10};
    const uchar *px = white.constBits();
    auto status = [&](int s) {
      if (s >= 0 && out) {
        api->release(out);
        out = nullptr;
      }
      return s;
    };
    QCOMPARE(status(api->create_ocr(lib.Handle(), "x", "eng", 1, 0, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->create_ocr(lib.Handle(), "x", "eng", 0, 1, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->create_ocr(img.Handle(), "x", "eng", 0, 0, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->create_scanner(lib.Handle(), 1, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->set_mode(img.Handle(), 3)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->set_mode(nullptr, 3)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->recognize(ocr.Handle(), ocr.Handle(), &whole, 0, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->recognize(ocr.Handle(), img.Handle(), nullptr, 0, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->recognize(ocr.Handle(), img.Handle(), &negative, 0, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->recognize(ocr.Handle(), img.Handle(), &whole, 1, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->recognize(ocr.Handle(), img.Handle(), &whole, 0, nullptr)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->create_image(lib.Handle(), 0, 40, ZV_LAYOUT_BGRA32, 200, px, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->create_image(lib.Handle(), 50, 40, 99, 200, px, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->create_image(lib.Handle(), 50, 40, ZV_LAYOUT_BGRA32, 199, px, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->create_image(lib.Handle(), 50, 40, ZV_LAYOUT_BGRA32, 200, nullptr, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->create_image(lib.Handle(), 50, 40, ZV_LAYOUT_BGRA32, 200, px, &out)), ZV_OK);
    QCOMPARE(status(api->text(img.Handle(), nullptr, nullptr)), ZV_E_INVALIDARG);
    TVisionBarcodeScanner scanner = lib.CreateBarcodeScanner();
    zv_handle *sc = scanner.Handle();
    QCOMPARE(status(api->scan_pixels(img.Handle(), 50, 40, ZV_LAYOUT_BGRA32, 200, px, &whole, 0, &out)),
             ZV_E_INVALIDARG);
    QCOMPARE(status(api->scan_pixels(sc, 50, 0, ZV_LAYOUT_BGRA32, 200, px, &whole, 0, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->scan_pixels(sc, 50, 40, 0, 200, px, &whole, 0, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->scan_pixels(sc, 50, 40, ZV_LAYOUT_BGRA32, 199, px, &whole, 0, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->scan_pixels(sc, 50, 40, ZV_LAYOUT_BGRA32, 200, nullptr, &whole, 0, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->scan_pixels(sc, 50, 40, ZV_LAYOUT_BGRA32, 200, px, nullptr, 0, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->scan_pixels(sc, 50, 40, ZV_LAYOUT_BGRA32, 200, px, &negative, 0, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->scan_pixels(sc, 50, 40, ZV_LAYOUT_BGRA32, 200, px, &whole, 1, &out)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->scan_pixels(sc, 50, 40, ZV_LAYOUT_BGRA32, 200, px, &whole, 0, nullptr)), ZV_E_INVALIDARG);
    QCOMPARE(status(api->scan_pixels(sc, 50, 40, ZV_LAYOUT_BGRA32, 200, px, &whole, 0, &out)), ZV_OK);

    // The description of the last failure, and its absence after a success.
    const uint16_t *description = nullptr;
    QCOMPARE(status(api->set_mode(ocr.Handle(), -1)), ZV_E_INVALIDARG);
    QCOMPARE(api->last_error(&description), ZV_OK);
    QVERIFY(QString::fromUtf16(reinterpret_cast<const char16_t *>(description)).contains(QStringLiteral("mode -1")));
    QCOMPARE(status(api->set_mode(ocr.Handle(), 3)), ZV_OK);
    QCOMPARE(api->last_error(&description), ZV_OK);
    QCOMPARE(description[0], uint16_t(0));
  }

  // A status without a description takes the system's text for it.
  void statusWithoutDescription() {
    EVisionError e = ExpectVisionError([] { VisionCheck(nullptr, ZV_E_NOENT); });
    QCOMPARE(e.Status(), ZV_E_NOENT);
    QCOMPARE(e.Message(), QString::fromLocal8Bit(strerror(ENOENT)));
    QCOMPARE(VisionCheck(nullptr, 5), 5);
    QCOMPARE(VisionFailureText(e), QStringLiteral("An error was encountered processing this image: ") + e.Message());
  }

  // Handles keep what they need alive: an engine outlives the library
  // reference it was made from, a barcode its list.
  void handlesMayBeReleasedInAnyOrder() {
    TVisionOCR ocr;
    TVisionBarcode barcode;
    TVisionImage img;
    {
      TVisionLibrary lib = TVisionLibrary::Obtain();
      ocr = lib.CreateOCR(OcrFolder(), "eng");
      QImage canvas = TextImage({"kept alive"}, QSize(800, 300));
      DrawBarcode(canvas, QPoint(500, 100), ZXing::BarcodeFormat::QRCode, "kept", 150, 150);
      img = lib.CreateImage(canvas);
      TVisionBarcodeList list = lib.CreateBarcodeScanner().Scan(img, TVisionRect{});
      QCOMPARE(list.Count(), 1);
      barcode = list.Item(0);
    }
    QCOMPARE(barcode.Value().Text(), QStringLiteral("kept"));
    TVisionOCR copy = ocr;
    ocr = TVisionOCR();
    QCOMPARE(copy.Recognize(img, TVisionRect{0, 0, 480, 300}).Text().simplified(), QStringLiteral("kept alive"));
    QVERIFY(ocr.IsNull());
    EVisionError e = ExpectVisionError([&] { ocr.SetMode(3); });
    QCOMPARE(e.Status(), ZV_E_INVALIDARG);
  }

  void readsBarcodes_data() {
    QTest::addColumn<ZXing::BarcodeFormat>("format");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QImage::Format>("pixels");
    const QString qr = QString::fromUtf8("https://example.org/Grüße?x=1");
    QTest::newRow("QR code") << ZXing::BarcodeFormat::QRCode << qr << QSize(240, 240) << "QRCode"
                             << QImage::Format_RGB32;
    QTest::newRow("QR code, grey") << ZXing::BarcodeFormat::QRCode << qr << QSize(240, 240) << "QRCode"
                                   << QImage::Format_Grayscale8;
    QTest::newRow("Code 128") << ZXing::BarcodeFormat::Code128 << "ZQ-2024/ab" << QSize(400, 120) << "Code128"
                              << QImage::Format_RGB32;
    QTest::newRow("Code 128, grey") << ZXing::BarcodeFormat::Code128 << "ZQ-2024/ab" << QSize(400, 120) << "Code128"
                                    << QImage::Format_Grayscale8;
    QTest::newRow("EAN-13") << ZXing::BarcodeFormat::EAN13 << "4006381333931" << QSize(300, 120) << "EAN-13"
                            << QImage::Format_RGB888;
    QTest::newRow("QR code, colour RGB32")
        << ZXing::BarcodeFormat::QRCode << qr << QSize(240, 240) << "QRCode" << QImage::Format_ARGB32;
    QTest::newRow("QR code, colour RGB 24")
        << ZXing::BarcodeFormat::QRCode << qr << QSize(240, 240) << "QRCode" << QImage::Format_RGB888;
    QTest::newRow("QR code, colour RGBX 32")
        << ZXing::BarcodeFormat::QRCode << qr << QSize(240, 240) << "QRCode" << QImage::Format_RGBX8888;
    QTest::newRow("Data Matrix") << ZXing::BarcodeFormat::DataMatrix << "Data Matrix 42" << QSize(200, 200)
                                 << "DataMatrix" << QImage::Format_RGB32;
  }
  void readsBarcodes() {
    QFETCH(ZXing::BarcodeFormat, format);
    QFETCH(QString, content);
    QFETCH(QSize, size);
    QFETCH(QString, type);
    QFETCH(QImage::Format, pixels);
    QImage canvas = WhiteCanvas(QSize(700, 500));
    DrawBarcode(canvas, QPoint(150, 120), format, content.toStdString(), size.width(), size.height());
    bool colour = QString::fromLatin1(QTest::currentDataTag()).contains(QLatin1String("colour"));
    QList<TRead> read = ReadBarcodes(colour ? InColour(canvas, pixels) : canvas.convertToFormat(pixels));
    QCOMPARE(read.size(), 1);
    QCOMPARE(read[0].Type, type);
    QCOMPARE(read[0].Value, content);
  }

  // Two barcodes: all zeros reads both in reading order; a rectangle around
  // one reads only that one.
  void rectangleSelectsBarcode_data() {
    QTest::addColumn<TVisionRect>("rect");
    QTest::addColumn<QStringList>("values");
    QTest::newRow("whole image") << TVisionRect{0, 0, 0, 0} << QStringList{"left QR", "right-128"};
    QTest::newRow("left one") << TVisionRect{20, 20, 320, 360} << QStringList{"left QR"};
    QTest::newRow("right one") << TVisionRect{400, 100, 560, 200} << QStringList{"right-128"};
    QTest::newRow("right one, reaching beyond") << TVisionRect{400, 100, 9000, 9000} << QStringList{"right-128"};
    QTest::newRow("between them") << TVisionRect{330, 0, 60, 400} << QStringList{};
    QTest::newRow("outside the image") << TVisionRect{-500, -500, 100, 100} << QStringList{};
  }
  void rectangleSelectsBarcode() {
    QFETCH(TVisionRect, rect);
    QFETCH(QStringList, values);
    QImage canvas = WhiteCanvas(QSize(1000, 400));
    DrawBarcode(canvas, QPoint(60, 80), ZXing::BarcodeFormat::QRCode, "left QR", 240, 240);
    DrawBarcode(canvas, QPoint(440, 140), ZXing::BarcodeFormat::Code128, "right-128", 480, 120);
    QStringList read;
    for (const TRead &r : ReadBarcodes(canvas, rect))
      read << r.Value;
    QCOMPARE(read, values);
  }

  void barcodeListBounds() {
    TVisionLibrary lib = TVisionLibrary::Obtain();
    TVisionBarcodeList list =
        lib.CreateBarcodeScanner().Scan(lib.CreateImage(TextImage({"no barcode here"})), TVisionRect{});
    QCOMPARE(list.Count(), 0);
    EVisionError e = ExpectVisionError([&] { list.Item(0); });
    QCOMPARE(e.Status(), ZV_E_RANGE);
    e = ExpectVisionError([&] { list.Item(-1); });
    QCOMPARE(e.Status(), ZV_E_RANGE);
    e = ExpectVisionError([&] {
      lib.CreateBarcodeScanner().Scan(lib.CreateImage(WhiteCanvas(QSize(10, 10))), TVisionRect{0, 0, 5, -1});
    });
    QCOMPARE(e.Status(), ZV_E_INVALIDARG);
  }
};

int main(int argc, char **argv) {
  // Before the recognition engine is ever loaded, as the program does.
  setenv("OMP_THREAD_LIMIT", "1", 1);
  QGuiApplication app(argc, argv);
  TestVision test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_vision.moc"
