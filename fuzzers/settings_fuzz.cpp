// The window side's settings files: their lines, settings_value and the
// conversions of the texts found, on arbitrary file text.
// Input: a key up to the first line feed, then the file's bytes (no line
// feed: the whole input is the file).
// Properties: a number accepted by text_to_double is finite and the value
// the C library reads from the same text (a value below the normal range may
// read as zero); one accepted by text_to_int is the C library's too; lines
// written as text read back the same; loading a simulation record ends in its
// values or a conversion error; the same text read as a surface settings
// file, and the key read as a surface text, give a surface that can be
// simulated (and that its written lines give back) or a clear error.
//
// All of it is tried on the text in memory (text_lines, the splitting
// read_lines does on the file's text); the file functions, thin wrappers
// that read or replace a whole file, run on the short inputs and must agree.
// Five file reads and two file replacements per input held the target to a
// few hundred inputs a second.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/errors.h"
#include "common/settings_file.h"
#include "common/text_to_number.h"
#include "fuzz_work_dir.h"
#include "simulation/sim_params.h"
#include "settings/channel_settings.h"
#include "settings/surface_settings.h"

namespace {

// Keys the workbench looks up in its settings files.
const char* const kKnownKeys[] = {"CamResX", "LambdaF", "Alpha",  "MaskXOfs", "MaskYOfs",
                                  "XPixels", "YPixels", "Radius", "NFilt",    "MaskRadius",
                                  "XRes",    "FlawThr", "DepthLimit", "Rx",
                                  "Ry",      "Axis",    "Q"};
// Lines converted whole, beyond the values of the keys.
constexpr std::size_t kMaxLinesConverted = 64;
// Inputs up to this size go through the file functions as well.
constexpr std::size_t kMaxFileBytes = 96;

// The text without the blanks and control characters the conversions ignore.
std::string trimmed(const std::string& text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

void check_double(const std::string& text, const std::optional<double>& read) {
  if (!read) return;
  const double value = *read;
  if (!std::isfinite(value)) fuzz_fail("text_to_double gave a value that is not finite");
  const std::string body = trimmed(text);
  char* end = nullptr;
  const double expected = std::strtod(body.c_str(), &end);
  if (end != body.c_str() + body.size()) fuzz_fail("text_to_double accepted a partial number");
  const bool underflow = value == 0.0 && std::fabs(expected) < DBL_MIN;
  if (value != expected && !underflow) fuzz_fail("text_to_double differs from strtod");
}

void check_int(const std::string& text, const std::optional<int>& read) {
  if (!read) return;
  const std::string body = trimmed(text);
  char* end = nullptr;
  errno = 0;
  const long expected = std::strtol(body.c_str(), &end, 10);
  if (end != body.c_str() + body.size() || errno != 0 || expected != *read)
    fuzz_fail("text_to_int differs from strtol");
}

// The readers without exceptions: most texts tried are no number, and under
// the address sanitizer every exception thrown costs more than the reading.
void check_conversions(const std::string& text) {
  check_double(text, double_from_text(text));
  check_int(text, int_from_text(text));
}

// The throwing readers the settings code calls, which must agree with the
// ones above.
void check_throwing_conversions(const std::string& text) {
  const std::optional<double> real = double_from_text(text);
  try {
    if (text_to_double(text) != real) fuzz_fail("text_to_double differs from double_from_text");
  } catch (const ConversionError&) {
    if (real) fuzz_fail("text_to_double refused what double_from_text reads");
  }
  check_double(text, real);
  const std::optional<int> integer = int_from_text(text);
  try {
    if (text_to_int(text) != integer) fuzz_fail("text_to_int differs from int_from_text");
  } catch (const ConversionError&) {
    if (integer) fuzz_fail("text_to_int refused what int_from_text reads");
  }
  check_int(text, integer);
}

// The file functions on the same text: the lines, surface and written
// texts of the memory path.
void check_files(const std::string& text, const std::vector<std::string>& lines,
                 const std::optional<Surface>& surface) {
  const std::string file = fuzz_work_file("image.ini");
  write_work_file(file, text);
  if (read_lines(file) != lines) fuzz_fail("read_lines differs from text_lines");
  const std::string copy = fuzz_work_file("copy.ini");
  write_lines(copy, lines);
  if (read_work_file(copy) != lines_text(lines)) fuzz_fail("write_lines wrote another text than lines_text");

  SimParams params{};
  try {
    load_sim_params(params, file, file);
  } catch (const ConversionError&) {
  }
  try {
    const Surface read = read_surface_file(file);
    if (!surface || !(read == *surface)) fuzz_fail("read_surface_file differs from parse_surface_lines");
    write_surface_file(copy, read);
    if (!(read_surface_file(copy) == read)) fuzz_fail("a written surface file read back changed");
  } catch (const FileError&) {
    if (surface) fuzz_fail("read_surface_file refused what parse_surface_lines reads");
  }
  clear_work_dir();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t line_end = input.find('\n');
  const std::string key = line_end == std::string::npos ? std::string() : input.substr(0, line_end);
  const std::string text = line_end == std::string::npos ? input : input.substr(line_end + 1);

  const std::vector<std::string> lines = text_lines(text);
  check_throwing_conversions(settings_value(lines, key));
  for (const char* known : kKnownKeys) check_conversions(settings_value(lines, known));
  for (std::size_t i = 0; i < lines.size() && i < kMaxLinesConverted; ++i)
    check_conversions(lines[i]);
  if (text_lines(lines_text(lines)) != lines) fuzz_fail("written lines read back changed");

  // The same text as both settings files of a channel.
  SimParams params{};
  try {
    load_sim_params(params, lines, [&lines] { return lines; });
  } catch (const ConversionError&) {
  }
  std::optional<Surface> surface;
  try {
    surface = parse_surface_lines(lines);
  } catch (const std::invalid_argument&) {
  }
  if (surface) {
    if (!surface_problem(*surface).empty()) fuzz_fail("parse_surface_lines kept a surface it cannot simulate");
    try {
      if (!(parse_surface_lines(text_lines(lines_text(surface_settings_lines(*surface)))) == *surface))
        fuzz_fail("a written surface file read back changed");
    } catch (const std::invalid_argument&) {
      fuzz_fail("a written surface file does not read back");
    }
  }
  try {
    if (!surface_problem(parse_surface_text(key)).empty())
      fuzz_fail("parse_surface_text kept a surface it cannot simulate");
  } catch (const std::invalid_argument&) {
  }
  if (size <= kMaxFileBytes) check_files(text, lines, surface);
  return 0;
}
