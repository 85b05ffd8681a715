// libFuzzer entry point: opening any file (see open_any.h).
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/open_any.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string broken = morvane::checkOpenAny(data, size);
  if (!broken.empty()) {
    std::fprintf(stderr, "open any: %s\n", broken.c_str());
    std::abort();
  }
  return 0;
}
