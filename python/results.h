// What the module's functions hand back to Python, and what they share:
// the workspace a measurement reads, the profile a scan gives, the maps a
// comparison with the sphere gives, and a measurement (all of them).
#pragma once

#include <pybind11/pybind11.h>
#include <pybind11/stl/filesystem.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/mask_statistics.h"
#include "common/work_files.h"
#include "runs/measurement.h"
#include "runs/quality_check.h"
#include "settings/method_settings.h"
#include "settings/value_domains.h"

namespace py = pybind11;

// A workspace folder: its path, made absolute when the object is made, so
// that a later change of the working directory does not move it.
struct Workspace {
  std::string path;
};
// Opens the folder at `path`; OSError (FileError) when it is no folder.
Workspace open_workspace(const std::filesystem::path& path);

// A workspace argument as Python passes it: a fringe.Workspace, or the path
// of one (str or os.PathLike), opened as Workspace(path) would open it; a
// missing folder is an OSError and anything else a TypeError, each in one
// line.
struct WorkspaceArgument {
  Workspace workspace;
};

// A profile as read back (heights as 32-bit floats widened, the engine's
// grid uncut) and the height that marks a point without data.
struct Profile {
  ProfileHeights grid;
  double depth_limit = -10.0;  // mm: at or below it a point has no data
  // The measurement's quality on the profile's grid; none for a profile of
  // the caller's own heights.
  std::shared_ptr<QualityMap> quality;
};

// The comparison of a profile with the sphere: the maps, the mask and the
// statistics of the residual inside it.
struct Comparison {
  virtual ~Comparison() = default;  // export tells a measurement by its type
  int channel = 0;
  ChannelMaps maps;
  double mask_radius = 0.0;  // mm
  MaskStatistics stats;      // mm
};

// A whole measurement: the comparison, the profile, the settings it ran with
// and, when asked for, the fringe picture.
struct MeasurementResult : Comparison {
  uint32_t seed = 1;
  double contrast = 1.0;
  double noise = 0.0;
  SimParams params;
  std::shared_ptr<Profile> profile;
  GreyImageOwner picture;  // null unless kept
};

// A number argument checked against its domain: std::invalid_argument
// "<name>: <problem>" (ValueError) otherwise.
double checked(const char* name, double value, const NumberDomain& domain);
uint32_t seed_argument(double seed);

// A seed as Python passes it: any real number, checked by seed_argument (so a
// seed of -1 or 2**32 is a ValueError in the tool's words, not a type error),
// shown in signatures as the int it is.
struct Seed {
  double value = 1.0;
};
inline uint32_t seed_argument(Seed seed) { return seed_argument(seed.value); }
int channel_argument(int channel);
// The maximum noise as the text the chain reads ("64").
std::string max_noise_text(double max_noise);

// What `call` returns; an std::invalid_argument naming an option in the
// tool's words ("--steps: 2 must lie between 3 and 64") is raised with the
// argument's name as Python spells it ("steps: ...").
template <typename Call>
auto in_python_words(Call&& call) -> decltype(call()) {
  try {
    return call();
  } catch (const std::invalid_argument& e) {
    const std::string message = e.what();
    if (message.rfind("--", 0) != 0) throw;
    throw std::invalid_argument(message.substr(2));
  }
}

// The method arguments of measure and study (None: the workspace's method
// file). periods: None, a text "1280,80,10" or numbers, coarse to fine.
// Their values are checked where they are applied.
MethodOverrides method_arguments(std::optional<std::string> method, std::optional<int> steps,
                                 const py::object& periods, std::optional<double> gamma,
                                 std::optional<double> blur, std::optional<int> bits,
                                 std::optional<double> ambient);

// The part of a docstring that says what the method arguments do.
extern const char* const kMethodArgumentsDoc;

// The method settings of the workspace's channel (its method file; the
// defaults without a workspace or a file) with `overrides` applied. Refused
// as std::invalid_argument in the tool's words with the argument's name as
// Python spells it ("steps: 2 must lie between 3 and 64").
MethodSettings method_settings_of(const std::optional<Workspace>& workspace, int channel,
                                  const MethodOverrides& overrides);

// The settings of a simulation a caller gives by name; none keeps the
// workspace's value (or the workbench's default without a workspace).
struct SynthesisOverrides {
  std::optional<int> x_pixels, y_pixels;
  std::optional<double> pixel_size, period, angle, radius, offset_x, offset_y;
  std::optional<std::string> surface;
};

// The simulation of the workspace's channel (or the workbench's defaults)
// with the overrides, each checked (std::invalid_argument naming it).
SimParams synthesis_params(const std::optional<Workspace>& workspace, int channel, const SynthesisOverrides& o);

// Scan settings as lines and the name their messages give them: a workspace
// (its channel's scan settings file), a settings file, or a dict of the
// engine's keys and values.
struct ScanSettings {
  std::vector<std::string> lines;
  std::string name;
  std::string section = scan_section;
};

// The scan settings `settings` names (a Workspace, a file's path or a dict),
// checked as `fringe scan` checks them. Needs the GIL.
ScanSettings scan_settings_of(const py::handle& settings, int channel, const std::string& section);

// The quality a measurement of the module asks for: min_valid None takes the
// settings' MinValid (else kDefaultMinValid); a value is checked (0..1).
QualityCheck quality_check_of(const std::optional<double>& min_valid);
// The part of a docstring that says what min_valid does and what is refused.
extern const char* const kQualityDoc;

// Each part of the module's bindings.
void bind_errors(py::module_& m);
void bind_quality(py::module_& m);
void bind_pictures(py::module_& m);
void bind_measurements(py::module_& m);
void bind_studies(py::module_& m);
void bind_frames(py::module_& m);

namespace pybind11::detail {
template <>
struct type_caster<WorkspaceArgument> {
  PYBIND11_TYPE_CASTER(WorkspaceArgument, const_name("Workspace | os.PathLike"));
  bool load(handle source, bool) {
    if (isinstance<Workspace>(source)) {
      value.workspace = source.cast<Workspace>();
      return true;
    }
    if (isinstance<str>(source) || hasattr(source, "__fspath__")) {
      value.workspace = open_workspace(source.cast<std::filesystem::path>());
      return true;
    }
    throw type_error(std::string("workspace: expected a fringe.Workspace or the path of one, not ") +
                     Py_TYPE(source.ptr())->tp_name);
  }
  static handle cast(const WorkspaceArgument&, return_value_policy, handle) { return none().release(); }
};

template <>
struct type_caster<Seed> {
  PYBIND11_TYPE_CASTER(Seed, const_name("int"));
  bool load(handle source, bool convert) {
    make_caster<double> number;
    if (!number.load(source, convert)) return false;
    value.value = cast_op<double>(number);
    return true;
  }
  static handle cast(Seed seed, return_value_policy, handle) { return PyFloat_FromDouble(seed.value); }
};
}  // namespace pybind11::detail
