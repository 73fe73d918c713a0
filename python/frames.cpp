// fringe.synthesize_frames and fringe.scan_frames: the frame sets of the
// multi-frame methods (phase steps, several periods) and of Fourier analysis
// as arrays, made and measured as `fringe simulate` and `fringe scan --method`
// make and measure them through files.
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/height_text_file.h"
#include "common/settings_file.h"
#include "methods/method_engine.h"
#include "methods/step_check.h"
#include "python/arrays.h"
#include "python/results.h"
#include "settings/method_settings.h"
#include "runs/simulation_run.h"
#include "settings/channel_parameters.h"
#include "simulation/fringe_frames.h"
#include "simulation/random_generator.h"

namespace {

// The methods' work rows and transform plans stay with the thread from one
// set to its next; threads never share them.
MethodEngine& thread_method_engine() {
  thread_local MethodEngine engine;
  return engine;
}

// The tool prints the ambiguity of a coarsest period that does not span the
// field on stderr and goes on; here it is a Python warning, which a caller can
// filter or turn into an error.
void warn_of_coarse_period(const MethodSettings& method, double lambda_f, int width) {
  const std::string warning = coarse_period_warning(method, lambda_f, width);
  if (warning.empty()) return;
  if (PyErr_WarnEx(PyExc_UserWarning, warning.c_str(), 1) != 0) throw py::error_already_set();
}

std::string frame_size_text(const GreyImage& frame) {
  return std::to_string(frame.width) + " x " + std::to_string(frame.height);
}

// The frames a caller gives: a list or tuple of 2-D arrays, or one 3-D array
// of them stacked; nothing else is taken (a single 2-D array would otherwise
// pass as a set of rows).
std::vector<py::object> frame_objects(const py::handle& frames) {
  if (py::isinstance<py::array>(frames)) {
    const auto stack = py::reinterpret_borrow<py::array>(frames);
    if (stack.ndim() != 3)
      throw std::invalid_argument("frames: an array of " + std::to_string(stack.ndim()) +
                                  " dimensions; give a list of 2-D arrays (rows, columns), one a frame");
  } else if (!py::isinstance<py::list>(frames) && !py::isinstance<py::tuple>(frames)) {
    throw py::type_error("frames: expected a list of 2-D numpy arrays, got " +
                         std::string(py::str(py::type::of(frames).attr("__name__"))));
  }
  std::vector<py::object> objects;  // each holds its frame (a stack's views too) alive
  const py::list items(py::reinterpret_borrow<py::object>(frames));
  for (const py::handle& item : items) objects.push_back(py::reinterpret_borrow<py::object>(item));
  return objects;
}

// Each frame as an engine image, all of the first one's size and depth.
std::vector<GreyImageOwner> frame_images(const std::vector<py::object>& objects) {
  std::vector<GreyImageOwner> images;
  images.reserve(objects.size());
  for (std::size_t k = 0; k < objects.size(); ++k) {
    const std::string name = "frames[" + std::to_string(k) + "]";
    images.push_back(frame_image_of(objects[k], name));
    const GreyImage& first = *images.front();
    const GreyImage& frame = *images.back();
    if (frame.width != first.width || frame.height != first.height || frame.type != first.type)
      throw std::invalid_argument(name + ": " + frame_size_text(frame) + " pixels of " +
                                  (frame.type == 2 ? "16" : "8") + " bits, unlike the first frame's " +
                                  frame_size_text(first) + " of " + (first.type == 2 ? "16" : "8"));
  }
  return images;
}

py::list synthesize_frames(const std::optional<Workspace>& workspace, int channel,
                           const SynthesisOverrides& overrides, double contrast, double noise, double max_noise,
                           double seed, const MethodOverrides& method_overrides) {
  channel = channel_argument(channel);
  SimParams params = synthesis_params(workspace, channel, overrides);
  params.dynamic = checked("contrast", contrast, domains::unit);
  params.noise = checked("noise", noise, domains::unit);
  const auto levels = static_cast<int32_t>(checked("max_noise", max_noise, domains::max_noise));
  uint64_t generator = seeded_state(seed_argument(seed));
  const MethodSettings method = method_settings_of(workspace, channel, method_overrides);
  params.errors = method.errors;
  // The synthesis period stands in for the scan settings' LambdaF, as in "apply".
  const FrameSet set = method_frame_set(method, params.fringe_period);
  warn_of_coarse_period(method, params.fringe_period, params.x_pixels);
  std::vector<GreyImageOwner> frames;
  {
    py::gil_scoped_release release;
    frames = make_fringe_frames(params, set, levels, kAdditiveRange, generator);
  }
  if (frames.empty()) throw std::bad_alloc();  // the sides were checked: only memory is left
  py::list out;
  for (const GreyImageOwner& frame : frames) out.append(frame_array(*frame));
  return out;
}

std::shared_ptr<Profile> scan_frames(const py::handle& frames, const MethodOverrides& method_overrides,
                                     const std::optional<Workspace>& workspace, int channel,
                                     const py::handle& settings, const std::string& section,
                                     std::optional<double> min_valid) {
  channel = channel_argument(channel);
  const MethodSettings method = method_settings_of(workspace, channel, method_overrides);
  if (method.method == FringeMethod::quadrature)
    throw std::invalid_argument("method: the frame set is measured by phase-shift or fourier; scan one picture "
                                "with the engine's quadrature by fringe.scan");
  ScanSettings scan;
  if (!settings.is_none())
    scan = scan_settings_of(settings, channel, section);
  else if (workspace)
    scan = scan_settings_of(py::cast(*workspace), channel, section);
  else
    scan = scan_settings_of(py::dict(), channel, section);  // the engine's defaults
  const ScnPar par = scan_par_of_lines(scan.lines, scan.section);
  const MethodPlan plan = method_plan(method, par.LambdaF);

  const std::vector<py::object> objects = frame_objects(frames);
  if (const std::string refusal = frame_count_refusal(plan, objects.size()); !refusal.empty())
    throw std::invalid_argument("frames: " + refusal);
  const std::vector<GreyImageOwner> images = frame_images(objects);
  warn_of_coarse_period(method, par.LambdaF, images.front()->width);

  std::vector<const GreyImage*> given;
  for (const GreyImageOwner& image : images) given.push_back(image.get());
  // The steps the frames hold against the plan, as the tool checks them.
  StepCheck steps;
  {
    py::gil_scoped_release release;
    steps = check_phase_steps(given, plan);
  }
  if (steps.verdict == StepCheck::Verdict::refused) throw std::invalid_argument("frames: " + steps.finding);
  if (steps.verdict == StepCheck::Verdict::warned && PyErr_WarnEx(PyExc_UserWarning, steps.finding.c_str(), 1) != 0)
    throw py::error_already_set();
  auto profile = std::make_shared<Profile>();
  profile->depth_limit = par.DepthLimit;
  QualityCheck check = quality_check_of(min_valid);
  check.settings_min_valid = method.min_valid;
  {
    py::gil_scoped_release release;
    GridGuard measured;
    checked_method_profile(thread_method_engine(), given, plan, par, measured.grid, &check, "frames");
    const ScnMatrix& matrix = measured.grid;
    if (matrix.values == nullptr || matrix.cols < 1 || matrix.rows < 1 || matrix.cols > kMaxProfileSide ||
        matrix.rows > kMaxProfileSide)
      throw std::invalid_argument("frames: the method makes no profile of frames of " +
                                  frame_size_text(*images.front()) + " pixels (too small)");
    profile->grid = profile_as_read(matrix);
    profile->quality = std::make_shared<QualityMap>(std::move(check.map));
  }
  return profile;
}

const char* const kSynthesizeFramesDoc = R"(The frame set of a multi-frame method (or the one frame of Fourier analysis) of the
fringes on the surface, as `fringe simulate` writes it for the same settings and seed.

Returns a list of 2-D arrays (rows, columns), row 0 at the top as synthesize gives it:
uint8 for 8-bit frames, uint16 (levels 0 .. 2**bits - 1) for deeper ones. They come in
the order projected: period by period, coarse to fine, the steps of each (step k shifted
by 2 pi k / steps), the frames the tool writes as sim00_f00.bmp, sim00_f01.bmp, ... (for
deeper frames 16-bit PNG sim00_f00.png, sim00_f01.png, ...; sim00.bmp holds frame 0 too).
The noise is drawn frame after frame from the one seed.

workspace: a Workspace whose channel's settings files (and method file) the frames are
made from; None: the workbench's defaults (1280 x 1024 pixels of 0.01 mm, period 10 px,
angle 30 deg, sphere of radius 7.5 mm, the method file's defaults).
channel: the workspace's channel, 0 or 1.
x_pixels, y_pixels: picture size, 1..4096 each; None keeps the workspace's.
pixel_size: mm per pixel; period: fringe period in pixels, the one the frames are made
with when periods is None; angle: projection angle, deg; radius: sphere radius, mm;
offset_x, offset_y: apex from the picture's centre, mm; surface: "sphere" or
"biconic:rx=7.6,ry=7.9,axis=30,q=-0.2", either with cones "...,cone=HEIGHT_UM/X_MM/Y_MM/SIGMA_MM". Each None keeps the workspace's value.
contrast, noise: 0..1; max_noise: whole grey levels 0..255; seed: whole number
0..4294967295 (without noise the frames do not depend on it).
method: "phase-shift" (the default here), "fourier" (one frame) or "quadrature" (the one
picture synthesize makes); None takes the workspace's method file.
)";

