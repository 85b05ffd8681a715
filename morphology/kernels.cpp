#include "morphology/kernels.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "morphology/band_kernels.h"
#include "workspace/parallel.h"

namespace morvane {

namespace {

// Planes with fewer interior pixels than this stay on the calling thread:
// starting threads would cost more than it saves.
constexpr long long kThreadedPixels = 256 * 1024;
// No band gets fewer rows than this.
constexpr int kMinBandRows = 16;

const band::Kernels& ChosenKernels() {
  switch (ChosenKernelPath()) {
#if defined(__x86_64__)
    case KernelPath::Sse2:
      return band::Sse2Kernels();
    case KernelPath::Avx2:
      return band::Avx2Kernels();
#endif
    default:
      return band::PortableKernels();
  }
}

int ThreadsFor(long long pixels, int rows) {
  if (pixels < kThreadedPixels) return 1;
  return std::max(1, std::min(HilosPorOperacion(), rows / kMinBandRows));
}

enum class Kind { kDilate, kErode };

// Whether every weight equals the one on the centre row at the same ring (the
// larger distance from the centre along a row or a column), as in a pyramid.
bool ConstantOnRings(const std::uint8_t* w, int n) {
  const int c = n / 2;
  for (int r = 0; r < n; ++r)
    for (int k = 0; k < n; ++k) {
      const int ring = std::max(std::abs(r - c), std::abs(k - c));
      if (w[r * n + k] != w[c * n + c + ring]) return false;
    }
  return true;
}

void Run(Kind kind, const Plane& src, const MatrizB& b, Plane& dst, int alto, int ancho) {
  const int n = b.n;
  if (n < 1 || n > band::kMaxSide || n % 2 == 0) return;
  if (b.weights.size() < static_cast<std::size_t>(n) * static_cast<std::size_t>(n)) return;
  const int c = n / 2;
  if (alto <= 2 * c || ancho <= 2 * c) return;  // no interior

  const bool flat = std::all_of(b.weights.begin(), b.weights.begin() + n * n,
                                [](std::uint8_t w) { return w == 0; });
  // A lone centre weight has no ring around it: the window scan takes it.
  const bool rings = !flat && n >= 3 && ConstantOnRings(b.weights.data(), n);
  const band::Kernels& kernels = ChosenKernels();
  const bool dilate = kind == Kind::kDilate;
  band::BandFn fn = dilate ? kernels.dilate : kernels.erode;
  if (flat) fn = dilate ? kernels.maxFilter : kernels.minFilter;
  if (rings) fn = dilate ? kernels.ringDilate : kernels.ringErode;

  const int rows = alto - 2 * c;
  const long long pixels = static_cast<long long>(rows) * (ancho - 2 * c);
  const int threads = ThreadsFor(pixels, rows);

  // All scratch is taken before any level is written, so a failure to get
  // memory leaves the destination as it was.
  const std::size_t scratchBytes = flat    ? band::FlatScratchBytes(ancho)
                                   : rings ? band::RingScratchBytes(ancho, n)
                                           : 0;
  std::unique_ptr<std::uint8_t[]> scratch(
      new std::uint8_t[scratchBytes * static_cast<std::size_t>(threads) + 1]);
  RecorrerBandas(c, alto - c, threads, [&](int row0, int row1, int t) {
    fn(band::Band{&src, &dst, b.weights.data(), n, ancho, row0, row1,
                  scratch.get() + scratchBytes * static_cast<std::size_t>(t)});
  });
}

}  // namespace

void Dilatar(const Plane& src, const MatrizB& b, Plane& dst, int alto, int ancho) {
  Run(Kind::kDilate, src, b, dst, alto, ancho);
}

void Erosionar(const Plane& src, const MatrizB& b, Plane& dst, int alto, int ancho) {
  Run(Kind::kErode, src, b, dst, alto, ancho);
}

}  // namespace morvane
