// Dilatar and Erosionar: the worked results, the border band, planes without
// interior, and agreement with the plain window-scan version on every row
// code and thread count.
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

constexpr std::uint8_t kMarker = 77;

MatrizB Pyramid(int n, int factor) {
  MatrizB b;
  b.n = n;
  b.weights.resize(static_cast<std::size_t>(n) * n);
  const int c = n / 2;
  for (int r = 0; r < n; ++r)
    for (int k = 0; k < n; ++k)
      b.at(r, k) = static_cast<std::uint8_t>(std::max(std::abs(r - c), std::abs(k - c)) * factor);
  return b;
}

MatrizB Filled(int n, std::uint8_t w) {
  MatrizB b;
  b.n = n;
  b.weights.assign(static_cast<std::size_t>(n) * n, w);
  return b;
}

Plane Flat(int alto, int ancho, std::uint8_t level) {
  Plane p(alto, ancho);
  p.fill(level);
  return p;
}

std::vector<std::vector<int>> Contents(const Plane& p, int alto, int ancho) {
  std::vector<std::vector<int>> out(alto, std::vector<int>(ancho));
  for (int i = 0; i < alto; ++i)
    for (int j = 0; j < ancho; ++j) out[i][j] = p[i][j];
  return out;
}

// Restores the automatic choices whatever a test forced.
class KernelTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetKernelPath(KernelPath::Automatic);
    SetKernelThreads(0);
  }
};

using Worked = KernelTest;

TEST_F(Worked, PyramidOfTenOnFiveByFive) {
  const MatrizB b = Pyramid(3, 10);
  const int m = kMarker;

  Plane src = Flat(5, 5, 100);
  src[2][2] = 250;
  Plane dst = Flat(5, 5, kMarker);
  Dilatar(src, b, dst, 5, 5);
  EXPECT_EQ(Contents(dst, 5, 5), (std::vector<std::vector<int>>{{m, m, m, m, m},
                                                                {m, 255, 255, 255, m},
                                                                {m, 255, 250, 255, m},
                                                                {m, 255, 255, 255, m},
                                                                {m, m, m, m, m}}));

  src[2][2] = 30;
  dst.fill(kMarker);
  Erosionar(src, b, dst, 5, 5);
  EXPECT_EQ(Contents(dst, 5, 5), (std::vector<std::vector<int>>{{m, m, m, m, m},
                                                                {m, 20, 20, 20, m},
                                                                {m, 20, 30, 20, m},
                                                                {m, 20, 20, 20, m},
                                                                {m, m, m, m, m}}));

  src[2][2] = 5;
  Erosionar(src, b, dst, 5, 5);
  EXPECT_EQ(
      Contents(dst, 5, 5),
      (std::vector<std::vector<int>>{
          {m, m, m, m, m}, {m, 0, 0, 0, m}, {m, 0, 5, 0, m}, {m, 0, 0, 0, m}, {m, m, m, m, m}}));
}

TEST_F(Worked, WeightAppliesToTheNeighbourItIsStoredFor) {
  MatrizB b = Filled(3, 0);
  b.at(0, 2) = 50;  // one row above, one column right of the centre
  Plane src(5, 5);
  src[2][2] = 100;
  Plane dst = Flat(5, 5, kMarker);
  Dilatar(src, b, dst, 5, 5);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_EQ(dst[i][j], (i == 3 && j == 1) ? 150 : 100) << i << j;

  // The erosion uses the same orientation: the point seen through the weight
  // lowers the pixel below-left of it.
  Plane bright = Flat(5, 5, 200);
  bright[2][2] = 100;
  Erosionar(bright, b, dst, 5, 5);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_EQ(dst[i][j], (i == 3 && j == 1) ? 50 : 100) << i << j;
}

