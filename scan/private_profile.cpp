// INI files as the engine's parameter file uses them:
//
//   [ScanParameter]
//   NFilt=2
//   LambdaF=10.000000
//
// A line whose first non-blank character is '[' opens a section named by the
// text up to ']' (or the line end). Inside a section, a line with an '=' is a
// key line: the key is the text before its first '=', the value the text
// after it, both without surrounding blanks (spaces and tabs). Other lines
// (blank lines, comments, lines before the first section) are kept but never
// matched. Section and key names are compared without regard to ASCII case.
// A key that occurs more than once counts at its first occurrence, also
// across repeated sections of the same name.
//
// Lines end in LF or CR LF; a UTF-8 byte order mark at the very start is
// ignored for matching and kept in the file.
#include "private_profile.h"

#include "common/read_file.h"
#include "common/replace_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t kMaxValueChars = 255;  // the value buffer holds 256 with its terminator

struct ProfileLine {
  std::size_t start = 0;  // first byte of the line
  std::size_t end = 0;    // one past its last byte, line end excluded
  std::size_t next = 0;   // first byte of the next line (after LF or CR LF)
  bool is_section = false;
  bool is_key = false;
  std::string_view name;        // section name or key, blanks trimmed
  std::size_t value_start = 0;  // key lines: first byte after the '='
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim_blanks(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

// Splits the file text into classified lines; the views point into `text`.
std::vector<ProfileLine> parse_lines(const std::string& text) {
  std::vector<ProfileLine> lines;
  std::size_t pos = 0;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
  const std::string_view all(text);
  bool first = true;
  while (pos < text.size()) {
    ProfileLine line;
    line.start = first ? 0 : pos;  // the byte order mark stays with line 0
    first = false;
    const std::size_t lf = text.find('\n', pos);
    line.next = (lf == std::string::npos) ? text.size() : lf + 1;
    line.end = (lf == std::string::npos) ? text.size() : lf;
    if (line.end > pos && text[line.end - 1] == '\r') --line.end;

    const std::string_view content = all.substr(pos, line.end - pos);
    const std::string_view body = trim_blanks(content);
    if (!body.empty() && body.front() == '[') {
      const std::size_t close = body.find(']');
      line.is_section = true;
      line.name = trim_blanks(body.substr(1, close == std::string_view::npos ? body.npos : close - 1));
    } else if (const std::size_t equals = content.find('='); equals != std::string_view::npos) {
      line.is_key = true;
      line.name = trim_blanks(content.substr(0, equals));
      line.value_start = pos + equals + 1;
    }
    lines.push_back(line);
    pos = line.next;
  }
  return lines;
}

// Where a key stands in the file, or where it would go.
struct KeyPlace {
  std::optional<std::size_t> key_line;     // the key's line
  std::optional<std::size_t> section_end;  // last non-blank line of the first matching section
};

KeyPlace find_key(const std::vector<ProfileLine>& lines, const std::string& text,
                  std::string_view section, std::string_view key) {
  KeyPlace place;
  bool inside = false;
  bool in_first_section = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const ProfileLine& line = lines[i];
    if (line.is_section) {
      const bool first_match = !place.section_end && same_name(line.name, section);
      inside = same_name(line.name, section);
      in_first_section = first_match;
      if (first_match) place.section_end = i;
      continue;
    }
    if (!inside) continue;
    if (line.is_key && same_name(line.name, key)) {
      place.key_line = i;
      return place;
    }
    const bool blank =
        trim_blanks(std::string_view(text).substr(line.start, line.end - line.start)).empty();
    if (in_first_section && !blank) place.section_end = i;
  }
  return place;
}

std::string cut_value(std::string_view value) {
  return std::string(value.substr(0, kMaxValueChars));
}

// Names and values that would break the line structure of the file.
bool is_safe_text(std::string_view text, std::string_view forbidden) {
  return text.find_first_of(forbidden) == std::string_view::npos;
}

}  // namespace

// The lines' views point into `text`, which stays where it is: the record is
// made once and only shared.
struct ProfileFileText::Lines {
  explicit Lines(std::string file_text) : text(std::move(file_text)), lines(parse_lines(text)) {}
  const std::string text;
  const std::vector<ProfileLine> lines;
};

