#include "workspace/plane.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace morvane {

namespace {

constexpr std::ptrdiff_t kRowAlignment = 64;
// Planes at least this large take whole pages straight from the system.
constexpr std::size_t kMappedFrom = std::size_t{4} << 20;
constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Fresh pages from the system, already zero, on a huge-page boundary and
// marked for huge pages: a 12-megapixel plane then costs a handful of page
// faults instead of three thousand, and no pass of its own to clear it.
// Returns nullptr when the system refuses; mapped receives the length to unmap.
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

void Plane::Release::operator()(std::uint8_t* p) const {
  if (mappedBytes > 0)
    munmap(p, mappedBytes);
  else
    std::free(p);
}

Plane::Plane(int rows, int cols) {
  if (rows < 0 || cols < 0) throw std::bad_alloc();
  const std::ptrdiff_t stride =
      (static_cast<std::ptrdiff_t>(cols) + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
  if (rows != 0 &&
      static_cast<std::size_t>(stride) > (SIZE_MAX - 64) / static_cast<std::size_t>(rows))
    throw std::bad_alloc();
  // A few bytes of slack past the last row let vector kernels read a whole
  // register at the end of a row without leaving the buffer.
  const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(rows) +
                            static_cast<std::size_t>(kRowAlignment);
  if (bytes >= kMappedFrom) {
    std::size_t mapped = 0;
    std::uint8_t* p = MapZeroed(bytes, mapped);
    if (p == nullptr) throw std::bad_alloc();
    buffer_ = std::unique_ptr<std::uint8_t[], Release>(p, Release{mapped});
  } else {
    void* p = std::aligned_alloc(kRowAlignment, bytes);
    if (p == nullptr) throw std::bad_alloc();
    std::memset(p, 0, bytes);
    buffer_ = std::unique_ptr<std::uint8_t[], Release>(static_cast<std::uint8_t*>(p));
  }
  rows_ = rows;
  cols_ = cols;
  stride_ = stride;
}

void Plane::fill(std::uint8_t level) {
  for (int r = 0; r < rows_; ++r) std::memset((*this)[r], level, static_cast<std::size_t>(cols_));
}

void Plane::release() {
  buffer_.reset();
  rows_ = cols_ = 0;
  stride_ = 0;
}

void CopiarPlano(const Plane& source, Plane& destination) {
  const int rows = source.rows() < destination.rows() ? source.rows() : destination.rows();
  const int cols = source.cols() < destination.cols() ? source.cols() : destination.cols();
  if (rows > 0 && source.stride() == destination.stride() && source.cols() == destination.cols()) {
    // Same layout: the rows and their padding in one copy.
    std::memcpy(destination[0], source[0],
                static_cast<std::size_t>(source.stride()) * static_cast<std::size_t>(rows));
    return;
  }
  for (int r = 0; r < rows; ++r)
    std::memcpy(destination[r], source[r], static_cast<std::size_t>(cols));
}

void LiberarPlano(Plane& plane) {
  plane.release();
}

}  // namespace morvane
