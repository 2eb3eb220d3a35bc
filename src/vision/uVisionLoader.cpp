#include "uVisionLoader.h"

#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsFile(const std::string &path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string DlError() {
  const char *e = dlerror();
  return e ? std::string(e) : std::string("unknown reason");
}

// Reads exactly `size` bytes at `offset`.
bool ReadAt(int fd, void *buffer, size_t size, off_t offset) {
  auto *p = static_cast<char *>(buffer);
  while (size > 0) {
    ssize_t n = pread(fd, p, size, offset);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    p += n;
    size -= size_t(n);
    offset += n;
  }
  return true;
}

// The file a bare library name would most likely be opened from: the
// folders of LD_LIBRARY_PATH, then the system's library folders. Empty when
// none holds it (the dynamic loader's cache may still find it).
std::string SystemLibraryFile(const std::string &name) {
  std::vector<std::string> folders;
  if (const char *path = getenv("LD_LIBRARY_PATH")) {
    std::string list(path);
    size_t start = 0;
    while (start <= list.size()) {
      size_t end = list.find(':', start);
      std::string dir = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
      if (!dir.empty())
        folders.push_back(dir);
      if (end == std::string::npos)
        break;
      start = end + 1;
    }
  }
  for (const char *dir : {"/lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu", "/lib", "/usr/lib", "/usr/local/lib"})
    folders.emplace_back(dir);
  for (const std::string &dir : folders) {
    std::string file = dir + "/" + name;
    if (IsFile(file))
      return file;
  }
  return {};
}

bool TryOpen(const std::string &path, TVisionModule &out, std::string &why) {
  const std::string file = path.find('/') == std::string::npos ? SystemLibraryFile(path) : path;
  if (!file.empty() && !VisionCheckElfFile(file, why))
    return false;
  dlerror();
  void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    why = DlError();
    return false;
  }
  auto create = reinterpret_cast<zv_library_create_fn>(dlsym(module, ZV_ENTRY_POINT));
  if (!create) {
    why = std::string("no entry point ") + ZV_ENTRY_POINT;
    dlclose(module);
    return false;
  }
  const zv_api *api = nullptr;
  zv_handle *library = nullptr;
  int status = create(ZV_ABI_VERSION, &api, &library);
  if (status < 0 || !api || !library || api->size < sizeof(zv_api) || api->version != ZV_ABI_VERSION) {
    why = status < 0 ? "the entry point failed (" + std::to_string(status) + ")"
                     : std::string("the entry point gave no usable library object");
    if (library && api && api->release)
      api->release(library);
    dlclose(module);
    return false;
  }
  out.Module = module;
  out.Api = api;
  out.Library = library;
  out.File = path;
  return true;
}

} // namespace

const std::vector<std::string> &VisionPluginNames() {
  static const std::vector<std::string> names = {"libzvision.so", "libzvision.so.1", "zvision.so"};
  return names;
}

bool VisionCheckElfFile(const std::string &path, std::string &why) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    why = std::string("cannot be opened: ") + strerror(errno);
    return false;
  }
  struct Closer {
    int Fd;
    ~Closer() { close(Fd); }
  } closer{fd};
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    why = "is not a regular file";
    return false;
  }
  const auto size = uint64_t(st.st_size);
  Elf64_Ehdr eh{};
  if (size < sizeof eh || !ReadAt(fd, &eh, sizeof eh, 0) || memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0) {
    why = "is not an ELF file";
    return false;
  }
  if (eh.e_ident[EI_CLASS] != ELFCLASS64 || eh.e_ident[EI_DATA] != ELFDATA2LSB || eh.e_type != ET_DYN) {
    why = "is not a 64-bit shared library for this machine";
    return false;
  }
  auto within = [size](uint64_t offset, uint64_t length) { return offset <= size && length <= size - offset; };
  if (eh.e_phentsize != sizeof(Elf64_Phdr) || eh.e_phnum == 0 ||
      !within(eh.e_phoff, uint64_t(eh.e_phnum) * sizeof(Elf64_Phdr))) {
    why = "is damaged: its program headers lie beyond the end of the file";
    return false;
  }
  if (eh.e_shnum > 0 &&
      (eh.e_shentsize != sizeof(Elf64_Shdr) || !within(eh.e_shoff, uint64_t(eh.e_shnum) * sizeof(Elf64_Shdr)))) {
    why = "is damaged: its section headers lie beyond the end of the file (" + std::to_string(size) + " bytes)";
    return false;
  }
  for (unsigned i = 0; i < eh.e_phnum; ++i) {
    Elf64_Phdr ph{};
    if (!ReadAt(fd, &ph, sizeof ph, off_t(eh.e_phoff + uint64_t(i) * sizeof ph))) {
      why = "cannot be read";
      return false;
    }
    if ((ph.p_type == PT_LOAD || ph.p_type == PT_DYNAMIC) && !within(ph.p_offset, ph.p_filesz)) {
      why = "is damaged: a segment reaches beyond the end of the file (" + std::to_string(size) + " bytes)";
      return false;
    }
  }
  return true;
}

bool VisionOpenPlugin(const std::string &folder, bool systemSearch, TVisionModule &out, std::string &why) {
  std::string dir = folder;
  if (!dir.empty() && dir.back() != '/')
    dir += '/';
  std::string tried;
  auto note = [&tried](const std::string &file, const std::string &reason) {
    tried += (tried.empty() ? "" : "; ") + file + ": " + reason;
  };
  for (const std::string &name : VisionPluginNames()) {
    std::string reason;
    if (!dir.empty()) {
      const std::string path = dir + name;
      if (IsFile(path)) {
        if (TryOpen(path, out, reason))
          return true;
        note(path, reason);
      }
    }
    if (systemSearch) {
      if (TryOpen(name, out, reason))
        return true;
      note(name, reason);
    }
  }
  if (tried.empty()) {
    std::string names;
    for (const std::string &name : VisionPluginNames())
      names += (names.empty() ? "" : ", ") + name;
    tried = "no file " + names + " in " + dir;
  }
  why = tried;
  return false;
}
