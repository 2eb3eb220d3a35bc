#include "uVision.h"

#include "uVisionLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <dlfcn.h>
#include <system_error>

namespace {

struct TLoaderState {
  QMutex Lock;
  QString SearchFolder;
  bool SystemSearch = true;
  int Attempts = 0;
  // Kept for the rest of the run once loaded.
  void *Module = nullptr;
  const zv_api *Api = nullptr;
  zv_handle *Library = nullptr;
  QString File;
  QString HelperFile; // the file a helper process loaded, last
};

TLoaderState &State() {
  static TLoaderState state;
  return state;
}

void Load(TLoaderState &s) {
  ++s.Attempts;
  QString folder = s.SearchFolder;
  if (folder.isEmpty() && QCoreApplication::instance())
    folder = QCoreApplication::applicationDirPath();
  TVisionModule module;
  std::string why;
  if (!VisionOpenPlugin(QFile::encodeName(folder).toStdString(), s.SystemSearch, module, why))
    throw EVisionUnavailable(
        QStringLiteral("The recognition plug-in could not be loaded (%1)").arg(QString::fromLocal8Bit(why.c_str())));
  s.Module = module.Module;
  s.Api = module.Api;
  s.Library = module.Library;
  s.File = QFile::decodeName(module.File.c_str());
}

// Whether every pixel of a 32-bit picture with alpha is opaque.
bool IsOpaque(const QImage &image) {
  if (image.format() != QImage::Format_ARGB32 && image.format() != QImage::Format_ARGB32_Premultiplied &&
      image.format() != QImage::Format_RGBA8888)
    return false;
  for (int y = 0; y < image.height(); ++y) {
    const auto *line = reinterpret_cast<const uchar *>(image.constScanLine(y));
    // Alpha is the fourth byte in memory of both layouts.
    for (int x = 0; x < image.width(); ++x)
      if (line[4 * x + 3] != 0xff)
        return false;
  }
  return true;
}

} // namespace

QString VisionFailureText(const std::exception &e) {
  if (dynamic_cast<const EVisionUnavailable *>(&e) || dynamic_cast<const EVisionFault *>(&e))
    return QString::fromLatin1(VisionUnavailableText);
  return QString::fromLatin1(VisionErrorPrefix) + ExceptionMessage(e);
}

const QStringList &VisionPluginFileNames() {
  static const QStringList names = [] {
    QStringList list;
    for (const std::string &name : VisionPluginNames())
      list << QString::fromStdString(name);
    return list;
  }();
  return names;
}

void SetVisionSearchFolder(const QString &folder) {
  QMutexLocker lock(&State().Lock);
  State().SearchFolder = folder;
}

QString VisionSearchFolder() {
  QMutexLocker lock(&State().Lock);
  return State().SearchFolder;
}

bool VisionSystemSearch() {
  QMutexLocker lock(&State().Lock);
  return State().SystemSearch;
}

QString VisionPluginFile() {
  QMutexLocker lock(&State().Lock);
  return State().File.isEmpty() ? State().HelperFile : State().File;
}

void VisionNoteHelperLoad(bool loaded, const QString &file) {
  QMutexLocker lock(&State().Lock);
  ++State().Attempts;
  if (loaded)
    State().HelperFile = file;
}

void VisionLoaderTest::SetSystemSearch(bool on) {
  QMutexLocker lock(&State().Lock);
  State().SystemSearch = on;
}

int VisionLoaderTest::LoadAttempts() {
  QMutexLocker lock(&State().Lock);
  return State().Attempts;
}

void VisionLoaderTest::Reset() {
  QMutexLocker lock(&State().Lock);
  State().Attempts = 0;
}

bool VisionLoaderTest::Unload() {
  TLoaderState &s = State();
  QMutexLocker lock(&s.Lock);
  if (s.Library) {
    // Every object of the plug-in holds its library object, so ours is the
    // only reference when none is alive; and under the lock no new one can
    // be obtained.
    if (s.Api->add_ref(s.Library) != 2) {
      s.Api->release(s.Library);
      return false;
    }
    s.Api->release(s.Library);
    s.Api->release(s.Library);
    dlclose(s.Module);
    s.Module = nullptr;
    s.Api = nullptr;
    s.Library = nullptr;
    s.File.clear();
  }
  s.HelperFile.clear();
  s.Attempts = 0;
  return true;
}

