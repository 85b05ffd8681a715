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

int SiguienteDanado(const std::uint8_t* damage, int x0, int x1, int umbral) {
  if (x0 >= x1) return x1;
  if (umbral < 0) return x0;     // every level exceeds it
  if (umbral >= 255) return x1;  // no level exceeds it
  const auto t = static_cast<std::uint8_t>(umbral);
  int x = x0;
#if defined(__SSE2__)
  // Most pixels are undamaged: look at 16 levels at a time.
  const __m128i vt = _mm_set1_epi8(static_cast<char>(t));
  for (; x + 16 <= x1; x += 16) {
    if (const std::uint32_t hit = Excedidos16(damage + x, vt)) return x + __builtin_ctz(hit);
  }
#endif
  for (; x < x1; ++x) {
    if (damage[x] > t) return x;
  }
  return x1;
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
