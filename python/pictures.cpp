// fringe.synthesize, fringe.read_picture, fringe.scan and fringe.Profile.
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>
#include <optional>
#include <stdexcept>

#include "common/errors.h"
#include "common/settings_file.h"
#include "common/work_files.h"
#include "formats/camera_picture.h"
#include "formats/height_field.h"
#include "python/arrays.h"
#include "python/results.h"
#include "settings/settings_check.h"
#include "runs/picture_scan.h"
#include "runs/simulation_run.h"
#include "studies/study_parameters.h"
#include "settings/surface_settings.h"
#include "settings/workspace_settings.h"
#include "settings/channel_parameters.h"
#include "scan/scan_engine.h"
#include "simulation/fringe_synthesis.h"
#include "simulation/random_generator.h"

namespace {

// A value of a study parameter's domain ("period=1 is outside 2..200").
double in_parameter_domain(const char* name, double value) {
  const StudyParameter* parameter = find_study_parameter(name);
  if (parameter == nullptr) return value;
  if (const std::string problem = domain_violation(*parameter, value); !problem.empty())
    throw std::invalid_argument(problem);
  return value;
}

}  // namespace

SimParams synthesis_params(const std::optional<Workspace>& workspace, int channel, const SynthesisOverrides& o) {
  SimParams params;
  if (workspace) params = channel_sim_params(read_workspace_settings(workspace->path, channel));
  if (o.x_pixels) params.x_pixels = *o.x_pixels;
  if (o.y_pixels) params.y_pixels = *o.y_pixels;
  if (const std::string refusal = size_refusal(static_cast<uint64_t>(std::max(params.x_pixels, 0)),
                                               static_cast<uint64_t>(std::max(params.y_pixels, 0)));
      !refusal.empty() || params.x_pixels < 1 || params.y_pixels < 1)
    throw std::invalid_argument("x_pixels, y_pixels: " + (refusal.empty() ? std::string("a side below 1") : refusal));
  if (o.pixel_size) params.pixel_size = in_parameter_domain("pixel_size", *o.pixel_size);
  if (o.period) params.fringe_period = in_parameter_domain("period", *o.period);
  if (o.angle) params.alpha_deg = in_parameter_domain("angle", *o.angle);
  if (o.radius) {
    params.radius = in_parameter_domain("radius", *o.radius);
    // The sphere follows its radius, with the file's cones; a biconic from
    // the files stays.
    if (params.surface.model == SurfaceModel::sphere) params.surface = Surface{.cones = params.surface.cones};
  }
  if (o.offset_x) params.offset_x = checked("offset_x", *o.offset_x, domains::any);
  if (o.offset_y) params.offset_y = checked("offset_y", *o.offset_y, domains::any);
  if (o.surface) params.surface = parse_surface_text(*o.surface);
  require_usable_surface(params.surface);
  return params;
}

ScanSettings scan_settings_of(const py::handle& settings, int channel, const std::string& section) {
  ScanSettings s;
  s.section = section;
  if (py::isinstance<Workspace>(settings)) {
    const Workspace& workspace = settings.cast<const Workspace&>();
    s.lines = read_workspace_settings(workspace.path, channel).scan;
    s.name = workspace_file(workspace.path, channel_files(channel).scan);
    s.section = scan_section;
  } else if (py::isinstance<py::dict>(settings)) {
    s.lines.push_back("[" + section + "]");
    s.name = "settings";
    for (const auto& [key, value] : settings.cast<py::dict>()) {
      // A dict holds settings alone: a key the engine would not read is a slip.
      require_scan_setting_key(std::string(py::str(key)), s.name);
      s.lines.push_back(std::string(py::str(key)) + "=" + std::string(py::str(value)));
    }
  } else if (py::isinstance<py::str>(settings) || py::hasattr(settings, "__fspath__")) {
    s.name = settings.cast<std::filesystem::path>().string();
    std::error_code error;
    if (!std::filesystem::is_regular_file(s.name, error)) throw file_error(FileAction::open, s.name);
    s.lines = read_lines(s.name);
  } else {
    throw py::type_error("settings: expected a Workspace, a scan settings file's path or a dict of "
                         "scan settings, got " + std::string(py::str(py::type::of(settings).attr("__name__"))));
  }
  check_scan_settings(s.lines, s.name, s.section);
  return s;
}

