// Restaurar, the frame every filter runs in, and the mean, median and
// conservative rules on hand-made windows.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "restoration/neighbourhood.h"
#include "restoration/restaurar.h"
#include "tests/support/restoration_oracle.h"

namespace morvane {
namespace {

using oracle::VistaRegistrada;
using Lines = std::vector<std::string>;

struct Cell {
  int r, c, level, damage = 0;
};
struct Rule {
  const char* what;
  int filtro, radio;
  bool incluir;
  int level, damage;  // every pixel not listed
  std::vector<Cell> cells;
  std::vector<Cell> expected;  // level is the one expected in ImagenFinal
};

// Cells around (3, 3) in row order, the centre left out, with the given levels.
std::vector<Cell> Around(std::vector<int> levels, int centre = 0, int centreDamage = 200) {
  std::vector<Cell> cells{{3, 3, centre, centreDamage}};
  for (int k = 0, n = 0; k < 9 && n < static_cast<int>(levels.size()); ++k) {
    if (k != 4) cells.push_back({2 + k / 3, 2 + k % 3, levels[n++], 0});
  }
  return cells;
}

TEST(Neighbourhood, RulesOnHandMadeWindows) {
  const std::vector<int> range = {80, 90, 100, 110, 120, 130, 135, 140};
  std::vector<Cell> eightThenTwo = {{3, 1, 0, 200}, {3, 4, 0, 200}, {2, 4, 60, 0}, {4, 5, 40, 0}};
  for (int k = 0; k < 9; ++k) {
    if (k != 4) eightThenTwo.push_back({2 + k / 3, k % 3, 1 + k, 0});
  }
  auto withNeighbourAt50 = Around({10, 20});
  withNeighbourAt50.push_back({4, 4, 250, 50});
  const Rule rules[] = {
      {"mean drops the remainder", 0, 1, false, 0, 200, Around({10, 11}), {{3, 3, 10}}},
      {"median of four is the upper middle",
       1,
       1,
       false,
       0,
       200,
       Around({40, 10, 30, 20}),
       {{3, 3, 30}}},
      {"median with 8, then 2 levels", 1, 1, false, 0, 200, eightThenTwo, {{3, 1, 6}, {3, 4, 60}}},
      {"conservative below the range", 2, 1, false, 0, 200, Around(range, 5), {{3, 3, 80}}},
      {"conservative above the range", 2, 1, false, 0, 200, Around(range, 250), {{3, 3, 140}}},
      {"conservative inside the range", 2, 1, false, 0, 200, Around(range, 100), {{3, 3, 140}}},
      {"mean, nothing admitted", 0, 1, false, 0, 200, Around({}, 33), {{3, 3, 33}}},
      {"median, nothing admitted", 1, 2, false, 0, 200, Around({}, 33), {{3, 3, 33}}},
      {"conservative, nothing admitted", 2, 1, false, 0, 200, Around({}, 33), {{3, 3, 33}}},
      {"centre at the threshold", 0, 1, false, 0, 200, Around(range, 7, 50), {{3, 3, 7}}},
      {"neighbour at the threshold",
       0,
       1,
       false,
       0,
       200,
       withNeighbourAt50,
       {{3, 3, 15}, {4, 4, 250}}},
      {"included: the centre counts", 0, 1, true, 0, 0, Around({100, 100}, 180), {{3, 3, 380 / 9}}},
      {"included: conservative takes the maximum",
       2,
       1,
       true,
       0,
       0,
       Around(range, 5),
       {{3, 3, 140}}},
      {"included: a threshold neighbour counts",
       0,
       1,
       true,
       0,
       0,
       withNeighbourAt50,
       {{3, 3, 280 / 9}}},
      // The second pixel's window holds the first one's new level, 70, not 0.
      {"included: scan order on one row",
       0,
       1,
       true,
       90,
       0,
       {{3, 2, 0, 200}, {3, 3, 0, 200}},
       {{3, 2, 70}, {3, 3, (7 * 90 + 70) / 9}}},
  };
  for (const Rule& rule : rules) {
    Workspace ws;
    oracle::Reservar(ws, 7, 7);
    ws.ImagenInicial.fill(static_cast<std::uint8_t>(rule.level));
    ws.ImagenFinal.fill(static_cast<std::uint8_t>(rule.damage));
    for (const Cell& k : rule.cells) {
      ws.ImagenInicial[k.r][k.c] = static_cast<std::uint8_t>(k.level);
      ws.ImagenFinal[k.r][k.c] = static_cast<std::uint8_t>(k.damage);
    }
    VistaRegistrada view(7, 7);
    if (rule.filtro == 0) FiltroMedia(ws, view, rule.radio, rule.incluir);
    if (rule.filtro == 1) FiltroMediana(ws, view, rule.radio, rule.incluir);
    if (rule.filtro == 2) FiltroConservativo(ws, view, rule.radio, rule.incluir);
    for (const Cell& k : rule.expected) EXPECT_EQ(ws.ImagenFinal[k.r][k.c], k.level) << rule.what;
  }
}

TEST(Restaurar, LogLinesAndFlags) {
  struct Road {
    bool negros, blancos, avanzado;
    int filtro;
    Lines lines;
  };
  const Road roads[] = {
      {false, false, false, 0, {"Realice la detección de negros o blancos primero"}},
      {true, false, false, 0, {"Restauración de puntos negros", "Usando filtro de Media"}},
      {false, true, false, 1, {"Restauración de puntos blancos", "Usando filtro de Mediana"}},
      {true, true, true, 2, {"Restauración avanzada", "Usando filtro Conservativo"}},
      {false,
       true,
       false,
       3,
       {"Restauración de puntos blancos", "Usando filtro de Interpolación Cubica"}},
      {true, false, false, -1, {"Restauración de puntos negros", "Usando filtro de Media"}},
  };
  for (const Road& road : roads) {
    Workspace ws;
    oracle::Reservar(ws, 20, 20);
    ws.ImagenFinal.fill(200);
    ws.NegrosDetectados = road.negros;
    ws.BlancosDetectados = road.blancos;
    oracle::LogRegistrado log;
    log.lines = {"old"};
    VistaRegistrada view(20, 20);
    Restaurar(ws, log, view, {road.filtro, 0, false, road.avanzado});
    EXPECT_EQ(log.lines, road.lines);
    const bool ran = road.negros || road.blancos;
    EXPECT_EQ(view.title, ran ? "Restauración" : "");
    EXPECT_EQ(view.shows, ran ? 1 : 0);
    EXPECT_EQ(view.at(10, 10), ran ? 0 : -1);
    EXPECT_FALSE(ws.NegrosDetectados || ws.BlancosDetectados);
  }
}

// Every filter, margins 1, 2 and 7, pictures smaller than the window: the run
// draws and leaves what the literal frame does, the right view ends equal to
// ImagenFinal, and the bar is stepped once per scanned row and then reset.
TEST(Restaurar, RightViewEqualsTheResult) {
  std::mt19937 rng(5);
  const int sizes[][2] = {{1, 1}, {2, 9}, {4, 4}, {5, 30}, {9, 13}, {14, 40}, {40, 14}, {24, 31}};
  for (int filtro = 0; filtro < 4; ++filtro) {
    for (int tamano = 0; tamano < 2; ++tamano) {
      for (auto [alto, ancho] : sizes) {
        Workspace fast, slow;
        for (Workspace* ws : {&fast, &slow}) {
          oracle::Reservar(*ws, alto, ancho);
          ws->NegrosDetectados = true;
        }
        for (int r = 0; r < alto; ++r) {
          for (int c = 0; c < ancho; ++c) {
            fast.ImagenInicial[r][c] = slow.ImagenInicial[r][c] = static_cast<std::uint8_t>(rng());
            const unsigned k = rng() % 10;  // some exactly at the threshold
            fast.ImagenFinal[r][c] = slow.ImagenFinal[r][c] =
                static_cast<std::uint8_t>(k < 6   ? rng() % 50
                                          : k < 7 ? 50
                                                  : rng());
          }
        }
        oracle::LogRegistrado log;
        VistaRegistrada vf(alto, ancho), vs(alto, ancho);
        vf.drawn.assign(vf.drawn.size(), 999);  // as if the detection were shown
        vs.drawn.assign(vs.drawn.size(), 999);
        Restaurar(fast, log, vf, {filtro, tamano, false, false});
        if (filtro == 3)
          oracle::FiltroCubicoLiteral(slow, vs);
        else
          oracle::FiltroVecindadLiteral(slow, vs, filtro, RadioDesdeIndice(tamano), false);
        SCOPED_TRACE(testing::Message() << filtro << " " << tamano << " " << alto << "x" << ancho);
        EXPECT_EQ(vf.drawn, vs.drawn);
        EXPECT_EQ(vf.steps, vs.steps);
        EXPECT_EQ(vf.resets, 1);
        for (int r = 0; r < alto; ++r) {
          for (int c = 0; c < ancho; ++c) {
            ASSERT_EQ(vf.at(r, c), fast.ImagenFinal[r][c]);
            ASSERT_EQ(fast.Auxiliar1[r][c], fast.ImagenFinal[r][c]);
            ASSERT_EQ(fast.ImagenFinal[r][c], slow.ImagenFinal[r][c]);
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace morvane
