#include "uBarDockControl.h"
#include "uBars.h"
#include "uDMMain.h"
#include "uEditRepository.h"
#include "uLangText.h"
#include "uRibbon.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>

namespace {

// A button kind of a window's own, derived from the large button.
class TMyLargeButton : public TBarLargeButton {
  Q_OBJECT
public:
  using TBarLargeButton::TBarLargeButton;
};

QIcon someIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::darkCyan);
  return QIcon(pixmap);
}

QToolButton *onlyButton(TBarItem *item) {
  const QList<QWidget *> controls = item->LinkControls();
  return controls.size() == 1 ? qobject_cast<QToolButton *>(controls.first()) : nullptr;
}

// The texts that a control shows to the user (labels that are not hidden).
QStringList shownLabels(QWidget *control) {
  QStringList texts;
  for (QLabel *l : control->findChildren<QLabel *>())
    if (!l->isHidden())
      texts.append(l->text());
  return texts;
}

// A window with a ribbon like the main one: one tab, two groups and a
// quick-access toolbar, every kind of item once.
struct TRibbonWindow {
  QWidget host;
  TBarManager *mgr = new TBarManager(&host);
  TRibbon *ribbon = new TRibbon(&host);
  TRibbonTab *tabOCR = ribbon->AddTab("rbnTabOCR");
  TRibbonTab *tabEdit = ribbon->AddTab("rbnTabEditImage");
  TBar *barSource = new TBar(mgr, "barSource");
  TBar *barOCR = new TBar(mgr, "barOCR");
  TBar *quick = new TBar(mgr, "dxBarManager1Bar1");
  QAction actCapture{"actCapture"}, actImportPDF{"actSrc_ImportPDF"}, actRecSel{"actRec_Sel"},
      actCustomHotKey{"actCustomHotKey"};
  TBarSubItem *capture = new TBarSubItem(mgr, "barItemCapture");
  TBarButton *btn6 = new TBarButton(mgr, "btn6", &actCapture);
  TBarLargeButton *btn2 = new TBarLargeButton(mgr, "btn2", &actImportPDF);
  TMyLargeButton *btn8 = new TMyLargeButton(mgr, "btn8", &actRecSel);
  TBarComboBoxItem *lang = new TBarComboBoxItem(mgr, "barItemLang");
  TBarTrackBarItem *bright = new TBarTrackBarItem(mgr, "baritemTrackBright");
  TBarRadioGroupItem *mouseMode = new TBarRadioGroupItem(mgr, "barItemMouseMode");
  TBarLabelItem *lblHotkey = new TBarLabelItem(mgr, "baritemlblCustomHotkey");
  TBarButton *btn40 = new TBarButton(mgr, "btn40", &actCustomHotKey);

  TRibbonWindow() {
    auto *box = new QVBoxLayout(&host);
    box->addWidget(ribbon);
    box->addStretch(1);
    capture->AddLink(btn6);
    barSource->AddLink(capture);
    barSource->AddLink(btn2, true);
    barOCR->AddLink(lang);
    barOCR->AddLink(btn8, true);
    barOCR->AddLink(bright, true);
    barOCR->AddLink(mouseMode);
    tabOCR->AddGroup(barSource);
    tabOCR->AddGroup(barOCR);
    quick->AddLink(lblHotkey);
    quick->AddLink(btn40);
    ribbon->SetQuickAccessToolbar(quick);
    mouseMode->AddItem("pan", 0);
    mouseMode->AddItem("select", 1);
  }
};

} // namespace

class TestBars : public QObject {
  Q_OBJECT
  QStringList table;

private slots:
  void init() {
    table = QStringList{
        "rbnTabOCR=Recognise",   "barSource=Sources",           "dxBarManager1Bar1=Quick",
        "barItemCapture=Grab",   "barItemLang=Language",        "baritemTrackBright=Brightness",
        "barItemMouseMode=Mode", "baritemlblCustomHotkey=Keys", "btn2=never shown",
        "btn8=never shown",      "btn40=never shown",           "btn6=never shown",
    };
    LangList = &table;
  }
  void cleanup() { LangList = nullptr; }

