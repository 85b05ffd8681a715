// Literal reference versions of the restoration filters, written straight from
// their rules with no shortcut, and recording doubles of the log and the right
// view. Shared by the restoration tests and benchmark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "restoration/cubic.h"
#include "workspace/plane.h"
#include "workspace/workspace.h"

namespace morvane::oracle {

// Sets the size and allocates the four planes, all 0.
void Reservar(Workspace& ws, int alto, int ancho);

// Mean (filtro 0), median (1) or conservative (2) through a literal frame:
// copy, pixel-by-pixel scan with every pixel drawn on its own, margin pass,
// reset, final copy, show. The median sorts 25 slots marked 1000 by exchanges.
void FiltroVecindadLiteral(Workspace& ws, ResultView& view, int filtro, int radio,
                           bool incluirDanados);

// The sample collection visiting every pixel of every ring (damage from
// ImagenFinal, levels from Auxiliar1).
int RecogerMuestrasLiteral(const Workspace& ws, int r, int c, Muestras& muestras);

// The cubic filter with the literal frame and collection and the same solver.
void FiltroCubicoLiteral(Workspace& ws, ResultView& view);

class LogRegistrado : public MessageLog {
 public:
  void clear() override { lines.clear(); }
  void append(const char* utf8Line) override { lines.emplace_back(utf8Line); }
  std::vector<std::string> lines;
};

// Keeps the level drawn at each pixel (-1 where nothing was drawn) and counts
// the rest. A draw outside the picture throws std::out_of_range.
class VistaRegistrada : public ResultView {
 public:
  VistaRegistrada(int alto, int ancho)
      : ancho_(ancho), alto_(alto), drawn(static_cast<std::size_t>(alto) * ancho, -1) {}
  void drawRow(int y, const std::uint8_t* levels, int x0, int x1) override;
  void stepProgress() override { ++steps; }
  void resetProgress() override { ++resets; }
  void setTitle(const char* t) override { title = t; }
  void showView() override { ++shows; }
  int at(int y, int x) const { return drawn[static_cast<std::size_t>(y) * ancho_ + x]; }

  int ancho_;
  int alto_;
  std::vector<int> drawn;
  int steps = 0;
  int resets = 0;
  int shows = 0;
  std::string title;
};

}  // namespace morvane::oracle
