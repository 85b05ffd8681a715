// Text <-> integer conversions of the edit boxes and grids.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace morvane {

// An optional sign and decimal digits within the signed 32-bit range, blanks
// around allowed. Anything else, the empty text included, gives nothing.
std::optional<std::int32_t> TryStrToInt(const QString& text);
// As TryStrToInt, raising ToolkitError on a text that does not convert.
std::int32_t StrToInt(const QString& text);
QString IntToStr(std::int32_t value);

}  // namespace morvane
