// The mean, median and conservative filters: each gives a damaged pixel a level
// computed from the admitted pixels of the (2h+1) x (2h+1) window around it.
#pragma once

#include <cstdint>

#include "restoration/frame.h"
#include "workspace/workspace.h"

namespace morvane {

// The three filters, each a whole run of the restoration frame with margin
// p.radio. A pixel is damaged when its ImagenFinal level exceeds p.umbral; the
// neighbours admitted are those whose ImagenFinal level is below p.umbral, or
// every pixel of the window (the centre included) when p.incluirDanados.
// Levels are read from Auxiliar1, so a pixel restored earlier in the scan
// counts with its new level.
void FiltroMedia(Workspace& ws, ResultView& view, const ParametrosFiltro& p);
void FiltroMediana(Workspace& ws, ResultView& view, const ParametrosFiltro& p);
void FiltroConservativo(Workspace& ws, ResultView& view, const ParametrosFiltro& p);

}  // namespace morvane
