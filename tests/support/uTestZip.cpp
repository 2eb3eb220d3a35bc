#include "uTestZip.h"

#include <QFile>
#include <zip.h>
#include <zlib.h>

bool WriteTestZip(const QString &zipFileName, const QList<QPair<QString, QByteArray>> &entries, bool deflate) {
  int error = 0;
  zip_t *archive = zip_open(QFile::encodeName(zipFileName).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive)
    return false;
  for (const auto &[name, bytes] : entries) {
    const QByteArray utf8 = name.toUtf8();
    if (name.endsWith(u'/')) {
      if (zip_dir_add(archive, utf8.left(utf8.size() - 1).constData(), ZIP_FL_ENC_UTF_8) < 0) {
        zip_discard(archive);
        return false;
      }
      continue;
    }
    // The archive reads the data when it is closed: keep a copy alive until then.
    void *copy = malloc(static_cast<size_t>(bytes.size()) + 1);
    memcpy(copy, bytes.constData(), static_cast<size_t>(bytes.size()));
    zip_source_t *source = zip_source_buffer(archive, copy, static_cast<zip_uint64_t>(bytes.size()), 1);
    const zip_int64_t index =
        source ? zip_file_add(archive, utf8.constData(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) : -1;
    if (index < 0) {
      if (source)
        zip_source_free(source);
      zip_discard(archive);
      return false;
    }
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
  }
  return zip_close(archive) == 0;
}

namespace {
void put16(QByteArray &b, quint32 v) {
  b.append(char(v & 0xFF));
  b.append(char((v >> 8) & 0xFF));
}
void put32(QByteArray &b, quint32 v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
void put64(QByteArray &b, quint64 v) {
  put32(b, quint32(v & 0xFFFFFFFFu));
  put32(b, quint32(v >> 32));
}
} // namespace

quint32 Crc32(const QByteArray &bytes) {
  return quint32(crc32(0L, reinterpret_cast<const Bytef *>(bytes.constData()), uInt(bytes.size())));
}

QByteArray DeflatedZeros(qint64 size) {
  z_stream zs{};
  deflateInit2(&zs, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  const QByteArray zeros(1 << 20, '\0');
  QByteArray out;
  char buffer[1 << 16];
  qint64 left = size;
  do {
    const qint64 n = qMin<qint64>(left, zeros.size());
    left -= n;
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(zeros.constData()));
    zs.avail_in = uInt(n);
    const int flush = left > 0 ? Z_NO_FLUSH : Z_FINISH;
    do {
      zs.next_out = reinterpret_cast<Bytef *>(buffer);
      zs.avail_out = sizeof buffer;
      deflate(&zs, flush);
      out.append(buffer, qsizetype(sizeof buffer - zs.avail_out));
    } while (zs.avail_out == 0);
  } while (left > 0);
  deflateEnd(&zs);
  return out;
}

TRawZipEntry RawZipEntry(const QString &name, const QByteArray &content, bool deflate) {
  TRawZipEntry e;
  e.Name = name;
  e.Crc = Crc32(content);
  e.Size = quint64(content.size());
  e.Method = deflate ? 8 : 0;
  if (!deflate) {
    e.Data = content;
    return e;
  }
  const QByteArray z = qCompress(content, 9); // 4 bytes of length, then a zlib stream
  e.Data = z.mid(6, z.size() - 10);           // without its 2-byte header and 4-byte check sum
  return e;
}

bool WriteRawZip(const QString &zipFileName, const QList<TRawZipEntry> &entries, const QByteArray &prefix,
                 const QByteArray &comment) {
  QByteArray body;
  QByteArray directory;
  for (const TRawZipEntry &e : entries) {
    const QByteArray name = e.Name.toUtf8();
    const bool zip64 = e.Size >= 0xFFFFFFFFu;
    QByteArray extra;
    if (zip64) {
      put16(extra, 0x0001);
      put16(extra, 16);
      put64(extra, e.Size);
      put64(extra, quint64(e.Data.size()));
    }
    const quint32 offset = quint32(body.size()); // offsets count from the archive, not the stub
    QByteArray local;
    put32(local, 0x04034b50);
    put16(local, zip64 ? 45 : 20);
    put16(local, 0x0800); // UTF-8 names
    put16(local, e.Method);
    put32(local, 0); // time and date
    put32(local, e.Crc);
    put32(local, zip64 ? 0xFFFFFFFFu : quint32(e.Data.size()));
    put32(local, zip64 ? 0xFFFFFFFFu : quint32(e.Size));
    put16(local, quint32(name.size()));
    put16(local, quint32(extra.size()));
    body += local + name + extra + e.Data;
    QByteArray central;
    put32(central, 0x02014b50);
    put16(central, 0x031E); // made on Unix
    put16(central, zip64 ? 45 : 20);
    put16(central, 0x0800);
    put16(central, e.Method);
    put32(central, 0);
    put32(central, e.Crc);
    put32(central, zip64 ? 0xFFFFFFFFu : quint32(e.Data.size()));
    put32(central, zip64 ? 0xFFFFFFFFu : quint32(e.Size));
    put16(central, quint32(name.size()));
    put16(central, quint32(extra.size()));
    put16(central, 0); // comment
    put16(central, 0); // disk
    put16(central, 0); // internal attributes
    put32(central, name.endsWith('/') ? (040755u << 16) : (0100644u << 16));
    put32(central, offset);
    directory += central + name + extra;
  }
  QByteArray end;
  put32(end, 0x06054b50);
  put16(end, 0);
  put16(end, 0);
  put16(end, quint32(qMin<qsizetype>(entries.size(), 0xFFFF)));
  put16(end, quint32(qMin<qsizetype>(entries.size(), 0xFFFF)));
  put32(end, quint32(directory.size()));
  put32(end, quint32(body.size()));
  put16(end, quint32(comment.size()));
  QFile f(zipFileName);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
    return false;
  const QByteArray all = prefix + body + directory + end + comment;
  return f.write(all) == all.size();
}
