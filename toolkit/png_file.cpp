#include "toolkit/png_file.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

#include "toolkit/library_readers.h"
#include "toolkit/resolution.h"

namespace morvane {

namespace {

struct Reading {
  const std::uint8_t* bytes = nullptr;
  std::size_t size = 0;
  std::size_t at = 0;
  png_structp png = nullptr;
  png_infop info = nullptr;
  DecodedPicture picture;
  std::vector<png_byte> raw;
  std::vector<png_bytep> rows;
};

void readBytes(png_structp png, png_bytep out, std::size_t count) {
  auto* r = static_cast<Reading*>(png_get_io_ptr(png));
  if (count > r->size - r->at) png_error(png, "premature end of file");
  std::memcpy(out, r->bytes + r->at, count);
  r->at += count;
}

[[noreturn]] void onError(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}

// A warning about an ancillary chunk ("tEXt: ...", "iCCP: ...") leaves the
// pixels alone, and so does one about data past the end of the complete image;
// any other one (image data, palette, header) refuses the file.
void onWarning(png_structp png, png_const_charp message) {
  const bool ancillary =
      std::strlen(message) > 5 && message[4] == ':' && message[0] >= 'a' && message[0] <= 'z';
  const bool surplus = std::strstr(message, "Extra compressed data") != nullptr ||
                       std::strstr(message, "Too much image data") != nullptr ||
                       std::strstr(message, "Too many IDATs found") != nullptr;
  if (!ancillary && !surplus) png_error(png, message);
}

std::uint8_t reduce16(const png_byte* sample) {
  const unsigned v = unsigned{sample[0]} << 8 | sample[1];
  return static_cast<std::uint8_t>((v * 255u + 32767u) / 65535u);
}

// Row y of the picture from its row of samples (1, 2 or 4-bit samples one to a
// byte, 16-bit samples big-endian).
void convertRow(QImage& image, const png_byte* in, int y, int colourType, int depth) {
  const int width = image.width();
  const int step = depth == 16 ? 2 : 1;
  switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_GRAY_ALPHA: {
      uchar* line = image.scanLine(y);
      const int samples = colourType == PNG_COLOR_TYPE_GRAY ? 1 : 2;
      if (depth == 1) {  // two colours: white first, then black
        for (int x = 0; x < width; ++x) line[x] = in[x] ? 0 : 1;
      } else if (depth < 8) {
        const int top = (1 << depth) - 1;
        for (int x = 0; x < width; ++x) line[x] = static_cast<uchar>(in[x] * 255 / top);
      } else {
        for (int x = 0; x < width; ++x) {
          const png_byte* s = in + x * samples * step;
          line[x] = depth == 16 ? reduce16(s) : s[0];
        }
      }
      break;
    }
    case PNG_COLOR_TYPE_PALETTE:
      std::memcpy(image.scanLine(y), in, static_cast<std::size_t>(width));
      break;
    default: {  // RGB, RGBA
      auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
      const int samples = colourType == PNG_COLOR_TYPE_RGB ? 3 : 4;
      for (int x = 0; x < width; ++x) {
        const png_byte* s = in + x * samples * step;
        line[x] = depth == 16 ? qRgb(reduce16(s), reduce16(s + 2), reduce16(s + 4))
                              : qRgb(s[0], s[1], s[2]);
      }
      break;
    }
  }
}

// The steps libpng may jump out of: whatever they make lives in r.
bool readSteps(Reading& r) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  png_set_read_fn(r.png, &r, readBytes);
  png_read_info(r.png, r.info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colourType = 0, interlace = 0;
  png_get_IHDR(r.png, r.info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);
  const bool colour = colourType == PNG_COLOR_TYPE_RGB || colourType == PNG_COLOR_TYPE_RGB_ALPHA;
  if (!withinReadLimit(width, height, colour ? 4 : 1)) return false;
  png_colorp palette = nullptr;
  int paletteSize = 0;
  if (colourType == PNG_COLOR_TYPE_PALETTE &&
      (!png_get_PLTE(r.png, r.info, &palette, &paletteSize) || paletteSize < 1)) {
    return false;
  }

  QImage& image = r.picture.image;
  const int w = static_cast<int>(width), h = static_cast<int>(height);
  if (colour) {
    image = colourPicture(w, h);
    r.picture.bitsPerPixel = 24;
  } else if (colourType == PNG_COLOR_TYPE_PALETTE ||
             (colourType == PNG_COLOR_TYPE_GRAY && depth == 1)) {
    image = grayPicture(w, h);
    QList<QRgb> table;
    if (palette != nullptr) {
      for (int i = 0; i < paletteSize; ++i)
        table.append(qRgb(palette[i].red, palette[i].green, palette[i].blue));
    } else {
      table = {qRgb(255, 255, 255), qRgb(0, 0, 0)};
    }
    image.setColorTable(table);
    r.picture.bitsPerPixel = depth == 1 ? 1 : 8;
  } else {
    image = grayPicture(w, h);
    r.picture.gray = true;
    r.picture.bitsPerPixel = 8;
  }
  png_uint_32 resX = 0, resY = 0;
  int unit = 0;
  if (png_get_pHYs(r.png, r.info, &resX, &resY, &unit) && unit == PNG_RESOLUTION_METER) {
    setResolution(image, resX, resY);
  }

  if (depth < 8) png_set_packing(r.png);
  const int passes = png_set_interlace_handling(r.png);
  png_read_update_info(r.png, r.info);
  const std::size_t rowBytes = png_get_rowbytes(r.png, r.info);
  if (passes > 1) {  // every row is needed until the last pass
    if (!withinReadLimit(static_cast<std::int64_t>(rowBytes), height, 1)) return false;
    r.raw.resize(rowBytes * height);
    r.rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) r.rows[y] = r.raw.data() + rowBytes * y;
    png_read_image(r.png, r.rows.data());
    for (int y = 0; y < h; ++y) convertRow(image, r.rows[y], y, colourType, depth);
  } else {
    r.raw.resize(rowBytes);
    for (int y = 0; y < h; ++y) {
      png_read_row(r.png, r.raw.data(), nullptr);
      convertRow(image, r.raw.data(), y, colourType, depth);
    }
  }
  png_read_end(r.png, nullptr);
  if (palette != nullptr) {  // an index past the palette would be a made-up colour
    for (int y = 0; y < h; ++y) {
      const uchar* line = image.constScanLine(y);
      for (int x = 0; x < w; ++x) {
        if (line[x] >= paletteSize) return false;
      }
    }
  }
  return true;
}

}  // namespace

std::optional<DecodedPicture> decodePng(const std::uint8_t* bytes, std::size_t size) {
  Reading r;
  r.bytes = bytes;
  r.size = size;
  r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
  if (r.png == nullptr) return std::nullopt;
  r.info = png_create_info_struct(r.png);
  struct Destroy {
    Reading& r;
    ~Destroy() { png_destroy_read_struct(&r.png, r.info ? &r.info : nullptr, nullptr); }
  } destroy{r};
  if (r.info == nullptr || !readSteps(r)) return std::nullopt;
  return std::move(r.picture);
}

}  // namespace morvane
