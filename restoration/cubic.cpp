#include "restoration/cubic.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <utility>

#include "restoration/frame.h"

namespace morvane {

namespace {

using U128 = unsigned __int128;

// Rounds a 128-bit integer to the nearest float (ties to even), infinity when
// it lies beyond the float range.
float RedondearEntero(U128 p) {
  const auto hi = static_cast<std::uint64_t>(p >> 64);
  if (hi == 0) return static_cast<float>(static_cast<std::uint64_t>(p));
  // Keep the 64 leading bits and fold the rest into a sticky bit: 40 bits are
  // still dropped by the conversion, so the sticky bit only breaks false ties.
  const int s = 64 - __builtin_clzll(hi);
  auto top = static_cast<std::uint64_t>(p >> s);
  if ((p << (128 - s)) != 0) top |= 1u;
  return std::ldexp(static_cast<float>(top), s);
}

U128 Potencia(int base, int exp) {
  U128 p = 1;
  for (int e = 0; e < exp; ++e) p *= static_cast<U128>(static_cast<std::uint32_t>(base));
  return p;
}

[[noreturn]] void Desbordamiento() {
  throw ErrorAritmetico(kDesbordamiento);
}

// Rings this close are visited pixel by pixel; most damaged pixels of a real
// picture find their sixteen samples there.
constexpr int kAnillosDirectos = 3;
// Sides this short are walked pixel by pixel even when the table is there.
constexpr int kLadoCorto = 16;

}  // namespace

float EntradaSistema(int y, int j, int x, int i) {
  // Coordinates are never negative, so the product is formed unsigned; y^3 and
  // x^3 fit in 128 bits for every int, their product may not.
  U128 p;
  if (__builtin_mul_overflow(Potencia(y, j), Potencia(x, i), &p)) Desbordamiento();
  const float f = RedondearEntero(p);
  if (!std::isfinite(f)) Desbordamiento();
  return f;
}

void LlenarMatrizSistema(const Muestras& muestras, MatrizSistema& m) {
  for (std::size_t n = 0; n < muestras.size(); ++n) {
    const Muestra& s = muestras[n];
    for (int j = 0; j < 4; ++j) {
      for (int i = 0; i < 4; ++i) m[n][4 * j + i] = EntradaSistema(s.y, j, s.x, i);
    }
    m[n][16] = static_cast<float>(s.v);
  }
}

void EliminacionGauss(MatrizSistema& m, Coeficientes& a, bool& sistemaConsistente) {
  for (int i = 0; i < 16; ++i) {
    if (m[i][i] == 0.0f) {
      int j = i + 1;
      while (j < 16 && m[j][i] == 0.0f) ++j;
      if (j == 16) {
        sistemaConsistente = false;
        return;
      }
      std::swap(m[i], m[j]);
    }
    const float p = m[i][i];
    // x - x is 0 for every finite x and NaN otherwise, so one test per row
    // tells whether any result of the row left the float range.
    float guard = 0.0f;
    for (int q = 0; q < 17; ++q) {
      const float v = m[i][q] / p;
      m[i][q] = v;
      guard += v - v;
    }
    if (guard != 0.0f) Desbordamiento();
    for (int j = i + 1; j < 16; ++j) {
      const float f = m[j][i];
      // A zero factor leaves the row as it is. Columns left of the pivot hold
      // zeros in both rows, so only the sign of a zero could change there.
      if (f == 0.0f) continue;
      for (int q = i; q < 17; ++q) {
        const float product = f * m[i][q];
        const float v = m[j][q] - product;
        m[j][q] = v;
        guard += (product - product) + (v - v);
      }
      if (guard != 0.0f) Desbordamiento();
    }
  }
  SustitucionRegresiva(m, a, sistemaConsistente);
}

void SustitucionRegresiva(const MatrizSistema& m, Coeficientes& a, bool& sistemaConsistente) {
  for (int n = 15; n >= 0; --n) a[n] = CalcularIncognita(m, a, n, sistemaConsistente);
}

float CalcularIncognita(const MatrizSistema& m, const Coeficientes& a, int n,
                        bool& sistemaConsistente) {
  float t = m[n][16];
  for (int q = n + 1; q < 16; ++q) {
    const auto next =
        static_cast<float>(static_cast<long double>(t) - static_cast<long double>(m[n][q]) * a[q]);
    if (!std::isfinite(next)) {
      if (q < 15) Desbordamiento();
      sistemaConsistente = false;
      return 1.0f;
    }
    t = next;
  }
  const auto result = static_cast<float>(static_cast<long double>(t) / m[n][n]);
  if (!std::isfinite(result)) {
    sistemaConsistente = false;
    return 1.0f;
  }
  return result;
}

long double EvaluarPolinomio(const Coeficientes& a, int r, int c) {
  long double rp[4] = {1.0L, 0, 0, 0};
  long double cp[4] = {1.0L, 0, 0, 0};
  for (int k = 1; k < 4; ++k) {
    rp[k] = rp[k - 1] * r;
    cp[k] = cp[k - 1] * c;
  }
  long double sum = 0.0L;
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 4; ++i) sum += static_cast<long double>(a[4 * j + i]) * rp[j] * cp[i];
  }
  if (std::isnan(sum)) throw ErrorAritmetico(kOperacionNoValida);
  if (!std::isfinite(sum)) Desbordamiento();
  return sum;
}

