#include "common/settings_file.h"

#include "common/errors.h"
#include "common/read_file.h"
#include "common/replace_file.h"

namespace {

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_ignoring_case(const std::string& a, const std::string& b, std::size_t length_of_a) {
  if (length_of_a != b.size()) return false;
  for (std::size_t i = 0; i < length_of_a; ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> read_lines(const std::string& file) {
  std::string text;
  // A file that opens but cannot be read (a directory, say) is reported as
  // one that cannot be opened, as the dialogs have always said.
  if (read_file(file.c_str(), text) != FileRead::done) throw file_error(FileAction::open, file);
  return text_lines(text);
}

std::vector<std::string> text_lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    if (end > start && text[end - 1] == '\r') --end;
    lines.emplace_back(text.substr(start, end - start));
    start = next;
  }
  return lines;
}

std::string settings_value(const std::vector<std::string>& lines, const std::string& key) {
  for (const std::string& line : lines) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    if (equal_ignoring_case(line, key, equals)) return line.substr(equals + 1);
  }
  return "";
}

void set_settings_value(std::vector<std::string>& lines, const std::string& key,
                        const std::string& value) {
  for (std::string& line : lines) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos || !equal_ignoring_case(line, key, equals)) continue;
    line.replace(equals + 1, std::string::npos, value);
    return;
  }
  lines.push_back(key + "=" + value);
}

std::string lines_text(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void write_lines(const std::string& file, const std::vector<std::string>& lines) {
  replace_file(file, lines_text(lines));
}
