// Numbers typed by the user into edit boxes. Both readers ignore the C
// locale: the decimal separator is always the point.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Accepts what a user types for a real number: blanks around it, an optional
// sign, digits with an optional point, an optional exponent ("1e-3", ".5",
// "5.", "+2E02"). Anything else, including empty text, "inf", "nan" and values
// beyond the double range, throws ConversionError
// "'<text>' is not a valid floating point value". A value too small for a
// double reads as zero of its sign.
double text_to_double(const std::string& text);

// An optional sign and decimal digits, blanks around them tolerated; anything
// else or a value outside the int range throws ConversionError
// "'<text>' is not a valid integer value".
int text_to_int(const std::string& text);

// The same two readers without the exception, for callers that try many
// texts (the settings files' fuzz target converts every line): no value for
// the texts the readers above refuse.
std::optional<double> double_from_text(std::string_view text);
std::optional<int> int_from_text(std::string_view text);
