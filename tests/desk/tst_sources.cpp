#include "tst_sources_support.h"
#include "uCapture.h"
#include "uImageFile.h"
#include "uRichViewEdit.h"
#include "uStatusBar.h"
#include "uThumbList.h"

#include <QScrollBar>
#include <QtTest>
#include <sys/stat.h>

// The thumbnail list and the current image: entries made from files, the
// zoom rules of a newly shown image, the change-of-current-image event, the
// refusals for missing and unreadable files, and the result editor following
// the current image to its checkpoints.
class TestSources : public QObject {
  Q_OBJECT

  static QString status(const TDeskFixture &desk) { return desk.Main->rbnStatusMain->PanelText(0); }

  // Pictures 0 .. n-1 of distinct sizes (40 + 10 i by 30 + 10 i) in `folder`.
  static QStringList pictures(const TDeskFixture &desk, const QString &folder, int n) {
    QStringList out;
    for (int i = 0; i < n; ++i)
      out << WritePicture(desk.App.File(QStringLiteral("%1/p%2.png").arg(folder).arg(i)), {40 + 10 * i, 30 + 10 * i});
    return out;
  }

  // A long result: filler, a checkpoint for each name at a line of its own,
  // filler after each.
  static void fillResult(TRichViewEdit *r, const QStringList &names) {
    auto filler = [r](int lines) {
      for (int i = 0; i < lines; ++i)
        r->AddTextNL(QStringLiteral("filler line %1").arg(i), 0, 0, 0);
    };
    filler(25);
    for (const QString &n : names) {
      r->AddNamedCheckpoint(n);
      r->AddTextNL(QStringLiteral("text of ") + n, 0, 0, 0);
      filler(30);
    }
    r->Format();
  }

  static int yOf(TRichViewEdit *r, int checkpoint) { return r->GetCheckpointYEx(r->GetCheckpoint(checkpoint)); }

private slots:
  void init() { qputenv("QT_QPA_PLATFORM", "offscreen"); }

