#include "uFormat.h"

#include "uException.h"

namespace {
[[noreturn]] void invalid(const QString &format) {
  throw EConvertError(QStringLiteral("Format '%1' invalid or incompatible with argument").arg(format));
}
} // namespace

QString FormatText(const QString &format, const QVariantList &args) {
  QString out;
  out.reserve(format.size() + 32);
  qsizetype next = 0;
  for (qsizetype i = 0; i < format.size(); ++i) {
    const QChar c = format.at(i);
    if (c != u'%') {
      out += c;
      continue;
    }
    if (i + 1 >= format.size())
      invalid(format);
    const QChar kind = format.at(++i);
    if (kind == u'%') {
      out += u'%';
      continue;
    }
    if (next >= args.size())
      invalid(format);
    const QVariant &arg = args.at(next++);
    if (kind == u'd' || kind == u'D') {
      if (arg.typeId() != QMetaType::Int && arg.typeId() != QMetaType::LongLong && arg.typeId() != QMetaType::UInt)
        invalid(format);
      out += QString::number(arg.toLongLong());
    } else if (kind == u's' || kind == u'S') {
      if (arg.typeId() != QMetaType::QString)
        invalid(format);
      out += arg.toString();
    } else {
      invalid(format);
    }
  }
  return out;
}
