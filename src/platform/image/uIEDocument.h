#pragma once

#include "uIEBitmap.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRect>
#include <QString>
#include <deque>
#include <memory>
#include <vector>

// An image document: layers, vector boxes over them, one rectangular
// selection, image input and output (IO) and an image processor with undo and
// redo lists (Proc). It needs no screen; the view TImageEnVect (uImageEnVect.h)
// is a document that also shows itself.

enum TIEUndoSource {
  ieuImage,            // the current layer's bitmap
  ieuObjectsAndLayers, // every layer with its bitmap and position, and every vector object
};
enum TIERotateCenter { ierImage, ierObjects };
enum TResampleFilter { rfNone, rfFastLinear, rfHermite };
enum TBrushStyle { bsSolid, bsClear };
// How SelX1..SelY2 read: in the view's client pixels, or in bitmap pixels.
enum TIESelectionBase { iesbClientArea, iesbBitmap };

// The object index that stands for "every object inserted from now on".
inline constexpr int IEV_NEXT_INSERTED_OBJECT = -1;

// A vector box over the image; its rectangle in bitmap pixels.
struct TIEBox {
  QRect Rect;
  QColor PenColor = Qt::black;
  int PenWidth = 1;
  QColor BrushColor = Qt::white;
  TBrushStyle BrushStyle = bsClear;
  bool BoxHighLight = false; // the brush is shown half transparent
  bool Selected = false;
};

// What the image I/O knows of the image it read last.
struct TIOParams {
  int DpiX = 300; // recorded resolution; 300 when the file records none
  int DpiY = 300;
  QString FileName;
  QByteArray FileType; // detected format of the file read last ("png", "jpeg" ...)
};

class TIEDocument;

// Reads and writes the document's current picture.
class TImageEnIO {
public:
  explicit TImageEnIO(TIEDocument &owner) : FOwner(owner) {}

  // Loads a file into the current layer, its format detected from its
  // content; the resolution it records goes to Params (300 when none). The
  // vector boxes and the selection of the previous picture are removed; the
  // undo lists and the display parameters stay. Raises EPlatformError and
  // then leaves the document as it was.
  void LoadFromFile(const QString &fileName);
  // Writes the picture (the layers flattened, without the vector boxes) in the
  // format the extension names. The file is replaced; the resolution of
  // Params is recorded. Raises EPlatformError.
  void SaveToFile(const QString &fileName);
  // The current layer becomes `image`; Params take the given resolution.
  void LoadFromImage(const QImage &image, int dpiX = 300, int dpiY = 300);
  // The current layer becomes a picture of the whole desktop (every screen
  // at its place in the virtual desktop, parts no screen covers black) at
  // the primary screen's resolution, without the mouse pointer. Raises
  // EPlatformError when there is no screen.
  void CaptureFromScreen();

  TIOParams &Params() { return FParams; }
  const TIOParams &Params() const { return FParams; }

private:
  TIEDocument &FOwner;
  TIOParams FParams;
};

// Processing of the current layer's bitmap, with undo and redo lists of at
// most UndoLimit entries each (an entry added to a full list drops the
// oldest). With AutoUndo on, every processing operation first saves an
// ieuImage entry by itself.
class TImageEnProc {
public:
  explicit TImageEnProc(TIEDocument &owner);
  ~TImageEnProc();

  // The bitmap becomes the part inside the selection (the selection stays
  // where it was, clipped to the new bitmap). `transparencyOnly`: the bitmap
  // keeps its size and the pixels outside turn transparent. Without a
  // selection nothing happens. Returns whether it cropped.
  bool CropSel(bool transparencyOnly = false);
  // The skew of the text lines in degrees (counter-clockwise positive), within
  // +-angleRange. `resampleWidth` > 0 analyses a copy reduced to that width.
  // Saves no undo entry.
  double SkewDetection(int resampleWidth = 0, double angleRange = 30, double precision = 0.1);
  // Turns by `angle` and cuts away the corners the turn leaves empty. With
  // AutoUndo on it saves one entry, and a second one for the rotation inside
  // it when the angle is not 0.
  void RotateAndCrop(double angle);
  // Turns by `angle` degrees, counter-clockwise positive; corners left empty
  // take `background`; an invalid colour (the default, where the Windows
  // program passes -1) takes the document's background colour.
  void Rotate(double angle, const QColor &background = QColor());
  // Black and white, one bit per pixel, by a local mean threshold.
  void ConvertToBWLocalThreshold(int winSize = 10, int offset = 20);
  // Resamples to the resolution `dpi` from the nominal resolution in
  // IO().Params(): new height = round(height * dpi / DpiY), new width = width *
  // new height / height (integer division); Params then read dpi by dpi.
  // Nothing happens for dpi <= 0 or an empty bitmap.
  void ChangeResolution(int dpi, TResampleFilter filter);

