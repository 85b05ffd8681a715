#include "toolkit/bmp_reader.h"

#include "toolkit/formats.h"
#include "toolkit/image_memory.h"
#include "toolkit/resolution.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QList>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace morvane {

namespace {

constexpr std::int64_t kFileHeaderSize = 14;
// Enough for the largest info header, three masks and a full palette.
constexpr std::int64_t kLongestHeaders = kFileHeaderSize + 124 + 12 + 256 * 4;

std::atomic<std::int64_t> allocationLimit{std::int64_t{2048} * 1024 * 1024};

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

std::uint32_t le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// One colour channel of a bit-field pixel: where it sits and its largest
// value. A value v of a channel whose largest value is top reads as the level
// round(v * 255 / top), whatever the channel's width; a channel with no bits
// reads as 0.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint64_t top = 0;

  explicit Channel(std::uint32_t m = 0) : mask(m) {
    if (mask != 0) {
      while (!((mask >> shift) & 1u)) ++shift;
    }
    top = mask >> shift;
  }

  std::uint32_t level(std::uint32_t pixel) const {
    if (top == 0) return 0;
    const std::uint64_t v = (pixel & mask) >> shift;
    return static_cast<std::uint32_t>((2 * v * 255 + top) / (2 * top));
  }
};

// Everything the headers say, checked.
struct Layout {
  int width = 0;
  int height = 0;
  bool topDown = false;
  int bits = 0;
  std::uint32_t compression = kRgb;
  QList<QRgb> palette;
  Channel red, green, blue;
  // Where the pixel data starts in the file, and for plain rows their length.
  std::int64_t dataStart = 0;
  std::int64_t rowBytes = 0;
  // Bytes of pixel data the picture needs (plain rows; the last row's padding
  // may be missing). For run-length data: 0, the stream says where it ends.
  std::int64_t dataBytes = 0;
  int dotsPerMeterX = 0;
  int dotsPerMeterY = 0;
  QImage::Format format = QImage::Format_Invalid;
  std::int64_t imageBytes = 0;

  bool runLength() const { return compression == kRle8 || compression == kRle4; }
};

// The info header sizes that writers use.
bool knownInfoSize(std::int64_t size) {
  for (std::int64_t known : {12, 40, 52, 56, 64, 108, 124})
    if (size == known) return true;
  return false;
}

// The compressions each bit count may have.
bool compressionFits(const Layout& layout) {
  switch (layout.compression) {
    case kRgb:
      return true;
    case kRle8:
      return layout.bits == 8;
    case kRle4:
      return layout.bits == 4;
    case kBitFields:
      return layout.bits == 16 || layout.bits == 32;
    default:
      return false;
  }
}

// Size, bit count, compression, resolution and palette length (0: the bit
// count's) from the info header of `infoSize` bytes. False when they do not make
// a picture we read.
bool readInfo(const std::uint8_t* info, std::int64_t infoSize, Layout& layout,
              std::int64_t& colours) {
  std::int64_t width = 0;
  std::int64_t height = 0;
  int planes = 0;
  if (infoSize == 12) {  // OS/2 core header: unsigned 16-bit sizes, always bottom-up
    width = le16(info + 4);
    height = le16(info + 6);
    planes = le16(info + 8);
    layout.bits = le16(info + 10);
  } else {
    width = static_cast<std::int32_t>(le32(info + 4));
    height = static_cast<std::int32_t>(le32(info + 8));
    planes = le16(info + 12);
    layout.bits = le16(info + 14);
    layout.compression = le32(info + 16);
    layout.dotsPerMeterX = static_cast<std::int32_t>(le32(info + 24));
    layout.dotsPerMeterY = static_cast<std::int32_t>(le32(info + 28));
    colours = le32(info + 32);
  }
  if (height < 0) {
    layout.topDown = true;
    height = -height;
  }
  if (planes != 1 || width <= 0 || height <= 0 || width > 0x7fffffff || height > 0x7fffffff) {
    return false;
  }
  layout.width = static_cast<int>(width);
  layout.height = static_cast<int>(height);
  return compressionFits(layout);
}

