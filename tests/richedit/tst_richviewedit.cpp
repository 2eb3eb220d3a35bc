#include "uRichViewEdit.h"

#include "uImgTestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextTable>
#include <QtTest>
#include <sys/stat.h>

namespace {

QStringList Paragraphs(const TRichViewEdit &edit) {
  QStringList out;
  for (QTextBlock b = edit.document()->begin(); b.isValid(); b = b.next())
    out.append(b.text());
  return out;
}

QImage Picture(int w, int h, QColor colour = Qt::red) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

void Select(TRichViewEdit &edit, int from, int to) {
  QTextCursor c(edit.document());
  c.setPosition(from);
  c.setPosition(to, QTextCursor::KeepAnchor);
  edit.setTextCursor(c);
}

QString ReadAll(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// Makes the protected paste entry reachable.
class TPasteEdit : public TRichViewEdit {
public:
  using TRichViewEdit::insertFromMimeData;
};

} // namespace

class TestRichViewEdit : public QObject {
  Q_OBJECT
  QTemporaryDir tmp;

private slots:
  // --- style sheet -------------------------------------------------------

  void defaultTextStyles_data() {
    QTest::addColumn<int>("no");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("sizeDouble");
    QTest::addColumn<QString>("look"); // b i u
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<bool>("jump");
    QTest::newRow("0") << 0 << "Normal text" << 32 << "" << QColor() << false;
    QTest::newRow("1") << 1 << "Heading" << 20 << "b" << QColor(0, 0, 255) << false;
    QTest::newRow("2") << 2 << "Subheading" << 20 << "b" << QColor(0, 0, 128) << false;
    QTest::newRow("3") << 3 << "Keywords" << 20 << "i" << QColor(128, 0, 0) << false;
    QTest::newRow("4") << 4 << "Jump 1" << 20 << "u" << QColor(0, 128, 0) << true;
    QTest::newRow("5") << 5 << "Jump 2" << 20 << "u" << QColor(0, 128, 0) << true;
  }
  void defaultTextStyles() {
    QFETCH(int, no);
    QFETCH(QString, name);
    QFETCH(int, sizeDouble);
    QFETCH(QString, look);
    QFETCH(QColor, colour);
    QFETCH(bool, jump);
    TRVStyle style;
    QCOMPARE(style.TextStyles().size(), 6);
    const TFontInfo &info = style.TextStyles().at(no);
    QCOMPARE(info.StyleName, name);
    QCOMPARE(info.FontName, QStringLiteral("Arial"));
    QCOMPARE(info.SizeDouble, sizeDouble);
    QCOMPARE(info.Bold, look.contains('b'));
    QCOMPARE(info.Italic, look.contains('i'));
    QCOMPARE(info.Underline, look.contains('u'));
    QVERIFY(!info.StrikeOut);
    QCOMPARE(info.Color, colour);
    QCOMPARE(info.Jump, jump);
  }

  void defaultParaStyles() {
    TRVStyle style;
    QCOMPARE(style.ParaStyles().size(), 2);
    QCOMPARE(style.ParaStyles().at(0).StyleName, QStringLiteral("Paragraph Style"));
    QCOMPARE(style.ParaStyles().at(0).Alignment, TRVAlignment::rvaLeft);
    QCOMPARE(style.ParaStyles().at(1).StyleName, QStringLiteral("Centered"));
    QCOMPARE(style.ParaStyles().at(1).Alignment, TRVAlignment::rvaCenter);
  }

  void findOrAddReusesAndAdds() {
    TRVStyle style;
    TFontInfo bold = style.TextStyles().at(0);
    QCOMPARE(style.FindOrAddTextStyle(bold), 0);
    bold.Bold = true;
    QCOMPARE(style.FindOrAddTextStyle(bold), 6);
    QCOMPARE(style.FindOrAddTextStyle(bold), 6);
    QCOMPARE(style.TextStyles().size(), 7);
  }

  // --- AddText -----------------------------------------------------------

