// The low-pass filter by cubic interpolation: every damaged pixel gets the value
// at its own position of the bicubic polynomial fitted through the first sixteen
// admitted pixels met on square rings around it (cubic_samples.h), the 16 x 16
// system being solved by Gaussian elimination in single precision
// (cubic_solver.h).
#pragma once

#include <cstdint>
#include <functional>

#include "restoration/cubic_solver.h"
#include "restoration/frame.h"
#include "workspace/workspace.h"

namespace morvane {

// The margin the filter never restores.
inline constexpr int kMargenCubico = 7;

// Solves one damaged pixel: NivelInterpolado, or a stand-in with its contract.
using Resolutor = std::function<bool(const Muestras&, int r, int c, bool& sistemaConsistente,
                                     std::uint8_t& nivel)>;

// The whole run: restoration frame with margin kMargenCubico and threshold
// p.umbral. The scanned rows are worked out (on the threads of the budget,
// workspace/parallel.h, when there is enough damaged work) and handed over in
// scan order: Auxiliar1 written, the row drawn, the bar stepped. Leaves
// SistemaConsistente as the last solved pixel in scan order left it. An
// exception of a solve goes out of the call as a single-threaded run would
// raise it: Auxiliar1 with the levels restored before that pixel, the rows
// before it drawn and its own row up to the column before it, ImagenFinal
// untouched, the bar not reset, the view not shown. resolutor empty:
// NivelInterpolado.
void FiltroInterpolacionCubica(Workspace& ws, ResultView& view, const ParametrosFiltro& p,
                               const Resolutor& resolutor = {});

}  // namespace morvane
