#include "toolkit/tiff_file.h"

#include <tiffio.h>

#include <QFile>
#include <QList>
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "toolkit/formats.h"
#include "toolkit/image_memory.h"
#include "toolkit/orientation.h"

namespace morvane {

namespace {

// What libtiff said while a file was open: any error means missing or made-up
// pixels, so the file is refused. Warnings (unknown tags and the like) are
// dropped: they never reach the terminal.
struct Complaints {
  bool error = false;
};

int onError(TIFF*, void* user, const char*, const char*, va_list) {
  static_cast<Complaints*>(user)->error = true;
  return 1;
}
// A colour map that cannot be read is only a warning to libtiff, which then
// reads the indices as gray levels: made-up levels, so an error here.
int onWarning(TIFF*, void* user, const char*, const char* format, va_list arguments) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, arguments);
  if (QByteArray(text).toLower().contains("colormap")) static_cast<Complaints*>(user)->error = true;
  return 1;
}

struct Closer {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, Closer>;

struct Options {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  explicit Options(Complaints* complaints) {
    TIFFOpenOptionsSetErrorHandlerExtR(options, onError, complaints);
    TIFFOpenOptionsSetWarningHandlerExtR(options, onWarning, complaints);
  }
  ~Options() { TIFFOpenOptionsFree(options); }
};

QImage blank(int width, int height, QImage::Format format) {
  QImage image = NewImage(width, height, format);
  if (image.isNull()) throw std::bad_alloc();
  return image;
}

std::uint8_t reduce16(std::uint32_t v) {
  return static_cast<std::uint8_t>((v * 255u + 32767u) / 65535u);
}

QList<QRgb> grayRamp() {
  QList<QRgb> table;
  for (int g = 0; g < 256; ++g) table.append(qRgb(g, g, g));
  return table;
}

enum class Kind { Bilevel, Gray, Palette, Rgb };

// The first page's layout, as far as this reader decodes it itself.
struct Layout {
  std::uint32_t width = 0, height = 0;
  std::uint16_t bits = 1, samples = 1, photometric = 0, planar = PLANARCONFIG_CONTIG;
  Kind kind = Kind::Gray;
  bool whiteIsZero = false;
  QList<QRgb> palette;
};

// Sample i of a row of samples of the given bit count.
std::uint32_t sampleAt(const std::uint8_t* row, std::int64_t i, int bits) {
  switch (bits) {
    case 8:
      return row[i];
    case 16: {
      std::uint16_t v;
      std::memcpy(&v, row + 2 * i, 2);
      return v;
    }
    default: {
      const std::int64_t bit = i * bits;
      const int shift = 8 - bits - static_cast<int>(bit & 7);
      return (row[bit >> 3] >> shift) & ((1u << bits) - 1u);
    }
  }
}

// A sample of `bits` bits as an 8-bit level, to the nearest.
std::uint8_t level(std::uint32_t v, int bits) {
  if (bits == 8) return static_cast<std::uint8_t>(v);
  if (bits == 16) return reduce16(v);
  const std::uint32_t top = (1u << bits) - 1u;
  return static_cast<std::uint8_t>((v * 255u * 2u + top) / (2u * top));
}

void convertRow(const Layout& l, const std::uint8_t* raw, uchar* out) {
  const std::int64_t width = l.width;
  switch (l.kind) {
    case Kind::Bilevel:
    case Kind::Palette:
      for (std::int64_t x = 0; x < width; ++x)
        out[x] = static_cast<uchar>(sampleAt(raw, x, l.bits));
      break;
    case Kind::Gray:
      for (std::int64_t x = 0; x < width; ++x) {
        const std::uint8_t v = level(sampleAt(raw, x * l.samples, l.bits), l.bits);
        out[x] = l.whiteIsZero ? static_cast<uchar>(255 - v) : v;
      }
      break;
    case Kind::Rgb: {
      auto* pixels = reinterpret_cast<QRgb*>(out);
      for (std::int64_t x = 0; x < width; ++x) {
        const std::int64_t i = x * l.samples;
        pixels[x] = qRgb(level(sampleAt(raw, i, l.bits), l.bits),
                         level(sampleAt(raw, i + 1, l.bits), l.bits),
                         level(sampleAt(raw, i + 2, l.bits), l.bits));
      }
      break;
    }
  }
}

// Reads the layout of the current page when this reader decodes it itself.
std::optional<Layout> layoutOf(TIFF* tif) {
  Layout l;
  std::uint16_t sampleFormat = SAMPLEFORMAT_UINT, compression = COMPRESSION_NONE;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l.width) ||
      !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l.height) ||
      !TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l.photometric)) {
    return std::nullopt;
  }
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &l.planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  if (sampleFormat != SAMPLEFORMAT_UINT || l.samples == 0) return std::nullopt;
  if (l.photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG && l.bits == 8 &&
      l.samples == 3 && l.planar == PLANARCONFIG_CONTIG &&
      TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB)) {
    l.photometric = PHOTOMETRIC_RGB;  // libtiff hands the pixels over as RGB
  }
  const bool separate = l.planar == PLANARCONFIG_SEPARATE && l.samples > 1;
  switch (l.photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
      l.whiteIsZero = l.photometric == PHOTOMETRIC_MINISWHITE;
      if (l.bits == 1 && l.samples == 1) {
        l.kind = Kind::Bilevel;
        l.palette = l.whiteIsZero ? QList<QRgb>{qRgb(255, 255, 255), qRgb(0, 0, 0)}
                                  : QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)};
      } else if ((l.bits == 8 || l.bits == 16 || l.bits == 4 || l.bits == 2) &&
                 !(separate && l.bits < 8)) {
        l.kind = Kind::Gray;
      } else {
        return std::nullopt;
      }
      break;
    case PHOTOMETRIC_PALETTE: {
      if (l.samples != 1 || (l.bits != 1 && l.bits != 2 && l.bits != 4 && l.bits != 8)) {
        return std::nullopt;
      }
      std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
      if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue) {
        return std::nullopt;
      }
      l.kind = Kind::Palette;
      for (int i = 0; i < (1 << l.bits); ++i)
        l.palette.append(qRgb(red[i] >> 8, green[i] >> 8, blue[i] >> 8));
      break;
    }
    case PHOTOMETRIC_RGB:
      if (l.samples < 3 || (l.bits != 8 && l.bits != 16)) return std::nullopt;
      l.kind = Kind::Rgb;
      break;
    default:
      return std::nullopt;
  }
  if (l.width == 0 || l.height == 0 || l.width > 0x7fffffffu || l.height > 0x7fffffffu)
    return std::nullopt;
  return l;
}