TEST_F(Worked, ZeroMatrixIsTheSquareMaximumAndMinimum) {
  std::mt19937 rng(7);
  Plane src(11, 13);
  for (int i = 0; i < 11; ++i)
    for (int j = 0; j < 13; ++j) src[i][j] = static_cast<std::uint8_t>(rng());
  for (int n : {3, 5, 7, 9}) {
    const int c = n / 2;
    Plane hi(11, 13), lo(11, 13);
    Dilatar(src, Filled(n, 0), hi, 11, 13);
    Erosionar(src, Filled(n, 0), lo, 11, 13);
    for (int i = c; i < 11 - c; ++i)
      for (int j = c; j < 13 - c; ++j) {
        int mx = 0, mn = 255;
        for (int l = -c; l <= c; ++l)
          for (int k = -c; k <= c; ++k) {
            mx = std::max<int>(mx, src[i + l][j + k]);
            mn = std::min<int>(mn, src[i + l][j + k]);
          }
        EXPECT_EQ(hi[i][j], mx);
        EXPECT_EQ(lo[i][j], mn);
      }
  }
  // A constant plane stays constant, whatever the weights under 0.
  const Plane flat = Flat(9, 9, 90);
  Plane out(9, 9);
  Dilatar(flat, Filled(9, 0), out, 9, 9);
  EXPECT_EQ(out[4][4], 90);
  Erosionar(flat, Filled(9, 0), out, 9, 9);
  EXPECT_EQ(out[4][4], 90);
}

TEST_F(KernelTest, BandAndPlanesWithoutInteriorAreLeftAlone) {
  for (int n : {3, 5, 7, 9}) {
    const int c = n / 2;
    // No interior: nothing written at all.
    for (auto [alto, ancho] : {std::pair{2 * c, 40}, std::pair{40, 2 * c}, std::pair{1, 1}}) {
      const Plane src = Flat(alto, ancho, 200);
      Plane dst = Flat(alto, ancho, kMarker);
      Dilatar(src, Pyramid(n, 3), dst, alto, ancho);
      Erosionar(src, Filled(n, 0), dst, alto, ancho);
      for (int i = 0; i < alto; ++i)
        for (int j = 0; j < ancho; ++j)
          ASSERT_EQ(dst[i][j], kMarker) << n << " " << alto << "x" << ancho;
    }
    // One interior pixel, and a wide plane: the c outer rows and columns keep
    // the marker, the interior does not.
    for (auto [alto, ancho] : {std::pair{n, n}, std::pair{n + 3, 70}}) {
      const Plane src = Flat(alto, ancho, 200);
      for (bool erode : {false, true}) {
        Plane dst = Flat(alto, ancho, kMarker);
        if (erode)
          Erosionar(src, Pyramid(n, 1), dst, alto, ancho);
        else
          Dilatar(src, Filled(n, 0), dst, alto, ancho);
        for (int i = 0; i < alto; ++i)
          for (int j = 0; j < ancho; ++j) {
            const bool band = i < c || j < c || i >= alto - c || j >= ancho - c;
            if (band)
              ASSERT_EQ(dst[i][j], kMarker) << n << " " << i << "," << j;
            else
              ASSERT_EQ(dst[i][j], erode ? 200 - c : 200) << n << " " << i << "," << j;
          }
      }
    }
  }
}

// Matrices worth checking at side n: zero, pyramids, all 255, a lone weight,
// and random ones.
std::vector<MatrizB> Matrices(int n, std::mt19937& rng) {
  std::vector<MatrizB> out{Filled(n, 0), Pyramid(n, 10), Pyramid(n, -1), Filled(n, 255)};
  MatrizB lone = Filled(n, 0);
  lone.at(0, n - 1) = 255;
  out.push_back(lone);
  for (int t = 0; t < 2; ++t) {
    MatrizB r = Filled(n, 0);
    for (auto& w : r.weights) w = static_cast<std::uint8_t>(rng() % 3 == 0 ? 0 : rng());
    out.push_back(r);
  }
  MatrizB small = Filled(n, 0);
  for (auto& w : small.weights) w = static_cast<std::uint8_t>(rng() % 8);
  out.push_back(small);
  return out;
}

