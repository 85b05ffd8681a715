// The cubic interpolation filter: sample collection, the system, the solver and
// its arithmetic errors, the conversion of the fitted value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "restoration/cubic.h"
#include "tests/support/restoration_oracle.h"

namespace morvane {
namespace {

using oracle::VistaRegistrada;
using Cell = std::pair<int, int>;

struct Picture {
  Workspace ws;
  Picture(int alto, int ancho, std::uint8_t damage) {
    ws.Alto = alto;
    ws.Ancho = ancho;
    ws.ImagenInicial = Plane(alto, ancho);
    ws.ImagenFinal = Plane(alto, ancho);
    ws.Auxiliar1 = Plane(alto, ancho);
    ws.ImagenFinal.fill(damage);
    ws.Umbral = 50;
    for (int r = 0; r < alto; ++r) {
      for (int c = 0; c < ancho; ++c) ws.ImagenInicial[r][c] = static_cast<std::uint8_t>(r * 7 + c);
    }
    CopiarPlano(ws.ImagenInicial, ws.Auxiliar1);
  }
  std::vector<Cell> fast(int r, int c) {
    BuscadorMuestras finder(ws.ImagenFinal, ws.Auxiliar1, ws.Alto, ws.Ancho, ws.Umbral);
    Muestras s;
    const int n = finder.Recoger(r, c, s);
    return cells(s, n);
  }
  std::vector<Cell> literal(int r, int c) {
    Muestras s;
    const int n = oracle::RecogerMuestrasLiteral(ws.ImagenFinal, ws.Auxiliar1, ws.Alto, ws.Ancho,
                                                 ws.Umbral, r, c, s);
    return cells(s, n);
  }
  static std::vector<Cell> cells(const Muestras& s, int n) {
    std::vector<Cell> out;
    for (int k = 0; k < n; ++k) out.emplace_back(s[k].y, s[k].x);
    return out;
  }
};

TEST(CubicSamples, RingsOneAndTwoInTheirVisitingOrder) {
  Picture p(30, 30, 0);  // everything admitted but the centre
  p.ws.ImagenFinal[15][15] = 200;
  const int r = 15, c = 15;
  const std::vector<Cell> expected = {
      {r - 1, c - 1}, {r - 1, c - 1}, {r - 1, c + 1}, {r + 1, c - 1},
      {r - 2, c - 2}, {r - 1, c - 2}, {r, c - 2},     {r - 2, c - 2},
      {r - 2, c - 1}, {r - 2, c},     {r - 2, c + 2}, {r - 1, c + 2},
      {r, c + 2},     {r + 2, c - 2}, {r + 2, c - 1}, {r + 2, c}};
  EXPECT_EQ(p.fast(r, c), expected);
  EXPECT_EQ(p.literal(r, c), expected);
}

TEST(CubicSamples, RingOneVisitsItsCornerTwiceAndSkipsTheOtherCorners) {
  Picture p(15, 15, 200);
  for (int y = 6; y <= 8; ++y) {
    for (int x = 6; x <= 8; ++x) p.ws.ImagenFinal[y][x] = 0;
  }
  p.ws.ImagenFinal[7][7] = 200;
  const std::vector<Cell> expected = {{6, 6}, {6, 6}, {6, 8}, {8, 6}};
  EXPECT_EQ(p.fast(7, 7), expected);
}

TEST(CubicSamples, CollectionStopsAtSixteenInsideASide) {
  Picture p(30, 30, 0);
  p.ws.ImagenFinal[15][15] = 200;
  p.ws.ImagenFinal[14][14] = 200;  // ring 1 gives two samples, ring 2 twelve
  const std::vector<Cell> got = p.fast(15, 15);
  ASSERT_EQ(got.size(), 16u);
  EXPECT_EQ(got[14], Cell(12, 12));
  EXPECT_EQ(got[15], Cell(13, 12));
  Muestras s;
  BuscadorMuestras finder(p.ws.ImagenFinal, p.ws.Auxiliar1, 30, 30, 50);
  finder.Recoger(15, 15, s);
  EXPECT_EQ(s[15].v, p.ws.Auxiliar1[13][12]);
}

TEST(CubicSamples, RingsLeavingTheImageAreNotVisited) {
  // Row 7: ring 8 would reach row -1, so the admitted pixels further down are
  // never met.
  Picture p(40, 40, 200);
  for (int y = 15; y < 40; ++y) {
    for (int x = 0; x < 40; ++x) p.ws.ImagenFinal[y][x] = 0;
  }
  EXPECT_TRUE(p.fast(7, 20).empty());
  EXPECT_EQ(p.fast(20, 20).size(), 16u);
  // Umbral 0 or below admits nothing at all.
  p.ws.Umbral = 0;
  EXPECT_TRUE(p.fast(20, 20).empty());
}

// The search that skips rings and sides without admitted pixels picks the same
// samples in the same order as the one that visits every pixel.
TEST(CubicSamples, SkippingSearchPicksWhatTheLiteralOnePicks) {
  std::mt19937 rng(11);
  const int densities[] = {0, 1, 3, 10, 60, 400, 1000};  // admitted per thousand
  for (int trial = 0; trial < 40; ++trial) {
    const int alto = 15 + static_cast<int>(rng() % 70);
    const int ancho = 15 + static_cast<int>(rng() % 70);
    const int density = densities[trial % 7];
    Picture p(alto, ancho, 0);
    p.ws.Umbral = 1 + static_cast<int>(rng() % 255);
    for (int y = 0; y < alto; ++y) {
      for (int x = 0; x < ancho; ++x) {
        const bool admitted = static_cast<int>(rng() % 1000) < density;
        // Below the threshold, or at it and just above.
        const int u = p.ws.Umbral;
        const int level =
            admitted ? static_cast<int>(rng() % u) : std::min(255, u + static_cast<int>(rng() % 3));
        p.ws.ImagenFinal[y][x] = static_cast<std::uint8_t>(level);
      }
    }
    // Lines of admitted pixels make long sides with a few samples on them.
    if (trial % 3 == 0) {
      const int y = static_cast<int>(rng() % alto);
      for (int x = 0; x < ancho; x += 3) p.ws.ImagenFinal[y][x] = 0;
    }
    BuscadorMuestras finder(p.ws.ImagenFinal, p.ws.Auxiliar1, alto, ancho, p.ws.Umbral);
    for (int r = 7; r < alto - 7; ++r) {
      for (int c = 7; c < ancho - 7; ++c) {
        Muestras a;
        Muestras b;
        const int n = finder.Recoger(r, c, a);
        const int m = oracle::RecogerMuestrasLiteral(p.ws.ImagenFinal, p.ws.Auxiliar1, alto, ancho,
                                                     p.ws.Umbral, r, c, b);
        ASSERT_EQ(n, m) << trial << ": " << r << "," << c;
        for (int k = 0; k < n; ++k) {
          ASSERT_EQ(a[k].y, b[k].y);
          ASSERT_EQ(a[k].x, b[k].x);
          ASSERT_EQ(a[k].v, b[k].v);
        }
      }
    }
  }
}

TEST(CubicSystem, RowsHoldTheProductsOfTheSampleCoordinates) {
  Muestras s{};
  for (int k = 0; k < 16; ++k) s[k] = Muestra{k, 2 * k + 1, static_cast<std::uint8_t>(k)};
  s[3] = Muestra{3, 2, 77};
  MatrizSistema m;
  LlenarMatrizSistema(s, m);
  const std::array<float, 17> row3 = {1,  2,  4,  8,  3,  6,   12,  24, 9,
                                      18, 36, 72, 27, 54, 108, 216, 77};
  EXPECT_EQ(m[3], row3);
  EXPECT_EQ(m[0][0], 1.0f);  // 0^0
  EXPECT_EQ(m[0][4], 0.0f);
}

// Large products are rounded once, to the nearest float.
TEST(CubicSystem, EntriesAreTheNearestFloatToTheExactProduct) {
  using U128 = unsigned __int128;
  const std::pair<int, int> coords[] = {
      {3000, 3000}, {4095, 3071}, {2097151, 1}, {65537, 65539}, {1000003, 999983}};
  for (auto [y, x] : coords) {
    for (int j = 0; j < 4; ++j) {
      for (int i = 0; i < 4; ++i) {
        U128 exact = 1;
        for (int e = 0; e < j; ++e) exact *= static_cast<U128>(y);
        for (int e = 0; e < i; ++e) exact *= static_cast<U128>(x);
        const float f = EntradaSistema(y, j, x, i);
        // f is an integer when it is that large; it must be no farther from the
        // product than its neighbours.
        auto distance = [&](float g) {
          const long double gl = g;
          const U128 gi = static_cast<U128>(gl);
          return gi > exact ? gi - exact : exact - gi;
        };
        const float up = std::nextafter(f, std::numeric_limits<float>::infinity());
        const float down = std::nextafter(f, 0.0f);
        EXPECT_LE(distance(f), distance(up)) << y << "," << x << " " << j << i;
        if (f >= 1.0f) {
          EXPECT_LE(distance(f), distance(down)) << y << "," << x << " " << j << i;
        }
      }
    }
  }
  EXPECT_THROW(EntradaSistema(1 << 30, 3, 1 << 30, 3), ErrorAritmetico);  // 2^180
}

MatrizSistema Identidad() {
  MatrizSistema m{};
  for (int n = 0; n < 16; ++n) {
    m[n][n] = 1.0f;
    m[n][16] = static_cast<float>(n);
  }
  return m;
}

TEST(CubicSolver, ZeroDiagonalExchangesWithTheFirstNonZeroRowBelow) {
  MatrizSistema m = Identidad();
  m[0][0] = 0.0f;
  m[0][3] = 4.0f;  // row 0: 4 a3 = 8
  m[0][16] = 8.0f;
  m[2][0] = -0.0f;  // minus zero is no pivot either
  m[3][0] = 2.0f;   // row 3: 2 a0 + a3 = 3, the first usable row
  Coeficientes a{};
  bool ok = true;
  EliminacionGauss(m, a, ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(a[3], 2.0f);
  EXPECT_EQ(a[0], 0.5f);
  EXPECT_EQ(a[1], 1.0f);
  EXPECT_EQ(a[2], 2.0f);
  EXPECT_EQ(a[15], 15.0f);
}

TEST(CubicSolver, ColumnWithoutPivotClearsTheFlag) {
  // Samples all in one column: x, x^2, x^3 repeat the first column.
  Muestras s;
  for (int k = 0; k < 16; ++k) s[k] = Muestra{10 + k, 29, static_cast<std::uint8_t>(k * 9)};
  bool ok = true;
  std::uint8_t level = 0;
  EXPECT_FALSE(NivelInterpolado(s, 20, 20, ok, level));
  EXPECT_FALSE(ok);
}

TEST(CubicSolver, OverflowInTheEliminationIsAnArithmeticError) {
  MatrizSistema quotient = Identidad();
  quotient[0][0] = 1e-30f;
  quotient[0][1] = 3e38f;
  Coeficientes a{};
  bool ok = true;
  try {
    EliminacionGauss(quotient, a, ok);
    FAIL() << "no error";
  } catch (const ErrorAritmetico& e) {
    EXPECT_STREQ(e.what(), "Desbordamiento en coma flotante");
  }

  MatrizSistema product = Identidad();
  product[0][1] = 3e38f;
  product[1][0] = 10.0f;
  EXPECT_THROW(EliminacionGauss(product, a, ok), ErrorAritmetico);

  MatrizSistema difference = Identidad();
  difference[0][1] = 3e38f;
  difference[1][0] = -1.0f;
  difference[1][1] = 3e38f;
  EXPECT_THROW(EliminacionGauss(difference, a, ok), ErrorAritmetico);
}

TEST(CubicSolver, OnlyTheLastStepOfAnUnknownIsGuarded) {
  Coeficientes a{};
  a[15] = 10.0f;
  a[14] = 10.0f;

  MatrizSistema last = Identidad();
  last[14][15] = 3e38f;  // column 15 is the last subtraction of row 14
  bool ok = true;
  EXPECT_EQ(CalcularIncognita(last, a, 14, ok), 1.0f);
  EXPECT_FALSE(ok);

  MatrizSistema earlier = Identidad();
  earlier[13][14] = 3e38f;
  ok = true;
  EXPECT_THROW(CalcularIncognita(earlier, a, 13, ok), ErrorAritmetico);

  MatrizSistema zero = Identidad();
  zero[15][15] = 0.0f;
  zero[15][16] = 5.0f;  // 5 / 0
  ok = true;
  EXPECT_EQ(CalcularIncognita(zero, a, 15, ok), 1.0f);
  EXPECT_FALSE(ok);
  zero[15][16] = 0.0f;  // 0 / 0
  ok = true;
  EXPECT_EQ(CalcularIncognita(zero, a, 15, ok), 1.0f);
  EXPECT_FALSE(ok);

  // The remaining unknowns are still worked out after a guarded failure.
  MatrizSistema rest = Identidad();
  rest[15][15] = 0.0f;
  rest[15][16] = 5.0f;
  Coeficientes b{};
  ok = true;
  SustitucionRegresiva(rest, b, ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(b[15], 1.0f);
  EXPECT_EQ(b[3], 3.0f);
}

TEST(CubicValue, TruncatedTowardZeroThenClamped) {
  EXPECT_EQ(NivelDesdeValor(254.9L), 254);
  EXPECT_EQ(NivelDesdeValor(-0.7L), 0);
  EXPECT_EQ(NivelDesdeValor(300.2L), 255);
  EXPECT_EQ(NivelDesdeValor(255.0L), 255);
  EXPECT_EQ(NivelDesdeValor(0.99L), 0);
  EXPECT_EQ(NivelDesdeValor(1e30L), 255);
  EXPECT_EQ(NivelDesdeValor(-1e30L), 0);
  EXPECT_EQ(NivelDesdeValor(std::numeric_limits<long double>::quiet_NaN()), 0);

  Coeficientes a{};
  a[0] = 2.5f;
  a[1] = 1.0f;   // x
  a[4] = -1.0f;  // y
  a[5] = 0.5f;   // y x
  EXPECT_EQ(EvaluarPolinomio(a, 3, 4), 2.5L + 4 - 3 + 6);
}

// Gaussian elimination with partial pivoting in extended precision: an
// independent reference for a well-conditioned system.
long double ResolverReferencia(const Muestras& s, int r, int c) {
  long double m[16][17];
  for (int n = 0; n < 16; ++n) {
    for (int j = 0; j < 4; ++j) {
      for (int i = 0; i < 4; ++i)
        m[n][4 * j + i] = std::pow(static_cast<long double>(s[n].y), j) *
                          std::pow(static_cast<long double>(s[n].x), i);
    }
    m[n][16] = s[n].v;
  }
  for (int i = 0; i < 16; ++i) {
    int best = i;
    for (int j = i + 1; j < 16; ++j) {
      if (std::fabs(m[j][i]) > std::fabs(m[best][i])) best = j;
    }
    for (int q = 0; q < 17; ++q) std::swap(m[i][q], m[best][q]);
    for (int j = 0; j < 16; ++j) {
      if (j == i) continue;
      const long double f = m[j][i] / m[i][i];
      for (int q = 0; q < 17; ++q) m[j][q] -= f * m[i][q];
    }
  }
  long double value = 0;
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 4; ++i)
      value += m[4 * j + i][16] / m[4 * j + i][4 * j + i] * std::pow((long double)r, j) *
               std::pow((long double)c, i);
  }
  return value;
}

TEST(CubicFilter, RestoresAPixelNearTheCornerFromItsFit) {
  // Only (7, 7) is damaged in the scanned area; the corners (6, 6) and (5, 5)
  // are damaged too, so no sample is taken twice.
  Picture p(20, 20, 0);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x)
      p.ws.ImagenInicial[y][x] = static_cast<std::uint8_t>(60 + (y * 13 + x * x * 5) % 31);
  }
  for (Cell cell : {Cell{7, 7}, Cell{6, 6}, Cell{5, 5}})
    p.ws.ImagenFinal[cell.first][cell.second] = 200;
  Muestras s;
  BuscadorMuestras finder(p.ws.ImagenFinal, p.ws.ImagenInicial, 20, 20, 50);
  ASSERT_EQ(finder.Recoger(7, 7, s), 16);
  const long double reference = ResolverReferencia(s, 7, 7);
  ASSERT_GT(reference, 0);
  ASSERT_LT(reference, 255);
  ASSERT_GT(reference - std::floor(reference), 0.05L);  // far from a truncation step
  ASSERT_LT(reference - std::floor(reference), 0.95L);

