#include "common/round_trip_number.h"

#include <charconv>
#include <cmath>
#include <system_error>

std::string round_trip_text(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buffer[32];  // the longest shortest form, "-2.2250738585072014e-308", has 24
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::optional<double> round_trip_number(std::string_view text) {
  if (text.empty()) return std::nullopt;
  // from_chars reads "inf" and "nan" as well; a number starts with a digit,
  // a point or a minus sign followed by one of them.
  const std::size_t first = text[0] == '-' ? 1 : 0;
  if (first >= text.size() || !(text[first] == '.' || (text[first] >= '0' && text[first] <= '9')))
    return std::nullopt;
  double value = 0.0;
  const char* const end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}
