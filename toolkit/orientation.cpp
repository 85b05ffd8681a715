#include "toolkit/orientation.h"

#include <cstring>
#include <new>

#include "toolkit/image_memory.h"

namespace morvane {

int exifOrientation(const std::uint8_t* data, std::size_t size) {
  if (size >= 6 && std::memcmp(data, "Exif\0\0", 6) == 0) {
    data += 6;
    size -= 6;
  }
  if (size < 8) return 1;
  const bool little = data[0] == 'I' && data[1] == 'I';
  if (!little && !(data[0] == 'M' && data[1] == 'M')) return 1;
  const auto u16 = [&](std::size_t at) -> unsigned {
    return little ? data[at] | data[at + 1] << 8 : data[at] << 8 | data[at + 1];
  };
  const auto u32 = [&](std::size_t at) -> std::uint32_t {
    return little ? u16(at) | std::uint32_t{u16(at + 2)} << 16
                  : std::uint32_t{u16(at)} << 16 | u16(at + 2);
  };
  if (u16(2) != 42) return 1;
  const std::uint32_t directory = u32(4);
  if (directory > size - 2) return 1;
  const unsigned entries = u16(directory);
  for (unsigned i = 0; i < entries; ++i) {
    const std::size_t at = directory + 2 + 12 * std::size_t{i};
    if (at + 12 > size) return 1;
    // Orientation: one SHORT, held in the entry itself.
    if (u16(at) == 0x0112) {
      const unsigned value = u16(at + 8);
      return u16(at + 2) == 3 && u32(at + 4) == 1 && value >= 1 && value <= 8 ? int(value) : 1;
    }
  }
  return 1;
}

QImage applyOrientation(const QImage& image, int orientation) {
  if (orientation < 2 || orientation > 8 || image.isNull()) return image;
  const int w = image.width(), h = image.height();
  const bool transposed = orientation >= 5;
  QImage out = NewImage(transposed ? h : w, transposed ? w : h, image.format());
  out.setColorTable(image.colorTable());
  out.setDotsPerMeterX(transposed ? image.dotsPerMeterY() : image.dotsPerMeterX());
  out.setDotsPerMeterY(transposed ? image.dotsPerMeterX() : image.dotsPerMeterY());
  // Stored pixel (x, y) is seen at (cx + xx * x + xy * y, cy + yx * x + yy * y).
  int cx = 0, xx = 1, xy = 0, cy = 0, yx = 0, yy = 1;
  switch (orientation) {
    case 2:
      cx = w - 1, xx = -1;
      break;
    case 3:
      cx = w - 1, xx = -1, cy = h - 1, yy = -1;
      break;
    case 4:
      cy = h - 1, yy = -1;
      break;
    case 5:
      xx = 0, xy = 1, yx = 1, yy = 0;
      break;
    case 6:
      cx = h - 1, xx = 0, xy = -1, yx = 1, yy = 0;
      break;
    case 7:
      cx = h - 1, xx = 0, xy = -1, cy = w - 1, yx = -1, yy = 0;
      break;
    default:
      xx = 0, xy = 1, cy = w - 1, yx = -1, yy = 0;
      break;  // 8
  }
  const qsizetype bytes = image.depth() / 8, line = out.bytesPerLine();
  uchar* const base = out.bits();
  // Byte steps in the result for one step along a stored row.
  const qsizetype step = yx * line + xx * bytes;
  for (int y = 0; y < h; ++y) {
    const uchar* in = image.constScanLine(y);
    qsizetype at = (cy + yy * qsizetype{y}) * line + (cx + xy * qsizetype{y}) * bytes;
    if (bytes == 1) {
      for (int x = 0; x < w; ++x, at += step) base[at] = in[x];
    } else {
      for (int x = 0; x < w; ++x, at += step) std::memcpy(base + at, in + 4 * x, 4);
    }
  }
  return out;
}

}  // namespace morvane
