#include "uIEDocument.h"

#include "uException.h"
#include "uImageFile.h"
#include "uImageProc.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

int dpiOrDefault(int dpi) { return dpi > 0 ? dpi : 300; }

// Paints boxes onto an image of a paintable format.
void paintBoxes(QImage &image, const std::vector<TIEBox> &boxes, bool antialias) {
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, antialias);
  for (const TIEBox &b : boxes) {
    const QRect r = b.Rect.normalized();
    if (r.isEmpty())
      continue;
    if (b.BrushStyle == bsSolid) {
      QColor fill = b.BrushColor;
      if (b.BoxHighLight)
        fill.setAlpha(fill.alpha() / 2);
      p.fillRect(r, fill);
    }
    const int w = std::min({b.PenWidth, (r.width() + 1) / 2, (r.height() + 1) / 2});
    if (w > 0 && b.PenColor.isValid()) {
      p.fillRect(QRect(r.left(), r.top(), r.width(), w), b.PenColor);
      p.fillRect(QRect(r.left(), r.bottom() - w + 1, r.width(), w), b.PenColor);
      p.fillRect(QRect(r.left(), r.top(), w, r.height()), b.PenColor);
      p.fillRect(QRect(r.right() - w + 1, r.top(), w, r.height()), b.PenColor);
    }
  }
}

// Turns a point about `centre` by `angle` degrees, counter-clockwise on the
// screen (y grows downwards), then moves `centre` to `newCentre`.
QPointF turn(QPointF p, QPointF centre, QPointF newCentre, double c, double s) {
  const double dx = p.x() - centre.x();
  const double dy = p.y() - centre.y();
  return {newCentre.x() + dx * c + dy * s, newCentre.y() - dx * s + dy * c};
}

// cos and sin of an angle in degrees, exact for quarter turns.
void cosSin(double angle, double &c, double &s) {
  const double a = std::fmod(angle, 360.0);
  const double q = a / 90.0;
  if (q == std::floor(q)) {
    const int k = ((static_cast<int>(q) % 4) + 4) % 4;
    static const int cs[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    c = cs[k][0];
    s = cs[k][1];
    return;
  }
  c = std::cos(a * std::numbers::pi / 180.0);
  s = std::sin(a * std::numbers::pi / 180.0);
}

} // namespace

// ---------------------------------------------------------------- TImageEnIO

void TImageEnIO::LoadFromFile(const QString &fileName) {
  TImageFileInfo info;
  QImage image = ReadImageFile(fileName, &info);
  FOwner.FObjects.clear();
  FOwner.FSelection = QRect();
  FOwner.IEBitmap()->SetImage(std::move(image));
  FParams.DpiX = dpiOrDefault(info.DpiX);
  FParams.DpiY = dpiOrDefault(info.DpiY);
  FParams.FileName = fileName;
  FParams.FileType = info.Format;
  FOwner.Changed(TIEDocument::chImage | TIEDocument::chObjects | TIEDocument::chSelection);
}

void TImageEnIO::SaveToFile(const QString &fileName) {
  const QImage image = FOwner.LayersCount() == 1 ? FOwner.IEBitmap()->Image() : FOwner.MergedImage();
  WriteImageFile(fileName, image, FParams.DpiX, FParams.DpiY);
}

void TImageEnIO::LoadFromImage(const QImage &image, int dpiX, int dpiY) {
  FOwner.FSelection = QRect();
  FOwner.IEBitmap()->SetImage(image);
  FParams.DpiX = dpiOrDefault(dpiX);
  FParams.DpiY = dpiOrDefault(dpiY);
  FParams.FileName.clear();
  FParams.FileType.clear();
  FOwner.Changed(TIEDocument::chImage | TIEDocument::chSelection);
}

void TImageEnIO::CaptureFromScreen() {
  const QList<QScreen *> screens = QGuiApplication::screens();
  if (screens.isEmpty())
    throw EPlatformError(QStringLiteral("There is no screen to capture."));
  QRect desktop;
  for (QScreen *s : screens)
    desktop |= s->geometry();
  QImage grab(desktop.size(), QImage::Format_RGB32);
  grab.fill(Qt::black);
  {
    QPainter p(&grab);
    for (QScreen *s : screens) {
      const QPixmap shot = s->grabWindow(0);
      if (shot.isNull())
        continue;
      const QRect g = s->geometry().translated(-desktop.topLeft());
      p.drawPixmap(g, shot);
    }
  }
  const int dpi = static_cast<int>(std::lround(screens.front()->logicalDotsPerInchX()));
  LoadFromImage(grab.convertToFormat(QImage::Format_RGB888), dpi, dpi);
}

