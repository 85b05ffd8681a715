#include "batch/picture_planes.h"

#include <new>

namespace morvane {

void AbrirPlanos(Workspace& ws, const Picture& izquierda, const Picture& derecha) {
  try {
    ws.Alto = izquierda.height();
    ws.Ancho = izquierda.width();
    ws.ImagenInicial = Plane(ws.Alto, ws.Ancho);
    ws.ImagenFinal = Plane(ws.Alto, ws.Ancho);
    for (int y = 0; y < ws.Alto; ++y) {
      izquierda.readLevels(y, ws.ImagenInicial[y]);
      derecha.readLevels(y, ws.ImagenFinal[y]);
    }
    ReservarAuxiliares(ws);
  } catch (const std::bad_alloc&) {
    LiberarPlanos(ws);
    ws.ImagenCargada = false;
    throw;
  }
  ws.ImagenCargada = true;
}

void CopiarDerechaEnIzquierda(Workspace& ws, Picture& izquierda, const Picture& derecha) {
  for (int y = 0; y < ws.Alto; ++y) {
    izquierda.copyRowFrom(derecha, y);
    izquierda.readLevels(y, ws.ImagenInicial[y]);
  }
}

}  // namespace morvane
