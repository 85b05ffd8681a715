#include "toolkit/pnm_file.h"

#include <QFile>
#include <QList>
#include <algorithm>
#include <new>

#include "toolkit/formats.h"
#include "toolkit/image_memory.h"

namespace morvane {

namespace {

bool blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reading position over the file's bytes.
struct Cursor {
  const char* at;
  const char* end;

  // Skips blanks and comments (from '#' to the end of the line).
  void skip() {
    while (at < end) {
      if (*at == '#') {
        while (at < end && *at != '\n' && *at != '\r') ++at;
      } else if (blank(*at)) {
        ++at;
      } else {
        break;
      }
    }
  }
  // A decimal number after blanks and comments, at most `most`.
  std::optional<std::uint32_t> number(std::uint32_t most) {
    skip();
    if (at == end || *at < '0' || *at > '9') return std::nullopt;
    std::uint64_t v = 0;
    while (at < end && *at >= '0' && *at <= '9') {
      v = v * 10 + static_cast<std::uint64_t>(*at++ - '0');
      if (v > most) return std::nullopt;
    }
    return static_cast<std::uint32_t>(v);
  }
};

QImage image(int width, int height, QImage::Format format) {
  QImage out = NewImage(width, height, format);
  if (out.isNull()) throw std::bad_alloc();
  return out;
}

QList<QRgb> grayRamp() {
  QList<QRgb> table;
  for (int g = 0; g < 256; ++g) table.append(qRgb(g, g, g));
  return table;
}

// The picture's levels (red channel) row by row.
std::optional<QImage> levelsOf(const QImage& picture) {
  if (picture.format() == QImage::Format_Indexed8) return picture;
  QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
  if (rgb.isNull()) return std::nullopt;
  return rgb;
}

std::uint8_t levelAt(const QImage& levels, const uchar* line, int x) {
  if (levels.format() == QImage::Format_Indexed8) {
    return line[x] < levels.colorCount() ? static_cast<std::uint8_t>(qRed(levels.color(line[x])))
                                         : 0;
  }
  return static_cast<std::uint8_t>(qRed(reinterpret_cast<const QRgb*>(line)[x]));
}

bool tableOfGrays(const QImage& picture) {
  if (picture.format() != QImage::Format_Indexed8) return false;
  const QList<QRgb> table = picture.colorTable();
  return std::all_of(table.begin(), table.end(),
                     [](QRgb c) { return qRed(c) == qGreen(c) && qGreen(c) == qBlue(c); });
}

}  // namespace

bool looksLikePnm(const QByteArray& head) {
  return head.size() >= 3 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6' &&
         (blank(head[2]) || head[2] == '#');
}

std::optional<DecodedPicture> decodePnm(const QByteArray& bytes, std::int64_t limit) {
  if (!looksLikePnm(bytes)) return std::nullopt;
  const int kind = bytes[1] - '0';
  Cursor in{bytes.constData() + 2, bytes.constData() + bytes.size()};
  const std::optional<std::uint32_t> width = in.number(0x7fffffff);
  const std::optional<std::uint32_t> height = in.number(0x7fffffff);
  if (!width || !height || *width == 0 || *height == 0) return std::nullopt;
  const bool bitmap = kind == 1 || kind == 4;
  const bool colour = kind == 3 || kind == 6;
  std::uint32_t maxval = 1;
  if (!bitmap) {
    const std::optional<std::uint32_t> m = in.number(65535);
    if (!m || *m == 0) return std::nullopt;
    maxval = *m;
  }
  const bool raw = kind >= 4;
  if (raw) {  // exactly one blank before the data
    if (in.at == in.end || !blank(*in.at)) return std::nullopt;
    ++in.at;
  }
  const std::int64_t w = *width, h = *height;
  const int channels = colour ? 3 : 1;
  const int sampleBytes = maxval > 255 ? 2 : 1;
  if (raw) {
    const std::int64_t rowBytes = bitmap ? (w + 7) / 8 : w * channels * sampleBytes;
    if (h > (in.end - in.at) / rowBytes) return std::nullopt;  // cut short
  } else if (h * w > in.end - in.at) {                         // at least a character a sample
    return std::nullopt;
  }
  if (w * h * (colour ? 4 : 1) > limit) throw std::bad_alloc();

  DecodedPicture decoded;
  decoded.image = image(static_cast<int>(w), static_cast<int>(h),
                        colour ? QImage::Format_RGB32 : QImage::Format_Indexed8);
  // round(v * 255 / maxval), ties up.
  const auto level = [maxval](std::uint32_t v) {
    return static_cast<std::uint8_t>((2u * v * 255u + maxval) / (2u * maxval));
  };
  const auto sample = [&]() -> std::optional<std::uint32_t> {
    if (!raw) return in.number(maxval);
    std::uint32_t v = static_cast<std::uint8_t>(*in.at++);
    if (sampleBytes == 2) v = v << 8 | static_cast<std::uint8_t>(*in.at++);
    if (v > maxval) return std::nullopt;
    return v;
  };
  for (std::int64_t y = 0; y < h; ++y) {
    uchar* line = decoded.image.scanLine(static_cast<int>(y));
    if (kind == 4) {
      for (std::int64_t x = 0; x < w; ++x) line[x] = (in.at[x >> 3] >> (7 - (x & 7))) & 1;
      in.at += (w + 7) / 8;
    } else if (kind == 1) {
      // One character a sample: the digits need not be separated.
      for (std::int64_t x = 0; x < w; ++x) {
        in.skip();
        if (in.at == in.end || (*in.at != '0' && *in.at != '1')) return std::nullopt;
        line[x] = static_cast<uchar>(*in.at++ - '0');
      }
    } else if (colour) {
      auto* pixels = reinterpret_cast<QRgb*>(line);
      for (std::int64_t x = 0; x < w; ++x) {
        const auto r = sample(), g = sample(), b = sample();
        if (!r || !g || !b) return std::nullopt;
        pixels[x] = qRgb(level(*r), level(*g), level(*b));
      }
    } else {
      for (std::int64_t x = 0; x < w; ++x) {
        const auto v = sample();
        if (!v) return std::nullopt;
        line[x] = level(*v);
      }
    }
  }
  if (bitmap) {
    decoded.image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    decoded.bitsPerPixel = 1;
  } else if (colour) {
    decoded.bitsPerPixel = 24;
  } else {
    decoded.image.setColorTable(grayRamp());
    decoded.bitsPerPixel = 8;
    decoded.gray = true;
  }
  clearResolution(decoded.image);
  return decoded;
}

std::optional<DecodedPicture> readPnm(const QString& fileName, std::int64_t limit) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  // Raw data takes at most a byte a pixel more than the picture; plain text
  // up to about four times its samples.
  if (file.size() > 16 * limit + 4096) throw std::bad_alloc();
  const QByteArray bytes = file.readAll();
  if (bytes.size() != file.size()) return std::nullopt;
  return decodePnm(bytes, limit);
}

