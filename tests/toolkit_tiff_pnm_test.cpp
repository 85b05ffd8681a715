// TIFF (through libtiff), PNM (our own code), GIF and the choice of format by
// extension: complete files read as Qt's readers read them, damaged ones are
// refused by name, and what is saved keeps every level, the page count is
// asked about, and the same picture always gives the same bytes. Fixtures are
// written with libtiff or by hand; Qt's readers are the oracle for complete
// files.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <QApplication>
#include <QFile>
#include <QImageReader>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "app/main_window.h"
#include "tests/support/child.h"
#include "tests/support/fake_dialogs.h"
#include "toolkit/errors.h"
#include "toolkit/formats.h"
#include "toolkit/image_io.h"
#include "toolkit/picture.h"

namespace morvane {
namespace {

// A TIFF written with libtiff: every sample is sample(x, y, c) of `bits` bits.
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

  void write(const QString& path) const {
    TIFF* t = TIFFOpen(QFile::encodeName(path).constData(), "w");
    ASSERT_TRUE(t);
    for (int page = 0; page < pages; ++page) {
      TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
      TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
      TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
      TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
      TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
      TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
      TIFFSetField(t, TIFFTAG_PLANARCONFIG, planar);
      if (orientation) TIFFSetField(t, TIFFTAG_ORIENTATION, orientation);
      if (dpi > 0) {
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(t, TIFFTAG_XRESOLUTION, dpi);
        TIFFSetField(t, TIFFTAG_YRESOLUTION, dpi);
      }
      if (extra >= 0) {
        const uint16_t kinds[] = {uint16_t(extra)};
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, kinds);
      }
      std::vector<uint16_t> map(3u << bits);
      if (photometric == PHOTOMETRIC_PALETTE) {
        for (std::size_t i = 0; i < map.size(); ++i) map[i] = uint16_t(i * 7919 * 257);
        const std::size_t n = std::size_t{1} << bits;
        TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
      }
      if (tile) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, tile);
        TIFFSetField(t, TIFFTAG_TILELENGTH, tile);
      } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
      }
      const int planes = planar == PLANARCONFIG_SEPARATE ? samples : 1;
      const int perPixel = planes == 1 ? samples : 1;
      const int rowBytes = (width * perPixel * bits + 7) / 8;
      const auto row = [&](int y, int plane) {
        std::vector<uint8_t> out(std::size_t(rowBytes), 0);
        for (int x = 0; x < width; ++x) {
          for (int k = 0; k < perPixel; ++k) {
            const int c = planes == 1 ? k : plane, i = x * perPixel + k;
            const unsigned v = value(x, y, c) + 40u * unsigned(page);
            if (bits == 16) {
              const uint16_t s = uint16_t(v);
              std::memcpy(&out[2 * std::size_t(i)], &s, 2);
            } else if (bits == 8) {
              out[std::size_t(i)] = uint8_t(v);
            } else {
              const int bit = i * bits;
              out[std::size_t(bit / 8)] |=
                  uint8_t((v & ((1u << bits) - 1)) << (8 - bits - bit % 8));
            }
          }
        }
        return out;
      };
      if (tile) {
        const tmsize_t size = TIFFTileSize(t);
        for (int plane = 0; plane < planes; ++plane)
          for (int ty = 0; ty < height; ty += tile)
            for (int tx = 0; tx < width; tx += tile) {
              std::vector<uint8_t> buffer(std::size_t(size), 0);
              const int tileRow = int(TIFFTileRowSize(t));
              for (int y = ty; y < std::min(height, ty + tile); ++y) {
                const auto r = row(y, plane);
                const int from = tx * perPixel * bits / 8;
                std::memcpy(&buffer[std::size_t((y - ty) * tileRow)], r.data() + from,
                            std::size_t(std::min(tileRow, rowBytes - from)));
              }
              TIFFWriteTile(t, buffer.data(), uint32_t(tx), uint32_t(ty), 0, uint16_t(plane));
            }
      } else {
        for (int plane = 0; plane < planes; ++plane)
          for (int y = 0; y < height; ++y) {
            auto r = row(y, plane);
            TIFFWriteScanline(t, r.data(), uint32_t(y), uint16_t(plane));
          }
      }
      TIFFWriteDirectory(t);
    }
    TIFFClose(t);
  }
};

