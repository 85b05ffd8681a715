#include "restoration/cubic_samples.h"

#include <algorithm>
#include <new>

namespace morvane {

namespace {

// A stored distance this large means "at least this far": the look-up jumps
// that far and reads again.
constexpr std::uint8_t kLejos = 0xFF;

}  // namespace

BuscadorMuestras::BuscadorMuestras(const Plane& danos, const Plane& niveles, int alto, int ancho,
                                   int umbral)
    : danos_(danos),
      niveles_(niveles),
      alto_(alto),
      ancho_(ancho),
      umbral_(umbral),
      paso_(static_cast<std::size_t>(ancho) + 1) {}

void BuscadorMuestras::construirTablas() const {
  // Without the tables the search stays literal, with the same result.
  const std::size_t size = paso_ * (static_cast<std::size_t>(alto_) + 1);
  try {
    tablas_ = PageBuffer(2 * size);
  } catch (const std::bad_alloc&) {
    return;
  }
  columnas_ = tablas_.data();
  filas_ = tablas_.data() + size;
  // Row alto and column ancho are sentinels: distance 0 to "none".
  std::uint8_t* below = columnas_ + static_cast<std::size_t>(alto_) * paso_;
  std::fill_n(below, paso_, std::uint8_t{0});
  for (int y = alto_ - 1; y >= 0; --y) {
    const std::uint8_t* d = danos_[y];
    std::uint8_t* col = columnas_ + static_cast<std::size_t>(y) * paso_;
    std::uint8_t* row = filas_ + static_cast<std::size_t>(y) * paso_;
    for (int x = 0; x < ancho_; ++x) {
      const std::uint8_t next =
          below[x] == kLejos ? kLejos : static_cast<std::uint8_t>(below[x] + 1);
      col[x] = d[x] < umbral_ ? 0 : next;
    }
    col[ancho_] = 0;
    std::uint8_t run = 0;
    row[ancho_] = 0;
    for (int x = ancho_ - 1; x >= 0; --x) {
      run = d[x] < umbral_ ? 0 : (run == kLejos ? kLejos : static_cast<std::uint8_t>(run + 1));
      row[x] = run;
    }
    below = col;
  }
  listas_ = true;
}

bool BuscadorMuestras::tablas() const {
  std::call_once(hecho_, [this] { construirTablas(); });
  return listas_;
}

int BuscadorMuestras::abajo(int y, int x) const {
  for (;;) {
    const std::uint8_t d = columnas_[static_cast<std::size_t>(y) * paso_ + x];
    if (d != kLejos) return y + d;
    y += kLejos;
    if (y >= alto_) return alto_;
  }
}

int BuscadorMuestras::derecha(int y, int x) const {
  for (;;) {
    const std::uint8_t d = filas_[static_cast<std::size_t>(y) * paso_ + x];
    if (d != kLejos) return x + d;
    x += kLejos;
    if (x >= ancho_) return ancho_;
  }
}

int BuscadorMuestras::Recoger(int r, int c, Muestras& muestras) const {
  if (umbral_ <= 0) return 0;  // no level lies below it: nothing is admitted
  int n = 0;
  auto tomar = [&](int y, int x) {
    muestras[n++] = Muestra{y, x, niveles_[y][x]};
    return n == 16;
  };
  // Visits the side of s pixels from (y, x), stepping by (dy, dx).
  auto lado = [&](int y, int x, int dy, int dx, int s) {
    for (int t = 0; t < s; ++t, y += dy, x += dx) {
      if (admitido(y, x) && tomar(y, x)) return true;
    }
    return false;
  };
  auto anillo = [&](int k) {
    const int s = 2 * k - 1;
    return lado(r - k, c - k, 1, 0, s) || lado(r - k, c - k, 0, 1, s) ||
           lado(r - k, c + k, 1, 0, s) || lado(r + k, c - k, 0, 1, s);
  };
  // Rings 1 .. kmax lie inside the image; ring kmax + 1 would not.
  const int kmax = std::min({r, c, alto_ - 1 - r, ancho_ - 1 - c});
  int k = 1;
  // Most damaged pixels of a real picture find their samples this close.
  for (; k <= kmax && k <= 3; ++k) {
    if (anillo(k)) return n;
  }
  if (k > kmax) return n;
  if (!tablas()) {
    for (; k <= kmax; ++k) {
      if (anillo(k)) return n;
    }
    return n;
  }
  for (; k <= kmax; ++k) {
    const int y0 = r - k;
    const int y1 = r + k - 2;
    const int x0 = c - k;
    const int x1 = c + k - 2;
    for (int y = abajo(y0, x0); y <= y1; y = abajo(y + 1, x0)) {
      if (tomar(y, x0)) return n;
    }
    for (int x = derecha(y0, x0); x <= x1; x = derecha(y0, x + 1)) {
      if (tomar(y0, x)) return n;
    }
    for (int y = abajo(y0, c + k); y <= y1; y = abajo(y + 1, c + k)) {
      if (tomar(y, c + k)) return n;
    }
    for (int x = derecha(r + k, x0); x <= x1; x = derecha(r + k, x + 1)) {
      if (tomar(r + k, x)) return n;
    }
  }
  return n;
}

}  // namespace morvane