  VistaRegistrada view(20, 20);
  p.ws.SistemaConsistente = false;
  FiltroInterpolacionCubica(p.ws, view);
  EXPECT_TRUE(p.ws.SistemaConsistente);
  EXPECT_EQ(p.ws.ImagenFinal[7][7], static_cast<int>(reference));
  EXPECT_EQ(view.at(7, 7), static_cast<int>(reference));
  EXPECT_EQ(view.steps, 6);
}

TEST(CubicFilter, SamplesOnOneColumnLeaveThePixelAlone) {
  Picture p(40, 40, 200);
  for (int y = 0; y < 40; ++y) p.ws.ImagenFinal[y][29] = 0;
  VistaRegistrada view(40, 40);
  FiltroInterpolacionCubica(p.ws, view);
  EXPECT_FALSE(p.ws.SistemaConsistente);
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 40; ++x) ASSERT_EQ(p.ws.ImagenFinal[y][x], p.ws.ImagenInicial[y][x]);
  }
}

TEST(CubicFilter, ThresholdsThatRestoreNothing) {
  for (int umbral : {-1, -5000, 255, 1000}) {
    Picture p(30, 25, 0);
    std::mt19937 rng(umbral & 0xff);
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 25; ++x) p.ws.ImagenFinal[y][x] = static_cast<std::uint8_t>(rng());
    }
    p.ws.Umbral = umbral;
    VistaRegistrada view(30, 25);
    FiltroInterpolacionCubica(p.ws, view);
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 25; ++x) {
        ASSERT_EQ(p.ws.ImagenFinal[y][x], p.ws.ImagenInicial[y][x]);
        ASSERT_EQ(view.at(y, x), p.ws.ImagenInicial[y][x]);
      }
    }
    EXPECT_EQ(view.steps, 30 - 14);
  }
}

