#include "simulation/fringe_synthesis.h"

#include <cmath>
#include <cstddef>
#include <memory>
#include <new>
#include <numbers>
#include <vector>

#include "scan/grey_image.h"
#include "simulation/dark_level_shift.h"
#include "simulation/random_generator.h"
#include "simulation/shaped_random.h"

namespace {

// Dark level of fringes whose contrast is too low to reach grey level 0.
constexpr int kDarkFloor = 32;

// 0 for values that are not >= 0 (not-a-number included), 1 above 1.
double clamp_unit(double value) {
  if (!(value >= 0.0)) return 0.0;
  if (value > 1.0) return 1.0;
  return value;
}

struct ImageDeleter {
  void operator()(GreyImage* image) const { img_destroy(image); }
};

// The noise-free picture: geometry and contrast, no random draws.
class FringeLevels {
 public:
  FringeLevels(const SimParams& params, double contrast)
      : radius_(params.radius),
        radius_sq_(params.radius * params.radius),
        t_(std::tan(std::numbers::pi * params.alpha_deg / 180.0)),
        contrast_(contrast),
        period_mm_(params.pixel_size * params.fringe_period),
        shift_(dark_level_shift(contrast, kDarkFloor)),
        column_x_(static_cast<std::size_t>(params.x_pixels)),
        column_x_sq_(column_x_.size()),
        floor_level_(column_x_.size()) {
    // Everything that depends on the column alone, including the level on the
    // flat floor z = -R around the sphere.
    const double d = params.pixel_size;
    const double centre = (params.x_pixels - 1) * 0.5;
    for (std::size_t j = 0; j < column_x_.size(); ++j) {
      const double x = d * (static_cast<double>(j) - centre) - params.offset_x;
      column_x_[j] = x;
      column_x_sq_[j] = x * x;
      floor_level_[j] = level(x, -radius_);
    }
  }

  // Levels of the row whose y (mm from the apex, upwards) squares to y_sq.
  void fill_row(double y_sq, double* levels) const {
    for (std::size_t j = 0; j < column_x_.size(); ++j) {
      const double r_sq = column_x_sq_[j] + y_sq;
      if (r_sq < radius_sq_) {
        // z is 0 at the apex and falls to -R at the rim.
        levels[j] = level(column_x_[j], std::sqrt(radius_sq_ - r_sq) - radius_);
      } else {
        levels[j] = floor_level_[j];
      }
    }
  }

 private:
  // Height z moves the vertical fringes sideways by z * t; phase 0 at the apex.
  double level(double x, double z) const {
    const double phi = 2.0 * std::numbers::pi * (x + z * t_) / period_mm_;
    return (contrast_ * std::cos(phi) + 1.0) * 127.0 - shift_;
  }

  double radius_;
  double radius_sq_;
  double t_;
  double contrast_;
  double period_mm_;
  double shift_;
  std::vector<double> column_x_;
  std::vector<double> column_x_sq_;
  std::vector<double> floor_level_;
};

}  // namespace

int synthesize_fringe_image(const SimParams& params, const char* path, int32_t max_noise,
                            int32_t additive_range) {
  const int32_t width = params.x_pixels;
  const int32_t height = params.y_pixels;
  const double g = clamp_unit(params.dynamic);
  const double m = clamp_unit(params.noise);

  std::unique_ptr<GreyImage, ImageDeleter> image(img_create(1, width, height));
  if (!image) return kSynthesisNoImage;

  const std::size_t columns = static_cast<std::size_t>(width);
  const int32_t lower_rows = height / 2;
  // Rows mirrored about the image centre (i and H-1-i) usually have y of
  // opposite sign and then exactly the same y squared and the same levels:
  // the lower half keeps its levels for the upper half, halving the cosines.
  // Whether a pair matches is tested exactly, so an offset only costs speed.
  std::vector<double> row_y_sq;
  std::vector<double> lower_levels;
  std::vector<double> scratch_levels;
  bool any_mirrored = false;
  try {
    FringeLevels fringe(params, g);
    row_y_sq.resize(static_cast<std::size_t>(height));
    const double centre = (height - 1) * 0.5;
    for (int32_t i = 0; i < height; ++i) {
      const double y = params.pixel_size * (i - centre) - params.offset_y;
      row_y_sq[i] = y * y;
    }
    for (int32_t i = 0; i < lower_rows; ++i) any_mirrored |= row_y_sq[i] == row_y_sq[height - 1 - i];
    if (any_mirrored) lower_levels.resize(static_cast<std::size_t>(lower_rows) * columns);
    scratch_levels.resize(columns);

    // -max_noise is only formed when positive: INT32_MIN has no negation, and
    // a bound of 0 or less leaves hi <= lo, which draws nothing.
    const bool proportional_noise = max_noise > 0;
    for (int32_t i = 0; i < height; ++i) {
      const int32_t partner = height - 1 - i;
      const double* levels;
      if (partner < i && any_mirrored && row_y_sq[partner] == row_y_sq[i]) {
        levels = &lower_levels[static_cast<std::size_t>(partner) * columns];
      } else {
        double* out = (any_mirrored && i < lower_rows)
                          ? &lower_levels[static_cast<std::size_t>(i) * columns]
                          : scratch_levels.data();
        fringe.fill_row(row_y_sq[i], out);
        levels = out;
      }

      uint8_t* line = img_line(image.get(), i);
      for (std::size_t j = 0; j < columns; ++j) {
        double v = levels[j];
        if (m == 0.0) {
          // Drawn all the same, so the generator advances as with noise. The
          // term n * m * v / 255 is then a signed zero (v is never infinite)
          // and leaves v as it is.
          if (proportional_noise) shaped_random(-max_noise, max_noise, square_shape);
        } else {
          const int32_t k = random_below(2) + 1;
          const double s = static_cast<double>(2 * k - 3);  // (-1)^k, without a branch
          const int32_t amount = random_below(additive_range);
          const int32_t n = proportional_noise ? shaped_random(-max_noise, max_noise, square_shape) : 0;
          // The proportional term scales with the noise-free level: bright
          // pixels get more noise than dark ones.
          v = v + amount * s + n * m * v / 255.0;
        }
        // Written as max and min, which need no branch on noisy pixels.
        v = v > 0.0 ? v : 0.0;  // not-a-number included
        v = v < 254.0 ? v : 254.0;
        line[j] = static_cast<uint8_t>(v);  // truncated: 255 never occurs
      }
    }
  } catch (const std::bad_alloc&) {
    return kSynthesisNoImage;  // no memory for the work rows; nothing written
  }

  return img_save_bmp(image.get(), path);
}