// Decodes the page's pixels band by band (a strip, or a row of tiles) into
// image. False when any strip or tile is missing, short or corrupt.
bool decodeBands(TIFF* tif, const Layout& l, QImage& image, const Complaints& complaints,
                 std::int64_t limit) {
  const bool separate = l.planar == PLANARCONFIG_SEPARATE && l.samples > 1;
  const bool tiled = TIFFIsTiled(tif);
  // Samples a pixel has in the band buffer, and how many planes are read.
  const int planes = separate ? (l.kind == Kind::Rgb ? 3 : 1) : 1;
  const std::int64_t bandSamples = separate ? planes : l.samples;
  const std::int64_t rowBytes = (std::int64_t{l.width} * bandSamples * l.bits + 7) / 8;
  std::uint32_t bandRows = 0;
  std::uint32_t tileWidth = 0;
  if (tiled) {
    if (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth) ||
        !TIFFGetField(tif, TIFFTAG_TILELENGTH, &bandRows) || tileWidth == 0 || bandRows == 0) {
      return false;
    }
  } else {
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &bandRows);
  }
  bandRows = std::clamp<std::uint32_t>(bandRows, 1, l.height);
  const std::int64_t chunk = tiled ? TIFFTileSize64(tif) : TIFFStripSize64(tif);
  if (chunk <= 0) return false;
  if (rowBytes * bandRows > 2 * limit || chunk > 2 * limit) throw std::bad_alloc();
  std::vector<std::uint8_t> band(static_cast<std::size_t>(rowBytes * bandRows));
  std::vector<std::uint8_t> piece(static_cast<std::size_t>(chunk));
  const int sampleBytes = l.bits / 8;  // separate planes are 8 or 16 bits

  for (std::uint32_t top = 0; top < l.height; top += bandRows) {
    const std::uint32_t rows = std::min(bandRows, l.height - top);
    for (int plane = 0; plane < planes; ++plane) {
      const auto place = [&](const std::uint8_t* from, std::int64_t fromRowBytes, std::uint32_t x0,
                             std::uint32_t count) {
        // count pixels of `rows` rows starting at column x0 of the band.
        for (std::uint32_t r = 0; r < rows; ++r) {
          const std::uint8_t* in = from + r * fromRowBytes;
          std::uint8_t* out = band.data() + r * rowBytes;
          if (!separate) {
            const std::int64_t at = std::int64_t{x0} * bandSamples * l.bits / 8;
            const std::int64_t n = std::min<std::int64_t>(
                (std::int64_t{count} * bandSamples * l.bits + 7) / 8, rowBytes - at);
            std::memcpy(out + at, in, static_cast<std::size_t>(n));
          } else {
            for (std::uint32_t x = 0; x < count; ++x) {
              std::memcpy(out + ((std::int64_t{x0} + x) * planes + plane) * sampleBytes,
                          in + std::int64_t{x} * sampleBytes,
                          static_cast<std::size_t>(sampleBytes));
            }
          }
        }
      };
      if (!tiled) {
        const std::uint32_t strip = TIFFComputeStrip(tif, top, static_cast<std::uint16_t>(plane));
        const tmsize_t expected = TIFFVStripSize(tif, rows);  // of one plane when separate
        const tmsize_t got = TIFFReadEncodedStrip(tif, strip, piece.data(), chunk);
        if (got < expected || complaints.error) return false;
        place(piece.data(), (std::int64_t{l.width} * (separate ? 1 : l.samples) * l.bits + 7) / 8,
              0, l.width);
      } else {
        const std::int64_t tileRowBytes = TIFFTileRowSize64(tif);
        for (std::uint32_t x0 = 0; x0 < l.width; x0 += tileWidth) {
          const std::uint32_t tile =
              TIFFComputeTile(tif, x0, top, 0, static_cast<std::uint16_t>(plane));
          const tmsize_t got = TIFFReadEncodedTile(tif, tile, piece.data(), chunk);
          if (got < chunk || complaints.error) return false;
          place(piece.data(), tileRowBytes, x0, std::min(tileWidth, l.width - x0));
        }
      }
    }
    Layout bandLayout = l;
    if (separate) bandLayout.samples = static_cast<std::uint16_t>(planes);
    for (std::uint32_t r = 0; r < rows; ++r) {
      convertRow(bandLayout, band.data() + r * rowBytes, image.scanLine(static_cast<int>(top + r)));
    }
  }
  return true;
}

