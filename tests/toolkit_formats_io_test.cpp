// JPEG, PNG and WebP in and out of the picture object: a cut or damaged file is
// refused naming it (and nothing is printed), a complete file opens as Qt's
// reader shows it, gray files stay gray, a file without a resolution is saved
// without one, the EXIF orientation is applied, and a gray PNG's transparent
// key keeps its level. Fixtures come from Qt's writers or are put together byte
// by byte here; Qt's readers are the reference.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "toolkit/errors.h"
#include "toolkit/image_io.h"
#include "toolkit/image_memory.h"
#include "toolkit/picture.h"
#include "toolkit/resolution.h"

namespace morvane {
namespace {

constexpr int kDpm = 11811;  // 300 dots per inch

QImage made(int w, int h, QImage::Format format, const std::function<QRgb(int, int)>& colour,
            int dpm = kDpm) {
  QImage image(w, h, format);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const QRgb c = colour(x, y);
      if (format == QImage::Format_Grayscale8) {
        image.scanLine(y)[x] = uchar(qRed(c));
      } else if (format == QImage::Format_Grayscale16) {
        // Samples on both sides of a rounding edge.
        reinterpret_cast<quint16*>(image.scanLine(y))[x] =
            quint16(std::min(65535, qRed(c) * 257 + (x % 3) * 100));
      } else {
        image.setPixelColor(x, y, QColor::fromRgba(c));
      }
    }
  image.setDotsPerMeterX(dpm);
  image.setDotsPerMeterY(dpm);
  return image;
}

QRgb noisy(int x, int y) {
  return qRgba((x * 37 + y * 11) % 256, (x * 5 + y * 91) % 256, (x * y) % 256, (x * 9 + 7) % 256);
}
QRgb grayNoise(int x, int y) {
  const int g = (x * 37 + y * 11 + x * y) % 256;
  return qRgb(g, g, g);
}

QByteArray encoded(const QImage& image, const char* format, int quality = -1,
                   bool progressive = false) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  writer.setQuality(quality);
  writer.setProgressiveScanWrite(progressive);
  EXPECT_TRUE(writer.write(image)) << format;
  return bytes;
}

