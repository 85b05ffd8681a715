// The cubic interpolation filter: sample collection, the system and its
// solution, the conversion of the fitted value, and the threaded run.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "restoration/cubic.h"
#include "tests/support/restoration_oracle.h"

namespace morvane {
namespace {

using oracle::VistaRegistrada;
using Cell = std::pair<int, int>;

// Levels r * 7 + c, damage level 0 everywhere (all admitted), Umbral 50.
void Abrir(Workspace& ws, int alto, int ancho, int damage = 0) {
  oracle::Reservar(ws, alto, ancho);
  ws.ImagenFinal.fill(static_cast<std::uint8_t>(damage));
  for (int r = 0; r < alto; ++r) {
    for (int c = 0; c < ancho; ++c) ws.ImagenInicial[r][c] = static_cast<std::uint8_t>(r * 7 + c);
  }
  CopiarPlano(ws.ImagenInicial, ws.Auxiliar1);
}

// Random levels; damage 200 with the given percentage, below 60 otherwise.
void Azar(Workspace& ws, std::mt19937& rng, int alto, int ancho, int percent) {
  Abrir(ws, alto, ancho);
  for (int r = 0; r < alto; ++r) {
    for (int c = 0; c < ancho; ++c) {
      ws.ImagenInicial[r][c] = static_cast<std::uint8_t>(rng());
      ws.ImagenFinal[r][c] =
          static_cast<std::uint8_t>(static_cast<int>(rng() % 100) < percent ? 200 : rng() % 60);
    }
  }
}

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

OpcionesCubico Hilos(int hilos) {
  OpcionesCubico o;
  o.hilos = hilos;
  return o;
}

TEST(CubicSamples, RingsOneAndTwoInTheirVisitingOrder) {
  Workspace ws;
  Abrir(ws, 30, 30);
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
    Abrir(ws, 15 + static_cast<int>(rng() % 70), 15 + static_cast<int>(rng() % 70));
    ws.Umbral = trial % 5 == 0 ? -1 : 1 + static_cast<int>(rng() % 255);
    for (int y = 0; y < ws.Alto; ++y) {
      for (int x = 0; x < ws.Ancho; ++x) {
        const bool admitted = static_cast<int>(rng() % 1000) < perMille[trial % 7];
        const int u = std::max(ws.Umbral, 1);  // admitted below it, others at it or above
        ws.ImagenFinal[y][x] = static_cast<std::uint8_t>(
            admitted ? rng() % u : std::min<unsigned>(255, u + rng() % 3));
      }
    }
    if (trial % 3 == 0) {
      for (int x = 0, y = static_cast<int>(rng() % ws.Alto); x < ws.Ancho; x += 3)
        ws.ImagenFinal[y][x] = 0;
    }
    for (int r = 7; r < ws.Alto - 7; ++r) {
      for (int c = 7; c < ws.Ancho - 7; ++c)
        ASSERT_EQ(Recoger(ws, r, c, false), Recoger(ws, r, c, true)) << trial << ": " << r << c;
    }
  }
}

TEST(CubicSystem, RowsHoldTheProductsOfTheSampleCoordinates) {
  Muestras s{};
  s[3] = {3, 2, 77};
  s[4] = {3071, 4095, 9};  // y^3 x^3 needs more than 64 bits: rounded once
  MatrizSistema m;
  LlenarMatrizSistema(s, m);
  EXPECT_EQ(m[3],
            (std::array<float, 17>{1, 2, 4, 8, 3, 6, 12, 24, 9, 18, 36, 72, 27, 54, 108, 216, 77}));
  const auto exact =
      static_cast<unsigned __int128>(3071ull * 3071 * 3071) * (4095ull * 4095 * 4095);
  auto distance = [&](float f) {
    const auto g = static_cast<unsigned __int128>(static_cast<long double>(f));
    return g > exact ? g - exact : exact - g;
  };
  EXPECT_LT(distance(m[4][15]), distance(std::nextafter(m[4][15], 0.0f)));
  EXPECT_LT(distance(m[4][15]), distance(std::nextafter(m[4][15], 1e30f)));
}

TEST(CubicSystem, OverflowRaisesExceptInTheGuardedLastStep) {
  MatrizSistema m{};
  Coeficientes a{};
  for (int i = 0; i < 16; ++i) m[i][i] = 1.0f;
  bool consistente = true;

  // The last subtraction of a row overflows: the unknown is 1 and the system is
  // no longer trusted, but nothing is raised.
  m[14][15] = 3e38f;
  a[15] = 3e38f;
  EXPECT_EQ(CalcularIncognita(m, a, 14, consistente), 1.0f);
  EXPECT_FALSE(consistente);
  // So is a division by a zero diagonal.
  consistente = true;
  m[15][15] = 0.0f;
  EXPECT_EQ(CalcularIncognita(m, a, 15, consistente), 1.0f);
  EXPECT_FALSE(consistente);

  // An earlier subtraction that overflows ends the command.
  m[13][14] = 3e38f;
  a[14] = 3e38f;
  EXPECT_THROW(CalcularIncognita(m, a, 13, consistente), ErrorAritmetico);

  // So does a quotient of the elimination beyond single precision.
  MatrizSistema e{};
  for (int i = 0; i < 16; ++i) e[i][i] = 1.0f;
  e[0][0] = 1e-30f;
  e[0][16] = 1e30f;
  consistente = true;
  EXPECT_THROW(EliminacionGauss(e, a, consistente), ErrorAritmetico);
}

TEST(CubicValue, TruncatedTowardZeroThenClamped) {
  EXPECT_EQ(NivelDesdeValor(254.9L), 254);
  EXPECT_EQ(NivelDesdeValor(-0.7L), 0);
  EXPECT_EQ(NivelDesdeValor(300.2L), 255);
  EXPECT_EQ(NivelDesdeValor(-1e30L), 0);
}

// Partial pivoting in extended precision: an independent reference for a
// well-conditioned system.
long double Referencia(const std::vector<std::array<int, 3>>& s, int r, int c) {
  long double m[16][17];
  for (int n = 0; n < 16; ++n) {
    for (int q = 0; q < 16; ++q)
      m[n][q] = std::pow((long double)s[n][0], q / 4) * std::pow((long double)s[n][1], q % 4);
    m[n][16] = s[n][2];
  }
  for (int i = 0; i < 16; ++i) {
    int best = i;
    for (int j = i + 1; j < 16; ++j) best = std::fabs(m[j][i]) > std::fabs(m[best][i]) ? j : best;
    std::swap(m[i], m[best]);
    for (int j = 0; j < 16; ++j) {
      const long double f = j == i ? 0 : m[j][i] / m[i][i];
      for (int q = 0; q < 17; ++q) m[j][q] -= f * m[i][q];
    }
  }
  long double value = 0;
  for (int q = 0; q < 16; ++q)
    value += m[q][16] / m[q][q] * std::pow((long double)r, q / 4) * std::pow((long double)c, q % 4);
  return value;
}

TEST(CubicFilter, WellConditionedPixelAndZeroPivot) {
  // Only (7, 7) is damaged in the scan; with (6, 6) and (5, 5) damaged too no
  // sample is taken twice.
  Workspace ws;
  Abrir(ws, 20, 20);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x)
      ws.ImagenInicial[y][x] = static_cast<std::uint8_t>(60 + (y * 13 + x * x * 5) % 31);
  }
  for (int k = 5; k <= 7; ++k) ws.ImagenFinal[k][k] = 200;
  CopiarPlano(ws.ImagenInicial, ws.Auxiliar1);
  const long double want = Referencia(Recoger(ws, 7, 7, true), 7, 7);
  ASSERT_GT(want - std::floor(want), 0.05L);  // far from a truncation step
  ASSERT_LT(want - std::floor(want), 0.95L);
  VistaRegistrada view(20, 20);
  ws.SistemaConsistente = false;
  FiltroInterpolacionCubica(ws, view);
  EXPECT_TRUE(ws.SistemaConsistente);
  EXPECT_EQ(ws.ImagenFinal[7][7], static_cast<int>(want));

  // Samples all on one column: x, x^2 and x^3 repeat the first column, a pivot
  // comes out exactly zero and the pixels keep their levels.
  Abrir(ws, 40, 40, 200);
  for (int y = 0; y < 40; ++y) ws.ImagenFinal[y][29] = 0;
  VistaRegistrada big(40, 40);
  FiltroInterpolacionCubica(ws, big);
  EXPECT_FALSE(ws.SistemaConsistente);
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 40; ++x) ASSERT_EQ(ws.ImagenFinal[y][x], ws.ImagenInicial[y][x]);
  }
}

