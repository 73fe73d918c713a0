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

// A settings file read strictly (the fringe tool, studies): a value that is
// missing or not a number, or a missing section, named with the file, the key
// and the text found. Message form: image.ini: Radius = "abc" is not a number
// A ConversionError, so that whoever shows conversion errors shows it.
struct SettingsError : ConversionError {
  using ConversionError::ConversionError;
};

// Message form: Cannot open file "./scnmod.ini"
struct FileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A measurement not to be believed, refused by the tool (exit status 4), the
// Python module (fringe.MeasurementRefused) and the window: a picture without
// fringes, refused before the engine runs, or one of which too little of the
// evaluation mask was measured (runs/quality_check.h). Message form:
// ./sim00.bmp: no fringes: the strongest modulation of a cell is 0 grey levels, ...
struct MeasurementRefused : std::runtime_error {
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

// A settings file as the messages name it: the name without a leading "./"
// ("./image.ini" gives "image.ini"), any other name as given.
std::string settings_file_label(const std::string& file);

// The one way a bad value of a settings file is worded:
// <label>: <key> = "<text>" <what>, e.g. image.ini: Radius = "abc" is not a
// number; the label is settings_file_label of `file`.
SettingsError settings_value_error(const std::string& file, const std::string& key, const std::string& text,
                                   const std::string& what);

// <label>: <what>, e.g. image.ini: Radius is missing.
SettingsError settings_file_error(const std::string& file, const std::string& what);
