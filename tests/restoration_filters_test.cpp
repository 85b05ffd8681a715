// Restaurar, the frame every filter runs in, and the mean, median and
// conservative rules on hand-made windows.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "restoration/frame.h"
#include "restoration/neighbourhood.h"
#include "restoration/restaurar.h"
#include "tests/support/restoration_oracle.h"
#include "workspace/parallel.h"
#include "workspace/simd.h"

namespace morvane {
namespace {

using oracle::Niveles;
using oracle::Registro;

struct Cell {
  int r, c, level, damage = 0;
};

// The centre (3, 3), then its neighbours in row order with the given levels.
std::vector<Cell> Around(std::vector<int> levels, int centre = 0, int centreDamage = 200) {
  std::vector<Cell> cells{{3, 3, centre, centreDamage}};
  for (int k = 0; k < static_cast<int>(levels.size()); ++k)
    cells.push_back({2 + (k + k / 4) / 3, 2 + (k + k / 4) % 3, levels[k]});
  return cells;
}

// A 7 x 7 picture at `level`, every pixel not listed damaged (damage 200) or,
// when the damaged neighbours are included, undamaged (0); Umbral 50.
TEST(Neighbourhood, RulesOnHandMadeWindows) {
  struct Rule {
    const char* what;
    int filtro, radio;
    bool incluir;
    int level;
    std::vector<Cell> cells, expected;  // expected: the levels left in ImagenFinal
  };
  const std::vector<int> range = {80, 90, 100, 110, 120, 130, 135, 140};
  // (3, 3) takes the median of 8, then (5, 5) the median of (4, 4) and (6, 6).
  auto eightThenTwo = Around({1, 2, 3, 4, 6, 7, 8, 9});
  eightThenTwo.insert(eightThenTwo.end(), {{5, 5, 0, 200}, {6, 6, 60}});
  auto neighbourAt50 = Around({10, 20});
  neighbourAt50.push_back({4, 4, 250, 50});
  const Rule rules[] = {
      {"mean drops the remainder", 0, 1, false, 0, Around({10, 11}), {{3, 3, 10}}},
      {"median of four: upper middle", 1, 1, false, 0, Around({40, 10, 30, 20}), {{3, 3, 30}}},
      {"median of 8, then of 2", 1, 1, false, 0, eightThenTwo, {{3, 3, 6}, {5, 5, 60}}},
      {"conservative below the range", 2, 1, false, 0, Around(range, 5), {{3, 3, 80}}},
      {"conservative above the range", 2, 1, false, 0, Around(range, 250), {{3, 3, 140}}},
      {"conservative inside the range", 2, 1, false, 0, Around(range, 100), {{3, 3, 140}}},
      {"mean, nothing admitted", 0, 1, false, 0, Around({}, 33), {{3, 3, 33}}},
      {"median, nothing admitted", 1, 2, false, 0, Around({}, 33), {{3, 3, 33}}},
      {"conservative, nothing admitted", 2, 1, false, 0, Around({}, 33), {{3, 3, 33}}},
      {"centre at the threshold", 0, 1, false, 0, Around(range, 7, 50), {{3, 3, 7}}},
      {"neighbour at the threshold", 0, 1, false, 0, neighbourAt50, {{3, 3, 15}, {4, 4, 250}}},
      {"included: the centre counts", 0, 1, true, 0, Around({100, 100}, 180), {{3, 3, 380 / 9}}},
      {"included: conservative's maximum", 2, 1, true, 0, Around(range, 5), {{3, 3, 140}}},
      {"included: a threshold neighbour", 0, 1, true, 0, neighbourAt50, {{3, 3, 280 / 9}}},
      // (3, 2) gets 630 / 9 = 70, then (3, 3) 700 / 9: its window holds that 70, not 0.
      {"scan order", 0, 1, true, 90, {{3, 2, 0, 200}, {3, 3, 0, 200}}, {{3, 2, 70}, {3, 3, 77}}},
  };
  void (*const filtros[])(Workspace&, ResultView&, const ParametrosFiltro&) = {
      FiltroMedia, FiltroMediana, FiltroConservativo};
  for (const Rule& rule : rules) {
    Workspace ws;
    oracle::Reservar(ws, 7, 7);
    ws.ImagenInicial.fill(static_cast<std::uint8_t>(rule.level));
    ws.ImagenFinal.fill(rule.incluir ? 0 : 200);
    for (const Cell& k : rule.cells) {
      ws.ImagenInicial[k.r][k.c] = static_cast<std::uint8_t>(k.level);
      ws.ImagenFinal[k.r][k.c] = static_cast<std::uint8_t>(k.damage);
    }
    Registro view(7, 7);
    filtros[rule.filtro](ws, view, {50, rule.radio, rule.incluir});
    for (const Cell& k : rule.expected) EXPECT_EQ(ws.ImagenFinal[k.r][k.c], k.level) << rule.what;
  }
}

// The damage scanners of every vector path find the columns a literal scan
// finds, for rows of every length around the vector widths and thresholds
// across the whole integer range.
TEST(DamageScan, EveryPathFindsWhatALiteralScanFinds) {
  std::mt19937 rng(5);
  std::vector<std::uint8_t> row(200);
  for (KernelPath path : {KernelPath::Portable, KernelPath::Sse2, KernelPath::Avx2}) {
    if (!SetKernelPath(path)) continue;
    for (int trial = 0; trial < 300; ++trial) {
      for (auto& level : row) level = static_cast<std::uint8_t>(rng() % 4 ? rng() % 60 : rng());
      const int x0 = static_cast<int>(rng() % 40), x1 = x0 + static_cast<int>(rng() % 160);
      const int umbral = trial % 7 == 0    ? -5
                         : trial % 11 == 0 ? 255
                                           : static_cast<int>(rng() % 255);
      std::vector<int> want, got, next;
      for (int x = x0; x < x1; ++x)
        if (row[x] > umbral) want.push_back(x);
      RecorrerDanados(row.data(), x0, x1, umbral, [&](int x) { got.push_back(x); });
      for (int x = SiguienteDanado(row.data(), x0, x1, umbral); x < x1;
           x = SiguienteDanado(row.data(), x + 1, x1, umbral))
        next.push_back(x);
      ASSERT_EQ(got, want) << "path " << int(path) << " umbral " << umbral;
      ASSERT_EQ(next, want) << "path " << int(path) << " umbral " << umbral;
    }
  }
  SetKernelPath(KernelPath::Automatic);
}

TEST(Restaurar, LogLinesAndFlags) {
  struct Case {
    bool negros, blancos, avanzado;
    Filtro filtro;
    std::vector<std::string> lines;
  };
  const std::string negros = "Restauración de puntos negros";
  const std::string blancos = "Restauración de puntos blancos";
  const std::string conservativo = "Usando filtro Conservativo";
  const Case cases[] = {
      {false, false, false, Filtro::Media, {"Realice la detección de negros o blancos primero"}},
      {true, false, false, Filtro::Media, {negros, "Usando filtro de Media"}},
      {false, true, false, Filtro::Mediana, {blancos, "Usando filtro de Mediana"}},
      {true, true, true, Filtro::Conservativo, {"Restauración avanzada", conservativo}},
      {false, true, false, Filtro::Cubico, {blancos, "Usando filtro de Interpolación Cubica"}},
  };
  for (const Case& c : cases) {
    Workspace ws;
    oracle::Reservar(ws, 20, 20);
    ws.ImagenFinal.fill(200);
    ws.NegrosDetectados = c.negros;
    ws.BlancosDetectados = c.blancos;
    Registro log(20, 20), view(20, 20);
    Restaurar(ws, log, view, {c.filtro, Ventana::De3x3, false, c.avanzado});
    const bool ran = c.negros || c.blancos;
    std::vector<std::string> lines{"clear"};
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    EXPECT_EQ(log.events, lines);
    EXPECT_TRUE(view.count("title Restauración") == ran && view.count("show") == ran);
    EXPECT_EQ(view.at(10, 10), ran ? 0 : -1);
    EXPECT_FALSE(ws.NegrosDetectados || ws.BlancosDetectados);
  }
}

// Every filter, margins 1, 2 and 7, pictures smaller than the window, light to
// nearly total damage, one, two or the automatic number of threads, the damaged
// neighbours left out or included, thresholds 50, -5 (every pixel damaged, none
// admitted: left out, nothing changes) and 255 (nothing damaged): the run draws
// and leaves what the literal frame does, SistemaConsistente included, the right
// view ends equal to ImagenFinal and Auxiliar1, and the bar is stepped once per
// scanned row, then reset.
TEST(Restaurar, RightViewEqualsTheResult) {
  const int sizes[][2] = {{1, 1},   {2, 9},   {4, 4},   {5, 30},  {9, 13},
                          {14, 40}, {40, 14}, {24, 31}, {55, 23}, {30, 59}};
  const std::pair<int, bool> variants[] = {
      {50, false}, {-5, false}, {255, false}, {50, true}, {-5, true}};
  for (int run = 0; run < 4 * 2 * 10 * 5; ++run) {
    const int filtro = run / 100, tamano = run / 50 % 2, alto = sizes[run / 5 % 10][0],
              ancho = sizes[run / 5 % 10][1];
    const auto [umbral, incluir] = variants[filtro == 3 ? run % 3 : run % 5];
    Workspace fast, slow;
    for (Workspace* ws : {&fast, &slow}) {
      oracle::Azar(*ws, run / 5, alto, ancho, run * 7 % 100);
      ws->NegrosDetectados = true;
    }
    slow.Umbral = umbral;
    fast.Umbral = 7;  // the command reads the threshold it is given, not the workspace's
    Registro log(alto, ancho), vf(alto, ancho), vs(alto, ancho);
    FijarHilosPorOperacion(run / 5 % 3);
    Restaurar(fast, log, vf,
              {static_cast<Filtro>(filtro), tamano == 1 ? Ventana::De5x5 : Ventana::De3x3, incluir,
               false, umbral});
    FijarHilosPorOperacion(0);
    if (filtro == 3)
      oracle::FiltroCubicoLiteral(slow, vs);
    else
      oracle::FiltroVecindadLiteral(slow, vs, filtro, tamano + 1, incluir);
    SCOPED_TRACE(testing::Message()
                 << filtro << " " << tamano << " " << alto << "x" << ancho << " umbral " << umbral
                 << (incluir ? " included" : "") << " threads " << run / 5 % 3);
    if (umbral != 50 && !incluir) {
      EXPECT_EQ(Niveles(fast.ImagenFinal), Niveles(fast.ImagenInicial));
    }
    EXPECT_EQ(vf.drawn, vs.drawn);
    EXPECT_EQ(vf.drawn, Niveles(fast.ImagenFinal));
    EXPECT_EQ(Niveles(fast.Auxiliar1), Niveles(fast.ImagenFinal));
    EXPECT_EQ(fast.SistemaConsistente, slow.SistemaConsistente);
    EXPECT_TRUE(vf.count("step") == vs.count("step") && vf.count("reset") == 1);
  }
}

}  // namespace
}  // namespace morvane
