// Draws the program's own pictures: the start image custom/test.png and the
// three guide pages. Run once when they change:
//   g++ -std=c++20 -fPIC tools/mkpictures.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/mkpictures
//   QT_QPA_PLATFORM=offscreen /tmp/mkpictures .
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

void roundedCard(QPainter &p, const QRectF &r, const QColor &fill) {
  QPainterPath path;
  path.addRoundedRect(r, 14, 14);
  p.fillPath(path, fill);
}

QImage guide(const QString &title, const QStringList &lines, const QStringList &keys, const QColor &accent) {
  QImage img(640, 400, QImage::Format_ARGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 640, 400);
  g.setColorAt(0, QColor(248, 250, 252));
  g.setColorAt(1, QColor(235, 240, 246));
  p.fillRect(img.rect(), g);
  p.fillRect(QRect(0, 0, 640, 8), accent);
  QFont f("Liberation Sans");
  f.setPixelSize(30);
  f.setBold(true);
  p.setFont(f);
  p.setPen(QColor(40, 48, 60));
  p.drawText(QRect(40, 36, 560, 44), Qt::AlignLeft | Qt::AlignVCenter, title);
  f.setPixelSize(18);
  f.setBold(false);
  p.setFont(f);
  int y = 100;
  for (const QString &line : lines) {
    p.setPen(QColor(70, 80, 94));
    p.drawText(QRect(40, y, 560, 60), Qt::AlignLeft | Qt::TextWordWrap, line);
    y += 52;
  }
  int x = 40;
  f.setPixelSize(20);
  f.setBold(true);
  p.setFont(f);
  for (const QString &k : keys) {
    const int w = p.fontMetrics().horizontalAdvance(k) + 36;
    roundedCard(p, QRectF(x, 300, w, 54), QColor(255, 255, 255));
    p.setPen(QPen(accent, 2));
    p.drawRoundedRect(QRectF(x, 300, w, 54), 14, 14);
    p.setPen(QColor(40, 48, 60));
    p.drawText(QRect(x, 300, w, 54), Qt::AlignCenter, k);
    x += w + 18;
  }
  return img;
}

QImage startImage() {
  QImage img(1240, 1754, QImage::Format_RGB32); // an A4 page at 150 dpi
  img.fill(Qt::white);
  img.setDotsPerMeterX(5906);
  img.setDotsPerMeterY(5906);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QFont f("Liberation Serif");
  f.setPixelSize(64);
  f.setBold(true);
  p.setFont(f);
  p.setPen(Qt::black);
  p.drawText(QRect(120, 140, 1000, 100), Qt::AlignLeft, "Zorvi Quillon");
  f.setPixelSize(34);
  f.setBold(false);
  p.setFont(f);
  const QStringList text = {
      "Collect pictures of text: image files, a whole folder,",
      "the pages of a PDF document, or a rectangle of the",
      "screen. Turn, crop and straighten them, make them",
      "black and white, or cover parts with white masks.",
      "",
      "Then recognise their text in the language you choose,",
      "read their barcodes, and edit, print or export the",
      "result, also to PDF.",
  };
  int y = 300;
  for (const QString &line : text) {
    p.drawText(120, y, line);
    y += 56;
  }
  p.setPen(QPen(QColor(120, 120, 120), 3));
  p.drawLine(120, y + 20, 1120, y + 20);
  return img;
}

} // namespace

int main(int argc, char **argv) {
  QGuiApplication app(argc, argv);
  const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) + "/" : QString("./");
  startImage().save(root + "data/custom/test.png");
  guide("Capture the screen",
        {"Press a hotkey from any program, drag a rectangle and choose Done.",
         "The main window waits minimised until you bring it back."},
        {"F2  new image", "Ctrl+F2  append", "F4  restore"}, QColor(0, 114, 198))
      .save(root + "src/desk/resources/guide1.png");
  guide("Bring in your pictures",
        {"On the OCR tab, the Source group imports image files, every image",
         "of a folder, or the pages of a PDF document written out as images."},
        {"Import files", "Import folder", "Import PDF"}, QColor(16, 124, 16))
      .save(root + "src/desk/resources/guide2.png");
  guide("Hotkeys and languages",
        {"The quick-access bar at the top of the window changes the capture",
         "hotkeys and installs recognition-language packs (zip archives)."},
        {"Set hotkeys", "Import language pack"}, QColor(200, 90, 20))
      .save(root + "src/desk/resources/guide3.png");
  return 0;
}
