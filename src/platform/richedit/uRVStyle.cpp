#include "uRVStyle.h"

#include <QFont>
#include <cmath>

bool TFontInfo::SameAttributes(const TFontInfo &other) const {
  return FontName == other.FontName && SizeDouble == other.SizeDouble && Bold == other.Bold && Italic == other.Italic &&
         Underline == other.Underline && StrikeOut == other.StrikeOut && Color == other.Color && Jump == other.Jump;
}

QTextCharFormat TFontInfo::CharFormat() const {
  QTextCharFormat format;
  format.setFontFamilies(QStringList{FontName});
  format.setFontPointSize(Size());
  format.setFontWeight(Bold ? QFont::Bold : QFont::Normal);
  format.setFontItalic(Italic);
  format.setFontUnderline(Underline);
  format.setFontStrikeOut(StrikeOut);
  if (Color.isValid())
    format.setForeground(Color);
  if (Jump)
    format.setAnchor(true);
  return format;
}

TFontInfo TFontInfo::FromCharFormat(const QTextCharFormat &format, const TFontInfo &defaults) {
  TFontInfo info;
  info.StyleName = defaults.StyleName;
  const QStringList families = format.fontFamilies().toStringList();
  if (!families.isEmpty() && !families.first().isEmpty())
    info.FontName = families.first();
  else if (!format.stringProperty(QTextFormat::FontFamily).isEmpty())
    info.FontName = format.stringProperty(QTextFormat::FontFamily);
  else
    info.FontName = defaults.FontName;
  if (format.fontPointSize() > 0)
    info.SizeDouble = static_cast<int>(std::lround(format.fontPointSize() * 2));
  else if (format.hasProperty(QTextFormat::FontPixelSize) && format.intProperty(QTextFormat::FontPixelSize) > 0)
    info.SizeDouble = static_cast<int>(std::lround(format.intProperty(QTextFormat::FontPixelSize) * 72.0 / 96.0 * 2));
  else
    info.SizeDouble = defaults.SizeDouble;
  info.Bold = format.hasProperty(QTextFormat::FontWeight) && format.fontWeight() >= QFont::DemiBold;
  info.Italic = format.fontItalic();
  info.Underline = format.fontUnderline();
  info.StrikeOut = format.fontStrikeOut();
  if (format.hasProperty(QTextFormat::ForegroundBrush) && format.foreground().style() != Qt::NoBrush)
    info.Color = format.foreground().color();
  info.Jump = format.isAnchor();
  return info;
}

QTextBlockFormat TParaInfo::BlockFormat() const {
  QTextBlockFormat format;
  format.setAlignment(QtAlignment(Alignment));
  return format;
}

Qt::Alignment TParaInfo::QtAlignment(TRVAlignment alignment) {
  switch (alignment) {
  case TRVAlignment::rvaRight:
    return Qt::AlignRight | Qt::AlignAbsolute;
  case TRVAlignment::rvaCenter:
    return Qt::AlignHCenter;
  case TRVAlignment::rvaJustify:
    return Qt::AlignJustify;
  case TRVAlignment::rvaLeft:
    break;
  }
  return Qt::AlignLeft | Qt::AlignAbsolute;
}

TRVAlignment TParaInfo::FromQtAlignment(Qt::Alignment alignment) {
  const Qt::Alignment horizontal = alignment & Qt::AlignHorizontal_Mask;
  if (horizontal & Qt::AlignRight)
    return TRVAlignment::rvaRight;
  if (horizontal & Qt::AlignHCenter)
    return TRVAlignment::rvaCenter;
  if (horizontal & Qt::AlignJustify)
    return TRVAlignment::rvaJustify;
  return TRVAlignment::rvaLeft;
}

TRVStyle::TRVStyle(QObject *owner) : QObject(owner) { ResetToDefaults(); }

void TRVStyle::ResetToDefaults() {
  auto style = [](const char *name, int sizeDouble, QColor color) {
    TFontInfo info;
    info.StyleName = QString::fromLatin1(name);
    info.SizeDouble = sizeDouble;
    info.Color = color;
    return info;
  };
  FTextStyles.clear();
  FTextStyles.append(style("Normal text", 32, QColor()));
  FTextStyles.append(style("Heading", 20, QColor(0, 0, 255)));
  FTextStyles.last().Bold = true;
  FTextStyles.append(style("Subheading", 20, QColor(0, 0, 128)));
  FTextStyles.last().Bold = true;
  FTextStyles.append(style("Keywords", 20, QColor(128, 0, 0)));
  FTextStyles.last().Italic = true;
  for (const char *jump : {"Jump 1", "Jump 2"}) {
    FTextStyles.append(style(jump, 20, QColor(0, 128, 0)));
    FTextStyles.last().Underline = true;
    FTextStyles.last().Jump = true;
  }
  FParaStyles.clear();
  FParaStyles.append({QStringLiteral("Paragraph Style"), TRVAlignment::rvaLeft});
  FParaStyles.append({QStringLiteral("Centered"), TRVAlignment::rvaCenter});
}

const TFontInfo &TRVStyle::TextStyle(int styleNo) const {
  static const TFontInfo fallback;
  if (styleNo >= 0 && styleNo < FTextStyles.size())
    return FTextStyles.at(styleNo);
  return FTextStyles.isEmpty() ? fallback : FTextStyles.first();
}

const TParaInfo &TRVStyle::ParaStyle(int paraNo) const {
  static const TParaInfo fallback;
  if (paraNo >= 0 && paraNo < FParaStyles.size())
    return FParaStyles.at(paraNo);
  return FParaStyles.isEmpty() ? fallback : FParaStyles.first();
}

int TRVStyle::FindOrAddTextStyle(const TFontInfo &info) {
  for (qsizetype i = 0; i < FTextStyles.size(); ++i)
    if (FTextStyles.at(i).SameAttributes(info))
      return static_cast<int>(i);
  FTextStyles.append(info);
  return static_cast<int>(FTextStyles.size() - 1);
}

int TRVStyle::FindOrAddParaStyle(const TParaInfo &info) {
  for (qsizetype i = 0; i < FParaStyles.size(); ++i)
    if (FParaStyles.at(i).SameAttributes(info))
      return static_cast<int>(i);
  FParaStyles.append(info);
  return static_cast<int>(FParaStyles.size() - 1);
}
