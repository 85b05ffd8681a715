// Large zeroed buffers taken straight from the system's pages, on huge-page
// boundaries and marked for huge pages. On a machine where each page fault is
// dear, a 12-megapixel buffer then costs a handful of faults instead of three
// thousand, and no pass of its own to clear it. Small buffers come from the
// ordinary allocator, cleared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace morvane {

class PageBuffer {
 public:
  PageBuffer() = default;
  // bytes zeroed bytes, 64-byte aligned. Throws std::bad_alloc when the memory
  // cannot be had.
  explicit PageBuffer(std::size_t bytes);

  std::uint8_t* data() { return data_.get(); }
  const std::uint8_t* data() const { return data_.get(); }
  explicit operator bool() const { return data_ != nullptr; }
  void reset() { data_.reset(); }

 private:
  // Gives the buffer back the way it was taken: mapped pages (mapped > 0) or
  // the ordinary allocator.
  struct Release {
    Release() noexcept : mapped(0) {}
    explicit Release(std::size_t bytes) noexcept : mapped(bytes) {}
    std::size_t mapped;
    void operator()(std::uint8_t* p) const;
  };
  std::unique_ptr<std::uint8_t[], Release> data_;
};

}  // namespace morvane
