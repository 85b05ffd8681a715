#include "text/int_text.h"

namespace morvane {

namespace {
bool isBlank(char ch) {
  return ch == ' ' || ch == '\t';
}
}  // namespace

std::optional<std::int32_t> ParseInt32(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  if (begin == end) return std::nullopt;
  bool negative = false;
  if (text[begin] == '+' || text[begin] == '-') {
    negative = text[begin] == '-';
    ++begin;
  }
  if (begin == end) return std::nullopt;
  std::int64_t value = 0;
  for (std::size_t i = begin; i < end; ++i) {
    const char ch = text[i];
    if (ch < '0' || ch > '9') return std::nullopt;
    value = value * 10 + (ch - '0');
    if (value > 2147483648LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::string FormatInt32(std::int32_t value) {
  return std::to_string(value);
}

}  // namespace morvane
