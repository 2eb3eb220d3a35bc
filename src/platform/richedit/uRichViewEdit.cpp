#include "uRichViewEdit.h"

#include "uAtomicFile.h"
#include "uImageFile.h"
#include "uTextFile.h"

#include <QAbstractTextDocumentLayout>
#include <QAbstractUndoItem>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageWriter>
#include <QPagedPaintDevice>
#include <QPixmap>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentWriter>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QUrl>
#include <algorithm>
#include <cmath>

struct TRichViewEdit::TItems {
  std::vector<TRVItemInfo> List;
};

namespace {

// Characters that would change the document's structure if stored as text.
QString Sanitized(const QString &s) {
  QString out = s;
  for (QChar &c : out) {
    const char16_t u = c.unicode();
    if (u == 0xFFFC || u == 0x2029 || u == 0xFDD0 || u == 0xFDD1)
      c = QChar(0xFFFD);
  }
  return out;
}

QStringList SplitAtBreaks(const QString &s) {
  static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
  return s.split(breaks);
}

QString WriteError(const QString &fileName, const QString &reason) {
  return QStringLiteral("Cannot write file \"%1\". %2").arg(QDir::toNativeSeparators(fileName), reason);
}

void WriteOrRaise(const QString &fileName, const QByteArray &bytes) {
  QString error;
  if (!WriteFileAtomically(fileName, bytes, &error))
    throw ERichViewError(WriteError(fileName, error));
}

bool IsValidIndex(const QVariant &value, qsizetype count) {
  if (!value.isValid())
    return false;
  bool ok = false;
  const int n = value.toInt(&ok);
  return ok && n >= 0 && n < count;
}

} // namespace

TRichViewEdit::TRichViewEdit(QWidget *parent) : QTextEdit(parent), FOwnStyle(new TRVStyle(this)) {
  setAcceptRichText(true);
  connect(document(), &QTextDocument::contentsChange, this, [this] { FItems.reset(); });
  connect(this, &QTextEdit::cursorPositionChanged, this, &TRichViewEdit::CurrentStyleChanged);
  connect(this, &QTextEdit::currentCharFormatChanged, this, &TRichViewEdit::CurrentStyleChanged);
  ResetEmptyDocument();
}

TRichViewEdit::~TRichViewEdit() {
  // The document outlives this part of the object; nothing may reach the
  // members from its signals any more.
  disconnect(document(), nullptr, this, nullptr);
}

void TRichViewEdit::SetStyle(TRVStyle *style) {
  FStyle = style;
  FItems.reset();
  ResetEmptyDocument();
}

// ---------------------------------------------------------------------------
// Styles of formats

QTextCharFormat TRichViewEdit::StyleFormat(int styleNo) const {
  if (styleNo < 0 || styleNo >= Style()->TextStyles().size())
    styleNo = 0;
  QTextCharFormat format = Style()->TextStyle(styleNo).CharFormat();
  format.setProperty(PropStyleNo, styleNo);
  return format;
}

QTextBlockFormat TRichViewEdit::ParaFormat(int paraNo) const {
  if (paraNo < 0 || paraNo >= Style()->ParaStyles().size())
    paraNo = 0;
  QTextBlockFormat format = Style()->ParaStyle(paraNo).BlockFormat();
  format.setProperty(PropParaNo, paraNo);
  return format;
}

int TRichViewEdit::TextStyleNoOf(const QTextCharFormat &format) const {
  const QVariant value = format.property(PropStyleNo);
  if (IsValidIndex(value, Style()->TextStyles().size()))
    return value.toInt();
  TFontInfo defaults = Style()->TextStyle(0);
  const QFont font = document()->defaultFont();
  defaults.FontName = font.family();
  if (font.pointSizeF() > 0)
    defaults.SizeDouble = static_cast<int>(std::lround(font.pointSizeF() * 2));
  return Style()->FindOrAddTextStyle(TFontInfo::FromCharFormat(format, defaults));
}

