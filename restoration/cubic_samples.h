// The sample finder of the cubic interpolation filter.
#pragma once

#include <cstdint>
#include <mutex>

#include "restoration/cubic_solver.h"
#include "workspace/pages.h"
#include "workspace/plane.h"

namespace morvane {

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

}  // namespace morvane
