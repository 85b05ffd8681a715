// The AVX2 band kernels. This file alone is built for AVX2; the dispatcher
// calls into it only when the processor reports AVX2.
#include <cstdint>

#if defined(__x86_64__) && defined(__AVX2__)
#include <immintrin.h>

#include "morphology/band_kernels_impl.h"

namespace morvane::band {

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
};

}  // namespace

const Kernels& Avx2Kernels() {
  static const Kernels kernels = MakeKernels<Avx2>();
  return kernels;
}

}  // namespace morvane::band

#elif defined(__x86_64__)
// Built without AVX2: the SSE2 kernels stand in.
#include "morphology/band_kernels.h"

namespace morvane::band {
const Kernels& Avx2Kernels() {
  return Sse2Kernels();
}
}  // namespace morvane::band
#endif
