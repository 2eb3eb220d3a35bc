#pragma once

#include "uException.h"
#include "uRVStyle.h"

#include <QImage>
#include <QPointer>
#include <QTextCursor>
#include <QTextEdit>
#include <functional>
#include <memory>
#include <vector>

class QPagedPaintDevice;

// The rich-text editor: a QTextEdit whose document is read and built as a
// sequence of items over a style sheet (TRVStyle), with named checkpoints.
//
// How the QTextDocument maps to items, numbered 0 .. ItemCount() - 1 in
// document order:
// - Every run of characters in one text style within one paragraph is a text
//   item. The style number sits on each fragment's QTextCharFormat as the
//   property PropStyleNo (the paragraph style number on the QTextBlockFormat
//   as PropParaNo); a fragment without one (pasted or loaded rich text) is
//   given the style of its attributes, added to the sheet when missing.
//   A checkpoint inside a run splits it, so each checkpoint starts an item.
//   A line separator (Shift+Enter) inside a run reads as "\n".
// - Each paragraph starts new items; an empty paragraph is one empty text
//   item. A document holding nothing but one empty paragraph has no items.
// - An inline image (QTextImageFormat, one U+FFFC character) is a picture
//   item, or a hot picture when it is a link; its image is the document's
//   image resource of the format's name.
// - A QTextTable is one table item; its cells hold no items of their own.
// - A horizontal rule paragraph is one break item, and a paragraph of a list
//   starts with a list-marker item; both are of the kind Other.
//
// Checkpoints are QTextCursor positions held by the editor, which the
// document moves with every edit before them; text inserted exactly at a
// checkpoint goes after it, so a checkpoint made at the end marks the start of
// the next appended text. Several may share a name. They are not part of the
// text: they are not copied, saved or exported; ClearAll removes them all.

inline constexpr int PropStyleNo = QTextFormat::UserProperty + 0x5201; // text style number (int)
inline constexpr int PropParaNo = QTextFormat::UserProperty + 0x5202;  // paragraph style number (int)

enum class TRVItemKind { Text, Picture, HotPicture, Table, Other };

// Style numbers of the items that are not text.
enum : int {
  rvsBreak = -1,
  rvsPicture = -3,
  rvsHotPicture = -4,
  rvsListMarker = -11,
  rvsTable = -60,
};

// One item as the editor reads it.
struct TRVItemInfo {
  TRVItemKind Kind = TRVItemKind::Other;
  int StyleNo = rvsBreak; // text style of a text item; rvs* otherwise
  int ParaNo = 0;         // paragraph style of its paragraph
  bool NewParagraph = false;
  QString Text;     // a text item's characters
  QImage Image;     // a picture's image (null when it cannot be had)
  int Position = 0; // document position of its first character
  int Length = 0;   // characters it spans
};

// Failures of the editor (an item number out of range, a missing
// checkpoint, a file that cannot be read or written).
class ERichViewError : public EPlatformError {
public:
  using EPlatformError::EPlatformError;
};

struct TRVCheckpoint;
using TCheckpointData = const TRVCheckpoint *;

// File formats for saving, exporting and opening.
enum class TRVFileFormat { HTML, ODF, Text, Markdown };

class TRichViewEdit : public QTextEdit {
  Q_OBJECT
public:
  // Uses a style sheet of its own (TRVStyle's defaults) until SetStyle.
  explicit TRichViewEdit(QWidget *parent = nullptr);
  ~TRichViewEdit() override;

  TRVStyle *Style() const { return FStyle ? FStyle.data() : FOwnStyle; }
  // The sheet the style numbers point into; the editor does not own it. The
  // document should be cleared or reloaded when the sheet is replaced.
  void SetStyle(TRVStyle *style);

  // Items.
  int ItemCount() const;
  TRVItemInfo GetItem(int itemNo) const;
  int GetItemStyle(int itemNo) const;
  QString GetItemTextW(int itemNo) const;

  // Building the document at its end.
  // Appends text in a text style: the first line continues the last
  // paragraph, each line break (CR, LF or CR LF) starts a new paragraph of
  // paragraph style 0. Characters that would break the document's structure
  // (U+FFFC, U+2029, U+FDD0, U+FDD1) are stored as U+FFFD.
  void AddText(const QString &s, int StyleNo);
  // As AddText, with the first line in a new paragraph of `ParaNo` (-1: the
  // last paragraph continues) and the following ones of `OtherParaNo`.
  void AddTextNL(const QString &s, int StyleNo, int ParaNo, int OtherParaNo);
  // Appends a picture; ParaNo -1 continues the last paragraph.
  void AddPicture(const QImage &image, int ParaNo = -1);
  // Removes every item and checkpoint; the editor's undo history goes too.
  void ClearAll();
  // Replaces the whole document by text in a text style, its lines in
  // paragraphs of style 0 (as AddText into an empty editor), as one step of
  // the undo history: undo brings back the items, their formatting and the
  // checkpoints, which go with the replacement.
  void ReplaceAllText(const QString &s, int StyleNo);
  // Lay the whole document out and repaint it.
  void Format();
  void Reformat();
  void ReformatAll();

