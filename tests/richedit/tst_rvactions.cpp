#include "uRichViewActions.h"
#include "uRichViewEdit.h"
#include "uTestDialogs.h"

#include <QFile>
#include <QFontDialog>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextTable>
#include <QtTest>
#include <poppler-qt6.h>

namespace {

void Select(TRichViewEdit &edit, int from, int to) {
  QTextCursor c(edit.document());
  c.setPosition(from);
  c.setPosition(to, QTextCursor::KeepAnchor);
  edit.setTextCursor(c);
}

bool Has(const TFontInfo &info, TrvActionFontStyle::TFontStyle style) {
  switch (style) {
  case TrvActionFontStyle::fsBold:
    return info.Bold;
  case TrvActionFontStyle::fsItalic:
    return info.Italic;
  case TrvActionFontStyle::fsUnderline:
    return info.Underline;
  case TrvActionFontStyle::fsStrikeOut:
    return info.StrikeOut;
  }
  return false;
}

const TFontInfo &ItemFont(const TRichViewEdit &edit, int item) {
  return edit.Style()->TextStyles().at(edit.GetItemStyle(item));
}

QString DocumentState(const TRichViewEdit &edit) {
  return edit.document()->toHtml() + QString::number(edit.Style()->TextStyles().size()) +
         QString::number(edit.Style()->ParaStyles().size());
}

QString SavePng(const QString &path, int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(Qt::darkCyan);
  image.save(path);
  return path;
}

} // namespace

