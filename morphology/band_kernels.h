// The row code behind Dilatar and Erosionar. A band is a run of interior
// destination rows; the dispatcher in kernels.cpp splits a plane into bands
// and picks one set of band kernels for the processor.
#pragma once

#include <cstddef>
#include <cstdint>

#include "workspace/plane.h"

namespace morvane::band {

// The largest matrix side the band kernels take.
inline constexpr int kMaxSide = 9;

struct Band {
  const Plane* src;
  Plane* dst;
  const std::uint8_t* weights;  // n x n, row-major
  int n;                        // odd, 1 .. kMaxSide
  int ancho;                    // columns of the plane; at least n
  int row0, row1;               // destination rows [row0, row1), all interior
  std::uint8_t* scratch;        // FlatScratchBytes or RingScratchBytes, for those kernels
};

// Scratch a flat kernel needs for one band: four rows.
inline std::size_t FlatScratchBytes(int ancho) {
  return 4 * (static_cast<std::size_t>(ancho) + 64);
}

// Scratch a ring kernel needs for one band: c segment rows for each of the n
// source rows under the window, and c column rows (c = n / 2).
inline std::size_t RingScratchBytes(int ancho, int n) {
  const std::size_t c = static_cast<std::size_t>(n / 2);
  return (static_cast<std::size_t>(n) * c + c) * (static_cast<std::size_t>(ancho) + 64);
}

using BandFn = void (*)(const Band&);

struct Kernels {
  BandFn dilate;      // any weights
  BandFn erode;       // any weights
  BandFn maxFilter;   // all weights 0: the n x n maximum, done separably
  BandFn minFilter;   // all weights 0: the n x n minimum
  BandFn ringDilate;  // weights constant on each ring around the centre
  BandFn ringErode;
};

const Kernels& PortableKernels();
#if defined(__x86_64__)
const Kernels& Sse2Kernels();
const Kernels& Avx2Kernels();
#endif

}  // namespace morvane::band
