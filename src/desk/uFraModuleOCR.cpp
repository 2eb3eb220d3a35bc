#include "uFraModuleOCR.h"

#include "uApplication.h"
#include "uBarDockControl.h"
#include "uBars.h"
#include "uBusyWork.h"
#include "uConst.h"
#include "uDMMain.h"
#include "uDialogs.h"
#include "uException.h"
#include "uFormat.h"
#include "uGDIPages.h"
#include "uIEDocument.h"
#include "uImageEnVect.h"
#include "uImageFile.h"
#include "uImageList.h"
#include "uImportPDFOptions.h"
#include "uIniOptions.h"
#include "uLangCodes.h"
#include "uLangText.h"
#include "uMessages.h"
#include "uPageControl.h"
#include "uRVStyle.h"
#include "uRecognition.h"
#include "uRecognitionBatch.h"
#include "uRichViewEdit.h"
#include "uShell.h"
#include "uSplitter.h"
#include "uThumbList.h"
#include "uThumbListView.h"
#include "uVision.h"
#include "ui_uFraModuleOCR.h"

#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QRegularExpression>
#include <QVBoxLayout>

TfraModuleOCR *fraModuleOCR = nullptr;

namespace {

bool FileExists(const QString &fileName) {
  const QFileInfo info(fileName);
  return !fileName.isEmpty() && info.exists() && !info.isDir();
}

QVBoxLayout *Column(QWidget *w) {
  auto *l = new QVBoxLayout(w);
  l->setContentsMargins(0, 0, 0, 0);
  l->setSpacing(0);
  return l;
}

} // namespace

TfraModuleOCR::TfraModuleOCR(QWidget *owner) : QWidget(owner), ui(new Ui::fraModuleOCR) {
  ui->setupUi(this);
  setObjectName(QStringLiteral("fraModuleOCR"));
  BuildComponents();
}

TfraModuleOCR::~TfraModuleOCR() {
  if (fraModuleOCR == this)
    fraModuleOCR = nullptr;
  delete ui;
}

