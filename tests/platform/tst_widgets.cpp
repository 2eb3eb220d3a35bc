#include "uAlertWindow.h"
#include "uBevel.h"
#include "uDMMain.h"
#include "uImageSlider.h"
#include "uLangText.h"
#include "uPageControl.h"
#include "uPanel.h"
#include "uSplitter.h"
#include "uStatusBar.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

class TestWidgets : public QObject {
  Q_OBJECT

private slots:
  void pageControlWithHiddenTabs() {
    TPageControl pc;
    TTabSheet *tsOCR = pc.AddSheet("tsOCR");
    auto *tsGuide = new TTabSheet(&pc, "tsGuide");
    tsGuide->SetImageIndex(3);
    QCOMPARE(pc.PageCount(), 2);
    QCOMPARE(pc.ActivePage(), tsOCR);
    QCOMPARE(tsGuide->PageIndex(), 1);
    QCOMPARE(tsGuide->property("ImageIndex").toInt(), 3);
    pc.SetHideTabs(true);
    pc.resize(400, 300);
    pc.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pc));
    QVERIFY(!pc.TabBar()->isVisible());
    QSignalSpy change(&pc, &TPageControl::Change);
    pc.SetActivePage(tsGuide);
    QCOMPARE(change.count(), 1);
    QVERIFY(tsGuide->isVisible() && !tsOCR->isVisible());
    QCOMPARE(tsGuide->size(), pc.size()); // no tab row takes room
    pc.SetActivePageIndex(0);
    QCOMPARE(pc.ActivePage(), tsOCR);
    pc.SetActivePageIndex(7);
    QCOMPARE(pc.ActivePageIndex(), 0);
    QCOMPARE(change.count(), 2);
    pc.SetHideTabs(false);
    QVERIFY(pc.TabBar()->isVisible());
  }

  void splitterResizesItsControl_data() {
    QTest::addColumn<int>("side");
    QTest::addColumn<QPoint>("drag");
    QTest::addColumn<int>("expected");
    QTest::newRow("left, dragged right") << int(salLeft) << QPoint(40, 5) << 249;
    QTest::newRow("left, dragged left") << int(salLeft) << QPoint(-60, 0) << 149;
    QTest::newRow("left, not below the least size") << int(salLeft) << QPoint(-500, 0) << 30;
    QTest::newRow("bottom, dragged up") << int(salBottom) << QPoint(3, -30) << 230;
    QTest::newRow("bottom, dragged down") << int(salBottom) << QPoint(0, 50) << 150;
  }
  void splitterResizesItsControl() {
    QFETCH(int, side);
    QFETCH(QPoint, drag);
    QFETCH(int, expected);
    const auto align = static_cast<TSplitterAlign>(side);
    QWidget host;
    host.resize(640, 600);
    auto *control = new QWidget(&host);
    auto *rest = new QWidget(&host);
    auto *split = new TSplitter(&host);
    split->SetAlignSplitter(align);
    split->SetControl(control);
    QBoxLayout *box;
    if (align == salLeft) {
      box = new QHBoxLayout(&host);
      control->setFixedWidth(209);
      box->addWidget(control);
      box->addWidget(split);
      box->addWidget(rest, 1);
    } else {
      box = new QVBoxLayout(&host);
      control->setFixedHeight(200);
      box->addWidget(rest, 1);
      box->addWidget(split);
      box->addWidget(control);
    }
    box->setContentsMargins(0, 0, 0, 0);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QCOMPARE(align == salLeft ? split->width() : split->height(), 12);

    QSignalSpy moved(split, &TSplitter::Moved);
    const QPoint start(6, 6);
    QTest::mousePress(split, Qt::LeftButton, {}, start);
    QTest::mouseMove(split, start + drag / 2);
    QTest::mouseMove(split, start + drag);
    QTest::mouseRelease(split, Qt::LeftButton, {}, start + drag);
    QCOMPARE(align == salLeft ? control->width() : control->height(), expected);
    QVERIFY(!moved.isEmpty());
    QCOMPARE(moved.last().first().toInt(), expected);

    split->hide();
    QVERIFY(!split->isVisible());
    split->show();
    QVERIFY(split->isVisible());
  }

  void statusPanels() {
    TStatusBar status;
    QCOMPARE(status.AddPanel(600), 0);
    QCOMPARE(status.AddPanel(200), 1);
    status.resize(980, 24);
    status.show();
    QVERIFY(QTest::qWaitForWindowExposed(&status));
    QCOMPARE(status.PanelWidth(0), 600);
    QCOMPARE(status.PanelWidth(1), 200);
    status.SetPanelText(0, "3 images: /tmp/a.png");
    status.SetPanelText(5, "nowhere"); // no such panel: nothing happens
    QCOMPARE(status.PanelText(0), QStringLiteral("3 images: /tmp/a.png"));
    QCOMPARE(status.PanelText(1), QString());
    QVERIFY(status.PanelControl(1)->x() >= status.PanelControl(0)->geometry().right());
  }

  void alertWindowShowsAndHidesItself() {
    TAlertWindowManager alerts;
    alerts.SetDisplayTime(300);
    TAlertWindow *w = alerts.Show("Capture running", "Finish the capture first", -1);
    // Shown, not modal, the call has returned.
    QVERIFY(w && w->isVisible());
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(alerts.LastWindow(), w);
    QCOMPARE(w->Caption(), QStringLiteral("Capture running"));
    QCOMPARE(w->Text(), QStringLiteral("Finish the capture first"));
    QCOMPARE(w->CaptionLabel()->font().family(), QStringLiteral("Tahoma"));
    QCOMPARE(w->CaptionLabel()->font().pointSize(), 10);
    QVERIFY(w->CaptionLabel()->font().bold());
    QCOMPARE(w->TextLabel()->font().family(), QStringLiteral("Tahoma"));
    QCOMPARE(w->TextLabel()->font().pointSize(), 8);
    QVERIFY(w->findChildren<QAbstractButton *>().isEmpty());
    QVERIFY(!w->testAttribute(Qt::WA_QuitOnClose));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(area.contains(w->frameGeometry()));
    QVERIFY(w->frameGeometry().right() > area.center().x());
    QVERIFY(w->frameGeometry().bottom() > area.center().y());

    TAlertWindow *second = alerts.Show("Again", "text", -1);
    QVERIFY(second->geometry().bottom() < w->geometry().top()); // stacked above the first
    QTRY_VERIFY_WITH_TIMEOUT(alerts.WindowCount() == 0, 10000);
    QVERIFY(!alerts.LastWindow());
  }

  void imageSliderSteps() {
    TImageSlider slider;
    QSignalSpy changed(&slider, &TImageSlider::ItemIndexChanged);
    QCOMPARE(slider.ItemIndex(), -1);
    QVERIFY(!slider.GoToNextImage());
    for (QColor c : {QColor(Qt::red), QColor(Qt::green), QColor(Qt::blue)}) {
      QImage img(640, 400, QImage::Format_RGB32);
      img.fill(c);
      slider.AddImage(img);
    }
    QCOMPARE(slider.ImageCount(), 3);
    QCOMPARE(slider.ItemIndex(), 0);
    slider.resize(800, 500);
    slider.show();
    QVERIFY(QTest::qWaitForWindowExposed(&slider));
    QVERIFY(!slider.PrevButton()->isEnabled());
    QVERIFY(!slider.GoToPrevImage());

    QTest::mouseClick(slider.NextButton(), Qt::LeftButton);
    QCOMPARE(slider.ItemIndex(), 1);
    QVERIFY(slider.GoToNextImage());
    QVERIFY(!slider.GoToNextImage());
    QCOMPARE(slider.ItemIndex(), 2);
    QVERIFY(!slider.NextButton()->isEnabled());
    QTest::mouseClick(&slider, Qt::LeftButton, {}, slider.DotRect(0).center());
    QCOMPARE(slider.ItemIndex(), 0);
    QTest::keyClick(&slider, Qt::Key_Right);
    QCOMPARE(slider.ItemIndex(), 1);
    QCOMPARE(changed.count(), 5); // 0 on the first picture, then 1, 2, 0, 1

    slider.SetLoopSlide(true);
    slider.SetItemIndex(2);
    QVERIFY(slider.GoToNextImage());
    QCOMPARE(slider.ItemIndex(), 0);
    // The picture fits the room and is never enlarged.
    QVERIFY(slider.ImageRect().width() <= 640 && slider.rect().contains(slider.ImageRect()));
    QCOMPARE(slider.grab().toImage().pixelColor(slider.ImageRect().center()), QColor(Qt::red));
  }

  void panelCaptionIsTranslatedAndBevelIsThin() {
    QStringList table{"pnlInfo=Writing the pages ..."};
    LangList = &table;
    TPanel panel(nullptr, "pnlInfo");
    panel.SetCaption("pnlInfo");
    TranslateComponent(&panel);
    LangList = nullptr;
    QCOMPARE(panel.Caption(), QStringLiteral("Writing the pages ..."));
    QWidget host;
    auto *box = new QVBoxLayout(&host);
    auto *line = new TBevel(&host);
    auto *upright = new TBevel(&host, Qt::Vertical);
    box->addWidget(line);
    box->addWidget(upright);
    host.resize(489, 100);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QCOMPARE(line->height(), 1);
    QVERIFY(line->width() > 400);
    QCOMPARE(upright->width(), 1);
  }
};

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
