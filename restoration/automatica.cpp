#include "restoration/automatica.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "workspace/pages.h"
#include "workspace/parallel.h"

namespace morvane {

namespace {

// Runs fn(r0, r1) over bands of the rows [0, alto) on the program's thread
// budget (or hilos threads when given); every row belongs to one band. The
// stages write only their own band's rows, so the result does not depend on
// how many bands there are.
template <class Fn>
void EnBandas(int alto, int hilos, Fn&& fn) {
  int n = hilos > 0 ? hilos : HilosPorOperacion();
  n = std::clamp(n, 1, std::max(1, alto / 8));
  if (n == 1) {
    fn(0, alto);
    return;
  }
  RecorrerBandas(0, alto, n, [&](int r0, int r1, int) { fn(r0, r1); });
}

// Index i of a run of n mirrored about its end pixels: -1 reads 1, n reads n - 2.
int Espejo(int i, int n) {
  if (n == 1) return 0;
  const int p = 2 * (n - 1);
  i %= p;
  if (i < 0) i += p;
  return i < n ? i : p - i;
}

// Below this share of loose points at 0 (or 255), a point of that level is
// taken for noise only when it lies at least kLejos levels from each of its
// eight neighbours.
constexpr double kRaro = 0.01;
constexpr int kLejos = 40;

constexpr int kBorde = 8;  // mirrored pixels kept around every work plane

// A work plane with a mirrored border of kBorde pixels on every side:
// fila(r)[c] is valid for r in [-kBorde, alto + kBorde) and c likewise.
template <class T>
struct Acolchado {
  int alto, ancho;
  std::ptrdiff_t paso;
  PageBuffer datos;  // on huge pages: a handful of page faults, not thousands

  Acolchado(int a, int b)
      : alto(a),
        ancho(b),
        paso(b + 2 * kBorde),
        datos(static_cast<std::size_t>(a + 2 * kBorde) * (b + 2 * kBorde) * sizeof(T)) {}
  T* fila(int r) { return reinterpret_cast<T*>(datos.data()) + (r + kBorde) * paso + kBorde; }
  const T* fila(int r) const {
    return reinterpret_cast<const T*>(datos.data()) + (r + kBorde) * paso + kBorde;
  }
  T& en(int r, int c) { return fila(Espejo(r, alto))[Espejo(c, ancho)]; }