// The palette of `colours` entries (0: the bit count's) starting at `at`,
// which moves past it. False when the file is too short for it.
bool readPalette(const std::uint8_t* head, std::int64_t headSize, std::int64_t infoSize,
                 std::int64_t dataOffset, std::int64_t colours, std::int64_t& at, Layout& layout) {
  colours = colours != 0 ? colours : std::int64_t{1} << layout.bits;
  if (colours > 256) return false;
  const int entry = infoSize == 12 ? 3 : 4;
  // A data offset inside the palette cuts it short there, as other decoders
  // read it; a palette of no entry at all is refused.
  if (dataOffset >= at && dataOffset < at + colours * entry) {
    colours = (dataOffset - at) / entry;
    if (colours == 0) return false;
  }
  if (headSize < at + colours * entry) return false;
  layout.palette.reserve(colours);
  for (const std::uint8_t* p = head + at; p < head + at + colours * entry; p += entry) {
    layout.palette.append(qRgb(p[2], p[1], p[0]));
  }
  at += colours * entry;
  return true;
}

// The channels of a 16- or 32-bit picture: its bit-field masks (inside the
// info header, or following a 40- or 64-byte one at `at`, which then moves
// past them), or 5-5-5 for plain 16-bit pixels. False when the masks are
// missing or hold no bit at all.
bool readMasks(const std::uint8_t* head, std::int64_t headSize, std::int64_t infoSize,
               std::int64_t& at, Layout& layout) {
  if (layout.compression != kBitFields) {
    if (layout.bits == 16) {
      layout.red = Channel(0x7c00);
      layout.green = Channel(0x03e0);
      layout.blue = Channel(0x001f);
    }
    return true;
  }
  const std::uint8_t* masks = head + kFileHeaderSize + 40;
  if (infoSize == 40 || infoSize == 64) {
    if (headSize < at + 12) return false;
    masks = head + at;
    at += 12;
  }
  layout.red = Channel(le32(masks));
  layout.green = Channel(le32(masks + 4));
  layout.blue = Channel(le32(masks + 8));
  // No channel at all: every pixel would be made-up black.
  return layout.red.mask != 0 || layout.green.mask != 0 || layout.blue.mask != 0;
}

// Where the pixel data starts (a data offset inside the headers or the palette,
// which end at `at`, means right after them), how long the plain rows are and
// how much memory the picture takes. False when the file is too short for
// every plain row it declares.
bool measureData(std::int64_t dataOffset, std::int64_t at, std::int64_t fileSize, Layout& layout) {
  layout.dataStart = std::max(dataOffset, at);
  if (layout.dataStart > fileSize) return false;
  const std::int64_t width = layout.width;
  if (!layout.runLength()) {
    // At most 2^31 * 32 bits: no overflow in 64 bits.
    layout.rowBytes = (width * layout.bits + 31) / 32 * 4;
    const std::int64_t lastRow = (width * layout.bits + 7) / 8;
    std::int64_t rows = 0;
    if (__builtin_mul_overflow(layout.rowBytes, std::int64_t{layout.height} - 1, &rows) ||
        rows > fileSize - layout.dataStart - lastRow) {
      return false;
    }
    layout.dataBytes = rows + lastRow;
  }
  const std::int64_t depth = QImage::toPixelFormat(layout.format).bitsPerPixel();
  const std::int64_t bytesPerLine = (width * depth + 31) / 32 * 4;
  if (__builtin_mul_overflow(bytesPerLine, std::int64_t{layout.height}, &layout.imageBytes)) {
    layout.imageBytes = INT64_MAX;
  }
  return true;
}