// ------------------------------------------------------------- TImageEnProc

struct TImageEnProc::TSnapshot {
  struct TLayerState {
    QImage Image;
    int PosX = 0;
    int PosY = 0;
  };
  TIEUndoSource Kind = ieuImage;
  QImage Image; // ieuImage
  std::vector<TLayerState> Layers;
  int Current = 0;
  std::vector<TIEBox> Objects;
};

TImageEnProc::TImageEnProc(TIEDocument &owner) : FOwner(owner) {}

TImageEnProc::~TImageEnProc() = default;

std::shared_ptr<const TImageEnProc::TSnapshot> TImageEnProc::Take(TIEUndoSource source) const {
  auto s = std::make_shared<TSnapshot>();
  s->Kind = source;
  if (source == ieuImage) {
    s->Image = FOwner.IEBitmap()->Image();
  } else {
    for (const auto &layer : FOwner.FLayers)
      s->Layers.push_back({layer->Bitmap().Image(), layer->PosX(), layer->PosY()});
    s->Current = FOwner.FCurrent;
    s->Objects = FOwner.FObjects;
  }
  return s;
}

void TImageEnProc::Restore(const TSnapshot &snapshot) {
  if (snapshot.Kind == ieuImage) {
    FOwner.IEBitmap()->SetImage(snapshot.Image);
    FOwner.ClipSelection();
    FOwner.Changed(TIEDocument::chImage);
    return;
  }
  const TIEBitmap shown = *FOwner.IEBitmap();
  std::vector<std::unique_ptr<TIELayer>> layers;
  for (const auto &state : snapshot.Layers) {
    auto layer = std::make_unique<TIELayer>(state.Image);
    layer->SetPosX(state.PosX);
    layer->SetPosY(state.PosY);
    layers.push_back(std::move(layer));
  }
  if (layers.empty())
    layers.push_back(std::make_unique<TIELayer>());
  FOwner.FLayers = std::move(layers);
  FOwner.FCurrent = std::clamp(snapshot.Current, 0, FOwner.LayersCount() - 1);
  FOwner.IEBitmap()->AssignDisplayParams(shown);
  FOwner.FObjects = snapshot.Objects;
  FOwner.ClipSelection();
  FOwner.Changed(TIEDocument::chImage | TIEDocument::chObjects);
}

void TImageEnProc::Push(TList &list, std::shared_ptr<const TSnapshot> snapshot) {
  if (FUndoLimit <= 0)
    return;
  list.push_back(std::move(snapshot));
  while (static_cast<int>(list.size()) > FUndoLimit)
    list.pop_front();
}

void TImageEnProc::AutoSave() {
  if (FAutoUndo)
    SaveUndo(ieuImage);
}

void TImageEnProc::SetCurrentImage(QImage image) {
  FOwner.IEBitmap()->SetImage(std::move(image));
  FOwner.ClipSelection();
  FOwner.Changed(TIEDocument::chImage);
}

void TImageEnProc::SaveUndo(TIEUndoSource source) { Push(FUndo, Take(source)); }

void TImageEnProc::SaveRedo(TIEUndoSource source) { Push(FRedo, Take(source)); }

void TImageEnProc::Undo(bool autoRedo) {
  if (FUndo.empty())
    return;
  const auto entry = FUndo.back();
  if (autoRedo)
    SaveRedo(entry->Kind);
  Restore(*entry);
}

void TImageEnProc::Redo() {
  if (FRedo.empty())
    return;
  const auto entry = FRedo.back();
  Restore(*entry);
}

void TImageEnProc::ClearUndo() {
  if (!FUndo.empty())
    FUndo.pop_back();
}

void TImageEnProc::ClearRedo() {
  if (!FRedo.empty())
    FRedo.pop_back();
}

void TImageEnProc::ClearAllUndo() { FUndo.clear(); }

void TImageEnProc::ClearAllRedo() { FRedo.clear(); }

int TImageEnProc::UndoCount() const { return static_cast<int>(FUndo.size()); }

int TImageEnProc::RedoCount() const { return static_cast<int>(FRedo.size()); }

TIEUndoSource TImageEnProc::UndoKind(int index) const {
  return index >= 0 && index < UndoCount() ? FUndo[index]->Kind : ieuImage;
}

