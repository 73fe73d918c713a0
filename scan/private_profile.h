// A small INI ("private profile") reader and writer with case-insensitive
// section and key names. Keys and values are taken without the blanks around
// them; lines may end in LF or CR LF.
#pragma once

#include <memory>
#include <optional>
#include <string>

// The value text of `key` in `section` of `fileName`, or `fallback` when the
// file, the section or the key is missing (a null name counts as missing).
// At most the first 255 characters are kept.
std::string profile_read(const char* fileName, const char* section,
                         const char* key, const char* fallback);
// The same for several keys of one file, which is read once: value() gives
// what profile_read gives, for the file as it was when this was made.
class ProfileFileText {
 public:
  explicit ProfileFileText(const char* fileName);
  // The text a file would hold, without the file.
  static ProfileFileText of_text(std::string text);
  std::string value(const char* section, const char* key, const char* fallback) const;

 private:
  struct Lines;  // the text and its lines, split once for all the keys asked
  ProfileFileText() = default;
  std::shared_ptr<const Lines> lines_;  // none: no name, or the file could not be read
};
// Replaces the value of an existing key, or appends the key at the end of its
// section, or the section at the end of the file, creating the file if
// needed; every other line stays byte for byte and new lines end in CR LF.
// The file is replaced whole (common/replace_file.h), so a failure leaves it
// as it was. False when nothing was written: null
// arguments, names or values with a line break (or ']' in the section, '='
// in the key), a file we may not write, or a failed write.
bool profile_write(const char* fileName, const char* section,
                   const char* key, const char* value);
// The text profile_write would write for a file that holds `text` (the same
// lines kept and added), without the file; none where it would write nothing
// for its arguments.
std::optional<std::string> profile_text_with(const std::string& text, const char* section, const char* key,
                                             const char* value);
