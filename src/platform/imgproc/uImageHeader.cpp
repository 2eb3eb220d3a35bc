#include "uImageHeader.h"

#include <QIODevice>
#include <cmath>
#include <functional>

namespace {

// Reads `length` bytes at `offset`; fewer (or none) at the end of the input.
using TReadAt = std::function<QByteArray(qint64 offset, qint64 length)>;

constexpr qint64 MaxSegments = 4096; // bound on chunks, segments and boxes walked

quint32 be16(const QByteArray &b, qsizetype i) { return (quint32(quint8(b[i])) << 8) | quint8(b[i + 1]); }
quint32 be32(const QByteArray &b, qsizetype i) { return (be16(b, i) << 16) | be16(b, i + 2); }
quint32 le16(const QByteArray &b, qsizetype i) { return (quint32(quint8(b[i + 1])) << 8) | quint8(b[i]); }
quint32 le32(const QByteArray &b, qsizetype i) { return (le16(b, i + 2) << 16) | le16(b, i); }
quint32 le24(const QByteArray &b, qsizetype i) {
  return (quint32(quint8(b[i + 2])) << 16) | (quint32(quint8(b[i + 1])) << 8) | quint8(b[i]);
}

int roundDpi(double dpi) {
  if (!std::isfinite(dpi) || dpi <= 0 || dpi > 1e6)
    return 0;
  return static_cast<int>(std::lround(dpi));
}

// --- TIFF structure (TIFF files and the EXIF block of JPEG files) ---------

struct TTiffInfo {
  qint64 Width = -1, Height = -1;
  double XRes = 0, YRes = 0;
  int Unit = 2; // the TIFF default: inches
};

bool parseTiff(const TReadAt &readAt, TTiffInfo &out) {
  const QByteArray head = readAt(0, 8);
  if (head.size() < 8)
    return false;
  const bool little = head.startsWith("II");
  if (!little && !head.startsWith("MM"))
    return false;
  auto u16 = [little](const QByteArray &b, qsizetype i) { return little ? le16(b, i) : be16(b, i); };
  auto u32 = [little](const QByteArray &b, qsizetype i) { return little ? le32(b, i) : be32(b, i); };
  if (u16(head, 2) != 42)
    return false; // BigTIFF and others: not described here
  const qint64 ifd = u32(head, 4);
  const QByteArray countBytes = readAt(ifd, 2);
  if (countBytes.size() < 2)
    return false;
  const qint64 count = std::min<qint64>(u16(countBytes, 0), 1024);
  const QByteArray entries = readAt(ifd + 2, count * 12);
  const qint64 n = entries.size() / 12;
  auto rational = [&](qsizetype e) -> double {
    if (u16(entries, e + 2) != 5) // RATIONAL
      return 0;
    const QByteArray v = readAt(u32(entries, e + 8), 8);
    if (v.size() < 8)
      return 0;
    const quint32 num = u32(v, 0), den = u32(v, 4);
    return den ? double(num) / den : 0;
  };
  auto integer = [&](qsizetype e) -> qint64 {
    const quint32 type = u16(entries, e + 2);
    if (type == 3) // SHORT, left-justified in the value field
      return u16(entries, e + 8);
    if (type == 4) // LONG
      return u32(entries, e + 8);
    return -1;
  };
  for (qint64 i = 0; i < n; ++i) {
    const qsizetype e = i * 12;
    switch (u16(entries, e)) {
    case 256:
      out.Width = integer(e);
      break;
    case 257:
      out.Height = integer(e);
      break;
    case 282:
      out.XRes = rational(e);
      break;
    case 283:
      out.YRes = rational(e);
      break;
    case 296:
      out.Unit = static_cast<int>(integer(e));
      break;
    default:
      break;
    }
  }
  return true;
}

// Resolution of a TIFF structure in dpi; 0 when none is recorded.
void tiffDpi(const TTiffInfo &t, int &dpiX, int &dpiY) {
  double factor = 0;
  if (t.Unit == 2)
    factor = 1;
  else if (t.Unit == 3)
    factor = 2.54;
  dpiX = roundDpi(t.XRes * factor);
  dpiY = roundDpi(t.YRes * factor);
  if (dpiX == 0)
    dpiY = 0;
  else if (dpiY == 0)
    dpiY = dpiX;
}

TReadAt bufferReader(const QByteArray &bytes) {
  return [&bytes](qint64 offset, qint64 length) -> QByteArray {
    if (offset < 0 || length <= 0 || offset >= bytes.size())
      return {};
    return bytes.mid(offset, std::min<qint64>(length, bytes.size() - offset));
  };
}

// --- the formats ------------------------------------------------------------

bool probePng(const TReadAt &readAt, TImageHeader &h) {
  h.Format = "png";
  qint64 pos = 8;
  for (qint64 i = 0; i < MaxSegments; ++i) {
    const QByteArray chunk = readAt(pos, 8);
    if (chunk.size() < 8)
      break;
    const quint32 length = be32(chunk, 0);
    const QByteArray type = chunk.mid(4, 4);
    if (type == "IHDR") {
      const QByteArray d = readAt(pos + 8, 8);
      if (d.size() < 8)
        return true;
      h.Width = be32(d, 0);
      h.Height = be32(d, 4);
    } else if (type == "pHYs") {
      const QByteArray d = readAt(pos + 8, 9);
      if (d.size() == 9 && d[8] == 1) { // unit: the metre
        h.DpiX = DpiFromDotsPerMetre(be32(d, 0));
        h.DpiY = DpiFromDotsPerMetre(be32(d, 4));
      }
    } else if (type == "IDAT" || type == "IEND") {
      break;
    }
    pos += 12 + qint64(length);
  }
  return true;
}

bool probeJpeg(const TReadAt &readAt, TImageHeader &h) {
  h.Format = "jpeg";
  int jfifX = 0, jfifY = 0, exifX = 0, exifY = 0;
  qint64 pos = 2;
  for (qint64 i = 0; i < MaxSegments; ++i) {
    QByteArray m = readAt(pos, 2);
    if (m.size() < 2 || quint8(m[0]) != 0xFF)
      break;
    const quint8 marker = quint8(m[1]);
    if (marker == 0xFF) { // fill byte
      ++pos;
      continue;
    }
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      pos += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) // end of image, start of scan
      break;
    const QByteArray lenBytes = readAt(pos + 2, 2);
    if (lenBytes.size() < 2)
      break;
    const qint64 length = be16(lenBytes, 0);
    if (length < 2)
      break;
    const qint64 data = pos + 4;
    if (marker == 0xE0) {
      const QByteArray d = readAt(data, 12);
      if (d.size() >= 12 && d.startsWith(QByteArray("JFIF\0", 5))) {
        const int units = quint8(d[7]);
        const double factor = units == 1 ? 1.0 : units == 2 ? 2.54 : 0.0;
        jfifX = roundDpi(be16(d, 8) * factor);
        jfifY = roundDpi(be16(d, 10) * factor);
      }
    } else if (marker == 0xE1) {
      const QByteArray d = readAt(data, std::min<qint64>(length - 2, 65535));
      if (d.startsWith(QByteArray("Exif\0\0", 6))) {
        const QByteArray tiff = d.mid(6);
        TTiffInfo t;
        if (parseTiff(bufferReader(tiff), t))
          tiffDpi(t, exifX, exifY);
      }
    } else if ((marker >= 0xC0 && marker <= 0xCF) && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      const QByteArray d = readAt(data, 5);
      if (d.size() == 5) {
        h.Height = be16(d, 1);
        h.Width = be16(d, 3);
      }
    }
    pos += 2 + length;
  }
  if (jfifX > 0) {
    h.DpiX = jfifX;
    h.DpiY = jfifY > 0 ? jfifY : jfifX;
  } else {
    h.DpiX = exifX;
    h.DpiY = exifY;
  }
  return true;
}

