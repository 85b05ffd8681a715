// Speed of the automatic restoration on a 12-megapixel picture, in plane
// copies: the time of one copy of a whole plane (CopiarPlano, a memcpy),
// measured in the same run. Prints the total and each stage.
// Usage: automatica_speed_bench [threads]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "restoration/automatica.h"

namespace {

using Reloj = std::chrono::steady_clock;

// Processor time of the whole process, every thread together.
double Cpu() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// A photograph-like picture: smooth shading, a few hard edges and some grain.
void Foto(morvane::Plane& p, int alto, int ancho) {
  std::mt19937 rng(11);
  for (int r = 0; r < alto; ++r)
    for (int c = 0; c < ancho; ++c) {
      double v = 110 + 60 * std::sin(r * 0.002) * std::cos(c * 0.0015) + 0.01 * (c - r);
      if ((r / 400 + c / 500) % 3 == 0) v += 50;
      v += static_cast<int>(rng() % 7) - 3;
      p[r][c] = static_cast<std::uint8_t>(std::clamp(v, 1.0, 254.0));
    }
}

void Danar(const morvane::Plane& limpia, morvane::Plane& sucia, int alto, int ancho, double sp,
           double rv) {
  std::mt19937 rng(5);
  for (int r = 0; r < alto; ++r)
    for (int c = 0; c < ancho; ++c) {
      const double u = (rng() >> 8) / 16777216.0;
      std::uint8_t v = limpia[r][c];
      if (u < sp)
        v = rng() % 2 ? 255 : 0;
      else if (u < sp + rv)
        v = static_cast<std::uint8_t>(rng() % 256);
      sucia[r][c] = v;
    }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace morvane;
  const int hilos = argc > 1 ? std::atoi(argv[1]) : 0;
  const int alto = 3000, ancho = 4000;
  Plane limpia(alto, ancho), sucia(alto, ancho), salida(alto, ancho);
  Foto(limpia, alto, ancho);
  // One plane copy: the median of 21.
  std::vector<double> copias, copiasCpu;
  for (int i = 0; i < 21; ++i) {
    const auto t0 = Reloj::now();
    const double c0 = Cpu();
    CopiarPlano(limpia, salida);
    copiasCpu.push_back(Cpu() - c0);
    copias.push_back(std::chrono::duration<double>(Reloj::now() - t0).count());
  }
  std::nth_element(copiasCpu.begin(), copiasCpu.begin() + 10, copiasCpu.end());
  const double copiaCpu = copiasCpu[10];
  std::nth_element(copias.begin(), copias.begin() + 10, copias.end());
  const double copia = copias[10];
  std::printf(
      "12-megapixel picture (%d x %d), threads %d; one plane copy %.2f ms (processor %.2f ms)\n"
      "total: elapsed time; cpu/2: processor time of all threads over two cores, which\n"
      "is what the elapsed time comes to on an idle two-core machine\n",
      alto, ancho, hilos, copia * 1000, copiaCpu * 1000);
  std::printf("%-22s %8s %8s %8s | %8s %8s %8s %8s %8s  (plane copies)\n", "case", "total", "cpu/2",
              "damaged", "extreme", "impulse", "dust", "fill", "refine");
  struct Caso {
    const char* nombre;
    double sp, rv;
  };
  for (const Caso& caso :
       {Caso{"clean", 0, 0}, Caso{"salt-and-pepper 30%", 0.3, 0},
        Caso{"salt-and-pepper 90%", 0.9, 0}, Caso{"random-valued 20%", 0, 0.2}}) {
    Danar(limpia, sucia, alto, ancho, caso.sp, caso.rv);
    double mejor = 1e9, mejorCpu = 1e9;
    TiemposAutomatica t, tm;
    ResultadoAutomatica res;
    for (int i = 0; i < 3; ++i) {  // the best of three
      OpcionesAutomatica op;
      op.hilos = hilos;
      op.tiempos = &t;
      const auto t0 = Reloj::now();
      const double c0 = Cpu();
      res = RestauracionAutomatica(sucia, salida, alto, ancho, op);
      const double s = std::chrono::duration<double>(Reloj::now() - t0).count();
      mejorCpu = std::min(mejorCpu, Cpu() - c0);
      if (s < mejor) {
        mejor = s;
        tm = t;
      }
    }
    std::printf("%-22s %8.0f %8.0f %7.1f%% | %8.0f %8.0f %8.0f %8.0f %8.0f\n", caso.nombre,
                mejor / copia, mejorCpu / 2 / copiaCpu, 100 * res.proporcion, tm.extremos / copia,
                tm.impulsos / copia, tm.motas / copia, tm.relleno / copia, tm.refinado / copia);
  }
  return 0;
}
