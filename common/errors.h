// The two failures the window side reports to the user: a text that is not a
// number, and a file that cannot be opened, read or written. They escape the
// running event handler and are shown in the standard error box.
#pragma once

#include <stdexcept>

// Message form: 'abc' is not a valid floating point value
struct ConversionError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Message form: Cannot open file "./scnmod.ini"
struct FileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