// Parses the headers from `head` (the first `headSize` bytes of a file of
// `fileSize` bytes) and checks that the file is long enough for them and, for
// plain rows, for every row they declare. Nothing when the file is not a BMP we
// read or is too short.
std::optional<Layout> parseHeaders(const std::uint8_t* head, std::int64_t headSize,
                                   std::int64_t fileSize) {
  headSize = std::min(headSize, fileSize);
  if (headSize < kFileHeaderSize + 12 || head[0] != 'B' || head[1] != 'M') return std::nullopt;
  const std::int64_t dataOffset = le32(head + 10);
  const std::int64_t infoSize = le32(head + 14);
  if (!knownInfoSize(infoSize) || headSize < kFileHeaderSize + infoSize) return std::nullopt;

  Layout layout;
  std::int64_t colours = 0;
  if (!readInfo(head + kFileHeaderSize, infoSize, layout, colours)) return std::nullopt;
  std::int64_t at = kFileHeaderSize + infoSize;  // first byte after the info header
  switch (layout.bits) {
    case 1:
    case 4:
    case 8:
      if (!readPalette(head, headSize, infoSize, dataOffset, colours, at, layout)) {
        return std::nullopt;
      }
      layout.format = QImage::Format_Indexed8;
      break;
    case 16:
    case 32:
      if (!readMasks(head, headSize, infoSize, at, layout)) return std::nullopt;
      layout.format = layout.bits == 16 ? QImage::Format_RGB555 : QImage::Format_RGB32;
      break;
    case 24:
      layout.format = QImage::Format_RGB32;
      break;
    default:
      return std::nullopt;
  }
  if (!measureData(dataOffset, at, fileSize, layout)) return std::nullopt;
  return layout;
}

// Runs a run-length stream of `size` bytes over the picture: with `image`,
// writes the pixels it sets (the image being all index 0 beforehand); without,
// only follows it. True when the stream reaches its end (end of bitmap, the
// last row passed, or every row filled), false when it stops short.
bool runLength(const Layout& layout, const std::uint8_t* data, std::int64_t size, QImage* image) {
  const bool four = layout.compression == kRle4;
  const std::int64_t width = layout.width;
  const std::int64_t height = layout.height;
  std::int64_t x = 0;
  std::int64_t y = 0;  // rows counted in storage order
  std::int64_t at = 0;
  uchar* line = nullptr;
  const auto seek = [&] {
    if (image && y < height) {
      line = image->scanLine(static_cast<int>(layout.topDown ? y : height - 1 - y));
    }
  };
  seek();
  while (y < height) {
    if (size - at < 2) return y == height - 1 && x >= width;  // every row filled
    const std::uint8_t count = data[at];
    const std::uint8_t value = data[at + 1];
    at += 2;
    if (count != 0) {  // a run of one value (two alternating nibbles)
      if (image && x < width) {
        const std::int64_t n = std::min<std::int64_t>(count, width - x);
        if (!four) {
          std::memset(line + x, value, static_cast<std::size_t>(n));
        } else {
          for (std::int64_t i = 0; i < n; ++i) line[x + i] = (i & 1) ? (value & 15) : (value >> 4);
        }
      }
      x += count;
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++y;
        seek();
        break;
      case 1:  // end of bitmap
        return true;
      case 2:  // delta: right and up (down for a top-down picture)
        if (size - at < 2) return false;
        x += data[at];
        y += data[at + 1];
        at += 2;
        seek();
        break;
      default: {  // a literal run of `value` pixels, padded to a 16-bit boundary
        const std::int64_t bytes = four ? (value + 1) / 2 : value;
        if (size - at < bytes) return false;
        if (image && x < width) {
          const std::int64_t n = std::min<std::int64_t>(value, width - x);
          const std::uint8_t* in = data + at;
          if (!four) {
            std::memcpy(line + x, in, static_cast<std::size_t>(n));
          } else {
            for (std::int64_t i = 0; i < n; ++i) {
              line[x + i] = (i & 1) ? (in[i >> 1] & 15) : (in[i >> 1] >> 4);
            }
          }
        }
        x += value;
        at = std::min(at + bytes + (bytes & 1), size);
        break;
      }
    }
  }
  return true;
}

// The largest run-length stream taken from a file: two bytes for each pixel
// and each row is already more than any encoder writes.
std::int64_t longestStream(const Layout& layout) {
  std::int64_t pixels = 0;
  if (__builtin_mul_overflow(std::int64_t{layout.width} + 2, std::int64_t{layout.height} * 4,
                             &pixels)) {
    return INT64_MAX;
  }
  return std::min(pixels, INT64_MAX - 64) + 64;
}

