#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// PDF documents made for the tests with QPdfWriter. Page n carries its
// number in large text and a row of n black squares along its top edge, so
// that a rendering of it tells which page it is (CountPageMarks).

// Portrait pages are 8 x 10 inches; at 96 dpi they render to 768 x 960.
inline constexpr QSize PortraitPixels96{768, 960};
inline constexpr QSize LandscapePixels96{960, 768};

// Writes a document of `pages` pages; the page `imagePage` (0: none) is
// landscape and holds a picture as well. Returns false when it cannot write.
bool WriteTestPDF(const QString &fileName, int pages, int imagePage = 0);

// The number of marks along the top edge of a rendering of a test page.
int CountPageMarks(const QImage &image);