QByteArray contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// Every colour of a picture (0x00BBGGRR), row by row.
std::vector<std::uint32_t> colours(const Picture& p) {
  std::vector<std::uint32_t> out;
  for (int y = 0; y < p.height(); ++y)
    for (int x = 0; x < p.width(); ++x) out.push_back(p.pixel(x, y));
  return out;
}

std::vector<int> levels(const Picture& p) {
  std::vector<int> out;
  for (std::uint32_t c : colours(p)) out.push_back(int(c & 0xff));
  return out;
}

// Blocks of several sizes filled with `byte` and freed, so that memory a writer
// leaves unset holds something else on the next save.
void scribbleHeap(unsigned char byte) {
  std::vector<std::unique_ptr<unsigned char[]>> blocks;
  for (std::size_t s = 16; s <= (std::size_t{1} << 20); s *= 2) {
    blocks.emplace_back(new unsigned char[s]);
    std::memset(blocks.back().get(), byte, s);
  }
}

class TiffPnmTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "tiff_pnm_test", *argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) new QApplication(argc, argv);
  }
  QString path(const QString& name) const { return dir.filePath(name); }
  QString tiff(const QString& name, const Tiff& spec) {
    spec.write(path(name));
    return path(name);
  }
  QString bytes(const QString& name, const QByteArray& data) {
    writeBytes(path(name), data);
    return path(name);
  }
  void expectRefused(const QString& file) {
    SCOPED_TRACE(file.toStdString());
    Picture picture;
    try {
      picture.load(file);
      ADD_FAILURE() << "opened";
    } catch (const ToolkitError& error) {
      EXPECT_TRUE(QString::fromUtf8(error.what()).contains(file));
    }
  }
  QTemporaryDir dir;
};