int TRichViewEdit::ParaStyleNoOf(const QTextBlockFormat &format) const {
  const QVariant value = format.property(PropParaNo);
  if (IsValidIndex(value, Style()->ParaStyles().size()))
    return value.toInt();
  TParaInfo info = Style()->ParaStyle(0);
  info.Alignment = TParaInfo::FromQtAlignment(format.alignment());
  return Style()->FindOrAddParaStyle(info);
}

void TRichViewEdit::ResetEmptyDocument() {
  const TFontInfo &normal = Style()->TextStyle(0);
  QFont font(normal.FontName);
  font.setPointSizeF(normal.Size());
  document()->setDefaultFont(font);
  if (document()->isEmpty()) {
    QTextCursor c(document());
    c.setBlockFormat(ParaFormat(0));
    c.setBlockCharFormat(StyleFormat(0));
    setCurrentCharFormat(StyleFormat(0));
    document()->clearUndoRedoStacks();
    document()->setModified(false);
  }
}

// Gives every run and paragraph of a range its style number, adding styles
// for formats the sheet lacks; the look stays as it is.
void TRichViewEdit::Normalize(int from, int to) {
  QTextDocument *doc = document();
  struct TRun {
    int Start, End, StyleNo;
  };
  std::vector<TRun> runs;
  std::vector<std::pair<int, int>> paras;      // block position, style
  std::vector<std::pair<int, int>> emptyParas; // block position, style
  for (QTextBlock b = doc->findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
    if (!IsValidIndex(b.blockFormat().property(PropParaNo), Style()->ParaStyles().size()))
      paras.emplace_back(b.position(), ParaStyleNoOf(b.blockFormat()));
    if (b.length() == 1 && !IsValidIndex(b.charFormat().property(PropStyleNo), Style()->TextStyles().size()))
      emptyParas.emplace_back(b.position(), TextStyleNoOf(b.charFormat()));
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment frag = it.fragment();
      if (!frag.isValid() || frag.charFormat().isImageFormat())
        continue;
      if (IsValidIndex(frag.charFormat().property(PropStyleNo), Style()->TextStyles().size()))
        continue;
      runs.push_back({frag.position(), frag.position() + frag.length(), TextStyleNoOf(frag.charFormat())});
    }
  }
  if (runs.empty() && paras.empty() && emptyParas.empty())
    return;
  QTextCursor c(doc);
  c.beginEditBlock();
  for (const auto &[pos, paraNo] : paras) {
    c.setPosition(pos);
    QTextBlockFormat mark;
    mark.setProperty(PropParaNo, paraNo);
    c.mergeBlockFormat(mark);
  }
  for (const auto &[pos, styleNo] : emptyParas) {
    c.setPosition(pos);
    QTextCharFormat mark;
    mark.setProperty(PropStyleNo, styleNo);
    c.mergeBlockCharFormat(mark);
  }
  for (const TRun &run : runs) {
    c.setPosition(run.Start);
    c.setPosition(run.End, QTextCursor::KeepAnchor);
    QTextCharFormat mark;
    mark.setProperty(PropStyleNo, run.StyleNo);
    c.mergeCharFormat(mark);
  }
  c.endEditBlock();
}

// ---------------------------------------------------------------------------
// Items

