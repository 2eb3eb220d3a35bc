// The recognition plug-in run in the program's helper processes: text and
// barcodes come back as the plug-in gives them; damaged trained data, a
// damaged plug-in file and an engine that faults, aborts or hangs each end
// one operation with the failure to show, and the next operation works.

#include "uVisionService.h"

#define ZX_USE_UTF8 1
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <thread>

namespace {

QString OcrFolder() { return QStringLiteral(ZQ_APP_DIR "ocrlangs/"); }

QImage TextImage(const QString &line, QSize size = QSize(900, 120)) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(40);
  p.setFont(font);
  p.setPen(Qt::black);
  p.drawText(QRect(30, 0, size.width() - 30, size.height()), Qt::AlignLeft | Qt::AlignVCenter, line);
  return image;
}

QString Recognize(const QImage &image, const QString &code = QStringLiteral("eng"),
                  const QString &folder = OcrFolder()) {
  return VisionRecognize(image, TVisionRect{}, folder, code).simplified();
}

// A program folder of its own: the helper, and the plug-in file given.
struct TFolder {
  QTemporaryDir Dir;
  explicit TFolder(const QByteArray &plugin) {
    const QString helper = Dir.filePath(QLatin1String(VisionHelperName));
    QFile::copy(QStringLiteral(ZQ_APP_DIR) + QLatin1String(VisionHelperName), helper);
    QFile::setPermissions(helper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    Put(plugin);
  }
  void Put(const QByteArray &plugin) const {
    QFile f(Dir.filePath(QStringLiteral("libzvision.so")));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
      f.write(plugin);
  }
  QString Path() const { return Dir.path() + u'/'; }
};

QByteArray FileBytes(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs `body`, which must raise E; returns its message and the text to show.
template <class E, class F> QPair<QString, QString> Expect(F body) {
  try {
    body();
  } catch (const E &e) {
    return {e.Message(), VisionFailureText(e)};
  } catch (const std::exception &e) {
    return {QStringLiteral("other failure: ") + ExceptionMessage(e), QString()};
  }
  return {QStringLiteral("no failure"), QString()};
}

const QString FirstText = QStringLiteral(
    "An error was encountered processing this image. Ensure you are using the latest version of the IEVision plug-in.");

// The offset of the neural-network model inside a trained-data file (entry
// 17 of its table), or -1.
qint64 LstmOffset(const QByteArray &data) {
  auto word = [&](qsizetype at, int bytes) {
    quint64 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
      v = (v << 8) | quint8(data[at + i]);
    return v;
  };
  if (data.size() < 4 + 8 * 18 || word(0, 4) < 18)
    return -1;
  auto offset = qint64(word(4 + 8 * 17, 8));
  return offset > 0 && offset + 64 < data.size() ? offset : -1;
}

} // namespace

class TestVisionService : public QObject {
  Q_OBJECT

private slots:
  // Every test starts with the plug-in loaded nowhere: no helper kept, none
  // of the earlier loads noted.
  void init() {
    VisionServiceTest::StopIdleHelpers();
    QVERIFY(VisionLoaderTest::Unload());
    SetVisionSearchFolder(QStringLiteral(ZQ_APP_DIR));
    VisionLoaderTest::SetSystemSearch(false);
    VisionServiceTest::SetTimeouts(60000, 120000, 120000);
  }

  // Text and progress from a helper, which is kept for the next request.
  void recognisesInAKeptHelper() {
    QList<int> progress;
    QCOMPARE(VisionRecognize(TextImage("kept for later"), TVisionRect{}, OcrFolder(), "eng", ZV_MODE_DEFAULT,
                             [&](int p) { progress << p; })
                 .simplified(),
             QStringLiteral("kept for later"));
    QVERIFY(!progress.isEmpty());
    for (int i = 1; i < progress.size(); ++i)
      QVERIFY(progress[i] >= progress[i - 1] && progress[i] <= 100);
    const int started = VisionServiceTest::HelpersStarted();
    QCOMPARE(Recognize(TextImage("and used again")), QStringLiteral("and used again"));
    QCOMPARE(VisionServiceTest::HelpersStarted(), started);
    QVERIFY(VisionPluginFile() == QStringLiteral(ZQ_APP_DIR "libzvision.so"));
  }

