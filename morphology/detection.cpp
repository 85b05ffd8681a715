#include "morphology/detection.h"

#include "morphology/difference.h"
#include "morphology/kernels.h"

namespace morvane {

void PuntosNegros(Workspace& ws, MessageLog& log, ResultView& view) {
  if (!ComprobarImagenYMatriz(ws, log)) return;
  log.clear();
  log.append("1-Dilatacion");
  Dilatar(ws.ImagenInicial, ws.Matriz, ws.Auxiliar1, ws.Alto, ws.Ancho);
  log.append("2-Erosion");
  Erosionar(ws.Auxiliar1, ws.Matriz, ws.Auxiliar2, ws.Alto, ws.Ancho);
  RestarPlanos(ws.Auxiliar2, ws.ImagenInicial, ws.ImagenFinal, ws.Alto, ws.Ancho, view);
  view.setTitle("Puntos Negros");
  view.showView();
  ws.BlancosDetectados = false;
  ws.NegrosDetectados = true;
}

void PuntosBlancos(Workspace& ws, MessageLog& log, ResultView& view) {
  if (!ComprobarImagenYMatriz(ws, log)) return;
  log.clear();
  log.append("1-Erosion");
  Erosionar(ws.ImagenInicial, ws.Matriz, ws.Auxiliar1, ws.Alto, ws.Ancho);
  log.append("2-Dilatacion");
  Dilatar(ws.Auxiliar1, ws.Matriz, ws.Auxiliar2, ws.Alto, ws.Ancho);
  RestarPlanos(ws.ImagenInicial, ws.Auxiliar2, ws.ImagenFinal, ws.Alto, ws.Ancho, view);
  view.setTitle("Puntos Blancos");
  view.showView();
  ws.BlancosDetectados = true;
  ws.NegrosDetectados = false;
}

}  // namespace morvane
