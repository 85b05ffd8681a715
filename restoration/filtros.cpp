#include "restoration/filtros.h"

#include <array>
#include <stdexcept>

#include "restoration/cubic.h"
#include "restoration/neighbourhood.h"
#include "restoration/restaurar_automatica.h"

namespace morvane {

namespace {

void Cubica(Workspace& ws, ResultView& view, const ParametrosFiltro& p) {
  FiltroInterpolacionCubica(ws, view, p);
}

// Columns: filter, item on the page, log line, --filtro word, function, takes
// the window size, takes "Incluir vecinos dañados", needs a detection, margin.
//
// A restoration that finds the damage by itself (the automatic one) is a row
// at the end: no item on the page (nullptr, so RadioGroup3 keeps its
// four items and their indices), no --filtro word (nullptr: it has a command,
// a page and a batch option of its own, which find the row by its Filtro),
// takes neither option, needs no detection (so Restaurar, which runs only the
// rows that do, never dispatches it) and has its own margin (0 when it
// restores the border band too).
const std::array<FiltroDescrito, 5> kFiltros{{
    {Filtro::Media, "Filtro de Media", "Usando filtro de Media", "media", FiltroMedia, true, true,
     true, kMargenDeVentana},
    {Filtro::Mediana, "Filtro de Mediana", "Usando filtro de Mediana", "mediana", FiltroMediana,
     true, true, true, kMargenDeVentana},
    {Filtro::Conservativo, "Filtro Conservativo", "Usando filtro Conservativo", "conservativo",
     FiltroConservativo, true, true, true, kMargenDeVentana},
    {Filtro::Cubico, "Filtro Paso Bajo por Interpolacion Cubica",
     "Usando filtro de Interpolación Cubica", "cubico", Cubica, false, false, true, kMargenCubico},
    // "Restauración Automática": its own page, menu item and --automatica.
    {Filtro::Automatica, nullptr, "Restauración automática", nullptr, FiltroAutomatico, false,
     false, false, 0},
}};

}  // namespace

std::span<const FiltroDescrito> TablaFiltros() {
  return kFiltros;
}

const FiltroDescrito& DescripcionFiltro(Filtro filtro) {
  for (const FiltroDescrito& f : kFiltros)
    if (f.filtro == filtro) return f;
  throw std::logic_error("filtro sin fila en la tabla");
}

std::vector<const FiltroDescrito*> FiltrosEnPagina(std::span<const FiltroDescrito> tabla) {
  std::vector<const FiltroDescrito*> filas;
  for (const FiltroDescrito& f : tabla)
    if (f.nombreVentana != nullptr) filas.push_back(&f);
  return filas;
}

const FiltroDescrito& FiltroDeElemento(int item, std::span<const FiltroDescrito> tabla) {
  const std::vector<const FiltroDescrito*> filas = FiltrosEnPagina(tabla);
  if (item < 0 || static_cast<std::size_t>(item) >= filas.size()) return *filas.front();
  return *filas[static_cast<std::size_t>(item)];
}

int MargenDe(const FiltroDescrito& f, int radio) {
  return f.margen == kMargenDeVentana ? radio : f.margen;
}

}  // namespace morvane
