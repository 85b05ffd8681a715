// Dilatar and Erosionar against the plain window-scan version. Items are
// interior pixels, so items/s of the two can be compared directly even though
// the window scan runs on a smaller plane.
//
// Arguments: matrix side, kind (0 all zero, 1 pyramid of factor 10), threads.
//
// Each fast-kernel run also times one memcpy of the same plane (best of
// several, taken right before) and reports "copies": the best iteration of the
// kernel divided by that copy, so runs on a busy machine stay comparable. On
// one thread both are timed on the thread's own processor clock, which a
// machine shared with other work disturbs least; on more threads, on the wall
// clock. BM_Memcpy shows the copy itself.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

#include "morphology/kernels.h"
#include "tests/support/morphology_oracle.h"
#include "workspace/parallel.h"

namespace morvane {
namespace {

constexpr int kLarge = 4096;
constexpr int kSmall = 1024;

const Plane& RandomPlane(int side) {
  static Plane large, small;
  Plane& p = side == kLarge ? large : small;
  if (!p.exists()) {
    p = Plane(side, side);
    std::mt19937 rng(42);
    for (int i = 0; i < side; ++i)
      for (int j = 0; j < side; ++j) p[i][j] = static_cast<std::uint8_t>(rng());
  }
  return p;
}

MatrizB Matrix(int n, int kind) {
  MatrizB b;
  b.n = n;
  b.weights.resize(static_cast<std::size_t>(n) * n);
  const int c = n / 2;
  for (int r = 0; r < n; ++r)
    for (int k = 0; k < n; ++k)
      b.at(r, k) = kind == 0
                       ? 0
                       : static_cast<std::uint8_t>(std::max(std::abs(r - c), std::abs(k - c)) * 10);
  return b;
}

// Seconds on the wall clock, or on this thread's processor clock.
double Now(bool threadClock) {
  if (!threadClock)
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

void CopyPlane(const Plane& src, Plane& dst, int side) {
  std::memcpy(dst[0], src[0], static_cast<std::size_t>(src.stride()) * side);
  benchmark::DoNotOptimize(dst[side / 2][side / 2]);
  benchmark::ClobberMemory();
}

// Seconds of the fastest of a few copies of src into dst.
double BestCopy(const Plane& src, Plane& dst, int side, bool threadClock) {
  double best = 1e30;
  for (int t = 0; t < 7; ++t) {
    const double start = Now(threadClock);
    CopyPlane(src, dst, side);
    best = std::min(best, Now(threadClock) - start);
  }
  return best;
}

void BM_Memcpy(benchmark::State& state) {
  const Plane& src = RandomPlane(kLarge);
  Plane dst(kLarge, kLarge);
  for (auto _ : state) CopyPlane(src, dst, kLarge);
  state.SetBytesProcessed(state.iterations() * src.stride() * kLarge);
}

using Kernel = void (*)(const Plane&, const MatrizB&, Plane&, int, int);

void Run(benchmark::State& state, Kernel kernel, int side, int threads) {
  const int n = static_cast<int>(state.range(0));
  const MatrizB b = Matrix(n, static_cast<int>(state.range(1)));
  const Plane& src = RandomPlane(side);
  Plane dst(side, side);
  const bool threadClock = threads == 1;
  const double copy = BestCopy(src, dst, side, threadClock);
  FijarHilosPorOperacion(threads);
  double best = 1e30;
  for (auto _ : state) {
    const double start = Now(threadClock);
    kernel(src, b, dst, side, side);
    benchmark::DoNotOptimize(dst[side / 2][side / 2]);
    benchmark::ClobberMemory();
    best = std::min(best, Now(threadClock) - start);
  }
  FijarHilosPorOperacion(0);
  state.counters["copies"] = best / copy;
  const std::int64_t interior = static_cast<std::int64_t>(side - n + 1) * (side - n + 1);
  state.SetItemsProcessed(state.iterations() * interior);
}

void BM_Dilatar(benchmark::State& state) {
  Run(state, &Dilatar, kLarge, static_cast<int>(state.range(2)));
}
void BM_Erosionar(benchmark::State& state) {
  Run(state, &Erosionar, kLarge, static_cast<int>(state.range(2)));
}
void BM_DilatarVentana(benchmark::State& state) {
  Run(state, &oracle::DilatarLiteral, kSmall, 1);
}
void BM_ErosionarVentana(benchmark::State& state) {
  Run(state, &oracle::ErosionarLiteral, kSmall, 1);
}

void FastArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"n", "pyramid", "threads"});
  for (int n : {3, 9})
    for (int kind : {0, 1})
      for (int threads : {1, 2}) b->Args({n, kind, threads});
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

void OracleArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"n", "pyramid"});
  for (int n : {3, 9})
    for (int kind : {0, 1}) b->Args({n, kind});
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Dilatar)->Apply(FastArgs);
BENCHMARK(BM_Erosionar)->Apply(FastArgs);
BENCHMARK(BM_DilatarVentana)->Apply(OracleArgs);
BENCHMARK(BM_ErosionarVentana)->Apply(OracleArgs);

}  // namespace
}  // namespace morvane

BENCHMARK_MAIN();
