#include "toolkit/image_io.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPixelFormat>
#include <QRgba64>
#include <QSaveFile>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "toolkit/bmp_reader.h"
#include "toolkit/formats.h"
#include "toolkit/image_memory.h"
#include "toolkit/jpeg_file.h"
#include "toolkit/library_readers.h"
#include "toolkit/pnm_file.h"
#include "toolkit/tiff_file.h"

namespace morvane {

namespace {

// Qt's reader allocation limit, in megabytes, set to the BMP reader's for one
// read and given back afterwards.
class QtLimitScope {
 public:
  QtLimitScope() : previous_(QImageReader::allocationLimit()) {
    QImageReader::setAllocationLimit(
        static_cast<int>(std::max<std::int64_t>(1, bmpAllocationLimit() >> 20)));
  }
  ~QtLimitScope() { QImageReader::setAllocationLimit(previous_); }
  QtLimitScope(const QtLimitScope&) = delete;
  QtLimitScope& operator=(const QtLimitScope&) = delete;

 private:
  int previous_;
};

std::uint16_t le16(const QByteArray& b, qsizetype at) {
  return static_cast<std::uint16_t>(static_cast<uchar>(b[at]) | static_cast<uchar>(b[at + 1]) << 8);
}

// Pixels a GIF's LZW data gives before it ends (stops counting at `need`).
std::int64_t lzwPixels(const QByteArray& data, int minimum, std::int64_t need) {
  if (minimum < 1 || minimum > 11) return 0;
  const int clear = 1 << minimum;
  int codeSize = minimum + 1;
  int next = clear + 2;
  int prev = -1;
  std::int64_t pixels = 0;
  std::int64_t bit = 0;
  const std::int64_t bits = std::int64_t{data.size()} * 8;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.constData());
  std::vector<std::int64_t> length(4096, 1);
  while (pixels < need && bit + codeSize <= bits) {
    int code = 0;
    for (int k = 0; k < codeSize; ++k, ++bit) code |= ((bytes[bit >> 3] >> (bit & 7)) & 1) << k;
    if (code == clear) {
      codeSize = minimum + 1;
      next = clear + 2;
      prev = -1;
      continue;
    }
    if (code == clear + 1) break;  // end of information
    if (prev < 0) {
      if (code > clear) break;
      ++pixels;
      prev = code;
      continue;
    }
    if (code > next) break;
    pixels += code < next ? length[code] : length[prev] + 1;
    if (next < 4096) {
      length[next++] = length[prev] + 1;
      if (next == (1 << codeSize) && codeSize < 12) ++codeSize;
    }
    prev = code;
  }
  return pixels;
}

// True when a GIF holds its first frame whole: every block up to it is there
// and its compressed data gives every pixel of the frame.
bool gifFirstFrameWhole(const QByteArray& b) {
  if (b.size() < 13) return false;
  qsizetype at = 13;
  if (b[10] & 0x80) at += 3 * (qsizetype{1} << ((b[10] & 7) + 1));
  const auto subBlocks = [&](QByteArray* into) {
    while (at < b.size()) {
      const int n = static_cast<uchar>(b[at++]);
      if (n == 0) return true;
      if (at + n > b.size()) return false;
      if (into) into->append(b.constData() + at, n);
      at += n;
    }
    return false;
  };
  while (at < b.size()) {
    const uchar block = static_cast<uchar>(b[at++]);
    if (block == 0x21) {  // extension: label, then sub-blocks
      ++at;
      if (!subBlocks(nullptr)) return false;
    } else if (block == 0x2c) {  // image descriptor
      if (at + 10 > b.size()) return false;
      const std::int64_t pixels = std::int64_t{le16(b, at + 4)} * le16(b, at + 6);
      const uchar flags = static_cast<uchar>(b[at + 8]);
      at += 9;
      if (flags & 0x80) at += 3 * (qsizetype{1} << ((flags & 7) + 1));
      if (at >= b.size()) return false;
      const int minimum = static_cast<uchar>(b[at++]);
      QByteArray data;
      if (!subBlocks(&data)) return false;
      return lzwPixels(data, minimum, pixels) >= pixels;
    } else {
      return false;  // the trailer or anything else before a frame
    }
  }
  return false;
}

QByteArray head(const QString& fileName, qint64 size) {
  QFile file(fileName);
  return file.open(QIODevice::ReadOnly) ? file.read(size) : QByteArray();
}

QImage checked(QImage image) {
  if (image.isNull()) throw std::bad_alloc();
  return image;
}

// Pixels in a page buffer, as the BMP reader's pictures.
QImage blank(int width, int height, QImage::Format format) {
  return checked(NewImage(width, height, format));
}

void keepResolution(const QImage& from, QImage& to) {
  to.setDotsPerMeterX(from.dotsPerMeterX());
  to.setDotsPerMeterY(from.dotsPerMeterY());
}

QList<QRgb> grayRamp() {
  QList<QRgb> table;
  table.reserve(256);
  for (int g = 0; g < 256; ++g) table.append(qRgb(g, g, g));
  return table;
}

// A 16-bit sample brought to 8 bits: v * 255 / 65535 to the nearest (never a tie).
std::uint8_t reduce16(std::uint16_t v) {
  return static_cast<std::uint8_t>((v * 255u + 32767u) / 65535u);
}

// Gray levels (8 or 16 bits) as an Indexed8 picture on the identity gray ramp.
QImage grayIndexed(const QImage& gray) {
  QImage out = blank(gray.width(), gray.height(), QImage::Format_Indexed8);
  out.setColorTable(grayRamp());
  const int width = gray.width();
  for (int y = 0; y < gray.height(); ++y) {
    uchar* line = out.scanLine(y);
    if (gray.format() == QImage::Format_Grayscale8) {
      std::memcpy(line, gray.constScanLine(y), static_cast<std::size_t>(width));
    } else {
      const auto* samples = reinterpret_cast<const std::uint16_t*>(gray.constScanLine(y));
      for (int x = 0; x < width; ++x) line[x] = reduce16(samples[x]);
    }
  }
  return out;
}

// Any colour picture as RGB32 with its colours as stored: alpha is dropped,
// nothing is composited or un-premultiplied; deeper channels are reduced by
// rounding.
QImage opaqueColour(const QImage& read) {
  const QPixelFormat pixelFormat = read.pixelFormat();
  const bool premultiplied = pixelFormat.premultiplied() == QPixelFormat::Premultiplied;
  QImage out = blank(read.width(), read.height(), QImage::Format_RGB32);
  const int width = read.width();
  if (pixelFormat.redSize() > 8) {
    const QImage::Format deep =
        premultiplied ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBA64;
    const QImage source = read.format() == QImage::Format_RGBX64 || read.format() == deep
                              ? read
                              : checked(read.convertToFormat(deep));
    for (int y = 0; y < read.height(); ++y) {
      const auto* in = reinterpret_cast<const QRgba64*>(source.constScanLine(y));
      auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
      for (int x = 0; x < width; ++x) {
        line[x] = qRgb(reduce16(in[x].red()), reduce16(in[x].green()), reduce16(in[x].blue()));
      }
    }
  } else {
    const QImage::Format wide =
        premultiplied ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32;
    const QImage source = read.format() == QImage::Format_RGB32 || read.format() == wide
                              ? read
                              : checked(read.convertToFormat(wide));
    for (int y = 0; y < read.height(); ++y) {
      const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
      auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
      for (int x = 0; x < width; ++x) line[x] = in[x] | 0xff000000u;
    }
  }
  return out;
}

// The picture's levels (the red channel of every pixel) as 8-bit gray.
QImage levelsOf(const QImage& image) {
  QImage out = blank(image.width(), image.height(), QImage::Format_Grayscale8);
  const int width = image.width();
  if (image.format() == QImage::Format_Indexed8) {
    std::uint8_t lookup[256] = {};
    for (int i = 0; i < std::min<int>(image.colorCount(), 256); ++i) {
      lookup[i] = static_cast<std::uint8_t>(qRed(image.color(i)));
    }
    for (int y = 0; y < image.height(); ++y) {
      const uchar* in = image.constScanLine(y);
      uchar* line = out.scanLine(y);
      for (int x = 0; x < width; ++x) line[x] = lookup[in[x]];
    }
  } else {
    const QImage rgb = image.format() == QImage::Format_RGB32
                           ? image
                           : checked(image.convertToFormat(QImage::Format_RGB32));
    for (int y = 0; y < image.height(); ++y) {
      const auto* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
      uchar* line = out.scanLine(y);
      for (int x = 0; x < width; ++x) line[x] = static_cast<uchar>(qRed(in[x]));
    }
  }
  return out;
}

// A palette picture with its table cut to the entries its pixels can reach (the
// in-memory table is padded to 256 entries); a two-colour one as 1 bit a pixel.
QImage trimmedPalette(const QImage& image) {
  int highest = 0;
  for (int y = 0; y < image.height(); ++y) {
    const uchar* line = image.constScanLine(y);
    highest = std::max<int>(highest, *std::max_element(line, line + image.width()));
  }
  if (highest > 1) {
    QImage out = checked(image.copy());
    out.setColorCount(highest + 1);
    return out;
  }
  QImage out = blank(image.width(), image.height(), QImage::Format_Mono);
  out.setColorTable({image.color(0), image.color(1)});
  for (int y = 0; y < image.height(); ++y) {
    const uchar* in = image.constScanLine(y);
    uchar* line = out.scanLine(y);
    std::memset(line, 0, static_cast<std::size_t>(out.bytesPerLine()));
    for (int x = 0; x < image.width(); ++x) {
      if (in[x]) line[x >> 3] |= static_cast<uchar>(0x80u >> (x & 7));
    }
  }
  return out;
}

bool grayTable(const QImage& image) {
  const QList<QRgb> table = image.colorTable();
  return std::all_of(table.begin(), table.end(),
                     [](QRgb c) { return qRed(c) == qGreen(c) && qGreen(c) == qBlue(c); });
}

// The picture as it is handed to the writer of a format, or nothing when the
// format cannot hold its levels.
std::optional<QImage> prepared(const QImage& image, bool gray, const QByteArray& format) {
  const bool palette = image.format() == QImage::Format_Indexed8 && !gray;
  QImage out;
  if (format == "png" || format == "tiff") {
    out = gray      ? levelsOf(image)
          : palette ? trimmedPalette(image)
                    : checked(image.convertToFormat(QImage::Format_RGB888));
  } else if (format == "jpeg") {
    // A table of grays loses nothing as a gray JPEG; any other colour stays colour.
    out = gray || (palette && grayTable(image))
              ? levelsOf(image)
              : checked(image.convertToFormat(QImage::Format_RGB888));
  } else if (format == "pgm") {
    out = levelsOf(image);
  } else if (format == "pbm") {
    // Only black and white: any other level would be lost.
    const QImage levels = levelsOf(image);
    for (int y = 0; y < levels.height(); ++y) {
      const uchar* line = levels.constScanLine(y);
      if (!std::all_of(line, line + levels.width(), [](uchar v) { return v == 0 || v == 255; })) {
        return std::nullopt;
      }
    }
    out = checked(levels.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither));
  } else {  // ppm, webp
    out = checked(image.convertToFormat(QImage::Format_RGB888));
  }
  keepResolution(image, out);
  return out;
}

