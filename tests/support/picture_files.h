// Pictures and their files, shared by the tests and the fuzzing target.
#pragma once

#include <QFile>
#include <QImage>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "toolkit/picture.h"

namespace morvane {

inline QByteArray fileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFileBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Every colour (0x00BBGGRR) of a picture, row by row.
inline std::vector<std::uint32_t> colours(const Picture& p) {
  std::vector<std::uint32_t> out;
  for (int y = 0; y < p.height(); ++y)
    for (int x = 0; x < p.width(); ++x) out.push_back(p.pixel(x, y));
  return out;
}

// Every level of a picture, row by row.
inline std::vector<int> levels(const Picture& p) {
  std::vector<int> out;
  std::vector<std::uint8_t> row(static_cast<std::size_t>(p.width()));
  for (int y = 0; y < p.height(); ++y) {
    p.readLevels(y, row.data());
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

// A picture of the given bit count. Palette pictures use every entry; colour
// ones use channel values that 5 bits hold exactly (66 * k).
inline Picture makePicture(int bits, int width, int height) {
  const bool indexed = bits <= 8;
  QImage image(width, height, indexed ? QImage::Format_Indexed8 : QImage::Format_RGB32);
  if (indexed) image.setColorCount(1 << bits);
  for (int i = 0; i < image.colorCount(); ++i) image.setColor(i, qRgb(i * 97 % 256, i, 255 - i));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.setPixel(x, y,
                     indexed ? uint((x * 3 + y * 5) % (1 << bits))
                             : qRgb(66 * (x % 4), 66 * (y % 4), 66 * ((x + y) / 2 % 4)));
  Picture picture;
  picture.setImage(image, bits);
  return picture;
}

// A width x height picture of level(x, y), asked row by row: with `levels`
// gray palette entries, or (levels 0) 24-bit colour whose red channel holds it.
template <class Level>
QImage levelPicture(int width, int height, int levels, Level level) {
  QImage image(width, height, levels > 0 ? QImage::Format_Indexed8 : QImage::Format_RGB32);
  if (levels > 0) image.setColorCount(levels);
  for (int i = 0, g = 0; i < levels; ++i, g = i * 255 / (levels - 1))
    image.setColor(i, qRgb(g, g, g));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int g = level(x, y);
      image.setPixel(x, y,
                     levels > 0 ? uint(g * (levels - 1) / 255) : qRgb(g, (g * 7) % 256, 255 - g));
    }
  return image;
}

// Fills blocks of many sizes (and of about `around` bytes) with `byte` and frees
// them, so that memory a reader or writer leaves unset holds something else.
inline void fillHeap(std::size_t around, unsigned char byte) {
  std::vector<std::unique_ptr<unsigned char[]>> blocks;
  std::vector<std::size_t> sizes = {around, around + 64, around + 4096};
  for (std::size_t s = 16; s <= (std::size_t{1} << 20); s *= 2) sizes.push_back(s);
  for (std::size_t s : sizes) {
    if (s == 0 || s > (std::size_t{64} << 20)) continue;
    blocks.emplace_back(new unsigned char[s]);
    std::memset(blocks.back().get(), byte, s);
  }
}

}  // namespace morvane
