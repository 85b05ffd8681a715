#include "restoration/cubic.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <new>
#include <utility>

#include "restoration/frame.h"
#include "restoration/ordered_rows.h"
#include "workspace/threads.h"

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

namespace {

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

}  // namespace

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

namespace {

// A stored distance this large means "at least this far": the look-up jumps
// that far and reads again.
constexpr std::uint8_t kLejos = 0xFF;

}  // namespace

BuscadorMuestras::BuscadorMuestras(const Plane& danos, const Plane& niveles, int alto, int ancho,
                                   int umbral)
    : danos_(danos),
      niveles_(niveles),
      alto_(alto),
      ancho_(ancho),
      umbral_(umbral),
      paso_(static_cast<std::size_t>(ancho) + 1) {}

void BuscadorMuestras::construirTablas() const {
  // Without the tables the search stays literal, with the same result.
  const std::size_t size = paso_ * (static_cast<std::size_t>(alto_) + 1);
  try {
    tablas_ = PageBuffer(2 * size);
  } catch (const std::bad_alloc&) {
    return;
  }
  columnas_ = tablas_.data();
  filas_ = tablas_.data() + size;
  // Row alto and column ancho are sentinels: distance 0 to "none".
  std::uint8_t* below = columnas_ + static_cast<std::size_t>(alto_) * paso_;
  std::fill_n(below, paso_, std::uint8_t{0});
  for (int y = alto_ - 1; y >= 0; --y) {
    const std::uint8_t* d = danos_[y];
    std::uint8_t* col = columnas_ + static_cast<std::size_t>(y) * paso_;
    std::uint8_t* row = filas_ + static_cast<std::size_t>(y) * paso_;
    for (int x = 0; x < ancho_; ++x) {
      const std::uint8_t next =
          below[x] == kLejos ? kLejos : static_cast<std::uint8_t>(below[x] + 1);
      col[x] = d[x] < umbral_ ? 0 : next;
    }
    col[ancho_] = 0;
    std::uint8_t run = 0;
    row[ancho_] = 0;
    for (int x = ancho_ - 1; x >= 0; --x) {
      run = d[x] < umbral_ ? 0 : (run == kLejos ? kLejos : static_cast<std::uint8_t>(run + 1));
      row[x] = run;
    }
    below = col;
  }
  listas_ = true;
}

bool BuscadorMuestras::tablas() const {
  std::call_once(hecho_, [this] { construirTablas(); });
  return listas_;
}

int BuscadorMuestras::abajo(int y, int x) const {
  for (;;) {
    const std::uint8_t d = columnas_[static_cast<std::size_t>(y) * paso_ + x];
    if (d != kLejos) return y + d;
    y += kLejos;
    if (y >= alto_) return alto_;
  }
}

int BuscadorMuestras::derecha(int y, int x) const {
  for (;;) {
    const std::uint8_t d = filas_[static_cast<std::size_t>(y) * paso_ + x];
    if (d != kLejos) return x + d;
    x += kLejos;
    if (x >= ancho_) return ancho_;
  }
}

int BuscadorMuestras::Recoger(int r, int c, Muestras& muestras) const {
  if (umbral_ <= 0) return 0;  // no level lies below it: nothing is admitted
  int n = 0;
  auto tomar = [&](int y, int x) {
    muestras[n++] = Muestra{y, x, niveles_[y][x]};
    return n == 16;
  };
  // Visits the side of s pixels from (y, x), stepping by (dy, dx).
  auto lado = [&](int y, int x, int dy, int dx, int s) {
    for (int t = 0; t < s; ++t, y += dy, x += dx) {
      if (admitido(y, x) && tomar(y, x)) return true;
    }
    return false;
  };
  auto anillo = [&](int k) {
    const int s = 2 * k - 1;
    return lado(r - k, c - k, 1, 0, s) || lado(r - k, c - k, 0, 1, s) ||
           lado(r - k, c + k, 1, 0, s) || lado(r + k, c - k, 0, 1, s);
  };
  // Rings 1 .. kmax lie inside the image; ring kmax + 1 would not.
  const int kmax = std::min({r, c, alto_ - 1 - r, ancho_ - 1 - c});
  int k = 1;
  // Most damaged pixels of a real picture find their samples this close.
  for (; k <= kmax && k <= 3; ++k) {
    if (anillo(k)) return n;
  }
  if (k > kmax) return n;
  if (!tablas()) {
    for (; k <= kmax; ++k) {
      if (anillo(k)) return n;
    }
    return n;
  }
  for (; k <= kmax; ++k) {
    const int y0 = r - k;
    const int y1 = r + k - 2;
    const int x0 = c - k;
    const int x1 = c + k - 2;
    for (int y = abajo(y0, x0); y <= y1; y = abajo(y + 1, x0)) {
      if (tomar(y, x0)) return n;
    }
    for (int x = derecha(y0, x0); x <= x1; x = derecha(y0, x + 1)) {
      if (tomar(y0, x)) return n;
    }
    for (int y = abajo(y0, c + k); y <= y1; y = abajo(y + 1, c + k)) {
      if (tomar(y, c + k)) return n;
    }
    for (int x = derecha(r + k, x0); x <= x1; x = derecha(r + k, x + 1)) {
      if (tomar(r + k, x)) return n;
    }
  }
  return n;
}

