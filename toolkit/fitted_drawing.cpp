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
    if (kind_ != Kind::kLevels && kind_ != Kind::kColours)
      buffer_.resize(static_cast<std::size_t>(x1 - x0) * channels_);
  }

  int channels() const { return channels_; }

  const std::uint8_t* row(int y) {
    const uchar* line = picture_.constScanLine(y);
    std::uint8_t* out = buffer_.data();
    const int n = x1_ - x0_;
    switch (kind_) {
      case Kind::kLevels:
        return line + x0_;
      case Kind::kColours:
        return line + 4 * static_cast<std::size_t>(x0_);
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
  std::vector<std::uint8_t> buffer_;
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

// Area average, drawn smaller than the picture on both axes (or equal on one).
// The picture rows under the area are read once each: a row is added to the
// column sums of the drawn row(s) it lies under, weighted by how much of it
// they cover (a row cut by the edge between two drawn rows goes to both), and
// each finished drawn row is then summed across, column by column.
template <int C>
void AreaAverage(const QImage& picture, QSize drawn, QRect area, QImage& out, QPoint at) {
  const int pw = picture.width(), ph = picture.height();
  const int dw = drawn.width(), dh = drawn.height();
  std::vector<Cover> columns(static_cast<std::size_t>(area.width()));
  for (int i = 0; i < area.width(); ++i) columns[i] = CoverOf(area.left() + i, dw, pw);
  const int x0 = columns.front().first, x1 = columns.back().last + 1;
  RowSource rows(picture, x0, x1);
  const std::size_t n = static_cast<std::size_t>(x1 - x0) * C;
  // Rows covered whole are plain sums (at most 257 of them fit before they are
  // folded into the weighted sums); rows cut by an edge are weighted.
  std::vector<std::uint16_t> whole(n, 0);
  std::vector<std::uint32_t> weighted(n, 0), carried(n, 0);
  int wholeRows = 0;
  bool carry = false;
  const std::uint32_t wholeWeight = static_cast<std::uint32_t>(dh);
  const auto fold = [&] {
    for (std::size_t i = 0; i < n; ++i) weighted[i] += wholeWeight * whole[i];
    std::fill(whole.begin(), whole.end(), 0);
    wholeRows = 0;
  };
  const double scale = 1.0 / (static_cast<double>(pw) * ph);
  for (int r = 0; r < area.height(); ++r) {
    const int d = area.top() + r;
    const Cover cover = CoverOf(d, dh, ph);
    const qint64 lo = static_cast<qint64>(d) * ph, hi = lo + ph;
    if (carry) weighted.swap(carried);
    const bool lastRowOfArea = r + 1 == area.height();
    bool carryNext = false;
    for (int j = carry ? cover.first + 1 : cover.first; j <= cover.last; ++j) {
      const qint64 top = static_cast<qint64>(j) * dh, bottom = top + dh;
      const auto weight = static_cast<std::uint32_t>(std::min(bottom, hi) - std::max(top, lo));
      const std::uint8_t* src = rows.row(j);
      if (weight == wholeWeight) {
        for (std::size_t i = 0; i < n; ++i) whole[i] += src[i];
        if (++wholeRows == 257) fold();
        continue;
      }
      for (std::size_t i = 0; i < n; ++i) weighted[i] += weight * src[i];
      if (bottom > hi && !lastRowOfArea) {
        // The rest of this row lies under the next drawn row.
        const auto rest = static_cast<std::uint32_t>(bottom - hi);
        for (std::size_t i = 0; i < n; ++i) carried[i] = rest * src[i];
        carryNext = true;
      }
    }
    if (wholeRows > 0) fold();
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(at.y() + r)) + at.x();
    const std::uint32_t* sums = weighted.data();
    for (int i = 0; i < area.width(); ++i) {
      const Cover& c = columns[i];
      const std::uint32_t* first = sums + static_cast<std::size_t>(c.first - x0) * C;
      const std::uint32_t* last = sums + static_cast<std::size_t>(c.last - x0) * C;
      std::uint8_t channels[4] = {0, 0, 0, 0};
      for (int k = 0; k < C; ++k) {
        std::uint64_t between = 0;
        for (const std::uint32_t* p = first + C + k; p < last; p += C) between += *p;
        const std::uint64_t total = std::uint64_t{c.firstWeight} * first[k] +
                                    std::uint64_t{c.lastWeight} * last[k] +
                                    between * static_cast<std::uint64_t>(dw);
        channels[k] =
            static_cast<std::uint8_t>(std::min(255.0, static_cast<double>(total) * scale + 0.5));
      }
      line[i] = Colour<C>(channels);
    }
    std::fill(weighted.begin(), weighted.end(), 0u);
    carry = carryNext;
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