quint32 crc32(const QByteArray& bytes) {
  quint32 crc = 0xffffffffu;
  for (char c : bytes) {
    crc ^= static_cast<uchar>(c);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

QByteArray be32(quint32 v) {
  QByteArray out(4, '\0');
  qToBigEndian(v, out.data());
  return out;
}

QByteArray chunk(const QByteArray& type, const QByteArray& data) {
  return be32(quint32(data.size())) + type + data + be32(crc32(type + data));
}

// A PNG put together by hand: rows of raw samples (filter 0), extra chunks
// before the image data.
QByteArray png(int w, int h, int depth, int colourType, const QByteArray& samples,
               const QByteArray& extra = {}, const QByteArray& afterData = {}) {
  const qsizetype rowBytes = samples.size() / h;
  QByteArray filtered;
  for (int y = 0; y < h; ++y) filtered += '\0' + samples.mid(y * rowBytes, rowBytes);
  const QByteArray header =
      be32(quint32(w)) + be32(quint32(h)) + char(depth) + char(colourType) + QByteArray(3, '\0');
  return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + extra +
         chunk("IDAT", qCompress(filtered).mid(4) + afterData) + chunk("IEND", {});
}

QByteArray le(quint64 v, int bytes) {
  QByteArray out;
  for (int i = 0; i < bytes; ++i) out += char(v >> (8 * i));
  return out;
}

QByteArray riff(const QByteArray& type, const QByteArray& data) {
  return type + le(quint32(data.size()), 4) + data + QByteArray(data.size() % 2, '\0');
}

// An extended WebP of a w x h canvas: the header with its flags, then chunks.
QByteArray webp(int flags, int w, int h, const QByteArray& chunks) {
  const QByteArray body =
      "WEBP" + riff("VP8X", le(flags, 4) + le(w - 1, 3) + le(h - 1, 3)) + chunks;
  return "RIFF" + le(quint32(body.size()), 4) + body;
}

// The image chunk of a lossless WebP written by Qt.
QByteArray losslessChunk(const QImage& image) {
  return encoded(image, "webp", 100).mid(12);
}

// Two whole-canvas frames of 100 ms.
QByteArray animation(const QImage& first, const QImage& second) {
  const auto frame = [](const QImage& i) {
    return riff("ANMF", le(0, 6) + le(i.width() - 1, 3) + le(i.height() - 1, 3) + le(100, 3) +
                            '\0' + losslessChunk(i));
  };
  return webp(0x02, first.width(), first.height(),
              riff("ANIM", le(0, 6)) + frame(first) + frame(second));
}

// An interlaced (Adam7) 8-bit RGB PNG of an RGB32 image at 300 dpi, through libpng.
QByteArray interlacedPng(const QImage& image) {
  QByteArray out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, std::size_t n) {
        static_cast<QByteArray*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(data), n);
      },
      nullptr);
  png_set_IHDR(png, info, image.width(), image.height(), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_ADAM7,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_pHYs(png, info, kDpm, kDpm, PNG_RESOLUTION_METER);
  // RGB32 rows as they lie in memory: blue, green, red, then a filler byte.
  std::vector<png_bytep> pointers;
  for (int y = 0; y < image.height(); ++y)
    pointers.push_back(const_cast<png_bytep>(image.constScanLine(y)));
  png_set_rows(png, info, pointers.data());
  png_write_png(png, info, PNG_TRANSFORM_BGR | PNG_TRANSFORM_STRIP_FILLER_AFTER, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// The colour Qt's reader gives a pixel, as the picture object keeps it: deep
// samples rounded to 8 bits, alpha dropped.
QRgb qtColour(const QImage& qt, int x, int y) {
  const auto round16 = [](int v) { return (v * 255 + 32767) / 65535; };
  if (qt.format() == QImage::Format_Grayscale16) {
    const int g = round16(reinterpret_cast<const quint16*>(qt.constScanLine(y))[x]);
    return qRgb(g, g, g);
  }
  if (qt.depth() == 64) {
    const QRgba64 p = qt.pixelColor(x, y).rgba64();
    return qRgb(round16(p.red()), round16(p.green()), round16(p.blue()));
  }
  return qt.pixel(x, y) | 0xff000000u;
}

std::vector<QRgb> colours(const QImage& image, const std::function<QRgb(int, int)>& at) {
  std::vector<QRgb> out;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) out.push_back(at(x, y));
  return out;
}
std::vector<QRgb> colours(const QImage& image) {
  return colours(image, [&](int x, int y) { return image.pixel(x, y); });
}

// What the terminal receives (standard error, where Qt's messages also go)
// while f runs.
QByteArray printed(const std::function<void()>& f) {
  std::fflush(stderr);
  char path[] = "/tmp/formats_io_stderrXXXXXX";
  const int file = mkstemp(path);
  const int saved = dup(2);
  dup2(file, 2);
  f();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  QFile back(QString::fromLocal8Bit(path));
  back.open(QIODevice::ReadOnly);
  const QByteArray out = back.readAll();
  close(file);
  unlink(path);
  return out;
}

class FormatsIoTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "formats_io_test", *argv[] = {name, nullptr};
    if (QGuiApplication::instance() == nullptr) new QGuiApplication(argc, argv);
  }
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }

  QString put(const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    return file.fileName();
  }
  QByteArray contents(const QString& name) {
    QFile file(dir.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  // Saves the picture as name and gives the file's bytes.
  QByteArray saved(const Picture& picture, const QString& name) {
    picture.save(dir.filePath(name));
    return contents(name);
  }

  QTemporaryDir dir;
};

// Cut at several points or with damaged image data: refused with the window's
// message naming the file, the picture left as it was, nothing printed.
TEST_F(FormatsIoTest, CutOrDamagedFilesAreRefusedNamingThem) {
  const QImage photo = made(64, 48, QImage::Format_RGB32, noisy);
  const QImage gray = made(64, 48, QImage::Format_Grayscale8, grayNoise);
  QByteArray corruptPng = encoded(gray, "png");
  corruptPng[corruptPng.indexOf("IDAT") + 40] ^= 0x55;  // the checksum no longer matches
  const struct {
    const char* name;
    QByteArray bytes;
  } files[] = {
      {"colour.jpg", encoded(photo, "jpeg", 90)},
      {"gray.jpg", encoded(gray, "jpeg", 90)},
      {"progressive.jpg", encoded(photo, "jpeg", 90, true)},
      {"gray.png", encoded(gray, "png")},
      {"colour.png", encoded(photo, "png")},
      {"lossless.webp", encoded(photo, "webp", 100)},
      {"lossy.webp", encoded(photo, "webp", 80)},
  };
  Picture picture;
  picture.setImage(made(2, 2, QImage::Format_RGB32, noisy), 24);
  const QImage before = picture.image();
  // Rows for a picture one row taller than the header says, then that header.
  QByteArray shortData = png(5, 4, 8, 0, QByteArray(20, 'a'));
  shortData.replace(8, 25, chunk("IHDR", shortData.mid(16, 4) + be32(5) + shortData.mid(24, 5)));
  std::vector<std::pair<QString, QByteArray>> cuts{{"corrupt.png", corruptPng},
                                                   {"short-data.png", shortData}};
  for (const auto& f : files) {
    for (double at : {0.3, 0.55, 0.9}) {
      cuts.emplace_back(QStringLiteral("%1-%2").arg(at).arg(f.name),
                        f.bytes.left(qsizetype(f.bytes.size() * at)));
    }
    cuts.emplace_back(QStringLiteral("end-%1").arg(f.name), f.bytes.chopped(2));
  }
  // Complete files open, also with a damaged text chunk, data past the image's
  // end or bytes after the file's end.
  QByteArray badText = chunk("tEXt", QByteArray("Comment\0hola", 12));
  badText[badText.size() - 1] ^= 1;
  const QByteArray rows(20, 'a');
  std::vector<std::pair<const char*, QByteArray>> complete = {
      {"text.png", png(5, 4, 8, 0, rows, badText)},
      {"surplus.png", png(5, 4, 8, 0, rows, {}, "xx")},
      {"after.png", png(5, 4, 8, 0, rows) + "garbage"},
      {"after.jpg", files[0].bytes + "garbage"},
  };
  for (const auto& f : files) complete.emplace_back(f.name, f.bytes);
  // Neither a refusal nor a warning of the libraries reaches the terminal.
  const QByteArray terminal = printed([&] {
    for (const auto& [name, bytes] : cuts) {
      const QString path = put(name, bytes);
      try {
        picture.load(path);
        ADD_FAILURE() << "opened " << name.toStdString();
      } catch (const ToolkitError& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), "No se puede abrir el fichero «" + path + "»");
      }
      EXPECT_TRUE(picture.image() == before && picture.bitsPerPixel() == 24);
    }
    for (const auto& [name, bytes] : complete) {
      EXPECT_NO_THROW(picture.load(put(name, bytes))) << name;
    }
  });
  EXPECT_EQ(terminal, QByteArray());
}