TEST(CubicFilter, ThresholdsThatRestoreNothing) {
  std::mt19937 rng(3);
  for (int umbral : {-1, 255}) {
    Workspace ws;
    Azar(ws, rng, 30, 25, 50);
    ws.Umbral = umbral;
    VistaRegistrada view(30, 25);
    FiltroInterpolacionCubica(ws, view, Hilos(2));
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 25; ++x) ASSERT_EQ(ws.ImagenFinal[y][x], ws.ImagenInicial[y][x]);
    }
    EXPECT_EQ(view.steps, 30 - 14);
  }
}

// On any number of threads the run draws and leaves what the literal filter
// does, SistemaConsistente included.
TEST(CubicFilter, MatchesTheLiteralFilterOnAnyNumberOfThreads) {
  std::mt19937 rng(21);
  for (int trial = 0; trial < 8; ++trial) {
    const int alto = 10 + static_cast<int>(rng() % 50), ancho = 10 + static_cast<int>(rng() % 50);
    const int percent = static_cast<int>(rng() % 100);
    Workspace fast, slow;
    std::mt19937 copy = rng;
    Azar(fast, rng, alto, ancho, percent);
    Azar(slow, copy, alto, ancho, percent);
    VistaRegistrada vf(alto, ancho), vs(alto, ancho);
    FiltroInterpolacionCubica(fast, vf, Hilos(trial % 4));
    oracle::FiltroCubicoLiteral(slow, vs);
    SCOPED_TRACE(trial);
    EXPECT_EQ(vf.drawn, vs.drawn);
    EXPECT_EQ(vf.steps, vs.steps);
    EXPECT_EQ(fast.SistemaConsistente, slow.SistemaConsistente);
    for (int y = 0; y < alto; ++y) {
      for (int x = 0; x < ancho; ++x) ASSERT_EQ(fast.ImagenFinal[y][x], slow.ImagenFinal[y][x]);
    }
  }
}

