// A recording stand-in for the window side of the morphology commands (log,
// right view, title, progress bar), a fake matrix grid, and workspace set-up.
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
    drawn[y].assign(levels + x0, levels + x1);
    events.push_back("draw");
  }
  void stepProgress() override { ++progress, events.push_back("step"); }
  void resetProgress() override { progress = 0, events.push_back("reset"); }
  void setTitle(const char* text) override { title = text, events.push_back("title " + title); }
  void showView() override { events.push_back("show"); }

  std::vector<std::string> lines, events;
  std::map<int, std::vector<std::uint8_t>> drawn;
  std::string title;
  int progress = 0;
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

// An open picture of alto x ancho at one level; the work planes hold 0.
inline void Abrir(Workspace& ws, int alto, int ancho, std::uint8_t level) {
  ws.Alto = alto;
  ws.Ancho = ancho;
  for (Plane* p : {&ws.ImagenInicial, &ws.ImagenFinal, &ws.Auxiliar1, &ws.Auxiliar2})
    *p = Plane(alto, ancho);
  ws.ImagenInicial.fill(level);
  ws.ImagenFinal.fill(level);
  ws.ImagenCargada = true;
}

// Loads the pyramid of side n and factor (factor 0: the zero matrix).
inline void CargarPiramide(Workspace& ws, int n, std::int32_t factor) {
  Recorder log;
  FakeGrid grid;
  ws.TamanoElegido = n;
  CargarMatriz(ws, log, grid, kMatrizPiramidal, factor);
}

inline std::vector<std::vector<int>> Niveles(const Plane& p, int alto, int ancho) {
  std::vector<std::vector<int>> out(alto);
  for (int i = 0; i < alto; ++i) out[i].assign(p[i], p[i] + ancho);
  return out;
}

}  // namespace morvane::testing
