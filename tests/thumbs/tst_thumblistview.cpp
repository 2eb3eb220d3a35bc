#include "uThumbListView.h"
#include "uThumbTestFiles.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace ThumbTestFiles;

namespace {

QSet<int> setOf(const QList<int> &list) { return QSet<int>(list.cbegin(), list.cend()); }

} // namespace

class TestThumbListView : public QObject {
  Q_OBJECT
  QTemporaryDir FTemp;
  QString FSmall; // 30 small pictures n.png
  QString FLarge; // 60 pictures of 1200 x 1600

  // A shown view set up as the workspace sets it up.
  std::unique_ptr<TThumbListView> makeView(QSize size) {
    auto view = std::make_unique<TThumbListView>();
    view->List()->SetThumbWidth(180);
    view->List()->SetThumbHeight(200);
    view->SetGridWidth(-1);
    view->SetThumbnailsBackgroundSelected(QColor(0x00FF00));
    view->resize(size);
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get()))
      return nullptr;
    return view;
  }

  void click(TThumbListView &view, int idx) {
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.ImageRect(idx).center());
  }

  // Columns of the grid: the entries on the first row.
  static int columns(const TThumbListView &view) {
    int n = 0;
    while (n < view.List()->ImageCount() && view.ImageRect(n).top() == view.ImageRect(0).top())
      ++n;
    return n;
  }