  void buttonKinds_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("button");
    QTest::newRow("small button") << "btn6" << true;
    QTest::newRow("large button") << "btn2" << true;
    QTest::newRow("derived large button") << "btn8" << true;
    QTest::newRow("sub-menu") << "barItemCapture" << false;
    QTest::newRow("combo box") << "barItemLang" << false;
    QTest::newRow("track bar") << "baritemTrackBright" << false;
    QTest::newRow("radio group") << "barItemMouseMode" << false;
    QTest::newRow("label") << "baritemlblCustomHotkey" << false;
  }
  void buttonKinds() {
    QFETCH(QString, name);
    QFETCH(bool, button);
    TRibbonWindow w;
    TBarItem *item = w.mgr->FindItem(name);
    QVERIFY(item);
    QCOMPARE(IsBarButtonKind(item), button);
  }

  void managerKeepsCreationOrder() {
    TRibbonWindow w;
    QStringList names;
    for (int i = 0; i < w.mgr->ItemCount(); ++i)
      names.append(w.mgr->Items(i)->objectName());
    QCOMPARE(names, (QStringList{"barItemCapture", "btn6", "btn2", "btn8", "barItemLang", "baritemTrackBright",
                                 "barItemMouseMode", "baritemlblCustomHotkey", "btn40"}));
    QCOMPARE(w.mgr->BarCount(), 3);
    QCOMPARE(w.mgr->Bars(2), w.quick);
    delete w.bright;
    QCOMPARE(w.mgr->ItemCount(), 8);
    QVERIFY(!w.mgr->FindItem("baritemTrackBright"));
  }

  // The main window's pass: tabs, bars, then every item that is no button.
  void translationPassFindsCaptionsAndLeavesButtons() {
    TRibbonWindow w;
    for (int i = 0; i < w.ribbon->TabCount(); ++i)
      TranslateComponent(w.ribbon->Tabs(i));
    for (int i = 0; i < w.mgr->BarCount(); ++i)
      TranslateComponent(w.mgr->Bars(i));
    for (int i = 0; i < w.mgr->ItemCount(); ++i)
      if (!IsBarButtonKind(w.mgr->Items(i)))
        TranslateComponent(w.mgr->Items(i));

    QCOMPARE(w.tabOCR->Caption(), QStringLiteral("Recognise"));
    QCOMPARE(w.ribbon->TabBar()->tabText(0), QStringLiteral("Recognise"));
    QCOMPARE(w.tabEdit->Caption(), QStringLiteral("rbnTabEditImage")); // no line: the design text stays
    QCOMPARE(w.barSource->Caption(), QStringLiteral("Sources"));
    QWidget *group = w.ribbon->GroupControl(w.tabOCR, w.barSource);
    QVERIFY(group);
    QCOMPARE(group->findChild<QLabel *>("groupCaption")->text(), QStringLiteral("Sources"));
    QCOMPARE(w.quick->Caption(), QStringLiteral("Quick"));
    QCOMPARE(onlyButton(w.capture)->text(), QStringLiteral("Grab"));
    QCOMPARE(shownLabels(w.lang->LinkControls().first()), QStringList{"Language"});
    QCOMPARE(shownLabels(w.bright->LinkControls().first()), QStringList{"Brightness"});
    QCOMPARE(shownLabels(w.mouseMode->LinkControls().first()), QStringList{"Mode"});
    QCOMPARE(shownLabels(w.lblHotkey->LinkControls().first()), QStringList{"Keys"});
    // Buttons keep their actions' captions.
    QCOMPARE(w.btn2->Caption(), QStringLiteral("actSrc_ImportPDF"));
    QCOMPARE(w.btn8->Caption(), QStringLiteral("actRec_Sel"));
    QCOMPARE(w.btn40->Caption(), QStringLiteral("actCustomHotKey"));
    QCOMPARE(w.btn6->Caption(), QStringLiteral("actCapture"));
  }

  void buttonFollowsItsAction_data() {
    QTest::addColumn<bool>("large");
    QTest::newRow("small") << false;
    QTest::newRow("large") << true;
  }
  void buttonFollowsItsAction() {
    QFETCH(bool, large);
    QWidget host;
    auto *box = new QVBoxLayout(&host);
    TBarManager mgr;
    TBar *bar = new TBar(&mgr, "barOCR");
    QAction act("Read text");
    act.setIcon(someIcon());
    TBarButton *button = large ? new TBarLargeButton(&mgr, "btn8", &act) : new TBarButton(&mgr, "btn8", &act);
    button->SetPaintStyle(psCaptionGlyph);
    bar->AddLink(button);
    TRibbon ribbon;
    ribbon.AddTab("rbnTabOCR")->AddGroup(bar);
    box->addWidget(&ribbon);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    QToolButton *control = onlyButton(button);
    QVERIFY(control);
    QCOMPARE(control->iconSize(), large ? QSize(32, 32) : QSize(16, 16));
    QCOMPARE(control->toolButtonStyle(), large ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonTextBesideIcon);
    QCOMPARE(control->text(), QStringLiteral("Read text"));
    act.setText("Recognise");
    QCOMPARE(button->Caption(), QStringLiteral("Recognise"));
    QCOMPARE(control->text(), QStringLiteral("Recognise"));

    QSignalSpy triggered(&act, &QAction::triggered);
    QTest::mouseClick(control, Qt::LeftButton);
    QCOMPARE(triggered.count(), 1);

    act.setEnabled(false);
    QVERIFY(!control->isEnabled());
    button->Click();
    QCOMPARE(triggered.count(), 1);
    act.setEnabled(true);

    act.setVisible(false);
    QVERIFY(!control->isVisible());
    QCOMPARE(button->Visible(), ivNever);
    act.setVisible(true);
    QVERIFY(control->isVisible());
  }

  // The same action's button on the bars "Raw" and "Result".
  void hidingAnActionHidesItOnBothBars() {
    QWidget host;
    auto *box = new QVBoxLayout(&host);
    TBarManager mgr;
    QAction fit("actRaw_FitWidth"), clear("actResult_Clear");
    auto *btn4 = new TBarButton(&mgr, "btn4", &fit);
    auto *btn6 = new TBarButton(&mgr, "btn6", &clear);
    auto *raw = new TBar(&mgr, "barMgrOCRBar2");
    auto *result = new TBar(&mgr, "barMgrOCRBar3");
    raw->AddLink(btn4);
    raw->AddLink(btn6, true);
    result->AddLink(btn6);
    auto *dockRaw = new TBarDockControl(&host);
    auto *dockResult = new TBarDockControl(&host);
    dockRaw->AddBar(raw);
    dockResult->AddBar(result);
    box->addWidget(dockRaw);
    box->addWidget(dockResult);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    QCOMPARE(btn6->LinkControls().size(), 2);
    for (QWidget *c : btn6->LinkControls())
      QVERIFY(c->isVisible());
    auto *separator = [&]() -> QWidget * {
      for (QWidget *w : dockRaw->BarControl(raw)->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (w->inherits("TBarSeparator"))
          return w;
      return nullptr;
    }();
    QVERIFY(separator && separator->isVisible());

    clear.setVisible(false);
    for (QWidget *c : btn6->LinkControls())
      QVERIFY(!c->isVisible());
    QVERIFY(!separator->isVisible()); // no separator before a hidden link
    QVERIFY(onlyButton(btn4)->isVisible());

    clear.setVisible(true);
    for (QWidget *c : btn6->LinkControls())
      QVERIFY(c->isVisible());
    QVERIFY(separator->isVisible());
  }

  // A docked bar in a narrow panel goes on over further lines.
  void dockedBarWrapsWhenNarrow() {
    QWidget host;
    auto *box = new QVBoxLayout(&host);
    box->setContentsMargins(0, 0, 0, 0);
    TBarManager mgr;
    auto *bar = new TBar(&mgr, "barMgrOCRBar1");
    QList<TBarButton *> buttons;
    for (const char *name : {"Remove selected", "Clear the list", "Show in the file manager"}) {
      buttons.append(new TBarButton(&mgr, name));
      buttons.last()->SetCaption(name);
      bar->AddLink(buttons.last(), buttons.size() > 1);
    }
    auto *dock = new TBarDockControl(&host);
    dock->AddBar(bar);
    box->addWidget(dock);
    box->addStretch(1);
    host.resize(800, 200);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    const int oneLine = dock->height();
    QCOMPARE(onlyButton(buttons.first())->y(), onlyButton(buttons.last())->y());
    host.resize(120, 200);
    QTRY_VERIFY(onlyButton(buttons.last())->y() > onlyButton(buttons.first())->y());
    QVERIFY(dock->height() > oneLine);
    QVERIFY(onlyButton(buttons.last())->geometry().bottom() < dock->height());
  }

  void unlinkedAndNeverItemsAreNotShown() {
    TRibbonWindow w;
    auto *engine = new TBarComboBoxItem(w.mgr, "barItemEngine");
    engine->SetVisible(ivNever);
    w.barOCR->AddLink(engine);
    auto *unlinked = new TBarLargeButton(w.mgr, "btn1");
    w.host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.host));
    QVERIFY(unlinked->LinkControls().isEmpty());
    QCOMPARE(engine->LinkControls().size(), 1);
    QVERIFY(!engine->LinkControls().first()->isVisible());
    QVERIFY(w.lang->LinkControls().first()->isVisible());
  }

  void comboFollowsRepositoryItem() {
    TBarManager mgr;
    TEditRepositoryComboBoxItem repo;
    repo.AddItem("English");
    repo.AddItem("French");
    auto *lang = new TBarComboBoxItem(&mgr, "barItemLang");
    lang->SetRepositoryItem(&repo);
    auto *bar = new TBar(&mgr, "barOCR");
    bar->AddLink(lang);
    TBarDockControl dock;
    dock.AddBar(bar);
    auto *combo = lang->LinkControls().first()->findChild<QComboBox *>();
    QVERIFY(combo);
    QCOMPARE(combo->count(), 2);

    lang->SetEditValue("German"); // not installed: kept and shown all the same
    QCOMPARE(lang->Text(), QStringLiteral("German"));
    QCOMPARE(combo->currentIndex(), -1);
    QCOMPARE(combo->placeholderText(), QStringLiteral("German"));

    repo.ClearItems();
    for (const char *name : {"English", "French", "German"})
      repo.AddItem(name);
    QCOMPARE(lang->Items(), (QStringList{"English", "French", "German"}));
    QCOMPARE(combo->count(), 3);
    QCOMPARE(combo->currentText(), QStringLiteral("German"));
    QCOMPARE(lang->CurEditValue().toString(), QStringLiteral("German"));
  }

  void comboSignalsOnlyUserChoices() {
    TBarManager mgr;
    auto *font = new TBarComboBoxItem(&mgr, "baritemFont");
    font->SetItems({"Arial", "DejaVu Sans", "Liberation Serif"});
    auto *bar = new TBar(&mgr, "barResultEdit");
    bar->AddLink(font);
    TBarDockControl dock;
    dock.AddBar(bar);
    QSignalSpy change(font, &TBarEditItem::Change);
    font->SetEditValue("Arial");
    QCOMPARE(change.count(), 0);
    auto *combo = font->LinkControls().first()->findChild<QComboBox *>();
    QCOMPARE(combo->currentText(), QStringLiteral("Arial"));

    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(change.count(), 1);
    QCOMPARE(font->Text(), QStringLiteral("DejaVu Sans"));
    font->SetEditValue("Liberation Serif");
    QCOMPARE(change.count(), 1);
    QCOMPARE(combo->currentText(), QStringLiteral("Liberation Serif"));
  }

  void trackBarRangeAndChange() {
    TBarManager mgr;
    auto *bright = new TBarTrackBarItem(&mgr, "baritemTrackBright");
    bright->SetRange(-255, 255);
    auto *bar = new TBar(&mgr, "barImageGeneralTool");
    bar->AddLink(bright);
    TBarDockControl dock;
    dock.AddBar(bar);
    auto *slider = bright->LinkControls().first()->findChild<QSlider *>();
    QVERIFY(slider);
    QCOMPARE(slider->minimum(), -255);
    QCOMPARE(slider->maximum(), 255);
    QCOMPARE(slider->tickPosition(), QSlider::NoTicks);
    QCOMPARE(bright->Position(), 0);

    QSignalSpy position(bright, &TBarTrackBarItem::PositionChange);
    QSignalSpy change(bright, &TBarEditItem::Change);
    bright->SetPosition(300); // from code: kept in range, no signal
    QCOMPARE(bright->Position(), 255);
    QCOMPARE(slider->value(), 255);
    QCOMPARE(position.count(), 0);

    QTest::keyClick(slider, Qt::Key_Home);
    QCOMPARE(bright->Position(), -255);
    QTest::keyClick(slider, Qt::Key_Right);
    QCOMPARE(position.count(), 2);
    QCOMPARE(change.count(), 2);
    QCOMPARE(position.last().first().toInt(), -254);
    QCOMPARE(bright->CurEditValue().toInt(), -254);

    bright->SetRange(0, 100); // the position follows the range quietly
    QCOMPARE(bright->Position(), 0);
    QCOMPARE(slider->minimum(), 0);
    QCOMPARE(position.count(), 2);
  }

  void radioGroupPostsTheChosenValue() {
    TRibbonWindow w;
    w.mouseMode->SetColumns(2);
    w.mouseMode->SetEditValue(0);
    QWidget *control = w.mouseMode->LinkControls().first();
    const QList<QRadioButton *> radios = control->findChildren<QRadioButton *>();
    QCOMPARE(radios.size(), 2);
    QVERIFY(radios.at(0)->isChecked());
    QCOMPARE(radios.at(1)->text(), QStringLiteral("select"));
    QSignalSpy change(w.mouseMode, &TBarEditItem::Change);
    w.host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.host));
    QCOMPARE(radios.at(0)->y(), radios.at(1)->y()); // two columns: side by side
    QTest::mouseClick(radios.at(1), Qt::LeftButton);
    QCOMPARE(change.count(), 1);
    QCOMPARE(w.mouseMode->CurEditValue().toInt(), 1);
    QCOMPARE(w.mouseMode->ItemIndex(), 1);
    w.mouseMode->SetEditValue(0);
    QVERIFY(radios.at(0)->isChecked());
    QCOMPARE(change.count(), 1);
  }

  void subItemMenuRunsItsButtons() {
    TRibbonWindow w;
    QAction combine("actCaptureCombine");
    auto *btn11 = new TBarButton(w.mgr, "btn11", &combine);
    w.capture->AddLink(btn11);
    QMenu *menu = onlyButton(w.capture)->menu();
    QVERIFY(menu);
    QCOMPARE(menu->actions().size(), 2);
    QCOMPARE(menu->actions().at(1)->text(), QStringLiteral("actCaptureCombine"));
    combine.setText("Capture and append (Ctrl+F2)");
    QCOMPARE(menu->actions().at(1)->text(), QStringLiteral("Capture and append (Ctrl+F2)"));
    QSignalSpy triggered(&combine, &QAction::triggered);
    menu->actions().at(1)->trigger();
    QCOMPARE(triggered.count(), 1);
    combine.setVisible(false);
    QVERIFY(!menu->actions().at(1)->isVisible());
  }

  void tabChangeSignalAndTag() {
    TRibbonWindow w;
    QCOMPARE(w.ribbon->ActiveTab(), w.tabOCR);
    QCOMPARE(w.tabEdit->Index(), 1);
    QCOMPARE(w.tabEdit->Tag(), 0);
    w.tabEdit->SetTag(1);
    QCOMPARE(w.tabEdit->property("Tag").toInt(), 1);
    QSignalSpy changed(w.ribbon, &TRibbon::TabChanged);
    w.ribbon->SetActiveTab(w.tabOCR); // already active
    QCOMPARE(changed.count(), 0);
    w.ribbon->SetActiveTab(w.tabEdit);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(w.ribbon->ActiveTab(), w.tabEdit);

    w.host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.host));
    QTabBar *tabs = w.ribbon->TabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    QCOMPARE(changed.count(), 2);
    QCOMPARE(w.ribbon->ActiveTab(), w.tabOCR);
    QVERIFY(w.ribbon->GroupControl(w.tabOCR, w.barOCR)->isVisible());
  }

  void quickAccessToolbarStandsInTheTabRow() {
    TRibbonWindow w;
    w.host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.host));
    QWidget *label = w.lblHotkey->LinkControls().first();
    QToolButton *button = onlyButton(w.btn40);
    QVERIFY(label->isVisible() && button->isVisible());
    const QRect tabRow(w.ribbon->TabBar()->mapTo(w.ribbon, QPoint(0, 0)), w.ribbon->TabBar()->size());
    const QPoint at = button->mapTo(w.ribbon, button->rect().center());
    QVERIFY2(at.y() >= tabRow.top() && at.y() <= tabRow.bottom(), "quick-access button beside the tabs");
    QVERIFY(at.x() > tabRow.right());
  }

  // barResultEdit: two button groups and a button stacked in one column, a
  // new column for the picture button.
  void ribbonGroupColumns() {
    TBarManager mgr;
    auto *bar = new TBar(&mgr, "barResultEdit");
    QList<TBarItem *> align, style;
    for (int i = 26; i <= 29; ++i)
      align.append(new TBarButton(&mgr, QStringLiteral("btn%1").arg(i)));
    for (int i = 30; i <= 33; ++i)
      style.append(new TBarButton(&mgr, QStringLiteral("btn%1").arg(i)));
    bar->AddButtonGroup(align);
    bar->AddButtonGroup(style);
    bar->AddLink(new TBarButton(&mgr, "btn34"));
    bar->AddLink(new TBarButton(&mgr, "btn35"), true);
    bar->AddLink(new TBarLargeButton(&mgr, "btn21"));
    const QList<TRibbonColumn> columns = RibbonGroupColumns(bar);
    QCOMPARE(columns.size(), 3);
    QCOMPARE(columns.at(0).Rows, (QList<QList<int>>{{0, 1, 2, 3}, {4, 5, 6, 7}, {8}}));
    QVERIFY(!columns.at(0).SeparatorBefore);
    QVERIFY(columns.at(1).SeparatorBefore);
    QCOMPARE(columns.at(1).Rows, (QList<QList<int>>{{9}}));
    QVERIFY(columns.at(2).Large && !columns.at(2).SeparatorBefore);
  }

  // Deleting the manager first leaves the shown controls inert.
  void managerGoesBeforeItsViews() {
    auto ribbon = std::make_unique<TRibbon>();
    auto mgr = std::make_unique<TBarManager>();
    QAction act("actRec_Sel");
    auto *bar = new TBar(mgr.get(), "barOCR");
    auto *btn = new TBarLargeButton(mgr.get(), "btn8", &act);
    bar->AddLink(btn);
    ribbon->AddTab("rbnTabOCR")->AddGroup(bar);
    QPointer<QToolButton> control = onlyButton(btn);
    mgr.reset();
    QVERIFY(control);
    control->click();
    act.setText("still alive");
    ribbon.reset();
    QVERIFY(!control);
  }
};

QTEST_MAIN(TestBars)
#include "tst_bars.moc"
