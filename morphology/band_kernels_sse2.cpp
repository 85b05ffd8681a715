// The portable band kernels (one level at a time) and, on x86-64, the SSE2
// ones, which every x86-64 processor has.
#include "morphology/band_kernels_impl.h"
#include "workspace/lanes.h"

namespace morvane::band {

const Kernels& PortableKernels() {
  static const Kernels kernels = MakeKernels<lanes::Scalar>();
  return kernels;
}

#if defined(__x86_64__)
const Kernels& Sse2Kernels() {
  static const Kernels kernels = MakeKernels<lanes::Sse2>();
  return kernels;
}
#endif

}  // namespace morvane::band
