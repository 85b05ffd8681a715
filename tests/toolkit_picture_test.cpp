// The picture object: BMP files of every bit count in and out, the pixel
// canvas, row transfers, and the failures of reading and writing; plus the
// text-integer conversions.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <csignal>
#include <cstdint>
#include <functional>
#include <vector>

#include "toolkit/convert.h"
#include "toolkit/errors.h"
#include "toolkit/picture.h"

namespace morvane {
namespace {

void put16(QByteArray& b, int at, std::uint32_t v) {
  b[at] = static_cast<char>(v & 0xff);
  b[at + 1] = static_cast<char>((v >> 8) & 0xff);
}
void put32(QByteArray& b, int at, std::uint32_t v) {
  put16(b, at, v & 0xffff);
  put16(b, at + 2, v >> 16);
}

// A BMP file written byte by byte, independently of the picture's encoder.
// raw(x, y) is the stored value: a palette index, a 5-5-5 word, or 0xRRGGBB.
QByteArray rawBmp(int width, int height, int bits, const std::vector<QRgb>& palette,
                  const std::function<std::uint32_t(int, int)>& raw, bool topDown = false) {
  const int rowBytes = ((width * bits + 31) / 32) * 4;
  const int offset = 14 + 40 + 4 * static_cast<int>(palette.size());
  QByteArray b(offset + rowBytes * height, '\0');
  b[0] = 'B';
  b[1] = 'M';
  put32(b, 2, static_cast<std::uint32_t>(b.size()));
  put32(b, 10, static_cast<std::uint32_t>(offset));
  put32(b, 14, 40);
  put32(b, 18, static_cast<std::uint32_t>(width));
  put32(b, 22, static_cast<std::uint32_t>(topDown ? -height : height));
  put16(b, 26, 1);
  put16(b, 28, static_cast<std::uint32_t>(bits));
  put32(b, 46, static_cast<std::uint32_t>(palette.size()));
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const int at = 54 + 4 * static_cast<int>(i);
    b[at] = static_cast<char>(qBlue(palette[i]));
    b[at + 1] = static_cast<char>(qGreen(palette[i]));
    b[at + 2] = static_cast<char>(qRed(palette[i]));
  }
  for (int y = 0; y < height; ++y) {
    const int fileRow = topDown ? y : height - 1 - y;
    auto* row = reinterpret_cast<unsigned char*>(b.data()) + offset + fileRow * rowBytes;
    for (int x = 0; x < width; ++x) {
      const std::uint32_t v = raw(x, y);
      switch (bits) {
        case 1:
          row[x / 8] |= static_cast<unsigned char>((v & 1) << (7 - x % 8));
          break;
        case 4:
          row[x / 2] |= static_cast<unsigned char>((v & 15) << (x % 2 ? 0 : 4));
          break;
        case 8:
          row[x] = static_cast<unsigned char>(v);
          break;
        case 16:
          row[2 * x] = static_cast<unsigned char>(v);
          row[2 * x + 1] = static_cast<unsigned char>(v >> 8);
          break;
        default: {
          const int n = bits / 8;
          row[n * x] = static_cast<unsigned char>(v);            // blue
          row[n * x + 1] = static_cast<unsigned char>(v >> 8);   // green
          row[n * x + 2] = static_cast<unsigned char>(v >> 16);  // red
        }
      }
    }
  }
  return b;
}

std::vector<QRgb> grayPalette(int entries) {
  std::vector<QRgb> palette;
  for (int i = 0; i < entries; ++i) {
    const int g = entries == 1 ? 0 : i * 255 / (entries - 1);
    palette.push_back(qRgb(g, g, g));
  }
  return palette;
}

std::uint32_t bgr(int r, int g, int b) {
  return static_cast<std::uint32_t>(r | (g << 8) | (b << 16));
}

int fileBitCount(const QString& name) {
  QFile file(name);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  const QByteArray head = file.read(30);
  return static_cast<unsigned char>(head[28]) | (static_cast<unsigned char>(head[29]) << 8);
}

class PictureFiles : public ::testing::Test {
 protected:
  QString write(const QString& name, const QByteArray& bytes) {
    const QString path = dir_.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
  }
  QString path(const QString& name) const { return dir_.filePath(name); }