// Any other page through libtiff's RGBA reader, upright already.
bool decodeRgba(TIFF* tif, QImage& image, const Complaints& complaints) {
  const int width = image.width();
  const int height = image.height();
  std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) *
                                    static_cast<std::size_t>(height));
  if (!TIFFReadRGBAImageOriented(tif, static_cast<std::uint32_t>(width),
                                 static_cast<std::uint32_t>(height), raster.data(),
                                 ORIENTATION_TOPLEFT, 1) ||
      complaints.error) {
    return false;
  }
  for (int y = 0; y < height; ++y) {
    const std::uint32_t* in = raster.data() + static_cast<std::size_t>(y) * width;
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x)
      out[x] = qRgb(TIFFGetR(in[x]), TIFFGetG(in[x]), TIFFGetB(in[x]));
  }
  return true;
}

void readResolution(TIFF* tif, QImage& image) {
  float x = 0, y = 0;
  std::uint16_t unit = RESUNIT_INCH;
  TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
  if (!TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) || !TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y) ||
      !(x > 0 && y > 0 && x < 1e7f && y < 1e7f) ||
      (unit != RESUNIT_INCH && unit != RESUNIT_CENTIMETER)) {
    clearResolution(image);
    return;
  }
  const double perMetre = unit == RESUNIT_INCH ? 1 / 0.0254 : 100.0;
  const int dpmX = static_cast<int>(std::lround(x * perMetre));
  const int dpmY = static_cast<int>(std::lround(y * perMetre));
  if (dpmX <= 0 || dpmY <= 0) {
    clearResolution(image);
    return;
  }
  image.setDotsPerMeterX(dpmX);
  image.setDotsPerMeterY(dpmY);
}

