// The damage scanners written once over the vector interface S of
// workspace/lanes.h. A level exceeds t when max(level, t) differs from t.
// Internal linkage, as for the band kernels.
#pragma once

#include <cstdint>

#include "restoration/damage_scan.h"

namespace morvane::danos {
namespace {

template <class S>
std::uint32_t Exceden32(const std::uint8_t* p, std::uint8_t t) {
  const typename S::V vt = S::splat(t);
  std::uint32_t calm = 0;
  for (int k = 0; k < 32; k += S::kWidth) calm |= S::equalMask(S::max(S::load(p + k), vt), vt) << k;
  return ~calm;
}

template <class S>
int Siguiente(const std::uint8_t* damage, int x0, int x1, std::uint8_t t) {
  constexpr std::uint32_t kAll = S::kWidth == 32 ? ~0u : (1u << S::kWidth) - 1;
  const typename S::V vt = S::splat(t);
  int x = x0;
  for (; x + S::kWidth <= x1; x += S::kWidth) {
    const std::uint32_t hit = ~S::equalMask(S::max(S::load(damage + x), vt), vt) & kAll;
    if (hit != 0) return x + __builtin_ctz(hit);
  }
  for (; x < x1; ++x) {
    if (damage[x] > t) return x;
  }
  return x1;
}

template <class S>
Escaner MakeEscaner() {
  return Escaner{&Exceden32<S>, &Siguiente<S>};
}

}  // namespace
}  // namespace morvane::danos
