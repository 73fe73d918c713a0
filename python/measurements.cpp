// fringe.Workspace, init_workspace, measure, compare, analyse and export.
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>
#include <stdexcept>

#include "analysis/reference_sphere.h"
#include "analysis/surface_figures.h"
#include "common/errors.h"
#include "common/round_trip_number.h"
#include "common/text_to_number.h"
#include "common/settings_file.h"
#include "common/work_files.h"
#include "formats/height_field_files.h"
#include "python/arrays.h"
#include "python/results.h"
#include "render/colour_map.h"
#include "runs/channel_frames.h"
#include "exports/figures_json.h"
#include "exports/height_export.h"
#include "settings/surface_settings.h"
#include "settings/workspace_settings.h"
#include "scan/default_par.h"
#include "scan/private_profile.h"

double checked(const char* name, double value, const NumberDomain& domain) {
  require_in_domain(name, value, domain);
  return value;
}

uint32_t seed_argument(double seed) { return static_cast<uint32_t>(checked("seed", seed, domains::seed)); }

int channel_argument(int channel) { return static_cast<int>(checked("channel", channel, domains::channel)); }

std::string max_noise_text(double max_noise) {
  return plain_number_text(checked("max_noise", max_noise, domains::max_noise));
}

namespace {

MethodSettings overridden_method(const MethodSettings& file, const MethodOverrides& overrides) {
  return in_python_words([&] { return apply_method_overrides(file, overrides); });
}

}  // namespace

MethodSettings method_settings_of(const std::optional<Workspace>& workspace, int channel,
                                  const MethodOverrides& overrides) {
  MethodSettings file;
  if (workspace) {
    const ChannelSettings files = read_workspace_settings(workspace->path, channel);
    file = read_method_settings(files.method, workspace_file(workspace->path, method_file(files.channel)));
  }
  return overridden_method(file, overrides);
}

MethodOverrides method_arguments(std::optional<std::string> method, std::optional<int> steps,
                                 const py::object& periods, std::optional<double> gamma,
                                 std::optional<double> blur, std::optional<int> bits,
                                 std::optional<double> ambient) {
  MethodOverrides o;
  o.method = std::move(method);
  o.steps = steps;
  o.gamma = gamma;
  o.blur = blur;
  o.bits = bits;
  o.ambient = ambient;
  if (periods.is_none()) return o;
  if (py::isinstance<py::str>(periods)) {
    o.periods = periods.cast<std::string>();
    return o;
  }
  if (!py::isinstance<py::iterable>(periods))
    throw py::type_error("periods: expected numbers (coarse to fine) or a text \"1280,80,10\"");
  std::string text;
  for (const py::handle& period : periods) {
    if (!py::isinstance<py::float_>(period) && !py::isinstance<py::int_>(period))
      throw py::type_error("periods: expected numbers (coarse to fine) or a text \"1280,80,10\"");
    // The shortest text that reads back: the method sees exactly the numbers given.
    text += (text.empty() ? "" : ",") + round_trip_text(period.cast<double>());
  }
  o.periods = text;
  return o;
}

const char* const kMethodArgumentsDoc = R"(
The method arguments stand in for the workspace's method file (method.ini /
method_1.ini) one by one, as the tool's options of the same names do; None keeps the
file's value (without a file: quadrature, the engine's own measurement of one picture).
method: "quadrature", "phase-shift" or "fourier". steps: phase steps per period of
phase-shift, a whole number 3..64. periods: the fringe periods of phase-shift in pixels,
coarse to fine, as numbers [1280, 80, 10] or a text "1280,80,10" (default: the scan
settings' LambdaF; the single-frame methods take the finest). gamma: projector gamma,
> 0 (1: none). blur: defocus, Gaussian sigma in pixels, 0..4096 (0: none). bits: camera
bit depth, 8..16 (quadrature scans 8-bit pictures only). ambient: constant ambient
level, grey levels, 0..254. A value outside its domain raises ValueError in the tool's
words ("steps: 2 must lie between 3 and 64").)";

