#include "uThumbList.h"
#include "uThumbTestFiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

using namespace ThumbTestFiles;

namespace {

QStringList fileNames(const TThumbList &list) {
  QStringList names;
  for (int i = 0; i < list.ImageCount(); ++i)
    names << QFileInfo(list.ImageFileName(i)).fileName();
  return names;
}

QStringList bottomTexts(const TThumbList &list) {
  QStringList texts;
  for (int i = 0; i < list.ImageCount(); ++i)
    texts << list.ImageBottomText(i);
  return texts;
}

// Whether a picture was reduced to fit into the box, touching it on one side.
bool fitted(QSize size, QSize box) {
  return size.width() <= box.width() && size.height() <= box.height() &&
         (size.width() >= box.width() - 1 || size.height() >= box.height() - 1);
}

// Waits until no job runs on the list's threads and the pictures they made
// have been handed over.
void settle(const TThumbList &list) {
  QTRY_COMPARE(list.ThreadPool().activeThreadCount(), 0);
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
}

} // namespace

class TestThumbList : public QObject {
  Q_OBJECT
  QTemporaryDir FTemp;
  QString FMixed;  // a folder of every kind of file a fill meets
  QString FPages;  // IMG_1 ... IMG_12
  QString FColors; // n.png in NumberColor(n), 40 large ones
  QString FOther;  // the names of FColors, in other colours

  QString colorFile(int n) const { return FColors + QStringLiteral("/c%1.png").arg(n, 2, 10, QLatin1Char('0')); }

private slots:
  void initTestCase() {
    QVERIFY(FTemp.isValid());
    QDir root(FTemp.path());
    for (const char *d : {"mixed", "mixed/sub", "pages", "colors", "other"})
      QVERIFY(root.mkpath(QString::fromLatin1(d)));
    FMixed = root.filePath("mixed");
    FPages = root.filePath("pages");
    FColors = root.filePath("colors");
    FOther = root.filePath("other");

    QVERIFY(WriteImage(FMixed + "/b.png", Qt::red));
    QVERIFY(WriteImage(FMixed + "/A.jpg", Qt::green));
    QVERIFY(WriteImage(FMixed + "/c.BMP", Qt::blue));
    QVERIFY(WriteImage(FMixed + "/D.TIF", Qt::yellow));
    QVERIFY(WriteImage(FMixed + "/e.JPEG", Qt::cyan));
    QVERIFY(WriteImage(FMixed + "/Mixed.PnG", Qt::magenta));
    QVERIFY(WriteBytes(FMixed + "/broken.png", "not a picture at all"));
    QVERIFY(WriteImage(FMixed + "/.hidden.png", Qt::black));
    QVERIFY(WriteImage(FMixed + "/sub/inner.png", Qt::black));
    QVERIFY(WriteImage(FMixed + "/sub.png.d.png", Qt::gray)); // a file, despite its name
    QVERIFY(WriteBytes(FMixed + "/clip.avi", "RIFF"));
    QVERIFY(WriteBytes(FMixed + "/movie.MPG", "video"));
    QVERIFY(WriteBytes(FMixed + "/notes.txt", "text"));
    QVERIFY(root.mkpath("mixed/folder.png")); // a folder with an image's name
    // Special files: a pipe and a link that leads nowhere.
    QCOMPARE(::mkfifo(QFile::encodeName(FMixed + "/pipe.png").constData(), 0600), 0);
    QVERIFY(QFile::link(FMixed + "/gone.png", FMixed + "/dangling.png"));

    for (int i = 1; i <= 12; ++i)
      QVERIFY(WriteImage(FPages + QStringLiteral("/IMG_%1.png").arg(i), NumberColor(i)));
    for (int i = 0; i < 40; ++i) {
      QVERIFY(WriteImage(colorFile(i), NumberColor(i), QSize(1200, 1600)));
      QVERIFY(WriteImage(FOther + QStringLiteral("/c%1.png").arg(i, 2, 10, QLatin1Char('0')), Qt::black));
    }
  }

  void poolHasEightThreads() {
    TThumbList list;
    QCOMPARE(list.ThreadPool().maxThreadCount(), 8);
  }

