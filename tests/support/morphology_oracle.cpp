#include "tests/support/morphology_oracle.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace morvane::oracle {

namespace {

// kSign +1 dilates (level plus weight, the largest), -1 erodes (level minus
// weight, the smallest).
template <int kSign>
void Literal(const Plane& src, const MatrizB& b, Plane& dst, int alto, int ancho) {
  const int c = b.n / 2;
  std::vector<std::vector<std::int16_t>> ventana(b.n, std::vector<std::int16_t>(b.n));
  for (int i = c; i < alto - c; ++i)
    for (int j = c; j < ancho - c; ++j) {
      for (int k = -c; k <= c; ++k)
        for (int l = -c; l <= c; ++l)
          ventana[c + l][c + k] =
              static_cast<std::int16_t>(src[i + l][j + k] + kSign * b.at(c + l, c + k));
      int extremo = kSign > 0 ? 0 : 255;
      for (int k = -c; k <= c; ++k)
        for (int l = -c; l <= c; ++l)
          if (kSign * (ventana[c + l][c + k] - extremo) > 0) extremo = ventana[c + l][c + k];
      dst[i][j] = static_cast<std::uint8_t>(std::clamp(extremo, 0, 255));
    }
}

}  // namespace

void DilatarLiteral(const Plane& src, const MatrizB& b, Plane& dst, int alto, int ancho) {
  Literal<1>(src, b, dst, alto, ancho);
}

void ErosionarLiteral(const Plane& src, const MatrizB& b, Plane& dst, int alto, int ancho) {
  Literal<-1>(src, b, dst, alto, ancho);
}

}  // namespace morvane::oracle