namespace {

// A measurement context per thread: the engine's planes are kept from one
// measurement of a thread to its next, and threads never share one.
MeasurementContext& thread_context() {
  thread_local MeasurementContext context;
  return context;
}

py::dict geometry_dict(const ProfileGeometry& g) {
  py::dict d;
  d["step_x"] = g.step_x;
  d["step_y"] = g.step_y;
  d["cols"] = g.cols;
  d["rows"] = g.rows;
  d["field_x"] = g.field_x;
  d["field_y"] = g.field_y;
  return d;
}

// The keys and values of `fringe measure --json` for the residual.
py::dict statistics_dict(const Comparison& c) {
  py::dict d;
  d["field_mm"] = c.maps.profile.field_x;
  d["mask_radius_mm"] = c.mask_radius;
  d["mask_cells"] = c.stats.count;
  d["pv_um"] = c.stats.pv * kMicronsPerMm;
  d["rms_um"] = c.stats.rms * kMicronsPerMm;
  d["mean_um"] = c.stats.mean * kMicronsPerMm;
  return d;
}

bool outside_mask(const Comparison& c, int x, int y) {
  const double field = c.maps.profile.field_x;
  return !in_evaluation_mask(field, field * 0.5, field * 0.5, c.mask_radius, x, y);
}

ZernikeReference reference_named(const std::string& word) {
  if (word == "set") return ZernikeReference::set_sphere;
  if (word == "best-fit") return ZernikeReference::best_fit_sphere;
  throw std::invalid_argument("reference: \"" + word + "\" is neither \"set\" nor \"best-fit\"");
}

py::object figures_dict(const Comparison& c, int order, const std::string& reference, double pupil) {
  FigureOptions options;
  options.zernike_order = static_cast<int>(checked("order", order, {0.0, kMaxZernikeOrder, true}));
  options.reference = reference_named(reference);
  options.pupil_diameter = checked("pupil", pupil, {0.1, 20.0});
  std::string json;
  {
    py::gil_scoped_release release;
    const SurfaceFigures figures = surface_figures(
        {c.maps.measured_map, c.maps.sphere_map, c.maps.profile.field_x, c.mask_radius}, options);
    json = surface_figures_json(c.channel, figures);
  }
  // From the tool's own text: the same keys, and numbers that read back exactly.
  return py::module_::import("json").attr("loads")(json);
}

// The maps of the surface figures as arrays [y, x], NaN without a value; a
// map that cannot be made is None.
py::dict figure_maps(const Comparison& c) {
  std::optional<SurfaceFigures> figures;
  {
    py::gil_scoped_release release;
    figures = surface_figures({c.maps.measured_map, c.maps.sphere_map, c.maps.profile.field_x, c.mask_radius});
  }
  const auto array = [](const std::optional<HeightMatrix>& map) -> py::object {
    if (!map) return py::none();
    return map_array(*map);
  };
  py::dict maps;
  maps["axial_D"] = array(figures->axial_power);
  maps["tangential_D"] = array(figures->tangential_power);
  maps["refractive_D"] = array(figures->refractive_power);
  maps["elevation_sphere_um"] = array(figures->elevation_to_sphere);
  maps["elevation_toric_um"] = array(figures->elevation_to_toric);
  return maps;
}

std::vector<std::string> export_files(const Comparison& c, const std::string& base,
                                      const std::vector<std::string>& format_names, const std::string& what) {
  std::vector<HeightFormat> formats;
  for (const std::string& name : format_names) {
    const std::optional<HeightFormat> format = height_format_named(name);
    if (!format) throw std::invalid_argument("formats: '" + name + "' is not a height format (gsf, csv, xyz, ply, png)");
    if (std::find(formats.begin(), formats.end(), *format) == formats.end()) formats.push_back(*format);
  }
  if (formats.empty()) throw std::invalid_argument("formats: name at least one of gsf, csv, xyz, ply, png");
  if (what != "residual" && what != "profile")
    throw std::invalid_argument("what: \"" + what + "\" is neither \"residual\" nor \"profile\"");
  const auto* measurement = dynamic_cast<const MeasurementResult*>(&c);
  if (what == "profile" && (measurement == nullptr || !measurement->profile))
    throw std::invalid_argument("what: \"profile\" needs a measurement (a comparison keeps no profile)");
  std::vector<std::string> written;
  py::gil_scoped_release release;
  HeightExport data;
  if (what == "profile") {
    data = profile_export(c.channel, measurement->profile->grid, measurement->profile->depth_limit);
  } else {
    Picture map_image(kMapSide, kMapSide);
    // The colour range "profile" draws the channel map in.
    render_full_map(c.maps.height_map, map_image, -0.005, 0.005);
    data = residual_export(c.channel, c.maps.height_map, c.maps.measured_map, c.maps.profile, c.mask_radius, map_image);
  }
  for (const HeightFormat format : formats) {
    const std::string file = base + height_format_extension(format);
    write_height_export(data, format, file);
    written.push_back(file);
  }
  return written;
}

}  // namespace