namespace {

std::shared_ptr<Profile> scan_picture(GreyImageOwner picture, GreyImageOwner reference, const ScanSettings& settings,
                                      QualityCheck& check) {
  const int32_t width = picture->width, height = picture->height;
  if (reference)
    if (const std::string mismatch = reference_size_mismatch(*reference, *picture, ""); !mismatch.empty())
      throw std::invalid_argument("reference: " + mismatch);
  ScnPar par = scan_par_of_lines(settings.lines, settings.section);
  ScanEngine engine;
  const ScanEngine::Outcome outcome = checked_engine_scan(engine, *picture, par, reference.get(), &check, "picture");
  if (outcome != ScanEngine::Outcome::scanned)
    throw std::invalid_argument(std::string(outcome == ScanEngine::Outcome::reference_refused ? "reference" : "picture") +
                                ": the engine cannot take the picture");
  const ScnMatrix& matrix = engine.profile();
  if (matrix.values == nullptr || matrix.cols < 1 || matrix.rows < 1 || matrix.cols > kMaxProfileSide ||
      matrix.rows > kMaxProfileSide)
    throw std::invalid_argument("picture: the engine makes no profile of a picture of " +
                                std::to_string(width) + " x " + std::to_string(height) + " pixels (too small)");
  auto profile = std::make_shared<Profile>();
  profile->grid = profile_as_read(matrix);
  profile->depth_limit = par.DepthLimit;
  profile->quality = std::make_shared<QualityMap>(std::move(check.map));
  return profile;
}

// The heights the profile has, NaN where it has none, as profile_field marks them.
HeightField profile_heights(const Profile& p) {
  return profile_field(p.grid.heights, p.grid.step_x, p.grid.step_y, p.depth_limit, "");
}

std::shared_ptr<Profile> profile_of_array(const py::handle& object, double step_x, double step_y, double depth_limit) {
  checked("step_x", step_x, {0.0, std::numeric_limits<double>::max()});
  checked("step_y", step_y, {0.0, std::numeric_limits<double>::max()});
  checked("depth_limit", depth_limit, domains::any);
  const auto heights = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(object);
  if (!heights) throw py::type_error("heights: expected a 2-D array of numbers");
  if (heights.ndim() != 2)
    throw std::invalid_argument("heights: the array has " + std::to_string(heights.ndim()) +
                                " dimensions; a profile has 2 (rows, columns)");
  const py::ssize_t rows = heights.shape(0), cols = heights.shape(1);
  if (rows < 1 || cols < 1 || rows > kMaxProfileSide || cols > kMaxProfileSide)
    throw std::invalid_argument("heights: a profile has 1 to " + std::to_string(kMaxProfileSide) +
                                " points on either side, not " + std::to_string(cols) + " x " + std::to_string(rows));
  auto profile = std::make_shared<Profile>();
  profile->grid.step_x = step_x;
  profile->grid.step_y = step_y;
  profile->grid.heights = HeightMatrix(static_cast<int>(cols), static_cast<int>(rows));
  profile->depth_limit = depth_limit;
  const auto cells = heights.unchecked<2>();
  for (py::ssize_t y = 0; y < rows; ++y)
    for (py::ssize_t x = 0; x < cols; ++x) {
      const double z = cells(y, x);
      // No data as the engine marks it: its depth limit.
      profile->grid.heights(static_cast<int>(x), static_cast<int>(y)) = std::isfinite(z) ? z : depth_limit;
    }
  return profile;
}

}  // namespace

