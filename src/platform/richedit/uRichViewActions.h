#pragma once

#include "uRVStyle.h"

#include <QAction>
#include <QDialog>
#include <QPageLayout>
#include <QPointer>
#include <QTextCharFormat>

class QSpinBox;
class TRichViewEdit;

// Ready-made actions of the rich-text editor. Each acts on the editor bound
// to it (`Control`); an action without one acts on the editor that had the
// focus last, and is disabled while there is none (page setup alone needs
// no editor). The style and alignment actions are checkable and
// follow the text at the caret. Triggering an action runs Execute() under
// RunGuarded, so that its failures reach the default error handler; called
// directly, Execute() lets them through. Dialogs go through Dialogs(): the
// file pickers, and ExecDialog for the font, print, print preview, page
// setup and table-size forms.
class TrvAction : public QAction {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)
public:
  explicit TrvAction(QObject *owner = nullptr);

  TRichViewEdit *Control() const { return FControl; }
  void SetControl(TRichViewEdit *control);
  // The editor the action works on: the bound one, or else the editor that
  // had the focus last; null when there is none.
  TRichViewEdit *Target() const;
  int Tag() const { return FTag; }
  void SetTag(int tag) { FTag = tag; }

  virtual void Execute() = 0;
  // Enabled and checked state from the editor.
  virtual void UpdateTarget();
  // Takes over a designed action's name, texts, icon, shortcut and its
  // dynamic properties (Tag among them).
  void AssignFrom(const QAction *design);

protected:
  virtual bool NeedsControl() const { return true; }

private:
  QPointer<TRichViewEdit> FControl;
  QObject *FControlObject = nullptr; // the bound editor's address, for its end
  QMetaObject::Connection FStateConnection;
  QMetaObject::Connection FDestroyConnection;
  int FTag = 0;
};

// Font style toggles: on when the text at the caret lacks the style,
// otherwise off, for the whole selection.
class TrvActionFontStyle : public TrvAction {
  Q_OBJECT
public:
  enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
  TrvActionFontStyle(TFontStyle style, QObject *owner);
  TFontStyle FontStyle() const { return FFontStyle; }
  void Execute() override;
  void UpdateTarget() override;

private:
  bool StyleOf(const TFontInfo &info) const;
  TFontStyle FFontStyle;
};

class TrvActionFontBold : public TrvActionFontStyle {
  Q_OBJECT
public:
  explicit TrvActionFontBold(QObject *owner = nullptr); // Ctrl+B
};

class TrvActionFontItalic : public TrvActionFontStyle {
  Q_OBJECT
public:
  explicit TrvActionFontItalic(QObject *owner = nullptr); // Ctrl+I
};

class TrvActionFontUnderline : public TrvActionFontStyle {
  Q_OBJECT
public:
  explicit TrvActionFontUnderline(QObject *owner = nullptr); // Ctrl+U
};

class TrvActionFontStrikeout : public TrvActionFontStyle {
  Q_OBJECT
public:
  explicit TrvActionFontStrikeout(QObject *owner = nullptr);
};

// Paragraph alignment of the selected paragraphs.
class TrvActionAlign : public TrvAction {
  Q_OBJECT
public:
  TrvActionAlign(TRVAlignment alignment, QObject *owner);
  TRVAlignment Alignment() const { return FAlignment; }
  void Execute() override;
  void UpdateTarget() override;

private:
  TRVAlignment FAlignment;
};

class TrvActionAlignLeft : public TrvActionAlign {
  Q_OBJECT
public:
  explicit TrvActionAlignLeft(QObject *owner = nullptr);
};

class TrvActionAlignRight : public TrvActionAlign {
  Q_OBJECT
public:
  explicit TrvActionAlignRight(QObject *owner = nullptr);
};

class TrvActionAlignCenter : public TrvActionAlign {
  Q_OBJECT
public:
  explicit TrvActionAlignCenter(QObject *owner = nullptr);
};