void TRichViewEdit::Rebuild() const {
  auto items = std::make_unique<TItems>();
  QTextDocument *doc = document();
  if (doc->isEmpty()) {
    FItems = std::move(items);
    return;
  }
  std::vector<int> cps;
  for (const auto &cp : FCheckpoints)
    cps.push_back(cp->Cursor.position());
  std::sort(cps.begin(), cps.end());
  auto isCheckpoint = [&](int pos) { return std::binary_search(cps.begin(), cps.end(), pos); };
  std::vector<TRVItemInfo> &list = items->List;

  auto addBlock = [&](const QTextBlock &block) {
    const int paraNo = ParaStyleNoOf(block.blockFormat());
    bool first = true;
    auto push = [&](TRVItemInfo item) {
      item.ParaNo = paraNo;
      item.NewParagraph = first;
      first = false;
      list.push_back(std::move(item));
    };
    if (block.blockFormat().hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth)) {
      TRVItemInfo rule;
      rule.StyleNo = rvsBreak;
      rule.Position = block.position();
      rule.Length = block.length() - 1;
      push(rule);
      return;
    }
    if (block.textList()) {
      TRVItemInfo marker;
      marker.StyleNo = rvsListMarker;
      marker.Position = block.position();
      push(marker);
    }
    bool any = false;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment frag = it.fragment();
      if (!frag.isValid())
        continue;
      any = true;
      const QTextCharFormat format = frag.charFormat();
      const int start = frag.position();
      const QString text = frag.text();
      if (format.isImageFormat()) {
        const bool hot = format.isAnchor();
        const QImage image = PictureImage(format.toImageFormat().name());
        for (qsizetype k = 0; k < text.size(); ++k) {
          TRVItemInfo picture;
          picture.Kind = hot ? TRVItemKind::HotPicture : TRVItemKind::Picture;
          picture.StyleNo = hot ? rvsHotPicture : rvsPicture;
          picture.Image = image;
          picture.Position = start + static_cast<int>(k);
          picture.Length = 1;
          push(picture);
        }
        continue;
      }
      const int styleNo = TextStyleNoOf(format);
      auto addRun = [&](int from, int to) {
        const int pos = start + from;
        QString part = text.mid(from, to - from);
        part.replace(QChar::LineSeparator, u'\n');
        if (!first && !list.empty() && list.back().Kind == TRVItemKind::Text && list.back().StyleNo == styleNo &&
            list.back().Position + list.back().Length == pos && !isCheckpoint(pos)) {
          list.back().Text += part;
          list.back().Length += to - from;
          return;
        }
        TRVItemInfo run;
        run.Kind = TRVItemKind::Text;
        run.StyleNo = styleNo;
        run.Text = part;
        run.Position = pos;
        run.Length = to - from;
        push(run);
      };
      int segment = 0;
      const int length = static_cast<int>(text.size());
      for (int cp : cps)
        if (cp > start + segment && cp < start + length) {
          addRun(segment, cp - start);
          segment = cp - start;
        }
      addRun(segment, length);
    }
    if (!any) {
      TRVItemInfo empty;
      empty.Kind = TRVItemKind::Text;
      empty.StyleNo = TextStyleNoOf(block.charFormat());
      empty.Position = block.position();
      push(empty);
    }
  };

  std::function<void(QTextFrame *)> walk = [&](QTextFrame *frame) {
    for (auto it = frame->begin(); !it.atEnd(); ++it) {
      if (QTextFrame *child = it.currentFrame()) {
        if (QTextTable *table = qobject_cast<QTextTable *>(child)) {
          TRVItemInfo item;
          item.Kind = TRVItemKind::Table;
          item.StyleNo = rvsTable;
          item.NewParagraph = true;
          item.Position = table->firstPosition() - 1;
          item.Length = table->lastPosition() - table->firstPosition() + 2;
          list.push_back(item);
        } else {
          walk(child);
        }
      } else if (it.currentBlock().isValid()) {
        addBlock(it.currentBlock());
      }
    }
  };
  walk(doc->rootFrame());
  FItems = std::move(items);
}

const TRichViewEdit::TItems &TRichViewEdit::Items() const {
  if (!FItems)
    Rebuild();
  return *FItems;
}

const TRVItemInfo &TRichViewEdit::ItemAt(int itemNo) const {
  const TItems &items = Items();
  if (itemNo < 0 || static_cast<size_t>(itemNo) >= items.List.size())
    throw ERichViewError(QStringLiteral("List index out of bounds (%1)").arg(itemNo));
  return items.List[static_cast<size_t>(itemNo)];
}

int TRichViewEdit::ItemCount() const { return static_cast<int>(Items().List.size()); }

TRVItemInfo TRichViewEdit::GetItem(int itemNo) const { return ItemAt(itemNo); }

int TRichViewEdit::GetItemStyle(int itemNo) const { return ItemAt(itemNo).StyleNo; }

QString TRichViewEdit::GetItemTextW(int itemNo) const { return ItemAt(itemNo).Text; }

