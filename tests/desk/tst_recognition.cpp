#include "uBars.h"
#include "uBusyWork.h"
#include "uDeskFixture.h"
#include "uIEDocument.h"
#include "uImageEnVect.h"
#include "uImageFile.h"
#include "uLangText.h"
#include "uRecognitionBatch.h"
#include "uRichViewEdit.h"
#include "uStatusBar.h"
#include "uThumbListView.h"
#include "uVisionService.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdlib>

// Text recognition in the workspace with the real plug-in, Tesseract and the
// program folder's trained data: preparing the image, recognising it through
// the main window's commands and the workspace's operations, and every way a
// recognition can fail.

Q_DECLARE_METATYPE(QImage::Format)

namespace {

QFont PageFont() {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(28);
  return f;
}

// A white page with lines of words in DejaVu Sans, 28 pixels high, a line
// every 80 pixels; each word's box is returned in `boxes`.
QImage TextPage(QSize size, const QList<QStringList> &lines, QList<QRect> *boxes = nullptr) {
  QImage img(size, QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  p.setFont(PageFont());
  p.setPen(Qt::black);
  const QFontMetrics fm(p.font());
  int y = 70;
  for (const QStringList &line : lines) {
    int x = 40;
    for (const QString &word : line) {
      p.drawText(x, y, word);
      const QRect box(x - 4, y - fm.ascent() - 4, fm.horizontalAdvance(word) + 8, fm.height() + 8);
      if (boxes)
        boxes->append(box);
      x += fm.horizontalAdvance(word) + fm.horizontalAdvance(QStringLiteral("  "));
    }
    y += 80;
  }
  return img;
}

// Written with the resolution `dpi`; 0: the file records none.
QString WritePage(const QString &path, const QImage &img, int dpi = 300) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  WriteImageFile(path, img, dpi, dpi);
  return path;
}

QStringList Words(const QString &text) {
  static const QRegularExpression space(QStringLiteral("\\s+"));
  return text.split(space, Qt::SkipEmptyParts);
}

const QStringList EnglishWords = {"The", "quick", "brown", "fox", "jumps", "over", "the", "lazy", "dog"};
const QList<QStringList> EnglishLines = {{"The", "quick", "brown", "fox", "jumps"}, {"over", "the", "lazy", "dog"}};

// What the plug-in reads in the picture, asked directly.
QString PlugInText(const QString &folder, const QString &code, const QImage &img) {
  TVisionLibrary lib = TVisionLibrary::Obtain();
  TVisionOCR ocr = lib.CreateOCR(folder, code);
  ocr.SetMode(3);
  return ocr.Recognize(lib.CreateImage(img), TVisionRect{0, 0, img.width(), img.height()}).Text();
}

// The editor's text with its paragraphs as the plug-in's line feeds.
QString EditorText(TRichViewEdit *rve) { return rve->toPlainText(); }

QStringList CheckpointNames(TRichViewEdit *rve) {
  QStringList names;
  for (int i = 0; i < rve->CheckpointCount(); ++i)
    names << rve->GetCheckpointName(rve->GetCheckpoint(i));
  return names;
}

QString SelectedPath(TDeskFixture &desk) { return desk.List()->ImageFileName(desk.List()->SelectedImage()); }

// A real PNG picture cut in the middle of its pixel data: its header reads,
// its pixels do not.
QString WriteCutPng(const QString &path) {
  QImage noise(300, 200, QImage::Format_RGB32);
  for (int y = 0; y < noise.height(); ++y)
    for (int x = 0; x < noise.width(); ++x)
      noise.setPixel(x, y, qRgb((x * 37 + y * 11) & 255, (x * y) & 255, (x ^ y) & 255));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  noise.save(&buffer, "PNG");
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(png.left(png.size() / 2)) != png.size() / 2)
    qFatal("cannot write %s", qPrintable(path));
  return path;
}

// What a recognise-all batch leaves: the editor's text, its checkpoints,
// the messages shown in order, the current and the selected image.
struct TBatchOutcome {
  QString Text;
  QStringList Checkpoints;
  QStringList Messages;
  int Current = -1;
  QString Selected;
  bool operator==(const TBatchOutcome &) const = default;
};

QString Describe(const TBatchOutcome &o) {
  return QStringLiteral("text [%1] checkpoints [%2] messages [%3] current %4 selected %5")
      .arg(o.Text, o.Checkpoints.join(u','), o.Messages.join(u'|'))
      .arg(o.Current)
      .arg(o.Selected);
}

// Four pages of their own text; the scenario's change; then recognise all.
TBatchOutcome RunBatch(const QString &scenario, int workers) {
  TRecognitionBatch::SetWorkers(workers);
  TDeskFixture desk;
  const QList<QList<QStringList>> texts = {{{"Alpha", "one"}, {"first", "page"}},
                                           {{"Bravo", "two"}, {"second", "page"}},
                                           {{"Charlie", "three"}, {"third", "page"}},
                                           {{"Delta", "four"}, {"fourth", "page"}}};
  QStringList files;
  QList<QRect> boxes;
  for (int i = 0; i < texts.size(); ++i)
    files << WritePage(desk.App.File(QStringLiteral("in/%1.png").arg(i)),
                       TextPage(QSize(700, 200), texts[i], i == 0 ? &boxes : nullptr));
  desk.Import(files);
  desk.Main->barItemLang->SetEditValue(QStringLiteral("English"));
  if (scenario == "deleted file") {
    QFile::remove(files[1]);
  } else if (scenario == "current image edited") {
    // The first image, current, with a mask over its first word, not saved.
    desk.Fra()->imgRaw->AddNewBox(boxes[0]);
  } else if (scenario == "current image with a selection") {
    desk.Fra()->imgRaw->Select(QRect(0, 0, 700, 100));
  } else if (scenario == "file changed after the import") {
    WritePage(files[3], TextPage(QSize(700, 200), {{"Echo", "five"}}));
  } else if (scenario == "missing trained data") {
    QFile::remove(desk.App.File("ocrlangs/eng.traineddata"));
  } else if (scenario == "memory for one job at a time") {
    TRecognitionBatch::SetMemoryBudget(1);
  }
  desk.Run("actRec_All");
  TRecognitionBatch::SetMemoryBudget(0);
  TBatchOutcome o;
  o.Text = EditorText(desk.Fra()->rveResult);
  o.Checkpoints = CheckpointNames(desk.Fra()->rveResult);
  for (const auto &call : desk.Dialogs->Calls)
    o.Messages << call.Kind + u':' + call.Text;
  o.Current = desk.Fra()->CurIdx();
  o.Selected = SelectedPath(desk).section(u'/', -1);
  for (QString &c : o.Checkpoints)
    c = c.section(u'/', -1);
  TRecognitionBatch::SetWorkers(-1);
  return o;
}

} // namespace