// Complete files open as Qt's reader shows them: size, in-memory format, bit
// count, gray flag, colour table, every colour, page count and resolution.
TEST_F(FormatsIoTest, CompleteFilesOpenAsQtReadsThem) {
  QImage palette(19, 7, QImage::Format_Indexed8);
  palette.setColorTable({qRgb(10, 200, 30), qRgba(255, 0, 128, 40), qRgb(0, 0, 0), qRgb(7, 7, 7)});
  for (int i = 0; i < 19 * 7; ++i) palette.setPixel(i % 19, i / 19, uint(i * 7 % 4));
  palette.setDotsPerMeterX(kDpm);
  palette.setDotsPerMeterY(kDpm);
  const QImage mono = palette.convertToFormat(QImage::Format_Mono, {qRgb(0, 0, 0), qRgb(80, 9, 9)});
  const struct {
    const char* name;
    QByteArray bytes;
  } files[] = {
      {"colour.jpg", encoded(made(33, 17, QImage::Format_RGB32, noisy), "jpeg", 90)},
      {"gray.jpg", encoded(made(33, 17, QImage::Format_Grayscale8, grayNoise), "jpeg", 75)},
      {"progressive.jpg", encoded(made(33, 17, QImage::Format_RGB32, noisy), "jpeg", 60, true)},
      {"palette.png", encoded(palette, "png")},
      {"mono.png", encoded(mono, "png")},
      {"gray.png", encoded(made(33, 17, QImage::Format_Grayscale8, grayNoise), "png")},
      {"gray16.png", encoded(made(33, 17, QImage::Format_Grayscale16, grayNoise), "png")},
      {"rgb.png", encoded(made(33, 17, QImage::Format_RGB32, noisy), "png")},
      {"rgba.png", encoded(made(33, 17, QImage::Format_ARGB32, noisy), "png")},
      {"rgba64.png", encoded(made(33, 17, QImage::Format_RGBA64, noisy), "png")},
      {"interlaced.png", interlacedPng(made(33, 17, QImage::Format_RGB32, noisy))},
      {"colour.webp", encoded(made(33, 17, QImage::Format_RGB32, noisy), "webp", 100)},
      {"alpha.webp", encoded(made(33, 17, QImage::Format_ARGB32, noisy), "webp", 100)},
      {"lossy.webp", encoded(made(33, 17, QImage::Format_RGB32, noisy), "webp", 70)},
      {"animated.webp", animation(made(33, 17, QImage::Format_RGB32, noisy),
                                  made(33, 17, QImage::Format_RGB32, grayNoise))},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const QString path = put(f.name, f.bytes);
    const std::optional<DecodedPicture> ours = readPicture(path);
    ASSERT_TRUE(ours.has_value());
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QImage qt = reader.read();
    ASSERT_FALSE(qt.isNull());
    const bool mono = qt.format() == QImage::Format_Mono;
    const bool indexed = mono || qt.format() == QImage::Format_Indexed8;
    const bool gray =
        qt.format() == QImage::Format_Grayscale8 || qt.format() == QImage::Format_Grayscale16;
    const QImage& image = ours->image;
    EXPECT_EQ(image.size(), qt.size());
    EXPECT_EQ(image.format(), indexed || gray ? QImage::Format_Indexed8 : QImage::Format_RGB32);
    EXPECT_EQ(ours->bitsPerPixel, mono ? 1 : indexed || gray ? 8 : 24);
    EXPECT_EQ(ours->gray, gray);
    EXPECT_EQ(ours->pageCount, std::max(1, QImageReader(path).imageCount()));
    if (indexed) {
      QList<QRgb> table = qt.colorTable();
      for (QRgb& c : table) c |= 0xff000000u;
      EXPECT_EQ(image.colorTable(), table);
    }
    EXPECT_EQ(colours(image), colours(qt, [&](int x, int y) { return qtColour(qt, x, y); }));
    const bool told = QByteArray(f.name).endsWith(".png") || QByteArray(f.name).endsWith(".jpg");
    EXPECT_EQ(image.dotsPerMeterX(), told ? qt.dotsPerMeterX() : kNoResolution);
    EXPECT_EQ(image.dotsPerMeterY(), told ? qt.dotsPerMeterY() : kNoResolution);
  }
}

