// Plane: a gray-level image of rows x columns unsigned 8-bit levels, indexed
// [row][column]. One contiguous buffer; every row starts on a 64-byte boundary,
// so no row shares its first cache line with the row before. The kernels load
// unaligned and do not rely on it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "workspace/pages.h"

namespace morvane {

class Plane {
 public:
  Plane() = default;
  // Allocates rows x cols levels, all 0. Throws std::bad_alloc when the memory
  // cannot be had.
  Plane(int rows, int cols);

  Plane(Plane&&) noexcept = default;
  Plane& operator=(Plane&&) noexcept = default;
  Plane(const Plane&) = delete;
  Plane& operator=(const Plane&) = delete;

  bool exists() const { return static_cast<bool>(buffer_); }
  int rows() const { return rows_; }
  int cols() const { return cols_; }
  std::ptrdiff_t stride() const { return stride_; }

  std::uint8_t* operator[](int row) { return buffer_.data() + row * stride_; }
  const std::uint8_t* operator[](int row) const { return buffer_.data() + row * stride_; }

  void fill(std::uint8_t level);
  void release();

 private:
  PageBuffer buffer_;
  int rows_ = 0;
  int cols_ = 0;
  std::ptrdiff_t stride_ = 0;
};

// Copies every level of source into destination, row by row. Both planes must
// exist with the same size.
void CopiarPlano(const Plane& source, Plane& destination);

// Gives a plane's memory back. A plane that does not exist is left alone.
void LiberarPlano(Plane& plane);

}  // namespace morvane