int VisionCheck(const zv_api *api, int status) {
  if (status >= 0)
    return status;
  QString message;
  const uint16_t *text = nullptr;
  if (api && api->last_error && api->last_error(&text) >= 0 && text && *text)
    message = QString::fromUtf16(reinterpret_cast<const char16_t *>(text));
  if (message.isEmpty())
    message = QString::fromStdString(std::system_category().message(-status));
  throw EVisionError(status, message);
}

// TVisionObject

TVisionObject::TVisionObject(const TVisionObject &other) : FApi(other.FApi), FHandle(other.FHandle) {
  if (FHandle)
    FApi->add_ref(FHandle);
}

TVisionObject::TVisionObject(TVisionObject &&other) noexcept : FApi(other.FApi), FHandle(other.FHandle) {
  other.FHandle = nullptr;
}

TVisionObject &TVisionObject::operator=(const TVisionObject &other) {
  if (this != &other) {
    TVisionObject copy(other);
    *this = std::move(copy);
  }
  return *this;
}

TVisionObject &TVisionObject::operator=(TVisionObject &&other) noexcept {
  if (this != &other) {
    if (FHandle)
      FApi->release(FHandle);
    FApi = other.FApi;
    FHandle = other.FHandle;
    other.FHandle = nullptr;
  }
  return *this;
}

TVisionObject::~TVisionObject() {
  if (FHandle)
    FApi->release(FHandle);
}

int TVisionObject::Check(int status) const { return VisionCheck(FApi, status); }

zv_handle *TVisionObject::Live() const {
  if (!FHandle)
    throw EVisionError(ZV_E_INVALIDARG, QStringLiteral("No recognition plug-in object"));
  return FHandle;
}

// The objects

QString TVisionText::Text() const {
  const uint16_t *chars = nullptr;
  int32_t length = 0;
  zv_handle *h = Live();
  Check(FApi->text(h, &chars, &length));
  return QString::fromUtf16(reinterpret_cast<const char16_t *>(chars), length);
}

int TVisionImage::Width() const {
  int32_t width = 0;
  zv_handle *h = Live();
  Check(FApi->image_size(h, &width, nullptr));
  return width;
}

int TVisionImage::Height() const {
  int32_t height = 0;
  zv_handle *h = Live();
  Check(FApi->image_size(h, nullptr, &height));
  return height;
}

void TVisionOCR::SetMode(int mode) {
  zv_handle *h = Live();
  Check(FApi->set_mode(h, mode));
}

TVisionText TVisionOCR::Recognize(const TVisionImage &image, const TVisionRect &rect) {
  zv_handle *text = nullptr;
  zv_handle *h = Live();
  Check(FApi->recognize(h, image.Handle(), &rect, 0, &text));
  return TVisionText(FApi, text);
}

TVisionText TVisionBarcode::Type() const {
  zv_handle *text = nullptr;
  zv_handle *h = Live();
  Check(FApi->barcode_type(h, &text));
  return TVisionText(FApi, text);
}

TVisionText TVisionBarcode::Value() const {
  zv_handle *text = nullptr;
  zv_handle *h = Live();
  Check(FApi->barcode_value(h, &text));
  return TVisionText(FApi, text);
}

int TVisionBarcodeList::Count() const {
  int32_t count = 0;
  zv_handle *h = Live();
  Check(FApi->list_count(h, &count));
  return count;
}

TVisionBarcode TVisionBarcodeList::Item(int index) const {
  zv_handle *item = nullptr;
  zv_handle *h = Live();
  Check(FApi->list_item(h, index, &item));
  return TVisionBarcode(FApi, item);
}

TVisionBarcodeList TVisionBarcodeScanner::Scan(const TVisionImage &image, const TVisionRect &rect) {
  zv_handle *list = nullptr;
  zv_handle *h = Live();
  Check(FApi->scan(h, image.Handle(), &rect, 0, &list));
  return TVisionBarcodeList(FApi, list);
}