bool probeTiff(const TReadAt &readAt, TImageHeader &h) {
  h.Format = "tiff";
  TTiffInfo t;
  if (parseTiff(readAt, t)) {
    h.Width = t.Width;
    h.Height = t.Height;
    tiffDpi(t, h.DpiX, h.DpiY);
  }
  return true;
}

bool probeBmp(const TReadAt &readAt, TImageHeader &h) {
  h.Format = "bmp";
  const QByteArray d = readAt(0, 54);
  if (d.size() < 26)
    return true;
  const quint32 infoSize = le32(d, 14);
  if (infoSize == 12) {
    h.Width = le16(d, 18);
    h.Height = le16(d, 20);
    return true;
  }
  h.Width = std::abs(static_cast<qint32>(le32(d, 18)));
  h.Height = std::abs(static_cast<qint64>(static_cast<qint32>(le32(d, 22))));
  if (infoSize >= 40 && d.size() >= 46) {
    const qint32 ppmX = static_cast<qint32>(le32(d, 38));
    const qint32 ppmY = static_cast<qint32>(le32(d, 42));
    h.DpiX = ppmX > 0 ? DpiFromDotsPerMetre(ppmX) : 0;
    h.DpiY = ppmY > 0 ? DpiFromDotsPerMetre(ppmY) : 0;
    if (h.DpiX == 0)
      h.DpiY = 0;
    else if (h.DpiY == 0)
      h.DpiY = h.DpiX;
  }
  return true;
}