void bind_pictures(py::module_& m) {
  py::class_<Profile, std::shared_ptr<Profile>>(
      m, "Profile",
      "A profile of heights as the fringe-analysis engine makes it and its profile file reads back\n"
      "(every height rounded to six decimals and read as a 32-bit float).\n\n"
      "heights is a float64 array [row, column] in mm, row 0 the file's first row (the engine's\n"
      "row 0: the bottom of the camera picture; the workbench's maps show it at the top), NaN\n"
      "where the engine has no height (it writes its DepthLimit there). step_x and step_y are the\n"
      "spacing in mm per point.")
      .def(py::init([](const py::object& heights, double step_x, double step_y, double depth_limit) {
             return profile_of_array(heights, step_x, step_y, depth_limit);
           }),
           py::arg("heights"), py::arg("step_x"), py::arg("step_y"),
           py::arg("depth_limit") = -10.0,
           "A profile of your own heights (mm, NaN or inf where there is none; the array is copied).")
      .def_property_readonly("heights", [](const Profile& p) { return field_array(profile_heights(p)); },
                             "Heights in mm, float64 [row, column], NaN where there is no data (a new array).")
      .def_property_readonly("step_x", [](const Profile& p) { return p.grid.step_x; }, "mm per point across.")
      .def_property_readonly("step_y", [](const Profile& p) { return p.grid.step_y; }, "mm per point down.")
      .def_property_readonly("depth_limit", [](const Profile& p) { return p.depth_limit; },
                             "The height (mm) at or below which a point has no data.")
      .def_property_readonly("shape", [](const Profile& p) { return py::make_tuple(p.grid.heights.ny(), p.grid.heights.nx()); },
                             "(rows, columns) of the grid.")
      .def_property_readonly("quality", [](const Profile& p) { return p.quality; },
                             "The measurement's quality on the profile's grid (a fringe.Quality); None for a "
                             "profile of your own heights.")
      .def("__repr__", [](const Profile& p) {
        return "<fringe.Profile " + std::to_string(p.grid.heights.nx()) + " x " + std::to_string(p.grid.heights.ny()) +
               " points, step " + std::to_string(p.grid.step_x) + " mm>";
      });

  m.def(
      "synthesize",
      [](std::optional<Workspace> workspace, int channel, std::optional<int> x_pixels, std::optional<int> y_pixels,
         std::optional<double> pixel_size, std::optional<double> period, std::optional<double> angle,
         std::optional<double> radius, std::optional<double> offset_x, std::optional<double> offset_y,
         std::optional<std::string> surface, double contrast, double noise, double max_noise, Seed seed) {
        channel = channel_argument(channel);
        const SynthesisOverrides overrides{x_pixels, y_pixels, pixel_size, period, angle, radius, offset_x, offset_y, surface};
        SimParams params = synthesis_params(workspace, channel, overrides);
        params.dynamic = checked("contrast", contrast, domains::unit);
        params.noise = checked("noise", noise, domains::unit);
        const auto levels = static_cast<int32_t>(checked("max_noise", max_noise, domains::max_noise));
        uint64_t generator = seeded_state(seed_argument(seed));
        GreyImageOwner picture;
        {
          py::gil_scoped_release release;
          picture = make_fringe_picture(params, levels, kAdditiveRange, generator);
        }
        if (!picture) throw std::bad_alloc();
        return picture_array(*picture);
      },
      py::arg("workspace") = py::none(), py::kw_only(), py::arg("channel") = 0, py::arg("x_pixels") = py::none(),
      py::arg("y_pixels") = py::none(), py::arg("pixel_size") = py::none(), py::arg("period") = py::none(),
      py::arg("angle") = py::none(), py::arg("radius") = py::none(), py::arg("offset_x") = py::none(),
      py::arg("offset_y") = py::none(), py::arg("surface") = py::none(), py::arg("contrast") = 1.0,
      py::arg("noise") = 0.0, py::arg("max_noise") = 64, py::arg("seed") = 1,
      R"(The camera picture of the fringes on the surface, as `fringe simulate` writes it.

Returns a uint8 array (rows, columns), row 0 at the top as the picture is shown. The
settings come from the workspace's channel (its settings files) when one is given, else
from the workbench's defaults (1280 x 1024 pixels of 0.01 mm, period 10 px, angle 30 deg,
sphere of radius 7.5 mm); each keyword given replaces one: x_pixels, y_pixels (1..4096),
pixel_size (mm), period (px), angle (deg), radius (mm), offset_x, offset_y (mm, apex from
the picture's centre), surface ("sphere" or "biconic:rx=7.6,ry=7.9,axis=30,q=-0.2", either with cones
"sphere:cone=10/0.5/-1/0.8": height in microns, centre x and y and Gaussian sigma in mm).
contrast and noise lie in 0..1, max_noise is a whole number of grey levels 0..255, seed a
whole number 0..4294967295. Without noise the picture does not depend on the seed. For
the same settings and seed the bytes are those of `fringe simulate --seed`. Raises
ValueError for a value outside its domain, OSError for a settings file that is missing.)");

  m.def(
      "read_picture",
      [](const std::filesystem::path& path) {
        GreyImageOwner picture;
        {
          py::gil_scoped_release release;
          picture = read_camera_picture(path.string());
        }
        return picture_array(*picture);
      },
      py::arg("path"),
      R"(A camera picture (BMP, PNG or TIFF; grey or colour, 8 or 16 bits) as the engine takes it:
a uint8 array (rows, columns), row 0 at the top. Colour becomes grey as the engine's reader
makes it. Raises OSError naming the file when it cannot be opened or read.)");

  m.def(
      "scan",
      [](const py::object& picture, const py::object& settings, int channel, const std::string& section,
         const py::object& reference, std::optional<double> min_valid) {
        channel = channel_argument(channel);
        GreyImageOwner image = grey_image_of(picture, "picture");
        GreyImageOwner reference_image = reference.is_none() ? nullptr : grey_image_of(reference, "reference");
        const ScanSettings scan_settings = scan_settings_of(settings, channel, section);
        QualityCheck check = quality_check_of(min_valid);
        py::gil_scoped_release release;
        return scan_picture(std::move(image), std::move(reference_image), scan_settings, check);
      },
      py::arg("picture"), py::arg("settings"), py::kw_only(), py::arg("channel") = 0,
      py::arg("section") = std::string(scan_section), py::arg("reference") = py::none(),
      py::arg("min_valid") = py::none(),
      (std::string(R"(The fringe-analysis engine on one picture: returns a Profile.

picture: a 2-D uint8 array, row 0 at the top (as synthesize and read_picture give it); an
array that is not contiguous is copied, the array itself is never changed. settings: a
Workspace (its channel's scan settings file), the path of a scan settings file (read from
`section`), or a dict of the engine's keys and values ({"LambdaF": 10, "CamResX": 0.01});
keys left out keep the engine's defaults, and the settings are checked as `fringe scan`
checks them. reference: a picture of the same size the heights are taken relative to
(ValueError naming both sizes for another size).
The numbers are those of `fringe scan` with the profile file read back. Raises TypeError
for an array that is not uint8, ValueError for a bad shape or bad settings, OSError for a
settings file that is missing.
)") + kQualityDoc).c_str());
}
