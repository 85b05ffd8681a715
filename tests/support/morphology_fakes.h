// A recording stand-in for the window side of the morphology commands (log,
// right view, title, progress bar) and a fake matrix grid.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "morphology/matrix.h"
#include "workspace/workspace.h"

namespace morvane::testing {

class Recorder : public MessageLog, public ResultView {
 public:
  void clear() override { lines.clear(), events.push_back("clear"); }
  void append(const char* line) override { lines.emplace_back(line), events.push_back(line); }
  void drawRow(int y, const std::uint8_t* levels, int x0, int x1) override {
    if (static_cast<int>(drawn.size()) <= y) drawn.resize(y + 1);
    drawn[y].assign(levels + x0, levels + x1);
    events.push_back("draw");
  }
  void stepProgress() override { events.push_back("step"); }
  void resetProgress() override { events.push_back("reset"); }
  void setTitle(const char* text) override { events.push_back(std::string("title ") + text); }
  void showView() override { events.push_back("show"); }

  std::vector<std::string> lines, events;
  std::vector<std::vector<int>> drawn;  // the painted rows, by row
};

class FakeGrid : public MatrixGrid {
 public:
  std::string cell(int col, int row) const override {
    auto it = cells.find({col, row});
    return it == cells.end() ? std::string() : it->second;
  }
  void setCell(int col, int row, const std::string& text) override { cells[{col, row}] = text; }
  void showMessage(const char* text) override { messages.emplace_back(text); }

  std::map<std::pair<int, int>, std::string> cells;
  std::vector<std::string> messages;
};

inline std::vector<std::vector<int>> Niveles(const Plane& p, int alto, int ancho) {
  std::vector<std::vector<int>> out(alto);
  for (int i = 0; i < alto; ++i) out[i].assign(p[i], p[i] + ancho);
  return out;
}

}  // namespace morvane::testing
