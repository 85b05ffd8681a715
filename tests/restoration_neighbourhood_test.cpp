// The mean, median and conservative filters on hand-made windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <random>

#include "restoration/neighbourhood.h"
#include "tests/support/restoration_oracle.h"

namespace morvane {
namespace {

using oracle::VistaRegistrada;

// A 7 x 7 picture: levels from ImagenInicial, every pixel damaged (200 in
// ImagenFinal) unless admitted, Umbral 50.
struct Picture {
  Workspace ws;
  VistaRegistrada view{7, 7};

  Picture() {
    ws.Alto = ws.Ancho = 7;
    ws.ImagenInicial = Plane(7, 7);
    ws.ImagenFinal = Plane(7, 7);
    ws.Auxiliar1 = Plane(7, 7);
    ws.ImagenFinal.fill(200);
    ws.Umbral = 50;
  }
  // Only the damaged pixels listed; every other pixel admitted.
  void damaged(std::initializer_list<std::pair<int, int>> cells) {
    ws.ImagenFinal.fill(0);
    for (auto [r, c] : cells) ws.ImagenFinal[r][c] = 200;
  }
  void admit(int r, int c, std::uint8_t level) {
    ws.ImagenInicial[r][c] = level;
    ws.ImagenFinal[r][c] = 0;
  }
  // Admits the 3 x 3 neighbours of (3, 3) with the given levels, in row order.
  void ring(std::initializer_list<int> levels) {
    auto it = levels.begin();
    for (int r = 2; r <= 4; ++r) {
      for (int c = 2; c <= 4; ++c) {
        if (r == 3 && c == 3) continue;
        if (it != levels.end()) admit(r, c, static_cast<std::uint8_t>(*it++));
      }
    }
  }
  std::uint8_t run(int filtro, int radio = 1, bool incluir = false) {
    if (filtro == 0) FiltroMedia(ws, view, radio, incluir);
    if (filtro == 1) FiltroMediana(ws, view, radio, incluir);
    if (filtro == 2) FiltroConservativo(ws, view, radio, incluir);
    return ws.ImagenFinal[3][3];
  }
};

TEST(Neighbourhood, EightEqualNeighboursGiveTheirLevelToEveryFilter) {
  for (int filtro = 0; filtro < 3; ++filtro) {
    Picture p;
    p.ring({120, 120, 120, 120, 120, 120, 120, 120});
    EXPECT_EQ(p.run(filtro), 120) << filtro;
  }
}

TEST(Neighbourhood, NoAdmittedNeighbourLeavesTheLevel) {
  for (int filtro = 0; filtro < 3; ++filtro) {
    Picture p;
    p.ws.ImagenInicial[3][3] = 33;
    EXPECT_EQ(p.run(filtro), 33);
    EXPECT_EQ(p.run(filtro, 2), 33);
  }
}

TEST(Neighbourhood, MeanDropsTheRemainder) {
  Picture p;
  p.ring({10, 11});
  EXPECT_EQ(p.run(0), 10);
}

TEST(Neighbourhood, MedianTakesTheUpperMiddleLevel) {
  Picture even;
  even.ring({40, 10, 30, 20});
  EXPECT_EQ(even.run(1), 30);

  Picture nine;  // 5 x 5 window holding nine admitted levels: the fifth smallest
  for (int k = 0; k < 9; ++k)
    nine.admit(1 + k / 5 * 4, 1 + k % 5, static_cast<std::uint8_t>(90 - 10 * k));
  EXPECT_EQ(nine.run(1, 2), 50);
}

// A window with two admitted levels right after one with eight: nothing of the
// earlier window is left over in the slots.
TEST(Neighbourhood, MedianStartsEveryWindowAfresh) {
  Workspace ws;
  ws.Alto = 3;
  ws.Ancho = 7;
  ws.ImagenInicial = Plane(3, 7);
  ws.ImagenFinal = Plane(3, 7);
  ws.Auxiliar1 = Plane(3, 7);
  ws.Umbral = 50;
  const std::uint8_t levels[3][7] = {
      {1, 2, 3, 60, 0, 0, 0}, {4, 0, 5, 0, 0, 0, 0}, {6, 7, 8, 0, 0, 40, 0}};
  const std::uint8_t damage[3][7] = {
      {0, 0, 0, 0, 99, 99, 99}, {0, 99, 0, 50, 99, 99, 99}, {0, 0, 0, 99, 99, 0, 99}};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 7; ++c) {
      ws.ImagenInicial[r][c] = levels[r][c];
      ws.ImagenFinal[r][c] = damage[r][c];
    }
  }
  VistaRegistrada view(3, 7);
  FiltroMediana(ws, view, 1, false);
  EXPECT_EQ(ws.ImagenFinal[1][1], 5);   // eight levels 1 .. 8: the upper middle
  EXPECT_EQ(ws.ImagenFinal[1][4], 60);  // then two, 40 and 60: the upper
  EXPECT_EQ(ws.ImagenFinal[1][5], 40);  // then one
}

TEST(Neighbourhood, ConservativeTakesTheMinimumOnlyBelowIt) {
  const std::pair<int, int> cases[] = {{5, 80}, {250, 140}, {100, 140}, {80, 140}};
  for (auto [centre, expected] : cases) {
    Picture p;
    p.ring({80, 90, 100, 110, 120, 130, 135, 140});
    p.ws.ImagenInicial[3][3] = static_cast<std::uint8_t>(centre);
    EXPECT_EQ(p.run(2), expected) << centre;
  }
}

