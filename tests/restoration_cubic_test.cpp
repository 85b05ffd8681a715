// The cubic interpolation filter: sample collection, the system and its
// solution, the conversion of the fitted value, and the threaded run.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "restoration/cubic.h"
#include "tests/support/restoration_oracle.h"

namespace morvane {
namespace {

using oracle::Azar;
using oracle::Niveles;
using oracle::VistaRegistrada;
using Cell = std::pair<int, int>;

std::vector<std::array<int, 3>> Recoger(const Workspace& ws, int r, int c, bool literal) {
  Muestras s;
  const int n = literal
                    ? oracle::RecogerMuestrasLiteral(ws, r, c, s)
                    : BuscadorMuestras(ws.ImagenFinal, ws.Auxiliar1, ws.Alto, ws.Ancho, ws.Umbral)
                          .Recoger(r, c, s);
  std::vector<std::array<int, 3>> out;
  for (int k = 0; k < n; ++k) out.push_back({s[k].y, s[k].x, s[k].v});
  return out;
}

TEST(CubicSamples, RingsOneAndTwoInTheirVisitingOrder) {
  Workspace ws;
  oracle::Reservar(ws, 30, 30);
  ws.ImagenFinal[15][15] = 200;
  const Cell expected[] = {{14, 14}, {14, 14}, {14, 16}, {16, 14}, {13, 13}, {14, 13},
                           {15, 13}, {13, 13}, {13, 14}, {13, 15}, {13, 17}, {14, 17},
                           {15, 17}, {17, 13}, {17, 14}, {17, 15}};
  for (bool literal : {false, true}) {
    const auto got = Recoger(ws, 15, 15, literal);
    ASSERT_EQ(got.size(), 16u);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(Cell(got[k][0], got[k][1]), expected[k]) << k;
  }
}

// The search jumping between admitted pixels picks what the literal one does,
// on sparse and dense pictures, lines of admitted pixels and thresholds.
TEST(CubicSamples, FastSearchPicksWhatTheLiteralOnePicks) {
  std::mt19937 rng(11);
  const int perMille[] = {0, 1, 3, 10, 60, 400, 1000};
  for (int trial = 0; trial < 35; ++trial) {
    Workspace ws;
    Azar(ws, trial, 15 + static_cast<int>(rng() % 70), 15 + static_cast<int>(rng() % 70), 0);
    ws.Umbral = trial % 5 == 0 ? -1 : 1 + static_cast<int>(rng() % 255);
    const int u = std::max(ws.Umbral, 1);  // admitted below it, the others at it or just above
    for (int y = 0; y < ws.Alto; ++y) {
      for (int x = 0; x < ws.Ancho; ++x)
        ws.ImagenFinal[y][x] =
            static_cast<std::uint8_t>(static_cast<int>(rng() % 1000) < perMille[trial % 7]
                                          ? rng() % u
                                          : std::min<unsigned>(255, u + rng() % 3));
    }
    for (int x = 0, y = static_cast<int>(rng() % ws.Alto); trial % 3 == 0 && x < ws.Ancho; x += 3)
      ws.ImagenFinal[y][x] = 0;
    for (int r = 7; r < ws.Alto - 7; ++r) {
      for (int c = 7; c < ws.Ancho - 7; ++c)
        ASSERT_EQ(Recoger(ws, r, c, false), Recoger(ws, r, c, true)) << trial << ": " << r << c;
    }
  }
}

// An entry of the system beyond single precision ends the command: the samples
// lie 2^22 apart, so y^3 x^3 is 2^132.
TEST(CubicSystem, AnEntryBeyondSinglePrecisionRaises) {
  Muestras s{};
  for (int k = 0; k < 16; ++k)
    s[k] = {k % 4 == 3 ? 1 << 22 : k % 4, k / 4 == 3 ? 1 << 22 : k / 4, 9};
  bool consistente = false;
  std::uint8_t nivel = 0;
  EXPECT_THROW(NivelInterpolado(s, 1, 1, consistente, nivel), ErrorAritmetico);
}

TEST(CubicValue, TruncatedTowardZeroThenClamped) {
  const std::pair<long double, int> cases[] = {
      {254.9L, 254}, {-0.7L, 0}, {300.2L, 255}, {-1e30L, 0}};
  for (auto [valor, nivel] : cases) EXPECT_EQ(NivelDesdeValor(valor), nivel) << valor;
}

TEST(CubicFilter, WellConditionedPixelAndZeroPivot) {
  // The levels around (7, 8) lie on 100 + C(y - 4, 2) C(x - 5, 2) / 2, whole at
  // the sixteen samples (corners (6, 7) and (5, 6), met twice otherwise, are
  // damaged outside the scan) and 104.5 at the pixel itself.
  Workspace ws;
  oracle::Reservar(ws, 20, 20);
  for (int y = 0; y < 11; ++y) {
    for (int x = 0; x < 11; ++x)
      ws.ImagenInicial[y][x] =
          static_cast<std::uint8_t>(100 + (y - 4) * (y - 5) * (x - 5) * (x - 6) / 8);
  }
  ws.ImagenFinal[7][8] = ws.ImagenFinal[6][7] = ws.ImagenFinal[5][6] = 200;
  ws.SistemaConsistente = false;
  VistaRegistrada view(20, 20);
  FiltroInterpolacionCubica(ws, view);
  EXPECT_TRUE(ws.SistemaConsistente);
  EXPECT_EQ(ws.ImagenFinal[7][8], 104);

  // Samples all on one column: x, x^2 and x^3 repeat the first column, a pivot
  // comes out exactly zero and the pixels keep their levels.
  Azar(ws, 3, 40, 40, 100);
  for (int y = 0; y < 40; ++y) ws.ImagenFinal[y][29] = 0;
  VistaRegistrada big(40, 40);
  FiltroInterpolacionCubica(ws, big);
  EXPECT_FALSE(ws.SistemaConsistente);
  EXPECT_EQ(Niveles(ws.ImagenFinal), Niveles(ws.ImagenInicial));
}

// On one and two threads the run draws and leaves what the literal filter
// does, SistemaConsistente included; Umbral -1 and 255 restore nothing.
TEST(CubicFilter, MatchesTheLiteralFilter) {
  for (int trial = 0; trial < 10; ++trial) {
    const int alto = 10 + trial * 5, ancho = 59 - trial * 4;
    Workspace fast, slow;
    for (Workspace* ws : {&fast, &slow}) {
      Azar(*ws, trial, alto, ancho, trial * 11);
      ws->Umbral = trial == 8 ? -1 : trial == 9 ? 255 : 50;
    }
    VistaRegistrada vf(alto, ancho), vs(alto, ancho);
    FiltroInterpolacionCubica(fast, vf, {1 + trial % 2, {}});
    oracle::FiltroCubicoLiteral(slow, vs);
    SCOPED_TRACE(trial);
    EXPECT_EQ(vf.drawn, vs.drawn);
    EXPECT_EQ(vf.steps, vs.steps);
    EXPECT_EQ(fast.SistemaConsistente, slow.SistemaConsistente);
    EXPECT_EQ(Niveles(fast.ImagenFinal), Niveles(slow.ImagenFinal));
    if (trial >= 8) {
      EXPECT_EQ(Niveles(fast.ImagenFinal), Niveles(fast.ImagenInicial));
    }
  }
}

// The first pixel in scan order whose solve raises ends the run there, however
// the rows were shared out: Auxiliar1 holds what was restored before it, the
// rows before it are drawn and its own up to the column before it, ImagenFinal
// is still the damage plane, the flags stay set, nothing is reset or shown.
TEST(CubicFilter, ArithmeticErrorEndsTheRunAtThatPixel) {
  Workspace done, ws[3];
  for (Workspace* w : {&done, &ws[0], &ws[1], &ws[2]}) {
    Azar(*w, 8, 40, 36, 40);
    w->ImagenFinal[20][18] = w->ImagenFinal[31][9] = 200;
    w->NegrosDetectados = true;
  }
  VistaRegistrada any(40, 36);
  FiltroInterpolacionCubica(done, any);  // the run without error
  for (int hilos : {1, 2, 3}) {
    Workspace& w = ws[hilos - 1];
    const auto damage = Niveles(w.ImagenFinal);
    VistaRegistrada view(40, 36);
    const OpcionesCubico opciones{
        hilos, [](const Muestras& s, int r, int c, bool& ok, std::uint8_t& nivel) {
          if (r == 31 && c == 9) throw ErrorAritmetico("later");
          if (r != 20 || c != 18) return NivelInterpolado(s, r, c, ok, nivel);
          ok = false;
          throw ErrorAritmetico(kDesbordamiento);
        }};
    try {
      FiltroInterpolacionCubica(w, view, opciones);
      ADD_FAILURE() << "no error";
    } catch (const ErrorAritmetico& e) {
      EXPECT_STREQ(e.what(), kDesbordamiento) << hilos;
    }
    for (int r = 0; r < 40; ++r) {
      for (int c = 0; c < 36; ++c) {
        const bool before = r >= 7 && c >= 7 && c < 29 && (r < 20 || (r == 20 && c < 18));
        ASSERT_EQ(w.Auxiliar1[r][c], before ? done.ImagenFinal[r][c] : w.ImagenInicial[r][c]);
        ASSERT_EQ(view.at(r, c), before ? w.Auxiliar1[r][c] : -1) << r << "," << c;
      }
    }
    EXPECT_EQ(Niveles(w.ImagenFinal), damage);
    EXPECT_FALSE(w.SistemaConsistente);
    EXPECT_TRUE(w.NegrosDetectados);
    EXPECT_EQ(view.steps, 13);
    EXPECT_EQ(view.resets + view.shows, 0);
  }
}

}  // namespace
}  // namespace morvane
