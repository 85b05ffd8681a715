#include "toolkit/fitted_drawing.h"

#include <algorithm>
#include <vector>

namespace morvane {

namespace {

// Sample positions along one axis: k per drawn pixel, spread evenly over the
// picture pixels it covers.
std::vector<int> Samples(int drawnLength, int pictureLength, int k) {
  std::vector<int> at(static_cast<std::size_t>(drawnLength) * k);
  const qint64 denominator = 2 * static_cast<qint64>(k) * drawnLength;
  for (int d = 0; d < drawnLength; ++d) {
    for (int i = 0; i < k; ++i) {
      const qint64 numerator = (2 * static_cast<qint64>(d) * k + 2 * i + 1) * pictureLength;
      at[static_cast<std::size_t>(d) * k + i] =
          static_cast<int>(std::min<qint64>(numerator / denominator, pictureLength - 1));
    }
  }
  return at;
}

// Colours of one picture row at the given columns, as 0xffRRGGBB.
void ReadColours(const QImage& picture, const QList<QRgb>& table, int y, const std::vector<int>& xs,
                 QRgb* out) {
  const uchar* line = picture.constScanLine(y);
  const std::size_t n = xs.size();
  switch (picture.format()) {
    case QImage::Format_Indexed8: {
      const QRgb* colours = table.constData();
      const int entries = static_cast<int>(table.size());
      for (std::size_t i = 0; i < n; ++i) {
        const int index = line[xs[i]];
        out[i] = index < entries ? colours[index] : 0xff000000u;
      }
      break;
    }
    case QImage::Format_RGB555: {
      const auto* pixels = reinterpret_cast<const quint16*>(line);
      for (std::size_t i = 0; i < n; ++i) {
        const quint32 v = pixels[xs[i]];
        const quint32 r = (v >> 10) & 31u, g = (v >> 5) & 31u, b = v & 31u;
        out[i] = 0xff000000u | (((r << 3) | (r >> 2)) << 16) | (((g << 3) | (g >> 2)) << 8) |
                 ((b << 3) | (b >> 2));
      }
      break;
    }
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32: {
      const auto* pixels = reinterpret_cast<const QRgb*>(line);
      for (std::size_t i = 0; i < n; ++i) out[i] = pixels[xs[i]] | 0xff000000u;
      break;
    }
    default:
      for (std::size_t i = 0; i < n; ++i) out[i] = picture.pixel(xs[i], y) | 0xff000000u;
      break;
  }
}

}  // namespace

void DrawFitted(const QImage& picture, QImage& drawn, int top, int bottom) {
  const int w = drawn.width();
  const int h = drawn.height();
  top = std::max(top, 0);
  bottom = std::min(bottom, h);
  if (picture.isNull() || w <= 0 || h <= 0 || top >= bottom) return;
  const int kx = w == picture.width() ? 1 : 2;
  const int ky = h == picture.height() ? 1 : 2;
  const std::vector<int> xs = Samples(w, picture.width(), kx);
  const std::vector<int> ys = Samples(h, picture.height(), ky);
  const QList<QRgb> table = picture.colorTable();
  std::vector<QRgb> colours(xs.size());
  std::vector<quint32> sums(static_cast<std::size_t>(w) * 3);
  const int shift = (kx == 2) + (ky == 2);
  for (int d = top; d < bottom; ++d) {
    auto* out = reinterpret_cast<QRgb*>(drawn.scanLine(d));
    if (kx * ky == 1) {
      ReadColours(picture, table, ys[static_cast<std::size_t>(d)], xs, out);
      continue;
    }
    std::fill(sums.begin(), sums.end(), 0u);
    for (int j = 0; j < ky; ++j) {
      ReadColours(picture, table, ys[static_cast<std::size_t>(d) * ky + j], xs, colours.data());
      for (int x = 0; x < w; ++x) {
        for (int i = 0; i < kx; ++i) {
          const QRgb c = colours[static_cast<std::size_t>(x) * kx + i];
          sums[3 * x] += qRed(c);
          sums[3 * x + 1] += qGreen(c);
          sums[3 * x + 2] += qBlue(c);
        }
      }
    }
    for (int x = 0; x < w; ++x)
      out[x] =
          qRgb(static_cast<int>(sums[3 * x] >> shift), static_cast<int>(sums[3 * x + 1] >> shift),
               static_cast<int>(sums[3 * x + 2] >> shift));
  }
}

}  // namespace morvane
