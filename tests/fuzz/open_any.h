// Opening a hostile file: the fuzzing target's body, replayed by the formats test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "toolkit/bmp_reader.h"

namespace morvane {

// The BMP reader's allocation limit, set while it lives.
struct AllocationLimit {
  std::int64_t previous;
  explicit AllocationLimit(std::int64_t bytes) : previous(setBmpAllocationLimit(bytes)) {}
  ~AllocationLimit() { setBmpAllocationLimit(previous); }
};

// Writes the bytes to a file and opens it; returns what broke, or nothing: a
// refused load leaves the picture as it was; an opened one saves, reopens the same
// and saves the same bytes again, opens the same twice whatever the freed heap
// held, and is what decoding a BMP or PNM in memory gives; Qt's limit is kept.
std::string checkOpenAny(const std::uint8_t* data, std::size_t size);

}  // namespace morvane