std::optional<QByteArray> encodePnm(const QImage& picture, bool gray, const QByteArray& format) {
  const std::optional<QImage> levels = levelsOf(picture);
  if (!levels) return std::nullopt;
  QByteArray kind = format;
  if (kind == "pnm") kind = gray || tableOfGrays(picture) ? "pgm" : "ppm";
  const int width = picture.width();
  const int height = picture.height();
  const char* magic = kind == "pbm" ? "P4" : kind == "pgm" ? "P5" : "P6";
  QByteArray out = QByteArray(magic) + '\n' + QByteArray::number(width) + ' ' +
                   QByteArray::number(height) + '\n' + (kind == "pbm" ? "" : "255\n");
  const qint64 rowBytes = kind == "pbm"   ? (width + 7) / 8
                          : kind == "pgm" ? width
                                          : qint64{width} * 3;
  const qint64 start = out.size();
  out.resize(start + rowBytes * height, '\0');
  QImage rgb;
  if (kind == "ppm") {
    rgb = picture.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull()) return std::nullopt;
  }
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<std::uint8_t*>(out.data() + start + rowBytes * y);
    if (kind == "ppm") {
      std::copy_n(rgb.constScanLine(y), rowBytes, row);
      continue;
    }
    const uchar* line = levels->constScanLine(y);
    for (int x = 0; x < width; ++x) {
      const std::uint8_t v = levelAt(*levels, line, x);
      if (kind == "pgm") {
        row[x] = v;
      } else if (v == 0) {  // a set bit is black
        row[x >> 3] |= static_cast<std::uint8_t>(0x80u >> (x & 7));
      } else if (v != 255) {  // only black and white have a place in a PBM
        return std::nullopt;
      }
    }
  }
  return out;
}

}  // namespace morvane
