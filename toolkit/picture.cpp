#include "toolkit/picture.h"

#include <QSaveFile>
#include <cstring>
#include <new>
#include <optional>

#include "toolkit/bmp_reader.h"
#include "toolkit/bmp_writer.h"
#include "toolkit/errors.h"
#include "toolkit/formats.h"
#include "toolkit/image_io.h"
#include "toolkit/image_memory.h"

namespace morvane {

namespace {

QString quoted(const QString& fileName) {
  return QStringLiteral("«%1»").arg(fileName);
}

[[noreturn]] void cannotOpen(const QString& fileName) {
  throw ToolkitError(
      QStringLiteral("No se puede abrir el fichero %1").arg(quoted(fileName)).toStdString());
}

[[noreturn]] void cannotSave(const QString& fileName) {
  throw ToolkitError(
      QStringLiteral("No se puede guardar el fichero %1").arg(quoted(fileName)).toStdString());
}

constexpr std::uint32_t fromQRgb(QRgb rgb) {
  return ((rgb >> 16) & 0xffu) | (rgb & 0xff00u) | ((rgb & 0xffu) << 16);
}
constexpr QRgb toQRgb(std::uint32_t colour) {
  return 0xff000000u | ((colour & 0xffu) << 16) | (colour & 0xff00u) | ((colour >> 16) & 0xffu);
}

// 5-bit channel widened to 8 bits the way the view draws it.
constexpr std::uint32_t widen5(std::uint32_t v) {
  return (v << 3) | (v >> 2);
}
constexpr std::uint32_t from555(std::uint16_t v) {
  return widen5((v >> 10) & 31u) | (widen5((v >> 5) & 31u) << 8) | (widen5(v & 31u) << 16);
}
constexpr std::uint16_t to555(std::uint32_t colour) {
  return static_cast<std::uint16_t>((((colour & 0xffu) >> 3) << 10) |
                                    (((colour >> 8 & 0xffu) >> 3) << 5) |
                                    ((colour >> 16 & 0xffu) >> 3));
}

}  // namespace

Picture::Picture(const Picture& other)
    : image_(CopyImage(other.image_)),
      bitsPerPixel_(other.bitsPerPixel_),
      gray_(other.gray_),
      pageCount_(other.pageCount_),
      paletteSize_(other.paletteSize_),
      grayIdentity_(other.grayIdentity_) {
  std::memcpy(grayIndex_, other.grayIndex_, sizeof grayIndex_);
  std::memcpy(palette_, other.palette_, sizeof palette_);
}

Picture& Picture::operator=(const Picture& other) {
  if (this != &other) *this = Picture(other);
  return *this;
}

void Picture::load(const QString& fileName) {
  if (!startsAsBmp(fileName)) {
    std::optional<DecodedPicture> decoded = readPicture(fileName);
    if (!decoded) cannotOpen(fileName);
    Picture loaded;
    loaded.setImage(decoded->image, decoded->bitsPerPixel);
    loaded.gray_ = decoded->gray;
    loaded.pageCount_ = decoded->pageCount;
    *this = std::move(loaded);
    return;
  }

  std::optional<DecodedBmp> read = readBmpFile(fileName);
  if (!read) cannotOpen(fileName);

  // Taken over rather than shared, so that settling the palette copies nothing.
  Picture loaded;
  loaded.image_ = std::move(read->image);
  loaded.bitsPerPixel_ = read->bitsPerPixel;
  loaded.normalise();
  *this = std::move(loaded);
}

void Picture::save(const QString& fileName) const {
  if (isEmpty()) {
    throw ToolkitError(QStringLiteral("No se puede guardar el fichero %1: no hay ninguna imagen")
                           .arg(quoted(fileName))
                           .toStdString());
  }
  const QByteArray format = writtenFormat(fileName);
  if (format.isEmpty()) {
    throw ToolkitError(
        QStringLiteral("No se puede guardar el fichero %1: la extensión no es de ningún formato "
                       "conocido (se admiten .%2)")
            .arg(quoted(fileName), writtenExtensions().join(QStringLiteral(", .")))
            .toStdString());
  }
  if (format != "bmp") {
    if (!writePicture(fileName, format, image_, gray_)) cannotSave(fileName);
    return;
  }
  QSaveFile file(fileName);
  file.setDirectWriteFallback(false);
  // Unbuffered, so that a short write is seen (Qt's buffered flush loses it).
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) cannotSave(fileName);
  if (!writeBmp(file, image_, bitsPerPixel_)) {
    file.cancelWriting();
    file.commit();  // discards the temporary file
    cannotSave(fileName);
  }
  if (!file.commit()) cannotSave(fileName);
}

