#include "uGDIPages.h"

#include "uAtomicFile.h"
#include "uDialogs.h"
#include "uException.h"
#include "uPlatformText.h"
#include "uShell.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextLayout>

TGDIPages::TGDIPages(QObject *owner) : QObject(owner) {}

TGDIPages::~TGDIPages() {
  if (FPainter)
    FPainter->end();
}

void TGDIPages::BeginDoc() {
  if (FPainter)
    FPainter->end();
  FPainter.reset();
  FWriter.reset();
  FData.clear();
  FBuffer = std::make_unique<QBuffer>();
  FBuffer->open(QIODevice::WriteOnly);
  FWriter = std::make_unique<QPdfWriter>(FBuffer.get());
  FWriter->setResolution(Dpi);
  FWriter->setCreator(QCoreApplication::applicationName());
  FWriter->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(MarginMM, MarginMM, MarginMM, MarginMM), QPageLayout::Millimeter));
  FPainter = std::make_unique<QPainter>();
  if (!FPainter->begin(FWriter.get())) {
    FPainter.reset();
    throw EPlatformError(QStringLiteral("The PDF document could not be started."));
  }
  // Without it the PDF engine stores colour pictures as JPEG, blurring text.
  FPainter->setRenderHint(QPainter::LosslessImageRendering);
  // The painter's origin is the top-left corner inside the margins.
  FWidth = MMToDev(PageWidthMM - 2 * MarginMM);
  FHeight = MMToDev(PageHeightMM - 2 * MarginMM);
  FY = 0;
  FPageCount = 1;
}

void TGDIPages::CheckOpen() const {
  if (!FPainter)
    throw EPlatformError(QStringLiteral("No report document is open."));
}

static QFont MakeFont(const TGDIFont &font) {
  QFont f(font.Name);
  f.setPointSizeF(font.Size < 1 ? 1 : font.Size);
  f.setHintingPreference(QFont::PreferNoHinting);
  return f;
}

double TGDIPages::LineSpacing() const { return QFontMetricsF(MakeFont(FFont), FWriter.get()).lineSpacing(); }

double TGDIPages::CurrentYPos() const { return FY * 25.4 / Dpi; }

void TGDIPages::NewPage() {
  CheckOpen();
  FWriter->newPage();
  ++FPageCount;
  FY = 0;
}

void TGDIPages::NewLine() {
  CheckOpen();
  const double h = LineSpacing();
  if (FY + h > FHeight)
    NewPage();
  else
    FY += h;
}

void TGDIPages::DrawText(const QString &s) { DrawParagraph(s, false); }

void TGDIPages::DrawParagraph(const QString &s, bool centred) {
  CheckOpen();
  static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
  QString text = s;
  text.replace(breaks, QString(QChar::LineSeparator));
  const QFont font = MakeFont(FFont);
  QTextLayout layout(text, font, FWriter.get());
  QTextOption option(centred ? Qt::AlignHCenter : (Qt::AlignLeft | Qt::AlignAbsolute));
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  layout.beginLayout();
  double y = 0;
  for (;;) {
    QTextLine line = layout.createLine();
    if (!line.isValid())
      break;
    line.setLeadingIncluded(true);
    line.setLineWidth(FWidth);
    line.setPosition(QPointF(0, y));
    y += line.height();
  }
  layout.endLayout();
  if (layout.lineCount() == 0) {
    NewLine();
    return;
  }
  FPainter->setFont(font);
  FPainter->setPen(Qt::black);
  for (int i = 0; i < layout.lineCount(); ++i) {
    const QTextLine line = layout.lineAt(i);
    const double h = line.height();
    if (FY + h > FHeight && FY > 0)
      NewPage();
    line.draw(FPainter.get(), QPointF(0, FY - line.y()));
    FY += h;
  }
}

void TGDIPages::DrawBMP(const QImage &bmp, double bLeft, double bWidth, const QString &Legend) {
  CheckOpen();
  if (!bmp.isNull() && bWidth > 0) {
    double left = std::max(0.0, MMToDev(bLeft));
    double w = MMToDev(bWidth);
    if (left >= FWidth)
      left = 0;
    double scale = 1;
    if (left + w > FWidth)
      scale = (FWidth - left) / w;
    double h = w * scale * bmp.height() / bmp.width();
    if (h > FHeight)
      scale *= FHeight / h;
    w *= scale;
    h = w * bmp.height() / bmp.width();
    if (FY + h > FHeight && FY > 0)
      NewPage();
    FPainter->drawImage(QRectF(left, FY, w, h), bmp);
    FY += h;
  }
  if (!Legend.isEmpty())
    DrawParagraph(Legend, true);
}

void TGDIPages::EndDoc() {
  CheckOpen();
  FPainter->end();
  FPainter.reset();
  FWriter.reset();
  FData = FBuffer->data();
  FBuffer.reset();
}

bool TGDIPages::ExportPDF(const QString &aPdfFileName, bool ShowErrorOnScreen, bool LaunchAfter) {
  QString error;
  if (FPainter)
    EndDoc();
  bool ok = false;
  if (FData.isEmpty())
    error = PlatformText("error_reportEmpty", "No report document has been made.");
  else if (aPdfFileName.isEmpty())
    error = PlatformText("error_reportNoName", "No file name was given.");
  else
    ok = WriteFileAtomically(aPdfFileName, FData, &error);
  FLastError = ok ? QString() : error;
  if (!ok) {
    if (ShowErrorOnScreen)
      Dialogs().ErrorDialog(
          nullptr, QStringLiteral("Cannot write file \"%1\". %2").arg(QDir::toNativeSeparators(aPdfFileName), error));
    return false;
  }
  if (LaunchAfter)
    Desktop().OpenDocument(aPdfFileName);
  return true;
}
