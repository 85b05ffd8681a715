// The frame every restoration filter runs in: the working copy, the scan of the
// interior, the drawing of the right view and the progress bar, and the final
// copy of the restored plane into ImagenFinal.
#pragma once

#include <cstdint>

#include "restoration/damage_scan.h"
#include "workspace/plane.h"
#include "workspace/workspace.h"

namespace morvane {

// What a filter is told at each run. The command reads it once; nothing below
// reads the threshold from the workspace.
struct ParametrosFiltro {
  // A pixel is damaged when its ImagenFinal level exceeds umbral, admitted as a
  // neighbour when its level is below it. Any 32-bit value: below 0 every
  // pixel is damaged and none admitted, from 255 up none is damaged.
  std::int32_t umbral = 50;
  int radio = 1;                // half-side of the window: 1 or 2 (not read by the cubic filter)
  bool incluirDanados = false;  // every pixel of the window counts (not read by the cubic filter)
};

// True when the workspace holds the three planes a restoration reads and
// writes, each at least Alto x Ancho. With no image (Alto = Ancho = 0) there is
// nothing to work on.
bool PlanosDeRestauracion(const Workspace& ws);

// First column x in [x0, x1) whose damage level exceeds umbral, or x1 if none.
inline int SiguienteDanado(const std::uint8_t* damage, int x0, int x1, std::int32_t umbral) {
  if (x0 >= x1) return x1;
  if (umbral < 0) return x0;     // every level exceeds it
  if (umbral >= 255) return x1;  // no level exceeds it
  return danos::EscanerElegido().siguiente(damage, x0, x1, static_cast<std::uint8_t>(umbral));
}

// Calls visit(x) for every column x in [x0, x1) whose damage level exceeds
// umbral, in increasing order. The levels are looked at 32 at a time and only
// the damaged ones are visited. visit must not change damage.
template <class Visit>
void RecorrerDanados(const std::uint8_t* damage, int x0, int x1, std::int32_t umbral,
                     Visit&& visit) {
  if (x0 >= x1 || umbral >= 255) return;  // no level exceeds it
  if (umbral < 0) {                       // every level exceeds it
    for (int x = x0; x < x1; ++x) visit(x);
    return;
  }
  const auto t = static_cast<std::uint8_t>(umbral);
  const auto exceden32 = danos::EscanerElegido().exceden32;
  int x = x0;
  for (; x + 32 <= x1; x += 32) {
    for (std::uint32_t hit = exceden32(damage + x, t); hit != 0; hit &= hit - 1)
      visit(x + __builtin_ctz(hit));
  }
  for (; x < x1; ++x) {
    if (damage[x] > t) visit(x);
  }
}

// Draws the margin of width m (rows < m, rows >= alto - m and the column strips
// of the other rows) from ImagenInicial. Does not step the progress bar.
void DibujarMargen(const Workspace& ws, RowSink& view, int m);

// The frame's beginning: false (with the view shown) when the planes are not
// there; otherwise Auxiliar1 starts as a copy of ImagenInicial.
inline bool EmpezarMarco(Workspace& ws, ResultView& view) {
  if (!PlanosDeRestauracion(ws)) {
    view.showView();
    return false;
  }
  CopiarPlano(ws.ImagenInicial, ws.Auxiliar1);
  return true;
}

// The frame's end: the margin drawn, the bar reset, Auxiliar1 copied into
// ImagenFinal and the view shown.
inline void TerminarMarco(Workspace& ws, ResultView& view, int m) {
  DibujarMargen(ws, view, m);
  view.resetProgress();
  CopiarPlano(ws.Auxiliar1, ws.ImagenFinal);
  view.showView();
}

// Runs the frame with margin m. restore(r, c) is called for every pixel of the
// interior whose damage level exceeds umbral, in scan order, and may write a
// new level into Auxiliar1[r][c]. Every interior row is drawn from Auxiliar1
// when it is finished, then the bar is stepped.
template <class Restore>
void RecorrerMarco(Workspace& ws, ResultView& view, int m, std::int32_t umbral, Restore&& restore) {
  if (!EmpezarMarco(ws, view)) return;
  const int alto = ws.Alto;
  const int ancho = ws.Ancho;
  if (alto > 2 * m && ancho > 2 * m) {
    for (int r = m; r < alto - m; ++r) {
      RecorrerDanados(ws.ImagenFinal[r], m, ancho - m, umbral, [&](int c) { restore(r, c); });
      view.drawRow(r, ws.Auxiliar1[r], m, ancho - m);
      view.stepProgress();
    }
  }
  TerminarMarco(ws, view, m);
}

}  // namespace morvane