QImage TRichViewEdit::PictureImage(const QString &name) const {
  if (name.isEmpty())
    return {};
  const QVariant resource = document()->resource(QTextDocument::ImageResource, QUrl(name));
  switch (resource.typeId()) {
  case QMetaType::QImage:
    return resource.value<QImage>();
  case QMetaType::QPixmap:
    return resource.value<QPixmap>().toImage();
  case QMetaType::QByteArray:
    return QImage::fromData(resource.toByteArray());
  default:
    return {};
  }
}

// ---------------------------------------------------------------------------
// Building

void TRichViewEdit::AddText(const QString &s, int StyleNo) { AddTextNL(s, StyleNo, -1, 0); }

void TRichViewEdit::AddTextNL(const QString &s, int StyleNo, int ParaNo, int OtherParaNo) {
  if (StyleNo < 0 || StyleNo >= Style()->TextStyles().size())
    throw ERichViewError(QStringLiteral("Invalid text style number %1").arg(StyleNo));
  const QStringList lines = SplitAtBreaks(Sanitized(s));
  const QTextCharFormat format = StyleFormat(StyleNo);
  const bool emptyDocument = document()->isEmpty();
  QTextCursor c(document());
  c.movePosition(QTextCursor::End);
  c.beginEditBlock();
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const int para = i == 0 ? ParaNo : OtherParaNo;
    if (i > 0 || (para >= 0 && !emptyDocument))
      c.insertBlock(ParaFormat(para), format);
    else if (para >= 0)
      c.setBlockFormat(ParaFormat(para));
    if (c.block().length() == 1)
      c.setBlockCharFormat(format);
    if (!lines.at(i).isEmpty())
      c.insertText(lines.at(i), format);
  }
  c.endEditBlock();
  document()->clearUndoRedoStacks();
}

QString TRichViewEdit::AddPictureResource(const QImage &image) {
  const QString name = QStringLiteral("rvpic:%1").arg(++FPictureCounter);
  document()->addResource(QTextDocument::ImageResource, QUrl(name), QVariant(image));
  return name;
}

static QTextImageFormat PictureFormat(const QString &name, const QImage &image,
                                      QTextCharFormat::VerticalAlignment valign = QTextCharFormat::AlignBaseline) {
  QTextImageFormat format;
  format.setName(name);
  format.setWidth(image.width());
  format.setHeight(image.height());
  format.setVerticalAlignment(valign);
  return format;
}

void TRichViewEdit::AddPicture(const QImage &image, int ParaNo) {
  const QString name = AddPictureResource(image);
  QTextCursor c(document());
  c.movePosition(QTextCursor::End);
  c.beginEditBlock();
  if (ParaNo >= 0) {
    if (document()->isEmpty())
      c.setBlockFormat(ParaFormat(ParaNo));
    else
      c.insertBlock(ParaFormat(ParaNo), StyleFormat(0));
  }
  c.insertImage(PictureFormat(name, image));
  c.endEditBlock();
  document()->clearUndoRedoStacks();
}

void TRichViewEdit::ClearAll() {
  FCheckpoints.clear();
  clear();
  document()->setBaseUrl(QUrl());
  FItems.reset();
  ResetEmptyDocument();
}

// The checkpoints that a replacement of the whole document took away: they
// come back, at their places, when the replacement is undone, and go again
// when it is redone. The document owns the item; it never outlives the
// editor's document.
class TRichViewEdit::TReplaceUndo : public QAbstractUndoItem {
public:
  TReplaceUndo(TRichViewEdit *edit, std::vector<std::unique_ptr<TRVCheckpoint>> checkpoints)
      : FEdit(edit), FCheckpoints(std::move(checkpoints)) {
    for (const auto &cp : FCheckpoints)
      FPositions.push_back(cp->Cursor.position());
  }

