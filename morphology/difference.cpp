#include "morphology/difference.h"

#include <cstdint>

namespace morvane {

void RestarPlanos(const Plane& a, const Plane& b, Plane& out, int alto, int ancho, RowSink& sink) {
  for (int i = 0; i < alto; ++i) {
    const std::uint8_t* ra = a[i];
    const std::uint8_t* rb = b[i];
    std::uint8_t* ro = out[i];
    for (int j = 0; j < ancho; ++j) {
      const std::uint8_t x = ra[j];
      const std::uint8_t y = rb[j];
      ro[j] = static_cast<std::uint8_t>(x > y ? x - y : 0);
    }
    sink.drawRow(i, ro, 0, ancho);
    sink.stepProgress();
  }
  sink.resetProgress();
}

}  // namespace morvane
