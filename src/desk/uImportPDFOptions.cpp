#include "uImportPDFOptions.h"

#include "uApplication.h"
#include "uButtonEdit.h"
#include "uDMMain.h"
#include "uDialogs.h"
#include "uFormat.h"
#include "uImageList.h"
#include "uIniOptions.h"
#include "uLangText.h"
#include "uMessages.h"
#include "uPDFDocument.h"
#include "uShell.h"
#include "uSpinEdit.h"
#include "ui_uImportPDFOptions.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>

namespace {

const QString PDFFilter = QStringLiteral("PDF file|*.pdf;");
const QString PageFilePrefix = QStringLiteral("IMG");

// The formats of cbbImgFormat, by item.
constexpr TImageType ImageTypes[] = {itBitmap, itJPEG, itSinglePageTIFF};

// A push button that shows and runs an action.
void bindButton(QPushButton *button, QAction *action) {
  auto sync = [button, action] {
    button->setText(action->text());
    button->setIcon(action->icon());
    button->setEnabled(action->isEnabled());
  };
  sync();
  QObject::connect(action, &QAction::changed, button, sync);
  QObject::connect(button, &QPushButton::clicked, action, [action] { action->trigger(); });
}

} // namespace

QString PDFImageFolder(const QString &exportDir, const QString &documentPath) {
  QString name = documentPath.mid(documentPath.lastIndexOf(u'/') + 1);
  const qsizetype dot = name.lastIndexOf(u'.');
  if (dot >= 0)
    name.truncate(dot);
  if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
    return {};
  return exportDir.endsWith(u'/') ? exportDir + name : exportDir + u'/' + name;
}

bool DocumentInside(const QString &folder, const QString &documentPath) {
  // What deleting the folder removes: the folder itself is not followed when
  // it is a link (the link alone goes), the folders above it are, and
  // nothing below it is followed either.
  const QFileInfo info(folder);
  const QString parent = info.absoluteDir().canonicalPath();
  const QString document = QFileInfo(documentPath).canonicalFilePath();
  if (parent.isEmpty() || document.isEmpty() || info.isSymLink())
    return false;
  const QString removed = QDir(parent).filePath(info.fileName());
  return document.startsWith(removed + u'/');
}

TfrmImportPDFOptions::TfrmImportPDFOptions(QWidget *owner)
    : QDialog(owner), ui(std::make_unique<Ui::frmImportPDFOptions>()) {
  ui->setupUi(this);
  btnEdtFile = ui->btnEdtFile;
  btnEdtSelDir = ui->btnEdtSelDir;
  lblImageFormat = ui->lblImageFormat;
  cbbImgFormat = ui->cbbImgFormat;
  lblPages = ui->lblPages;
  lblRange = ui->lblRange;
  spinEdtFrom = ui->spinEdtFrom;
  lblTo = ui->lblTo;
  spinEdtTo = ui->spinEdtTo;
  pnlInfo = ui->pnlInfo;
  bvl1 = ui->bvl1;
  btnOK = ui->btnOK;
  btnCancel = ui->btnCancel;
  actlst1 = ui->actlst1;
  actSelFile = ui->actSelFile;
  actSelDir = ui->actSelDir;
  actOK = ui->actOK;
  actCancel = ui->actCancel;
  pdfDocMain = new TPDFDocument(this);
  pdfDocMain->setObjectName(QStringLiteral("pdfDocMain"));

  btnEdtFile->SetAction(actSelFile);
  btnEdtSelDir->SetAction(actSelDir);
  bindButton(btnOK, actOK);
  bindButton(btnCancel, actCancel);
  connect(actSelFile, &QAction::triggered, this, [this] { RunGuarded([this] { actSelFileExecute(); }); });
  connect(actSelDir, &QAction::triggered, this, [this] { RunGuarded([this] { actSelDirExecute(); }); });
  connect(actOK, &QAction::triggered, this, [this] { RunGuarded([this] { actOKExecute(); }); });
  connect(actCancel, &QAction::triggered, this, [this] { RunGuarded([this] { actCancelExecute(); }); });
  FormCreate();
}

TfrmImportPDFOptions::~TfrmImportPDFOptions() = default;

void TfrmImportPDFOptions::FormCreate() {
  // A small fixed tool window; Qt centres a dialog on its owner's window
  // when it is shown.
  setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(554, 267);
  QFont tahoma = font();
  tahoma.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
  tahoma.setPixelSize(11);
  setFont(tahoma);
  if (dmMain) {
    for (QAction *action : actlst1->actions())
      action->setIcon(dmMain->imgLst16->Icon(action->property("ImageIndex").toInt()));
  }
  // Key preview: the dialog sees the keys of every control first.
  for (QWidget *child : findChildren<QWidget *>())
    child->installEventFilter(this);
  InitLayout();
}

