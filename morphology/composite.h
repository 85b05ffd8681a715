// The commands of the advanced mode: Dilatacion, Erosion, Cierre, Apertura and
// the two clipped differences between the initial and the final image. Each
// checks for a picture and a matrix first and does nothing more when the check
// refuses (the check has written the reason into the log).
#pragma once

#include "workspace/workspace.h"

namespace morvane {

// Dilation of ImagenInicial into Auxiliar1, painted, then copied whole into
// ImagenFinal.
void Dilatacion(Workspace& ws, MessageLog& log, ResultView& view);
// Erosion of ImagenInicial straight into ImagenFinal.
void Erosion(Workspace& ws, MessageLog& log, ResultView& view);
// Closing: dilation into Auxiliar1, then its erosion into ImagenFinal.
void Cierre(Workspace& ws, MessageLog& log, ResultView& view);
// Opening: erosion into Auxiliar1, then its dilation into ImagenFinal.
void Apertura(Workspace& ws, MessageLog& log, ResultView& view);
// The two passes shared by Cierre and Puntos Negros: "1-Dilatacion", dilation
// of ImagenInicial into Auxiliar1, "2-Erosion", its erosion into destination.
void CerrarInicial(Workspace& ws, MessageLog& log, Plane& destination);
// The mirror, shared by Apertura and Puntos Blancos.
void AbrirInicial(Workspace& ws, MessageLog& log, Plane& destination);

// ImagenFinal := max(0, ImagenInicial - ImagenFinal), every pixel.
void InicialMenosFinal(Workspace& ws, MessageLog& log, ResultView& view);
// ImagenFinal := max(0, ImagenFinal - ImagenInicial), every pixel.
void FinalMenosInicial(Workspace& ws, MessageLog& log, ResultView& view);

}  // namespace morvane
