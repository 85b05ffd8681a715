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
    const ParametrosFiltro filtro{p.umbral, p.ventana == Ventana::De5x5 ? 2 : 1, p.incluirDanados};
    switch (p.filtro) {
      case Filtro::Mediana:
        log.append("Usando filtro de Mediana");
        FiltroMediana(ws, view, filtro);
        break;
      case Filtro::Conservativo:
        log.append("Usando filtro Conservativo");
        FiltroConservativo(ws, view, filtro);
        break;
      case Filtro::Cubico:
        log.append("Usando filtro de Interpolación Cubica");
        FiltroInterpolacionCubica(ws, view, filtro);
        break;
      case Filtro::Media:
        log.append("Usando filtro de Media");
        FiltroMedia(ws, view, filtro);
        break;
    }
  }
  OlvidarDetecciones(ws);
}

}  // namespace morvane
