// Matrix B: its loading from a grid of cell texts ("Cargar Matriz"). No window
// code here: the grid is reached through MatrixGrid.
#pragma once

#include <cstdint>
#include <string>

#include "workspace/workspace.h"

namespace morvane {

// The matrix grid as the loader sees it: cell texts addressed (column, row),
// plus the modal message box the loader may raise.
class MatrixGrid {
 public:
  virtual ~MatrixGrid() = default;
  virtual std::string cell(int col, int row) const = 0;
  virtual void setCell(int col, int row, const std::string& text) = 0;
  virtual void showMessage(const char* utf8) = 0;
};

// What the matrix is filled with: zeros, the pyramid of factorN times the ring
// number, or the integers typed into the grid.
enum class TipoMatriz { Ceros, Piramidal, Personalizada };

inline constexpr const char* kMensajeMatrizIncorrecta =
    "La matriz B no se ha cargado correctamente.\nCompruebe que contiene solo valores numéricos";

// "Cargar Matriz": takes a new matrix when the chosen size (tamano: 3, 5, 7 or
// 9, as TamanoElegido holds it) differs from the loaded one (a new matrix
// starts all zero), stores factorN in FactorN, clears the log, fills the matrix
// by kind, rewrites the grid cells with the stored weights and logs the
// outcome.
void CargarMatriz(Workspace& ws, MessageLog& log, MatrixGrid& grid, int tamano, TipoMatriz tipo,
                  std::int32_t factorN);

}  // namespace morvane
