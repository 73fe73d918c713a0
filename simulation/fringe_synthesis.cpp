#include "simulation/fringe_synthesis.h"

#include <cmath>
#include <cstddef>
#include <memory>
#include <new>
#include <numbers>
#include <optional>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "scan/grey_image.h"
#include "simulation/dark_level_shift.h"
#include "simulation/random_generator.h"
#include "simulation/shaped_random.h"
#include "simulation/surface_rows.h"

namespace {

// Dark level of fringes whose contrast is too low to reach grey level 0.
constexpr int kDarkFloor = 32;

// 0 for values that are not >= 0 (not-a-number included), 1 above 1.
double clamp_unit(double value) {
  if (!(value >= 0.0)) return 0.0;
  if (value > 1.0) return 1.0;
  return value;
}

// Grey byte of level v: below 0 (or not a number) 0, above 254 254, else v
// truncated towards zero. On noisy pictures the clamps are hit at random, and
// a mispredicted branch there stalls behind the whole chain of draws, so SSE2
// max and min do them without branches (maxsd returns its second operand, 0,
// for a not-a-number).
uint8_t grey_byte(double v) {
#if defined(__SSE2__)
  __m128d x = _mm_max_sd(_mm_set_sd(v), _mm_setzero_pd());
  x = _mm_min_sd(x, _mm_set_sd(254.0));
  return static_cast<uint8_t>(_mm_cvttsd_si32(x));
#else
  if (!(v >= 0.0)) v = 0.0;
  if (v > 254.0) v = 254.0;
  return static_cast<uint8_t>(v);
#endif
}

struct ImageDeleter {
  void operator()(GreyImage* image) const { img_destroy(image); }
};

// The noise-free grey levels (before clamping), row by row from row 0.
//
// Everything that depends on the column alone is worked out once, including
// the level on the flat floor z = -R around the sphere. Rows i and H-1-i lie
// mirrored about the image centre; without a vertical offset their y are of
// opposite sign, so y squared and every level are exactly the same: the lower
// half keeps its levels for the upper half, which halves the square roots and
// cosines. Each pair is compared exactly, so an offset only costs speed.
class NoiseFreeRows {
 public:
  NoiseFreeRows(const SimParams& params, double contrast)
      : width_(static_cast<std::size_t>(params.x_pixels)),
        height_(params.y_pixels),
        radius_(params.radius),
        radius_sq_(params.radius * params.radius),
        t_(std::tan(std::numbers::pi * params.alpha_deg / 180.0)),
        contrast_(contrast),
        period_mm_(params.pixel_size * params.fringe_period),
        shift_(dark_level_shift(contrast, kDarkFloor)),
        column_x_(width_),
        column_x_sq_(width_),
        floor_level_(width_),
        row_y_sq_(static_cast<std::size_t>(height_)),
        scratch_(width_) {
    const double d = params.pixel_size;
    const double column_centre = (params.x_pixels - 1) * 0.5;
    for (std::size_t j = 0; j < width_; ++j) {
      const double x = d * (static_cast<double>(j) - column_centre) - params.offset_x;
      column_x_[j] = x;
      column_x_sq_[j] = x * x;
      floor_level_[j] = level(x, -radius_);
    }
    const double row_centre = (height_ - 1) * 0.5;
    for (int32_t i = 0; i < height_; ++i) {
      const double y = d * (i - row_centre) - params.offset_y;
      row_y_sq_[i] = y * y;
    }
    bool any_mirrored = false;
    for (int32_t i = 0; i < height_ / 2; ++i) any_mirrored |= row_y_sq_[i] == row_y_sq_[height_ - 1 - i];
    if (any_mirrored) {
      try {
        lower_half_.resize(static_cast<std::size_t>(height_ / 2) * width_);
      } catch (const std::bad_alloc&) {
        // Only a speed-up: without it every row is computed.
      }
    }
  }

