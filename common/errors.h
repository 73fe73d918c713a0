// The two failures the window side reports to the user: a text that is not a
// number, and a file that cannot be opened, read or written. They escape the
// running event handler and are shown in the standard error box.
#pragma once

#include <stdexcept>
#include <string>

// Message form: 'abc' is not a valid floating point value
struct ConversionError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Message form: Cannot open file "./scnmod.ini"
struct FileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// What could not be done to a file or directory.
enum class FileAction { open, create, read, write };

// The one way file errors are worded: Cannot <action> file "<name>"<detail>.
// `detail` is appended as given (": grid size 0 x 0 out of range", or a hint
// in parentheses after a blank).
FileError file_error(FileAction action, const std::string& name, const std::string& detail = "");

// The same for a directory: Cannot <action> directory "<name>"<detail>.
FileError directory_error(FileAction action, const std::string& name, const std::string& detail = "");
