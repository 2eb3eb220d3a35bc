#include "uDeskFixture.h"

#include "uAlertWindow.h"
#include "uApplication.h"
#include "uBars.h"
#include "uCustomHotkey.h"
#include "uHotKeyEdit.h"
#include "uShortCut.h"
#include "uImageSlider.h"
#include "uPageControl.h"
#include "uRibbon.h"
#include "uRichViewActions.h"
#include "uRichViewEdit.h"
#include "uStatusBar.h"

#include <QAction>
#include <QtTest>

// The main window: start-up, translation, status line, tab changes, the
// has-data flag after the source commands and the refusals of the
// recognition commands.
class TestMainWindow : public QObject {
  Q_OBJECT

private slots:
  void init() { qputenv("QT_QPA_PLATFORM", "offscreen"); }

  void opensOnTheGuidePage() {
    TDeskFixture desk;
    TfrmOCRMain *w = desk.Main.get();
    QCOMPARE(w->size(), QSize(980, 660));
    QCOMPARE(w->windowTitle(), QStringLiteral("Zorvi Quillon"));
    QCOMPARE(w->pcMain->ActivePage(), w->tsGuide);
    QVERIFY(w->pcMain->HideTabs());
    QCOMPARE(w->rbnMain->ActiveTab(), w->rbnTabOCR);
    QVERIFY(!w->HasData());
    QCOMPARE(w->MyPattern(), osNormal);
    QCOMPARE(w->rbnStatusMain->PanelCount(), 2);
    QCOMPARE(w->rbnStatusMain->PanelWidth(0), 600);
    QCOMPARE(w->rbnStatusMain->PanelWidth(1), 200);
    QCOMPARE(w->rbnStatusMain->PanelText(0), QStringLiteral("No source image selected"));
    QCOMPARE(w->imgSliderMain->ImageCount(), 3);
    QCOMPARE(w->actlstMain.size(), 43);
  }

  void translatesByTheFourPasses() {
    // A table with a button's name, a tab, a toolbar, an edit item and an action.
    TDeskFixture desk;
    TfrmOCRMain *w = desk.Main.get();
    QCOMPARE(w->rbnTabEditImage->Caption(), QStringLiteral("Edit image"));
    QCOMPARE(w->barSource->Caption(), QStringLiteral("Source"));
    QCOMPARE(w->dxBarManager1Bar1->Caption(), QStringLiteral("Quick access"));
    QCOMPARE(w->barItemLang->Caption(), QStringLiteral("Language"));
    QCOMPARE(w->baritemTrackBright->Caption(), QStringLiteral("Brightness"));
    QCOMPARE(w->baritemlblImportLang->Caption(), QStringLiteral("Languages:"));
    QCOMPARE(w->Action("actRec_All")->text(), QStringLiteral("Recognise all"));
    QCOMPARE(w->Action("RVEFilervActionPrint1")->text(), QStringLiteral("Print..."));
  }

  void buttonsKeepTheirActionsCaptions() {
    TTestAppFolder probe(true);
    QByteArray lang = probe.Read("langEn.zorvi");
    lang.prepend("btn8=never shown\nactRec_Sel=Read text\n");
    TDeskFixture desk;
    desk.App.Write("langEn.zorvi", lang);
    desk.Main.reset();
    desk.DataModule.reset();
    desk.DataModule = std::make_unique<TdmMain>(nullptr, desk.App.Path());
    desk.Main = std::make_unique<TfrmOCRMain>();
    TBarItem *btn8 = desk.Main->barMgrMain->FindItem("btn8");
    QVERIFY(btn8);
    QCOMPARE(btn8->Caption(), QStringLiteral("Read text"));
  }

  void titleIsTheSettingAsStored() {
    TDeskFixture desk("[System]\nApplicationTitle=\n");
    QCOMPARE(desk.Main->windowTitle(), QString());
  }

  void captureCaptionsShowTheHotkeys() {
    TDeskFixture desk;
    QCOMPARE(desk.Main->Action("actCapture")->text(), QStringLiteral("Capture (F2)"));
    QCOMPARE(desk.Main->Action("actCaptureCombine")->text(), QStringLiteral("Capture and append (Ctrl+F2)"));
    QCOMPARE(desk.Main->Action("actCaptureRestore")->text(), QStringLiteral("Restore window (F4)"));
  }

