#include "settings/system_settings.h"

#include <cmath>
#include <filesystem>

#include "common/errors.h"
#include "common/round_trip_number.h"
#include "common/settings_file.h"
#include "common/text_to_number.h"

namespace {

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

void lens_lines(std::vector<std::string>& lines, const std::string& device, const Lens& lens) {
  lines.push_back(device + "FocalLength=" + round_trip_text(lens.focal_mm));
  lines.push_back(device + "PixelPitch=" + round_trip_text(lens.pitch_mm));
  lines.push_back(device + "PrincipalX=" + round_trip_text(lens.principal_x));
  lines.push_back(device + "PrincipalY=" + round_trip_text(lens.principal_y));
  lines.push_back(device + "K1=" + round_trip_text(lens.k1));
  lines.push_back(device + "K2=" + round_trip_text(lens.k2));
  lines.push_back(device + "P1=" + round_trip_text(lens.p1));
  lines.push_back(device + "P2=" + round_trip_text(lens.p2));
}

}  // namespace

const char* system_file(int channel) { return channel == 1 ? "./system_1.ini" : "./system.ini"; }

std::vector<std::string> system_settings_lines(const OpticalSystem& s) {
  std::vector<std::string> lines{std::string("Model=") + system_model_name(s.model)};
  if (!s.pinhole()) return lines;
  lens_lines(lines, "Camera", s.camera.lens);
  lines.push_back("WorkingDistance=" + round_trip_text(s.camera.distance));
  lens_lines(lines, "Projector", s.projector.lens);
  lines.push_back("ProjectorXPixels=" + std::to_string(s.projector.width));
  lines.push_back("ProjectorYPixels=" + std::to_string(s.projector.height));
  lines.push_back("ProjectorPeriod=" + round_trip_text(s.projector.period));
  lines.push_back("Angle=" + round_trip_text(s.angle_deg));
  lines.push_back("Baseline=" + round_trip_text(s.baseline));
  return lines;
}

OpticalSystem read_system_settings(const std::vector<std::string>& lines, const std::string& file, int width,
                                   int height, double radius) {
  const std::string model = trimmed(settings_value(lines, "Model"));
  if (model.empty() || model == "telecentric") return OpticalSystem{};
  if (model != "pinhole") throw settings_value_error(file, "Model", model, "is not telecentric or pinhole");
  OpticalSystem s = default_pinhole_system(width, height);
  // A number of the file, or the default's when its key is missing or empty.
  const auto number = [&](const std::string& key, double& value) {
    const std::string text = trimmed(settings_value(lines, key.c_str()));
    if (text.empty()) return;
    try {
      value = text_to_double(text);
    } catch (const ConversionError&) {
      throw settings_value_error(file, key, text, "is not a number");
    }
    if (!std::isfinite(value)) throw settings_value_error(file, key, text, "is not a finite number");
  };
  const auto whole = [&](const std::string& key, int& value) {
    double read = value;
    number(key, read);
    if (read != std::floor(read) || std::fabs(read) > 1e9)
      throw settings_value_error(file, key, trimmed(settings_value(lines, key.c_str())), "is not a whole number");
    value = static_cast<int>(read);
  };
  const auto lens = [&](const std::string& device, Lens& l) {
    number(device + "FocalLength", l.focal_mm);
    number(device + "PixelPitch", l.pitch_mm);
    number(device + "PrincipalX", l.principal_x);
    number(device + "PrincipalY", l.principal_y);
    number(device + "K1", l.k1);
    number(device + "K2", l.k2);
    number(device + "P1", l.p1);
    number(device + "P2", l.p2);
  };
  lens("Camera", s.camera.lens);
  number("WorkingDistance", s.camera.distance);
  whole("ProjectorXPixels", s.projector.width);
  whole("ProjectorYPixels", s.projector.height);
  // The projector's principal point follows a changed size unless given.
  s.projector.lens.principal_x = (s.projector.width - 1) * 0.5;
  s.projector.lens.principal_y = (s.projector.height - 1) * 0.5;
  lens("Projector", s.projector.lens);
  number("ProjectorPeriod", s.projector.period);
  number("Angle", s.angle_deg);
  number("Baseline", s.baseline);
  const std::string why = system_problem(s, radius, width, height);
  if (!why.empty()) throw settings_file_error(file, why);
  return s;
}

OpticalSystem read_system_file(const std::string& file, int width, int height, double radius) {
  return read_system_settings(read_lines(file), file, width, height, radius);
}

OpticalSystem channel_system(int channel, int width, int height, double radius) {
  const char* file = system_file(channel);
  std::error_code error;
  if (!std::filesystem::exists(file, error)) return OpticalSystem{};
  return read_system_file(file, width, height, radius);
}

void write_system_file(const std::string& file, const OpticalSystem& system) {
  write_lines(file, system_settings_lines(system));
}
