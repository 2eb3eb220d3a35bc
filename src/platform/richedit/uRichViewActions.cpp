#include "uRichViewActions.h"

#include <QApplication>

#include "uApplication.h"
#include "uDialogs.h"
#include "uImageFile.h"
#include "uRichViewEdit.h"

#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSpinBox>
#include <QTextDocument>
#include <cmath>

// ---------------------------------------------------------------------------
// TrvAction

namespace {
// The rich-text editor that had the focus last. Held as an object: a widget
// announces its end before its guards are cleared, and is no editor any more
// by then, so it is looked at only through qobject_cast.
QPointer<QObject> &LastFocusedEditor() {
  static QPointer<QObject> editor;
  return editor;
}
} // namespace

TrvAction::TrvAction(QObject *owner) : QAction(owner) {
  connect(this, &QAction::triggered, this, [this] { RunGuarded([this] { Execute(); }); });
  if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance()))
    connect(app, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
      if (auto *edit = qobject_cast<TRichViewEdit *>(now))
        LastFocusedEditor() = edit;
      if (!FControl)
        UpdateTarget();
    });
  UpdateTarget();
}

TRichViewEdit *TrvAction::Target() const {
  return FControl ? FControl.data() : qobject_cast<TRichViewEdit *>(LastFocusedEditor().data());
}

void TrvAction::SetControl(TRichViewEdit *control) {
  disconnect(FStateConnection);
  disconnect(FDestroyConnection);
  FControl = control;
  FControlObject = control;
  if (control) {
    FStateConnection = connect(control, &TRichViewEdit::CurrentStyleChanged, this, &TrvAction::UpdateTarget);
    // A widget announces its end before its guards are cleared, and is no
    // editor any more by then: only its address is compared.
    FDestroyConnection = connect(control, &QObject::destroyed, this, [this](QObject *gone) {
      if (FControlObject == gone) {
        FControl.clear();
        FControlObject = nullptr;
      }
      UpdateTarget();
    });
  }
  UpdateTarget();
}

void TrvAction::UpdateTarget() { setEnabled(!NeedsControl() || Target()); }

void TrvAction::AssignFrom(const QAction *design) {
  if (!design)
    return;
  setObjectName(design->objectName());
  setText(design->text());
  setIconText(design->iconText());
  setToolTip(design->toolTip());
  setStatusTip(design->statusTip());
  setIcon(design->icon());
  setShortcuts(design->shortcuts());
  setShortcutContext(design->shortcutContext());
  for (const QByteArray &name : design->dynamicPropertyNames())
    setProperty(name.constData(), design->property(name.constData()));
}

// ---------------------------------------------------------------------------
// Font styles

TrvActionFontStyle::TrvActionFontStyle(TFontStyle style, QObject *owner) : TrvAction(owner), FFontStyle(style) {
  setCheckable(true);
}

bool TrvActionFontStyle::StyleOf(const TFontInfo &info) const {
  switch (FFontStyle) {
  case fsBold:
    return info.Bold;
  case fsItalic:
    return info.Italic;
  case fsUnderline:
    return info.Underline;
  case fsStrikeOut:
    return info.StrikeOut;
  }
  return false;
}

void TrvActionFontStyle::Execute() {
  TRichViewEdit *edit = Target();
  if (!edit)
    return;
  const bool on = !StyleOf(edit->Style()->TextStyle(edit->CurTextStyleNo()));
  const TFontStyle style = FFontStyle;
  edit->ApplyStyleConversion([style, on](TFontInfo &info) {
    switch (style) {
    case fsBold:
      info.Bold = on;
      break;
    case fsItalic:
      info.Italic = on;
      break;
    case fsUnderline:
      info.Underline = on;
      break;
    case fsStrikeOut:
      info.StrikeOut = on;
      break;
    }
  });
  UpdateTarget();
}

void TrvActionFontStyle::UpdateTarget() {
  TrvAction::UpdateTarget();
  TRichViewEdit *edit = Target();
  setChecked(edit && StyleOf(edit->Style()->TextStyle(edit->CurTextStyleNo())));
}

TrvActionFontBold::TrvActionFontBold(QObject *owner) : TrvActionFontStyle(fsBold, owner) {
  setText(QStringLiteral("&Bold"));
  setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
}

TrvActionFontItalic::TrvActionFontItalic(QObject *owner) : TrvActionFontStyle(fsItalic, owner) {
  setText(QStringLiteral("&Italic"));
  setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
}

