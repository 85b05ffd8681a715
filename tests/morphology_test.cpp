// Matrix B, the kernels against the plain window scan, and the commands and
// detections through a recording window.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "morphology/composite.h"
#include "morphology/detection.h"
#include "morphology/kernels.h"
#include "morphology/matrix.h"
#include "tests/support/morphology_oracle.h"
#include "tests/support/restoration_oracle.h"
#include "workspace/parallel.h"

namespace morvane {
namespace {

using Command = void (*)(Workspace&, MessageLog&, ResultView&);
using Levels = std::vector<int>;  // row by row
using oracle::Niveles;
using Row = std::vector<std::string>;
constexpr int m = 77;  // marks the border band, which no kernel may write

// An open picture at one level and the pyramid of side n loaded.
struct Session {
  Workspace ws;
  oracle::Registro win;

  Session(int alto, int ancho, int level, int n = 3, int factor = 0) : win(alto, ancho) {
    oracle::Reservar(ws, alto, ancho);
    ws.ImagenCargada = true;
    ws.ImagenInicial.fill(static_cast<std::uint8_t>(level));
    load(n, TipoMatriz::Piramidal, factor);
  }
  void load(int n, TipoMatriz tipo, std::int32_t factor = 0) {
    win.events.clear();
    CargarMatriz(ws, win, win, n, tipo, factor);
  }
  void run(Command command) {
    win.events.clear();
    command(ws, win, win);
  }
  Levels final() const { return Niveles(ws.ImagenFinal); }
  std::pair<Row, Row> row(int r) const {
    std::pair<Row, Row> out;
    for (int k = 0; k < ws.Matriz.n; ++k) {
      out.first.push_back(win.cell(k, r));
      out.second.push_back(std::to_string(ws.Matriz.at(r, k)));
    }
    return out;
  }
};

TEST(CargarMatriz, KindsAndWeightsModulo256) {
  const std::tuple<TipoMatriz, int, int, int, Row> cases[] = {
      {TipoMatriz::Ceros, 3, 7, 1, {"0", "0", "0"}},
      {TipoMatriz::Piramidal, 5, 1, 0, {"2", "2", "2", "2", "2"}},
      {TipoMatriz::Piramidal, 5, 1, 2, {"2", "1", "0", "1", "2"}},
      {TipoMatriz::Piramidal, 5, -1, 2, {"254", "255", "0", "255", "254"}},
      {TipoMatriz::Piramidal, 9, 100, 1, {"144", "44", "44", "44", "44", "44", "44", "44", "144"}},
      {TipoMatriz::Piramidal, 9, 64, 0, Row(9, "0")},
      {TipoMatriz::Piramidal, 9, 2147483647, 0, Row(9, "252")},  // 4 * (2^31 - 1) ends in 0xFC
  };
  Session s(3, 3, 0);
  for (const auto& [tipo, n, factor, r, want] : cases) {
    s.ws.MatrizCargada = false;
    s.load(n, tipo, factor);
    EXPECT_EQ(s.row(r), std::pair(want, want)) << n << " " << factor;
    EXPECT_TRUE(s.ws.MatrizCargada && s.ws.FactorN == factor);
    EXPECT_EQ(s.win.events, (Row{"clear", "Se ha cargado la Matriz B"}));
  }
  // Custom cells load modulo 256 and are rewritten; cell (col, row) is B[row][col].
  s.win.cells = {{{0, 0}, "300"}, {{1, 0}, "-1"}, {{2, 0}, " +7 "}, {{0, 1}, "1"}, {{1, 1}, "1"},
                 {{2, 1}, "3"},   {{0, 2}, "1"},  {{1, 2}, "1"},    {{2, 2}, "1"}};
  s.load(3, TipoMatriz::Personalizada);
  EXPECT_TRUE(s.ws.MatrizCargada);
  EXPECT_EQ(s.row(0), std::pair(Row{"44", "255", "7"}, Row{"44", "255", "7"}));
  // The scan stops at the sixth cell; the cells after it keep text and weight.
  for (auto& [at, text] : s.win.cells) text = at == std::pair(2, 1) ? "2x" : "+20";
  s.load(3, TipoMatriz::Personalizada);
  EXPECT_FALSE(s.ws.MatrizCargada);
  EXPECT_EQ(s.win.events, (Row{"clear",
                               "box La matriz B no se ha cargado correctamente.\n"
                               "Compruebe que contiene solo valores numéricos",
                               "Error en la matriz B"}));
  EXPECT_EQ(s.row(1), std::pair(Row{"20", "20", "2x"}, Row{"20", "20", "3"}));
  EXPECT_EQ(s.row(2), std::pair(Row(3, "+20"), Row(3, "1")));
}

// base + factor * ring, the ring counted from the centre; modulo 256.
MatrizB Piramide(int n, int factor, int base = 0) {
  MatrizB b{n, std::vector<std::uint8_t>(n * n)};
  for (int r = 0; r < n; ++r)
    for (int k = 0; k < n; ++k)
      b.at(r, k) = static_cast<std::uint8_t>(
          base + std::max(std::abs(r - n / 2), std::abs(k - n / 2)) * factor);
  return b;
}

// Noise; flat with rare impulses; levels near 0 and 255; a noisy ramp.
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

void ExpectAsWindowScan(const Plane& src, const MatrizB& b, int alto, int ancho) {
  for (bool dilate : {true, false}) {
    Plane want(alto, ancho), got(alto, ancho);
    want.fill(m), got.fill(m);
    (dilate ? oracle::DilatarLiteral : oracle::ErosionarLiteral)(src, b, want, alto, ancho);
    (dilate ? Dilatar : Erosionar)(src, b, got, alto, ancho);
    ASSERT_EQ(Niveles(got), Niveles(want)) << (dilate ? "dilation n " : "erosion n ") << b.n;
  }
}

TEST(Kernels, AgreeWithTheWindowScanOnEveryPathShapeAndThreadCount) {
  // Widths around one and two vectors.
  const std::pair<int, int> sizes[] = {{1, 1},   {2, 9},    {9, 2},   {3, 3},   {5, 5},
                                       {9, 9},   {8, 40},   {40, 8},  {9, 41},  {31, 64},
                                       {24, 71}, {13, 300}, {17, 20}, {11, 33}, {10, 18}};
  for (KernelPath path : {KernelPath::Portable, KernelPath::Sse2, KernelPath::Avx2}) {
    if (!SetKernelPath(path)) continue;
    std::mt19937 rng(1234);
    for (auto [alto, ancho] : sizes)
      for (unsigned style = 0; style < 4; ++style) {
        SCOPED_TRACE(::testing::Message()
                     << "path " << int(path) << " style " << style << " " << alto << "x" << ancho);
        const Plane src = Aleatorio(alto, ancho, style, rng);
        for (int n : {3, 5, 7, 9}) {
          // Zero, rings, all 255, a lone 255, random, wrapping rings, a ring
          // with one cell off, zeros but the last weight (not a flat window).
          std::vector<MatrizB> matrices{Piramide(n, 0),      Piramide(n, 10),    Piramide(n, -1),
                                        Piramide(n, 0, 255), Piramide(n, 0),     Piramide(n, 0),
                                        Piramide(n, 100),    Piramide(n, 64, 3), Piramide(n, 10),
                                        Piramide(n, 0)};
          matrices[4].at(0, n - 1) = 255;
          matrices[9].at(n - 1, n - 1) = 50;
          for (auto& w : matrices[5].weights)
            w = static_cast<std::uint8_t>(rng() % 6 ? rng() % 16 : rng());
          matrices[8].at(n / 2 + 1, n / 2) = 90;
          for (const MatrizB& b : matrices)
            ASSERT_NO_FATAL_FAILURE(ExpectAsWindowScan(src, b, alto, ancho));
        }
      }
  }
  SetKernelPath(KernelPath::Automatic);
  std::mt19937 rng(99);
  const Plane src = Aleatorio(613, 517, 3, rng);  // large enough to split into uneven bands
  for (int threads : {3, 8}) {
    FijarHilosPorOperacion(threads);
    for (const MatrizB& b : {Piramide(9, 0), Piramide(7, 10)})
      ASSERT_NO_FATAL_FAILURE(ExpectAsWindowScan(src, b, 613, 517)) << threads << " threads";
  }
  FijarHilosPorOperacion(0);
}

TEST(Commands, TitlesLogLinesAndPaintingInOrderOrRefusals) {
  Session s(2, 5, 100);
  s.run(Cierre);
  EXPECT_EQ(s.win.events, (Row{"title Cierre", "clear", "1-Dilatacion", "2-Erosion", "draw", "step",
                               "draw", "step", "reset", "show"}));
  s.run(PuntosNegros);  // titled only once painted
  EXPECT_EQ(s.win.events, (Row{"clear", "1-Dilatacion", "2-Erosion", "draw", "step", "draw", "step",
                               "reset", "title Puntos Negros", "show"}));
  EXPECT_TRUE(s.ws.NegrosDetectados && !s.ws.BlancosDetectados);
  for (Command command : {Dilatacion, Erosion, Cierre, Apertura, InicialMenosFinal,
                          FinalMenosInicial, PuntosNegros, PuntosBlancos})
    for (bool picture : {false, true}) {
      Session s(6, 6, 50);
      s.ws.ImagenCargada = picture, s.ws.MatrizCargada = !picture, s.ws.NegrosDetectados = true;
      for (Plane* p : {&s.ws.ImagenFinal, &s.ws.Auxiliar1, &s.ws.Auxiliar2}) p->fill(60);
      s.run(command);
      EXPECT_EQ(s.win.events, (Row{"clear", picture ? "No se ha cargado la Matriz B"
                                                    : "No has seleccionado una imagen"}));
      for (const Plane* p : {&s.ws.ImagenFinal, &s.ws.Auxiliar1, &s.ws.Auxiliar2})
        EXPECT_EQ(Niveles(*p), Levels(36, 60));
      EXPECT_TRUE(s.ws.NegrosDetectados && !s.ws.BlancosDetectados);
    }
}

// A dark (bright) block in a field of 100 comes out at one level, the rest 0
// but the white points' border band; closing then difference leave the same.
TEST(Detection, BlocksNarrowerThanTheMatrixAreFound) {
  const std::array<int, 4> cases[] = {{2, 3, 0, 80}, {3, 3, 0, 0}, {3, 5, 0, 80},
                                      {8, 9, 0, 80}, {9, 9, 0, 0}, {1, 3, 10, 80}};
  for (auto [side, n, factor, level] : cases)
    for (bool black : {true, false}) {
      Session s(33, 33, 100, n, factor);
      const int at = 16 - side / 2;
      for (int i = at; i < at + side; ++i)
        std::fill_n(s.ws.ImagenInicial[i] + at, side, black ? 20 : 180);
      s.ws.TamanoElegido = 12 - n;
      s.ws.NegrosDetectados = !black, s.ws.BlancosDetectados = black;
      s.run(black ? PuntosNegros : PuntosBlancos);
      Levels want(33 * 33);
      for (int i = 0; i < 33; ++i)
        for (int j = 0; j < 33; ++j) {
          const bool inside = i >= at && i < at + side && j >= at && j < at + side;
          const bool band = std::min({i, j, 32 - i, 32 - j}) < n / 2;
          want[i * 33 + j] = inside ? level : band && !black ? 100 : 0;
        }
      EXPECT_EQ(s.final(), want) << side << " " << n << " " << black;
      EXPECT_EQ(s.win.drawn, want);
      EXPECT_TRUE(s.ws.NegrosDetectados == black && s.ws.BlancosDetectados == !black);
      s.run(black ? Cierre : Apertura);
      s.run(black ? FinalMenosInicial : InicialMenosFinal);
      std::replace(want.begin(), want.end(), 100, 0);  // the band: the detection's less 100
      EXPECT_EQ(s.final(), want) << side << " " << n << " " << black;
    }
}

}  // namespace
}  // namespace morvane
