// The AVX2 band kernels. This file alone is built for AVX2; the dispatcher
// calls into it only when the processor reports AVX2.
#if defined(__x86_64__) && defined(__AVX2__)
#include "morphology/band_kernels_impl.h"
#include "workspace/lanes_avx2.h"

namespace morvane::band {

const Kernels& Avx2Kernels() {
  static const Kernels kernels = MakeKernels<lanes::Avx2>();
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