  // A picture made in the helper's memory is read from there, and what is
  // drawn into it later is read too; a copy of it that was drawn into holds
  // pixels of its own, which are read, while the first keeps its own.
  void sharedPictureIsReadAsItIsNow() {
    auto draw = [](QImage &image, const QString &line) {
      image.fill(Qt::white);
      QPainter p(&image);
      QFont font(QStringLiteral("DejaVu Sans"));
      font.setPixelSize(40);
      p.setFont(font);
      p.setPen(Qt::black);
      p.drawText(QRect(30, 0, image.width() - 30, image.height()), Qt::AlignLeft | Qt::AlignVCenter, line);
    };
    for (QImage::Format format : {QImage::Format_Grayscale8, QImage::Format_RGB32}) {
      QImage shared = VisionSharedPicture(QSize(901, 120), format);
      QVERIFY(!shared.isNull());
      draw(shared, QStringLiteral("first words"));
      QCOMPARE(Recognize(shared), QStringLiteral("first words"));
      QImage copy = shared;
      draw(copy, QStringLiteral("second words"));
      QCOMPARE(Recognize(copy), QStringLiteral("second words"));
      QCOMPARE(Recognize(shared), QStringLiteral("first words"));
      draw(shared, QStringLiteral("third words"));
      QCOMPARE(Recognize(shared), QStringLiteral("third words"));
    }
  }

  // A helper that was ended between requests is replaced unnoticed.
  void endedHelperIsReplaced() {
    QCOMPARE(Recognize(TextImage("first")), QStringLiteral("first"));
    const QList<qint64> pids = VisionServiceTest::HelperPids();
    QVERIFY(!pids.isEmpty());
    for (qint64 pid : pids)
      kill(pid_t(pid), SIGKILL);
    QTest::qWait(100);
    QCOMPARE(Recognize(TextImage("second")), QStringLiteral("second"));
  }

  // Callers on several threads at once get helpers of their own.
  void parallelCallersGetHelpersOfTheirOwn() {
    const QStringList words = {"alpha", "bravo", "charlie", "delta"};
    QStringList read(words.size());
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int i = 0; i < words.size(); ++i)
      threads.emplace_back([&, i] {
        try {
          read[i] = Recognize(TextImage(words[i]));
        } catch (...) {
          ++failures;
        }
      });
    for (auto &t : threads)
      t.join();
    QCOMPARE(failures.load(), 0);
    QCOMPARE(read, words);
    QVERIFY(VisionServiceTest::HelperPids().size() >= 2);
  }

  void readsBarcodes() {
    QImage canvas(600, 400, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    ZXing::BitMatrix m =
        ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode).setMargin(0).encode("line 1\nline 2", 200, 200);
    QPainter p(&canvas);
    for (int y = 0; y < m.height(); ++y)
      for (int x = 0; x < m.width(); ++x)
        if (m.get(x, y))
          p.fillRect(100 + x, 100 + y, 1, 1, Qt::black);
    p.end();
    const QList<TVisionBarcodeRead> read = VisionReadBarcodes(canvas, TVisionRect{});
    QCOMPARE(read.size(), 1);
    QCOMPARE(read[0].Type, QStringLiteral("QRCode"));
    QCOMPARE(read[0].Value, QStringLiteral("line 1\nline 2"));
    QCOMPARE(VisionReadBarcodes(canvas, TVisionRect{400, 0, 200, 400}).size(), 0);
  }

