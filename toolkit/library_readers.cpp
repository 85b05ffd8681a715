#include "toolkit/library_readers.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>

#include "toolkit/bmp_reader.h"
#include "toolkit/image_memory.h"
#include "toolkit/jpeg_file.h"
#include "toolkit/png_file.h"
#include "toolkit/resolution.h"
#include "toolkit/webp_file.h"

namespace morvane {

namespace {

QImage noResolution(QImage image) {
  setResolution(image, 0, 0);
  return image;
}

}  // namespace

std::optional<DecodedPicture> readWithFormatLibrary(const QString& fileName, bool& handled) {
  handled = false;
  if (!QFileInfo(fileName).isFile()) return std::nullopt;
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray head = file.peek(12);
  const auto starts = [&](const char* magic, qsizetype size, qsizetype at = 0) {
    return head.size() >= at + size && std::memcmp(head.constData() + at, magic, size) == 0;
  };
  std::optional<DecodedPicture> (*decode)(const std::uint8_t*, std::size_t) = nullptr;
  if (starts("\xff\xd8\xff", 3)) {
    decode = decodeJpeg;
  } else if (starts("\x89PNG\r\n\x1a\n", 8)) {
    decode = decodePng;
  } else if (starts("RIFF", 4) && starts("WEBP", 4, 8)) {
    decode = decodeWebp;
  } else {
    return std::nullopt;
  }
  handled = true;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return std::nullopt;
  return decode(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                static_cast<std::size_t>(bytes.size()));
}

bool withinReadLimit(std::int64_t width, std::int64_t height, int bytesPerPixel) {
  return width > 0 && height > 0 && width <= 0x7fffffff && height <= 0x7fffffff &&
         width * height <= bmpAllocationLimit() / bytesPerPixel;
}

QImage grayPicture(int width, int height) {
  QImage image = noResolution(NewImage(width, height, QImage::Format_Indexed8));
  QList<QRgb> ramp;
  ramp.reserve(256);
  for (int g = 0; g < 256; ++g) ramp.append(qRgb(g, g, g));
  image.setColorTable(ramp);
  return image;
}

QImage colourPicture(int width, int height) {
  return noResolution(NewImage(width, height, QImage::Format_RGB32));
}

bool allGray(const QImage& rgb32, int spread) {
  for (int y = 0; y < rgb32.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(rgb32.constScanLine(y));
    for (int x = 0; x < rgb32.width(); ++x) {
      const int r = qRed(line[x]), g = qGreen(line[x]), b = qBlue(line[x]);
      if (std::max({r, g, b}) - std::min({r, g, b}) > spread) return false;
    }
  }
  return true;
}

QImage grayFromColour(const QImage& rgb32) {
  QImage gray = grayPicture(rgb32.width(), rgb32.height());
  gray.setDotsPerMeterX(rgb32.dotsPerMeterX());
  gray.setDotsPerMeterY(rgb32.dotsPerMeterY());
  for (int y = 0; y < rgb32.height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(rgb32.constScanLine(y));
    uchar* line = gray.scanLine(y);
    for (int x = 0; x < rgb32.width(); ++x) line[x] = static_cast<uchar>(qRed(in[x]));
  }
  return gray;
}

}  // namespace morvane
