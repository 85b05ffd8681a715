// Restaurar and the damage scanners against literal ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "restoration/filtros.h"
#include "restoration/frame.h"
#include "restoration/restaurar.h"
#include "tests/support/restoration_oracle.h"
#include "workspace/parallel.h"
#include "workspace/simd.h"

namespace morvane {
namespace {

using oracle::Niveles;
using oracle::Registro;

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

// Every filter, size, thread count and inclusion, thresholds 50, -5 (all
// damaged, none admitted: nothing changes) and 255, against the literal frame.
TEST(Restaurar, RightViewEqualsTheResult) {
  const int sizes[][2] = {{1, 1},   {2, 9},   {4, 4},   {5, 30},  {9, 13},
                          {14, 40}, {40, 14}, {24, 31}, {55, 23}, {30, 59}};
  const std::pair<int, bool> variants[] = {
      {50, false}, {-5, false}, {255, false}, {50, true}, {-5, true}};
  const std::string restores[] = {"de puntos negros", "de puntos blancos", "avanzada"};
  const std::string filters[] = {"Usando filtro de Media", "Usando filtro de Mediana",
                                 "Usando filtro Conservativo",
                                 "Usando filtro de Interpolación Cubica"};
  for (int run = 0; run < 4 * 2 * 10 * 5; ++run) {
    const int filtro = run / 100, tamano = run / 50 % 2, alto = sizes[run / 5 % 10][0],
              ancho = sizes[run / 5 % 10][1];
    const auto [umbral, incluir] = variants[filtro == 3 ? run % 3 : run % 5];
    Workspace fast, slow;
    for (Workspace* ws : {&fast, &slow}) {
      oracle::Azar(*ws, run / 5, alto, ancho, run * 7 % 100);
      ws->NegrosDetectados = run % 3 != 1;
      ws->BlancosDetectados = run % 3 != 0;
    }
    slow.Umbral = umbral;
    fast.Umbral = 7;  // the command reads the threshold it is given, not the workspace's
    Registro log(alto, ancho), vf(alto, ancho), vs(alto, ancho);
    FijarHilosPorOperacion(run / 5 % 3);
    Restaurar(fast, log, vf,
              {static_cast<Filtro>(filtro), tamano == 1 ? Ventana::De5x5 : Ventana::De3x3, incluir,
               run % 3 == 2, umbral});
    FijarHilosPorOperacion(0);
    filtro == 3 ? oracle::FiltroCubicoLiteral(slow, vs)
                : oracle::FiltroVecindadLiteral(slow, vs, filtro, tamano + 1, incluir);
    SCOPED_TRACE(testing::Message()
                 << filtro << " " << tamano << " " << alto << "x" << ancho << " umbral " << umbral
                 << (incluir ? " included" : "") << " threads " << run / 5 % 3);
    EXPECT_EQ(vf.drawn, vs.drawn);
    EXPECT_EQ(vf.drawn, Niveles(fast.ImagenFinal));
    EXPECT_EQ(Niveles(fast.Auxiliar1), Niveles(fast.ImagenFinal));
    EXPECT_EQ(fast.SistemaConsistente, slow.SistemaConsistente);
    EXPECT_TRUE(vf.count("step") == vs.count("step") && vf.count("reset") == 1 &&
                vf.count("title Restauración") == 1 && vf.count("show") == 1);
    EXPECT_EQ(log.events, (std::vector<std::string>{"clear", "Restauración " + restores[run % 3],
                                                    filters[filtro]}));
    EXPECT_FALSE(fast.NegrosDetectados || fast.BlancosDetectados);
    EXPECT_EQ(MargenDe(DescripcionFiltro(static_cast<Filtro>(filtro)), tamano + 1),
              filtro == 3 ? kMargenCubico : tamano + 1);
  }
  Workspace ws;
  oracle::Reservar(ws, 20, 20);
  Registro log(20, 20), view(20, 20);
  Restaurar(ws, log, view, {});
  EXPECT_EQ(log.events, (std::vector<std::string>{
                            "clear", "Realice la detección de negros o blancos primero"}));
  EXPECT_TRUE(view.events.empty());
}

}  // namespace
}  // namespace morvane
