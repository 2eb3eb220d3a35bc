#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>
#include <memory>

class QBuffer;
class QPainter;
class QPdfWriter;

// The font the report draws its next text in.
struct TGDIFont {
  QString Name = QStringLiteral("Arial");
  int Size = 10; // points; sizes below 1 draw at 1
};

// A report built from top to bottom and exported as PDF: A4 portrait pages
// with margins of 10 mm on all four sides, single line spacing, left-aligned
// text. The drawing position starts at the top margin of the first page and
// moves down with each line, paragraph and picture; a new page begins when
// the next line or picture does not fit above the bottom margin.
//
// The document is drawn while it is built (through QPdfWriter at 300 dots
// per inch into memory); ExportPDF writes the finished bytes to a file.
// Pictures are stored without loss (compressed, never as JPEG), their
// transparency kept as drawn.
class TGDIPages : public QObject {
  Q_OBJECT
public:
  static constexpr double PageWidthMM = 210;
  static constexpr double PageHeightMM = 297;
  static constexpr double MarginMM = 10;
  static constexpr int Dpi = 300;

  explicit TGDIPages(QObject *owner = nullptr);
  ~TGDIPages() override;

  TGDIFont &Font() { return FFont; }

  // Starts a new, empty document (a document still open is dropped): one
  // page, the position at its top margin.
  void BeginDoc();
  // Moves the position down one line of the current font.
  void NewLine();
  // Starts a new page with the position at its top margin.
  void NewPage();
  // Draws `s` as a paragraph at the position in the current font, wrapped at
  // the right margin (at word boundaries, inside a word only when it is wider
  // than the line); CR, LF and CR LF break lines. New pages start as needed;
  // the position ends below the paragraph's last line. Empty text takes one
  // empty line.
  void DrawText(const QString &s);
  // Draws a bitmap `bLeft` mm right of the left margin and `bWidth` mm wide,
  // its height in proportion; a picture that would not fit between the
  // margins is scaled down to fit. A new page starts first when the rest of
  // the page is too short. A legend, when given, is centred below it in the
  // current font. A null bitmap or a width of 0 mm or less draws no picture.
  void DrawBMP(const QImage &bmp, double bLeft, double bWidth, const QString &Legend = QString());
  // Finishes the document.
  void EndDoc();
  // Writes the document (finished first when still open) to a PDF file,
  // replacing the file only when the whole document was written. A failure
  // returns false and is shown in an error dialog only when
  // `ShowErrorOnScreen` is set; `LaunchAfter` opens the written file with
  // the desktop's PDF viewer.
  bool ExportPDF(const QString &aPdfFileName, bool ShowErrorOnScreen, bool LaunchAfter);
  // Why the last ExportPDF failed; empty after one that succeeded.
  const QString &LastError() const { return FLastError; }

  // The state of the document.
  bool IsOpen() const { return FPainter != nullptr; }
  int PageCount() const { return FPageCount; }
  // The position: millimetres below the top margin of the current page.
  double CurrentYPos() const;
  // The finished document's bytes (empty until EndDoc).
  const QByteArray &PdfData() const { return FData; }

private:
  void CheckOpen() const;
  void DrawParagraph(const QString &s, bool centred);
  double LineSpacing() const;
  double MMToDev(double mm) const { return mm * Dpi / 25.4; }

  TGDIFont FFont;
  std::unique_ptr<QBuffer> FBuffer;
  std::unique_ptr<QPdfWriter> FWriter;
  std::unique_ptr<QPainter> FPainter;
  QByteArray FData;
  QString FLastError;
  double FY = 0;      // device units below the top margin
  double FWidth = 0;  // printable width, device units
  double FHeight = 0; // printable height, device units
  int FPageCount = 0;
};
