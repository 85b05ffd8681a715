#include "tests/fuzz/open_road.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include <QImageReader>

#include "toolkit/bmp_reader.h"
#include "toolkit/errors.h"
#include "toolkit/picture.h"
#include "toolkit/pnm_file.h"

namespace morvane {

namespace {

// Pictures above this many bytes are refused as too large while fuzzing, so
// that one input costs milliseconds, not seconds.
constexpr std::int64_t kFuzzAllocationLimit = 256 << 10;

struct LimitScope {
  std::int64_t previous;
  LimitScope() : previous(setBmpAllocationLimit(kFuzzAllocationLimit)) {}
  ~LimitScope() { setBmpAllocationLimit(previous); }
};

const QTemporaryDir& folder() {
  static const QTemporaryDir dir;
  return dir;
}

bool writeFile(const QString& path, const std::uint8_t* data, std::size_t size) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
         file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) ==
             static_cast<qint64>(size);
}

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every colour of the picture, row by row, then every level.
std::vector<std::uint32_t> content(const Picture& picture) {
  std::vector<std::uint32_t> out;
  std::vector<std::uint8_t> levels(static_cast<std::size_t>(picture.width()));
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) out.push_back(picture.pixel(x, y));
    picture.readLevels(y, levels.data());
    out.insert(out.end(), levels.begin(), levels.end());
  }
  return out;
}

bool same(const Picture& a, const Picture& b) {
  return a.width() == b.width() && a.height() == b.height() &&
         a.bitsPerPixel() == b.bitsPerPixel() && content(a) == content(b);
}

// Allocates blocks of many sizes (and of the given one), fills them with
// `byte` and frees them, so that the next allocations may reuse that memory.
void fillHeap(std::size_t around, unsigned char byte) {
  std::vector<std::unique_ptr<unsigned char[]>> blocks;
  std::vector<std::size_t> sizes = {around, around + 64, around + 4096};
  for (std::size_t s = 16; s <= (std::size_t{1} << 20); s *= 4) sizes.push_back(s);
  for (std::size_t s : sizes) {
    if (s == 0 || s > (std::size_t{64} << 20)) continue;
    blocks.emplace_back(new unsigned char[s]);
    std::memset(blocks.back().get(), byte, s);
  }
}

Picture marker() {
  QImage image(3, 2, QImage::Format_RGB32);
  for (int i = 0; i < 6; ++i) image.setPixel(i % 3, i / 3, qRgb(10 * i, 100, 200 - i));
  Picture picture;
  picture.setImage(image, 24);
  return picture;
}

}  // namespace

std::string checkOpenRoad(const std::uint8_t* data, std::size_t size) {
  const LimitScope limit;
  const QTemporaryDir& dir = folder();
  if (!dir.isValid()) return "no temporary folder";
  const QString in = dir.filePath(QStringLiteral("in.bmp"));
  const QString first = dir.filePath(QStringLiteral("first.bmp"));
  const QString second = dir.filePath(QStringLiteral("second.bmp"));
  if (!writeFile(in, data, size)) return "the input could not be written";

  const int qtLimit = QImageReader::allocationLimit();
  const Picture before = marker();
  Picture picture = before;
  bool opened = false;
  try {
    picture.load(in);
    opened = true;
  } catch (const ToolkitError& error) {
    if (!QString::fromStdString(error.what()).contains(in))
      return "the refusal does not name the file";
  } catch (const std::bad_alloc&) {
  }

  if (QImageReader::allocationLimit() != qtLimit)
    return "the load left Qt's allocation limit changed";

  // BMP and PNM also decode from memory: the same bytes give the same picture.
  const bool bmp = size >= 2 && data[0] == 'B' && data[1] == 'M';
  const QByteArray input =
      QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const bool pnm = !bmp && looksLikePnm(input);
  std::optional<Picture> fromBytes;
  bool decodeRefused = false;
  try {
    if (bmp) {
      if (std::optional<DecodedBmp> decoded = decodeBmp(data, size)) {
        fromBytes.emplace();
        fromBytes->setImage(decoded->image, decoded->bitsPerPixel);
      }
    } else if (pnm) {
      if (std::optional<DecodedPicture> decoded = decodePnm(input, bmpAllocationLimit())) {
        fromBytes.emplace();
        fromBytes->setImage(decoded->image, decoded->bitsPerPixel);
      }
    }
  } catch (const std::bad_alloc&) {
    decodeRefused = true;
  }
  if (!opened) {
    if (!same(picture, before)) return "a refused load changed the picture";
    if (fromBytes) return "decoding in memory accepted what the file road refused";
    return {};
  }
  if (bmp || pnm) {
    if (decodeRefused || !fromBytes) return "decoding in memory refused what the file road opened";
    if (!same(*fromBytes, picture)) return "decoding in memory differs from the file road";
    fromBytes.reset();
  }

  const std::vector<std::uint32_t> opened1 = content(picture);
  try {
    picture.save(first);
  } catch (const ToolkitError&) {
    return "an opened picture could not be saved";
  }
  Picture again;
  try {
    again.load(first);
  } catch (...) {
    return "a saved picture could not be opened again";
  }
  if (again.width() != picture.width() || again.height() != picture.height()) {
    return "the saved picture opens with another size";
  }
  if (again.bitsPerPixel() != picture.bitsPerPixel()) {
    return "the saved picture opens with another bit count";
  }
  if (content(again) != opened1) return "the saved picture opens with other levels";
  try {
    again.save(second);
  } catch (const ToolkitError&) {
    return "a reopened picture could not be saved";
  }
  if (readFile(first) != readFile(second)) return "a second save wrote other bytes";

  // The same bytes with the heap full of zeros, then full of ones.
  const auto bytes = static_cast<std::size_t>(picture.image().sizeInBytes());
  std::vector<std::uint32_t> runs[2];
  for (unsigned char fill : {0x00, 0xff}) {
    fillHeap(bytes, fill);
    Picture p;
    try {
      p.load(in);
    } catch (...) {
      return "the same file failed to open a second time";
    }
    runs[fill ? 1 : 0] = content(p);
  }
  if (runs[0] != opened1 || runs[1] != opened1)
    return "opening the same file twice gave other levels";
  return {};
}

int CheckOpenRoad(const std::uint8_t* data, std::size_t size) {
  const std::string broken = checkOpenRoad(data, size);
  if (!broken.empty()) {
    std::fprintf(stderr, "open road: %s\n", broken.c_str());
    std::abort();
  }
  return 0;
}

}  // namespace morvane