class TrvActionAlignJustify : public TrvActionAlign {
  Q_OBJECT
public:
  explicit TrvActionAlignJustify(QObject *owner = nullptr);
};

// The font dialog (a QFontDialog named "rvFontDialog"); its family, size,
// bold, italic, underline and strike-out go to the selection.
class TrvActionFonts : public TrvAction {
  Q_OBJECT
public:
  explicit TrvActionFonts(QObject *owner = nullptr);
  void Execute() override;
};

// Inserts a picture file chosen in the open picker at the caret.
class TrvActionInsertPicture : public TrvAction {
  Q_OBJECT
public:
  explicit TrvActionInsertPicture(QObject *owner = nullptr);
  QTextCharFormat::VerticalAlignment VAlign = QTextCharFormat::AlignBaseline;
  QString DefaultExt = QStringLiteral("bmp");
  QString Filter;
  void Execute() override;
};

// The size form of the table insertion.
class TrvTableSizeDialog : public QDialog {
  Q_OBJECT
public:
  explicit TrvTableSizeDialog(QWidget *parent = nullptr); // object name "rvInsertTableDialog"
  int Rows() const;
  int Columns() const;
  void SetRows(int rows);
  void SetColumns(int columns);

private:
  QSpinBox *FRows;
  QSpinBox *FColumns;
};

// Inserts a table of the size the form gives at the caret.
class TrvActionInsertTable : public TrvAction {
  Q_OBJECT
public:
  explicit TrvActionInsertTable(QObject *owner = nullptr);
  int RowCount = 2;
  int ColCount = 2;
  void Execute() override;
};

// Writes the document to a file chosen in the save picker, in the format of
// its extension: HTML, OpenDocument text, plain text or Markdown. Pictures
// of HTML and Markdown are written beside it as files named by ImagePrefix.
// Once written, the document counts as saved (not modified).
class TrvActionExport : public TrvAction {
  Q_OBJECT
public:
  explicit TrvActionExport(QObject *owner = nullptr);
  QString ImagePrefix = QStringLiteral("img");
  QString Filter;
  QString DefaultExt = QStringLiteral("htm");
  void Execute() override;
};

// Export under the name the save commands show.
class TrvActionSaveAs : public TrvActionExport {
  Q_OBJECT
public:
  explicit TrvActionSaveAs(QObject *owner = nullptr);
};

// The page layout that print, print preview and page setup share: A4
// portrait with margins of 10 mm until page setup changes it.
QPageLayout &RVPageLayout();

class TrvActionPrintPreview : public TrvAction {
  Q_OBJECT
public:
  explicit TrvActionPrintPreview(QObject *owner = nullptr);
  void Execute() override;
};

class TrvActionPrint : public TrvAction {
  Q_OBJECT
public:
  explicit TrvActionPrint(QObject *owner = nullptr); // Ctrl+P
  void Execute() override;
};

class TrvActionPageSetup : public TrvAction {
  Q_OBJECT
public:
  explicit TrvActionPageSetup(QObject *owner = nullptr);
  void Execute() override;

protected:
  bool NeedsControl() const override { return false; }
};

// Replaces the document by an HTML, Markdown or text file chosen in the
// open picker.
class TrvActionOpen : public TrvAction {
  Q_OBJECT
public:
  explicit TrvActionOpen(QObject *owner = nullptr); // Ctrl+O
  QString Filter;
  void Execute() override;
};

enum class TrvActionKind {
  FontBold,
  FontItalic,
  FontUnderline,
  FontStrikeout,
  AlignLeft,
  AlignRight,
  AlignCenter,
  AlignJustify,
  Fonts,
  InsertPicture,
  InsertTable,
  Export,
  SaveAs,
  PrintPreview,
  Print,
  PageSetup,
  Open,
};

// A new action of a kind; its object name is left empty for the caller.
TrvAction *CreateRVAction(TrvActionKind kind, QObject *owner = nullptr);
// By class name ("TrvActionFontBold" ...); null for a name that is none.
TrvAction *CreateRVAction(const QString &className, QObject *owner = nullptr);
