// The low-pass filter by cubic interpolation: every damaged pixel gets the value
// at its own position of the bicubic polynomial fitted through the first sixteen
// admitted pixels met on square rings around it, the 16 x 16 system being solved
// by Gaussian elimination in single precision.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "workspace/pages.h"
#include "workspace/plane.h"
#include "workspace/workspace.h"

namespace morvane {

// The margin the filter never restores.
inline constexpr int kMargenCubico = 7;

// An overflow, division by zero or invalid operation of the filter's floating
// point arithmetic outside the guarded last step of an unknown (see
// NivelInterpolado). It ends the restoration where it happened.
class ErrorAritmetico : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
inline constexpr const char* kDesbordamiento = "Desbordamiento en coma flotante";
inline constexpr const char* kDivisionPorCero = "División por cero en coma flotante";
inline constexpr const char* kOperacionNoValida = "Operación de coma flotante no válida";

// a[4j + i] is the coefficient of y^j * x^i.
using Coeficientes = std::array<float, 16>;

struct Muestra {
  int y;
  int x;
  std::uint8_t v;
};
using Muestras = std::array<Muestra, 16>;

// y^j * x^i formed exactly and rounded once to single precision. Throws
// ErrorAritmetico when the value is beyond the single-precision range.
float EntradaSistema(int y, int j, int x, int i);

// p(r, c) = sum of a[4j + i] * r^j * c^i in extended precision. Throws
// ErrorAritmetico if the value is not finite, which finite coefficients never
// produce.
long double EvaluarPolinomio(const Coeficientes& a, int r, int c);

// Truncation toward zero, then clamp to 0 .. 255, whatever the magnitude. A NaN
// gives 0; the filter never passes one (EvaluarPolinomio refuses it first).
std::uint8_t NivelDesdeValor(long double valor);

// Solves the system of the samples and evaluates it at (r, c). Row n of the
// system is the equation of the n-th sample: column 4j + i holds y^j * x^i,
// column 16 the level. Forward elimination takes the first non-zero pivot down
// each column and rounds every quotient, product and difference to single
// precision; the back substitution works out a[15] down to a[0], each as
// (m[n][16] - sum of m[n][q] * a[q] for q > n) / m[n][n], rounded after every
// subtraction. sistemaConsistente is set before solving and cleared when a
// column has no non-zero pivot, or when the last subtraction of an unknown
// (column 15) or its division gives no finite value (that unknown is then 1).
// Returns false when the system is not consistent (the pixel keeps its level).
// Throws ErrorAritmetico on any other overflow.
bool NivelInterpolado(const Muestras& muestras, int r, int c, bool& sistemaConsistente,
                      std::uint8_t& nivel);

// Collects the samples of a damaged pixel: the first sixteen admitted pixels
// (damage level below umbral) on rings k = 1, 2, ... around it, each ring visited
// as left side (column c-k, rows r-k .. r+k-2), top side (row r-k, columns
// c-k .. c+k-2), right side (column c+k, same rows as the left) and bottom side
// (row r+k, same columns as the top), so the top-left corner is met twice.
// Collection stops at sixteen, even inside a side; a ring that would leave the
// image ends it. Beyond the first rings every side jumps from one admitted
// pixel to the next with tables of the distance to the next admitted pixel
// down each column and along each row, built at the first pixel that needs
// them, so a side costs one look-up plus one per sample taken on it.
// Recoger may be called from several threads at once.
class BuscadorMuestras {
 public:
  // danos: the damage plane; niveles: where sample levels are read. Both must
  // outlive the finder; danos must not change while it is used.
  BuscadorMuestras(const Plane& danos, const Plane& niveles, int alto, int ancho, int umbral);

  // Returns the number of samples (0 .. 16) written into muestras.
  int Recoger(int r, int c, Muestras& muestras) const;

 private:
  bool admitido(int y, int x) const { return danos_[y][x] < umbral_; }
  bool tablas() const;
  void construirTablas() const;
  // First admitted row >= y in column x, or alto if none.
  int abajo(int y, int x) const;
  // First admitted column >= x in row y, or ancho if none.
  int derecha(int y, int x) const;

  const Plane& danos_;
  const Plane& niveles_;
  int alto_;
  int ancho_;
  int umbral_;
  std::size_t paso_;  // ancho + 1: both tables have a sentinel column and row
  mutable std::once_flag hecho_;
  mutable bool listas_ = false;
  // Distances, capped at 255 (a capped distance is followed by another look-up
  // that far on), in one buffer: paso_ x (alto + 1) down to the next admitted
  // row, then as many right to the next admitted column.
  mutable PageBuffer tablas_;
  mutable std::uint8_t* columnas_ = nullptr;
  mutable std::uint8_t* filas_ = nullptr;
};

// Solves one damaged pixel: NivelInterpolado, or a stand-in with its contract.
using Resolutor = std::function<bool(const Muestras&, int r, int c, bool& sistemaConsistente,
                                     std::uint8_t& nivel)>;

struct OpcionesCubico {
  // Threads computing the rows: 0 lets the filter choose (one per processor
  // when there is enough damaged work), n uses exactly n.
  int hilos = 0;
  Resolutor resolutor;  // empty: NivelInterpolado
};

// The whole run: restoration frame with margin kMargenCubico. The scanned rows
// are worked out (on several threads when there is enough damage) and handed
// over in scan order: Auxiliar1 written, the row drawn, the bar stepped. Leaves
// SistemaConsistente as the last solved pixel in scan order left it. An
// exception of a solve goes out of the call as a single-threaded run would
// raise it: Auxiliar1 with the levels restored before that pixel, the rows
// before it drawn and its own row up to the column before it, ImagenFinal
// untouched, the bar not reset, the view not shown.
void FiltroInterpolacionCubica(Workspace& ws, ResultView& view, const OpcionesCubico& opciones);
void FiltroInterpolacionCubica(Workspace& ws, ResultView& view);

}  // namespace morvane