  // Runs after the document's own steps of the replacement are undone.
  void undo() override {
    const int last = std::max(0, FEdit->document()->characterCount() - 1);
    FTaken.clear();
    for (size_t i = 0; i < FCheckpoints.size(); ++i) {
      FCheckpoints[i]->Cursor.setPosition(std::clamp(FPositions[i], 0, last));
      FTaken.push_back(FCheckpoints[i].get());
    }
    auto &list = FEdit->FCheckpoints;
    list.insert(list.begin(), std::make_move_iterator(FCheckpoints.begin()),
                std::make_move_iterator(FCheckpoints.end()));
    FCheckpoints.clear();
    FEdit->FItems.reset();
  }

  void redo() override {
    auto &list = FEdit->FCheckpoints;
    for (const TRVCheckpoint *cp : FTaken) {
      auto it = std::find_if(list.begin(), list.end(), [cp](const auto &own) { return own.get() == cp; });
      if (it != list.end()) {
        FCheckpoints.push_back(std::move(*it));
        list.erase(it);
      }
    }
    FTaken.clear();
    FEdit->FItems.reset();
  }

private:
  TRichViewEdit *FEdit;
  std::vector<std::unique_ptr<TRVCheckpoint>> FCheckpoints;
  std::vector<int> FPositions;
  std::vector<const TRVCheckpoint *> FTaken; // given back by the last undo
};

void TRichViewEdit::ReplaceAllText(const QString &s, int StyleNo) {
  if (StyleNo < 0 || StyleNo >= Style()->TextStyles().size())
    throw ERichViewError(QStringLiteral("Invalid text style number %1").arg(StyleNo));
  const QStringList lines = SplitAtBreaks(Sanitized(s));
  const QTextCharFormat format = StyleFormat(StyleNo);
  QTextCursor c(document());
  c.beginEditBlock();
  // First in the step, so that undoing it gives the checkpoints back last,
  // into the document as it was.
  document()->appendUndoItem(new TReplaceUndo(this, std::move(FCheckpoints)));
  FCheckpoints.clear();
  c.select(QTextCursor::Document);
  c.removeSelectedText();
  c.setBlockFormat(ParaFormat(0));
  c.setBlockCharFormat(format);
  for (qsizetype i = 0; i < lines.size(); ++i) {
    if (i > 0)
      c.insertBlock(ParaFormat(0), format);
    if (!lines.at(i).isEmpty())
      c.insertText(lines.at(i), format);
  }
  c.endEditBlock();
  FItems.reset();
}

void TRichViewEdit::EnsureLayout() const {
  QAbstractTextDocumentLayout *layout = document()->documentLayout();
  layout->blockBoundingRect(document()->lastBlock());
  layout->documentSize();
}

void TRichViewEdit::Format() {
  EnsureLayout();
  viewport()->update();
}

void TRichViewEdit::Reformat() { Format(); }

void TRichViewEdit::ReformatAll() { Format(); }

// ---------------------------------------------------------------------------
// Checkpoints

void TRichViewEdit::AddNamedCheckpoint(const QString &name) {
  auto cp = std::make_unique<TRVCheckpoint>();
  cp->Name = name;
  cp->Cursor = QTextCursor(document());
  cp->Cursor.movePosition(QTextCursor::End);
  cp->Cursor.setKeepPositionOnInsert(true);
  FCheckpoints.push_back(std::move(cp));
  FItems.reset();
}

TCheckpointData TRichViewEdit::FindCheckpointByName(const QString &name) const {
  const TRVCheckpoint *best = nullptr;
  for (const auto &cp : FCheckpoints)
    if (cp->Name == name && (!best || cp->Cursor.position() < best->Cursor.position()))
      best = cp.get();
  return best;
}

TCheckpointData TRichViewEdit::GetCheckpoint(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= FCheckpoints.size())
    throw ERichViewError(QStringLiteral("List index out of bounds (%1)").arg(index));
  return FCheckpoints[static_cast<size_t>(index)].get();
}

static void CheckCheckpoint(TCheckpointData cp) {
  if (!cp)
    throw ERichViewError(QStringLiteral("Invalid checkpoint"));
}

QString TRichViewEdit::GetCheckpointName(TCheckpointData cp) const {
  CheckCheckpoint(cp);
  return cp->Name;
}

int TRichViewEdit::GetCheckpointPos(TCheckpointData cp) const {
  CheckCheckpoint(cp);
  return cp->Cursor.position();
}

