// How many threads one operation (the morphology kernels, the cubic filter) may
// split its work over. Process-wide: a program that runs several pictures at
// once sets 1 so the pictures, not the operations, share the processors.
#pragma once

#include <atomic>
#include <thread>

namespace morvane {

inline std::atomic<int> gHilosPorOperacion{0};

// 0 (the default) gives one thread per processor; n > 0 at most n.
inline void FijarHilosPorOperacion(int n) {
  gHilosPorOperacion.store(n < 0 ? 0 : n, std::memory_order_relaxed);
}

inline int HilosPorOperacion() {
  const int n = gHilosPorOperacion.load(std::memory_order_relaxed);
  if (n > 0) return n;
  const int procesadores = static_cast<int>(std::thread::hardware_concurrency());
  return procesadores > 0 ? procesadores : 1;
}

}  // namespace morvane