  void addTextLineBreaks_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("paragraphs");
    QTest::newRow("no break") << "abc" << QStringList{"abc"};
    QTest::newRow("CR") << "a\rb" << QStringList{"a", "b"};
    QTest::newRow("LF") << "a\nb" << QStringList{"a", "b"};
    QTest::newRow("CR LF is one break") << "a\r\nb" << QStringList{"a", "b"};
    QTest::newRow("LF CR is two") << "a\n\rb" << QStringList{"a", "", "b"};
    QTest::newRow("blank line") << "a\r\n\r\nb" << QStringList{"a", "", "b"};
    QTest::newRow("trailing break") << "a\r\n" << QStringList{"a", ""};
    QTest::newRow("leading break") << "\nb" << QStringList{"", "b"};
    QTest::newRow("mixed") << "1\r2\n3\r\n4" << QStringList{"1", "2", "3", "4"};
  }
  void addTextLineBreaks() {
    QFETCH(QString, text);
    QFETCH(QStringList, paragraphs);
    TRichViewEdit edit;
    edit.AddText(text, 0);
    QCOMPARE(Paragraphs(edit), paragraphs);
    for (QTextBlock b = edit.document()->begin(); b.isValid(); b = b.next())
      QCOMPARE(b.blockFormat().property(PropParaNo).toInt(), 0);
  }

  void secondAddTextContinuesTheLastParagraph() {
    TRichViewEdit edit;
    edit.AddText("first", 0);
    edit.AddText("second\nthird", 0);
    QCOMPARE(Paragraphs(edit), (QStringList{"firstsecond", "third"}));
    edit.AddText("\r\n", 0);
    edit.AddText("fourth", 0);
    QCOMPARE(Paragraphs(edit), (QStringList{"firstsecond", "third", "fourth"}));
  }

  void newParagraphsTakeParagraphStyleZero() {
    TRichViewEdit edit;
    edit.AddText("centred", 0);
    edit.ApplyParaStyle(1);
    edit.AddText(" still\nleft", 0);
    QCOMPARE(Paragraphs(edit), (QStringList{"centred still", "left"}));
    QCOMPARE(edit.document()->firstBlock().blockFormat().property(PropParaNo).toInt(), 1);
    QCOMPARE(edit.document()->lastBlock().blockFormat().property(PropParaNo).toInt(), 0);
    QCOMPARE(edit.document()->lastBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask,
             Qt::AlignLeft | Qt::AlignAbsolute);
  }

  void addTextInAStyleGivesItsFormat() {
    TRichViewEdit edit;
    edit.AddText("head\nline", 1);
    QCOMPARE(edit.ItemCount(), 2);
    QCOMPARE(edit.GetItemStyle(0), 1);
    QCOMPARE(edit.GetItemStyle(1), 1);
    QTextCursor c(edit.document());
    c.setPosition(1);
    QCOMPARE(c.charFormat().fontWeight(), int(QFont::Bold));
    QCOMPARE(c.charFormat().foreground().color(), QColor(0, 0, 255));
    QCOMPARE(c.charFormat().fontPointSize(), 10.0);
    QVERIFY_THROWS_EXCEPTION(ERichViewError, edit.AddText("x", 6));
    QVERIFY_THROWS_EXCEPTION(ERichViewError, edit.AddText("x", -1));
  }

  void structuralCharactersAreStoredAsText() {
    TRichViewEdit edit;
    edit.AddText(QString(QChar(0xFFFC)) + "x" + QChar(0x2029) + "y" + QChar(0xFDD0), 0);
    QCOMPARE(edit.document()->blockCount(), 1);
    QCOMPARE(edit.ItemCount(), 1);
    QCOMPARE(edit.GetItem(0).Kind, TRVItemKind::Text);
    QCOMPARE(edit.GetItemTextW(0), QString(QChar(0xFFFD)) + "x" + QChar(0xFFFD) + "y" + QChar(0xFFFD));
  }

  // --- items -------------------------------------------------------------

