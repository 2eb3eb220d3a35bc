#include "uPageImageFile.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <jpeglib.h>
#include <memory>
#include <sys/uio.h>
#include <tiffio.h>
#include <unistd.h>

namespace {

// What a writer takes from the rows at a time when it repacks them.
constexpr qsizetype PackBuffer = qsizetype(1) << 20;

QString systemReason(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

int dotsPerMetre(int dpi) { return static_cast<int>(dpi / 0.0254 + 0.5); }

void putLe16(unsigned char *p, quint32 v) {
  p[0] = static_cast<unsigned char>(v & 0xFF);
  p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}
void putLe32(unsigned char *p, quint32 v) {
  putLe16(p, v & 0xFFFF);
  putLe16(p + 2, v >> 16);
}

// One row as three bytes a pixel in the order asked for.
void packRow(const TPageRaster &page, int y, unsigned char *out, TPageRaster::TOrder order) {
  const uchar *in = page.Row(y);
  if (page.Order == order) {
    std::memcpy(out, in, size_t(page.Width) * 3);
    return;
  }
  for (int x = 0; x < page.Width; ++x, in += 3, out += 3) {
    out[0] = in[2];
    out[1] = in[1];
    out[2] = in[0];
  }
}

// Writes all of the pieces, also when the system takes fewer bytes at a time.
bool writeAll(int fd, iovec *pieces, int count) {
  while (count > 0) {
    const ssize_t n = ::writev(fd, pieces, std::min(count, IOV_MAX));
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    size_t left = size_t(n);
    while (count > 0 && left >= pieces->iov_len) {
      left -= pieces->iov_len;
      ++pieces;
      --count;
    }
    if (count > 0) {
      pieces->iov_base = static_cast<char *>(pieces->iov_base) + left;
      pieces->iov_len -= left;
    }
  }
  return true;
}

bool writeAll(int fd, const void *data, size_t size) {
  iovec piece{const_cast<void *>(data), size};
  return writeAll(fd, &piece, 1);
}

// A bottom-up 24-bit BMP with a BITMAPINFOHEADER. Rows that are already
// B, G, R padded to 4 bytes go to the file as they are.
bool writeBmp(int fd, const TPageRaster &page, int dpiX, int dpiY) {
  const int w = page.Width;
  const int h = page.Height;
  const quint32 row = (static_cast<quint32>(w) * 3 + 3) & ~3u;
  const quint32 pixels = row * static_cast<quint32>(h);
  unsigned char header[54] = {'B', 'M'};
  putLe32(header + 2, 54 + pixels);
  putLe32(header + 10, 54);
  putLe32(header + 14, 40);
  putLe32(header + 18, static_cast<quint32>(w));
  putLe32(header + 22, static_cast<quint32>(h));
  putLe16(header + 26, 1);
  putLe16(header + 28, 24);
  putLe32(header + 34, pixels);
  putLe32(header + 38, static_cast<quint32>(dotsPerMetre(dpiX)));
  putLe32(header + 42, static_cast<quint32>(dotsPerMetre(dpiY)));
  if (!writeAll(fd, header, sizeof header))
    return false;
  if (page.Order == TPageRaster::TOrder::Bgr && page.Stride == qsizetype(row)) {
    constexpr int batch = 1024;
    iovec rows[batch];
    for (int y = h - 1; y >= 0;) {
      int n = 0;
      for (; n < batch && y >= 0; ++n, --y)
        rows[n] = {const_cast<uchar *>(page.Row(y)), row};
      if (!writeAll(fd, rows, n))
        return false;
    }
    return true;
  }
  const int rowsAtOnce = std::max<int>(1, int(PackBuffer / row));
  const std::unique_ptr<unsigned char[]> out(new unsigned char[size_t(row) * size_t(rowsAtOnce)]);
  for (int y = h - 1; y >= 0;) {
    int n = 0;
    for (; n < rowsAtOnce && y >= 0; ++n, --y) {
      unsigned char *r = out.get() + size_t(n) * row;
      packRow(page, y, r, TPageRaster::TOrder::Bgr);
      std::memset(r + size_t(w) * 3, 0, row - size_t(w) * 3);
    }
    if (!writeAll(fd, out.get(), size_t(n) * row))
      return false;
  }
  return true;
}

// libjpeg's output to a descriptor through a buffer of our own.
struct TJpegOutput {
  jpeg_destination_mgr Manager;
  int Fd;
  bool Failed;
  unsigned char *Buffer;
  size_t Size;
};

void jpegStart(j_compress_ptr cinfo) {
  auto *out = reinterpret_cast<TJpegOutput *>(cinfo->dest);
  out->Manager.next_output_byte = out->Buffer;
  out->Manager.free_in_buffer = out->Size;
}

boolean jpegEmpty(j_compress_ptr cinfo) {
  auto *out = reinterpret_cast<TJpegOutput *>(cinfo->dest);
  if (!out->Failed && !writeAll(out->Fd, out->Buffer, out->Size))
    out->Failed = true;
  out->Manager.next_output_byte = out->Buffer;
  out->Manager.free_in_buffer = out->Size;
  return TRUE;
}

void jpegTerm(j_compress_ptr cinfo) {
  auto *out = reinterpret_cast<TJpegOutput *>(cinfo->dest);
  const size_t n = out->Size - out->Manager.free_in_buffer;
  if (!out->Failed && n > 0 && !writeAll(out->Fd, out->Buffer, n))
    out->Failed = true;
}

struct TJpegError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

[[noreturn]] void jpegFail(j_common_ptr cinfo) {
  auto *e = reinterpret_cast<TJpegError *>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, e->Message);
  std::longjmp(e->Jump, 1);
}

void jpegQuiet(j_common_ptr, int) {}

// Baseline JPEG, fed with the page's rows as they are (libjpeg-turbo takes
// R, G, B and B, G, R pixels alike). Nothing with a destructor lives between
// the setjmp and a jump back to it; `buffer` is the caller's.
bool writeJpeg(int fd, const TPageRaster &page, int dpiX, int dpiY, int quality, unsigned char *buffer,
               size_t bufferSize, char *reason, size_t reasonSize) {
  jpeg_compress_struct cinfo;
  TJpegError err;
  TJpegOutput out;
  out.Manager.init_destination = jpegStart;
  out.Manager.empty_output_buffer = jpegEmpty;
  out.Manager.term_destination = jpegTerm;
  out.Fd = fd;
  out.Failed = false;
  out.Buffer = buffer;
  out.Size = bufferSize;
  cinfo.err = jpeg_std_error(&err.Manager);
  err.Manager.error_exit = jpegFail;
  err.Manager.emit_message = jpegQuiet;
  err.Message[0] = 0;
  if (setjmp(err.Jump)) {
    jpeg_destroy_compress(&cinfo);
    std::snprintf(reason, reasonSize, "%s", err.Message);
    return false;
  }
  jpeg_create_compress(&cinfo);
  cinfo.dest = &out.Manager;
  cinfo.image_width = static_cast<JDIMENSION>(page.Width);
  cinfo.image_height = static_cast<JDIMENSION>(page.Height);
  cinfo.input_components = 3;
  cinfo.in_color_space = page.Order == TPageRaster::TOrder::Bgr ? JCS_EXT_BGR : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.write_JFIF_header = TRUE;
  cinfo.density_unit = 1; // dots per inch
  cinfo.X_density = static_cast<UINT16>(dpiX);
  cinfo.Y_density = static_cast<UINT16>(dpiY);
  jpeg_start_compress(&cinfo, TRUE);
  JSAMPROW rows[16];
  while (!out.Failed && cinfo.next_scanline < cinfo.image_height) {
    const JDIMENSION first = cinfo.next_scanline;
    const JDIMENSION n = std::min<JDIMENSION>(16, cinfo.image_height - first);
    for (JDIMENSION i = 0; i < n; ++i) // libjpeg only reads them
      rows[i] = const_cast<JSAMPROW>(page.Row(static_cast<int>(first + i)));
    jpeg_write_scanlines(&cinfo, rows, n);
  }
  if (out.Failed) {
    jpeg_abort_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return !out.Failed;
}

// Uncompressed 8-bit RGB TIFF in strips of about 256 KB. Packed R, G, B
// rows are the strips' bytes as they stand.
bool writeTiff(int fd, const QString &fileName, const TPageRaster &page, int dpiX, int dpiY) {
  TIFF *tif = TIFFFdOpen(fd, QFile::encodeName(fileName).constData(), "w");
  if (!tif)
    return false;
  const int w = page.Width;
  const int h = page.Height;
  const qsizetype rowBytes = qsizetype(w) * 3;
  const int rowsPerStrip = int(std::clamp<qsizetype>((256 << 10) / rowBytes, 1, h));
  bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<quint32>(w)) &&
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<quint32>(h)) &&
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8) && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) &&
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
            TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<quint32>(rowsPerStrip)) &&
            TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<double>(dpiX)) &&
            TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<double>(dpiY)) &&
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  const bool direct = page.Order == TPageRaster::TOrder::Rgb && page.Stride == rowBytes;
  std::unique_ptr<unsigned char[]> packed;
  if (!direct)
    packed.reset(new unsigned char[size_t(rowBytes) * size_t(rowsPerStrip)]);
  for (int y = 0, strip = 0; ok && y < h; y += rowsPerStrip, ++strip) {
    const int n = std::min(rowsPerStrip, h - y);
    const uchar *bytes = page.Row(y);
    if (!direct) {
      for (int i = 0; i < n; ++i)
        packRow(page, y + i, packed.get() + size_t(i) * size_t(rowBytes), TPageRaster::TOrder::Rgb);
      bytes = packed.get();
    }
    // Uncompressed, a strip's raw bytes are its rows; libtiff only reads them.
    const tmsize_t size = tmsize_t(n) * rowBytes;
    ok = TIFFWriteRawStrip(tif, static_cast<uint32_t>(strip), const_cast<uchar *>(bytes), size) == size;
  }
  ok = ok && TIFFFlush(tif) == 1;
  TIFFCleanup(tif); // the descriptor stays open: the caller closes it
  return ok;
}

} // namespace

