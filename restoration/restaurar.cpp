#include "restoration/restaurar.h"

#include "restoration/filtros.h"

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
    const FiltroDescrito& f = DescripcionFiltro(p.filtro);
    log.append(f.lineaRegistro);
    f.ejecutar(ws, view, filtro);
  }
  OlvidarDetecciones(ws);
}

}  // namespace morvane
