// The "Restauración Automática" command: the automatic restoration of the open
// picture, with its log lines, title, progress and result view. It needs no
// matrix, threshold or detection and leaves the detection flags, Umbral and
// matrix B as they were, so the other commands behave afterwards as before.
#pragma once

#include <optional>
#include <string>

#include "restoration/automatica.h"
#include "restoration/frame.h"
#include "workspace/workspace.h"

namespace morvane {

// Clears the log. Without an open picture writes only "Abrir una imagen
// primero" and returns nothing. Otherwise restores ImagenInicial into
// ImagenFinal, drawing every row into the view, and writes what it found.
std::optional<ResultadoAutomatica> RestaurarAutomaticamente(Workspace& ws, MessageLog& log,
                                                            ResultView& view);

// The restoration itself, as the filter table's row runs it: ImagenInicial
// restored into ImagenFinal, every row drawn into the view. Reads no
// threshold, window or detection: p is not used.
void FiltroAutomatico(Workspace& ws, ResultView& view, const ParametrosFiltro& p);

// A share 0 .. 1 as a percentage with two decimals and a decimal comma:
// "12,34 %".
std::string TextoPorcentaje(double proporcion);

}  // namespace morvane
