#include "common/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace {

// Fixed notation for magnitudes from 10^-5 on (decimal exponent after rounding).
constexpr int kSmallestFixedExponent = -5;
// A double never needs more than 17 significant digits to be told apart.
constexpr int kMaxPrecision = 17;
// Exponent padding beyond this cannot be meant; it only guards the allocation.
constexpr int kMaxExponentDigits = 32;

}  // namespace

std::string number_text(double value, int precision, int exponent_digits) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0.0) return "0";  // also -0.0
  precision = std::clamp(precision, 1, kMaxPrecision);
  exponent_digits = std::clamp(exponent_digits, 0, kMaxExponentDigits);

  // The exact decimal value rounded to `precision` digits: "-d.ddde-05".
  // to_chars does not depend on the C locale, unlike printf.
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::scientific, precision - 1);
  const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  const std::size_t e_pos = text.find('e');
  const int exponent = std::atoi(std::string(text.substr(e_pos + 1)).c_str());

  std::string digits;  // significant digits, trailing zeros dropped
  for (char c : text.substr(0, e_pos)) {
    if (c >= '0' && c <= '9') digits += c;
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = value < 0 ? "-" : "";
  const int count = static_cast<int>(digits.size());
  if (exponent >= kSmallestFixedExponent && exponent < precision) {
    if (exponent >= 0) {
      const int integer_digits = exponent + 1;
      if (count <= integer_digits) {
        out += digits;
        out.append(static_cast<std::size_t>(integer_digits - count), '0');
      } else {
        out += digits.substr(0, static_cast<std::size_t>(integer_digits));
        out += '.';
        out += digits.substr(static_cast<std::size_t>(integer_digits));
      }
    } else {
      out += "0.";
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out += digits;
    }
    return out;
  }

  out += digits[0];
  if (count > 1) {
    out += '.';
    out += digits.substr(1);
  }
  out += 'E';
  if (exponent < 0) out += '-';
  const std::string magnitude = std::to_string(std::abs(exponent));
  if (static_cast<int>(magnitude.size()) < exponent_digits) {
    out.append(static_cast<std::size_t>(exponent_digits) - magnitude.size(), '0');
  }
  out += magnitude;
  return out;
}