// Writes bytes through a temporary file renamed over fileName.
bool commitBytes(const QString& fileName, const QByteArray& encoded) {
  QSaveFile file(fileName);
  file.setDirectWriteFallback(false);
  // Unbuffered: a short write (a full disk, a file size limit) is seen here;
  // buffered, Qt's flush loses it and the commit calls the file complete.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
  if (file.write(encoded) != encoded.size()) {
    file.cancelWriting();
    file.commit();  // discards the temporary file
    return false;
  }
  return file.commit();
}

}  // namespace

bool startsAsBmp(const QString& fileName) {
  if (!QFileInfo(fileName).isFile()) return false;
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return false;
  return file.read(2) == "BM";
}

std::optional<DecodedPicture> readPicture(const QString& fileName) {
  // A pipe or a device would block the reader or never end.
  if (!QFileInfo(fileName).isFile()) return std::nullopt;
  const QByteArray start = head(fileName, 16);
  if (looksLikeTiff(start)) return readTiff(fileName, bmpAllocationLimit());
  if (looksLikePnm(start)) return readPnm(fileName, bmpAllocationLimit());
  bool handled = false;
  std::optional<DecodedPicture> own = readWithFormatLibrary(fileName, handled);
  if (handled) return own;
  const QtLimitScope limit;
  QImageReader reader(fileName);
  reader.setDecideFormatFromContent(true);
  reader.setAutoTransform(false);
  // Only the formats the program names; a GIF only with its first frame whole.
  const QByteArray format = reader.format();
  const auto known = std::find_if(
      pictureFormats().begin(), pictureFormats().end(),
      [&](const PictureFormat& f) { return f.reader == Coder::Qt && format == f.name; });
  if (known == pictureFormats().end()) return std::nullopt;
  if (format == "gif") {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || !gifFirstFrameWhole(file.readAll())) return std::nullopt;
  }
  DecodedPicture decoded;
  // Counted before the read: once a page is read, some readers count from it.
  decoded.pageCount = std::max(1, reader.imageCount());
  QImage read;
  if (!reader.read(&read) || read.isNull()) return std::nullopt;
  // Qt's limit counts whole megabytes: the picture kept is held to the same
  // limit as every other format's, so whatever opens can be saved and opened
  // again.
  if (read.sizeInBytes() > bmpAllocationLimit()) return std::nullopt;

  switch (read.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
      decoded.image = checked(read.convertToFormat(QImage::Format_Indexed8));
      decoded.bitsPerPixel = 1;
      break;
    case QImage::Format_Indexed8:
      decoded.image = read;
      decoded.bitsPerPixel = 8;
      break;
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
      decoded.image = grayIndexed(read);
      decoded.bitsPerPixel = 8;
      decoded.gray = true;
      break;
    default:
      decoded.image = opaqueColour(read);
      decoded.bitsPerPixel = 24;
      break;
  }
  if (decoded.image.format() == QImage::Format_Indexed8) {
    // Transparent palette entries count as their colours.
    QList<QRgb> table = decoded.image.colorTable();
    for (QRgb& colour : table) colour |= 0xff000000u;
    decoded.image.setColorTable(table);
  }
  keepResolution(read, decoded.image);
  if (format == "gif") clearResolution(decoded.image);  // a GIF holds none
  return decoded;
}

