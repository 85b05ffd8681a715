// Files in and out of the picture object, every format at once (Qt's readers
// are the oracle); then the BMP decoder's own cases, large and hostile files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QImageWriter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtEndian>
#include <array>
#include <chrono>
#include <cmath>
#include <functional>
#include <future>
#include <new>

#include "app/main_window.h"
#include "tests/fuzz/open_any.h"
#include "tests/support/application.h"
#include "tests/support/child.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/picture_files.h"
#include "toolkit/bmp_reader.h"
#include "toolkit/errors.h"
#include "toolkit/formats.h"
#include "toolkit/image_io.h"
#include "toolkit/image_memory.h"
#include "toolkit/resolution.h"

namespace morvane {
namespace {

constexpr int kDpm = 11811;  // 300 dots per inch
const QString kCorpus = QStringLiteral(MORVANE_FUZZ_DIR "/corpus/");
const QString kRegressions = QStringLiteral(MORVANE_FUZZ_DIR "/regressions/");

// The `bytes` low bytes of `v`, least significant first.
QByteArray le(quint64 v, int bytes) {
  QByteArray out;
  for (int i = 0; i < bytes; ++i) out += char(v >> (8 * i));
  return out;
}
QByteArray be32(quint32 v) {
  return le(qbswap(v), 4);
}
// A TIFF written with libtiff: every sample is sample(x, y, c) of `bits` bits
// (plus 40 on each further page).
struct Tiff {
  int width = 13, height = 9, bits = 8, samples = 1;
  int photometric = PHOTOMETRIC_MINISBLACK, compression = COMPRESSION_NONE;
  int planar = PLANARCONFIG_CONTIG, tile = 0, rowsPerStrip = 4, orientation = 0, pages = 1;
  int extra = -1;  // the extra sample's kind, when samples say there is one
  float dpi = 0;
  std::function<unsigned(int x, int y, int c)> sample = [](int x, int y, int c) {
    return unsigned(x * 37 + y * 101 + c * 53);
  };

  unsigned value(int x, int y, int c) const { return sample(x, y, c) & ((1u << bits) - 1u); }

  // Row y of one plane (or of every sample), packed as the file holds it.
  std::vector<uint8_t> row(int y, int plane, int page) const {
    const int perPixel = planar == PLANARCONFIG_SEPARATE ? 1 : samples;
    std::vector<uint8_t> out(std::size_t((width * perPixel * bits + 7) / 8), 0);
    for (int i = 0; i < width * perPixel; ++i) {
      const unsigned v = value(i / perPixel, y, perPixel == 1 ? plane : i % perPixel) + 40u * page;
      if (bits == 16)  // little-endian: the order libtiff writes on this machine
        out[2 * std::size_t(i)] = uint8_t(v), out[2 * std::size_t(i) + 1] = uint8_t(v >> 8);
      else
        out[std::size_t(i * bits / 8)] |=
            uint8_t((v & ((1u << bits) - 1)) << (8 - bits - i * bits % 8));
    }
    return out;
  }