// Complete TIFFs of every layout the reader decodes itself read as Qt reads
// them: size, kind (two-colour, palette, gray or colour), colour table, every
// colour and the page count.
TEST_F(TiffPnmTest, CompleteTiffsReadAsQtReadsThem) {
  const auto with = [](std::function<void(Tiff&)> change) {
    Tiff t;
    change(t);
    return t;
  };
  const Tiff rows[] = {
      with([](Tiff&) {}),
      with([](Tiff& t) { t.compression = COMPRESSION_LZW; }),
      with([](Tiff& t) { t.compression = COMPRESSION_ADOBE_DEFLATE, t.tile = 16, t.width = 40; }),
      with([](Tiff& t) { t.bits = 16, t.compression = COMPRESSION_LZW; }),
      with([](Tiff& t) { t.photometric = PHOTOMETRIC_MINISWHITE; }),
      with([](Tiff& t) { t.bits = 1, t.compression = COMPRESSION_CCITTFAX4; }),
      with([](Tiff& t) { t.bits = 1, t.photometric = PHOTOMETRIC_MINISWHITE; }),
      with([](Tiff& t) { t.photometric = PHOTOMETRIC_PALETTE, t.compression = COMPRESSION_LZW; }),
      with([](Tiff& t) { t.photometric = PHOTOMETRIC_RGB, t.samples = 3; }),
      with([](Tiff& t) {
        t.photometric = PHOTOMETRIC_RGB, t.samples = 3, t.planar = PLANARCONFIG_SEPARATE;
      }),
      with([](Tiff& t) {
        t.photometric = PHOTOMETRIC_RGB, t.samples = 3, t.bits = 16, t.tile = 16, t.height = 20;
      }),
      with([](Tiff& t) { t.samples = 2, t.extra = EXTRASAMPLE_UNASSALPHA; }),
      with([](Tiff& t) { t.pages = 3, t.dpi = 300; }),
  };
  int n = 0;
  for (const Tiff& row : rows) {
    const QString file = tiff(QStringLiteral("complete%1.tif").arg(n++), row);
    SCOPED_TRACE(file.toStdString());
    QImageReader reader(file);
    const int qtPages = reader.imageCount();
    const QImage qt = reader.read();
    ASSERT_FALSE(qt.isNull());
    const std::optional<DecodedPicture> ours = readPicture(file);
    ASSERT_TRUE(ours);
    const QImage& image = ours->image;
    ASSERT_EQ(image.size(), qt.size());
    EXPECT_EQ(ours->pageCount, qtPages);
    const bool mono = qt.format() == QImage::Format_Mono || qt.format() == QImage::Format_MonoLSB;
    // Gray stays gray where Qt makes white-is-zero a reversed palette and gray
    // with alpha colour.
    const bool gray = row.bits > 1 && (row.photometric == PHOTOMETRIC_MINISBLACK ||
                                       row.photometric == PHOTOMETRIC_MINISWHITE);
    EXPECT_TRUE(gray || qt.format() != QImage::Format_Grayscale8);
    EXPECT_EQ(ours->gray, gray);
    EXPECT_EQ(ours->bitsPerPixel, mono                                             ? 1
                                  : gray || qt.format() == QImage::Format_Indexed8 ? 8
                                                                                   : 24);
    if (!gray && (mono || qt.format() == QImage::Format_Indexed8)) {
      EXPECT_EQ(image.colorTable(), qt.colorTable());
    }
    for (int y = 0; y < qt.height(); ++y)
      for (int x = 0; x < qt.width(); ++x)
        ASSERT_EQ(image.pixel(x, y) | 0xff000000u, qt.pixel(x, y) | 0xff000000u) << x << "," << y;
    EXPECT_EQ(hasResolution(image), row.dpi > 0);
    if (row.dpi > 0) {
      EXPECT_EQ(image.dotsPerMeterX(), qt.dotsPerMeterX());
    }
  }
}

// Unassociated alpha reads as stored; every orientation stands the picture
// upright; a 4-bit palette and gray keep their kind.
TEST_F(TiffPnmTest, TiffAlphaOrientationAndSmallDepths) {
  Tiff rgba;
  rgba.photometric = PHOTOMETRIC_RGB, rgba.samples = 4, rgba.extra = EXTRASAMPLE_UNASSALPHA;
  const std::optional<DecodedPicture> alpha = readPicture(tiff("alpha.tif", rgba));
  ASSERT_TRUE(alpha);
  for (int y = 0; y < rgba.height; ++y)
    for (int x = 0; x < rgba.width; ++x)
      ASSERT_EQ(alpha->image.pixel(x, y),
                qRgb(int(rgba.value(x, y, 0)), int(rgba.value(x, y, 1)), int(rgba.value(x, y, 2))));

  // Stored 4 x 3; shown (x, y) is stored (sx, sy) as each value of the tag says.
  for (int o = 1; o <= 8; ++o) {
    SCOPED_TRACE(o);
    Tiff t;
    t.width = 4, t.height = 3, t.orientation = o, t.dpi = 100;
    const std::optional<DecodedPicture> read =
        readPicture(tiff(QStringLiteral("o%1.tif").arg(o), t));
    ASSERT_TRUE(read);
    const bool turned = o >= 5;
    const int w = turned ? 3 : 4, h = turned ? 4 : 3;
    ASSERT_EQ(read->image.size(), QSize(w, h));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int sx = o == 1 || o == 4   ? x
                       : o == 2 || o == 3 ? 3 - x
                       : o == 5 || o == 6 ? y
                                          : 3 - y;
        const int sy = o <= 2 ? y : o <= 4 ? 2 - y : o == 5 || o == 8 ? x : 2 - x;
        EXPECT_EQ(qRed(read->image.pixel(x, y)), int(t.value(sx, sy, 0))) << x << "," << y;
      }
  }

  Tiff palette4;
  palette4.photometric = PHOTOMETRIC_PALETTE, palette4.bits = 4;
  const std::optional<DecodedPicture> p4 = readPicture(tiff("p4.tif", palette4));
  ASSERT_TRUE(p4);
  EXPECT_EQ(p4->image.format(), QImage::Format_Indexed8);
  EXPECT_EQ(p4->image.color(3),
            qRgb(3 * 7919 * 257 % 65536 >> 8, (16 + 3) * 7919 * 257 % 65536 >> 8,
                 (32 + 3) * 7919 * 257 % 65536 >> 8));
  Tiff gray4;
  gray4.bits = 4;
  const std::optional<DecodedPicture> g4 = readPicture(tiff("g4.tif", gray4));
  ASSERT_TRUE(g4);
  EXPECT_TRUE(g4->gray);
  EXPECT_EQ(qRed(g4->image.pixel(1, 0)), int(gray4.value(1, 0, 0)) * 17);
}

