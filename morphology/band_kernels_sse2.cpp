// The portable band kernels (one level at a time) and, on x86-64, the SSE2
// ones, which every x86-64 processor has.
#include <cstdint>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "morphology/band_kernels_impl.h"

namespace morvane::band {

namespace {

struct Scalar {
  using V = std::uint8_t;
  static constexpr int kWidth = 1;
  static V load(const std::uint8_t* p) { return *p; }
  static void store(std::uint8_t* p, V v) { *p = v; }
  static V splat(std::uint8_t level) { return level; }
  static V adds(V a, V b) { return DilateOp<Scalar>::apply1(a, b); }
  static V subs(V a, V b) { return ErodeOp<Scalar>::apply1(a, b); }
  static V max(V a, V b) { return a > b ? a : b; }
  static V min(V a, V b) { return a < b ? a : b; }
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
};
#endif

}  // namespace

const Kernels& PortableKernels() {
  static const Kernels kernels = MakeKernels<Scalar>();
  return kernels;
}

#if defined(__x86_64__)
const Kernels& Sse2Kernels() {
  static const Kernels kernels = MakeKernels<Sse2>();
  return kernels;
}
#endif

}  // namespace morvane::band
