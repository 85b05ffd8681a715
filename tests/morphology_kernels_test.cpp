// Dilatar and Erosionar: the worked results, and agreement with the plain
// window scan (border band and planes without interior included) on every
// row code and thread count.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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
constexpr std::uint8_t kMarker = 77;

MatrizB Matrix(int n, int ringFactor, std::uint8_t flat = 0) {
  MatrizB b{n, std::vector<std::uint8_t>(static_cast<std::size_t>(n) * n, flat)};
  for (int r = 0; r < n; ++r)
    for (int k = 0; k < n; ++k)
      b.at(r, k) += static_cast<std::uint8_t>(std::max(std::abs(r - n / 2), std::abs(k - n / 2)) *
                                              ringFactor);
  return b;
}

Plane Flat(int alto, int ancho, std::uint8_t level) {
  Plane p(alto, ancho);
  p.fill(level);
  return p;
}

class Kernels : public ::testing::Test {
 protected:
  void TearDown() override {
    SetKernelPath(KernelPath::Automatic);
    SetKernelThreads(0);
  }
};

TEST_F(Kernels, WorkedExamplesWithThePyramidOfTen) {
  const int m = kMarker;
  Plane src = Flat(5, 5, 100), dst = Flat(5, 5, kMarker);
  src[2][2] = 250;
  Dilatar(src, Matrix(3, 10), dst, 5, 5);
  EXPECT_EQ(Niveles(dst, 5, 5), (std::vector<std::vector<int>>{{m, m, m, m, m},
                                                               {m, 255, 255, 255, m},
                                                               {m, 255, 250, 255, m},
                                                               {m, 255, 255, 255, m},
                                                               {m, m, m, m, m}}));
  for (auto [centre, around] : {std::pair{30, 20}, std::pair{5, 0}}) {
    src[2][2] = static_cast<std::uint8_t>(centre);
    Erosionar(src, Matrix(3, 10), dst, 5, 5);
    EXPECT_EQ(Niveles(dst, 5, 5)[2], (std::vector<int>{m, around, centre, around, m}));
    EXPECT_EQ(Niveles(dst, 5, 5)[1], (std::vector<int>{m, around, around, around, m}));
  }
}

TEST_F(Kernels, WeightBelongsToTheNeighbourItIsStoredFor) {
  MatrizB b = Matrix(3, 0);
  b.at(0, 2) = 50;  // one row above, one column right of the centre
  Plane dark(5, 5), bright = Flat(5, 5, 200), dst(5, 5);
  dark[2][2] = 100;
  bright[2][2] = 100;
  Dilatar(dark, b, dst, 5, 5);
  EXPECT_EQ(Niveles(dst, 5, 5)[3], (std::vector<int>{0, 150, 100, 100, 0}));
  EXPECT_EQ(Niveles(dst, 5, 5)[1], (std::vector<int>{0, 100, 100, 100, 0}));
  Erosionar(bright, b, dst, 5, 5);
  EXPECT_EQ(Niveles(dst, 5, 5)[3], (std::vector<int>{0, 50, 100, 100, 0}));
}

// Zero, pyramids, all 255, a lone 255, random and small random weights.
std::vector<MatrizB> Matrices(int n, std::mt19937& rng) {
  std::vector<MatrizB> out{Matrix(n, 0), Matrix(n, 10), Matrix(n, -1), Matrix(n, 0, 255),
                           Matrix(n, 0), Matrix(n, 0),  Matrix(n, 0)};
  out[4].at(0, n - 1) = 255;
  for (auto& w : out[5].weights) w = static_cast<std::uint8_t>(rng() % 3 ? rng() : 0);
  for (auto& w : out[6].weights) w = static_cast<std::uint8_t>(rng() % 8);
  return out;
}

Plane Random(int alto, int ancho, std::mt19937& rng) {
  Plane p(alto, ancho);
  const unsigned style = rng() % 3;  // noise; flat with impulses; levels near 0 and 255
  for (int i = 0; i < alto; ++i)
    for (int j = 0; j < ancho; ++j)
      p[i][j] = static_cast<std::uint8_t>(style == 0   ? rng()
                                          : style == 1 ? (rng() % 20 ? 128 : rng() % 2 * 255)
                                                       : (rng() % 2 ? 250 + rng() % 6 : rng() % 6));
  return p;
}

// Both kernels against the window scan over whole planes: the band, and
// planes without interior, must keep the marker.
void ExpectAsWindowScan(const Plane& src, const MatrizB& b, int alto, int ancho,
                        const std::string& what) {
  Plane want = Flat(alto, ancho, kMarker), got = Flat(alto, ancho, kMarker);
  oracle::DilatarLiteral(src, b, want, alto, ancho);
  Dilatar(src, b, got, alto, ancho);
  ASSERT_EQ(Niveles(got, alto, ancho), Niveles(want, alto, ancho)) << "dilation " << what;
  oracle::ErosionarLiteral(src, b, want, alto, ancho);
  Erosionar(src, b, got, alto, ancho);
  ASSERT_EQ(Niveles(got, alto, ancho), Niveles(want, alto, ancho)) << "erosion " << what;
}

TEST_F(Kernels, EveryRowCodeAgreesWithTheWindowScan) {
  const std::pair<int, int> sizes[] = {{1, 1},  {2, 9},  {9, 2},  {3, 3},   {5, 5},   {9, 9},
                                       {8, 40}, {40, 8}, {9, 41}, {31, 64}, {24, 71}, {13, 300}};
  for (KernelPath path : {KernelPath::Portable, KernelPath::Sse2, KernelPath::Avx2}) {
    if (!SetKernelPath(path)) continue;
    std::mt19937 rng(1234);
    for (auto [alto, ancho] : sizes) {
      const Plane src = Random(alto, ancho, rng);
      for (int n : {3, 5, 7, 9}) {
        int index = 0;
        for (const MatrizB& b : Matrices(n, rng))
          ExpectAsWindowScan(src, b, alto, ancho,
                             "path " + std::to_string(int(path)) + " " + std::to_string(alto) +
                                 "x" + std::to_string(ancho) + " n " + std::to_string(n) +
                                 " matrix " + std::to_string(index++));
      }
    }
  }
}

TEST_F(Kernels, LargePlaneSameOnAnyNumberOfThreads) {
  const int alto = 613, ancho = 517;  // split into uneven bands
  std::mt19937 rng(99);
  const Plane src = Random(alto, ancho, rng);
  for (const MatrizB& b : {Matrix(9, 0), Matrix(7, 10)}) {
    ExpectAsWindowScan(src, b, alto, ancho, "automatic");
    SetKernelThreads(1);
    Plane one = Flat(alto, ancho, kMarker), many = Flat(alto, ancho, kMarker);
    Dilatar(src, b, one, alto, ancho);
    for (int threads : {2, 3, 8}) {
      SetKernelThreads(threads);
      Dilatar(src, b, many, alto, ancho);
      ASSERT_EQ(Niveles(many, alto, ancho), Niveles(one, alto, ancho)) << threads;
    }
  }
}

}  // namespace
}  // namespace morvane