TIEUndoSource TImageEnProc::RedoKind(int index) const {
  return index >= 0 && index < RedoCount() ? FRedo[index]->Kind : ieuImage;
}

void TImageEnProc::SetUndoLimit(int value) {
  FUndoLimit = std::max(0, value);
  while (static_cast<int>(FUndo.size()) > FUndoLimit)
    FUndo.pop_front();
  while (static_cast<int>(FRedo.size()) > FUndoLimit)
    FRedo.pop_front();
}

bool TImageEnProc::CropSel(bool transparencyOnly) {
  if (!FOwner.Selected())
    return false;
  AutoSave();
  const QRect sel = FOwner.FSelection;
  const QImage &src = FOwner.IEBitmap()->Image();
  if (!transparencyOnly) {
    SetCurrentImage(src.copy(sel));
    return true;
  }
  QImage out = src.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x)
      if (!sel.contains(x, y))
        line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), 0);
  }
  SetCurrentImage(std::move(out));
  return true;
}

double TImageEnProc::SkewDetection(int resampleWidth, double angleRange, double precision) {
  const QImage &src = FOwner.IEBitmap()->Image();
  if (src.isNull())
    return 0;
  if (resampleWidth > 0 && resampleWidth < src.width())
    return ImageProc::SkewDetection(src.scaledToWidth(resampleWidth, Qt::SmoothTransformation), angleRange, precision);
  return ImageProc::SkewDetection(src, angleRange, precision);
}

void TImageEnProc::RotateAndCrop(double angle) {
  AutoSave();
  if (angle == 0)
    return;
  AutoSave(); // the rotation inside it
  const QImage &src = FOwner.IEBitmap()->Image();
  if (src.isNull())
    return;
  SetCurrentImage(ImageProc::RotateAndCrop(src, angle));
}

void TImageEnProc::Rotate(double angle, const QColor &background) {
  AutoSave();
  const QImage &src = FOwner.IEBitmap()->Image();
  if (src.isNull())
    return;
  SetCurrentImage(ImageProc::Rotate(src, angle, background.isValid() ? background : FOwner.FBackground));
}

void TImageEnProc::ConvertToBWLocalThreshold(int winSize, int offset) {
  AutoSave();
  const QImage &src = FOwner.IEBitmap()->Image();
  if (src.isNull())
    return;
  SetCurrentImage(ImageProc::ConvertToBWLocalThreshold(src, winSize, offset));
}

void TImageEnProc::ChangeResolution(int dpi, TResampleFilter filter) {
  const QImage &src = FOwner.IEBitmap()->Image();
  if (dpi <= 0 || src.isNull())
    return;
  TIOParams &params = FOwner.IO().Params();
  const int nominal = dpiOrDefault(params.DpiY);
  const qint64 newHeight = std::llround(static_cast<double>(src.height()) * dpi / nominal);
  const qint64 newWidth = static_cast<qint64>(src.width()) * newHeight / src.height();
  if (newWidth <= 0 || newHeight <= 0 || newWidth * newHeight > MaxImagePixels)
    throw EPlatformError(QStringLiteral("The image of %1 by %2 pixels cannot be resampled to %3 dpi.")
                             .arg(src.width())
                             .arg(src.height())
                             .arg(dpi));
  AutoSave();
  QImage out;
  const int w = static_cast<int>(newWidth);
  const int h = static_cast<int>(newHeight);
  if (w == src.width() && h == src.height())
    out = src;
  else if (filter == rfHermite)
    out = ImageProc::HermiteResize(src, w, h);
  else
    out = src.scaled(w, h, Qt::IgnoreAspectRatio,
                     filter == rfFastLinear ? Qt::SmoothTransformation : Qt::FastTransformation);
  params.DpiX = dpi;
  params.DpiY = dpi;
  SetCurrentImage(std::move(out));
}

// -------------------------------------------------------------- TIEDocument

TIEDocument::TIEDocument() : FIO(*this), FProc(*this) { FLayers.push_back(std::make_unique<TIELayer>()); }

TIEDocument::~TIEDocument() = default;

TIEBitmap *TIEDocument::IEBitmap() { return &FLayers[FCurrent]->Bitmap(); }

const TIEBitmap *TIEDocument::IEBitmap() const { return &FLayers[FCurrent]->Bitmap(); }

void TIEDocument::SetBackground(const QColor &color) {
  FBackground = color;
  Changed(chImage);
}

