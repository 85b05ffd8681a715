// The recipe's commands on one workspace: the same processing functions the
// window's handlers call, with the recipe's values where the window reads its
// controls.
#pragma once

#include "batch/options.h"
#include "workspace/workspace.h"

namespace morvane {

// "Cargar Matriz" with the recipe's size, kind, factor and cells. Throws
// std::runtime_error when the matrix is refused.
void PrepararReceta(Workspace& ws, const Receta& receta);

// "Puntos Negros" or "Puntos Blancos", then "Restaurar" with the recipe's
// threshold, drawing into vista.
void Detectar(Workspace& ws, ResultView& vista, Deteccion deteccion);
void RestaurarConReceta(Workspace& ws, ResultView& vista, const Receta& receta);

// "Restauración Automática" instead of the recipe, on the open picture,
// drawing into vista. Returns the number of points it found damaged.
long long RestaurarSinReceta(Workspace& ws, ResultView& vista);

}  // namespace morvane
