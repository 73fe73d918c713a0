#include "common/json_text.h"

#include <cmath>
#include <cstdio>

#include "common/round_trip_number.h"

std::string json_number(double value) { return std::isfinite(value) ? round_trip_text(value) : "null"; }

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}
