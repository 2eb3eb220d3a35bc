#include "uDeskFixture.h"
#include "uIEDocument.h"
#include "uImageEnVect.h"
#include "uImageFile.h"
#include "uRichViewEdit.h"
#include "uVisionService.h"

#define ZX_USE_UTF8 1
#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <cstdlib>

// Barcode reading in the workspace with the real plug-in: barcodes drawn by
// ZXing's writer into image files, read through the main window's command.

Q_DECLARE_METATYPE(ZXing::BarcodeFormat)
Q_DECLARE_METATYPE(QImage::Format)

namespace {

struct TCode {
  ZXing::BarcodeFormat Format;
  QString Value;
  QRect Place; // where it is drawn, at the writer's size for it
  QString Type;
};

// Black modules on white, at the code's place.
void DrawBarcode(QImage &canvas, const TCode &code) {
  ZXing::MultiFormatWriter writer(code.Format);
  writer.setEncoding(ZXing::CharacterSet::UTF8);
  writer.setMargin(0);
  const ZXing::BitMatrix matrix = writer.encode(code.Value.toStdString(), code.Place.width(), code.Place.height());
  QPainter p(&canvas);
  for (int y = 0; y < matrix.height(); ++y)
    for (int x = 0; x < matrix.width(); ++x)
      if (matrix.get(x, y))
        p.fillRect(code.Place.x() + x, code.Place.y() + y, 1, 1, Qt::black);
}

QString WriteCodes(const QString &path, QSize size, const QList<TCode> &codes) {
  QImage canvas(size, QImage::Format_RGB32);
  canvas.fill(Qt::white);
  for (const TCode &c : codes)
    DrawBarcode(canvas, c);
  QDir().mkpath(QFileInfo(path).absolutePath());
  WriteImageFile(path, canvas, 300, 300);
  return path;
}

QString Line(int number, const TCode &code) {
  return QStringLiteral("%1. type:%2;value:%3").arg(number).arg(code.Type, code.Value);
}

// Four symbologies on one page. (The scanner finds a Data Matrix symbol
// only when it is alone on the page.)
const TCode Qr{ZXing::BarcodeFormat::QRCode, QString::fromUtf8("https://example.org/Grüße?x=1"),
               QRect(60, 60, 240, 240), "QRCode"};
const TCode C128{ZXing::BarcodeFormat::Code128, "ZQ-2024/ab", QRect(420, 80, 480, 120), "Code128"};
const TCode Ean{ZXing::BarcodeFormat::EAN13, "4006381333931", QRect(420, 320, 300, 120), "EAN-13"};
const TCode Dm{ZXing::BarcodeFormat::DataMatrix, "Data Matrix 42", QRect(1000, 80, 200, 200), "DataMatrix"};
const TCode Pdf{ZXing::BarcodeFormat::PDF417, "PDF 417 text", QRect(780, 300, 480, 160), "PDF417"};
const QList<TCode> Page = {Qr, C128, Ean, Pdf};
const QSize PageSize(1300, 520);

// The result lines without their numbers; checks that they are numbered 1,
// 2, ... and that the text ends with the last line's break.
QStringList Unnumbered(const QString &text) {
  QStringList lines = text.split(u'\n');
  if (lines.isEmpty() || !lines.last().isEmpty())
    return {QStringLiteral("<no line break at the end>")};
  lines.removeLast();
  QStringList out;
  for (int i = 0; i < lines.size(); ++i) {
    const QString prefix = QStringLiteral("%1. ").arg(i + 1);
    out << (lines[i].startsWith(prefix) ? lines[i].mid(prefix.size()) : QStringLiteral("<misnumbered> ") + lines[i]);
  }
  return out;
}

} // namespace

class TestBarcode : public QObject {
  Q_OBJECT

private slots:
  void cleanup() { VisionLoaderTest::SetSystemSearch(true); }

  void absentPlugInIsReported() {
    // The plug-in loaded nowhere, as at the start of a run.
    QVERIFY(PlugInLoadedNowhere());
    TDeskFixture desk;
    QTemporaryDir empty;
    SetVisionSearchFolder(empty.path());
    VisionLoaderTest::SetSystemSearch(false);
    VisionLoaderTest::Reset();
    desk.Import({WriteCodes(desk.App.File("in/codes.png"), PageSize, {Qr})});
    desk.Run("actRec_Barcode");
    QCOMPARE(desk.Dialogs->Calls.size(), 1);
    QCOMPARE(desk.Dialogs->Calls[0].Kind, QStringLiteral("error-dialog"));
    QCOMPARE(desk.Dialogs->Calls[0].Text,
             QStringLiteral("An error was encountered processing this image. Ensure you are using the latest "
                            "version of the IEVision plug-in."));
    QVERIFY(desk.Fra()->rveResult->toPlainText().isEmpty());
    QCOMPARE(desk.Fra()->CurVT(), VBoth);
    QCOMPARE(VisionLoaderTest::LoadAttempts(), 1);
    // Back in its folder, the next reading loads it.
    SetVisionSearchFolder(BuiltAppDir());
    desk.Run("actRec_Barcode");
    QCOMPARE(desk.Dialogs->Calls.size(), 1);
    QCOMPARE(desk.Fra()->rveResult->toPlainText(), Line(1, Qr) + u'\n');
    VisionLoaderTest::Reset();
  }

