// The picture as a view draws it at another size. Smaller: each drawn pixel is
// the area average of every picture pixel under it, the picture pixels cut by
// its edges weighted by the part of them it covers. Larger: each drawn pixel is
// the picture pixel it lies in. Equal: the very pixels. Any part of the drawn
// picture can be worked out alone, from the picture rows and columns under it,
// so a view redraws only the rows a command changed, and a zoomed window only
// the part on the screen.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

namespace morvane {

// Draws the part `area` (in the coordinates of the picture drawn at `drawnSize`)
// into `out` (Format_RGB32), its top-left corner at `at`. The picture is
// Format_Indexed8, RGB555 or RGB32 (any other format is read pixel by pixel).
// A size smaller on one axis and larger on the other is drawn pixel by pixel.
void DrawScaled(const QImage& picture, QSize drawnSize, QRect area, QImage& out, QPoint at);

// Rows top .. bottom-1 of drawn (Format_RGB32, at most the picture's size),
// the picture drawn at drawn's size.
void DrawFitted(const QImage& picture, QImage& drawn, int top, int bottom);

// The picture pixel a drawn coordinate lies in, on an axis where the picture is
// drawn at drawnLength pixels for pictureLength (either way: smaller or larger).
inline int PictureCoordinate(int drawn, int drawnLength, int pictureLength) {
  const qint64 scaled = static_cast<qint64>(drawn) * pictureLength;
  const qint64 q = scaled / drawnLength;
  return static_cast<int>(scaled % drawnLength < 0 ? q - 1 : q);
}

}  // namespace morvane