TrvActionFontUnderline::TrvActionFontUnderline(QObject *owner) : TrvActionFontStyle(fsUnderline, owner) {
  setText(QStringLiteral("&Underline"));
  setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
}

TrvActionFontStrikeout::TrvActionFontStrikeout(QObject *owner) : TrvActionFontStyle(fsStrikeOut, owner) {
  setText(QStringLiteral("&Strikeout"));
}

// ---------------------------------------------------------------------------
// Alignment

TrvActionAlign::TrvActionAlign(TRVAlignment alignment, QObject *owner) : TrvAction(owner), FAlignment(alignment) {
  setCheckable(true);
}

void TrvActionAlign::Execute() {
  TRichViewEdit *edit = Target();
  if (!edit)
    return;
  const TRVAlignment alignment = FAlignment;
  edit->ApplyParaConversion([alignment](TParaInfo &info) { info.Alignment = alignment; });
  UpdateTarget();
}

void TrvActionAlign::UpdateTarget() {
  TrvAction::UpdateTarget();
  TRichViewEdit *edit = Target();
  setChecked(edit && edit->Style()->ParaStyle(edit->CurParaStyleNo()).Alignment == FAlignment);
}

TrvActionAlignLeft::TrvActionAlignLeft(QObject *owner) : TrvActionAlign(TRVAlignment::rvaLeft, owner) {
  setText(QStringLiteral("Align &Left"));
}

TrvActionAlignRight::TrvActionAlignRight(QObject *owner) : TrvActionAlign(TRVAlignment::rvaRight, owner) {
  setText(QStringLiteral("Align &Right"));
}

TrvActionAlignCenter::TrvActionAlignCenter(QObject *owner) : TrvActionAlign(TRVAlignment::rvaCenter, owner) {
  setText(QStringLiteral("&Center"));
}

TrvActionAlignJustify::TrvActionAlignJustify(QObject *owner) : TrvActionAlign(TRVAlignment::rvaJustify, owner) {
  setText(QStringLiteral("&Justify"));
}

// ---------------------------------------------------------------------------
// Font dialog

TrvActionFonts::TrvActionFonts(QObject *owner) : TrvAction(owner) { setText(QStringLiteral("&Font...")); }

void TrvActionFonts::Execute() {
  TRichViewEdit *edit = Target();
  if (!edit)
    return;
  const TFontInfo current = edit->Style()->TextStyle(edit->CurTextStyleNo());
  QFont initial(current.FontName);
  initial.setPointSizeF(current.Size());
  initial.setBold(current.Bold);
  initial.setItalic(current.Italic);
  initial.setUnderline(current.Underline);
  initial.setStrikeOut(current.StrikeOut);
  QFontDialog dialog(initial, edit->window());
  dialog.setObjectName(QStringLiteral("rvFontDialog"));
  dialog.setOption(QFontDialog::DontUseNativeDialog);
  if (Dialogs().ExecDialog(&dialog) != QDialog::Accepted)
    return;
  const QFont font = dialog.currentFont();
  edit->ApplyStyleConversion([&font](TFontInfo &info) {
    info.FontName = font.family();
    if (font.pointSizeF() > 0)
      info.SizeDouble = static_cast<int>(std::lround(font.pointSizeF() * 2));
    info.Bold = font.bold();
    info.Italic = font.italic();
    info.Underline = font.underline();
    info.StrikeOut = font.strikeOut();
  });
}

// ---------------------------------------------------------------------------
// Insertions

TrvActionInsertPicture::TrvActionInsertPicture(QObject *owner) : TrvAction(owner) {
  setText(QStringLiteral("&Picture..."));
  // The formats that the picture files of the program are read in.
  Filter = ImageOpenFilter() + QStringLiteral("|All files|*");
}

void TrvActionInsertPicture::Execute() {
  TRichViewEdit *edit = Target();
  if (!edit)
    return;
  TFileDialogRequest request;
  request.Filter = Filter;
  request.DefaultExt = DefaultExt;
  const QStringList files = Dialogs().OpenFiles(edit->window(), request);
  if (files.isEmpty())
    return;
  // Read as every picture file of the program is: only a regular file, its
  // header first, within the picture limit; shown the way it was taken.
  QImage image;
  try {
    image = ReadImageFile(files.first(), nullptr, TImageOrientation::Upright);
  } catch (const EPlatformError &e) {
    throw ERichViewError(e.Message());
  }
  edit->InsertPicture(image, VAlign);
}

