#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "restoration/automatica.h"
#include "tests/support/restoration_oracle.h"

namespace morvane {
namespace {

using oracle::Niveles;

Plane Picture(int alto, int ancho, const std::function<int(int r, int c)>& level) {
  Plane p(alto, ancho);
  for (int r = 0; r < alto; ++r)
    for (int c = 0; c < ancho; ++c) p[r][c] = static_cast<std::uint8_t>(level(r, c));
  return p;
}

// Points inside, on the border, side by side, dense noise restored in place:
// black and white found together, so every pixel comes back to 120 exactly.
TEST(RestauracionAutomatica, FlatPictureRestoredExactly) {
  const std::vector<std::array<int, 3>> sparse[] = {
      {{7, 9, 0}, {12, 4, 255}},
      {{0, 0, 0}, {39, 49, 0}, {0, 11, 255}, {13, 0, 255}},
      {{10, 10, 0}, {10, 11, 255}}};
  for (int kind = 0; kind < 5; ++kind) {
    Plane p(40, 50), out(40, 50);
    p.fill(120);
    long long planted = 0;
    std::mt19937 rng(7);
    for (int r = 0; r < 40; ++r)
      for (int c = 0; c < 50 && kind >= 3; ++c)
        if (rng() % 10 < (kind == 3 ? 1u : 3u)) p[r][c] = rng() % 2 ? 255 : 0, ++planted;
    for (int k = 0; kind < 3 && k < static_cast<int>(sparse[kind].size()); ++k, ++planted)
      p[sparse[kind][k][0]][sparse[kind][k][1]] = static_cast<std::uint8_t>(sparse[kind][k][2]);
    Plane& result = kind >= 3 ? p : out;
    oracle::Registro bar(40, 50);
    const ResultadoAutomatica res = RestauracionAutomatica(p, result, 40, 50, {.vista = &bar});
    EXPECT_EQ(Niveles(result), std::vector<int>(40 * 50, 120)) << kind;
    EXPECT_EQ(bar.drawn, Niveles(result)) << kind;
    EXPECT_EQ(res.danados, planted) << kind;
    EXPECT_DOUBLE_EQ(res.proporcion, static_cast<double>(planted) / (40 * 50)) << kind;
    EXPECT_TRUE(bar.count("step") == 40 && bar.count("draw") == 40 && bar.count("reset") == 1);
  }
}

// A ramp, an edge, real black and white areas, a page with a stroke and 255 specks.
TEST(RestauracionAutomatica, CleanPicturesKeepTheirLevels) {
  const std::function<int(int, int)> kinds[] = {
      [](int r, int c) { return 30 + r + 2 * c; }, [](int, int c) { return c < 30 ? 60 : 190; },
      [](int, int c) { return c < 20   ? 0
                              : c < 40 ? 128
                                       : 255; },
      [](int r, int c) {
        for (auto [br, bc] : {std::pair{10, 29}, {20, 33}, {30, 10}, {40, 50}})
          if (r == br && c == bc) return 255;
        return c >= 30 && c <= 32 ? 20 : 236 + (r + c) % 9;
      }};
  for (int kind = 0; kind < 4; ++kind) {
    const Plane p = Picture(48, 64, kinds[kind]);
    Plane out(48, 64);
    EXPECT_EQ(RestauracionAutomatica(p, out, 48, 64).danados, 0) << kind;
    int worst = 0;
    for (int r = 0; r < 48; ++r)
      for (int c = 0; c < 64; ++c) worst = std::max(worst, std::abs(out[r][c] - p[r][c]));
    EXPECT_LE(worst, 1) << kind;
  }
}

// Half the points black or white, plus a block of each colour against the
// edge and a 3 x 3 clump inside: dense noise makes such clumps by chance.
// Among impulses of any level a dark area keeps its black.
TEST(RestauracionAutomatica, EdgesAndDarkAreasAreJudgedLikeTheInside) {
  std::mt19937 rng(7);
  Plane dense = Picture(40, 50, [&](int r, int c) {
    if ((r >= 38 && c >= 20 && c < 23) || (r >= 10 && r < 13 && c < 2)) return r < 20 ? 0 : 255;
    if (r >= 20 && r < 23 && c >= 30 && c < 33) return 255;
    return rng() % 2 ? 120 : rng() % 2 ? 255 : 0;
  });
  RestauracionAutomatica(dense, dense, 40, 50);
  EXPECT_EQ(Niveles(dense), std::vector<int>(40 * 50, 120));
  const Plane dark = Picture(64, 64, [&](int r, int c) {
    return rng() % 4 == 0 ? static_cast<int>(rng() % 256) : c < 32 ? 0 : 90 + (r + c) % 40;
  });
  Plane out(64, 64);
  RestauracionAutomatica(dark, out, 64, 64);
  int black = 0;
  for (int r = 0; r < 64; ++r)
    for (int c = 0; c < 28; ++c) black += out[r][c] == 0;
  EXPECT_GE(black, 64 * 28 * 9 / 10);
}

TEST(RestauracionAutomatica, SameLevelsWhateverTheThreads) {
  std::mt19937 rng(3);
  const Plane p = Picture(97, 83, [&](int r, int c) {
    const int v = 60 + r + (c * 7 % 23) + static_cast<int>(rng() % 9);
    const unsigned k = rng() % 100;
    return k < 10 ? (k % 2 ? 255 : 0) : k < 35 ? static_cast<int>(rng() % 256) : v;
  });
  std::pair<std::vector<int>, long long> first;
  for (int threads : {1, 2, 3, 7}) {
    Plane out(97, 83);
    const long long danados = RestauracionAutomatica(p, out, 97, 83, {.hilos = threads}).danados;
    if (threads == 1) first = {Niveles(out), danados};
    EXPECT_GT(danados, 97 * 83 / 10);
    EXPECT_EQ(std::pair(Niveles(out), danados), first) << threads;
  }
}

TEST(RestauracionAutomatica, TinyAndEmptyPictures) {
  Plane one(1, 1), out(1, 1), row = Picture(1, 5, [](int, int c) { return c ? 90 : 255; });
  EXPECT_EQ(RestauracionAutomatica(one, out, 1, 1).danados, 0);  // nothing to judge it by
  EXPECT_EQ(out[0][0], 0);
  Plane outRow(1, 5);
  RestauracionAutomatica(row, outRow, 1, 5);
  EXPECT_EQ(Niveles(outRow), std::vector<int>(5, 90));
  EXPECT_EQ(RestauracionAutomatica(one, out, 0, 0).danados, 0);
}

}  // namespace
}  // namespace morvane