// libtiff over a growing byte array, for writing.
struct Memory {
  QByteArray bytes;
  qint64 at = 0;
};
tmsize_t memRead(thandle_t h, void* out, tmsize_t n) {
  auto* m = static_cast<Memory*>(h);
  const tmsize_t count = std::clamp<tmsize_t>(m->bytes.size() - m->at, 0, n);
  std::memcpy(out, m->bytes.constData() + m->at, static_cast<std::size_t>(count));
  m->at += count;
  return count;
}
tmsize_t memWrite(thandle_t h, void* in, tmsize_t n) {
  auto* m = static_cast<Memory*>(h);
  if (m->at + n > m->bytes.size()) m->bytes.resize(m->at + n, '\0');
  std::memcpy(m->bytes.data() + m->at, in, static_cast<std::size_t>(n));
  m->at += n;
  return n;
}
toff_t memSeek(thandle_t h, toff_t offset, int whence) {
  auto* m = static_cast<Memory*>(h);
  const qint64 base = whence == SEEK_CUR ? m->at : whence == SEEK_END ? m->bytes.size() : 0;
  const qint64 to = base + static_cast<qint64>(offset);
  if (to < 0) return static_cast<toff_t>(-1);
  if (to > m->bytes.size()) m->bytes.resize(to, '\0');
  m->at = to;
  return static_cast<toff_t>(to);
}
int memClose(thandle_t) {
  return 0;
}
toff_t memSize(thandle_t h) {
  return static_cast<toff_t>(static_cast<Memory*>(h)->bytes.size());
}
int memMap(thandle_t, void**, toff_t*) {
  return 0;
}
void memUnmap(thandle_t, void*, toff_t) {}

}  // namespace

bool looksLikeTiff(const QByteArray& head) {
  return head.startsWith(QByteArray("II*\0", 4)) || head.startsWith(QByteArray("MM\0*", 4)) ||
         head.startsWith(QByteArray("II+\0", 4)) || head.startsWith(QByteArray("MM\0+", 4));
}

std::optional<DecodedPicture> readTiff(const QString& fileName, std::int64_t limit) {
  Complaints complaints;
  TiffHandle tif;
  {
    const Options options(&complaints);
    tif.reset(TIFFOpenExt(QFile::encodeName(fileName).constData(), "rm", options.options));
  }
  if (!tif || complaints.error) return std::nullopt;
  DecodedPicture decoded;
  // A damaged directory after the first page only shortens the count.
  decoded.pageCount = std::max<int>(1, TIFFNumberOfDirectories(tif.get()));
  complaints.error = false;
  if (!TIFFSetDirectory(tif.get(), 0) || complaints.error) return std::nullopt;

  std::uint32_t width = 0, height = 0;
  std::uint16_t orientation = ORIENTATION_TOPLEFT;
  if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) ||
      !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height) || width == 0 || height == 0 ||
      width > 0x7fffffffu || height > 0x7fffffffu) {
    return std::nullopt;
  }
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
  if (std::int64_t{width} * height * 4 > limit) throw std::bad_alloc();

  const std::optional<Layout> layout = layoutOf(tif.get());
  QImage image;
  if (layout) {
    image = blank(static_cast<int>(width), static_cast<int>(height),
                  layout->kind == Kind::Rgb ? QImage::Format_RGB32 : QImage::Format_Indexed8);
    if (!decodeBands(tif.get(), *layout, image, complaints, limit)) return std::nullopt;
    switch (layout->kind) {
      case Kind::Bilevel:
        image.setColorTable(layout->palette);
        decoded.bitsPerPixel = 1;
        break;
      case Kind::Palette:
        image.setColorTable(layout->palette);
        decoded.bitsPerPixel = layout->bits == 1 ? 1 : 8;
        break;
      case Kind::Gray:
        image.setColorTable(grayRamp());
        decoded.gray = true;
        break;
      case Kind::Rgb:
        decoded.bitsPerPixel = 24;
        break;
    }
    readResolution(tif.get(), image);
    image = applyOrientation(image, orientation);
  } else {
    complaints.error = false;
    image = blank(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    if (!decodeRgba(tif.get(), image, complaints)) return std::nullopt;
    decoded.bitsPerPixel = 24;
    readResolution(tif.get(), image);
    if (orientation >= 5 && orientation <= 8) {  // the reader turned it
      const int x = image.dotsPerMeterX();
      image.setDotsPerMeterX(image.dotsPerMeterY());
      image.setDotsPerMeterY(x);
    }
  }
  decoded.image = image;
  return decoded;
}

