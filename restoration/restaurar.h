// The Restaurar command: replaces the points the last detection marked as
// damaged with levels computed by the chosen filter.
#pragma once

#include "workspace/workspace.h"

namespace morvane {

// What the command reads from the "Restauracion" page and the menu at each run.
struct ParametrosRestauracion {
  int filtro = 0;               // filter choice item: 0 mean, 1 median, 2 conservative, 3 cubic
  int tamano = 0;               // window size item: 0 "3 X 3", 1 "5 X 5", -1 none
  bool incluirDanados = false;  // "Incluir vecinos dañados"
  bool avanzado = false;        // the advanced mode is on
};

// Clears the log; without a detection writes only the refusal line; otherwise
// writes what is restored and with which filter, sets the title and runs the
// filter. Both detection flags are cleared at the end on either road. An
// arithmetic error of the cubic filter leaves the call before that, flags
// untouched.
void Restaurar(Workspace& ws, MessageLog& log, ResultView& view, const ParametrosRestauracion& p);

}  // namespace morvane
