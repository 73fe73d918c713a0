#include "settings/settings_check.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

#include "common/errors.h"
#include "common/settings_file.h"
#include "common/text_to_number.h"
#include "common/work_files.h"
#include "settings/channel_settings.h"
#include "settings/surface_settings.h"

namespace {

// Whether a line holds `key` where settings_value looks for it.
bool has_key(const std::vector<std::string>& lines, const std::string& key) {
  for (const std::string& line : lines) {
    const std::size_t equals = line.find('=');
    if (equals != key.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < equals && same; ++i)
      same = std::tolower(static_cast<unsigned char>(line[i])) == std::tolower(static_cast<unsigned char>(key[i]));
    if (same) return true;
  }
  return false;
}

// The text of `key`, or SettingsError "<file>: <key> is missing".
std::string present_value(const std::vector<std::string>& lines, const std::string& file, const char* key) {
  if (!has_key(lines, key)) throw settings_file_error(file, std::string(key) + " is missing");
  return settings_value(lines, key);
}

double number_in(const std::string& text, const std::string& file, const std::string& key) {
  try {
    return text_to_double(text);
  } catch (const ConversionError&) {
    throw settings_value_error(file, key, text, "is not a number");
  }
}

int32_t whole_number_in(const std::string& text, const std::string& file, const std::string& key) {
  try {
    return text_to_int(text);
  } catch (const ConversionError&) {
  }
  const double value = number_in(text, file, key);
  if (value != std::trunc(value)) throw settings_value_error(file, key, text, "is not a whole number");
  if (!(value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max()))
    throw settings_value_error(file, key, text, "is out of range");
  // "1e3" or "3.0": a whole value, but text_to_int reads digits only.
  throw settings_value_error(file, key, text, "is not a whole number in digits");
}

// ---- The engine's view of an INI file (scan/private_profile.cpp) -----------

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim_blanks(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

// What the engine's reader finds in one section of the lines.
class EngineSection {
 public:
  EngineSection(const std::vector<std::string>& lines, std::string_view section)
      : lines_(lines), section_(trim_blanks(section)) {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      std::string_view name;
      if (section_line(i, name) && same_name(name, section_)) found_ = true;
    }
  }
  bool found() const { return found_; }

  // The value of the key's first line in a section of that name, blanks
  // trimmed and cut to the engine's 255 characters; nothing when absent.
  std::optional<std::string> value(std::string_view key) const {
    bool inside = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      std::string_view name;
      if (section_line(i, name)) {
        inside = same_name(name, section_);
        continue;
      }
      const std::string_view content = line(i);
      const std::size_t equals = content.find('=');
      if (!inside || equals == std::string_view::npos) continue;
      if (same_name(trim_blanks(content.substr(0, equals)), key))
        return std::string(trim_blanks(content.substr(equals + 1)).substr(0, 255));
    }
    return std::nullopt;
  }

 private:
  // Line i without a UTF-8 byte order mark at the very start.
  std::string_view line(std::size_t i) const {
    std::string_view text = lines_[i];
    if (i == 0 && text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    return text;
  }
  bool section_line(std::size_t i, std::string_view& name) const {
    const std::string_view body = trim_blanks(line(i));
    if (body.empty() || body.front() != '[') return false;
    const std::size_t close = body.find(']');
    name = trim_blanks(body.substr(1, close == std::string_view::npos ? body.npos : close - 1));
    return true;
  }

  const std::vector<std::string>& lines_;
  std::string_view section_;
  bool found_ = false;
};

// The engine's ten keys (scan/scan_par.cpp), whole numbers marked.
constexpr struct {
  const char* name;
  bool whole;
} kEngineKeys[] = {
    {"NFilt", true},        {"FlawThr", true},    {"LambdaF", false}, {"CamResX", false},
    {"CamResY", false},     {"Alpha", false},     {"MaskRadius", false}, {"MaskXOfs", false},
    {"MaskYOfs", false},    {"DepthLimit", false},
};

// What the engine's numbers must be for a measurement to mean anything:
// empty, or why not. A fringe period, a pixel size or a mask radius of
// nothing measures nothing; an angle of 0 or 90 degrees makes no height of a
// phase. The engine's C API still takes any number (its documented cases).
std::string scan_value_problem(std::string_view key, double value) {
  if (same_name(key, "LambdaF") || same_name(key, "CamResX") || same_name(key, "CamResY") ||
      same_name(key, "MaskRadius"))
    return value > 0.0 ? "" : "must be greater than 0";
  if (same_name(key, "Alpha")) return value > 0.0 && value < 90.0 ? "" : "must lie between 0 and 90 degrees, both excluded";
  return "";
}

}  // namespace

const std::vector<const char*>& scan_setting_keys() {
  static const std::vector<const char*> keys = [] {
    std::vector<const char*> names;
    for (const auto& key : kEngineKeys) names.push_back(key.name);
    return names;
  }();
  return keys;
}

void require_scan_setting_key(const std::string& key, const std::string& file) {
  for (const auto& known : kEngineKeys)
    if (same_name(trim_blanks(key), known.name)) return;
  std::string names;
  for (const auto& known : kEngineKeys) names += (names.empty() ? "" : ", ") + std::string(known.name);
  throw settings_file_error(file, key + " is not a scan setting (the engine reads " + names + ")");
}

double settings_number(const std::vector<std::string>& lines, const std::string& file, const char* key) {
  return number_in(present_value(lines, file, key), file, key);
}

int32_t settings_whole_number(const std::vector<std::string>& lines, const std::string& file, const char* key) {
  return whole_number_in(present_value(lines, file, key), file, key);
}

int32_t settings_image_side(const std::vector<std::string>& lines, const std::string& file, const char* key) {
  const std::string text = present_value(lines, file, key);
  const double value = std::trunc(number_in(text, file, key));
  if (!(value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max()))
    throw settings_value_error(file, key, text, "is out of range");
  return static_cast<int32_t>(value);
}

void check_scan_settings(const std::vector<std::string>& lines, const std::string& file,
                         const std::string& section) {
  const EngineSection engine(lines, section);
  if (!engine.found()) throw settings_file_error(file, "no section [" + section + "]");
  for (const auto& key : kEngineKeys) {
    const std::optional<std::string> text = engine.value(key.name);
    if (!text) continue;
    const double value = key.whole ? whole_number_in(*text, file, key.name) : number_in(*text, file, key.name);
    if (const std::string problem = scan_value_problem(key.name, value); !problem.empty())
      throw settings_value_error(file, key.name, *text, problem);
  }
}

void check_channel_files(int channel, const std::vector<std::string>& scan, const std::vector<std::string>& image) {
  const ChannelFiles files = channel_files(channel);
  check_scan_settings(scan, files.scan, scan_section);
  // In the order start-up, "apply" and "profile" read them.
  for (const char* key : {"CamResX", "LambdaF", "Alpha", "MaskXOfs", "MaskYOfs"})
    settings_number(scan, files.scan, key);
  settings_image_side(image, files.image, "XPixels");
  settings_image_side(image, files.image, "YPixels");
  settings_number(image, files.image, "Radius");
  settings_whole_number(scan, files.scan, "NFilt");
  settings_number(scan, files.scan, "MaskRadius");
}

void check_channel_settings(int channel, const std::vector<std::string>& scan,
                            const std::vector<std::string>& image, const std::vector<std::string>& surface) {
  check_channel_files(channel, scan, image);
  channel_settings_surface(channel, surface);
}

Surface channel_settings_surface(int channel, const std::vector<std::string>& surface) {
  if (surface.empty()) return Surface{};
  return read_surface_settings(surface, surface_file(channel));
}
