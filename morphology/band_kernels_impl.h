// Band kernels written once over a small vector interface S:
//   S::V, S::kWidth, S::load(p), S::store(p, v), S::splat(level),
//   S::adds(a, b), S::subs(a, b) (saturating), S::max(a, b), S::min(a, b).
// Each including file provides S for one instruction set. Everything here has
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

    // Output column x (plane column x + c) takes window columns x .. x + n - 1.
    int x = 0;
    if (width >= 2 * S::kWidth) {
      // Two vectors at a time share the weight loads.
      for (; x + 2 * S::kWidth <= width; x += 2 * S::kWidth) {
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

// All-zero matrix: the n x n maximum (or minimum) is the n-tall column
// extreme followed by the n-wide row extreme. The row extreme is built by
// doubling spans (1, 2, 4, 8) and closing with two overlapping spans.
template <class S, class Op>
void FlatBand(const Band& band) {
  using V = typename S::V;
  const int n = band.n;
  const int c = n / 2;
  const int ancho = band.ancho;
  const int width = ancho - n + 1;
  std::uint8_t* a = band.scratch;
  std::uint8_t* b = band.scratch + ancho + 64;
  int span = 1;
  while (span * 2 <= n) span *= 2;

  for (int i = band.row0; i < band.row1; ++i) {
    const std::uint8_t* rows[kMaxSide];
    for (int r = 0; r < n; ++r) rows[r] = (*band.src)[i - c + r];

    Sweep<S>(
        ancho,
        [&](int x) {
          V m = S::load(rows[0] + x);
          for (int r = 1; r < n; ++r) m = Op::pick(m, S::load(rows[r] + x));
          S::store(a + x, m);
        },
        [&](int x) {
          std::uint8_t m = rows[0][x];
          for (int r = 1; r < n; ++r) m = Op::pick1(m, rows[r][x]);
          a[x] = m;
        });

    // a[x] holds the extreme of columns x .. x + s - 1, valid for x <= ancho - s.
    std::uint8_t* in = a;
    std::uint8_t* to = b;
    for (int s = 1; s < span; s *= 2) {
      const int len = ancho - 2 * s + 1;
      Sweep<S>(
          len, [&](int x) { S::store(to + x, Op::pick(S::load(in + x), S::load(in + x + s))); },
          [&](int x) { to[x] = Op::pick1(in[x], in[x + s]); });
      std::uint8_t* t = in;
      in = to;
      to = t;
    }
    std::uint8_t* out = (*band.dst)[i] + c;
    const int shift = n - span;
    Sweep<S>(
        width,
        [&](int x) { S::store(out + x, Op::pick(S::load(in + x), S::load(in + x + shift))); },
        [&](int x) { out[x] = Op::pick1(in[x], in[x + shift]); });
  }
}

template <class S>
Kernels MakeKernels() {
  return Kernels{&WeightedBand<S, DilateOp<S>>, &WeightedBand<S, ErodeOp<S>>,
                 &FlatBand<S, DilateOp<S>>, &FlatBand<S, ErodeOp<S>>};
}

}  // namespace
}  // namespace morvane::band