class TestRVActions : public QObject {
  Q_OBJECT
  QTemporaryDir tmp;

private slots:
  void fontStyleActions_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("style");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::newRow("bold") << int(TrvActionKind::FontBold) << int(TrvActionFontStyle::fsBold)
                          << QKeySequence(Qt::CTRL | Qt::Key_B);
    QTest::newRow("italic") << int(TrvActionKind::FontItalic) << int(TrvActionFontStyle::fsItalic)
                            << QKeySequence(Qt::CTRL | Qt::Key_I);
    QTest::newRow("underline") << int(TrvActionKind::FontUnderline) << int(TrvActionFontStyle::fsUnderline)
                               << QKeySequence(Qt::CTRL | Qt::Key_U);
    QTest::newRow("strikeout") << int(TrvActionKind::FontStrikeout) << int(TrvActionFontStyle::fsStrikeOut)
                               << QKeySequence();
  }
  void fontStyleActions() {
    QFETCH(int, kind);
    QFETCH(int, style);
    QFETCH(QKeySequence, shortcut);
    const auto fs = TrvActionFontStyle::TFontStyle(style);
    TRichViewEdit edit;
    std::unique_ptr<TrvAction> action(CreateRVAction(TrvActionKind(kind)));
    QCOMPARE(action->shortcut(), shortcut);
    QVERIFY(action->isCheckable());
    action->SetControl(&edit);
    QVERIFY(action->isEnabled());
    edit.AddText("hello world", 0);
    Select(edit, 0, 5);
    QVERIFY(!action->isChecked());
    action->trigger();
    QCOMPARE(edit.ItemCount(), 2);
    QCOMPARE(edit.GetItemTextW(0), QStringLiteral("hello"));
    QVERIFY(Has(ItemFont(edit, 0), fs));
    QCOMPARE(ItemFont(edit, 0).SizeDouble, 32);
    QCOMPARE(edit.GetItemStyle(1), 0);
    QVERIFY(action->isChecked());
    // The check follows the caret.
    edit.moveCursor(QTextCursor::End);
    QVERIFY(!action->isChecked());
    Select(edit, 1, 3);
    QVERIFY(action->isChecked());
    // Again over the whole text: the caret's text has the style, so it goes.
    Select(edit, 0, 11);
    QVERIFY(!action->isChecked()); // the caret stands in the plain word
    action->trigger();
    QCOMPARE(edit.ItemCount(), 1);
    QVERIFY(Has(ItemFont(edit, 0), fs));
    Select(edit, 2, 4);
    action->trigger();
    QCOMPARE(edit.ItemCount(), 3);
    QCOMPARE(edit.GetItemStyle(1), 0);
  }

  void withoutAnEditorNothingHappens_data() {
    QTest::addColumn<int>("kind");
    for (int k = int(TrvActionKind::FontBold); k <= int(TrvActionKind::Open); ++k)
      if (TrvActionKind(k) != TrvActionKind::PageSetup)
        QTest::newRow(qPrintable(QString::number(k))) << k;
  }
  void withoutAnEditorNothingHappens() {
    QFETCH(int, kind);
    TDialogsScope dialogs;
    dialogs->OpenAnswers = {{SavePng(tmp.filePath("unused.png"), 2, 2)}};
    dialogs->SaveAnswers = {tmp.filePath("unused.htm")};
    dialogs->OnForm = [](QDialog *) { return int(QDialog::Accepted); };
    TRichViewEdit edit;
    edit.AddText("hello world", 0);
    Select(edit, 0, 5);
    const QString before = DocumentState(edit);
    std::unique_ptr<TrvAction> action(CreateRVAction(TrvActionKind(kind)));
    QVERIFY(!action->Control());
    QVERIFY(!action->isEnabled());
    action->trigger();
    action->Execute();
    QCOMPARE(DocumentState(edit), before);
    QVERIFY(dialogs->Calls.isEmpty());
    QVERIFY(!QFile::exists(tmp.filePath("unused.htm")));
    // Bound and unbound again.
    action->SetControl(&edit);
    QVERIFY(action->isEnabled());
    action->SetControl(nullptr);
    QVERIFY(!action->isEnabled());
  }

  void destroyedEditorUnbinds() {
    auto edit = std::make_unique<TRichViewEdit>();
    std::unique_ptr<TrvAction> action(CreateRVAction(TrvActionKind::FontBold));
    action->SetControl(edit.get());
    edit.reset();
    QVERIFY(!action->Control());
    QVERIFY(!action->isEnabled());
    action->Execute();
  }

  void alignActions_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("alignment");
    QTest::newRow("left") << int(TrvActionKind::AlignLeft) << int(TRVAlignment::rvaLeft);
    QTest::newRow("right") << int(TrvActionKind::AlignRight) << int(TRVAlignment::rvaRight);
    QTest::newRow("center") << int(TrvActionKind::AlignCenter) << int(TRVAlignment::rvaCenter);
    QTest::newRow("justify") << int(TrvActionKind::AlignJustify) << int(TRVAlignment::rvaJustify);
  }
  void alignActions() {
    QFETCH(int, kind);
    QFETCH(int, alignment);
    const auto align = TRVAlignment(alignment);
    TRichViewEdit edit;
    edit.AddText("one\ntwo\nthree", 0);
    edit.moveCursor(QTextCursor::Start);
    edit.ApplyParaStyle(1); // the first paragraph: centred
    std::unique_ptr<TrvAction> action(CreateRVAction(TrvActionKind(kind)));
    action->SetControl(&edit);
    Select(edit, 5, 9); // the second and third paragraphs
    action->trigger();
    const QTextBlock first = edit.document()->firstBlock();
    QCOMPARE(edit.Style()->ParaStyles().at(first.blockFormat().property(PropParaNo).toInt()).Alignment,
             TRVAlignment::rvaCenter);
    for (QTextBlock b = first.next(); b.isValid(); b = b.next()) {
      const int paraNo = b.blockFormat().property(PropParaNo).toInt();
      QCOMPARE(edit.Style()->ParaStyles().at(paraNo).Alignment, align);
      QCOMPARE(b.blockFormat().alignment() & Qt::AlignHorizontal_Mask,
               TParaInfo::QtAlignment(align) & Qt::AlignHorizontal_Mask);
      if (align == TRVAlignment::rvaCenter)
        QCOMPARE(paraNo, 1); // "Centered"
      if (align == TRVAlignment::rvaLeft)
        QCOMPARE(paraNo, 0);
    }
    QVERIFY(action->isChecked());
    edit.moveCursor(QTextCursor::Start);
    QCOMPARE(action->isChecked(), align == TRVAlignment::rvaCenter);
  }

  void fontDialogSetsTheSelectionsFont() {
    TDialogsScope dialogs;
    TRichViewEdit edit;
    edit.AddText("hello world", 0);
    Select(edit, 6, 11);
    std::unique_ptr<TrvAction> action(CreateRVAction(TrvActionKind::Fonts));
    action->SetControl(&edit);
    QString initialFamily;
    dialogs->OnForm = [&](QDialog *d) {
      auto *fd = qobject_cast<QFontDialog *>(d);
      if (!fd)
        return int(QDialog::Rejected);
      initialFamily = fd->currentFont().family();
      QFont f("Liberation Serif");
      f.setPointSize(20);
      f.setItalic(true);
      fd->setCurrentFont(f);
      return int(QDialog::Accepted);
    };
    action->trigger();
    QCOMPARE(dialogs->OfKind("form").size(), 1);
    QCOMPARE(dialogs->Calls.first().Text, QStringLiteral("rvFontDialog"));
    QCOMPARE(edit.ItemCount(), 2);
    const TFontInfo &font = ItemFont(edit, 1);
    QCOMPARE(font.FontName, QStringLiteral("Liberation Serif"));
    QCOMPARE(font.SizeDouble, 40);
    QVERIFY(font.Italic);
    QVERIFY(!font.Bold);
    QCOMPARE(edit.GetItemStyle(0), 0);
    // Cancelled: nothing changes.
    const QString before = DocumentState(edit);
    dialogs->OnForm = [](QDialog *) { return int(QDialog::Rejected); };
    Select(edit, 0, 5);
    action->trigger();
    QCOMPARE(DocumentState(edit), before);
  }

  void insertPictureAtTheCaret() {
    TDialogsScope dialogs;
    TRichViewEdit edit;
    edit.AddText("ab", 0);
    Select(edit, 1, 1);
    std::unique_ptr<TrvAction> action(CreateRVAction(TrvActionKind::InsertPicture));
    action->SetControl(&edit);
    dialogs->OpenAnswers = {{SavePng(tmp.filePath("pic.png"), 9, 6)}, {}};
    action->trigger();
    const QList<TDialogCall> opens = dialogs->OfKind("open");
    QCOMPARE(opens.size(), 1);
    QCOMPARE(opens.first().Request.DefaultExt, QStringLiteral("bmp"));
    QVERIFY(opens.first().Request.Filter.contains("*.png"));
    QCOMPARE(edit.ItemCount(), 3);
    QCOMPARE(edit.GetItem(1).Kind, TRVItemKind::Picture);
    QCOMPARE(edit.GetItem(1).Image.size(), QSize(9, 6));
    QTextCursor c(edit.document());
    c.setPosition(2);
    QCOMPARE(c.charFormat().verticalAlignment(), QTextCharFormat::AlignBaseline);
    // Cancelled: nothing more.
    action->trigger();
    QCOMPARE(edit.ItemCount(), 3);
  }

  void insertPictureOfABadFileRaises() {
    TDialogsScope dialogs;
    QFile bad(tmp.filePath("bad.png"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("not a picture");
    bad.close();
    dialogs->OpenAnswers = {{bad.fileName()}};
    TRichViewEdit edit;
    TrvActionInsertPicture action;
    action.SetControl(&edit);
    QVERIFY_THROWS_EXCEPTION(ERichViewError, action.Execute());
    QCOMPARE(edit.ItemCount(), 0);
  }

  void insertTableOfTheChosenSize() {
    TDialogsScope dialogs;
    TRichViewEdit edit;
    edit.AddText("before", 0);
    edit.moveCursor(QTextCursor::End);
    std::unique_ptr<TrvAction> action(CreateRVAction(TrvActionKind::InsertTable));
    action->SetControl(&edit);
    dialogs->OnForm = [](QDialog *d) {
      auto *form = qobject_cast<TrvTableSizeDialog *>(d);
      if (!form)
        return int(QDialog::Rejected);
      form->findChild<QSpinBox *>("seRows")->setValue(3);
      form->findChild<QSpinBox *>("seColumns")->setValue(4);
      return int(QDialog::Accepted);
    };
    action->trigger();
    QCOMPARE(dialogs->Calls.first().Text, QStringLiteral("rvInsertTableDialog"));
    QCOMPARE(edit.GetItem(1).Kind, TRVItemKind::Table);
    auto *table = qobject_cast<QTextTable *>(edit.document()->rootFrame()->childFrames().first());
    QVERIFY(table);
    QCOMPARE(table->rows(), 3);
    QCOMPARE(table->columns(), 4);
  }

  void exportWritesTheChosenFormat_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("start");
    QTest::newRow("HTML") << "export.htm" << QByteArray("<!DOCTYPE");
    QTest::newRow("ODF") << "export.odt" << QByteArray("PK");
    QTest::newRow("text") << "export.txt" << QByteArray("Result text");
    QTest::newRow("Markdown") << "export.md" << QByteArray("Result text");
  }
  void exportWritesTheChosenFormat() {
    QFETCH(QString, name);
    QFETCH(QByteArray, start);
    QTemporaryDir dir;
    TDialogsScope dialogs;
    dialogs->SaveAnswers = {dir.filePath(name)};
    TRichViewEdit edit;
    edit.AddText("Result text", 0);
    edit.AddPicture(QImage(SavePng(tmp.filePath("e.png"), 4, 4)));
    QVERIFY(edit.document()->isModified());
    std::unique_ptr<TrvAction> action(CreateRVAction(TrvActionKind::Export));
    action->SetControl(&edit);
    action->trigger();
    QCOMPARE(dialogs->OfKind("save").size(), 1);
    QVERIFY(dialogs->Calls.first().Request.Filter.contains("*.odt"));
    QFile f(dir.filePath(name));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().startsWith(start));
    const bool pictureFile = name.endsWith(".htm") || name.endsWith(".md");
    QCOMPARE(QFile::exists(dir.filePath("img1.png")), pictureFile);
    // Written, it is kept: no longer modified.
    QVERIFY(!edit.document()->isModified());
  }

  void saveAsMarksTheDocumentSaved() {
    QTemporaryDir dir;
    TDialogsScope dialogs;
    dialogs->SaveAnswers = {dir.filePath("saved.html"), {}};
    TRichViewEdit edit;
    edit.textCursor().insertText("typed");
    QVERIFY(edit.document()->isModified());
    std::unique_ptr<TrvAction> action(CreateRVAction(TrvActionKind::SaveAs));
    action->SetControl(&edit);
    action->trigger();
    QVERIFY(QFile::exists(dir.filePath("saved.html")));
    QVERIFY(!edit.document()->isModified());
    action->trigger(); // cancelled
    QCOMPARE(dialogs->OfKind("save").size(), 2);
  }

  void openReplacesTheDocument() {
    const QString path = tmp.filePath("open.html");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<p>opened <b>file</b></p>");
    f.close();
    TDialogsScope dialogs;
    dialogs->OpenAnswers = {{path}};
    TRichViewEdit edit;
    edit.AddNamedCheckpoint("x");
    edit.AddText("old", 0);
    std::unique_ptr<TrvAction> action(CreateRVAction(TrvActionKind::Open));
    QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    action->SetControl(&edit);
    action->trigger();
    QCOMPARE(edit.toPlainText(), QStringLiteral("opened file"));
    QCOMPARE(edit.CheckpointCount(), 0);
    QVERIFY(ItemFont(edit, 1).Bold);
  }

  void printWritesTheDocumentToThePrinter() {
    const QString pdf = tmp.filePath("printed.pdf");
    TDialogsScope dialogs;
    dialogs->OnForm = [&](QDialog *d) {
      auto *pd = qobject_cast<QPrintDialog *>(d);
      if (!pd)
        return int(QDialog::Rejected);
      pd->printer()->setOutputFormat(QPrinter::PdfFormat);
      pd->printer()->setOutputFileName(pdf);
      return int(QDialog::Accepted);
    };
    TRichViewEdit edit;
    edit.AddText("Printed words", 0);
    std::unique_ptr<TrvAction> action(CreateRVAction(TrvActionKind::Print));
    QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    action->SetControl(&edit);
    action->trigger();
    QCOMPARE(dialogs->Calls.first().Text, QStringLiteral("rvPrintDialog"));
    auto doc = Poppler::Document::load(pdf);
    QVERIFY(doc);
    QCOMPARE(doc->page(0)->text(QRectF()).simplified(), QStringLiteral("Printed words"));
  }

  void printCancelledPrintsNothing() {
    const QString pdf = tmp.filePath("never.pdf");
    TDialogsScope dialogs;
    dialogs->OnForm = [&](QDialog *d) {
      if (auto *pd = qobject_cast<QPrintDialog *>(d))
        pd->printer()->setOutputFileName(pdf);
      return int(QDialog::Rejected);
    };
    TRichViewEdit edit;
    edit.AddText("x", 0);
    TrvActionPrint action;
    action.SetControl(&edit);
    action.trigger();
    QVERIFY(!QFile::exists(pdf));
  }

  void printPreviewShowsTheDocumentsPages() {
    TDialogsScope dialogs;
    int pages = -1;
    dialogs->OnForm = [&](QDialog *d) {
      if (qobject_cast<QPrintPreviewDialog *>(d)) {
        auto *preview = d->findChild<QPrintPreviewWidget *>();
        preview->updatePreview();
        pages = preview->pageCount();
      }
      return int(QDialog::Rejected);
    };
    TRichViewEdit edit;
    QString text;
    for (int i = 0; i < 200; ++i)
      text += QStringLiteral("line %1\n").arg(i);
    edit.AddText(text, 0);
    std::unique_ptr<TrvAction> action(CreateRVAction(TrvActionKind::PrintPreview));
    action->SetControl(&edit);
    action->trigger();
    QCOMPARE(dialogs->Calls.first().Text, QStringLiteral("rvPrintPreview"));
    QVERIFY2(pages > 1, qPrintable(QString::number(pages)));
  }

  void pageSetupNeedsNoEditorAndIsShared() {
    TDialogsScope dialogs;
    const QPageLayout saved = RVPageLayout();
    QCOMPARE(saved.pageSize().id(), QPageSize::A4);
    QCOMPARE(saved.orientation(), QPageLayout::Portrait);
    dialogs->OnForm = [](QDialog *d) {
      auto *ps = qobject_cast<QPageSetupDialog *>(d);
      if (!ps)
        return int(QDialog::Rejected);
      ps->printer()->setPageOrientation(QPageLayout::Landscape);
      return int(QDialog::Accepted);
    };
    std::unique_ptr<TrvAction> action(CreateRVAction(TrvActionKind::PageSetup));
    QVERIFY(action->isEnabled());
    action->trigger();
    QCOMPARE(dialogs->Calls.first().Text, QStringLiteral("rvPageSetupDialog"));
    QCOMPARE(RVPageLayout().orientation(), QPageLayout::Landscape);
    // Print uses it.
    QPageLayout::Orientation seen = QPageLayout::Portrait;
    dialogs->OnForm = [&](QDialog *d) {
      if (auto *pd = qobject_cast<QPrintDialog *>(d))
        seen = pd->printer()->pageLayout().orientation();
      return int(QDialog::Rejected);
    };
    TRichViewEdit edit;
    TrvActionPrint print;
    print.SetControl(&edit);
    print.trigger();
    QCOMPARE(seen, QPageLayout::Landscape);
    RVPageLayout() = saved;
  }

  void factoryByClassName() {
    const QStringList names{"TrvActionFontBold",      "TrvActionFontItalic",   "TrvActionFontUnderline",
                            "TrvActionFontStrikeout", "TrvActionAlignLeft",    "TrvActionAlignRight",
                            "TrvActionAlignCenter",   "TrvActionAlignJustify", "TrvActionFonts",
                            "TrvActionInsertPicture", "TrvActionInsertTable",  "TrvActionExport",
                            "TrvActionSaveAs",        "TrvActionPrintPreview", "TrvActionPrint",
                            "TrvActionPageSetup",     "TrvActionOpen"};
    QObject owner;
    for (const QString &name : names) {
      TrvAction *action = CreateRVAction(name, &owner);
      QVERIFY2(action, qPrintable(name));
      QCOMPARE(QString::fromLatin1(action->metaObject()->className()), name);
      QCOMPARE(action->parent(), &owner);
      QVERIFY(action->objectName().isEmpty());
    }
    QVERIFY(!CreateRVAction(QStringLiteral("TrvActionNothing")));
  }

  void assignFromADesignedAction() {
    QAction design;
    design.setObjectName("RVETextrvActionFontBold1");
    design.setText("Bold text");
    design.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    design.setProperty("Tag", 111);
    design.setProperty("ImageIndex", 20);
    TrvActionFontBold action;
    action.AssignFrom(&design);
    QCOMPARE(action.objectName(), QStringLiteral("RVETextrvActionFontBold1"));
    QCOMPARE(action.text(), QStringLiteral("Bold text"));
    QCOMPARE(action.Tag(), 111);
    QCOMPARE(action.property("ImageIndex").toInt(), 20);
  }
};

QTEST_MAIN(TestRVActions)
#include "tst_rvactions.moc"