  // One barcode of each kind: one numbered line with its type and value.
  void readsEachSymbology_data() {
    QTest::addColumn<ZXing::BarcodeFormat>("format");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("type");
    QTest::newRow("QR code") << Qr.Format << Qr.Value << Qr.Place.size() << Qr.Type;
    QTest::newRow("Code 128") << C128.Format << C128.Value << C128.Place.size() << C128.Type;
    QTest::newRow("EAN-13") << Ean.Format << Ean.Value << Ean.Place.size() << Ean.Type;
    QTest::newRow("Data Matrix") << Dm.Format << Dm.Value << Dm.Place.size() << Dm.Type;
    QTest::newRow("PDF417") << ZXing::BarcodeFormat::PDF417 << "PDF 417 text" << QSize(480, 160) << "PDF417";
    QTest::newRow("Code 39") << ZXing::BarcodeFormat::Code39 << "CODE39 ZQ" << QSize(480, 120) << "Code39";
    QTest::newRow("EAN-8") << ZXing::BarcodeFormat::EAN8 << "96385074" << QSize(240, 120) << "EAN-8";
  }
  void readsEachSymbology() {
    QFETCH(ZXing::BarcodeFormat, format);
    QFETCH(QString, value);
    QFETCH(QSize, size);
    QFETCH(QString, type);
    TDeskFixture desk;
    const TCode code{format, value, QRect(QPoint(100, 80), size), type};
    desk.Import({WriteCodes(desk.App.File("in/code.png"), QSize(800, 400), {code})});
    desk.Run("actRec_Barcode");
    QVERIFY2(desk.Dialogs->Calls.isEmpty(), qPrintable(desk.Dialogs->Calls.value(0).Text));
    QCOMPARE(desk.Fra()->rveResult->toPlainText(), Line(1, code) + u'\n');
    QCOMPARE(desk.Fra()->rveResult->GetItemStyle(0), 0);
    QCOMPARE(desk.Fra()->CurVT(), VBoth);
  }

