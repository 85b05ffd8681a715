// Literal reference versions of the restoration filters, written straight from
// their rules with no shortcut, and a recording double of the log, the right
// view and the matrix grid. Shared by the processing tests and the benchmarks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "morphology/matrix.h"
#include "restoration/cubic.h"  // kMargenCubico, ErrorAritmetico
#include "workspace/plane.h"
#include "workspace/workspace.h"

namespace morvane::oracle {

// Sets the size and allocates the four planes, all 0.
void Reservar(Workspace& ws, int alto, int ancho);
// Random levels, copied into Auxiliar1; damage 200 or now and then 255 (above
// any threshold squeezed into a level) at the given percentage of pixels,
// 0 .. 50 elsewhere (50 is the default Umbral: neither damaged nor admitted).
void Azar(Workspace& ws, unsigned seed, int alto, int ancho, int percent);
// Every level of the plane, row by row.
std::vector<int> Niveles(const Plane& plane);

// Mean (filtro 0), median (1) or conservative (2) through a literal frame:
// copy, pixel-by-pixel scan with every pixel drawn on its own, margin pass,
// reset, final copy, show.
void FiltroVecindadLiteral(Workspace& ws, ResultView& view, int filtro, int radio,
                           bool incluirDanados);

// The cubic filter with the literal frame, and the ring walk and the
// independent solver of cubic_oracle.h (damage from ImagenFinal, levels from
// Auxiliar1).
void FiltroCubicoLiteral(Workspace& ws, ResultView& view);

// Records what the log, the right view and the matrix grid are told, in order
// ("clear", the log lines, "draw", "step", "reset", "title T", "show", "box M"),
// the level last drawn at each pixel (-1 where nothing was, row by row; a draw
// outside the picture throws std::out_of_range) and the texts of the grid.
struct Registro : MessageLog, ResultView, MatrixGrid {
  Registro(int alto, int ancho) : alto(alto), ancho(ancho), drawn(alto * ancho, -1) {}
  void clear() override { events.push_back("clear"); }
  void append(const char* line) override { events.push_back(line); }
  void drawRow(int y, const std::uint8_t* levels, int x0, int x1) override {
    if (y < 0 || y >= alto || x0 < 0 || x1 > ancho) throw std::out_of_range("draw outside");
    for (int x = x0; x < x1; ++x) drawn[y * ancho + x] = levels[x];
    events.push_back("draw");
  }
  void stepProgress() override { events.push_back("step"); }
  void resetProgress() override { events.push_back("reset"); }
  void setTitle(const char* text) override { events.push_back(std::string("title ") + text); }
  void showView() override { events.push_back("show"); }
  std::string cell(int col, int row) const override {
    auto it = cells.find({col, row});
    return it == cells.end() ? "" : it->second;
  }
  void setCell(int col, int row, const std::string& text) override { cells[{col, row}] = text; }
  void showMessage(const char* text) override { events.push_back(std::string("box ") + text); }
  int at(int y, int x) const { return drawn[y * ancho + x]; }
  long count(const std::string& event) const {
    return std::count(events.begin(), events.end(), event);
  }

  int alto, ancho;
  std::vector<std::string> events;
  std::vector<int> drawn;
  std::map<std::pair<int, int>, std::string> cells;  // by (column, row)
};

}  // namespace morvane::oracle