TrvTableSizeDialog::TrvTableSizeDialog(QWidget *parent)
    : QDialog(parent), FRows(new QSpinBox(this)), FColumns(new QSpinBox(this)) {
  setObjectName(QStringLiteral("rvInsertTableDialog"));
  setWindowTitle(QStringLiteral("Insert Table"));
  FRows->setObjectName(QStringLiteral("seRows"));
  FRows->setRange(1, 1000);
  FColumns->setObjectName(QStringLiteral("seColumns"));
  FColumns->setRange(1, 100);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto *layout = new QFormLayout(this);
  layout->addRow(QStringLiteral("&Rows:"), FRows);
  layout->addRow(QStringLiteral("&Columns:"), FColumns);
  layout->addRow(buttons);
}

int TrvTableSizeDialog::Rows() const { return FRows->value(); }
int TrvTableSizeDialog::Columns() const { return FColumns->value(); }
void TrvTableSizeDialog::SetRows(int rows) { FRows->setValue(rows); }
void TrvTableSizeDialog::SetColumns(int columns) { FColumns->setValue(columns); }

TrvActionInsertTable::TrvActionInsertTable(QObject *owner) : TrvAction(owner) { setText(QStringLiteral("&Table...")); }

void TrvActionInsertTable::Execute() {
  TRichViewEdit *edit = Target();
  if (!edit)
    return;
  TrvTableSizeDialog dialog(edit->window());
  dialog.SetRows(RowCount);
  dialog.SetColumns(ColCount);
  if (Dialogs().ExecDialog(&dialog) != QDialog::Accepted)
    return;
  RowCount = dialog.Rows();
  ColCount = dialog.Columns();
  edit->InsertTable(RowCount, ColCount);
}

// ---------------------------------------------------------------------------
// Files

static const QString SaveFilter = QStringLiteral("HTML|*.htm;*.html|OpenDocument text|*.odt|Plain text|*.txt|"
                                                 "Markdown|*.md");

TrvActionExport::TrvActionExport(QObject *owner) : TrvAction(owner), Filter(SaveFilter) {
  setText(QStringLiteral("&Export..."));
}

void TrvActionExport::Execute() {
  TRichViewEdit *edit = Target();
  if (!edit)
    return;
  TFileDialogRequest request;
  request.Filter = Filter;
  request.DefaultExt = DefaultExt;
  const QString file = Dialogs().SaveFile(edit->window(), request);
  if (file.isEmpty())
    return;
  edit->SaveToFile(file, TRichViewEdit::FileFormatOf(file), ImagePrefix);
  // What is written is kept: only a change after it is unsaved again.
  edit->document()->setModified(false);
}

TrvActionSaveAs::TrvActionSaveAs(QObject *owner) : TrvActionExport(owner) { setText(QStringLiteral("Save &As...")); }

QPageLayout &RVPageLayout() {
  static QPageLayout layout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                            QPageLayout::Millimeter);
  return layout;
}

TrvActionPrintPreview::TrvActionPrintPreview(QObject *owner) : TrvAction(owner) {
  setText(QStringLiteral("Print Pre&view..."));
}

void TrvActionPrintPreview::Execute() {
  TRichViewEdit *edit = Target();
  if (!edit)
    return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageLayout(RVPageLayout());
  QPrintPreviewDialog dialog(&printer, edit->window());
  dialog.setObjectName(QStringLiteral("rvPrintPreview"));
  connect(&dialog, &QPrintPreviewDialog::paintRequested, edit, [edit](QPrinter *target) { edit->Print(target); });
  Dialogs().ExecDialog(&dialog);
}

TrvActionPrint::TrvActionPrint(QObject *owner) : TrvAction(owner) {
  setText(QStringLiteral("&Print..."));
  setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
}

void TrvActionPrint::Execute() {
  TRichViewEdit *edit = Target();
  if (!edit)
    return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageLayout(RVPageLayout());
  QPrintDialog dialog(&printer, edit->window());
  dialog.setObjectName(QStringLiteral("rvPrintDialog"));
  if (Dialogs().ExecDialog(&dialog) != QDialog::Accepted)
    return;
  edit->Print(&printer);
}

TrvActionPageSetup::TrvActionPageSetup(QObject *owner) : TrvAction(owner) {
  setText(QStringLiteral("Page Set&up..."));
  UpdateTarget();
}

