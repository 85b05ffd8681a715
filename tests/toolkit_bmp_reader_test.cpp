// The BMP decoder and the whole way a file opens: complete files read as Qt's reader reads
// them; skipped run-length pixels are palette index 0; short, hostile and
// non-regular files are refused by name, in the window too; large scans open;
// the seed and regression files keep the fuzzing target's promises.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QPushButton>
#include <QTemporaryDir>
#include <array>
#include <chrono>
#include <cstdint>
#include <future>
#include <new>
#include <vector>

#include "app/main_window.h"
#include "tests/fuzz/open_road.h"
#include "tests/support/child.h"
#include "tests/support/fake_dialogs.h"
#include "toolkit/bmp_reader.h"
#include "toolkit/errors.h"
#include "toolkit/formats.h"
#include "toolkit/picture.h"
#include "toolkit/resolution.h"

namespace morvane {
namespace {

const QString kCorpus = QStringLiteral(MORVANE_FUZZ_DIR "/corpus/");
const QString kRegressions = QStringLiteral(MORVANE_FUZZ_DIR "/regressions/");

// Writes the `n` low bytes of `v` at `at`, least significant first.
void put(QByteArray& out, int at, std::uint32_t v, int n = 4) {
  for (int i = 0; i < n; ++i) out[at + i] = static_cast<char>(v >> 8 * i);
}

// A BMP file: file header, info header of `infoSize` bytes (masks inside it
// from 52 bytes on), then `extra` (masks or palette) and the pixel rows.
struct Bmp {
  std::int32_t width, height;
  int bits;
  QByteArray extra{}, pixels{};
  std::uint32_t compression = 0;
  int infoSize = 40;
  std::array<std::uint32_t, 4> masks{};
  std::uint32_t colours = 0, dotsPerMeterX = 0, dotsPerMeterY = 0;
  std::int64_t offset = -1;  // default: right after `extra`

  QByteArray bytes() const {
    QByteArray out(14 + infoSize, '\0');
    out[0] = 'B';
    out[1] = 'M';
    const std::int64_t start = 14 + infoSize + extra.size(), size = pixels.size();
    const std::int64_t fields[] = {start + size,
                                   0,
                                   offset >= 0 ? offset : start,
                                   infoSize,
                                   width,
                                   height,
                                   1 | bits << 16,
                                   compression,
                                   size,
                                   dotsPerMeterX,
                                   dotsPerMeterY,
                                   colours};
    for (int i = 0; i < 12; ++i) put(out, 2 + 4 * i, static_cast<std::uint32_t>(fields[i]));
    for (int i = 0; i < 4 && 58 + 4 * i <= 14 + infoSize; ++i) put(out, 54 + 4 * i, masks[i]);
    return out + extra + pixels;
  }
};

QString cannotOpen(const QString& path) {
  return "No se puede abrir el fichero «" + path + "»";
}

// Every index of the picture, row by row.
std::vector<int> indices(const Picture& p) {
  std::vector<int> out;
  for (int y = 0; y < p.height(); ++y)
    for (int x = 0; x < p.width(); ++x) out.push_back(p.image().pixelIndex(x, y));
  return out;
}

// The message of the ToolkitError that loading `path` raises; the picture
// must stay as it was.
QString refusal(const QString& path) {
  Picture picture;
  picture.setImage(QImage(2, 2, QImage::Format_RGB32), 24);
  const QImage before = picture.image();
  QString message;
  try {
    picture.load(path);
  } catch (const ToolkitError& e) {
    message = QString::fromUtf8(e.what());
  }
  EXPECT_TRUE(picture.image() == before && picture.bitsPerPixel() == 24) << path.toStdString();
  return message;
}

class BmpReaderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "bmp_reader_test", *argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) new QApplication(argc, argv);
  }

  QString write(const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    return file.fileName();
  }

  // Opens `path` with the decoder and with Qt's reader (through the picture
  // object's own format rules): same size, bit count, format, colour of every
  // pixel, resolution and (beyond one bit, where Qt reorders two-entry
  // palettes) colour table.
  static void expectAsQt(const QString& path) {
    SCOPED_TRACE(path.toStdString());
    Picture ours, qt;
    ASSERT_NO_THROW(ours.load(path));
    QImageReader reader(path, "bmp");
    reader.setAutoDetectImageFormat(false);
    QImage image;
    ASSERT_TRUE(reader.read(&image));
    qt.setImage(image, ours.bitsPerPixel());
    const QImage &a = ours.image(), &b = qt.image();
    ASSERT_EQ(ours.bitsPerPixel(), qt.bitsPerPixel());
    EXPECT_TRUE(a == b);  // size, format and the colour of every pixel
    // A file without a resolution has none (Qt makes one up).
    const QImage madeUp(1, 1, QImage::Format_RGB32);
    const QImage& other = hasResolution(a) ? a : madeUp;
    EXPECT_TRUE(other.dotsPerMeterX() == b.dotsPerMeterX() &&
                other.dotsPerMeterY() == b.dotsPerMeterY());
    if (ours.bitsPerPixel() != 1) {
      EXPECT_EQ(a.colorTable(), b.colorTable());
    }
  }

  QTemporaryDir dir;
};

