// Restoration speed: the four filters on a noisy photograph-like picture after
// a black-point detection, the cubic filter on its hard cases, and the literal
// reference versions for comparison. Rates are in megapixels of the picture
// per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>

#include "restoration/cubic.h"
#include "restoration/neighbourhood.h"
#include "tests/support/restoration_oracle.h"
#include "workspace/parallel.h"

namespace morvane {
namespace {

struct Scene {
  Workspace ws;
  Plane damage;  // ImagenFinal before the run, put back before each iteration
};

void Reservar(Scene& s, int alto, int ancho) {
  oracle::Reservar(s.ws, alto, ancho);
  s.damage = Plane(alto, ancho);
}

// 3 x 3 maximum (dilation by the zero matrix) or minimum of the interior;
// the border keeps the source levels.
void Extremo3x3(const Plane& src, Plane& dst, int alto, int ancho, bool maximo) {
  CopiarPlano(src, dst);
  for (int r = 1; r < alto - 1; ++r) {
    for (int c = 1; c < ancho - 1; ++c) {
      std::uint8_t v = src[r][c];
      for (int y = r - 1; y <= r + 1; ++y) {
        for (int x = c - 1; x <= c + 1; ++x)
          v = maximo ? std::max(v, src[y][x]) : std::min(v, src[y][x]);
      }
      dst[r][c] = v;
    }
  }
}

// A smooth picture with 10% black impulse noise, and the damage plane of a
// black-point detection with the 3 x 3 zero matrix: closing minus picture.
std::unique_ptr<Scene> Ruidosa(int alto, int ancho) {
  auto s = std::make_unique<Scene>();
  Reservar(*s, alto, ancho);
  std::mt19937 rng(1);
  for (int r = 0; r < alto; ++r) {
    for (int c = 0; c < ancho; ++c) {
      int level = 60 + (r * 97 / alto) + (c * 83 / ancho) + static_cast<int>(rng() % 9);
      if (rng() % 10 == 0) level = static_cast<int>(rng() % 16);
      s->ws.ImagenInicial[r][c] = static_cast<std::uint8_t>(level);
    }
  }
  Plane dilated(alto, ancho);
  Extremo3x3(s->ws.ImagenInicial, dilated, alto, ancho, true);
  Extremo3x3(dilated, s->ws.Auxiliar2, alto, ancho, false);
  for (int r = 0; r < alto; ++r) {
    for (int c = 0; c < ancho; ++c)
      s->damage[r][c] =
          static_cast<std::uint8_t>(std::max(0, s->ws.Auxiliar2[r][c] - s->ws.ImagenInicial[r][c]));
  }
  s->ws.Umbral = 30;
  return s;
}

// A bright picture with a few small dark spots, and its dilation as the damage
// plane ("Dilatacion" in the advanced mode): nearly every pixel is damaged and
// the admitted ones are far apart.
std::unique_ptr<Scene> Dilatada(int alto, int ancho) {
  auto s = std::make_unique<Scene>();
  Reservar(*s, alto, ancho);
  std::mt19937 rng(2);
  for (int r = 0; r < alto; ++r) {
    for (int c = 0; c < ancho; ++c)
      s->ws.ImagenInicial[r][c] = static_cast<std::uint8_t>(170 + static_cast<int>(rng() % 80));
  }
  for (int k = 0; k < alto * ancho / 2000; ++k) {
    const int r = 1 + static_cast<int>(rng() % (alto - 3));
    const int c = 1 + static_cast<int>(rng() % (ancho - 3));
    for (int y = r - 1; y <= r + 1; ++y) {
      for (int x = c - 1; x <= c + 1; ++x) s->ws.ImagenInicial[y][x] = 5;
    }
  }
  Extremo3x3(s->ws.ImagenInicial, s->damage, alto, ancho, true);
  s->ws.Umbral = 30;
  return s;
}

std::unique_ptr<Scene> Oscura(int alto, int ancho) {
  auto s = Ruidosa(alto, ancho);
  s->ws.Umbral = -1;  // every pixel damaged, none admitted
  return s;
}

Scene& Cached(int which, int alto, int ancho) {
  static std::unique_ptr<Scene> scenes[8];
  static int sizes[8][2];
  if (!scenes[which] || sizes[which][0] != alto || sizes[which][1] != ancho) {
    scenes[which] = which % 3 == 0   ? Ruidosa(alto, ancho)
                    : which % 3 == 1 ? Dilatada(alto, ancho)
                                     : Oscura(alto, ancho);
    sizes[which][0] = alto;
    sizes[which][1] = ancho;
  }
  return *scenes[which];
}

class VistaNula : public ResultView {
 public:
  void drawRow(int, const std::uint8_t*, int, int) override {}
  void stepProgress() override {}
  void resetProgress() override {}
  void setTitle(const char*) override {}
  void showView() override {}
};

template <class Run>
void Medir(benchmark::State& state, Scene& s, Run run) {
  VistaNula view;
  for (auto _ : state) {
    state.PauseTiming();
    CopiarPlano(s.damage, s.ws.ImagenFinal);
    state.ResumeTiming();
    run(s.ws, view);
    benchmark::DoNotOptimize(s.ws.ImagenFinal[s.ws.Alto / 2]);
  }
  const double pixels = static_cast<double>(s.ws.Alto) * s.ws.Ancho;
  state.counters["Mpx/s"] = benchmark::Counter(
      pixels * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

constexpr int kAlto = 3072;
constexpr int kAncho = 4096;

void BM_Media(benchmark::State& state) {
  Medir(state, Cached(0, kAlto, kAncho), [&](Workspace& ws, ResultView& v) {
    FiltroMedia(ws, v, {ws.Umbral, static_cast<int>(state.range(0)), false});
  });
}
void BM_Mediana(benchmark::State& state) {
  Medir(state, Cached(0, kAlto, kAncho), [&](Workspace& ws, ResultView& v) {
    FiltroMediana(ws, v, {ws.Umbral, static_cast<int>(state.range(0)), false});
  });
}
void BM_Conservativo(benchmark::State& state) {
  Medir(state, Cached(0, kAlto, kAncho), [&](Workspace& ws, ResultView& v) {
    FiltroConservativo(ws, v, {ws.Umbral, static_cast<int>(state.range(0)), false});
  });
}
void BM_VecindadLiteral(benchmark::State& state) {
  const int filtro = static_cast<int>(state.range(0));
  Medir(state, Cached(0, kAlto, kAncho), [&](Workspace& ws, ResultView& v) {
    oracle::FiltroVecindadLiteral(ws, v, filtro, static_cast<int>(state.range(1)), false);
  });
}
// Runs the cubic filter on range(arg) threads (0: the filter's own choice).
void Cubica(const benchmark::State& state, int arg, Workspace& ws, ResultView& v) {
  const int antes = FijarHilosPorOperacion(static_cast<int>(state.range(arg)));
  FiltroInterpolacionCubica(ws, v, {ws.Umbral});
  FijarHilosPorOperacion(antes);
}

void BM_Cubica(benchmark::State& state) {
  Medir(state, Cached(0, kAlto, kAncho),
        [&](Workspace& ws, ResultView& v) { Cubica(state, 0, ws, v); });
}
void BM_CubicaLiteral(benchmark::State& state) {
  Medir(state, Cached(0, kAlto, kAncho),
        [](Workspace& ws, ResultView& v) { oracle::FiltroCubicoLiteral(ws, v); });
}

// The hard cases: range(0) is the side of the square picture, range(1) the
// threads.
void BM_CubicaUmbralNegativo(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Medir(state, Cached(2, n, n), [&](Workspace& ws, ResultView& v) { Cubica(state, 1, ws, v); });
}
void BM_CubicaUmbralNegativoLiteral(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Medir(state, Cached(5, n, n),
        [](Workspace& ws, ResultView& v) { oracle::FiltroCubicoLiteral(ws, v); });
}
void BM_CubicaDilatacion(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Medir(state, Cached(1, n, n), [&](Workspace& ws, ResultView& v) { Cubica(state, 1, ws, v); });
}
void BM_CubicaDilatacionLiteral(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Medir(state, Cached(4, n, n),
        [](Workspace& ws, ResultView& v) { oracle::FiltroCubicoLiteral(ws, v); });
}

BENCHMARK(BM_Media)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mediana)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Conservativo)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VecindadLiteral)
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({1, 2})
    ->Args({2, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_Cubica)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CubicaLiteral)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CubicaUmbralNegativo)->Args({2048, 0})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CubicaUmbralNegativoLiteral)->Arg(128)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CubicaDilatacion)
    ->Args({128, 0})
    ->Args({2048, 0})
    ->Args({2048, 1})
    ->Args({2048, 2})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_CubicaDilatacionLiteral)->Arg(128)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace morvane

BENCHMARK_MAIN();
