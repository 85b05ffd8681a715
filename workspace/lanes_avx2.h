// The vector interface of lanes.h for AVX2: thirty-two levels at a time. Only
// files built for AVX2 include it.
#pragma once

#include <cstdint>

#if defined(__x86_64__) && defined(__AVX2__)
#include <immintrin.h>

namespace morvane::lanes {
namespace {

struct Avx2 {
  using V = __m256i;
  static constexpr int kWidth = 32;
  static V load(const std::uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const V*>(p)); }
  static void store(std::uint8_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<V*>(p), v); }
  static V splat(std::uint8_t level) { return _mm256_set1_epi8(static_cast<char>(level)); }
  static V adds(V a, V b) { return _mm256_adds_epu8(a, b); }
  static V subs(V a, V b) { return _mm256_subs_epu8(a, b); }
  static V max(V a, V b) { return _mm256_max_epu8(a, b); }
  static V min(V a, V b) { return _mm256_min_epu8(a, b); }
  static std::uint32_t equalMask(V a, V b) {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, b)));
  }
};

}  // namespace
}  // namespace morvane::lanes
#endif
