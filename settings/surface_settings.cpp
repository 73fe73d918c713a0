#include "settings/surface_settings.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <utility>
#include <variant>

#include "common/errors.h"
#include "common/settings_file.h"
#include "common/text_to_number.h"
#include "common/work_files.h"

namespace {

constexpr const char* kKeys[] = {"Rx", "Ry", "Axis", "Q"};

double* field_of(Surface& s, int key) {
  switch (key) {
    case 0: return &s.rx;
    case 1: return &s.ry;
    case 2: return &s.axis_deg;
    default: return &s.q;
  }
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool model_of(const std::string& word, SurfaceModel& model) {
  const std::string w = lower(word);
  if (w == "sphere") model = SurfaceModel::sphere;
  else if (w == "biconic") model = SurfaceModel::biconic;
  else return false;
  return true;
}

}  // namespace

std::vector<std::string> surface_settings_lines(const Surface& s) {
  // The shortest text that reads back as the same double.
  const auto full = [](double v) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, v).ptr;
    return std::string(text, end);
  };
  std::vector<std::string> lines = {
      std::string("Model=") + surface_model_name(s.model),
      "Rx=" + full(s.rx),
      "Ry=" + full(s.ry),
      "Axis=" + full(s.axis_deg),
      "Q=" + full(s.q),
  };
  // A surface without cones keeps the five lines it always had.
  for (std::size_t k = 0; k < s.cones.size(); ++k) {
    const std::string prefix = "Cone" + std::to_string(k + 1);
    const Cone& c = s.cones[k];
    lines.push_back(prefix + "Height=" + full(c.height_um));
    lines.push_back(prefix + "X=" + full(c.x_mm));
    lines.push_back(prefix + "Y=" + full(c.y_mm));
    lines.push_back(prefix + "Width=" + full(c.width_mm));
  }
  return lines;
}

Surface read_surface_file(const std::string& file) {
  const std::vector<std::string> lines = read_lines(file);
  try {
    return parse_surface_lines(lines);
  } catch (const std::invalid_argument& e) {
    throw file_error(FileAction::read, file, std::string(": ") + e.what());
  }
}

namespace {

// The first fault of a surface file's lines, for either wording.
struct SurfaceFault {
  enum Kind { model, number, problem } kind = model;
  std::string key;   // "Model", "Rx", ...
  std::string text;  // as found; empty when the key is missing
  std::string what;  // kind number: the conversion error; kind problem: surface_problem's words
};

// The surface of the lines, or their first fault. Numbers given to the
// sphere must be numbers too (they are kept, to show in the surface window).
std::variant<Surface, SurfaceFault> surface_of_lines(const std::vector<std::string>& lines) {
  Surface s;
  const std::string model = settings_value(lines, "Model");
  if (!model_of(model, s.model)) return SurfaceFault{SurfaceFault::model, "Model", model, ""};
  for (int k = 0; k < 4; ++k) {
    const std::string text = settings_value(lines, kKeys[k]);
    if (text.empty() && s.model == SurfaceModel::sphere) continue;
    try {
      *field_of(s, k) = text_to_double(text);
    } catch (const ConversionError& e) {
      return SurfaceFault{SurfaceFault::number, kKeys[k], text, e.what()};
    }
  }
  // Cones 1..kMaxCones, each present when its height is given; its centre
  // defaults to the apex and its width to 1 mm.
  for (std::size_t k = 1; k <= kMaxCones; ++k) {
    const std::string prefix = "Cone" + std::to_string(k);
    if (settings_value(lines, prefix + "Height").empty()) {
      for (const char* part : {"X", "Y", "Width"})
        if (!settings_value(lines, prefix + part).empty())
          return SurfaceFault{SurfaceFault::number, prefix + "Height", "", ""};
      continue;
    }
    Cone cone;
    const std::pair<const char*, double*> parts[] = {
        {"Height", &cone.height_um}, {"X", &cone.x_mm}, {"Y", &cone.y_mm}, {"Width", &cone.width_mm}};
    for (const auto& [part, value] : parts) {
      const std::string text = settings_value(lines, prefix + part);
      if (text.empty()) continue;
      try {
        *value = text_to_double(text);
      } catch (const ConversionError& e) {
        return SurfaceFault{SurfaceFault::number, prefix + part, text, e.what()};
      }
    }
    s.cones.push_back(cone);
  }
  if (std::string problem = surface_problem(s); !problem.empty())
    return SurfaceFault{SurfaceFault::problem, "", "", std::move(problem)};
  return s;
}

}  // namespace

Surface parse_surface_lines(const std::vector<std::string>& lines) {
  std::variant<Surface, SurfaceFault> read = surface_of_lines(lines);
  if (const Surface* s = std::get_if<Surface>(&read)) return *s;
  const SurfaceFault& f = std::get<SurfaceFault>(read);
  switch (f.kind) {
    case SurfaceFault::model:
      throw std::invalid_argument("Model must be sphere or biconic (read '" + f.text + "')");
    case SurfaceFault::number:
      // A cone's centre or width without its height; the model's own
      // numbers keep the conversion's words.
      if (f.text.empty() && f.key.starts_with("Cone")) throw std::invalid_argument(f.key + " is missing");
      throw std::invalid_argument(f.key + ": " + f.what);
    case SurfaceFault::problem:
      break;
  }
  throw std::invalid_argument(f.what);
}