// The whole filter against the one with the literal search, on pictures with
// damaged areas of every size.
TEST(CubicFilter, MatchesTheLiteralFilter) {
  std::mt19937 rng(21);
  for (int trial = 0; trial < 12; ++trial) {
    const int alto = 10 + static_cast<int>(rng() % 50);
    const int ancho = 10 + static_cast<int>(rng() % 50);
    Picture fast(alto, ancho, 0);
    Picture slow(alto, ancho, 0);
    const int density = static_cast<int>(rng() % 100);
    for (int y = 0; y < alto; ++y) {
      for (int x = 0; x < ancho; ++x) {
        const auto level = static_cast<std::uint8_t>(rng());
        const auto damage =
            static_cast<std::uint8_t>(static_cast<int>(rng() % 100) < density ? 200 : rng() % 60);
        fast.ws.ImagenInicial[y][x] = slow.ws.ImagenInicial[y][x] = level;
        fast.ws.ImagenFinal[y][x] = slow.ws.ImagenFinal[y][x] = damage;
      }
    }
    VistaRegistrada vf(alto, ancho);
    VistaRegistrada vs(alto, ancho);
    FiltroInterpolacionCubica(fast.ws, vf);
    oracle::FiltroCubicoLiteral(slow.ws, vs);
    SCOPED_TRACE(trial);
    EXPECT_EQ(vf.drawn, vs.drawn);
    for (int y = 0; y < alto; ++y) {
      for (int x = 0; x < ancho; ++x)
        ASSERT_EQ(fast.ws.ImagenFinal[y][x], slow.ws.ImagenFinal[y][x]);
    }
  }
}

}  // namespace
}  // namespace morvane