std::uint8_t NivelDesdeValor(long double valor) {
  if (!(valor > 0.0L)) return 0;  // negatives truncate to 0 or below; NaN too
  if (valor >= 255.0L) return 255;
  return static_cast<std::uint8_t>(static_cast<int>(valor));
}

bool NivelInterpolado(const Muestras& muestras, int r, int c, bool& sistemaConsistente,
                      std::uint8_t& nivel) {
  MatrizSistema m;
  Coeficientes a;
  LlenarMatrizSistema(muestras, m);
  sistemaConsistente = true;
  EliminacionGauss(m, a, sistemaConsistente);
  if (!sistemaConsistente) return false;
  nivel = NivelDesdeValor(EvaluarPolinomio(a, r, c));
  return true;
}

BuscadorMuestras::BuscadorMuestras(const Plane& danos, const Plane& niveles, int alto, int ancho,
                                   int umbral)
    : danos_(danos), niveles_(niveles), alto_(alto), ancho_(ancho), umbral_(umbral) {}

bool BuscadorMuestras::prepararTabla() {
  if (estado_ == Tabla::Lista) return true;
  if (estado_ == Tabla::Imposible) return false;
  // Counts are kept modulo 2^32, exact as long as no rectangle holds 2^32
  // pixels. Without the table the search stays literal, with the same result.
  estado_ = Tabla::Imposible;
  const auto w = static_cast<std::uint64_t>(ancho_) + 1;
  const auto h = static_cast<std::uint64_t>(alto_) + 1;
  if (static_cast<std::uint64_t>(alto_) * static_cast<std::uint64_t>(ancho_) > UINT32_MAX)
    return false;
  try {
    tabla_.assign(w * h, 0u);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int y = 0; y < alto_; ++y) {
    const std::uint8_t* row = danos_[y];
    const std::uint32_t* above = tabla_.data() + static_cast<std::size_t>(y) * w;
    std::uint32_t* here = tabla_.data() + static_cast<std::size_t>(y + 1) * w;
    std::uint32_t run = 0;
    for (int x = 0; x < ancho_; ++x) {
      run += row[x] < umbral_ ? 1u : 0u;
      here[x + 1] = above[x + 1] + run;
    }
  }
  estado_ = Tabla::Lista;
  return true;
}

std::uint32_t BuscadorMuestras::contar(int y0, int x0, int y1, int x1) const {
  const auto w = static_cast<std::size_t>(ancho_) + 1;
  const std::uint32_t* t = tabla_.data();
  const std::size_t top = static_cast<std::size_t>(y0) * w;
  const std::size_t bottom = static_cast<std::size_t>(y1 + 1) * w;
  return t[bottom + x1 + 1] - t[top + x1 + 1] - t[bottom + x0] + t[top + x0];
}