QImage allocate(const Layout& layout) {
  if (layout.imageBytes > allocationLimit.load()) throw std::bad_alloc();
  return NewImage(layout.width, layout.height, layout.format);
}

// 16-bit pixel to the picture's 5-5-5 value, through 8-bit channels.
std::vector<std::uint16_t> table16(const Layout& layout) {
  std::vector<std::uint16_t> table(65536);
  for (std::uint32_t v = 0; v < 65536; ++v) {
    table[v] = static_cast<std::uint16_t>(((layout.red.level(v) >> 3) << 10) |
                                          ((layout.green.level(v) >> 3) << 5) |
                                          (layout.blue.level(v) >> 3));
  }
  return table;
}

void decodeRow(const Layout& layout, const std::uint8_t* in, uchar* out,
               const std::vector<std::uint16_t>& table) {
  const int width = layout.width;
  switch (layout.bits) {
    case 1: {
      int x = 0;
      for (; x + 8 <= width; x += 8, ++in) {
        const std::uint8_t byte = *in;
        for (int k = 0; k < 8; ++k) out[x + k] = (byte >> (7 - k)) & 1;
      }
      for (int k = 0; x < width; ++x, ++k) out[x] = (*in >> (7 - k)) & 1;
      break;
    }
    case 4: {
      int x = 0;
      for (; x + 2 <= width; x += 2, ++in) {
        out[x] = *in >> 4;
        out[x + 1] = *in & 15;
      }
      if (x < width) out[x] = *in >> 4;
      break;
    }
    case 8:
      std::memcpy(out, in, static_cast<std::size_t>(width));
      break;
    case 16: {
      auto* pixels = reinterpret_cast<std::uint16_t*>(out);
      for (int x = 0; x < width; ++x, in += 2) pixels[x] = table[in[0] | (in[1] << 8)];
      break;
    }
    case 24: {
      auto* pixels = reinterpret_cast<QRgb*>(out);
      for (int x = 0; x < width; ++x, in += 3) {
        pixels[x] = 0xff000000u | in[0] | (in[1] << 8) | (static_cast<std::uint32_t>(in[2]) << 16);
      }
      break;
    }
    default: {  // 32
      auto* pixels = reinterpret_cast<QRgb*>(out);
      if (layout.compression == kRgb) {
        for (int x = 0; x < width; ++x, in += 4) {
          pixels[x] =
              0xff000000u | in[0] | (in[1] << 8) | (static_cast<std::uint32_t>(in[2]) << 16);
        }
      } else {
        for (int x = 0; x < width; ++x, in += 4) {
          const std::uint32_t v = le32(in);
          pixels[x] = 0xff000000u | (layout.red.level(v) << 16) | (layout.green.level(v) << 8) |
                      layout.blue.level(v);
        }
      }
      break;
    }
  }
}

// The picture of a layout with its palette and resolution, its pixels not set.
DecodedBmp start(const Layout& layout) {
  DecodedBmp decoded;
  decoded.bitsPerPixel = layout.bits;
  decoded.image = allocate(layout);
  QImage& image = decoded.image;
  if (!layout.palette.isEmpty()) image.setColorTable(layout.palette);
  if (layout.dotsPerMeterX > 0 && layout.dotsPerMeterY > 0) {
    image.setDotsPerMeterX(layout.dotsPerMeterX);
    image.setDotsPerMeterY(layout.dotsPerMeterY);
  } else {
    clearResolution(image);  // the file holds none
  }
  return decoded;
}

// Decodes `count` plain rows from `data`, the first being row `first` in the
// file's order.
void decodeRows(const Layout& layout, const std::uint8_t* data, int first, int count, QImage& image,
                const std::vector<std::uint16_t>& table) {
  const int height = layout.height;
  for (int row = first; row < first + count; ++row, data += layout.rowBytes) {
    decodeRow(layout, data, image.scanLine(layout.topDown ? row : height - 1 - row), table);
  }
}

