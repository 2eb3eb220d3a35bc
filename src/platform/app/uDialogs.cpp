#include "uDialogs.h"

#include "uApplication.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

TDialogs::~TDialogs() = default;

namespace {
std::unique_ptr<TDialogs> &current() {
  static std::unique_ptr<TDialogs> dialogs = std::make_unique<TQtDialogs>();
  return dialogs;
}

QWidget *ownerOr(QWidget *owner) { return owner ? owner : QApplication::activeWindow(); }

// A message box at least as wide as its caption needs in the window manager's
// title bar: the caption in bold and the room of the bar's icon and buttons,
// so that a box with a short text does not cut its caption short.
class TMessageBox : public QMessageBox {
public:
  using QMessageBox::QMessageBox;

protected:
  void showEvent(QShowEvent *event) override {
    // The box sizes itself to its layout's minimum width, so a row as wide
    // as the caption needs keeps it from getting narrower.
    if (auto *grid = qobject_cast<QGridLayout *>(layout()); grid && !FCaptionRow) {
      const QMargins m = contentsMargins() + grid->contentsMargins();
      FCaptionRow = new QSpacerItem(std::max(0, CaptionBarWidth(windowTitle(), font()) - m.left() - m.right()), 0,
                                    QSizePolicy::Fixed, QSizePolicy::Minimum);
      grid->addItem(FCaptionRow, grid->rowCount(), 0, 1, grid->columnCount());
    }
    QMessageBox::showEvent(event);
  }

private:
  QSpacerItem *FCaptionRow = nullptr;
};

// The pickers show each filter's description as given: the patterns that
// Qt's filter form adds to it stay out of sight.
void showFiltersAsGiven(QFileDialog &dlg) { dlg.setOption(QFileDialog::HideNameFilterDetails, true); }
} // namespace

int CaptionBarWidth(const QString &caption, const QFont &font) {
  QFont bold = font;
  bold.setBold(true);
  const QFontMetrics fm(bold);
  const int button = fm.height() + 8; // the bar's icon and buttons are about as wide as it is high
  int width = fm.horizontalAdvance(caption) + 5 * button;
  if (const QScreen *screen = QGuiApplication::primaryScreen())
    width = std::min(width, screen->availableGeometry().width());
  return width;
}

TDialogs &Dialogs() { return *current(); }

std::unique_ptr<TDialogs> SetDialogs(std::unique_ptr<TDialogs> dialogs) {
  std::unique_ptr<TDialogs> previous = std::move(current());
  current() = dialogs ? std::move(dialogs) : std::make_unique<TQtDialogs>();
  return previous;
}

QString FilterToQt(const QString &filter) {
  const QStringList parts = filter.split(u'|');
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString pattern = parts.at(i + 1);
    pattern.replace(u';', u' ');
    out.append(QStringLiteral("%1 (%2)").arg(parts.at(i), pattern.simplified()));
  }
  return out.join(QStringLiteral(";;"));
}

int TQtDialogs::MessageBox(QWidget *owner, const QString &text, const QString &caption, unsigned flags) {
  TMessageBox box(ownerOr(owner));
  box.setWindowTitle(caption);
  box.setText(text);
  switch (flags & 0xF0u) {
  case MB_ICONERROR:
    box.setIcon(QMessageBox::Critical);
    break;
  case MB_ICONWARNING:
    box.setIcon(QMessageBox::Warning);
    break;
  case MB_ICONINFORMATION:
    box.setIcon(QMessageBox::Information);
    break;
  default:
    break;
  }
  if ((flags & 0x0Fu) == MB_YESNOCANCEL) {
    QPushButton *yes = box.addButton(QMessageBox::Yes);
    QPushButton *no = box.addButton(QMessageBox::No);
    box.setEscapeButton(box.addButton(QMessageBox::Cancel));
    box.exec();
    return box.clickedButton() == yes ? IDYES : box.clickedButton() == no ? IDNO : IDCANCEL;
  }
  if ((flags & 0x0Fu) == MB_YESNO) {
    QPushButton *yes = box.addButton(QMessageBox::Yes);
    box.addButton(QMessageBox::No);
    box.setEscapeButton(nullptr);
    box.exec();
    return box.clickedButton() == yes ? IDYES : IDNO;
  }
  box.addButton(QMessageBox::Ok);
  box.exec();
  return IDOK;
}

void TQtDialogs::ErrorDialog(QWidget *owner, const QString &text) {
  TMessageBox box(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok, ownerOr(owner));
  box.exec();
}

QStringList TQtDialogs::OpenFiles(QWidget *owner, const TFileDialogRequest &request) {
  QFileDialog dlg(ownerOr(owner), request.Title, request.InitialDir, FilterToQt(request.Filter));
  showFiltersAsGiven(dlg);
  dlg.setFileMode(request.MultiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  if (!request.FileName.isEmpty())
    dlg.selectFile(request.FileName);
  if (dlg.exec() != QDialog::Accepted)
    return {};
  return dlg.selectedFiles();
}

QString TQtDialogs::SaveFile(QWidget *owner, const TFileDialogRequest &request) {
  QFileDialog dlg(ownerOr(owner), request.Title, request.InitialDir, FilterToQt(request.Filter));
  showFiltersAsGiven(dlg);
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setFileMode(QFileDialog::AnyFile);
  dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (!request.DefaultExt.isEmpty())
    dlg.setDefaultSuffix(request.DefaultExt);
  if (!request.FileName.isEmpty())
    dlg.selectFile(request.FileName);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
    return {};
  return dlg.selectedFiles().constFirst();
}

QString TQtDialogs::ChooseFolder(QWidget *owner, const TFileDialogRequest &request) {
  const QString start = QFileInfo(request.InitialDir).isDir() ? request.InitialDir : QString();
  QFileDialog dlg(ownerOr(owner), request.Title, start);
  dlg.setFileMode(QFileDialog::Directory);
  dlg.setOption(QFileDialog::ShowDirsOnly, true);
  if (!request.NewFolderButton)
    dlg.setOption(QFileDialog::ReadOnly, true); // no "new folder" button
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
    return {};
  return QDir::cleanPath(dlg.selectedFiles().constFirst());
}

int TQtDialogs::ExecDialog(QDialog *dialog) { return dialog->exec(); }