void TrvActionPageSetup::Execute() {
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageLayout(RVPageLayout());
  QPageSetupDialog dialog(&printer, Target() ? Target()->window() : nullptr);
  dialog.setObjectName(QStringLiteral("rvPageSetupDialog"));
  if (Dialogs().ExecDialog(&dialog) != QDialog::Accepted)
    return;
  RVPageLayout() = printer.pageLayout();
}

static const QString OpenFilter = QStringLiteral("Documents|*.htm;*.html;*.md;*.markdown;*.txt|HTML|*.htm;*.html|"
                                                 "Markdown|*.md;*.markdown|Plain text|*.txt|All files|*");

TrvActionOpen::TrvActionOpen(QObject *owner) : TrvAction(owner), Filter(OpenFilter) {
  setText(QStringLiteral("&Open..."));
  setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
}

void TrvActionOpen::Execute() {
  TRichViewEdit *edit = Target();
  if (!edit)
    return;
  TFileDialogRequest request;
  request.Filter = Filter;
  const QStringList files = Dialogs().OpenFiles(edit->window(), request);
  if (files.isEmpty())
    return;
  edit->LoadFromFile(files.first());
}

// ---------------------------------------------------------------------------
// Factory

TrvAction *CreateRVAction(TrvActionKind kind, QObject *owner) {
  switch (kind) {
  case TrvActionKind::FontBold:
    return new TrvActionFontBold(owner);
  case TrvActionKind::FontItalic:
    return new TrvActionFontItalic(owner);
  case TrvActionKind::FontUnderline:
    return new TrvActionFontUnderline(owner);
  case TrvActionKind::FontStrikeout:
    return new TrvActionFontStrikeout(owner);
  case TrvActionKind::AlignLeft:
    return new TrvActionAlignLeft(owner);
  case TrvActionKind::AlignRight:
    return new TrvActionAlignRight(owner);
  case TrvActionKind::AlignCenter:
    return new TrvActionAlignCenter(owner);
  case TrvActionKind::AlignJustify:
    return new TrvActionAlignJustify(owner);
  case TrvActionKind::Fonts:
    return new TrvActionFonts(owner);
  case TrvActionKind::InsertPicture:
    return new TrvActionInsertPicture(owner);
  case TrvActionKind::InsertTable:
    return new TrvActionInsertTable(owner);
  case TrvActionKind::Export:
    return new TrvActionExport(owner);
  case TrvActionKind::SaveAs:
    return new TrvActionSaveAs(owner);
  case TrvActionKind::PrintPreview:
    return new TrvActionPrintPreview(owner);
  case TrvActionKind::Print:
    return new TrvActionPrint(owner);
  case TrvActionKind::PageSetup:
    return new TrvActionPageSetup(owner);
  case TrvActionKind::Open:
    return new TrvActionOpen(owner);
  }
  return nullptr;
}

TrvAction *CreateRVAction(const QString &className, QObject *owner) {
  static const struct {
    const char *Name;
    TrvActionKind Kind;
  } classes[] = {
      {"TrvActionFontBold", TrvActionKind::FontBold},
      {"TrvActionFontItalic", TrvActionKind::FontItalic},
      {"TrvActionFontUnderline", TrvActionKind::FontUnderline},
      {"TrvActionFontStrikeout", TrvActionKind::FontStrikeout},
      {"TrvActionAlignLeft", TrvActionKind::AlignLeft},
      {"TrvActionAlignRight", TrvActionKind::AlignRight},
      {"TrvActionAlignCenter", TrvActionKind::AlignCenter},
      {"TrvActionAlignJustify", TrvActionKind::AlignJustify},
      {"TrvActionFonts", TrvActionKind::Fonts},
      {"TrvActionInsertPicture", TrvActionKind::InsertPicture},
      {"TrvActionInsertTable", TrvActionKind::InsertTable},
      {"TrvActionExport", TrvActionKind::Export},
      {"TrvActionSaveAs", TrvActionKind::SaveAs},
      {"TrvActionPrintPreview", TrvActionKind::PrintPreview},
      {"TrvActionPrint", TrvActionKind::Print},
      {"TrvActionPageSetup", TrvActionKind::PageSetup},
      {"TrvActionOpen", TrvActionKind::Open},
  };
  for (const auto &c : classes)
    if (className == QLatin1String(c.Name))
      return CreateRVAction(c.Kind, owner);
  return nullptr;
}
