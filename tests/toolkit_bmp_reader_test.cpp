// The BMP decoder and the open road: files read exactly as Qt's own reader
// reads complete, ordinary files; pixels a run-length file skips are palette
// index 0; short, inconsistent and hostile files are refused by name; only
// regular files are opened; large scans open; every seed and regression file
// keeps the open road's promises; and the main window after hostile files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <new>
#include <vector>

#include "app/main_window.h"
#include "tests/fuzz/open_road.h"
#include "tests/support/fake_dialogs.h"
#include "toolkit/bmp_reader.h"
#include "toolkit/errors.h"
#include "toolkit/picture.h"

namespace morvane {
namespace {

const QString kFuzzFolder = QStringLiteral(MORVANE_FUZZ_DIR);

void put16(QByteArray& out, int at, std::uint32_t v) {
  out[at] = static_cast<char>(v);
  out[at + 1] = static_cast<char>(v >> 8);
}
void put32(QByteArray& out, int at, std::uint32_t v) {
  put16(out, at, v & 0xffff);
  put16(out, at + 2, v >> 16);
}

// A BMP file: file header, info header of `infoSize` bytes (masks inside it
// from 52 bytes on), then `extra` (masks or palette) and the pixel rows.
struct BmpFile {
  int infoSize = 40;
  std::int32_t width = 1;
  std::int32_t height = 1;
  int bits = 8;
  std::uint32_t compression = 0;
  std::uint32_t colours = 0;
  std::array<std::uint32_t, 4> masks{};
  std::int32_t dotsPerMeter[2] = {0, 0};
  QByteArray extra{};
  QByteArray pixels{};
  std::int64_t offset = -1;  // default: right after `extra`