  // A capture caption whose format does not fit its hotkey text: the error
  // shows in the default error report while the window is created, and the
  // program goes on with it.
  void aBadCaptionFormatAtStartIsReportedAndTheProgramGoesOn_data() {
    QTest::addColumn<QString>("format");
    QTest::newRow("a number where the text goes") << "Capture (%d)";
    QTest::newRow("a lone percent sign") << "Capture 100%";
  }
  void aBadCaptionFormatAtStartIsReportedAndTheProgramGoesOn() {
    QFETCH(QString, format);
    TDeskFixture desk;
    QByteArray lang = desk.App.Read("langEn.zorvi");
    lang.replace("actCapture=Capture (%s)", "actCapture=" + format.toUtf8());
    desk.App.Write("langEn.zorvi", lang);
    desk.Main.reset();
    desk.DataModule.reset();
    desk.Dialogs->Calls.clear();
    SetApplicationTitle(QStringLiteral("Zorvi Quillon"));

    desk.DataModule = std::make_unique<TdmMain>(nullptr, desk.App.Path());
    desk.Main = std::make_unique<TfrmOCRMain>();
    desk.Main->show();
    QVERIFY(QTest::qWaitForWindowExposed(desk.Main.get()));
    QCOMPARE(desk.Dialogs->Calls.size(), 1);
    const TDialogCall report = desk.Dialogs->Calls.first();
    QCOMPARE(report.Kind, QStringLiteral("box"));
    QCOMPARE(report.Flags, unsigned(MB_OK | MB_ICONERROR));
    QCOMPARE(report.Caption, QStringLiteral("Zorvi Quillon"));
    QVERIFY2(report.Text.contains(format), qPrintable(report.Text));
    // The caption is not set: the translated format stays.
    QCOMPARE(desk.Main->Action("actCapture")->text(), format);
    QCOMPARE(desk.Main->windowTitle(), QStringLiteral("Zorvi Quillon"));

    // The program goes on: its commands run.
    desk.Run("actRec_Sel");
    QCOMPARE(desk.Dialogs->Calls.size(), 2);
    QCOMPARE(desk.Dialogs->Calls.last().Flags, unsigned(MB_ICONWARNING));
    QCOMPARE(desk.Dialogs->Calls.last().Text,
             QStringLiteral("There is no source image yet. Import images or capture the screen first."));
  }

  void richTextActionsAreBoundByTag() {
    TDeskFixture desk;
    int bound = 0;
    for (QAction *a : desk.Main->actlstMain) {
      auto *rv = qobject_cast<TrvAction *>(a);
      if (!rv)
        continue;
      if (a->property("Tag").toInt() == 111) {
        QCOMPARE(rv->Control(), desk.Fra()->rveResult);
        ++bound;
      } else {
        QVERIFY(!rv->Control());
      }
    }
    QCOMPARE(bound, 14);
    QCOMPARE(desk.Main->Action("RVETextrvActionFontBold1")->shortcut(), QKeySequence("Ctrl+B"));
    QCOMPARE(desk.Main->Action("actIE_Undo")->shortcut(), QKeySequence("Ctrl+Z"));
  }

  void tabChangeOnTheGuidePageChangesNothing() {
    TDeskFixture desk;
    desk.Main->rbnMain->SetActiveTab(desk.Main->rbnTabExport);
    QCOMPARE(desk.Main->pcMain->ActivePage(), desk.Main->tsGuide);
    QCOMPARE(desk.Fra()->CurVT(), VImage);
  }

  void sourceCommandsSetTheFlagAndThePage() {
    TDeskFixture desk;
    // A cancelled import on an empty list: the guide stays.
    desk.Run("actSrc_ImportFiles");
    QVERIFY(!desk.Main->HasData());
    QCOMPARE(desk.Main->pcMain->ActivePage(), desk.Main->tsGuide);
    // A file import: the workspace, and the status line names the file.
    const QString file = WriteTestImage(desk.App.File("in/a.png"), QSize(300, 200));
    desk.Dialogs->OpenAnswers = {{file}};
    desk.Run("actSrc_ImportFiles");
    QVERIFY(desk.Main->HasData());
    QCOMPARE(desk.Main->pcMain->ActivePage(), desk.Main->tsOCR);
    QCOMPARE(desk.Main->rbnStatusMain->PanelText(0), QStringLiteral("Images: 1    Current image: %1").arg(file));
    QCOMPARE(IniOptions->ParamCurFile(), file);
    // Tab changes now switch the panes.
    desk.Main->rbnMain->SetActiveTab(desk.Main->rbnTabExport);
    QCOMPARE(desk.Fra()->CurVT(), VResult);
    desk.Main->rbnMain->SetActiveTab(desk.Main->rbnTabOCR);
    QCOMPARE(desk.Fra()->CurVT(), VBoth);
    desk.Main->rbnMain->SetActiveTab(desk.Main->rbnTabEditImage);
    QCOMPARE(desk.Fra()->CurVT(), VImage);
    // Clearing from the workspace's own bar leaves flag and page; the next
    // source command (even the scan that does nothing) brings them up to date.
    desk.Dialogs->BoxAnswers = {IDYES};
    desk.Fra()->actSrc_ClearAll->trigger();
    QVERIFY(desk.Main->HasData());
    QCOMPARE(desk.Main->pcMain->ActivePage(), desk.Main->tsOCR);
    desk.Run("actSrc_Scan");
    QVERIFY(!desk.Main->HasData());
    QCOMPARE(desk.Main->pcMain->ActivePage(), desk.Main->tsGuide);
    QCOMPARE(desk.Main->rbnStatusMain->PanelText(0), QStringLiteral("No source image selected"));
  }

