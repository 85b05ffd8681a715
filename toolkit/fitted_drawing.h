// The picture as a view draws it: rows of a smaller image (the drawn size) each
// worked out from the picture rows under it alone, so a view redraws only the
// rows a command changed, at a cost set by the drawn size, not the picture's.
#pragma once

#include <QImage>

namespace morvane {

// Rows top .. bottom-1 of drawn (Format_RGB32, at most the picture's size) from
// picture (Format_Indexed8, RGB555 or RGB32; any other format is read pixel
// by pixel). A drawn pixel is the mean of 2 x 2 samples spread evenly over
// the picture pixels it covers, or the very pixel when the sizes are equal.
void DrawFitted(const QImage& picture, QImage& drawn, int top, int bottom);

}  // namespace morvane
