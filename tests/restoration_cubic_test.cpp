// The cubic filter's sample search and solver against independent ones, and a
// run that an arithmetic error ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "restoration/cubic.h"
#include "restoration/cubic_samples.h"
#include "tests/support/cubic_oracle.h"
#include "tests/support/morphology_oracle.h"
#include "tests/support/restoration_oracle.h"
#include "workspace/parallel.h"

namespace morvane {
namespace {

using oracle::Azar;
using oracle::Niveles;
using oracle::Registro;

std::vector<std::array<int, 3>> Recoger(const Workspace& ws, int r, int c, bool literal) {
  Muestras s;
  oracle::PuntoMuestra p[16];
  const int n = literal
                    ? oracle::RecogerAnillos(ws.ImagenFinal, ws.Auxiliar1, ws.Alto, ws.Ancho,
                                             ws.Umbral, r, c, p)
                    : BuscadorMuestras(ws.ImagenFinal, ws.Auxiliar1, ws.Alto, ws.Ancho, ws.Umbral)
                          .Recoger(r, c, s);
  std::vector<std::array<int, 3>> out;
  for (int k = 0; k < n; ++k)
    out.push_back(literal ? std::array{p[k].y, p[k].x, p[k].v}
                          : std::array{s[k].y, s[k].x, int{s[k].v}});
  return out;
}

// Last, rings past 255 pixels a side: damaged runs longer than one table look-up.
TEST(CubicSamples, FastSearchPicksWhatTheLiteralOnePicks) {
  std::mt19937 rng(11);
  const int perMille[] = {0, 1, 3, 10, 60, 400, 1000};
  for (int trial = 0; trial <= 35; ++trial) {
    const bool wide = trial == 35;
    Workspace ws;
    Azar(ws, trial, wide ? 1000 : 15 + rng() % 70, wide ? 1000 : 15 + rng() % 70, 0);
    ws.Umbral = wide ? 50 : trial % 5 == 0 ? -1 : 1 + static_cast<int>(rng() % 255);
    const int u = std::max(ws.Umbral, 1);  // admitted below it, the others at it or just above
    for (int y = 0; y < ws.Alto; ++y)
      for (int x = 0; x < ws.Ancho; ++x)
        ws.ImagenFinal[y][x] = wide ? 200
                               : static_cast<int>(rng() % 1000) < perMille[trial % 7]
                                   ? rng() % u
                                   : std::min<unsigned>(255, u + rng() % 3);
    for (int i = 0; wide && i < 60; ++i) ws.ImagenFinal[rng() % 1000][rng() % 1000] = 10;
    for (int x = 0, y = static_cast<int>(rng() % ws.Alto); trial % 3 == 0 && x < ws.Ancho; x += 3)
      ws.ImagenFinal[y][x] = 0;
    for (int r = wide ? 350 : 7; r < ws.Alto - (wide ? 350 : 7); r += wide ? 37 : 1)
      for (int c = wide ? 350 : 7; c < ws.Ancho - (wide ? 350 : 7); c += wide ? 41 : 1)
        ASSERT_EQ(Recoger(ws, r, c, false), Recoger(ws, r, c, true)) << trial << ": " << r << c;
  }
}

// The first pixel in scan order whose solve raises ends the run there, however
// the rows were shared out: what came before is restored and drawn, nothing else.
TEST(CubicFilter, ArithmeticErrorEndsTheRunAtThatPixel) {
  Workspace done, ws[3];
  for (Workspace* w : {&done, &ws[0], &ws[1], &ws[2]}) {
    Azar(*w, 8, 40, 36, 40);
    w->ImagenFinal[20][18] = w->ImagenFinal[31][9] = 200;
    w->NegrosDetectados = true;
  }
  Registro any(40, 36);
  FiltroInterpolacionCubica(done, any, {done.Umbral});  // the run without error
  for (int hilos : {1, 2, 3}) {
    Workspace& w = ws[hilos - 1];
    const auto damage = Niveles(w.ImagenFinal);
    Registro view(40, 36);
    const Resolutor resolutor = [](const Muestras& s, int r, int c, bool& ok, std::uint8_t& nivel) {
      if (r == 31 && c == 9) throw ErrorAritmetico("later");
      if (r != 20 || c != 18) return NivelInterpolado(s, r, c, ok, nivel);
      ok = false;
      throw ErrorAritmetico(kDesbordamiento);
    };
    FijarHilosPorOperacion(hilos);
    try {
      FiltroInterpolacionCubica(w, view, {w.Umbral}, resolutor);
      ADD_FAILURE() << "no error";
    } catch (const ErrorAritmetico& e) {
      EXPECT_STREQ(e.what(), kDesbordamiento);
    }
    for (int r = 0; r < 40; ++r)
      for (int c = 0; c < 36; ++c) {
        const bool before = r >= 7 && c >= 7 && c < 29 && (r < 20 || (r == 20 && c < 18));
        ASSERT_EQ(w.Auxiliar1[r][c], before ? done.ImagenFinal[r][c] : w.ImagenInicial[r][c]);
        ASSERT_EQ(view.at(r, c), before ? w.Auxiliar1[r][c] : -1) << r << "," << c;
      }
    EXPECT_EQ(Niveles(w.ImagenFinal), damage);
    EXPECT_TRUE(!w.SistemaConsistente && w.NegrosDetectados);
    EXPECT_TRUE(view.count("step") == 13 && view.count("reset") + view.count("show") == 0);
  }
  FijarHilosPorOperacion(0);
}

// Scenes: random; plateaus with 5 x 5 damage; isolated damage; every fifth
// column clean (vanishing columns); then sample sets far from the origin.
TEST(CubicSolver, AgreesWithAnIndependentSolverOnEverySampleSet) {
  using oracle::Desenlace;
  int cuenta[3] = {}, diferencias = 0;  // by the independent solver's outcome
  auto comparar = [&](const oracle::PuntoMuestra(&propias)[16], int r, int c) {
    Muestras muestras;
    for (int k = 0; k < 16; ++k)
      muestras[k] = {propias[k].y, propias[k].x, static_cast<std::uint8_t>(propias[k].v)};
    const oracle::ResultadoCubico esperado = oracle::ResolverLiteral(propias, r, c);
    bool consistente = !esperado.consistente;  // the solver must set it either way
    std::uint8_t nivel = 0;
    Desenlace obtenido = Desenlace::Excepcion;
    try {
      obtenido = NivelInterpolado(muestras, r, c, consistente, nivel) ? Desenlace::Restaurado
                                                                      : Desenlace::SinSolucion;
    } catch (const ErrorAritmetico&) {
    }
    ++cuenta[static_cast<int>(esperado.desenlace)];
    const bool igual = obtenido == esperado.desenlace &&
                       (obtenido == Desenlace::Excepcion || consistente == esperado.consistente) &&
                       (obtenido != Desenlace::Restaurado || nivel == esperado.nivel);
    if (!igual && diferencias++ < 3)
      ADD_FAILURE() << "(" << r << ", " << c << "): " << int(obtenido) << " " << int{nivel}
                    << ", expected " << int(esperado.desenlace) << " " << esperado.nivel;
  };
  std::mt19937 rng(5);
  const MatrizB plano{3, std::vector<std::uint8_t>(9, 0)};
  const MatrizB bloque{5, std::vector<std::uint8_t>(25, 0)};
  for (int escena = 0; escena < 12; ++escena) {
    Workspace ws;
    const int alto = 30 + escena * 5, ancho = 90 - escena * 4;
    oracle::Azar(ws, 100 + escena, alto, ancho, 30 + escena * 3);
    const int kind = escena % 4;
    for (int y = 0; y < alto; ++y)
      for (int x = 0; x < ancho; ++x) {
        if (kind == 1) ws.Auxiliar2[y][x] = rng() % 100 < 3 ? 200 : 0;  // dilated below
        if (kind == 2) ws.ImagenFinal[y][x] = static_cast<int>(rng() % 100) < escena ? 200 : 0;
        if (kind == 3) ws.ImagenFinal[y][x] = x % 5 ? 200 : 0;
      }
    if (kind == 1) {
      oracle::DilatarLiteral(ws.Auxiliar1, plano, ws.ImagenInicial, alto, ancho);
      ws.ImagenFinal.fill(0);
      oracle::DilatarLiteral(ws.Auxiliar2, bloque, ws.ImagenFinal, alto, ancho);
    }
    for (int r = kMargenCubico; r < alto - kMargenCubico; ++r)
      for (int c = kMargenCubico; c < ancho - kMargenCubico; ++c) {
        oracle::PuntoMuestra propias[16];
        if (ws.ImagenFinal[r][c] > ws.Umbral &&
            oracle::RecogerAnillos(ws.ImagenFinal, ws.ImagenInicial, alto, ancho, ws.Umbral, r, c,
                                   propias) == 16)
          comparar(propias, r, c);
      }
  }
  for (int t = 0; t < 4000; ++t) {
    const int r = 8 + static_cast<int>(rng() % (oracle::kLimite - 16));
    const int c = 8 + static_cast<int>(rng() % (oracle::kLimite - 16));
    oracle::PuntoMuestra muestras[16];
    for (auto& m : muestras)
      m = {r + static_cast<int>(rng() % 15) - 7, c + static_cast<int>(rng() % 15) - 7,
           static_cast<int>(rng() % 256)};
    comparar(muestras, r, c);
  }
  EXPECT_EQ(diferencias, 0);
  EXPECT_GT(cuenta[0], 1000);  // restored
  EXPECT_GT(cuenta[1], 1000);  // no solution
  EXPECT_GT(cuenta[2], 0);     // raised
  // Samples 2^22 apart make y^3 x^3 2^132, beyond single precision: it raises.
  Muestras s{};
  for (int k = 0; k < 16; ++k)
    s[k] = {k % 4 == 3 ? 1 << 22 : k % 4, k / 4 == 3 ? 1 << 22 : k / 4, 9};
  bool consistente = false;
  std::uint8_t nivel = 0;
  EXPECT_THROW(NivelInterpolado(s, 1, 1, consistente, nivel), ErrorAritmetico);
}

}  // namespace
}  // namespace morvane
