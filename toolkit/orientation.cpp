#include "toolkit/orientation.h"

#include <QTransform>
#include <new>

namespace morvane {

QImage applyOrientation(const QImage& image, int orientation) {
  if (orientation < 2 || orientation > 8 || image.isNull()) return image;
  // 2 mirrored, 3 upside down, 4 flipped, 5 transposed, 6 turned a quarter
  // anticlockwise (shown turning it clockwise), 7 transversed, 8 turned clockwise.
  const bool mirror = orientation == 2 || orientation == 4 || orientation == 5 || orientation == 7;
  const int turn = orientation == 3 || orientation == 4   ? 180
                   : orientation == 6 || orientation == 7 ? 90
                   : orientation == 5 || orientation == 8 ? 270
                                                          : 0;
  QImage out = mirror ? image.mirrored(true, false) : image;
  if (turn != 0) out = out.transformed(QTransform().rotate(turn));
  if (out.isNull()) throw std::bad_alloc();
  if (turn == 90 || turn == 270) {
    out.setDotsPerMeterX(image.dotsPerMeterY());
    out.setDotsPerMeterY(image.dotsPerMeterX());
  } else {
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
  }
  if (image.format() == QImage::Format_Indexed8) out.setColorTable(image.colorTable());
  return out;
}

}  // namespace morvane
