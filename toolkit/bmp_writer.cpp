#include "toolkit/bmp_writer.h"

#include <QIODevice>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace morvane {

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;

void put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  out[at] = static_cast<std::uint8_t>(value);
  out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  put16(out, at, value & 0xffffu);
  put16(out, at + 2, value >> 16);
}

// Fills row (the file's bytes of one picture row, padding included) from line.
void encodeRow(const uchar* line, int width, int bitsPerPixel, std::uint8_t* row) {
  switch (bitsPerPixel) {
    case 1:
      for (int x = 0; x < width; ++x) {
        if (line[x] & 1) row[x >> 3] |= static_cast<std::uint8_t>(0x80u >> (x & 7));
      }
      break;
    case 4:
      for (int x = 0; x < width; ++x) {
        const std::uint8_t nibble = line[x] & 0x0f;
        row[x >> 1] |= (x & 1) ? nibble : static_cast<std::uint8_t>(nibble << 4);
      }
      break;
    case 8:
      std::memcpy(row, line, static_cast<std::size_t>(width));
      break;
    case 16: {
      const auto* pixels = reinterpret_cast<const std::uint16_t*>(line);
      for (int x = 0; x < width; ++x) {
        row[2 * x] = static_cast<std::uint8_t>(pixels[x]);
        row[2 * x + 1] = static_cast<std::uint8_t>((pixels[x] >> 8) & 0x7f);
      }
      break;
    }
    case 24: {
      const auto* pixels = reinterpret_cast<const QRgb*>(line);
      for (int x = 0; x < width; ++x) {
        row[3 * x] = static_cast<std::uint8_t>(qBlue(pixels[x]));
        row[3 * x + 1] = static_cast<std::uint8_t>(qGreen(pixels[x]));
        row[3 * x + 2] = static_cast<std::uint8_t>(qRed(pixels[x]));
      }
      break;
    }
    default: {
      const auto* pixels = reinterpret_cast<const QRgb*>(line);
      for (int x = 0; x < width; ++x) {
        row[4 * x] = static_cast<std::uint8_t>(qBlue(pixels[x]));
        row[4 * x + 1] = static_cast<std::uint8_t>(qGreen(pixels[x]));
        row[4 * x + 2] = static_cast<std::uint8_t>(qRed(pixels[x]));
        row[4 * x + 3] = 0;
      }
      break;
    }
  }
}

bool writeAll(QIODevice& device, const std::uint8_t* data, std::size_t size) {
  return device.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) ==
         static_cast<qint64>(size);
}

}  // namespace

QImage::Format formatForBits(int bitsPerPixel) {
  switch (bitsPerPixel) {
    case 1:
    case 4:
    case 8:
      return QImage::Format_Indexed8;
    case 16:
      return QImage::Format_RGB555;
    default:
      return QImage::Format_RGB32;
  }
}

bool writeBmp(QIODevice& device, const QImage& source, int bitsPerPixel) {
  if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 16 &&
      bitsPerPixel != 24 && bitsPerPixel != 32) {
    return false;
  }
  if (source.isNull()) return false;
  const QImage::Format format = formatForBits(bitsPerPixel);
  const QImage image = source.format() == format ? source : source.convertToFormat(format);
  if (image.isNull()) return false;

  const int width = image.width();
  const int height = image.height();
  const std::uint64_t rowBytes = ((static_cast<std::uint64_t>(width) * bitsPerPixel + 31) / 32) * 4;
  const std::uint32_t paletteEntries = bitsPerPixel <= 8 ? (1u << bitsPerPixel) : 0u;
  const std::uint64_t dataOffset = kFileHeaderSize + kInfoHeaderSize + 4ull * paletteEntries;
  const std::uint64_t imageBytes = rowBytes * static_cast<std::uint64_t>(height);
  const std::uint64_t fileBytes = dataOffset + imageBytes;
  if (fileBytes > std::numeric_limits<std::uint32_t>::max()) return false;

  std::vector<std::uint8_t> header(static_cast<std::size_t>(dataOffset), 0);
  header[0] = 'B';
  header[1] = 'M';
  put32(header, 2, static_cast<std::uint32_t>(fileBytes));
  put32(header, 10, static_cast<std::uint32_t>(dataOffset));
  put32(header, 14, kInfoHeaderSize);
  put32(header, 18, static_cast<std::uint32_t>(width));
  put32(header, 22, static_cast<std::uint32_t>(height));  // positive: rows bottom-up
  put16(header, 26, 1);                                   // planes
  put16(header, 28, static_cast<std::uint32_t>(bitsPerPixel));
  put32(header, 30, 0);  // BI_RGB
  put32(header, 34, static_cast<std::uint32_t>(imageBytes));
  put32(header, 38,
        static_cast<std::uint32_t>(image.dotsPerMeterX() > 0 ? image.dotsPerMeterX() : 0));
  put32(header, 42,
        static_cast<std::uint32_t>(image.dotsPerMeterY() > 0 ? image.dotsPerMeterY() : 0));
  put32(header, 46, 0);  // all 2^bits palette entries are present
  put32(header, 50, 0);
  for (std::uint32_t i = 0; i < paletteEntries; ++i) {
    const QRgb colour =
        static_cast<int>(i) < image.colorCount() ? image.color(static_cast<int>(i)) : qRgb(0, 0, 0);
    const std::size_t at = kFileHeaderSize + kInfoHeaderSize + 4 * i;
    header[at] = static_cast<std::uint8_t>(qBlue(colour));
    header[at + 1] = static_cast<std::uint8_t>(qGreen(colour));
    header[at + 2] = static_cast<std::uint8_t>(qRed(colour));
    header[at + 3] = 0;
  }
  if (!writeAll(device, header.data(), header.size())) return false;

  std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes));
  for (int y = height - 1; y >= 0; --y) {
    std::fill(row.begin(), row.end(), 0);
    encodeRow(image.constScanLine(y), width, bitsPerPixel, row.data());
    if (!writeAll(device, row.data(), row.size())) return false;
  }
  return true;
}

}  // namespace morvane
