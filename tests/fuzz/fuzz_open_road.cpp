// libFuzzer entry point over the open road (see open_road.h).
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/open_road.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return morvane::CheckOpenRoad(data, size);
}
