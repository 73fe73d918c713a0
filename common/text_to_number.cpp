#include "common/text_to_number.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>

#include "common/errors.h"

namespace {

// Blanks, tabs and line ends around a typed number are tolerated.
std::string_view trimmed(std::string_view text) {
  const auto is_blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

// from_chars takes no '+' and would take "inf", "nan" and a second sign after
// a '+': strip one leading sign ourselves and allow only digits after it.
bool split_sign(std::string_view& text, bool& negative) {
  negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  return !text.empty() && ((text.front() >= '0' && text.front() <= '9') || text.front() == '.');
}

// Decimal exponent of the leading significant digit of an unsigned number
// text with at least one non-zero digit: "0.00012e-300" gives -304, "25e3"
// gives 4. Tells an out-of-range text that overflowed from one that
// underflowed; the explicit exponent saturates far outside the double range.
long long leading_exponent(std::string_view text) {
  const std::size_t e_pos = std::min(text.find_first_of("eE"), text.size());
  const std::string_view mantissa = text.substr(0, e_pos);
  long long place = static_cast<long long>(std::min(mantissa.find('.'), mantissa.size())) - 1;
  long long leading = 0;
  for (char c : mantissa) {
    if (c == '.') continue;
    if (c != '0') {
      leading = place;
      break;
    }
    --place;
  }
  long long explicit_exponent = 0;
  bool negative = false;
  for (char c : text.substr(std::min(e_pos + 1, text.size()))) {
    if (c == '-') negative = true;
    if (c < '0' || c > '9') continue;
    explicit_exponent = std::min(explicit_exponent * 10 + (c - '0'), 1000000LL);
  }
  return leading + (negative ? -explicit_exponent : explicit_exponent);
}

}  // namespace

std::optional<double> double_from_text(std::string_view text) {
  std::string_view body = trimmed(text);
  bool negative = false;
  if (!split_sign(body, negative)) return std::nullopt;
  double value = 0.0;
  const auto result =
      std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
  if (result.ptr != body.data() + body.size()) return std::nullopt;
  if (result.ec == std::errc::result_out_of_range) {
    if (leading_exponent(body) > 0) return std::nullopt;
    value = 0.0;
  } else if (result.ec != std::errc()) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

std::optional<int> int_from_text(std::string_view text) {
  std::string_view body = trimmed(text);
  bool negative = false;
  if (!split_sign(body, negative) || body.front() == '.') return std::nullopt;
  // Parse with the sign attached so that the int minimum stays in range.
  const std::string signed_text = (negative ? "-" : "") + std::string(body);
  int value = 0;
  const auto result =
      std::from_chars(signed_text.data(), signed_text.data() + signed_text.size(), value);
  if (result.ec != std::errc() || result.ptr != signed_text.data() + signed_text.size()) return std::nullopt;
  return value;
}

double text_to_double(const std::string& text) {
  const std::optional<double> value = double_from_text(text);
  if (!value) throw ConversionError("'" + text + "' is not a valid floating point value");
  return *value;
}

int text_to_int(const std::string& text) {
  const std::optional<int> value = int_from_text(text);
  if (!value) throw ConversionError("'" + text + "' is not a valid integer value");
  return *value;
}
