#include "workspace/workspace.h"

namespace morvane {

Workspace& Workspace::instance() {
  static Workspace ws;
  return ws;
}

void RegistrarDeteccionNegros(Workspace& ws) {
  ws.BlancosDetectados = false;
  ws.NegrosDetectados = true;
}

void RegistrarDeteccionBlancos(Workspace& ws) {
  ws.BlancosDetectados = true;
  ws.NegrosDetectados = false;
}

void OlvidarDetecciones(Workspace& ws) {
  ws.NegrosDetectados = false;
  ws.BlancosDetectados = false;
}

void MarcarDetecciones(Workspace& ws) {
  ws.BlancosDetectados = true;
  ws.NegrosDetectados = true;
}

bool ComprobarImagenYMatriz(const Workspace& ws, MessageLog& log) {
  if (ws.ImagenCargada && ws.MatrizCargada) return true;
  if (!ws.ImagenCargada) {
    log.clear();
    log.append("No has seleccionado una imagen");
  } else {
    log.clear();
    log.append("No se ha cargado la Matriz B");
  }
  return false;
}

void ReservarAuxiliares(Workspace& ws) {
  ws.Auxiliar1 = Plane(ws.Alto, ws.Ancho);
  ws.Auxiliar2 = Plane(ws.Alto, ws.Ancho);
}

void LiberarPlanos(Workspace& ws) {
  LiberarPlano(ws.ImagenInicial);
  LiberarPlano(ws.ImagenFinal);
  LiberarPlano(ws.Auxiliar1);
  LiberarPlano(ws.Auxiliar2);
  ws.Alto = 0;
  ws.Ancho = 0;
}

void PintarPlano(const Plane& plane, int alto, int ancho, RowSink& sink) {
  for (int y = 0; y < alto; ++y) {
    sink.drawRow(y, plane[y], 0, ancho);
    sink.stepProgress();
  }
  sink.resetProgress();
}

}  // namespace morvane