// A short strip, compressed data cut short or corrupt, a palette cut before its
// colour map, a GIF cut short: refused naming the file.
TEST_F(TiffPnmTest, DamagedFilesAreRefusedByName) {
  Tiff plain;
  plain.width = 64, plain.height = 64, plain.rowsPerStrip = 64;
  const QByteArray whole = contents(tiff("whole.tif", plain));
  // The directory comes after the data: cut into the strip, keep the directory.
  QByteArray shortStrip = whole;
  const quint32 ifd = qFromLittleEndian<quint32>(whole.constData() + 4);
  shortStrip.remove(int(ifd) - 1000, 1000);
  qToLittleEndian<quint32>(ifd - 1000, shortStrip.data() + 4);
  Tiff lzw = plain;
  lzw.compression = COMPRESSION_LZW;
  lzw.sample = [](int x, int y, int) { return unsigned((x * x + y * 7) % 251); };
  QByteArray lzwBytes = contents(tiff("lzw.tif", lzw));
  QByteArray corrupt = lzwBytes;
  for (int i = 400; i < 900; ++i) corrupt[i] = char(0xff);
  // A palette file by hand: its colour map lies past the end of the file.
  QByteArray palette("II*\0\x08\0\0\0", 8);
  const auto put = [&](quint32 v, int n) { palette.append(reinterpret_cast<const char*>(&v), n); };
  const quint32 tags[9][4] = {{256, 3, 1, 2}, {257, 3, 1, 1}, {258, 3, 1, 8},
                              {259, 3, 1, 1}, {262, 3, 1, 3}, {273, 4, 1, 122},
                              {278, 3, 1, 1}, {279, 4, 1, 2}, {320, 3, 768, 5000}};
  put(9, 2);
  for (const auto& t : tags) put(t[0], 2), put(t[1], 2), put(t[2], 4), put(t[3], 4);
  put(0, 4);
  palette.append("\x01\x02", 2);

  for (const QString& file :
       {bytes("short.tif", shortStrip), bytes("half.tif", whole.left(whole.size() / 2)),
        bytes("lzw-cut.tif", lzwBytes.left(lzwBytes.size() - 200)),
        bytes("lzw-corrupt.tif", corrupt), bytes("palette.tif", palette)}) {
    expectRefused(file);
  }
  EXPECT_TRUE(readPicture(path("whole.tif")) && readPicture(path("lzw.tif")));

  // A 4 x 4 GIF whose data clears the table before every two codes (3-bit
  // codes: clear 4, end 5), whole, cut short and ended early.
  const auto gif = [](int pixels, bool cut) {
    QByteArray out("GIF89a\x04\0\x04\0\x80\0\0", 13);
    out += QByteArray("\0\0\0\xff\xff\xff", 6);
    out += QByteArray("\x2c\0\0\0\0\x04\0\x04\0\0\x02", 11);
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
  };
  Picture picture;
  picture.load(bytes("whole.gif", gif(16, false)));
  EXPECT_EQ(picture.pixel(1, 0), 0xffffffu);
  EXPECT_FALSE(hasResolution(picture.image()));
  expectRefused(bytes("cut.gif", gif(16, true)));
  expectRefused(bytes("early.gif", gif(11, false)));
}

