// Text to signed 32-bit integer, as every edit box and grid cell converts it:
// blanks around, an optional sign, decimal digits, within range. Nothing else.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvane {

std::optional<std::int32_t> ParseInt32(std::string_view text);
std::string FormatInt32(std::int32_t value);

}  // namespace morvane
