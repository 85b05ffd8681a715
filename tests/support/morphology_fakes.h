// A recording stand-in for the window side of the morphology commands: the
// log, the right view with its title and progress bar, and the matrix grid.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "morphology/matrix.h"
#include "workspace/workspace.h"

namespace morvane::testing {

struct Recorder : MessageLog, ResultView, MatrixGrid {
  void clear() override { events.push_back("clear"); }
  void append(const char* line) override { events.push_back(line); }
  void drawRow(int y, const std::uint8_t* levels, int x0, int x1) override {
    drawn.resize(std::max<std::size_t>(drawn.size(), y + 1));
    drawn[y].assign(levels + x0, levels + x1);
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

  std::vector<std::string> events;      // log lines and what the view and grid were told, in order
  std::vector<std::vector<int>> drawn;  // the painted rows, by row
  std::map<std::pair<int, int>, std::string> cells;  // grid texts by (column, row)
};

inline std::vector<std::vector<int>> Niveles(const Plane& p, int alto, int ancho) {
  std::vector<std::vector<int>> out(alto);
  for (int i = 0; i < alto; ++i) out[i].assign(p[i], p[i] + ancho);
  return out;
}

}  // namespace morvane::testing