// Every sample maps to round(v * 255 / maxval), any maxval; plain PBM digits
// need no blanks; pictures above 32767 open; samples above maxval, cut data
// and broken headers are refused.
TEST_F(TiffPnmTest, PnmSamplesRoundAndDamageIsRefused) {
  const auto round = [](int v, int maxval) { return int(std::lround(v * 255.0 / maxval)); };
  QByteArray p5("P5\n3 2\n4095\n");
  const int deep[6] = {0, 2048, 4095, 16, 17, 1000};
  for (int v : deep) p5 += char(v >> 8), p5 += char(v & 0xff);
  QByteArray p2 = "P2 # comment\n3 2\n65535\n";
  const int wide[6] = {0, 128, 129, 385, 65407, 65535};
  for (int v : wide) p2 += QByteArray::number(v) + ' ';
  struct Row {
    const char* name;
    QByteArray bytes;
    std::vector<int> expected;
    int bits;
  };
  std::vector<Row> rows = {
      {"deep.pgm", p5, {}, 8},
      {"wide.pgm", p2, {}, 8},
      {"seven.pgm", QByteArray("P2 2 1 7 3 4"), {round(3, 7), round(4, 7)}, 8},
      {"packed.pbm", QByteArray("P1\n4 2\n01101001"), {255, 0, 0, 255, 0, 255, 255, 0}, 1},
      {"raw.pbm", QByteArray("P4 9 1 \x80\x80", 9), {0, 255, 255, 255, 255, 255, 255, 255, 0}, 1},
      {"colour.ppm", QByteArray("P3 2 1 15 15 0 0 1 2 3"), {255, round(1, 15)}, 24},
  };
  for (int v : deep) rows[0].expected.push_back(round(v, 4095));
  for (int v : wide) rows[1].expected.push_back(round(v, 65535));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Picture picture;
    picture.load(bytes(row.name, row.bytes));
    EXPECT_EQ(levels(picture), row.expected);
    EXPECT_EQ(picture.bitsPerPixel(), row.bits);
    EXPECT_FALSE(hasResolution(picture.image()));
  }
  // Against Qt where Qt is right: maxval 255, raw and plain bitmaps.
  QByteArray p6("P6 5 3 255\n");
  for (int i = 0; i < 45; ++i) p6 += char(i * 97);
  for (const QString& file : {bytes("qt.ppm", p6), path("raw.pbm")}) {
    Picture picture;
    picture.load(file);
    const QImage qt(file);
    for (int y = 0; y < qt.height(); ++y)
      for (int x = 0; x < qt.width(); ++x)
        EXPECT_EQ(picture.image().pixel(x, y) | 0xff000000u, qt.pixel(x, y) | 0xff000000u);
  }
  QByteArray huge("P5 40000 1 255\n");
  huge += QByteArray(40000, '\x07');
  Picture big;
  big.load(bytes("huge.pgm", huge));
  EXPECT_EQ(big.width(), 40000);
  EXPECT_EQ(levels(big)[39999], 7);
  for (const char* name : {"wide.pgm", "wide.ppm", "wide.pnm"}) {
    big.save(path(name));
    Picture again;
    again.load(path(name));
    EXPECT_EQ(levels(again), levels(big)) << name;
  }

  for (const auto& [name, data] : {std::pair{"above.pgm", QByteArray("P2 2 1 10 3 11")},
                                   std::pair{"above-raw.pgm", QByteArray("P5 2 1 100 \x05\xc8")},
                                   std::pair{"cut.pgm", QByteArray("P5 3 1 255 \x01\x02")},
                                   std::pair{"cut.ppm", QByteArray("P3 2 1 255 1 2 3 4")},
                                   std::pair{"cut.pbm", QByteArray("P1 3 2 0 1 0 1")},
                                   std::pair{"zero.pgm", QByteArray("P2 1 1 0 0")},
                                   std::pair{"deep.pgm", QByteArray("P2 1 1 65536 0")},
                                   std::pair{"bad.pbm", QByteArray("P1 2 1 0 2")},
                                   std::pair{"header.pgm", QByteArray("P5 2")}}) {
    expectRefused(bytes(name, data));
  }
}

