// Damage detection: the distance of every pixel from its closing (black
// points) or from its opening (white points), left in ImagenFinal.
#pragma once

#include "workspace/workspace.h"

namespace morvane {

// Closing of ImagenInicial through Auxiliar1 into Auxiliar2, then
// ImagenFinal := max(0, Auxiliar2 - ImagenInicial). Sets NegrosDetectados and
// clears BlancosDetectados.
void PuntosNegros(Workspace& ws, MessageLog& log, ResultView& view);
// Opening of ImagenInicial through Auxiliar1 into Auxiliar2, then
// ImagenFinal := max(0, ImagenInicial - Auxiliar2). Sets BlancosDetectados and
// clears NegrosDetectados.
void PuntosBlancos(Workspace& ws, MessageLog& log, ResultView& view);

}  // namespace morvane
