#include "restoration/restaurar_automatica.h"

#include <cmath>
#include <cstdio>

namespace morvane {

std::string TextoPorcentaje(double proporcion) {
  // Whole hundredths, so the text does not depend on the process's locale.
  const long long centesimas = std::llround(proporcion * 10000.0);
  char texto[48];
  std::snprintf(texto, sizeof texto, "%lld,%02lld %%", centesimas / 100, centesimas % 100);
  return texto;
}

std::optional<ResultadoAutomatica> RestaurarAutomaticamente(Workspace& ws, MessageLog& log,
                                                            ResultView& view) {
  log.clear();
  if (!ws.ImagenCargada) {
    log.append("Abrir una imagen primero");
    return std::nullopt;
  }
  log.append("Restauración automática");
  // The title box above the right view holds about a dozen letters.
  view.setTitle("Automática");
  OpcionesAutomatica opciones;
  opciones.vista = &view;
  const ResultadoAutomatica res =
      RestauracionAutomatica(ws.ImagenInicial, ws.ImagenFinal, ws.Alto, ws.Ancho, opciones);
  const std::string danados = "Puntos dañados: " + std::to_string(res.danados) + " (" +
                              TextoPorcentaje(res.proporcion) + ")";
  log.append(danados.c_str());
  log.append("Restauración automática Realizada");
  view.showView();
  return res;
}

}  // namespace morvane