private slots:
  void initTestCase() {
    QVERIFY(FTemp.isValid());
    QDir root(FTemp.path());
    QVERIFY(root.mkpath("small"));
    QVERIFY(root.mkpath("large"));
    FSmall = root.filePath("small");
    FLarge = root.filePath("large");
    for (int i = 0; i < 30; ++i)
      QVERIFY(WriteImage(FSmall + QStringLiteral("/%1.png").arg(i, 2, 10, QLatin1Char('0')), NumberColor(i)));
    for (int i = 0; i < 60; ++i)
      QVERIFY(WriteImage(FLarge + QStringLiteral("/%1.jpg").arg(i, 2, 10, QLatin1Char('0')), NumberColor(i),
                         QSize(1200, 1600)));
  }

  void asManyColumnsAsFit_data() {
    QTest::addColumn<int>("width");
    QTest::newRow("narrow") << 209;
    QTest::newRow("two") << 400;
    QTest::newRow("three") << 600;
    QTest::newRow("wide") << 980;
  }
  void asManyColumnsAsFit() {
    QFETCH(int, width);
    auto view = makeView(QSize(width, 500));
    QVERIFY(view);
    view->List()->FillFromDirectory(FSmall);
    QCoreApplication::processEvents();
    const int cell = 180 + TThumbListView::HorizBorder;
    const int expected = std::max(1, view->viewport()->width() / cell);
    QCOMPARE(columns(*view), expected);
    QCOMPARE(view->ImageRect(0).size(), QSize(180, 200));
    QCOMPARE(view->ImageRect(expected).top(), view->ImageRect(0).top() + 200 + TThumbListView::VertBorder);
    QVERIFY(view->ImageRect(expected).left() == view->ImageRect(0).left());
  }

  void fixedGridWidth() {
    auto view = makeView(QSize(980, 500));
    QVERIFY(view);
    view->List()->FillFromDirectory(FSmall);
    view->SetGridWidth(2);
    QCoreApplication::processEvents();
    QCOMPARE(columns(*view), 2);
    view->SetGridWidth(-1);
    QCoreApplication::processEvents();
    QCOMPARE(columns(*view), view->viewport()->width() / (180 + TThumbListView::HorizBorder));
  }

  void thumbSizeChangeLaysOutAgain() {
    auto view = makeView(QSize(980, 500));
    QVERIFY(view);
    view->List()->FillFromDirectory(FSmall);
    view->List()->SetSelectedImage(0);
    QCoreApplication::processEvents();
    view->List()->SetThumbWidth(120);
    view->List()->SetThumbHeight(150);
    QCoreApplication::processEvents();
    QCOMPARE(view->ImageRect(0).size(), QSize(120, 150));
    QCOMPARE(columns(*view), view->viewport()->width() / (120 + TThumbListView::HorizBorder));
    QTRY_COMPARE(view->List()->PictureState(0), TThumbState::Ready);
    QVERIFY(view->List()->Picture(0).width() <= 120);
  }

  void viewsComeAndGo() {
    TThumbList list;
    list.FillFromDirectory(FLarge);
    {
      TThumbListView first(&list);
      first.resize(400, 500);
      first.show();
      QVERIFY(QTest::qWaitForWindowExposed(&first));
      QTRY_VERIFY(list.PictureState(59) != TThumbState::OnDemand); // the last entry is selected and shown
    }
    QCOMPARE(list.ImageCount(), 60);
    list.SetSelectedImage(0);
    TThumbListView second(&list);
    QCOMPARE(second.List(), &list);
    second.resize(400, 500);
    second.show();
    QVERIFY(QTest::qWaitForWindowExposed(&second));
    QTRY_COMPARE(list.PictureState(0), TThumbState::Ready);
    // A view of its own list goes while its pictures are being made.
    auto *own = new TThumbListView;
    own->List()->FillFromDirectory(FLarge);
    own->resize(980, 660);
    own->show();
    QTRY_VERIFY(own->List()->PictureState(59) != TThumbState::OnDemand);
    delete own;
    QCoreApplication::processEvents();
  }

  void clickRaisesImageSelectOnce() {
    auto view = makeView(QSize(400, 500));
    QVERIFY(view);
    TThumbList *list = view->List();
    list->FillFromDirectory(FSmall);
    QSignalSpy select(list, &TThumbList::ImageSelect);
    list->SetSelectedImage(0);
    QCOMPARE(select.count(), 0);
    click(*view, 1);
    QCOMPARE(select.count(), 1);
    QCOMPARE(select.at(0).at(0).toInt(), 1);
    QCOMPARE(list->SelectedImage(), 1);
    click(*view, 1); // the selected one again: the user picked it again
    QCOMPARE(select.count(), 2);
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, view->ImageRect(2).center());
    QCOMPARE(select.count(), 2);
    QCOMPARE(list->SelectedImage(), 1);
    // Between two cells: no entry, nothing happens.
    const QRect r = view->ImageRect(0);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(r.right() + 2, r.center().y()));
    QCOMPARE(select.count(), 2);
    QCOMPARE(list->SelectedImage(), 1);
  }

  void keyboardRaisesImageSelect_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("to"); // -1: columns(view) further; -2: the last
    QTest::newRow("right") << 0 << int(Qt::Key_Right) << 1;
    QTest::newRow("left") << 3 << int(Qt::Key_Left) << 2;
    QTest::newRow("down") << 0 << int(Qt::Key_Down) << -1;
    QTest::newRow("end") << 0 << int(Qt::Key_End) << -2;
    QTest::newRow("home") << 7 << int(Qt::Key_Home) << 0;
  }
  void keyboardRaisesImageSelect() {
    QFETCH(int, from);
    QFETCH(int, key);
    QFETCH(int, to);
    auto view = makeView(QSize(400, 500));
    QVERIFY(view);
    TThumbList *list = view->List();
    list->FillFromDirectory(FSmall);
    list->SetSelectedImage(from);
    view->setFocus();
    QCoreApplication::processEvents();
    if (to == -1)
      to = from + columns(*view);
    if (to == -2)
      to = list->ImageCount() - 1;
    QSignalSpy select(list, &TThumbList::ImageSelect);
    QTest::keyClick(view.get(), Qt::Key(key));
    QCOMPARE(select.count(), 1);
    QCOMPARE(select.at(0).at(0).toInt(), to);
    QCOMPARE(list->SelectedImage(), to);
    QVERIFY(view->ImageRect(to).intersects(view->viewport()->rect()));
  }

  void keyThatDoesNotMoveRaisesNothing() {
    auto view = makeView(QSize(400, 500));
    QVERIFY(view);
    TThumbList *list = view->List();
    list->FillFromDirectory(FSmall);
    list->SetSelectedImage(0);
    view->setFocus();
    QSignalSpy select(list, &TThumbList::ImageSelect);
    QTest::keyClick(view.get(), Qt::Key_Home);
    QTest::keyClick(view.get(), Qt::Key_Up);
    QCOMPARE(select.count(), 0);
    QCOMPARE(list->SelectedImage(), 0);
  }

  void programSelectionFollowedWithoutEvent() {
    auto view = makeView(QSize(400, 500));
    QVERIFY(view);
    TThumbList *list = view->List();
    QSignalSpy select(list, &TThumbList::ImageSelect);
    list->FillFromDirectory(FSmall); // selects the last entry
    QCoreApplication::processEvents();
    QVERIFY(view->ImageRect(29).intersects(view->viewport()->rect()));
    QCOMPARE(view->currentIndex().row(), 29);
    list->SetSelectedImage(0);
    QCoreApplication::processEvents();
    QVERIFY(view->ImageRect(0).intersects(view->viewport()->rect()));
    list->DeleteImage(0);
    QCOMPARE(view->currentIndex().row(), 0);
    QCOMPARE(select.count(), 0);
    // The keyboard goes on from the selection the program made.
    view->setFocus();
    QTest::keyClick(view.get(), Qt::Key_Right);
    QCOMPARE(list->SelectedImage(), 1);
  }

  void drawsSelectedBackgroundAndCaptions() {
    auto view = makeView(QSize(400, 500));
    QVERIFY(view);
    TThumbList *list = view->List();
    list->AppendImage(FSmall + "/00.png");
    list->AppendImage(FSmall + "/01.png");
    list->SetImageBottomText(0, "00.png");
    list->SetSelectedImage(0);
    QCoreApplication::processEvents();
    const QImage shot = view->viewport()->grab().toImage();
    const qreal dpr = shot.devicePixelRatio();
    auto at = [&](QPoint p) { return shot.pixelColor((QPointF(p) * dpr).toPoint()); };
    // Inside the cell, outside the selection frame and the picture.
    const QPoint corner(3, 3);
    QCOMPARE(at(view->ImageRect(0).topLeft() + corner), QColor(0x00FF00));
    QCOMPARE(at(view->ImageRect(1).topLeft() + corner), view->ThumbnailsBackground());
    QVERIFY(NearColor(at(view->PictureRect(0).center()), NumberColor(0), 8));
    QVERIFY(NearColor(at(view->PictureRect(1).center()), NumberColor(1), 8));
    // A caption under the first picture, none under the second.
    auto inkIn = [&](const QRect &r, QColor background) {
      int ink = 0;
      for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
          if (at(QPoint(x, y)) != background)
            ++ink;
      return ink;
    };
    QVERIFY(view->CaptionRect(0).top() > view->PictureRect(0).bottom());
    QVERIFY(inkIn(view->CaptionRect(0).adjusted(3, 0, -3, -3), QColor(0x00FF00)) > 10);
    QCOMPARE(inkIn(view->CaptionRect(1), view->ThumbnailsBackground()), 0);
  }

  // The cross pattern: thin horizontal and vertical lines at an even spacing
  // in a darker shade of the cell's colour, in every cell alike; none when
  // the background is solid.
  void cellBackgroundPattern_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<bool>("selected");
    QTest::newRow("solid") << int(iebsSolid) << false;
    QTest::newRow("cross") << int(iebsCross) << false;
    QTest::newRow("cross, selected") << int(iebsCross) << true;
  }
  void cellBackgroundPattern() {
    QFETCH(int, style);
    QFETCH(bool, selected);
    auto view = makeView(QSize(400, 500));
    QVERIFY(view);
    view->SetThumbnailsBackgroundStyle(TIEBackgroundStyle(style));
    TThumbList *list = view->List();
    list->AppendImage(FTemp.filePath("missing-a.png")); // entries without a picture
    list->AppendImage(FTemp.filePath("missing-b.png"));
    if (selected)
      list->SetSelectedImage(1);
    QCoreApplication::processEvents();
    const QImage shot = view->viewport()->grab().toImage();
    const qreal dpr = shot.devicePixelRatio();
    auto at = [&](int x, int y) { return shot.pixel((QPointF(x, y) * dpr).toPoint()); };
    const QRgb background = (selected ? QColor(0x00FF00) : view->ThumbnailsBackground()).rgb();
    const QRgb line = QColor(background).darker(115).rgb();

    const QRect box = view->PictureRect(1).adjusted(4, 4, -4, -4); // clear of the selection frame
    QList<int> lineRows, lineColumns;
    int other = 0;
    for (int y = box.top(); y <= box.bottom(); ++y) {
      int inRow = 0;
      for (int x = box.left(); x <= box.right(); ++x) {
        const QRgb c = at(x, y);
        if (c == line)
          ++inRow;
        else if (c != background)
          ++other;
      }
      if (inRow == box.width())
        lineRows.append(y);
    }
    for (int x = box.left(); x <= box.right(); ++x) {
      int inColumn = 0;
      for (int y = box.top(); y <= box.bottom(); ++y)
        inColumn += at(x, y) == line ? 1 : 0;
      if (inColumn == box.height())
        lineColumns.append(x);
    }
    QCOMPARE(other, 0);
    if (style == iebsSolid) {
      QVERIFY(lineRows.isEmpty());
      QVERIFY(lineColumns.isEmpty());
      return;
    }
    QVERIFY(lineRows.size() >= 3);
    QVERIFY(lineColumns.size() >= 3);
    const int step = lineRows.at(1) - lineRows.at(0);
    QVERIFY(step >= 4);
    for (int i = 1; i < lineRows.size(); ++i)
      QCOMPARE(lineRows.at(i) - lineRows.at(i - 1), step);
    for (int i = 1; i < lineColumns.size(); ++i)
      QCOMPARE(lineColumns.at(i) - lineColumns.at(i - 1), step);
    // The same pattern in the other cell, at the same place within it.
    const QPoint offset = view->ImageRect(0).topLeft() - view->ImageRect(1).topLeft();
    const QRgb otherLine = selected ? view->ThumbnailsBackground().darker(115).rgb() : line;
    QCOMPARE(at(lineColumns.first() + offset.x(), lineRows.first() + offset.y() + 1), otherLine);
  }

  void onlyVisibleEntriesAndTheirNeighboursLoad() {
    auto view = makeView(QSize(400, 500));
    QVERIFY(view);
    TThumbList *list = view->List();
    list->FillFromDirectory(FLarge);
    list->SetSelectedImage(0); // as the workspace does after a folder import
    const QSet<int> visible = setOf(view->VisibleImages());
    QVERIFY(!visible.isEmpty());
    QVERIFY(visible.size() < 12);
    QVERIFY(visible.contains(0));
    QTRY_VERIFY(std::all_of(visible.cbegin(), visible.cend(),
                            [&](int i) { return list->PictureState(i) == TThumbState::Ready; }));
    // The neighbours after them come too; the rest waits until it is in view.
    const int last = *std::max_element(visible.cbegin(), visible.cend());
    const int neighbours = std::max(int(visible.size()), TThumbList::MinNeighbours);
    QTRY_VERIFY(list->PictureState(last + neighbours) == TThumbState::Ready);
    QTRY_COMPARE(list->ThreadPool().activeThreadCount(), 0);
    QCoreApplication::processEvents();
    for (int i = last + neighbours + 1; i < list->ImageCount(); ++i)
      QCOMPARE(list->PictureState(i), TThumbState::OnDemand);
    for (int i : visible)
      QVERIFY(NearColor(CentreColor(list->Picture(i)), NumberColor(i)));
    // Scrolled to the end: the last ones come now.
    view->scrollToBottom();
    QTRY_COMPARE(list->PictureState(59), TThumbState::Ready);
    QVERIFY(NearColor(CentreColor(list->Picture(59)), NumberColor(59)));
  }

  // Scrolled from end to end with a budget of a few screens: the pictures
  // kept stay within it, those in view are always there, and the ones
  // dropped come back when they are in view again.
  void scrollingStaysWithinTheBudget() {
    auto view = makeView(QSize(400, 500));
    QVERIFY(view);
    TThumbList *list = view->List();
    list->FillFromDirectory(FLarge);
    const QList<int> first = view->VisibleImages();
    QTRY_VERIFY(list->PictureState(first.last()) == TThumbState::Ready);
    const qint64 picture = list->Picture(first.first()).sizeInBytes();
    list->SetPictureBudget(picture * 24);
    QScrollBar *bar = view->verticalScrollBar();
    for (int value = 0; value <= bar->maximum(); value += view->viewport()->height() / 2) {
      bar->setValue(value);
      QCoreApplication::processEvents();
      const QList<int> visible = view->VisibleImages();
      QTRY_VERIFY(std::all_of(visible.cbegin(), visible.cend(),
                              [&](int i) { return list->PictureState(i) == TThumbState::Ready; }));
      QVERIFY(list->PictureBytes() <= list->PictureBudget());
      for (int i : visible)
        QVERIFY(NearColor(CentreColor(list->Picture(i)), NumberColor(i)));
    }
    QTRY_COMPARE(list->ThreadPool().activeThreadCount(), 0);
    QCoreApplication::processEvents();
    QVERIFY(list->PictureBytes() <= list->PictureBudget());
    QCOMPARE(list->PictureState(0), TThumbState::OnDemand); // dropped, the farthest from the end
    QVERIFY(list->Picture(0).isNull());
    view->scrollToTop();
    QTRY_COMPARE(list->PictureState(0), TThumbState::Ready);
    QVERIFY(NearColor(CentreColor(list->Picture(0)), NumberColor(0)));
    QCOMPARE(list->PictureState(59), TThumbState::OnDemand);
  }

  void clearWhileLoadingIsSafe() {
    auto view = makeView(QSize(980, 660));
    QVERIFY(view);
    TThumbList *list = view->List();
    for (int round = 0; round < 5; ++round) {
      list->FillFromDirectory(FLarge);
      list->SetSelectedImage(round * 10);
      QTRY_VERIFY(list->PictureState(round * 10) != TThumbState::OnDemand);
      if (round % 2)
        list->DeleteImage(round * 10);
      list->Clear();
      QCoreApplication::processEvents();
    }
    list->FillFromDirectory(FSmall);
    list->SetSelectedImage(0);
    QTRY_COMPARE(list->PictureState(0), TThumbState::Ready);
    QTRY_COMPARE(list->ThreadPool().activeThreadCount(), 0);
    QCoreApplication::processEvents();
    for (int i : view->VisibleImages())
      QVERIFY(NearColor(CentreColor(list->Picture(i)), NumberColor(i)));
  }
};

QTEST_MAIN(TestThumbListView)
#include "tst_thumblistview.moc"