  // The pixels as the file holds them: 1-bit, palette, grey, transparent paper.
  void readsEveryPixelFormat_data() {
    QTest::addColumn<QImage::Format>("format");
    QTest::newRow("1-bit") << QImage::Format_Mono;
    QTest::newRow("palette") << QImage::Format_Indexed8;
    QTest::newRow("grey") << QImage::Format_Grayscale8;
    QTest::newRow("transparent paper") << QImage::Format_ARGB32;
  }
  void readsEveryPixelFormat() {
    QFETCH(QImage::Format, format);
    TDeskFixture desk;
    QImage canvas(PageSize, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    DrawBarcode(canvas, Qr);
    DrawBarcode(canvas, C128);
    if (format == QImage::Format_ARGB32) {
      canvas = canvas.convertToFormat(QImage::Format_ARGB32);
      for (int y = 0; y < canvas.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(canvas.scanLine(y));
        for (int x = 0; x < canvas.width(); ++x)
          line[x] = qRgba(0, 0, 0, 255 - qGray(line[x]));
      }
    } else {
      canvas = canvas.convertToFormat(format, Qt::ThresholdDither);
    }
    const QString file = desk.App.File("in/codes.png");
    QDir().mkpath(QFileInfo(file).absolutePath());
    WriteImageFile(file, canvas);
    desk.Import({file});
    QCOMPARE(desk.Fra()->imgRaw->IEBitmap()->PixelFormat(), format);
    desk.Run("actRec_Barcode");
    QVERIFY2(desk.Dialogs->Calls.isEmpty(), qPrintable(desk.Dialogs->Calls.value(0).Text));
    QStringList read = Unnumbered(desk.Fra()->rveResult->toPlainText());
    read.sort();
    QCOMPARE(read, (QStringList{QStringLiteral("type:%1;value:%2").arg(C128.Type, C128.Value),
                                QStringLiteral("type:%1;value:%2").arg(Qr.Type, Qr.Value)}));
  }

  // Several symbologies on one page: a line each, numbered from 1, each
  // followed by a line break; no checkpoint.
  void readsSeveralNumbered() {
    TDeskFixture desk;
    desk.Import({WriteCodes(desk.App.File("in/codes.png"), PageSize, Page)});
    desk.Run("actRec_Barcode");
    QVERIFY2(desk.Dialogs->Calls.isEmpty(), qPrintable(desk.Dialogs->Calls.value(0).Text));
    QStringList read = Unnumbered(desk.Fra()->rveResult->toPlainText());
    QStringList expected;
    for (const TCode &c : Page)
      expected << QStringLiteral("type:%1;value:%2").arg(c.Type, c.Value);
    read.sort();
    expected.sort();
    QCOMPARE(read, expected);
    QCOMPARE(desk.Fra()->rveResult->CheckpointCount(), 0);
    // The image is left as it was.
    QCOMPARE(desk.Fra()->imgRaw->IEBitmap()->Image().size(), PageSize);
  }

  // A selection limits the scan, also with the view zoomed, where client
  // and bitmap coordinates differ.
  void selectionLimitsTheScan_data() {
    QTest::addColumn<QRect>("selection");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("the QR code") << QRect(30, 30, 300, 300) << 100.0 << QStringList{Line(1, Qr)};
    QTest::newRow("the QR code, zoomed out") << QRect(30, 30, 300, 300) << 37.0 << QStringList{Line(1, Qr)};
    QTest::newRow("Code 128, zoomed in") << QRect(400, 60, 520, 160) << 250.0 << QStringList{Line(1, C128)};
    QTest::newRow("PDF417, reaching beyond") << QRect(760, 280, 600, 300) << 100.0 << QStringList{Line(1, Pdf)};
    QTest::newRow("two of them") << QRect(400, 60, 520, 400) << 100.0 << QStringList{Line(1, C128), Line(2, Ean)};
    QTest::newRow("between them") << QRect(320, 20, 80, 480) << 100.0 << QStringList{};
  }
  void selectionLimitsTheScan() {
    QFETCH(QRect, selection);
    QFETCH(double, zoom);
    QFETCH(QStringList, lines);
    TDeskFixture desk;
    desk.Import({WriteCodes(desk.App.File("in/codes.png"), PageSize, Page)});
    desk.Fra()->imgRaw->SetZoom(zoom);
    desk.Fra()->imgRaw->Select(selection);
    desk.Run("actRec_Barcode");
    QVERIFY2(desk.Dialogs->Calls.isEmpty(), qPrintable(desk.Dialogs->Calls.value(0).Text));
    QCOMPARE(desk.Fra()->rveResult->toPlainText(), lines.isEmpty() ? QString() : lines.join(u'\n') + u'\n');
    QCOMPARE(desk.Fra()->imgRaw->SelectionBase(), iesbBitmap);
    QCOMPARE(desk.Fra()->imgRaw->SelectedRect(), selection.intersected(QRect(QPoint(), PageSize)));
  }

  // Each reading numbers from 1; the first line continues the document's
  // last paragraph, so after text without a line break it stands on its
  // last line.
  void eachReadingNumbersFromOne() {
    TDeskFixture desk;
    desk.Import({WriteCodes(desk.App.File("in/codes.png"), PageSize, {Qr, C128})});
    desk.Fra()->rveResult->AddText(QStringLiteral("recognised\ntext"), 0);
    desk.Run("actRec_Barcode");
    const QString after = desk.Fra()->rveResult->toPlainText();
    QVERIFY2(after.startsWith(QLatin1String("recognised\ntext1. type:")), qPrintable(after));
    const QString reading = after.mid(QStringLiteral("recognised\ntext").size());
    QCOMPARE(Unnumbered(reading).size(), 2);
    desk.Run("actRec_Barcode");
    QVERIFY2(desk.Dialogs->Calls.isEmpty(), qPrintable(desk.Dialogs->Calls.value(0).Text));
    QCOMPARE(desk.Fra()->rveResult->toPlainText(), after + reading);
  }

  // No barcode: nothing appended.
  void noBarcodeAppendsNothing() {
    TDeskFixture desk;
    QImage page(800, 300, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
      QPainter p(&page);
      QFont f(QStringLiteral("DejaVu Sans"));
      f.setPixelSize(40);
      p.setFont(f);
      p.drawText(40, 100, QStringLiteral("no barcode here"));
    }
    const QString file = desk.App.File("in/text.png");
    QDir().mkpath(QFileInfo(file).absolutePath());
    WriteImageFile(file, page);
    desk.Import({file});
    desk.Fra()->rveResult->AddText(QStringLiteral("kept"), 0);
    const int items = desk.Fra()->rveResult->ItemCount();
    desk.Run("actRec_Barcode");
    QVERIFY(desk.Dialogs->Calls.isEmpty());
    QCOMPARE(desk.Fra()->rveResult->toPlainText(), QStringLiteral("kept"));
    QCOMPARE(desk.Fra()->rveResult->ItemCount(), items);
    QCOMPARE(desk.Fra()->CurVT(), VBoth);
  }

  // A mask box over a barcode stays a box and does not hide it.
  void maskBoxDoesNotHideABarcode() {
    TDeskFixture desk;
    desk.Import({WriteCodes(desk.App.File("in/codes.png"), PageSize, {Qr})});
    desk.Run("actIE_Mask");
    desk.Fra()->imgRaw->AddNewBox(Qr.Place.adjusted(-10, -10, 10, 10));
    desk.Run("actRec_Barcode");
    QCOMPARE(desk.Fra()->rveResult->toPlainText(), Line(1, Qr) + u'\n');
    QCOMPARE(desk.Fra()->imgRaw->ObjectsCount(), 1);
  }
};

ZQ_RECOGNITION_TEST_MAIN(TestBarcode)

#include "tst_barcode.moc"
