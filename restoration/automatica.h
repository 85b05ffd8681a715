// Restauración automática: finds the pixels that impulse noise has damaged
// (black and white points at 0 and 255, impulses of any level, and small dark
// or bright specks of dust) without a matrix, a threshold or a detection run
// first, and gives each one a level from the undamaged pixels around it. Works
// on plain planes: it reads no workspace flag, threshold or matrix.
#pragma once

#include "workspace/plane.h"
#include "workspace/workspace.h"

namespace morvane {

struct ResultadoAutomatica {
  long long danados = 0;  // pixels found damaged and given a new level
  double proporcion = 0;  // danados over the picture's pixels, 0 .. 1
};

// Seconds spent in each stage of one run, for the benchmark.
struct TiemposAutomatica {
  double extremos = 0;  // black and white points: counts, mask and first fill
  double impulsos = 0;  // impulses of any level: the rounds of detection
  double motas = 0;     // dust specks: closing and opening, mask
  double relleno = 0;   // the joint mask filled from undamaged pixels
  double refinado = 0;  // the edge-preserving rounds over the filled pixels
};

struct OpcionesAutomatica {
  // Threads working bands of rows: 0 means the program's thread budget
  // (workspace/parallel.h). The result does not depend on it.
  int hilos = 0;
  // When given: the progress bar is stepped alto times in all on the calling
  // thread as the stages finish, every row of the result is then drawn, and
  // the bar is reset.
  RowSink* vista = nullptr;
  TiemposAutomatica* tiempos = nullptr;
};

// Restores entrada (alto x ancho) into salida, which may be entrada itself.
// Both planes must hold at least alto x ancho levels. The picture's borders are
// mirrored, so border pixels are restored like any other. An empty picture
// (alto or ancho 0) gives 0 damaged pixels and writes nothing.
ResultadoAutomatica RestauracionAutomatica(const Plane& entrada, Plane& salida, int alto, int ancho,
                                           const OpcionesAutomatica& opciones = {});

}  // namespace morvane
