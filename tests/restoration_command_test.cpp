// Restaurar and the frame every filter runs in: the log lines, the flags, the
// margin, the right view and the progress bar.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "restoration/cubic.h"
#include "restoration/frame.h"
#include "restoration/neighbourhood.h"
#include "restoration/restaurar.h"
#include "tests/support/restoration_oracle.h"

namespace morvane {
namespace {

using oracle::LogRegistrado;
using oracle::VistaRegistrada;
using Lines = std::vector<std::string>;

void Abrir(Workspace& ws, int alto, int ancho, std::uint32_t seed) {
  ws.Alto = alto;
  ws.Ancho = ancho;
  ws.ImagenInicial = Plane(alto, ancho);
  ws.ImagenFinal = Plane(alto, ancho);
  ws.Auxiliar1 = Plane(alto, ancho);
  ws.Auxiliar2 = Plane(alto, ancho);
  std::mt19937 rng(seed);
  for (int r = 0; r < alto; ++r) {
    for (int c = 0; c < ancho; ++c) {
      ws.ImagenInicial[r][c] = static_cast<std::uint8_t>(rng());
      // Mostly calm, some damaged, some exactly at the threshold of 50.
      const unsigned k = rng() % 10;
      ws.ImagenFinal[r][c] = static_cast<std::uint8_t>(k < 6 ? rng() % 50 : k < 7 ? 50 : rng());
      ws.Auxiliar1[r][c] = 77;  // whatever a detection left
    }
  }
}

bool PlanosIguales(const Plane& a, const Plane& b, int alto, int ancho) {
  for (int r = 0; r < alto; ++r) {
    for (int c = 0; c < ancho; ++c) {
      if (a[r][c] != b[r][c]) return false;
    }
  }
  return true;
}

bool VistaIgual(const VistaRegistrada& v, const Plane& p, int alto, int ancho) {
  for (int r = 0; r < alto; ++r) {
    for (int c = 0; c < ancho; ++c) {
      if (v.at(r, c) != p[r][c]) return false;
    }
  }
  return !v.outOfRange;
}

TEST(Restaurar, WithoutDetectionOnlyAsksForOne) {
  Workspace ws;
  Abrir(ws, 8, 8, 1);
  LogRegistrado log;
  log.lines = {"old"};
  VistaRegistrada view(8, 8);
  Restaurar(ws, log, view, {});
  EXPECT_EQ(log.lines, Lines{"Realice la detección de negros o blancos primero"});
  EXPECT_EQ(log.clears, 1);
  EXPECT_EQ(view.title, "");
  EXPECT_EQ(view.drawCalls, 0);
  EXPECT_EQ(view.shows, 0);
  EXPECT_EQ(ws.Auxiliar1[3][3], 77);

  // A run clears both flags, so the next one is refused.
  ws.NegrosDetectados = true;
  Restaurar(ws, log, view, {});
  EXPECT_FALSE(ws.NegrosDetectados);
  EXPECT_FALSE(ws.BlancosDetectados);
  Restaurar(ws, log, view, {});
  EXPECT_EQ(log.lines, Lines{"Realice la detección de negros o blancos primero"});
}

TEST(Restaurar, LogNamesWhatIsRestoredAndTheFilter) {
  struct Road {
    bool negros, blancos, avanzado;
    const char* line;
  };
  const Road roads[] = {
      {true, false, false, "Restauración de puntos negros"},
      {false, true, false, "Restauración de puntos blancos"},
      {true, true, true, "Restauración avanzada"},
      {false, true, true, "Restauración avanzada"},
  };
  const std::pair<int, const char*> filters[] = {
      {0, "Usando filtro de Media"},     {1, "Usando filtro de Mediana"},
      {2, "Usando filtro Conservativo"}, {3, "Usando filtro de Interpolación Cubica"},
      {4, "Usando filtro de Media"},     {-1, "Usando filtro de Media"},
  };
  for (const Road& road : roads) {
    for (const auto& [filtro, line] : filters) {
      Workspace ws;
      Abrir(ws, 20, 20, 2);
      ws.NegrosDetectados = road.negros;
      ws.BlancosDetectados = road.blancos;
      LogRegistrado log;
      VistaRegistrada view(20, 20);
      Restaurar(ws, log, view, {filtro, 0, false, road.avanzado});
      EXPECT_EQ(log.lines, (Lines{road.line, line})) << filtro;
      EXPECT_EQ(view.title, "Restauración");
      EXPECT_EQ(view.shows, 1);
      EXPECT_FALSE(ws.NegrosDetectados);
      EXPECT_FALSE(ws.BlancosDetectados);
    }
  }
}

TEST(Restaurar, SizeItemChoosesTheWindow) {
  EXPECT_EQ(RadioDesdeIndice(0), 1);
  EXPECT_EQ(RadioDesdeIndice(1), 2);
  EXPECT_EQ(RadioDesdeIndice(-1), 1);
  EXPECT_EQ(RadioDesdeIndice(2), 1);

  // Through the command: with "5 X 5" the second row is not restored.
  for (int tamano : {-1, 0, 1}) {
    Workspace ws;
    Abrir(ws, 12, 12, 3);
    ws.Umbral = -1;  // everything damaged
    ws.NegrosDetectados = true;
    LogRegistrado log;
    VistaRegistrada view(12, 12);
    Restaurar(ws, log, view, {0, tamano, true, false});
    const int m = tamano == 1 ? 2 : 1;
    EXPECT_EQ(view.steps, 12 - 2 * m);
    for (int c = 0; c < 12; ++c) EXPECT_EQ(ws.ImagenFinal[m - 1][c], ws.ImagenInicial[m - 1][c]);
    int changed = 0;
    for (int c = m; c < 12 - m; ++c) changed += ws.ImagenFinal[m][c] != ws.ImagenInicial[m][c];
    EXPECT_GT(changed, 0) << tamano;
  }
}

TEST(Restaurar, WithNoImageTouchesNoPlaneButShowsTheView) {
  for (int filtro = 0; filtro < 4; ++filtro) {
    Workspace ws;  // advanced mode switched on with nothing open
    ws.NegrosDetectados = ws.BlancosDetectados = true;
    LogRegistrado log;
    VistaRegistrada view(0, 0);
    Restaurar(ws, log, view, {filtro, 0, false, true});
    EXPECT_EQ(log.lines.front(), "Restauración avanzada");
    EXPECT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(view.title, "Restauración");
    EXPECT_EQ(view.drawCalls, 0);
    EXPECT_EQ(view.steps, 0);
    EXPECT_EQ(view.shows, 1);
    EXPECT_FALSE(ws.ImagenFinal.exists());
    EXPECT_FALSE(ws.Auxiliar1.exists());
    EXPECT_FALSE(ws.NegrosDetectados || ws.BlancosDetectados);
  }
}

// Every filter at every margin: the right view ends up equal to ImagenFinal,
// margin included; ImagenFinal equals Auxiliar1; the margin holds the input;
// the bar is stepped once per scanned row, then reset.
TEST(Frame, RightViewEqualsTheResultAndTheMarginKeepsTheInput) {
  struct Case {
    int filtro, tamano, alto, ancho;
  };
  const Case cases[] = {{0, 0, 9, 13},  {1, 1, 11, 7}, {2, 0, 6, 6},
                        {3, 0, 24, 31}, {0, 1, 5, 30}, {3, 0, 15, 15}};
  for (const Case& k : cases) {
    Workspace ws;
    Abrir(ws, k.alto, k.ancho, 4);
    ws.BlancosDetectados = true;
    Plane damage(k.alto, k.ancho);
    CopiarPlano(ws.ImagenFinal, damage);
    LogRegistrado log;
    VistaRegistrada view(k.alto, k.ancho);
    view.drawn.assign(view.drawn.size(), 999);  // as if the detection were shown
    Restaurar(ws, log, view, {k.filtro, k.tamano, false, false});
    const int m = k.filtro == 3 ? kMargenCubico : RadioDesdeIndice(k.tamano);
    SCOPED_TRACE(k.filtro * 100 + k.alto);
    EXPECT_TRUE(VistaIgual(view, ws.ImagenFinal, k.alto, k.ancho));
    EXPECT_TRUE(PlanosIguales(ws.ImagenFinal, ws.Auxiliar1, k.alto, k.ancho));
    int restored = 0;
    for (int r = 0; r < k.alto; ++r) {
      for (int c = 0; c < k.ancho; ++c) {
        const bool margin = r < m || r >= k.alto - m || c < m || c >= k.ancho - m;
        if (margin || damage[r][c] <= ws.Umbral) {
          EXPECT_EQ(ws.ImagenFinal[r][c], ws.ImagenInicial[r][c]) << r << "," << c;
        }
        restored += ws.ImagenFinal[r][c] != ws.ImagenInicial[r][c];
      }
    }
    if (k.alto > 2 * m && k.ancho > 2 * m) {
      EXPECT_EQ(view.steps, k.alto - 2 * m);
      if ((k.alto - 2 * m) * (k.ancho - 2 * m) > 20) {
        EXPECT_GT(restored, 0);
      }
    } else {
      EXPECT_EQ(view.steps, 0);
      EXPECT_EQ(restored, 0);
    }
    EXPECT_EQ(view.progress, 0);
    EXPECT_EQ(view.resets, 1);
  }
}

// The row-at-a-time frame draws the same levels and leaves the same planes as
// the pixel-at-a-time one.
TEST(Frame, MatchesThePixelByPixelFrame) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 60; ++trial) {
    const int alto = 1 + static_cast<int>(rng() % 24);
    const int ancho = 1 + static_cast<int>(rng() % 40);
    const int filtro = static_cast<int>(rng() % 3);
    const int radio = 1 + static_cast<int>(rng() % 2);
    const bool incluir = rng() % 2;
    const int umbrales[] = {-3, 0, 1, 50, 50, 50, 120, 255};
    Workspace fast;
    Workspace slow;
    Abrir(fast, alto, ancho, trial);
    Abrir(slow, alto, ancho, trial);
    fast.Umbral = slow.Umbral = umbrales[rng() % 8];
    VistaRegistrada vf(alto, ancho);
    VistaRegistrada vs(alto, ancho);
    if (filtro == 0) FiltroMedia(fast, vf, radio, incluir);
    if (filtro == 1) FiltroMediana(fast, vf, radio, incluir);
    if (filtro == 2) FiltroConservativo(fast, vf, radio, incluir);
    oracle::FiltroVecindadLiteral(slow, vs, filtro, radio, incluir);
    SCOPED_TRACE(trial);
    EXPECT_TRUE(PlanosIguales(fast.Auxiliar1, slow.Auxiliar1, alto, ancho));
    EXPECT_TRUE(PlanosIguales(fast.ImagenFinal, slow.ImagenFinal, alto, ancho));
    EXPECT_EQ(vf.drawn, vs.drawn);
    EXPECT_EQ(vf.steps, vs.steps);
    EXPECT_EQ(vf.shows, 1);
  }
}

}  // namespace
}  // namespace morvane
