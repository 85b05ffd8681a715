#include "tests/support/restoration_oracle.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace morvane::oracle {

void Reservar(Workspace& ws, int alto, int ancho) {
  ws.Alto = alto;
  ws.Ancho = ancho;
  ws.ImagenInicial = Plane(alto, ancho);
  ws.ImagenFinal = Plane(alto, ancho);
  ws.Auxiliar1 = Plane(alto, ancho);
  ws.Auxiliar2 = Plane(alto, ancho);
}

void VistaRegistrada::drawRow(int y, const std::uint8_t* levels, int x0, int x1) {
  if (y < 0 || y >= alto_ || x0 < 0 || x1 > ancho_) throw std::out_of_range("draw outside");
  for (int x = x0; x < x1; ++x) drawn[static_cast<std::size_t>(y) * ancho_ + x] = levels[x];
}

namespace {

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
  for (int r = 0; r < ws.Alto; ++r) {
    for (int c = 0; c < ws.Ancho; ++c) {
      if (r < m || r >= ws.Alto - m || c < m || c >= ws.Ancho - m)
        view.drawRow(r, ws.ImagenInicial[r], c, c + 1);
    }
  }
  view.resetProgress();
  CopiarPlano(ws.Auxiliar1, ws.ImagenFinal);
  view.showView();
}

int Mediana(const std::uint8_t* levels, int n) {
  int slots[25];
  for (int k = 0; k < 25; ++k) slots[k] = k < n ? levels[k] : 1000;
  for (int pass = 0; pass < 25; ++pass) {
    for (int k = 0; k < 24; ++k) {
      if (slots[k] > slots[k + 1]) std::swap(slots[k], slots[k + 1]);
    }
  }
  return slots[n / 2];
}

}  // namespace

void FiltroVecindadLiteral(Workspace& ws, ResultView& view, int filtro, int h,
                           bool incluirDanados) {
  MarcoLiteral(ws, view, h, [&](int r, int c) {
    std::uint8_t levels[25];
    int n = 0;
    for (int dr = -h; dr <= h; ++dr) {
      for (int dc = -h; dc <= h; ++dc) {
        if (incluirDanados || ws.ImagenFinal[r - dr][c - dc] < ws.Umbral)
          levels[n++] = ws.Auxiliar1[r - dr][c - dc];
      }
    }
    if (n == 0) return;
    int lo = 255, hi = 0, sum = 0;
    for (int k = 0; k < n; ++k) {
      lo = std::min<int>(lo, levels[k]);
      hi = std::max<int>(hi, levels[k]);
      sum += levels[k];
    }
    const int centre = ws.Auxiliar1[r][c];
    const int level = filtro == 0   ? sum / n
                      : filtro == 1 ? Mediana(levels, n)
                      : centre < lo ? lo
                                    : hi;
    ws.Auxiliar1[r][c] = static_cast<std::uint8_t>(level);
  });
}

int RecogerMuestrasLiteral(const Workspace& ws, int r, int c, Muestras& muestras) {
  int n = 0;
  auto visit = [&](int y, int x) {
    if (n < 16 && ws.ImagenFinal[y][x] < ws.Umbral) muestras[n++] = {y, x, ws.Auxiliar1[y][x]};
  };
  for (int k = 1; n < 16 && r - k >= 0 && c - k >= 0 && r + k < ws.Alto && c + k < ws.Ancho; ++k) {
    for (int y = r - k; y <= r + k - 2; ++y) visit(y, c - k);
    for (int x = c - k; x <= c + k - 2; ++x) visit(r - k, x);
    for (int y = r - k; y <= r + k - 2; ++y) visit(y, c + k);
    for (int x = c - k; x <= c + k - 2; ++x) visit(r + k, x);
  }
  return n;
}

void FiltroCubicoLiteral(Workspace& ws, ResultView& view) {
  MarcoLiteral(ws, view, kMargenCubico, [&](int r, int c) {
    Muestras muestras;
    std::uint8_t nivel;
    if (RecogerMuestrasLiteral(ws, r, c, muestras) == 16 &&
        NivelInterpolado(muestras, r, c, ws.SistemaConsistente, nivel))
      ws.Auxiliar1[r][c] = nivel;
  });
}

}  // namespace morvane::oracle
