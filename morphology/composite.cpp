#include "morphology/composite.h"

#include "morphology/difference.h"
#include "morphology/kernels.h"

namespace morvane {

void Dilatacion(Workspace& ws, MessageLog& log, ResultView& view) {
  if (!ComprobarImagenYMatriz(ws, log)) return;
  view.setTitle("Dilatación");
  log.clear();
  Dilatar(ws.ImagenInicial, ws.Matriz, ws.Auxiliar1, ws.Alto, ws.Ancho);
  PintarPlano(ws.Auxiliar1, ws.Alto, ws.Ancho, view);
  CopiarPlano(ws.Auxiliar1, ws.ImagenFinal);
  view.showView();
  log.append("Dilatacion Realizada");
}

void Erosion(Workspace& ws, MessageLog& log, ResultView& view) {
  if (!ComprobarImagenYMatriz(ws, log)) return;
  view.setTitle("Erosión");
  log.clear();
  log.append("Realizando Erosión");
  Erosionar(ws.ImagenInicial, ws.Matriz, ws.ImagenFinal, ws.Alto, ws.Ancho);
  PintarPlano(ws.ImagenFinal, ws.Alto, ws.Ancho, view);
  view.showView();
}

void CerrarInicial(Workspace& ws, MessageLog& log, Plane& destination) {
  log.append("1-Dilatacion");
  Dilatar(ws.ImagenInicial, ws.Matriz, ws.Auxiliar1, ws.Alto, ws.Ancho);
  log.append("2-Erosion");
  Erosionar(ws.Auxiliar1, ws.Matriz, destination, ws.Alto, ws.Ancho);
}

void AbrirInicial(Workspace& ws, MessageLog& log, Plane& destination) {
  log.append("1-Erosion");
  Erosionar(ws.ImagenInicial, ws.Matriz, ws.Auxiliar1, ws.Alto, ws.Ancho);
  log.append("2-Dilatacion");
  Dilatar(ws.Auxiliar1, ws.Matriz, destination, ws.Alto, ws.Ancho);
}

void Cierre(Workspace& ws, MessageLog& log, ResultView& view) {
  if (!ComprobarImagenYMatriz(ws, log)) return;
  view.setTitle("Cierre");
  log.clear();
  CerrarInicial(ws, log, ws.ImagenFinal);
  PintarPlano(ws.ImagenFinal, ws.Alto, ws.Ancho, view);
  view.showView();
}

void Apertura(Workspace& ws, MessageLog& log, ResultView& view) {
  if (!ComprobarImagenYMatriz(ws, log)) return;
  view.setTitle("Apertura");
  log.clear();
  AbrirInicial(ws, log, ws.ImagenFinal);
  PintarPlano(ws.ImagenFinal, ws.Alto, ws.Ancho, view);
  view.showView();
}

void InicialMenosFinal(Workspace& ws, MessageLog& log, ResultView& view) {
  if (!ComprobarImagenYMatriz(ws, log)) return;
  view.setTitle("INICIAL-FINAL");
  RestarPlanos(ws.ImagenInicial, ws.ImagenFinal, ws.ImagenFinal, ws.Alto, ws.Ancho, view);
}

void FinalMenosInicial(Workspace& ws, MessageLog& log, ResultView& view) {
  if (!ComprobarImagenYMatriz(ws, log)) return;
  view.setTitle("FINAL-INICIAL");
  RestarPlanos(ws.ImagenFinal, ws.ImagenInicial, ws.ImagenFinal, ws.Alto, ws.Ancho, view);
}

}  // namespace morvane
