#include "morphology/detection.h"

#include "morphology/composite.h"
#include "morphology/difference.h"

namespace morvane {

void PuntosNegros(Workspace& ws, MessageLog& log, ResultView& view) {
  if (!ComprobarImagenYMatriz(ws, log)) return;
  log.clear();
  CerrarInicial(ws, log, ws.Auxiliar2);
  RestarPlanos(ws.Auxiliar2, ws.ImagenInicial, ws.ImagenFinal, ws.Alto, ws.Ancho, view);
  view.setTitle("Puntos Negros");
  view.showView();
  RegistrarDeteccionNegros(ws);
}

void PuntosBlancos(Workspace& ws, MessageLog& log, ResultView& view) {
  if (!ComprobarImagenYMatriz(ws, log)) return;
  log.clear();
  AbrirInicial(ws, log, ws.Auxiliar2);
  RestarPlanos(ws.ImagenInicial, ws.Auxiliar2, ws.ImagenFinal, ws.Alto, ws.Ancho, view);
  view.setTitle("Puntos Blancos");
  view.showView();
  RegistrarDeteccionBlancos(ws);
}

}  // namespace morvane