class TestRecognition : public QObject {
  Q_OBJECT

private slots:
  void cleanup() {
    // Whatever happened, the busy cursor is gone.
    QVERIFY(!QGuiApplication::overrideCursor());
    VisionLoaderTest::SetSystemSearch(true);
  }

  void missingTrainedDataLeavesThePlugInAlone() {
    QVERIFY(PlugInLoadedNowhere());
    TDeskFixture desk;
    VisionLoaderTest::Reset();
    const QString file = WritePage(desk.App.File("in/a.png"), TextPage(QSize(400, 120), {{"word"}}));
    desk.Import({file});
    QVERIFY(QFile::remove(desk.App.File("ocrlangs/fra.traineddata")));
    desk.Main->barItemLang->SetEditValue(QStringLiteral("French"));
    desk.Run("actRec_Sel");
    QCOMPARE(desk.Dialogs->Calls.size(), 1);
    QCOMPARE(desk.Dialogs->Calls[0].Kind, QStringLiteral("box"));
    QCOMPARE(desk.Dialogs->Calls[0].Text, GetLangText(QStringLiteral("info_nonLangFile")));
    QCOMPARE(desk.Dialogs->Calls[0].Flags, unsigned(MB_ICONERROR));
    QCOMPARE(desk.Fra()->rveResult->CheckpointCount(), 0);
    QVERIFY(EditorText(desk.Fra()->rveResult).isEmpty());
    // The image was prepared all the same.
    QCOMPARE(desk.Fra()->imgTemp->IEBitmap()->Width(), 1200);
    QCOMPARE(desk.Fra()->CurVT(), VBoth);
    QCOMPARE(VisionLoaderTest::LoadAttempts(), 0);
    QVERIFY(VisionPluginFile().isEmpty());
  }

  void absentPlugInIsReportedAndTriedAgain() {
    QVERIFY(PlugInLoadedNowhere());
    TDeskFixture desk;
    QTemporaryDir empty;
    SetVisionSearchFolder(empty.path());
    VisionLoaderTest::SetSystemSearch(false);
    VisionLoaderTest::Reset();
    const QString file = WritePage(desk.App.File("in/a.png"), TextPage(QSize(900, 200), EnglishLines));
    desk.Import({file});
    desk.Main->barItemLang->SetEditValue(QStringLiteral("English"));
    for (int attempt = 1; attempt <= 2; ++attempt) {
      desk.Run("actRec_Sel");
      QCOMPARE(desk.Dialogs->Calls.size(), attempt);
      QCOMPARE(desk.Dialogs->Calls.last().Kind, QStringLiteral("error-dialog"));
      QCOMPARE(desk.Dialogs->Calls.last().Text,
               QStringLiteral("An error was encountered processing this image. Ensure you are using the latest "
                              "version of the IEVision plug-in."));
      QCOMPARE(VisionLoaderTest::LoadAttempts(), attempt);
      QCOMPARE(desk.Fra()->rveResult->CheckpointCount(), 0);
      QVERIFY(EditorText(desk.Fra()->rveResult).isEmpty());
      QCOMPARE(desk.Fra()->CurVT(), VBoth);
    }
    // The plug-in is back: the next attempt loads it and recognises.
    SetVisionSearchFolder(BuiltAppDir());
    desk.Run("actRec_Sel");
    QCOMPARE(desk.Dialogs->Calls.size(), 2);
    QCOMPARE(VisionPluginFile(), BuiltAppDir() + QStringLiteral("libzvision.so"));
    QCOMPARE(Words(EditorText(desk.Fra()->rveResult)), EnglishWords);
    VisionLoaderTest::Reset();
  }