void TIEDocument::Blank() {
  QImage image(1, 1, QImage::Format_RGB888);
  image.fill(FBackground);
  IEBitmap()->SetImage(std::move(image));
  FSelection = QRect();
  Changed(chImage | chSelection);
}

void TIEDocument::Clear() {
  TIEBitmap *bmp = IEBitmap();
  if (bmp->IsEmpty())
    return;
  QImage image(bmp->Width(), bmp->Height(), QImage::Format_RGB888);
  image.fill(FBackground);
  bmp->SetImage(std::move(image));
  Changed(chImage);
}

TIELayer *TIEDocument::GetLayer(int index) {
  return index >= 0 && index < LayersCount() ? FLayers[index].get() : nullptr;
}

const TIELayer *TIEDocument::GetLayer(int index) const {
  return index >= 0 && index < LayersCount() ? FLayers[index].get() : nullptr;
}

void TIEDocument::SetLayersCurrent(int index) {
  if (index < 0 || index >= LayersCount() || index == FCurrent)
    return;
  FCurrent = index;
  FSelection = QRect();
  Changed(chImage | chSelection);
}

int TIEDocument::LayersInsert(int index) {
  index = std::clamp(index, 0, LayersCount());
  FLayers.insert(FLayers.begin() + index, std::make_unique<TIELayer>());
  if (index <= FCurrent)
    ++FCurrent;
  Changed(chImage);
  return index;
}

int TIEDocument::LayersAdd() { return LayersInsert(LayersCount()); }

QRect TIEDocument::LayersRect() const {
  QRect r;
  for (const auto &layer : FLayers)
    if (!layer->Bitmap().IsEmpty())
      r |= QRect(layer->PosX(), layer->PosY(), layer->Width(), layer->Height());
  return r;
}

QImage TIEDocument::MergedImage() const {
  const QRect area = LayersRect();
  if (area.isEmpty())
    return {};
  QImage out(area.size(), QImage::Format_RGB32);
  out.fill(Qt::white);
  {
    QPainter p(&out);
    for (const auto &layer : FLayers) {
      const QImage &img = layer->Bitmap().Image();
      if (img.isNull())
        continue;
      p.drawImage(QPoint(layer->PosX() - area.left(), layer->PosY() - area.top()), img);
    }
  }
  return out.convertToFormat(QImage::Format_RGB888);
}

void TIEDocument::LayersMergeAll() {
  if (LayersCount() <= 1)
    return;
  QImage merged = MergedImage();
  std::unique_ptr<TIELayer> kept = std::move(FLayers[FCurrent]);
  kept->Bitmap().SetImage(std::move(merged));
  kept->SetPosX(0);
  kept->SetPosY(0);
  FLayers.clear();
  FLayers.push_back(std::move(kept));
  FCurrent = 0;
  ClipSelection();
  Changed(chImage);
}

void TIEDocument::DeSelect() {
  if (FSelection.isNull())
    return;
  FSelection = QRect();
  Changed(chSelection);
}

void TIEDocument::Select(const QRect &rect) {
  const QRect bounds(0, 0, IEBitmap()->Width(), IEBitmap()->Height());
  const QRect r = rect.normalized() & bounds;
  FSelection = r.isEmpty() ? QRect() : r;
  Changed(chSelection);
}

QRect TIEDocument::SelectedRect() const {
  if (Selected())
    return FSelection;
  return QRect(0, 0, IEBitmap()->Width(), IEBitmap()->Height());
}

void TIEDocument::ClipSelection() {
  if (FSelection.isNull())
    return;
  const QRect r = FSelection & QRect(0, 0, IEBitmap()->Width(), IEBitmap()->Height());
  FSelection = r.isEmpty() ? QRect() : r;
}

namespace {

// The client pixel that shows the left or top edge of bitmap position v.
int clientCoord(double v) { return static_cast<int>(std::floor(v + 1e-9)); }

} // namespace

int TIEDocument::SelX1() const {
  const QRect r = SelectedRect();
  if (FSelectionBase == iesbBitmap)
    return r.left();
  const TIELayer &l = *FLayers[FCurrent];
  return clientCoord(BitmapToClient(QPointF(l.PosX() + r.left(), l.PosY() + r.top())).x());
}

int TIEDocument::SelY1() const {
  const QRect r = SelectedRect();
  if (FSelectionBase == iesbBitmap)
    return r.top();
  const TIELayer &l = *FLayers[FCurrent];
  return clientCoord(BitmapToClient(QPointF(l.PosX() + r.left(), l.PosY() + r.top())).y());
}

