#include "common/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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

namespace {

// |value| * 10^6 stays below 2^64 for magnitudes below this.
constexpr double kFixed6FastLimit = 1.8e13;
__extension__ typedef unsigned __int128 Wide;
constexpr uint64_t kMicro = 1000000;

// "00" .. "99".
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The decimal digits of n (no leading zeros, "0" for 0) at `out`.
char* integer_digits(char* out, uint64_t n) {
  if (n < 10) {
    *out = static_cast<char>('0' + n);
    return out + 1;
  }
  if (n < 100) {
    std::memcpy(out, kDigitPairs + 2 * n, 2);
    return out + 2;
  }
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  while (count > 0) *out++ = digits[--count];
  return out;
}

// N * 2^-shift rounded to nearest, halves to even, for N > 0, shift > 0.
template <typename Unsigned>
uint64_t rounded_shift(Unsigned scaled, int shift) {
  const Unsigned quotient = scaled >> shift;
  const Unsigned remainder = scaled - (quotient << shift);
  const Unsigned half = static_cast<Unsigned>(1) << (shift - 1);
  auto n = static_cast<uint64_t>(quotient);
  if (remainder > half || (remainder == half && (n & 1) != 0)) ++n;
  return n;
}

// |value| * 10^6 rounded halves to even, exactly, for a finite |value| below
// kFixed6FastLimit given by its bits.
uint64_t exact_micros(uint64_t bits) {
  // |value| = m * 2^e exactly.
  const auto exponent_field = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  const uint64_t m = exponent_field == 0 ? fraction : fraction | (uint64_t{1} << 52);
  const int e = (exponent_field == 0 ? 1 : exponent_field) - 1075;
  // Below the limit e is negative (a normal double of exponent 0 or more is at
  // least 2^52). A float widened to double has 29 trailing zero bits: without
  // them m * 10^6 fits 64 bits. Otherwise m * 10^6 < 2^73 needs 128; a shift
  // of 75 or more leaves less than a half.
  uint64_t n = 0;
  if ((m & ((uint64_t{1} << 29) - 1)) == 0 && -(e + 29) < 64) {
    const int shift = -(e + 29);
    if (shift <= 0)
      n = ((m >> 29) << -shift) * kMicro;  // an integer from 2^23 on: exact
    else
      n = rounded_shift<uint64_t>((m >> 29) * kMicro, shift);
  } else if (-e < 75) {
    n = rounded_shift<Wide>(static_cast<Wide>(m) * kMicro, -e);
  }
  return n;
}

// Adding and removing 1.5 * 2^52 rounds a double below 2^51 to an integer.
constexpr double kRoundingShift = 6755399441055744.0;

}  // namespace

char* fixed6_text(char* out, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const bool negative = (bits >> 63) != 0;
  if (std::isnan(value)) {
    const char* text = negative ? "-nan" : "nan";
    const std::size_t length = std::strlen(text);
    std::memcpy(out, text, length);
    return out + length;
  }
  if (!(std::fabs(value) < kFixed6FastLimit)) {
    // Infinities and large values: to_chars gives "inf" / "-inf" and, like
    // printf, the exact decimal expansion rounded halves to even.
    return std::to_chars(out, out + kFixed6Room, value, std::chars_format::fixed, 6).ptr;
  }
  // N = |value| * 10^6 rounded halves to even. Below 2^51 every half is a
  // double, and the product in doubles, the exact one rounded, lies on the
  // same side of each half as the exact one (or on it): where it is not
  // itself a half, both round to the same integer. Halves, and products of
  // 2^51 and more, are worked out exactly.
  const double scaled = std::fabs(value) * 1e6;
  const double nearest = (scaled + kRoundingShift) - kRoundingShift;  // halves to even
  const double off = scaled - nearest;                                // exact
  const uint64_t n = scaled < 0x1p51 && std::fabs(off) < 0.5 ? static_cast<uint64_t>(nearest) : exact_micros(bits);
  if (negative) *out++ = '-';
  out = integer_digits(out, n / kMicro);
  *out++ = '.';
  const auto decimals = static_cast<uint32_t>(n % kMicro);
  std::memcpy(out, kDigitPairs + 2 * (decimals / 10000), 2);
  std::memcpy(out + 2, kDigitPairs + 2 * (decimals / 100 % 100), 2);
  std::memcpy(out + 4, kDigitPairs + 2 * (decimals % 100), 2);
  return out + 6;
}
