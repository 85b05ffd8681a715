// Loading matrix B from the matrix tab: sizes, kinds, the grid rewrite and
// the log.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "morphology/matrix.h"
#include "tests/support/morphology_fakes.h"

namespace morvane {
namespace {

using testing::FakeGrid;
using testing::RecordingLog;

struct Loader {
  Workspace ws;
  RecordingLog log;
  FakeGrid grid;

  void load(int size, int tipo, std::int32_t factor = 0) {
    ws.TamanoElegido = size;
    CargarMatriz(ws, log, grid, tipo, factor);
  }
  std::vector<std::string> gridRow(int row) const {
    std::vector<std::string> out;
    for (int col = 0; col < ws.Matriz.n; ++col) out.push_back(grid.cell(col, row));
    return out;
  }
  int weight(int row, int col) const { return ws.Matriz.at(row, col); }
};

TEST(CargarMatriz, ZerosFillMatrixAndGridAndReplaceTheLog) {
  Loader l;
  l.log.append("linea vieja");
  l.load(3, kMatrizCeros, 7);
  EXPECT_EQ(l.ws.TamanoMatriz(), 3);
  EXPECT_EQ(l.ws.FactorN, 7);
  EXPECT_TRUE(l.ws.MatrizCargada);
  EXPECT_EQ(l.log.lines, std::vector<std::string>{"Se ha cargado la Matriz B"});
  EXPECT_EQ(l.grid.cells.size(), 9u);
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(l.gridRow(r), (std::vector<std::string>{"0", "0", "0"}));
    for (int k = 0; k < 3; ++k) EXPECT_EQ(l.weight(r, k), 0);
  }
}

TEST(CargarMatriz, PyramidWeightsAreRingTimesFactorModulo256) {
  Loader l;
  l.load(5, kMatrizPiramidal, 1);
  const int expected[5][5] = {
      {2, 2, 2, 2, 2}, {2, 1, 1, 1, 2}, {2, 1, 0, 1, 2}, {2, 1, 1, 1, 2}, {2, 2, 2, 2, 2}};
  for (int r = 0; r < 5; ++r)
    for (int k = 0; k < 5; ++k) {
      EXPECT_EQ(l.weight(r, k), expected[r][k]) << r << "," << k;
      EXPECT_EQ(l.grid.cell(k, r), std::to_string(expected[r][k]));
    }

  l.load(5, kMatrizPiramidal, -1);
  EXPECT_EQ(l.gridRow(0), (std::vector<std::string>{"254", "254", "254", "254", "254"}));
  EXPECT_EQ(l.gridRow(2), (std::vector<std::string>{"254", "255", "0", "255", "254"}));
  EXPECT_EQ(l.ws.FactorN, -1);

  l.load(9, kMatrizPiramidal, 100);
  EXPECT_EQ(l.weight(4, 4), 0);
  EXPECT_EQ(l.weight(4, 3), 100);
  EXPECT_EQ(l.weight(2, 4), 200);
  EXPECT_EQ(l.weight(1, 7), 44);   // ring 3: 300
  EXPECT_EQ(l.weight(8, 0), 144);  // ring 4: 400
  EXPECT_EQ(l.grid.cell(0, 8), "144");

  l.load(9, kMatrizPiramidal, 64);
  EXPECT_EQ(l.weight(0, 4), 0);  // ring 4: 256
  EXPECT_EQ(l.weight(1, 4), 192);

  // Products beyond the 32-bit range keep their low byte: 4 * (2^31 - 1)
  // ends in 0xFC.
  l.load(9, kMatrizPiramidal, 2147483647);
  EXPECT_EQ(l.weight(0, 0), 252);
  EXPECT_EQ(l.weight(3, 3), 255);
  l.load(9, kMatrizPiramidal, -2147483647 - 1);
  EXPECT_EQ(l.weight(0, 0), 0);
  EXPECT_TRUE(l.ws.MatrizCargada);
}

TEST(CargarMatriz, CustomCellsAreStoredModulo256AndRewritten) {
  Loader l;
  for (int r = 0; r < 3; ++r)
    for (int k = 0; k < 3; ++k) l.grid.setCell(k, r, std::to_string(r * 3 + k));
  l.grid.setCell(0, 0, "300");
  l.grid.setCell(2, 0, "-1");
  l.grid.setCell(1, 1, " +7 ");
  l.load(3, kMatrizPersonalizada);
  EXPECT_TRUE(l.ws.MatrizCargada);
  EXPECT_TRUE(l.grid.messages.empty());
  EXPECT_EQ(l.log.lines, std::vector<std::string>{"Se ha cargado la Matriz B"});
  EXPECT_EQ(l.gridRow(0), (std::vector<std::string>{"44", "1", "255"}));
  EXPECT_EQ(l.gridRow(1), (std::vector<std::string>{"3", "7", "5"}));
  EXPECT_EQ(l.weight(0, 0), 44);
  EXPECT_EQ(l.weight(0, 2), 255);
  EXPECT_EQ(l.weight(1, 2), 5);  // row 1, column 2 is grid cell (2, 1)
  EXPECT_EQ(l.weight(2, 1), 7);

  // Any index other than zeros or pyramid is a custom load.
  l.grid.setCell(0, 0, "9");
  l.load(3, -1);
  EXPECT_EQ(l.weight(0, 0), 9);
  l.grid.setCell(0, 0, "8");
  l.load(3, 3);
  EXPECT_EQ(l.weight(0, 0), 8);
}

TEST(CargarMatriz, BadCellStopsTheScanAndUnloadsTheMatrix) {
  Loader l;
  l.load(3, kMatrizPiramidal, 5);
  ASSERT_TRUE(l.ws.MatrizCargada);

  for (int r = 0; r < 3; ++r)
    for (int k = 0; k < 3; ++k) l.grid.setCell(k, r, "+20");
  l.grid.setCell(2, 1, "2x");  // row 1, column 2: the sixth cell of the scan
  l.load(3, kMatrizPersonalizada);
  EXPECT_FALSE(l.ws.MatrizCargada);
  ASSERT_EQ(l.grid.messages.size(), 1u);
  EXPECT_EQ(l.grid.messages[0],
            "La matriz B no se ha cargado correctamente.\n"
            "Compruebe que contiene solo valores numéricos");
  EXPECT_EQ(l.log.lines, std::vector<std::string>{"Error en la matriz B"});
  // Cells before the bad one are loaded and rewritten; the rest keep the
  // older weights and texts.
  EXPECT_EQ(l.gridRow(0), (std::vector<std::string>{"20", "20", "20"}));
  EXPECT_EQ(l.gridRow(1), (std::vector<std::string>{"20", "20", "2x"}));
  EXPECT_EQ(l.gridRow(2), (std::vector<std::string>{"+20", "+20", "+20"}));
  EXPECT_EQ(l.weight(1, 1), 20);
  EXPECT_EQ(l.weight(1, 2), 5);
  EXPECT_EQ(l.weight(2, 2), 5);
}

TEST(CargarMatriz, EmptyGridFailsAtTheFirstCellAndANewSizeStartsAtZero) {
  Loader l;
  l.load(3, kMatrizPiramidal, 9);
  l.grid.cells.clear();  // nothing typed yet
  l.load(5, kMatrizPersonalizada);
  EXPECT_EQ(l.ws.TamanoMatriz(), 5);
  EXPECT_FALSE(l.ws.MatrizCargada);
  EXPECT_EQ(l.grid.messages.size(), 1u);
  EXPECT_EQ(l.log.lines, std::vector<std::string>{"Error en la matriz B"});
  ASSERT_EQ(l.ws.Matriz.weights.size(), 25u);
  for (std::uint8_t w : l.ws.Matriz.weights) EXPECT_EQ(w, 0);
  EXPECT_TRUE(l.grid.cells.empty());
}

TEST(CargarMatriz, SizeFollowsTheChosenSizeOnlyAtLoad) {
  Loader l;
  l.load(7, kMatrizPiramidal, 1);
  EXPECT_EQ(l.ws.TamanoMatriz(), 7);
  l.ws.TamanoElegido = 3;  // chosen, not loaded
  EXPECT_EQ(l.ws.TamanoMatriz(), 7);
  EXPECT_EQ(l.ws.Matriz.at(0, 0), 3);
  l.load(3, kMatrizCeros);
  EXPECT_EQ(l.ws.TamanoMatriz(), 3);
  EXPECT_EQ(l.ws.Matriz.weights.size(), 9u);
}

TEST(MatrixTab, SizeByItemAndGridLayout) {
  EXPECT_EQ(TamanoPorIndice(0), 3);
  EXPECT_EQ(TamanoPorIndice(1), 5);
  EXPECT_EQ(TamanoPorIndice(2), 7);
  EXPECT_EQ(TamanoPorIndice(3), 9);
  EXPECT_EQ(TamanoPorIndice(-1), 9);

  const int table[4][5] = {{302, 113, 99, 96, 3},
                           {302, 89, 163, 160, 5},
                           {302, 65, 227, 224, 7},
                           {302, 25, 291, 288, 9}};
  for (const auto& row : table) {
    const GridLayout g = DisposicionRejilla(row[4]);
    EXPECT_EQ(g.left, row[0]);
    EXPECT_EQ(g.top, row[1]);
    EXPECT_EQ(g.width, row[2]);
    EXPECT_EQ(g.height, row[3]);
    EXPECT_EQ(g.size, row[4]);
  }
  EXPECT_EQ(DisposicionRejilla(4).size, 9);
}

}  // namespace
}  // namespace morvane
