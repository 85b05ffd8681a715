// The dilation and erosion written the plain way: for every interior pixel a
// window table is filled (column offset outer, row offset inner) with level
// plus or minus weight, then scanned for its extreme, which is clamped. The
// fast kernels are checked and timed against these.
#pragma once

#include "workspace/plane.h"
#include "workspace/workspace.h"

namespace morvane::oracle {

void DilatarLiteral(const Plane& src, const MatrizB& b, Plane& dst, int alto, int ancho);
void ErosionarLiteral(const Plane& src, const MatrizB& b, Plane& dst, int alto, int ancho);

}  // namespace morvane::oracle