int TRichViewEdit::GetCheckpointYEx(TCheckpointData cp) const {
  CheckCheckpoint(cp);
  const int pos = cp->Cursor.position();
  const QTextBlock block = document()->findBlock(pos);
  if (!block.isValid() || !block.layout())
    return 0;
  const QRectF rect = document()->documentLayout()->blockBoundingRect(block);
  const QTextLayout *layout = block.layout();
  // The block's place in the document, whatever frames hold it.
  double y = rect.top() - layout->boundingRect().top();
  const QTextLine line = layout->lineForTextPosition(pos - block.position());
  if (line.isValid())
    y += line.y();
  else if (layout->lineCount() > 0)
    y += layout->lineAt(0).y();
  return static_cast<int>(std::floor(y));
}

void TRichViewEdit::ScrollTo(int y) {
  EnsureLayout();
  verticalScrollBar()->setValue(y);
}

// ---------------------------------------------------------------------------
// Formatting

int TRichViewEdit::CurTextStyleNo() const { return TextStyleNoOf(textCursor().charFormat()); }

int TRichViewEdit::CurParaStyleNo() const { return ParaStyleNoOf(textCursor().blockFormat()); }

void TRichViewEdit::ApplyStyleConversion(const std::function<void(TFontInfo &)> &convert) {
  auto restyle = [&](int styleNo) {
    TFontInfo info = Style()->TextStyle(styleNo);
    convert(info);
    return Style()->FindOrAddTextStyle(info);
  };
  QTextCursor cursor = textCursor();
  if (!cursor.hasSelection()) {
    setCurrentCharFormat(StyleFormat(restyle(CurTextStyleNo())));
    emit CurrentStyleChanged();
    return;
  }
  const int from = cursor.selectionStart();
  const int to = cursor.selectionEnd();
  struct TRun {
    int Start, End, StyleNo;
  };
  std::vector<TRun> runs;
  std::vector<std::pair<int, int>> emptyParas;
  for (QTextBlock b = document()->findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
    if (b.length() == 1 && b.position() >= from && b.position() < to)
      emptyParas.emplace_back(b.position(), restyle(TextStyleNoOf(b.charFormat())));
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment frag = it.fragment();
      if (!frag.isValid() || frag.charFormat().isImageFormat())
        continue;
      const int a = std::max(frag.position(), from);
      const int e = std::min(frag.position() + frag.length(), to);
      if (a < e)
        runs.push_back({a, e, restyle(TextStyleNoOf(frag.charFormat()))});
    }
  }
  QTextCursor c(document());
  c.beginEditBlock();
  for (const auto &[pos, styleNo] : emptyParas) {
    c.setPosition(pos);
    c.setBlockCharFormat(StyleFormat(styleNo));
  }
  for (const TRun &run : runs) {
    c.setPosition(run.Start);
    c.setPosition(run.End, QTextCursor::KeepAnchor);
    c.setCharFormat(StyleFormat(run.StyleNo));
  }
  c.endEditBlock();
  emit CurrentStyleChanged();
}

void TRichViewEdit::ApplyTextStyle(int styleNo) {
  if (styleNo < 0 || styleNo >= Style()->TextStyles().size())
    throw ERichViewError(QStringLiteral("Invalid text style number %1").arg(styleNo));
  const TFontInfo target = Style()->TextStyle(styleNo);
  ApplyStyleConversion([&](TFontInfo &info) { info = target; });
}

void TRichViewEdit::ApplyParaConversion(const std::function<void(TParaInfo &)> &convert) {
  const QTextCursor cursor = textCursor();
  const QTextBlock first = document()->findBlock(cursor.selectionStart());
  const QTextBlock last = document()->findBlock(cursor.selectionEnd());
  std::vector<std::pair<int, int>> paras;
  for (QTextBlock b = first; b.isValid(); b = b.next()) {
    TParaInfo info = Style()->ParaStyle(ParaStyleNoOf(b.blockFormat()));
    convert(info);
    paras.emplace_back(b.position(), Style()->FindOrAddParaStyle(info));
    if (b == last)
      break;
  }
  QTextCursor c(document());
  c.beginEditBlock();
  for (const auto &[pos, paraNo] : paras) {
    c.setPosition(pos);
    c.mergeBlockFormat(ParaFormat(paraNo));
  }
  c.endEditBlock();
  emit CurrentStyleChanged();
}