  // One helper reads picture after picture from the same shared memory,
  // which grows for a larger picture and is let go after a recognition:
  // each reading reads its own picture (a stale one would give the code
  // before it), in each pixel format; a colour picture reads by its
  // brightness as the reader weighs colour (orange paper and blue ink in the
  // wrong channel order come out nearly alike); transparent paper reads as
  // white. A helper killed meanwhile is replaced, with memory of its own.
  void barcodeReadingsInARow() {
    struct TStep {
      QSize Size;
      QImage::Format Format;
      ZXing::BarcodeFormat Kind;
      std::string Value;
      QSize CodeSize;
      bool Colour = false;
    };
    const QList<TStep> steps = {
        {QSize(600, 400), QImage::Format_RGB32, ZXing::BarcodeFormat::QRCode, "first", QSize(200, 200)},
        {QSize(1600, 1000), QImage::Format_Grayscale8, ZXing::BarcodeFormat::Code128, "larger-128", QSize(600, 150)},
        {QSize(300, 300), QImage::Format_RGB888, ZXing::BarcodeFormat::QRCode, "smaller", QSize(150, 150)},
        {QSize(700, 500), QImage::Format_RGB32, ZXing::BarcodeFormat::QRCode, "orange and blue", QSize(240, 240), true},
        {QSize(700, 500), QImage::Format_RGBX8888, ZXing::BarcodeFormat::QRCode, "in RGBX", QSize(240, 240), true},
        {QSize(700, 500), QImage::Format_RGB888, ZXing::BarcodeFormat::QRCode, "in RGB", QSize(240, 240), true},
        {QSize(700, 500), QImage::Format_ARGB32, ZXing::BarcodeFormat::Code128, "see-through", QSize(400, 120)},
    };
    auto picture = [](const TStep &step) {
      QImage canvas(step.Size, QImage::Format_RGB32);
      canvas.fill(Qt::white);
      ZXing::BitMatrix m = ZXing::MultiFormatWriter(step.Kind).setMargin(0).encode(step.Value, step.CodeSize.width(),
                                                                                   step.CodeSize.height());
      QPainter p(&canvas);
      for (int y = 0; y < m.height(); ++y)
        for (int x = 0; x < m.width(); ++x)
          if (m.get(x, y))
            p.fillRect(50 + x, 50 + y, 1, 1, Qt::black);
      p.end();
      for (int y = 0; y < canvas.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(canvas.scanLine(y));
        for (int x = 0; x < canvas.width(); ++x) {
          const bool ink = qGray(line[x]) < 128;
          if (step.Colour)
            line[x] = ink ? qRgb(0, 64, 255) : qRgb(255, 128, 0);
          else if (step.Format == QImage::Format_ARGB32)
            line[x] = ink ? qRgba(0, 0, 0, 255) : qRgba(0, 0, 0, 0);
        }
      }
      if (step.Format == QImage::Format_ARGB32 && canvas.reinterpretAsFormat(QImage::Format_ARGB32))
        return canvas;
      return canvas.convertToFormat(step.Format);
    };
    auto read = [&](const TStep &step) {
      const QList<TVisionBarcodeRead> found = VisionReadBarcodes(picture(step), TVisionRect{});
      return found.size() == 1 ? found[0].Value : QStringLiteral("%1 barcodes").arg(found.size());
    };
    VisionServiceTest::StopIdleHelpers();
    const int started = VisionServiceTest::HelpersStarted();
    for (const TStep &step : steps)
      QCOMPARE(read(step), QString::fromStdString(step.Value));
    QCOMPARE(Recognize(TextImage("between readings")), QStringLiteral("between readings"));
    QCOMPARE(read(steps[1]), QStringLiteral("larger-128"));
    QCOMPARE(read(steps[0]), QStringLiteral("first"));
    QCOMPARE(VisionServiceTest::HelpersStarted(), started + 1);
    for (qint64 pid : VisionServiceTest::HelperPids())
      kill(pid_t(pid), SIGKILL);
    QTest::qWait(100);
    QCOMPARE(read(steps[2]), QStringLiteral("smaller"));
    QCOMPARE(VisionServiceTest::HelpersStarted(), started + 2);
  }

