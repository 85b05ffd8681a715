// The published impulse-noise filters the quality benchmark compares against,
// written from their descriptions, and the seed recipe of the window's
// defaults run through the program's own commands. Every filter reads the
// noisy picture and returns a new one; borders are mirrored, so border pixels
// are restored too.
#pragma once

#include "bench/quality_metrics.h"

namespace morvane::bench {

// The level at (r, c) with rows and columns mirrored about the edge pixels
// (-1 reads 1, alto reads alto - 2).
int Espejo(int i, int n);
inline std::uint8_t Leer(const Gris& g, int r, int c) {
  return g.at(Espejo(r, g.alto), Espejo(c, g.ancho));
}

// The plain 3 x 3 median of every pixel.
Gris Mediana3x3(const Gris& in);

// Adaptive median filter (Hwang & Haddad 1995): the window grows from 3 x 3
// while its median is one of its extremes, up to smax x smax; a centre that is
// not an extreme of the final window is kept, otherwise the median replaces it.
Gris MedianaAdaptativa(const Gris& in, int smax = 39);

// Adaptive weighted mean filter (Zhang & Li, IEEE SPL 2014): the window grows
// until its minimum and maximum stop changing and it holds a level other than
// them; a centre strictly between the two is kept, otherwise it takes the mean
// of the window's levels that are neither the minimum nor the maximum.
Gris MediaPonderadaAdaptativa(const Gris& in, int wmax = 19);

// Different applied median filter (Erkan, Gokrem & Enginoglu 2018): a pixel at
// 0 or 255 takes the median of the levels other than 0 and 255 in the smallest
// window around it that holds any; levels are read from the noisy picture.
Gris MedianaAplicadaDiferente(const Gris& in);

// Switching filter with the rank-ordered absolute differences detector
// (Garnett, Huegerich, Chui & He 2005): ROAD4 is the sum of the four smallest
// absolute differences between a pixel and its eight neighbours. Pixels whose
// ROAD4 exceeds the threshold are replaced by the mean of their 5 x 5
// neighbours weighted by the detector's impulse weight exp(-ROAD4^2 / 2 40^2)
// and a spatial Gaussian of sigma 1; three rounds with thresholds 80, 60, 45.
Gris FiltroRoad(const Gris& in);

// The seed recipe at the window's defaults: matrix 3 x 3 of zeros, Puntos
// Negros and Restaurar (mean 3 x 3, Umbral 50), "<<", Puntos Blancos and
// Restaurar, through the program's own commands.
Gris RecetaInicial(const Gris& in);

}  // namespace morvane::bench
