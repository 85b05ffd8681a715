// Dilatar and Erosionar: the worked results, and agreement with the plain
// window scan on every row code, thread count and plane shape.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "morphology/kernels.h"
#include "tests/support/morphology_fakes.h"
#include "tests/support/morphology_oracle.h"

namespace morvane {
namespace {

using testing::Niveles;
using Levels = std::vector<std::vector<int>>;
constexpr int m = 77;  // marks the border band, which no kernel may write

MatrizB Piramide(int n, int factor, std::uint8_t base = 0) {
  MatrizB b{n, std::vector<std::uint8_t>(static_cast<std::size_t>(n) * n, base)};
  for (int r = 0; r < n; ++r)
    for (int k = 0; k < n; ++k)
      b.at(r, k) +=
          static_cast<std::uint8_t>(std::max(std::abs(r - n / 2), std::abs(k - n / 2)) * factor);
  return b;
}

Plane Plano(int alto, int ancho, int level) {
  Plane p(alto, ancho);
  p.fill(static_cast<std::uint8_t>(level));
  return p;
}

// A 5 x 5 result: the marked band, the ring around the centre, the centre.
Levels Marco(int ring, int centre) {
  Levels out(5, std::vector<int>(5, m));
  for (int i = 1; i < 4; ++i) std::fill(out[i].begin() + 1, out[i].end() - 1, ring);
  out[2][2] = centre;
  return out;
}

TEST(Kernels, WorkedExamplesAndOrientation) {
  Plane src = Plano(5, 5, 100), dst = Plano(5, 5, m);
  src[2][2] = 250;
  Dilatar(src, Piramide(3, 10), dst, 5, 5);
  EXPECT_EQ(Niveles(dst, 5, 5), Marco(255, 250));
  for (auto [centre, ring] : {std::pair{30, 20}, std::pair{5, 0}}) {
    src[2][2] = static_cast<std::uint8_t>(centre);
    Erosionar(src, Piramide(3, 10), dst, 5, 5);
    EXPECT_EQ(Niveles(dst, 5, 5), Marco(ring, centre));
  }
  // B[0][2] weighs the neighbour one row above and one column right.
  MatrizB b = Piramide(3, 0);
  b.at(0, 2) = 50;
  Plane spot = Plano(5, 5, 0);
  spot[2][2] = 100;
  Dilatar(spot, b, dst, 5, 5);
  EXPECT_EQ(Niveles(dst, 5, 5)[3], (std::vector<int>{m, 150, 100, 100, m}));
  spot.fill(200);
  spot[2][2] = 100;
  Erosionar(spot, b, dst, 5, 5);
  EXPECT_EQ(Niveles(dst, 5, 5)[3], (std::vector<int>{m, 50, 100, 100, m}));
}

// Zero (the separable code), pyramids, all 255, a lone 255, random weights.
std::vector<MatrizB> Matrices(int n, std::mt19937& rng) {
  std::vector<MatrizB> out{Piramide(n, 0),      Piramide(n, 10), Piramide(n, -1),
                           Piramide(n, 0, 255), Piramide(n, 0),  Piramide(n, 0)};
  out[4].at(0, n - 1) = 255;
  for (auto& w : out[5].weights) w = static_cast<std::uint8_t>(rng() % 6 ? rng() % 16 : rng());
  return out;
}

// Noise; flat with rare impulses; levels near 0 and 255; a ramp with a little
// noise, where small weights decide the result.
Plane Aleatorio(int alto, int ancho, unsigned style, std::mt19937& rng) {
  Plane p(alto, ancho);
  for (int i = 0; i < alto; ++i)
    for (int j = 0; j < ancho; ++j)
      p[i][j] = static_cast<std::uint8_t>(style == 0   ? rng()
                                          : style == 1 ? (rng() % 300 ? 128 : rng() % 2 * 255)
                                          : style == 2 ? (rng() % 2 ? 250 + rng() % 6 : rng() % 6)
                                                       : (i * 3 + j * 5) % 200 + rng() % 8 + 20);
  return p;
}

void ExpectAsWindowScan(const Plane& src, const MatrizB& b, int alto, int ancho,
                        const std::string& what) {
  for (bool dilate : {true, false}) {
    Plane want = Plano(alto, ancho, m), got = Plano(alto, ancho, m);
    (dilate ? oracle::DilatarLiteral : oracle::ErosionarLiteral)(src, b, want, alto, ancho);
    (dilate ? Dilatar : Erosionar)(src, b, got, alto, ancho);
    ASSERT_EQ(Niveles(got, alto, ancho), Niveles(want, alto, ancho))
        << (dilate ? "dilation " : "erosion ") << what << " n " << b.n;
  }
}

TEST(Kernels, AgreeWithTheWindowScanOnEveryPathShapeAndThreadCount) {
  const std::pair<int, int> sizes[] = {{1, 1},  {2, 9},  {9, 2},  {3, 3},   {5, 5},   {9, 9},
                                       {8, 40}, {40, 8}, {9, 41}, {31, 64}, {24, 71}, {13, 300}};
  for (KernelPath path : {KernelPath::Portable, KernelPath::Sse2, KernelPath::Avx2}) {
    if (!SetKernelPath(path)) continue;
    std::mt19937 rng(1234);
    for (auto [alto, ancho] : sizes)
      for (unsigned style = 0; style < 4; ++style) {
        const Plane src = Aleatorio(alto, ancho, style, rng);
        const std::string what = "path " + std::to_string(int(path)) + " style " +
                                 std::to_string(style) + " " + std::to_string(alto) + "x" +
                                 std::to_string(ancho);
        for (int n : {3, 5, 7, 9})
          for (const MatrizB& b : Matrices(n, rng))
            ASSERT_NO_FATAL_FAILURE(ExpectAsWindowScan(src, b, alto, ancho, what));
      }
  }
  SetKernelPath(KernelPath::Automatic);
  std::mt19937 rng(99);
  const Plane src = Aleatorio(613, 517, 3, rng);  // large enough to split into uneven bands
  for (int threads : {3, 8}) {
    SetKernelThreads(threads);
    for (const MatrizB& b : {Piramide(9, 0), Piramide(7, 10)})
      ASSERT_NO_FATAL_FAILURE(ExpectAsWindowScan(src, b, 613, 517, std::to_string(threads)));
  }
  SetKernelThreads(0);
}

}  // namespace
}  // namespace morvane
