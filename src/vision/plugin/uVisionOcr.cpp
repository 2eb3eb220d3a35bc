// The OCR engine of the recognition plug-in: one Tesseract instance per
// engine.

#include "uVisionPlugin.h"

#include <chrono>
#include <cstdlib>
#include <leptonica/allheaders.h>
#include <map>
#include <memory>
#include <mutex>
#include <omp.h>
#include <signal.h>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tesseract/baseapi.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace zv {
namespace {

// Tesseract keeps its page coordinates in 16 bits.
constexpr int32_t MaxSide = 32767;

// How long loading trained data in the trial process may take.
constexpr auto TrialTimeout = std::chrono::seconds(120);

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

// Tesseract ends the process (an assertion, or a fault) on some damaged
// trained-data files that pass its own checks. So each version of a file is
// loaded once in a child process first; only a file that loaded there is
// loaded here. The verdicts are kept for the run, by file identity.
using TTrialKey = std::tuple<std::string, int, dev_t, ino_t, off_t, time_t, long>;
std::mutex GTrialLock;
std::map<std::vector<TTrialKey>, bool> GTrials;

enum class TTrial { Loaded, Refused, Died, Unchecked };

TTrial RunTrial(const std::string &folder, const std::string &language, int mode) {
  pid_t pid = fork();
  if (pid < 0)
    return TTrial::Unchecked;
  if (pid == 0) {
    // The child: load, answer by exit status, leave without any clean-up
    // of the parent's state. A fault ends it quietly, not through whatever
    // crash handler the parent installed.
    for (int sig : {SIGABRT, SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP})
      signal(sig, SIG_DFL);
    struct rlimit noCore {};
    setrlimit(RLIMIT_CORE, &noCore);
    int rc = 1;
    {
      auto *api = new tesseract::TessBaseAPI;
      rc = api->Init(folder.c_str(), language.c_str(), tesseract::OcrEngineMode(mode)) == 0 ? 0 : 1;
    }
    _exit(rc);
  }
  auto deadline = std::chrono::steady_clock::now() + TrialTimeout;
  auto pause = std::chrono::microseconds(200);
  int status = 0;
  while (true) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid)
      break;
    if (done < 0 && errno != EINTR)
      return TTrial::Unchecked;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return TTrial::Died;
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(20000));
  }
  if (WIFEXITED(status))
    return WEXITSTATUS(status) == 0 ? TTrial::Loaded : TTrial::Refused;
  return TTrial::Died;
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
  std::vector<TDataFile> files = DataFiles(folder, language);
  std::vector<TTrialKey> key;
  for (const auto &f : files)
    key.emplace_back(f.Path, mode, f.Info.st_dev, f.Info.st_ino, f.Info.st_size, f.Info.st_mtim.tv_sec,
                     f.Info.st_mtim.tv_nsec);
  {
    std::lock_guard<std::mutex> lock(GTrialLock);
    auto it = GTrials.find(key);
    if (it == GTrials.end()) {
      TTrial trial = RunTrial(folder, language, mode);
      // Unchecked (no child process to be had): the load below decides.
      if (trial != TTrial::Unchecked)
        it = GTrials.emplace(key, trial == TTrial::Loaded).first;
    }
    if (it != GTrials.end() && !it->second)
      Fail(ZV_E_BADDATA, BadDataMessage(files, language, mode));
  }
  auto api = std::make_unique<tesseract::TessBaseAPI>();
  if (api->Init(folder.c_str(), language.c_str(), tesseract::OcrEngineMode(mode)) != 0)
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
  }

  std::u16string Recognize(const TImage &image, const TArea &area) {
    if (area.IsEmpty())
      return {};
    if (area.Width > MaxSide || area.Height > MaxSide)
      Fail(ZV_E_INVALIDARG, "The area of " + std::to_string(area.Width) + " x " + std::to_string(area.Height) +
                                " pixels is too large for recognition (at most " + std::to_string(MaxSide) +
                                " pixels each way)");
    ApplyThreadLimit();
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
    if (FApi->Recognize(nullptr) != 0) {
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
};

} // namespace

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