  void fillOrderAndFiltering() {
    TThumbList list;
    QSignalSpy select(&list, &TThumbList::ImageSelect);
    QCOMPARE(list.FillFromDirectory(FMixed), 8);
    const QStringList expected{"A.jpg", "b.png",  "broken.png", "c.BMP",
                               "D.TIF", "e.JPEG", "Mixed.PnG",  "sub.png.d.png"};
    QCOMPARE(fileNames(list), expected);
    QCOMPARE(bottomTexts(list), expected);
    QCOMPARE(list.ImageFileName(0), QDir(FMixed).absoluteFilePath("A.jpg"));
    for (int i = 0; i < list.ImageCount(); ++i)
      QCOMPARE(list.PictureState(i), TThumbState::OnDemand);
    QCOMPARE(list.SelectedImage(), 7);
    QCOMPARE(select.count(), 0);
  }

  void fillSortsWithoutRegardToCase() {
    TThumbList list;
    list.FillFromDirectory(FPages);
    QCOMPARE(fileNames(list),
             (QStringList{"IMG_1.png", "IMG_2.png", "IMG_3.png", "IMG_4.png", "IMG_5.png", "IMG_6.png", "IMG_7.png",
                          "IMG_8.png", "IMG_9.png", "IMG_10.png", "IMG_11.png", "IMG_12.png"}));
  }

  // The fill lists names as file managers do: without regard to case, runs
  // of digits by their value; names without digits as before.
  void fillSortsNumbersByValue_data() {
    QTest::addColumn<QStringList>("sorted"); // written in reverse, listed in this order
    QTest::newRow("scanned series") << QStringList{"page1.png",  "Page2.png",  "page3.png",
                                                   "page10.png", "PAGE11.png", "page12.png"};
    QTest::newRow("numbers inside and leading zeros")
        << QStringList{"a2b3.png", "a2b20.png", "a10b1.png", "scan 007.png", "scan 8.png", "scan 0010.png"};
    QTest::newRow("equal values") << QStringList{"x01.png", "X1.png", "x1.png"};
    QTest::newRow("longer than any integer")
        << QStringList{"n99999999999999999999.png", "n100000000000000000000.png", "n100000000000000000001.png"};
    QTest::newRow("no digits") << QStringList{"A b.png", "a_b.png", "ab.png", "Abc.png", "B-c.png", "b.png"};
    QTest::newRow("digits against letters") << QStringList{"a 1.png", "a1.png", "a9z.png", "a10.png", "ab.png"};
  }
  void fillSortsNumbersByValue() {
    QFETCH(QStringList, sorted);
    const QString dir = FTemp.filePath(QStringLiteral("natural-") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(dir));
    for (qsizetype i = sorted.size() - 1; i >= 0; --i)
      QVERIFY(WriteImage(dir + u'/' + sorted.at(i), Qt::red, QSize(4, 4)));
    TThumbList list;
    QCOMPARE(list.FillFromDirectory(dir), int(sorted.size()));
    QCOMPARE(fileNames(list), sorted);
  }

