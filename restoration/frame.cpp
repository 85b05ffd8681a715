#include "restoration/frame.h"

namespace morvane {

bool PlanosDeRestauracion(const Workspace& ws) {
  if (ws.Alto <= 0 || ws.Ancho <= 0) return false;
  const Plane* planes[] = {&ws.ImagenInicial, &ws.ImagenFinal, &ws.Auxiliar1};
  for (const Plane* p : planes) {
    if (!p->exists() || p->rows() < ws.Alto || p->cols() < ws.Ancho) return false;
  }
  return true;
}

void DibujarMargen(const Workspace& ws, RowSink& view, int m) {
  const int alto = ws.Alto;
  const int ancho = ws.Ancho;
  for (int r = 0; r < alto; ++r) {
    const std::uint8_t* row = ws.ImagenInicial[r];
    if (r < m || r >= alto - m || ancho <= 2 * m) {
      view.drawRow(r, row, 0, ancho);
    } else {
      view.drawRow(r, row, 0, m);
      view.drawRow(r, row, ancho - m, ancho);
    }
  }
}

}  // namespace morvane
