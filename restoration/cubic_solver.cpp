#include "restoration/cubic_solver.h"

#include <cmath>
#include <cstdint>
#include <utility>

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

// y^j * x^i formed exactly and rounded once to single precision. Raises when the
// value is beyond the single-precision range.
float EntradaSistema(int y, int j, int x, int i) {
  // Coordinates are never negative, so the product is formed unsigned; y^3 and
  // x^3 fit in 128 bits for every int, their product may not.
  U128 p;
  if (__builtin_mul_overflow(Potencia(y, j), Potencia(x, i), &p)) Desbordamiento();
  const float f = RedondearEntero(p);
  if (!std::isfinite(f)) Desbordamiento();
  return f;
}

// The system: row n is the equation of the n-th sample, column 4j + i holds
// y^j * x^i and column 16 the level. Rows are padded to 20 floats so that every
// row is five aligned vectors of four; columns 17 .. 19 hold zeros.
struct alignas(16) MatrizSistema {
  float m[16][20];
};

typedef float V4 __attribute__((vector_size(16), __may_alias__));
typedef std::int32_t M4 __attribute__((vector_size(16)));

V4& Vec(float* row, int v) {
  return *reinterpret_cast<V4*>(row + 4 * v);
}

bool AlgunoNoCero(V4 g) {
  const M4 ne = g != V4{0, 0, 0, 0};
  return (ne[0] | ne[1] | ne[2] | ne[3]) != 0;
}

// Row of the sample: y^j * x^i in column 4j + i, the level in column 16.
void LlenarFila(const Muestra& s, float* row) {
  row[16] = static_cast<float>(s.v);
  if (s.y < (1 << 21) && s.x < (1 << 21)) {
    // Every power is below 2^63 and every product below 2^126: exact in 128
    // bits and within the float range.
    std::uint64_t py[4] = {1, 0, 0, 0};
    std::uint64_t px[4] = {1, 0, 0, 0};
    for (int k = 1; k < 4; ++k) {
      py[k] = py[k - 1] * static_cast<std::uint64_t>(s.y);
      px[k] = px[k - 1] * static_cast<std::uint64_t>(s.x);
    }
    for (int j = 0; j < 4; ++j) {
      for (int i = 0; i < 4; ++i)
        row[4 * j + i] = RedondearEntero(static_cast<U128>(py[j]) * px[i]);
    }
    return;
  }
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 4; ++i) row[4 * j + i] = EntradaSistema(s.y, j, s.x, i);
  }
}

// Unknown n from its row: the subtractions rounded one by one; the last one
// (column 15) and the division are guarded, any earlier overflow raises.
float CalcularIncognita(const float* row, const Coeficientes& a, int n, bool& sistemaConsistente) {
  float t = row[16];
  for (int q = n + 1; q < 16; ++q) {
    const auto next =
        static_cast<float>(static_cast<long double>(t) - static_cast<long double>(row[q]) * a[q]);
    if (!std::isfinite(next)) {
      if (q < 15) Desbordamiento();
      sistemaConsistente = false;
      return 1.0f;
    }
    t = next;
  }
  const auto result = static_cast<float>(static_cast<long double>(t) / row[n]);
  if (!std::isfinite(result)) {
    sistemaConsistente = false;
    return 1.0f;
  }
  return result;
}

// Forward elimination, four columns at a time. Every lane does what the
// column-by-column rule does: quotient, product and difference each rounded to
// single precision. Columns left of the pivot hold zeros in both rows, so
// working them too can only change the sign of a zero there, which nothing
// reads. Returns false when a column has no non-zero pivot.
bool EliminacionGauss(MatrizSistema& s) {
  for (int i = 0; i < 16; ++i) {
    if (s.m[i][i] == 0.0f) {
      int j = i + 1;
      while (j < 16 && s.m[j][i] == 0.0f) ++j;
      if (j == 16) return false;
      for (int v = 0; v < 5; ++v) std::swap(Vec(s.m[i], v), Vec(s.m[j], v));
    }
    const float p = s.m[i][i];
    const V4 pv = {p, p, p, p};
    // x - x is 0 for every finite x and NaN otherwise: one test per pivot
    // step tells whether any result left the float range.
    V4 guard = {0, 0, 0, 0};
    for (int v = 0; v < 5; ++v) {
      const V4 q = Vec(s.m[i], v) / pv;
      Vec(s.m[i], v) = q;
      guard += q - q;
    }
    const int v0 = i / 4;
    for (int j = i + 1; j < 16; ++j) {
      const float f = s.m[j][i];
      if (f == 0.0f) continue;  // the row stays as it is
      const V4 fv = {f, f, f, f};
      for (int v = v0; v < 5; ++v) {
        const V4 product = fv * Vec(s.m[i], v);
        const V4 d = Vec(s.m[j], v) - product;
        Vec(s.m[j], v) = d;
        guard += (product - product) + (d - d);
      }
    }
    if (AlgunoNoCero(guard)) Desbordamiento();
  }
  return true;
}

void LlenarMatrizSistema(const Muestras& muestras, MatrizSistema& s) {
  for (int n = 0; n < 16; ++n) {
    LlenarFila(muestras[n], s.m[n]);
    s.m[n][17] = s.m[n][18] = s.m[n][19] = 0.0f;
  }
}

void SustitucionRegresiva(const MatrizSistema& s, Coeficientes& a, bool& sistemaConsistente) {
  for (int n = 15; n >= 0; --n) a[n] = CalcularIncognita(s.m[n], a, n, sistemaConsistente);
}

// p(r, c) = sum of a[4j + i] * r^j * c^i in extended precision. Raises if the
// value is not finite, which finite coefficients never produce.
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

// Truncation toward zero, then clamp to 0 .. 255, whatever the magnitude.
std::uint8_t NivelDesdeValor(long double valor) {
  if (!(valor > 0.0L)) return 0;  // negatives truncate to 0 or below; NaN too
  if (valor >= 255.0L) return 255;
  return static_cast<std::uint8_t>(static_cast<int>(valor));
}

}  // namespace

bool NivelInterpolado(const Muestras& muestras, int r, int c, bool& sistemaConsistente,
                      std::uint8_t& nivel) {
  MatrizSistema s;
  LlenarMatrizSistema(muestras, s);
  sistemaConsistente = true;
  if (!EliminacionGauss(s)) {
    sistemaConsistente = false;
    return false;
  }
  Coeficientes a;
  SustitucionRegresiva(s, a, sistemaConsistente);
  if (!sistemaConsistente) return false;
  nivel = NivelDesdeValor(EvaluarPolinomio(a, r, c));
  return true;
}

}  // namespace morvane
