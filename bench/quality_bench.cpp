// Restoration quality: PSNR and SSIM of every method on the gray test pictures
// that python3-skimage installs, under salt-and-pepper noise, impulses of any
// level, dust specks, and with no damage at all. The pictures are decoded from
// the installed PNG files with libpng at run time; colour ones are turned gray
// with the weights 0.2125, 0.7154, 0.0721. Noise comes from a fixed seed, so
// runs compare. Usage:
//   quality_bench [--detalle] [--tipo=sp|rv|dust|clean] [--foto=NAME] [--densidad=D]
//                 [--metodos=NAME,NAME...] [data folder]
// --metodos keeps only the named methods (automatic always runs, last).
// With --foto the noise differs from a full run (the seed follows the picture's place).
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench/anchors.h"
#include "bench/quality_metrics.h"
#include "restoration/automatica.h"

namespace morvane::bench {
namespace {

bool LeerPng(const std::string& path, Gris& out) {
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
  const bool color = (img.format & PNG_FORMAT_FLAG_COLOR) != 0;
  img.format = color ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
  std::vector<std::uint8_t> buf(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, buf.data(), 0, nullptr)) return false;
  out = Gris(static_cast<int>(img.height), static_cast<int>(img.width));
  for (std::size_t i = 0; i < out.v.size(); ++i) {
    if (color) {
      const double g = 0.2125 * buf[3 * i] + 0.7154 * buf[3 * i + 1] + 0.0721 * buf[3 * i + 2];
      out.v[i] = static_cast<std::uint8_t>(std::lround(g));
    } else {
      out.v[i] = buf[i];
    }
  }
  return true;
}

// A small fixed generator (splitmix64), the same on every platform.
struct Azar {
  std::uint64_t s;
  std::uint64_t operator()() {
    std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniforme() { return static_cast<double>((*this)() >> 11) * (1.0 / 9007199254740992.0); }
  int entero(int n) { return static_cast<int>((*this)() % static_cast<std::uint64_t>(n)); }
};

Gris SalYPimienta(const Gris& g, double d, Azar& a) {
  Gris o = g;
  for (auto& v : o.v)
    if (a.uniforme() < d) v = a.entero(2) ? 255 : 0;
  return o;
}

Gris Aleatorio(const Gris& g, double d, Azar& a) {
  Gris o = g;
  for (auto& v : o.v)
    if (a.uniforme() < d) v = static_cast<std::uint8_t>(a.entero(256));
  return o;
}

// Dust: round specks of 1 to 7 pixels across, each dark (level 0 .. 40) or
// bright (215 .. 255) with a little grain, dropped until they cover about the
// given share of the area.
Gris Polvo(const Gris& g, double cubierta, Azar& a) {
  Gris o = g;
  std::vector<std::uint8_t> tocado(g.v.size(), 0);
  const long long objetivo = static_cast<long long>(cubierta * static_cast<double>(g.v.size()));
  long long cubiertos = 0;
  while (cubiertos < objetivo) {
    const int diam = 1 + a.entero(7);
    const int r0 = a.entero(g.alto), c0 = a.entero(g.ancho);
    const bool oscura = a.entero(2) == 0;
    const int base = oscura ? a.entero(41) : 215 + a.entero(41);
    const double rad = diam / 2.0;
    for (int y = 0; y < diam; ++y)
      for (int x = 0; x < diam; ++x) {
        const double dy = y + 0.5 - rad, dx = x + 0.5 - rad;
        if (dy * dy + dx * dx > rad * rad + 0.25) continue;
        const int r = r0 + y, c = c0 + x;
        if (r >= g.alto || c >= g.ancho) continue;
        const int v = std::clamp(base + a.entero(9) - 4, 0, 255);
        o.at(r, c) = static_cast<std::uint8_t>(v);
        auto& t = tocado[static_cast<std::size_t>(r) * g.ancho + c];
        cubiertos += !t;
        t = 1;
      }
  }
  return o;
}

Gris Automatica(const Gris& in) {
  Plane p(in.alto, in.ancho);
  for (int r = 0; r < in.alto; ++r)
    std::memcpy(p[r], &in.v[static_cast<std::size_t>(r) * in.ancho], in.ancho);
  RestauracionAutomatica(p, p, in.alto, in.ancho);
  Gris o(in.alto, in.ancho);
  for (int r = 0; r < in.alto; ++r)
    std::memcpy(&o.v[static_cast<std::size_t>(r) * in.ancho], p[r], in.ancho);
  return o;
}

struct Metodo {
  const char* nombre;
  std::function<Gris(const Gris&)> run;
  bool ancla;  // a published filter or the seed recipe, to beat
};

struct Caso {
  const char* tipo;
  double densidad;
};

}  // namespace
}  // namespace morvane::bench