  // Damaged trained data: refused by the check and by a recognition alike,
  // with a description naming the file; the next recognition works.
  void damagedTrainedData_data() {
    QTest::addColumn<QString>("damage");
    QTest::newRow("byte 168 set to 0xb3") << "byte168";
    QTest::newRow("0 bytes") << "empty";
    QTest::newRow("damaged model") << "model";
  }
  void damagedTrainedData() {
    QFETCH(QString, damage);
    QByteArray data = FileBytes(OcrFolder() + "eng.traineddata");
    QVERIFY(data.size() > 100000);
    if (damage == "byte168") {
      data[168] = char(0xb3);
    } else if (damage == "empty") {
      data.clear();
    } else {
      const qint64 offset = LstmOffset(data);
      QVERIFY(offset > 0);
      memset(data.data() + offset + 4, 0xff, 16);
    }
    QTemporaryDir dir;
    const QString file = dir.filePath("eng.traineddata");
    {
      QFile f(file);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(data);
    }
    QString reason;
    QVERIFY(!VisionCheckTrainedData(dir.path(), "eng", &reason));
    QVERIFY2(reason.contains(QStringLiteral("is not a valid trained-data file")) && reason.contains(file),
             qPrintable(reason));
    try {
      VisionRecognize(TextImage("never read"), TVisionRect{}, dir.path(), "eng");
      QFAIL("recognised with damaged trained data");
    } catch (const EVisionError &e) {
      QCOMPARE(e.Status(), ZV_E_BADDATA);
      QVERIFY2(e.Message().contains(file), qPrintable(e.Message()));
      QVERIFY(VisionFailureText(e).startsWith(QLatin1String(VisionErrorPrefix)));
    }
    QVERIFY(VisionCheckTrainedData(OcrFolder(), "eng"));
    QCOMPARE(Recognize(TextImage("still here")), QStringLiteral("still here"));
  }

  // A helper keeps the engine of its last recognition for the next one
  // with the same trained data: the same text again; another language or
  // mode is another engine; a trained-data file replaced or changed in
  // place since is read again (damaged now, it is refused; made whole, it
  // serves again), never served from the engine kept.
  void keptEngineFollowsItsTrainedData() {
    QTemporaryDir dir;
    const QString file = dir.filePath("eng.traineddata");
    const QByteArray whole = FileBytes(OcrFolder() + "eng.traineddata");
    QVERIFY(QFile::copy(OcrFolder() + "eng.traineddata", file));
    QVERIFY(QFile::copy(OcrFolder() + "deu.traineddata", dir.filePath("deu.traineddata")));
    auto write = [&](const QByteArray &data) {
      QFile f(file);
      QVERIFY(f.open(QIODevice::ReadWrite));
      QCOMPARE(f.write(data), data.size()); // in place: the same file
    };
    const QImage page = TextImage("Zwei kleine Boote");
    auto recognise = [&](const QString &code, int mode = ZV_MODE_DEFAULT) {
      return VisionRecognize(page, TVisionRect{}, dir.path(), code, mode);
    };
    VisionServiceTest::StopIdleHelpers();
    const int started = VisionServiceTest::HelpersStarted();
    const QString first = recognise("eng");
    QCOMPARE(first.simplified(), QStringLiteral("Zwei kleine Boote"));
    QCOMPARE(VisionRecognize(TextImage("in between"), TVisionRect{}, dir.path(), "eng").simplified(),
             QStringLiteral("in between"));
    QCOMPARE(recognise("eng"), first);
    QCOMPARE(recognise("deu").simplified(), QStringLiteral("Zwei kleine Boote"));
    QCOMPARE(recognise("eng", ZV_MODE_LSTM).simplified(), QStringLiteral("Zwei kleine Boote"));
    QCOMPARE(recognise("eng"), first);
    QCOMPARE(VisionServiceTest::HelpersStarted(), started + 1);
    QByteArray damaged = whole;
    memset(damaged.data(), 0, 4); // no entries in its table; the same size
    write(damaged);
    auto [message, shown] = Expect<EVisionError>([&] { recognise("eng"); });
    QVERIFY2(message.contains(QStringLiteral("is not a valid trained-data file")) && message.contains(file),
             qPrintable(message));
    write(whole);
    QCOMPARE(recognise("eng"), first);
    QVERIFY(QFile::remove(file));
    QVERIFY(QFile::copy(OcrFolder() + "deu.traineddata", file)); // another file of the same name
    QCOMPARE(recognise("eng").simplified(), QStringLiteral("Zwei kleine Boote"));
    QVERIFY(QFile::remove(file));
    std::tie(message, shown) = Expect<EVisionError>([&] { recognise("eng"); });
    QVERIFY2(message.contains(QStringLiteral("does not exist")), qPrintable(message));
  }

  void checkOfTrainedData() {
    QString reason;
    QVERIFY(VisionCheckTrainedData(OcrFolder(), "deu", &reason));
    QVERIFY(!VisionCheckTrainedData(OcrFolder(), "xyz", &reason));
    QVERIFY2(reason.contains(OcrFolder() + "xyz.traineddata"), qPrintable(reason));
  }

