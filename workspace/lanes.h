// The small vector interface every vector kernel of the program is written
// over, one struct per instruction set:
//   V, kWidth, load(p), store(p, v), splat(level), adds(a, b), subs(a, b)
//   (saturating), max(a, b), min(a, b), equalMask(a, b) (bit i set when lane i
//   of a equals lane i of b).
// Scalar does one level at a time; Sse2 sixteen, which every x86-64 processor
// has. The AVX2 one is in lanes_avx2.h, for the files built for AVX2.
// Everything has internal linkage, so code built for a wider instruction set
// never stands in for a narrower one at link time.
#pragma once

#include <cstdint>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace morvane::lanes {
namespace {

struct Scalar {
  using V = std::uint8_t;
  static constexpr int kWidth = 1;
  static V load(const std::uint8_t* p) { return *p; }
  static void store(std::uint8_t* p, V v) { *p = v; }
  static V splat(std::uint8_t level) { return level; }
  static V adds(V a, V b) {
    const int s = a + b;
    return static_cast<V>(s > 255 ? 255 : s);
  }
  static V subs(V a, V b) {
    const int s = a - b;
    return static_cast<V>(s < 0 ? 0 : s);
  }
  static V max(V a, V b) { return a > b ? a : b; }
  static V min(V a, V b) { return a < b ? a : b; }
  static std::uint32_t equalMask(V a, V b) { return a == b ? 1u : 0u; }
};

#if defined(__x86_64__)
struct Sse2 {
  using V = __m128i;
  static constexpr int kWidth = 16;
  static V load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const V*>(p)); }
  static void store(std::uint8_t* p, V v) { _mm_storeu_si128(reinterpret_cast<V*>(p), v); }
  static V splat(std::uint8_t level) { return _mm_set1_epi8(static_cast<char>(level)); }
  static V adds(V a, V b) { return _mm_adds_epu8(a, b); }
  static V subs(V a, V b) { return _mm_subs_epu8(a, b); }
  static V max(V a, V b) { return _mm_max_epu8(a, b); }
  static V min(V a, V b) { return _mm_min_epu8(a, b); }
  static std::uint32_t equalMask(V a, V b) {
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)));
  }
};
#endif

}  // namespace
}  // namespace morvane::lanes