void TRichViewEdit::ApplyParaStyle(int paraNo) {
  if (paraNo < 0 || paraNo >= Style()->ParaStyles().size())
    throw ERichViewError(QStringLiteral("Invalid paragraph style number %1").arg(paraNo));
  const TParaInfo target = Style()->ParaStyle(paraNo);
  ApplyParaConversion([&](TParaInfo &info) { info = target; });
}

void TRichViewEdit::InsertPicture(const QImage &image, QTextCharFormat::VerticalAlignment valign) {
  const QString name = AddPictureResource(image);
  QTextCursor c = textCursor();
  c.insertImage(PictureFormat(name, image, valign));
  setTextCursor(c);
}

void TRichViewEdit::InsertTable(int rows, int columns) {
  if (rows < 1 || columns < 1)
    throw ERichViewError(QStringLiteral("Invalid table size %1 x %2").arg(rows).arg(columns));
  QTextTableFormat format;
  format.setBorder(1);
  format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
  format.setBorderCollapse(true);
  format.setCellSpacing(0);
  format.setCellPadding(2);
  QTextCursor c = textCursor();
  c.insertTable(rows, columns, format);
  setTextCursor(c);
}

void TRichViewEdit::Print(QPagedPaintDevice *printer) const {
  // A copy laid out for the device and cut into its pages: a document with
  // pages of its own is printed as it is, without page numbers. The copy
  // reads the pictures that it names through this editor, against the
  // document's folder, as the screen does.
  std::unique_ptr<QTextDocument> copy(document()->clone(const_cast<TRichViewEdit *>(this)));
  copy->setBaseUrl(document()->baseUrl());
  copy->documentLayout()->setPaintDevice(printer);
  copy->setPageSize(QSizeF(printer->width(), printer->height()));
  copy->print(printer);
}

QVariant TRichViewEdit::loadResource(int type, const QUrl &name) {
  // Whatever is given back here the document takes as it is (a null image
  // shows as a broken picture) and reads nothing of its own; only for a
  // "data:" name, which holds its picture, it decodes the name itself.
  if (type != QTextDocument::ImageResource)
    return QVariant(QString());
  if (name.scheme().compare(u"data", Qt::CaseInsensitive) == 0)
    return {};
  const QUrl url = document()->baseUrl().resolved(name);
  QString file;
  if (url.isLocalFile())
    file = url.toLocalFile();
  else if (url.scheme().isEmpty() && QDir::isAbsolutePath(url.path()))
    file = url.path();
  if (file.isEmpty())
    return QVariant(QImage());
  try {
    return QVariant(ReadImageFile(file));
  } catch (const std::exception &) {
    return QVariant(QImage());
  }
}

void TRichViewEdit::insertFromMimeData(const QMimeData *source) {
  const int from = textCursor().selectionStart();
  QTextCursor group(document());
  group.beginEditBlock();
  QTextEdit::insertFromMimeData(source);
  Normalize(from, textCursor().position());
  group.endEditBlock();
}

// ---------------------------------------------------------------------------
// Files

TRVFileFormat TRichViewEdit::FileFormatOf(const QString &fileName) {
  const QString ext = QFileInfo(fileName).suffix().toLower();
  if (ext == u"htm" || ext == u"html")
    return TRVFileFormat::HTML;
  if (ext == u"odt")
    return TRVFileFormat::ODF;
  if (ext == u"md" || ext == u"markdown")
    return TRVFileFormat::Markdown;
  return TRVFileFormat::Text;
}

