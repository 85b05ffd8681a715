#include "morphology/kernels.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "morphology/band_kernels.h"
#include "workspace/threads.h"

namespace morvane {

namespace {

// Planes with fewer interior pixels than this stay on the calling thread:
// starting threads would cost more than it saves.
constexpr long long kThreadedPixels = 256 * 1024;
// No band gets fewer rows than this.
constexpr int kMinBandRows = 16;

std::atomic<int> gThreads{0};
std::atomic<int> gPath{static_cast<int>(KernelPath::Automatic)};

bool HasAvx2() {
#if defined(__x86_64__)
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
#else
  return false;
#endif
}

const band::Kernels& ChosenKernels() {
  switch (static_cast<KernelPath>(gPath.load(std::memory_order_relaxed))) {
    case KernelPath::Portable:
      return band::PortableKernels();
#if defined(__x86_64__)
    case KernelPath::Sse2:
      return band::Sse2Kernels();
    case KernelPath::Avx2:
      return band::Avx2Kernels();
    case KernelPath::Automatic:
      return HasAvx2() ? band::Avx2Kernels() : band::Sse2Kernels();
#endif
    default:
      return band::PortableKernels();
  }
}

int ThreadsFor(long long pixels, int rows) {
  if (pixels < kThreadedPixels) return 1;
  int threads = gThreads.load(std::memory_order_relaxed);
  if (threads <= 0) threads = HilosPorOperacion();
  threads = std::max(1, std::min(threads, rows / kMinBandRows));
  return threads;
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
  std::vector<band::Band> bands;
  bands.reserve(static_cast<std::size_t>(threads));
  for (int t = 0; t < threads; ++t) {
    const int row0 = c + static_cast<int>(static_cast<long long>(rows) * t / threads);
    const int row1 = c + static_cast<int>(static_cast<long long>(rows) * (t + 1) / threads);
    bands.push_back(band::Band{&src, &dst, b.weights.data(), n, ancho, row0, row1,
                               scratch.get() + scratchBytes * static_cast<std::size_t>(t)});
  }

  std::vector<std::jthread> workers;
  workers.reserve(bands.size());
  std::size_t next = 1;
  try {
    for (; next < bands.size(); ++next) workers.emplace_back(fn, bands[next]);
  } catch (const std::system_error&) {
    // No more threads to be had: the bands left run here.
  }
  fn(bands[0]);
  for (std::size_t t = next; t < bands.size(); ++t) fn(bands[t]);
}  // the workers join here

}  // namespace

void Dilatar(const Plane& src, const MatrizB& b, Plane& dst, int alto, int ancho) {
  Run(Kind::kDilate, src, b, dst, alto, ancho);
}

void Erosionar(const Plane& src, const MatrizB& b, Plane& dst, int alto, int ancho) {
  Run(Kind::kErode, src, b, dst, alto, ancho);
}

void SetKernelThreads(int n) {
  gThreads.store(n < 0 ? 0 : n, std::memory_order_relaxed);
}

bool KernelPathAvailable(KernelPath path) {
  switch (path) {
    case KernelPath::Automatic:
    case KernelPath::Portable:
      return true;
    case KernelPath::Sse2:
#if defined(__x86_64__)
      return true;
#else
      return false;
#endif
    case KernelPath::Avx2:
      return HasAvx2();
  }
  return false;
}

bool SetKernelPath(KernelPath path) {
  if (!KernelPathAvailable(path)) return false;
  gPath.store(static_cast<int>(path), std::memory_order_relaxed);
  return true;
}

}  // namespace morvane
