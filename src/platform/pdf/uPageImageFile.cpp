#include "uPageImageFile.h"

#include <QFile>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <jpeglib.h>
#include <tiffio.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t OutputBuffer = 1 << 20;

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

// One row of RGB32 pixels (B, G, R, X in memory) as B, G, R or R, G, B.
void packRow(const uchar *in, unsigned char *out, int width, bool rgb) {
  const int r = rgb ? 0 : 2;
  const int b = rgb ? 2 : 0;
  for (int x = 0; x < width; ++x, in += 4, out += 3) {
    out[b] = in[0];
    out[1] = in[1];
    out[r] = in[2];
  }
}

// A bottom-up 24-bit BMP with a BITMAPINFOHEADER.
bool writeBmp(FILE *f, const QImage &page, int dpiX, int dpiY) {
  const int w = page.width();
  const int h = page.height();
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
  if (std::fwrite(header, 1, sizeof header, f) != sizeof header)
    return false;
  std::vector<unsigned char> out(row, 0);
  for (int y = h - 1; y >= 0; --y) {
    packRow(page.constScanLine(y), out.data(), w, false);
    if (std::fwrite(out.data(), 1, row, f) != row)
      return false;
  }
  return true;
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
// B, G, R, X pixels). Nothing with a destructor lives between the setjmp and
// a jump back to it.
bool writeJpeg(FILE *f, const QImage &page, int dpiX, int dpiY, int quality, char *reason, size_t reasonSize) {
  jpeg_compress_struct cinfo;
  TJpegError err;
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
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = static_cast<JDIMENSION>(page.width());
  cinfo.image_height = static_cast<JDIMENSION>(page.height());
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.write_JFIF_header = TRUE;
  cinfo.density_unit = 1; // dots per inch
  cinfo.X_density = static_cast<UINT16>(dpiX);
  cinfo.Y_density = static_cast<UINT16>(dpiY);
  jpeg_start_compress(&cinfo, TRUE);
  JSAMPROW rows[16];
  while (cinfo.next_scanline < cinfo.image_height) {
    const JDIMENSION first = cinfo.next_scanline;
    const JDIMENSION n = std::min<JDIMENSION>(16, cinfo.image_height - first);
    for (JDIMENSION i = 0; i < n; ++i)
      rows[i] = const_cast<JSAMPROW>(page.constScanLine(static_cast<int>(first + i)));
    jpeg_write_scanlines(&cinfo, rows, n);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

// Uncompressed 8-bit RGB TIFF in strips of about 256 KB.
bool writeTiff(int fd, const QString &fileName, const QImage &page, int dpiX, int dpiY) {
  TIFF *tif = TIFFFdOpen(fd, QFile::encodeName(fileName).constData(), "w");
  if (!tif)
    return false;
  const int w = page.width();
  const int h = page.height();
  const quint32 rowBytes = static_cast<quint32>(w) * 3;
  const quint32 rowsPerStrip = std::max<quint32>(1, (256u << 10) / std::max<quint32>(rowBytes, 1));
  bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<quint32>(w)) &&
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<quint32>(h)) &&
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8) && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) &&
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
            TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip) &&
            TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<double>(dpiX)) &&
            TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<double>(dpiY)) &&
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  std::vector<unsigned char> out(rowBytes);
  for (int y = 0; ok && y < h; ++y) {
    packRow(page.constScanLine(y), out.data(), w, true);
    ok = TIFFWriteScanline(tif, out.data(), static_cast<quint32>(y), 0) == 1;
  }
  ok = ok && TIFFFlush(tif) == 1;
  TIFFCleanup(tif); // the descriptor stays open: the caller closes it
  return ok;
}

} // namespace

bool WritePageImageFile(const QImage &page, TPageFileFormat format, const QString &fileName, int dpiX, int dpiY,
                        int jpegQuality, QString *error) {
  const QImage rgb = page.format() == QImage::Format_RGB32 ? page : page.convertToFormat(QImage::Format_RGB32);
  if (rgb.isNull()) {
    *error = QStringLiteral("out of memory");
    return false;
  }
  const QByteArray native = QFile::encodeName(fileName);
  const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = systemReason(errno);
    return false;
  }
  bool ok = false;
  int err = 0;
  if (format == TPageFileFormat::Tiff) {
    errno = 0;
    ok = writeTiff(fd, fileName, rgb, dpiX, dpiY);
    err = errno;
    if (::close(fd) != 0 && ok) {
      ok = false;
      err = errno;
    }
  } else {
    FILE *f = ::fdopen(fd, "wb");
    if (!f) {
      err = errno;
      ::close(fd);
    } else {
      // A buffer of our own: given none, the C library keeps to a block.
      std::vector<char> buffer(OutputBuffer);
      std::setvbuf(f, buffer.data(), _IOFBF, buffer.size());
      char reason[JMSG_LENGTH_MAX] = {};
      errno = 0;
      ok = format == TPageFileFormat::Bmp ? writeBmp(f, rgb, dpiX, dpiY)
                                          : writeJpeg(f, rgb, dpiX, dpiY, jpegQuality, reason, sizeof reason);
      err = errno;
      if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
      }
      if (!ok && reason[0] && err == 0)
        *error = QString::fromLocal8Bit(reason);
    }
  }
  if (!ok) {
    ::unlink(native.constData());
    if (error->isEmpty())
      *error = err ? systemReason(err) : QStringLiteral("the file could not be written");
  }
  return ok;
}