  // Checkpoints.
  void AddNamedCheckpoint(const QString &name);
  // The first checkpoint in document order whose name equals `name` exactly
  // (letter case included); null when there is none.
  TCheckpointData FindCheckpointByName(const QString &name) const;
  int CheckpointCount() const { return static_cast<int>(FCheckpoints.size()); }
  // In the order they were added.
  TCheckpointData GetCheckpoint(int index) const;
  // Raise ERichViewError for a null checkpoint.
  QString GetCheckpointName(TCheckpointData cp) const;
  int GetCheckpointPos(TCheckpointData cp) const;
  // The top of the checkpoint's line in the laid-out document, in the
  // units of the vertical scroll bar.
  int GetCheckpointYEx(TCheckpointData cp) const;
  // Scrolls so that the vertical position `y` is at the top of the view (as
  // far as the document's height allows).
  void ScrollTo(int y);

  // Formatting at the caret or of the selection.
  int CurTextStyleNo() const;
  int CurParaStyleNo() const;
  // Changes the text style of every run of the selection through `convert`
  // (the style looked up or added in the sheet); without a selection, the
  // style of the text typed next.
  void ApplyStyleConversion(const std::function<void(TFontInfo &)> &convert);
  void ApplyTextStyle(int styleNo);
  // Changes the paragraph style of every paragraph of the selection (or of
  // the caret's paragraph).
  void ApplyParaConversion(const std::function<void(TParaInfo &)> &convert);
  void ApplyParaStyle(int paraNo);

  // Insertions at the caret (replacing the selection).
  void InsertPicture(const QImage &image, QTextCharFormat::VerticalAlignment valign = QTextCharFormat::AlignBaseline);
  void InsertTable(int rows, int columns);

  // Files. Pictures of HTML and Markdown go beside the file as PNG files
  // named by `imagePrefix` and a number that replaces no existing file; ODF
  // embeds them; plain text leaves them out. Raise ERichViewError.
  void SaveToFile(const QString &fileName, TRVFileFormat format, const QString &imagePrefix = QStringLiteral("img"));
  // Replaces the document by an HTML, Markdown or plain-text file (chosen
  // by its extension); checkpoints go. Raises ERichViewError.
  void LoadFromFile(const QString &fileName);
  // The format a file name's extension names: .htm/.html, .odt, .md/.markdown;
  // anything else is plain text.
  static TRVFileFormat FileFormatOf(const QString &fileName);

  // Prints the whole document laid out on the device's pages, within its
  // page layout's margins, without page numbers; the pictures that the
  // document names are read as for the screen.
  void Print(QPagedPaintDevice *printer) const;

  // Largest document file that LoadFromFile reads.
  static constexpr qint64 MaxDocumentBytes = qint64(128) << 20;

  // The resources that a document names (the pictures of an opened HTML or
  // Markdown file, relative to its folder): a picture is read only from a
  // local regular file, through the image reader's checks (kind, header,
  // size), and a picture that cannot be had is a null image; nothing is
  // fetched from elsewhere and no style sheet is read.
  QVariant loadResource(int type, const QUrl &name) override;

  // The image of a picture's resource name.
  QImage PictureImage(const QString &name) const;

signals:
  // The caret's text or paragraph style may have changed.
  void CurrentStyleChanged();

protected:
  void insertFromMimeData(const QMimeData *source) override;

private:
  struct TItems;
  void Rebuild() const;
  const TItems &Items() const;
  const TRVItemInfo &ItemAt(int itemNo) const;
  QTextCharFormat StyleFormat(int styleNo) const;
  QTextBlockFormat ParaFormat(int paraNo) const;
  int TextStyleNoOf(const QTextCharFormat &format) const;
  int ParaStyleNoOf(const QTextBlockFormat &format) const;
  void Normalize(int from, int to);
  void ResetEmptyDocument();
  QString AddPictureResource(const QImage &image);
  void SaveWithPictureFiles(const QString &fileName, TRVFileFormat format, const QString &imagePrefix);
  void EnsureLayout() const;

  class TReplaceUndo;

  QPointer<TRVStyle> FStyle;
  TRVStyle *FOwnStyle = nullptr;
  std::vector<std::unique_ptr<TRVCheckpoint>> FCheckpoints;
  mutable std::unique_ptr<TItems> FItems;
  int FPictureCounter = 0;
};

// A checkpoint: a name at a place in the document.
struct TRVCheckpoint {
  QString Name;
  QTextCursor Cursor;
};
