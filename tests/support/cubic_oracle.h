// The cubic interpolation of one damaged pixel written a second time, plainly
// and on its own: the ring walk that collects the samples, the system of their
// equations, Gaussian elimination column by column with every quotient, product
// and difference rounded to single precision, back substitution, the value of
// the polynomial and its conversion to a level. It shares nothing with the
// filter it judges, so a change in the filter's arithmetic shows as a level or
// an outcome that differs from this one.
#pragma once

#include "workspace/plane.h"

namespace morvane::oracle {

// A sample: row, column and level.
struct PuntoMuestra {
  int y;
  int x;
  int v;
};

// The first sixteen admitted pixels (damage level below umbral) on the square
// rings of radius 1, 2, ... around (r, c), each ring walked as left, top, right
// and bottom side, every pixel of every side looked at. A ring reaching outside
// the alto x ancho planes ends the walk. Levels are read from niveles. Returns
// how many were found (0 .. 16).
int RecogerAnillos(const Plane& danos, const Plane& niveles, int alto, int ancho, int umbral, int r,
                   int c, PuntoMuestra (&muestras)[16]);

enum class Desenlace {
  Restaurado,   // the system was solved: nivel holds the new level
  SinSolucion,  // a zero column, or the guarded last step failed: the pixel keeps its level
  Excepcion,    // an arithmetic error outside the guarded step ends the command
};

struct ResultadoCubico {
  Desenlace desenlace;
  bool consistente;  // SistemaConsistente after the solve (meaningless on Excepcion)
  int nivel;         // only for Restaurado
};

// Coordinates must lie in 0 .. kLimite - 1, where y^3 * x^3 is formed exactly.
inline constexpr int kLimite = 1 << 21;

// Solves the system of the sixteen samples and evaluates it at (r, c). Each
// term of the polynomial is exact while r^3 * c^3 fits in 64 bits (pictures up
// to 1600 pixels a side); beyond that the term is rounded, as any evaluation
// in extended precision must.
ResultadoCubico ResolverLiteral(const PuntoMuestra (&muestras)[16], int r, int c);

}  // namespace morvane::oracle