  void itemsOfAMixedDocument() {
    TRichViewEdit edit;
    edit.AddText("bold", 0);
    Select(edit, 0, 4);
    edit.ApplyStyleConversion([](TFontInfo &f) { f.Bold = true; });
    edit.AddText(" plain", 0);
    edit.AddPicture(Picture(7, 5));
    edit.AddText("\nafter", 0);
    edit.moveCursor(QTextCursor::End);
    edit.InsertTable(2, 3);
    edit.AddText("last", 0);

    QCOMPARE(edit.ItemCount(), 6);
    const int boldNo = edit.GetItemStyle(0);
    QVERIFY(boldNo >= 6);
    const TFontInfo &bold = edit.Style()->TextStyles().at(boldNo);
    QVERIFY(bold.Bold);
    QCOMPARE(bold.FontName, QStringLiteral("Arial"));
    QCOMPARE(bold.SizeDouble, 32);

    const QList<TRVItemKind> kinds{TRVItemKind::Text, TRVItemKind::Text,  TRVItemKind::Picture,
                                   TRVItemKind::Text, TRVItemKind::Table, TRVItemKind::Text};
    const QList<int> styles{boldNo, 0, rvsPicture, 0, rvsTable, 0};
    const QStringList texts{"bold", " plain", "", "after", "", "last"};
    const QList<bool> starts{true, false, false, true, true, true};
    for (int i = 0; i < 6; ++i) {
      const TRVItemInfo item = edit.GetItem(i);
      QCOMPARE(item.Kind, kinds.at(i));
      QCOMPARE(edit.GetItemStyle(i), styles.at(i));
      QCOMPARE(edit.GetItemTextW(i), texts.at(i));
      QCOMPARE(item.NewParagraph, starts.at(i));
    }
    QCOMPARE(edit.GetItem(2).Image.size(), QSize(7, 5));
    QCOMPARE(QColor(edit.GetItem(2).Image.pixel(3, 3)), QColor(Qt::red));
    QVERIFY_THROWS_EXCEPTION(ERichViewError, edit.GetItem(6));
    QVERIFY_THROWS_EXCEPTION(ERichViewError, edit.GetItemStyle(-1));

    // Typing into a table cell adds no item of the document.
    QTextCursor cell = edit.document()->rootFrame()->childFrames().first()->firstCursorPosition();
    cell.insertText("cell text");
    QCOMPARE(edit.ItemCount(), 6);
  }

  void linkedPictureIsAHotPicture() {
    TRichViewEdit edit;
    edit.AddPicture(Picture(4, 4));
    Select(edit, 0, 1);
    QTextCharFormat link;
    link.setAnchor(true);
    link.setAnchorHref("https://example.org/");
    edit.textCursor().mergeCharFormat(link);
    QCOMPARE(edit.ItemCount(), 1);
    QCOMPARE(edit.GetItem(0).Kind, TRVItemKind::HotPicture);
    QCOMPARE(edit.GetItemStyle(0), rvsHotPicture);
    QCOMPARE(edit.GetItem(0).Image.size(), QSize(4, 4));
  }

  void emptyParagraphsAndEmptyDocument() {
    TRichViewEdit edit;
    QCOMPARE(edit.ItemCount(), 0);
    edit.AddText("", 0);
    QCOMPARE(edit.ItemCount(), 0);
    edit.AddText("a\n\nb", 0);
    QCOMPARE(edit.ItemCount(), 3);
    QCOMPARE(edit.GetItemTextW(1), QString());
    QCOMPARE(edit.GetItemStyle(1), 0);
    QVERIFY(edit.GetItem(1).NewParagraph);
  }

  void runsInOneStyleMergeAcrossFormatsButNotAcrossCheckpoints() {
    TRichViewEdit edit;
    edit.AddText("one", 0);
    edit.AddText("two", 0);
    QCOMPARE(edit.ItemCount(), 1);
    QCOMPARE(edit.GetItemTextW(0), QStringLiteral("onetwo"));
    edit.AddNamedCheckpoint("c");
    edit.AddText("three", 0);
    QCOMPARE(edit.ItemCount(), 2);
    QCOMPARE(edit.GetItemTextW(1), QStringLiteral("three"));
    QVERIFY(!edit.GetItem(1).NewParagraph);
  }

