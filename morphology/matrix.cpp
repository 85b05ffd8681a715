#include "morphology/matrix.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>

#include "text/int_text.h"

namespace morvane {

namespace {

// A weight is the low 8 bits of the integer.
std::uint8_t LowByte(std::int64_t value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}

void PonerPeso(Workspace& ws, MatrixGrid& grid, int row, int col, std::uint8_t weight) {
  ws.Matriz.at(row, col) = weight;
  grid.setCell(col, row, FormatInt32(weight));
}

}  // namespace

void CargarMatriz(Workspace& ws, MessageLog& log, MatrixGrid& grid, int tamano, TipoMatriz tipo,
                  std::int32_t factorN) {
  if (ws.Matriz.n != tamano) {
    const int n = tamano;
    MatrizB fresh;
    fresh.n = n;
    fresh.weights.assign(static_cast<std::size_t>(n) * static_cast<std::size_t>(n), 0);
    ws.Matriz = std::move(fresh);
  }
  ws.FactorN = factorN;
  log.clear();

  const int n = ws.Matriz.n;
  const int c = n / 2;
  if (tipo == TipoMatriz::Ceros) {
    for (int r = 0; r < n; ++r)
      for (int k = 0; k < n; ++k) PonerPeso(ws, grid, r, k, 0);
  } else if (tipo == TipoMatriz::Piramidal) {
    for (int a = -c; a <= c; ++a) {
      for (int b = -c; b <= c; ++b) {
        // The ring number times n can leave the 32-bit range; its low byte is
        // the same whether the product wraps or not, so form it wider.
        const std::int64_t ring = std::max(std::abs(a), std::abs(b));
        PonerPeso(ws, grid, c + a, c + b, LowByte(ring * static_cast<std::int64_t>(ws.FactorN)));
      }
    }
  } else {
    for (int r = 0; r < n; ++r) {
      for (int k = 0; k < n; ++k) {
        const std::optional<std::int32_t> value = ParseInt32(grid.cell(k, r));
        if (!value) {
          grid.showMessage(kMensajeMatrizIncorrecta);
          ws.MatrizCargada = false;
          log.append("Error en la matriz B");
          return;
        }
        PonerPeso(ws, grid, r, k, LowByte(*value));
      }
    }
  }
  ws.MatrizCargada = true;
  log.append("Se ha cargado la Matriz B");
}

}  // namespace morvane
