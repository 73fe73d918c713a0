#include "runs/simulation_run.h"

#include "settings/system_settings.h"

#include <algorithm>
#include <cmath>

#include "common/errors.h"
#include "common/text_to_number.h"
#include "common/work_files.h"
#include "render/binomial_filter.h"
#include "render/line_scan.h"
#include "runs/channel_frames.h"
#include "settings/surface_settings.h"
#include "settings/system_settings.h"
#include "simulation/fringe_frames.h"
#include "simulation/fringe_synthesis.h"
#include "simulation/random_generator.h"

namespace {

constexpr int kProgressMin = 0;
constexpr int kProgressMax = 100;

const char* const kCalculating = "calculating the image            ";
const char* const kFiltering[2] = {"binomial filter                   ",
                                   "binomial filter                     "};
const char* const kDone = "done                               ";

}  // namespace

const uint8_t* clamped_scan_line(const Picture& image, int row) {
  if (image.height() == 0) return nullptr;
  // The control is 256 high; a smaller picture (an image settings file edited
  // by hand) must not be read past its last row.
  const int last = std::min(kImageControlSide, image.height()) - 1;
  return image.row(std::clamp(row, 0, last));
}

void show_fringe_image(int channel, const char* fringe_file, const std::string& passes_text,
                       Picture& image, Picture& scan_plot, HeightMatrix& scratch_map,
                       RunObserver& observer) {
  const int c = channel == 1 ? 1 : 0;
  image.load_bmp(fringe_file);
  observer.picture_changed();

  observer.status(kFiltering[c]);
  binomial_filter(image, text_to_int(passes_text));
  observer.picture_changed();
  image.save_bmp(filtered_image_file(c), Durability::atomic_only);  // a working file

  // Row 128 from the top as the control shows it; columns 0..255. Columns the
  // picture does not have read as 0.
  const uint8_t* line = clamped_scan_line(image, kImageControlSide / 2);
  const int bpp = image.bytes_per_pixel();
  for (int p = 0; p < kMapSide; ++p) {
    const int column = kImageControlSide / 2 + p - 128;
    scratch_map(p, kScanRow) =
        line != nullptr && column < image.width() ? static_cast<double>(line[column * bpp]) : 0.0;
  }
  draw_scan_fixed_range(scan_plot, scratch_map, 113, 143, kScanRow, 0.0, 255.0);
  observer.picture_changed();

  observer.progress(static_cast<int>(std::nearbyint(kProgressMax * 1.0)));
  observer.status(kDone);
}

void run_simulation(const SimulationInputs& in, SimParams& params, Picture& image,
                    Picture& scan_plot, HeightMatrix& scratch_map, RunObserver& observer) {
  const int c = in.channel == 1 ? 1 : 0;
  observer.progress((kProgressMax - kProgressMin) / 2);
  observer.status(kCalculating);

  // A method file that cannot be taken stops the run before anything is drawn.
  const MethodSettings method = in.method ? *in.method : channel_method_settings(c);
  params.noise = in.noise;
  params.dynamic = in.dynamic;
  params.errors = method.errors;
  seed_random(in.seed);
  const int32_t max_noise = text_to_int(in.max_noise_text);
  require_usable_surface(params.surface);
  params.system = in.system ? *in.system : channel_system(c, params.x_pixels, params.y_pixels, params.radius);
  const char* const sim_file = c == 0 ? "sim00.bmp" : "sim01.bmp";
  if (method.classic()) {
    // An image that could not be created falls back to the file on disk; one
    // that could not be written must not pass for the new image.
    const int status = synthesize_fringe_image(params, sim_file, max_noise, kAdditiveRange);
    if (status < 0) throw file_error(FileAction::create, sim_file);
    if (status == 0) forget_channel_frames(c);
  } else {
    // The method's frames; frame 0 (or its top 8 bits) is the fringe image shown.
    const std::vector<GreyImageOwner> frames =
        make_fringe_frames(params, method_frame_set(method, params.fringe_period), max_noise, kAdditiveRange,
                           random_state);
    if (!frames.empty()) write_channel_frames(c, frames, method, params.fringe_period);
  }

  show_fringe_image(c, sim_file, in.passes_text, image, scan_plot, scratch_map, observer);
}

void run_simulation_unseen(const SimulationInputs& inputs, SimParams& params, RunObserver& observer) {
  constexpr int kScanPlotHeight = 42;  // the grey-level scan under the raw image
  Picture image(kImageControlSide, kImageControlSide, PixelFormat::indexed8);
  Picture scan_plot(kMapSide, kScanPlotHeight);
  HeightMatrix scratch_map;
  run_simulation(inputs, params, image, scan_plot, scratch_map, observer);
}
