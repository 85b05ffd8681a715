// The clipped difference of two planes, computed and drawn row by row.
#pragma once

#include "workspace/workspace.h"

namespace morvane {

// For every row from the top: out[j] := max(0, a[j] - b[j]) over the whole
// row, then the row is drawn and the progress stepped; the bar is reset at
// the end. out may be a or b.
void RestarPlanos(const Plane& a, const Plane& b, Plane& out, int alto, int ancho, RowSink& sink);

}  // namespace morvane
