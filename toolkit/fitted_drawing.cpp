#include "toolkit/fitted_drawing.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace morvane {

namespace {

// Columns x0 .. x1-1 of the picture's rows as bytes: one gray level a pixel
// when every colour of a palette picture is a gray, else the four bytes of the
// pixel's 0xAARRGGBB colour in memory order.
class RowSource {
 public:
  RowSource(const QImage& picture, int x0, int x1) : picture_(picture), x0_(x0), x1_(x1) {
    if (picture.format() == QImage::Format_Indexed8) {
      const QList<QRgb> table = picture.colorTable();
      bool gray = true, identity = table.size() == 256;
      for (int i = 0; i < 256; ++i) {
        const QRgb c = i < table.size() ? table[i] : qRgb(0, 0, 0);
        colours_[i] = c | 0xff000000u;
        levels_[i] = static_cast<std::uint8_t>(qRed(c));
        gray = gray && qRed(c) == qGreen(c) && qGreen(c) == qBlue(c);
        identity = identity && levels_[i] == i;
      }
      kind_ = !gray ? Kind::kPalette : identity ? Kind::kLevels : Kind::kGrayPalette;
    } else if (picture.format() == QImage::Format_RGB32 ||
               picture.format() == QImage::Format_ARGB32) {
      kind_ = Kind::kColours;
    } else {
      kind_ = picture.format() == QImage::Format_RGB555 ? Kind::kRgb555 : Kind::kOther;
    }
    channels_ = kind_ == Kind::kLevels || kind_ == Kind::kGrayPalette ? 1 : 4;
  }

  int channels() const { return channels_; }

  // Row y; a row that has to be converted goes to buffer `slot`, so rows read
  // into different slots stay valid together.
  const std::uint8_t* row(int y, std::size_t slot = 0) {
    const uchar* line = picture_.constScanLine(y);
    const int n = x1_ - x0_;
    if (kind_ == Kind::kLevels) return line + x0_;
    if (kind_ == Kind::kColours) return line + 4 * static_cast<std::size_t>(x0_);
    if (slot >= buffers_.size()) buffers_.resize(slot + 1);
    std::vector<std::uint8_t>& buffer = buffers_[slot];
    buffer.resize(static_cast<std::size_t>(n) * channels_);
    std::uint8_t* out = buffer.data();
    switch (kind_) {
      case Kind::kLevels:
      case Kind::kColours:
        break;
      case Kind::kGrayPalette:
        for (int i = 0; i < n; ++i) out[i] = levels_[line[x0_ + i]];
        break;
      case Kind::kPalette:
        for (int i = 0; i < n; ++i) std::memcpy(out + 4 * i, &colours_[line[x0_ + i]], 4);
        break;
      case Kind::kRgb555: {
        const auto* pixels = reinterpret_cast<const quint16*>(line) + x0_;
        for (int i = 0; i < n; ++i) {
          const quint32 v = pixels[i];
          const quint32 r = (v >> 10) & 31u, g = (v >> 5) & 31u, b = v & 31u;
          const QRgb c = 0xff000000u | (((r << 3) | (r >> 2)) << 16) |
                         (((g << 3) | (g >> 2)) << 8) | ((b << 3) | (b >> 2));
          std::memcpy(out + 4 * i, &c, 4);
        }
        break;
      }
      case Kind::kOther:
        for (int i = 0; i < n; ++i) {
          const QRgb c = picture_.pixel(x0_ + i, y);
          std::memcpy(out + 4 * i, &c, 4);
        }
        break;
    }
    return out;
  }

 private:
  enum class Kind { kLevels, kGrayPalette, kPalette, kColours, kRgb555, kOther };
  const QImage& picture_;
  int x0_, x1_;
  Kind kind_;
  int channels_;
  QRgb colours_[256];
  std::uint8_t levels_[256];
  std::vector<std::vector<std::uint8_t>> buffers_;
};

// The colour of one drawn pixel from its channel values (bytes in memory order).
template <int C>
QRgb Colour(const std::uint8_t* channels) {
  if constexpr (C == 1) {
    return 0xff000000u | channels[0] * 0x010101u;
  } else {
    QRgb c;
    std::memcpy(&c, channels, 4);
    return c | 0xff000000u;
  }
}

// Each drawn pixel is the picture pixel it lies in.
template <int C>
void Nearest(const QImage& picture, QSize drawn, QRect area, QImage& out, QPoint at) {
  std::vector<int> xs(static_cast<std::size_t>(area.width()));
  for (int i = 0; i < area.width(); ++i)
    xs[i] = PictureCoordinate(area.left() + i, drawn.width(), picture.width());
  RowSource rows(picture, xs.front(), xs.back() + 1);
  for (int r = 0; r < area.height(); ++r) {
    const int y = PictureCoordinate(area.top() + r, drawn.height(), picture.height());
    const std::uint8_t* src = rows.row(y);
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(at.y() + r)) + at.x();
    for (int i = 0; i < area.width(); ++i)
      line[i] = Colour<C>(src + static_cast<std::size_t>(xs[i] - xs.front()) * C);
  }
}

