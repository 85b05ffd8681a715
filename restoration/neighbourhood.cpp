#include "restoration/neighbourhood.h"

#include <algorithm>

#include "restoration/frame.h"

namespace morvane {

namespace {

// Gathers the admitted levels of the window around (r, c) into levels, in the
// visiting order (row offsets +h down to -h, column offsets +h down to -h: rows
// r-h .. r+h, columns c-h .. c+h), and returns how many there are.
template <int H>
int Admitidos(const Workspace& ws, int r, int c, const ParametrosFiltro& p, std::uint8_t* levels) {
  int n = 0;
  if (p.incluirDanados) {
    for (int y = r - H; y <= r + H; ++y) {
      const std::uint8_t* aux = ws.Auxiliar1[y];
      for (int x = c - H; x <= c + H; ++x) levels[n++] = aux[x];
    }
    return n;
  }
  // Every level is written and kept only when admitted: no branch to guess
  // wrong on a noisy picture. levels has room for the last, unkept write.
  const std::int32_t umbral = p.umbral;  // compared as an integer: never squeezed into a level
  for (int y = r - H; y <= r + H; ++y) {
    const std::uint8_t* aux = ws.Auxiliar1[y];
    const std::uint8_t* damage = ws.ImagenFinal[y];
    for (int x = c - H; x <= c + H; ++x) {
      levels[n] = aux[x];
      n += damage[x] < umbral;
    }
  }
  return n;
}

// Ascending order of the nine levels by a fixed network of 25 exchanges.
void Ordenar9(std::uint8_t* v) {
  static constexpr std::uint8_t kPares[25][2] = {
      {0, 1}, {3, 4}, {6, 7}, {1, 2}, {4, 5}, {7, 8}, {0, 1}, {3, 4}, {6, 7},
      {0, 3}, {3, 6}, {0, 3}, {1, 4}, {4, 7}, {1, 4}, {2, 5}, {5, 8}, {2, 5},
      {1, 3}, {5, 7}, {2, 6}, {4, 6}, {2, 4}, {2, 3}, {5, 6}};
  // Unrolled, every index is a constant and the nine levels stay in registers.
  std::uint8_t w[9];
  std::copy(v, v + 9, w);
#pragma GCC unroll 25
  for (const auto& p : kPares) {
    const std::uint8_t a = w[p[0]];
    const std::uint8_t b = w[p[1]];
    w[p[0]] = std::min(a, b);
    w[p[1]] = std::max(a, b);
  }
  std::copy(w, w + 9, v);
}

template <int H, class Rule>
void FiltrarCon(Workspace& ws, ResultView& view, const ParametrosFiltro& p, Rule rule) {
  RecorrerMarco(ws, view, H, p.umbral, [&](int r, int c) {
    std::uint8_t levels[26];
    const int n = Admitidos<H>(ws, r, c, p, levels);
    if (n == 0) return;  // nothing to compute from: the level stays
    ws.Auxiliar1[r][c] = rule(levels, n, ws.Auxiliar1[r][c]);
  });
}

template <class Rule>
void Filtrar(Workspace& ws, ResultView& view, const ParametrosFiltro& p, Rule rule) {
  if (p.radio == 2)
    FiltrarCon<2>(ws, view, p, rule);
  else
    FiltrarCon<1>(ws, view, p, rule);
}

}  // namespace

void FiltroMedia(Workspace& ws, ResultView& view, const ParametrosFiltro& p) {
  Filtrar(ws, view, p, [](const std::uint8_t* levels, int n, std::uint8_t) {
    int sum = 0;
    for (int k = 0; k < n; ++k) sum += levels[k];
    return static_cast<std::uint8_t>(sum / n);
  });
}

void FiltroMediana(Workspace& ws, ResultView& view, const ParametrosFiltro& p) {
  // The level at position n / 2 (from 0) of the n admitted levels in ascending
  // order: the upper of the two middle ones when n is even.
  Filtrar(ws, view, p, [](std::uint8_t* levels, int n, std::uint8_t) {
    if (n <= 9) {
      // The free places hold 255, above or equal to every level: they sort
      // after the n levels and leave position n / 2 as it was.
      std::fill(levels + n, levels + 9, std::uint8_t{255});
      Ordenar9(levels);
    } else {
      std::nth_element(levels, levels + n / 2, levels + n);
    }
    return levels[n / 2];
  });
}

void FiltroConservativo(Workspace& ws, ResultView& view, const ParametrosFiltro& p) {
  Filtrar(ws, view, p, [](const std::uint8_t* levels, int n, std::uint8_t centre) {
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
