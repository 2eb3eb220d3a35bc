#pragma once

// The text the recognition benchmarks draw: lines of 12-point type at 300 dpi.

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QStringList>

inline const QStringList &BenchPageLines() {
  static const QStringList lines = {
      "Optical character recognition turns pictures of text into text",
      "that can be edited, searched and read aloud. The picture is first",
      "made black and white, then cut into lines, words and letters; each",
      "line goes through a recurrent network that names its letters, and",
      "a dictionary of the language chooses among the words it could be.",
      "A clean page at three hundred dots per inch reads almost without",
      "fault; a blurred photograph of a crumpled receipt far less well.",
      "The desk enlarges every page below nine hundred dots per inch to",
      "three times its width and height before it is recognised, so that",
      "small print comes out with fewer mistakes in the letters it holds.",
  };
  return lines;
}

// Draws `count` lines (the text repeated as needed) from `top`, `step`
// pixels apart, in black on the page.
inline void DrawBenchText(QImage &page, int count, int top, int step) {
  QPainter p(&page);
  QFont font(QStringLiteral("Liberation Serif"));
  font.setPixelSize(50);
  p.setFont(font);
  p.setPen(Qt::black);
  const QStringList &lines = BenchPageLines();
  for (int i = 0; i < count; ++i)
    p.drawText(150, top + i * step, lines.at(i % lines.size()));
}