  QTemporaryDir dir_;
};

// Every pixel's colour, row by row.
std::vector<std::uint32_t> colours(const Picture& p) {
  std::vector<std::uint32_t> out;
  for (int y = 0; y < p.height(); ++y)
    for (int x = 0; x < p.width(); ++x) out.push_back(p.pixel(x, y));
  return out;
}

struct Depth {
  int bits;
  bool topDown;
};

class PictureDepths : public PictureFiles, public ::testing::WithParamInterface<Depth> {};

// Each bit count loads with its own format, reads red as the low byte, and
// saves back to the same bit count with the same colours (and palette).
TEST_P(PictureDepths, LoadReadAndRoundTrip) {
  const int bits = GetParam().bits;
  const int width = 7;  // odd width: every row carries padding
  const int height = 3;
  std::vector<QRgb> palette;
  if (bits <= 8) {
    palette = grayPalette(1 << bits);
    palette[1] = qRgb(200, 10, 20);  // one colour entry: red must be the level
  }
  auto raw = [&](int x, int y) -> std::uint32_t {
    switch (bits) {
      case 1:
        return static_cast<std::uint32_t>((x + y) % 2);
      case 4:
        return static_cast<std::uint32_t>((x * 3 + y) % 16);
      case 8:
        return static_cast<std::uint32_t>(x * 37 + y * 11) & 0xff;
      case 16:  // 0RRRRRGGGGGBBBBB
        return static_cast<std::uint32_t>(((x * 4) << 10) | ((y * 9) << 5) | 7);
      default:
        return static_cast<std::uint32_t>((x * 30) << 16 | (y * 70) << 8 | 5);
    }
  };
  auto expected = [&](int x, int y) -> std::uint32_t {
    const std::uint32_t v = raw(x, y);
    if (bits <= 8) {
      const QRgb c = palette[v];
      return bgr(qRed(c), qGreen(c), qBlue(c));
    }
    if (bits == 16) {
      auto widen = [](std::uint32_t c) { return (c << 3) | (c >> 2); };
      return widen((v >> 10) & 31) | widen((v >> 5) & 31) << 8 | widen(v & 31) << 16;
    }
    return bgr(static_cast<int>(v >> 16), static_cast<int>((v >> 8) & 0xff),
               static_cast<int>(v & 0xff));
  };
  const QString in = write("in.bmp", rawBmp(width, height, bits, palette, raw, GetParam().topDown));

  Picture picture;
  picture.load(in);
  ASSERT_EQ(picture.width(), width);
  ASSERT_EQ(picture.height(), height);
  EXPECT_EQ(picture.bitsPerPixel(), bits);
  std::vector<std::uint8_t> levels(width);
  for (int y = 0; y < height; ++y) {
    picture.readLevels(y, levels.data());
    for (int x = 0; x < width; ++x) {
      ASSERT_EQ(picture.pixel(x, y), expected(x, y)) << x << "," << y;
      ASSERT_EQ(levels[x], expected(x, y) & 0xff) << x << "," << y;
    }
  }

  const QString out = path("out.bmp");
  picture.save(out);
  EXPECT_EQ(fileBitCount(out), bits);
  Picture again;
  again.load(out);
  EXPECT_EQ(again.bitsPerPixel(), bits);
  EXPECT_EQ(colours(again), colours(picture));
  if (bits <= 8) {
    for (int i = 0; i < (1 << bits); ++i) EXPECT_EQ(again.image().color(i), palette[i]) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(AllBitCounts, PictureDepths,
                         ::testing::Values(Depth{1, false}, Depth{4, false}, Depth{8, false},
                                           Depth{8, true}, Depth{16, false}, Depth{24, false},
                                           Depth{24, true}, Depth{32, false}),
                         [](const auto& info) {
                           return std::to_string(info.param.bits) +
                                  (info.param.topDown ? "TopDown" : "");
                         });

TEST_F(PictureFiles, PaletteTakesTheNearestEntry) {
  // Entries: black, two equally near grays, white, pure red.
  std::vector<QRgb> palette = {qRgb(0, 0, 0), qRgb(100, 100, 100), qRgb(120, 120, 120),
                               qRgb(255, 255, 255), qRgb(255, 0, 0)};
  palette.resize(256, qRgb(0, 0, 0));
  Picture picture;
  picture.load(write("p.bmp", rawBmp(4, 2, 8, palette, [](int, int) { return 0u; })));

  picture.setPixel(0, 0, bgr(110, 110, 110));  // tie between entries 1 and 2: the first
  EXPECT_EQ(picture.image().pixelIndex(0, 0), 1);
  picture.setPixel(1, 0, bgr(240, 20, 20));
  EXPECT_EQ(picture.pixel(1, 0), bgr(255, 0, 0));
  picture.setPixel(2, 0, bgr(250, 250, 250));
  EXPECT_EQ(picture.pixel(2, 0), bgr(255, 255, 255));

  // Gray levels go through the same nearest rule; the padding black entries
  // beyond the file's palette are never chosen over a real one.
  const std::uint8_t levels[4] = {5, 118, 200, 255};
  picture.writeLevels(1, levels, 0, 4);
  EXPECT_EQ(picture.image().pixelIndex(0, 1), 0);
  EXPECT_EQ(picture.image().pixelIndex(1, 1), 2);
  EXPECT_EQ(picture.image().pixelIndex(2, 1), 3);
  EXPECT_EQ(picture.image().pixelIndex(3, 1), 3);
}

TEST_F(PictureFiles, WriteLevelsKeepsToItsRangeAndQuantisesLikeTheFile) {
  Picture colour;
  colour.load(write("c.bmp", rawBmp(5, 2, 24, {}, [](int, int) { return 0x102030u; })));
  const std::uint8_t levels[5] = {1, 2, 3, 4, 5};
  colour.writeLevels(0, levels, 1, 3);
  EXPECT_EQ(colour.pixel(0, 0), bgr(0x10, 0x20, 0x30));
  EXPECT_EQ(colour.pixel(1, 0), Picture::grayColour(2));
  EXPECT_EQ(colour.pixel(2, 0), Picture::grayColour(3));
  EXPECT_EQ(colour.pixel(3, 0), bgr(0x10, 0x20, 0x30));
  colour.writeLevels(0, levels, -3, 99);  // clipped to the row
  EXPECT_EQ(colour.pixel(4, 0), Picture::grayColour(5));
  colour.writeLevels(7, levels, 0, 5);  // a row outside: nothing

  Picture rgb555;
  rgb555.load(write("s.bmp", rawBmp(2, 1, 16, {}, [](int, int) { return 0u; })));
  const std::uint8_t pair[2] = {255, 100};
  rgb555.writeLevels(0, pair, 0, 2);
  EXPECT_EQ(rgb555.pixel(0, 0), Picture::grayColour(255));
  EXPECT_EQ(rgb555.pixel(1, 0), Picture::grayColour(99));  // 100 / 8 = 12 -> 99
  rgb555.setPixel(1, 0, bgr(255, 0, 8));
  EXPECT_EQ(rgb555.pixel(1, 0), bgr(255, 0, 8));
}

TEST_F(PictureFiles, OutsideThePictureNothingIsTouched) {
  Picture empty;
  EXPECT_TRUE(empty.isEmpty());
  EXPECT_EQ(empty.pixel(0, 0), Picture::kOutsideColour);
  empty.setPixel(0, 0, 0xffffff);

  Picture picture;
  picture.load(write("g.bmp", rawBmp(3, 3, 8, grayPalette(256), [](int, int) { return 255u; })));
  for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {3, 0}, {0, 3}, {100000, 100000}}) {
    EXPECT_EQ(picture.pixel(x, y), Picture::kOutsideColour);
    picture.setPixel(x, y, 0);
  }
  EXPECT_EQ(colours(picture), std::vector<std::uint32_t>(9, Picture::grayColour(255)));
}

TEST_F(PictureFiles, CopyRowCopiesColoursAcrossFormats) {
  std::vector<QRgb> palette = grayPalette(256);
  palette[7] = qRgb(250, 0, 0);
  Picture gray;
  gray.load(
      write("g.bmp", rawBmp(4, 2, 8, palette, [](int x, int) { return x == 3 ? 7u : 64u * x; })));
  Picture colour;
  colour.load(write("c.bmp", rawBmp(4, 2, 24, {}, [](int, int) { return 0x00ff00u; })));

  colour.copyRowFrom(gray, 1);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(colour.pixel(x, 1), gray.pixel(x, 1)) << x;
  EXPECT_EQ(colour.pixel(0, 0), bgr(0, 255, 0));

  colour.setPixel(1, 1, bgr(251, 1, 1));
  gray.copyRowFrom(colour, 1);  // into a palette: the nearest entry of each colour
  EXPECT_EQ(gray.pixel(1, 1), bgr(250, 0, 0));
  EXPECT_EQ(gray.pixel(2, 1), Picture::grayColour(128));

  Picture twin;
  twin.load(write("t.bmp", rawBmp(4, 2, 8, palette, [](int, int) { return 0u; })));
  twin.copyRowFrom(gray, 0);
  EXPECT_EQ(twin.pixel(3, 0), bgr(250, 0, 0));
}

// A failed load names the file and leaves the picture as it was.
TEST_F(PictureFiles, UnreadableFilesRaiseAndKeepThePicture) {
  Picture picture;
  picture.load(
      write("good.bmp", rawBmp(2, 2, 24, {}, [](int x, int) { return x ? 0xffffffu : 0u; })));
  const std::vector<std::uint32_t> before = colours(picture);

  QImage png(4, 4, QImage::Format_RGB32);
  png.fill(Qt::red);
  ASSERT_TRUE(png.save(path("picture.png"), "PNG"));
  QFile::copy(path("picture.png"), path("png-named.bmp"));
  QByteArray truncated = rawBmp(50, 50, 24, {}, [](int, int) { return 0u; }).left(20);
  QByteArray badDepth = rawBmp(2, 2, 24, {}, [](int, int) { return 0u; });
  put16(badDepth, 28, 13);

  const QStringList names = {path("missing.bmp"),
                             write("text.bmp", "hola, no soy una imagen"),
                             write("empty.bmp", QByteArray()),
                             path("picture.png"),
                             path("png-named.bmp"),
                             write("truncated.bmp", truncated),
                             write("baddepth.bmp", badDepth),
                             dir_.path()};
  for (const QString& name : names) {
    try {
      picture.load(name);
      ADD_FAILURE() << "loaded " << name.toStdString();
    } catch (const ToolkitError& e) {
      EXPECT_NE(QString::fromUtf8(e.what()).indexOf(name), -1) << e.what();
    }
    EXPECT_EQ(picture.bitsPerPixel(), 24);
    EXPECT_EQ(colours(picture), before);
  }
  EXPECT_STREQ(
      [&] {
        try {
          picture.load(path("x.bmp"));
        } catch (const ToolkitError& e) {
          return std::string(e.what());
        }
        return std::string();
      }()
          .c_str(),
      ("No se puede abrir el fichero «" + path("x.bmp").toStdString() + "»").c_str());
}

TEST_F(PictureFiles, FailedSavesRaiseAndLeaveNoHalfFile) {
  Picture empty;
  EXPECT_THROW(empty.save(path("empty.bmp")), ToolkitError);
  EXPECT_FALSE(QFile::exists(path("empty.bmp")));

  Picture picture;
  picture.load(
      write("p.bmp", rawBmp(100, 100, 24, {}, [](int x, int y) { return (x * y) & 0xffu; })));
  const QString nowhere = path("no/such/dir/out.bmp");
  try {
    picture.save(nowhere);
    ADD_FAILURE() << "saved into a missing directory";
  } catch (const ToolkitError& e) {
    EXPECT_NE(QString::fromUtf8(e.what()).indexOf(nowhere), -1) << e.what();
  }
  EXPECT_FALSE(QFile::exists(nowhere));

  // A write that fails halfway (the file size limit stops it) leaves the file
  // that was there before as it was.
  const QByteArray good = rawBmp(2, 2, 8, grayPalette(256), [](int, int) { return 9u; });
  const QString target = write("keep.bmp", good);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 4096;
  auto* previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool threw = false;
  try {
    picture.save(target);
  } catch (const ToolkitError&) {
    threw = true;
  }
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_TRUE(threw);
  QFile file(target);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), good);
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);  // p.bmp, keep.bmp
}