// Gray files, whatever their envelope (gray with alpha, 16 bits, 4 bits, a
// gray WebP), open gray and are saved gray with their levels.
TEST_F(FormatsIoTest, GrayFilesOpenAndAreSavedGray) {
  const int w = 8, h = 3;
  QByteArray levels, grayAlpha, grayAlpha16, nibbles, nibbleLevels;
  for (int i = 0; i < w * h; ++i) {
    const int g = i * 255 / (w * h - 1);
    levels.append(char(g));
    grayAlpha.append(char(g)).append(char(i * 40));
    grayAlpha16.append(char(g)).append('\x7f').append(char(i * 9)).append('\0');  // rounds to g
    nibbleLevels.append(char(g / 17 * 17));  // a 4-bit sample v is level 17 v
    if (i % 2) nibbles.append(char(uchar(levels[i - 1]) / 17 << 4 | g / 17));
  }
  const QImage grayImage = made(w, h, QImage::Format_Grayscale8, [&](int x, int y) {
    const int g = uchar(levels[y * w + x]);
    return qRgb(g, g, g);
  });
  const struct {
    const char* name;
    QByteArray bytes;
    QByteArray expected;
  } files[] = {
      {"ga.png", png(w, h, 8, 4, grayAlpha), levels},
      {"ga16.png", png(w, h, 16, 4, grayAlpha16), levels},
      {"gray4.png", png(w, h, 4, 0, nibbles), nibbleLevels},
      {"gray.webp", encoded(grayImage, "webp", 100), levels},
      {"lossy.webp", encoded(grayImage, "webp", 90), {}},
      // A gentle slope: the lossy coder leaves some pixels' channels one apart.
      {"slope.webp",
       encoded(made(w, h, QImage::Format_RGB32,
                    [](int x, int y) {
                      const int g = 250 - y * 13 + x % 3;
                      return qRgb(g, g, g);
                    }),
               "webp", 80),
       {}},
      {"gray.jpg", encoded(grayImage, "jpeg", 100), {}},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    Picture picture;
    picture.load(put(f.name, f.bytes));
    EXPECT_TRUE(readPicture(dir.filePath(f.name))->gray);
    std::vector<std::uint8_t> row(w);
    QByteArray read;
    for (int y = 0; y < h; ++y) {
      picture.readLevels(y, row.data());
      read.append(reinterpret_cast<const char*>(row.data()), w);
    }
    EXPECT_TRUE(f.expected.isEmpty() || read == f.expected);
    for (const char* out : {"out.png", "out.jpg", "out.webp"}) {
      SCOPED_TRACE(out);
      picture.save(dir.filePath(out));
      const QImage back(dir.filePath(out));
      const std::optional<DecodedPicture> ours = readPicture(dir.filePath(out));
      ASSERT_TRUE(ours.has_value());
      EXPECT_TRUE(ours->gray);
      EXPECT_TRUE(QByteArray(out) == "out.webp" || back.format() == QImage::Format_Grayscale8);
      if (QByteArray(out) == "out.jpg") continue;
      QByteArray again;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) again += char(qRed(back.pixel(x, y)));
      EXPECT_EQ(again, read);
    }
  }
}

