#include "uCapture.h"

#include "uApplication.h"
#include "uDMMain.h"
#include "uImageEnVect.h"
#include "uImageList.h"
#include "uLangText.h"
#include "ui_uCapture.h"

#include <QCursor>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

namespace {

constexpr int ToolPanelWidth = 148;
constexpr QChar KeyEscape(27);

// The character of a key press as the form's key handlers see it; null for
// keys without one (arrows, function keys, modifiers).
QChar keyChar(const QKeyEvent *event) {
  switch (event->key()) {
  case Qt::Key_Escape:
    return KeyEscape;
  case Qt::Key_Return:
  case Qt::Key_Enter:
    return QChar(13);
  default:
    break;
  }
  const QString text = event->text();
  return text.isEmpty() ? QChar() : text.front();
}

// The primary screen's rectangle; a stand-in when there is no screen.
QRect primaryScreenRect() {
  const QScreen *screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry() : QRect(0, 0, 640, 480);
}

} // namespace

QPoint ToolPanelPos(QPoint cursor, int panelWidth, int panelHeight, int screenHeight) {
  int x = cursor.x();
  int y = cursor.y();
  if (x < panelWidth)
    x = panelWidth + 18;
  if (screenHeight < panelHeight + y)
    y = screenHeight - panelHeight;
  return {x - panelWidth, y};
}

TfrmCapture::TfrmCapture(QWidget *owner) : QDialog(owner), ui(std::make_unique<Ui::frmCapture>()) {
  ui->setupUi(this);
  pnlTool = ui->pnlTool;
  img1 = ui->img1;
  btnCancel = ui->btnCancel;
  btnOK = ui->btnOK;

  // The captions are Chinese placeholders until translated: a face that has
  // their glyphs where one is installed, else the default one.
  QFont captions = font();
  captions.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Droid Sans Fallback"),
                        QStringLiteral("WenQuanYi Micro Hei"), captions.family()});
  captions.setPixelSize(13);
  setFont(captions);

  img1->SetBackground(palette().color(QPalette::Button));
  img1->SetMouseInteract(miSelect);
  img1->SetEnableInteractionHints(true);
  img1->SetZoom(100);
  if (dmMain)
    for (QPushButton *button : {btnOK, btnCancel})
      button->setIcon(dmMain->imgLst16->Icon(button->property("ImageIndex").toInt()));

  connect(img1, &TImageEnVect::SelectionChange, this, [this] { RunGuarded([this] { img1SelectionChange(); }); });
  connect(img1, &TImageEnVect::MouseDown, this,
          [this](Qt::MouseButton button) { RunGuarded([this, button] { img1MouseDown(button); }); });
  connect(img1, &TImageEnVect::KeyPress, this, [this](QChar &key) { RunGuarded([&] { img1KeyPress(key); }); });
  connect(btnOK, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnOKClick(); }); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnCancelClick(); }); });
  // Key preview: the form sees every key before the control that has it.
  for (QWidget *child : findChildren<QWidget *>())
    child->installEventFilter(this);

  RunGuarded([this] { FormCreate(); });
}

TfrmCapture::~TfrmCapture() = default;

void TfrmCapture::FormCreate() {
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  const QRect screen = primaryScreenRect();
  setGeometry(0, 0, screen.width(), screen.height());
  pnlTool->resize(ToolPanelWidth, pnlTool->height());
  TranslateComponent(btnOK);
  TranslateComponent(btnCancel);
}

void TfrmCapture::FormResize() {
  img1->setGeometry(rect());
  img1->lower(); // the tool panel stays in front of it
  img1->MouseWheelParams().Action = iemwNone;
  img1->SetCursor(crIECapture);
  // One picture pixel per screen pixel from the grab's top-left corner, so
  // what is selected is what lay under it on the screen.
  img1->SetCenter(false);
}

void TfrmCapture::FormShow() {
  raise();
  activateWindow();
}

void TfrmCapture::Init() {
  img1->IO().CaptureFromScreen();
  img1->DeSelect();
  img1->SetZoom(100);
  img1->SetViewXY(0, 0);
  pnlTool->hide();
}

QImage TfrmCapture::CopySelectionToBitmap() const {
  QImage bitmap;
  if (!img1->CopySelectionToBitmap(bitmap))
    return {};
  return bitmap;
}

void TfrmCapture::img1SelectionChange() {
  const QPoint pos = ToolPanelPos(QCursor::pos(), pnlTool->width(), pnlTool->height(), primaryScreenRect().height());
  pnlTool->move(mapFromGlobal(pos));
  pnlTool->show();
  pnlTool->raise();
}

void TfrmCapture::img1MouseDown(Qt::MouseButton Button) {
  if (Button == Qt::RightButton)
    done(QDialog::Rejected);
}

void TfrmCapture::FormKeyPress(QChar &Key) {
  if (Key == KeyEscape) {
    Key = QChar();
    done(QDialog::Rejected);
  }
}

void TfrmCapture::img1KeyPress(QChar &Key) {
  if (Key == KeyEscape)
    done(QDialog::Rejected);
}

void TfrmCapture::btnOKClick() { done(QDialog::Accepted); }

void TfrmCapture::btnCancelClick() { done(QDialog::Rejected); }

bool TfrmCapture::PreviewKey(QKeyEvent *event) {
  QChar key = keyChar(event);
  if (key.isNull())
    return false;
  RunGuarded([&] { FormKeyPress(key); });
  return key.isNull();
}

void TfrmCapture::resizeEvent(QResizeEvent *event) {
  QDialog::resizeEvent(event);
  RunGuarded([this] { FormResize(); });
}

void TfrmCapture::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  RunGuarded([this] { FormShow(); });
}

void TfrmCapture::keyPressEvent(QKeyEvent *event) {
  if (PreviewKey(event))
    return;
  // No default button: Enter confirms nothing.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool TfrmCapture::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::KeyPress && PreviewKey(static_cast<QKeyEvent *>(event)))
    return true;
  return QDialog::eventFilter(watched, event);
}