  void statusLineWithImagesButNoneSelected() {
    TDeskFixture desk;
    desk.Fra()->AddImageFile(WriteTestImage(desk.App.File("in/a.png"), QSize(50, 50)));
    desk.Run("actSrc_Scan");
    QVERIFY(desk.Main->HasData());
    QCOMPARE(desk.Main->rbnStatusMain->PanelText(0), QStringLiteral("No source image selected"));
  }

  void recognitionIsRefusedWithoutData_data() {
    QTest::addColumn<QString>("action");
    QTest::newRow("recognise") << "actRec_Sel";
    QTest::newRow("recognise all") << "actRec_All";
    QTest::newRow("barcodes") << "actRec_Barcode";
  }
  void recognitionIsRefusedWithoutData() {
    QFETCH(QString, action);
    TDeskFixture desk;
    desk.Main->Action(action)->trigger();
    QCOMPARE(desk.Dialogs->Calls.size(), 1);
    QCOMPARE(desk.Dialogs->Calls.first().Text, QStringLiteral("There is no source image yet. Import images or capture the screen first."));
    QCOMPARE(desk.Dialogs->Calls.first().Flags, unsigned(MB_ICONWARNING));
    QCOMPARE(desk.Fra()->CurVT(), VImage);
    QVERIFY(desk.Fra()->rveResult->toPlainText().isEmpty());
  }

  void languageChoiceIsStoredAtOnce() {
    TDeskFixture desk;
    QCOMPARE(desk.Main->barItemLang->Items(), (QStringList{"English", "French", "German"}));
    QCOMPARE(desk.Main->barItemLang->CurEditValue().toString(), QStringLiteral("German"));
    desk.Main->barItemLang->PostUserValue(QStringLiteral("French"));
    QCOMPARE(IniOptions->ParamCurOCRLangName(), QStringLiteral("French"));
  }

  void restoreBringsTheWindowBack() {
    TDeskFixture desk;
    desk.Main->showMaximized();
    desk.Run("actCaptureRestore");
    QVERIFY(!(desk.Main->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)));
    QVERIFY(!desk.Main->HasData());
  }

  void hotkeyDialogOkRegistersAnewAndRewritesTheCaptions() {
    TDeskFixture desk;
    desk.Dialogs->OnForm = [](QDialog *dialog) {
      auto *form = qobject_cast<TfrmCustomHotkey *>(dialog);
      if (!form)
        return int(QDialog::Rejected);
      form->hkCapture->SetHotKey(TextToShortCut(QStringLiteral("Shift+Ctrl+F9")));
      form->actOKExecute();
      return form->result();
    };
    desk.Run("actCustomHotKey");
    QCOMPARE(IniOptions->HotkeyCapture(), QStringLiteral("Shift+Ctrl+F9"));
    QCOMPARE(desk.Main->Action("actCapture")->text(), QStringLiteral("Capture (Shift+Ctrl+F9)"));
    QVERIFY(desk.Main->IdCapture() >= 0xC000);
    // Cancel changes nothing.
    desk.Dialogs->OnForm = [](QDialog *) { return int(QDialog::Rejected); };
    desk.Run("actCustomHotKey");
    QCOMPARE(IniOptions->HotkeyCapture(), QStringLiteral("Shift+Ctrl+F9"));
  }

  void aSecondCaptureIsRefusedWithAnAlert() {
    TDeskFixture desk;
    int forms = 0;
    desk.Dialogs->OnForm = [&](QDialog *) {
      ++forms;
      // A capture hotkey pressed while the capture window is open.
      desk.Main->Action("actCapture")->trigger();
      return int(QDialog::Rejected);
    };
    desk.Run("actCapture");
    QCOMPARE(forms, 1);
    QCOMPARE(desk.Main->MyPattern(), osNormal);
    QVERIFY(desk.Main->alertWindowMain->LastWindow());
    QCOMPARE(desk.Main->alertWindowMain->LastWindow()->Caption(), QStringLiteral("Screen capture"));
    QCOMPARE(desk.Main->alertWindowMain->LastWindow()->Text(), QStringLiteral("A capture is already running."));
  }

  void exitWritesTheSettings() {
    auto desk = std::make_unique<TDeskFixture>();
    desk->Main->barItemLang->PostUserValue(QStringLiteral("English"));
    const QString ini = desk->App.File("ZorviOCR.ini");
    desk->Main.reset();
    desk->DataModule.reset();
    QFile f(ini);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().contains("CurOCRLangName=English\n"));
  }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