// Pictures of every pixel format saved in every format: the same picture gives
// the same bytes twice, and every lossless format gives back every level (and
// every colour, where it holds colour).
TEST_F(TiffPnmTest, EverySaveIsRepeatableAndKeepsEveryLevel) {
  const auto made = [](QImage::Format format, int bits, QList<QRgb> table, int w = 21) {
    QImage image(w, 7, format);
    if (!table.isEmpty()) image.setColorTable(table);
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < w; ++x) {
        if (format == QImage::Format_Indexed8)
          image.setPixel(x, y, uint((x + y * 3) % table.size()));
        else
          image.setPixel(x, y, qRgb(x * 12, y * 40, (x * y * 7) % 256));
      }
    Picture p;
    p.setImage(image, bits);
    return p;
  };
  QList<QRgb> many;
  for (int i = 0; i < 200; ++i) many.append(qRgb(i, (i * 3) % 256, 255 - i));
  QByteArray ramp("P5 256 1 255\n");
  for (int g = 0; g < 256; ++g) ramp += char(g);
  Picture gray;
  gray.load(bytes("ramp.pgm", ramp));
  const std::pair<const char*, Picture> pictures[] = {
      {"gray", gray},
      {"two 50/200", made(QImage::Format_Indexed8, 1, {qRgb(50, 50, 50), qRgb(200, 200, 200)})},
      {"two colours", made(QImage::Format_Indexed8, 1, {qRgb(255, 0, 0), qRgb(0, 0, 255)})},
      {"4-bit using 0/1", made(QImage::Format_Indexed8, 4, {qRgb(50, 60, 70), qRgb(90, 80, 70)})},
      {"8-bit using 0/1", made(QImage::Format_Indexed8, 8, {qRgb(9, 9, 9), qRgb(240, 240, 240)})},
      {"8-bit palette", made(QImage::Format_Indexed8, 8, many)},
      {"odd width 1-bit",
       made(QImage::Format_Indexed8, 1, {qRgb(0, 0, 0), qRgb(255, 255, 255)}, 13)},
      {"colour", made(QImage::Format_RGB32, 24, {})},
      {"5-5-5", made(QImage::Format_RGB555, 16, {})},
  };
  for (const auto& [what, picture] : pictures) {
    const std::vector<int> before = levels(picture);
    const bool bilevel =
        std::all_of(before.begin(), before.end(), [](int v) { return v == 0 || v == 255; });
    for (const PictureFormat& format : pictureFormats()) {
      if (format.writer == Coder::None) continue;
      SCOPED_TRACE(std::string(what) + " as " + format.name);
      const QString a = path(QStringLiteral("a.") + format.extensions[0]);
      const QString b = path(QStringLiteral("b.") + format.extensions[0]);
      const bool refused = QByteArray(format.name) == "pbm" && !bilevel;
      for (const auto& [file, fill] : {std::pair{a, 0x00}, std::pair{b, 0xff}}) {
        scribbleHeap(static_cast<unsigned char>(fill));
        if (refused) {
          EXPECT_THROW(picture.save(file), ToolkitError);
        } else {
          ASSERT_NO_THROW(picture.save(file));
        }
      }
      if (refused) continue;
      EXPECT_EQ(contents(a), contents(b));
      if (!format.lossless) continue;
      Picture again;
      again.load(a);
      EXPECT_EQ(levels(again), before);
      const QByteArray name = format.name;
      if (name != "pgm" && name != "pbm" && name != "pnm") {
        EXPECT_EQ(colours(again), colours(picture));
      }
    }
  }
}