// How a drawn column is made of picture columns, counted in units where a
// picture pixel is `drawn` wide and a drawn pixel `picture` wide: the first
// and the last picture pixel it cuts, with the units of them it covers; the
// pixels between are covered whole.
struct Cover {
  int first, last;
  std::uint32_t firstWeight, lastWeight;
};

Cover CoverOf(int d, int drawn, int picture) {
  const qint64 lo = static_cast<qint64>(d) * picture, hi = lo + picture;
  Cover c;
  c.first = static_cast<int>(lo / drawn);
  c.last = static_cast<int>((hi - 1) / drawn);
  if (c.first == c.last) {
    c.firstWeight = static_cast<std::uint32_t>(picture);
    c.lastWeight = 0;
  } else {
    c.firstWeight = static_cast<std::uint32_t>((c.first + 1) * static_cast<qint64>(drawn) - lo);
    c.lastWeight = static_cast<std::uint32_t>(hi - c.last * static_cast<qint64>(drawn));
  }
  return c;
}

// Column sums of picture rows, over n bytes: rows covered whole are added
// plainly, rows cut by an edge weighted by how much of them is covered.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define MORVANE_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define MORVANE_WIDE_VECTORS
#endif

MORVANE_WIDE_VECTORS
void AddWhole(std::uint16_t* __restrict sum, const std::uint8_t* __restrict row, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) sum[i] += row[i];
}

// Four whole rows at once: a quarter of the traffic to the sums.
MORVANE_WIDE_VECTORS
void AddWhole4(std::uint16_t* __restrict sum, const std::uint8_t* __restrict a,
               const std::uint8_t* __restrict b, const std::uint8_t* __restrict c,
               const std::uint8_t* __restrict d, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    sum[i] += static_cast<std::uint16_t>(a[i] + b[i]) + static_cast<std::uint16_t>(c[i] + d[i]);
}

MORVANE_WIDE_VECTORS
void AddWeighted(std::uint32_t* __restrict sum, const std::uint8_t* __restrict row,
                 std::uint32_t weight, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) sum[i] += weight * row[i];
}

// The finished column sums of a stretch; the working sums start again at 0.
MORVANE_WIDE_VECTORS
void Finish(std::uint32_t* __restrict out, std::uint32_t* __restrict sum,
            std::uint16_t* __restrict whole, std::uint32_t weight, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    out[i] = sum[i] + weight * whole[i];
    sum[i] = 0;
    whole[i] = 0;
  }
}

MORVANE_WIDE_VECTORS
void Fold(std::uint32_t* __restrict sum, std::uint16_t* __restrict whole, std::uint32_t weight,
          std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    sum[i] += weight * whole[i];
    whole[i] = 0;
  }
}

// One drawn row from the column sums of the picture rows under it: each drawn
// pixel sums the columns under it, the two it cuts weighted by the part of
// them it covers. sums is indexed by picture column (times C).
// Between is the type the sums of the columns between the two cut ones fit in.
template <int C, typename Between>
MORVANE_WIDE_VECTORS void Across(const std::uint32_t* sums, const Cover* columns, int count,
                                 std::uint32_t drawnWidth, double scale, QRgb* line) {
  for (int i = 0; i < count; ++i) {
    const Cover& c = columns[i];
    const std::uint32_t* first = sums + static_cast<std::size_t>(c.first) * C;
    const std::uint32_t* last = sums + static_cast<std::size_t>(c.last) * C;
    Between between[C] = {};
    for (const std::uint32_t* p = first + C; p < last; p += C)
      for (int k = 0; k < C; ++k) between[k] += p[k];
    std::uint8_t channels[4] = {0, 0, 0, 0};
    for (int k = 0; k < C; ++k) {
      const std::uint64_t total = std::uint64_t{c.firstWeight} * first[k] +
                                  std::uint64_t{c.lastWeight} * last[k] +
                                  std::uint64_t{between[k]} * drawnWidth;
      channels[k] =
          static_cast<std::uint8_t>(std::min(255.0, static_cast<double>(total) * scale + 0.5));
    }
    line[i] = Colour<C>(channels);
  }
}

