// The AVX2 damage scanners. This file alone is built for AVX2; they are
// chosen only when the processor reports AVX2.
#if defined(__x86_64__) && defined(__AVX2__)
#include "restoration/damage_scan_impl.h"
#include "workspace/lanes_avx2.h"

namespace morvane::danos {

const Escaner& EscanerAvx2() {
  static const Escaner escaner = MakeEscaner<lanes::Avx2>();
  return escaner;
}

}  // namespace morvane::danos

#elif defined(__x86_64__)
// Built without AVX2: the SSE2 scanners stand in.
#include "restoration/damage_scan.h"

namespace morvane::danos {
const Escaner& EscanerAvx2() {
  return EscanerSse2();
}
}  // namespace morvane::danos
#endif