  // A snapshot of the present state added to the undo list or the redo list.
  void SaveUndo(TIEUndoSource source = ieuImage);
  void SaveRedo(TIEUndoSource source = ieuImage);
  // Restores the newest undo entry, which stays in the list. With `autoRedo`
  // the present state (of the entry's kind) goes to the redo list first.
  // Nothing happens with an empty list.
  void Undo(bool autoRedo = false);
  // Restores the newest redo entry, which stays in the list.
  void Redo();
  // Remove the newest entry of the undo or redo list, that one only.
  void ClearUndo();
  void ClearRedo();
  void ClearAllUndo();
  void ClearAllRedo();
  int UndoCount() const;
  int RedoCount() const;
  TIEUndoSource UndoKind(int index) const; // 0 = oldest
  TIEUndoSource RedoKind(int index) const;

  int UndoLimit() const { return FUndoLimit; }
  void SetUndoLimit(int value);
  bool AutoUndo() const { return FAutoUndo; }
  void SetAutoUndo(bool value) { FAutoUndo = value; }

private:
  struct TSnapshot;
  using TList = std::deque<std::shared_ptr<const TSnapshot>>;

  std::shared_ptr<const TSnapshot> Take(TIEUndoSource source) const;
  void Restore(const TSnapshot &snapshot);
  void Push(TList &list, std::shared_ptr<const TSnapshot> snapshot);
  void AutoSave();
  void SetCurrentImage(QImage image);

  TIEDocument &FOwner;
  TList FUndo;
  TList FRedo;
  int FUndoLimit = 1;
  bool FAutoUndo = true;
};

class TIEDocument {
public:
  TIEDocument();
  TIEDocument(const TIEDocument &) = delete;
  TIEDocument &operator=(const TIEDocument &) = delete;
  virtual ~TIEDocument();

  TImageEnIO &IO() { return FIO; }
  const TImageEnIO &IO() const { return FIO; }
  TImageEnProc &Proc() { return FProc; }
  const TImageEnProc &Proc() const { return FProc; }

  // The bitmap of the current layer.
  TIEBitmap *IEBitmap();
  const TIEBitmap *IEBitmap() const;
  // Repaints a view; a document without a view has nothing to do. Callers
  // that change a bitmap directly call it afterwards.
  virtual void Update() {}

  QColor Background() const { return FBackground; }
  void SetBackground(const QColor &color);
  // The picture becomes 1 by 1 pixel of the background colour; no selection.
  void Blank();
  // The current bitmap keeps its size, is filled with the background colour
  // and loses any alpha channel.
  void Clear();
  // Same as Proc().ChangeResolution.
  void ChangeResolution(int dpi, TResampleFilter filter) { FProc.ChangeResolution(dpi, filter); }

  // Layers, stacked in index order (the last on top), each at its position.
  int LayersCount() const { return static_cast<int>(FLayers.size()); }
  TIELayer *GetLayer(int index);
  const TIELayer *GetLayer(int index) const;
  int LayersCurrent() const { return FCurrent; }
  void SetLayersCurrent(int index);
  // A new empty layer at `index` (clamped), or on top; returns its index. The
  // current layer stays the same layer.
  int LayersInsert(int index);
  int LayersAdd();
  // Flattens every layer into one picture spanning all of them (white where
  // none covers it). The result keeps the current layer's display parameters.
  // With one layer nothing changes, not even its pixel format.
  void LayersMergeAll();
  // The rectangle all layers cover, in picture pixels.
  QRect LayersRect() const;
  // The layers flattened, as LayersMergeAll would make them; the document stays.
  QImage MergedImage() const;

