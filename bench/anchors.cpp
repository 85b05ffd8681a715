#include "bench/anchors.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "morphology/detection.h"
#include "restoration/restaurar.h"
#include "workspace/workspace.h"

namespace morvane::bench {

int Espejo(int i, int n) {
  if (n == 1) return 0;
  const int p = 2 * (n - 1);
  i %= p;
  if (i < 0) i += p;
  return i < n ? i : p - i;
}

namespace {

bool Extremo(std::uint8_t v) {
  return v == 0 || v == 255;
}

// Median of the values (mean of the two middle ones for an even count).
int Mediana(std::vector<int>& v) {
  const std::size_t n = v.size();
  std::nth_element(v.begin(), v.begin() + n / 2, v.end());
  const int hi = v[n / 2];
  if (n % 2 == 1) return hi;
  const int lo = *std::max_element(v.begin(), v.begin() + n / 2);
  return (lo + hi + 1) / 2;
}

}  // namespace

Gris Mediana3x3(const Gris& in) {
  Gris out(in.alto, in.ancho);
  std::vector<int> w;
  for (int r = 0; r < in.alto; ++r) {
    for (int c = 0; c < in.ancho; ++c) {
      w.clear();
      for (int y = -1; y <= 1; ++y)
        for (int x = -1; x <= 1; ++x) w.push_back(Leer(in, r + y, c + x));
      out.at(r, c) = static_cast<std::uint8_t>(Mediana(w));
    }
  }
  return out;
}

Gris MedianaAdaptativa(const Gris& in, int smax) {
  Gris out(in.alto, in.ancho);
  std::vector<int> w;
  for (int r = 0; r < in.alto; ++r) {
    for (int c = 0; c < in.ancho; ++c) {
      const int z = in.at(r, c);
      int result = z;
      for (int h = 1; 2 * h + 1 <= smax; ++h) {
        w.clear();
        for (int y = -h; y <= h; ++y)
          for (int x = -h; x <= h; ++x) w.push_back(Leer(in, r + y, c + x));
        std::nth_element(w.begin(), w.begin() + w.size() / 2, w.end());
        const int med = w[w.size() / 2];
        const int mn = *std::min_element(w.begin(), w.end());
        const int mx = *std::max_element(w.begin(), w.end());
        if (mn < med && med < mx) {  // level B
          result = (mn < z && z < mx) ? z : med;
          break;
        }
        result = med;  // the largest window's median when it never settles
      }
      out.at(r, c) = static_cast<std::uint8_t>(result);
    }
  }
  return out;
}

namespace {

struct Ventana {
  int mn, mx;
  double media;  // -1: every level is the minimum or the maximum
};

Ventana Medir(const Gris& in, int r, int c, int w) {
  int mn = 255, mx = 0;
  for (int y = -w; y <= w; ++y)
    for (int x = -w; x <= w; ++x) {
      const int v = Leer(in, r + y, c + x);
      mn = std::min(mn, v);
      mx = std::max(mx, v);
    }
  long sum = 0, n = 0;
  for (int y = -w; y <= w; ++y)
    for (int x = -w; x <= w; ++x) {
      const int v = Leer(in, r + y, c + x);
      if (v != mn && v != mx) {
        sum += v;
        ++n;
      }
    }
  return {mn, mx, n ? static_cast<double>(sum) / n : -1.0};
}

}  // namespace

Gris MediaPonderadaAdaptativa(const Gris& in, int wmax) {
  Gris out(in.alto, in.ancho);
  for (int r = 0; r < in.alto; ++r) {
    for (int c = 0; c < in.ancho; ++c) {
      const int z = in.at(r, c);
      int w = 1;
      Ventana a = Medir(in, r, c, w);
      bool settled = false;
      while (w <= wmax) {
        const Ventana b = Medir(in, r, c, w + 1);
        if (a.mn == b.mn && a.mx == b.mx && a.media != -1.0) {
          settled = true;
          break;
        }
        ++w;
        a = b;
      }
      if (!settled) a = Medir(in, r, c, wmax);
      int v = z;
      if (!(a.mn < z && z < a.mx) && a.media >= 0) v = static_cast<int>(std::lround(a.media));
      out.at(r, c) = static_cast<std::uint8_t>(v);
    }
  }
  return out;
}

Gris MedianaAplicadaDiferente(const Gris& in) {
  Gris out = in;
  std::vector<int> w;
  const int hmax = std::max(in.alto, in.ancho);
  for (int r = 0; r < in.alto; ++r) {
    for (int c = 0; c < in.ancho; ++c) {
      if (!Extremo(in.at(r, c))) continue;
      for (int h = 1; h <= hmax; ++h) {
        w.clear();
        for (int y = -h; y <= h; ++y)
          for (int x = -h; x <= h; ++x) {
            const std::uint8_t v = Leer(in, r + y, c + x);
            if (!Extremo(v)) w.push_back(v);
          }
        if (!w.empty()) {
          out.at(r, c) = static_cast<std::uint8_t>(Mediana(w));
          break;
        }
      }
    }
  }
  return out;
}

Gris FiltroRoad(const Gris& noisy) {
  Gris in = noisy;
  const double umbrales[] = {80, 60, 45};
  std::vector<double> road(in.v.size());
  for (double umbral : umbrales) {
    for (int r = 0; r < in.alto; ++r) {
      for (int c = 0; c < in.ancho; ++c) {
        int d[8], k = 0;
        for (int y = -1; y <= 1; ++y)
          for (int x = -1; x <= 1; ++x)
            if (y || x) d[k++] = std::abs(Leer(in, r + y, c + x) - in.at(r, c));
        std::partial_sort(d, d + 4, d + 8);
        road[static_cast<std::size_t>(r) * in.ancho + c] = d[0] + d[1] + d[2] + d[3];
      }
    }
    Gris out = in;
    for (int r = 0; r < in.alto; ++r) {
      for (int c = 0; c < in.ancho; ++c) {
        if (road[static_cast<std::size_t>(r) * in.ancho + c] <= umbral) continue;
        double sum = 0, peso = 0;
        for (int y = -2; y <= 2; ++y)
          for (int x = -2; x <= 2; ++x) {
            if (!y && !x) continue;
            const int rr = Espejo(r + y, in.alto), cc = Espejo(c + x, in.ancho);
            const double q = road[static_cast<std::size_t>(rr) * in.ancho + cc];
            const double p =
                std::exp(-(x * x + y * y) / 2.0) * std::exp(-q * q / (2 * 40.0 * 40.0));
            sum += p * in.at(rr, cc);
            peso += p;
          }
        if (peso > 1e-12) out.at(r, c) = static_cast<std::uint8_t>(std::lround(sum / peso));
      }
    }
    in = std::move(out);
  }
  return in;
}

namespace {

struct Silencio : MessageLog, ResultView {
  void clear() override {}
  void append(const char*) override {}
  void drawRow(int, const std::uint8_t*, int, int) override {}
  void stepProgress() override {}
  void resetProgress() override {}
  void setTitle(const char*) override {}
  void showView() override {}
};

}  // namespace

Gris RecetaInicial(const Gris& in) {
  Workspace ws;
  ws.Alto = in.alto;
  ws.Ancho = in.ancho;
  ws.ImagenInicial = Plane(in.alto, in.ancho);
  ws.ImagenFinal = Plane(in.alto, in.ancho);
  ReservarAuxiliares(ws);
  for (int r = 0; r < in.alto; ++r)
    for (int c = 0; c < in.ancho; ++c) ws.ImagenInicial[r][c] = in.at(r, c);
  ws.ImagenCargada = true;
  ws.Matriz.n = 3;
  ws.Matriz.weights.assign(9, 0);
  ws.MatrizCargada = true;
  ws.Umbral = 50;
  Silencio s;
  PuntosNegros(ws, s, s);
  Restaurar(ws, s, s, ParametrosRestauracion{});
  CopiarPlano(ws.ImagenFinal, ws.ImagenInicial);  // "<<"
  PuntosBlancos(ws, s, s);
  Restaurar(ws, s, s, ParametrosRestauracion{});
  Gris out(in.alto, in.ancho);
  for (int r = 0; r < in.alto; ++r)
    for (int c = 0; c < in.ancho; ++c) out.at(r, c) = ws.ImagenFinal[r][c];
  return out;
}

}  // namespace morvane::bench
