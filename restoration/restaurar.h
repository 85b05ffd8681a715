// The Restaurar command: replaces the points the last detection marked as
// damaged with levels computed by the chosen filter.
#pragma once

#include <cstdint>

#include "restoration/filtros.h"
#include "workspace/workspace.h"

namespace morvane {

// The window the mean, median and conservative filters read around a pixel.
enum class Ventana { De3x3, De5x5 };

// What the command is asked to do at each run.
struct ParametrosRestauracion {
  Filtro filtro = Filtro::Media;
  Ventana ventana = Ventana::De3x3;  // not read by the cubic filter
  bool incluirDanados = false;       // damaged neighbours count too ("Incluir vecinos dañados")
  bool avanzado = false;             // the advanced mode is on: the log says so
  std::int32_t umbral = 50;          // the threshold, as Umbral holds it when the command runs
};

// Clears the log; without a detection writes only the refusal line; otherwise
// writes what is restored, sets the title and runs the chosen filter's row of
// the filter table (its log line, then its function). Restaurar runs the rows
// that need a detection. Both detection flags are cleared at the end on either
// road. An arithmetic error of the cubic filter leaves the call before that,
// flags untouched.
void Restaurar(Workspace& ws, MessageLog& log, ResultView& view, const ParametrosRestauracion& p);

}  // namespace morvane
