// The orientation a file records for its pixels (the TIFF/EXIF Orientation tag,
// 1 to 8), applied so that the picture stands upright.
#pragma once

#include <QImage>

namespace morvane {

// The picture turned and mirrored as orientation says; 1 or an unknown value
// leaves it as it is. Keeps the pixel format, the colour table and the
// resolution (swapped when the picture turns a quarter). Throws std::bad_alloc
// when there is no memory for the result.
QImage applyOrientation(const QImage& image, int orientation);

}  // namespace morvane
