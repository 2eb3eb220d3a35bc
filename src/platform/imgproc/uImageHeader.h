#pragma once

#include <QByteArray>
#include <QtGlobal>

class QIODevice;

// What the first bytes of an image file tell without decoding its pixels.
struct TImageHeader {
  QByteArray Format; // "png", "jpeg", "tiff", "bmp", "gif", "webp", "pbm", "pgm", "ppm", "pam", "jp2", "j2k"
  qint64 Width = -1; // -1 when the header does not tell
  qint64 Height = -1;
  int DpiX = 0; // recorded resolution; 0 when the file records none
  int DpiY = 0;
};

// Recognises the format from the content of a seekable device (from its
// start) and reads the picture size and the recorded resolution where the
// format keeps them in its header. False for content of no known format.
// Never reads more than a few kilobytes besides seeking, whatever the input.
bool ProbeImageHeader(QIODevice &device, TImageHeader &header);

// Resolution stored as a count per metre, in dots per inch (0 stays 0).
int DpiFromDotsPerMetre(double perMetre);

// Encoded bytes with the resolution record taken out or neutralised, for
// files written without a resolution: PNG loses its pHYs chunk, JPEG keeps
// JFIF with units 0 (aspect ratio only), BMP gets 0 pixels per metre and
// TIFF the resolution unit "none". Other formats come back unchanged.
QByteArray WithoutRecordedResolution(const QByteArray &bytes, const QByteArray &format);

// JPEG 2000 file bytes with a capture resolution box ("resc" in "res ")
// added to the header box; the bytes unchanged when dpi <= 0 or the
// structure is not the expected one.
QByteArray WithJp2Resolution(const QByteArray &bytes, int dpiX, int dpiY);