// The complete seed files; every 16-bit value under several masks; 32-bit
// pixels under plain and bit-field layouts, alpha masks included (the masks of
// a 40-byte header follow it).
TEST_F(BmpReaderTest, CompleteFilesReadAsQtReadsThem) {
  const QStringList names = QDir(kCorpus).entryList({QStringLiteral("same-*.bmp")}, QDir::Files);
  ASSERT_GE(names.size(), 25);
  for (const QString& name : names) expectAsQt(kCorpus + name);

  QByteArray all16(256 * 256 * 2, '\0'), some32(64 * 64 * 4, '\0');
  for (int v = 0; v < 65536; ++v) put(all16, 2 * v, static_cast<std::uint32_t>(v), 2);
  for (int i = 0; i < 64 * 64; ++i) put(some32, 4 * i, i * 2654435761u);
  const struct {
    int bits, infoSize;
    std::uint32_t compression;
    std::array<std::uint32_t, 4> masks;
  } layouts[] = {{16, 40, 0, {}},
                 {16, 40, 3, {0xf800, 0x07e0, 0x001f}},
                 {16, 40, 3, {0x7c00, 0x03e0, 0x001f}},
                 {16, 40, 3, {0x001f, 0x07e0, 0xf800}},
                 {16, 108, 3, {0x7c00, 0x03e0, 0x001f, 0x8000}},
                 {32, 40, 0, {}},
                 {32, 124, 3, {0xff0000, 0xff00, 0xff, 0}},
                 {32, 124, 3, {0xff, 0xff00, 0xff0000, 0}},
                 {32, 124, 3, {0xff000000, 0xff0000, 0xff00, 0xff}},
                 {32, 124, 3, {0xff0000, 0xff00, 0xff, 0xff000000}},
                 {32, 124, 0, {0xff0000, 0xff00, 0xff, 0xff000000}}};
  int n = 0;
  for (const auto& l : layouts) {
    const bool wide = l.bits == 16;
    Bmp f{wide ? 256 : 64,       wide ? 256 : -64, l.bits,     {},
          wide ? all16 : some32, l.compression,    l.infoSize, l.masks};
    if (l.infoSize == 40 && l.compression == 3) {
      f.extra = QByteArray(12, '\0');
      for (int i = 0; i < 3; ++i) put(f.extra, 4 * i, l.masks[i]);
    }
    expectAsQt(write(QStringLiteral("masks%1.bmp").arg(n++), f.bytes()));
  }
}