  // The rectangular selection, in the current bitmap's pixels.
  bool Selected() const { return !FSelection.isEmpty(); }
  void DeSelect();
  // Selects `rect` (bitmap pixels), clipped to the bitmap; an empty result
  // leaves no selection.
  void Select(const QRect &rect);
  // The selection; the whole bitmap when there is none.
  QRect SelectedRect() const;
  TIESelectionBase SelectionBase() const { return FSelectionBase; }
  void SetSelectionBase(TIESelectionBase value) { FSelectionBase = value; }
  // The selection's bounds, the right and bottom ones inclusive, in the
  // coordinates SelectionBase names; the whole bitmap when there is none.
  int SelX1() const;
  int SelY1() const;
  int SelX2() const;
  int SelY2() const;
  // `target` becomes the selected rectangle of the current bitmap (same pixel
  // format). Returns false, leaving `target` alone, without a selection.
  bool CopySelectionToIEBitmap(TIEBitmap &target) const;
  // The same into a plain QImage at 24 bits per pixel (RGB888).
  bool CopySelectionToBitmap(QImage &target) const;

  // Vector objects (boxes), by index from 0.
  int ObjectsCount() const { return static_cast<int>(FObjects.size()); }
  int SelObjectsCount() const;
  const TIEBox &GetObj(int hobj) const;
  // A new box with the settings of IEV_NEXT_INSERTED_OBJECT; returns its index.
  int AddNewBox(const QRect &rect);
  void RemoveObject(int hobj);
  void RemoveAllObjects();
  void AddSelObject(int hobj);
  void UnSelAllObjects();
  // Turns every box by `angle` degrees (counter-clockwise positive) about the
  // picture, into the coordinates of the picture turned by the same angle.
  void RotateAllObjects(double angle, TIERotateCenter center = ierImage);
  // Paints every box into `target`. With `adaptBitmapPixelFormat` a bitmap of
  // another format than 24-bit RGB becomes 24-bit RGB first; otherwise it
  // keeps its format.
  void DrawObjectsToBitmap(TIEBitmap &target, bool antialias = true, bool adaptBitmapPixelFormat = true) const;
  // Object settings by index; IEV_NEXT_INSERTED_OBJECT for new objects.
  QColor ObjPenColor(int hobj) const;
  void SetObjPenColor(int hobj, const QColor &value);
  int ObjPenWidth(int hobj) const;
  void SetObjPenWidth(int hobj, int value);
  QColor ObjBrushColor(int hobj) const;
  void SetObjBrushColor(int hobj, const QColor &value);
  TBrushStyle ObjBrushStyle(int hobj) const;
  void SetObjBrushStyle(int hobj, TBrushStyle value);
  bool ObjBoxHighLight(int hobj) const;
  void SetObjBoxHighLight(int hobj, bool value);
  // Undo of object changes: with ObjAutoUndo on, inserting, removing and
  // turning objects save the objects first (at most ObjUndoLimit entries).
  int ObjUndoLimit() const { return FObjUndoLimit; }
  void SetObjUndoLimit(int value);
  bool ObjAutoUndo() const { return FObjAutoUndo; }
  void SetObjAutoUndo(bool value) { FObjAutoUndo = value; }
  void ObjSaveUndo();
  // Restores the newest object entry and removes it.
  void ObjUndo();
  int ObjUndoCount() const { return static_cast<int>(FObjUndo.size()); }
  void ObjClearAllUndo() { FObjUndo.clear(); }

  // Between bitmap pixels and client pixels: the same for a document without
  // a view.
  virtual QPointF BitmapToClient(const QPointF &p) const { return p; }
  virtual QPointF ClientToBitmap(const QPointF &p) const { return p; }

protected:
  enum TChange : unsigned { chImage = 1, chObjects = 2, chSelection = 4 };
  // Told after each change made through the document.
  virtual void DocumentChanged(unsigned changes) { (void)changes; }
  void Changed(unsigned changes) { DocumentChanged(changes); }

private:
  friend class TImageEnIO;
  friend class TImageEnProc;

  TIEBox *ObjAt(int hobj);
  const TIEBox *ObjAt(int hobj) const;
  void ClipSelection();
  void AutoSaveObjects();

  std::vector<std::unique_ptr<TIELayer>> FLayers;
  int FCurrent = 0;
  std::vector<TIEBox> FObjects;
  TIEBox FNextObject;
  std::deque<std::vector<TIEBox>> FObjUndo;
  int FObjUndoLimit = 1;
  bool FObjAutoUndo = false;
  QRect FSelection;
  TIESelectionBase FSelectionBase = iesbClientArea;
  QColor FBackground = QColor(240, 240, 240);
  TImageEnIO FIO;
  TImageEnProc FProc;
};
