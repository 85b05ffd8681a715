// The picture object (BMP files in and out, the pixel canvas, row transfers,
// failed reads and writes) and the text-integer conversions.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <functional>
#include <vector>

#include "toolkit/convert.h"
#include "toolkit/errors.h"
#include "toolkit/picture.h"

namespace morvane {
namespace {

// The canvas colour of a Qt colour: red in the low byte.
std::uint32_t canvas(QRgb c) {
  return static_cast<std::uint32_t>(qRed(c) | qGreen(c) << 8 | qBlue(c) << 16);
}

std::vector<std::uint32_t> colours(const Picture& p) {
  std::vector<std::uint32_t> out;
  for (int y = 0; y < p.height(); ++y)
    for (int x = 0; x < p.width(); ++x) out.push_back(p.pixel(x, y));
  return out;
}

// A picture of the given bit count. Palette pictures use every entry; colour
// ones use channel values that 5 bits hold exactly (66 * k).
Picture makePicture(int bits, int width, int height) {
  const bool indexed = bits <= 8;
  QImage image(width, height, indexed ? QImage::Format_Indexed8 : QImage::Format_RGB32);
  if (indexed) image.setColorCount(1 << bits);
  for (int i = 0; i < image.colorCount(); ++i) image.setColor(i, qRgb(i * 97 % 256, i, 255 - i));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.setPixel(x, y,
                     indexed ? (x * 3 + y * 5) % (1 << bits)
                             : qRgb(66 * (x % 4), 66 * (y % 4), 66 * ((x + y) / 2 % 4)));
  Picture picture;
  picture.setImage(image, bits);
  return picture;
}

// The message of the ToolkitError that f raises; empty when it raises none.
QString failure(const std::function<void()>& f) {
  try {
    f();
  } catch (const ToolkitError& e) {
    return QString::fromUtf8(e.what());
  }
  return {};
}

QByteArray contents(const QString& name) {
  QFile file(name);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class PictureFiles : public ::testing::Test {
 protected:
  QString path(const QString& name) const { return dir_.filePath(name); }
  QString write(const QString& name, const QByteArray& bytes) {
    QFile file(path(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path(name);
  }
  QTemporaryDir dir_;
};

// Every bit count saves as itself and loads back with the same pixels (and
// palette); the canvas and the row levels read red in the low byte.
TEST_F(PictureFiles, EveryBitCountSurvivesARoundTrip) {
  for (int bits : {1, 4, 8, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    const Picture original = makePicture(bits, 7, 3);  // odd width: padded rows
    const QString name = path(QString::number(bits) + ".bmp");
    original.save(name);
    Picture loaded;
    loaded.load(name);
    ASSERT_EQ(loaded.bitsPerPixel(), bits);
    ASSERT_EQ(loaded.image().size(), QSize(7, 3));
    std::uint8_t levels[7];
    for (int y = 0; y < 3; ++y) {
      loaded.readLevels(y, levels);
      for (int x = 0; x < 7; ++x) {
        const QRgb source = original.image().pixel(x, y);
        EXPECT_EQ(loaded.pixel(x, y), canvas(source)) << x << "," << y;
        EXPECT_EQ(levels[x], qRed(source)) << x << "," << y;
      }
    }
    for (int i = 0; bits <= 8 && i < (1 << bits); ++i)
      EXPECT_EQ(loaded.image().color(i), original.image().color(i)) << i;
  }
}

// Palette pictures take the nearest real entry, never the black padding
// beyond the file's palette.
TEST(Picture, PaletteTakesTheNearestEntry) {
  QImage image(3, 2, QImage::Format_Indexed8);
  image.setColorTable({qRgb(60, 60, 60), qRgb(100, 100, 100), qRgb(120, 120, 120),
                       qRgb(255, 255, 255), qRgb(255, 0, 0)});
  image.fill(0);
  Picture picture;
  picture.setImage(image, 8);
  picture.setPixel(0, 0, canvas(qRgb(240, 20, 20)));
  picture.setPixel(1, 0, canvas(qRgb(250, 250, 250)));
  picture.setPixel(2, 0, canvas(qRgb(90, 90, 110)));
  const std::uint8_t levels[3] = {5, 118, 255};
  picture.writeLevels(1, levels, 0, 3);
  const int expected[2][3] = {{4, 3, 1}, {0, 2, 3}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(picture.image().pixelIndex(x, y), expected[y][x]);
}

// Points outside read the outside colour and are never written; row writes
// keep to their range and their row.
TEST(Picture, NothingOutsideIsTouched) {
  EXPECT_EQ(Picture().pixel(0, 0), Picture::kOutsideColour);
  Picture picture = makePicture(24, 5, 3);
  std::vector<std::uint32_t> expected = colours(picture);
  for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {5, 0}, {0, 3}, {100000, 100000}}) {
    EXPECT_EQ(picture.pixel(x, y), Picture::kOutsideColour);
    picture.setPixel(x, y, 0xffffff);
  }
  const std::uint8_t buffer[11] = {1, 2, 3, 10, 20, 30, 40, 50, 4, 5, 6};
  const std::uint8_t* levels = buffer + 3;  // readable on both sides of the row
  picture.writeLevels(-1, levels, 0, 5);
  picture.writeLevels(3, levels, 0, 5);
  picture.writeLevels(1, levels, 1, 4);
  for (int x = 1; x < 4; ++x) expected[5 + x] = Picture::grayColour(levels[x]);
  EXPECT_EQ(colours(picture), expected);
  picture.writeLevels(1, levels, -3, 8);
  expected[5] = Picture::grayColour(10);
  expected[9] = Picture::grayColour(50);
  EXPECT_EQ(colours(picture), expected);
  std::uint8_t read[5];
  picture.readLevels(1, read);
  EXPECT_TRUE(std::equal(read, read + 5, levels));

  Picture rgb555 = makePicture(16, 1, 1);  // quantised as the file holds it
  rgb555.writeLevels(0, levels + 4, 0, 1);
  EXPECT_EQ(rgb555.pixel(0, 0), Picture::grayColour(49));
}

// A failed load names the file and leaves the picture as it was.
TEST_F(PictureFiles, UnreadableFilesRaiseAndKeepThePicture) {
  Picture picture = makePicture(24, 2, 2);
  const std::vector<std::uint32_t> before = colours(picture);
  makePicture(24, 50, 50).save(path("whole.bmp"));
  QByteArray badDepth = contents(path("whole.bmp"));
  badDepth[28] = 13;
  ASSERT_TRUE(picture.image().save(path("png.bmp"), "PNG"));
  for (const QString& name :
       {path("missing.bmp"), write("text.bmp", "no soy una imagen"), write("empty.bmp", {}),
        path("png.bmp"), write("headers.bmp", badDepth.left(54)), write("depth.bmp", badDepth),
        write("cut.bmp", contents(path("whole.bmp")).chopped(300)), dir_.path()}) {
    EXPECT_TRUE(failure([&] { picture.load(name); }).contains(name)) << name.toStdString();
    EXPECT_EQ(picture.bitsPerPixel(), 24);
    EXPECT_EQ(colours(picture), before);
  }
}

// A failed save raises naming the file and leaves what was there untouched.
TEST_F(PictureFiles, FailedSavesLeaveNoHalfFile) {
  EXPECT_THROW(Picture().save(path("empty.bmp")), ToolkitError);
  const Picture picture = makePicture(24, 100, 100);
  const QString nowhere = path("no/such/dir/out.bmp");
  EXPECT_TRUE(failure([&] { picture.save(nowhere); }).contains(nowhere));

  // The file size limit stops the write halfway.
  const QString target = path("keep.bmp");
  makePicture(8, 2, 2).save(target);
  const QByteArray good = contents(target);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const rlimit small{4096, old.rlim_max};
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  EXPECT_THROW(picture.save(target), ToolkitError);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(contents(target), good);
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.bmp"});
}

TEST(Convert, TextToIntegerAndBack) {
  const char* accepted[] = {"0", "-5", "+7", " 12 ", "007", "2147483647", "-2147483648"};
  const std::int32_t values[] = {0, -5, 7, 12, 7, INT32_MAX, INT32_MIN};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(TryStrToInt(accepted[i]), values[i]) << accepted[i];
    EXPECT_EQ(StrToInt(accepted[i]), values[i]) << accepted[i];
  }
  for (const char* text : {"", " ", "-", "+", "abc", "1.5", "2147483648", "-2147483649", "0x10",
                           "1 2", "1e3", "٣", "１２"}) {
    EXPECT_FALSE(TryStrToInt(QString::fromUtf8(text)).has_value()) << text;
    EXPECT_THROW(StrToInt(QString::fromUtf8(text)), ToolkitError) << text;
  }
  EXPECT_EQ(IntToStr(INT32_MIN), "-2147483648");
}

}  // namespace
}  // namespace morvane