// Decodes the pixel data (`size` bytes starting at the layout's data start).
std::optional<DecodedBmp> decodeData(const Layout& layout, const std::uint8_t* data,
                                     std::int64_t size) {
  if (layout.runLength()) {
    size = std::min(size, longestStream(layout));
    if (!runLength(layout, data, size, nullptr)) return std::nullopt;
    DecodedBmp decoded = start(layout);
    decoded.image.fill(0u);
    runLength(layout, data, size, &decoded.image);
    return decoded;
  }
  if (size < layout.dataBytes) return std::nullopt;
  DecodedBmp decoded = start(layout);
  std::vector<std::uint16_t> table;
  if (layout.bits == 16) table = table16(layout);
  decodeRows(layout, data, 0, layout.height, decoded.image, table);
  return decoded;
}

// Reads `size` bytes at `offset`; false on a short read or an error.
bool readAt(int fd, std::uint8_t* out, std::int64_t size, std::int64_t offset) {
  while (size > 0) {
    const ssize_t n =
        ::pread(fd, out, static_cast<std::size_t>(std::min<std::int64_t>(size, 1 << 30)),
                static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    out += n;
    size -= n;
    offset += n;
  }
  return true;
}

struct FileDescriptor {
  int fd = -1;
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::optional<DecodedBmp> decodeBmp(const std::uint8_t* bytes, std::size_t size) {
  const auto length = static_cast<std::int64_t>(size);
  const std::optional<Layout> layout = parseHeaders(bytes, length, length);
  if (!layout) return std::nullopt;
  return decodeData(*layout, bytes + layout->dataStart, length - layout->dataStart);
}

std::optional<DecodedBmp> readBmpFile(const QString& fileName) {
  const QByteArray path = QFile::encodeName(fileName);
  // A FIFO or a device would block or never end: look before opening.
  struct stat status {};
  if (path.isEmpty() || ::stat(path.constData(), &status) != 0 || !S_ISREG(status.st_mode)) {
    return std::nullopt;
  }
  FileDescriptor file;
  file.fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (file.fd < 0 || ::fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    return std::nullopt;
  }
  const std::int64_t fileSize = status.st_size;

  std::uint8_t head[kLongestHeaders];
  const std::int64_t headSize = std::min(fileSize, kLongestHeaders);
  if (!readAt(file.fd, head, headSize, 0)) return std::nullopt;
  const std::optional<Layout> layout = parseHeaders(head, headSize, fileSize);
  if (!layout) return std::nullopt;

  if (layout->runLength()) {
    const std::int64_t size = std::min(fileSize - layout->dataStart, longestStream(*layout));
    if (size > allocationLimit.load()) throw std::bad_alloc();
    std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[std::max<std::int64_t>(size, 1)]);
    if (!readAt(file.fd, data.get(), size, layout->dataStart)) return std::nullopt;
    return decodeData(*layout, data.get(), size);
  }

  // Plain rows: the picture is made before its data is read, then the rows
  // are read in strips of about a megabyte and decoded into it.
  DecodedBmp decoded = start(*layout);
  std::vector<std::uint16_t> table;
  if (layout->bits == 16) table = table16(*layout);
  const int height = layout->height;
  const int stripRows = static_cast<int>(
      std::clamp<std::int64_t>((std::int64_t{1} << 20) / layout->rowBytes, 1, height));
  std::unique_ptr<std::uint8_t[]> strip(new std::uint8_t[stripRows * layout->rowBytes]);
  for (int first = 0; first < height; first += stripRows) {
    const int count = std::min(stripRows, height - first);
    const std::int64_t at = first * layout->rowBytes;
    const std::int64_t size = std::min(count * layout->rowBytes, layout->dataBytes - at);
    if (!readAt(file.fd, strip.get(), size, layout->dataStart + at)) return std::nullopt;
    decodeRows(*layout, strip.get(), first, count, decoded.image, table);
  }
  return decoded;
}

std::int64_t setBmpAllocationLimit(std::int64_t bytes) {
  return allocationLimit.exchange(bytes);
}

std::int64_t bmpAllocationLimit() {
  return allocationLimit.load();
}

}  // namespace morvane