bool probeWebp(const TReadAt &readAt, TImageHeader &h) {
  h.Format = "webp";
  const QByteArray d = readAt(0, 30);
  if (d.size() < 30)
    return true;
  const QByteArray chunk = d.mid(12, 4);
  if (chunk == "VP8X") {
    h.Width = le24(d, 24) + 1;
    h.Height = le24(d, 27) + 1;
  } else if (chunk == "VP8 ") {
    if (quint8(d[23]) == 0x9D && quint8(d[24]) == 0x01 && quint8(d[25]) == 0x2A) {
      h.Width = le16(d, 26) & 0x3FFF;
      h.Height = le16(d, 28) & 0x3FFF;
    }
  } else if (chunk == "VP8L") {
    if (quint8(d[20]) == 0x2F) {
      const quint32 bits = le32(d, 21);
      h.Width = (bits & 0x3FFF) + 1;
      h.Height = ((bits >> 14) & 0x3FFF) + 1;
    }
  }
  return true;
}

bool probePnm(const TReadAt &readAt, TImageHeader &h) {
  const QByteArray d = readAt(0, 4096);
  const char kind = d[1];
  if (kind == '7') {
    h.Format = "pam";
    for (const QByteArray &line : d.split('\n')) {
      const QList<QByteArray> words = line.simplified().split(' ');
      if (words.size() >= 2 && words[0] == "WIDTH")
        h.Width = words[1].toLongLong();
      else if (words.size() >= 2 && words[0] == "HEIGHT")
        h.Height = words[1].toLongLong();
      else if (words[0] == "ENDHDR")
        break;
    }
    return true;
  }
  h.Format = (kind == '1' || kind == '4') ? "pbm" : (kind == '2' || kind == '5') ? "pgm" : "ppm";
  // Width and height: the first two numbers after the magic, comments skipped.
  qint64 numbers[2] = {-1, -1};
  int found = 0;
  qsizetype i = 2;
  while (found < 2 && i < d.size()) {
    const char c = d[i];
    if (c == '#') {
      while (i < d.size() && d[i] != '\n' && d[i] != '\r')
        ++i;
    } else if (c >= '0' && c <= '9') {
      qint64 v = 0;
      while (i < d.size() && d[i] >= '0' && d[i] <= '9' && v < (qint64(1) << 40))
        v = v * 10 + (d[i++] - '0');
      numbers[found++] = v;
      continue;
    } else if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v') {
      break;
    }
    ++i;
  }
  if (found == 2) {
    h.Width = numbers[0];
    h.Height = numbers[1];
  }
  return true;
}

// JPEG 2000 resolution box: grid points per metre as N / D * 10^E.
double jp2Resolution(const QByteArray &d, qsizetype num, qsizetype den, qsizetype exp) {
  const quint32 n = be16(d, num), dd = be16(d, den);
  if (n == 0 || dd == 0)
    return 0;
  return double(n) / dd * std::pow(10.0, static_cast<qint8>(d[exp]));
}