void Picture::setImage(const QImage& image, int bitsPerPixel) {
  image_ = image;
  bitsPerPixel_ = bitsPerPixel;
  gray_ = false;
  pageCount_ = 1;
  normalise();
}

void Picture::normalise() {
  paletteSize_ = 0;
  grayIdentity_ = false;
  if (image_.isNull()) {
    if (bitsPerPixel_ != 1 && bitsPerPixel_ != 4 && bitsPerPixel_ != 8 && bitsPerPixel_ != 16 &&
        bitsPerPixel_ != 32) {
      bitsPerPixel_ = 24;
    }
    return;
  }
  const bool paletteImage = image_.format() == QImage::Format_Mono ||
                            image_.format() == QImage::Format_MonoLSB ||
                            image_.format() == QImage::Format_Indexed8;
  if (paletteImage) {
    if (bitsPerPixel_ != 1 && bitsPerPixel_ != 4) bitsPerPixel_ = 8;
  } else if (bitsPerPixel_ != 16 && bitsPerPixel_ != 32) {
    bitsPerPixel_ = 24;
  }
  const QImage::Format format = formatForBits(bitsPerPixel_);
  if (image_.format() != format) {
    image_ = image_.convertToFormat(format);
    if (image_.isNull()) throw std::bad_alloc();
  }
  if (format != QImage::Format_Indexed8) return;

  QList<QRgb> table = image_.colorTable();
  paletteSize_ = static_cast<int>(std::min<qsizetype>(table.size(), 256));
  if (bitsPerPixel_ < 8) {
    // Entries or indices beyond the bit count: the picture can only be kept as 8 bits.
    const int limit = 1 << bitsPerPixel_;
    bool fits = paletteSize_ <= limit;
    for (int y = 0; fits && y < image_.height(); ++y) {
      const uchar* line = image_.constScanLine(y);
      for (int x = 0; x < image_.width(); ++x) {
        if (line[x] >= limit) {
          fits = false;
          break;
        }
      }
    }
    if (!fits) bitsPerPixel_ = 8;
  }
  if (paletteSize_ == 0) {  // no table at all: read the indices as gray levels
    for (int i = 0; i < 256; ++i) table.append(qRgb(i, i, i));
    paletteSize_ = 256;
  }
  table.resize(256, qRgb(0, 0, 0));
  image_.setColorTable(table);
  for (int i = 0; i < 256; ++i) palette_[i] = fromQRgb(table[i]);
  rebuildGrayLookup();
  grayIdentity_ = true;
  for (int i = 0; i < 256 && grayIdentity_; ++i)
    grayIdentity_ = palette_[i] == grayColour(static_cast<std::uint8_t>(i));
}

void Picture::rebuildGrayLookup() {
  for (int level = 0; level < 256; ++level) {
    grayIndex_[level] = nearestIndex(grayColour(static_cast<std::uint8_t>(level)));
  }
}

std::uint8_t Picture::nearestIndex(std::uint32_t colour) const {
  const int r = static_cast<int>(colour & 0xffu);
  const int g = static_cast<int>((colour >> 8) & 0xffu);
  const int b = static_cast<int>((colour >> 16) & 0xffu);
  int best = 0;
  int bestDistance = 1 << 30;
  for (int i = 0; i < paletteSize_; ++i) {
    const int dr = static_cast<int>(palette_[i] & 0xffu) - r;
    const int dg = static_cast<int>((palette_[i] >> 8) & 0xffu) - g;
    const int db = static_cast<int>((palette_[i] >> 16) & 0xffu) - b;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
      if (distance == 0) break;
    }
  }
  return static_cast<std::uint8_t>(best);
}

std::uint32_t Picture::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return kOutsideColour;
  const uchar* line = image_.constScanLine(y);
  switch (image_.format()) {
    case QImage::Format_Indexed8:
      return palette_[line[x]];
    case QImage::Format_RGB555:
      return from555(reinterpret_cast<const std::uint16_t*>(line)[x]);
    default:
      return fromQRgb(reinterpret_cast<const QRgb*>(line)[x]);
  }
}

