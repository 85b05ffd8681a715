// Picture quality measures for the quality benchmark: PSNR and SSIM of a
// restored gray picture against its clean original.
#pragma once

#include <cstdint>
#include <vector>

namespace morvane::bench {

// A gray picture held as one row-major vector, alto rows of ancho levels.
struct Gris {
  int alto = 0;
  int ancho = 0;
  std::vector<std::uint8_t> v;

  Gris() = default;
  Gris(int a, int b) : alto(a), ancho(b), v(static_cast<std::size_t>(a) * b) {}
  std::uint8_t& at(int r, int c) { return v[static_cast<std::size_t>(r) * ancho + c]; }
  std::uint8_t at(int r, int c) const { return v[static_cast<std::size_t>(r) * ancho + c]; }
};

// Peak signal-to-noise ratio in dB for peak 255; identical pictures give 100.
double Psnr(const Gris& a, const Gris& b);

// Mean structural similarity (Wang, Bovik, Sheikh & Simoncelli 2004): an
// 11 x 11 Gaussian window of sigma 1.5, K1 = 0.01, K2 = 0.03, L = 255, averaged
// over every window position that lies wholly inside the picture.
double Ssim(const Gris& a, const Gris& b);

}  // namespace morvane::bench
