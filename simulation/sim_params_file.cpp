#include "simulation/sim_params_file.h"

#include <cmath>
#include <limits>
#include <vector>

#include "common/errors.h"
#include "common/settings_file.h"
#include "common/text_to_number.h"

namespace {

double number_of(const std::vector<std::string>& lines, const char* key) {
  return text_to_double(settings_value(lines, key));
}

// Image sides are truncated towards zero. A value no 32-bit integer can hold
// is refused like any other text that is not a usable number.
int32_t truncated(const std::vector<std::string>& lines, const char* key) {
  const std::string text = settings_value(lines, key);
  const double value = std::trunc(text_to_double(text));
  if (!(value >= std::numeric_limits<int32_t>::min() &&
        value <= std::numeric_limits<int32_t>::max()))
    throw ConversionError("'" + text + "' is not a valid integer value");
  return static_cast<int32_t>(value);
}

}  // namespace

void load_sim_params(SimParams& params, const std::string& scan_file,
                     const std::string& image_file) {
  const std::vector<std::string> scan = read_lines(scan_file);
  params.pixel_size = number_of(scan, "CamResX");
  params.fringe_period = number_of(scan, "LambdaF");
  params.alpha_deg = number_of(scan, "Alpha");
  params.offset_x = number_of(scan, "MaskXOfs");
  params.offset_y = number_of(scan, "MaskYOfs");

  const std::vector<std::string> image = read_lines(image_file);
  params.x_pixels = truncated(image, "XPixels");
  params.y_pixels = truncated(image, "YPixels");
  params.radius = number_of(image, "Radius");
}
