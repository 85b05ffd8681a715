#include "restoration/restaurar.h"

#include "restoration/cubic.h"
#include "restoration/neighbourhood.h"

namespace morvane {

void Restaurar(Workspace& ws, MessageLog& log, ResultView& view, const ParametrosRestauracion& p) {
  log.clear();
  if (!ws.NegrosDetectados && !ws.BlancosDetectados) {
    log.append("Realice la detección de negros o blancos primero");
  } else {
    if (p.avanzado)
      log.append("Restauración avanzada");
    else if (ws.NegrosDetectados)
      log.append("Restauración de puntos negros");
    else
      log.append("Restauración de puntos blancos");
    view.setTitle("Restauración");
    const int radio = RadioDesdeIndice(p.tamano);
    switch (p.filtro) {
      case 1:
        log.append("Usando filtro de Mediana");
        FiltroMediana(ws, view, radio, p.incluirDanados);
        break;
      case 2:
        log.append("Usando filtro Conservativo");
        FiltroConservativo(ws, view, radio, p.incluirDanados);
        break;
      case 3:
        log.append("Usando filtro de Interpolación Cubica");
        FiltroInterpolacionCubica(ws, view);
        break;
      default:
        log.append("Usando filtro de Media");
        FiltroMedia(ws, view, radio, p.incluirDanados);
        break;
    }
  }
  OlvidarDetecciones(ws);
}

}  // namespace morvane