// A file that tells no resolution (PNG without pHYs, JPEG of unit 0, WebP, BMP
// of 0 pixels per metre) keeps none through copies and is saved without one; a
// file that tells one keeps it.
TEST_F(FormatsIoTest, ResolutionIsKeptOrLeftOut) {
  const QImage none = made(9, 5, QImage::Format_RGB32, noisy, kNoResolution);
  const QImage some = made(9, 5, QImage::Format_RGB32, noisy, kDpm);
  Picture written;
  written.setImage(none, 24);
  const QByteArray jpegNone = saved(written, "none.jpg"), bmpNone = saved(written, "none.bmp");
  ASSERT_EQ(jpegNone.mid(6, 12), QByteArray("JFIF\0\x01\x01\0\0\x01\0\x01", 12));  // unit 0, 1:1
  const struct {
    const char* name;
    QByteArray bytes;
    bool told;
  } files[] = {
      {"none.png", encoded(none, "png"), false},        {"none.jpg", jpegNone, false},
      {"none.webp", encoded(none, "webp", 100), false}, {"none.bmp", bmpNone, false},
      {"some.png", encoded(some, "png"), true},         {"some.jpg", encoded(some, "jpeg"), true},
      {"some.bmp", encoded(some, "bmp"), true},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    Picture picture;
    picture.load(put(QStringLiteral("in-") + f.name, f.bytes));
    Picture copy(picture), set;
    set.setImage(CopyImage(copy.image()).convertToFormat(QImage::Format_RGB32), 24);
    const int expected = f.told ? kDpm : kNoResolution;
    for (const Picture* p : {&picture, &copy, &set}) {
      EXPECT_EQ(p->image().dotsPerMeterX(), expected);
      EXPECT_EQ(p->image().dotsPerMeterY(), expected);
    }
    const QByteArray png = saved(set, "out.png"), jpeg = saved(set, "out.jpg"),
                     bmp = saved(set, "out.bmp");
    EXPECT_EQ(png.contains("pHYs"), f.told);
    EXPECT_EQ(jpeg.mid(13, 5),
              f.told ? QByteArray("\x01\x01\x2c\x01\x2c", 5) : QByteArray("\0\0\x01\0\x01", 5));
    EXPECT_EQ(qFromLittleEndian<quint32>(bmp.constData() + 38), quint32(f.told ? kDpm : 0));
    EXPECT_EQ(qFromLittleEndian<quint32>(bmp.constData() + 42), quint32(f.told ? kDpm : 0));
  }
}

