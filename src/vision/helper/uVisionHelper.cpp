// quillon-vision: the program's recognition helper process. It loads the
// recognition plug-in at its first request (by the same rules as the
// program's loader), and serves the program's requests one at a time over
// the socket it finds as descriptor 3: checking trained data, recognising
// text, reading barcodes. The program starts it, keeps it for later
// requests, and starts another when it has ended; whatever ends it (an
// assertion in the engine, a fault, being killed after a timeout) ends only
// the request it was serving.

#include "uVisionLoader.h"
#include "uVisionProtocol.h"

#include <cstdlib>
#include <malloc.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

using namespace VisionProtocol;

namespace {

int GSocket = HelperSocketFd;
TVisionModule GPlugin;

void Send(uint32_t type, const std::string &payload = std::string()) {
  if (!SendMessage(GSocket, type, payload))
    _exit(0); // the program is gone
}

std::string Utf16ToUtf8(const uint16_t *text) {
  std::string out;
  for (size_t i = 0; text && text[i]; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// A failing status of the plug-in: answers Failed with its description and
// returns true.
bool Failing(int32_t status) {
  if (status >= 0)
    return false;
  const uint16_t *text = nullptr;
  std::string message;
  if (GPlugin.Api->last_error(&text) >= 0 && text)
    message = Utf16ToUtf8(text);
  TWriter w;
  w.I32(status);
  w.Str(message);
  Send(Failed, w.Data());
  return true;
}

// Loads the plug-in when it is not loaded yet; answers Load when it tried,
// and Unavailable when it failed.
bool EnsurePlugin(const std::string &folder, bool systemSearch) {
  if (GPlugin.Api)
    return true;
  std::string why;
  TVisionModule module;
  const bool ok = VisionOpenPlugin(folder, systemSearch, module, why);
  TWriter w;
  w.U32(ok ? 1 : 0);
  w.Str(ok ? module.File : std::string());
  w.Str(ok ? std::string() : why);
  Send(Load, w.Data());
  if (!ok) {
    TWriter u;
    u.Str("The recognition plug-in could not be loaded (" + why + ")");
    Send(Unavailable, u.Data());
    return false;
  }
  GPlugin = module;
  return true;
}

// Holds a handle's reference.
struct THandle {
  zv_handle *H = nullptr;
  ~THandle() {
    if (H)
      GPlugin.Api->release(H);
  }
};

// The shared-memory buffer the program writes the pictures into, mapped
// while requests use it.
struct TShared {
  const uint8_t *Map = nullptr;
  size_t Bytes = 0;
  dev_t Device = 0;
  ino_t Inode = 0;
  bool MapFailed = false; // the last buffer brought could not be mapped

  void Release() {
    if (Map)
      munmap(const_cast<uint8_t *>(Map), Bytes);
    Map = nullptr;
    Bytes = 0;
  }
  // Takes the buffer a request brought (its descriptor is closed here); the
  // one mapped already stays mapped.
  void Take(int fd) {
    struct stat st {};
    if (fstat(fd, &st) == 0 && Map && st.st_dev == Device && st.st_ino == Inode && size_t(st.st_size) == Bytes) {
      close(fd);
      return;
    }
    Release();
    MapFailed = false;
    if (st.st_size > 0) {
      void *map = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0);
      MapFailed = map == MAP_FAILED;
      if (!MapFailed) {
        Map = static_cast<const uint8_t *>(map);
        Bytes = size_t(st.st_size);
        Device = st.st_dev;
        Inode = st.st_ino;
      }
    }
    close(fd);
  }
};
TShared GShared;

void SendFailed(int32_t status, const std::string &message) {
  TWriter w;
  w.I32(status);
  w.Str(message);
  Send(Failed, w.Data());
}

// The pixels of a request's picture in the buffer; null (answered Failed)
// when they are not all there.
const uint8_t *PicturePixels(const TPicture &p) {
  if (GShared.MapFailed) {
    SendFailed(ZV_E_NOMEM, "The picture could not be mapped in the recognition helper");
    return nullptr;
  }
  if (p.Width <= 0 || p.Height <= 0 || p.RowBytes <= 0 || !GShared.Map ||
      uint64_t(p.RowBytes) * uint64_t(p.Height) > GShared.Bytes) {
    SendFailed(ZV_E_INVALIDARG, "The picture did not reach the recognition helper");
    return nullptr;
  }
  return GShared.Map;
}

// The picture of a request as a plug-in image (the plug-in copies it).
bool MakeImage(const TPicture &p, THandle &image) {
  const uint8_t *pixels = PicturePixels(p);
  return pixels && !Failing(GPlugin.Api->create_image(GPlugin.Library, p.Width, p.Height, p.Layout, p.RowBytes, pixels,
                                                      &image.H));
}

// A trained-data file as it was when an engine read it.
struct TFileId {
  dev_t Device = 0;
  ino_t Inode = 0;
  off_t Size = 0;
  int64_t Modified = 0; // nanoseconds
  bool operator==(const TFileId &) const = default;
};

// The trained-data files of `code` ("eng", or several joined by '+') in
// `folder`; false when one of them cannot be looked at.
bool DataFileIds(const std::string &folder, const std::string &code, std::vector<TFileId> &ids) {
  std::string dir = folder;
  if (dir.empty() || dir.back() != '/')
    dir += '/';
  size_t start = 0;
  while (true) {
    const size_t end = code.find('+', start);
    const std::string one = code.substr(start, end == std::string::npos ? std::string::npos : end - start);
    struct stat st {};
    if (one.empty() || stat((dir + one + ".traineddata").c_str(), &st) != 0)
      return false;
    ids.push_back(
        TFileId{st.st_dev, st.st_ino, st.st_size, int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec});
    if (end == std::string::npos)
      return true;
    start = end + 1;
  }
}

// The engine of the last recognition, kept for the next one with the same
// trained data (the same files, unchanged) and mode: loading the trained data
// is a good part of a small recognition, and each recognition of a batch
// would load it again.
struct TKeptEngine {
  zv_handle *Ocr = nullptr;
  std::string Folder, Code;
  int32_t Mode = 0;
  std::vector<TFileId> Files;

  void Release() {
    if (Ocr)
      GPlugin.Api->release(Ocr);
    Ocr = nullptr;
  }
  bool Serves(const std::string &folder, const std::string &code, int32_t mode,
              const std::vector<TFileId> &files) const {
    return Ocr && Folder == folder && Code == code && Mode == mode && Files == files;
  }
};
TKeptEngine GEngine;

void Progress(void *, int32_t percent) {
  TWriter w;
  w.I32(percent);
  Send(VisionProtocol::Progress, w.Data());
}

// Serves one request; `picture` receives its picture's description (when
// it has one and was understood).
void Serve(uint32_t type, const std::string &payload, TPicture &picture) {
  TReader r(payload);
  const std::string pluginFolder = r.Str();
  const bool systemSearch = r.U32() != 0;
  std::string folder, code;
  int32_t mode = ZV_MODE_DEFAULT;
  if (type == Check || type == Recognize) {
    folder = r.Str();
    code = r.Str();
    mode = r.I32();
  }
  if (type == Recognize || type == Scan)
    picture = r.Picture();
  if (!r.Ok() || !r.AtEnd() || (type != Check && type != Recognize && type != Scan)) {
    picture = TPicture{};
    SendFailed(ZV_E_INVALIDARG, "The recognition helper did not understand the request");
    return;
  }
  if (!EnsurePlugin(pluginFolder, systemSearch))
    return;
  const zv_api *api = GPlugin.Api;
  const zv_rect rect{picture.X, picture.Y, picture.RectWidth, picture.RectHeight};
  if (type == Scan) {
    THandle image, scanner, list;
    if (Failing(api->create_scanner(GPlugin.Library, 0, &scanner.H)))
      return;
    if (api->scan_pixels) {
      // Read where the program wrote them: no copy.
      const uint8_t *pixels = PicturePixels(picture);
      if (!pixels || Failing(api->scan_pixels(scanner.H, picture.Width, picture.Height, picture.Layout,
                                              picture.RowBytes, pixels, &rect, 0, &list.H)))
        return;
    } else if (!MakeImage(picture, image) || Failing(api->scan(scanner.H, image.H, &rect, 0, &list.H))) {
      return;
    }
    int32_t count = 0;
    if (Failing(api->list_count(list.H, &count)))
      return;
    TWriter w;
    w.U32(uint32_t(count));
    for (int32_t i = 0; i < count; ++i) {
      THandle item, typeText, valueText;
      const uint16_t *chars = nullptr;
      int32_t length = 0;
      if (Failing(api->list_item(list.H, i, &item.H)) || Failing(api->barcode_type(item.H, &typeText.H)) ||
          Failing(api->text(typeText.H, &chars, &length)))
        return;
      w.Str16(std::u16string(reinterpret_cast<const char16_t *>(chars), size_t(length)));
      if (Failing(api->barcode_value(item.H, &valueText.H)) || Failing(api->text(valueText.H, &chars, &length)))
        return;
      w.Str16(std::u16string(reinterpret_cast<const char16_t *>(chars), size_t(length)));
    }
    Send(Barcodes, w.Data());
    return;
  }
  std::vector<TFileId> files;
  const bool known = DataFileIds(folder, code, files);
  THandle made;
  zv_handle *ocr = GEngine.Ocr;
  if (!known || !GEngine.Serves(folder, code, mode, files)) {
    GEngine.Release(); // its memory first
    if (Failing(api->create_ocr(GPlugin.Library, folder.c_str(), code.c_str(), 0, 0, &made.H)) ||
        Failing(api->set_mode(made.H, mode)))
      return;
    ocr = made.H;
    if (known) {
      GEngine = TKeptEngine{made.H, folder, code, mode, files};
      made.H = nullptr;
    }
  }
  Send(Engine);
  if (type == Check) {
    Send(Done);
    return;
  }
  THandle image, text;
  if (!MakeImage(picture, image))
    return;
  // The plug-in has its copy: the shared one goes now, not after the
  // recognition (seconds, with several times the picture in use).
  if (!picture.Keep)
    GShared.Release();
  if (Failing(api->recognize_progress(ocr, image.H, &rect, &Progress, nullptr, &text.H)))
    return;
  const uint16_t *chars = nullptr;
  int32_t length = 0;
  if (Failing(api->text(text.H, &chars, &length)))
    return;
  TWriter w;
  w.Str16(std::u16string(reinterpret_cast<const char16_t *>(chars), size_t(length)));
  Send(Text, w.Data());
}

} // namespace

#if defined(__SANITIZE_ADDRESS__)
// Built with AddressSanitizer: a fault inside the plug-in still ends the
// helper by its signal (which the program tells from other ends), not
// through the sanitizer's report and abort.
extern "C" const char *__asan_default_options() {
  return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0";
}
#endif

int main(int argc, char **argv) {
  (void)argc;
  (void)argv;
  // One OpenMP thread per recognition: the program runs several helpers
  // side by side. Set before the plug-in (and with it the OpenMP runtime)
  // is loaded, so the runtime reads it.
  setenv("OMP_THREAD_LIMIT", "1", 1);
  // An end by a fault is an answer the program handles; no core file.
  struct rlimit noCore {};
  setrlimit(RLIMIT_CORE, &noCore);
  while (true) {
    uint32_t type = 0;
    std::string payload;
    int fd = -1;
    if (!ReceiveMessage(GSocket, type, payload, &fd)) {
      // The program is done with this helper: the engine goes before the
      // engine's own caches are torn down at the exit.
      GEngine.Release();
      return 0;
    }
    if (fd >= 0)
      GShared.Take(fd);
    TPicture picture;
    Serve(type, payload, picture);
    if (picture.Width > 0 && !picture.Keep)
      GShared.Release();
    // Give the memory of a recognition (several times its picture) back
    // while the helper waits; what smaller requests leave is kept for the
    // next one.
    if (type == Recognize)
      malloc_trim(0);
  }
}
