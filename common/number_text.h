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