void Picture::setPixel(int x, int y, std::uint32_t colour) {
  if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return;
  uchar* line = image_.scanLine(y);
  switch (image_.format()) {
    case QImage::Format_Indexed8:
      line[x] = nearestIndex(colour);
      break;
    case QImage::Format_RGB555:
      reinterpret_cast<std::uint16_t*>(line)[x] = to555(colour);
      break;
    default:
      reinterpret_cast<QRgb*>(line)[x] = toQRgb(colour);
      break;
  }
}

void Picture::readLevels(int y, std::uint8_t* out) const {
  if (y < 0 || y >= image_.height()) return;
  const int width = image_.width();
  const uchar* line = image_.constScanLine(y);
  switch (image_.format()) {
    case QImage::Format_Indexed8:
      if (grayIdentity_) {
        std::memcpy(out, line, static_cast<std::size_t>(width));
        break;
      }
      for (int x = 0; x < width; ++x) out[x] = static_cast<std::uint8_t>(palette_[line[x]]);
      break;
    case QImage::Format_RGB555: {
      const auto* pixels = reinterpret_cast<const std::uint16_t*>(line);
      for (int x = 0; x < width; ++x) {
        out[x] = static_cast<std::uint8_t>(widen5((pixels[x] >> 10) & 31u));
      }
      break;
    }
    default: {
      const auto* pixels = reinterpret_cast<const QRgb*>(line);
      for (int x = 0; x < width; ++x) out[x] = static_cast<std::uint8_t>(pixels[x] >> 16);
      break;
    }
  }
}

void Picture::writeLevels(int y, const std::uint8_t* levels, int x0, int x1) {
  if (y < 0 || y >= image_.height()) return;
  x0 = std::max(x0, 0);
  x1 = std::min(x1, image_.width());
  if (x0 >= x1) return;
  uchar* line = image_.scanLine(y);
  switch (image_.format()) {
    case QImage::Format_Indexed8:
      if (grayIdentity_) {
        std::memcpy(line + x0, levels + x0, static_cast<std::size_t>(x1 - x0));
        break;
      }
      for (int x = x0; x < x1; ++x) line[x] = grayIndex_[levels[x]];
      break;
    case QImage::Format_RGB555: {
      auto* pixels = reinterpret_cast<std::uint16_t*>(line);
      for (int x = x0; x < x1; ++x) {
        const std::uint16_t v = levels[x] >> 3;
        pixels[x] = static_cast<std::uint16_t>((v << 10) | (v << 5) | v);
      }
      break;
    }
    default: {
      auto* pixels = reinterpret_cast<QRgb*>(line);
      for (int x = x0; x < x1; ++x) pixels[x] = 0xff000000u | (levels[x] * 0x010101u);
      break;
    }
  }
}

void Picture::copyRowFrom(const Picture& other, int y) {
  if (&other == this) return;
  if (y < 0 || y >= image_.height() || y >= other.image_.height()) return;
  const int width = std::min(image_.width(), other.image_.width());
  const bool samePalette = image_.format() != QImage::Format_Indexed8 ||
                           (paletteSize_ == other.paletteSize_ &&
                            std::memcmp(palette_, other.palette_, sizeof palette_) == 0);
  uchar* line = image_.scanLine(y);
  if (image_.format() == other.image_.format() && samePalette) {
    const int bytesPerPixel = image_.depth() / 8;
    std::memcpy(line, other.image_.constScanLine(y),
                static_cast<std::size_t>(width) * static_cast<std::size_t>(bytesPerPixel));
    return;
  }
  switch (image_.format()) {
    case QImage::Format_Indexed8: {
      // Neighbouring pixels often share a colour: search the palette once for each run.
      std::uint32_t last = other.pixel(0, y);
      std::uint8_t index = nearestIndex(last);
      for (int x = 0; x < width; ++x) {
        const std::uint32_t colour = other.pixel(x, y);
        if (colour != last) {
          last = colour;
          index = nearestIndex(colour);
        }
        line[x] = index;
      }
      break;
    }
    case QImage::Format_RGB555: {
      auto* pixels = reinterpret_cast<std::uint16_t*>(line);
      for (int x = 0; x < width; ++x) pixels[x] = to555(other.pixel(x, y));
      break;
    }
    default: {
      auto* pixels = reinterpret_cast<QRgb*>(line);
      for (int x = 0; x < width; ++x) pixels[x] = toQRgb(other.pixel(x, y));
      break;
    }
  }
}

}  // namespace morvane