int main(int argc, char** argv) {
  using namespace morvane::bench;
  std::string carpeta = "/usr/lib/python3/dist-packages/skimage/data";
  bool detalle = false;
  std::string solo, fotoSolo, metodosSolos;
  double densidadSola = -1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--detalle") == 0)
      detalle = true;
    else if (std::strncmp(argv[i], "--tipo=", 7) == 0)
      solo = argv[i] + 7;
    else if (std::strncmp(argv[i], "--foto=", 7) == 0)
      fotoSolo = argv[i] + 7;
    else if (std::strncmp(argv[i], "--metodos=", 10) == 0)
      metodosSolos.append(",").append(argv[i] + 10).append(",");
    else if (std::strncmp(argv[i], "--densidad=", 11) == 0)
      densidadSola = std::atof(argv[i] + 11);
    else
      carpeta = argv[i];
  }
  const char* nombres[] = {"camera",    "coins", "moon",  "page",  "text",
                           "astronaut", "brick", "grass", "gravel"};
  std::vector<std::pair<std::string, Gris>> fotos;
  for (const char* n : nombres) {
    if (!fotoSolo.empty() && fotoSolo != n) continue;
    Gris g;
    if (!LeerPng(carpeta + "/" + n + ".png", g)) {
      std::fprintf(stderr, "cannot read %s/%s.png (install python3-skimage)\n", carpeta.c_str(), n);
      return 1;
    }
    fotos.emplace_back(n, std::move(g));
  }
  std::vector<Metodo> metodos = {
      {"noisy", [](const Gris& g) { return g; }, false},
      {"median3x3", Mediana3x3, true},
      {"AMF", [](const Gris& g) { return MedianaAdaptativa(g); }, true},
      {"AWMF", [](const Gris& g) { return MediaPonderadaAdaptativa(g); }, true},
      {"DAMF", MedianaAplicadaDiferente, true},
      {"ROAD", FiltroRoad, true},
      {"seed", RecetaInicial, true},
      {"automatic", Automatica, false},
  };
  if (!metodosSolos.empty())
    std::erase_if(metodos, [&](const Metodo& m) {
      return std::strcmp(m.nombre, "automatic") != 0 &&
             metodosSolos.find(std::string(",").append(m.nombre).append(",")) == std::string::npos;
    });
  const std::vector<Caso> casos = {{"sp", 0.1}, {"sp", 0.3},    {"sp", 0.5}, {"sp", 0.7},
                                   {"sp", 0.9}, {"rv", 0.1},    {"rv", 0.2}, {"rv", 0.3},
                                   {"rv", 0.4}, {"dust", 0.03}, {"clean", 0}};
  const std::size_t nm = metodos.size();
  std::printf(
      "PSNR in dB; SSIM (Wang et al. 2004, 11x11 Gaussian window sigma 1.5, valid\n"
      "positions only). sp: salt and pepper; rv: impulses of any level; dust: specks\n"
      "1-7 px covering the given share; clean: no damage.\n\n");
  for (const Caso& caso : casos) {
    if (!solo.empty() && solo != caso.tipo) continue;
    if (densidadSola >= 0 && std::fabs(densidadSola - caso.densidad) > 1e-9) continue;
    std::vector<double> sumP(nm, 0), sumS(nm, 0);
    std::vector<std::vector<double>> psnr(fotos.size(), std::vector<double>(nm));
    double segundos = 0;
    for (std::size_t f = 0; f < fotos.size(); ++f) {
      const Gris& limpia = fotos[f].second;
      Azar azar{0x5EEDull * 1000003 + f * 7919 + static_cast<std::uint64_t>(caso.densidad * 1000) +
                static_cast<std::uint64_t>(caso.tipo[0]) * 131};
      Gris sucia = std::strcmp(caso.tipo, "sp") == 0     ? SalYPimienta(limpia, caso.densidad, azar)
                   : std::strcmp(caso.tipo, "rv") == 0   ? Aleatorio(limpia, caso.densidad, azar)
                   : std::strcmp(caso.tipo, "dust") == 0 ? Polvo(limpia, caso.densidad, azar)
                                                         : limpia;
      if (detalle)
        std::printf("%-5s %3.0f%% %-10s", caso.tipo, caso.densidad * 100, fotos[f].first.c_str());
      for (std::size_t m = 0; m < nm; ++m) {
        const auto t0 = std::chrono::steady_clock::now();
        const Gris out = metodos[m].run(sucia);
        if (m + 1 == nm)
          segundos += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double p = Psnr(limpia, out), s = Ssim(limpia, out);
        psnr[f][m] = p;
        sumP[m] += p;
        sumS[m] += s;
        if (detalle) std::printf(" %s %5.2f/%.3f", metodos[m].nombre, p, s);
      }
      if (detalle) std::printf("\n");
    }
    const double n = static_cast<double>(fotos.size());
    std::printf("%-5s %3.0f%%  mean PSNR / SSIM over %zu pictures\n", caso.tipo,
                caso.densidad * 100, fotos.size());
    double mejorAncla = -1e9, mejorSsim = -1e9;
    for (std::size_t m = 0; m < nm; ++m) {
      std::printf("  %-10s %6.2f  %.4f\n", metodos[m].nombre, sumP[m] / n, sumS[m] / n);
      if (metodos[m].ancla) {
        mejorAncla = std::max(mejorAncla, sumP[m] / n);
        mejorSsim = std::max(mejorSsim, sumS[m] / n);
      }
    }
    int porDebajo = 0;
    for (std::size_t f = 0; f < fotos.size(); ++f)
      for (std::size_t m = 0; m < nm; ++m)
        if (metodos[m].ancla && psnr[f][nm - 1] <= psnr[f][m]) {
          ++porDebajo;
          std::printf("  ! %s: automatic %.2f <= %s %.2f\n", fotos[f].first.c_str(),
                      psnr[f][nm - 1], metodos[m].nombre, psnr[f][m]);
        }
    std::printf(
        "  automatic - best anchor: %+.2f dB PSNR, %+.4f SSIM; pictures at or below an "
        "anchor: %d; automatic %.1f ms per picture\n\n",
        sumP[nm - 1] / n - mejorAncla, sumS[nm - 1] / n - mejorSsim, porDebajo,
        1000 * segundos / n);
    std::fflush(stdout);
  }
  return 0;
}
