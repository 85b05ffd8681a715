// Recording stand-ins for the window side of the morphology commands, and
// small helpers to set up a workspace.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "morphology/matrix.h"
#include "workspace/workspace.h"

namespace morvane::testing {

class RecordingLog : public MessageLog {
 public:
  void clear() override {
    lines.clear();
    ++clears;
    events->push_back("log.clear");
  }
  void append(const char* utf8Line) override {
    lines.emplace_back(utf8Line);
    events->push_back(std::string("log:") + utf8Line);
  }

  std::vector<std::string> lines;
  int clears = 0;
  std::vector<std::string>* events = &ownEvents;

 private:
  std::vector<std::string> ownEvents;
};

class RecordingView : public ResultView {
 public:
  void drawRow(int y, const std::uint8_t* levels, int x0, int x1) override {
    drawn[y] = std::vector<std::uint8_t>(levels + x0, levels + x1);
    events->push_back("draw");
  }
  void stepProgress() override {
    ++progress;
    ++steps;
    events->push_back("step");
  }
  void resetProgress() override {
    progress = 0;
    events->push_back("reset");
  }
  void setTitle(const char* utf8Title) override {
    title = utf8Title;
    events->push_back(std::string("title:") + utf8Title);
  }
  void showView() override {
    ++shows;
    events->push_back("show");
  }

  std::string title;
  std::map<int, std::vector<std::uint8_t>> drawn;
  int progress = 0;
  int steps = 0;
  int shows = 0;
  std::vector<std::string>* events = &ownEvents;

 private:
  std::vector<std::string> ownEvents;
};

class FakeGrid : public MatrixGrid {
 public:
  std::string cell(int col, int row) const override {
    auto it = cells.find({col, row});
    return it == cells.end() ? std::string() : it->second;
  }
  void setCell(int col, int row, const std::string& text) override { cells[{col, row}] = text; }
  void showMessage(const char* utf8) override { messages.emplace_back(utf8); }

  std::map<std::pair<int, int>, std::string> cells;
  std::vector<std::string> messages;
};

// A workspace with an open picture of alto x ancho: the four planes exist and
// hold 0.
inline void AbrirVacia(Workspace& ws, int alto, int ancho) {
  ws.Alto = alto;
  ws.Ancho = ancho;
  ws.ImagenInicial = Plane(alto, ancho);
  ws.ImagenFinal = Plane(alto, ancho);
  ws.Auxiliar1 = Plane(alto, ancho);
  ws.Auxiliar2 = Plane(alto, ancho);
  ws.ImagenCargada = true;
}

// Loads a zero (factor 0) or pyramidal matrix of side n the way the button does.
inline void CargarPiramide(Workspace& ws, int n, std::int32_t factor) {
  RecordingLog log;
  FakeGrid grid;
  ws.TamanoElegido = n;
  CargarMatriz(ws, log, grid, kMatrizPiramidal, factor);
}

inline std::vector<std::uint8_t> Fila(const Plane& p, int row, int ancho) {
  return std::vector<std::uint8_t>(p[row], p[row] + ancho);
}

}  // namespace morvane::testing
