// Matrix B: its loading from the grid of the matrix tab ("Cargar Matriz") and
// the grid's layout for each size. No window code here: the window reaches
// these functions through MatrixGrid.
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

// Kinds of RadioGroup2, by item index. Any other index loads a custom matrix.
inline constexpr int kMatrizCeros = 0;
inline constexpr int kMatrizPiramidal = 1;
inline constexpr int kMatrizPersonalizada = 2;

inline constexpr const char* kMensajeMatrizIncorrecta =
    "La matriz B no se ha cargado correctamente.\nCompruebe que contiene solo valores numéricos";

// "Cargar Matriz": takes a new matrix when the chosen size differs from the
// loaded one (a new matrix starts all zero), stores factorN in FactorN, clears
// the log, fills the matrix by kind, rewrites the grid cells with the stored
// weights and logs the outcome. tipo is the item index of RadioGroup2.
void CargarMatriz(Workspace& ws, MessageLog& log, MatrixGrid& grid, int tipo, std::int32_t factorN);

// Side of the matrix for a RadioGroup1 item: 0 -> 3, 1 -> 5, 2 -> 7, any other -> 9.
int TamanoPorIndice(int radioGroup1Index);

// Where the grid goes for a size: left, top, width, height and the number of
// columns and rows.
struct GridLayout {
  int left, top, width, height, size;
};
// Sizes other than 3, 5 and 7 get the 9 x 9 layout.
GridLayout DisposicionRejilla(int size);

}  // namespace morvane
