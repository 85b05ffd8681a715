// libFuzzer entry point: opening any file (see open_any.h).
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/open_any.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return morvane::CheckOpenAny(data, size);
}
