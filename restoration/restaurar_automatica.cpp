#include "restoration/restaurar_automatica.h"

#include <cmath>
#include <cstdio>

#include "restoration/filtros.h"

namespace morvane {

std::string TextoPorcentaje(double proporcion) {
  // Whole hundredths, so the text does not depend on the process's locale.
  const long long centesimas = std::llround(proporcion * 10000.0);
  char texto[48];
  std::snprintf(texto, sizeof texto, "%lld,%02lld %%", centesimas / 100, centesimas % 100);
  return texto;
}

namespace {

ResultadoAutomatica RestaurarPlanos(Workspace& ws, ResultView& view) {
  OpcionesAutomatica opciones;
  opciones.vista = &view;
  return RestauracionAutomatica(ws.ImagenInicial, ws.ImagenFinal, ws.Alto, ws.Ancho, opciones);
}

}  // namespace

void FiltroAutomatico(Workspace& ws, ResultView& view, const ParametrosFiltro&) {
  RestaurarPlanos(ws, view);
}

std::optional<ResultadoAutomatica> RestaurarAutomaticamente(Workspace& ws, MessageLog& log,
                                                            ResultView& view) {
  log.clear();
  if (!ws.ImagenCargada) {
    log.append("Abrir una imagen primero");
    return std::nullopt;
  }
  // The table's row gives the lines; the count comes from the same run.
  const char* linea = DescripcionFiltro(Filtro::Automatica).lineaRegistro;
  log.append(linea);
  // The title box above the right view holds about a dozen letters.
  view.setTitle("Automática");
  const ResultadoAutomatica res = RestaurarPlanos(ws, view);
  const std::string danados = "Puntos dañados: " + std::to_string(res.danados) + " (" +
                              TextoPorcentaje(res.proporcion) + ")";
  log.append(danados.c_str());
  log.append((std::string(linea) + " Realizada").c_str());
  view.showView();
  return res;
}

}  // namespace morvane