void Randomize(Plane& p, int alto, int ancho, std::mt19937& rng) {
  const int style = static_cast<int>(rng() % 3);
  for (int i = 0; i < alto; ++i)
    for (int j = 0; j < ancho; ++j) {
      if (style == 0)
        p[i][j] = static_cast<std::uint8_t>(rng());
      else if (style == 1)  // mostly flat with impulses at both ends
        p[i][j] = rng() % 20 == 0 ? (rng() % 2 ? 255 : 0) : 128;
      else
        p[i][j] = static_cast<std::uint8_t>(rng() % 2 ? 250 + rng() % 6 : rng() % 6);
    }
}

void ExpectSameAsWindowScan(const Plane& src, const MatrizB& b, int alto, int ancho,
                            const std::string& what) {
  for (bool erode : {false, true}) {
    Plane want = Flat(alto, ancho, kMarker);
    Plane got = Flat(alto, ancho, kMarker);
    if (erode) {
      oracle::Erosionar(src, b, want, alto, ancho);
      Erosionar(src, b, got, alto, ancho);
    } else {
      oracle::Dilatar(src, b, want, alto, ancho);
      Dilatar(src, b, got, alto, ancho);
    }
    for (int i = 0; i < alto; ++i)
      for (int j = 0; j < ancho; ++j)
        ASSERT_EQ(got[i][j], want[i][j])
            << what << (erode ? " erosion" : " dilation") << " at " << i << "," << j;
  }
}

TEST_F(KernelTest, EveryRowCodeAgreesWithTheWindowScan) {
  const std::vector<std::pair<int, int>> sizes{{1, 1},  {2, 9},   {9, 2},   {3, 3},   {5, 5},
                                               {9, 9},  {10, 17}, {17, 10}, {12, 33}, {21, 40},
                                               {9, 41}, {31, 64}, {24, 71}, {40, 96}, {13, 300}};
  for (KernelPath path : {KernelPath::Portable, KernelPath::Sse2, KernelPath::Avx2}) {
    if (!KernelPathAvailable(path)) continue;
    ASSERT_TRUE(SetKernelPath(path));
    std::mt19937 rng(1234);
    for (auto [alto, ancho] : sizes) {
      Plane src(alto, ancho);
      Randomize(src, alto, ancho, rng);
      for (int n : {3, 5, 7, 9}) {
        int index = 0;
        for (const MatrizB& b : Matrices(n, rng))
          ExpectSameAsWindowScan(src, b, alto, ancho,
                                 "path " + std::to_string(static_cast<int>(path)) + " " +
                                     std::to_string(alto) + "x" + std::to_string(ancho) + " n=" +
                                     std::to_string(n) + " matrix " + std::to_string(index++));
      }
    }
  }
}

TEST_F(KernelTest, LargePlaneSameOnAnyNumberOfThreads) {
  // Large enough to be split; odd sizes so bands and rows end unevenly.
  const int alto = 613, ancho = 517;
  std::mt19937 rng(99);
  Plane src(alto, ancho);
  Randomize(src, alto, ancho, rng);
  for (const MatrizB& b : {Filled(9, 0), Pyramid(7, 10), Pyramid(3, 200)}) {
    SetKernelThreads(1);
    Plane one = Flat(alto, ancho, kMarker), oneE = Flat(alto, ancho, kMarker);
    Dilatar(src, b, one, alto, ancho);
    Erosionar(src, b, oneE, alto, ancho);
    for (int threads : {2, 3, 8}) {
      SetKernelThreads(threads);
      Plane many = Flat(alto, ancho, kMarker), manyE = Flat(alto, ancho, kMarker);
      Dilatar(src, b, many, alto, ancho);
      Erosionar(src, b, manyE, alto, ancho);
      ASSERT_EQ(Contents(many, alto, ancho), Contents(one, alto, ancho)) << threads;
      ASSERT_EQ(Contents(manyE, alto, ancho), Contents(oneE, alto, ancho)) << threads;
    }
    SetKernelThreads(0);
    ExpectSameAsWindowScan(src, b, alto, ancho, "automatic threads n=" + std::to_string(b.n));
  }
}

}  // namespace
}  // namespace morvane
