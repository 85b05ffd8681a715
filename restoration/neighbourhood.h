// The mean, median and conservative filters: each gives a damaged pixel a level
// computed from the admitted pixels of the (2h+1) x (2h+1) window around it.
#pragma once

#include <array>
#include <cstdint>

#include "workspace/workspace.h"

namespace morvane {

// The median's slots: one per pixel of the largest window. Free slots hold
// kValorLibre, above every level.
using Valores = std::array<std::int32_t, 25>;
inline constexpr std::int32_t kValorLibre = 1000;

// Exchange sort of all 25 slots, ascending: passes of neighbour exchanges until
// a pass exchanges nothing.
void OrdenarValores(Valores& valores);

// The window's half side for the size box's item index: 0 ("3 X 3") gives 1,
// 1 ("5 X 5") gives 2, anything else 1.
int RadioDesdeIndice(int indiceTamano);

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
