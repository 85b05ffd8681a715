// Which vector code the kernels run (the morphology kernels and the damage
// scanners of the restoration alike): one choice for the whole program.
#pragma once

namespace morvane {

// Automatic takes the widest the processor has.
enum class KernelPath { Automatic, Portable, Sse2, Avx2 };
// Forces a path (Automatic restores the choice). Returns false, changing
// nothing, when the processor or the build lacks it.
bool SetKernelPath(KernelPath path);
bool KernelPathAvailable(KernelPath path);
// The path in force, never Automatic.
KernelPath ChosenKernelPath();

}  // namespace morvane