// The EXIF block of a JPEG put by hand (big- or little-endian).
QByteArray exif(int orientation, bool little) {
  QByteArray tiff = little ? QByteArray("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 18)
                           : QByteArray("MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01", 18);
  tiff += little ? QByteArray(1, char(orientation)) + QByteArray(3, '\0')
                 : QByteArray(1, '\0') + char(orientation) + QByteArray(2, '\0');
  return tiff + QByteArray(4, '\0');
}

QByteArray withExif(const QByteArray& jpeg, const QByteArray& tiff) {
  const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
  QByteArray segment("\xff\xe1", 2);
  segment += char((body.size() + 2) >> 8);
  segment += char((body.size() + 2) & 0xff);
  return jpeg.left(20) + segment + body + jpeg.mid(20);  // after the JFIF segment
}

// Orientations 1 to 8 open upright, as Qt's reader turns them, and the saved
// picture carries no orientation.
TEST_F(FormatsIoTest, ExifOrientationIsAppliedOnOpen) {
  const QImage asymmetric = made(24, 8, QImage::Format_RGB32, [](int x, int y) {
    return x < 8 && y < 4 ? qRgb(250, 250, 250) : qRgb(x * 10, 40 + y * 20, 90);
  });
  const QByteArray jpeg = encoded(asymmetric, "jpeg", 100);
  for (int orientation = 1; orientation <= 8; ++orientation) {
    for (bool little : {false, true}) {
      SCOPED_TRACE(orientation * (little ? -1 : 1));
      const QString path = put("o.jpg", withExif(jpeg, exif(orientation, little)));
      QImageReader reader(path);
      reader.setAutoTransform(true);
      const QImage upright = reader.read();
      Picture picture;
      picture.load(path);
      ASSERT_EQ(picture.image().size(), upright.size());
      EXPECT_EQ(colours(picture.image()), colours(upright));
      if (orientation == 6) {
        EXPECT_FALSE(saved(picture, "saved.jpg").contains("Exif"));
      }
    }
  }
  // A WebP turned a quarter clockwise: the first stored row becomes the last column.
  const QImage small = made(3, 2, QImage::Format_RGB32,
                            [](int x, int y) { return qRgb(10 + 30 * x + 100 * y, 0, 0); });
  Picture picture;
  picture.load(put("o.webp", webp(0x08, 3, 2, losslessChunk(small) + riff("EXIF", exif(6, true)))));
  ASSERT_EQ(picture.image().size(), QSize(2, 3));
  EXPECT_EQ(colours(picture.image()), colours(small.transformed(QTransform().rotate(90))));
}

// A gray PNG's transparent key is a level like any other (8, 16 and 2 bits).
TEST_F(FormatsIoTest, TransparentKeyOfAGrayPngKeepsItsLevel) {
  const struct {
    int depth;
    QByteArray samples, key, levels;
  } rows[] = {
      {8, QByteArray("\x00\x5a\xb4\xff", 4), QByteArray("\x00\x5a", 2),
       QByteArray("\x00\x5a\xb4\xff", 4)},
      {16, QByteArray("\x00\x00\x5a\x5a\xb4\xb4\xff\xff", 8), QByteArray("\xb4\xb4", 2),
       QByteArray("\x00\x5a\xb4\xff", 4)},
      {2, QByteArray("\x1b", 1), QByteArray("\x00\x01", 2), QByteArray("\x00\x55\xaa\xff", 4)},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.depth);
    Picture picture;
    picture.load(put("key.png", png(4, 1, r.depth, 0, r.samples, chunk("tRNS", r.key))));
    std::uint8_t levels[4] = {};
    picture.readLevels(0, levels);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(levels), 4), r.levels);
    EXPECT_TRUE(readPicture(dir.filePath("key.png"))->gray);
  }
}

}  // namespace
}  // namespace morvane
