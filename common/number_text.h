// The general number text of controls and export files.
#pragma once

#include <string>

// value with at most `precision` significant digits (1..17), the point as
// decimal separator. Fixed notation without trailing zeros or a trailing point
// when the value is 0, or when after rounding its magnitude is at least
// 0.00001 and its integer part has at most `precision` digits; otherwise
// scientific notation: mantissa with at most `precision` significant digits,
// "E", a minus sign only for a negative exponent, and at least
// `exponent_digits` exponent digits. Rounding is to nearest on the exact
// decimal value, halves to even. Full precision is (15, 0).
// Examples: (0.00390625, 2, 3) "0.0039"; (123.456, 2, 2) "1.2E02";
// (0.0000012, 2, 3) "1.2E-006". Non-finite values give "NAN", "INF", "-INF".
std::string number_text(double value, int precision, int exponent_digits);

// The text of a colour range value (range edits and range labels): 2
// significant digits, 3 exponent digits. (-5.0) "-5", (0.006) "0.006".
inline std::string range_text(double value) { return number_text(value, 2, 3); }

// Room fixed6_text needs: "%f" of the largest double has 316 characters.
constexpr int kFixed6Room = 330;

// Writes exactly the characters printf("%f", value) writes in the "C" locale
// (six decimals, the exact binary value rounded to nearest with halves to
// even, a minus sign for every value whose sign bit is set, -0.0 and tiny
// negatives included: "-0.000000"; "nan", "-nan", "inf", "-inf" for the
// non-finite values) to `out`, which must have kFixed6Room bytes, and returns
// the end of the text (no terminating zero). Magnitudes below 1.8e13, every
// height and step of the height files, take an integer path that works in
// nanoseconds; larger ones go through std::to_chars, which rounds the same way.
char* fixed6_text(char* out, double value);