Surface read_surface_settings(const std::vector<std::string>& lines, const std::string& file) {
  std::variant<Surface, SurfaceFault> read = surface_of_lines(lines);
  if (const Surface* s = std::get_if<Surface>(&read)) return *s;
  const SurfaceFault& f = std::get<SurfaceFault>(read);
  if (f.kind == SurfaceFault::problem) throw settings_file_error(file, f.what);
  if (f.text.empty()) throw settings_file_error(file, f.key + " is missing");
  throw settings_value_error(file, f.key, f.text,
                             f.kind == SurfaceFault::model ? "is not sphere or biconic" : "is not a number");
}

std::string surface_summary(const Surface& s) {
  const auto number = [](double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return std::string(text);
  };
  std::string text = surface_model_name(s.model);
  if (s.model != SurfaceModel::sphere)
    text += " rx=" + number(s.rx) + " ry=" + number(s.ry) + " axis=" + number(s.axis_deg) + " q=" + number(s.q);
  for (const Cone& c : s.cones)
    text += " cone=" + number(c.height_um) + "/" + number(c.x_mm) + "/" + number(c.y_mm) + "/" + number(c.width_mm);
  return text;
}

std::string cone_text(const Cone& c) {
  const auto full = [](double v) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, v).ptr;
    return std::string(text, end);
  };
  return full(c.height_um) + "/" + full(c.x_mm) + "/" + full(c.y_mm) + "/" + full(c.width_mm);
}

std::vector<Cone> parse_cones_text(const std::string& text) {
  std::vector<Cone> cones;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of(" ;", start);
    if (end == std::string::npos) end = text.size();
    if (end > start) cones.push_back(parse_cone_text(text.substr(start, end - start)));
    start = end + 1;
  }
  return cones;
}

Cone parse_cone_text(const std::string& text) {
  Cone cone;
  double* parts[] = {&cone.height_um, &cone.x_mm, &cone.y_mm, &cone.width_mm};
  const char* names[] = {"the height", "x", "y", "the width"};
  std::size_t start = 0;
  for (int k = 0; k < 4; ++k) {
    const std::size_t slash = text.find('/', start);
    if ((slash == std::string::npos) != (k == 3))
      throw std::invalid_argument("cone '" + text + "': give height/x/y/width (microns, mm, mm, mm), e.g. 10/0.5/-1/1");
    const std::string part = text.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    try {
      *parts[k] = text_to_double(part);
    } catch (const ConversionError& e) {
      throw std::invalid_argument("cone '" + text + "': " + names[k] + ": " + e.what());
    }
    start = slash + 1;
  }
  return cone;
}

void write_surface_file(const std::string& file, const Surface& surface) {
  require_usable_surface(surface);
  write_lines(file, surface_settings_lines(surface));
}

Surface channel_surface(int channel) {
  const char* file = surface_file(channel);
  std::error_code error;
  if (!std::filesystem::exists(file, error)) return Surface{};
  return read_surface_file(file);
}

void require_usable_surface(const Surface& surface) {
  if (const std::string problem = surface_problem(surface); !problem.empty())
    throw std::invalid_argument("The surface cannot be simulated: " + problem);
}

Surface parse_surface_text(const std::string& text) {
  const auto fault = [&text](const std::string& what) {
    return std::invalid_argument("surface '" + text + "': " + what);
  };
  const std::size_t colon = text.find(':');
  Surface s;
  if (!model_of(text.substr(0, colon), s.model))
    throw fault("the model must be sphere or biconic");
  const bool sphere = s.model == SurfaceModel::sphere;
  if (sphere && colon == std::string::npos) return s;
  if (colon == std::string::npos) throw fault("rx and ry are needed, e.g. biconic:rx=7.6,ry=7.9");
  bool given[4] = {false, false, false, false};
  s.axis_deg = 0.0;
  s.q = 0.0;
  std::size_t start = colon + 1;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const std::string item = text.substr(start, comma - start);
    const std::size_t equals = item.find('=');
    const std::string key = lower(item.substr(0, equals));
    if (equals != std::string::npos && key == "cone") {
      try {
        s.cones.push_back(parse_cone_text(item.substr(equals + 1)));
      } catch (const std::invalid_argument& e) {
        throw fault(e.what());
      }
      start = comma + 1;
      continue;
    }
    if (sphere) throw fault("the sphere takes no numbers (its radius is the set one)");
    int k = 0;
    while (k < 4 && lower(kKeys[k]) != key) ++k;
    if (equals == std::string::npos || k == 4)
      throw fault("'" + item + "' is not one of rx=, ry=, axis=, q=, cone=");
    if (given[k]) throw fault(key + " is given twice");
    try {
      *field_of(s, k) = text_to_double(item.substr(equals + 1));
    } catch (const ConversionError& e) {
      throw fault(key + ": " + e.what());
    }
    given[k] = true;
    start = comma + 1;
  }
  if (!sphere && (!given[0] || !given[1])) throw fault("rx and ry are needed");
  if (const std::string problem = surface_problem(s); !problem.empty()) throw fault(problem);
  return s;
}