bool WritePageImageFile(const TPageRaster &page, TPageFileFormat format, const QString &fileName, int dpiX, int dpiY,
                        int jpegQuality, QString *error) {
  if (page.IsNull()) {
    *error = QStringLiteral("no picture");
    return false;
  }
  const QByteArray native = QFile::encodeName(fileName);
  const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = systemReason(errno);
    return false;
  }
  bool ok = false;
  errno = 0;
  char reason[JMSG_LENGTH_MAX] = {};
  switch (format) {
  case TPageFileFormat::Bmp:
    ok = writeBmp(fd, page, dpiX, dpiY);
    break;
  case TPageFileFormat::Jpeg: {
    constexpr size_t size = 256 << 10;
    const std::unique_ptr<unsigned char[]> buffer(new unsigned char[size]);
    ok = writeJpeg(fd, page, dpiX, dpiY, jpegQuality, buffer.get(), size, reason, sizeof reason);
    break;
  }
  case TPageFileFormat::Tiff:
    ok = writeTiff(fd, fileName, page, dpiX, dpiY);
    break;
  }
  int err = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(native.constData());
    if (reason[0] && err == 0)
      *error = QString::fromLocal8Bit(reason);
    if (error->isEmpty())
      *error = err ? systemReason(err) : QStringLiteral("the file could not be written");
  }
  return ok;
}