Workspace open_workspace(const std::filesystem::path& path) {
  const std::string name = path.string();
  std::error_code error;
  if (!std::filesystem::exists(path, error)) throw directory_error(FileAction::open, name, ": no such directory");
  if (!std::filesystem::is_directory(path, error)) throw directory_error(FileAction::open, name, ": not a directory");
  return Workspace{std::filesystem::absolute(path).lexically_normal().string()};
}

void bind_measurements(py::module_& m) {
  py::class_<Workspace>(m, "Workspace",
                        R"(A workspace folder holding a channel's settings files (scnmod.ini and image.ini
for channel 0, scnmod_1.ini and image_1.ini for channel 1, surface.ini / surface_1.ini
when the channel simulates other than its sphere, method.ini / method_1.ini when it
measures by another method than the engine's quadrature or with error sources), as
`fringe init` writes them.

The files are read, and checked as the tool checks them, each time a function uses the
workspace, from the folder's path: the process's working directory is never changed, so
threads use workspaces side by side. Raises OSError when the folder does not exist.)")
      .def(py::init(&open_workspace), py::arg("path"), "Opens the workspace folder at `path` (str or os.PathLike).")
      .def_property_readonly("path", [](const Workspace& w) { return w.path; }, "The folder, absolute.")
      .def(
          "settings",
          [](const Workspace& w, int channel) {
            const ChannelSettings s = read_workspace_settings(w.path, channel_argument(channel));
            py::dict d;
            d["scan"] = s.scan;
            d["image"] = s.image;
            d["surface"] = s.surface;
            d["method"] = s.method;
            return d;
          },
          py::arg("channel") = 0,
          "The channel's settings files as lists of lines: {'scan': [...], 'image': [...], 'surface': [...],"
          " 'method': [...]} (surface and method empty without their files). Raises OSError for a missing file, ValueError for a"
          " value that is not a number.")
      .def("__repr__", [](const Workspace& w) { return "fringe.Workspace('" + w.path + "')"; });
  // A path where a workspace is asked for opens that workspace: measure("w")
  // is measure(Workspace("w")), with Workspace's refusal of a missing folder.
  py::implicitly_convertible<std::filesystem::path, Workspace>();

  m.def(
      "init_workspace",
      [](const std::filesystem::path& path, bool overwrite) {
        std::error_code error;
        std::filesystem::create_directories(path, error);
        if (error) throw directory_error(FileAction::create, path.string(), ": " + error.message());
        if (overwrite)
          write_default_settings(path.string());
        else
          write_missing_default_settings(path.string());
        return open_workspace(path);
      },
      py::arg("path"), py::kw_only(), py::arg("overwrite") = false,
      "Writes the four default settings files into the folder (created when missing), as `fringe init`"
      " does, and returns its Workspace. Settings files that exist are kept as they are, so that a script"
      " may call it on every run without losing edited settings; overwrite=True writes the defaults over"
      " them, as `fringe init --force` does.");

  py::class_<Comparison, std::shared_ptr<Comparison>>(
      m, "Comparison",
      R"(Heights compared with the perfect sphere through their apex, as "profile" does it: maps
of 256 x 256 cells over the field (float64 arrays [y, x] in mm, row 0 at the top as the
workbench shows them).

residual: measured minus sphere inside the evaluation mask, NaN outside the mask and where
the measurement has no height. measured: the profile's centre square as read back (single
gaps filled), NaN where it has no height. sphere: the perfect sphere, at every cell.
pv_um, rms_um, mean_um and mask_cells are the tool's statistics of the residual inside
the mask (the numbers `fringe measure` prints); statistics holds them with field_mm and
mask_radius_mm under the keys of `fringe measure --json`.)")
      .def_property_readonly("residual", [](const Comparison& c) {
        return map_array(c.maps.height_map, [&c](int x, int y) {
          return outside_mask(c, x, y) || c.maps.measured_map(x, y) == kNoHeight;
        });
      }, "Residual to the sphere, mm, NaN outside the mask or without data.")
      .def_property_readonly("measured", [](const Comparison& c) {
        return map_array(c.maps.measured_map, [&c](int x, int y) { return c.maps.measured_map(x, y) == kNoHeight; });
      }, "Measured heights, mm, NaN without data.")
      .def_property_readonly("sphere", [](const Comparison& c) { return map_array(c.maps.sphere_map); },
                             "The perfect sphere subtracted, mm.")
      .def_property_readonly("channel", [](const Comparison& c) { return c.channel; }, "The channel, 0 or 1.")
      .def_property_readonly("mask_radius", [](const Comparison& c) { return c.mask_radius; },
                             "Radius of the evaluation mask, mm.")
      .def_property_readonly("geometry", [](const Comparison& c) { return geometry_dict(c.maps.profile); },
                             "Spacing (step_x, step_y, mm per profile point), side of the square crop "
                             "(cols, rows) and extent of the map (field_x, field_y, mm).")
      .def_property_readonly("statistics", &statistics_dict,
                             "{field_mm, mask_radius_mm, mask_cells, pv_um, rms_um, mean_um} as `fringe measure --json`.")
      .def_property_readonly("pv_um", [](const Comparison& c) { return c.stats.pv * kMicronsPerMm; },
                             "Peak to valley of the residual inside the mask, microns.")
      .def_property_readonly("rms_um", [](const Comparison& c) { return c.stats.rms * kMicronsPerMm; },
                             "RMS of the residual about its mean inside the mask, microns.")
      .def_property_readonly("mean_um", [](const Comparison& c) { return c.stats.mean * kMicronsPerMm; },
                             "Mean of the residual inside the mask, microns.")
      .def_property_readonly("mask_cells", [](const Comparison& c) { return c.stats.count; },
                             "Cells inside the mask the statistics are over.")
      .def("figures", &figures_dict, py::arg("order") = kDefaultZernikeOrder, py::arg("reference") = "set",
           py::arg("pupil") = kDefaultPupilDiameter, "The same as fringe.analyse(self, order, reference, pupil).")
      .def("maps", &figure_maps,
           "The maps of the surface figures, float64 arrays [y, x] (row 0 at the top), NaN where a map has no "
           "value, None for a map that cannot be made: axial_D, tangential_D, refractive_D (Snell's law, n = "
           "1.376, on the 337 / radius scale), elevation_sphere_um and elevation_toric_um (measured less the "
           "best-fit sphere or toric ellipsoid).");

  py::class_<MeasurementResult, Comparison, std::shared_ptr<MeasurementResult>>(
      m, "Measurement",
      R"(A measurement as `fringe measure` makes it: the Comparison (maps and statistics), the
profile the engine made (profile), the seed, contrast and noise, and the fringe picture
(picture, a uint8 array, row 0 at the top) when measure was asked to keep it, else None.
Of frames deeper than 8 bits the picture is frame 0's top 8 bits, the picture
sim00.bmp / sim01.bmp holds and the window shows; synthesize_frames gives the
frames at their depth.)")
      .def_property_readonly("profile", [](const MeasurementResult& r) { return r.profile; },
                             "The engine's whole profile as read back (a Profile).")
      .def_property_readonly("quality", [](const MeasurementResult& r) { return r.profile->quality; },
                             "The measurement's quality on the profile's grid (a fringe.Quality; the profile's).")
      .def_property_readonly("seed", [](const MeasurementResult& r) { return r.seed; }, "Seed of the noise.")
      .def_property_readonly("contrast", [](const MeasurementResult& r) { return r.contrast; }, "Fringe contrast, 0..1.")
      .def_property_readonly("noise", [](const MeasurementResult& r) { return r.noise; }, "Noise weight, 0..1.")
      .def_property_readonly("picture", [](const MeasurementResult& r) -> py::object {
        if (!r.picture) return py::none();
        return picture_array(*r.picture);
      }, "The fringe picture (uint8, row 0 at the top) when measure(keep_picture=True), else None: "
         "frame 0 of a set, its top 8 bits for frames deeper than 8 bits (what sim00.bmp holds).")
      .def("__repr__", [](const MeasurementResult& r) {
        return "<fringe.Measurement channel " + std::to_string(r.channel) + ", seed " + std::to_string(r.seed) +
               ", RMS " + std::to_string(r.stats.rms * kMicronsPerMm) + " um>";
      });

  m.def(
      "measure",
      [](const WorkspaceArgument& workspace_argument, int channel, Seed seed, double noise, double contrast, double max_noise,
         std::optional<std::string> surface, bool keep_picture, std::optional<std::string> method,
         std::optional<int> steps, const py::object& periods, std::optional<double> gamma, std::optional<double> blur,
         std::optional<int> bits, std::optional<double> ambient, std::optional<double> min_valid) {
        const Workspace& workspace = workspace_argument.workspace;
        QualityCheck check = quality_check_of(min_valid);
        const MethodOverrides overrides = method_arguments(method, steps, periods, gamma, blur, bits, ambient);
        const uint32_t seed_value = seed_argument(seed);
        const double noise_value = checked("noise", noise, domains::unit);
        const double contrast_value = checked("contrast", contrast, domains::unit);
        const std::string max_noise_value = max_noise_text(max_noise);
        const int channel_value = channel_argument(channel);
        auto result = std::make_shared<MeasurementResult>();
        {
          // Everything from here on is plain C++ (the settings files read and
          // checked included): other Python threads run meanwhile.
          py::gil_scoped_release release;
          const std::optional<Surface> surface_value =
              surface ? std::optional<Surface>(parse_surface_text(*surface)) : std::nullopt;
          const ChannelSettings files = read_workspace_settings(workspace.path, channel_value);
          const MeasurementSettings s = in_python_words([&] {
            return measurement_settings(files, workspace_file(workspace.path, method_file(files.channel)), overrides,
                                        surface_value, contrast_value, noise_value, max_noise_value, seed_value);
          });
          const MeasurementParameters parameters = measurement_parameters(s);
          Measurement measured = measure(parameters, thread_context(), keep_picture, &check);
          result->channel = parameters.channel.channel;
          result->maps = std::move(measured.maps);
          result->mask_radius = measured.mask_radius;
          result->stats = mask_statistics(result->maps.height_map, result->maps.profile.field_x, result->mask_radius);
          result->seed = s.seed;
          result->contrast = s.contrast;
          result->noise = s.noise;
          result->params = measured.params;
          result->profile = std::make_shared<Profile>(Profile{std::move(measured.profile), parameters.channel.scan.DepthLimit,
                                                              std::make_shared<QualityMap>(std::move(check.map))});
          // Frames deeper than 8 bits: the picture the fringe image file holds of frame 0.
          if (measured.picture && measured.picture->type != 1)
            measured.picture = eight_bit_view(*measured.picture, measured.params.errors.bits);
          result->picture = std::move(measured.picture);
        }
        return result;
      },
      py::arg("workspace"), py::kw_only(), py::arg("channel") = 0, py::arg("seed") = 1, py::arg("noise") = 0.0,
      py::arg("contrast") = 1.0, py::arg("max_noise") = 64, py::arg("surface") = py::none(),
      py::arg("keep_picture") = false, py::arg("method") = py::none(), py::arg("steps") = py::none(),
      py::arg("periods") = py::none(), py::arg("gamma") = py::none(), py::arg("blur") = py::none(),
      py::arg("bits") = py::none(), py::arg("ambient") = py::none(), py::arg("min_valid") = py::none(),
      (std::string(R"(`fringe measure`: "apply" then "profile" of the workspace's channel, in memory.

seed (0..4294967295), noise and contrast (0..1), max_noise (whole grey levels 0..255) as
the tool's options; surface ("biconic:rx=7.6,ry=7.9,axis=30,q=-0.2" or "sphere", either with cones such as
",cone=10/0.5/-1/0.8": microns, mm, mm, sigma in mm) stands in
for the channel's surface file as --surface does. Returns a Measurement with the numbers
the tool prints for the same workspace and seed. The GIL is released while it runs, so
threads measure side by side. Raises ValueError for an argument outside its domain or a
settings value that is not a number, OSError for a missing settings file.
)") + kMethodArgumentsDoc + kQualityDoc).c_str());

  m.def(
      "compare",
      [](const Profile& profile, double radius, double mask_radius, int channel) {
        checked("radius", radius, domains::any);
        checked("mask_radius", mask_radius, {0.0, std::numeric_limits<double>::max()});
        auto result = std::make_shared<Comparison>();
        result->channel = channel_argument(channel);
        py::gil_scoped_release release;
        compare_with_sphere(profile.grid, result->maps, [=] { return SphereRadii{radius, mask_radius}; });
        result->mask_radius = mask_radius;
        result->stats = mask_statistics(result->maps.height_map, result->maps.profile.field_x, mask_radius);
        return result;
      },
      py::arg("profile"), py::kw_only(), py::arg("radius") = 7.5, py::arg("mask_radius") = 3.3,
      py::arg("channel") = 0,
      R"(A profile compared with the perfect sphere of `radius` (mm) through its apex inside the
mask of `mask_radius` (mm), as "profile" does it: returns a Comparison (residual, measured
and sphere maps, PV/RMS/mean of the residual inside the mask as the tool computes them).)");

  m.def("analyse", &figures_dict, py::arg("comparison"), py::kw_only(), py::arg("order") = kDefaultZernikeOrder,
        py::arg("reference") = "set", py::arg("pupil") = kDefaultPupilDiameter,
        R"(The figures of the measured surface, as `fringe analyse --json` prints them: a dict with
exactly its keys (channel, fit_radius_mm, fit_power_D, apex_x_mm, apex_y_mm, fit_rms_um,
apical_flat_mm, apical_steep_mm, apical_axis_deg, conic_q, conic_rms_um, flat_radius_mm,
steep_radius_mm, flat_k_D, steep_k_D, axis_deg, zernike (a list of {j, n, m, name, um}),
zernike_rms_um, then the corneal aberrations pupil_mm, osa_um (OSA/ANSI coefficients j = 0..27),
hoa_rms_um, spherical_um, coma_um, trefoil_um and the keratoconus indices central_k_D, i_s_D,
srax_deg, ast_D, kisa_percent, each index with its *_category) and values; a figure that is
not available (JSON null) is None.
order: radial order of the Zernike terms, 0..10; reference: "set" (the residual to the
set sphere) or "best-fit" (to the best-fit sphere); pupil: diameter of the aberrations' pupil, mm.)");

  m.def(
      "export",
      [](const Comparison& comparison, const std::filesystem::path& base, const std::vector<std::string>& formats,
         const std::string& what) { return export_files(comparison, base.string(), formats, what); },
      py::arg("comparison"), py::arg("base"), py::kw_only(),
      py::arg("formats") = std::vector<std::string>{"gsf", "csv", "xyz", "ply", "png"},
      py::arg("what") = "residual",
      R"(Writes base + ".gsf", ".csv", ".xyz", ".ply" and/or ".png" as `fringe export --format
... --what ...` does: the residual map (what="residual", 256 x 256 cells, no data outside
the mask) or the engine's whole profile (what="profile", a Measurement's). Returns the
files written. Raises ValueError for an unknown format or `what`, OSError for a file that
cannot be written (the files written before it stay).)");
}
