#include "document/picture_planes.h"

#include <new>

namespace morvane {

void LlenarPlanos(Workspace& ws, const Picture& izquierda, const Picture& derecha) {
  ws.Alto = izquierda.height();
  ws.Ancho = izquierda.width();
  ws.ImagenInicial = Plane(ws.Alto, ws.Ancho);
  ws.ImagenFinal = Plane(ws.Alto, ws.Ancho);
  for (int y = 0; y < ws.Alto; ++y) {
    izquierda.readLevels(y, ws.ImagenInicial[y]);
    derecha.readLevels(y, ws.ImagenFinal[y]);
  }
}

void AbrirPlanos(Workspace& ws, const Picture& izquierda, const Picture& derecha) {
  try {
    LlenarPlanos(ws, izquierda, derecha);
    ReservarAuxiliares(ws);
  } catch (const std::bad_alloc&) {
    LiberarPlanos(ws);
    ws.ImagenCargada = false;
    throw;
  }
  ws.ImagenCargada = true;
}

}  // namespace morvane
