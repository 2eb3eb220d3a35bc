#pragma once

// What the program and its recognition helper process (quillon-vision) say
// to each other over their socket: messages of a type and a payload; the
// picture of a request lies in a shared-memory buffer, whose file descriptor
// comes along with the first request that uses it. A buffer may serve
// several requests: the helper keeps its mapping after a request that says
// so (TPicture::Keep), and the program then writes the next picture into the
// same memory (it never writes while the helper works). Plain C++: the
// helper does not use Qt.
//
// Program -> helper, one request at a time:
//   Check      plug-in folder, system search, trained-data folder, code, mode
//   Recognize  the same, then the picture (with its descriptor) and rectangle
//   Scan       plug-in folder, system search, the picture and rectangle
// Helper -> program, for each request:
//   Load       only when the request made the helper load the plug-in:
//              whether it loaded, the file, or why not
//   Engine     (Check, Recognize) the OCR engine has been made
//   Progress   (Recognize) percent done
//   then one of: Unavailable (no plug-in), Failed (a failing status and the
//   plug-in's description), Done (Check), Text (Recognize), Barcodes (Scan)

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace VisionProtocol {

enum TType : uint32_t {
  Check = 1,
  Recognize = 2,
  Scan = 3,
  Load = 101,
  Engine = 102,
  Progress = 103,
  Failed = 104,
  Unavailable = 105,
  Done = 106,
  Text = 107,
  Barcodes = 108,
};

// The largest payload either side accepts.
inline constexpr uint32_t MaxPayload = 64u << 20;
// The file descriptor the helper finds its socket on.
inline constexpr int HelperSocketFd = 3;

struct THeader {
  uint32_t Type;
  uint32_t Size;
};

// A picture in shared memory: Height rows of RowBytes bytes from offset 0.
struct TPicture {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Layout = 0;
  int32_t RowBytes = 0;
  int32_t X = 0, Y = 0, RectWidth = 0, RectHeight = 0; // the rectangle
  // 1: the helper keeps the buffer mapped for later requests; 0: it lets
  // it go once this request is answered.
  int32_t Keep = 0;
};

// The largest buffer a helper keeps between requests (a barcode reading's
// page: one byte a pixel).
inline constexpr size_t KeptPictureBytes = size_t(64) << 20;

class TWriter {
public:
  void U32(uint32_t v) { Raw(&v, sizeof v); }
  void I32(int32_t v) { Raw(&v, sizeof v); }
  void Str(const std::string &s) {
    U32(uint32_t(s.size()));
    Raw(s.data(), s.size());
  }
  void Str16(const std::u16string &s) {
    U32(uint32_t(s.size()));
    Raw(s.data(), s.size() * sizeof(char16_t));
  }
  void Picture(const TPicture &p) { Raw(&p, sizeof p); }
  void Raw(const void *data, size_t size) { FData.append(static_cast<const char *>(data), size); }
  const std::string &Data() const { return FData; }

private:
  std::string FData;
};

class TReader {
public:
  explicit TReader(const std::string &data) : FData(data) {}
  bool Ok() const { return FOk; }
  bool AtEnd() const { return FAt == FData.size(); }
  uint32_t U32() {
    uint32_t v = 0;
    Raw(&v, sizeof v);
    return v;
  }
  int32_t I32() {
    int32_t v = 0;
    Raw(&v, sizeof v);
    return v;
  }
  std::string Str() {
    uint32_t n = U32();
    if (!FOk || FData.size() - FAt < n) {
      FOk = false;
      return {};
    }
    std::string s = FData.substr(FAt, n);
    FAt += n;
    return s;
  }
  std::u16string Str16() {
    uint32_t n = U32();
    if (!FOk || (FData.size() - FAt) / sizeof(char16_t) < n) {
      FOk = false;
      return {};
    }
    std::u16string s(n, u'\0');
    memcpy(s.data(), FData.data() + FAt, n * sizeof(char16_t));
    FAt += n * sizeof(char16_t);
    return s;
  }
  TPicture Picture() {
    TPicture p;
    Raw(&p, sizeof p);
    return p;
  }

private:
  void Raw(void *out, size_t size) {
    if (!FOk || FData.size() - FAt < size) {
      FOk = false;
      return;
    }
    memcpy(out, FData.data() + FAt, size);
    FAt += size;
  }
  const std::string &FData;
  size_t FAt = 0;
  bool FOk = true;
};

// Sends one message, with `fd` (when 0 or more) passed along. False when the
// other side is gone.
inline bool SendMessage(int socket, uint32_t type, const std::string &payload, int fd = -1) {
  THeader header{type, uint32_t(payload.size())};
  std::string frame(reinterpret_cast<const char *>(&header), sizeof header);
  frame += payload;
  size_t done = 0;
  bool fdSent = fd < 0;
  while (done < frame.size()) {
    iovec iov{const_cast<char *>(frame.data()) + done, frame.size() - done};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    if (!fdSent) {
      memset(control, 0, sizeof control);
      msg.msg_control = control;
      msg.msg_controllen = sizeof control;
      cmsghdr *c = CMSG_FIRSTHDR(&msg);
      c->cmsg_level = SOL_SOCKET;
      c->cmsg_type = SCM_RIGHTS;
      c->cmsg_len = CMSG_LEN(sizeof(int));
      memcpy(CMSG_DATA(c), &fd, sizeof(int));
    }
    ssize_t n = sendmsg(socket, &msg, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    fdSent = true;
    done += size_t(n);
  }
  return true;
}

// Reads exactly `size` bytes; a descriptor that comes along is stored in
// *fd (when fd is given and none came before), otherwise closed.
inline bool ReadFully(int socket, void *buffer, size_t size, int *fd) {
  auto *p = static_cast<char *>(buffer);
  while (size > 0) {
    iovec iov{p, size};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n = recvmsg(socket, &msg, MSG_CMSG_CLOEXEC);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
      if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
        continue;
      size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
      for (size_t i = 0; i < count; ++i) {
        int received = -1;
        memcpy(&received, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
        if (fd && *fd < 0)
          *fd = received;
        else
          close(received);
      }
    }
    p += n;
    size -= size_t(n);
  }
  return true;
}

// Receives one message (blocking). False when the other side is gone or
// sent something that is not a message.
inline bool ReceiveMessage(int socket, uint32_t &type, std::string &payload, int *fd = nullptr) {
  THeader header{};
  if (!ReadFully(socket, &header, sizeof header, fd) || header.Size > MaxPayload)
    return false;
  payload.assign(header.Size, '\0');
  if (header.Size > 0 && !ReadFully(socket, payload.data(), header.Size, fd))
    return false;
  type = header.Type;
  return true;
}

} // namespace VisionProtocol