// Area average, drawn smaller than the picture on both axes (or equal on one).
// For each drawn row, the picture rows under it are summed column by column
// with the part of each that the row covers as its weight, a stretch of
// columns at a time so that the sums stay in the nearest cache; the column
// sums are then summed across, each drawn pixel over the columns under it.
template <int C>
void AreaAverage(const QImage& picture, QSize drawn, QRect area, QImage& out, QPoint at) {
  const int pw = picture.width(), ph = picture.height();
  const int dw = drawn.width(), dh = drawn.height();
  std::vector<Cover> columns(static_cast<std::size_t>(area.width()));
  for (int i = 0; i < area.width(); ++i) columns[i] = CoverOf(area.left() + i, dw, pw);
  const int x0 = columns.front().first, x1 = columns.back().last + 1;
  RowSource rows(picture, x0, x1);
  const std::size_t n = static_cast<std::size_t>(x1 - x0) * C;
  constexpr std::size_t kStretch = 4096;
  // Plain sums of whole rows fit 16 bits for 257 rows; then they are folded
  // into the weighted sums.
  std::vector<std::uint16_t> whole(kStretch, 0);
  std::vector<std::uint32_t> weighted(kStretch, 0), sums(n);
  std::vector<const std::uint8_t*> wholes, cut;
  std::vector<std::uint32_t> weights;
  const std::uint32_t wholeWeight = static_cast<std::uint32_t>(dh);
  const double scale = 1.0 / (static_cast<double>(pw) * ph);
  // A column sum is at most 255 ph, and at most pw / dw + 1 columns lie whole
  // under a drawn pixel.
  const bool narrowBetween = (static_cast<double>(pw) / dw + 1) * 255.0 * ph < 4294967295.0;
  for (int r = 0; r < area.height(); ++r) {
    const int d = area.top() + r;
    const Cover cover = CoverOf(d, dh, ph);
    const qint64 lo = static_cast<qint64>(d) * ph, hi = lo + ph;
    wholes.clear();
    cut.clear();
    weights.clear();
    for (int j = cover.first; j <= cover.last; ++j) {
      const qint64 top = static_cast<qint64>(j) * dh, bottom = top + dh;
      const auto weight = static_cast<std::uint32_t>(std::min(bottom, hi) - std::max(top, lo));
      const std::uint8_t* row = rows.row(j, wholes.size() + cut.size());
      if (weight == wholeWeight) {
        wholes.push_back(row);
      } else {
        cut.push_back(row);
        weights.push_back(weight);
      }
    }
    for (std::size_t s = 0; s < n; s += kStretch) {
      const std::size_t m = std::min(kStretch, n - s);
      for (std::size_t k = 0; k < cut.size(); ++k)
        AddWeighted(weighted.data(), cut[k] + s, weights[k], m);
      int wholeRows = 0;
      std::size_t k = 0;
      for (; k + 4 <= wholes.size(); k += 4) {
        if (wholeRows + 4 > 257) {
          Fold(weighted.data(), whole.data(), wholeWeight, m);
          wholeRows = 0;
        }
        AddWhole4(whole.data(), wholes[k] + s, wholes[k + 1] + s, wholes[k + 2] + s,
                  wholes[k + 3] + s, m);
        wholeRows += 4;
      }
      for (; k < wholes.size(); ++k) {
        if (wholeRows + 1 > 257) {
          Fold(weighted.data(), whole.data(), wholeWeight, m);
          wholeRows = 0;
        }
        AddWhole(whole.data(), wholes[k] + s, m);
        ++wholeRows;
      }
      Finish(sums.data() + s, weighted.data(), whole.data(), wholeWeight, m);
    }
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(at.y() + r)) + at.x();
    if (narrowBetween) {
      Across<C, std::uint32_t>(sums.data() - static_cast<std::size_t>(x0) * C, columns.data(),
                               area.width(), static_cast<std::uint32_t>(dw), scale, line);
    } else {
      Across<C, std::uint64_t>(sums.data() - static_cast<std::size_t>(x0) * C, columns.data(),
                               area.width(), static_cast<std::uint32_t>(dw), scale, line);
    }
  }
}

}  // namespace

void DrawScaled(const QImage& picture, QSize drawnSize, QRect area, QImage& out, QPoint at) {
  if (picture.isNull() || drawnSize.isEmpty() || out.isNull()) return;
  // Keep to the drawn picture and to out.
  area &= QRect(QPoint(0, 0), drawnSize);
  const QRect target = QRect(at, area.size()) & out.rect();
  area = QRect(area.topLeft() + (target.topLeft() - at), target.size());
  at = target.topLeft();
  if (area.isEmpty()) return;
  const bool smaller = drawnSize.width() <= picture.width() &&
                       drawnSize.height() <= picture.height() && drawnSize != picture.size();
  const bool gray = RowSource(picture, 0, 0).channels() == 1;
  if (smaller) {
    gray ? AreaAverage<1>(picture, drawnSize, area, out, at)
         : AreaAverage<4>(picture, drawnSize, area, out, at);
  } else {
    gray ? Nearest<1>(picture, drawnSize, area, out, at)
         : Nearest<4>(picture, drawnSize, area, out, at);
  }
}

void DrawFitted(const QImage& picture, QImage& drawn, int top, int bottom) {
  top = std::max(top, 0);
  bottom = std::min(bottom, drawn.height());
  if (top >= bottom) return;
  DrawScaled(picture, drawn.size(), QRect(0, top, drawn.width(), bottom - top), drawn,
             QPoint(0, top));
}

}  // namespace morvane