  void loadedListsAndRulesAreOtherItems() {
    const QString path = tmp.filePath("list.html");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<html><body><ul><li>x</li></ul><hr/><p>y</p></body></html>");
    f.close();
    TRichViewEdit edit;
    edit.LoadFromFile(path);
    QList<int> styles;
    for (int i = 0; i < edit.ItemCount(); ++i)
      styles.append(edit.GetItemStyle(i));
    QCOMPARE(edit.GetItem(0).Kind, TRVItemKind::Other);
    QCOMPARE(styles.at(0), int(rvsListMarker));
    QCOMPARE(edit.GetItemTextW(1), QStringLiteral("x"));
    QVERIFY(styles.contains(rvsBreak));
    QCOMPARE(edit.GetItemTextW(edit.ItemCount() - 1), QStringLiteral("y"));
  }

  void pastedRichTextGetsStyleNumbers() {
    TPasteEdit edit;
    edit.AddText("start ", 0);
    edit.moveCursor(QTextCursor::End);
    QMimeData mime;
    mime.setHtml("<b>Pasted</b> <i>words</i>");
    edit.insertFromMimeData(&mime);
    QCOMPARE(edit.toPlainText(), QStringLiteral("start Pasted words"));
    bool sawBold = false, sawItalic = false;
    for (int i = 0; i < edit.ItemCount(); ++i) {
      const int no = edit.GetItemStyle(i);
      QVERIFY(no >= 0 && no < edit.Style()->TextStyles().size());
      const TFontInfo &info = edit.Style()->TextStyles().at(no);
      if (edit.GetItemTextW(i).contains("Pasted"))
        sawBold = info.Bold;
      if (edit.GetItemTextW(i).contains("words"))
        sawItalic = info.Italic;
    }
    QVERIFY(sawBold);
    QVERIFY(sawItalic);
    for (QTextBlock b = edit.document()->begin(); b.isValid(); b = b.next())
      for (auto it = b.begin(); !it.atEnd(); ++it)
        QVERIFY(it.fragment().charFormat().property(PropStyleNo).isValid());
    // One step undoes the whole paste.
    edit.undo();
    QCOMPARE(edit.toPlainText(), QStringLiteral("start "));
  }

  // --- checkpoints ----------------------------------------------------------

  void checkpointsMarkTheStartOfTheNextText() {
    TRichViewEdit edit;
    edit.AddNamedCheckpoint("/img/a.png");
    edit.AddText("alpha\n", 0);
    edit.AddNamedCheckpoint("/img/b.png");
    edit.AddText("beta", 0);
    QCOMPARE(edit.CheckpointCount(), 2);
    TCheckpointData a = edit.FindCheckpointByName("/img/a.png");
    TCheckpointData b = edit.FindCheckpointByName("/img/b.png");
    QVERIFY(a && b);
    QCOMPARE(edit.GetCheckpointPos(a), 0);
    QCOMPARE(edit.toPlainText().mid(edit.GetCheckpointPos(b)), QStringLiteral("beta"));
    QCOMPARE(edit.GetCheckpointName(b), QStringLiteral("/img/b.png"));
  }