  QByteArray bytes() const {
    QByteArray out(14 + infoSize, '\0');
    out[0] = 'B';
    out[1] = 'M';
    const std::int64_t start = 14 + infoSize + extra.size();
    put32(out, 2, static_cast<std::uint32_t>(start + pixels.size()));
    put32(out, 10, static_cast<std::uint32_t>(offset >= 0 ? offset : start));
    put32(out, 14, static_cast<std::uint32_t>(infoSize));
    put32(out, 18, static_cast<std::uint32_t>(width));
    put32(out, 22, static_cast<std::uint32_t>(height));
    put16(out, 26, 1);
    put16(out, 28, static_cast<std::uint32_t>(bits));
    put32(out, 30, compression);
    put32(out, 34, static_cast<std::uint32_t>(pixels.size()));
    put32(out, 38, static_cast<std::uint32_t>(dotsPerMeter[0]));
    put32(out, 42, static_cast<std::uint32_t>(dotsPerMeter[1]));
    put32(out, 46, colours);
    for (int i = 0; i < 4 && 54 + 4 * i + 4 <= 14 + infoSize; ++i) put32(out, 54 + 4 * i, masks[i]);
    return out + extra + pixels;
  }
};

QByteArray masksOf(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  QByteArray out(12, '\0');
  put32(out, 0, r);
  put32(out, 4, g);
  put32(out, 8, b);
  return out;
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

  // The picture the file opens as, through Qt's reader and the picture
  // object's own format rules: the road pictures took before the decoder.
  static std::optional<Picture> throughQt(const QString& path, int bits) {
    QImageReader reader(path, "bmp");
    reader.setAutoDetectImageFormat(false);
    QImage image;
    if (!reader.read(&image)) return std::nullopt;
    Picture picture;
    picture.setImage(image, bits);
    return picture;
  }

  // Opens `path` with the decoder and with Qt's reader; same size, bit count,
  // format, colour of every pixel, resolution and (beyond one bit, where Qt
  // reorders two-entry palettes) colour table.
  void expectAsQt(const QString& path) {
    SCOPED_TRACE(path.toStdString());
    Picture ours;
    ASSERT_NO_THROW(ours.load(path));
    const std::optional<Picture> qt = throughQt(path, ours.bitsPerPixel());
    ASSERT_TRUE(qt.has_value());
    ASSERT_EQ(ours.bitsPerPixel(), qt->bitsPerPixel());
    ASSERT_EQ(ours.image().size(), qt->image().size());
    ASSERT_EQ(ours.image().format(), qt->image().format());
    EXPECT_EQ(ours.image().dotsPerMeterX(), qt->image().dotsPerMeterX());
    EXPECT_EQ(ours.image().dotsPerMeterY(), qt->image().dotsPerMeterY());
    if (ours.bitsPerPixel() != 1) {
      EXPECT_EQ(ours.image().colorTable(), qt->image().colorTable());
    }
    for (int y = 0; y < ours.height(); ++y)
      for (int x = 0; x < ours.width(); ++x)
        ASSERT_EQ(ours.pixel(x, y), qt->pixel(x, y)) << x << "," << y;
  }

  // The message of the ToolkitError that loading `path` raises; the picture
  // must stay as it was.
  static QString refusal(const QString& path) {
    Picture picture;
    picture.setImage(QImage(2, 2, QImage::Format_RGB32), 24);
    const QImage before = picture.image();
    QString message;
    try {
      picture.load(path);
    } catch (const ToolkitError& e) {
      message = QString::fromUtf8(e.what());
    }
    EXPECT_EQ(picture.image(), before);
    return message;
  }

  static std::vector<std::uint32_t> colours(const Picture& p) {
    std::vector<std::uint32_t> out;
    for (int y = 0; y < p.height(); ++y)
      for (int x = 0; x < p.width(); ++x) out.push_back(p.pixel(x, y));
    return out;
  }

  QTemporaryDir dir;
};

TEST_F(BmpReaderTest, CompleteSeedFilesReadAsQtReadsThem) {
  const QStringList names =
      QDir(kFuzzFolder + "/corpus").entryList({QStringLiteral("same-*.bmp")}, QDir::Files);
  ASSERT_GE(names.size(), 25);
  for (const QString& name : names) expectAsQt(kFuzzFolder + "/corpus/" + name);
}

// Every 16-bit value under several masks, and 32-bit pixels under plain and
// bit-field layouts, alpha masks included.
TEST_F(BmpReaderTest, ColourMasksGiveQtsColours) {
  QByteArray all16(256 * 256 * 2, '\0');
  for (int v = 0; v < 65536; ++v) put16(all16, 2 * v, static_cast<std::uint32_t>(v));
  BmpFile plain16{.width = 256, .height = 256, .bits = 16, .pixels = all16};
  expectAsQt(write("555.bmp", plain16.bytes()));
  for (const auto& m : std::vector<std::array<std::uint32_t, 3>>{{0xf800, 0x07e0, 0x001f},
                                                                 {0x7c00, 0x03e0, 0x001f},
                                                                 {0x0f00, 0x00f0, 0x000f},
                                                                 {0x001f, 0x07e0, 0xf800},
                                                                 {0xc000, 0x3000, 0x0fff}}) {
    BmpFile fields = plain16;
    fields.compression = 3;
    fields.extra = masksOf(m[0], m[1], m[2]);
    expectAsQt(write(QStringLiteral("fields%1.bmp").arg(m[0]), fields.bytes()));
  }
  BmpFile alpha16 = plain16;
  alpha16.infoSize = 108;
  alpha16.compression = 3;
  alpha16.masks = {0x7c00, 0x03e0, 0x001f, 0x8000};
  expectAsQt(write("1555.bmp", alpha16.bytes()));

  QByteArray some32(64 * 64 * 4, '\0');
  for (int i = 0; i < 64 * 64; ++i)
    put32(some32, 4 * i, static_cast<std::uint32_t>(i) * 2654435761u);
  BmpFile plain32{.width = 64, .height = -64, .bits = 32, .pixels = some32};
  expectAsQt(write("32.bmp", plain32.bytes()));
  for (const auto& m :
       std::vector<std::array<std::uint32_t, 4>>{{0xff0000, 0xff00, 0xff, 0},
                                                 {0xff, 0xff00, 0xff0000, 0},
                                                 {0x3ff00000, 0x000ffc00, 0x000003ff, 0},
                                                 {0xff000000, 0xff0000, 0xff00, 0xff},
                                                 {0xff0000, 0xff00, 0xff, 0xff000000}}) {
    BmpFile fields = plain32;
    fields.infoSize = 124;
    fields.compression = 3;
    fields.masks = m;
    expectAsQt(write(QStringLiteral("32fields%1.bmp").arg(m[0]), fields.bytes()));
  }
  BmpFile v5plain = plain32;
  v5plain.infoSize = 124;
  v5plain.masks = {0xff0000, 0xff00, 0xff, 0xff000000};
  expectAsQt(write("32v5.bmp", v5plain.bytes()));
}

// Palette order, resolution and the header sizes Qt does not know.
TEST_F(BmpReaderTest, PaletteOrderResolutionAndMaskHeaders) {
  // A 1-bit file with its light entry first keeps that order.
  Picture picture;
  picture.load(kFuzzFolder + "/corpus/same-1bit-light-first-9x4.bmp");
  EXPECT_EQ(picture.image().color(0), qRgb(255, 255, 255));
  EXPECT_EQ(picture.image().color(1), qRgb(20, 0, 40));
  EXPECT_EQ(picture.image().pixelIndex(1, 0), 1);  // (x*3 + y*7 + x*y) % 2 at (1, 0)

  BmpFile gray{.width = 2, .height = 1, .bits = 8, .colours = 2, .extra = QByteArray(8, '\xff')};
  gray.dotsPerMeter[0] = 3780;
  gray.pixels = QByteArray("\x01\x00\x00\x00", 4);
  picture.load(write("dpm.bmp", gray.bytes()));
  EXPECT_EQ(picture.image().dotsPerMeterX(), 3780);
  EXPECT_EQ(picture.image().dotsPerMeterY(), QImage(1, 1, QImage::Format_RGB32).dotsPerMeterY());

  // 52- and 56-byte headers hold the masks themselves.
  for (int infoSize : {52, 56}) {
    BmpFile f{.infoSize = infoSize, .width = 2, .height = 1, .bits = 16, .compression = 3};
    f.masks = {0xf800, 0x07e0, 0x001f, 0};
    f.pixels = QByteArray("\x00\xf8\x1f\x00", 4);  // pure red, pure blue
    picture.load(write("v3.bmp", f.bytes()));
    EXPECT_EQ(picture.pixel(0, 0), 0x0000ffu);
    EXPECT_EQ(picture.pixel(1, 0), 0xff0000u);
  }
}

TEST_F(BmpReaderTest, PixelsARunLengthFileSkipsArePaletteIndexZero) {
  Picture picture;
  picture.load(kFuzzFolder + "/corpus/rle8-delta-8x6.bmp");
  // Stream: 2 x 7, delta (3, 2), 2 x 9, end of line, 1 x 4, end of bitmap; bottom-up.
  std::vector<int> expected(8 * 6, 0);
  auto at = [&](int x, int rowFromBottom) -> int& { return expected[(5 - rowFromBottom) * 8 + x]; };
  at(0, 0) = at(1, 0) = 7;
  at(5, 2) = at(6, 2) = 9;
  at(0, 3) = 4;
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x)
      ASSERT_EQ(picture.image().pixelIndex(x, y), expected[y * 8 + x]) << x << "," << y;

