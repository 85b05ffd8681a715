// The state every command shares: the open picture's size, its planes, the
// detection matrix, the restoration threshold and the flags that say what has
// been done so far. One instance for the whole program (Workspace::instance()),
// though the functions take it by reference so they can run on a local one.
#pragma once

#include <cstdint>
#include <vector>

#include "workspace/plane.h"

namespace morvane {

// Matrix B: TamanoMatriz x TamanoMatriz weights, row-major, [row][column].
struct MatrizB {
  int n = 0;
  std::vector<std::uint8_t> weights;

  std::uint8_t at(int row, int col) const {
    return weights[static_cast<std::size_t>(row) * n + col];
  }
  std::uint8_t& at(int row, int col) { return weights[static_cast<std::size_t>(row) * n + col]; }
};

struct Workspace {
  std::int32_t Alto = 0;
  std::int32_t Ancho = 0;
  Plane ImagenInicial;
  Plane ImagenFinal;
  Plane Auxiliar1;
  Plane Auxiliar2;

  MatrizB Matriz;  // the allocated MatrizB; Matriz.n is TamanoMatriz
  std::int32_t TamanoElegido = 3;
  std::int32_t FactorN = 0;

  // The threshold typed in the window. The window reads it once per Restaurar
  // and hands it down; no filter reads it from here.
  std::int32_t Umbral = 50;

  bool ImagenCargada = false;
  bool MatrizCargada = false;
  bool NegrosDetectados = false;
  bool BlancosDetectados = false;

  // Cleared by the cubic solver when a system has no solution.
  bool SistemaConsistente = true;

  std::int32_t TamanoMatriz() const { return Matriz.n; }

  static Workspace& instance();
};

// The message log as the commands see it.
class MessageLog {
 public:
  virtual ~MessageLog() = default;
  virtual void clear() = 0;
  virtual void append(const char* utf8Line) = 0;
};

// The right view and the progress bar as a sweep sees them: rows of levels
// are drawn as they are finished and the bar follows.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // Draws levels[x0 .. x1-1] of row y as gray colours (levels points at x = 0).
  virtual void drawRow(int y, const std::uint8_t* levels, int x0, int x1) = 0;
  virtual void stepProgress() = 0;
  virtual void resetProgress() = 0;
};

// What a command needs of the main window besides the log: the right view (as
// a RowSink), the operation title above it, and showing the view.
class ResultView : public RowSink {
 public:
  virtual void setTitle(const char* utf8Title) = 0;
  virtual void showView() = 0;
};

// What the last detection found, as Restaurar reads it. A black-point
// detection sets NegrosDetectados and clears BlancosDetectados; a white-point
// one the reverse.
void RegistrarDeteccionNegros(Workspace& ws);
void RegistrarDeteccionBlancos(Workspace& ws);
// Clears both flags: after a restoration, and on going back to the normal mode.
void OlvidarDetecciones(Workspace& ws);
// Sets both flags: the advanced mode restores without a detection first.
void MarcarDetecciones(Workspace& ws);

// The precondition of the morphological commands: a picture and a matrix.
// Writes the reason into the log when it refuses.
bool ComprobarImagenYMatriz(const Workspace& ws, MessageLog& log);

// Allocates the two work planes of the open picture's size, filled with 0.
void ReservarAuxiliares(Workspace& ws);

// Frees the four planes and sets the size to 0.
void LiberarPlanos(Workspace& ws);

// Draws a whole plane through the sink, one progress step per row, then resets
// the bar.
void PintarPlano(const Plane& plane, int alto, int ancho, RowSink& sink);

}  // namespace morvane