namespace {

// What a row's computation leaves for the hand-over besides its levels.
struct Fila {
  bool resuelta = false;    // a pixel of the row reached the solver
  bool consistente = true;  // SistemaConsistente as the row's last solve left it
  int error = -1;           // column of the pixel whose solve raised, or -1
  std::exception_ptr excepcion;
};

// Below this many damaged pixels the threads are not worth starting.
constexpr long kTrabajoMinimo = 256;

long ContarDanados(const Workspace& ws, int m, long hasta) {
  long n = 0;
  for (int r = m; r < ws.Alto - m && n < hasta; ++r) {
    const int end = ws.Ancho - m;
    for (int c = SiguienteDanado(ws.ImagenFinal[r], m, end, ws.Umbral); c < end && n < hasta;
         c = SiguienteDanado(ws.ImagenFinal[r], c + 1, end, ws.Umbral))
      ++n;
  }
  return n;
}

// Works out the damaged pixels of row r into niveles (a row laid out as the
// planes' rows, already holding the row's initial levels). Stops at the first
// pixel whose solve raises and records it in fila.
void CalcularFila(const Workspace& ws, const BuscadorMuestras& buscador,
                  const OpcionesCubico& opciones, int r, std::uint8_t* niveles, Fila& fila) {
  constexpr int m = kMargenCubico;
  const int fin = ws.Ancho - m;
  const std::uint8_t* danos = ws.ImagenFinal[r];
  Muestras muestras;
  for (int c = SiguienteDanado(danos, m, fin, ws.Umbral); c < fin;
       c = SiguienteDanado(danos, c + 1, fin, ws.Umbral)) {
    if (buscador.Recoger(r, c, muestras) < 16) continue;  // too few: the level stays
    bool consistente = true;
    std::uint8_t nivel;
    try {
      const bool ok = opciones.resolutor ? opciones.resolutor(muestras, r, c, consistente, nivel)
                                         : NivelInterpolado(muestras, r, c, consistente, nivel);
      if (ok) niveles[c] = nivel;
    } catch (...) {
      fila.error = c;
      fila.excepcion = std::current_exception();
    }
    fila.resuelta = true;
    fila.consistente = consistente;
    if (fila.error >= 0) return;
  }
}

// Hands row r over: its levels into Auxiliar1, the row drawn, the bar stepped;
// or, when its computation raised, the part before that pixel, and the
// exception goes on.
void EntregarFila(Workspace& ws, ResultView& view, int r, const std::uint8_t* niveles,
                  const Fila& fila) {
  constexpr int m = kMargenCubico;
  if (fila.resuelta) ws.SistemaConsistente = fila.consistente;
  const int fin = fila.error >= 0 ? fila.error : ws.Ancho - m;
  if (niveles != ws.Auxiliar1[r]) std::copy(niveles + m, niveles + fin, ws.Auxiliar1[r] + m);
  if (fila.error >= 0) {
    if (fin > m) view.drawRow(r, ws.Auxiliar1[r], m, fin);
    std::rethrow_exception(fila.excepcion);
  }
  view.drawRow(r, ws.Auxiliar1[r], m, fin);
  view.stepProgress();
}

}  // namespace

void FiltroInterpolacionCubica(Workspace& ws, ResultView& view) {
  FiltroInterpolacionCubica(ws, view, OpcionesCubico{});
}

void FiltroInterpolacionCubica(Workspace& ws, ResultView& view, const OpcionesCubico& opciones) {
  if (!EmpezarMarco(ws, view)) return;
  constexpr int m = kMargenCubico;
  const int alto = ws.Alto;
  const int ancho = ws.Ancho;
  // Umbral 0 or below admits no sample, so nothing can be restored.
  const bool restaurable = ws.Umbral > 0 && ws.Umbral < 255;
  if (alto > 2 * m && ancho > 2 * m) {
    const BuscadorMuestras buscador(ws.ImagenFinal, ws.ImagenInicial, alto, ancho, ws.Umbral);
    int hilos = opciones.hilos;  // 0: as many as one operation may use
    if (hilos <= 0) {
      hilos = HilosPorOperacion();
      if (!restaurable || ContarDanados(ws, m, kTrabajoMinimo) < kTrabajoMinimo) hilos = 1;
    }
    // The rows are independent, so they can be worked out in any order and on
    // any thread: the samples are admitted pixels, read from ImagenInicial, and
    // a restore only ever changes a damaged pixel, never an admitted one. Only
    // the hand-over (Auxiliar1, the view, SistemaConsistente) keeps scan order.
    // One thread works straight in Auxiliar1; several work rows ahead in a
    // copy of the picture, each row starting from its initial levels.
    const bool aparte = hilos != 1;
    Plane copia = aparte ? Plane(alto, ancho) : Plane();
    Plane& filasCalculadas = aparte ? copia : ws.Auxiliar1;
    std::vector<Fila> filas(static_cast<std::size_t>(alto));
    RecorrerFilasEnOrden(
        m, alto - m, hilos,
        [&](int r) {
          if (aparte)
            std::copy(ws.ImagenInicial[r] + m, ws.ImagenInicial[r] + ancho - m,
                      filasCalculadas[r] + m);
          Fila& fila = filas[static_cast<std::size_t>(r)];
          if (restaurable) CalcularFila(ws, buscador, opciones, r, filasCalculadas[r], fila);
          return fila.error < 0;
        },
        [&](int r) {
          EntregarFila(ws, view, r, filasCalculadas[r], filas[static_cast<std::size_t>(r)]);
        });
  }
  TerminarMarco(ws, view, m);
}

}  // namespace morvane