  // Fills the border of rows [r0, r1) (columns only).
  void EspejarColumnas(int r0, int r1) {
    for (int r = r0; r < r1; ++r) {
      T* f = fila(r);
      for (int c = -kBorde; c < 0; ++c) f[c] = f[Espejo(c, ancho)];
      for (int c = ancho; c < ancho + kBorde; ++c) f[c] = f[Espejo(c, ancho)];
    }
  }
  // Fills the rows above and below, once the columns are done.
  void EspejarFilas() {
    for (int r = -kBorde; r < 0; ++r)
      std::memcpy(fila(r) - kBorde, fila(Espejo(r, alto)) - kBorde, paso * sizeof(T));
    for (int r = alto; r < alto + kBorde; ++r)
      std::memcpy(fila(r) - kBorde, fila(Espejo(r, alto)) - kBorde, paso * sizeof(T));
  }
};

// Mask bits of a damaged pixel, by the detector that found it.
constexpr std::uint8_t kExtremo = 1;
constexpr std::uint8_t kImpulso = 2;
constexpr std::uint8_t kMota = 4;

// Smallest number k of equal neighbours out of n that impulses of a share q
// reach with probability below 1 in 10000: a 0 or 255 with at least that many
// neighbours of its own level belongs to the picture. n + 1 means never.
int VecinosPropios(double q, int n) {
  double cola = 0;
  for (int k = n; k >= 0; --k) {
    double b = 1;
    for (int i = 0; i < k; ++i) b = b * (n - i) / (i + 1);
    cola += b * std::pow(q, k) * std::pow(1 - q, n - k);
    if (cola >= 1e-4) return k + 1;
  }
  return 0;
}

// How many of the neighbours of p[c] within `radio` rows and columns that lie
// inside the alto x ancho picture (rows paso apart) share its level; dentro
// receives how many lie inside.
int IgualesDentro(const std::uint8_t* p, std::ptrdiff_t paso, int r, int c, int alto, int ancho,
                  int radio, int& dentro) {
  int iguales = 0;
  dentro = 0;
  for (int dy = -radio; dy <= radio; ++dy)
    for (int dx = -radio; dx <= radio; ++dx) {
      if ((!dy && !dx) || r + dy < 0 || r + dy >= alto || c + dx < 0 || c + dx >= ancho) continue;
      ++dentro;
      iguales += p[c + dy * paso + dx] == p[c];
    }
  return iguales;
}

// VecinosPropios for every count of neighbours up to the 24 of a 5 x 5 window.
// A point's 3 x 3 window is judged as eight neighbours; then its 5 x 5 window,
// among the neighbours that lie in the picture, must agree too: so many
// chances make a small clump of dense noise look like an area in the 3 x 3
// window alone.
struct Propios {
  int minimo[25];
  explicit Propios(double q) {
    for (int n = 0; n <= 24; ++n) minimo[n] = VecinosPropios(q, n);
  }
  bool EnArea(const std::uint8_t* p, std::ptrdiff_t paso, int r, int c, int alto, int ancho,
              int iguales) const {
    if (iguales - 1 < minimo[8]) return false;
    int dentro = 0;
    const int suyos = IgualesDentro(p, paso, r, c, alto, ancho, 2, dentro);
    return suyos >= minimo[dentro];
  }
};

// Median of the 3 x 3 window around p[c] (rows paso apart), the two
// neighbours along the line of the 5 x 5 window whose four pixels vary least
// counted twice: the median follows an edge or a line through the pixel.
int MedianaDireccional(const std::uint8_t* p, int c, std::ptrdiff_t paso) {
  const std::ptrdiff_t lineas[4] = {1, paso, paso + 1, paso - 1};
  std::ptrdiff_t mejor = 1;
  int menor = 1 << 30;
  for (std::ptrdiff_t o : lineas) {
    const int v0 = p[c - 2 * o], v1 = p[c - o], v2 = p[c + o], v3 = p[c + 2 * o];
    const int suma = v0 + v1 + v2 + v3;
    // Four times the sum of squared deviations from the line's mean, in integers.
    const int dispersion = 4 * (v0 * v0 + v1 * v1 + v2 * v2 + v3 * v3) - suma * suma;
    if (dispersion < menor) {
      menor = dispersion;
      mejor = o;
    }
  }
  int v[11], n = 0;
  for (int y = -1; y <= 1; ++y)
    for (int dx = -1; dx <= 1; ++dx) v[n++] = p[c + y * paso + dx];
  v[n++] = p[c - mejor];
  v[n++] = p[c + mejor];
  std::nth_element(v, v + n / 2, v + n);
  return v[n / 2];
}

// Whether at least half of the eight neighbours of q[c] (rows paso apart)
// have a statistic under 0.35 times the threshold.
bool Liso(const std::int16_t* q, int c, std::ptrdiff_t paso, int umbral) {
  int bajos = 0;
  for (int y = -1; y <= 1; ++y)
    for (int dx = -1; dx <= 1; ++dx)
      if ((y || dx) && q[c + y * paso + dx] * 20 <= umbral * 7) ++bajos;
  return bajos >= 4;
}

using Reloj = std::chrono::steady_clock;
double Segundos(Reloj::time_point desde) {
  return std::chrono::duration<double>(Reloj::now() - desde).count();
}

// Level of a damaged pixel from the undamaged pixels of the smallest window
// around it that holds any: their mean weighted by the inverse square distance.
// Returns -1 when the whole picture is damaged.
float Rellenar(const Acolchado<std::uint8_t>& mask, const Acolchado<std::uint8_t>& x, int r, int c,
               int alto, int ancho) {
  // The first ring, by far the most common answer, straight from the rows.
  {
    const std::uint8_t* m = mask.fila(r) + c;
    const std::uint8_t* p = x.fila(r) + c;
    const std::ptrdiff_t s = mask.paso;
    float suma = 0, peso = 0;
    const std::ptrdiff_t rectos[4] = {-s, -1, 1, s}, diagonales[4] = {-s - 1, -s + 1, s - 1, s + 1};
    for (std::ptrdiff_t o : rectos) {
      if (!m[o]) {
        suma += p[o];
        peso += 1;
      }
    }
    for (std::ptrdiff_t o : diagonales) {
      if (!m[o]) {
        suma += 0.5f * p[o];
        peso += 0.5f;
      }
    }
    if (peso > 0) return suma / peso;
  }
  const int radioMax = std::max(alto, ancho);
  for (int h = 2; h <= radioMax; ++h) {
    float suma = 0, peso = 0;
    const bool dentro = h <= kBorde;
    for (int dy = -h; dy <= h; ++dy) {
      const int paso = (dy == -h || dy == h) ? 1 : 2 * h;
      for (int dx = -h; dx <= h; dx += paso) {
        const int rr = dentro ? r + dy : Espejo(r + dy, alto);
        const int cc = dentro ? c + dx : Espejo(c + dx, ancho);
        if (mask.fila(rr)[cc]) continue;
        const float w = 1.0f / static_cast<float>(dy * dy + dx * dx);
        suma += w * x.fila(rr)[cc];
        peso += w;
      }
    }
    // The inner rings held nothing, so this ring alone decides.
    if (peso > 0) return suma / peso;
  }
  return -1;
}

}  // namespace

ResultadoAutomatica RestauracionAutomatica(const Plane& entrada, Plane& salida, int alto, int ancho,
                                           const OpcionesAutomatica& op) {
  ResultadoAutomatica res;
  if (alto <= 0 || ancho <= 0) return res;
  const int hilos = op.hilos;
  TiemposAutomatica t;
  auto inicio = Reloj::now();
  int pasos = 0;
  auto avanzar = [&](double fraccion) {
    if (!op.vista) return;
    const int hasta = static_cast<int>(fraccion * alto);
    for (; pasos < hasta; ++pasos) op.vista->stepProgress();
  };

  // --- Black and white points -------------------------------------------
  Acolchado<std::uint8_t> x(alto, ancho), mask(alto, ancho), f(alto, ancho);
  EnBandas(alto, hilos, [&](int r0, int r1) {
    for (int r = r0; r < r1; ++r)
      std::memcpy(x.fila(r), entrada[r], static_cast<std::size_t>(ancho));
    x.EspejarColumnas(r0, r1);
  });
  x.EspejarFilas();
  // The share of each extreme level that may be noise: points at 0 or 255
  // not inside an area of their own level (all eight neighbours alike). f
  // holds each pixel's count of equal levels in its 3 x 3 window for now.
  std::vector<long long> ceros(static_cast<std::size_t>(alto)), blancos(ceros.size());
  EnBandas(alto, hilos, [&](int r0, int r1) {
    const int n = ancho;
    for (int r = r0; r < r1; ++r) {
      const std::uint8_t* p = x.fila(r);
      std::uint8_t* __restrict cnt = f.fila(r);
      // Row-wise, so the compiler can take many levels at a time.
      for (int c = 0; c < n; ++c) cnt[c] = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const std::uint8_t* v = p + dy * x.paso + dx;
          for (int c = 0; c < n; ++c) cnt[c] = static_cast<std::uint8_t>(cnt[c] + (v[c] == p[c]));
        }
      long long z = 0, b = 0;
      for (int c = 0; c < n; ++c) {
        z += p[c] == 0 && cnt[c] < 9;
        b += p[c] == 255 && cnt[c] < 9;
      }
      // On the picture's edge the mirrored border would count a neighbour
      // twice: a few noise points against the edge would pass for an area.
      // There only the neighbours inside the picture count, and a point is
      // loose unless all of them are alike.
      const bool bordeFila = r == 0 || r == alto - 1;
      for (int c = 0; c < n; c += (bordeFila || c == n - 1) ? 1 : n - 1) {
        int dentro = 0;
        const int iguales = IgualesDentro(p, x.paso, r, c, alto, n, 1, dentro);
        const bool suelto = iguales < dentro;
        z += (p[c] == 0 && suelto) - (p[c] == 0 && cnt[c] < 9);
        b += (p[c] == 255 && suelto) - (p[c] == 255 && cnt[c] < 9);
        cnt[c] = static_cast<std::uint8_t>(iguales + 1);
      }
      ceros[r] = z;
      blancos[r] = b;
    }
  });
  long long nz = 0, nb = 0;
  for (int r = 0; r < alto; ++r) {
    nz += ceros[r];
    nb += blancos[r];
  }
  const double total = static_cast<double>(alto) * ancho;
  const Propios propiosCero(nz / total), propiosBlanco(nb / total);
  const bool raroCero = nz < kRaro * total, raroBlanco = nb < kRaro * total;
  EnBandas(alto, hilos, [&](int r0, int r1) {
    for (int r = r0; r < r1; ++r) {
      const std::uint8_t* p = x.fila(r);
      const std::uint8_t* cnt = f.fila(r);
      std::uint8_t* m = mask.fila(r);
      for (int c = 0; c < ancho; ++c) {
        const std::uint8_t v = p[c];
        m[c] = 0;
        if (v != 0 && v != 255) continue;
        const int iguales = cnt[c];
        if ((v == 0 ? propiosCero : propiosBlanco).EnArea(p, x.paso, r, c, alto, ancho, iguales))
          continue;
        // Where hardly any point of this level is loose, the picture's own
        // bright or dark pixels (a highlight, a halo beside print) outnumber
        // the noise: the point must stand far from every neighbour.
        if ((v == 0 ? raroCero : raroBlanco)) {
          int cerca = 255;
          for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
              if (dy || dx) cerca = std::min(cerca, std::abs(p[c + dy * x.paso + dx] - v));
          if (cerca < kLejos) continue;
        }
        m[c] = kExtremo;
      }
    }
    mask.EspejarColumnas(r0, r1);
  });
  mask.EspejarFilas();
  // The edge of a black or white area has fewer neighbours of its level than
  // its inside: a point with at least three neighbours at its level, one of
  // them inside the area, belongs to the area too. f, which holds the counts
  // of equal levels, takes the verdicts until it is filled.
  EnBandas(alto, hilos, [&](int r0, int r1) {
    const int n = ancho;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(n));
    std::uint8_t* __restrict propios = buffer.data();
    for (int r = r0; r < r1; ++r) {
      const std::uint8_t* p = x.fila(r);
      const std::uint8_t* m = mask.fila(r);
      std::uint8_t* d = f.fila(r);
      // Row-wise, so the compiler can take many levels at a time.
      for (int c = 0; c < n; ++c) propios[c] = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const std::ptrdiff_t o = dy * x.paso + dx;
          const std::uint8_t *v = p + o, *mv = m + o;
          for (int c = 0; c < n; ++c)
            propios[c] = static_cast<std::uint8_t>(propios[c] + ((v[c] == p[c]) & (mv[c] == 0)));
        }
      for (int c = 0; c < n; ++c) {
        const bool delArea = propios[c] > 0 && d[c] - 1 >= 3;
        d[c] = delArea ? 0 : m[c];
      }
    }
  });
  EnBandas(alto, hilos, [&](int r0, int r1) {
    for (int r = r0; r < r1; ++r) {
      std::memcpy(mask.fila(r), f.fila(r), static_cast<std::size_t>(ancho));
    }
    mask.EspejarColumnas(r0, r1);
  });
  mask.EspejarFilas();
  // The first fill, kept in u: when no other damage turns up it is the
  // final fill too.
  Acolchado<float> u(alto, ancho), u2(alto, ancho);
  auto rellenarTodo = [&](int r0, int r1) {
    // The first ring of every pixel, row-wise so the compiler can take many
    // at a time; only pixels with no undamaged neighbour look further.
    const int n = ancho;
    std::vector<float> buffer(2 * static_cast<std::size_t>(n));
    float* __restrict suma = buffer.data();
    float* __restrict peso = suma + n;
    const std::ptrdiff_t s = mask.paso;
    const std::ptrdiff_t anillo[8] = {-s, -1, 1, s, -s - 1, -s + 1, s - 1, s + 1};
    for (int r = r0; r < r1; ++r) {
      const std::uint8_t* m = mask.fila(r);
      const std::uint8_t* p = x.fila(r);
      float* d = u.fila(r);
      for (int c = 0; c < n; ++c) suma[c] = peso[c] = 0;
      for (int k = 0; k < 8; ++k) {
        const float w = k < 4 ? 1.0f : 0.5f;
        const std::uint8_t* mv = m + anillo[k];
        const std::uint8_t* pv = p + anillo[k];
        for (int c = 0; c < n; ++c) {
          const bool bueno = mv[c] == 0;
          suma[c] += bueno ? w * pv[c] : 0.0f;
          peso[c] += bueno ? w : 0.0f;
        }
      }
      for (int c = 0; c < n; ++c) {
        d[c] = p[c];
        if (!m[c]) continue;
        if (peso[c] > 0) {
          d[c] = suma[c] / peso[c];
          continue;
        }
        const float v = Rellenar(mask, x, r, c, alto, ancho);
        if (v >= 0) d[c] = v;
      }
    }
    u.EspejarColumnas(r0, r1);
  };
  EnBandas(alto, hilos, [&](int r0, int r1) {
    rellenarTodo(r0, r1);
    for (int r = r0; r < r1; ++r) {
      const float* p = u.fila(r);
      std::uint8_t* d = f.fila(r);
      const int n = ancho;
      for (int c = 0; c < n; ++c) d[c] = static_cast<std::uint8_t>(p[c] + 0.5f);
    }
    f.EspejarColumnas(r0, r1);
  });
  f.EspejarFilas();
  u.EspejarFilas();
  bool otrosDanos = false;  // impulses or specks found besides the extremes
  // Edge-preserving rounds at the end: two, and a third where the black and
  // white points leave so few pixels that fills come from afar.
  int rondasRefinado = (nz + nb) > 0.8 * total ? 3 : 2;
  t.extremos = Segundos(inicio);
  avanzar(0.15);

  // --- Impulses of any level --------------------------------------------
  // First, whether there are any: a clean photograph has hardly any pixel far
  // from each of the four lines through it (the lines of a 5 x 5 window, the
  // inner pixels weighted twice), and when 2 % of its pixels are, the picture
  // carries impulses. Then rounds of rank-ordered absolute differences (the
  // four smallest differences to the eight neighbours, summed) at falling
  // thresholds: a pixel above the threshold that is also far from every line
  // is an impulse. It takes the mean of two estimates: the mean of its 5 x 5
  // window weighted by nearness and by how impulse-free each neighbour looks,
  // and the median of its 3 x 3 window with the two neighbours along its most
  // even line counted twice. A line or an edge fits one of the lines through
  // its pixels, so it is kept.
  inicio = Reloj::now();
  {
    const int lineas[4][2] = {{0, 1}, {1, 0}, {1, 1}, {1, -1}};
    auto lejania = [&](const std::uint8_t* p, int c) {
      int lj = 1 << 20;
      const int v = p[c];
      for (const auto& linea : lineas) {
        const std::ptrdiff_t o = linea[0] * f.paso + linea[1];
        lj = std::min(lj, 2 * (std::abs(p[c + o] - v) + std::abs(p[c - o] - v)) +
                              std::abs(p[c + 2 * o] - v) + std::abs(p[c - 2 * o] - v));
      }
      return lj;
    };
    std::vector<long long> lejanos(static_cast<std::size_t>(alto));
    EnBandas(alto, hilos, [&](int r0, int r1) {
      const int n = ancho;
      std::vector<std::int16_t> fila(static_cast<std::size_t>(n));
      std::int16_t* __restrict lj = fila.data();
      for (int r = r0; r < r1; ++r) {
        const std::uint8_t* p = f.fila(r);
        const std::uint8_t* m = mask.fila(r);
        // Row-wise, so the compiler can take many levels at a time.
        for (int c = 0; c < n; ++c) lj[c] = 32767;
        for (const auto& linea : lineas) {
          const std::ptrdiff_t o = linea[0] * f.paso + linea[1];
          const std::uint8_t *a1 = p + o, *b1 = p - o, *a2 = p + 2 * o, *b2 = p - 2 * o;
          for (int c = 0; c < n; ++c) {
            const int v = p[c];
            const int s = 2 * (std::abs(a1[c] - v) + std::abs(b1[c] - v)) + std::abs(a2[c] - v) +
                          std::abs(b2[c] - v);
            lj[c] = static_cast<std::int16_t>(std::min<int>(lj[c], s));
          }
        }
        long long k = 0;
        for (int c = 0; c < n; ++c) k += lj[c] > 400 && !m[c];
        lejanos[r] = k;
      }
    });
    long long suma = 0;
    for (long long k : lejanos) suma += k;
    const double rho = static_cast<double>(suma) / total;
    if (rho >= 0.02) {
      otrosDanos = true;
      // Among impulses of any level, a 0 or a 255 is one level like the
      // others, and a dark or bright area of the picture loses most of its
      // own neighbours to them: the rounds below judge those points too,
      // from their own levels rather than a fill.
      EnBandas(alto, hilos, [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r) {
          std::uint8_t* m = mask.fila(r);
          std::uint8_t* p = f.fila(r);
          float* q = u.fila(r);
          const std::uint8_t* original = x.fila(r);
          for (int c = 0; c < ancho; ++c) {
            if (!(m[c] & kExtremo)) continue;
            m[c] = 0;
            p[c] = original[c];
            q[c] = original[c];
          }
        }
        f.EspejarColumnas(r0, r1);
        u.EspejarColumnas(r0, r1);
        mask.EspejarColumnas(r0, r1);
      });
      f.EspejarFilas();
      u.EspejarFilas();
      mask.EspejarFilas();
      // Denser impulses: neighbours that look damaged count for less, and a
      // round of edge-preserving averaging follows; sparse ones are best left
      // as the replacement gives them.
      const bool densos = rho >= 0.11;
      rondasRefinado = rho >= 0.06 ? 1 : 0;
      const double sigma = densos ? 80 : 90;
      float pesoRoad[1021];
      for (int q = 0; q <= 1020; ++q)
        pesoRoad[q] = static_cast<float>(std::exp(-q * q / (2 * sigma * sigma)));
      float pesoSitio[5][5];
      for (int y = -2; y <= 2; ++y)
        for (int xx = -2; xx <= 2; ++xx)
          pesoSitio[y + 2][xx + 2] = static_cast<float>(std::exp(-(xx * xx + y * y) / 2.0));
      Acolchado<std::int16_t> road(alto, ancho);
      Acolchado<std::uint8_t> g(alto, ancho);
      // Each lower threshold catches fainter impulses but also takes the
      // picture's own fine detail: sparse impulses stop after one or two.
      // Dense ones first take only the blatant impulses, so that the fainter
      // ones are judged against neighbours already restored.
      // Then come rounds at low thresholds that only take a pixel where the
      // picture around it is smooth (at least half of its neighbours under
      // about a third of the threshold): there an impulse a few levels off
      // shows, while texture keeps its grain.
      const int principales = rho < 0.062 ? 1 : rho < 0.097 ? 2 : 3;
      const int escasos[2] = {80, 65}, densosUmbral[3] = {160, 110, 70};
      const int finos[5] = {60, 50, 40, 30, 22};
      const int rondas = principales + 5;
      for (int i = 0; i < rondas; ++i) {
        const bool fina = i >= principales;
        const int umbral = fina               ? finos[i - principales]
                           : principales == 3 ? densosUmbral[i]
                                              : escasos[i];
        EnBandas(alto, hilos, [&](int r0, int r1) {
          // Row-wise, so the compiler can take many levels at a time: the
          // differences to the neighbours in two groups of four, each sorted
          // by a network of five exchanges; the four smallest of all eight
          // are then the smaller of a[i] and b[3 - i].
          const int n = ancho;
          std::vector<std::uint8_t> buffer(8 * static_cast<std::size_t>(n));
          std::uint8_t* __restrict dd[8];
          for (int k = 0; k < 8; ++k) dd[k] = buffer.data() + static_cast<std::size_t>(k) * n;
          const std::ptrdiff_t vecinos[8] = {-f.paso - 1, -f.paso,    -f.paso + 1, -1,
                                             1,           f.paso - 1, f.paso,      f.paso + 1};
          auto cambio = [&](std::uint8_t* __restrict a, std::uint8_t* __restrict b) {
            for (int c = 0; c < n; ++c) {
              const std::uint8_t lo = std::min(a[c], b[c]), hi = std::max(a[c], b[c]);
              a[c] = lo;
              b[c] = hi;
            }
          };
          for (int r = r0; r < r1; ++r) {
            const std::uint8_t* p = f.fila(r);
            std::int16_t* q = road.fila(r);
            for (int k = 0; k < 8; ++k) {
              const std::uint8_t* v = p + vecinos[k];
              std::uint8_t* __restrict d = dd[k];
              for (int c = 0; c < n; ++c)
                d[c] = static_cast<std::uint8_t>(std::max(p[c], v[c]) - std::min(p[c], v[c]));
            }
            for (int h = 0; h < 8; h += 4) {
              cambio(dd[h], dd[h + 1]);
              cambio(dd[h + 2], dd[h + 3]);
              cambio(dd[h], dd[h + 2]);
              cambio(dd[h + 1], dd[h + 3]);
              cambio(dd[h + 1], dd[h + 2]);
            }
            const std::uint8_t *a0 = dd[0], *a1 = dd[1], *a2 = dd[2], *a3 = dd[3];
            const std::uint8_t *b0 = dd[4], *b1 = dd[5], *b2 = dd[6], *b3 = dd[7];
            for (int c = 0; c < n; ++c)
              q[c] = static_cast<std::int16_t>(std::min(a0[c], b3[c]) + std::min(a1[c], b2[c]) +
                                               std::min(a2[c], b1[c]) + std::min(a3[c], b0[c]));
          }
          road.EspejarColumnas(r0, r1);
        });
        road.EspejarFilas();
        EnBandas(alto, hilos, [&](int r0, int r1) {
          for (int r = r0; r < r1; ++r) {
            const std::uint8_t* p = f.fila(r);
            std::uint8_t* d = g.fila(r);
            std::uint8_t* m = mask.fila(r);
            std::memcpy(d, p, static_cast<std::size_t>(ancho));
            const std::int16_t* q = road.fila(r);
            for (int c = 0; c < ancho; ++c) {
              if (q[c] <= umbral || (m[c] & kExtremo)) continue;
              if (fina && !Liso(q, c, road.paso, umbral)) continue;
              if (lejania(p, c) <= 3 * umbral / 2) continue;
              float suma = 0, peso = 0;
              for (int y = -2; y <= 2; ++y)
                for (int xx = -2; xx <= 2; ++xx) {
                  if (!y && !xx) continue;
                  const float w = pesoSitio[y + 2][xx + 2] *
                                  pesoRoad[std::min<int>(q[c + y * road.paso + xx], 1020)];
                  suma += w * p[c + y * f.paso + xx];
                  peso += w;
                }
              d[c] = static_cast<std::uint8_t>(
                  0.5f * (MedianaDireccional(p, c, f.paso) + (peso > 0 ? suma / peso : p[c])) +
                  0.5f);
              m[c] |= kImpulso;
            }
          }
          g.EspejarColumnas(r0, r1);
        });
        g.EspejarFilas();
        std::swap(f.datos, g.datos);
      }
      mask.EspejarColumnas(0, alto);
      mask.EspejarFilas();
    }
  }
  t.impulsos = Segundos(inicio);
  avanzar(0.45);

  // --- Dust specks -------------------------------------------------------
  // A speck is darker (or brighter) than the closing (opening) of the picture
  // by a 9-pixel segment, whichever way the segment lies: anything shorter
  // than 9 pixels in every direction is filled, while a line or an edge keeps
  // its level along the segment that follows it. The speck must stand out by
  // more than the picture's own fine texture: the threshold is the larger of
  // 80 levels and six times the mean residue.
  inicio = Reloj::now();
  {
    Acolchado<std::uint8_t> a(alto, ancho), cerrado(alto, ancho);
    Acolchado<std::uint8_t> oscuro(alto, ancho), claro(alto, ancho);
    const int dirs[4][2] = {{0, 1}, {1, 0}, {1, 1}, {1, -1}};
    // dst = the extreme of src over the 9-pixel segment along o.
    auto segmento = [&](const Acolchado<std::uint8_t>& src, Acolchado<std::uint8_t>& dst,
                        std::ptrdiff_t o, bool maximo) {
      EnBandas(alto, hilos, [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r) {
          const std::uint8_t* p = src.fila(r);
          std::uint8_t* d = dst.fila(r);
          // Row-wise, so the compiler can take many levels at a time (the
          // width in a local: a level store could otherwise change it).
          const int n = ancho;
          std::memcpy(d, p, static_cast<std::size_t>(n));
          for (int k = 1; k <= 4; ++k) {
            const std::uint8_t* a = p + k * o;
            const std::uint8_t* b = p - k * o;
            if (maximo) {
              for (int c = 0; c < n; ++c) d[c] = std::max(d[c], std::max(a[c], b[c]));
            } else {
              for (int c = 0; c < n; ++c) d[c] = std::min(d[c], std::min(a[c], b[c]));
            }
          }
        }
        dst.EspejarColumnas(r0, r1);
      });
      dst.EspejarFilas();
    };
    for (int k = 0; k < 4; ++k) {
      const std::ptrdiff_t o = dirs[k][0] * f.paso + dirs[k][1];
      for (int oscuridad = 0; oscuridad < 2; ++oscuridad) {
        const bool negro = oscuridad == 0;
        segmento(f, a, o, negro);
        segmento(a, cerrado, o, !negro);
        Acolchado<std::uint8_t>& res = negro ? oscuro : claro;
        EnBandas(alto, hilos, [&](int r0, int r1) {
          for (int r = r0; r < r1; ++r) {
            const std::uint8_t* p = f.fila(r);
            const std::uint8_t* q = cerrado.fila(r);
            std::uint8_t* d = res.fila(r);
            const int n = ancho;
            const std::uint8_t* lo = negro ? p : q;
            const std::uint8_t* hi = negro ? q : p;
            if (k == 0) {
              for (int c = 0; c < n; ++c) d[c] = static_cast<std::uint8_t>(hi[c] - lo[c]);
            } else {
              for (int c = 0; c < n; ++c)
                d[c] = std::min(d[c], static_cast<std::uint8_t>(hi[c] - lo[c]));
            }
          }
        });
      }
    }
    std::vector<long long> sumas(static_cast<std::size_t>(alto));
    EnBandas(alto, hilos, [&](int r0, int r1) {
      for (int r = r0; r < r1; ++r) {
        long long s = 0;
        for (int c = 0; c < ancho; ++c) s += oscuro.fila(r)[c] + claro.fila(r)[c];
        sumas[r] = s;
      }
    });
    long long suma = 0;
    for (long long s : sumas) suma += s;
    const int umbral = std::max(80, static_cast<int>(6.0 * static_cast<double>(suma) / total));
    std::vector<long long> motas(static_cast<std::size_t>(alto));
    EnBandas(alto, hilos, [&](int r0, int r1) {
      for (int r = r0; r < r1; ++r) {
        long long n = 0;
        for (int c = 0; c < ancho; ++c)
          n += oscuro.fila(r)[c] > umbral || claro.fila(r)[c] > umbral;
        motas[r] = n;
      }
    });
    long long nmotas = 0;
    for (long long n : motas) nmotas += n;
    // Dusty prints show many specks, but at most a few per cent of the area:
    // a handful of marks is the picture's own detail, and marks over much
    // more than that are its content (print, texture).
    const double share = static_cast<double>(nmotas) / total;
    if (share > 0.007 && share < 0.03) {
      otrosDanos = true;
      EnBandas(alto, hilos, [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r) {
          std::uint8_t* m = mask.fila(r);
          for (int c = 0; c < ancho; ++c)
            if (oscuro.fila(r)[c] > umbral || claro.fila(r)[c] > umbral) m[c] |= kMota;
        }
      });
    }
    mask.EspejarColumnas(0, alto);
    mask.EspejarFilas();
  }
  t.motas = Segundos(inicio);
  avanzar(0.6);

  // --- The joint mask filled from undamaged pixels -----------------------
  inicio = Reloj::now();
  // Specks are filled from the undamaged pixels around them; the impulses
  // keep the levels their rounds gave them, which saw through the impulses
  // too faint to be caught, and the extremes keep their first fill.
  if (otrosDanos) {
    EnBandas(alto, hilos, [&](int r0, int r1) {
      for (int r = r0; r < r1; ++r) {
        const std::uint8_t* m = mask.fila(r);
        const std::uint8_t* p = f.fila(r);
        float* d = u.fila(r);
        for (int c = 0; c < ancho; ++c) {
          if (m[c] & kMota) {
            const float v = Rellenar(mask, x, r, c, alto, ancho);
            d[c] = v >= 0 ? v : x.fila(r)[c];
          } else if (m[c] & kImpulso) {
            d[c] = p[c];
          }
        }
      }
      u.EspejarColumnas(r0, r1);
    });
    u.EspejarFilas();
  }
  std::vector<long long> danados(static_cast<std::size_t>(alto));
  EnBandas(alto, hilos, [&](int r0, int r1) {
    for (int r = r0; r < r1; ++r) {
      const std::uint8_t* m = mask.fila(r);
      long long n = 0;
      for (int c = 0; c < ancho; ++c) n += m[c] != 0;
      danados[r] = n;
    }
  });
  for (long long n : danados) res.danados += n;
  res.proporcion = static_cast<double>(res.danados) / total;
  t.relleno = Segundos(inicio);
  avanzar(0.75);

  // --- Edge-preserving rounds over the filled pixels ---------------------
  // Each round gives a filled pixel the mean of the four pairs of opposite
  // neighbours, each pair weighted by how well its two levels agree: along an
  // edge the pair agrees and wins, across it the pair disagrees and hardly
  // counts. Undamaged pixels keep their levels.
  inicio = Reloj::now();
  {
    for (int ronda = 0; ronda < rondasRefinado && res.danados > 0; ++ronda) {
      EnBandas(alto, hilos, [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r) {
          const std::uint8_t* m = mask.fila(r);
          const float* __restrict p = u.fila(r);
          float* __restrict d = u2.fila(r);
          // Every pixel of the row is worked out, without a branch, so the
          // compiler can take many at a time; undamaged ones keep theirs.
          const std::ptrdiff_t o0 = 1, o1 = u.paso, o2 = u.paso + 1, o3 = u.paso - 1;
          const int n = ancho;
          if (std::find_if(m, m + n, [](std::uint8_t b) { return b != 0; }) == m + n) {
            std::memcpy(d, p, static_cast<std::size_t>(n) * sizeof(float));
            continue;
          }
          for (int c = 0; c < n; ++c) {
            const float a0 = p[c + o0], b0 = p[c - o0], a1 = p[c + o1], b1 = p[c - o1];
            const float a2 = p[c + o2], b2 = p[c - o2], a3 = p[c + o3], b3 = p[c - o3];
            const float w0 = 1.0f / ((a0 - b0) * (a0 - b0) + 100.0f);
            const float w1 = 1.0f / ((a1 - b1) * (a1 - b1) + 100.0f);
            const float w2 = 0.5f / ((a2 - b2) * (a2 - b2) + 100.0f);
            const float w3 = 0.5f / ((a3 - b3) * (a3 - b3) + 100.0f);
            const float suma = w0 * (a0 + b0) + w1 * (a1 + b1) + w2 * (a2 + b2) + w3 * (a3 + b3);
            const float peso = 2 * (w0 + w1 + w2 + w3);
            const float nuevo = suma / peso;
            const float viejo = p[c];
            d[c] = viejo + (nuevo - viejo) * static_cast<float>(std::min<int>(m[c], 1));
          }
        }
        u2.EspejarColumnas(r0, r1);
      });
      u2.EspejarFilas();
      std::swap(u.datos, u2.datos);
    }
  }
  EnBandas(alto, hilos, [&](int r0, int r1) {
    for (int r = r0; r < r1; ++r) {
      const float* p = u.fila(r);
      std::uint8_t* d = salida[r];
      const int n = ancho;
      for (int c = 0; c < n; ++c)
        d[c] = static_cast<std::uint8_t>(std::clamp(p[c], 0.0f, 255.0f) + 0.5f);
    }
  });
  t.refinado = Segundos(inicio);
  avanzar(1.0);
  if (op.vista) {
    for (int r = 0; r < alto; ++r) op.vista->drawRow(r, salida[r], 0, ancho);
    op.vista->resetProgress();
  }
  if (op.tiempos) *op.tiempos = t;
  return res;
}

}  // namespace morvane