  void addImageFile_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind"); // picture, missing, unreadable
    QTest::newRow("empty list") << 0 << "Scan 01.final.JPG"
                                << "picture";
    QTest::newRow("list of five") << 5 << "page.tiff"
                                  << "picture";
    QTest::newRow("missing file") << 2 << "gone.png"
                                  << "missing";
    QTest::newRow("unreadable file") << 1 << "notes.png"
                                     << "unreadable";
  }
  void addImageFile() {
    QFETCH(int, before);
    QFETCH(QString, name);
    QFETCH(QString, kind);
    TDeskFixture desk;
    TChangeProbe probe(desk);
    const QStringList old = pictures(desk, "old", before);
    for (const QString &f : old)
      desk.Fra()->AddImageFile(f);
    if (before > 0)
      desk.Fra()->ShowImage(before - 1);
    const int events = probe.Count;
    const QSize shown = ShownSize(desk);
    const QString path = desk.App.File(QStringLiteral("new/") + name);
    if (kind == QLatin1String("picture"))
      WritePicture(path, {64, 48});
    else if (kind == QLatin1String("unreadable"))
      QVERIFY(WriteBytes(path, "plain text, no picture"));

    QCOMPARE(desk.Fra()->AddImageFile(path), before);
    QCOMPARE(desk.List()->ImageCount(), before + 1);
    QCOMPARE(desk.List()->ImageFileName(before), path);
    QCOMPARE(desk.List()->ImageBottomText(before), name);
    QCOMPARE(desk.List()->PictureState(before),
             kind == QLatin1String("picture") ? TThumbState::Ready : TThumbState::Empty);
    // Neither selected nor shown, and no event.
    QCOMPARE(desk.List()->SelectedImage(), before - 1);
    QCOMPARE(desk.Fra()->CurIdx(), before - 1);
    QCOMPARE(probe.Count, events);
    QCOMPARE(ShownSize(desk), shown);
    QVERIFY(desk.Dialogs->Calls.isEmpty());
  }

  void zoomRules_data() {
    QTest::addColumn<int>("entries");     // entries in the list when the image is shown
    QTest::addColumn<int>("widthDelta");  // image width against the client width of tsImage
    QTest::addColumn<int>("height");      // image height; 0: as tall as tsImage's client area
    QTest::addColumn<int>("heightDelta"); // added to the height
    QTest::addColumn<bool>("fitted");
    QTest::addColumn<int>("view"); // -1 not checked, 0 scrolled to the top-left, 1 not at the top
    QTest::newRow("one entry, wider") << 1 << 300 << 120 << 0 << false << -1;
    QTest::newRow("two entries, wider") << 2 << 300 << 120 << 0 << true << -1;
    QTest::newRow("five entries, one pixel wider") << 5 << 1 << 120 << 0 << true << -1;
    QTest::newRow("two entries, exactly as wide") << 2 << 0 << 120 << 0 << false << -1;
    QTest::newRow("two entries, narrower") << 2 << -200 << 120 << 0 << false << -1;
    QTest::newRow("taller") << 2 << -200 << 0 << 1 << false << 0;
    QTest::newRow("exactly as tall") << 2 << -200 << 0 << 0 << false << 1;
    QTest::newRow("taller and wider, two entries") << 2 << 300 << 0 << 600 << true << 0;
    QTest::newRow("taller and wider, one entry") << 1 << 300 << 0 << 600 << false << 0;
  }
  void zoomRules() {
    QFETCH(int, entries);
    QFETCH(int, widthDelta);
    QFETCH(int, height);
    QFETCH(int, heightDelta);
    QFETCH(bool, fitted);
    QFETCH(int, view);
    TDeskFixture desk;
    ShowWorkspace(desk);
    TfraModuleOCR *f = desk.Fra();
    TImageEnVect *v = f->imgRaw;
    TChangeProbe probe(desk);
    for (const QString &p : pictures(desk, "small", entries - 1))
      f->AddImageFile(p);
    const QSize size(f->tsImage->width() + widthDelta, (height ? height : f->tsImage->height()) + heightDelta);
    const int idx = f->AddImageFile(WritePicture(desk.App.File("in/shown.png"), size));
    // The start image at another zoom: whatever the rules keep, they do not
    // keep this.
    v->SetZoom(37);
    QVERIFY(v->ClientHeight() < f->tsImage->height()); // the toolbar sits above the view

    f->ShowImage(idx);
    QCOMPARE(ShownSize(desk), size);
    QCOMPARE(f->CurIdx(), idx);
    QCOMPARE(desk.List()->SelectedImage(), idx);
    QCOMPARE(probe.Count, 1);
    if (fitted) {
      // The width fills the view (less a vertical scroll bar when the fitted
      // picture is still taller than the view).
      const int fullWidth = v->width() - 2 * v->frameWidth();
      const int shownWidth = qRound(size.width() * v->Zoom() / 100);
      QVERIFY2(v->Zoom() < 100 && shownWidth <= fullWidth && shownWidth >= fullWidth - 30,
               qPrintable(QStringLiteral("zoom %1, %2 of %3 pixels").arg(v->Zoom()).arg(shownWidth).arg(fullWidth)));
    } else {
      QCOMPARE(v->Zoom(), 100.0);
    }
    if (view == 0) {
      QCOMPARE(v->ViewX(), 0);
      QCOMPARE(v->ViewY(), 0);
    } else if (view == 1) {
      // Not taken for tall: the zoom to 100 % kept the middle of the picture
      // in the middle of the view.
      QVERIFY2(v->ViewY() > 0, qPrintable(QString::number(v->ViewY())));
    }
  }

  void pickingTheCurrentThumbnailAgainDoesNothing() {
    TDeskFixture desk;
    ShowWorkspace(desk);
    TfraModuleOCR *f = desk.Fra();
    TChangeProbe probe(desk);
    const QStringList files = pictures(desk, "in", 3);
    for (const QString &p : files)
      f->AddImageFile(p);
    desk.List()->SelectByUser(1); // a click
    QCOMPARE(probe.Count, 1);
    QCOMPARE(ShownSize(desk), QSize(50, 40));
    const QString statusBefore = status(desk);
    QCOMPARE(statusBefore, QStringLiteral("Images: 3    Current image: %1").arg(files.at(1)));

    // An edit a reload would lose, a file that changed on disk, a zoom and a
    // result editor scrolled away from the file's checkpoint.
    f->imgRaw->IEBitmap()->Fill(Qt::green);
    WritePicture(files.at(1), {300, 200});
    f->imgRaw->SetZoom(55);
    f->SetOCRView(VBoth);
    fillResult(f->rveResult, {files.at(1)});
    QApplication::processEvents();
    QScrollBar *bar = f->rveResult->verticalScrollBar();
    QVERIFY(bar->maximum() > yOf(f->rveResult, 0));
    bar->setValue(bar->maximum());

    desk.List()->SelectByUser(1);
    f->ShowImage(1);
    QCOMPARE(probe.Count, 1);
    QCOMPARE(ShownSize(desk), QSize(50, 40));
    QCOMPARE(f->imgRaw->IEBitmap()->Image().pixelColor(3, 3), QColor(Qt::green));
    QCOMPARE(f->imgRaw->Zoom(), 55.0);
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(status(desk), statusBefore);
    QVERIFY(desk.Dialogs->Calls.isEmpty());
  }

  void entryZeroCurrentWhileTheSelectionStandsElsewhere() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    TChangeProbe probe(desk);
    const QStringList files = pictures(desk, "in", 3);
    for (const QString &p : files)
      f->AddImageFile(p);
    f->ShowImage(0);
    desk.List()->SetSelectedImage(2);    // as a folder fill leaves it
    WritePicture(files.at(0), {99, 77}); // a reload would show this
    f->ShowImage(0);
    QCOMPARE(desk.List()->SelectedImage(), 0);
    QCOMPARE(f->CurIdx(), 0);
    QCOMPARE(ShownSize(desk), QSize(40, 30));
    QCOMPARE(probe.Count, 1);
  }

  void missingEntryIsReported_data() {
    QTest::addColumn<int>("idx");
    QTest::addColumn<bool>("deleteFile");
    QTest::addColumn<bool>("byUser");
    QTest::newRow("file deleted after it was added") << 1 << true << false;
    QTest::newRow("file deleted, picked by the user") << 1 << true << true;
    QTest::newRow("index past the end") << 3 << false << false;
    QTest::newRow("index -1") << -1 << false << false;
  }
  void missingEntryIsReported() {
    QFETCH(int, idx);
    QFETCH(bool, deleteFile);
    QFETCH(bool, byUser);
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    const QStringList files = pictures(desk, "in", 3);
    desk.Dialogs->OpenAnswers = {files};
    desk.Run("actSrc_ImportFiles"); // shows entry 0 and writes the status line
    TChangeProbe probe(desk);
    const QString statusBefore = status(desk);
    f->SetOCRView(VBoth);
    fillResult(f->rveResult, {files.at(1)});
    QApplication::processEvents();
    QScrollBar *bar = f->rveResult->verticalScrollBar();
    bar->setValue(bar->maximum());
    if (deleteFile)
      QVERIFY(QFile::remove(files.at(1)));

    if (byUser)
      desk.List()->SelectByUser(idx);
    else
      f->ShowImage(idx);
    const QList<TDialogCall> boxes = desk.Dialogs->OfKind("box");
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().Text, QStringLiteral("The image file no longer exists."));
    QCOMPARE(boxes.first().Caption, QStringLiteral("Error"));
    QCOMPARE(boxes.first().Flags, unsigned(MB_OK | MB_ICONERROR));
    QCOMPARE(f->CurIdx(), 0);
    QCOMPARE(ShownSize(desk), QSize(40, 30));  // the previous image stays
    QCOMPARE(desk.List()->SelectedImage(), 0); // a click's own selection goes back to the image shown
    QCOMPARE(status(desk), statusBefore);
    QCOMPARE(probe.Count, 0);
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(desk.List()->ImageCount(), 3);
  }

  // A click on an entry whose file is gone, while the editor shows no entry
  // (its file could not be read): nothing stays selected, and the status
  // line says so.
  void missingEntryPickedWhileNoneIsShown() {
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    const QStringList files = pictures(desk, "in", 3);
    QVERIFY(WriteBytes(files.at(1), "no picture"));
    desk.Dialogs->OpenAnswers = {files};
    desk.Run("actSrc_ImportFiles");
    desk.List()->SelectByUser(1);
    QCOMPARE(f->CurIdx(), -1);
    QCOMPARE(status(desk), QStringLiteral("Images: 3    Current image: %1").arg(files.at(1)));
    QVERIFY(QFile::remove(files.at(2)));
    TChangeProbe probe(desk);
    desk.List()->SelectByUser(2);
    QCOMPARE(BoxTexts(*desk.Dialogs).last(), QStringLiteral("The image file no longer exists."));
    QCOMPARE(f->CurIdx(), -1);
    QCOMPARE(desk.List()->SelectedImage(), -1);
    QCOMPARE(probe.Count, 1);
    QCOMPARE(status(desk), QStringLiteral("No source image selected"));
  }

  void loadFailureLetsALaterPickTryAgain_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason"); // a part of the message
    QTest::newRow("not a picture") << "text"
                                   << "";
    QTest::newRow("empty file") << "empty"
                                << "the file is empty.";
    QTest::newRow("cut short") << "cut"
                               << "";
    QTest::newRow("too large to decode") << "huge"
                                         << "too large";
  }
  void loadFailureLetsALaterPickTryAgain() {
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    const QStringList files = pictures(desk, "in", 3);
    const QString bad = files.at(1);
    if (kind == QLatin1String("text"))
      QVERIFY(WriteBytes(bad, "this is no picture at all"));
    else if (kind == QLatin1String("empty"))
      QVERIFY(WriteBytes(bad, {}));
    else if (kind == QLatin1String("cut"))
      QVERIFY(WriteBytes(bad, ReadBytes(WritePicture(desk.App.File("whole.png"), {400, 400}, Qt::red)).left(120)));
    else
      WriteOversizedPng(bad, 100000, 100000);
    for (const QString &p : files)
      f->AddImageFile(p);
    QCOMPARE(desk.List()->PictureState(1), TThumbState::Empty); // the thumbnail is refused quietly
    TChangeProbe probe(desk);
    desk.List()->SelectByUser(0);
    const QString statusBefore = status(desk);

    QCOMPARE(statusBefore, QStringLiteral("Images: 3    Current image: %1").arg(files.at(0)));

    desk.List()->SelectByUser(1); // the failure reaches the default handler
    QList<TDialogCall> boxes = desk.Dialogs->OfKind("box");
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().Flags, unsigned(MB_OK | MB_ICONERROR));
    QVERIFY2(boxes.first().Text.contains(QStringLiteral("p1.png")), qPrintable(boxes.first().Text));
    QVERIFY2(boxes.first().Text.contains(reason), qPrintable(boxes.first().Text));
    // The entry asked for is selected and named; nothing is shown.
    QCOMPARE(f->CurIdx(), -1);
    QCOMPARE(ShownSize(desk), QSize(1, 1)); // blank
    QCOMPARE(desk.List()->SelectedImage(), 1);
    QCOMPARE(probe.Count, 2);
    QCOMPARE(probe.SelectedAtEvent.last(), 1);
    QCOMPARE(status(desk), QStringLiteral("Images: 3    Current image: %1").arg(bad));

    // Picked again, it is read again (and refused again).
    desk.List()->SelectByUser(1);
    QCOMPARE(desk.Dialogs->OfKind("box").size(), 2);
    QCOMPARE(f->CurIdx(), -1);
    QCOMPARE(probe.Count, 3);
    // Mended on disk, the next pick shows it.
    WritePicture(bad, {123, 45});
    desk.List()->SelectByUser(1);
    QCOMPARE(desk.Dialogs->OfKind("box").size(), 2);
    QCOMPARE(f->CurIdx(), 1);
    QCOMPARE(ShownSize(desk), QSize(123, 45));
    QCOMPARE(probe.Count, 4);
    QCOMPARE(status(desk), QStringLiteral("Images: 3    Current image: %1").arg(bad));
  }

  // What the box says when the picture of an entry cannot be read: one text
  // for a file that is gone, whichever command meets it, and a 0-byte file
  // says that it is empty, with its path.
  void readFailuresSayWhatHappened_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("command");
    for (const char *kind : {"gone", "empty", "pipe"})
      for (const char *command : {"pick", "import files", "remove the one before"})
        QTest::addRow("%s, %s", kind, command) << kind << command;
  }
  void readFailuresSayWhatHappened() {
    QFETCH(QString, kind);
    QFETCH(QString, command);
    TDeskFixture desk;
    const QStringList files = pictures(desk, "in", 3);
    const QString bad = files.at(1);
    QVERIFY(QFile::remove(bad));
    if (kind == QLatin1String("empty"))
      QVERIFY(WriteBytes(bad, {}));
    else if (kind == QLatin1String("pipe"))
      QCOMPARE(::mkfifo(QFile::encodeName(bad).constData(), 0600), 0);
    TfraModuleOCR *f = desk.Fra();
    if (command == QLatin1String("import files")) {
      desk.Dialogs->OpenAnswers = {{bad, files.at(2)}};
      desk.Run("actSrc_ImportFiles");
    } else {
      for (const QString &p : files)
        f->AddImageFile(p);
      if (command == QLatin1String("pick")) {
        desk.List()->SelectByUser(1);
      } else {
        desk.List()->SelectByUser(0);
        desk.Dialogs->BoxAnswers = {IDYES};
        desk.Run("actSrc_RemoveSel");
      }
    }
    QList<TDialogCall> boxes = desk.Dialogs->OfKind("box");
    if (command == QLatin1String("remove the one before"))
      boxes.removeFirst(); // the question
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().Flags, unsigned(MB_OK | MB_ICONERROR));
    const QString reason = kind == QLatin1String("empty")
                               ? QStringLiteral("the file is empty.")
                               : QStringLiteral("it is a device, a pipe or a socket, not a file.");
    QCOMPARE(boxes.first().Text, kind == QLatin1String("gone")
                                     ? QStringLiteral("The image file no longer exists.")
                                     : QStringLiteral("Cannot read the image file \"%1\": %2").arg(bad, reason));
  }

  // After a load that fails, a removal or a clear, the editor, the list's
  // selection and the status line name one entry; saving the image and
  // appending a capture write only the file of the picture shown, and a
  // capture appended while none is shown becomes an image of its own.
  void oneEntryNamedAfterFailuresRemovalsAndClears_data() {
    QTest::addColumn<QString>("step");
    QTest::addColumn<QStringList>("imported"); // before the step, shown from the first
    QTest::addColumn<QString>("selected");     // file name of the entry selected after the step; "" none
    QTest::addColumn<bool>("shown");           // the editor shows the selected entry's picture
    QTest::addColumn<bool>("refused");         // the step ends with a box that names cut.png
    QTest::newRow("truncated PNG imported after good.png")
        << "import cut.png" << QStringList{"good.png"} << "cut.png" << false << true;
    QTest::newRow("damaged thumbnail clicked")
        << "click 1" << QStringList{"good.png", "cut.png", "other.png"} << "cut.png" << false << true;
    QTest::newRow("toolbar remove") << "remove 1" << QStringList{"good.png", "mid.png", "other.png"} << "other.png"
                                    << true << false;
    QTest::newRow("toolbar clear") << "clear" << QStringList{"good.png", "other.png"} << "" << false << false;
    QTest::newRow("toolbar remove, the next entry damaged")
        << "remove 1" << QStringList{"good.png", "mid.png", "cut.png"} << "cut.png" << false << true;
  }
  void oneEntryNamedAfterFailuresRemovalsAndClears() {
    QFETCH(QString, step);
    QFETCH(QStringList, imported);
    QFETCH(QString, selected);
    QFETCH(bool, shown);
    QFETCH(bool, refused);
    TDeskFixture desk;
    TfraModuleOCR *f = desk.Fra();
    const QString dir = desk.App.File("in");
    const QByteArray good = ReadBytes(WritePicture(dir + "/good.png", {60, 40}, Qt::darkGreen));
    WritePicture(dir + "/mid.png", {50, 30}, Qt::yellow);
    WritePicture(dir + "/other.png", {80, 20}, Qt::blue);
    // A real picture cut in the middle of its pixel data: the header reads.
    QImage noise(300, 200, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y)
      for (int x = 0; x < noise.width(); ++x)
        noise.setPixel(x, y, qRgb((x * 37 + y * 11) & 255, (x * y) & 255, (x ^ y) & 255));
    QVERIFY(noise.save(dir + "/whole.png"));
    const QByteArray whole = ReadBytes(dir + "/whole.png");
    QVERIFY(WriteBytes(dir + "/cut.png", whole.left(whole.size() / 2)));
    QVERIFY(QFile::remove(dir + "/whole.png"));
    auto path = [&dir](const QString &name) { return name.isEmpty() ? QString() : dir + u'/' + name; };
    auto files = [&] {
      QMap<QString, QByteArray> out;
      for (const QString &name : QDir(dir).entryList(QDir::Files))
        out.insert(name, ReadBytes(path(name)));
      return out;
    };

    QStringList chosen;
    for (const QString &name : imported)
      chosen << path(name);
    desk.Dialogs->OpenAnswers = {chosen};
    desk.Run("actSrc_ImportFiles");
    QCOMPARE(f->CurIdx(), 0);
    const int n = desk.List()->ImageCount();
    const bool listCommand = step == QLatin1String("clear") || step.startsWith(QLatin1String("remove"));
    if (listCommand)
      desk.List()->SelectByUser(1); // shown: the entry that goes
    QCOMPARE(desk.Dialogs->Calls.size(), 1);
    TChangeProbe probe(desk);
    if (step == QLatin1String("import cut.png")) {
      desk.Dialogs->OpenAnswers = {{path("cut.png")}};
      desk.Run("actSrc_ImportFiles");
    } else if (step == QLatin1String("click 1")) {
      desk.List()->SelectByUser(1);
    } else {
      desk.Dialogs->BoxAnswers = {IDYES};
      if (step == QLatin1String("clear"))
        f->actSrc_ClearAll->trigger(); // the list's own toolbar
      else
        f->actSrc_RemoveSel->trigger();
    }
    const QStringList boxes = BoxTexts(*desk.Dialogs);
    if (refused)
      QVERIFY2(boxes.size() >= 1 && boxes.last().contains(path("cut.png")), qPrintable(boxes.join('\n')));
    else
      QCOMPARE(boxes, QStringList{"Are you sure?"});
    const int count = desk.List()->ImageCount();
    const int expectedCount = step == QLatin1String("import cut.png") ? n + 1
                              : step == QLatin1String("clear")        ? 0
                              : listCommand                           ? n - 1
                                                                      : n;
    QCOMPARE(count, expectedCount);
    const int sel = desk.List()->SelectedImage();
    QCOMPARE(desk.List()->ImageFileName(sel), path(selected));
    QCOMPARE(f->CurIdx(), shown ? sel : -1);
    const QString named = selected.isEmpty()
                              ? QStringLiteral("No source image selected")
                              : QStringLiteral("Images: %1    Current image: %2").arg(count).arg(path(selected));
    QCOMPARE(status(desk), named);
    QCOMPARE(probe.Count, 1);
    QCOMPARE(probe.SelectedAtEvent, QList<int>{sel});

    // Save image: only the file shown is written, with the edit.
    const QMap<QString, QByteArray> beforeSave = files();
    const QSize shownSize = ShownSize(desk);
    desk.Run("actIE_Rotate90");
    desk.Run("actIE_Save");
    QMap<QString, QByteArray> afterSave = files();
    if (shown) {
      QCOMPARE(ReadImageFile(path(selected)).size(), shownSize.transposed());
      afterSave.remove(selected);
    }
    for (auto it = afterSave.cbegin(); it != afterSave.cend(); ++it)
      QVERIFY2(it.value() == beforeSave.value(it.key()), qPrintable(it.key()));
    QCOMPARE(afterSave.value("good.png"), good);

    // Capture and append: below the picture shown, into its file; with none
    // shown the capture is kept as a new image.
    const QMap<QString, QByteArray> beforeAppend = files();
    desk.Dialogs->OnForm = [](QDialog *dialog) {
      auto *form = static_cast<TfrmCapture *>(dialog);
      QImage grab(200, 200, QImage::Format_RGB32);
      grab.fill(Qt::red);
      form->img1->IO().LoadFromImage(grab);
      form->img1->Select(QRect(10, 10, 70, 30));
      return int(QDialog::Accepted);
    };
    probe.Count = 0;
    desk.Run("actCaptureCombine");
    QVERIFY2(BoxTexts(*desk.Dialogs) == boxes, qPrintable(BoxTexts(*desk.Dialogs).join('\n')));
    QMap<QString, QByteArray> afterAppend = files();
    if (shown) {
      const QSize rotated = shownSize.transposed();
      const QImage combined = ReadImageFile(path(selected));
      QCOMPARE(combined.size(), QSize(qMax(rotated.width(), 70), rotated.height() + 30));
      QCOMPARE(combined.pixelColor(2, rotated.height() + 2), QColor(Qt::red));
      afterAppend.remove(selected);
      QCOMPARE(desk.List()->ImageCount(), count);
      QCOMPARE(f->CurIdx(), sel);
      QCOMPARE(probe.Count, 0);
      QCOMPARE(status(desk), named);
    } else {
      QCOMPARE(desk.List()->ImageCount(), count + 1);
      const QString capture = desk.List()->ImageFileName(count);
      QVERIFY2(capture.startsWith(desk.App.File("temp/")), qPrintable(capture));
      QCOMPARE(ReadImageFile(capture).size(), QSize(70, 30));
      QCOMPARE(desk.List()->SelectedImage(), count);
      QCOMPARE(f->CurIdx(), count);
      QCOMPARE(ShownSize(desk), QSize(70, 30));
      QCOMPARE(probe.Count, 1);
      QCOMPARE(status(desk), QStringLiteral("Images: %1    Current image: %2").arg(count + 1).arg(capture));
    }
    QMap<QString, QByteArray> untouched = beforeAppend;
    untouched.remove(shown ? selected : QString());
    QCOMPARE(afterAppend, untouched);
    QCOMPARE(afterAppend.value("good.png"), good);
  }

  void resolutionComesFromTheShownFile_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("recorded");
    QTest::addColumn<int>("dpi");
    QTest::newRow("png at 150 dpi") << "a.png" << 150 << 150;
    QTest::newRow("png without resolution") << "b.png" << 0 << 300;
    QTest::newRow("tiff at 200 dpi") << "c.tif" << 200 << 200;
    QTest::newRow("jpeg at 72 dpi") << "d.jpg" << 72 << 72;
    QTest::newRow("bmp at 600 dpi") << "e.bmp" << 600 << 600;
  }
  void resolutionComesFromTheShownFile() {
    QFETCH(QString, name);
    QFETCH(int, recorded);
    QFETCH(int, dpi);
    TDeskFixture desk;
    const QString path = WritePicture(desk.App.File(QStringLiteral("in/") + name), {80, 60}, Qt::gray, recorded);
    QCOMPARE(RecordedDpiX(path), recorded);
    const int idx = desk.Fra()->AddImageFile(path);
    desk.Fra()->ShowImage(idx);
    QCOMPARE(ShownSize(desk), QSize(80, 60));
    QCOMPARE(desk.Fra()->GetDPI(), dpi);
  }

  void resultFollowsTheCurrentImage_data() {
    QTest::addColumn<int>("view");
    QTest::addColumn<bool>("withCheckpoints");
    QTest::addColumn<bool>("scrolls");
    QTest::newRow("result view") << int(VResult) << true << true;
    QTest::newRow("image and result") << int(VBoth) << true << true;
    QTest::newRow("image view") << int(VImage) << true << false;
    QTest::newRow("layout view") << int(VLayoutResult) << true << false;
    QTest::newRow("no checkpoint of the file") << int(VBoth) << false << false;
  }
  void resultFollowsTheCurrentImage() {
    QFETCH(int, view);
    QFETCH(bool, withCheckpoints);
    QFETCH(bool, scrolls);
    TDeskFixture desk;
    ShowWorkspace(desk);
    TfraModuleOCR *f = desk.Fra();
    TRichViewEdit *r = f->rveResult;
    const QStringList files = pictures(desk, "in", 2);
    for (const QString &p : files)
      f->AddImageFile(p);
    f->ShowImage(1);
    // Another file's checkpoint first, then two of the file shown next.
    const QString other = desk.App.File("elsewhere/p0.png");
    fillResult(r, withCheckpoints ? QStringList{other, files.at(0), files.at(0)} : QStringList{other, other, other});
    f->SetOCRView(VResult);
    QApplication::processEvents();
    QScrollBar *bar = r->verticalScrollBar();
    const int first = yOf(r, 1);
    QVERIFY(first > yOf(r, 0) && yOf(r, 2) > first && bar->maximum() > first);
    bar->setValue(bar->maximum());
    f->SetOCRView(TViewType(view));
    QApplication::processEvents();
    const int before = bar->value();
    QVERIFY(before > first);
    int atEvent = -1;
    TChangeProbe probe(desk);
    probe.Extra = [&] { atEvent = bar->value(); };

    f->ShowImage(0);
    QCOMPARE(probe.Count, 1);
    QCOMPARE(atEvent, before); // the event comes before the scroll
    QCOMPARE(probe.SelectedAtEvent, QList<int>{0});
    QCOMPARE(probe.ShownAtEvent, QList<QSize>{QSize(40, 30)});
    QCOMPARE(bar->value(), scrolls ? first : before);
  }

  void pathsThatDifferInCaseNameDifferentCheckpoints() {
    TDeskFixture desk;
    ShowWorkspace(desk);
    TfraModuleOCR *f = desk.Fra();
    TRichViewEdit *r = f->rveResult;
    const QString lower = WritePicture(desk.App.File("in/page.png"), {30, 30}, Qt::red);
    const QString upper = WritePicture(desk.App.File("in/Page.png"), {60, 60}, Qt::blue);
    QCOMPARE(f->AddImageFile(lower), 0);
    QCOMPARE(f->AddImageFile(upper), 1);
    fillResult(r, {lower, upper});
    f->SetOCRView(VBoth);
    QApplication::processEvents();
    QScrollBar *bar = r->verticalScrollBar();
    QVERIFY(bar->maximum() > yOf(r, 1));
    f->ShowImage(1);
    QCOMPARE(ShownSize(desk), QSize(60, 60));
    QCOMPARE(bar->value(), yOf(r, 1));
    f->ShowImage(0);
    QCOMPARE(ShownSize(desk), QSize(30, 30));
    QCOMPARE(bar->value(), yOf(r, 0));
  }
};

QTEST_MAIN(TestSources)
#include "tst_sources.moc"
