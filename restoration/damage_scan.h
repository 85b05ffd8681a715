// The damage scanners: where the levels of a damage-plane row exceed the
// threshold. Most pixels of a picture are undamaged, so the scanners look at
// many levels at a time. One set per instruction set, chosen with the
// morphology kernels (workspace/simd.h).
#pragma once

#include <cstdint>

namespace morvane::danos {

struct Escaner {
  // Bit i set when level p[i] of the thirty-two at p exceeds t.
  std::uint32_t (*exceden32)(const std::uint8_t* p, std::uint8_t t);
  // First column x in [x0, x1) whose level exceeds t, or x1 if none.
  int (*siguiente)(const std::uint8_t* damage, int x0, int x1, std::uint8_t t);
};

const Escaner& EscanerPortable();
#if defined(__x86_64__)
const Escaner& EscanerSse2();
const Escaner& EscanerAvx2();
#endif
// The set of the path in force.
const Escaner& EscanerElegido();

}  // namespace morvane::danos
