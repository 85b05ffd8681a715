#include "workspace/plane.h"

#include <cstring>
#include <new>

namespace morvane {

namespace {
constexpr std::ptrdiff_t kRowAlignment = 64;
}  // namespace

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
  buffer_ = PageBuffer(bytes);
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