bool probeJp2(const TReadAt &readAt, TImageHeader &h) {
  h.Format = "jp2";
  int captureX = 0, captureY = 0, displayX = 0, displayY = 0;
  // Walks the boxes between begin and end (end -1: to the end of the input).
  std::function<void(qint64, qint64, int)> walk = [&](qint64 begin, qint64 end, int depth) {
    qint64 pos = begin;
    for (qint64 i = 0; i < MaxSegments && (end < 0 || pos + 8 <= end); ++i) {
      const QByteArray b = readAt(pos, 16);
      if (b.size() < 8)
        return;
      qint64 length = be32(b, 0);
      qint64 headerSize = 8;
      const QByteArray type = b.mid(4, 4);
      if (length == 1) {
        if (b.size() < 16)
          return;
        length = (qint64(be32(b, 8)) << 32) | be32(b, 12);
        headerSize = 16;
      } else if (length == 0) {
        length = end < 0 ? (qint64(1) << 40) : end - pos;
      }
      if (length < headerSize)
        return;
      const qint64 content = pos + headerSize;
      if (type == "jp2h" || type == "res ") {
        if (depth < 3)
          walk(content, pos + length, depth + 1);
      } else if (type == "ihdr") {
        const QByteArray d = readAt(content, 8);
        if (d.size() == 8) {
          h.Height = be32(d, 0);
          h.Width = be32(d, 4);
        }
      } else if (type == "resc" || type == "resd") {
        const QByteArray d = readAt(content, 10);
        if (d.size() == 10) {
          const int y = DpiFromDotsPerMetre(jp2Resolution(d, 0, 2, 8));
          const int x = DpiFromDotsPerMetre(jp2Resolution(d, 4, 6, 9));
          (type == "resc" ? captureX : displayX) = x;
          (type == "resc" ? captureY : displayY) = y;
        }
      } else if (type == "jp2c") {
        return; // the codestream follows: the header boxes are behind us
      }
      pos += length;
    }
  };
  walk(12, -1, 0);
  // The capture resolution is the one a scanner records; the display one otherwise.
  h.DpiX = captureX > 0 ? captureX : displayX;
  h.DpiY = captureX > 0 ? captureY : displayY;
  if (h.DpiX == 0)
    h.DpiY = 0;
  else if (h.DpiY == 0)
    h.DpiY = h.DpiX;
  return true;
}

bool probeJ2k(const TReadAt &readAt, TImageHeader &h) {
  h.Format = "j2k";
  const QByteArray d = readAt(0, 24);
  if (d.size() == 24) {
    // SIZ: Lsiz Rsiz Xsiz Ysiz XOsiz YOsiz
    const qint64 xs = be32(d, 8), ys = be32(d, 12), xo = be32(d, 16), yo = be32(d, 20);
    if (xs > xo && ys > yo) {
      h.Width = xs - xo;
      h.Height = ys - yo;
    }
  }
  return true;
}

bool probe(const TReadAt &readAt, TImageHeader &h) {
  h = TImageHeader();
  const QByteArray m = readAt(0, 16);
  if (m.size() < 4)
    return false;
  auto u8 = [&m](qsizetype i) { return i < m.size() ? quint8(m[i]) : 0u; };
  if (m.startsWith("\x89PNG\r\n\x1a\n"))
    return probePng(readAt, h);
  if (u8(0) == 0xFF && u8(1) == 0xD8 && u8(2) == 0xFF)
    return probeJpeg(readAt, h);
  if ((m.startsWith("II") && u8(2) == 42 && u8(3) == 0) || (m.startsWith("MM") && u8(2) == 0 && u8(3) == 42))
    return probeTiff(readAt, h);
  if ((m.startsWith("II") && u8(2) == 43) || (m.startsWith("MM") && u8(3) == 43)) {
    h.Format = "tiff"; // BigTIFF: size left to the decoder
    return true;
  }
  if (m.startsWith("BM") && m.size() >= 16)
    return probeBmp(readAt, h);
  if (m.startsWith("GIF87a") || m.startsWith("GIF89a")) {
    h.Format = "gif";
    if (m.size() >= 10) {
      h.Width = le16(m, 6);
      h.Height = le16(m, 8);
    }
    return true;
  }
  if (m.startsWith("RIFF") && m.mid(8, 4) == "WEBP")
    return probeWebp(readAt, h);
  if (m.size() >= 12 && m.startsWith(QByteArray("\0\0\0\x0CjP  \r\n\x87\n", 12)))
    return probeJp2(readAt, h);
  if (u8(0) == 0xFF && u8(1) == 0x4F && u8(2) == 0xFF && u8(3) == 0x51)
    return probeJ2k(readAt, h);
  if (u8(0) == 'P' && u8(1) >= '1' && u8(1) <= '7' &&
      (u8(2) == ' ' || u8(2) == '\n' || u8(2) == '\r' || u8(2) == '\t' || u8(2) == '#'))
    return probePnm(readAt, h);
  return false;
}

} // namespace

int DpiFromDotsPerMetre(double perMetre) { return roundDpi(perMetre * 0.0254); }

bool ProbeImageHeader(QIODevice &device, TImageHeader &header) {
  const TReadAt readAt = [&device](qint64 offset, qint64 length) -> QByteArray {
    if (offset < 0 || length <= 0 || !device.seek(offset))
      return {};
    return device.read(std::min<qint64>(length, 1 << 20));
  };
  const bool known = probe(readAt, header);
  device.seek(0);
  return known;
}

