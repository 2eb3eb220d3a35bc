// The OCR engine of the recognition plug-in: one Tesseract instance per
// engine.

#include "uVisionPlugin.h"

#include <cstdlib>
#include <leptonica/allheaders.h>
#include <memory>
#include <omp.h>
#include <string_view>
#include <sys/stat.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>

namespace zv {
namespace {

// Tesseract keeps its page coordinates in 16 bits.
constexpr int32_t MaxSide = 32767;

struct TDataFile {
  std::string Path;
  struct stat Info {};
};

// The trained-data files of `language` ("eng", or several joined by '+').
std::vector<TDataFile> DataFiles(const std::string &folder, const std::string &language) {
  std::vector<TDataFile> files;
  std::string dir = folder;
  if (dir.back() != '/')
    dir += '/';
  size_t start = 0;
  while (true) {
    size_t end = language.find('+', start);
    std::string code = language.substr(start, end == std::string::npos ? std::string::npos : end - start);
    bool valid = !code.empty();
    for (char c : code)
      if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
        valid = false;
    if (!valid)
      Fail(ZV_E_INVALIDARG, "\"" + language + "\" is not a valid language code");
    TDataFile file;
    file.Path = dir + code + ".traineddata";
    if (stat(file.Path.c_str(), &file.Info) != 0 || !S_ISREG(file.Info.st_mode))
      Fail(ZV_E_NOENT, "The trained-data file \"" + file.Path + "\" does not exist");
    files.push_back(std::move(file));
    if (end == std::string::npos)
      break;
    start = end + 1;
  }
  return files;
}

std::string BadDataMessage(const std::vector<TDataFile> &files, const std::string &language, int mode) {
  std::string names;
  for (const auto &f : files)
    names += (names.empty() ? "\"" : ", \"") + f.Path + "\"";
  std::string message = "The trained data of \"" + language + "\" could not be loaded: " + names +
                        (files.size() > 1 ? " are not valid trained-data files" : " is not a valid trained-data file");
  if (mode != ZV_MODE_DEFAULT)
    message += " for engine mode " + std::to_string(mode);
  return message;
}

// The program asks for one OpenMP thread per recognition with the
// environment variable OMP_THREAD_LIMIT=1, set at its start. But the OpenMP
// runtime reads its environment when it is loaded, and Qt's own libraries
// load it before the program's main() runs, so the variable alone comes too
// late. With it set to 1, every parallel region runs on one thread.
void ApplyThreadLimit() {
  const char *limit = getenv("OMP_THREAD_LIMIT");
  if (limit && std::string_view(limit) == "1")
    omp_set_max_active_levels(0);
}

// Loads a Tesseract instance, or fails with a description.
std::unique_ptr<tesseract::TessBaseAPI> Load(const std::string &folder, const std::string &language, int mode) {
  ApplyThreadLimit();
  // Tesseract ends the process (an assertion, or a fault) on some damaged
  // trained-data files that pass its own checks; the program loads them
  // only in its helper process, which may end.
  std::vector<TDataFile> files = DataFiles(folder, language);
  auto api = std::make_unique<tesseract::TessBaseAPI>();
  int rc = -1;
  try {
    rc = api->Init(folder.c_str(), language.c_str(), tesseract::OcrEngineMode(mode));
  } catch (const std::exception &) {
    // A damaged header can ask for any amount of memory, or be read past
    // its end.
    rc = -1;
  }
  if (rc != 0)
    Fail(ZV_E_BADDATA, BadDataMessage(files, language, mode));
  api->SetPageSegMode(tesseract::PSM_AUTO);
  return api;
}

class TOcr : public TObject {
public:
  static constexpr TKind Kind = TKind::Ocr;
  TOcr(TLibrary *library, std::string folder, std::string language)
      : TObject(Kind), FLibrary(library), FFolder(std::move(folder)), FLanguage(std::move(language)),
        FApi(Load(FFolder, FLanguage, FMode)) {}
  ~TOcr() override {
    if (FApi)
      FApi->End();
  }

  void SetMode(int32_t mode) {
    if (mode < ZV_MODE_LEGACY || mode > ZV_MODE_DEFAULT)
      Fail(ZV_E_INVALIDARG, "Unknown engine mode " + std::to_string(mode));
    if (mode == FMode)
      return;
    // A failure leaves the engine as it was.
    auto api = Load(FFolder, FLanguage, mode);
    FApi->End();
    FApi = std::move(api);
    FMode = mode;
    FUsed = false;
  }

  using TProgress = void (*)(void *context, int32_t percent);