  // A file that sets no pixel at all is palette entry 0 throughout, every time.
  for (int pass = 0; pass < 2; ++pass) {
    picture.load(kFuzzFolder + "/regressions/fault2-rle8-sets-nothing-64x64.bmp");
    const std::vector<std::uint32_t> all = colours(picture);
    EXPECT_EQ(std::count(all.begin(), all.end(), 0u), 64 * 64);
  }

  // RLE4: f,1,f; delta (1, 1); 5 literal nibbles; end of line; 4 x 0, 2 x 7; end.
  picture.load(kFuzzFolder + "/corpus/rle4-delta-7x4.bmp");
  const std::vector<int> rows[4] = {{0, 0, 0, 0, 0, 0, 0},
                                    {0, 0, 0, 0, 7, 7, 0},
                                    {0, 0, 0, 0, 9, 10, 11},  // 12 and 13 fall off the row
                                    {15, 1, 15, 0, 0, 0, 0}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 7; ++x)
      EXPECT_EQ(picture.image().pixelIndex(x, y), rows[y][x]) << x << "," << y;
}

// Fault 1 and its kin: every file shorter than its headers promise, or whose
// headers do not hold together, is refused by name and changes nothing.
TEST_F(BmpReaderTest, ShortAndInconsistentFilesAreRefusedByName) {
  BmpFile whole{.width = 5, .height = 3, .bits = 24, .pixels = QByteArray(3 * 16, '\x40')};
  const QByteArray bytes = whole.bytes();
  BmpFile noRleEnd{.width = 4, .height = 4, .bits = 8, .compression = 1};
  noRleEnd.extra = QByteArray(1024, '\0');
  noRleEnd.pixels = QByteArray("\x04\x05\x00\x00\x04\x05", 6);  // two rows of four
  BmpFile palette = {.width = 1, .height = 1, .bits = 8, .colours = 200};
  palette.extra = QByteArray(4 * 199, '\0');
  BmpFile offsetBeyond = whole;
  offsetBeyond.offset = 1 << 20;
  QByteArray planes = bytes;
  put16(planes, 26, 2);
  QByteArray odd = bytes;
  put32(odd, 14, 20);  // an info header size no writer uses
  QByteArray fields24 = bytes;
  put32(fields24, 30, 3);
  for (const auto& [name, content] :
       std::vector<std::pair<QString, QByteArray>>{{"empty.bmp", {}},
                                                   {"text.bmp", "no soy una imagen"},
                                                   {"cut-header.bmp", bytes.left(40)},
                                                   {"last-row-short.bmp", bytes.chopped(4)},
                                                   {"rows-missing.bmp", bytes.chopped(16)},
                                                   {"rle-no-end.bmp", noRleEnd.bytes()},
                                                   {"palette-cut.bmp", palette.bytes()},
                                                   {"offset-beyond.bmp", offsetBeyond.bytes()},
                                                   {"planes.bmp", planes},
                                                   {"info-size-20.bmp", odd},
                                                   {"fields-24.bmp", fields24}}) {
    EXPECT_EQ(refusal(write(name, content)),
              "No se puede abrir el fichero «" + dir.filePath(name) + "»");
  }
  for (const char* name : {"fault1-info-size-16.bmp", "fault1-offset-inside-headers.bmp",
                           "fault1-rows-missing.bmp", "fault2-rle8-cut.bmp"}) {
    const QString path = kFuzzFolder + "/regressions/" + name;
    EXPECT_TRUE(refusal(path).contains(path)) << name;
  }

  // Only the padding of the last row missing: every pixel is there, it opens.
  Picture picture;
  picture.load(write("no-last-padding.bmp", bytes.chopped(1)));
  EXPECT_EQ(picture.pixel(4, 0), 0x404040u);
}

// Fault 3 and the limits: the header arithmetic cannot overflow, a file is
// measured against what it declares before anything is allocated, and a
// picture beyond the limit is out of memory.
TEST_F(BmpReaderTest, HugeClaimsAreRefusedBeforeAnyAllocation) {
  const QString overflow = kFuzzFolder + "/regressions/fault3-overflow-54-bytes.bmp";
  const QString claim = kFuzzFolder + "/regressions/fault3-34-bytes-claiming-2gb.bmp";
  // Nothing beyond 4 KB may be allocated.
  struct Limit {
    std::int64_t previous = setBmpAllocationLimit(4096);
    ~Limit() { setBmpAllocationLimit(previous); }
  } limit;
  EXPECT_TRUE(refusal(overflow).contains(overflow));
  EXPECT_TRUE(refusal(claim).contains(claim));
  for (auto [width, height, bits] :
       std::vector<std::array<std::int64_t, 3>>{{0x7fffffff, 0x7fffffff, 32},
                                                {0x7fffffff, -0x7fffffff, 1},
                                                {1, INT32_MIN, 8},
                                                {-1, 1, 8},
                                                {0, 1, 8},
                                                {1, 0, 8},
                                                {0x40000000, 4, 24}}) {
    BmpFile f{.width = static_cast<std::int32_t>(width),
              .height = static_cast<std::int32_t>(height),
              .bits = static_cast<int>(bits),
              .extra = QByteArray(bits <= 8 ? 1 << (bits + 2) : 0, '\0')};
    EXPECT_FALSE(refusal(write("claim.bmp", f.bytes())).isEmpty()) << width << " x " << height;
  }
  // A run-length stream that stops short is refused before the picture is made.
  BmpFile shortRle{.width = 50000,
                   .height = 50000,
                   .bits = 8,
                   .compression = 1,
                   .extra = QByteArray(1024, '\0'),
                   .pixels = QByteArray("\x05\x01", 2)};
  EXPECT_FALSE(refusal(write("short-rle.bmp", shortRle.bytes())).isEmpty());

  // A complete file beyond the limit: out of memory, the picture untouched.
  setBmpAllocationLimit(1000);
  BmpFile rle = shortRle;
  rle.width = rle.height = 100;
  rle.pixels = QByteArray("\x00\x01", 2);
  BmpFile plain{.width = 40, .height = 40, .bits = 24, .pixels = QByteArray(40 * 120, '\0')};
  for (const QByteArray& content : {rle.bytes(), plain.bytes()}) {
    Picture picture;
    EXPECT_THROW(picture.load(write("big.bmp", content)), std::bad_alloc);
    EXPECT_TRUE(picture.isEmpty());
    EXPECT_THROW(decodeBmp(reinterpret_cast<const std::uint8_t*>(content.constData()),
                           static_cast<std::size_t>(content.size())),
                 std::bad_alloc);
  }
}

// Fault 4: a FIFO, a directory or a device is refused without being opened
// (opening a FIFO would wait for a writer); a link to a regular file opens.
TEST_F(BmpReaderTest, OnlyRegularFilesAreOpened) {
  const QString fifo = dir.filePath("x.bmp");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString fifoLink = dir.filePath("fifo-link.bmp");
  ASSERT_TRUE(QFile::link(fifo, fifoLink));
  const QString good = write(
      "good.bmp", BmpFile{.extra = QByteArray(1024, '\0'), .pixels = QByteArray(4, '\0')}.bytes());
  const QString goodLink = dir.filePath("good-link.bmp");
  ASSERT_TRUE(QFile::link(good, goodLink));
  for (const QString& path :
       {fifo, fifoLink, dir.path(), QStringLiteral("/dev/zero"), dir.filePath("missing.bmp")}) {
    auto refused = std::async(std::launch::async, [&] { return refusal(path); });
    if (refused.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
      QFile unblock(fifo);  // let the blocked open go on before failing
      ASSERT_TRUE(unblock.open(QIODevice::WriteOnly));
      FAIL() << "opening " << path.toStdString() << " blocked";
    }
    EXPECT_EQ(refused.get(), "No se puede abrir el fichero «" + path + "»");
  }
  Picture picture;
  picture.load(goodLink);
  EXPECT_EQ(picture.width(), 1);
}

// Fault 5: an 8-bit scan above 16384 x 16384 opens when it fits in memory
// (a sparse file of zeros, its palette entry 0 a mid gray).
TEST_F(BmpReaderTest, LargeScanAboveSixteenThousandPixelsOpens) {
  constexpr int kSide = 16400;
  BmpFile scan{.width = kSide, .height = kSide, .bits = 8, .colours = 1};
  scan.extra = QByteArray("\x80\x80\x80\x00", 4);
  QFile file(dir.filePath("scan.bmp"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_EQ(file.write(scan.bytes()), 58);
  if (!file.resize(58 + std::int64_t{kSide} * kSide)) GTEST_SKIP() << "the disk refused the file";
  file.close();
  Picture picture;
  try {
    picture.load(file.fileName());
  } catch (const std::bad_alloc&) {
    GTEST_SKIP() << "not enough memory for the picture";
  }
  ASSERT_EQ(picture.width(), kSide);
  ASSERT_EQ(picture.height(), kSide);
  EXPECT_EQ(picture.bitsPerPixel(), 8);
  for (int y : {0, kSide / 2, kSide - 1})
    for (int x : {0, kSide / 3, kSide - 1}) EXPECT_EQ(picture.pixel(x, y), 0x808080u);
}

// Every seed and regression file through the fuzzing target's own checks.
TEST_F(BmpReaderTest, SeedAndRegressionFilesKeepTheOpenRoadPromises) {
  int files = 0;
  for (const QString& folder : {QStringLiteral("corpus"), QStringLiteral("regressions")}) {
    const QDir d(kFuzzFolder + "/" + folder);
    for (const QString& name : d.entryList(QDir::Files)) {
      QFile file(d.filePath(name));
      ASSERT_TRUE(file.open(QIODevice::ReadOnly));
      const QByteArray bytes = file.readAll();
      EXPECT_EQ(checkOpenRoad(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                              static_cast<std::size_t>(bytes.size())),
                "")
          << folder.toStdString() << "/" << name.toStdString();
      ++files;
    }
  }
  EXPECT_GE(files, 40);
}

// Through the real window: each hostile file gives the message naming it and
// leaves the no-picture state; a run-length file that skips pixels opens with
// them black (its palette entry 0).
TEST_F(BmpReaderTest, HostileFilesThroughTheMainWindow) {
  FakeDialogs dialogs;
  Workspace ws;
  TForm1 form(ws);
  const QString fifo = dir.filePath("x.bmp");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  // Should the window wait in open() for a writer, one comes after 20 seconds.
  std::promise<void> answered;
  auto watchdog =
      std::async(std::launch::async, [path = QFile::encodeName(fifo), f = answered.get_future()] {
        if (f.wait_for(std::chrono::seconds(20)) == std::future_status::ready) {
          return false;
        }
        const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
        return true;
      });
  for (const QString& path : {fifo, kFuzzFolder + "/regressions/fault3-34-bytes-claiming-2gb.bmp",
                              kFuzzFolder + "/regressions/fault3-overflow-54-bytes.bmp",
                              kFuzzFolder + "/regressions/fault1-info-size-16.bmp",
                              kFuzzFolder + "/regressions/fault2-rle8-cut.bmp"}) {
    dialogs.openAnswers.push_back(path);
    form.Button1->click();
    ASSERT_FALSE(dialogs.messages.isEmpty()) << path.toStdString();
    EXPECT_EQ(dialogs.messages.last(), "No se puede abrir el fichero «" + path + "»");
    EXPECT_FALSE(ws.ImagenCargada || ws.ImagenInicial.exists() || ws.Alto);
  }
  answered.set_value();
  EXPECT_FALSE(watchdog.get()) << "opening a FIFO blocked the window";
  const int messages = static_cast<int>(dialogs.messages.size());
  dialogs.openAnswers.push_back(kFuzzFolder + "/regressions/fault2-rle8-sets-nothing-64x64.bmp");
  form.Button1->click();
  EXPECT_EQ(dialogs.messages.size(), messages);
  ASSERT_TRUE(ws.ImagenCargada && ws.Alto == 64 && ws.Ancho == 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(ws.ImagenInicial[y][x], 0);
}

}  // namespace
}  // namespace morvane
