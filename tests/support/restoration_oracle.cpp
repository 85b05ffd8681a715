#include "tests/support/restoration_oracle.h"

namespace morvane::oracle {

void VistaRegistrada::drawRow(int y, const std::uint8_t* levels, int x0, int x1) {
  ++drawCalls;
  if (y < 0 || y >= alto_ || x0 < 0 || x1 > ancho_) {
    outOfRange = true;
    return;
  }
  for (int x = x0; x < x1; ++x) drawn[static_cast<std::size_t>(y) * ancho_ + x] = levels[x];
}

int MedianaLiteral(const std::uint8_t* levels, int n) {
  int valores[25];
  for (int& v : valores) v = 1000;
  for (int k = 0; k < n; ++k) valores[k] = levels[k];
  bool exchanged = true;
  while (exchanged) {
    exchanged = false;
    for (int k = 0; k < 24; ++k) {
      if (valores[k] > valores[k + 1]) {
        const int t = valores[k];
        valores[k] = valores[k + 1];
        valores[k + 1] = t;
        exchanged = true;
      }
    }
  }
  return valores[n / 2];
}

namespace {

void Margen(Workspace& ws, ResultView& view, int m) {
  for (int r = 0; r < ws.Alto; ++r) {
    for (int c = 0; c < ws.Ancho; ++c) {
      if (r < m || r >= ws.Alto - m || c < m || c >= ws.Ancho - m)
        view.drawRow(r, ws.ImagenInicial[r], c, c + 1);
    }
  }
}

template <class Pixel>
void MarcoLiteral(Workspace& ws, ResultView& view, int m, Pixel pixel) {
  if (ws.Alto > 0 && ws.Ancho > 0) {
    for (int r = 0; r < ws.Alto; ++r) {
      for (int c = 0; c < ws.Ancho; ++c) ws.Auxiliar1[r][c] = ws.ImagenInicial[r][c];
    }
  }
  // A picture with no column to scan has no scanned row either.
  for (int r = m; r <= ws.Alto - m - 1 && ws.Ancho > 2 * m; ++r) {
    for (int c = m; c <= ws.Ancho - m - 1; ++c) {
      if (ws.ImagenFinal[r][c] > ws.Umbral) pixel(r, c);
      view.drawRow(r, ws.Auxiliar1[r], c, c + 1);
    }
    view.stepProgress();
  }
  Margen(ws, view, m);
  view.resetProgress();
  for (int r = 0; r < ws.Alto; ++r) {
    for (int c = 0; c < ws.Ancho; ++c) ws.ImagenFinal[r][c] = ws.Auxiliar1[r][c];
  }
  view.showView();
}

}  // namespace

void FiltroVecindadLiteral(Workspace& ws, ResultView& view, int filtro, int radio,
                           bool incluirDanados) {
  const int h = radio;
  MarcoLiteral(ws, view, h, [&](int r, int c) {
    std::uint8_t levels[25];
    int n = 0;
    for (int dr = -h; dr <= h; ++dr) {
      for (int dc = -h; dc <= h; ++dc) {
        const int y = r - dr;
        const int x = c - dc;
        if (incluirDanados || ws.ImagenFinal[y][x] < ws.Umbral) levels[n++] = ws.Auxiliar1[y][x];
      }
    }
    if (n == 0) return;
    if (filtro == 0) {
      int sum = 0;
      for (int k = 0; k < n; ++k) sum += levels[k];
      ws.Auxiliar1[r][c] = static_cast<std::uint8_t>(sum / n);
    } else if (filtro == 1) {
      ws.Auxiliar1[r][c] = static_cast<std::uint8_t>(MedianaLiteral(levels, n));
    } else {
      int lo = 255;
      int hi = 0;
      for (int k = 0; k < n; ++k) {
        if (levels[k] < lo) lo = levels[k];
        if (levels[k] > hi) hi = levels[k];
      }
      const int x = ws.Auxiliar1[r][c];
      ws.Auxiliar1[r][c] = static_cast<std::uint8_t>(x < lo ? lo : hi);
    }
  });
}

int RecogerMuestrasLiteral(const Plane& danos, const Plane& niveles, int alto, int ancho,
                           int umbral, int r, int c, Muestras& muestras) {
  int n = 0;
  auto visit = [&](int y, int x) {
    if (n < 16 && danos[y][x] < umbral) muestras[n++] = Muestra{y, x, niveles[y][x]};
  };
  for (int k = 1; n < 16; ++k) {
    if (r - k < 0 || c - k < 0 || r + k > alto - 1 || c + k > ancho - 1) break;
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
    if (RecogerMuestrasLiteral(ws.ImagenFinal, ws.Auxiliar1, ws.Alto, ws.Ancho, ws.Umbral, r, c,
                               muestras) < 16)
      return;
    std::uint8_t nivel;
    if (NivelInterpolado(muestras, r, c, ws.SistemaConsistente, nivel)) ws.Auxiliar1[r][c] = nivel;
  });
}

}  // namespace morvane::oracle
