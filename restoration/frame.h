// The frame every restoration filter runs in: the working copy, the scan of the
// interior, the drawing of the right view and the progress bar, and the final
// copy of the restored plane into ImagenFinal.
#pragma once

#include <cstdint>

#include "workspace/plane.h"
#include "workspace/workspace.h"

namespace morvane {

// True when the workspace holds the three planes a restoration reads and
// writes, each at least Alto x Ancho. With no image (Alto = Ancho = 0) there is
// nothing to work on.
bool PlanosDeRestauracion(const Workspace& ws);

// First column x in [x0, x1) whose damage level exceeds umbral, or x1 if none.
int SiguienteDanado(const std::uint8_t* damage, int x0, int x1, int umbral);

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

// Runs the frame with margin m. restore(r, c) is called for every damaged pixel
// of the interior, in scan order, and may write a new level into Auxiliar1[r][c].
// Every interior row is drawn from Auxiliar1 when it is finished, then the bar
// is stepped.
template <class Restore>
void RecorrerMarco(Workspace& ws, ResultView& view, int m, Restore&& restore) {
  if (!EmpezarMarco(ws, view)) return;
  const int alto = ws.Alto;
  const int ancho = ws.Ancho;
  if (alto > 2 * m && ancho > 2 * m) {
    for (int r = m; r < alto - m; ++r) {
      const std::uint8_t* damage = ws.ImagenFinal[r];
      for (int c = SiguienteDanado(damage, m, ancho - m, ws.Umbral); c < ancho - m;
           c = SiguienteDanado(damage, c + 1, ancho - m, ws.Umbral))
        restore(r, c);
      view.drawRow(r, ws.Auxiliar1[r], m, ancho - m);
      view.stepProgress();
    }
  }
  TerminarMarco(ws, view, m);
}

}  // namespace morvane
