// The low-pass filter by cubic interpolation: every damaged pixel gets the value
// at its own position of the bicubic polynomial fitted through the first sixteen
// admitted pixels met on square rings around it, the 16 x 16 system being solved
// by Gaussian elimination in single precision.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "workspace/plane.h"
#include "workspace/workspace.h"

namespace morvane {

// The margin the filter never restores.
inline constexpr int kMargenCubico = 7;

// An overflow, division by zero or invalid operation of the filter's floating
// point arithmetic outside the guarded last step of CalcularIncognita. It ends
// the restoration where it happened.
class ErrorAritmetico : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
inline constexpr const char* kDesbordamiento = "Desbordamiento en coma flotante";
inline constexpr const char* kDivisionPorCero = "División por cero en coma flotante";
inline constexpr const char* kOperacionNoValida = "Operación de coma flotante no válida";

// Row n holds the equation of the n-th sample: column 4j + i is y^j * x^i, column
// 16 the sample's level.
using MatrizSistema = std::array<std::array<float, 17>, 16>;
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

// Fills the sixteen equations of the samples, in their order.
void LlenarMatrizSistema(const Muestras& muestras, MatrizSistema& m);

// Forward elimination in place, first non-zero pivot down the column, every
// quotient, product and difference rounded to single precision. A column with
// no non-zero pivot clears sistemaConsistente and stops; otherwise the back
// substitution runs and fills a. Throws ErrorAritmetico on overflow.
void EliminacionGauss(MatrizSistema& m, Coeficientes& a, bool& sistemaConsistente);

// a[n] = CalcularIncognita(n) for n = 15 down to 0.
void SustitucionRegresiva(const MatrizSistema& m, Coeficientes& a, bool& sistemaConsistente);

// (m[n][16] - sum of m[n][q] * a[q] for q = n+1 .. 15) / m[n][n], rounded to
// single precision after every subtraction. When the last subtraction (column
// 15) or the division gives no finite value, the result is 1 and
// sistemaConsistente is cleared; a non-finite earlier subtraction throws
// ErrorAritmetico.
float CalcularIncognita(const MatrizSistema& m, const Coeficientes& a, int n,
                        bool& sistemaConsistente);

// p(r, c) = sum of a[4j + i] * r^j * c^i in extended precision. Throws
// ErrorAritmetico if the value is not finite, which finite coefficients never
// produce.
long double EvaluarPolinomio(const Coeficientes& a, int r, int c);

// Truncation toward zero, then clamp to 0 .. 255, whatever the magnitude. A NaN
// gives 0; the filter never passes one (EvaluarPolinomio refuses it first).
std::uint8_t NivelDesdeValor(long double valor);

// Solves the system of the samples and evaluates it at (r, c). Sets
// sistemaConsistente before solving, as the solver reads it. Returns false
// when the system has no solution (the pixel keeps its level).
bool NivelInterpolado(const Muestras& muestras, int r, int c, bool& sistemaConsistente,
                      std::uint8_t& nivel);

// Collects the samples of a damaged pixel: the first sixteen admitted pixels
// (damage level below umbral) on rings k = 1, 2, ... around it, each ring visited
// as left side (column c-k, rows r-k .. r+k-2), top side (row r-k, columns
// c-k .. c+k-2), right side (column c+k, same rows as the left) and bottom side
// (row r+k, same columns as the top), so the top-left corner is met twice.
// Collection stops at sixteen, even inside a side; a ring that would leave the
// image ends it. Rings and sides holding no admitted pixel are skipped with a
// table of admitted-pixel counts, built at the first pixel that needs one, so
// the cost of a pixel does not grow with the square of its last ring.
class BuscadorMuestras {
 public:
  // danos: the damage plane; niveles: where sample levels are read. Both must
  // outlive the finder; danos must not change while it is used.
  BuscadorMuestras(const Plane& danos, const Plane& niveles, int alto, int ancho, int umbral);

  // Returns the number of samples (0 .. 16) written into muestras.
  int Recoger(int r, int c, Muestras& muestras);

 private:
  bool admitido(int y, int x) const { return danos_[y][x] < umbral_; }
  bool prepararTabla();
  // Admitted pixels in rows y0 .. y1, columns x0 .. x1 (inclusive).
  std::uint32_t contar(int y0, int x0, int y1, int x1) const;
  std::uint32_t cuadrado(int r, int c, int k) const { return contar(r - k, c - k, r + k, c + k); }
  // Visits one side of n pixels from (y, x), stepping by (dy, dx).
  void lado(int y, int x, int dy, int dx, int n, bool conTabla);
  void anillo(int r, int c, int k, bool conTabla);

  const Plane& danos_;
  const Plane& niveles_;
  int alto_;
  int ancho_;
  int umbral_;
  std::vector<std::uint32_t> tabla_;  // (alto+1) x (ancho+1) prefix counts
  enum class Tabla { SinHacer, Lista, Imposible } estado_ = Tabla::SinHacer;
  Muestras* destino_ = nullptr;
  int n_ = 0;
};

// The whole run: restoration frame with margin kMargenCubico. Leaves
// SistemaConsistente as the last solved pixel left it. An ErrorAritmetico goes
// out of the call with the frame's state at that point.
void FiltroInterpolacionCubica(Workspace& ws, ResultView& view);

}  // namespace morvane