// Bit-field channels of any width scale to 0..255 by rounding (Qt truncates
// them or reads them as black); masks with no bit at all are refused.
TEST_F(BmpReaderTest, EveryBitFieldWidthScalesByRounding) {
  const struct {
    int bits;
    std::array<std::uint32_t, 3> masks;
  } layouts[] = {{16, {0x0f00, 0x00f0, 0x000f}},        {16, {0xc000, 0x3000, 0x0fff}},
                 {32, {0x3ff00000, 0x000ffc00, 0x3ff}}, {32, {0xf800, 0x07c0, 0x003e}},
                 {32, {0x7c00, 0x03e0, 0x001f}},        {16, {0xf800, 0x07e0, 0x001f}}};
  for (const auto& l : layouts) {
    SCOPED_TRACE(l.masks[0]);
    const int bytes = l.bits / 8, count = 4096;
    QByteArray pixels(count * bytes, '\0');
    for (int i = 0; i < count; ++i)
      put(pixels, i * bytes, i == count - 1 ? 0xffffffffu : i * 2654435761u, bytes);
    Bmp f{64, -64, l.bits, QByteArray(12, '\0'), pixels, 3};
    for (int i = 0; i < 3; ++i) put(f.extra, 4 * i, l.masks[i]);
    Picture picture;
    picture.load(write("fields.bmp", f.bytes()));
    for (int i = 0; i < count; ++i) {
      std::uint32_t v = 0;
      for (int k = 0; k < bytes; ++k) v |= std::uint32_t(uchar(pixels[i * bytes + k])) << 8 * k;
      std::uint32_t expected = 0;
      for (int c = 0; c < 3; ++c) {
        const std::uint32_t m = l.masks[c], low = m & (~m + 1), top = m / low;
        std::uint32_t level = std::uint32_t(std::lround((v & m) / low * 255.0 / top));
        if (l.bits == 16) level = (level >> 3 << 3) | (level >> 5);  // kept as 5-5-5
        expected |= level << 8 * c;                                  // red in the low byte
      }
      ASSERT_EQ(picture.pixel(i % 64, i / 64), expected) << i;
    }
  }
  // An 8-bit file with two palette entries, its data offset right after them.
  Bmp shortPalette{4, 1, 8, QByteArray("\x10\x20\x30\0\xf0\xe0\xd0\0", 8),
                   QByteArray("\x01\x00\x01\x01", 4)};
  Picture two;
  two.load(write("short.bmp", shortPalette.bytes()));
  EXPECT_EQ(two.pixel(0, 0), 0xf0e0d0u);
  EXPECT_EQ(two.pixel(1, 0), 0x102030u);
  Bmp zero{2, 1, 32, QByteArray(12, '\0'), QByteArray(8, '\xff'), 3};
  const QString path = write("zero.bmp", zero.bytes());
  Picture picture;
  EXPECT_THROW(picture.load(path), ToolkitError);
}

// Palette order, resolution and the header sizes Qt does not know.
TEST_F(BmpReaderTest, PaletteOrderResolutionAndMaskHeaders) {
  // A 1-bit file with its light entry first keeps that order.
  Picture picture;
  picture.load(kCorpus + "same-1bit-light-first-9x4.bmp");
  EXPECT_EQ(picture.image().color(0), qRgb(255, 255, 255));
  EXPECT_EQ(picture.image().color(1), qRgb(20, 0, 40));
  EXPECT_EQ(picture.image().pixelIndex(1, 0), 1);  // (x*3 + y*7 + x*y) % 2 at (1, 0)

  Bmp gray{2, 1, 8, QByteArray(8, '\xff'), QByteArray("\x01\x00\x00\x00", 4)};
  gray.colours = 2;
  gray.dotsPerMeterX = 3780;
  picture.load(write("dpm.bmp", gray.bytes()));
  EXPECT_FALSE(hasResolution(picture.image()));  // only one of the two
  gray.dotsPerMeterY = 3780;
  picture.load(write("dpm.bmp", gray.bytes()));
  EXPECT_EQ(picture.image().dotsPerMeterX(), 3780);
  EXPECT_EQ(picture.image().dotsPerMeterY(), 3780);

  // 52- and 56-byte headers hold the masks themselves: pure red, pure blue.
  for (int infoSize : {52, 56}) {
    const Bmp f{
        2, 1, 16, {}, QByteArray("\x00\xf8\x1f\x00", 4), 3, infoSize, {0xf800, 0x07e0, 0x001f}};
    picture.load(write("v3.bmp", f.bytes()));
    EXPECT_EQ(picture.pixel(0, 0), 0x0000ffu);
    EXPECT_EQ(picture.pixel(1, 0), 0xff0000u);
  }
}

TEST_F(BmpReaderTest, PixelsARunLengthFileSkipsArePaletteIndexZero) {
  Picture picture;
  // Stream: 2 x 7, delta (3, 2), 2 x 9, end of line, 1 x 4, end of bitmap; bottom-up.
  picture.load(kCorpus + "rle8-delta-8x6.bmp");
  EXPECT_EQ(indices(picture),
            (std::vector{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0,
                         0, 0, 0, 0, 0, 9, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 7, 0, 0, 0, 0, 0, 0}));

  // RLE4: f,1,f; delta (1, 1); 5 literal nibbles (12 and 13 fall off the row);
  // end of line; 4 x 0, 2 x 7; end.
  picture.load(kCorpus + "rle4-delta-7x4.bmp");
  EXPECT_EQ(indices(picture), (std::vector{0, 0, 0, 0, 0, 0,  0,  0,  0, 0,  0, 7, 7, 0,
                                           0, 0, 0, 0, 9, 10, 11, 15, 1, 15, 0, 0, 0, 0}));
}