// The first pixel in scan order whose solve raises ends the run there, however
// the rows were shared out: Auxiliar1 holds what was restored before it, the
// rows before it are drawn and its own up to the column before it, ImagenFinal
// is still the damage plane, the flags stay set, nothing is reset or shown.
TEST(CubicFilter, ArithmeticErrorEndsTheRunAtThatPixel) {
  auto open = [](Workspace& ws) {
    std::mt19937 rng(8);
    Azar(ws, rng, 40, 36, 40);
    ws.ImagenFinal[20][18] = ws.ImagenFinal[31][9] = 200;
    ws.NegrosDetectados = true;
  };
  Workspace done;  // the run without error
  open(done);
  VistaRegistrada any(40, 36);
  FiltroInterpolacionCubica(done, any);
  for (int hilos : {1, 2, 3}) {
    Workspace ws;
    open(ws);
    Plane damage(40, 36);
    CopiarPlano(ws.ImagenFinal, damage);
    OpcionesCubico opciones = Hilos(hilos);
    opciones.resolutor = [](const Muestras& s, int r, int c, bool& ok, std::uint8_t& nivel) {
      if (r == 31 && c == 9) throw ErrorAritmetico("later");
      if (r != 20 || c != 18) return NivelInterpolado(s, r, c, ok, nivel);
      ok = false;
      throw ErrorAritmetico(kDesbordamiento);
    };
    VistaRegistrada view(40, 36);
    try {
      FiltroInterpolacionCubica(ws, view, opciones);
      ADD_FAILURE() << "no error";
    } catch (const ErrorAritmetico& e) {
      EXPECT_STREQ(e.what(), kDesbordamiento) << hilos;
    }
    for (int r = 0; r < 40; ++r) {
      for (int c = 0; c < 36; ++c) {
        const bool inside = r >= 7 && c >= 7 && c < 29;
        const bool before = inside && (r < 20 || (r == 20 && c < 18));
        ASSERT_EQ(ws.Auxiliar1[r][c], before ? done.ImagenFinal[r][c] : ws.ImagenInicial[r][c]);
        ASSERT_EQ(view.at(r, c), before ? ws.Auxiliar1[r][c] : -1) << r << "," << c;
        ASSERT_EQ(ws.ImagenFinal[r][c], damage[r][c]);
      }
    }
    EXPECT_FALSE(ws.SistemaConsistente);
    EXPECT_TRUE(ws.NegrosDetectados);
    EXPECT_EQ(view.steps, 13);
    EXPECT_EQ(view.resets + view.shows, 0);
  }
}

}  // namespace
}  // namespace morvane