  // Levels of row i (y pixels above the bottom row); rows are asked for in order.
  const double* row(int32_t i) {
    const int32_t partner = height_ - 1 - i;
    const bool kept = !lower_half_.empty();
    if (kept && partner < i && row_y_sq_[partner] == row_y_sq_[i])
      return &lower_half_[static_cast<std::size_t>(partner) * width_];
    double* out = (kept && i < height_ / 2) ? &lower_half_[static_cast<std::size_t>(i) * width_]
                                            : scratch_.data();
    fill_row(row_y_sq_[i], out);
    return out;
  }

 private:
  void fill_row(double y_sq, double* levels) const {
    for (std::size_t j = 0; j < width_; ++j) {
      const double r_sq = column_x_sq_[j] + y_sq;
      // z is 0 at the apex and falls to -R at the rim of the sphere.
      levels[j] = r_sq < radius_sq_ ? level(column_x_[j], std::sqrt(radius_sq_ - r_sq) - radius_)
                                    : floor_level_[j];
    }
  }

  // Height z moves the vertical fringes sideways by z * t; phase 0 at the apex.
  double level(double x, double z) const {
    const double phi = 2.0 * std::numbers::pi * (x + z * t_) / period_mm_;
    return (contrast_ * std::cos(phi) + 1.0) * 127.0 - shift_;
  }

  std::size_t width_;
  int32_t height_;
  double radius_;
  double radius_sq_;
  double t_;
  double contrast_;
  double period_mm_;  // fringe period on the flat, mm
  double shift_;
  std::vector<double> column_x_;     // mm right of the apex
  std::vector<double> column_x_sq_;
  std::vector<double> floor_level_;  // level where r >= R
  std::vector<double> row_y_sq_;     // (mm above the apex) squared
  std::vector<double> lower_half_;   // levels of rows 0 .. H/2-1, or empty
  std::vector<double> scratch_;
};

}  // namespace

int synthesize_fringe_image(const SimParams& params, const char* path, int32_t max_noise,
                            int32_t additive_range) {
  const double g = clamp_unit(params.dynamic);
  const double m = clamp_unit(params.noise);

  std::unique_ptr<GreyImage, ImageDeleter> image(img_create(1, params.x_pixels, params.y_pixels));
  if (!image) return kSynthesisNoImage;

  try {
    // The sphere's rows, or those of another surface (surface_rows.h).
    std::optional<NoiseFreeRows> sphere_rows;
    std::optional<SurfaceRows> surface_rows;
    if (params.surface.model == SurfaceModel::sphere)
      sphere_rows.emplace(params, g);
    else
      surface_rows.emplace(params, g, kDarkFloor);
    // Proportional noise from -M to M. -M is only formed when M is positive:
    // INT32_MIN has no negation, and M of 0 or less leaves hi <= lo, which
    // draws nothing.
    const ShapedRandomTable proportional = max_noise > 0
                                               ? ShapedRandomTable(-max_noise, max_noise, square_shape)
                                               : ShapedRandomTable(0, 0, square_shape);
    for (int32_t i = 0; i < image->height; ++i) {
      const double* levels = sphere_rows ? sphere_rows->row(i) : surface_rows->row(i);
      uint8_t* line = img_line(image.get(), i);
      for (int32_t j = 0; j < image->width; ++j) {
        double v = levels[j];
        if (m == 0.0) {
          // Drawn all the same, so the generator advances as with noise. The
          // term n * m * v / 255 is then a signed zero (v is never infinite)
          // and leaves v as it is.
          proportional();
        } else {
          const int32_t k = random_below(2) + 1;
          const double s = static_cast<double>(2 * k - 3);  // (-1)^k, without a branch
          const int32_t amount = random_below(additive_range);
          const int32_t n = proportional();
          // The proportional term scales with the noise-free level: bright
          // pixels get more noise than dark ones.
          v = v + amount * s + n * m * v / 255.0;
        }
        line[j] = grey_byte(v);  // 255 never occurs
      }
    }
  } catch (const std::bad_alloc&) {
    return kSynthesisNoImage;  // no memory for the work rows; nothing written
  }

  return img_save_bmp(image.get(), path);
}
