#pragma once

#include <QColor>
#include <QList>
#include <QObject>
#include <QString>
#include <QTextBlockFormat>
#include <QTextCharFormat>

// The style sheet of the rich-text editor: numbered text styles (a font with
// its size, style and colour) and numbered paragraph styles (an alignment).
// Every run of text in an editor carries the number of its text style and
// every paragraph the number of its paragraph style; a change of format in
// the editor looks for a style with the new attributes and adds one when the
// sheet has none, so a number always tells the whole format.

enum class TRVAlignment { rvaLeft, rvaRight, rvaCenter, rvaJustify };

// A text style.
struct TFontInfo {
  QString StyleName;
  QString FontName = QStringLiteral("Arial");
  int SizeDouble = 20; // size in half points: 20 is 10 pt
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  QColor Color;      // invalid: the default text colour
  bool Jump = false; // a hypertext jump

  double Size() const { return SizeDouble / 2.0; }
  // Same look (everything but the name).
  bool SameAttributes(const TFontInfo &other) const;
  // The character format an editor gives text of this style, without the
  // style number.
  QTextCharFormat CharFormat() const;
  // The attributes of a character format; what it leaves unset comes from
  // `defaults`.
  static TFontInfo FromCharFormat(const QTextCharFormat &format, const TFontInfo &defaults);
};

// A paragraph style.
struct TParaInfo {
  QString StyleName;
  TRVAlignment Alignment = TRVAlignment::rvaLeft;

  bool SameAttributes(const TParaInfo &other) const { return Alignment == other.Alignment; }
  QTextBlockFormat BlockFormat() const;
  static Qt::Alignment QtAlignment(TRVAlignment alignment);
  static TRVAlignment FromQtAlignment(Qt::Alignment alignment);
};

class TRVStyle : public QObject {
  Q_OBJECT
public:
  // The sheet the result editor uses: six text styles in Arial ("Normal
  // text" 16 pt; "Heading", "Subheading", "Keywords", "Jump 1", "Jump 2" at
  // 10 pt) and two paragraph styles ("Paragraph Style" left, "Centered").
  explicit TRVStyle(QObject *owner = nullptr);

  QList<TFontInfo> &TextStyles() { return FTextStyles; }
  const QList<TFontInfo> &TextStyles() const { return FTextStyles; }
  QList<TParaInfo> &ParaStyles() { return FParaStyles; }
  const QList<TParaInfo> &ParaStyles() const { return FParaStyles; }

  // A text style of the number; style 0 for a number outside the sheet (and
  // the default style when the sheet is empty).
  const TFontInfo &TextStyle(int styleNo) const;
  const TParaInfo &ParaStyle(int paraNo) const;

  // The number of the first style with the attributes of `info`; one is
  // added at the end when there is none.
  int FindOrAddTextStyle(const TFontInfo &info);
  int FindOrAddParaStyle(const TParaInfo &info);

  // Puts back the six text styles and two paragraph styles above.
  void ResetToDefaults();

private:
  QList<TFontInfo> FTextStyles;
  QList<TParaInfo> FParaStyles;
};