// Faults 1 and 3 and their kin: every file shorter than its headers promise,
// whose headers do not hold together, or that claims more than the arithmetic
// holds is refused by name and changes nothing. A file is measured against
// what it declares before anything is allocated (nothing beyond 4 KB here); a
// complete picture beyond the limit is out of memory.
TEST_F(BmpReaderTest, ShortInconsistentAndHugeFilesAreRefusedByName) {
  struct Limit {
    std::int64_t previous = setBmpAllocationLimit(4096);
    ~Limit() { setBmpAllocationLimit(previous); }
  } limit;
  const Bmp whole{5, 3, 24, {}, QByteArray(3 * 16, '\x40')};
  const QByteArray bytes = whole.bytes();
  Bmp offsetBeyond = whole, palette{1, 1, 8, QByteArray(4 * 199, '\0')};
  offsetBeyond.offset = 1 << 20;
  palette.colours = 200;
  auto patched = [&](int at, std::uint32_t v) {
    QByteArray out = bytes;
    put(out, at, v, at == 26 || at == 28 ? 2 : 4);
    return out;
  };
  const QByteArray palette8(1024, '\0'), none;
  std::vector<std::pair<QString, QByteArray>> files = {
      {"empty.bmp", {}},
      {"text.bmp", "no soy una imagen"},
      {"cut-header.bmp", bytes.left(40)},
      {"last-row-short.bmp", bytes.chopped(4)},
      {"rows-missing.bmp", bytes.chopped(16)},
      {"rle-no-end.bmp",
       Bmp{4, 4, 8, palette8, QByteArray("\x04\x05\x00\x00\x04\x05", 6), 1}.bytes()},
      {"rle-short.bmp", Bmp{50000, 50000, 8, palette8, QByteArray("\x05\x01", 2), 1}.bytes()},
      {"palette-cut.bmp", palette.bytes()},
      {"offset-beyond.bmp", offsetBeyond.bytes()},
      {"planes.bmp", patched(26, 2)},
      {"depth-13.bmp", patched(28, 13)},
      {"info-size-20.bmp", patched(14, 20)},  // an info header size no writer uses
      {"fields-24.bmp", patched(30, 3)},
      {"max-max-32.bmp", Bmp{0x7fffffff, 0x7fffffff, 32}.bytes()},
      {"max-min-1.bmp", Bmp{0x7fffffff, -0x7fffffff, 1, QByteArray(8, '\0')}.bytes()},
      {"one-min-8.bmp", Bmp{1, INT32_MIN, 8, palette8}.bytes()},
      {"negative-width.bmp", Bmp{-1, 1, 8, palette8}.bytes()},
      {"no-width.bmp", Bmp{0, 1, 8, palette8}.bytes()},
      {"no-height.bmp", Bmp{1, 0, 8, palette8}.bytes()},
      {"2^30-24.bmp", Bmp{0x40000000, 4, 24}.bytes()}};
  for (auto& [name, content] : files) name = write(name, content);
  for (const char* name :
       {"fault1-info-size-16.bmp", "fault1-offset-inside-headers.bmp", "fault1-rows-missing.bmp",
        "fault2-rle8-cut.bmp", "fault3-overflow-54-bytes.bmp", "fault3-34-bytes-claiming-2gb.bmp"})
    files.emplace_back(kRegressions + name, none);
  for (const auto& [path, unused] : files) EXPECT_EQ(refusal(path), cannotOpen(path));

  // Only the padding of the last row missing: every pixel is there, it opens.
  Picture picture;
  picture.load(write("no-last-padding.bmp", bytes.chopped(1)));
  EXPECT_EQ(picture.pixel(4, 0), 0x404040u);

  setBmpAllocationLimit(1000);
  for (const QByteArray& content :
       {Bmp{100, 100, 8, palette8, QByteArray("\x00\x01", 2), 1}.bytes(),
        Bmp{40, 40, 24, {}, QByteArray(40 * 120, '\0')}.bytes()}) {
    Picture big;
    EXPECT_THROW(big.load(write("big.bmp", content)), std::bad_alloc);
    EXPECT_TRUE(big.isEmpty());
    EXPECT_THROW(decodeBmp(reinterpret_cast<const std::uint8_t*>(content.constData()),
                           static_cast<std::size_t>(content.size())),
                 std::bad_alloc);
  }
}