// Saving over a file of several pages asks first, in Spanish; "No" leaves the
// file as it was. A file of one page is replaced without a question.
TEST_F(TiffPnmTest, SavingOverSeveralPagesAsksFirst) {
  FakeDialogs dialogs;
  Workspace ws;
  VentanaPrincipal form{ws};
  Tiff pages;
  pages.pages = 3;
  const QString several = tiff("several.tif", pages), one = tiff("one.tif", Tiff{});
  const QByteArray kept = contents(several);
  dialogs.openAnswers.push_back(one);
  child<QPushButton>(form, "abrirImagenButton")->click();
  ASSERT_TRUE(ws.ImagenCargada);

  for (bool yes : {false, true}) {
    dialogs.questionAnswers.push_back(yes);
    dialogs.saveAnswers.push_back(several);
    child<QPushButton>(form, "guardarImagenButton")->click();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions.takeFirst(),
              QString::fromUtf8("El fichero «%1» tiene 3 páginas y solo se guardará una; las "
                                "demás se perderán. ¿Desea reemplazarlo?")
                  .arg(several));
    EXPECT_EQ(contents(several) == kept, !yes);
  }
  EXPECT_EQ(filePageCount(several), 1);
  dialogs.saveAnswers.push_back(one);
  child<QPushButton>(form, "guardarImagenButton")->click();
  EXPECT_TRUE(dialogs.questions.isEmpty());
  EXPECT_TRUE(dialogs.messages.isEmpty());
}

// TIFF is written deflate-compressed, with a resolution only when the picture
// has one (then kept); PNG and BMP write none either.
TEST_F(TiffPnmTest, WrittenTiffIsCompressedAndInventsNoResolution) {
  for (float dpi : {0.f, 300.f}) {
    SCOPED_TRACE(dpi);
    Tiff in;
    in.dpi = dpi, in.width = 200, in.height = 100;
    in.sample = [](int x, int, int) { return unsigned(x / 10); };
    Picture picture;
    picture.load(tiff("in.tif", in));
    for (const char* name : {"out.tif", "out.png", "out.bmp"}) picture.save(path(name));
    TIFF* t = TIFFOpen(QFile::encodeName(path("out.tif")).constData(), "r");
    ASSERT_TRUE(t);
    uint16_t compression = 0;
    float x = 0;
    TIFFGetField(t, TIFFTAG_COMPRESSION, &compression);
    const bool resolution = TIFFGetField(t, TIFFTAG_XRESOLUTION, &x);
    TIFFClose(t);
    EXPECT_EQ(compression, COMPRESSION_ADOBE_DEFLATE);
    EXPECT_EQ(resolution, dpi > 0);
    EXPECT_LT(contents(path("out.tif")).size(), 200 * 100 / 4);
    EXPECT_EQ(contents(path("out.png")).contains("pHYs"), dpi > 0);
    EXPECT_EQ(contents(path("out.bmp")).mid(38, 8) == QByteArray(8, '\0'), dpi == 0);
    Picture again;
    again.load(path("out.tif"));
    EXPECT_EQ(again.image().dotsPerMeterX(), dpi > 0 ? 11811 : kNoResolution);
  }
}

// No extension is a BMP; an extension no written format owns is refused naming
// the file and the extensions accepted.
TEST_F(TiffPnmTest, TheExtensionChoosesTheFormat) {
  Picture picture;
  picture.load(tiff("in.tif", Tiff{}));
  picture.save(path("plain"));
  EXPECT_TRUE(contents(path("plain")).startsWith("BM"));
  for (const char* name : {"x.gif", "x.tga", "x.jfif", "x.pn"}) {
    try {
      picture.save(path(name));
      ADD_FAILURE() << name;
    } catch (const ToolkitError& error) {
      const QString text = QString::fromUtf8(error.what());
      EXPECT_TRUE(text.contains(path(name)) && text.contains(".bmp, .png, .tif, .tiff")) << name;
    }
    EXPECT_FALSE(QFile::exists(path(name)));
  }
  picture.save(path("x.pnm"));
  EXPECT_TRUE(contents(path("x.pnm")).startsWith("P5"));
}

}  // namespace
}  // namespace morvane