void TfraModuleOCR::BuildComponents() {
  TImageList *images16 = dmMain ? dmMain->imgLst16 : nullptr;
  actSrc_RemoveSel = ui->actSrc_RemoveSel;
  actSrc_ClearAll = ui->actSrc_ClearAll;
  actList_ShowInExplore = ui->actList_ShowInExplore;
  actRaw_OSize = ui->actRaw_OSize;
  actRaw_FitWidth = ui->actRaw_FitWidth;
  actResult_Clear = ui->actResult_Clear;
  actResult_ClearFormat = ui->actResult_ClearFormat;
  actlstOCR = {actSrc_RemoveSel, actSrc_ClearAll, actList_ShowInExplore, actRaw_OSize,
               actRaw_FitWidth,  actResult_Clear, actResult_ClearFormat};
  for (QAction *a : actlstOCR)
    if (images16)
      a->setIcon(images16->Icon(a->property("ImageIndex").toInt()));
  auto handle = [this](QAction *a, void (TfraModuleOCR::*handler)()) {
    connect(a, &QAction::triggered, this, [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
  };
  handle(actSrc_RemoveSel, &TfraModuleOCR::actSrc_RemoveSelExecute);
  handle(actSrc_ClearAll, &TfraModuleOCR::actSrc_ClearAllExecute);
  handle(actList_ShowInExplore, &TfraModuleOCR::actList_ShowInExploreExecute);
  handle(actRaw_OSize, &TfraModuleOCR::actRaw_OSizeExecute);
  handle(actRaw_FitWidth, &TfraModuleOCR::actRaw_FitWidthExecute);
  handle(actResult_Clear, &TfraModuleOCR::actResult_ClearExecute);
  handle(actResult_ClearFormat, &TfraModuleOCR::actResult_ClearFormatExecute);

  // Bars and their items.
  barMgrOCR = new TBarManager(this);
  barMgrOCR->setObjectName(QStringLiteral("barMgrOCR"));
  auto button = [this](const char *name, QAction *action) {
    return new TBarButton(barMgrOCR, QString::fromLatin1(name), action);
  };
  TBarButton *btn1 = button("btn1", actSrc_RemoveSel);
  TBarButton *btn2 = button("btn2", actSrc_ClearAll);
  TBarButton *btn3 = button("btn3", actList_ShowInExplore);
  TBarButton *btn4 = button("btn4", actRaw_FitWidth);
  TBarButton *btn5 = button("btn5", actRaw_OSize);
  TBarButton *btn6 = button("btn6", actResult_Clear);
  TBarButton *btn7 = button("btn7", actResult_ClearFormat);
  barItemMouseMode = new TBarRadioGroupItem(barMgrOCR, QStringLiteral("barItemMouseMode"));
  barItemMouseMode->SetCaption(QStringLiteral("Mouse mode"));
  barItemMouseMode->SetHint(QStringLiteral("Mouse mode"));
  barItemMouseMode->SetColumns(2);
  barItemMouseMode->AddItem(QStringLiteral("pan"), 0);
  barItemMouseMode->AddItem(QStringLiteral("select"), 1);
  barItemMouseMode->SetEditValue(0);
  barItemMouseMode->SetWidth(150);
  barItemZoom = new TBarTrackBarItem(barMgrOCR, QStringLiteral("barItemZoom"));
  barItemZoom->SetCaption(QStringLiteral("Zoom"));
  barItemZoom->SetHint(QStringLiteral("Zoom"));
  barItemZoom->SetRange(0, 200);
  barItemZoom->SetEditValue(100);
  connect(barItemMouseMode, &TBarEditItem::Change, this,
          [this] { RunGuarded([this] { barItemMouseModePropertiesChange(); }); });
  connect(barItemZoom, &TBarEditItem::Change, this, [this] { RunGuarded([this] { barItemZoomPropertiesChange(); }); });

  barMgrOCRBar1 = new TBar(barMgrOCR, QStringLiteral("barMgrOCRBar1"));
  barMgrOCRBar1->SetCaption(QStringLiteral("List"));
  barMgrOCRBar1->AddLink(btn1);
  barMgrOCRBar1->AddLink(btn2, true);
  barMgrOCRBar1->AddLink(btn3, true);
  barMgrOCRBar2 = new TBar(barMgrOCR, QStringLiteral("barMgrOCRBar2"));
  barMgrOCRBar2->SetCaption(QStringLiteral("Raw"));
  barMgrOCRBar2->AddLink(barItemMouseMode);
  barMgrOCRBar2->AddLink(btn4, true);
  barMgrOCRBar2->AddLink(btn5, true);
  TBarItemLink zoomLink;
  zoomLink.Item = barItemZoom;
  zoomLink.BeginGroup = true;
  zoomLink.Width = 171;
  barMgrOCRBar2->AddLink(zoomLink);
  barMgrOCRBar2->AddLink(btn6, true);
  barMgrOCRBar2->AddLink(btn7, true);
  barMgrOCRBar3 = new TBar(barMgrOCR, QStringLiteral("barMgrOCRBar3"));
  barMgrOCRBar3->SetCaption(QStringLiteral("Result"));
  barMgrOCRBar3->AddLink(btn6);
  barMgrOCRBar3->AddLink(btn7, true);

  // The list panel on the left with its splitter.
  auto *row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  pnl1 = new QWidget(this);
  pnl1->setObjectName(QStringLiteral("pnl1"));
  QVBoxLayout *listColumn = Column(pnl1);
  barDockCtrlList = new TBarDockControl(pnl1);
  barDockCtrlList->setObjectName(QStringLiteral("barDockCtrlList"));
  barDockCtrlList->AddBar(barMgrOCRBar1);
  imgMViewListItems = new TThumbList(this);
  imgMViewListItems->setObjectName(QStringLiteral("imgMViewListItems"));
  imgMViewList = new TThumbListView(imgMViewListItems, pnl1);
  imgMViewList->setObjectName(QStringLiteral("imgMViewList"));
  imgMViewList->SetSelectionColor(Qt::red);
  imgMViewList->SetThumbnailsBackgroundStyle(iebsCross);
  listColumn->addWidget(barDockCtrlList);
  listColumn->addWidget(imgMViewList, 1);
  connect(imgMViewListItems, &TThumbList::ImageSelect, this,
          [this](int idx) { RunGuarded([this, idx] { imgMViewListImageSelect(idx); }); });
  split1 = new TSplitter(this);
  split1->setObjectName(QStringLiteral("split1"));
  split1->SetThickness(12);

  // The page control and its sheets.
  pcOCR = new TPageControl(this);
  pcOCR->setObjectName(QStringLiteral("pcOCR"));
  row->addWidget(pnl1);
  row->addWidget(split1);
  row->addWidget(pcOCR, 1);

  tsImage = pcOCR->AddSheet(QStringLiteral("tsImage"));
  tsImage->SetImageIndex(0);
  QVBoxLayout *imageColumn = Column(tsImage);
  barDockCtrlRaw = new TBarDockControl(tsImage);
  barDockCtrlRaw->setObjectName(QStringLiteral("barDockCtrlRaw"));
  barDockCtrlRaw->AddBar(barMgrOCRBar2);
  imgRaw = new TImageEnVect(tsImage);
  imgRaw->setObjectName(QStringLiteral("imgRaw"));
  imgRaw->SetBackground(palette().color(QPalette::Button));
  imgRaw->SetCursor(crIEPan);
  imgRaw->SetMouseInteract(miScroll);
  imgRaw->SetEnableInteractionHints(true);
  split2 = new TSplitter(tsImage);
  split2->setObjectName(QStringLiteral("split2"));
  split2->SetAlignSplitter(salBottom);
  split2->SetThickness(12);
  imageColumn->addWidget(barDockCtrlRaw);
  imageColumn->addWidget(imgRaw, 1);
  imageColumn->addWidget(split2);
  connect(imgRaw, &TImageEnVect::MouseDown, this,
          [this](Qt::MouseButton b) { RunGuarded([this, b] { imgRawMouseDown(b); }); });
  connect(imgRaw, &TImageEnVect::MouseWheel, this, [this] { RunGuarded([this] { imgRawMouseWheel(); }); });
  connect(imgRaw, &TImageEnVect::KeyPress, this,
          [this](QChar &key) { RunGuarded([this, &key] { imgRawKeyPress(key); }); });

  tsResult = pcOCR->AddSheet(QStringLiteral("tsResult"));
  tsResult->SetImageIndex(1);
  QVBoxLayout *resultColumn = Column(tsResult);
  dockCtrlResult = new TBarDockControl(tsResult);
  dockCtrlResult->setObjectName(QStringLiteral("dockCtrlResult"));
  dockCtrlResult->AddBar(barMgrOCRBar3);
  rvStyleOCR = new TRVStyle(this);
  rvStyleOCR->setObjectName(QStringLiteral("rvStyleOCR"));
  rveResult = new TRichViewEdit(tsResult);
  rveResult->setObjectName(QStringLiteral("rveResult"));
  rveResult->SetStyle(rvStyleOCR);
  resultColumn->addWidget(dockCtrlResult);
  resultColumn->addWidget(rveResult, 1);

  tsLayoutResult = pcOCR->AddSheet(QStringLiteral("tsLayoutResult"));
  tsLayoutResult->SetImageIndex(2);
  imgLayoutResult = new TImageEnVect(tsLayoutResult);
  imgLayoutResult->setObjectName(QStringLiteral("imgLayoutResult"));
  imgLayoutResult->SetEnableInteractionHints(true);
  Column(tsLayoutResult)->addWidget(imgLayoutResult);

  tsInvisible = pcOCR->AddSheet(QStringLiteral("tsInvisible"));
  tsInvisible->SetImageIndex(3);
  imgTemp = new TImageEnVect(tsInvisible);
  imgTemp->setObjectName(QStringLiteral("imgTemp"));
  imgTemp->SetEnableInteractionHints(true);
  Column(tsInvisible)->addWidget(imgTemp);
}

// ---------------------------------------------------------------- layout

void TfraModuleOCR::InitModuleLayout() {
  curidx = -1;
  curVT = VImage;
  curState = esNormal;
  pnl1->setFixedWidth(209);
  split1->SetAlignSplitter(salLeft);
  split1->SetControl(pnl1);
  pcOCR->SetHideTabs(true);
  pcOCR->SetActivePage(tsImage);
  // The start image is installed with the program; without it the editor
  // stays empty and the workspace still comes up.
  try {
    imgRaw->IO().LoadFromFile(AppPath + QStringLiteral("custom/test.png"));
  } catch (const Exception &) {
  }
  imgRaw->FitToWidth();
  imgRaw->Proc().SetUndoLimit(5);
  imgRaw->Proc().SetAutoUndo(true);
  imgRaw->SetObjUndoLimit(5);
  imgRaw->SetObjAutoUndo(true);
  // The image-only layout, applied although curVT already says so.
  split2->hide();
  SetResultInImageSheet(false);
  pcOCR->SetActivePage(tsImage);
  actResult_Clear->setVisible(false);
  actResult_ClearFormat->setVisible(false);
  imgMViewListItems->SetStoreType(ietThumb);
  imgMViewList->SetGridWidth(-1);
  imgMViewListItems->SetThumbHeight(200);
  imgMViewListItems->SetThumbWidth(180);
  imgMViewList->SetThumbnailsBackgroundSelected(QColor(0x00, 0xFF, 0x00));
  for (QAction *a : actlstOCR)
    TranslateComponent(a);
  for (TBarItem *item : barMgrOCR->ItemList())
    if (!IsBarButtonKind(item))
      TranslateComponent(item);
}

void TfraModuleOCR::SetResultInImageSheet(bool inImageSheet) {
  QWidget *target = inImageSheet ? static_cast<QWidget *>(tsImage) : tsResult;
  if (rveResult->parentWidget() == target)
    return;
  if (QLayout *old = rveResult->parentWidget()->layout())
    old->removeWidget(rveResult);
  rveResult->setParent(target);
  static_cast<QVBoxLayout *>(target->layout())->addWidget(rveResult, inImageSheet ? 0 : 1);
}

void TfraModuleOCR::SetOCRView(TViewType mytype) {
  if (mytype == curVT)
    return;
  pcOCR->SetHideTabs(true);
  switch (mytype) {
  case VImage:
    split2->hide();
    SetResultInImageSheet(false);
    pcOCR->SetActivePage(tsImage);
    actResult_Clear->setVisible(false);
    actResult_ClearFormat->setVisible(false);
    break;
  case VResult:
    SetResultInImageSheet(false);
    rveResult->setMinimumHeight(0);
    rveResult->setMaximumHeight(QWIDGETSIZE_MAX);
    rveResult->show();
    pcOCR->SetActivePage(tsResult);
    actResult_Clear->setVisible(true);
    actResult_ClearFormat->setVisible(true);
    break;
  case VBoth:
    rveResult->hide();
    SetResultInImageSheet(true);
    rveResult->setFixedHeight(pcOCR->height() / 2);
    rveResult->show();
    split2->hide();
    split2->SetAlignSplitter(salBottom);
    split2->SetControl(rveResult);
    split2->show();
    pcOCR->SetActivePage(tsImage);
    actResult_Clear->setVisible(true);
    actResult_ClearFormat->setVisible(true);
    break;
  case VLayoutResult:
    break;
  }
  curVT = mytype;
}

int TfraModuleOCR::GetDPI() const { return imgRaw->IO().Params().DpiX; }

void TfraModuleOCR::MergeAll(TImageEnVect *img) {
  if (img->SelObjectsCount() > 0)
    img->UnSelAllObjects();
  if (img->ObjectsCount() > 0) {
    img->DrawObjectsToBitmap(*img->IEBitmap(), true, true);
    img->RemoveAllObjects();
  }
  img->LayersMergeAll();
  img->Update();
}

void TfraModuleOCR::ApplyMouseMode() {
  switch (barItemMouseMode->CurEditValue().toInt()) {
  case 0:
    imgRaw->SetMouseInteract(miScroll);
    imgRaw->SetCursor(crIEPan);
    break;
  case 1:
    imgRaw->SetMouseInteract(miSelect);
    imgRaw->SetCursor(crIESelect);
    break;
  default:
    break;
  }
}

void TfraModuleOCR::barItemMouseModePropertiesChange() { ApplyMouseMode(); }

void TfraModuleOCR::imgRawMouseDown(Qt::MouseButton Button) {
  if (Button != Qt::RightButton)
    return;
  if (imgRaw->Selected())
    imgRaw->DeSelect();
  MergeAll(imgRaw);
  imgRaw->SetMouseInteractVt({});
  ApplyMouseMode();
}

void TfraModuleOCR::imgRawMouseWheel() { barItemZoom->SetEditValue(qRound(imgRaw->ZoomX())); }

void TfraModuleOCR::barItemZoomPropertiesChange() { imgRaw->SetZoom(barItemZoom->CurEditValue().toDouble()); }

void TfraModuleOCR::actRaw_FitWidthExecute() { imgRaw->FitToWidth(); }

void TfraModuleOCR::actRaw_OSizeExecute() {
  imgRaw->SetZoom(100);
  barItemZoom->SetEditValue(100);
}

// ---------------------------------------------------- the current image

int TfraModuleOCR::AddImageFile(const QString &fileName) {
  const int idx = imgMViewListItems->AppendImage(fileName);
  imgMViewListItems->SetImageFileName(idx, fileName);
  imgMViewListItems->SetImageBottomText(idx, QFileInfo(fileName).fileName());
  return idx;
}

void TfraModuleOCR::ShowImage(int idx) {
  const QString fileName = imgMViewListItems->ImageFileName(idx);
  if (!FileExists(fileName)) {
    // The editor keeps what it shows; a click on the entry has selected it
    // already, so the selection goes back to the entry shown (none when the
    // editor shows none, and then the status line has to say so).
    if (imgMViewListItems->SelectedImage() != curidx) {
      imgMViewListItems->SetSelectedImage(curidx);
      if (curidx < 0)
        ChangeCurItem();
    }
    ShowErrorBox(GetLangText(QStringLiteral("error_nonFile")));
    return;
  }
  if (idx == curidx) {
    imgMViewListItems->SetSelectedImage(idx);
    return;
  }
  curidx = idx;
  imgRaw->LayersMergeAll();
  imgRaw->Blank();
  imgRaw->Update();
  try {
    imgRaw->IO().LoadFromFile(fileName);
  } catch (...) {
    // The entry asked for is the one selected and named, but nothing is
    // shown: no entry is current (so saving and appending a capture write
    // no file), and the next request of this entry loads it again.
    curidx = -1;
    imgMViewListItems->SetSelectedImage(idx);
    ChangeCurItem();
    throw;
  }
  const TIEBitmap *bmp = imgRaw->IEBitmap();
  if (bmp->Height() > tsImage->height())
    imgRaw->DisplayImageRect(QRect(0, 0, imgRaw->ClientWidth(), imgRaw->ClientHeight()));
  if (bmp->Width() <= tsImage->width() || imgMViewListItems->ImageCount() == 1)
    imgRaw->SetZoom(100);
  else
    imgRaw->FitToWidth();
  imgRaw->Update();
  imgMViewListItems->SetSelectedImage(idx);
  ChangeCurItem();
  if (curVT == VResult || curVT == VBoth)
    ScrollToCheckpoint(imgMViewListItems->ImageFileName(imgMViewListItems->SelectedImage()));
}

void TfraModuleOCR::ChangeCurItem() {
  if (FChangeCurItem)
    FChangeCurItem();
}

void TfraModuleOCR::ScrollToCheckpoint(const QString &name) {
  if (TCheckpointData cp = rveResult->FindCheckpointByName(name))
    rveResult->ScrollTo(rveResult->GetCheckpointYEx(cp));
}

void TfraModuleOCR::imgMViewListImageSelect(int idx) { ShowImage(idx); }

// ------------------------------------------------------------ recognition

void TfraModuleOCR::SetOCRImage() {
  int dpi = 0;
  const QImage source = OCRSource(dpi);
  SetOCRPicture(PrepareForRecognition(source, dpi));
}

QImage TfraModuleOCR::OCRSource(int &dpi) {
  MergeAll(imgTemp);
  imgTemp->Clear();
  MergeAll(imgRaw);
  dpi = GetDPI();
  if (!imgRaw->Selected())
    return imgRaw->IEBitmap()->Image();
  TIEDocument work;
  imgRaw->CopySelectionToIEBitmap(*work.IEBitmap());
  return work.IEBitmap()->Image();
}

void TfraModuleOCR::SetOCRPicture(const QImage &picture) {
  imgTemp->IEBitmap()->SetImage(picture);
  imgTemp->Update();
}

void TfraModuleOCR::ShowProgress(int percent) {
  if (!FProgress)
    return;
  if (FBatchCount > 0)
    FProgress(FormatText(GetLangText(QStringLiteral("info_recAllProgress")), {FBatchIndex + 1, FBatchCount, percent}));
  else
    FProgress(FormatText(GetLangText(QStringLiteral("info_recProgress")), {percent}));
}

void TfraModuleOCR::OCR(const QString &LangName) { OCRStep(LangName, nullptr, -1); }

void TfraModuleOCR::OCRStep(const QString &LangName, TRecognitionBatch *batch, int index) {
  // Only the picture of the entry shown is recognised: with none shown (its
  // file could not be read, the list was cleared) the editor holds no text
  // of any file. A job read ahead for this step is given up.
  if (curidx < 0) {
    if (batch)
      batch->Take(index);
    return;
  }
  TBusyWork busy;
  struct TClear {
    const TProgressEvent &Progress;
    bool Batch;
    ~TClear() {
      if (Progress && !Batch)
        Progress(QString());
    }
  } clear{FProgress, batch != nullptr};
  ShowProgress(0);
  // The last prepared picture (hundreds of megabytes) goes first, and is
  // freed off this thread: filling it with the background, as clearing the
  // view would, is no use when it is replaced below.
  QImage previous = imgTemp->IEBitmap()->Image();
  imgTemp->IEBitmap()->SetImage(QImage());
  // The preparation: not guarded (a failure ends a batch).
  int dpi = 0;
  const QImage source = OCRSource(dpi);
  std::shared_ptr<TRecognitionJob> job = batch ? batch->Take(index) : nullptr;
  if (job) {
    // The job read the same file ahead: its result stands for this step
    // when it recognised exactly this picture.
    busy.WaitUntil([&] { return job->State.load() >= TRecognitionJob::Prepared; });
    if (job->State.load() == TRecognitionJob::Failed && job->Source.isNull())
      job.reset();
    else if (imgRaw->Selected() || job->Dpi != dpi || job->Source != source)
      job.reset();
  }
  if (job) {
    busy.Run([&] { previous = QImage(); });
    SetOCRPicture(job->Picture);
  } else {
    SetOCRPicture(busy.Run([&] {
      previous = QImage();
      return PrepareForRecognition(source, dpi);
    }));
  }
  try {
    const QString code = LanguageCode(LangName);
    const QString folder = TrainedDataFolder(AppPath);
    if (!FileExists(TrainedDataFile(folder, code))) {
      ShowErrorBox(GetLangText(QStringLiteral("info_nonLangFile")));
      return;
    }
    QString text;
    if (job) {
      busy.WaitUntil([&] { return job->State.load() >= TRecognitionJob::Recognised; },
                     [&] { ShowProgress(job->Percent); });
      TRecognitionBatch::NoteUsed();
      if (job->Failure)
        std::rethrow_exception(job->Failure);
      text = job->Text;
    } else {
      std::atomic<int> percent{0};
      const QImage picture = imgTemp->IEBitmap()->Image();
      text = busy.Run([&] { return RecognizePrepared(picture, folder, code, [&](int p) { percent = p; }); },
                      [&] { ShowProgress(percent); });
    }
    const QString name = imgMViewListItems->ImageFileName(imgMViewListItems->SelectedImage());
    rveResult->AddNamedCheckpoint(name);
    rveResult->AddText(text, 0);
    rveResult->ReformatAll();
    ScrollToCheckpoint(name);
  } catch (const std::exception &e) {
    Dialogs().ErrorDialog(this, VisionFailureText(e));
  }
}

void TfraModuleOCR::OCRAll(const QString &LangName) {
  if (imgMViewListItems->ImageCount() == 0) {
    ShowWarningBox(GetLangText(QStringLiteral("ocr_noSrc")));
    return;
  }
  const int n = imgMViewListItems->ImageCount();
  TBusyWork busy;
  struct TBatchState {
    TfraModuleOCR &Fra;
    ~TBatchState() {
      Fra.FBatchCount = 0;
      Fra.FBatchIndex = 0;
      if (Fra.FProgress)
        Fra.FProgress(QString());
    }
  } state{*this};
  FBatchCount = n;
  // Workers recognise ahead only while the trained data is there (without
  // it every step shows its message and recognises nothing).
  const QString folder = TrainedDataFolder(AppPath);
  const QString code = LanguageCode(LangName);
  std::unique_ptr<TRecognitionBatch> batch;
  if (TRecognitionBatch::ConfiguredWorkers() != 0 && n > 1 && FileExists(TrainedDataFile(folder, code))) {
    QStringList files;
    for (int i = 0; i < n; ++i)
      files << imgMViewListItems->ImageFileName(i);
    batch = std::make_unique<TRecognitionBatch>(files, folder, code);
  }
  for (int i = 0; i < n; ++i) {
    FBatchIndex = i;
    if (batch)
      batch->Reached(i);
    ShowImage(i);
    ShowProgress(0);
    busy.Wait(100);
    OCRStep(LangName, batch.get(), i);
  }
}

void TfraModuleOCR::BarcodeDetect() {
  // As for recognition: only the picture of the entry shown is read.
  if (curidx < 0)
    return;
  TBusyWork busy;
  struct TClear {
    const TProgressEvent &Progress;
    ~TClear() {
      if (Progress)
        Progress(QString());
    }
  } clear{FProgress};
  if (FProgress)
    FProgress(GetLangText(QStringLiteral("info_readingBarcodes")));
  try {
    imgRaw->SetSelectionBase(iesbBitmap);
    TVisionRect rect{0, 0, 0, 0};
    if (imgRaw->Selected())
      rect = TVisionRect{imgRaw->SelX1(), imgRaw->SelY1(), imgRaw->SelX2() - imgRaw->SelX1() + 1,
                         imgRaw->SelY2() - imgRaw->SelY1() + 1};
    const QImage picture = imgRaw->IEBitmap()->Image();
    const QList<TVisionBarcodeRead> list = busy.Run([&] { return VisionReadBarcodes(picture, rect); });
    for (int i = 0; i < list.size(); ++i) {
      const QString line =
          QStringLiteral("%1. type:%2;value:%3").arg(QString::number(i + 1), list[i].Type, list[i].Value);
      rveResult->AddText(line, 0);
      rveResult->AddText(QStringLiteral("\r\n"), 0);
      rveResult->Format();
    }
  } catch (const std::exception &e) {
    Dialogs().ErrorDialog(this, VisionFailureText(e));
  }
}

// ------------------------------------------------------- source commands

void TfraModuleOCR::ImportFiles() {
  TFileDialogRequest request;
  request.InitialDir = ExtractFilePath(IniOptions->ParamCurFile());
  request.Filter = ImageOpenFilter();
  request.MultiSelect = true;
  const QStringList files = Dialogs().OpenFiles(this, request);
  if (files.isEmpty())
    return;
  int first = -1;
  for (const QString &f : files) {
    const int idx = AddImageFile(f);
    if (first < 0)
      first = idx;
  }
  IniOptions->SetParamCurFile(files.first());
  ShowImage(first);
}

void TfraModuleOCR::ImportDir() {
  TFileDialogRequest request;
  request.Title = GetLangText(QStringLiteral("ocr_selDir"));
  request.InitialDir = IniOptions->ParamCurPath();
  request.NewFolderButton = false;
  const QString dir = Dialogs().ChooseFolder(this, request);
  if (dir.isEmpty())
    return;
  imgMViewListItems->FillFromDirectory(dir);
  IniOptions->SetParamCurPath(dir);
  if (imgMViewListItems->ImageCount() > 0)
    ShowImage(0);
}

void TfraModuleOCR::ImportPDF() {
  TfrmImportPDFOptions dialog(this);
  if (Dialogs().ExecDialog(&dialog) != QDialog::Accepted)
    return;
  imgMViewListItems->FillFromDirectory(dialog.DestDir);
  IniOptions->SetParamCurPath(dialog.DestDir);
  if (imgMViewListItems->ImageCount() > 0)
    ShowImage(0);
}

void TfraModuleOCR::RemoveSel() {
  const int selected = imgMViewListItems->SelectedImage();
  if (selected == -1) {
    ShowWarningBox(GetLangText(QStringLiteral("ocr_selItem")));
    return;
  }
  if (AskYesNoBox(GetLangText(QStringLiteral("ocr_confirm"))) != IDYES)
    return;
  imgMViewListItems->DeleteImage(selected);
  imgRaw->Clear();
  // Until the file is read nothing is shown: a load that fails leaves no
  // entry current, so a later pick of it reads it again. The entry that the
  // list selected is named all the same.
  curidx = -1;
  const int now = imgMViewListItems->SelectedImage();
  if (now >= 0) {
    try {
      imgRaw->IO().LoadFromFile(imgMViewListItems->ImageFileName(now));
    } catch (...) {
      ChangeCurItem();
      throw;
    }
    curidx = now;
    imgRaw->Update();
  } else {
    imgRaw->Fit();
  }
  ChangeCurItem();
}

void TfraModuleOCR::ClearAll() {
  if (AskYesNoBox(GetLangText(QStringLiteral("ocr_confirm"))) != IDYES)
    return;
  imgMViewListItems->Clear();
  imgRaw->Clear();
  imgRaw->Fit();
  curidx = -1;
  ChangeCurItem();
}

void TfraModuleOCR::actList_ShowInExploreExecute() {
  const QString fileName = imgMViewListItems->ImageFileName(imgMViewListItems->SelectedImage());
  if (FileExists(fileName))
    Desktop().ShowInFileManager(fileName);
}

// --------------------------------------------------------- image editing

void TfraModuleOCR::Crop() {
  if (imgRaw->Selected()) {
    if (curState == esCrop) {
      imgRaw->Proc().CropSel(false);
      imgRaw->DeSelect();
      imgRaw->Update();
    }
    return;
  }
  imgRaw->SetCursor(crIECrop);
  curState = esCrop;
  MergeAll(imgRaw);
  imgRaw->SetMouseInteract(miSelect);
  imgRaw->SetMouseInteractVt({});
}

void TfraModuleOCR::imgRawKeyPress(QChar &Key) {
  if (Key != QChar(13))
    return;
  Key = QChar(0);
  if (curState == esCrop)
    Crop();
}

void TfraModuleOCR::DrawMask() {
  imgRaw->UnSelAllObjects();
  imgRaw->SetCursor(crIEMask);
  if (curState != esDrawRactangle) {
    imgRaw->LayersMergeAll();
    curState = esDrawRactangle;
  }
  imgRaw->SetMouseInteract({});
  imgRaw->SetMouseInteractVt(miPutBox);
  imgRaw->SetObjPenColor(IEV_NEXT_INSERTED_OBJECT, QColor(0xFF, 0xFF, 0xFF));
  imgRaw->SetObjBoxHighLight(IEV_NEXT_INSERTED_OBJECT, false);
  imgRaw->SetObjBrushColor(IEV_NEXT_INSERTED_OBJECT, QColor(0xFF, 0xFF, 0xFF));
  imgRaw->SetObjBrushStyle(IEV_NEXT_INSERTED_OBJECT, bsSolid);
  imgRaw->Proc().SaveUndo(ieuObjectsAndLayers);
}

void TfraModuleOCR::Horizontal() {
  const double angle = imgRaw->Proc().SkewDetection(0, 30, 0.1);
  imgRaw->Proc().RotateAndCrop(angle);
  imgRaw->Update();
}

void TfraModuleOCR::Rotate90() {
  imgRaw->RotateAllObjects(90, ierImage);
  imgRaw->Proc().Rotate(90);
  imgRaw->Update();
}

void TfraModuleOCR::Rotate90C() {
  imgRaw->RotateAllObjects(270, ierImage);
  imgRaw->Proc().Rotate(270);
  imgRaw->Update();
}

void TfraModuleOCR::ImgTwoValue() {
  MergeAll(imgRaw);
  imgRaw->Proc().SaveUndo(ieuObjectsAndLayers);
  imgRaw->Proc().ConvertToBWLocalThreshold(10, 20);
  imgRaw->Update();
}

void TfraModuleOCR::ImgUndo() {
  imgRaw->Proc().SaveRedo(ieuObjectsAndLayers);
  imgRaw->Proc().Undo(false);
  imgRaw->Proc().ClearUndo();
  imgRaw->Update();
}

void TfraModuleOCR::ImgRedo() {
  imgRaw->Proc().SaveUndo(ieuObjectsAndLayers);
  imgRaw->Proc().Redo();
  imgRaw->Proc().ClearRedo();
  imgRaw->Update();
}

void TfraModuleOCR::AdjustBrightness(int value) {
  for (int channel = 0; channel < 3; ++channel)
    imgRaw->IEBitmap()->SetChannelOffset(channel, value);
  imgRaw->Update();
}

void TfraModuleOCR::AdjustContrast(int value) {
  imgRaw->IEBitmap()->SetContrast(value);
  imgRaw->Update();
}

void TfraModuleOCR::SaveImage() {
  // Only the file of the entry that the editor shows: after a failed load
  // the editor's blank picture belongs to no file.
  const int idx = curidx;
  if (idx < 0)
    return;
  const QString path = imgMViewListItems->ImageFileName(idx);
  MergeAll(imgRaw);
  imgRaw->IO().SaveToFile(path);
  imgMViewListItems->ReloadImage(idx);
}

// ----------------------------------------------------------------- result

void TfraModuleOCR::Export2PDF() {
  TFileDialogRequest request;
  request.DefaultExt = QStringLiteral("pdf");
  request.Filter = QStringLiteral("PDF file|*.pdf");
  const QString fileName = Dialogs().SaveFile(this, request);
  if (fileName.isEmpty())
    return;
  QString failure;
  try {
    // The report holds the whole PDF in memory: it lives only as long as
    // the export, also when the export fails.
    TGDIPages report(this);
    report.BeginDoc();
    for (int i = 0; i < rveResult->ItemCount(); ++i) {
      report.NewLine();
      const TRVItemInfo item = rveResult->GetItem(i);
      switch (item.Kind) {
      case TRVItemKind::Text: {
        const int styleNo = rveResult->GetItemStyle(i);
        const QList<TFontInfo> &styles = rvStyleOCR->TextStyles();
        const TFontInfo style = styleNo >= 0 && styleNo < styles.size() ? styles.at(styleNo) : styles.value(0);
        report.Font().Name = style.FontName;
        report.Font().Size = style.SizeDouble / 2;
        report.DrawText(rveResult->GetItemTextW(i));
        break;
      }
      case TRVItemKind::Picture:
      case TRVItemKind::HotPicture: {
        // The picture on a white bitmap of its size: what is transparent in
        // it prints as the paper, as it shows on the editor's white page.
        QImage bitmap;
        if (!item.Image.isNull()) {
          bitmap = QImage(item.Image.size(), QImage::Format_RGB32);
          bitmap.fill(Qt::white);
          QPainter painter(&bitmap);
          painter.drawImage(0, 0, item.Image);
        }
        report.DrawBMP(bitmap, 0, (2 * bitmap.width()) / 7, QString());
        break;
      }
      case TRVItemKind::Table:
      case TRVItemKind::Other:
        break;
      }
    }
    report.EndDoc();
    if (!report.ExportPDF(fileName, false, false))
      failure = report.LastError();
  } catch (const std::exception &e) {
    failure = QString::fromUtf8(e.what());
  }
  if (!failure.isNull()) {
    ShowErrorBox(FormatText(GetLangText(QStringLiteral("error_exportPDF")), {fileName, failure}));
    return;
  }
  // The result is kept in the file: closing the window need not ask for it.
  rveResult->document()->setModified(false);
  Pause(200);
  RunProgram(fileName);
}

QString JoinedResultText(const TRichViewEdit &edit) {
  static const QRegularExpression lineBreaks(QStringLiteral("\r\n|\r|\n"));
  QString text;
  bool lineEnded = false; // a paragraph or line ended since the last text taken
  for (int i = 0; i < edit.ItemCount(); ++i) {
    const TRVItemInfo item = edit.GetItem(i);
    if (item.NewParagraph)
      lineEnded = true;
    const QStringList lines = item.Text.split(lineBreaks);
    for (qsizetype k = 0; k < lines.size(); ++k) {
      if (k > 0)
        lineEnded = true;
      const QString &line = lines.at(k);
      if (line.isEmpty())
        continue;
      // The words on both sides of a joined line stay apart, by one blank.
      if (lineEnded && !text.isEmpty() && !text.back().isSpace() && !line.front().isSpace())
        text += u' ';
      text += line;
      lineEnded = false;
    }
  }
  return text;
}

void TfraModuleOCR::ClearParaFormat() {
  if (AskYesNoBox(GetLangText(QStringLiteral("ocr_confirm"))) != IDYES)
    return;
  // One step of the editor's undo history, which brings the result back as
  // it was.
  rveResult->ReplaceAllText(JoinedResultText(*rveResult), 0);
  rveResult->Format();
}

void TfraModuleOCR::actResult_ClearExecute() {
  if (AskYesNoBox(GetLangText(QStringLiteral("ocr_confirm"))) != IDYES)
    return;
  SetOCRView(VImage);
  rveResult->ClearAll();
  rveResult->Reformat();
}

// ---------------------------------------------------------------- capture

void TfraModuleOCR::Capture(const QImage &ibmp, TCaptureType ct) {
  if (ibmp.width() < 10 && ibmp.height() < 10)
    return;
  if (ct == ctCombine && imgMViewListItems->ImageCount() > 0) {
    // The capture goes below the picture that the editor shows, into that
    // entry's file.
    const int idx = curidx;
    if (idx < 0) {
      // The editor shows no entry: keep the capture as an image of its own.
      CaptureAsNewImage(ibmp);
      return;
    }
    CaptureAppendToCurrent(ibmp, idx);
    imgMViewListItems->ReloadImage(idx);
    return;
  }
  CaptureAsNewImage(ibmp);
}

void TfraModuleOCR::CaptureAsNewImage(const QImage &ibmp) {
  const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddhhmmsszzz"));
  const QString fileName = QStringLiteral("%1%2/%3.png").arg(AppPath, QStringLiteral("temp"), stamp);
  WriteImageFile(fileName, ibmp);
  ShowImage(AddImageFile(fileName));
}

void TfraModuleOCR::CaptureAppendToCurrent(const QImage &ibmp, int idx) {
  const QString target = imgMViewListItems->ImageFileName(idx);
  const int width = qMax(imgRaw->IEBitmap()->Width(), ibmp.width());
  const int offset = imgRaw->GetLayer(0)->Height();
  const int height = offset + ibmp.height();
  QImage canvas(width, height, QImage::Format_RGB32);
  canvas.fill(Qt::white);
  const int under = imgRaw->LayersInsert(0);
  imgRaw->GetLayer(under)->Bitmap().CopyFromTBitmap(canvas);
  const int top = imgRaw->LayersAdd();
  TIELayer *layer = imgRaw->GetLayer(top);
  layer->SetPosX(0);
  layer->SetPosY(offset);
  layer->Bitmap().CopyFromTBitmap(ibmp);
  imgRaw->LayersMergeAll();
  imgRaw->Update();
  imgRaw->IO().SaveToFile(target);
}