  std::u16string Recognize(const TImage &image, const TArea &area, TProgress progress = nullptr,
                           void *context = nullptr) {
    if (area.IsEmpty())
      return {};
    if (area.Width > MaxSide || area.Height > MaxSide)
      Fail(ZV_E_INVALIDARG, "The area of " + std::to_string(area.Width) + " x " + std::to_string(area.Height) +
                                " pixels is too large for recognition (at most " + std::to_string(MaxSide) +
                                " pixels each way)");
    ApplyThreadLimit();
    // Each recognition stands on its own: nothing an engine adapted to on
    // earlier pictures (the classifier's templates, the words of the
    // document) carries over to the next.
    if (FUsed)
      FApi->ClearAdaptiveClassifier();
    FUsed = true;
    // Tesseract copies the picture it is given: hand it just the area.
    if (area.IsWhole(image)) {
      FApi->SetImage(image.Picture());
    } else {
      BOX *box = boxCreate(area.X, area.Y, area.Width, area.Height);
      PIX *part = box ? pixClipRectangle(image.Picture(), box, nullptr) : nullptr;
      boxDestroy(&box);
      if (!part)
        Fail(ZV_E_NOMEM, "Out of memory for the area to recognise");
      FApi->SetImage(part);
      pixDestroy(&part);
    }
    // Tesseract reports its progress through a monitor; the monitor's
    // cancel data carries ours.
    struct TMonitor {
      TProgress Progress;
      void *Context;
      int Last;
    } state{progress, context, -1};
    tesseract::ETEXT_DESC monitor;
    monitor.cancel_this = &state;
    monitor.progress_callback2 = [](tesseract::ETEXT_DESC *desc, int, int, int, int) {
      auto *m = static_cast<TMonitor *>(desc->cancel_this);
      if (m->Progress && desc->progress != m->Last) {
        m->Last = desc->progress;
        m->Progress(m->Context, desc->progress);
      }
      return true;
    };
    if (FApi->Recognize(progress ? &monitor : nullptr) != 0) {
      FApi->Clear();
      Fail(ZV_E_FAIL, "The recognition engine failed on this image");
    }
    std::unique_ptr<char[]> text(FApi->GetUTF8Text());
    FApi->Clear();
    if (!text)
      Fail(ZV_E_FAIL, "The recognition engine gave no text for this image");
    return Utf8ToUtf16(text.get(), std::char_traits<char>::length(text.get()));
  }

private:
  TRef<TLibrary> FLibrary;
  std::string FFolder;
  std::string FLanguage;
  int32_t FMode = ZV_MODE_DEFAULT;
  std::unique_ptr<tesseract::TessBaseAPI> FApi;
  bool FUsed = false; // it has recognised a picture
};

} // namespace

int32_t RecognizeProgress(zv_handle *ocr, zv_handle *image, const zv_rect *rect,
                          void (*progress)(void *context, int32_t percent), void *context, zv_handle **text) {
  return Guard([&] {
    auto *engine = Cast<TOcr>(ocr, "an OCR engine");
    auto *img = Cast<TImage>(image, "an image");
    CheckOut(text, "text object");
    *text = nullptr;
    TArea area = ClipToImage(rect, *img);
    *text = NewText(engine->Recognize(*img, area, progress, context));
    return ZV_OK;
  });
}

int32_t CreateOcr(zv_handle *library, const char *folder, const char *language, int32_t reserved1, int32_t reserved2,
                  zv_handle **ocr) {
  return Guard([&] {
    auto *lib = Cast<TLibrary>(library, "a library object");
    CheckOut(ocr, "OCR engine");
    *ocr = nullptr;
    CheckReserved(reserved1, "create_ocr");
    CheckReserved(reserved2, "create_ocr");
    if (!folder || !*folder)
      Fail(ZV_E_INVALIDARG, "No trained-data folder given");
    if (!language || !*language)
      Fail(ZV_E_INVALIDARG, "No recognition language given");
    *ocr = (new TOcr(lib, folder, language))->Handle();
    return ZV_OK;
  });
}

int32_t SetMode(zv_handle *ocr, int32_t mode) {
  return Guard([&] {
    Cast<TOcr>(ocr, "an OCR engine")->SetMode(mode);
    return ZV_OK;
  });
}

int32_t Recognize(zv_handle *ocr, zv_handle *image, const zv_rect *rect, int32_t reserved, zv_handle **text) {
  return Guard([&] {
    auto *engine = Cast<TOcr>(ocr, "an OCR engine");
    auto *img = Cast<TImage>(image, "an image");
    CheckOut(text, "text object");
    *text = nullptr;
    CheckReserved(reserved, "recognize");
    TArea area = ClipToImage(rect, *img);
    *text = NewText(engine->Recognize(*img, area));
    return ZV_OK;
  });
}

} // namespace zv