// Fault 5: an 8-bit scan above 16384 x 16384 opens when it fits in memory
// (a sparse file of zeros, its palette entry 0 a mid gray).
TEST_F(BmpReaderTest, LargeScanAboveSixteenThousandPixelsOpens) {
  constexpr int kSide = 16400;
  Bmp scan{kSide, kSide, 8, QByteArray("\x80\x80\x80\x00", 4)};
  scan.colours = 1;
  QFile file(write("scan.bmp", scan.bytes()));
  if (!file.resize(58 + std::int64_t{kSide} * kSide)) GTEST_SKIP() << "the disk refused the file";
  Picture picture;
  try {
    picture.load(file.fileName());
  } catch (const std::bad_alloc&) {
    GTEST_SKIP() << "not enough memory for the picture";
  }
  ASSERT_EQ(picture.image().size(), QSize(kSide, kSide));
  EXPECT_EQ(picture.bitsPerPixel(), 8);
  for (int y : {0, kSide / 2, kSide - 1})
    for (int x : {0, kSide / 3, kSide - 1}) EXPECT_EQ(picture.pixel(x, y), 0x808080u);
}

// Every seed and regression file through the fuzzing target's own checks.
TEST_F(BmpReaderTest, SeedAndRegressionFilesKeepTheOpenRoadPromises) {
  int files = 0;
  for (const QString& folder : {kCorpus, kRegressions}) {
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
      QFile file(folder + name);
      ASSERT_TRUE(file.open(QIODevice::ReadOnly));
      const QByteArray bytes = file.readAll();
      EXPECT_EQ(checkOpenRoad(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                              static_cast<std::size_t>(bytes.size())),
                "")
          << (folder + name).toStdString();
      ++files;
    }
  }
  EXPECT_GE(files, 40);
}

// Fault 4 and the hostile files through the real window: a FIFO, a directory
// or a device is refused without being opened (opening a FIFO would wait for a
// writer, which comes after 20 seconds should the window wait), as is each
// hostile file, with the message naming it and the no-picture state kept. A
// link to a regular file opens; a run-length file that sets no pixel opens
// black (its palette entry 0) throughout.
TEST_F(BmpReaderTest, HostileFilesThroughTheMainWindow) {
  FakeDialogs dialogs;
  Workspace ws;
  VentanaPrincipal form(ws);
  const QString fifo = dir.filePath("x.bmp"), fifoLink = dir.filePath("fifo-link.bmp");
  const QString goodLink = dir.filePath("good-link.bmp");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  ASSERT_TRUE(QFile::link(fifo, fifoLink));
  ASSERT_TRUE(QFile::link(
      write("good.bmp", Bmp{1, 1, 8, QByteArray(1024, '\0'), QByteArray(4, '\0')}.bytes()),
      goodLink));
  std::promise<void> answered;
  auto watchdog =
      std::async(std::launch::async, [path = QFile::encodeName(fifo), f = answered.get_future()] {
        if (f.wait_for(std::chrono::seconds(20)) == std::future_status::ready) return false;
        const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
        return true;
      });
  for (const QString& path :
       {fifo, fifoLink, dir.path(), QStringLiteral("/dev/zero"), dir.filePath("missing.bmp"),
        kRegressions + "fault3-34-bytes-claiming-2gb.bmp", kRegressions + "fault2-rle8-cut.bmp"}) {
    EXPECT_EQ(refusal(path), cannotOpen(path));
    dialogs.openAnswers.push_back(path);
    child<QPushButton>(form, "abrirImagenButton")->click();
    ASSERT_FALSE(dialogs.messages.isEmpty()) << path.toStdString();
    EXPECT_EQ(dialogs.messages.last(), cannotOpen(path));
    EXPECT_FALSE(ws.ImagenCargada || ws.ImagenInicial.exists() || ws.Alto);
  }
  answered.set_value();
  EXPECT_FALSE(watchdog.get()) << "opening a FIFO waited for a writer";
  const auto messages = dialogs.messages.size();
  dialogs.openAnswers.push_back(kRegressions + "fault2-rle8-sets-nothing-64x64.bmp");
  child<QPushButton>(form, "abrirImagenButton")->click();
  EXPECT_EQ(dialogs.messages.size(), messages);
  ASSERT_TRUE(ws.ImagenCargada && ws.Alto == 64 && ws.Ancho == 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(ws.ImagenInicial[y][x], 0);
  Picture picture;
  picture.load(goodLink);
  EXPECT_EQ(picture.width(), 1);
}

}  // namespace
}  // namespace morvane
