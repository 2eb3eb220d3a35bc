#include "uTestPDF.h"

#include <QFont>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace {
// Page geometry in points (the writer's resolution is 72 dpi).
constexpr int MarkTop = 24;
constexpr int MarkSize = 12;
constexpr int MarkPitch = 20;
constexpr int MarkLeft = 24;

QImage testPicture() {
  QImage picture(240, 160, QImage::Format_RGB32);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      picture.setPixel(x, y, qRgb(x, y, (x * y) % 256));
  return picture;
}
} // namespace

bool WriteTestPDF(const QString &fileName, int pages, int imagePage) {
  QPdfWriter writer(fileName);
  writer.setResolution(72);
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  const QPageSize portrait(QSize(576, 720), QStringLiteral("Test portrait"), QPageSize::ExactMatch);
  const QPageSize landscape(QSize(720, 576), QStringLiteral("Test landscape"), QPageSize::ExactMatch);
  writer.setPageSize(imagePage == 1 ? landscape : portrait);
  QPainter painter;
  if (!painter.begin(&writer))
    return false;
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(160);
  font.setBold(true);
  for (int page = 1; page <= pages; ++page) {
    if (page > 1) {
      writer.setPageSize(page == imagePage ? landscape : portrait);
      if (!writer.newPage())
        return false;
    }
    for (int i = 0; i < page; ++i)
      painter.fillRect(MarkLeft + i * MarkPitch, MarkTop, MarkSize, MarkSize, Qt::black);
    if (page == imagePage)
      painter.drawImage(QRect(300, 250, 360, 240), testPicture());
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, 100, 500, 300), Qt::AlignCenter, QString::number(page));
  }
  return painter.end();
}

int CountPageMarks(const QImage &image) {
  // The middle row of the marks, at the image's own resolution.
  const double scale = image.width() / (image.width() > image.height() ? 720.0 : 576.0);
  const int y = qRound((MarkTop + MarkSize / 2.0) * scale);
  if (y >= image.height())
    return 0;
  int marks = 0;
  bool inMark = false;
  const int limit = image.width() - 1;
  for (int x = 0; x < limit; ++x) {
    const bool dark = qGray(image.pixel(x, y)) < 96;
    if (dark && !inMark)
      ++marks;
    inMark = dark;
  }
  return marks;
}