const char* const kScanFramesDoc = R"(A frame set measured by its method: returns the Profile `fringe scan --method ... --ini
... FRAME...` writes (read back as fringe.scan's profiles are).

frames: a list (or tuple) of 2-D arrays, row 0 at the top, all of one shape and one dtype,
uint8 or uint16 (deeper frames as synthesize_frames gives them: the method takes the
levels as they are), in the order synthesize_frames gives them: period by period, coarse
to fine, the steps of each; a 3-D array of frames stacked on its first axis is taken too.
The arrays are copied, never changed.
method: "phase-shift" (the default here) or "fourier"; None takes the workspace's method
file. "quadrature" is refused: scan its one picture with fringe.scan.
steps: phase steps per period of phase-shift, 3..64; None: the workspace's method file,
else 4.
periods: the periods the frames were made with, pixels, coarse to fine, as numbers
[480, 40, 10] or a text "480,40,10"; None: the method file's, else the scan settings'
LambdaF. The finest is triangulated; Fourier takes the finest alone.
workspace: a Workspace: its channel's method file under the arguments above and, when
settings is None, its channel's scan settings.
channel: the workspace's channel, 0 or 1.
settings: the scan settings as fringe.scan takes them (a Workspace, a scan settings
file's path read from `section`, or a dict of the engine's keys and values); None: the
workspace's, else the engine's defaults. They give the pixel sizes, the angle, the
evaluation ellipse, the flaw threshold and the no-data height; LambdaF only stands in for
periods not given.
section: the section of a settings file or dict (default "ScanParameter").

Raises ValueError naming what is wrong before anything is measured: a count of frames
other than the method takes, frames that differ in shape or dtype, steps outside 3..64,
periods not positive or not coarse to fine, bad settings; TypeError for frames that are
not arrays of uint8 or uint16; OSError for a settings file that is missing. A coarsest
period narrower than the frames gives a UserWarning (its first order is ambiguous), as
the tool warns.

The phase steps the frames hold are measured from the frames and checked against the
plan (2 pi k / steps), as the tool checks them: frames in reverse order, two frames
swapped, one picture twice, a frame without fringes or a set made for another step count
raise ValueError saying what was found, with the steps measured: "frames: frames 3 and 4
look swapped", frames counted from 0 as the list is. A small uniform step error gives a
UserWarning with the steps measured. A set that starts one step late cannot be told from
the frames: it shifts every height by the same amount. The GIL is released while the
steps are measured and while the method runs.)";

}  // namespace

void bind_frames(py::module_& m) {
  m.def(
      "synthesize_frames",
      [](std::optional<Workspace> workspace, int channel, std::optional<int> x_pixels, std::optional<int> y_pixels,
         std::optional<double> pixel_size, std::optional<double> period, std::optional<double> angle,
         std::optional<double> radius, std::optional<double> offset_x, std::optional<double> offset_y,
         std::optional<std::string> surface, double contrast, double noise, double max_noise, Seed seed,
         std::optional<std::string> method, std::optional<int> steps, const py::object& periods,
         std::optional<double> gamma, std::optional<double> blur, std::optional<int> bits,
         std::optional<double> ambient) {
        const SynthesisOverrides overrides{x_pixels, y_pixels, pixel_size, period, angle, radius, offset_x, offset_y, surface};
        const MethodOverrides method_overrides = method_arguments(method, steps, periods, gamma, blur, bits, ambient);
        return synthesize_frames(workspace, channel, overrides, contrast, noise, max_noise, seed.value, method_overrides);
      },
      py::arg("workspace") = py::none(), py::kw_only(), py::arg("channel") = 0, py::arg("x_pixels") = py::none(),
      py::arg("y_pixels") = py::none(), py::arg("pixel_size") = py::none(), py::arg("period") = py::none(),
      py::arg("angle") = py::none(), py::arg("radius") = py::none(), py::arg("offset_x") = py::none(),
      py::arg("offset_y") = py::none(), py::arg("surface") = py::none(), py::arg("contrast") = 1.0,
      py::arg("noise") = 0.0, py::arg("max_noise") = 64, py::arg("seed") = 1, py::arg("method") = "phase-shift",
      py::arg("steps") = py::none(), py::arg("periods") = py::none(), py::arg("gamma") = py::none(),
      py::arg("blur") = py::none(), py::arg("bits") = py::none(), py::arg("ambient") = py::none(),
      (std::string(kSynthesizeFramesDoc) + kMethodArgumentsDoc +
       R"(
Periods neither given nor in the method file: the synthesis period (`period`, else the
workspace's LambdaF), as "apply" takes it. A coarsest period narrower than the
picture gives a UserWarning, as the tool warns. Raises ValueError for a value outside its
domain, OSError for a settings file that is missing; the GIL is released while the frames
are made.)")
          .c_str());

  m.def(
      "scan_frames",
      [](const py::object& frames, std::optional<std::string> method, std::optional<int> steps,
         const py::object& periods, std::optional<Workspace> workspace, int channel, const py::object& settings,
         const std::string& section, std::optional<double> min_valid) {
        const MethodOverrides overrides =
            method_arguments(method, steps, periods, std::nullopt, std::nullopt, std::nullopt, std::nullopt);
        return scan_frames(frames, overrides, workspace, channel, settings, section, min_valid);
      },
      py::arg("frames"), py::kw_only(), py::arg("method") = "phase-shift", py::arg("steps") = py::none(),
      py::arg("periods") = py::none(), py::arg("workspace") = py::none(), py::arg("channel") = 0,
      py::arg("settings") = py::none(), py::arg("section") = std::string(scan_section),
      py::arg("min_valid") = py::none(), (std::string(kScanFramesDoc) + kQualityDoc).c_str());
}
