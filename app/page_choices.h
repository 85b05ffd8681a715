// What the choice controls of the pages mean to the commands, and where the
// matrix grid sits for each matrix size. The commands take these values, never
// the controls' item indices.
#pragma once

#include <QStringList>

#include "morphology/matrix.h"
#include "restoration/restaurar.h"

namespace morvane {

// filtroGroup's items: the filter table's rows shown on the restoration page.
QStringList ElementosDeFiltro();
// filtroGroup's item: the row shown at that place (FiltroDeElemento).
Filtro FiltroPorIndice(int item);
// tamanoFiltroCombo's item named by its text: 1 ("5 X 5") is 5 x 5; 0 and a typed text
// that names no item (-1) are 3 x 3.
Ventana VentanaPorIndice(int item);
// tipoMatrizGroup's item: 0 zeros, 1 pyramid, any other typed in.
TipoMatriz TipoMatrizPorIndice(int item);
// Side of the matrix for a tamanoMatrizGroup item: 0 -> 3, 1 -> 5, 2 -> 7, any other -> 9.
int TamanoPorIndice(int item);

// Where the grid goes on the matrix page for a size, in the page's pixels:
// left, top, width, height and the number of columns and rows.
struct GridLayout {
  int left, top, width, height, size;
};
// Sizes other than 3, 5 and 7 get the 9 x 9 layout.
GridLayout DisposicionRejilla(int size);

}  // namespace morvane
