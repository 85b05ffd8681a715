// Band kernels written once over the small vector interface S of
// workspace/lanes.h:
//   S::V, S::kWidth, S::load(p), S::store(p, v), S::splat(level),
//   S::adds(a, b), S::subs(a, b) (saturating), S::max(a, b), S::min(a, b).
// Each including file instantiates them for one instruction set. Everything here has
// internal linkage, so code built for a wider instruction set never stands in
// for the portable one at link time. Nothing from the standard library is
// used inside the kernels for the same reason.
#pragma once

#include <cstdint>

#include "morphology/band_kernels.h"

namespace morvane::band {
namespace {

// Dilation: saturating add of the weight, then the maximum. Since levels and
// weights are 0..255, the saturating sum is exactly min(255, level + weight),
// and the maximum of clamped sums is the clamped maximum.
template <class S>
struct DilateOp {
  using V = typename S::V;
  static V apply(V level, V weight) { return S::adds(level, weight); }
  static V pick(V a, V b) { return S::max(a, b); }
  static V start() { return S::splat(0); }
  static std::uint8_t apply1(std::uint8_t level, std::uint8_t weight) {
    const int s = level + weight;
    return static_cast<std::uint8_t>(s > 255 ? 255 : s);
  }
  static std::uint8_t pick1(std::uint8_t a, std::uint8_t b) { return a > b ? a : b; }
  static constexpr std::uint8_t kStart = 0;
};

// Erosion: saturating subtraction, max(0, level - weight), then the minimum.
template <class S>
struct ErodeOp {
  using V = typename S::V;
  static V apply(V level, V weight) { return S::subs(level, weight); }
  static V pick(V a, V b) { return S::min(a, b); }
  static V start() { return S::splat(255); }
  static std::uint8_t apply1(std::uint8_t level, std::uint8_t weight) {
    const int s = level - weight;
    return static_cast<std::uint8_t>(s < 0 ? 0 : s);
  }
  static std::uint8_t pick1(std::uint8_t a, std::uint8_t b) { return a < b ? a : b; }
  static constexpr std::uint8_t kStart = 255;
};

// Runs vec(x) over [0, len) in steps of one vector. The last vector is moved
// back to end exactly at len (it overlaps the one before, which is harmless
// because no pass reads what it writes). Runs one(x) per element when len is
// shorter than a vector.
template <class S, class Vec, class One>
inline void Sweep(int len, Vec vec, One one) {
  if (len < S::kWidth) {
    for (int x = 0; x < len; ++x) one(x);
    return;
  }
  int x = 0;
  for (; x + S::kWidth <= len; x += S::kWidth) vec(x);
  if (x < len) vec(len - S::kWidth);
}

template <class S, class Op>
void WeightedBand(const Band& band) {
  using V = typename S::V;
  const int n = band.n;
  const int c = n / 2;
  const int width = band.ancho - n + 1;  // interior columns
  V w[kMaxSide * kMaxSide];
  for (int t = 0; t < n * n; ++t) w[t] = S::splat(band.weights[t]);

  for (int i = band.row0; i < band.row1; ++i) {
    const std::uint8_t* rows[kMaxSide];
    for (int r = 0; r < n; ++r) rows[r] = (*band.src)[i - c + r];
    std::uint8_t* out = (*band.dst)[i] + c;
    // The row after the window, fetched ahead (it starts a new page).
    const std::uint8_t* next = (*band.src)[i + c + 1 < band.src->rows() ? i + c + 1 : i + c];

    // Output column x (plane column x + c) takes window columns x .. x + n - 1.
    int x = 0;
    if (width >= 2 * S::kWidth) {
      // Two vectors at a time share the weight loads.
      for (; x + 2 * S::kWidth <= width; x += 2 * S::kWidth) {
        if constexpr (S::kWidth > 1) __builtin_prefetch(next + x);
        V a0 = Op::start();
        V a1 = Op::start();
        for (int r = 0; r < n; ++r) {
          const std::uint8_t* p = rows[r] + x;
          const V* wr = w + r * n;
          for (int k = 0; k < n; ++k) {
            a0 = Op::pick(a0, Op::apply(S::load(p + k), wr[k]));
            a1 = Op::pick(a1, Op::apply(S::load(p + k + S::kWidth), wr[k]));
          }
        }
        S::store(out + x, a0);
        S::store(out + x + S::kWidth, a1);
      }
    }
    auto vec = [&](int x0) {
      V a = Op::start();
      for (int r = 0; r < n; ++r) {
        const std::uint8_t* p = rows[r] + x0;
        const V* wr = w + r * n;
        for (int k = 0; k < n; ++k) a = Op::pick(a, Op::apply(S::load(p + k), wr[k]));
      }
      S::store(out + x0, a);
    };
    for (; x + S::kWidth <= width; x += S::kWidth) vec(x);
    if (x < width) {
      if (width >= S::kWidth) {
        vec(width - S::kWidth);  // one vector ending at the last column
      } else {
        for (; x < width; ++x) {
          std::uint8_t a = Op::kStart;
          for (int r = 0; r < n; ++r)
            for (int k = 0; k < n; ++k)
              a = Op::pick1(a, Op::apply1(rows[r][x + k], band.weights[r * n + k]));
          out[x] = a;
        }
      }
    }
  }
}

// One pass's view of the lanes: whole vectors of S, or one level at a time for
// rows shorter than a vector. Both have load, store, splat, pick (the extreme
// of two) and apply (a level and a weight).
template <class S, class Op>
struct Lanes {
  using V = typename S::V;
  static V load(const std::uint8_t* p) { return S::load(p); }
  static void store(std::uint8_t* p, V v) { S::store(p, v); }
  static V splat(std::uint8_t level) { return S::splat(level); }
  static V pick(V a, V b) { return Op::pick(a, b); }
  static V apply(V level, V weight) { return Op::apply(level, weight); }
  static void touch(const std::uint8_t* p) {
    if constexpr (S::kWidth > 1) __builtin_prefetch(p);
  }
};

template <class Op>
struct OneLane {
  using V = std::uint8_t;
  static V load(const std::uint8_t* p) { return *p; }
  static void store(std::uint8_t* p, V v) { *p = v; }
  static V splat(std::uint8_t level) { return level; }
  static V pick(V a, V b) { return Op::pick1(a, b); }
  static V apply(V level, V weight) { return Op::apply1(level, weight); }
  static void touch(const std::uint8_t*) {}
};

// A source row the band reads soon, for touch(): a row starts a new page, where
// the processor's own look-ahead stops. Rows past the plane give its last row.
inline const std::uint8_t* Ahead(const Band& band, int row) {
  const int last = band.src->rows() - 1;
  return (*band.src)[row < last ? row : last];
}

// Sweep with a body written once for both views: body(lanes, x), where the
// type of lanes is Lanes<S, Op> or OneLane<Op>.
template <class S, class Op, class Body>
inline void Each(int len, Body body) {
  Sweep<S>(
      len, [&](int x) { body(Lanes<S, Op>{}, x); }, [&](int x) { body(OneLane<Op>{}, x); });
}

// Row extreme of width n from a column-extreme row `in` (valid on [0, ancho)),
// written to out[0, ancho - n + 1); `to` is scratch. Nine columns are three
// spans of three; other widths are built by doubling spans (1, 2, 4) and
// closing with two overlapping spans.
template <class S, class Op, int n>
void RowExtreme(int ancho, std::uint8_t* in, std::uint8_t* to, std::uint8_t* out) {
  if constexpr (n == 9) {
    Each<S, Op>(ancho - 2, [&](auto k, int x) {
      using K = decltype(k);
      K::store(to + x, K::pick(K::pick(K::load(in + x), K::load(in + x + 1)), K::load(in + x + 2)));
    });
    Each<S, Op>(ancho - 8, [&](auto k, int x) {
      using K = decltype(k);
      K::store(out + x,
               K::pick(K::pick(K::load(to + x), K::load(to + x + 3)), K::load(to + x + 6)));
    });
  } else {
    int span = 1;
    while (span * 2 <= n) span *= 2;
    // in[x] holds the extreme of columns x .. x + s - 1, valid for x <= ancho - s.
    for (int s = 1; s < span; s *= 2) {
      Each<S, Op>(ancho - 2 * s + 1, [&](auto k, int x) {
        using K = decltype(k);
        K::store(to + x, K::pick(K::load(in + x), K::load(in + x + s)));
      });
      std::uint8_t* t = in;
      in = to;
      to = t;
    }
    const int shift = n - span;
    Each<S, Op>(ancho - n + 1, [&](auto k, int x) {
      using K = decltype(k);
      K::store(out + x, K::pick(K::load(in + x), K::load(in + x + shift)));
    });
  }
}

// All-zero matrix: the n x n maximum (or minimum) is the n-tall column
// extreme followed by the n-wide row extreme. Two destination rows at a time
// share the n - 1 source rows their windows have in common.
template <class S, class Op, int n>
void FlatBandOf(const Band& band) {
  const int c = n / 2;
  const int ancho = band.ancho;
  const std::ptrdiff_t pitch = ancho + 64;
  std::uint8_t* a0 = band.scratch;
  std::uint8_t* a1 = a0 + pitch;
  std::uint8_t* b0 = a1 + pitch;
  std::uint8_t* b1 = b0 + pitch;

  int i = band.row0;
  for (; n >= 5 && i + 1 < band.row1; i += 2) {
    const std::uint8_t* rows[kMaxSide + 1];
    for (int r = 0; r <= n; ++r) rows[r] = (*band.src)[i - c + r];
    const std::uint8_t* next0 = Ahead(band, i - c + n + 1);
    const std::uint8_t* next1 = Ahead(band, i - c + n + 2);
    Each<S, Op>(ancho, [&](auto k, int x) {
      using K = decltype(k);
      K::touch(next0 + x);
      K::touch(next1 + x);
      auto m = K::load(rows[1] + x);
      for (int r = 2; r < n; ++r) m = K::pick(m, K::load(rows[r] + x));
      K::store(a0 + x, K::pick(m, K::load(rows[0] + x)));
      K::store(a1 + x, K::pick(m, K::load(rows[n] + x)));
    });
    RowExtreme<S, Op, n>(ancho, a0, b0, (*band.dst)[i] + c);
    RowExtreme<S, Op, n>(ancho, a1, b1, (*band.dst)[i + 1] + c);
  }
  for (; i < band.row1; ++i) {
    const std::uint8_t* rows[kMaxSide];
    for (int r = 0; r < n; ++r) rows[r] = (*band.src)[i - c + r];
    const std::uint8_t* next = Ahead(band, i - c + n);
    Each<S, Op>(ancho, [&](auto k, int x) {
      using K = decltype(k);
      K::touch(next + x);
      auto m = K::load(rows[0] + x);
      for (int r = 1; r < n; ++r) m = K::pick(m, K::load(rows[r] + x));
      K::store(a0 + x, m);
    });
    RowExtreme<S, Op, n>(ancho, a0, b0, (*band.dst)[i] + c);
  }
}

// A matrix whose weight depends only on the ring of the cell (its larger
// distance from the centre along a row or a column), as the pyramid: the
// extreme over ring r of (level, weight) is apply(extreme of the ring's
// levels, weight of ring r), since adding or subtracting one weight, clamp
// included, keeps the order of levels. Ring r is its two rows (r above and r
// below the centre, 2r + 1 wide) and its two columns (r left and right,
// 2r + 1 tall), each the extreme of a segment:
//   g[y][r][x] = extreme of row y over columns x .. x + 2r, built once per
//                source row by doubling r,
//   v[r][x]    = extreme of column x over rows i - r .. i + r, per destination
//                row i.
// g keeps the last n source rows in n slots; scratch is RingScratchBytes.
template <class S, class Op, int n>
void RingBandOf(const Band& band) {
  const int c = n / 2;
  const int ancho = band.ancho;
  const int width = ancho - n + 1;
  const std::ptrdiff_t pitch = ancho + 64;
  std::uint8_t w[kMaxSide / 2 + 1];
  for (int r = 0; r <= c; ++r) w[r] = band.weights[c * n + c + r];
  std::uint8_t* const v = band.scratch + static_cast<std::ptrdiff_t>(n) * c * pitch;
  auto g = [&](int y, int r) { return band.scratch + ((y % n) * c + r - 1) * pitch; };
  auto spread = [&](int y) {
    const std::uint8_t* f = (*band.src)[y];
    const std::uint8_t* next = Ahead(band, y + 1);
    std::uint8_t* g1 = g(y, 1);
    Each<S, Op>(ancho - 2, [&](auto k, int x) {
      using K = decltype(k);
      K::touch(next + x);
      K::store(g1 + x, K::pick(K::pick(K::load(f + x), K::load(f + x + 1)), K::load(f + x + 2)));
    });
    for (int r = 2; r <= c; ++r) {
      const std::uint8_t* in = g(y, r - 1);
      std::uint8_t* to = g(y, r);
      Each<S, Op>(ancho - 2 * r, [&](auto k, int x) {
        using K = decltype(k);
        K::store(to + x, K::pick(K::load(in + x), K::load(in + x + 2)));
      });
    }
  };

  for (int y = band.row0 - c; y < band.row0 + c; ++y) spread(y);
  for (int i = band.row0; i < band.row1; ++i) {
    spread(i + c);
    const std::uint8_t* rows[kMaxSide];
    for (int r = 0; r < n; ++r) rows[r] = (*band.src)[i - c + r];
    for (int r = 1; r <= c; ++r) {
      const std::uint8_t* in = r == 1 ? rows[c] : v + (r - 2) * pitch;
      const std::uint8_t* up = rows[c - r];
      const std::uint8_t* down = rows[c + r];
      std::uint8_t* to = v + (r - 1) * pitch;
      Each<S, Op>(ancho, [&](auto k, int x) {
        using K = decltype(k);
        K::store(to + x, K::pick(K::pick(K::load(in + x), K::load(up + x)), K::load(down + x)));
      });
    }
    // Segments of ring r for output column x (plane column x + c) start at
    // plane column x + c - r; its columns are plane columns x + c - r and x + c + r.
    const std::uint8_t* tops[kMaxSide / 2 + 1];
    const std::uint8_t* bottoms[kMaxSide / 2 + 1];
    const std::uint8_t* lefts[kMaxSide / 2 + 1];
    for (int r = 1; r <= c; ++r) {
      tops[r] = g(i - r, r) + c - r;
      bottoms[r] = g(i + r, r) + c - r;
      lefts[r] = v + (r - 1) * pitch + c - r;
    }
    const std::uint8_t* centre = rows[c] + c;
    std::uint8_t* out = (*band.dst)[i] + c;
    Each<S, Op>(width, [&](auto k, int x) {
      using K = decltype(k);
      auto acc = K::apply(K::load(centre + x), K::splat(w[0]));
      for (int r = 1; r <= c; ++r) {
        const auto m = K::pick(K::pick(K::load(tops[r] + x), K::load(bottoms[r] + x)),
                               K::pick(K::load(lefts[r] + x), K::load(lefts[r] + x + 2 * r)));
        acc = K::pick(acc, K::apply(m, K::splat(w[r])));
      }
      K::store(out + x, acc);
    });
  }
}

// The side fixed at compile time, so that the loops over rows and rings
// unroll.
template <class S, class Op>
void FlatBand(const Band& band) {
  switch (band.n) {
    case 1:
      return FlatBandOf<S, Op, 1>(band);
    case 3:
      return FlatBandOf<S, Op, 3>(band);
    case 5:
      return FlatBandOf<S, Op, 5>(band);
    case 7:
      return FlatBandOf<S, Op, 7>(band);
    default:
      return FlatBandOf<S, Op, 9>(band);
  }
}

// Sides 3 to 9.
template <class S, class Op>
void RingBand(const Band& band) {
  switch (band.n) {
    case 3:
      return RingBandOf<S, Op, 3>(band);
    case 5:
      return RingBandOf<S, Op, 5>(band);
    case 7:
      return RingBandOf<S, Op, 7>(band);
    default:
      return RingBandOf<S, Op, 9>(band);
  }
}

template <class S>
Kernels MakeKernels() {
  return Kernels{&WeightedBand<S, DilateOp<S>>, &WeightedBand<S, ErodeOp<S>>,
                 &FlatBand<S, DilateOp<S>>,     &FlatBand<S, ErodeOp<S>>,
                 &RingBand<S, DilateOp<S>>,     &RingBand<S, ErodeOp<S>>};
}

}  // namespace
}  // namespace morvane::band
