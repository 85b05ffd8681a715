#include "workspace/pages.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace morvane {

namespace {

// Buffers at least this large take whole pages straight from the system.
constexpr std::size_t kMappedFrom = std::size_t{4} << 20;
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kAlignment = 64;

// Fresh pages, already zero, on a huge-page boundary. Returns nullptr when the
// system refuses; mapped receives the length to unmap.
std::uint8_t* MapZeroed(std::size_t bytes, std::size_t& mapped) {
  mapped = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  if (mapped < bytes) return nullptr;
  const std::size_t asked = mapped + kHugePage;
  if (asked < mapped) return nullptr;
  void* p = mmap(nullptr, asked, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  // The slack before and after the aligned block goes straight back.
  if (aligned > start) munmap(p, aligned - start);
  const std::size_t tail = asked - (aligned - start) - mapped;
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + mapped), tail);
  madvise(reinterpret_cast<void*>(aligned), mapped, MADV_HUGEPAGE);
  return reinterpret_cast<std::uint8_t*>(aligned);
}

}  // namespace

PageBuffer::PageBuffer(std::size_t bytes) {
  if (bytes >= kMappedFrom) {
    std::size_t mapped = 0;
    std::uint8_t* p = MapZeroed(bytes, mapped);
    if (p == nullptr) throw std::bad_alloc();
    data_ = std::unique_ptr<std::uint8_t[], Release>(p, Release(mapped));
    return;
  }
  const std::size_t rounded = (bytes + kAlignment - 1) / kAlignment * kAlignment;
  void* p = std::aligned_alloc(kAlignment, rounded == 0 ? kAlignment : rounded);
  if (p == nullptr) throw std::bad_alloc();
  std::memset(p, 0, rounded);
  data_ = std::unique_ptr<std::uint8_t[], Release>(static_cast<std::uint8_t*>(p));
}

void PageBuffer::Release::operator()(std::uint8_t* p) const {
  if (mapped > 0)
    munmap(p, mapped);
  else
    std::free(p);
}

}  // namespace morvane