TEST(Neighbourhood, IncludingDamagedNeighboursAdmitsTheWholeWindow) {
  // Only the centre is damaged, so nothing is restored before it.
  Picture mean;
  mean.damaged({{3, 3}});
  mean.ws.ImagenInicial[2][2] = mean.ws.ImagenInicial[2][3] = 100;
  mean.ws.ImagenInicial[3][3] = 180;
  EXPECT_EQ(mean.run(0, 1, true), (100 + 100 + 180) / 9);

  // 100 four times, 200 four times and the centre's 0: the fifth is 100, where
  // the eight neighbours alone would give 200.
  Picture median;
  median.damaged({{3, 3}});
  median.ws.ImagenInicial[2][2] = median.ws.ImagenInicial[2][3] = 100;
  median.ws.ImagenInicial[2][4] = median.ws.ImagenInicial[3][2] = 100;
  median.ws.ImagenInicial[3][4] = 200;
  for (int c = 2; c <= 4; ++c) median.ws.ImagenInicial[4][c] = 200;
  EXPECT_EQ(median.run(1, 1, true), 100);

  for (int centre : {5, 100, 250}) {
    Picture cons;
    cons.ring({80, 90, 100, 110, 120, 130, 135, 140});
    cons.ws.ImagenInicial[3][3] = static_cast<std::uint8_t>(centre);
    EXPECT_EQ(cons.run(2, 1, true), std::max(centre, 140)) << centre;
  }
}

// With damaged neighbours admitted the scan order matters: the second of two
// damaged pixels on a row sees the first one's new level.
TEST(Neighbourhood, RestoredLevelsFeedTheWindowsThatFollow) {
  Picture p;
  p.damaged({{3, 2}, {3, 3}});
  p.ws.ImagenInicial.fill(90);
  p.ws.ImagenInicial[3][2] = 0;
  p.ws.ImagenInicial[3][3] = 0;
  FiltroMedia(p.ws, p.view, 1, true);
  EXPECT_EQ(p.ws.ImagenFinal[3][2], (7 * 90) / 9);           // 70
  EXPECT_EQ(p.ws.ImagenFinal[3][3], (7 * 90 + 70 + 0) / 9);  // sees 70, not 0
}

// A level equal to Umbral is neither restored as a centre nor admitted as a
// neighbour, unless damaged neighbours are included.
TEST(Neighbourhood, ThresholdLevelIsNeitherDamagedNorAdmitted) {
  Picture centre;
  centre.ring({120, 120, 120, 120, 120, 120, 120, 120});
  centre.ws.ImagenFinal[3][3] = 50;
  centre.ws.ImagenInicial[3][3] = 7;
  EXPECT_EQ(centre.run(0), 7);

  Picture neighbour;
  neighbour.ring({10, 20});
  neighbour.ws.ImagenInicial[4][4] = 250;
  neighbour.ws.ImagenFinal[4][4] = 50;
  EXPECT_EQ(neighbour.run(0), 15);
  EXPECT_EQ(neighbour.ws.ImagenFinal[4][4], 250);  // not restored either

  Picture included;
  included.damaged({{3, 3}});
  included.ws.ImagenInicial[2][2] = 10;
  included.ws.ImagenInicial[2][3] = 20;
  included.ws.ImagenInicial[4][4] = 250;
  included.ws.ImagenFinal[4][4] = 50;
  EXPECT_EQ(included.run(0, 1, true), (10 + 20 + 250) / 9);
}

TEST(Neighbourhood, ExchangeSortAndFastMedianAgree) {
  Valores v;
  std::mt19937 rng(7);
  for (auto& x : v) x = static_cast<std::int32_t>(rng() % 2001) - 1000;
  Valores sorted = v;
  std::sort(sorted.begin(), sorted.end());
  OrdenarValores(v);
  EXPECT_EQ(v, sorted);

  // The median filter's slot n / 2 against the literal 25-slot sort, for every n.
  for (int trial = 0; trial < 300; ++trial) {
    Picture p;
    const int n = trial % 26;
    std::uint8_t levels[25];
    int k = 0;
    for (int r = 1; r <= 5; ++r) {
      for (int c = 1; c <= 5; ++c) {
        const auto level = static_cast<std::uint8_t>(rng() % 4 == 0 ? 17 : rng());
        p.ws.ImagenInicial[r][c] = level;
        // Admitted ones are met from the bottom-right corner on.
        if (k < n && !(r == 3 && c == 3)) {
          p.ws.ImagenFinal[6 - r][6 - c] = 0;
          ++k;
        }
      }
    }
    p.ws.ImagenFinal[3][3] = 200;
    int m = 0;
    for (int r = 5; r >= 1; --r) {
      for (int c = 5; c >= 1; --c) {
        if (p.ws.ImagenFinal[r][c] < 50) levels[m++] = p.ws.ImagenInicial[r][c];
      }
    }
    const int expected = m == 0 ? p.ws.ImagenInicial[3][3] : oracle::MedianaLiteral(levels, m);
    EXPECT_EQ(p.run(1, 2), expected) << trial;
  }
}

}  // namespace
}  // namespace morvane
