// The automatic restoration: damaged points restored exactly where the
// picture around them is flat, border pixels too, clean pictures left alone,
// and the same levels whatever the number of threads.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "restoration/automatica.h"

namespace morvane {
namespace {

struct Picture {
  int alto, ancho;
  Plane plane;
  Picture(int a, int b, int level) : alto(a), ancho(b), plane(a, b) { plane.fill(level); }
};

std::vector<int> Levels(const Plane& p, int alto, int ancho) {
  std::vector<int> out;
  for (int r = 0; r < alto; ++r) out.insert(out.end(), p[r], p[r] + ancho);
  return out;
}

struct Counter : RowSink {
  int steps = 0, rows = 0, resets = 0;
  void drawRow(int, const std::uint8_t*, int, int) override { ++rows; }
  void stepProgress() override { ++steps; }
  void resetProgress() override { ++resets; }
};

// Flat pictures of 120 with damaged points planted: every point comes back to
// 120 exactly, and the count says how many there were.
TEST(RestauracionAutomatica, FlatPictureRestoredExactly) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> black, white;
  };
  const std::vector<Case> cases = {
      {"one black and one white point inside", {{7, 9}}, {{12, 4}}},
      {"corner and edge points", {{0, 0}, {19, 24}}, {{0, 11}, {13, 0}}},
      {"a black and a white point side by side", {{10, 10}}, {{10, 11}}},
  };
  for (const Case& c : cases) {
    Picture p(20, 25, 120);
    for (auto [r, col] : c.black) p.plane[r][col] = 0;
    for (auto [r, col] : c.white) p.plane[r][col] = 255;
    Plane out(20, 25);
    Counter bar;
    OpcionesAutomatica op;
    op.vista = &bar;
    const ResultadoAutomatica res = RestauracionAutomatica(p.plane, out, 20, 25, op);
    EXPECT_EQ(Levels(out, 20, 25), std::vector<int>(20 * 25, 120)) << c.name;
    EXPECT_EQ(res.danados, static_cast<long long>(c.black.size() + c.white.size())) << c.name;
    EXPECT_DOUBLE_EQ(res.proporcion, static_cast<double>(res.danados) / (20 * 25)) << c.name;
    EXPECT_EQ(bar.steps, 20) << c.name;
    EXPECT_EQ(bar.rows, 20) << c.name;
    EXPECT_EQ(bar.resets, 1) << c.name;
  }
}

// Dense noise of both colours over a flat picture: the black and the white
// points are found together, so neither colour lends its levels to the
// other's restoration and every pixel is 120 again. Also in place.
TEST(RestauracionAutomatica, BothColoursInOneMask) {
  for (double density : {0.1, 0.3}) {
    Picture p(40, 50, 120);
    std::mt19937 rng(7);
    long long planted = 0;
    for (int r = 0; r < 40; ++r)
      for (int c = 0; c < 50; ++c)
        if (rng() % 1000 < density * 1000) {
          p.plane[r][c] = rng() % 2 ? 255 : 0;
          ++planted;
        }
    const ResultadoAutomatica res = RestauracionAutomatica(p.plane, p.plane, 40, 50);
    EXPECT_EQ(Levels(p.plane, 40, 50), std::vector<int>(40 * 50, 120)) << density;
    EXPECT_EQ(res.danados, planted) << density;
  }
}

// Clean pictures: a smooth ramp, a plain step edge, a picture with real
// black and white areas, and a light page with a dark stroke and a few bright
// 255 pixels beside it and on the paper keep (nearly) every level.
TEST(RestauracionAutomatica, CleanPicturesKeepTheirLevels) {
  const int alto = 48, ancho = 64;
  for (int kind = 0; kind < 4; ++kind) {
    Picture p(alto, ancho, 0);
    for (int r = 0; r < alto; ++r)
      for (int c = 0; c < ancho; ++c)
        p.plane[r][c] = static_cast<std::uint8_t>(kind == 0   ? 30 + r + 2 * c
                                                  : kind == 1 ? (c < 30 ? 60 : 190)
                                                              : (c < 20   ? 0
                                                                 : c < 40 ? 128
                                                                          : 255));
    if (kind == 3) {
      for (int r = 0; r < alto; ++r)
        for (int c = 0; c < ancho; ++c)
          p.plane[r][c] = static_cast<std::uint8_t>(c >= 30 && c <= 32 ? 20 : 236 + (r + c) % 9);
      for (auto [r, c] : {std::pair{10, 29}, {20, 33}, {30, 10}, {40, 50}}) p.plane[r][c] = 255;
    }
    Plane out(alto, ancho);
    const ResultadoAutomatica res = RestauracionAutomatica(p.plane, out, alto, ancho);
    int worst = 0;
    for (int r = 0; r < alto; ++r)
      for (int c = 0; c < ancho; ++c) worst = std::max(worst, std::abs(out[r][c] - p.plane[r][c]));
    EXPECT_LE(worst, 1) << kind;
    EXPECT_EQ(res.danados, 0) << kind;
  }
}

// A textured picture with salt and pepper, impulses of any level and specks:
// the same levels with 1, 2, 3 and 7 threads.
TEST(RestauracionAutomatica, SameLevelsWhateverTheThreads) {
  const int alto = 97, ancho = 83;
  Picture p(alto, ancho, 0);
  std::mt19937 rng(3);
  for (int r = 0; r < alto; ++r)
    for (int c = 0; c < ancho; ++c) {
      int v = 60 + r + (c * 7 % 23) + static_cast<int>(rng() % 9);
      const unsigned k = rng() % 100;
      if (k < 10)
        v = k % 2 ? 255 : 0;
      else if (k < 35)
        v = static_cast<int>(rng() % 256);
      p.plane[r][c] = static_cast<std::uint8_t>(v);
    }
  std::vector<int> first;
  long long firstCount = -1;
  for (int threads : {1, 2, 3, 7}) {
    Plane out(alto, ancho);
    OpcionesAutomatica op;
    op.hilos = threads;
    const ResultadoAutomatica res = RestauracionAutomatica(p.plane, out, alto, ancho, op);
    if (first.empty()) {
      first = Levels(out, alto, ancho);
      firstCount = res.danados;
      EXPECT_GT(res.danados, alto * ancho / 10);
    } else {
      EXPECT_EQ(Levels(out, alto, ancho), first) << threads;
      EXPECT_EQ(res.danados, firstCount) << threads;
    }
  }
}

TEST(RestauracionAutomatica, TinyAndEmptyPictures) {
  Picture one(1, 1, 0);
  Plane out(1, 1);
  EXPECT_EQ(RestauracionAutomatica(one.plane, out, 1, 1).danados, 0);  // nothing to judge it by
  EXPECT_EQ(out[0][0], 0);
  Picture row(1, 5, 90);
  row.plane[0][0] = 255;
  Plane outRow(1, 5);
  RestauracionAutomatica(row.plane, outRow, 1, 5);
  EXPECT_EQ(Levels(outRow, 1, 5), std::vector<int>(5, 90));
  EXPECT_EQ(RestauracionAutomatica(one.plane, out, 0, 0).danados, 0);
}

}  // namespace
}  // namespace morvane
