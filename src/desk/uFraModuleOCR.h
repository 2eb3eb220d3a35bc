#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <functional>

class QAction;
class TBar;
class TBarButton;
class TBarDockControl;
class TBarManager;
class TBarRadioGroupItem;
class TBarTrackBarItem;
class TImageEnVect;
class TPageControl;
class TRVStyle;
class TRichViewEdit;
class TSplitter;
class TTabSheet;
class TThumbList;
class TThumbListView;

namespace Ui {
class fraModuleOCR;
}

// Which panes the workspace shows.
enum TViewType : unsigned char {
  VImage,        // the image editor alone
  VResult,       // the result editor alone
  VLayoutResult, // reserved for a layout view; only recorded
  VBoth,         // the image editor above the result editor
};

// The image editor's tool.
enum TEditState : unsigned char { esNormal, esCrop, esDrawRactangle };

// A screen capture becomes a new source image, or is appended below the
// current one.
enum TCaptureType : unsigned char { ctSingle, ctCombine };

// The change-of-current-image event: the entry that the workspace names or
// shows changed (an image shown or refused, an entry removed, the list
// cleared).
using TChangeCurItem = std::function<void()>;
// The progress of a recognition or barcode reading as a status text; the
// empty text when it is over.
using TProgressEvent = std::function<void(const QString &)>;

class TRecognitionBatch;

// The OCR workspace: the thumbnail list of the source images beside a page
// control holding the image editor, the result editor, a reserved layout
// view and a hidden work view; and every operation on them.
//
// The editor, the list's selection and the status line name one entry: the
// current index is the selected entry while the editor shows its picture,
// -1 while it shows none (nothing selected, or the selected entry's file
// could not be read). Saving the image and appending a capture write only
// the file of the current entry; recognition and barcode reading read only
// its picture, and do nothing while there is no current entry.
class TfraModuleOCR : public QWidget {
  Q_OBJECT
public:
  explicit TfraModuleOCR(QWidget *owner = nullptr);
  ~TfraModuleOCR() override;

  // Layout
  void InitModuleLayout();
  void SetOCRView(TViewType mytype);
  int GetDPI() const;
  void MergeAll(TImageEnVect *img);

  // Source images and the current image
  int AddImageFile(const QString &fileName);
  void ShowImage(int idx);

  // Recognition and barcodes. OCR and BarcodeDetect work on the current
  // entry's picture and do nothing without one; a step of OCRAll whose
  // image is gone recognises the picture shown before, if any.
  void SetOCRImage();
  void OCR(const QString &LangName);
  void OCRAll(const QString &LangName);
  void BarcodeDetect();

  // Source commands
  void ImportFiles();
  void ImportDir();
  void ImportPDF();
  void RemoveSel();
  void ClearAll();
  void Scan() {}

  // Image editing
  void Crop();
  void DrawMask();
  void Horizontal();
  void Rotate90();
  void Rotate90C();
  void ImgTwoValue();
  void ImgUndo();
  void ImgRedo();
  void AdjustBrightness(int value);
  void AdjustContrast(int value);
  void SaveImage();

  // Result
  void Export2PDF();
  void ClearParaFormat();

  // Screen capture handed on by the main window.
  void Capture(const QImage &ibmp, TCaptureType ct);

  TChangeCurItem OnChangeCurItem() const { return FChangeCurItem; }
  void SetOnChangeCurItem(TChangeCurItem handler) { FChangeCurItem = std::move(handler); }
  void SetOnProgress(TProgressEvent handler) { FProgress = std::move(handler); }

  // State, read by the main window and the tests.
  TViewType CurVT() const { return curVT; }
  int CurIdx() const { return curidx; }
  TEditState CurState() const { return curState; }

  // Published event handlers.
  void imgRawMouseDown(Qt::MouseButton Button);
  void imgRawMouseWheel();
  void imgRawKeyPress(QChar &Key);
  void imgMViewListImageSelect(int idx);
  void barItemMouseModePropertiesChange();
  void barItemZoomPropertiesChange();
  void actRaw_FitWidthExecute();
  void actRaw_OSizeExecute();
  void actSrc_RemoveSelExecute() { RemoveSel(); }
  void actSrc_ClearAllExecute() { ClearAll(); }
  void actList_ShowInExploreExecute();
  void actResult_ClearExecute();
  void actResult_ClearFormatExecute() { ClearParaFormat(); }

  // Components
  TSplitter *split1;
  QWidget *pnl1;
  TBarDockControl *barDockCtrlList;
  TThumbList *imgMViewListItems; // the list's entries
  TThumbListView *imgMViewList;  // its view
  TPageControl *pcOCR;
  TTabSheet *tsImage;
  TBarDockControl *barDockCtrlRaw;
  TImageEnVect *imgRaw;
  TSplitter *split2;
  TTabSheet *tsResult;
  TBarDockControl *dockCtrlResult;
  TRichViewEdit *rveResult;
  TTabSheet *tsLayoutResult;
  TImageEnVect *imgLayoutResult;
  TTabSheet *tsInvisible;
  TImageEnVect *imgTemp;
  TRVStyle *rvStyleOCR;
  TBarManager *barMgrOCR;
  TBar *barMgrOCRBar1;
  TBar *barMgrOCRBar2;
  TBar *barMgrOCRBar3;
  TBarRadioGroupItem *barItemMouseMode;
  TBarTrackBarItem *barItemZoom;
  QAction *actSrc_RemoveSel;
  QAction *actSrc_ClearAll;
  QAction *actList_ShowInExplore;
  QAction *actRaw_OSize;
  QAction *actRaw_FitWidth;
  QAction *actResult_Clear;
  QAction *actResult_ClearFormat;
  QList<QAction *> actlstOCR; // in list order

private:
  void BuildComponents();
  void ApplyMouseMode();
  void CaptureAsNewImage(const QImage &ibmp);
  void CaptureAppendToCurrent(const QImage &ibmp, int idx);
  // Raises OnChangeCurItem: the entry that the workspace names (the list's
  // selected one) or the entry it shows changed.
  void ChangeCurItem();
  void ScrollToCheckpoint(const QString &name);
  void SetResultInImageSheet(bool inImageSheet);
  // Recognition: the picture to prepare (with its resolution), the
  // prepared picture put in imgTemp, one step of OCR or of a batch.
  QImage OCRSource(int &dpi);
  void SetOCRPicture(const QImage &picture);
  void OCRStep(const QString &LangName, TRecognitionBatch *batch, int index);
  void ShowProgress(int percent);

  Ui::fraModuleOCR *ui;
  TViewType curVT = VImage;
  int curidx = -1; // the entry whose picture the editor shows; -1: none
  TEditState curState = esNormal;
  TChangeCurItem FChangeCurItem;
  TProgressEvent FProgress;
  int FBatchIndex = 0; // the image of a running batch
  int FBatchCount = 0; // 0: no batch runs
};

// The text of a result as one paragraph: the texts of its items in order,
// without line breaks; where a paragraph or line ends and the next begins,
// one blank keeps their words apart (none is added next to a blank that is
// there already). Pictures and tables give no text.
QString JoinedResultText(const TRichViewEdit &edit);

// The program-wide reference to the one workspace.
extern TfraModuleOCR *fraModuleOCR;
