// Literal reference versions of the restoration filters, written straight from
// their rules with no shortcut, and simple recording doubles of the log and the
// right view. Shared by the restoration tests and benchmark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "restoration/cubic.h"
#include "workspace/plane.h"
#include "workspace/workspace.h"

namespace morvane::oracle {

// Median of n levels: 25 slots marked 1000, the levels from slot 0 on, the
// exchange sort of all 25, slot n / 2.
int MedianaLiteral(const std::uint8_t* levels, int n);

// Mean (filtro 0), median (1) or conservative (2) through a literal frame:
// copy, pixel-by-pixel scan with every pixel drawn on its own, margin pass,
// reset, final copy, show.
void FiltroVecindadLiteral(Workspace& ws, ResultView& view, int filtro, int radio,
                           bool incluirDanados);

// The sample collection visiting every pixel of every ring.
int RecogerMuestrasLiteral(const Plane& danos, const Plane& niveles, int alto, int ancho,
                           int umbral, int r, int c, Muestras& muestras);

// The cubic filter with the literal collection and the same solver.
void FiltroCubicoLiteral(Workspace& ws, ResultView& view);

class LogRegistrado : public MessageLog {
 public:
  void clear() override {
    lines.clear();
    ++clears;
  }
  void append(const char* utf8Line) override { lines.emplace_back(utf8Line); }
  std::vector<std::string> lines;
  int clears = 0;
};

// Keeps the levels drawn at each pixel (-1 where nothing was drawn) and counts
// everything else.
class VistaRegistrada : public ResultView {
 public:
  VistaRegistrada(int alto, int ancho)
      : alto_(alto), ancho_(ancho), drawn(static_cast<std::size_t>(alto) * ancho, -1) {}
  void drawRow(int y, const std::uint8_t* levels, int x0, int x1) override;
  void stepProgress() override {
    ++progress;
    ++steps;
  }
  void resetProgress() override {
    progress = 0;
    ++resets;
  }
  void setTitle(const char* t) override { title = t; }
  void showView() override { ++shows; }

  int at(int y, int x) const { return drawn[static_cast<std::size_t>(y) * ancho_ + x]; }

  int alto_;
  int ancho_;
  std::vector<int> drawn;
  long drawCalls = 0;
  bool outOfRange = false;  // a draw reached outside alto x ancho
  int progress = 0;
  int steps = 0;
  int resets = 0;
  int shows = 0;
  std::string title;
};

class VistaNula : public ResultView {
 public:
  void drawRow(int, const std::uint8_t*, int, int) override {}
  void stepProgress() override {}
  void resetProgress() override {}
  void setTitle(const char*) override {}
  void showView() override {}
};

}  // namespace morvane::oracle
