#include "uDMMain.h"
#include "uDialogs.h"
#include "uMessages.h"
#include "uTestDialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class TestMessages : public QObject {
  Q_OBJECT
  QStringList table{"caption_error=Fault", "caption_information=Note"};

private slots:
  void init() { LangList = &table; }
  void cleanup() { LangList = nullptr; }

  void boxes_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<unsigned>("flags");
    QTest::newRow("error") << 0 << "Fault" << 0x10u;
    QTest::newRow("warning") << 1 << "Note" << 0x30u;
    QTest::newRow("information") << 2 << "Note" << 0x40u;
    QTest::newRow("yes/no") << 3 << "Note" << 0x34u;
    QTest::newRow("yes/no/cancel") << 4 << "Note" << 0x33u;
  }
  void boxes() {
    QFETCH(int, which);
    QFETCH(QString, caption);
    QFETCH(unsigned, flags);
    TDialogsScope dialogs;
    dialogs->BoxAnswers = {IDYES};
    switch (which) {
    case 0: ShowErrorBox("text"); break;
    case 1: ShowWarningBox("text"); break;
    case 2: ShowInfoBox("text"); break;
    case 3:
      QCOMPARE(AskYesNoBox("text"), 6);
      break;
    default:
      QCOMPARE(AskYesNoCancelBox("text"), 6);
      break;
    }
    QCOMPARE(dialogs->Calls.size(), 1);
    QCOMPARE(dialogs->Calls.first().Caption, caption);
    QCOMPARE(dialogs->Calls.first().Flags, flags);
    QCOMPARE(dialogs->Calls.first().Text, QStringLiteral("text"));
  }

  void yesNoGivesOnlySixOrSeven() {
    TDialogsScope dialogs;
    dialogs->BoxAnswers = {IDNO, IDOK};
    QCOMPARE(AskYesNoBox("a"), 7);
    QCOMPARE(AskYesNoBox("b"), 7);
  }

  void yesNoCancelGivesSixSevenOrTwo() {
    TDialogsScope dialogs;
    dialogs->BoxAnswers = {IDNO, IDOK, IDCANCEL};
    QCOMPARE(AskYesNoCancelBox("a"), 7);
    QCOMPARE(AskYesNoCancelBox("b"), 2);
    QCOMPARE(AskYesNoCancelBox("c"), 2);
    QCOMPARE(AskYesNoCancelBox("unexpected"), 2);
  }

  // The real box: its three buttons, and Escape for Cancel.
  void realYesNoCancelBox_data() {
    QTest::addColumn<int>("button"); // QMessageBox::StandardButton, 0: Escape
    QTest::addColumn<int>("answer");
    QTest::newRow("Yes") << int(QMessageBox::Yes) << int(IDYES);
    QTest::newRow("No") << int(QMessageBox::No) << int(IDNO);
    QTest::newRow("Cancel") << int(QMessageBox::Cancel) << int(IDCANCEL);
    QTest::newRow("Escape") << 0 << int(IDCANCEL);
  }
  void realYesNoCancelBox() {
    QFETCH(int, button);
    QFETCH(int, answer);
    int buttons = 0;
    QTimer::singleShot(0, [&] {
      auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
      QVERIFY(box);
      buttons = int(box->buttons().size());
      if (button)
        box->button(QMessageBox::StandardButton(button))->click();
      else
        QTest::keyClick(box, Qt::Key_Escape);
    });
    TQtDialogs dialogs;
    QCOMPARE(dialogs.MessageBox(nullptr, "Save?", "Note", MB_YESNOCANCEL | MB_ICONWARNING), answer);
    QCOMPARE(buttons, 3);
  }

  void missingCaptionShowsTheKey() {
    LangList = nullptr;
    TDialogsScope dialogs;
    ShowErrorBox(QString());
    ShowInfoBox(QString());
    QCOMPARE(dialogs->Calls.at(0).Caption, QStringLiteral("caption_error"));
    QCOMPARE(dialogs->Calls.at(1).Caption, QStringLiteral("caption_information"));
    QCOMPARE(dialogs->Calls.at(1).Text, QString());
  }

  void runProgramOpensWithTheDesktop() {
    TDesktopScope desktop;
    RunProgram("/tmp/out.pdf");
    QCOMPARE(desktop->Opened, QStringList{"/tmp/out.pdf"});
  }

  void deleteFolderRemovesTheWholeTree() {
    QTemporaryDir tmp;
    const QString root = tmp.filePath("tree");
    QDir().mkpath(root + "/a/b/c");
    QFile f(root + "/a/b/c/file.txt");
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    // A link inside the tree to a folder outside it: the link goes, its target stays.
    const QString outside = tmp.filePath("outside");
    QDir().mkpath(outside);
    QFile keep(outside + "/keep.txt");
    QVERIFY(keep.open(QIODevice::WriteOnly));
    keep.close();
    QVERIFY(QFile::link(outside, root + "/a/link"));
    TDialogsScope dialogs;
    DeleteFolder(root);
    QVERIFY(!QFileInfo::exists(root));
    QVERIFY(QFile::exists(outside + "/keep.txt"));
    QVERIFY(dialogs->Calls.isEmpty());
  }

  void deleteFolderThatIsALinkRemovesOnlyTheLink() {
    QTemporaryDir tmp;
    const QString target = tmp.filePath("target");
    QDir().mkpath(target + "/sub");
    QVERIFY(QFile::link(target, tmp.filePath("link")));
    DeleteFolder(tmp.filePath("link"));
    QVERIFY(!QFileInfo(tmp.filePath("link")).isSymLink());
    QVERIFY(QFileInfo(target + "/sub").isDir());
  }

  void deleteMissingFolderDoesNothing() {
    QTemporaryDir tmp;
    TDialogsScope dialogs;
    DeleteFolder(tmp.filePath("none"));
    DeleteFolder(QString());
    QVERIFY(dialogs->Calls.isEmpty());
    QVERIFY(QFileInfo(tmp.path()).isDir());
  }

  void filterConversion() {
    QCOMPARE(FilterToQt("PDF file|*.pdf;"), QStringLiteral("PDF file (*.pdf)"));
    QCOMPARE(FilterToQt("Packs|*.zip|All|*.a;*.b"), QStringLiteral("Packs (*.zip);;All (*.a *.b)"));
  }

  // The real pickers list each filter by its description as given, also when
  // the description names its pattern itself, and still filter by pattern.
  void pickersShowTheFilterDescriptionsAsGiven_data() {
    QTest::addColumn<bool>("save");
    QTest::newRow("open") << false;
    QTest::newRow("save") << true;
  }
  void pickersShowTheFilterDescriptionsAsGiven() {
    QFETCH(bool, save);
    QTemporaryDir tmp;
    QFile(tmp.filePath("pack.zip")).open(QIODevice::WriteOnly);
    QFile(tmp.filePath("notes.txt")).open(QIODevice::WriteOnly);
    TFileDialogRequest request;
    request.InitialDir = tmp.path();
    request.Filter = QStringLiteral("Language packs (*.zip)|*.zip|All files|*");
    QStringList shown;
    QStringList listed;
    QTimer::singleShot(0, [&] {
      auto *dlg = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
      QVERIFY(dlg);
      auto *types = dlg->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
      QVERIFY(types);
      for (int i = 0; i < types->count(); ++i)
        shown.append(types->itemText(i));
      auto *files = dlg->findChild<QListView *>(QStringLiteral("listView"));
      QVERIFY(files);
      QTRY_COMPARE(files->model()->rowCount(files->rootIndex()), 1);
      listed.append(files->model()->index(0, 0, files->rootIndex()).data().toString());
      dlg->reject();
    });
    TQtDialogs dialogs;
    if (save)
      QVERIFY(dialogs.SaveFile(nullptr, request).isEmpty());
    else
      QVERIFY(dialogs.OpenFiles(nullptr, request).isEmpty());
    QCOMPARE(shown, QStringList({"Language packs (*.zip)", "All files"}));
    QCOMPARE(listed, QStringList({"pack.zip"}));
  }
};

QTEST_MAIN(TestMessages)
#include "tst_messages.moc"