TVisionBarcodeList TVisionBarcodeScanner::ScanPixels(int width, int height, int layout, int rowBytes,
                                                     const void *pixels, const TVisionRect &rect) {
  zv_handle *list = nullptr;
  zv_handle *h = Live();
  if (!FApi->scan_pixels)
    throw EVisionError(ZV_E_VERSION, QStringLiteral("The recognition plug-in does not read pixels in place"));
  Check(FApi->scan_pixels(h, width, height, layout, rowBytes, pixels, &rect, 0, &list));
  return TVisionBarcodeList(FApi, list);
}

TVisionLibrary TVisionLibrary::Obtain() {
  TLoaderState &s = State();
  QMutexLocker lock(&s.Lock);
  if (!s.Library)
    Load(s);
  s.Api->add_ref(s.Library);
  return TVisionLibrary(s.Api, s.Library);
}

TVisionImage TVisionLibrary::CreateImage(int width, int height, int layout, int rowBytes, const void *pixels) const {
  zv_handle *image = nullptr;
  zv_handle *h = Live();
  Check(FApi->create_image(h, width, height, layout, rowBytes, pixels, &image));
  return TVisionImage(FApi, image);
}

QImage VisionPixels(const QImage &picture, int &layout) {
  QImage image = picture;
  if (image.isNull())
    throw EVisionError(ZV_E_INVALIDARG, QStringLiteral("The image is empty"));
  if (image.hasAlphaChannel() && !IsOpaque(image)) {
    // What lies under transparent pixels is no part of the picture: show
    // them as white paper.
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    {
      QPainter p(&flat);
      p.drawImage(0, 0, image);
    }
    image = flat;
  }
  layout = 0;
  switch (image.format()) {
  case QImage::Format_Grayscale8:
    layout = ZV_LAYOUT_GREY8;
    break;
  case QImage::Format_RGB888:
    layout = ZV_LAYOUT_RGB24;
    break;
  case QImage::Format_RGBX8888:
  case QImage::Format_RGBA8888: // opaque by now
    layout = ZV_LAYOUT_RGBA32;
    break;
  case QImage::Format_ARGB32: // opaque by now
  case QImage::Format_ARGB32_Premultiplied:
  case QImage::Format_RGB32:
    // 0xffRRGGBB words: B, G, R, x in memory on this (little-endian) machine.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "QImage::Format_RGB32 is taken as B, G, R, x in memory");
    layout = ZV_LAYOUT_BGRA32;
    break;
  default:
    break;
  }
  if (layout == 0) {
    if (image.isGrayscale()) {
      image = image.convertToFormat(QImage::Format_Grayscale8);
      layout = ZV_LAYOUT_GREY8;
    } else {
      image = image.convertToFormat(QImage::Format_RGB32);
      layout = ZV_LAYOUT_BGRA32;
    }
  }
  if (image.isNull())
    throw EVisionError(
        ZV_E_NOMEM,
        QStringLiteral("Out of memory for the image of %1 x %2 pixels").arg(picture.width()).arg(picture.height()));
  return image;
}

TVisionImage TVisionLibrary::CreateImage(const QImage &picture) const {
  int layout = 0;
  const QImage image = VisionPixels(picture, layout);
  return CreateImage(image.width(), image.height(), layout, int(image.bytesPerLine()), image.constBits());
}

TVisionOCR TVisionLibrary::CreateOCR(const QString &folder, const QString &code) const {
  zv_handle *ocr = nullptr;
  zv_handle *h = Live();
  Check(FApi->create_ocr(h, QFile::encodeName(folder).constData(), QFile::encodeName(code).constData(), 0, 0, &ocr));
  return TVisionOCR(FApi, ocr);
}

TVisionBarcodeScanner TVisionLibrary::CreateBarcodeScanner() const {
  zv_handle *scanner = nullptr;
  zv_handle *h = Live();
  Check(FApi->create_scanner(h, 0, &scanner));
  return TVisionBarcodeScanner(FApi, scanner);
}
