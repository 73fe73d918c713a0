// A small INI ("private profile") reader and writer with case-insensitive
// section and key names.
#pragma once

#include <string>

// The value text of `key` in `section` of `fileName`, or `fallback` when the
// file, the section or the key is missing. At most 255 characters are kept.
std::string profile_read(const char* fileName, const char* section,
                         const char* key, const char* fallback);
// Creates or replaces one key, keeping every other line. False when the file
// cannot be written.
bool profile_write(const char* fileName, const char* section,
                   const char* key, const char* value);
