#include "tests/fuzz/open_any.h"

#include <QImageReader>
#include <QTemporaryDir>
#include <new>
#include <optional>

#include "tests/support/picture_files.h"
#include "toolkit/errors.h"
#include "toolkit/pnm_file.h"

namespace morvane {

namespace {

bool same(const Picture& a, const Picture& b) {
  return a.width() == b.width() && a.height() == b.height() &&
         a.bitsPerPixel() == b.bitsPerPixel() && colours(a) == colours(b) && levels(a) == levels(b);
}

}  // namespace

std::string checkOpenAny(const std::uint8_t* data, std::size_t size) {
  const AllocationLimit limit(256 << 10);  // larger pictures would cost seconds an input
  static const QTemporaryDir dir;
  if (!dir.isValid()) return "no temporary folder";
  const QString in = dir.filePath("in.bmp"), first = dir.filePath("first.bmp"),
                second = dir.filePath("second.bmp");
  const QByteArray input =
      QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (!writeFileBytes(in, input)) return "the input could not be written";

  const int qtLimit = QImageReader::allocationLimit();
  const Picture before = makePicture(24, 3, 2);
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
  // BMP and PNM also decode from memory (std::bad_alloc when too large).
  std::optional<Picture> fromBytes;
  try {
    if (bmp) {
      if (std::optional<DecodedBmp> d = decodeBmp(data, size))
        fromBytes.emplace().setImage(d->image, d->bitsPerPixel);
    } else if (inMemory) {
      if (std::optional<DecodedPicture> d = decodePnm(input, bmpAllocationLimit()))
        fromBytes.emplace().setImage(d->image, d->bitsPerPixel);
    }
  } catch (const std::bad_alloc&) {
  }
  if (!opened) {
    if (!same(picture, before)) return "a refused load changed the picture";
    if (fromBytes) return "decoding in memory accepted what opening the file refused";
    return {};
  }
  if (inMemory && !fromBytes) return "decoding in memory refused what opening the file opened";
  if (fromBytes && !same(*fromBytes, picture))
    return "decoding in memory differs from opening the file";
  fromBytes.reset();

  const char* step = "an opened picture could not be saved";
  try {
    Picture again;
    picture.save(first);
    step = "a saved picture could not be opened again";
    again.load(first);
    if (!same(again, picture)) return "the saved picture opens with another size, bits or levels";
    step = "a reopened picture could not be saved";
    again.save(second);
    if (fileBytes(first) != fileBytes(second)) return "a second save wrote other bytes";
    // The same bytes with the heap full of zeros, then full of ones.
    step = "the same file failed to open a second time";
    for (unsigned char fill : {0x00, 0xff}) {
      fillHeap(static_cast<std::size_t>(picture.image().sizeInBytes()), fill);
      again.load(in);
      if (!same(again, picture)) return "opening the same file twice gave other levels";
    }
  } catch (...) {
    return step;
  }
  return {};
}

}  // namespace morvane
