// Loading matrix B: kinds, weights modulo 256, the grid rewrite and the log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "morphology/matrix.h"
#include "tests/support/morphology_fakes.h"

namespace morvane {
namespace {

struct Loader {
  Workspace ws;
  testing::Recorder log;
  testing::FakeGrid grid;

  void load(int size, int tipo, std::int32_t factor = 0) {
    ws.TamanoElegido = size;
    CargarMatriz(ws, log, grid, tipo, factor);
  }
  std::vector<std::string> gridRow(int row) const {
    std::vector<std::string> out;
    for (int col = 0; col < ws.Matriz.n; ++col) out.push_back(grid.cell(col, row));
    return out;
  }
};

using Row = std::vector<std::string>;
const std::vector<std::string> kLoaded{"Se ha cargado la Matriz B"};

TEST(CargarMatriz, ZerosAndPyramids) {
  Loader l;
  l.log.append("old line");
  l.load(3, kMatrizCeros, 7);
  EXPECT_EQ(l.log.lines, kLoaded);
  EXPECT_EQ(l.ws.FactorN, 7);
  EXPECT_TRUE(l.ws.MatrizCargada);
  EXPECT_EQ(l.ws.Matriz.weights, std::vector<std::uint8_t>(9, 0));
  EXPECT_EQ(l.gridRow(1), Row({"0", "0", "0"}));

  l.load(5, kMatrizPiramidal, 1);
  EXPECT_EQ(l.gridRow(0), Row({"2", "2", "2", "2", "2"}));
  EXPECT_EQ(l.gridRow(1), Row({"2", "1", "1", "1", "2"}));
  EXPECT_EQ(l.gridRow(2), Row({"2", "1", "0", "1", "2"}));
  EXPECT_EQ(l.ws.Matriz.at(3, 3), 1);

  l.load(5, kMatrizPiramidal, -1);
  EXPECT_EQ(l.gridRow(2), Row({"254", "255", "0", "255", "254"}));

  l.load(9, kMatrizPiramidal, 100);  // rings 3 and 4: 300 and 400
  EXPECT_EQ(l.gridRow(1), Row({"144", "44", "44", "44", "44", "44", "44", "44", "144"}));
  l.load(9, kMatrizPiramidal, 64);
  EXPECT_EQ(l.ws.Matriz.at(0, 4), 0);
  // Products past the 32-bit range keep their low byte: 4 * (2^31 - 1) ends in 0xFC.
  l.load(9, kMatrizPiramidal, 2147483647);
  EXPECT_EQ(l.ws.Matriz.at(0, 0), 252);
  EXPECT_EQ(l.log.lines, kLoaded);
}

TEST(CargarMatriz, CustomCellsLoadModulo256AndAreRewritten) {
  Loader l;
  l.grid.cells = {{{0, 0}, "300"}, {{1, 0}, "-1"}, {{2, 0}, " +7 "}, {{0, 1}, "1"}, {{1, 1}, "2"},
                  {{2, 1}, "3"},   {{0, 2}, "4"},  {{1, 2}, "5"},    {{2, 2}, "6"}};
  l.load(3, kMatrizPersonalizada);
  EXPECT_TRUE(l.ws.MatrizCargada);
  EXPECT_EQ(l.log.lines, kLoaded);
  EXPECT_EQ(l.gridRow(0), Row({"44", "255", "7"}));
  EXPECT_EQ(l.ws.Matriz.at(1, 2), 3);  // row 1, column 2 is grid cell (2, 1)
  l.load(3, 5);                        // any index past the pyramid is a custom load
  EXPECT_EQ(l.ws.Matriz.at(0, 0), 44);
}

TEST(CargarMatriz, BadCellStopsTheScanAndUnloads) {
  Loader l;
  l.load(3, kMatrizPiramidal, 5);
  for (auto& [at, text] : l.grid.cells) text = "+20";
  l.grid.setCell(2, 1, "2x");  // sixth cell of the scan
  l.load(3, kMatrizPersonalizada);
  EXPECT_FALSE(l.ws.MatrizCargada);
  EXPECT_EQ(l.grid.messages,
            std::vector<std::string>{"La matriz B no se ha cargado correctamente.\n"
                                     "Compruebe que contiene solo valores numéricos"});
  EXPECT_EQ(l.log.lines, std::vector<std::string>{"Error en la matriz B"});
  EXPECT_EQ(l.gridRow(1), Row({"20", "20", "2x"}));
  EXPECT_EQ(l.gridRow(2), Row({"+20", "+20", "+20"}));
  EXPECT_EQ(l.ws.Matriz.at(1, 1), 20);
  EXPECT_EQ(l.ws.Matriz.at(2, 2), 5);  // older weight

  // A new size starts from zeros, and an empty grid fails at the first cell.
  l.grid.cells.clear();
  l.load(5, kMatrizPersonalizada);
  EXPECT_FALSE(l.ws.MatrizCargada);
  EXPECT_EQ(l.ws.TamanoMatriz(), 5);
  EXPECT_EQ(l.ws.Matriz.weights, std::vector<std::uint8_t>(25, 0));
  EXPECT_TRUE(l.grid.cells.empty());
}

}  // namespace
}  // namespace morvane
