#include "bench/quality_metrics.h"

#include <cmath>

namespace morvane::bench {

double Psnr(const Gris& a, const Gris& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.v.size(); ++i) {
    const double d = static_cast<double>(a.v[i]) - b.v[i];
    sum += d * d;
  }
  if (sum == 0) return 100.0;
  const double mse = sum / static_cast<double>(a.v.size());
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

namespace {

constexpr int kRadio = 5;  // 11 x 11

// Separable Gaussian blur of a float plane, only at positions whose whole
// window lies inside: out is (alto - 10) x (ancho - 10).
std::vector<double> Suavizar(const std::vector<double>& in, int alto, int ancho, const double* w) {
  const int oa = alto - 2 * kRadio, ob = ancho - 2 * kRadio;
  std::vector<double> tmp(static_cast<std::size_t>(alto) * ob);
  for (int r = 0; r < alto; ++r) {
    for (int c = 0; c < ob; ++c) {
      double s = 0;
      for (int k = 0; k <= 2 * kRadio; ++k)
        s += w[k] * in[static_cast<std::size_t>(r) * ancho + c + k];
      tmp[static_cast<std::size_t>(r) * ob + c] = s;
    }
  }
  std::vector<double> out(static_cast<std::size_t>(oa) * ob);
  for (int r = 0; r < oa; ++r) {
    for (int c = 0; c < ob; ++c) {
      double s = 0;
      for (int k = 0; k <= 2 * kRadio; ++k)
        s += w[k] * tmp[static_cast<std::size_t>(r + k) * ob + c];
      out[static_cast<std::size_t>(r) * ob + c] = s;
    }
  }
  return out;
}

}  // namespace

double Ssim(const Gris& a, const Gris& b) {
  const int alto = a.alto, ancho = a.ancho;
  if (alto <= 2 * kRadio || ancho <= 2 * kRadio) return 1.0;
  double w[2 * kRadio + 1];
  double total = 0;
  for (int k = -kRadio; k <= kRadio; ++k)
    total += w[k + kRadio] = std::exp(-k * k / (2 * 1.5 * 1.5));
  for (double& x : w) x /= total;
  const std::size_t n = a.v.size();
  std::vector<double> x(n), y(n), xx(n), yy(n), xy(n);
  for (std::size_t i = 0; i < n; ++i) {
    x[i] = a.v[i];
    y[i] = b.v[i];
    xx[i] = x[i] * x[i];
    yy[i] = y[i] * y[i];
    xy[i] = x[i] * y[i];
  }
  const auto mx = Suavizar(x, alto, ancho, w), my = Suavizar(y, alto, ancho, w);
  const auto sxx = Suavizar(xx, alto, ancho, w), syy = Suavizar(yy, alto, ancho, w),
             sxy = Suavizar(xy, alto, ancho, w);
  const double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
  double sum = 0;
  for (std::size_t i = 0; i < mx.size(); ++i) {
    const double vx = sxx[i] - mx[i] * mx[i], vy = syy[i] - my[i] * my[i],
                 cxy = sxy[i] - mx[i] * my[i];
    sum += (2 * mx[i] * my[i] + c1) * (2 * cxy + c2) /
           ((mx[i] * mx[i] + my[i] * my[i] + c1) * (vx + vy + c2));
  }
  return sum / static_cast<double>(mx.size());
}

}  // namespace morvane::bench