  void write(const QString& path) const {
    TIFF* t = TIFFOpen(QFile::encodeName(path).constData(), "w");
    ASSERT_TRUE(t);
    const int planes = planar == PLANARCONFIG_SEPARATE ? samples : 1;
    for (int page = 0; page < pages; ++page) {
      const std::pair<ttag_t, int> tags[] = {
          {TIFFTAG_IMAGEWIDTH, width},        {TIFFTAG_IMAGELENGTH, height},
          {TIFFTAG_BITSPERSAMPLE, bits},      {TIFFTAG_SAMPLESPERPIXEL, samples},
          {TIFFTAG_PHOTOMETRIC, photometric}, {TIFFTAG_COMPRESSION, compression},
          {TIFFTAG_PLANARCONFIG, planar}};
      for (auto [tag, v] : tags) TIFFSetField(t, tag, v);
      if (orientation) TIFFSetField(t, TIFFTAG_ORIENTATION, orientation);
      if (dpi > 0) TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
      for (ttag_t tag : {TIFFTAG_XRESOLUTION, TIFFTAG_YRESOLUTION})
        if (dpi > 0) TIFFSetField(t, tag, dpi);
      const uint16_t kinds[] = {uint16_t(extra)};
      if (extra >= 0) TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, kinds);
      std::vector<uint16_t> map(3u << bits);
      const std::size_t n = std::size_t{1} << bits;
      for (std::size_t i = 0; i < map.size(); ++i) map[i] = uint16_t(i * 7919 * 257);
      if (photometric == PHOTOMETRIC_PALETTE)
        TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
      if (tile) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, tile);
        TIFFSetField(t, TIFFTAG_TILELENGTH, tile);
        const std::size_t tileRow = std::size_t(TIFFTileRowSize(t)), pixel = tileRow / tile;
        for (int plane = 0; plane < planes; ++plane)
          for (int ty = 0; ty < height; ty += tile)
            for (int tx = 0; tx < width; tx += tile) {
              std::vector<uint8_t> buffer(std::size_t(TIFFTileSize(t)), 0);
              for (int y = ty; y < std::min(height, ty + tile); ++y) {
                const auto r = row(y, plane, page);
                const std::size_t from = tx * pixel;
                std::memcpy(&buffer[(y - ty) * tileRow], r.data() + from,
                            std::min(tileRow, r.size() - from));
              }
              TIFFWriteTile(t, buffer.data(), uint32_t(tx), uint32_t(ty), 0, uint16_t(plane));
            }
      } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
        for (int plane = 0; plane < planes; ++plane)
          for (int y = 0; y < height; ++y)
            TIFFWriteScanline(t, row(y, plane, page).data(), uint32_t(y), uint16_t(plane));
      }
      TIFFWriteDirectory(t);
    }
    TIFFClose(t);
  }
};

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
    const std::int64_t start = 14 + infoSize + extra.size(), size = pixels.size();
    QByteArray out = "BM";
    for (std::int64_t v : std::initializer_list<std::int64_t>{
             start + size, 0, offset >= 0 ? offset : start, infoSize, width, height, 1 | bits << 16,
             compression, size, dotsPerMeterX, dotsPerMeterY, colours, 0})
      out += le(quint64(v), 4);
    for (int i = 0; i < 4 && 58 + 4 * i <= 14 + infoSize; ++i) out += le(masks[i], 4);
    return out.leftJustified(14 + infoSize, '\0') + extra + pixels;
  }
};
// A w x h picture of the given format whose pixel (x, y) is colour(x, y).
QImage made(int w, int h, QImage::Format format, const std::function<QRgb(int, int)>& colour,
            int dpm = kDpm) {
  QImage image(w, h, format);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const QRgb c = colour(x, y);
      if (format == QImage::Format_Grayscale16) {  // both sides of a rounding edge
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

QByteArray chunk(const QByteArray& type, const QByteArray& data) {
  quint32 crc = 0xffffffffu;
  for (char c : type + data) {
    crc ^= static_cast<uchar>(c);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return be32(quint32(data.size())) + type + data + be32(~crc);
}

// A PNG put together by hand: rows of raw samples (filter 0), or with `adam7`
// the seven passes of one-byte pixels; extra chunks before the image data.
QByteArray png(int w, int h, int depth, int colourType, const QByteArray& samples,
               const QByteArray& extra = {}, const QByteArray& afterData = {}, bool adam7 = false) {
  const qsizetype rowBytes = samples.size() / h;
  const int passes[][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                           {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  QByteArray filtered;
  for (const auto& [x0, y0, dx, dy] : passes)
    for (int y = y0; adam7 && x0 < w && y < h; y += dy) {
      filtered += '\0';
      for (int x = x0; x < w; x += dx) filtered += samples[y * w + x];
    }
  for (int y = 0; !adam7 && y < h; ++y) filtered += '\0' + samples.mid(y * rowBytes, rowBytes);
  const QByteArray header = be32(quint32(w)) + be32(quint32(h)) + char(depth) + char(colourType) +
                            QByteArray(2, '\0') + char(adam7);
  return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + extra +
         chunk("IDAT", qCompress(filtered).mid(4) + afterData) + chunk("IEND", {});
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

// The EXIF block of an orientation (big- or little-endian), and a JPEG holding it.
QByteArray exif(int orientation, bool little) {
  return little ? QByteArray("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 18) +
                      char(orientation) + QByteArray(7, '\0')
                : QByteArray("MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 19) +
                      char(orientation) + QByteArray(6, '\0');
}
QByteArray withExif(const QByteArray& jpeg, const QByteArray& tiff) {
  const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
  return jpeg.left(20) + "\xff\xe1" + char((body.size() + 2) >> 8) +
         char((body.size() + 2) & 0xff) + body + jpeg.mid(20);  // after the JFIF segment
}

// A 4 x 4 GIF whose data clears the table before every two codes (3-bit codes:
// clear 4, end 5), of `pixels` pixels, maybe cut short.
QByteArray gif(int pixels, bool cut) {
  QByteArray out("GIF89a\x04\0\x04\0\x80\0\0\0\0\0\xff\xff\xff\x2c\0\0\0\0\x04\0\x04\0\0\x02", 30);
  std::vector<int> codes;
  for (int i = 0; i < pixels; ++i) {
    if (i % 2 == 0) codes.push_back(4);
    codes.push_back((i * 5 / 3) % 2);
  }
  codes.push_back(5);
  QByteArray data;
  int acc = 0, bits = 0;
  for (int c : codes) {
    acc |= c << bits, bits += 3;
    while (bits >= 8) data.append(char(acc & 0xff)), acc >>= 8, bits -= 8;
  }
  if (bits) data.append(char(acc));
  out += char(data.size()) + data + QByteArray("\0;", 2);
  return cut ? out.left(out.size() - 6) : out;
}

// Every colour of Qt's picture as the picture object keeps it: deep samples
// rounded to 8 bits, alpha dropped.
std::vector<QRgb> rgbs(const QImage& qt) {
  const QImage rgb = qt.convertToFormat(QImage::Format_RGB32);
  std::vector<QRgb> out;
  for (int y = 0; y < qt.height(); ++y)
    for (int x = 0; x < qt.width(); ++x) out.push_back(rgb.pixel(x, y) | 0xff000000u);
  return out;
}

// What standard error (where Qt's messages also go) receives while f runs.
QByteArray printed(const std::function<void()>& f) {
  std::fflush(stderr);
  QTemporaryFile file;
  const int saved = dup(2);
  dup2(file.open() ? file.handle() : -1, 2);
  f();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  return fileBytes(file.fileName());
}

QString cannotOpen(const QString& path) {
  return "No se puede abrir el fichero «" + path + "»";
}

// The message of the ToolkitError loading `path` raises (the picture kept as it was).
QString refusal(const QString& path) {
  Picture picture = makePicture(24, 2, 2);
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

QSize dpm(const QImage& image) {
  return {image.dotsPerMeterX(), image.dotsPerMeterY()};
}

std::vector<int> indices(const Picture& p) {
  std::vector<int> out;
  for (int y = 0; y < p.height(); ++y)
    for (int x = 0; x < p.width(); ++x) out.push_back(p.image().pixelIndex(x, y));
  return out;
}

// A complete file: whether it is gray and whether it tells a resolution.
struct Complete {
  QString name;
  QByteArray bytes;
  bool gray = false, told = false;
};

class FormatsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureApplication(); }
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  QString path(const QString& name) const { return dir.filePath(name); }
  QString put(const QString& name, const QByteArray& bytes) {
    EXPECT_TRUE(writeFileBytes(path(name), bytes));
    return path(name);
  }
  QString tiff(const QString& name, const Tiff& fixture) {
    fixture.write(path(name));
    return path(name);
  }
  QByteArray tiffBytes(const Tiff& fixture) { return fileBytes(tiff("fixture.tif", fixture)); }
  std::vector<Complete> completeFiles();
  QByteArray saved(const Picture& picture, const QString& name) {
    picture.save(path(name));
    return fileBytes(path(name));
  }

  QTemporaryDir dir;
};

std::vector<Complete> FormatsTest::completeFiles() {
  std::vector<Complete> rows;
  const Tiff tiffs[] = {
      Tiff{},
      Tiff{.compression = COMPRESSION_LZW},
      Tiff{.width = 40, .compression = COMPRESSION_ADOBE_DEFLATE, .tile = 16},
      Tiff{.bits = 16, .compression = COMPRESSION_LZW},
      Tiff{.photometric = PHOTOMETRIC_MINISWHITE},
      Tiff{.bits = 1, .compression = COMPRESSION_CCITTFAX4},
      Tiff{.bits = 1, .photometric = PHOTOMETRIC_MINISWHITE},
      Tiff{.photometric = PHOTOMETRIC_PALETTE, .compression = COMPRESSION_LZW},
      Tiff{.bits = 4},
      Tiff{.samples = 3, .photometric = PHOTOMETRIC_RGB},
      Tiff{.samples = 3, .photometric = PHOTOMETRIC_RGB, .planar = PLANARCONFIG_SEPARATE},
      Tiff{.height = 20, .bits = 16, .samples = 3, .photometric = PHOTOMETRIC_RGB, .tile = 16},
      Tiff{.samples = 2, .extra = EXTRASAMPLE_UNASSALPHA},
      Tiff{.pages = 3, .dpi = 300}};

  for (const Tiff& t : tiffs)
    rows.push_back({QStringLiteral("%1%2.tif").arg(t.pages > 1 ? "pages" : "").arg(rows.size()),
                    tiffBytes(t), t.bits > 1 && t.photometric <= PHOTOMETRIC_MINISBLACK,
                    t.dpi > 0});
  QImage palette(19, 7, QImage::Format_Indexed8);
  palette.setColorTable({qRgb(10, 200, 30), qRgba(255, 0, 128, 40), qRgb(0, 0, 0), qRgb(7, 7, 7)});
  for (int i = 0; i < 19 * 7; ++i) palette.setPixel(i % 19, i / 19, uint(i * 7 % 4));
  palette.setDotsPerMeterX(kDpm);
  palette.setDotsPerMeterY(kDpm);
  const QImage mono = palette.convertToFormat(QImage::Format_Mono, {qRgb(0, 0, 0), qRgb(80, 9, 9)});
  const QImage colour = made(33, 17, QImage::Format_RGB32, noisy),
               gray = made(33, 17, QImage::Format_Grayscale8, grayNoise);
  QByteArray p6("P6 5 3 255\n"), grayBytes;
  for (int i = 0; i < 45; ++i) p6 += char(i * 97);
  for (int i = 0; i < 33 * 17; ++i) grayBytes += char(i * 37 % 251);
  rows.insert(
      rows.end(),
      {{"colour.jpg", encoded(colour, "jpeg", 90), false, true},
       {"gray.jpg", encoded(gray, "jpeg", 75), true, true},
       {"progressive.jpg", encoded(colour, "jpeg", 60, true), false, true},
       {"palette.png", encoded(palette, "png"), false, true},
       {"mono.png", encoded(mono, "png"), false, true},
       {"gray.png", encoded(gray, "png"), true, true},
       {"gray16.png", encoded(made(33, 17, QImage::Format_Grayscale16, grayNoise), "png"), true,
        true},
       {"rgb.png", encoded(colour, "png"), false, true},
       {"rgba.png", encoded(made(33, 17, QImage::Format_ARGB32, noisy), "png"), false, true},
       {"rgba64.png", encoded(made(33, 17, QImage::Format_RGBA64, noisy), "png"), false, true},
       {"interlaced.png", png(33, 17, 8, 0, grayBytes, {}, {}, true), true},
       {"colour.webp", encoded(colour, "webp", 100)},
       {"alpha.webp", encoded(made(33, 17, QImage::Format_ARGB32, noisy), "webp", 100)},
       {"lossy.webp", encoded(colour, "webp", 70)},
       {"animated.webp", animation(colour, made(33, 17, QImage::Format_RGB32, grayNoise))},
       {"qt.ppm", p6},
       {"raw.pbm", QByteArray("P4 9 1 \x80\x80", 9)},
       {"whole.gif", gif(16, false)}});
  return rows;
}

// Complete files of every layout read as Qt's reader shows them (TIFF's white-is-zero gray,
// a reversed palette to Qt, opens gray), with no resolution when the file tells none.
TEST_F(FormatsTest, CompleteFilesReadAsQtReadsThem) {
  for (const Complete& row : completeFiles()) {
    SCOPED_TRACE(row.name.toStdString());
    const QString file = put(row.name, row.bytes);
    const std::optional<DecodedPicture> ours = readPicture(file);
    ASSERT_TRUE(ours.has_value());
    QImageReader reader(file);
    reader.setAutoTransform(false);
    const QImage qt = reader.read();
    ASSERT_FALSE(qt.isNull());
    const bool mono = qt.format() == QImage::Format_Mono || qt.format() == QImage::Format_MonoLSB;
    const bool indexed = mono || qt.format() == QImage::Format_Indexed8;
    const QImage& image = ours->image;
    EXPECT_EQ(image.size(), qt.size());
    EXPECT_EQ(image.format(), indexed || row.gray ? QImage::Format_Indexed8 : QImage::Format_RGB32);
    EXPECT_EQ(ours->bitsPerPixel, mono ? 1 : indexed || row.gray ? 8 : 24);
    EXPECT_EQ(ours->gray, row.gray);
    EXPECT_EQ(ours->pageCount, std::max(1, QImageReader(file).imageCount()));
    if (indexed && !row.gray) {
      QList<QRgb> table = qt.colorTable();
      for (QRgb& c : table) c |= 0xff000000u;
      EXPECT_EQ(image.colorTable(), table);
    }
    EXPECT_EQ(rgbs(image), rgbs(qt));
    EXPECT_EQ(dpm(image), row.told ? dpm(qt) : QSize(kNoResolution, kNoResolution));
  }
}

// The seed BMP files, and ones of more than a megabyte of distinct rows (read in
// several strips) bottom-up and top-down, read as Qt's BMP reader reads them.
TEST_F(FormatsTest, BmpFilesReadAsQtReadsThem) {
  QStringList files;
  for (const QString& name : QDir(kCorpus).entryList({QStringLiteral("same-*.bmp")}, QDir::Files))
    files.append(kCorpus + name);
  ASSERT_GE(files.size(), 25);
  QByteArray large(3 * 640 * 600, '\0');
  for (int i = 0; i < large.size(); ++i) large[i] = char((i * 7 + i / 1920 * 13) % 251);
  files << put("large.bmp", Bmp{640, 600, 24, {}, large}.bytes())
        << put("large-top-down.bmp", Bmp{640, -600, 24, {}, large}.bytes());
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    Picture ours, qt;
    ASSERT_NO_THROW(ours.load(file));
    QImageReader reader(file, "bmp");
    reader.setAutoDetectImageFormat(false);
    QImage image;
    ASSERT_TRUE(reader.read(&image));
    qt.setImage(image, ours.bitsPerPixel());
    const QImage &a = ours.image(), &b = qt.image();
    ASSERT_EQ(ours.bitsPerPixel(), qt.bitsPerPixel());
    EXPECT_TRUE(a == b);  // size, format and the colour of every pixel
    // A file without a resolution has none (Qt makes one up).
    EXPECT_EQ(dpm(hasResolution(a) ? a : QImage(1, 1, QImage::Format_RGB32)), dpm(b));
    // Qt reorders two-entry palettes; ours keep a light entry first.
    EXPECT_TRUE(ours.bitsPerPixel() == 1 || a.colorTable() == b.colorTable());
    EXPECT_TRUE(!file.contains("light-first") || a.color(0) == qRgb(255, 255, 255));
  }
}

// Cut, corrupt or inconsistent files of every format are refused by name, the
// picture kept and nothing printed; complete ones (a bad text chunk or trailing
// bytes too) open. A BMP is measured before anything is allocated.
TEST_F(FormatsTest, DamagedFilesAreRefusedByName) {
  Tiff fixture{.width = 64, .height = 64, .rowsPerStrip = 64};
  const QByteArray whole = tiffBytes(fixture);
  fixture.compression = COMPRESSION_LZW;
  fixture.sample = [](int x, int y, int) { return unsigned((x * x + y * 7) % 251); };
  const QByteArray lzw = tiffBytes(fixture);
  QByteArray corrupt = lzw;
  for (int i = 400; i < 900; ++i) corrupt[i] = char(0xff);
  QByteArray corruptPng = encoded(made(64, 48, QImage::Format_Grayscale8, grayNoise), "png");
  corruptPng[corruptPng.indexOf("IDAT") + 40] ^= 0x55;  // the checksum no longer matches
  // The rows of a PNG one row taller than its header says.
  QByteArray shortData = png(5, 4, 8, 0, QByteArray(20, 'a'));
  shortData.replace(8, 25, chunk("IHDR", shortData.mid(16, 4) + be32(5) + shortData.mid(24, 5)));
  const QByteArray rows5(3 * 16, '\x40'), bmp5 = Bmp{5, 3, 24, {}, rows5}.bytes();
  const QByteArray palette8(1024, '\0');
  const auto patched = [&](int at, std::uint32_t v) {
    const int n = at == 26 || at == 28 ? 2 : 4;  // planes, bits; info size, compression
    return QByteArray(bmp5).replace(at, n, le(v, n));
  };
  // TIFF, GIF, PNG, then BMP short, inconsistent or claiming too much.
  std::vector<QByteArray> damaged = {
      whole.left(whole.size() / 2),
      lzw.left(lzw.size() - 200),
      corrupt,
      gif(16, true),
      gif(11, false),
      corruptPng,
      shortData,
      {},
      "no soy una imagen",
      bmp5.left(40),
      bmp5.chopped(4),
      bmp5.chopped(16),
      Bmp{4, 4, 8, palette8, QByteArray("\x04\x05\x00\x00\x04\x05", 6), 1}.bytes(),
      Bmp{50000, 50000, 8, palette8, QByteArray("\x05\x01", 2), 1}.bytes(),
      Bmp{.width = 1, .height = 1, .bits = 8, .extra = QByteArray(4 * 199, '\0'), .colours = 200}
          .bytes(),
      Bmp{.width = 5, .height = 3, .bits = 24, .pixels = rows5, .offset = 1 << 20}.bytes(),
      patched(26, 2),
      patched(28, 13),
      patched(14, 20),
      patched(30, 3),
      Bmp{0x7fffffff, 0x7fffffff, 32}.bytes(),
      Bmp{0x7fffffff, -0x7fffffff, 1, QByteArray(8, '\0')}.bytes(),
      Bmp{0x40000000, 4, 24}.bytes()};
  for (auto [w, h] : {std::pair{1, INT32_MIN}, {-1, 1}, {0, 1}, {1, 0}})
    damaged.push_back(Bmp{w, h, 8, palette8}.bytes());
  // PNM samples above maxval, cut data, broken headers.
  for (const char* pnm : {"P5 2 1 100 \x05\xc8", "P5 3 1 255 \x01\x02", "P3 2 1 255 1 2 3 4",
                          "P1 3 2 0 1 0 1", "P2 1 1 0 0", "P2 1 1 65536 0", "P1 2 1 0 2", "P5 2"})
    damaged.push_back(pnm);
  QByteArray badText = chunk("tEXt", QByteArray("Comment\0hola", 12));
  badText[badText.size() - 1] ^= 1;
  const QByteArray rows(20, 'a');
  std::vector<QByteArray> complete = {
      whole,
      lzw,
      png(5, 4, 8, 0, rows, badText),
      png(5, 4, 8, 0, rows, {}, "xx"),
      png(5, 4, 8, 0, rows) + "garbage",
      encoded(made(9, 5, QImage::Format_RGB32, noisy), "jpeg") + "garbage"};
  // Every complete file cut at several points (but a file of several pages,
  // whose first page stays whole).
  for (const Complete& file : completeFiles()) {
    complete.push_back(file.bytes);
    if (file.name.startsWith("pages")) continue;
    for (double at : {0.3, 0.55, 0.9})
      damaged.push_back(file.bytes.left(qsizetype(file.bytes.size() * at)));
    damaged.push_back(file.bytes.chopped(2));
  }
  QStringList paths;
  for (const QByteArray& bytes : damaged)
    paths.append(put(QStringLiteral("damaged%1").arg(paths.size()), bytes));
  for (const char* name :
       {"fault1-info-size-16.bmp", "fault1-offset-inside-headers.bmp", "fault1-rows-missing.bmp",
        "fault2-rle8-cut.bmp", "fault3-overflow-54-bytes.bmp", "fault3-34-bytes-claiming-2gb.bmp",
        "fault4-bmp-zero-masks.bmp", "fault4-gif-cut.gif", "fault4-pgm-above-maxval.pgm",
        "fault4-tiff-colormap-past-end.tif", "fault4-tiff-short-strip.tif"})
    paths.append(kRegressions + name);
  const QByteArray terminal = printed([&] {
    for (const QString& file : paths) {
      const AllocationLimit limit(fileBytes(file).startsWith("BM") ? 4096 : bmpAllocationLimit());
      EXPECT_EQ(refusal(file).toStdString(), cannotOpen(file).toStdString());
    }
    for (std::size_t i = 0; i < complete.size(); ++i) {
      Picture picture;
      EXPECT_NO_THROW(picture.load(put(QStringLiteral("complete%1").arg(i), complete[i]))) << i;
    }
  });
  EXPECT_EQ(terminal, QByteArray());
  // Only the padding of the last row missing: every pixel is there, it opens.
  Picture picture;
  picture.load(put("no-last-padding.bmp", bmp5.chopped(1)));
  EXPECT_EQ(picture.pixel(4, 0), 0x404040u);

  const AllocationLimit limit(1000);
  for (const QByteArray& content :
       {Bmp{100, 100, 8, palette8, QByteArray("\x00\x01", 2), 1}.bytes(),
        Bmp{40, 40, 24, {}, QByteArray(40 * 120, '\0')}.bytes()}) {
    Picture big;
    EXPECT_THROW(big.load(put("big.bmp", content)), std::bad_alloc);
    EXPECT_TRUE(big.isEmpty());
    EXPECT_THROW(decodeBmp(reinterpret_cast<const std::uint8_t*>(content.constData()),
                           static_cast<std::size_t>(content.size())),
                 std::bad_alloc);
  }
}

// PNM samples map to round(v * 255 / maxval), plain PBM digits need no blanks; a
// PNG's transparent key is a level; gray files in any envelope open gray; a BMP's
// offset inside a short palette is followed; unassociated TIFF alpha reads as stored.
TEST_F(FormatsTest, FilesReadWithTheLevelsTheyHold) {
  const auto round = [](int v, int maxval) { return int(std::lround(v * 255.0 / maxval)); };
  QByteArray p5("P5\n3 2\n4095\n"), p2("P2 # comment\n3 2\n65535\n");
  std::vector<int> deep, wide;
  for (int v : {0, 2048, 4095, 16, 17, 1000}) {
    p5 += char(v >> 8), p5 += char(v & 0xff);
    deep.push_back(round(v, 4095));
  }
  for (int v : {0, 128, 129, 385, 65407, 65535}) {
    p2 += QByteArray::number(v) + ' ';
    wide.push_back(round(v, 65535));
  }
  const int w = 8, h = 3;
  QByteArray grayAlpha, grayAlpha16, nibbles;
  std::vector<int> ramp, nibbleLevels;
  for (int i = 0; i < w * h; ++i) {
    const int g = i * 255 / (w * h - 1);
    ramp.push_back(g);
    grayAlpha.append(char(g)).append(char(i * 40));
    grayAlpha16.append(char(g)).append('\x7f').append(char(i * 9)).append('\0');  // rounds to g
    nibbleLevels.push_back(g / 17 * 17);  // a 4-bit sample v is level 17 v
    if (i % 2) nibbles.append(char(ramp[i - 1] / 17 << 4 | g / 17));
  }
  const QImage grayImage = made(w, h, QImage::Format_Grayscale8, [&](int x, int y) {
    return qRgb(ramp[y * w + x], ramp[y * w + x], ramp[y * w + x]);
  });
  const QImage slope = made(w, h, QImage::Format_RGB32, [](int x, int y) {
    const int g = 250 - y * 13 + x % 3;  // the lossy coder leaves some channels one apart
    return qRgb(g, g, g);
  });
  const Tiff rgba{.samples = 4, .photometric = PHOTOMETRIC_RGB, .extra = EXTRASAMPLE_UNASSALPHA};
  const Tiff palette4{.bits = 4, .photometric = PHOTOMETRIC_PALETTE};
  std::vector<int> red, paletteRed;  // colour map entry i has red (i * 7919 * 257) >> 8
  for (int i = 0; i < 13 * 9; ++i) {
    red.push_back(int(rgba.value(i % 13, i / 13, 0)));
    paletteRed.push_back(int(palette4.value(i % 13, i / 13, 0) * 7919 * 257 % 65536 >> 8));
  }
  const QByteArray key("\x00\x5a\xb4\xff", 4), key16("\0\0\x5a\x5a\xb4\xb4\xff\xff", 8);
  const QByteArray key2("\0\x01", 2);
  const std::vector<int> keyLevels{0, 90, 180, 255}, lossy;
  const QByteArray shortPalette = fileBytes(kRegressions + "fault4-bmp-short-palette.bmp");
  const struct {
    const char* name;
    QByteArray bytes;
    std::vector<int> levels;  // empty: a lossy file
    int bits, gray;           // 0, -1: not checked
  } rows[] = {
      {"deep.pgm", p5, deep, 8, -1},
      {"wide.pgm", p2, wide, 8, -1},
      {"seven.pgm", "P2 2 1 7 3 4", {round(3, 7), round(4, 7)}, 8, -1},
      {"packed.pbm", "P1\n4 2\n01101001", {255, 0, 0, 255, 0, 255, 255, 0}, 1, -1},
      {"colour.ppm", "P3 2 1 15 15 0 0 1 2 3", {255, round(1, 15)}, 24, -1},
      {"key8.png", png(4, 1, 8, 0, key, chunk("tRNS", key.left(2))), keyLevels, 0, 1},
      {"key16.png", png(4, 1, 16, 0, key16, chunk("tRNS", key16.mid(4, 2))), keyLevels, 0, 1},
      {"key2.png", png(4, 1, 2, 0, "\x1b", chunk("tRNS", key2)), {0, 85, 170, 255}, 0, 1},
      {"ga.png", png(w, h, 8, 4, grayAlpha), ramp, 0, 1},
      {"ga16.png", png(w, h, 16, 4, grayAlpha16), ramp, 0, 1},
      {"gray4.png", png(w, h, 4, 0, nibbles), nibbleLevels, 0, 1},
      {"gray.webp", encoded(grayImage, "webp", 100), ramp, 0, 1},
      {"lossy.webp", encoded(grayImage, "webp", 90), lossy, 0, 1},
      {"slope.webp", encoded(slope, "webp", 80), lossy, 0, 1},
      {"gray.jpg", encoded(grayImage, "jpeg", 100), lossy, 0, 1},
      {"short-palette.bmp", shortPalette, {0xd0, 0x30, 0xd0, 0xd0}, 0, -1},
      {"alpha.tif", tiffBytes(rgba), red, 24, 0},
      {"palette4.tif", tiffBytes(palette4), paletteRed, 8, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Picture picture;
    picture.load(put(row.name, row.bytes));
    EXPECT_TRUE(row.levels.empty() || levels(picture) == row.levels);
    EXPECT_TRUE(row.bits == 0 || picture.bitsPerPixel() == row.bits);
    EXPECT_TRUE(row.gray < 0 || readPicture(path(row.name))->gray == (row.gray == 1));
  }
}

// A file that tells no resolution (JPEG of unit 0, BMP of 0 or of only one
// dimension's pixels per metre) keeps none through copies and saves; one that
// tells one keeps it. TIFF is written deflate-compressed.
TEST_F(FormatsTest, ResolutionIsKeptOrLeftOut) {
  const auto smooth = [](int x, int y) { return qRgb(x / 10, y / 10, 90); };
  Picture written;
  written.setImage(made(200, 100, QImage::Format_RGB32, smooth, kNoResolution), 24);
  const QByteArray jpegNone = saved(written, "none.jpg"), bmpNone = saved(written, "none.bmp");
  ASSERT_EQ(jpegNone.mid(6, 12), QByteArray("JFIF\0\x01\x01\0\0\x01\0\x01", 12));  // unit 0, 1:1
  const Bmp halfDpm{.width = 2,
                    .height = 1,
                    .bits = 8,
                    .extra = QByteArray(8, '\xff'),
                    .pixels = QByteArray("\x01\0\0\0", 4),
                    .colours = 2,
                    .dotsPerMeterX = 3780};
  const QImage some = made(200, 100, QImage::Format_RGB32, smooth, kDpm);
  const struct {
    const char* name;
    QByteArray bytes;
    bool told;
  } files[] = {
      {"none.jpg", jpegNone, false},
      {"none.bmp", bmpNone, false},
      {"half.bmp", halfDpm.bytes(), false},
      {"some.jpg", encoded(some, "jpeg"), true},
      {"some.bmp", encoded(some, "bmp"), true},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    Picture picture;
    picture.load(put(QStringLiteral("in-") + f.name, f.bytes));
    Picture copy(picture), set;
    set.setImage(CopyImage(copy.image()).convertToFormat(QImage::Format_RGB32), 24);
    const QSize expected = f.told ? QSize(kDpm, kDpm) : QSize(kNoResolution, kNoResolution);
    for (const Picture* p : {&picture, &copy, &set}) EXPECT_EQ(dpm(p->image()), expected);
    for (const Picture* p : {&picture, &set}) {
      const QByteArray png = saved(*p, "out.png"), jpeg = saved(*p, "out.jpg"),
                       bmp = saved(*p, "out.bmp"), tif = saved(*p, "out.tif");
      EXPECT_EQ(png.contains("pHYs"), f.told);
      EXPECT_EQ(jpeg.mid(13, 5),
                f.told ? QByteArray("\x01\x01\x2c\x01\x2c", 5) : QByteArray("\0\0\x01\0\x01", 5));
      EXPECT_EQ(bmp.mid(38, 8), QByteArray(f.told ? le(kDpm, 4) + le(kDpm, 4) : QByteArray(8, 0)));
      // Tag 259 (compression) of one short, 8: deflate; tag 282 (x resolution) or none.
      EXPECT_TRUE(tif.contains(QByteArray("\x03\x01\x03\0\x01\0\0\0\x08\0", 10)));
      EXPECT_EQ(tif.contains(QByteArray("\x1a\x01\x05\0", 4)), f.told);
      EXPECT_TRUE(p->width() != 200 || tif.size() < 200 * 100 / 4);
      Picture again;
      again.load(path("out.tif"));
      EXPECT_EQ(dpm(again.image()), expected);
    }
  }
}

// Orientations 1 to 8 of a JPEG (EXIF either endian), a TIFF and a WebP open upright
// as Qt's reader turns them, and the saved picture carries no orientation.
TEST_F(FormatsTest, OrientationIsAppliedOnOpen) {
  const QImage asymmetric = made(24, 8, QImage::Format_RGB32, [](int x, int y) {
    return x < 8 && y < 4 ? qRgb(250, 250, 250) : qRgb(x * 10, 40 + y * 20, 90);
  });
  const QByteArray jpeg = encoded(asymmetric, "jpeg", 100);
  for (int o = 1; o <= 8; ++o) {
    const Tiff t{.width = 4, .height = 3, .orientation = o, .dpi = 100};
    for (const QString& file : {put("be.jpg", withExif(jpeg, exif(o, false))),
                                put("le.jpg", withExif(jpeg, exif(o, true))), tiff("o.tif", t)}) {
      SCOPED_TRACE(QStringLiteral("%1 %2").arg(o).arg(file).toStdString());
      QImageReader reader(file);
      reader.setAutoTransform(true);
      const QImage upright = reader.read();
      Picture picture;
      picture.load(file);
      ASSERT_EQ(picture.image().size(), upright.size());
      EXPECT_EQ(rgbs(picture.image()), rgbs(upright));
      EXPECT_FALSE(o == 6 && saved(picture, "saved.jpg").contains("Exif"));
    }
  }
  const QImage small = made(3, 2, QImage::Format_RGB32,
                            [](int x, int y) { return qRgb(10 + 30 * x + 100 * y, 0, 0); });
  Picture picture;
  picture.load(put("o.webp", webp(0x08, 3, 2, losslessChunk(small) + riff("EXIF", exif(6, true)))));
  EXPECT_EQ(picture.image(),
            small.transformed(QTransform().rotate(90)).convertToFormat(picture.image().format()));
}

// Every save gives the same bytes twice (whatever the heap held); lossless ones give
// back every level and colour, BMP also the bit count and palette.
TEST_F(FormatsTest, EverySaveIsRepeatableAndKeepsEveryLevel) {
  const auto indexed = [](int bits, QList<QRgb> table, int w = 21) {
    QImage image(w, 7, QImage::Format_Indexed8);
    image.setColorTable(table);
    for (int i = 0; i < w * 7; ++i)
      image.setPixel(i % w, i / w, uint((i % w + i / w * 3) % table.size()));
    Picture p;
    p.setImage(image, bits);
    return p;
  };
  QList<QRgb> many;
  for (int i = 0; i < 200; ++i) many.append(qRgb(i, (i * 3) % 256, 255 - i));
  QByteArray ramp("P5 256 1 255\n");
  for (int g = 0; g < 256; ++g) ramp += char(g);
  Picture gray;
  gray.load(put("ramp.pgm", ramp));
  std::vector<std::pair<std::string, Picture>> pictures = {
      {"gray", gray},
      {"two 50/200", indexed(1, {qRgb(50, 50, 50), qRgb(200, 200, 200)})},
      {"two colours", indexed(1, {qRgb(255, 0, 0), qRgb(0, 0, 255)})},
      {"4-bit using 0/1", indexed(4, {qRgb(50, 60, 70), qRgb(90, 80, 70)})},
      {"8-bit using 0/1", indexed(8, {qRgb(9, 9, 9), qRgb(240, 240, 240)})},
      {"8-bit palette", indexed(8, many)},
      {"odd width 1-bit", indexed(1, {qRgb(0, 0, 0), qRgb(255, 255, 255)}, 13)},
  };
  for (int bits : {1, 4, 8, 16, 24, 32})  // odd width: padded rows
    pictures.emplace_back(std::to_string(bits) + " bits", makePicture(bits, 7, 3));
  EXPECT_TRUE(saved(gray, "plain").startsWith("BM"));  // a name without extension is a BMP
  for (const auto& [what, picture] : pictures) {
    const std::vector<int> before = levels(picture);
    const bool bilevel =
        std::all_of(before.begin(), before.end(), [](int v) { return v == 0 || v == 255; });
    for (const PictureFormat& format : pictureFormats()) {
      if (format.writer == Coder::None) continue;
      SCOPED_TRACE(what + " as " + format.name);
      const QString a = path("a." + format.extensions[0]), b = path("b." + format.extensions[0]);
      const QByteArray name = format.name;
      if (name == "pbm" && !bilevel) {
        EXPECT_THROW(picture.save(a), ToolkitError);
        continue;
      }
      for (const auto& [file, fill] : {std::pair{a, 0x00}, std::pair{b, 0xff}}) {
        fillHeap(0, static_cast<unsigned char>(fill));
        ASSERT_NO_THROW(picture.save(file));
      }
      EXPECT_EQ(fileBytes(a), fileBytes(b));
      EXPECT_TRUE(what != "gray" || name == "bmp" || readPicture(a)->gray == (name != "ppm"));
      if (!format.lossless) continue;
      Picture again;
      again.load(a);
      EXPECT_EQ(levels(again), before);
      const bool holdsColour = name != "pgm" && name != "pbm" && name != "pnm";
      EXPECT_TRUE(!holdsColour || colours(again) == colours(picture));
      if (name != "bmp") continue;
      EXPECT_EQ(again.bitsPerPixel(), picture.bitsPerPixel());
      EXPECT_EQ(again.image().colorTable().mid(0, picture.image().colorCount()),
                picture.image().colorTable());
    }
  }
}

// Bit-field channels of any width scale to 0..255 by rounding (Qt truncates some):
// masks follow a 40-byte header or lie inside larger ones, no compression is 5-5-5
// or 8-8-8 whatever the header holds; 16-bit pictures are kept as 5-5-5.
TEST_F(FormatsTest, EveryBitFieldWidthScalesByRounding) {
  using Masks = std::array<std::uint32_t, 4>;
  const struct {
    int bits, infoSize;
    std::uint32_t compression;
    Masks masks;
  } layouts[] = {{16, 40, 0, {0x7c00, 0x03e0, 0x001f}},
                 {16, 40, 3, {0x0f00, 0x00f0, 0x000f}},
                 {16, 40, 3, {0xc000, 0x3000, 0x0fff}},
                 {16, 40, 3, {0xf800, 0x07e0, 0x001f}},
                 {16, 40, 3, {0x7c00, 0x03e0, 0x001f}},
                 {16, 52, 3, {0xf800, 0x07e0, 0x001f}},
                 {16, 56, 3, {0x001f, 0x07e0, 0xf800}},
                 {16, 108, 3, {0x7c00, 0x03e0, 0x001f, 0x8000}},
                 {32, 40, 0, {0xff0000, 0xff00, 0xff}},
                 {32, 40, 3, {0x3ff00000, 0x000ffc00, 0x3ff}},
                 {32, 40, 3, {0xf800, 0x07c0, 0x003e}},
                 {32, 40, 3, {0x7c00, 0x03e0, 0x001f}},
                 {32, 124, 3, {0xff0000, 0xff00, 0xff, 0}},
                 {32, 124, 3, {0xff, 0xff00, 0xff0000, 0}},
                 {32, 124, 3, {0xff000000, 0xff0000, 0xff00, 0xff}},
                 {32, 124, 3, {0xff0000, 0xff00, 0xff, 0xff000000}},
                 {32, 124, 0, {0xff0000, 0xff00, 0xff, 0xff000000}}};
  for (const auto& l : layouts) {
    SCOPED_TRACE(l.masks[0] + l.infoSize);
    const int bytes = l.bits / 8, count = 4096;
    QByteArray pixels;
    for (int i = 0; i < count; ++i) pixels += le(i == count - 1 ? ~0u : i * 2654435761u, bytes);
    Bmp f{64, -64, l.bits, {}, pixels, l.compression, l.infoSize, l.masks};
    if (l.infoSize == 40 && l.compression)
      f.extra = le(l.masks[0], 4) + le(l.masks[1], 4) + le(l.masks[2], 4);
    Picture picture;
    picture.load(put("fields.bmp", f.bytes()));
    for (int i = 0; i < count; ++i) {
      const QByteArray pixel = pixels.mid(i * bytes, bytes) + QByteArray(2, '\0');
      const std::uint32_t v = qFromLittleEndian<std::uint32_t>(pixel.constData());
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
}

// Run-length files: skipped pixels are palette index 0, rows go bottom-up or,
// with a negative height, top-down (RLE8 and RLE4 alike).
TEST_F(FormatsTest, RunLengthFilesPlaceEveryRow) {
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
  // Stored rows s = 0, 1, 2 of 4: a run of three pixels s + 1, then the end.
  for (int bits : {8, 4})
    for (int height : {4, -4}) {
      SCOPED_TRACE(bits * height);
      QByteArray stream;
      for (int s = 0; s < 3; ++s)
        stream.append('\x03').append(char((s + 1) * (bits == 4 ? 17 : 1))).append(2, '\0');
      stream += QByteArray("\0\x01", 2);
      const Bmp file{4, height, bits, QByteArray(4 << bits, '\0'), stream, bits == 8 ? 1u : 2u};
      picture.load(put("rle.bmp", file.bytes()));
      std::vector<int> expected(16, 0);
      for (int s = 0; s < 3; ++s)
        for (int x = 0; x < 3; ++x) expected[(height < 0 ? s : 3 - s) * 4 + x] = s + 1;
      EXPECT_EQ(indices(picture), expected);
    }
}

// A PGM above 32767 wide (saved and read back as PGM, PPM and PNM), and a sparse 8-bit
// BMP above 16384 x 16384 when it fits in memory, open with every pixel in its place.
TEST_F(FormatsTest, LargePicturesOpenWithEveryPixel) {
  QByteArray huge("P5 40000 1 255\n");
  for (int x = 0; x < 40000; ++x) huge += char(x * 7 % 256);
  Picture wide, again;
  wide.load(put("huge.pgm", huge));
  ASSERT_EQ(wide.width(), 40000);
  EXPECT_EQ(levels(wide)[39999], 39999 * 7 % 256);
  for (const char* name : {"wide.pgm", "wide.ppm", "wide.pnm"}) {
    wide.save(path(name));
    again.load(path(name));
    EXPECT_EQ(levels(again), levels(wide)) << name;
  }

  constexpr int kSide = 16400;
  QByteArray palette;
  for (int g = 0; g < 256; ++g) palette += QByteArray(3, char(g)) + '\0';
  QFile file(put("scan.bmp", Bmp{kSide, kSide, 8, palette}.bytes()));
  const std::int64_t start = 14 + 40 + 1024;
  if (!file.resize(start + std::int64_t{kSide} * kSide) || !file.open(QIODevice::ReadWrite))
    GTEST_SKIP() << "the disk refused the file";
  // Stored row s holds (x + 3 s) % 251 + 1 where written: every 997th row and the last.
  const auto level = [](int x, int s) { return (x + 3 * s) % 251 + 1; };
  const auto written = [](int s) { return s % 997 == 0 || s == kSide - 1; };
  QByteArray row(kSide, '\0');
  for (int s = 0; s < kSide; ++s) {
    if (!written(s)) continue;
    for (int x = 0; x < kSide; ++x) row[x] = char(level(x, s));
    file.seek(start + std::int64_t{s} * kSide);
    file.write(row);
  }
  file.close();
  Picture picture;
  try {
    picture.load(file.fileName());
  } catch (const std::bad_alloc&) {
    GTEST_SKIP() << "not enough memory for the picture";
  }
  ASSERT_EQ(picture.image().size(), QSize(kSide, kSide));
  EXPECT_EQ(picture.bitsPerPixel(), 8);
  std::vector<std::uint8_t> read(kSide);
  for (int s : {0, 1, 996, 997, 998, 8 * 997, kSide / 2, kSide - 2, kSide - 1}) {
    picture.readLevels(kSide - 1 - s, read.data());
    for (int x = 0; x < kSide; x += 7)
      ASSERT_EQ(read[x], written(s) ? level(x, s) : 0) << "stored row " << s << ", x " << x;
  }
}

// Every seed and regression file through the fuzzing target's own checks.
TEST_F(FormatsTest, SeedAndRegressionFilesOpenOrAreRefusedCleanly) {
  int files = 0;
  for (const QString& folder : {kCorpus, kRegressions})
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
      const QByteArray bytes = fileBytes(folder + name);
      ASSERT_FALSE(bytes.isEmpty());
      EXPECT_EQ(checkOpenAny(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                             static_cast<std::size_t>(bytes.size())),
                "")
          << (folder + name).toStdString();
      ++files;
    }
  EXPECT_GE(files, 40);
}

// Through the window: a FIFO (whose writer comes after 20 s should the window wait),
// a directory, a device or a hostile file is refused by name; a link or a run-length
// file that sets no pixel opens. Saving over several pages asks first ("No" keeps them).
TEST_F(FormatsTest, HostileFilesAndSavingOverPagesThroughTheMainWindow) {
  FakeDialogs dialogs;
  Workspace ws;
  VentanaPrincipal form(ws);
  const QString fifo = path("x.bmp"), fifoLink = path("fifo-link.bmp");
  const QString goodLink = path("good-link.bmp");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  ASSERT_TRUE(QFile::link(fifo, fifoLink));
  ASSERT_TRUE(QFile::link(
      put("good.bmp", Bmp{1, 1, 8, QByteArray(1024, '\0'), QByteArray(4, '\0')}.bytes()),
      goodLink));
  std::promise<void> answered;
  auto watchdog =
      std::async(std::launch::async, [name = QFile::encodeName(fifo), f = answered.get_future()] {
        if (f.wait_for(std::chrono::seconds(20)) == std::future_status::ready) return false;
        const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
        return true;
      });
  for (const QString& file :
       {fifo, fifoLink, dir.path(), QStringLiteral("/dev/zero"), path("missing.bmp"),
        kRegressions + "fault3-34-bytes-claiming-2gb.bmp", kRegressions + "fault2-rle8-cut.bmp"}) {
    EXPECT_EQ(refusal(file), cannotOpen(file));
    dialogs.openAnswers.push_back(file);
    child<QPushButton>(form, "abrirImagenButton")->click();
    EXPECT_EQ(dialogs.messages.value(dialogs.messages.size() - 1), cannotOpen(file));
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
  EXPECT_NO_THROW(Picture().load(goodLink));

  const QString several = tiff("several.tif", Tiff{.pages = 3});
  const QByteArray kept = fileBytes(several);
  for (bool yes : {false, true}) {
    dialogs.questionAnswers.push_back(yes);
    dialogs.saveAnswers.push_back(several);
    child<QPushButton>(form, "guardarImagenButton")->click();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions.takeFirst(),
              QString::fromUtf8("El fichero «%1» tiene 3 páginas y solo se guardará una; las "
                                "demás se perderán. ¿Desea reemplazarlo?")
                  .arg(several));
    EXPECT_EQ(fileBytes(several) == kept, !yes);
  }
  EXPECT_EQ(filePageCount(several), 1);
  dialogs.saveAnswers.push_back(path("good.bmp"));  // one page: no question
  child<QPushButton>(form, "guardarImagenButton")->click();
  EXPECT_TRUE(dialogs.questions.isEmpty());
  EXPECT_EQ(dialogs.messages.size(), messages);
}

}  // namespace
}  // namespace morvane