QByteArray WithoutRecordedResolution(const QByteArray &bytes, const QByteArray &format) {
  QByteArray out = bytes;
  if (format == "png") {
    qsizetype pos = 8;
    while (pos + 12 <= out.size()) {
      const qsizetype length = be32(out, pos);
      if (length < 0 || pos + 12 + length > out.size())
        break;
      const QByteArray type = out.mid(pos + 4, 4);
      if (type == "pHYs") {
        out.remove(pos, 12 + length);
        continue;
      }
      if (type == "IDAT" || type == "IEND")
        break;
      pos += 12 + length;
    }
  } else if (format == "jpeg") {
    // APP0 right after SOI: FF E0, length, "JFIF\0", version, units, density.
    if (out.size() >= 20 && quint8(out[2]) == 0xFF && quint8(out[3]) == 0xE0 &&
        out.mid(6, 5) == QByteArray("JFIF\0", 5)) {
      out[13] = 0;
      out[14] = 0;
      out[15] = 1;
      out[16] = 0;
      out[17] = 1;
    }
  } else if (format == "bmp") {
    if (out.size() >= 46 && le32(out, 14) >= 40)
      for (int i = 38; i < 46; ++i)
        out[i] = 0;
  } else if (format == "tiff") {
    if (out.size() < 8)
      return out;
    const bool little = out.startsWith("II");
    auto u16 = [&](qsizetype i) { return little ? le16(out, i) : be16(out, i); };
    const qsizetype ifd = little ? le32(out, 4) : be32(out, 4);
    if (ifd < 8 || ifd + 2 > out.size())
      return out;
    const qsizetype count = u16(ifd);
    for (qsizetype i = 0; i < count && ifd + 2 + i * 12 + 12 <= out.size(); ++i) {
      const qsizetype e = ifd + 2 + i * 12;
      if (u16(e) == 296 && u16(e + 2) == 3) { // ResolutionUnit, SHORT: 1 = no absolute unit
        out[e + 8] = little ? 1 : 0;
        out[e + 9] = little ? 0 : 1;
      }
    }
  }
  return out;
}

namespace {
void putBe16(QByteArray &b, quint32 v) {
  b.append(static_cast<char>((v >> 8) & 0xFF));
  b.append(static_cast<char>(v & 0xFF));
}
void putBe32(QByteArray &b, quint32 v) {
  putBe16(b, v >> 16);
  putBe16(b, v & 0xFFFF);
}
// Dots per inch as N / D * 10^E grid points per metre (dpi / 0.0254 = dpi * 50 / 127 * 100).
void jp2Fraction(int dpi, quint32 &num, quint32 &den, qint8 &exp) {
  if (dpi * 50 <= 65535) {
    num = static_cast<quint32>(dpi * 50);
    den = 127;
    exp = 2;
  } else {
    num = static_cast<quint32>(std::lround(dpi * 5.0 / 127.0 * 100.0));
    den = 1;
    exp = 1;
    while (num > 65535) {
      num = (num + 5) / 10;
      ++exp;
    }
  }
}
} // namespace

QByteArray WithJp2Resolution(const QByteArray &bytes, int dpiX, int dpiY) {
  if (dpiX <= 0 || dpiY <= 0 || dpiX > 1000000 || dpiY > 1000000)
    return bytes;
  if (!bytes.startsWith(QByteArray("\0\0\0\x0CjP  \r\n\x87\n", 12)))
    return bytes;
  qsizetype pos = 12;
  while (pos + 8 <= bytes.size()) {
    const qsizetype length = be32(bytes, pos);
    if (length < 8 || pos + length > bytes.size())
      return bytes;
    if (bytes.mid(pos + 4, 4) == "jp2h") {
      quint32 vn, vd, hn, hd;
      qint8 ve, he;
      jp2Fraction(dpiY, vn, vd, ve);
      jp2Fraction(dpiX, hn, hd, he);
      QByteArray res;
      putBe32(res, 8 + 18);
      res.append("res ");
      putBe32(res, 18);
      res.append("resc");
      putBe16(res, vn);
      putBe16(res, vd);
      putBe16(res, hn);
      putBe16(res, hd);
      res.append(static_cast<char>(ve));
      res.append(static_cast<char>(he));
      QByteArray out = bytes;
      out.insert(pos + length, res);
      const quint32 newLength = static_cast<quint32>(length + res.size());
      for (int i = 0; i < 4; ++i)
        out[pos + i] = static_cast<char>((newLength >> (24 - 8 * i)) & 0xFF);
      return out;
    }
    pos += length;
  }
  return bytes;
}