int filePageCount(const QString& fileName) {
  if (!QFileInfo(fileName).isFile()) return 0;
  return looksLikeTiff(head(fileName, 16)) ? tiffPageCount(fileName) : 1;
}

QByteArray writtenFormat(const QString& fileName) {
  if (QFileInfo(fileName).suffix().isEmpty()) return "bmp";
  const PictureFormat* format = formatOfName(fileName);
  if (format == nullptr || format->writer == Coder::None) return {};
  return format->name;
}

bool writePicture(const QString& fileName, const QByteArray& format, const QImage& image,
                  bool gray) {
  if (format == "tiff" || format == "pgm" || format == "ppm" || format == "pbm" ||
      format == "pnm") {
    std::optional<QByteArray> own;
    try {
      own = format == "tiff" ? encodeTiff(image, gray) : encodePnm(image, gray, format);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return own && commitBytes(fileName, *own);
  }
  std::optional<QImage> target;
  try {
    target = prepared(image, gray, format);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!target) return false;
  // Encoded in memory first: the TIFF writer seeks back over what it wrote and
  // so loses a failed write on the file, calling the file complete.
  QByteArray encoded;
  {
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (format == "webp") writer.setQuality(100);  // 100 selects the lossless encoding
    if (format == "jpeg" ? !encodeJpeg(*target, 95, encoded) : !writer.write(*target)) return false;
  }
  return commitBytes(fileName, encoded);
}

}  // namespace morvane
