// Loading matrix B, and the commands and detections through a recording
// window: the planes they leave, the order of what they show, the flags.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "morphology/composite.h"
#include "morphology/detection.h"
#include "tests/support/morphology_fakes.h"

namespace morvane {
namespace {

using Command = void (*)(Workspace&, MessageLog&, ResultView&);
using Levels = std::vector<std::vector<int>>;
using Row = std::vector<std::string>;

// An open picture of alto x ancho at one level, zero work planes, and the
// pyramid of side n loaded (factor 0: all zeros).
struct Session {
  Workspace ws;
  testing::Recorder win;
  testing::FakeGrid grid;

  Session(int alto, int ancho, int level, int n = 3, int factor = 0) {
    ws.Alto = alto, ws.Ancho = ancho;
    for (Plane* p : {&ws.ImagenInicial, &ws.ImagenFinal, &ws.Auxiliar1, &ws.Auxiliar2})
      *p = Plane(alto, ancho);
    ws.ImagenInicial.fill(static_cast<std::uint8_t>(level));
    ws.ImagenCargada = true;
    load(n, kMatrizPiramidal, factor);
  }
  void load(int n, int tipo, std::int32_t factor = 0) {
    win.lines = {"old line"};
    ws.TamanoElegido = n;
    CargarMatriz(ws, win, grid, tipo, factor);
  }
  void run(Command command) {
    win.events.clear();
    command(ws, win, win);
  }
  Levels final() const { return testing::Niveles(ws.ImagenFinal, ws.Alto, ws.Ancho); }
  Row gridRow(int row) const {
    Row out;
    for (int col = 0; col < ws.Matriz.n; ++col) out.push_back(grid.cell(col, row));
    return out;
  }
};

TEST(CargarMatriz, KindsAndWeightsModulo256) {
  const struct {
    int tipo, n, factor, row;
    Row want;
  } cases[] = {
      {kMatrizCeros, 3, 7, 1, {"0", "0", "0"}},
      {kMatrizPiramidal, 5, 1, 0, {"2", "2", "2", "2", "2"}},
      {kMatrizPiramidal, 5, 1, 2, {"2", "1", "0", "1", "2"}},
      {kMatrizPiramidal, 5, -1, 2, {"254", "255", "0", "255", "254"}},
      {kMatrizPiramidal, 9, 100, 1, {"144", "44", "44", "44", "44", "44", "44", "44", "144"}},
      {kMatrizPiramidal, 9, 64, 0, Row(9, "0")},
      {kMatrizPiramidal, 9, 2147483647, 0, Row(9, "252")},  // 4 * (2^31 - 1) ends in 0xFC
  };
  Session s(3, 3, 0);
  for (const auto& c : cases) {
    s.ws.MatrizCargada = false;
    s.load(c.n, c.tipo, c.factor);
    Row weights;
    for (int k = 0; k < c.n; ++k) weights.push_back(std::to_string(s.ws.Matriz.at(c.row, k)));
    EXPECT_EQ(s.gridRow(c.row), c.want) << c.n << " " << c.factor;
    EXPECT_EQ(weights, c.want) << c.n << " " << c.factor;
    EXPECT_TRUE(s.ws.MatrizCargada && s.ws.FactorN == c.factor);
    EXPECT_EQ(s.win.lines, Row{"Se ha cargado la Matriz B"});
  }
  // Custom cells load modulo 256 and are rewritten; cell (col, row) is B[row][col].
  s.grid.cells = {{{0, 0}, "300"}, {{1, 0}, "-1"}, {{2, 0}, " +7 "}, {{0, 1}, "1"}, {{1, 1}, "1"},
                  {{2, 1}, "3"},   {{0, 2}, "1"},  {{1, 2}, "1"},    {{2, 2}, "1"}};
  s.load(3, kMatrizPersonalizada);
  EXPECT_TRUE(s.ws.MatrizCargada);
  EXPECT_EQ(s.gridRow(0), (Row{"44", "255", "7"}));
  EXPECT_EQ(s.ws.Matriz.at(0, 0), 44);
  EXPECT_EQ(s.ws.Matriz.at(1, 2), 3);

  for (auto& [at, text] : s.grid.cells) text = "+20";
  s.grid.setCell(2, 1, "2x");  // the scan stops at the sixth cell
  s.load(3, kMatrizPersonalizada);
  EXPECT_FALSE(s.ws.MatrizCargada);
  EXPECT_EQ(s.grid.messages, Row{"La matriz B no se ha cargado correctamente.\n"
                                 "Compruebe que contiene solo valores numéricos"});
  EXPECT_EQ(s.win.lines, Row{"Error en la matriz B"});
  EXPECT_EQ(s.gridRow(1), (Row{"20", "20", "2x"}));
  EXPECT_EQ(s.gridRow(2), Row(3, "+20"));
}

TEST(Commands, TitlesLogLinesAndPaintingInOrder) {
  auto steps = [](Row before, const Row& after) {
    for (int i = 0; i < 4; ++i) before.insert(before.end(), {"draw", "step"});
    before.push_back("reset");
    before.insert(before.end(), after.begin(), after.end());
    return before;
  };
  Session s(4, 6, 100);
  s.run(Cierre);
  EXPECT_EQ(s.win.events, steps({"title Cierre", "clear", "1-Dilatacion", "2-Erosion"}, {"show"}));
  s.run(PuntosNegros);  // titled only once painted
  EXPECT_EQ(s.win.events,
            steps({"clear", "1-Dilatacion", "2-Erosion"}, {"title Puntos Negros", "show"}));
  EXPECT_TRUE(s.ws.NegrosDetectados && !s.ws.BlancosDetectados);
}

TEST(Commands, InicialMenosFinalTwiceLeavesTheMinimum) {
  Session s(1, 5, 0);
  const std::uint8_t initial[] = {10, 200, 50, 0, 255}, final[] = {20, 100, 50, 255, 0};
  std::copy(initial, initial + 5, s.ws.ImagenInicial[0]);
  std::copy(final, final + 5, s.ws.ImagenFinal[0]);
  s.run(InicialMenosFinal);
  s.run(InicialMenosFinal);
  EXPECT_EQ(s.final(), (Levels{{10, 100, 50, 0, 0}}));
}

TEST(Detection, PointsOnSevenBySeven) {
  Session black(7, 7, 100), white(7, 7, 100);
  black.ws.ImagenInicial[3][3] = 20;
  white.ws.ImagenInicial[3][3] = 200;
  white.ws.NegrosDetectados = true;
  black.run(PuntosNegros);
  white.run(PuntosBlancos);
  Levels wantBlack(7, std::vector<int>(7, 0)), wantWhite(7, std::vector<int>(7, 100));
  wantBlack[3][3] = 80;
  for (int i = 1; i < 6; ++i)
    for (int j = 1; j < 6; ++j) wantWhite[i][j] = i == 3 && j == 3 ? 100 : 0;
  EXPECT_EQ(black.final(), wantBlack);
  EXPECT_EQ(white.final(), wantWhite);
  EXPECT_EQ(white.win.drawn, wantWhite);
  EXPECT_TRUE(white.ws.BlancosDetectados && !white.ws.NegrosDetectados);
}

// A dark block of side s in a field of 100, black points with the matrix of
// side n: the level of the block (the field around it must come out 0).
int DarkBlock(int side, int n, int factor = 0) {
  Session s(33, 33, 100, n, factor);
  const int at = 16 - side / 2;
  for (int i = at; i < at + side; ++i)
    for (int j = at; j < at + side; ++j) s.ws.ImagenInicial[i][j] = 20;
  s.ws.TamanoElegido = 12 - n;  // the loaded matrix is the one used
  s.run(PuntosNegros);
  for (int i = 8; i < 25; ++i)
    for (int j = 8; j < 25; ++j) {
      const bool inside = i >= at && i < at + side && j >= at && j < at + side;
      EXPECT_EQ(s.ws.ImagenFinal[i][j], inside ? s.ws.ImagenFinal[at][at] : 0) << side << " " << n;
    }
  return s.ws.ImagenFinal[at][at];
}

TEST(Detection, BlocksNarrowerThanTheMatrixAreFound) {
  EXPECT_EQ(DarkBlock(2, 3), 80);
  EXPECT_EQ(DarkBlock(3, 3), 0);
  EXPECT_EQ(DarkBlock(3, 5), 80);
  EXPECT_EQ(DarkBlock(8, 9), 80);
  EXPECT_EQ(DarkBlock(9, 9), 0);
  EXPECT_EQ(DarkBlock(1, 3, 10), 80);
}

TEST(Detection, SameAsCierreOrAperturaWithTheDifferenceAwayFromTheEdges) {
  std::mt19937 rng(11);
  for (int n : {3, 5, 9}) {
    Session det(40, 53, 0, n, 7), adv(40, 53, 0, n, 7);
    for (int i = 0; i < 40; ++i)
      for (int j = 0; j < 53; ++j)
        det.ws.ImagenInicial[i][j] = adv.ws.ImagenInicial[i][j] = static_cast<std::uint8_t>(rng());
    adv.ws.Auxiliar1.fill(200);  // another band: only pixels 2c inside agree
    const int e = n / 2 * 2;
    for (auto [detect, first, second] :
         {std::array<Command, 3>{PuntosNegros, Cierre, FinalMenosInicial},
          std::array<Command, 3>{PuntosBlancos, Apertura, InicialMenosFinal}}) {
      det.run(detect);
      adv.run(first);
      adv.run(second);
      for (int i = e; i < 40 - e; ++i)
        for (int j = e; j < 53 - e; ++j)
          ASSERT_EQ(det.ws.ImagenFinal[i][j], adv.ws.ImagenFinal[i][j])
              << n << " " << i << "," << j;
    }
  }
}

TEST(Refusals, WithoutPictureOrMatrixNothingChanges) {
  for (Command command : {Dilatacion, Erosion, Cierre, Apertura, InicialMenosFinal,
                          FinalMenosInicial, PuntosNegros, PuntosBlancos})
    for (bool picture : {false, true}) {
      Session s(6, 6, 50);
      s.ws.ImagenCargada = picture;
      s.ws.MatrizCargada = !picture;
      for (Plane* p : {&s.ws.ImagenFinal, &s.ws.Auxiliar1, &s.ws.Auxiliar2}) p->fill(60);
      s.ws.NegrosDetectados = true;
      s.run(command);
      EXPECT_EQ(s.win.events, (Row{"clear", picture ? "No se ha cargado la Matriz B"
                                                    : "No has seleccionado una imagen"}));
      for (const Plane* p : {&s.ws.ImagenFinal, &s.ws.Auxiliar1, &s.ws.Auxiliar2})
        EXPECT_EQ(testing::Niveles(*p, 6, 6), Levels(6, std::vector<int>(6, 60)));
      EXPECT_TRUE(s.ws.NegrosDetectados && !s.ws.BlancosDetectados);
    }
}

}  // namespace
}  // namespace morvane