  void fillAppendsAndSelectsLastWithoutEvent() {
    TThumbList list;
    list.AppendImage(FPages + "/IMG_3.png");
    list.AppendImage(FPages + "/IMG_4.png");
    list.SetSelectedImage(0);
    QSignalSpy select(&list, &TThumbList::ImageSelect);
    QSignalSpy changed(&list, &TThumbList::SelectionChanged);
    list.FillFromDirectory(FPages);
    list.FillFromDirectory(FPages); // the same folder twice lists each image twice
    QCOMPARE(list.ImageCount(), 26);
    QCOMPARE(fileNames(list).mid(0, 3), (QStringList{"IMG_3.png", "IMG_4.png", "IMG_1.png"}));
    QCOMPARE(fileNames(list).at(14), QStringLiteral("IMG_1.png"));
    QCOMPARE(list.SelectedImage(), 25);
    QCOMPARE(select.count(), 0);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.last().at(0).toInt(), 25);
  }

  void fillLimitAndMissingFolder() {
    TThumbList list;
    QCOMPARE(list.FillFromDirectory(FPages, 3), 3);
    QCOMPARE(list.ImageCount(), 3);
    QCOMPARE(list.FillFromDirectory(FTemp.filePath("nowhere")), 0);
    QCOMPARE(list.ImageCount(), 3);
    TThumbList empty;
    QCOMPARE(empty.FillFromDirectory(FTemp.filePath("nowhere")), 0);
    QCOMPARE(empty.SelectedImage(), -1);
  }

  void fillAtOnceWhenNotOnDemand() {
    TThumbList list;
    list.FillFromDirectory(FMixed, -1, false);
    QCOMPARE(list.PictureState(0), TThumbState::Ready);
    QVERIFY(NearColor(CentreColor(list.Picture(0)), Qt::green));
    QCOMPARE(list.PictureState(2), TThumbState::Empty); // broken.png
  }

  void appendImage_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // written as they are; empty: a picture
    QTest::addColumn<bool>("readable");
    QTest::newRow("png") << "a.png" << QByteArray() << true;
    QTest::newRow("jpeg") << "a.jpg" << QByteArray() << true;
    QTest::newRow("bmp upper case") << "a.BMP" << QByteArray() << true;
    QTest::newRow("garbage") << "g.png" << QByteArray("garbage garbage") << false;
    QTest::newRow("empty file") << "e.png" << QByteArray("") << false;
    QTest::newRow("missing file") << "" << QByteArray() << false;
    QTest::newRow("too large") << "huge.png" << PngHeaderOnly(40000, 40000) << false;
  }
  void appendImage() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, readable);
    QTemporaryDir dir;
    QString path = dir.filePath(name.isEmpty() ? QStringLiteral("missing.png") : name);
    if (!name.isEmpty()) {
      if (bytes.isNull())
        QVERIFY(WriteImage(path, Qt::blue, QSize(400, 300)));
      else
        QVERIFY(WriteBytes(path, bytes));
    }
    TThumbList list;
    list.SetThumbWidth(180);
    list.SetThumbHeight(200);
    QSignalSpy select(&list, &TThumbList::ImageSelect);
    QSignalSpy changed(&list, &TThumbList::SelectionChanged);
    QCOMPARE(list.AppendImage(path), 0);
    QCOMPARE(list.ImageCount(), 1);
    QCOMPARE(list.ImageFileName(0), path);
    QCOMPARE(list.ImageBottomText(0), QString());
    QCOMPARE(list.PictureState(0), readable ? TThumbState::Ready : TThumbState::Empty);
    QCOMPARE(list.Picture(0).isNull(), !readable);
    if (readable) {
      QVERIFY(fitted(list.Picture(0).size(), QSize(180, 200))); // 400 x 300
      QCOMPARE(list.Picture(0).width(), 180);
      QVERIFY(NearColor(CentreColor(list.Picture(0)), Qt::blue));
    }
    QCOMPARE(list.SelectedImage(), -1);
    QCOMPARE(select.count() + changed.count(), 0);
  }

  void appendReturnsNewIndex() {
    TThumbList list;
    for (int i = 1; i <= 5; ++i)
      QCOMPARE(list.AppendImage(FPages + QStringLiteral("/IMG_%1.png").arg(i)), i - 1);
    QCOMPARE(list.AppendImage(FPages + "/IMG_6.png"), 5);
    list.SetImageBottomText(5, "IMG_6.png");
    QCOMPARE(list.ImageBottomText(5), QStringLiteral("IMG_6.png"));
    QCOMPARE(list.data(list.index(5), Qt::DisplayRole).toString(), QStringLiteral("IMG_6.png"));
  }

  void indexOutsideTheList() {
    TThumbList list;
    list.AppendImage(FPages + "/IMG_1.png");
    for (int idx : {-1, 1, 100}) {
      QCOMPARE(list.ImageFileName(idx), QString());
      QCOMPARE(list.ImageBottomText(idx), QString());
      QVERIFY(list.Picture(idx).isNull());
      list.SetImageFileName(idx, "x.png");
      list.SetImageBottomText(idx, "x");
      list.ReloadImage(idx);
      list.DeleteImage(idx);
      list.RequestPicture(idx);
      list.SelectByUser(idx);
    }
    QCOMPARE(list.ImageCount(), 1);
    QCOMPARE(list.SelectedImage(), -1);
    list.SetImageFileName(0, "other.png");
    QCOMPARE(list.ImageFileName(0), QStringLiteral("other.png"));
  }

  void selection() {
    TThumbList list;
    list.FillFromDirectory(FPages);
    QSignalSpy select(&list, &TThumbList::ImageSelect);
    list.SetSelectedImage(3);
    QCOMPARE(list.SelectedImage(), 3);
    QVERIFY(list.data(list.index(3), TThumbList::SelectedRole).toBool());
    QVERIFY(!list.data(list.index(11), TThumbList::SelectedRole).toBool());
    list.SetSelectedImage(12);
    QCOMPARE(list.SelectedImage(), -1);
    QCOMPARE(select.count(), 0);
    list.SelectByUser(4);
    list.SelectByUser(4);
    QCOMPARE(list.SelectedImage(), 4);
    QCOMPARE(select.count(), 2);
    QCOMPARE(select.at(0).at(0).toInt(), 4);
  }

  void deleteImage_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("removed");
    QTest::addColumn<int>("selected");    // afterwards
    QTest::addColumn<QString>("takesIt"); // the file of the selected entry afterwards
    QTest::newRow("third of five") << 5 << 2 << 2 << "IMG_4.png";
    QTest::newRow("last of five") << 5 << 4 << 3 << "IMG_4.png";
    QTest::newRow("first of five") << 5 << 0 << 0 << "IMG_2.png";
    QTest::newRow("the only one") << 1 << 0 << -1 << "";
  }
  void deleteImage() {
    QFETCH(int, count);
    QFETCH(int, removed);
    QFETCH(int, selected);
    QFETCH(QString, takesIt);
    TThumbList list;
    for (int i = 1; i <= count; ++i)
      list.AppendImage(FPages + QStringLiteral("/IMG_%1.png").arg(i));
    list.SetSelectedImage(removed);
    QSignalSpy select(&list, &TThumbList::ImageSelect);
    list.DeleteImage(removed);
    QCOMPARE(list.ImageCount(), count - 1);
    QCOMPARE(list.SelectedImage(), selected);
    QCOMPARE(QFileInfo(list.ImageFileName(selected)).fileName(), takesIt);
    QCOMPARE(select.count(), 0);
    QVERIFY(QFile::exists(FPages + QStringLiteral("/IMG_%1.png").arg(removed + 1)));
  }

  void clear() {
    TThumbList list;
    list.FillFromDirectory(FPages);
    QSignalSpy select(&list, &TThumbList::ImageSelect);
    list.Clear();
    QCOMPARE(list.ImageCount(), 0);
    QCOMPARE(list.SelectedImage(), -1);
    QCOMPARE(select.count(), 0);
    QCOMPARE(list.AppendImage(FPages + "/IMG_1.png"), 0);
  }

  void reloadShowsChangedFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("page.png");
    QVERIFY(WriteImage(path, Qt::red, QSize(200, 100)));
    TThumbList list;
    list.AppendImage(path);
    QVERIFY(NearColor(CentreColor(list.Picture(0)), Qt::red));
    QVERIFY(WriteImage(path, Qt::blue, QSize(100, 200)));
    QVERIFY(NearColor(CentreColor(list.Picture(0)), Qt::red)); // kept until reloaded
    QSignalSpy changed(&list, &TThumbList::dataChanged);
    list.ReloadImage(0);
    QVERIFY(NearColor(CentreColor(list.Picture(0)), Qt::blue));
    QCOMPARE(list.Picture(0).size().width() < list.Picture(0).size().height(), true);
    QCOMPARE(changed.count(), 1);
    QFile::remove(path);
    list.ReloadImage(0);
    QCOMPARE(list.PictureState(0), TThumbState::Empty);
    QVERIFY(list.Picture(0).isNull());
  }

  void onDemandPicturesComeFromThePool() {
    TThumbList list;
    list.SetThumbWidth(180);
    list.SetThumbHeight(200);
    list.FillFromDirectory(FColors);
    QTest::qWait(50); // nothing asked for: nothing is made
    for (int i = 0; i < list.ImageCount(); ++i)
      QCOMPARE(list.PictureState(i), TThumbState::OnDemand);
    QSignalSpy changed(&list, &TThumbList::dataChanged);
    for (int i : {3, 7, 8})
      list.RequestPicture(i);
    // Made on the worker threads: the request itself returns at once.
    QCOMPARE(list.PictureState(3), TThumbState::Loading);
    QVERIFY(list.Picture(3).isNull());
    QTRY_VERIFY(list.PictureState(3) == TThumbState::Ready && list.PictureState(7) == TThumbState::Ready &&
                list.PictureState(8) == TThumbState::Ready);
    for (int i : {3, 7, 8}) {
      QVERIFY(fitted(list.Picture(i).size(), QSize(180, 200)));
      QCOMPARE(list.Picture(i).height(), 200);
      QVERIFY(NearColor(CentreColor(list.Picture(i)), NumberColor(i)));
    }
    settle(list);
    QCOMPARE(changed.count(), 3);
    for (int i = 0; i < list.ImageCount(); ++i)
      if (i != 3 && i != 7 && i != 8)
        QCOMPARE(list.PictureState(i), TThumbState::OnDemand);
    list.RequestPicture(3); // made already: nothing more
    QCOMPARE(list.PictureState(3), TThumbState::Ready);
  }

  // Pictures beyond the budget are dropped, the farthest from those in view
  // first (the oldest while nothing is in view), and made again on request.
  void picturesStayWithinTheBudget() {
    TThumbList list;
    list.SetThumbWidth(180);
    list.SetThumbHeight(200);
    list.FillFromDirectory(FColors);
    list.RequestPicture(0);
    QTRY_COMPARE(list.PictureState(0), TThumbState::Ready);
    const qint64 one = list.Picture(0).sizeInBytes();
    QCOMPARE(list.PictureBytes(), one);
    list.SetPictureBudget(one * 5);
    for (int i = 1; i < 10; ++i)
      list.RequestPicture(i);
    settle(list);
    QCOMPARE(list.PictureBytes(), one * 5);
    for (int i = 0; i < 10; ++i)
      QCOMPARE(list.PictureState(i), i < 5 ? TThumbState::OnDemand : TThumbState::Ready);

    // Entries 20 to 22 in view: the farthest go first, and those in view stay
    // even when they alone take more than the budget.
    list.SetVisibleRange(20, 22);
    for (int i = 20; i <= 22; ++i)
      list.RequestPicture(i); // as the view does when it draws them
    settle(list);             // no room for neighbours: the three push out the farthest three
    QCOMPARE(list.PictureBytes(), one * 5);
    for (int i = 5; i <= 22; ++i)
      QCOMPARE(list.PictureState(i), (i >= 8 && i <= 9) || i >= 20 ? TThumbState::Ready : TThumbState::OnDemand);
    list.SetPictureBudget(one);
    QCOMPARE(list.PictureBytes(), one * 3);
    for (int i = 0; i < list.ImageCount(); ++i)
      QCOMPARE(list.PictureState(i), i >= 20 && i <= 22 ? TThumbState::Ready : TThumbState::OnDemand);

    // A dropped picture is made again when asked for.
    list.SetPictureBudget(TThumbList::DefaultPictureBudget);
    list.SetVisibleRange(7, 7);
    list.RequestPicture(7);
    QTRY_COMPARE(list.PictureState(7), TThumbState::Ready);
    QVERIFY(NearColor(CentreColor(list.Picture(7)), NumberColor(7)));
  }

  // A request whose entry is far from those in view when a worker takes it
  // up is passed over: nothing is decoded, and the entry is asked for anew
  // when it is drawn.
  void requestsFarFromViewArePassedOver() {
    TThumbList list;
    list.FillFromDirectory(FColors);
    list.SetVisibleRange(0, 1); // neighbours: up to entry 17
    settle(list);
    QSignalSpy changed(&list, &TThumbList::dataChanged);
    for (int i = 30; i < 40; ++i)
      list.RequestPicture(i);
    settle(list);
    for (int i = 30; i < 40; ++i) {
      QCOMPARE(list.PictureState(i), TThumbState::OnDemand);
      QVERIFY(list.Picture(i).isNull());
    }
    QCOMPARE(changed.count(), 10);
    list.SetVisibleRange(35, 36);
    list.RequestPicture(35);
    QTRY_COMPARE(list.PictureState(35), TThumbState::Ready);
    settle(list);
    QCOMPARE(list.PictureState(39), TThumbState::Ready); // a neighbour now
  }

  void unreadableOnDemandGivesEmptyPicture() {
    TThumbList list;
    list.FillFromDirectory(FMixed);
    list.RequestPicture(2); // broken.png
    QTRY_COMPARE(list.PictureState(2), TThumbState::Empty);
    QVERIFY(list.Picture(2).isNull());
  }

  void clearWhileLoading() {
    TThumbList list;
    list.FillFromDirectory(FColors);
    for (int i = 0; i < list.ImageCount(); ++i)
      list.RequestPicture(i);
    list.Clear();
    // The same file names in other colours, asked for nothing: no picture of
    // the first fill may land on them.
    list.FillFromDirectory(FOther);
    settle(list);
    for (int i = 0; i < list.ImageCount(); ++i) {
      QCOMPARE(list.PictureState(i), TThumbState::OnDemand);
      QVERIFY(list.Picture(i).isNull());
    }
  }

  void deleteRenameReloadWhileLoading() {
    TThumbList list;
    list.FillFromDirectory(FColors);
    for (int i = 0; i < list.ImageCount(); ++i)
      list.RequestPicture(i);
    for (int i : {30, 20, 10, 0})
      list.DeleteImage(i);
    // Entry 4 (c05) renamed to c39's file, entry 5 (c06) reloaded from c38's.
    list.SetImageFileName(4, colorFile(39));
    QVERIFY(QFile::copy(colorFile(38), FTemp.filePath("c06.png")));
    list.SetImageFileName(5, FTemp.filePath("c06.png"));
    list.ReloadImage(5);
    QCOMPARE(list.PictureState(5), TThumbState::Ready);
    list.RequestPicture(4);
    settle(list);
    QCOMPARE(list.ImageCount(), 36);
    for (int i = 0; i < list.ImageCount(); ++i) {
      QCOMPARE(list.PictureState(i), TThumbState::Ready);
      const int n = QFileInfo(list.ImageFileName(i)).baseName().mid(1).toInt();
      QVERIFY2(NearColor(CentreColor(list.Picture(i)), NumberColor(i == 5 ? 38 : n)), qPrintable(QString::number(i)));
    }
  }

  void destroyWhileLoading() {
    auto *list = new TThumbList;
    list->FillFromDirectory(FColors);
    for (int i = 0; i < list->ImageCount(); ++i)
      list->RequestPicture(i);
    delete list;
    QCoreApplication::processEvents();
  }

  void thumbSizeChangeMakesPicturesAnew() {
    TThumbList list;
    QSignalSpy sized(&list, &TThumbList::ThumbSizeChanged);
    list.AppendImage(colorFile(1));
    QVERIFY(fitted(list.Picture(0).size(), QSize(150, 150)));
    QCOMPARE(list.Picture(0).height(), 150);
    list.SetThumbWidth(180);
    list.SetThumbHeight(200);
    QCOMPARE(sized.count(), 2);
    QCOMPARE(list.PictureState(0), TThumbState::OnDemand);
    list.RequestPicture(0);
    QTRY_COMPARE(list.PictureState(0), TThumbState::Ready);
    QVERIFY(fitted(list.Picture(0).size(), QSize(180, 200)));
    QCOMPARE(list.Picture(0).height(), 200);
  }

  void normalStoreKeepsWholePicture() {
    TThumbList list;
    list.SetStoreType(ietNormal);
    list.AppendImage(colorFile(2));
    QCOMPARE(list.Picture(0).size(), QSize(1200, 1600));
  }
};

QTEST_MAIN(TestThumbList)
#include "tst_thumblist.moc"
