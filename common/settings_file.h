// Settings files as lists of text lines: "key=value" lines and section lines
// such as "[ScanParameter]". The window side reads and writes them whole.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// All lines of a text file without their line ends; lines may end in CR LF or
// LF, and a last line without a line end counts too. Throws FileError
// `Cannot open file "<file>"` when the file cannot be opened or read.
std::vector<std::string> read_lines(const std::string& file);
// The lines read_lines gives for a file holding `text`.
std::vector<std::string> text_lines(std::string_view text);

// The value of `key`: everything after the first "=" of the first line whose
// text before that "=" equals `key` without regard to ASCII case. The value
// is not trimmed; lines without "=" are skipped; a missing key gives "".
std::string settings_value(const std::vector<std::string>& lines, const std::string& key);

// Sets the value of `key` where settings_value would read it: the first line
// whose text before its first "=" equals `key` without regard to ASCII case
// keeps that key text and gets `value`; without such a line, "key=value" is
// appended (after the last line, so it belongs to the file's last section).
void set_settings_value(std::vector<std::string>& lines, const std::string& key,
                        const std::string& value);

// Writes each line followed by CR LF, replacing the file only once the whole
// text is written. Throws FileError `Cannot create file "<file>"`.
void write_lines(const std::string& file, const std::vector<std::string>& lines);
// The text write_lines writes: what a reader of the file would read, for
// callers that hold the lines in memory.
std::string lines_text(const std::vector<std::string>& lines);