  void findIsExactAndCaseSensitive_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("found");
    QTest::newRow("exact") << "/Scans/Page.png" << true;
    QTest::newRow("other case") << "/scans/page.png" << false;
    QTest::newRow("prefix") << "/Scans/Page" << false;
    QTest::newRow("longer") << "/Scans/Page.png " << false;
    QTest::newRow("empty") << "" << false;
  }
  void findIsExactAndCaseSensitive() {
    QFETCH(QString, name);
    QFETCH(bool, found);
    TRichViewEdit edit;
    edit.AddNamedCheckpoint("/Scans/Page.png");
    edit.AddText("text", 0);
    QCOMPARE(edit.FindCheckpointByName(name) != nullptr, found);
  }

  void findGivesTheFirstOfTwoWithOneName() {
    TRichViewEdit edit;
    edit.AddNamedCheckpoint("same");
    edit.AddText("first\n", 0);
    edit.AddNamedCheckpoint("other");
    edit.AddText("middle\n", 0);
    edit.AddNamedCheckpoint("same");
    edit.AddText("second", 0);
    QCOMPARE(edit.CheckpointCount(), 3);
    TCheckpointData cp = edit.FindCheckpointByName("same");
    QCOMPARE(edit.GetCheckpointPos(cp), 0);
    QVERIFY(cp == edit.GetCheckpoint(0));
  }

  void checkpointsStayAtTheirTextWhileEditing() {
    TRichViewEdit edit;
    edit.AddNamedCheckpoint("a");
    edit.AddText("alpha\n", 0);
    edit.AddNamedCheckpoint("b");
    edit.AddText("beta\n", 0);
    edit.AddNamedCheckpoint("c");
    edit.AddText("gamma", 0);
    auto textAt = [&](const char *name) {
      return edit.toPlainText().mid(edit.GetCheckpointPos(edit.FindCheckpointByName(name)));
    };
    QTextCursor c(edit.document());
    c.insertText("Inserted\nbefore all ");
    QVERIFY(textAt("b").startsWith("beta"));
    QVERIFY(textAt("c").startsWith("gamma"));
    // Typing inside the text before a checkpoint moves it on.
    c.setPosition(edit.GetCheckpointPos(edit.FindCheckpointByName("b")) - 2);
    c.insertText("XYZ");
    QVERIFY(textAt("b").startsWith("beta"));
    // Removing text before it moves it back.
    c.setPosition(0);
    c.setPosition(9, QTextCursor::KeepAnchor);
    c.removeSelectedText();
    QVERIFY(textAt("c").startsWith("gamma"));
    // Undo and redo keep it in place too.
    edit.undo();
    QVERIFY(textAt("c").startsWith("gamma"));
    edit.redo();
    QVERIFY(textAt("c").startsWith("gamma"));
    // Text typed exactly at a checkpoint goes after it.
    c.setPosition(edit.GetCheckpointPos(edit.FindCheckpointByName("c")));
    c.insertText("new ");
    QVERIFY(textAt("c").startsWith("new gamma"));
  }

  void checkpointWithoutTextTakesTheNext() {
    TRichViewEdit edit;
    edit.AddText("old", 0);
    edit.AddNamedCheckpoint("empty result");
    edit.AddNamedCheckpoint("next");
    edit.AddText("fresh", 0);
    QCOMPARE(edit.toPlainText().mid(edit.GetCheckpointPos(edit.FindCheckpointByName("empty result"))),
             QStringLiteral("fresh"));
    QCOMPARE(edit.GetCheckpointPos(edit.FindCheckpointByName("next")), 3);
  }

  void clearAllRemovesItemsAndCheckpoints() {
    TRichViewEdit edit;
    edit.AddNamedCheckpoint("a");
    edit.AddText("alpha\nbeta", 0);
    edit.AddPicture(Picture(5, 5));
    edit.ClearAll();
    QCOMPARE(edit.CheckpointCount(), 0);
    QVERIFY(!edit.FindCheckpointByName("a"));
    QCOMPARE(edit.ItemCount(), 0);
    QCOMPARE(edit.toPlainText(), QString());
    QVERIFY(!edit.document()->isUndoAvailable());
    // Typing afterwards is in "Normal text".
    edit.textCursor().insertText("typed");
    QCOMPARE(edit.GetItemStyle(0), 0);
  }

  void missingCheckpointRaises() {
    TRichViewEdit edit;
    QVERIFY_THROWS_EXCEPTION(ERichViewError, edit.GetCheckpointYEx(nullptr));
    QVERIFY_THROWS_EXCEPTION(ERichViewError, edit.GetCheckpointPos(nullptr));
    QVERIFY_THROWS_EXCEPTION(ERichViewError, edit.GetCheckpoint(0));
  }

  void checkpointYGrowsDownAndScrollToMovesTheBar() {
    TRichViewEdit edit;
    edit.resize(400, 300);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    for (int part = 0; part < 4; ++part) {
      edit.AddNamedCheckpoint(QStringLiteral("part%1").arg(part));
      QString text;
      for (int line = 0; line < 30; ++line)
        text += QStringLiteral("part %1 line %2\n").arg(part).arg(line);
      edit.AddText(text, 0);
    }
    edit.ReformatAll();
    QList<int> ys;
    for (int part = 0; part < 4; ++part)
      ys.append(edit.GetCheckpointYEx(edit.FindCheckpointByName(QStringLiteral("part%1").arg(part))));
    QVERIFY(ys.at(0) >= 0);
    QVERIFY(ys.at(0) < 20);
    for (int i = 1; i < 4; ++i)
      QVERIFY2(ys.at(i) > ys.at(i - 1) + 30 * 16, qPrintable(QString::number(ys.at(i))));
    QVERIFY(edit.verticalScrollBar()->maximum() > ys.at(2));

    QCOMPARE(edit.verticalScrollBar()->value(), 0);
    edit.ScrollTo(ys.at(2));
    QCOMPARE(edit.verticalScrollBar()->value(), ys.at(2));
    // The checkpoint's line is now at the top of the view.
    QTextCursor at(edit.document());
    at.setPosition(edit.GetCheckpointPos(edit.FindCheckpointByName("part2")));
    QVERIFY(qAbs(edit.cursorRect(at).top()) <= 2);
    edit.ScrollTo(0);
    QCOMPARE(edit.verticalScrollBar()->value(), 0);
  }

  // --- files -----------------------------------------------------------------

  void saveToFile_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("format");
    QTest::newRow("HTML") << "out.htm" << int(TRVFileFormat::HTML);
    QTest::newRow("ODF") << "out.odt" << int(TRVFileFormat::ODF);
    QTest::newRow("text") << "out.txt" << int(TRVFileFormat::Text);
    QTest::newRow("Markdown") << "out.md" << int(TRVFileFormat::Markdown);
  }
  void saveToFile() {
    QFETCH(QString, name);
    QFETCH(int, format);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QCOMPARE(int(TRichViewEdit::FileFormatOf(path)), format);
    TRichViewEdit edit;
    edit.AddText("Hello world", 0);
    edit.AddPicture(Picture(6, 4, Qt::blue));
    edit.SaveToFile(path, TRVFileFormat(format));
    QVERIFY(QFileInfo(path).size() > 0);
    const QString content = ReadAll(path);
    switch (TRVFileFormat(format)) {
    case TRVFileFormat::HTML:
    case TRVFileFormat::Markdown: {
      QVERIFY(content.contains("Hello world"));
      QVERIFY(content.contains("img1.png"));
      const QImage written(dir.filePath("img1.png"));
      QCOMPARE(written.size(), QSize(6, 4));
      QCOMPARE(QColor(written.pixel(1, 1)), QColor(Qt::blue));
      break;
    }
    case TRVFileFormat::ODF: {
      QFile f(path);
      QVERIFY(f.open(QIODevice::ReadOnly));
      QCOMPARE(f.read(2), QByteArray("PK"));
      break;
    }
    case TRVFileFormat::Text:
      QCOMPARE(content, QStringLiteral("Hello world"));
      break;
    }
  }

  void pictureFilesReplaceNoExistingFile() {
    QTemporaryDir dir;
    QFile keep(dir.filePath("img1.png"));
    QVERIFY(keep.open(QIODevice::WriteOnly));
    keep.write("someone else's");
    keep.close();
    TRichViewEdit edit;
    edit.AddPicture(Picture(2, 2));
    edit.AddPicture(Picture(3, 3));
    edit.SaveToFile(dir.filePath("doc.html"), TRVFileFormat::HTML);
    QCOMPARE(ReadAll(dir.filePath("img1.png")), QStringLiteral("someone else's"));
    QCOMPARE(QImage(dir.filePath("img2.png")).size(), QSize(2, 2));
    QCOMPARE(QImage(dir.filePath("img3.png")).size(), QSize(3, 3));
  }

  void htmlRoundTripKeepsStylesAndPictures() {
    QTemporaryDir dir;
    const QString path = dir.filePath("round.html");
    {
      TRichViewEdit edit;
      edit.AddText("bold", 0);
      Select(edit, 0, 4);
      edit.ApplyStyleConversion([](TFontInfo &f) { f.Bold = true; });
      edit.AddText(" plain", 0);
      edit.AddPicture(Picture(7, 5, Qt::green), 0);
      edit.SaveToFile(path, TRVFileFormat::HTML);
    }
    TRichViewEdit edit;
    edit.AddNamedCheckpoint("gone");
    edit.LoadFromFile(path);
    QCOMPARE(edit.CheckpointCount(), 0);
    QCOMPARE(edit.ItemCount(), 3);
    const TFontInfo &bold = edit.Style()->TextStyles().at(edit.GetItemStyle(0));
    QCOMPARE(edit.GetItemTextW(0), QStringLiteral("bold"));
    QVERIFY(bold.Bold);
    QCOMPARE(bold.FontName, QStringLiteral("Arial"));
    QCOMPARE(bold.SizeDouble, 32);
    QCOMPARE(edit.GetItemStyle(1), 0);
    QCOMPARE(edit.GetItem(2).Kind, TRVItemKind::Picture);
    QCOMPARE(edit.GetItem(2).Image.size(), QSize(7, 5));
    QVERIFY(!edit.document()->isUndoAvailable());
  }

  void loadPlainTextAppendsInNormalText() {
    const QString path = tmp.filePath("plain.txt");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F"
            "e\r\nzwei");
    f.close();
    TRichViewEdit edit;
    edit.LoadFromFile(path);
    QCOMPARE(Paragraphs(edit), (QStringList{"Grüße", "zwei"}));
    QCOMPARE(edit.GetItemStyle(0), 0);
  }

  // The whole document replaced in one step of the undo history: undo
  // brings back text, formatting, pictures and the same checkpoints at their
  // places; redo replaces again.
  void replaceAllTextIsOneUndoStep() {
    TRichViewEdit edit;
    edit.AddNamedCheckpoint("first");
    edit.AddText("Heading", 1);
    edit.AddPicture(Picture(6, 4), 0);
    edit.AddNamedCheckpoint("second");
    edit.AddText("\nbody text", 0);
    const QString before = edit.document()->toHtml();
    const TCheckpointData second = edit.FindCheckpointByName("second");
    const int secondPos = edit.GetCheckpointPos(second);
    edit.ReplaceAllText("one\ntwo", 0);
    QCOMPARE(Paragraphs(edit), (QStringList{"one", "two"}));
    QCOMPARE(edit.CheckpointCount(), 0);
    QCOMPARE(edit.GetItemStyle(0), 0);
    QVERIFY(edit.document()->isModified());
    edit.undo();
    QCOMPARE(edit.document()->toHtml(), before);
    QCOMPARE(edit.CheckpointCount(), 2);
    QCOMPARE(edit.FindCheckpointByName("second"), second);
    QCOMPARE(edit.GetCheckpointPos(second), secondPos);
    QCOMPARE(edit.GetCheckpointPos(edit.FindCheckpointByName("first")), 0);
    QVERIFY(!edit.document()->isUndoAvailable());
    edit.redo();
    QCOMPARE(Paragraphs(edit), (QStringList{"one", "two"}));
    QCOMPARE(edit.CheckpointCount(), 0);
    QVERIFY_THROWS_EXCEPTION(ERichViewError, edit.ReplaceAllText("x", 99));
  }

  // The pictures that an opened document names are read from local regular
  // files only, through the image reader's checks: a pipe, a device, a
  // folder, a header claiming a giant picture or a web address give a
  // broken picture at once, without a read that could block or not end.
  void picturesOfAnOpenedDocumentAreReadThroughTheChecks_data() {
    QTest::addColumn<QString>("file");   // the document, in the folder "doc"
    QTest::addColumn<QString>("source"); // the picture's name in it; %1: the folder
    QTest::addColumn<bool>("loaded");
    QTest::newRow("relative") << "a.html"
                              << "pics/good.png" << true;
    QTest::newRow("relative, Markdown") << "a.md"
                                        << "pics/good.png" << true;
    QTest::newRow("absolute path") << "a.html"
                                   << "%1/pics/good.png" << true;
    QTest::newRow("file address") << "a.html"
                                  << "file://%1/pics/good.png" << true;
    QTest::newRow("data address") << "a.html"
                                  << "data:image/png;base64,DATA" << true;
    QTest::newRow("missing") << "a.html"
                             << "pics/none.png" << false;
    QTest::newRow("a pipe") << "a.html"
                            << "pics/pipe.png" << false;
    QTest::newRow("a pipe, Markdown") << "a.md"
                                      << "pics/pipe.png" << false;
    QTest::newRow("a device") << "a.html"
                              << "/dev/zero" << false;
    QTest::newRow("a folder") << "a.html"
                              << "pics" << false;
    QTest::newRow("a giant picture's header") << "a.html"
                                              << "pics/giant.png" << false;
    QTest::newRow("web address") << "a.html"
                                 << "http://127.0.0.1:9/good.png" << false;
  }
  void picturesOfAnOpenedDocumentAreReadThroughTheChecks() {
    QFETCH(QString, file);
    QFETCH(QString, source);
    QFETCH(bool, loaded);
    QTemporaryDir dir;
    const QString folder = dir.filePath("doc");
    QVERIFY(QDir().mkpath(folder + "/pics"));
    const QImage good = Picture(9, 7, Qt::blue);
    QVERIFY(good.save(folder + "/pics/good.png"));
    QVERIFY(WriteBytes(folder + "/pics/giant.png", ImgTestFiles::MakePng(60000, 60000, -1, 0, false)));
    QCOMPARE(::mkfifo(QFile::encodeName(folder + "/pics/pipe.png").constData(), 0600), 0);
    QByteArray png;
    {
      QBuffer buffer(&png);
      buffer.open(QIODevice::WriteOnly);
      good.save(&buffer, "png");
    }
    source = source.arg(folder).replace("DATA", QString::fromLatin1(png.toBase64()));
    const QByteArray text = file.endsWith(".md") ? ("before ![p](" + source.toUtf8() + ") after\n")
                                                 : ("<p>before <img src=\"" + source.toUtf8() + "\"> after</p>");
    QVERIFY(WriteBytes(folder + "/" + file, text));
    TRichViewEdit edit;
    edit.resize(400, 300);
    edit.LoadFromFile(folder + "/" + file);
    edit.Format();
    QCOMPARE(edit.ItemCount(), 3);
    const TRVItemInfo picture = edit.GetItem(1);
    QCOMPARE(picture.Kind, TRVItemKind::Picture);
    QCOMPARE(!picture.Image.isNull(), loaded);
    if (loaded)
      QCOMPARE(picture.Image.size(), good.size());
  }

  // Only a regular file of a bounded size is opened as a document.
  void openRefusesWhatIsNoDocumentFile_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << "none.html"
                             << "No such file or directory";
    QTest::newRow("a folder") << "folder.html"
                              << "Is a directory";
    QTest::newRow("a pipe") << "pipe.html"
                            << "It is a device, a pipe or a socket, not a file.";
    QTest::newRow("too large") << "large.txt"
                               << "It is larger than 128 MB.";
  }
  void openRefusesWhatIsNoDocumentFile() {
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath("folder.html")));
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("pipe.html")).constData(), 0600), 0);
    {
      QFile large(dir.filePath("large.txt")); // sparse: nothing of it is read
      QVERIFY(large.open(QIODevice::WriteOnly));
      QVERIFY(large.resize(TRichViewEdit::MaxDocumentBytes + 1));
    }
    TRichViewEdit edit;
    edit.AddText("kept", 0);
    QString message;
    try {
      edit.LoadFromFile(dir.filePath(name));
    } catch (const ERichViewError &e) {
      message = QString::fromUtf8(e.what());
    }
    QCOMPARE(message, QStringLiteral("Cannot open file \"%1\". %2").arg(dir.filePath(name), reason));
    QCOMPARE(edit.toPlainText(), QStringLiteral("kept"));
  }

  void fileFailuresRaise() {
    TRichViewEdit edit;
    edit.AddText("text", 0);
    QVERIFY_THROWS_EXCEPTION(ERichViewError, edit.SaveToFile(tmp.filePath("no/such/dir/x.htm"), TRVFileFormat::HTML));
    QVERIFY_THROWS_EXCEPTION(ERichViewError, edit.LoadFromFile(tmp.filePath("missing.html")));
    QCOMPARE(edit.toPlainText(), QStringLiteral("text"));
  }
};

QTEST_MAIN(TestRichViewEdit)
#include "tst_richviewedit.moc"
