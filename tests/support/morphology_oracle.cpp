#include "tests/support/morphology_oracle.h"

#include <cstdint>
#include <vector>

namespace morvane::oracle {

namespace {

// The window: N row buffers of N signed entries, taken once per call.
using Ventana = std::vector<std::vector<std::int16_t>>;

Ventana TomarVentana(int n) {
  return Ventana(static_cast<std::size_t>(n),
                 std::vector<std::int16_t>(static_cast<std::size_t>(n)));
}

}  // namespace

void DilatarLiteral(const Plane& src, const MatrizB& b, Plane& dst, int alto, int ancho) {
  const int n = b.n;
  const int c = n / 2;
  Ventana ventana = TomarVentana(n);
  for (int i = c; i < alto - c; ++i) {
    for (int j = c; j < ancho - c; ++j) {
      for (int k = -c; k <= c; ++k)
        for (int l = -c; l <= c; ++l)
          ventana[c + l][c + k] = static_cast<std::int16_t>(src[i + l][j + k] + b.at(c + l, c + k));
      int maximo = 0;
      for (int k = -c; k <= c; ++k)
        for (int l = -c; l <= c; ++l)
          if (ventana[c + l][c + k] > maximo) maximo = ventana[c + l][c + k];
      if (maximo > 255) maximo = 255;
      dst[i][j] = static_cast<std::uint8_t>(maximo);
    }
  }
}

void ErosionarLiteral(const Plane& src, const MatrizB& b, Plane& dst, int alto, int ancho) {
  const int n = b.n;
  const int c = n / 2;
  Ventana ventana = TomarVentana(n);
  for (int i = c; i < alto - c; ++i) {
    for (int j = c; j < ancho - c; ++j) {
      for (int k = -c; k <= c; ++k)
        for (int l = -c; l <= c; ++l)
          ventana[c + l][c + k] = static_cast<std::int16_t>(src[i + l][j + k] - b.at(c + l, c + k));
      int minimo = 255;
      for (int k = -c; k <= c; ++k)
        for (int l = -c; l <= c; ++l)
          if (ventana[c + l][c + k] < minimo) minimo = ventana[c + l][c + k];
      if (minimo < 0) minimo = 0;
      dst[i][j] = static_cast<std::uint8_t>(minimo);
    }
  }
}

}  // namespace morvane::oracle
