// The mean, median and conservative filters: each gives a damaged pixel a level
// computed from the admitted pixels of the (2h+1) x (2h+1) window around it.
#pragma once

#include <cstdint>

#include "workspace/workspace.h"

namespace morvane {

// The three filters, each a whole run of the restoration frame with margin
// radio. A pixel is damaged when its ImagenFinal level exceeds Umbral; the
// neighbours admitted are those whose ImagenFinal level is below Umbral, or
// every pixel of the window (the centre included) when incluirDanados. Levels
// are read from Auxiliar1, so a pixel restored earlier in the scan counts with
// its new level. radio is 1 or 2.
void FiltroMedia(Workspace& ws, ResultView& view, int radio, bool incluirDanados);
void FiltroMediana(Workspace& ws, ResultView& view, int radio, bool incluirDanados);
void FiltroConservativo(Workspace& ws, ResultView& view, int radio, bool incluirDanados);

}  // namespace morvane
