#include "tests/support/cubic_oracle.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <utility>

// Built with -ffp-contract=off: every product below is rounded before the
// difference that uses it.

namespace morvane::oracle {

int RecogerAnillos(const Plane& danos, const Plane& niveles, int alto, int ancho, int umbral, int r,
                   int c, PuntoMuestra (&muestras)[16]) {
  int n = 0;
  auto mirar = [&](int y, int x) {
    if (n < 16 && danos[y][x] < umbral) muestras[n++] = {y, x, niveles[y][x]};
  };
  for (int k = 1; n < 16; ++k) {
    if (r - k < 0 || c - k < 0 || r + k > alto - 1 || c + k > ancho - 1) break;
    for (int y = r - k; y <= r + k - 2; ++y) mirar(y, c - k);  // left
    for (int x = c - k; x <= c + k - 2; ++x) mirar(r - k, x);  // top
    for (int y = r - k; y <= r + k - 2; ++y) mirar(y, c + k);  // right
    for (int x = c - k; x <= c + k - 2; ++x) mirar(r + k, x);  // bottom
  }
  return n;
}

namespace {

// An overflow, division by zero or invalid operation outside the guarded step.
struct Eleva {};

// Rounds an extended value to single precision; a result beyond the single
// range is an overflow.
float Simple(long double valor) {
  const float f = static_cast<float>(valor);
  if (!std::isfinite(f)) throw Eleva{};
  return f;
}

// Below 2^63 for the coordinates allowed, so a product of two is exact.
unsigned __int128 Potencia(int base, int exponente) {
  unsigned __int128 p = 1;
  for (int e = 0; e < exponente; ++e) p *= static_cast<unsigned>(base);
  return p;
}

using Sistema = float[16][17];

// Forward elimination; false when a column has no non-zero entry left.
bool Eliminar(Sistema& m) {
  for (int i = 0; i < 16; ++i) {
    if (m[i][i] == 0.0f) {
      int j = i + 1;
      while (j < 16 && m[j][i] == 0.0f) ++j;
      if (j == 16) return false;
      for (int q = 0; q < 17; ++q) std::swap(m[i][q], m[j][q]);
    }
    const float p = m[i][i];
    for (int q = 0; q < 17; ++q)
      m[i][q] = Simple(static_cast<long double>(m[i][q]) / static_cast<long double>(p));
    for (int j = i + 1; j < 16; ++j) {
      const float f = m[j][i];
      for (int q = 0; q < 17; ++q) {
        const float producto = Simple(static_cast<long double>(f) * m[i][q]);
        m[j][q] = Simple(static_cast<long double>(m[j][q]) - producto);
      }
    }
  }
  return true;
}

// Back substitution; clears consistente when the guarded last step fails.
void Sustituir(const Sistema& m, float (&a)[16], bool& consistente) {
  for (int n = 15; n >= 0; --n) {
    float t = m[n][16];
    bool fallo = false;
    for (int q = n + 1; q < 16 && !fallo; ++q) {
      const float siguiente = static_cast<float>(static_cast<long double>(t) -
                                                 static_cast<long double>(m[n][q]) * a[q]);
      if (std::isfinite(siguiente)) {
        t = siguiente;
      } else if (q == 15) {
        fallo = true;  // the last subtraction is guarded
      } else {
        throw Eleva{};
      }
    }
    if (!fallo) {
      const float cociente = static_cast<float>(static_cast<long double>(t) / m[n][n]);
      fallo = !std::isfinite(cociente);  // so is the division
      a[n] = cociente;
    }
    if (fallo) {
      a[n] = 1.0f;
      consistente = false;
    }
  }
}

int Nivel(const float (&a)[16], int r, int c) {
  long double valor = 0.0L;
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 4; ++i)
      valor += static_cast<long double>(a[4 * j + i]) *
               static_cast<long double>(Potencia(r, j) * Potencia(c, i));
  const long double entero = std::trunc(valor);
  if (entero > 255.0L) return 255;
  if (entero < 0.0L) return 0;
  return static_cast<int>(entero);
}

}  // namespace

ResultadoCubico ResolverLiteral(const PuntoMuestra (&muestras)[16], int r, int c) {
  Sistema m;
  for (int n = 0; n < 16; ++n) {
    const PuntoMuestra& s = muestras[n];
    if (std::min({s.y, s.x, r, c}) < 0 || std::max({s.y, s.x, r, c}) >= kLimite)
      throw std::invalid_argument("coordinates beyond what the oracle forms exactly");
    for (int j = 0; j < 4; ++j)
      for (int i = 0; i < 4; ++i)  // exact in 128 bits, rounded once
        m[n][4 * j + i] = static_cast<float>(Potencia(s.y, j) * Potencia(s.x, i));
    m[n][16] = static_cast<float>(s.v);
  }
  bool consistente = true;
  try {
    if (!Eliminar(m)) return {Desenlace::SinSolucion, false, 0};
    float a[16];
    Sustituir(m, a, consistente);
    if (!consistente) return {Desenlace::SinSolucion, false, 0};
    return {Desenlace::Restaurado, true, Nivel(a, r, c)};
  } catch (const Eleva&) {
    return {Desenlace::Excepcion, consistente, 0};
  }
}

}  // namespace morvane::oracle
