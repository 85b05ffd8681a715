// Gray-scale dilation and erosion of a plane by matrix B, the two primitives
// every morphological command is built from.
#pragma once

#include "workspace/plane.h"
#include "workspace/simd.h"
#include "workspace/workspace.h"

namespace morvane {

// For every interior pixel (rows and columns c .. size - c - 1, c = b.n / 2):
//   Dilatar:   dst[i][j] = min(255, max over |l|,|k| <= c of src[i+l][j+k] + B[c+l][c+k])
//   Erosionar: dst[i][j] = max(0,   min over |l|,|k| <= c of src[i+l][j+k] - B[c+l][c+k])
// The weight B[c+l][c+k] belongs to the source pixel l rows below and k columns
// right of the centre; the matrix is used as stored, not reflected. The border
// band of dst keeps its levels, and a plane with no interior is not written at
// all. src and dst are different planes of at least alto x ancho levels. A
// matrix whose side is not odd and at most 9 writes nothing.
void Dilatar(const Plane& src, const MatrizB& b, Plane& dst, int alto, int ancho);
void Erosionar(const Plane& src, const MatrizB& b, Plane& dst, int alto, int ancho);
// Large planes are split into bands of rows over the threads of the budget
// (workspace/parallel.h); the result is the same for any thread count.

}  // namespace morvane
