// The filters the Restaurar command can run, one row each. The restoration
// page's items and their enabling rule, the batch program's --filtro choices,
// its help and its refusals, and Restaurar's dispatch and log line are all
// built from this table: a filter is added by adding a row.
#pragma once

#include <span>
#include <vector>

#include "restoration/frame.h"
#include "workspace/workspace.h"

namespace morvane {

// One name per row of the table below, in the same order.
enum class Filtro { Media, Mediana, Conservativo, Cubico, Automatica };

// The margin of the filters that take the window size: the window's half-side.
inline constexpr int kMargenDeVentana = -1;

struct FiltroDescrito {
  Filtro filtro;
  // The item on the restoration page, in table order; nullptr: a command of its
  // own, not one of the page's items.
  const char* nombreVentana;
  // The line Restaurar appends before running it.
  const char* lineaRegistro;
  // The --filtro value in the batch program; nullptr: not chosen by --filtro.
  const char* palabraLote;
  void (*ejecutar)(Workspace& ws, ResultView& view, const ParametrosFiltro& p);
  bool tomaTamano;          // reads the window size ("Tamaño del Filtro", --tamano)
  bool tomaIncluirDanados;  // reads "Incluir vecinos dañados" (--incluir-danados)
  // Runs on the damage plane a detection left in ImagenFinal: run by Restaurar,
  // which refuses without a detection and forgets it afterwards. False for a
  // restoration that finds the damage itself and is run by its own command.
  bool necesitaDeteccion;
  // The band along the edges it never restores: a number of pixels, or
  // kMargenDeVentana.
  int margen;
};

// Every filter, in the page's item order.
std::span<const FiltroDescrito> TablaFiltros();

// The row of a filter.
const FiltroDescrito& DescripcionFiltro(Filtro filtro);

// The rows shown as items on the restoration page, in table order.
std::vector<const FiltroDescrito*> FiltrosEnPagina(
    std::span<const FiltroDescrito> tabla = TablaFiltros());

// The row behind the restoration page's item; an index that names no item (no
// item selected) gives the first item's row, the mean.
const FiltroDescrito& FiltroDeElemento(int item,
                                       std::span<const FiltroDescrito> tabla = TablaFiltros());

// The margin a filter leaves with a window of half-side radio.
int MargenDe(const FiltroDescrito& f, int radio);

}  // namespace morvane
