#include "app/page_choices.h"

namespace morvane {

QStringList ElementosDeFiltro() {
  QStringList items;
  for (const FiltroDescrito* f : FiltrosEnPagina()) items << QString::fromUtf8(f->nombreVentana);
  return items;
}

Filtro FiltroPorIndice(int item) {
  return FiltroDeElemento(item).filtro;
}

Ventana VentanaPorIndice(int item) {
  return item == 1 ? Ventana::De5x5 : Ventana::De3x3;
}

TipoMatriz TipoMatrizPorIndice(int item) {
  switch (item) {
    case 0:
      return TipoMatriz::Ceros;
    case 1:
      return TipoMatriz::Piramidal;
    default:
      return TipoMatriz::Personalizada;
  }
}

int TamanoPorIndice(int item) {
  switch (item) {
    case 0:
      return 3;
    case 1:
      return 5;
    case 2:
      return 7;
    default:
      return 9;
  }
}

GridLayout DisposicionRejilla(int size) {
  switch (size) {
    case 3:
      return {302, 113, 99, 96, 3};
    case 5:
      return {302, 89, 163, 160, 5};
    case 7:
      return {302, 65, 227, 224, 7};
    default:
      return {302, 25, 291, 288, 9};
  }
}

}  // namespace morvane
