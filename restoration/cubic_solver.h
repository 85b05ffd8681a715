// The solver of the cubic interpolation filter: the bicubic polynomial through
// sixteen samples, by Gaussian elimination in single precision, evaluated at
// the damaged pixel.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>

namespace morvane {

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

}  // namespace morvane