  // Through the main window with the picker set to the language: the text
  // as the plug-in gives it, under a checkpoint named with the thumbnail's
  // path, both panes shown.
  void recognisesInTheChosenLanguage_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QList<QStringList>>("lines");
    QTest::newRow("English") << "English"
                             << "eng" << EnglishLines;
    QTest::newRow("German") << "German"
                            << "deu"
                            << QList<QStringList>{{"Größere", "Äpfel", "über"}, {"schöne", "Übungen", "für", "Köln"}};
  }
  void recognisesInTheChosenLanguage() {
    QFETCH(QString, language);
    QFETCH(QString, code);
    QFETCH(QList<QStringList>, lines);
    TDeskFixture desk;
    const QImage page = TextPage(QSize(900, 200), lines);
    const QString other = WritePage(desk.App.File("in/other.png"), TextPage(QSize(300, 100), {{"other"}}));
    const QString file = WritePage(desk.App.File("in/page.png"), page);
    desk.Import({other, file});
    desk.List()->SelectByUser(1); // a click on the thumbnail
    QCOMPARE(SelectedPath(desk), file);
    desk.Main->barItemLang->SetEditValue(language);
    desk.Run("actRec_Sel");
    QVERIFY2(desk.Dialogs->Calls.isEmpty(), qPrintable(desk.Dialogs->Calls.value(0).Text));
    QStringList expected;
    for (const QStringList &l : lines)
      expected += l;
    TRichViewEdit *rve = desk.Fra()->rveResult;
    QCOMPARE(Words(EditorText(rve)), expected);
    // Appended as the plug-in gives it: one paragraph per line feed.
    const QImage enlarged = desk.Fra()->imgTemp->IEBitmap()->Image();
    QCOMPARE(enlarged.size(), page.size() * 3);
    QCOMPARE(EditorText(rve), PlugInText(desk.App.File("ocrlangs/"), code, enlarged));
    QCOMPARE(CheckpointNames(rve), QStringList{file});
    QCOMPARE(rve->GetCheckpointPos(rve->GetCheckpoint(0)), 0);
    QCOMPARE(rve->GetItemStyle(0), 0);
    QCOMPARE(desk.Fra()->CurVT(), VBoth);
  }

  // The workspace's operation on its own; the name in any letter case.
  void recognisesByTheLanguagesName_data() {
    QTest::addColumn<QString>("language");
    QTest::newRow("as listed") << "German";
    QTest::newRow("small letters") << "german";
    QTest::newRow("mixed") << "gERMan";
  }
  void recognisesByTheLanguagesName() {
    QFETCH(QString, language);
    TDeskFixture desk;
    const QString file =
        WritePage(desk.App.File("in/de.png"), TextPage(QSize(700, 120), {{"Übung", "macht", "Größe"}}));
    desk.Fra()->ShowImage(desk.Fra()->AddImageFile(file));
    desk.Fra()->OCR(language);
    QVERIFY2(desk.Dialogs->Calls.isEmpty(), qPrintable(desk.Dialogs->Calls.value(0).Text));
    QCOMPARE(Words(EditorText(desk.Fra()->rveResult)), (QStringList{"Übung", "macht", "Größe"}));
    QCOMPARE(CheckpointNames(desk.Fra()->rveResult), QStringList{file});
    // The operation leaves the view to its caller.
    QCOMPARE(desk.Fra()->CurVT(), VImage);
  }

  // With no thumbnail selected the checkpoint's name is empty.
  void withoutSelectedThumbnailTheNameIsEmpty() {
    TDeskFixture desk;
    const QString file = WritePage(desk.App.File("in/a.png"), TextPage(QSize(900, 200), EnglishLines));
    desk.Fra()->ShowImage(desk.Fra()->AddImageFile(file));
    desk.List()->SetSelectedImage(-1);
    desk.Fra()->OCR(QStringLiteral("English"));
    QVERIFY(desk.Dialogs->Calls.isEmpty());
    QCOMPARE(CheckpointNames(desk.Fra()->rveResult), QStringList{QString()});
    QCOMPARE(Words(EditorText(desk.Fra()->rveResult)), EnglishWords);
  }

  // Resolution rule: below 900 dpi (none recorded counts as 300) the copy
  // is enlarged exactly three times; 900 and above keep their size.
  void enlargesBelow900Dpi_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("readDpi");
    QTest::addColumn<bool>("enlarged");
    QTest::newRow("png 96") << "a.png" << 96 << 96 << true;
    QTest::newRow("png 300") << "a.png" << 300 << 300 << true;
    QTest::newRow("png 600") << "a.png" << 600 << 600 << true;
    QTest::newRow("png 899") << "a.png" << 899 << 899 << true;
    QTest::newRow("png none") << "a.png" << 0 << 300 << true;
    QTest::newRow("png 900") << "a.png" << 900 << 900 << false;
    QTest::newRow("png 1200") << "a.png" << 1200 << 1200 << false;
    QTest::newRow("jpeg 600") << "a.jpg" << 600 << 600 << true;
    QTest::newRow("jpeg none") << "a.jpg" << 0 << 300 << true;
    QTest::newRow("jpeg 1200") << "a.jpg" << 1200 << 1200 << false;
    QTest::newRow("tiff 96") << "a.tif" << 96 << 96 << true;
    QTest::newRow("tiff none") << "a.tif" << 0 << 300 << true;
    QTest::newRow("tiff 900") << "a.tif" << 900 << 900 << false;
    QTest::newRow("bmp none") << "a.bmp" << 0 << 300 << true;
    QTest::newRow("bmp 1200") << "a.bmp" << 1200 << 1200 << false;
  }
  void enlargesBelow900Dpi() {
    QFETCH(QString, name);
    QFETCH(int, dpi);
    QFETCH(int, readDpi);
    QFETCH(bool, enlarged);
    TDeskFixture desk;
    QImage img(201, 123, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter(&img).fillRect(QRect(60, 40, 50, 30), Qt::black);
    const QString file = WritePage(desk.App.File("in/" + name), img, dpi);
    QCOMPARE(RecordedDpiX(file), dpi);
    desk.Fra()->ShowImage(desk.Fra()->AddImageFile(file));
    QCOMPARE(desk.Fra()->GetDPI(), readDpi);
    desk.Fra()->SetOCRImage();
    const QImage prepared = desk.Fra()->imgTemp->IEBitmap()->Image();
    const int k = enlarged ? 3 : 1;
    QCOMPARE(prepared.size(), img.size() * k);
    // The picture is the same one, only larger: ink inside, paper outside.
    for (const QPoint &ink : {QPoint(61, 41), QPoint(85, 55), QPoint(108, 68)})
      QVERIFY(qGray(prepared.pixel(ink * k)) < 60);
    for (const QPoint &paper : {QPoint(5, 5), QPoint(55, 55), QPoint(115, 55), QPoint(85, 80), QPoint(200, 122)})
      QVERIFY(qGray(prepared.pixel(paper * k)) > 200);
    // The source view is left as it was.
    QCOMPARE(desk.Fra()->imgRaw->IEBitmap()->Image().size(), img.size());
    QCOMPARE(desk.Fra()->imgTemp->ObjectsCount(), 0);
    QVERIFY(!desk.Fra()->imgTemp->Selected());
  }

  // Every kind of pixel a file may hold is enlarged and recognised alike.
  void recognisesEveryPixelFormat_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QImage::Format>("format");
    QTest::newRow("1-bit png") << "a.png" << QImage::Format_Mono;
    QTest::newRow("1-bit tiff") << "a.tif" << QImage::Format_Mono;
    QTest::newRow("palette png") << "a.png" << QImage::Format_Indexed8;
    QTest::newRow("grey png") << "a.png" << QImage::Format_Grayscale8;
    QTest::newRow("16-bit grey png") << "a.png" << QImage::Format_Grayscale16;
    QTest::newRow("24-bit bmp") << "a.bmp" << QImage::Format_RGB888;
    QTest::newRow("transparent paper png") << "a.png" << QImage::Format_ARGB32;
    QTest::newRow("jpeg") << "a.jpg" << QImage::Format_RGB32;
  }
  void recognisesEveryPixelFormat() {
    QFETCH(QString, name);
    QFETCH(QImage::Format, format);
    TDeskFixture desk;
    QImage page = TextPage(QSize(900, 200), EnglishLines);
    if (format == QImage::Format_ARGB32) {
      page = page.convertToFormat(QImage::Format_ARGB32);
      for (int y = 0; y < page.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(page.scanLine(y));
        for (int x = 0; x < page.width(); ++x)
          line[x] = qRgba(0, 0, 0, 255 - qGray(line[x])); // black ink on transparent paper
      }
    } else {
      page = page.convertToFormat(format, Qt::ThresholdDither);
    }
    const QString file = WritePage(desk.App.File("in/" + name), page);
    desk.Import({file});
    desk.Fra()->OCR(QStringLiteral("English"));
    QVERIFY2(desk.Dialogs->Calls.isEmpty(), qPrintable(desk.Dialogs->Calls.value(0).Text));
    QCOMPARE(desk.Fra()->imgTemp->IEBitmap()->Image().size(), page.size() * 3);
    QCOMPARE(Words(EditorText(desk.Fra()->rveResult)), EnglishWords);
  }

  // A selection: only its rectangle goes to recognition, enlarged.
  void selectionRecognisesOnlyItsRectangle() {
    TDeskFixture desk;
    QList<QRect> boxes;
    const QImage page =
        TextPage(QSize(900, 200), {{"Alpha", "Bravo", "Charlie"}, {"Delta", "Echo", "Foxtrot"}}, &boxes);
    const QString file = WritePage(desk.App.File("in/p.png"), page);
    desk.Import({file});
    const QRect second = boxes[3].united(boxes[5]).adjusted(-10, -6, 10, 6);
    desk.Fra()->imgRaw->Select(second);
    desk.Main->barItemLang->SetEditValue(QStringLiteral("English"));
    desk.Run("actRec_Sel");
    QVERIFY2(desk.Dialogs->Calls.isEmpty(), qPrintable(desk.Dialogs->Calls.value(0).Text));
    QCOMPARE(Words(EditorText(desk.Fra()->rveResult)), (QStringList{"Delta", "Echo", "Foxtrot"}));
    QCOMPARE(desk.Fra()->imgTemp->IEBitmap()->Image().size(), second.size() * 3);
    QCOMPARE(desk.Fra()->imgRaw->SelectedRect(), second);
    // Without the selection the whole page, appended as it comes.
    const QString before = EditorText(desk.Fra()->rveResult);
    desk.Fra()->imgRaw->DeSelect();
    desk.Run("actRec_Sel");
    const QImage whole = desk.Fra()->imgTemp->IEBitmap()->Image();
    QCOMPARE(whole.size(), page.size() * 3);
    const QString text = PlugInText(desk.App.File("ocrlangs/"), QStringLiteral("eng"), whole);
    QCOMPARE(Words(text), (QStringList{"Alpha", "Bravo", "Charlie", "Delta", "Echo", "Foxtrot"}));
    QCOMPARE(EditorText(desk.Fra()->rveResult), before + text);
  }

  // Mask boxes cover text for the recognition and are pixels afterwards.
  void maskBoxesCoverText() {
    TDeskFixture desk;
    QList<QRect> boxes;
    const QImage page = TextPage(QSize(900, 120), {{"Alpha", "Bravo", "Charlie"}}, &boxes);
    const QString file = WritePage(desk.App.File("in/m.png"), page);
    desk.Import({file});
    desk.Run("actIE_Mask");
    QCOMPARE(desk.Fra()->CurState(), esDrawRactangle);
    desk.Fra()->imgRaw->AddNewBox(boxes[1]);
    QCOMPARE(desk.Fra()->imgRaw->ObjectsCount(), 1);
    desk.Main->barItemLang->SetEditValue(QStringLiteral("English"));
    desk.Run("actRec_Sel");
    QVERIFY2(desk.Dialogs->Calls.isEmpty(), qPrintable(desk.Dialogs->Calls.value(0).Text));
    QCOMPARE(Words(EditorText(desk.Fra()->rveResult)), (QStringList{"Alpha", "Charlie"}));
    QCOMPARE(desk.Fra()->imgRaw->ObjectsCount(), 0);
    const QImage raw = desk.Fra()->imgRaw->IEBitmap()->Image();
    for (int y = boxes[1].top(); y <= boxes[1].bottom(); ++y)
      for (int x = boxes[1].left(); x <= boxes[1].right(); ++x)
        QCOMPARE(raw.pixel(x, y) & 0xFFFFFF, 0xFFFFFFu);
    // The file keeps its text.
    const QImage onDisk = ReadImageFile(file);
    bool ink = false;
    for (int x = boxes[1].left(); x <= boxes[1].right() && !ink; ++x)
      ink = qGray(onDisk.pixel(x, boxes[1].center().y())) < 100;
    QVERIFY(ink);
  }

  // Where three times would pass the picture limit or the engine's largest
  // side, the largest enlargement that fits: the page is recognised, with
  // no message. A selection of such a page that fits is enlarged three
  // times.
  void enlargesWithinTheLimits_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QSize>("recognisedAt");
    QTest::newRow("600-dpi A4 page") << QSize(4960, 7016) << 600 << QSize(13294, 18805);
    QTest::newRow("wide banner") << QSize(11000, 200) << 300 << QSize(32767, 595);
  }
  void enlargesWithinTheLimits() {
    QFETCH(QSize, size);
    QFETCH(int, dpi);
    QFETCH(QSize, recognisedAt);
    TDeskFixture desk;
    const QImage page = TextPage(size, EnglishLines).convertToFormat(QImage::Format_Grayscale8);
    const QString file = WritePage(desk.App.File("in/big.png"), page, dpi);
    desk.Import({file});
    desk.Main->barItemLang->SetEditValue(QStringLiteral("English"));
    desk.Run("actRec_Sel");
    QCOMPARE(desk.Dialogs->Calls.size(), 0);
    QCOMPARE(desk.Fra()->imgTemp->IEBitmap()->Image().size(), recognisedAt);
    QCOMPARE(Words(EditorText(desk.Fra()->rveResult)), EnglishWords);
    QCOMPARE(CheckpointNames(desk.Fra()->rveResult), QStringList{file});
    desk.Fra()->imgRaw->Select(QRect(0, 0, 1000, 150));
    desk.Fra()->SetOCRImage();
    QCOMPARE(desk.Fra()->imgTemp->IEBitmap()->Image().size(), QSize(3000, 450));
  }

  // The trained-data path of a name the table lacks, or of the empty name,
  // is the folder followed by ".traineddata".
  void unknownNameLooksForTheBareExtension_data() {
    QTest::addColumn<QString>("language");
    QTest::newRow("unknown") << "Klingon";
    QTest::newRow("in its own language") << "Deutsch";
    QTest::newRow("empty picker") << "";
  }
  void unknownNameLooksForTheBareExtension() {
    QFETCH(QString, language);
    TDeskFixture desk;
    const QString file = WritePage(desk.App.File("in/a.png"), TextPage(QSize(400, 120), {{"word"}}));
    desk.Import({file});
    desk.Fra()->OCR(language);
    QCOMPARE(desk.Dialogs->Calls.size(), 1);
    QCOMPARE(desk.Dialogs->Calls[0].Text, GetLangText(QStringLiteral("info_nonLangFile")));
    // With such a file the plug-in is asked, and refuses the empty code.
    QVERIFY(QFile::link(desk.App.File("ocrlangs/eng.traineddata"), desk.App.File("ocrlangs/.traineddata")));
    desk.Fra()->OCR(language);
    QCOMPARE(desk.Dialogs->Calls.size(), 2);
    QCOMPARE(desk.Dialogs->Calls[1].Kind, QStringLiteral("error-dialog"));
    QVERIFY2(desk.Dialogs->Calls[1].Text.startsWith(QLatin1String(VisionErrorPrefix)),
             qPrintable(desk.Dialogs->Calls[1].Text));
    QCOMPARE(desk.Fra()->rveResult->CheckpointCount(), 0);
  }

  // A damaged trained-data file: the second fixed message with the reason,
  // nothing appended, and the next recognition works.
  void corruptTrainedDataIsReported_data() {
    QTest::addColumn<QByteArray>("content");
    QByteArray noise(200000, '\0');
    QRandomGenerator gen(7);
    for (char &c : noise)
      c = char(gen.bounded(256));
    QFile real(BuiltAppDir() + QStringLiteral("ocrlangs/deu.traineddata"));
    QVERIFY(real.open(QIODevice::ReadOnly));
    const QByteArray whole = real.readAll();
    QByteArray flipped = whole;
    for (qsizetype i = whole.size() / 3; i < whole.size(); i += 97)
      flipped[i] = char(~flipped[i]);
    QTest::newRow("noise") << noise;
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("cut short") << whole.left(whole.size() / 2);
    QTest::newRow("bytes flipped") << flipped;
  }
  void corruptTrainedDataIsReported() {
    QFETCH(QByteArray, content);
    TDeskFixture desk;
    QVERIFY(QFile::remove(desk.App.File("ocrlangs/deu.traineddata")));
    desk.App.Write("ocrlangs/deu.traineddata", content);
    const QString file = WritePage(desk.App.File("in/a.png"), TextPage(QSize(900, 200), EnglishLines));
    desk.Import({file});
    desk.Main->barItemLang->SetEditValue(QStringLiteral("German"));
    desk.Run("actRec_Sel");
    QCOMPARE(desk.Dialogs->Calls.size(), 1);
    QCOMPARE(desk.Dialogs->Calls[0].Kind, QStringLiteral("error-dialog"));
    const QString text = desk.Dialogs->Calls[0].Text;
    QVERIFY2(text.startsWith(QLatin1String(VisionErrorPrefix)) && text.size() > int(strlen(VisionErrorPrefix)),
             qPrintable(text));
    QCOMPARE(desk.Fra()->rveResult->CheckpointCount(), 0);
    QVERIFY(EditorText(desk.Fra()->rveResult).isEmpty());
    desk.Main->barItemLang->SetEditValue(QStringLiteral("English"));
    desk.Run("actRec_Sel");
    QCOMPARE(desk.Dialogs->Calls.size(), 1);
    QCOMPARE(Words(EditorText(desk.Fra()->rveResult)), EnglishWords);
  }

  // Recognise all with workers ahead leaves exactly what the serial command
  // leaves, in every case the serial command treats on its own.
  void batchAheadEqualsSerial_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<bool>("jobsUsed");
    QTest::newRow("plain") << "plain" << true;
    QTest::newRow("deleted file") << "deleted file" << true;
    QTest::newRow("current image edited") << "current image edited" << true;
    QTest::newRow("current image with a selection") << "current image with a selection" << true;
    QTest::newRow("file changed after the import") << "file changed after the import" << true;
    QTest::newRow("missing trained data") << "missing trained data" << false;
    QTest::newRow("memory for one job at a time") << "memory for one job at a time" << true;
  }
  void batchAheadEqualsSerial() {
    QFETCH(QString, scenario);
    QFETCH(bool, jobsUsed);
    const TBatchOutcome serial = RunBatch(scenario, 0);
    const int used = TRecognitionBatch::UsedJobs();
    const TBatchOutcome ahead = RunBatch(scenario, 4);
    QVERIFY2(ahead == serial, qPrintable(Describe(ahead) + QStringLiteral("\n") + Describe(serial)));
    QCOMPARE(TRecognitionBatch::UsedJobs() > used, jobsUsed);
    QCOMPARE(serial.Checkpoints.size(), scenario == "missing trained data" ? 0 : 4);
    // Never more jobs at once than workers, nor than the memory holds (one
    // always runs).
    if (jobsUsed)
      QVERIFY2(TRecognitionBatch::PeakJobs() >= 1 &&
                   TRecognitionBatch::PeakJobs() <= (scenario == "memory for one job at a time" ? 1 : 4),
               qPrintable(QString::number(TRecognitionBatch::PeakJobs())));
  }

  // While a recognition runs the window takes no input and no second
  // command starts (not from an action, a shortcut or a hotkey); the busy
  // cursor shows, and the status line the progress.
  void secondCommandIsRefusedWhileOneRuns() {
    TDeskFixture desk;
    const QString file =
        WritePage(desk.App.File("in/a.png"),
                  TextPage(QSize(1400, 600), {EnglishWords, EnglishWords, EnglishWords, EnglishWords}));
    desk.Import({file});
    desk.Main->barItemLang->SetEditValue(QStringLiteral("English"));
    bool tried = false;
    QStringList status;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (!TBusyWork::Active())
        return;
      status << desk.Main->rbnStatusMain->PanelText(1);
      if (tried)
        return;
      tried = true;
      QVERIFY(QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor);
      desk.Run("actRec_Sel");
      desk.Run("actRec_All");
      desk.Run("actRec_Barcode");
      desk.Run("actSrc_ClearAll");
      desk.Main->WMHotKey(desk.Main->IdCapture());
      QTest::keyClicks(desk.Fra()->rveResult, QStringLiteral("typed"));
      QTest::mouseClick(desk.Fra()->imgMViewList->viewport(), Qt::LeftButton);
    });
    poll.start(30);
    desk.Run("actRec_Sel");
    poll.stop();
    QVERIFY(tried);
    QVERIFY2(desk.Dialogs->Calls.isEmpty(), qPrintable(desk.Dialogs->Calls.value(0).Text));
    QCOMPARE(desk.Fra()->rveResult->CheckpointCount(), 1);
    QVERIFY(!EditorText(desk.Fra()->rveResult).contains(QStringLiteral("typed")));
    QCOMPARE(desk.List()->ImageCount(), 1);
    QCOMPARE(desk.Main->MyPattern(), osNormal);
    QVERIFY(!TBusyWork::Active());
    const QString prefix = GetLangText(QStringLiteral("info_recProgress")).section(u'%', 0, 0);
    QVERIFY2(!status.isEmpty() && status.first().startsWith(prefix), qPrintable(status.join(u'|')));
    QCOMPARE(desk.Main->rbnStatusMain->PanelText(1), QString());
    // Afterwards commands run again.
    desk.Run("actRec_Barcode");
    QVERIFY(desk.Dialogs->Calls.isEmpty());
  }

  // The plug-in file of the program folder cut short: the first fixed text
  // for recognition and barcodes; the program, its list and its result go
  // on.
  void truncatedPlugInIsReported() {
    TDeskFixture desk;
    const QString file = WritePage(desk.App.File("in/a.png"), TextPage(QSize(900, 200), EnglishLines));
    desk.Import({file});
    desk.Main->barItemLang->SetEditValue(QStringLiteral("English"));
    desk.Run("actRec_Sel");
    const QString before = EditorText(desk.Fra()->rveResult);
    QCOMPARE(Words(before), EnglishWords);
    QFile plugin(BuiltAppDir() + QStringLiteral("libzvision.so"));
    QVERIFY(plugin.open(QIODevice::ReadOnly));
    desk.App.Write("libzvision.so", plugin.read(40000));
    QVERIFY(
        QFile::copy(BuiltAppDir() + QLatin1String(VisionHelperName), desk.App.File(QLatin1String(VisionHelperName))));
    SetVisionSearchFolder(desk.App.Path());
    VisionLoaderTest::SetSystemSearch(false);
    for (const char *command : {"actRec_Sel", "actRec_Barcode", "actRec_All"}) {
      desk.Dialogs->Calls.clear();
      desk.Run(command);
      QCOMPARE(desk.Dialogs->Calls.size(), 1);
      QCOMPARE(desk.Dialogs->Calls[0].Kind, QStringLiteral("error-dialog"));
      QCOMPARE(desk.Dialogs->Calls[0].Text, QString::fromLatin1(VisionUnavailableText));
      QCOMPARE(EditorText(desk.Fra()->rveResult), before);
      QCOMPARE(desk.List()->ImageCount(), 1);
    }
  }

  // A batch over three images of which the second is gone from disk: one
  // "error_nonFile" box, the first image recognised once more in its place,
  // the batch goes on.
  void batchGoesOnPastAMissingFile() {
    TDeskFixture desk;
    const QString a = WritePage(desk.App.File("in/a.png"), TextPage(QSize(600, 120), {{"Alpha", "one"}}));
    const QString b = WritePage(desk.App.File("in/b.png"), TextPage(QSize(600, 120), {{"Bravo", "two"}}));
    const QString c = WritePage(desk.App.File("in/c.png"), TextPage(QSize(600, 120), {{"Charlie", "three"}}));
    desk.Import({a, b, c});
    QVERIFY(QFile::remove(b));
    int changes = 0;
    const TChangeCurItem main = desk.Fra()->OnChangeCurItem();
    desk.Fra()->SetOnChangeCurItem([&] {
      ++changes;
      main();
    });
    desk.Main->barItemLang->SetEditValue(QStringLiteral("English"));
    desk.Run("actRec_All");
    QCOMPARE(desk.Dialogs->Calls.size(), 1);
    QCOMPARE(desk.Dialogs->Calls[0].Text, GetLangText(QStringLiteral("error_nonFile")));
    QCOMPARE(CheckpointNames(desk.Fra()->rveResult), (QStringList{a, a, c}));
    QCOMPARE(Words(EditorText(desk.Fra()->rveResult)),
             (QStringList{"Alpha", "one", "Alpha", "one", "Charlie", "three"}));
    QCOMPARE(desk.Fra()->CurIdx(), 2);
    QCOMPARE(SelectedPath(desk), c);
    QCOMPARE(changes, 1); // the first image was current already
    QCOMPARE(desk.Fra()->CurVT(), VBoth);
  }

  // Recognition and barcode reading act on the picture that the editor
  // shows: with none shown (its file could not be read, the list was
  // cleared) they append nothing, show nothing and leave the plug-in alone.
  void nothingShownIsNeitherRecognisedNorRead_data() {
    QTest::addColumn<QString>("step");
    QTest::addColumn<bool>("shown");
    QTest::newRow("image shown") << "import a.png" << true;
    QTest::newRow("truncated PNG imported") << "import cut.png" << false;
    QTest::newRow("damaged thumbnail clicked") << "click cut.png" << false;
    QTest::newRow("removal, the next entry damaged") << "remove" << false;
    QTest::newRow("first chosen file gone") << "import gone.png" << false;
    QTest::newRow("list cleared") << "clear" << false;
  }
  void nothingShownIsNeitherRecognisedNorRead() {
    QFETCH(QString, step);
    QFETCH(bool, shown);
    TDeskFixture desk;
    const QString a = WritePage(desk.App.File("in/a.png"), TextPage(QSize(900, 200), EnglishLines));
    const QString b = WritePage(desk.App.File("in/b.png"), TextPage(QSize(600, 120), {{"Bravo"}}));
    const QString cut = WriteCutPng(desk.App.File("in/cut.png"));
    const QString gone = desk.App.File("in/gone.png");
    auto import = [&desk](const QStringList &files) {
      desk.Dialogs->OpenAnswers = {files};
      desk.Run("actSrc_ImportFiles");
    };
    if (step == QLatin1String("import a.png")) {
      import({a});
    } else if (step == QLatin1String("import cut.png")) {
      import({cut});
    } else if (step == QLatin1String("click cut.png")) {
      import({a, cut});
      desk.List()->SelectByUser(1);
    } else if (step == QLatin1String("remove")) {
      import({a, b, cut});
      desk.List()->SelectByUser(1);
      desk.Dialogs->BoxAnswers = {IDYES};
      desk.Run("actSrc_RemoveSel");
      QCOMPARE(SelectedPath(desk), cut);
    } else if (step == QLatin1String("import gone.png")) {
      import({gone, a});
    } else {
      import({a});
      desk.Dialogs->BoxAnswers = {IDYES};
      desk.Run("actSrc_ClearAll");
    }
    QCOMPARE(desk.Fra()->CurIdx(), shown ? 0 : -1);
    desk.Dialogs->Calls.clear();
    VisionServiceTest::StopIdleHelpers();
    const int started = VisionServiceTest::HelpersStarted();
    desk.Fra()->OCR(QStringLiteral("English"));
    desk.Fra()->BarcodeDetect();
    QVERIFY2(desk.Dialogs->Calls.isEmpty(), qPrintable(desk.Dialogs->Calls.value(0).Text));
    TRichViewEdit *rve = desk.Fra()->rveResult;
    if (shown) {
      QCOMPARE(CheckpointNames(rve), QStringList{a});
      QCOMPARE(Words(EditorText(rve)), EnglishWords);
      QVERIFY(VisionServiceTest::HelpersStarted() > started);
    } else {
      QCOMPARE(rve->CheckpointCount(), 0);
      QVERIFY(EditorText(rve).isEmpty());
      QCOMPARE(VisionServiceTest::HelpersStarted(), started);
    }
  }

  // Recognise all over images that cannot all be shown, with and without
  // workers ahead: a picture that cannot be read ends the batch with the
  // message that names it; a file gone is reported and the picture shown
  // before is recognised in its place, and when none was shown that step
  // recognises nothing.
  void batchOverImagesThatCannotBeShown_data() {
    QTest::addColumn<QStringList>("files");       // imported; the first shown when it can be
    QTest::addColumn<QString>("before");          // what happens before the batch
    QTest::addColumn<QStringList>("checkpoints"); // file names
    QTest::addColumn<QStringList>("boxes");       // file names: the gone one's box, or the load failure naming it
    QTest::addColumn<QString>("selected");        // file name
    QTest::addColumn<int>("current");
    QTest::newRow("second image damaged") << QStringList{"a.png", "cut.png", "c.png"} << "" << QStringList{"a.png"}
                                          << QStringList{"cut.png"} << "cut.png" << -1;
    QTest::newRow("first image damaged") << QStringList{"cut.png", "b.png"} << "" << QStringList{}
                                         << QStringList{"cut.png"} << "cut.png" << -1;
    QTest::newRow("nothing shown, first image gone")
        << QStringList{"gone.png", "b.png", "c.png"} << "" << QStringList{"b.png", "c.png"} << QStringList{"gone.png"}
        << "c.png" << 2;
    QTest::newRow("damaged thumbnail clicked, first image deleted")
        << QStringList{"a.png", "cut.png", "c.png"} << "click 1, delete a.png" << QStringList{}
        << QStringList{"a.png", "cut.png"} << "cut.png" << -1;
  }
  void batchOverImagesThatCannotBeShown() {
    QFETCH(QStringList, files);
    QFETCH(QString, before);
    QFETCH(QStringList, checkpoints);
    QFETCH(QStringList, boxes);
    QFETCH(QString, selected);
    QFETCH(int, current);
    const QMap<QString, QList<QStringList>> texts = {
        {"a.png", {{"Alpha", "one"}}}, {"b.png", {{"Bravo", "two"}}}, {"c.png", {{"Charlie", "three"}}}};
    struct TDefaultWorkers {
      ~TDefaultWorkers() { TRecognitionBatch::SetWorkers(-1); }
    } defaultWorkers;
    for (const int workers : {0, 4}) {
      TRecognitionBatch::SetWorkers(workers);
      TDeskFixture desk;
      const QString dir = desk.App.File("in");
      QStringList paths;
      for (const QString &name : files) {
        const QString path = dir + u'/' + name;
        if (name == QLatin1String("cut.png"))
          WriteCutPng(path);
        else if (texts.contains(name))
          WritePage(path, TextPage(QSize(600, 120), texts.value(name)));
        paths << path;
      }
      desk.Dialogs->OpenAnswers = {paths};
      desk.Run("actSrc_ImportFiles");
      if (before == QLatin1String("click 1, delete a.png")) {
        desk.List()->SelectByUser(1);
        QVERIFY(QFile::remove(dir + QStringLiteral("/a.png")));
      }
      desk.Dialogs->Calls.clear();
      desk.Main->barItemLang->SetEditValue(QStringLiteral("English"));
      desk.Run("actRec_All");
      TRichViewEdit *rve = desk.Fra()->rveResult;
      QStringList names;
      for (const QString &c : CheckpointNames(rve))
        names << c.section(u'/', -1);
      QCOMPARE(names, checkpoints);
      QStringList words;
      for (const QString &name : checkpoints)
        for (const QStringList &line : texts.value(name))
          words += line;
      QCOMPARE(Words(EditorText(rve)), words);
      const QList<TDialogCall> shownBoxes = desk.Dialogs->OfKind(QStringLiteral("box"));
      QCOMPARE(desk.Dialogs->Calls.size(), shownBoxes.size());
      QCOMPARE(shownBoxes.size(), boxes.size());
      for (int i = 0; i < boxes.size(); ++i) {
        const QString &text = shownBoxes[i].Text;
        if (QFile::exists(dir + u'/' + boxes[i]))
          QVERIFY2(text.contains(dir + u'/' + boxes[i]), qPrintable(text));
        else
          QCOMPARE(text, GetLangText(QStringLiteral("error_nonFile")));
      }
      QCOMPARE(SelectedPath(desk), dir + u'/' + selected);
      QCOMPARE(desk.Fra()->CurIdx(), current);
    }
  }

  void batchReportsAMissingLanguageForEveryImage() {
    TDeskFixture desk;
    QStringList files;
    for (const char *n : {"a", "b", "c"})
      files << WritePage(desk.App.File(QStringLiteral("in/%1.png").arg(QLatin1String(n))),
                         TextPage(QSize(200, 80), {{"x"}}));
    desk.Import(files);
    QVERIFY(QFile::remove(desk.App.File("ocrlangs/eng.traineddata")));
    desk.Fra()->OCRAll(QStringLiteral("English"));
    QCOMPARE(desk.Dialogs->OfKind(QStringLiteral("box")).size(), 3);
    for (const TDialogCall &call : desk.Dialogs->Calls)
      QCOMPARE(call.Text, GetLangText(QStringLiteral("info_nonLangFile")));
    QCOMPARE(desk.Fra()->CurIdx(), 2);
    QCOMPARE(desk.Fra()->rveResult->CheckpointCount(), 0);
  }

  void batchWithoutImagesWarns() {
    TDeskFixture desk;
    desk.Fra()->OCRAll(QStringLiteral("English"));
    QCOMPARE(desk.Dialogs->Calls.size(), 1);
    QCOMPARE(desk.Dialogs->Calls[0].Text, GetLangText(QStringLiteral("ocr_noSrc")));
    QCOMPARE(desk.Dialogs->Calls[0].Flags, unsigned(MB_ICONWARNING));
    QCOMPARE(desk.Fra()->rveResult->CheckpointCount(), 0);
  }

  // The same image twice: two checkpoints of the same name, and the editor
  // scrolled to the first.
  void sameImageTwiceScrollsToTheFirst() {
    TDeskFixture desk;
    const QString file = WritePage(desk.App.File("in/a.png"), TextPage(QSize(900, 200), EnglishLines));
    desk.Import({file});
    TRichViewEdit *rve = desk.Fra()->rveResult;
    desk.Fra()->SetOCRView(VResult);
    QString filler;
    for (int i = 0; i < 60; ++i)
      filler += QStringLiteral("line %1\n").arg(i);
    rve->AddText(filler, 0);
    rve->setFixedHeight(120);
    QApplication::processEvents();
    desk.Fra()->OCR(QStringLiteral("English"));
    desk.Fra()->OCR(QStringLiteral("English"));
    QVERIFY2(desk.Dialogs->Calls.isEmpty(), qPrintable(desk.Dialogs->Calls.value(0).Text));
    QCOMPARE(CheckpointNames(rve), (QStringList{file, file}));
    QCOMPARE(Words(EditorText(rve)).mid(120), EnglishWords + EnglishWords);
    const int first = rve->GetCheckpointYEx(rve->GetCheckpoint(0));
    const int second = rve->GetCheckpointYEx(rve->GetCheckpoint(1));
    // A scroll to the second would end elsewhere.
    QVERIFY(first < qMin(second, rve->verticalScrollBar()->maximum()));
    QCOMPARE(rve->verticalScrollBar()->value(), first);
  }

  // Nothing recognised: the checkpoint is kept all the same, so the scroll
  // finds it, and nothing reports a failure; a following recognition of
  // another image has its own checkpoint.
  void emptyResultKeepsItsCheckpoint() {
    TDeskFixture desk;
    QImage blank(600, 200, QImage::Format_RGB32);
    blank.fill(Qt::white);
    const QString a = WritePage(desk.App.File("in/blank.png"), blank);
    const QString b = WritePage(desk.App.File("in/text.png"), TextPage(QSize(900, 200), EnglishLines));
    desk.Import({a, b});
    desk.Main->barItemLang->SetEditValue(QStringLiteral("English"));
    desk.Run("actRec_Sel");
    TRichViewEdit *rve = desk.Fra()->rveResult;
    QVERIFY2(desk.Dialogs->Calls.isEmpty(), qPrintable(desk.Dialogs->Calls.value(0).Text));
    QCOMPARE(CheckpointNames(rve), QStringList{a});
    QVERIFY(rve->FindCheckpointByName(a));
    QVERIFY(Words(EditorText(rve)).isEmpty());
    desk.List()->SelectByUser(1);
    QCOMPARE(SelectedPath(desk), b);
    desk.Run("actRec_Sel");
    QVERIFY2(desk.Dialogs->Calls.isEmpty(), qPrintable(desk.Dialogs->Calls.value(0).Text));
    QCOMPARE(CheckpointNames(rve), (QStringList{a, b}));
    QVERIFY(rve->FindCheckpointByName(b));
    QCOMPARE(Words(EditorText(rve)), EnglishWords);
    // Choosing the blank image again scrolls to its checkpoint without a word.
    desk.List()->SelectByUser(0);
    QVERIFY(desk.Dialogs->Calls.isEmpty());
    QCOMPARE(desk.Fra()->CurIdx(), 0);
  }
};

ZQ_RECOGNITION_TEST_MAIN(TestRecognition)

#include "tst_recognition.moc"