int TIEDocument::SelX2() const {
  const QRect r = SelectedRect();
  if (FSelectionBase == iesbBitmap)
    return r.right();
  const TIELayer &l = *FLayers[FCurrent];
  return clientCoord(BitmapToClient(QPointF(l.PosX() + r.right() + 1, l.PosY() + r.bottom() + 1)).x()) - 1;
}

int TIEDocument::SelY2() const {
  const QRect r = SelectedRect();
  if (FSelectionBase == iesbBitmap)
    return r.bottom();
  const TIELayer &l = *FLayers[FCurrent];
  return clientCoord(BitmapToClient(QPointF(l.PosX() + r.right() + 1, l.PosY() + r.bottom() + 1)).y()) - 1;
}

bool TIEDocument::CopySelectionToIEBitmap(TIEBitmap &target) const {
  if (!Selected())
    return false;
  target.SetImage(IEBitmap()->Image().copy(FSelection));
  return true;
}

bool TIEDocument::CopySelectionToBitmap(QImage &target) const {
  if (!Selected())
    return false;
  target = IEBitmap()->Image().copy(FSelection).convertToFormat(QImage::Format_RGB888);
  return true;
}

int TIEDocument::SelObjectsCount() const {
  return static_cast<int>(std::count_if(FObjects.begin(), FObjects.end(), [](const TIEBox &b) { return b.Selected; }));
}

const TIEBox &TIEDocument::GetObj(int hobj) const {
  const TIEBox *b = ObjAt(hobj);
  return b ? *b : FNextObject;
}

TIEBox *TIEDocument::ObjAt(int hobj) {
  if (hobj == IEV_NEXT_INSERTED_OBJECT)
    return &FNextObject;
  return hobj >= 0 && hobj < ObjectsCount() ? &FObjects[hobj] : nullptr;
}

const TIEBox *TIEDocument::ObjAt(int hobj) const {
  if (hobj == IEV_NEXT_INSERTED_OBJECT)
    return &FNextObject;
  return hobj >= 0 && hobj < ObjectsCount() ? &FObjects[hobj] : nullptr;
}

void TIEDocument::AutoSaveObjects() {
  if (FObjAutoUndo)
    ObjSaveUndo();
}

int TIEDocument::AddNewBox(const QRect &rect) {
  AutoSaveObjects();
  TIEBox box = FNextObject;
  box.Rect = rect.normalized();
  box.Selected = false;
  FObjects.push_back(box);
  Changed(chObjects);
  return ObjectsCount() - 1;
}

void TIEDocument::RemoveObject(int hobj) {
  if (hobj < 0 || hobj >= ObjectsCount())
    return;
  AutoSaveObjects();
  FObjects.erase(FObjects.begin() + hobj);
  Changed(chObjects);
}

void TIEDocument::RemoveAllObjects() {
  if (FObjects.empty())
    return;
  AutoSaveObjects();
  FObjects.clear();
  Changed(chObjects);
}

void TIEDocument::AddSelObject(int hobj) {
  if (hobj < 0 || hobj >= ObjectsCount())
    return;
  FObjects[hobj].Selected = true;
  Changed(chObjects);
}

void TIEDocument::UnSelAllObjects() {
  for (TIEBox &b : FObjects)
    b.Selected = false;
  Changed(chObjects);
}

void TIEDocument::RotateAllObjects(double angle, TIERotateCenter center) {
  if (FObjects.empty())
    return;
  AutoSaveObjects();
  double c = 1;
  double s = 0;
  cosSin(angle, c, s);
  QPointF from;
  QPointF to;
  if (center == ierImage) {
    const double w = IEBitmap()->Width();
    const double h = IEBitmap()->Height();
    from = QPointF(w / 2, h / 2);
    const double nw = std::abs(w * c) + std::abs(h * s);
    const double nh = std::abs(w * s) + std::abs(h * c);
    to = QPointF(nw / 2, nh / 2);
  } else {
    QRect all;
    for (const TIEBox &b : FObjects)
      all |= b.Rect;
    from = to = QRectF(all.left(), all.top(), all.width(), all.height()).center();
  }
  for (TIEBox &b : FObjects) {
    const QRect r = b.Rect.normalized();
    const QPointF corners[4] = {QPointF(r.left(), r.top()), QPointF(r.right() + 1, r.top()),
                                QPointF(r.left(), r.bottom() + 1), QPointF(r.right() + 1, r.bottom() + 1)};
    double x1 = 1e300, y1 = 1e300, x2 = -1e300, y2 = -1e300;
    for (const QPointF &p : corners) {
      const QPointF q = turn(p, from, to, c, s);
      x1 = std::min(x1, q.x());
      y1 = std::min(y1, q.y());
      x2 = std::max(x2, q.x());
      y2 = std::max(y2, q.y());
    }
    const int l = static_cast<int>(std::lround(x1));
    const int t = static_cast<int>(std::lround(y1));
    b.Rect = QRect(QPoint(l, t), QPoint(static_cast<int>(std::lround(x2)) - 1, static_cast<int>(std::lround(y2)) - 1));
  }
  Changed(chObjects);
}