void BuscadorMuestras::lado(int y, int x, int dy, int dx, int n, bool conTabla) {
  Muestras& out = *destino_;
  auto tomar = [&](int yy, int xx) { out[n_++] = Muestra{yy, xx, niveles_[yy][xx]}; };
  if (!conTabla || n <= kLadoCorto) {
    for (int t = 0; t < n && n_ < 16; ++t) {
      const int yy = y + t * dy;
      const int xx = x + t * dx;
      if (admitido(yy, xx)) tomar(yy, xx);
    }
    return;
  }
  const int yEnd = y + (n - 1) * dy;
  const int xEnd = x + (n - 1) * dx;
  int start = 0;
  while (n_ < 16 && start < n) {
    const int ys = y + start * dy;
    const int xs = x + start * dx;
    if (contar(ys, xs, yEnd, xEnd) == 0) return;
    // The first admitted pixel at or after start: smallest t whose stretch
    // start .. t holds one.
    int lo = start;
    int hi = n - 1;
    while (lo < hi) {
      const int mid = lo + (hi - lo) / 2;
      if (contar(ys, xs, y + mid * dy, x + mid * dx) > 0)
        hi = mid;
      else
        lo = mid + 1;
    }
    tomar(y + lo * dy, x + lo * dx);
    start = lo + 1;
  }
}

void BuscadorMuestras::anillo(int r, int c, int k, bool conTabla) {
  const int s = 2 * k - 1;
  lado(r - k, c - k, 1, 0, s, conTabla);               // left
  if (n_ < 16) lado(r - k, c - k, 0, 1, s, conTabla);  // top, from the left side's corner
  if (n_ < 16) lado(r - k, c + k, 1, 0, s, conTabla);  // right
  if (n_ < 16) lado(r + k, c - k, 0, 1, s, conTabla);  // bottom
}

int BuscadorMuestras::Recoger(int r, int c, Muestras& muestras) {
  destino_ = &muestras;
  n_ = 0;
  if (umbral_ <= 0) return 0;  // no level lies below it: nothing is admitted
  // Rings 1 .. kmax lie inside the image; ring kmax + 1 would not.
  const int kmax = std::min({r, c, alto_ - 1 - r, ancho_ - 1 - c});
  int k = 1;
  for (; k <= kmax && k <= kAnillosDirectos; ++k) {
    anillo(r, c, k, false);
    if (n_ == 16) return n_;
  }
  if (k > kmax) return n_;
  if (!prepararTabla()) {
    for (; k <= kmax; ++k) {
      anillo(r, c, k, false);
      if (n_ == 16) return n_;
    }
    return n_;
  }
  const std::uint32_t total = cuadrado(r, c, kmax);
  std::uint32_t base = cuadrado(r, c, k - 1);
  while (k <= kmax && total != base) {
    if (cuadrado(r, c, k) == base) {
      // Ring k holds no admitted pixel: jump to the first ring that does. One
      // exists, since the square of radius kmax holds more than base.
      int lo = k + 1;
      int hi = kmax;
      while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (cuadrado(r, c, mid) > base)
          hi = mid;
        else
          lo = mid + 1;
      }
      k = lo;
    }
    anillo(r, c, k, true);
    if (n_ == 16) return n_;
    base = cuadrado(r, c, k);
    ++k;
  }
  return n_;
}

void FiltroInterpolacionCubica(Workspace& ws, ResultView& view) {
  BuscadorMuestras buscador(ws.ImagenFinal, ws.Auxiliar1, ws.Alto, ws.Ancho, ws.Umbral);
  Muestras muestras;
  RecorrerMarco(ws, view, kMargenCubico, [&](int r, int c) {
    if (buscador.Recoger(r, c, muestras) < 16) return;  // too few: the level stays
    std::uint8_t nivel;
    if (NivelInterpolado(muestras, r, c, ws.SistemaConsistente, nivel)) ws.Auxiliar1[r][c] = nivel;
  });
}

}  // namespace morvane
