#pragma once

#include <QDialog>
#include <QString>
#include <memory>

class QAction;
class QActionGroup;
class QComboBox;
class QFrame;
class QKeyEvent;
class QLabel;
class QPushButton;
class TButtonEdit;
class TPDFDocument;
class TSpinEdit;

namespace Ui {
class frmImportPDFOptions;
}

// The folder that receives the page images of a document: the export folder,
// a separator unless it ends with one, and the document's file name without
// its extension (from the last dot on; a name without a dot stays whole).
// Empty when that name gives no folder of its own inside the export folder:
// an empty name, "." or ".." (documents named .pdf, ..pdf, ...pdf) would
// stand for the export folder itself or the one above it.
QString PDFImageFolder(const QString &exportDir, const QString &documentPath);

// Whether deleting `folder` would delete the document, which lies somewhere
// below it (links of the folders above it followed).
bool DocumentInside(const QString &folder, const QString &documentPath);

// The dialog that writes pages of a PDF document as image files into a
// folder named after the document inside an export folder. After it closed
// with Accepted, DestDir names that folder.
class TfrmImportPDFOptions : public QDialog {
  Q_OBJECT
public:
  explicit TfrmImportPDFOptions(QWidget *owner = nullptr);
  ~TfrmImportPDFOptions() override;

  // The folder the last completed OK step wrote into, without a trailing
  // separator; empty until then.
  QString DestDir;

  // Components of the form.
  TButtonEdit *btnEdtFile;
  TButtonEdit *btnEdtSelDir;
  QLabel *lblImageFormat;
  QComboBox *cbbImgFormat;
  QLabel *lblPages;
  QLabel *lblRange;
  TSpinEdit *spinEdtFrom;
  QLabel *lblTo;
  TSpinEdit *spinEdtTo;
  QLabel *pnlInfo;
  QFrame *bvl1;
  QPushButton *btnOK;
  QPushButton *btnCancel;
  QActionGroup *actlst1;
  QAction *actSelFile;
  QAction *actSelDir;
  QAction *actOK;
  QAction *actCancel;
  TPDFDocument *pdfDocMain;

  // Event handlers; the actions run them through the default error handler.
  void actSelFileExecute();
  void actSelDirExecute();
  void actOKExecute();
  void actCancelExecute();

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;

private:
  void FormCreate();
  void InitLayout();
  // Sees every key pressed in the dialog, whichever control has the focus.
  // Returns true when it used the key.
  bool FormKeyPress(QKeyEvent *event);

  std::unique_ptr<Ui::frmImportPDFOptions> ui;
};
