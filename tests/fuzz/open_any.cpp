#include "tests/fuzz/open_any.h"

#include <QImageReader>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>

#include "tests/support/picture_files.h"
#include "toolkit/bmp_reader.h"
#include "toolkit/errors.h"
#include "toolkit/pnm_file.h"

namespace morvane {

namespace {

// Pictures above this many bytes are refused as too large while fuzzing, so
// that one input costs milliseconds, not seconds.
constexpr std::int64_t kFuzzAllocationLimit = 256 << 10;

struct LimitScope {
  std::int64_t previous = setBmpAllocationLimit(kFuzzAllocationLimit);
  ~LimitScope() { setBmpAllocationLimit(previous); }
};

// Every colour of the picture, then every level.
std::vector<std::uint32_t> content(const Picture& picture) {
  std::vector<std::uint32_t> out = colours(picture);
  for (int level : levels(picture)) out.push_back(static_cast<std::uint32_t>(level));
  return out;
}

bool same(const Picture& a, const Picture& b) {
  return a.width() == b.width() && a.height() == b.height() &&
         a.bitsPerPixel() == b.bitsPerPixel() && content(a) == content(b);
}

// BMP and PNM also decode from memory: the picture those bytes give, nothing
// when refused, std::bad_alloc when too large; other formats are not tried.
std::optional<Picture> decodedInMemory(const QByteArray& input, bool bmp) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(input.constData());
  std::optional<Picture> picture;
  if (bmp) {
    if (std::optional<DecodedBmp> d = decodeBmp(data, static_cast<std::size_t>(input.size())))
      picture.emplace().setImage(d->image, d->bitsPerPixel);
  } else if (std::optional<DecodedPicture> d = decodePnm(input, bmpAllocationLimit())) {
    picture.emplace().setImage(d->image, d->bitsPerPixel);
  }
  return picture;
}

}  // namespace

std::string checkOpenAny(const std::uint8_t* data, std::size_t size) {
  const LimitScope limit;
  static const QTemporaryDir dir;
  if (!dir.isValid()) return "no temporary folder";
  const QString in = dir.filePath(QStringLiteral("in.bmp"));
  const QString first = dir.filePath(QStringLiteral("first.bmp"));
  const QString second = dir.filePath(QStringLiteral("second.bmp"));
  const QByteArray input =
      QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (!writeFileBytes(in, input)) return "the input could not be written";

  const int qtLimit = QImageReader::allocationLimit();
  QImage marker(3, 2, QImage::Format_RGB32);
  for (int i = 0; i < 6; ++i) marker.setPixel(i % 3, i / 3, qRgb(10 * i, 100, 200 - i));
  Picture before;
  before.setImage(marker, 24);
  Picture picture = before;
  bool opened = false;
  try {
    picture.load(in);
    opened = true;
  } catch (const ToolkitError& error) {
    if (!QString::fromUtf8(error.what()).contains(in)) return "the refusal does not name the file";
  } catch (const std::bad_alloc&) {
  }
  if (QImageReader::allocationLimit() != qtLimit)
    return "the load left Qt's allocation limit changed";

  const bool bmp = size >= 2 && data[0] == 'B' && data[1] == 'M';
  const bool inMemory = bmp || looksLikePnm(input);
  std::optional<Picture> fromBytes;
  bool decodeRefused = false;
  try {
    if (inMemory) fromBytes = decodedInMemory(input, bmp);
  } catch (const std::bad_alloc&) {
    decodeRefused = true;
  }
  if (!opened) {
    if (!same(picture, before)) return "a refused load changed the picture";
    if (fromBytes) return "decoding in memory accepted what opening the file refused";
    return {};
  }
  if (inMemory && (decodeRefused || !fromBytes))
    return "decoding in memory refused what opening the file opened";
  if (fromBytes && !same(*fromBytes, picture))
    return "decoding in memory differs from opening the file";
  fromBytes.reset();

  const std::vector<std::uint32_t> opened1 = content(picture);
  Picture again;
  try {
    picture.save(first);
  } catch (const ToolkitError&) {
    return "an opened picture could not be saved";
  }
  try {
    again.load(first);
  } catch (...) {
    return "a saved picture could not be opened again";
  }
  if (again.width() != picture.width() || again.height() != picture.height())
    return "the saved picture opens with another size";
  if (again.bitsPerPixel() != picture.bitsPerPixel())
    return "the saved picture opens with another bit count";
  if (content(again) != opened1) return "the saved picture opens with other levels";
  try {
    again.save(second);
  } catch (const ToolkitError&) {
    return "a reopened picture could not be saved";
  }
  if (fileBytes(first) != fileBytes(second)) return "a second save wrote other bytes";

  // The same bytes with the heap full of zeros, then full of ones.
  for (unsigned char fill : {0x00, 0xff}) {
    fillHeap(static_cast<std::size_t>(picture.image().sizeInBytes()), fill);
    Picture p;
    try {
      p.load(in);
    } catch (...) {
      return "the same file failed to open a second time";
    }
    if (content(p) != opened1) return "opening the same file twice gave other levels";
  }
  return {};
}

int CheckOpenAny(const std::uint8_t* data, std::size_t size) {
  const std::string broken = checkOpenAny(data, size);
  if (!broken.empty()) {
    std::fprintf(stderr, "open any: %s\n", broken.c_str());
    std::abort();
  }
  return 0;
}

}  // namespace morvane
