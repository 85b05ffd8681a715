#include "toolkit/image_memory.h"

#include <cstring>
#include <new>

#include "workspace/pages.h"

namespace morvane {

namespace {

void ReleaseBuffer(void* info) {
  delete static_cast<PageBuffer*>(info);
}

}  // namespace

QImage NewImage(int width, int height, QImage::Format format) {
  if (width <= 0 || height <= 0) return QImage();
  // Bits a pixel takes in memory (a 5-5-5 pixel counts 15 bits but takes 16).
  const int bits = QImage::toPixelFormat(format).bitsPerPixel();
  const int depth = bits <= 1 ? 1 : (bits + 7) / 8 * 8;
  // Rows padded to 32 bits, as Qt lays them out itself.
  const qint64 bytesPerLine = (static_cast<qint64>(width) * depth + 31) / 32 * 4;
  if (bytesPerLine > (qint64{1} << 31) - 1) throw std::bad_alloc();
  const qint64 bytes = bytesPerLine * height;
  auto* buffer = new PageBuffer(static_cast<std::size_t>(bytes));
  QImage image(buffer->data(), width, height, static_cast<qsizetype>(bytesPerLine), format,
               &ReleaseBuffer, buffer);
  if (image.isNull()) {
    delete buffer;
    throw std::bad_alloc();
  }
  return image;
}

QImage CopyImage(const QImage& image) {
  if (image.isNull()) return QImage();
  QImage copy = NewImage(image.width(), image.height(), image.format());
  const std::size_t row =
      static_cast<std::size_t>(std::min(image.bytesPerLine(), copy.bytesPerLine()));
  for (int y = 0; y < image.height(); ++y)
    std::memcpy(copy.scanLine(y), image.constScanLine(y), row);
  copy.setColorTable(image.colorTable());
  copy.setDotsPerMeterX(image.dotsPerMeterX());
  copy.setDotsPerMeterY(image.dotsPerMeterY());
  return copy;
}

}  // namespace morvane
