// The portable damage scanners, the SSE2 ones, and the choice between all.
#include "restoration/damage_scan_impl.h"
#include "workspace/lanes.h"
#include "workspace/simd.h"

namespace morvane::danos {

const Escaner& EscanerPortable() {
  static const Escaner escaner = MakeEscaner<lanes::Scalar>();
  return escaner;
}

#if defined(__x86_64__)
const Escaner& EscanerSse2() {
  static const Escaner escaner = MakeEscaner<lanes::Sse2>();
  return escaner;
}
#endif

const Escaner& EscanerElegido() {
  switch (ChosenKernelPath()) {
#if defined(__x86_64__)
    case KernelPath::Sse2:
      return EscanerSse2();
    case KernelPath::Avx2:
      return EscanerAvx2();
#endif
    default:
      return EscanerPortable();
  }
}

}  // namespace morvane::danos
