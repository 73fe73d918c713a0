// Numbers written for other programs to read back exactly: study tables and
// their JSON files. Independent of the C locale: the point is always the
// decimal separator.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The shortest text that reads back to the same double: 0.1 gives "0.1",
// 0.00001 "1e-05", 17.0 "17", -0.0 "-0", 0.1 + 0.2 "0.30000000000000004".
// Fixed notation unless scientific is shorter. Non-finite values have no
// such text; they give "nan", "inf" and "-inf".
std::string round_trip_text(double value);

// The double of a whole text in plain or scientific notation ("0.5", ".5",
// "-2", "1e-05"); nullopt for anything else: empty text, blanks, a leading
// "+", trailing characters, "nan", "inf" and values beyond the double range.
// Reads every text round_trip_text writes for a finite value back to the
// same double.
std::optional<double> round_trip_number(std::string_view text);