  // The plug-in file cut short: the first fixed text, no signal here; once
  // the whole file is back, the next request loads it.
  void truncatedPlugin() {
    const QByteArray whole = FileBytes(QStringLiteral(ZQ_APP_DIR "libzvision.so"));
    QVERIFY(whole.size() > 40000);
    TFolder folder(whole.left(40000));
    SetVisionSearchFolder(folder.Path());
    VisionLoaderTest::Reset();
    for (int attempt = 1; attempt <= 2; ++attempt) {
      auto [message, shown] = Expect<EVisionUnavailable>([] { Recognize(TextImage("no plug-in")); });
      QVERIFY2(message.contains(folder.Path() + "libzvision.so") && message.contains("damaged"), qPrintable(message));
      QCOMPARE(shown, FirstText);
      QCOMPARE(VisionLoaderTest::LoadAttempts(), attempt);
    }
    auto [message, shown] = Expect<EVisionUnavailable>([] { VisionReadBarcodes(TextImage("x"), TVisionRect{}); });
    QCOMPARE(shown, FirstText);
    QString reason;
    QVERIFY(!VisionCheckTrainedData(OcrFolder(), "eng", &reason));
    QVERIFY2(reason.contains("could not be loaded"), qPrintable(reason));
    // In this process too the file is refused before it is mapped.
    auto [inProcess, inProcessShown] = Expect<EVisionUnavailable>([] { TVisionLibrary::Obtain(); });
    QCOMPARE(inProcessShown, FirstText);
    folder.Put(whole);
    QCOMPARE(Recognize(TextImage("loaded at last")), QStringLiteral("loaded at last"));
    QCOMPARE(VisionPluginFile(), folder.Path() + "libzvision.so");
  }

  void noHelperIsUnavailable() {
    QTemporaryDir empty;
    SetVisionSearchFolder(empty.path());
    auto [message, shown] = Expect<EVisionUnavailable>([] { Recognize(TextImage("x")); });
    QVERIFY2(message.contains(QLatin1String(VisionHelperName)), qPrintable(message));
    QCOMPARE(shown, FirstText);
  }

  // An engine that faults, aborts or hangs ends the one operation; the
  // next one starts a new helper.
  void misbehavingEngine_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("first");
    QTest::addColumn<QString>("says");
    QTest::newRow("fault") << "segv" << true << "faulted";
    QTest::newRow("abort") << "abort" << false << "ended while working on this image";
    QTest::newRow("hang") << "hang" << false << "did not finish with this image within 1.5 s";
    QTest::newRow("fault loading the trained data") << "loadsegv" << false << "is not a valid trained-data file";
    QTest::newRow("well-behaved") << "fine" << false << "";
  }
  void misbehavingEngine() {
    QFETCH(QString, code);
    QFETCH(bool, first);
    QFETCH(QString, says);
    TFolder folder(FileBytes(QStringLiteral(ZQ_FAULTING_LIB)));
    SetVisionSearchFolder(folder.Path());
    VisionServiceTest::SetTimeouts(1500, 1500, 1500);
    const QString data = folder.Path();
    if (says.isEmpty()) {
      QCOMPARE(Recognize(TextImage("x"), code, data), QStringLiteral("fake"));
      return;
    }
    try {
      Recognize(TextImage("x"), code, data);
      QFAIL("no failure");
    } catch (const std::exception &e) {
      const QString shown = VisionFailureText(e);
      QVERIFY2(first ? shown == FirstText : shown.startsWith(QLatin1String(VisionErrorPrefix)), qPrintable(shown));
      QVERIFY2(ExceptionMessage(e).contains(says), qPrintable(ExceptionMessage(e)));
    }
    QCOMPARE(Recognize(TextImage("x"), "fine", data), QStringLiteral("fake"));
    // Barcodes: the reader faults.
    auto [message, shown] = Expect<EVisionFault>([] { VisionReadBarcodes(TextImage("x"), TVisionRect{}); });
    QCOMPARE(shown, FirstText);
  }
};

int main(int argc, char **argv) {
  setenv("OMP_THREAD_LIMIT", "1", 1);
  QGuiApplication app(argc, argv);
  TestVisionService test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_visionservice.moc"