void TIEDocument::DrawObjectsToBitmap(TIEBitmap &target, bool antialias, bool adaptBitmapPixelFormat) const {
  if (FObjects.empty() || target.IsEmpty())
    return;
  const QImage::Format format = target.PixelFormat();
  if (format == QImage::Format_RGB888 || (IsRGBFormat(format) && !adaptBitmapPixelFormat)) {
    QImage image = target.Image();
    paintBoxes(image, FObjects, antialias);
    target.SetImage(std::move(image));
    return;
  }
  QImage work = target.Image().convertToFormat(QImage::Format_RGB32);
  paintBoxes(work, FObjects, antialias);
  if (adaptBitmapPixelFormat)
    target.SetImage(work.convertToFormat(QImage::Format_RGB888));
  else
    target.SetImage(work.convertToFormat(format, Qt::ThresholdDither | Qt::AvoidDither));
}

#define ZQ_OBJ_PROPERTY(Type, Name, Field)                                                                             \
  Type TIEDocument::Obj##Name(int hobj) const {                                                                        \
    const TIEBox *b = ObjAt(hobj);                                                                                     \
    return b ? b->Field : Type();                                                                                      \
  }                                                                                                                    \
  void TIEDocument::SetObj##Name(int hobj, const Type &value) {                                                        \
    if (TIEBox *b = ObjAt(hobj)) {                                                                                     \
      b->Field = value;                                                                                                \
      if (hobj >= 0)                                                                                                   \
        Changed(chObjects);                                                                                            \
    }                                                                                                                  \
  }
ZQ_OBJ_PROPERTY(QColor, PenColor, PenColor)
ZQ_OBJ_PROPERTY(QColor, BrushColor, BrushColor)
#undef ZQ_OBJ_PROPERTY

int TIEDocument::ObjPenWidth(int hobj) const {
  const TIEBox *b = ObjAt(hobj);
  return b ? b->PenWidth : 0;
}

void TIEDocument::SetObjPenWidth(int hobj, int value) {
  if (TIEBox *b = ObjAt(hobj)) {
    b->PenWidth = std::max(0, value);
    if (hobj >= 0)
      Changed(chObjects);
  }
}

TBrushStyle TIEDocument::ObjBrushStyle(int hobj) const {
  const TIEBox *b = ObjAt(hobj);
  return b ? b->BrushStyle : bsClear;
}

void TIEDocument::SetObjBrushStyle(int hobj, TBrushStyle value) {
  if (TIEBox *b = ObjAt(hobj)) {
    b->BrushStyle = value;
    if (hobj >= 0)
      Changed(chObjects);
  }
}

bool TIEDocument::ObjBoxHighLight(int hobj) const {
  const TIEBox *b = ObjAt(hobj);
  return b && b->BoxHighLight;
}

void TIEDocument::SetObjBoxHighLight(int hobj, bool value) {
  if (TIEBox *b = ObjAt(hobj)) {
    b->BoxHighLight = value;
    if (hobj >= 0)
      Changed(chObjects);
  }
}

void TIEDocument::SetObjUndoLimit(int value) {
  FObjUndoLimit = std::max(0, value);
  while (static_cast<int>(FObjUndo.size()) > FObjUndoLimit)
    FObjUndo.pop_front();
}

void TIEDocument::ObjSaveUndo() {
  if (FObjUndoLimit <= 0)
    return;
  FObjUndo.push_back(FObjects);
  while (static_cast<int>(FObjUndo.size()) > FObjUndoLimit)
    FObjUndo.pop_front();
}

void TIEDocument::ObjUndo() {
  if (FObjUndo.empty())
    return;
  FObjects = std::move(FObjUndo.back());
  FObjUndo.pop_back();
  Changed(chObjects);
}
