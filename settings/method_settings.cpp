#include "settings/method_settings.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "common/errors.h"
#include "common/round_trip_number.h"
#include "common/settings_file.h"
#include "common/text_to_number.h"
#include "settings/value_domains.h"

namespace {

constexpr int kMinSteps = 3;
constexpr int kMaxSteps = 64;
constexpr int kMinBits = 8;
constexpr int kMaxBits = 16;
// Beyond the 8-bit scale's top level every pixel saturates.
constexpr double kMaxAmbient = 254.0;
// A blur wider than any picture the engine takes changes nothing more.
constexpr double kMaxBlur = 4096.0;

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// What is wrong with each value, without naming where it came from; empty
// when it is fine.
std::string steps_problem(double steps) {
  if (!(steps >= kMinSteps && steps <= kMaxSteps)) return "must lie between 3 and 64";
  if (steps != std::floor(steps)) return "is not a whole number";
  return "";
}
std::string bits_problem(double bits) {
  if (!(bits >= kMinBits && bits <= kMaxBits)) return "must lie between 8 and 16";
  if (bits != std::floor(bits)) return "is not a whole number";
  return "";
}
std::string gamma_problem(double gamma) {
  if (!std::isfinite(gamma)) return "is not a finite number";
  return gamma > 0.0 ? "" : "must be greater than 0";
}
std::string blur_problem(double blur) {
  if (!std::isfinite(blur)) return "is not a finite number";
  return blur >= 0.0 && blur <= kMaxBlur ? "" : "must lie between 0 and 4096 px";
}
std::string min_valid_problem(double fraction) {
  return fraction >= 0.0 && fraction <= 1.0 ? "" : "must lie between 0 and 1";
}
std::string ambient_problem(double ambient) {
  if (!std::isfinite(ambient)) return "is not a finite number";
  return ambient >= 0.0 && ambient <= kMaxAmbient ? "" : "must lie between 0 and 254 grey levels";
}

// "1280,80,10" as numbers; false with `problem` set when a part is not a
// positive finite number or the list is not coarse to fine.
bool parse_periods(const std::string& text, std::vector<double>& periods, std::string& problem) {
  periods.clear();
  const std::string all = trimmed(text);
  if (all.empty()) return true;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = all.find(',', start);
    const std::string part = trimmed(all.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    double value = 0.0;
    try {
      value = text_to_double(part);
    } catch (const ConversionError&) {
      problem = "holds \"" + part + "\", which is not a number";
      return false;
    }
    if (!(std::isfinite(value) && value > 0.0)) {
      problem = "holds " + part + ": periods must be positive";
      return false;
    }
    if (!periods.empty() && !(value < periods.back())) {
      problem = "is not coarse to fine (each period shorter than the one before)";
      return false;
    }
    periods.push_back(value);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return true;
}

std::string periods_text(const std::vector<double>& periods, const char* separator) {
  std::string text;
  for (const double p : periods) {
    if (!text.empty()) text += separator;
    text += round_trip_text(p);
  }
  return text;
}

}  // namespace

std::vector<std::string> method_settings_lines(const MethodSettings& s) {
  std::vector<std::string> lines{
      std::string("Method=") + fringe_method_name(s.method),
      "Steps=" + std::to_string(s.steps),
      "Periods=" + periods_text(s.periods, ","),
      "Gamma=" + round_trip_text(s.errors.gamma),
      "Blur=" + round_trip_text(s.errors.blur),
      "Bits=" + std::to_string(s.errors.bits),
      "Ambient=" + round_trip_text(s.errors.ambient),
  };
  if (s.min_valid != kDefaultMinValid) lines.push_back("MinValid=" + round_trip_text(s.min_valid));
  return lines;
}

MethodSettings read_method_settings(const std::vector<std::string>& lines, const std::string& file) {
  MethodSettings s;
  const std::string method = trimmed(settings_value(lines, "Method"));
  if (!method.empty() && !parse_fringe_method(method, s.method))
    throw settings_value_error(file, "Method", method, "is not quadrature, phase-shift or fourier");
  // A number of the file, or `fallback` when its key is missing or empty.
  const auto number = [&](const char* key, double fallback, std::string (*problem)(double)) {
    const std::string text = trimmed(settings_value(lines, key));
    if (text.empty()) return fallback;
    double value = 0.0;
    try {
      value = text_to_double(text);
    } catch (const ConversionError&) {
      throw settings_value_error(file, key, text, "is not a number");
    }
    const std::string why = problem(value);
    if (!why.empty()) throw settings_value_error(file, key, text, why);
    return value;
  };
  s.steps = static_cast<int>(number("Steps", s.steps, steps_problem));
  const std::string periods = settings_value(lines, "Periods");
  std::string why;
  if (!parse_periods(periods, s.periods, why)) throw settings_value_error(file, "Periods", trimmed(periods), why);
  s.errors.gamma = number("Gamma", s.errors.gamma, gamma_problem);
  s.errors.blur = number("Blur", s.errors.blur, blur_problem);
  s.errors.bits = static_cast<int>(number("Bits", s.errors.bits, bits_problem));
  s.errors.ambient = number("Ambient", s.errors.ambient, ambient_problem);
  s.min_valid = number("MinValid", s.min_valid, min_valid_problem);
  if (s.method == FringeMethod::quadrature && s.errors.bits != 8)
    throw settings_value_error(file, "Bits", std::to_string(s.errors.bits),
                               "does not suit Method = quadrature, which scans 8-bit pictures");
  return s;
}

MethodSettings apply_method_overrides(MethodSettings s, const MethodOverrides& o) {
  const auto require = [](const char* option, const std::string& value, const std::string& problem) {
    if (!problem.empty()) throw std::invalid_argument(std::string(option) + ": " + value + " " + problem);
  };
  if (o.method && !parse_fringe_method(*o.method, s.method))
    throw std::invalid_argument("--method: \"" + *o.method + "\" is not quadrature, phase-shift or fourier");
  if (o.steps) {
    require("--steps", std::to_string(*o.steps), steps_problem(*o.steps));
    s.steps = *o.steps;
  }
  if (o.periods) {
    std::string why;
    if (!parse_periods(*o.periods, s.periods, why)) throw std::invalid_argument("--periods: \"" + *o.periods + "\" " + why);
  }
  if (o.gamma) {
    require("--gamma", round_trip_text(*o.gamma), gamma_problem(*o.gamma));
    s.errors.gamma = *o.gamma;
  }
  if (o.blur) {
    require("--blur", round_trip_text(*o.blur), blur_problem(*o.blur));
    s.errors.blur = *o.blur;
  }
  if (o.bits) {
    require("--bits", std::to_string(*o.bits), bits_problem(*o.bits));
    s.errors.bits = *o.bits;
  }
  if (o.ambient) {
    require("--ambient", round_trip_text(*o.ambient), ambient_problem(*o.ambient));
    s.errors.ambient = *o.ambient;
  }
  if (s.method == FringeMethod::quadrature && s.errors.bits != 8)
    throw std::invalid_argument("--bits: " + std::to_string(s.errors.bits) +
                                " does not suit the quadrature method, which scans 8-bit pictures");
  return s;
}

std::vector<std::string> overridden_method_lines(const std::vector<std::string>& lines, const std::string& file,
                                                 const MethodOverrides& overrides) {
  if (!overrides.any()) return lines;
  return method_settings_lines(apply_method_overrides(read_method_settings(lines, file), overrides));
}

std::vector<double> method_periods(const MethodSettings& s, double lambda_f) {
  std::vector<double> periods = s.periods.empty() ? std::vector<double>{lambda_f} : s.periods;
  if (s.method != FringeMethod::phase_shift) periods.erase(periods.begin(), periods.end() - 1);
  return periods;
}

FrameSet method_frame_set(const MethodSettings& s, double lambda_f) {
  FrameSet set;
  set.steps = s.method == FringeMethod::phase_shift ? s.steps : 1;
  set.periods = method_periods(s, lambda_f);
  return set;
}

MethodPlan method_plan(const MethodSettings& s, double lambda_f) {
  MethodPlan plan;
  plan.method = s.method;
  plan.steps = s.method == FringeMethod::phase_shift ? s.steps : 1;
  plan.periods = method_periods(s, lambda_f);
  return plan;
}

std::string coarse_period_warning(const MethodSettings& s, double lambda_f, int width) {
  const std::vector<double> periods = method_periods(s, lambda_f);
  if (s.method != FringeMethod::phase_shift || periods.size() < 2 || periods.front() >= width) return "";
  return "coarsest period " + round_trip_text(periods.front()) + " px does not cover the field of " +
         std::to_string(width) + " px: its first order is ambiguous";
}

std::vector<std::string> frame_files(int channel, int count, int bits) {
  const std::string stem = channel == 1 ? "./sim01" : "./sim00";
  std::vector<std::string> files;
  for (int k = 0; k < count; ++k) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_f%02d", k);
    files.push_back(stem + suffix + (bits > 8 ? ".png" : ".bmp"));
  }
  return files;
}

const char* method_file(int channel) { return channel == 1 ? "./method_1.ini" : "./method.ini"; }

MethodSettings channel_method_settings(int channel) {
  const char* file = method_file(channel);
  if (!std::filesystem::exists(file)) return {};
  return read_method_settings(read_lines(file), file);
}

void write_method_file(const std::string& file, const MethodSettings& settings) {
  write_lines(file, method_settings_lines(settings));
}
