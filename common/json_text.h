// The pieces of the JSON the tool, the Python module and the studies write:
// numbers other programs read back exactly, and strings.
#pragma once

#include <string>
#include <string_view>

// The shortest text that reads back to the same double (round_trip_text):
// 0.1 gives "0.1", 17.0 "17"; null when the value is not finite, which JSON
// has no number for.
std::string json_number(double value);

// The text in double quotes: '"' and '\' escaped by a backslash, control
// characters below 0x20 as \u00XX; every other byte as it is (UTF-8 passes
// through unchanged).
std::string json_string(std::string_view text);