void TRichViewEdit::SaveToFile(const QString &fileName, TRVFileFormat format, const QString &imagePrefix) {
  switch (format) {
  case TRVFileFormat::Text: {
    QString text = document()->toPlainText();
    text.remove(QChar::ObjectReplacementCharacter);
    WriteOrRaise(fileName, text.toUtf8());
    return;
  }
  case TRVFileFormat::ODF: {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QTextDocumentWriter writer(&buffer, "odf");
    if (!writer.write(document()))
      throw ERichViewError(WriteError(fileName, QStringLiteral("The document could not be written as ODF.")));
    WriteOrRaise(fileName, buffer.data());
    return;
  }
  case TRVFileFormat::HTML:
  case TRVFileFormat::Markdown:
    SaveWithPictureFiles(fileName, format, imagePrefix);
    return;
  }
}

void TRichViewEdit::SaveWithPictureFiles(const QString &fileName, TRVFileFormat format, const QString &imagePrefix) {
  std::unique_ptr<QTextDocument> copy(document()->clone());
  const QDir dir = QFileInfo(fileName).absoluteDir();
  QHash<QString, QString> fileOf;
  int next = 1;
  struct TChange {
    int Start, Length;
    QTextImageFormat Format;
  };
  std::vector<TChange> changes;
  for (QTextBlock b = copy->begin(); b.isValid(); b = b.next())
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment frag = it.fragment();
      if (!frag.isValid() || !frag.charFormat().isImageFormat())
        continue;
      QTextImageFormat picture = frag.charFormat().toImageFormat();
      const QString name = picture.name();
      if (!fileOf.contains(name)) {
        const QImage image = PictureImage(name);
        if (image.isNull()) {
          fileOf.insert(name, name);
        } else {
          QString file;
          do
            file = QStringLiteral("%1%2.png").arg(imagePrefix).arg(next++);
          while (dir.exists(file));
          QBuffer png;
          png.open(QIODevice::WriteOnly);
          QImageWriter writer(&png, "png");
          if (!writer.write(image))
            throw ERichViewError(WriteError(dir.filePath(file), writer.errorString()));
          WriteOrRaise(dir.filePath(file), png.data());
          fileOf.insert(name, file);
        }
      }
      picture.setName(fileOf.value(name));
      changes.push_back({frag.position(), frag.length(), picture});
    }
  QTextCursor c(copy.get());
  for (const TChange &change : changes) {
    c.setPosition(change.Start);
    c.setPosition(change.Start + change.Length, QTextCursor::KeepAnchor);
    c.setCharFormat(change.Format);
  }
  const QString out = format == TRVFileFormat::HTML ? copy->toHtml() : copy->toMarkdown();
  WriteOrRaise(fileName, out.toUtf8());
}

void TRichViewEdit::LoadFromFile(const QString &fileName) {
  // Refused before anything is read.
  const TRVFileFormat format = FileFormatOf(fileName);
  if (format == TRVFileFormat::ODF)
    throw ERichViewError(FileOpenErrorMessage(fileName, QStringLiteral("OpenDocument files can be saved but not opened.")));
  QByteArray bytes;
  try {
    bytes = ReadWholeFile(fileName, MaxDocumentBytes);
  } catch (const EFOpenError &e) {
    throw ERichViewError(e.Message());
  }
  ClearAll();
  const QUrl base = QUrl::fromLocalFile(QFileInfo(fileName).absolutePath() + u'/');
  switch (format) {
  case TRVFileFormat::HTML: {
    QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
    const QString html = decoder.isValid() ? decoder.decode(bytes) : QString::fromUtf8(bytes);
    document()->setBaseUrl(base);
    setHtml(html);
    document()->setBaseUrl(base);
    break;
  }
  case TRVFileFormat::Markdown:
    document()->setBaseUrl(base);
    setMarkdown(DecodeText(bytes, TTextEncoding::Utf8).Text);
    document()->setBaseUrl(base);
    break;
  case TRVFileFormat::Text:
  case TRVFileFormat::ODF:
    AddText(DecodeText(bytes, TTextEncoding::Utf8).Text, 0);
    break;
  }
  Normalize(0, document()->characterCount());
  document()->clearUndoRedoStacks();
  document()->setModified(false);
  moveCursor(QTextCursor::Start);
  FItems.reset();
}
