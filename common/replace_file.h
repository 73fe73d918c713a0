// Writing a whole file so that a failure never leaves a half-written one.
#pragma once

#include <string>

// Writes `bytes` to a new file beside `file` and renames it over `file`, so
// readers see either the old or the complete new contents. A symbolic link
// keeps pointing where it did (its target is replaced); an existing file keeps
// its permission bits, and one that is write-protected is not replaced.
// Throws FileError `Cannot create file "<file>"` when any step fails; the old
// contents then stay.
void replace_file(const std::string& file, const std::string& bytes);