// Above Qt's default reading limit of 128 MB: the picture still opens.
TEST_F(PictureFiles, LargePictureOpens) {
  const int width = 16384;
  const int height = 8200;
  QByteArray head =
      rawBmp(width, 1, 8, grayPalette(256), [](int x, int) { return x == 5 ? 200u : 0u; });
  put32(head, 22, height);  // the one written row is the bottom row
  const QString name = write("large.bmp", head);
  {
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(head.size() - width + static_cast<qint64>(width) * height));
  }
  Picture picture;
  picture.load(name);
  EXPECT_EQ(picture.width(), width);
  EXPECT_EQ(picture.height(), height);
  EXPECT_EQ(picture.pixel(5, height - 1), Picture::grayColour(200));
  EXPECT_EQ(picture.pixel(5, 0), Picture::grayColour(0));
}

TEST(Convert, AcceptsSignedDecimalsWithinRange) {
  const std::pair<const char*, std::int32_t> good[] = {{"0", 0},
                                                       {"-5", -5},
                                                       {"+7", 7},
                                                       {" 12 ", 12},
                                                       {"2147483647", 2147483647},
                                                       {"-2147483648", -2147483647 - 1},
                                                       {"007", 7}};
  for (auto [text, value] : good) {
    EXPECT_EQ(TryStrToInt(QString::fromUtf8(text)), value) << text;
    EXPECT_EQ(StrToInt(QString::fromUtf8(text)), value) << text;
  }
  for (const char* text : {"", " ", "-", "+", "abc", "1.5", "2147483648", "-2147483649", "0x10",
                           "1 2", "1e3", "٣", "１２"}) {
    EXPECT_FALSE(TryStrToInt(QString::fromUtf8(text)).has_value()) << text;
    EXPECT_THROW(StrToInt(QString::fromUtf8(text)), ToolkitError) << text;
  }
  try {
    StrToInt(QStringLiteral("abc"));
  } catch (const ToolkitError& e) {
    EXPECT_STREQ(e.what(), "'abc' no es un valor entero válido");
  }
  EXPECT_EQ(IntToStr(0), "0");
  EXPECT_EQ(IntToStr(-2147483647 - 1), "-2147483648");
  EXPECT_EQ(IntToStr(2147483647), "2147483647");
}

}  // namespace
}  // namespace morvane
