// The frame every restoration filter runs in: the working copy, the scan of the
// interior, the drawing of the right view and the progress bar, and the final
// copy of the restored plane into ImagenFinal.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "workspace/plane.h"
#include "workspace/workspace.h"

namespace morvane {

// True when the workspace holds the three planes a restoration reads and
// writes, each at least Alto x Ancho. With no image (Alto = Ancho = 0) there is
// nothing to work on.
bool PlanosDeRestauracion(const Workspace& ws);

// First column x in [x0, x1) whose damage level exceeds umbral, or x1 if none.
int SiguienteDanado(const std::uint8_t* damage, int x0, int x1, int umbral);

#if defined(__SSE2__)
// Bit i set when level p[i] of the sixteen exceeds t (vt holds t in every
// byte): when max(level, t) differs from t.
inline std::uint32_t Excedidos16(const std::uint8_t* p, __m128i vt) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const auto calm =
      static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, vt), vt)));
  return ~calm & 0xFFFFu;
}
#endif

// Calls visit(x) for every column x in [x0, x1) whose damage level exceeds
// umbral, in increasing order. Most pixels are undamaged: the levels are
// looked at 32 at a time and only the damaged ones are visited. visit must not
// change damage.
template <class Visit>
void RecorrerDanados(const std::uint8_t* damage, int x0, int x1, int umbral, Visit&& visit) {
  if (x0 >= x1 || umbral >= 255) return;  // no level exceeds it
  if (umbral < 0) {                       // every level exceeds it
    for (int x = x0; x < x1; ++x) visit(x);
    return;
  }
  const auto t = static_cast<std::uint8_t>(umbral);
  int x = x0;
#if defined(__SSE2__)
  const __m128i vt = _mm_set1_epi8(static_cast<char>(t));
  for (; x + 32 <= x1; x += 32) {
    for (std::uint32_t hit = Excedidos16(damage + x, vt) | Excedidos16(damage + x + 16, vt) << 16;
         hit != 0; hit &= hit - 1)
      visit(x + __builtin_ctz(hit));
  }
#endif
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
      RecorrerDanados(ws.ImagenFinal[r], m, ancho - m, ws.Umbral, [&](int c) { restore(r, c); });
      view.drawRow(r, ws.Auxiliar1[r], m, ancho - m);
      view.stepProgress();
    }
  }
  TerminarMarco(ws, view, m);
}

}  // namespace morvane