void TfrmImportPDFOptions::InitLayout() {
  pnlInfo->hide();
  for (QAction *action : actlst1->actions())
    TranslateComponent(action);
  TranslateComponent(btnEdtFile);
  TranslateComponent(btnEdtSelDir);
  TranslateComponent(lblImageFormat);
  TranslateComponent(lblPages);
  TranslateComponent(lblTo);
  TranslateComponent(pnlInfo);
}

void TfrmImportPDFOptions::actSelFileExecute() {
  TFileDialogRequest request;
  request.Filter = PDFFilter;
  request.InitialDir = ExtractFilePath(IniOptions->ParamCurPDF());
  const QStringList files = Dialogs().OpenFiles(this, request);
  if (files.isEmpty())
    return;
  const QString fileName = files.constFirst();
  IniOptions->SetParamCurPDF(fileName);
  pdfDocMain->LoadFromFile(fileName); // raises: the boxes keep the previous document
  btnEdtFile->SetText(fileName);
  const int pages = pdfDocMain->PageCount();
  lblRange->setText(QString::asprintf("(1-%d)", pages));
  // A page box never offers less than page 1; a document without pages is
  // refused by the range check on OK.
  spinEdtFrom->SetMaxValue(qMax(1, pages));
  spinEdtTo->SetMaxValue(qMax(1, pages));
  spinEdtTo->SetValue(pages);
}

void TfrmImportPDFOptions::actSelDirExecute() {
  TFileDialogRequest request;
  request.Title = GetLangText(QStringLiteral("ocr_selDir"));
  const QString start = IniOptions->ParamExportImagePath();
  if (!start.isEmpty() && QFileInfo(start).isDir())
    request.InitialDir = start;
  request.NewFolderButton = true;
  const QString folder = Dialogs().ChooseFolder(this, request);
  if (folder.isEmpty())
    return;
  btnEdtSelDir->SetText(folder);
  IniOptions->SetParamExportImagePath(folder);
}

void TfrmImportPDFOptions::actOKExecute() {
  spinEdtFrom->interpretText();
  spinEdtTo->interpretText();
  const QString range = QStringLiteral("%1-%2").arg(spinEdtFrom->Value()).arg(spinEdtTo->Value());

  const QString exportDir = btnEdtSelDir->Text();
  if (exportDir.isEmpty() || !QFileInfo(exportDir).isDir()) {
    ShowErrorBox(GetLangText(QStringLiteral("error_selDir")));
    return;
  }
  // A document named so that its folder would be the export folder itself
  // or a folder above it is refused: that folder must never be emptied or
  // deleted.
  const QString target = PDFImageFolder(exportDir, btnEdtFile->Text());
  if (target.isEmpty()) {
    ShowErrorBox(FormatText(GetLangText(QStringLiteral("error_pdfName")), {btnEdtFile->Text()}));
    return;
  }
  // Nor is the document ever deleted with the folder it lies in.
  if (QFileInfo(target).isDir() && DocumentInside(target, btnEdtFile->Text())) {
    ShowErrorBox(FormatText(GetLangText(QStringLiteral("error_pdfInside")), {btnEdtFile->Text(), target}));
    return;
  }

  // A range the document cannot give, or a page too large for a picture, is
  // refused before the target folder is made, or emptied after a Yes: a
  // refused import must not cost the pages written before.
  const int format = cbbImgFormat->currentIndex();
  const TImageType type = ImageTypes[format >= 0 && format < 3 ? format : 0];
  pdfDocMain->CheckPages(range, type);

  if (QFileInfo(target).isDir()) {
    if (AskYesNoBox(GetLangText(QStringLiteral("info_dirExist"))) == IDYES) {
      DeleteFolder(target);
      Pause(100);
      QDir().mkdir(target);
    }
  } else {
    QDir().mkdir(target); // a failure shows when the pages are written
  }

  pnlInfo->show();
  pnlInfo->repaint();
  try {
    pdfDocMain->SaveAsImage(range, type, target, PageFilePrefix);
  } catch (...) {
    pnlInfo->hide();
    throw;
  }
  DestDir = target;
  pnlInfo->hide();
  Pause(200);
  accept();
}

void TfrmImportPDFOptions::actCancelExecute() { reject(); }

bool TfrmImportPDFOptions::FormKeyPress(QKeyEvent *event) {
  if (event->key() != Qt::Key_Escape)
    return false;
  actCancel->trigger();
  return true;
}

bool TfrmImportPDFOptions::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::KeyPress && FormKeyPress(static_cast<QKeyEvent *>(event)))
    return true;
  return QDialog::eventFilter(watched, event);
}

void TfrmImportPDFOptions::keyPressEvent(QKeyEvent *event) {
  if (!FormKeyPress(event))
    QDialog::keyPressEvent(event);
}
