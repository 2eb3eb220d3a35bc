#include "uCapture.h"

#include "ui_uCapture.h"

#include "uApplication.h"
#include "uDMMain.h"
#include "uImageEnVect.h"
#include "uImageList.h"
#include "uLangText.h"

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

namespace {
constexpr int PanelWidth = 148;
constexpr int PanelHeight = 25;
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

TfrmCapture::TfrmCapture(QWidget *owner) : QDialog(owner), ui(new Ui::frmCapture) {
  ui->setupUi(this);
  pnlTool = ui->pnlTool;
  btnCancel = ui->btnCancel;
  btnOK = ui->btnOK;
  img1 = new TImageEnView(this);
  img1->setObjectName(QStringLiteral("img1"));
  img1->SetBackground(palette().color(QPalette::Button));
  img1->SetMouseInteract(miSelect);
  img1->SetZoom(100);
  connect(img1, &TImageEnVect::SelectionChange, this, [this] { RunGuarded([this] { img1SelectionChange(); }); });
  connect(img1, &TImageEnVect::SelectionChanging, this, [this] { RunGuarded([this] { img1SelectionChange(); }); });
  connect(img1, &TImageEnVect::MouseDown, this,
          [this](Qt::MouseButton b, Qt::KeyboardModifiers, int, int) { RunGuarded([this, b] { img1MouseDown(b); }); });
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
  if (dmMain)
    for (QPushButton *b : {btnOK, btnCancel})
      b->setIcon(dmMain->imgLst16->Icon(b->property("ImageIndex").toInt()));
  // The form sees every key before its controls.
  for (QWidget *w : {static_cast<QWidget *>(img1), img1->viewport(), static_cast<QWidget *>(btnOK),
                     static_cast<QWidget *>(btnCancel), pnlTool})
    w->installEventFilter(this);
  FormCreate();
}

TfrmCapture::~TfrmCapture() { delete ui; }

void TfrmCapture::FormCreate() {
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry() : QRect(0, 0, 640, 480);
  setGeometry(0, 0, screen.width(), screen.height());
  pnlTool->setFixedSize(PanelWidth, PanelHeight);
  TranslateComponent(btnOK);
  TranslateComponent(btnCancel);
  FormResize();
}

void TfrmCapture::FormResize() {
  img1->setGeometry(rect());
  img1->lower(); // the tool panel stays in front of it
  img1->MouseWheelParams().Action = iemwNone;
  img1->SetCursor(crIECapture);
  img1->SetCenter(false); // one picture pixel per screen pixel from the top-left
}

void TfrmCapture::resizeEvent(QResizeEvent *event) {
  QDialog::resizeEvent(event);
  FormResize();
}

void TfrmCapture::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  raise();
  activateWindow();
}

void TfrmCapture::Init() {
  img1->IO().CaptureFromScreen(iecsScreen, -1);
  img1->DeSelect();
  img1->SetZoom(100);
  img1->SetViewXY(0, 0);
  pnlTool->hide();
}

QImage TfrmCapture::SelectionBitmap() const {
  QImage bitmap;
  if (!img1->CopySelectionToBitmap(bitmap))
    return {};
  return bitmap;
}

void TfrmCapture::img1SelectionChange() {
  const QScreen *screen = QGuiApplication::primaryScreen();
  const int screenHeight = screen ? screen->geometry().height() : height();
  const QPoint pos = ToolPanelPos(QCursor::pos(), pnlTool->width(), pnlTool->height(), screenHeight);
  pnlTool->move(mapFromGlobal(pos));
  pnlTool->show();
  pnlTool->raise();
}

void TfrmCapture::img1MouseDown(Qt::MouseButton Button) {
  if (Button == Qt::RightButton)
    done(QDialog::Rejected);
}

bool TfrmCapture::FormKeyPress(QKeyEvent *event) {
  if (event->key() == Qt::Key_Escape) {
    done(QDialog::Rejected);
    return true;
  }
  // No default button: Enter does not confirm.
  return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

void TfrmCapture::keyPressEvent(QKeyEvent *event) {
  if (!FormKeyPress(event))
    QDialog::keyPressEvent(event);
}

bool TfrmCapture::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::KeyPress && FormKeyPress(static_cast<QKeyEvent *>(event)))
    return true;
  return QDialog::eventFilter(watched, event);
}
