#include "restoration/neighbourhood.h"

#include <algorithm>

#include "restoration/frame.h"

namespace morvane {

namespace {

// Gathers the admitted levels of the window around (r, c) into levels, in the
// visiting order (row offsets +h down to -h, column offsets +h down to -h: rows
// r-h .. r+h, columns c-h .. c+h), and returns how many there are.
int Admitidos(const Workspace& ws, int r, int c, int h, bool incluirDanados, std::uint8_t* levels) {
  int n = 0;
  if (incluirDanados) {
    for (int y = r - h; y <= r + h; ++y) {
      const std::uint8_t* aux = ws.Auxiliar1[y];
      for (int x = c - h; x <= c + h; ++x) levels[n++] = aux[x];
    }
    return n;
  }
  const int umbral = ws.Umbral;
  for (int y = r - h; y <= r + h; ++y) {
    const std::uint8_t* aux = ws.Auxiliar1[y];
    const std::uint8_t* damage = ws.ImagenFinal[y];
    for (int x = c - h; x <= c + h; ++x) {
      if (damage[x] < umbral) levels[n++] = aux[x];
    }
  }
  return n;
}

template <class Rule>
void Filtrar(Workspace& ws, ResultView& view, int radio, bool incluirDanados, Rule rule) {
  const int h = radio == 2 ? 2 : 1;
  RecorrerMarco(ws, view, h, [&](int r, int c) {
    std::uint8_t levels[25];
    const int n = Admitidos(ws, r, c, h, incluirDanados, levels);
    if (n == 0) return;  // nothing to compute from: the level stays
    ws.Auxiliar1[r][c] = rule(levels, n, ws.Auxiliar1[r][c]);
  });
}

}  // namespace

void FiltroMedia(Workspace& ws, ResultView& view, int radio, bool incluirDanados) {
  Filtrar(ws, view, radio, incluirDanados, [](const std::uint8_t* levels, int n, std::uint8_t) {
    int sum = 0;
    for (int k = 0; k < n; ++k) sum += levels[k];
    return static_cast<std::uint8_t>(sum / n);
  });
}

void FiltroMediana(Workspace& ws, ResultView& view, int radio, bool incluirDanados) {
  // The level at position n / 2 (from 0) of the n admitted levels in ascending
  // order: the upper of the two middle ones when n is even.
  Filtrar(ws, view, radio, incluirDanados, [](std::uint8_t* levels, int n, std::uint8_t) {
    std::nth_element(levels, levels + n / 2, levels + n);
    return levels[n / 2];
  });
}

void FiltroConservativo(Workspace& ws, ResultView& view, int radio, bool incluirDanados) {
  Filtrar(ws, view, radio, incluirDanados,
          [](const std::uint8_t* levels, int n, std::uint8_t centre) {
            std::uint8_t lo = 255;
            std::uint8_t hi = 0;
            for (int k = 0; k < n; ++k) {
              lo = std::min(lo, levels[k]);
              hi = std::max(hi, levels[k]);
            }
            return centre < lo ? lo : hi;
          });
}

}  // namespace morvane
