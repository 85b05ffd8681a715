// Literal reference versions of the restoration filters, written straight from
// their rules with no shortcut, and recording doubles of the log and the right
// view. Shared by the restoration tests and benchmark.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "restoration/cubic.h"  // kMargenCubico, ErrorAritmetico
#include "workspace/plane.h"
#include "workspace/workspace.h"

namespace morvane::oracle {

// Sets the size and allocates the four planes, all 0.
void Reservar(Workspace& ws, int alto, int ancho);
// Random levels, copied into Auxiliar1; damage 200 at the given percentage of
// pixels, 0 .. 50 elsewhere (50 is the default Umbral: neither damaged nor admitted).
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

struct LogRegistrado : MessageLog {
  void clear() override { lines.clear(); }
  void append(const char* utf8Line) override { lines.emplace_back(utf8Line); }
  std::vector<std::string> lines;
};

// Keeps the level drawn at each pixel (-1 where nothing was drawn, row by row)
// and counts the rest. A draw outside the picture throws std::out_of_range.
struct VistaRegistrada : ResultView {
  VistaRegistrada(int alto, int ancho) : alto(alto), ancho(ancho), drawn(alto * ancho, -1) {}
  void drawRow(int y, const std::uint8_t* levels, int x0, int x1) override {
    if (y < 0 || y >= alto || x0 < 0 || x1 > ancho) throw std::out_of_range("draw outside");
    for (int x = x0; x < x1; ++x) drawn[y * ancho + x] = levels[x];
  }
  void stepProgress() override { ++steps; }
  void resetProgress() override { ++resets; }
  void setTitle(const char* t) override { title = t; }
  void showView() override { ++shows; }
  int at(int y, int x) const { return drawn[y * ancho + x]; }

  int alto, ancho;
  std::vector<int> drawn;
  int steps = 0, resets = 0, shows = 0;
  std::string title;
};

}  // namespace morvane::oracle
