#include "tests/support/restoration_oracle.h"

#include <algorithm>
#include <numeric>
#include <random>
#include <utility>

#include "tests/support/cubic_oracle.h"

namespace morvane::oracle {

void Reservar(Workspace& ws, int alto, int ancho) {
  ws.Alto = alto;
  ws.Ancho = ancho;
  for (Plane* p : {&ws.ImagenInicial, &ws.ImagenFinal, &ws.Auxiliar1, &ws.Auxiliar2})
    *p = Plane(alto, ancho);
}

void Azar(Workspace& ws, unsigned seed, int alto, int ancho, int percent) {
  std::mt19937 rng(seed);
  Reservar(ws, alto, ancho);
  for (int r = 0; r < alto; ++r) {
    for (int c = 0; c < ancho; ++c) {
      ws.ImagenInicial[r][c] = static_cast<std::uint8_t>(rng());
      ws.ImagenFinal[r][c] = static_cast<std::uint8_t>(
          static_cast<int>(rng() % 100) < percent ? (rng() % 4 ? 200 : 255) : rng() % 51);
    }
  }
  CopiarPlano(ws.ImagenInicial, ws.Auxiliar1);
}

std::vector<int> Niveles(const Plane& plane) {
  std::vector<int> levels;
  for (int r = 0; r < plane.rows(); ++r)
    levels.insert(levels.end(), plane[r], plane[r] + plane.cols());
  return levels;
}

template <class Pixel>
void MarcoLiteral(Workspace& ws, ResultView& view, int m, Pixel pixel) {
  CopiarPlano(ws.ImagenInicial, ws.Auxiliar1);
  // A picture with no column to scan has no scanned row either.
  for (int r = m; r <= ws.Alto - m - 1 && ws.Ancho > 2 * m; ++r) {
    for (int c = m; c <= ws.Ancho - m - 1; ++c) {
      if (ws.ImagenFinal[r][c] > ws.Umbral) pixel(r, c);
      view.drawRow(r, ws.Auxiliar1[r], c, c + 1);
    }
    view.stepProgress();
  }
  for (int r = 0; r < ws.Alto; ++r)
    for (int c = 0; c < ws.Ancho; ++c)
      if (r < m || r >= ws.Alto - m || c < m || c >= ws.Ancho - m)
        view.drawRow(r, ws.ImagenInicial[r], c, c + 1);
  view.resetProgress();
  CopiarPlano(ws.Auxiliar1, ws.ImagenFinal);
  view.showView();
}

void FiltroVecindadLiteral(Workspace& ws, ResultView& view, int filtro, int h,
                           bool incluirDanados) {
  MarcoLiteral(ws, view, h, [&](int r, int c) {
    std::uint8_t levels[25];
    int n = 0;
    for (int dr = -h; dr <= h; ++dr)
      for (int dc = -h; dc <= h; ++dc)
        if (incluirDanados || ws.ImagenFinal[r - dr][c - dc] < ws.Umbral)
          levels[n++] = ws.Auxiliar1[r - dr][c - dc];
    if (n == 0) return;
    int slots[25];  // the median's, free ones marked 1000, sorted by exchanges
    for (int k = 0; k < 25; ++k) slots[k] = k < n ? levels[k] : 1000;
    for (int pass = 0; pass < 25; ++pass)
      for (int k = 0; k < 24; ++k)
        if (slots[k] > slots[k + 1]) std::swap(slots[k], slots[k + 1]);
    const auto [lo, hi] = std::minmax_element(levels, levels + n);
    const int level[] = {std::accumulate(levels, levels + n, 0) / n, slots[n / 2],
                         ws.Auxiliar1[r][c] < *lo ? *lo : *hi};
    ws.Auxiliar1[r][c] = static_cast<std::uint8_t>(level[filtro]);
  });
}

void FiltroCubicoLiteral(Workspace& ws, ResultView& view) {
  MarcoLiteral(ws, view, kMargenCubico, [&](int r, int c) {
    PuntoMuestra puntos[16];  // solved by the independent solver, not by the filter's own
    if (RecogerAnillos(ws.ImagenFinal, ws.Auxiliar1, ws.Alto, ws.Ancho, ws.Umbral, r, c, puntos) <
        16)
      return;
    const ResultadoCubico resultado = ResolverLiteral(puntos, r, c);
    if (resultado.desenlace == Desenlace::Excepcion) throw ErrorAritmetico(kDesbordamiento);
    ws.SistemaConsistente = resultado.consistente;
    if (resultado.desenlace == Desenlace::Restaurado)
      ws.Auxiliar1[r][c] = static_cast<std::uint8_t>(resultado.nivel);
  });
}

}  // namespace morvane::oracle