int tiffPageCount(const QString& fileName) {
  Complaints complaints;
  TiffHandle tif;
  {
    const Options options(&complaints);
    tif.reset(TIFFOpenExt(QFile::encodeName(fileName).constData(), "rm", options.options));
  }
  return tif ? std::max<int>(1, TIFFNumberOfDirectories(tif.get())) : 1;
}

std::optional<QByteArray> encodeTiff(const QImage& image, bool gray) {
  if (image.isNull()) return std::nullopt;
  const bool indexed = image.format() == QImage::Format_Indexed8;
  const int width = image.width();
  const int height = image.height();

  // What each written row holds.
  std::uint16_t photometric = PHOTOMETRIC_RGB, samples = 3, bits = 8;
  std::vector<std::uint16_t> map[3];
  std::uint8_t levels[256] = {};
  QImage rgb;
  if (indexed && gray) {
    photometric = PHOTOMETRIC_MINISBLACK;
    samples = 1;
    for (int i = 0; i < std::min<int>(image.colorCount(), 256); ++i)
      levels[i] = static_cast<std::uint8_t>(qRed(image.color(i)));
  } else if (indexed) {
    int highest = 0;
    for (int y = 0; y < height; ++y) {
      const uchar* line = image.constScanLine(y);
      highest = std::max<int>(highest, *std::max_element(line, line + width));
    }
    photometric = PHOTOMETRIC_PALETTE;
    samples = 1;
    bits = highest < 2 ? 1 : highest < 16 ? 4 : 8;
    for (auto& m : map) m.assign(std::size_t{1} << bits, 0);
    for (int i = 0; i < (1 << bits) && i < image.colorCount(); ++i) {
      const QRgb c = image.color(i);
      map[0][i] = static_cast<std::uint16_t>(qRed(c) * 257);
      map[1][i] = static_cast<std::uint16_t>(qGreen(c) * 257);
      map[2][i] = static_cast<std::uint16_t>(qBlue(c) * 257);
    }
  } else {
    rgb = image.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull()) return std::nullopt;
  }

  Complaints complaints;
  Memory memory;
  TiffHandle tif;
  {
    const Options options(&complaints);
    tif.reset(TIFFClientOpenExt("morvane", "w", &memory, memRead, memWrite, memSeek, memClose,
                                memSize, memMap, memUnmap, options.options));
  }
  if (!tif) return std::nullopt;
  TIFF* t = tif.get();
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  if (bits == 8 && photometric != PHOTOMETRIC_PALETTE)
    TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
  if (photometric == PHOTOMETRIC_PALETTE)
    TIFFSetField(t, TIFFTAG_COLORMAP, map[0].data(), map[1].data(), map[2].data());
  if (hasResolution(image)) {
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<float>(image.dotsPerMeterX() / 100.0));
    TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<float>(image.dotsPerMeterY() / 100.0));
  }

  const std::size_t rowBytes = (static_cast<std::size_t>(width) * samples * bits + 7) / 8;
  std::vector<std::uint8_t> row(rowBytes);
  for (int y = 0; y < height; ++y) {
    std::fill(row.begin(), row.end(), 0);
    if (!indexed) {
      std::memcpy(row.data(), rgb.constScanLine(y), rowBytes);
    } else {
      const uchar* line = image.constScanLine(y);
      for (int x = 0; x < width; ++x) {
        switch (bits) {
          case 1:
            row[x >> 3] |= static_cast<std::uint8_t>((line[x] & 1u) << (7 - (x & 7)));
            break;
          case 4:
            row[x >> 1] |= static_cast<std::uint8_t>((line[x] & 15u) << ((x & 1) ? 0 : 4));
            break;
          default:
            row[x] = gray ? levels[line[x]] : line[x];
            break;
        }
      }
    }
    if (TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), 0) < 0) return std::nullopt;
  }
  if (complaints.error) return std::nullopt;
  tif.reset();  // writes the directory
  if (complaints.error) return std::nullopt;
  return memory.bytes;
}

}  // namespace morvane