ProfileFileText::ProfileFileText(const char* fileName) {
  std::string text;
  if (fileName != nullptr && read_file(fileName, text) == FileRead::done)
    lines_ = std::make_shared<const Lines>(std::move(text));
}

ProfileFileText ProfileFileText::of_text(std::string text) {
  ProfileFileText file;
  file.lines_ = std::make_shared<const Lines>(std::move(text));
  return file;
}

std::string ProfileFileText::value(const char* section, const char* key, const char* fallback) const {
  const std::string fallback_text = cut_value(fallback != nullptr ? fallback : "");
  if (!lines_ || section == nullptr || key == nullptr) return fallback_text;
  const std::string& text = lines_->text;
  const std::vector<ProfileLine>& lines = lines_->lines;
  const KeyPlace place = find_key(lines, text, trim_blanks(section), trim_blanks(key));
  if (!place.key_line) return fallback_text;
  const ProfileLine& line = lines[*place.key_line];
  return cut_value(
      trim_blanks(std::string_view(text).substr(line.value_start, line.end - line.value_start)));
}

std::string profile_read(const char* fileName, const char* section, const char* key,
                         const char* fallback) {
  return ProfileFileText(fileName).value(section, key, fallback);
}

namespace {

// profile_write's checks of its arguments: a line break in any of them, a
// ']' in the section or an '=' in the key would write lines that read back
// as something else.
bool writable_key(const char* section, const char* key, const char* value) {
  if (section == nullptr || key == nullptr || value == nullptr) return false;
  const std::string_view section_name = trim_blanks(section);
  const std::string_view key_name = trim_blanks(key);
  if (section_name.empty() || key_name.empty()) return false;
  return is_safe_text(section_name, "\r\n]") && is_safe_text(key_name, "\r\n=") && is_safe_text(value, "\r\n");
}

// The text with the key put in; the arguments are writable.
std::string with_key(const std::string& text, const char* section, const char* key, const char* value) {
  const std::string_view section_name = trim_blanks(section);
  const std::string_view key_name = trim_blanks(key);
  const std::vector<ProfileLine> lines = parse_lines(text);
  const KeyPlace place = find_key(lines, text, section_name, key_name);
  const std::string crlf = "\r\n";
  if (place.key_line) {
    // Keep the line up to and including its '=' and its own line end.
    const ProfileLine& line = lines[*place.key_line];
    return text.substr(0, line.value_start) + value + text.substr(line.end);
  }
  const std::string new_key = std::string(key_name) + "=" + value + crlf;
  std::size_t at = text.size();
  std::string insert;
  if (place.section_end) {
    at = lines[*place.section_end].next;
    insert = new_key;
  } else {
    insert = "[" + std::string(section_name) + "]" + crlf + new_key;
  }
  // A last line without a line end gets one before anything follows it.
  if (at > 0 && at == text.size() && text.back() != '\n') insert = crlf + insert;
  return text.substr(0, at) + insert + text.substr(at);
}

}  // namespace

std::optional<std::string> profile_text_with(const std::string& text, const char* section, const char* key,
                                             const char* value) {
  if (!writable_key(section, key, value)) return std::nullopt;
  return with_key(text, section, key, value);
}

bool profile_write(const char* fileName, const char* section, const char* key,
                   const char* value) {
  if (fileName == nullptr || !writable_key(section, key, value)) return false;

  // The lines of an existing file are kept; one we may not write, or cannot
  // read, is left alone rather than replaced by a fresh one. A device or FIFO
  // under the name has no lines to keep (reading a FIFO would wait for a
  // writer): the new key is written to it in place.
  std::string text;
  struct stat info {};
  if (::stat(fileName, &info) == 0) {
    if (::access(fileName, W_OK) != 0) return false;
    if (S_ISREG(info.st_mode) && read_file(fileName, text) != FileRead::done) return false;
  } else if (errno != ENOENT) {
    return false;
  }
  return write_file_whole(fileName, with_key(text, section, key, value));
}
