#include "workspace/simd.h"

#include <atomic>

namespace morvane {

namespace {

std::atomic<int> gPath{static_cast<int>(KernelPath::Automatic)};

bool HasAvx2() {
#if defined(__x86_64__)
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
#else
  return false;
#endif
}

}  // namespace

bool KernelPathAvailable(KernelPath path) {
  switch (path) {
    case KernelPath::Automatic:
    case KernelPath::Portable:
      return true;
    case KernelPath::Sse2:
#if defined(__x86_64__)
      return true;
#else
      return false;
#endif
    case KernelPath::Avx2:
      return HasAvx2();
  }
  return false;
}

bool SetKernelPath(KernelPath path) {
  if (!KernelPathAvailable(path)) return false;
  gPath.store(static_cast<int>(path), std::memory_order_relaxed);
  return true;
}

KernelPath ChosenKernelPath() {
  const auto path = static_cast<KernelPath>(gPath.load(std::memory_order_relaxed));
  if (path != KernelPath::Automatic) return path;
#if defined(__x86_64__)
  return HasAvx2() ? KernelPath::Avx2 : KernelPath::Sse2;
#else
  return KernelPath::Portable;
#endif
}

}  // namespace morvane
