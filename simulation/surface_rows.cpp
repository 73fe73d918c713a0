#include "simulation/surface_rows.h"

#include <cmath>
#include <new>
#include <numbers>

#include "simulation/dark_level_shift.h"

SurfaceRows::SurfaceRows(const SimParams& params, double contrast, int dark_floor)
    : shape_(params.surface, params.radius),
      width_(static_cast<std::size_t>(params.x_pixels)),
      height_(params.y_pixels),
      contrast_(contrast),
      shift_(dark_level_shift(contrast, dark_floor)),
      phase_per_mm_(2.0 * std::numbers::pi / (params.pixel_size * params.fringe_period)),
      t_(std::tan(std::numbers::pi * params.alpha_deg / 180.0)),
      column_x_(width_),
      row_y_(static_cast<std::size_t>(height_)),
      cos_b_(width_),
      sin_b_(width_),
      floor_level_(width_),
      scratch_(width_),
      z_(width_),
      cos_a_(width_),
      sin_a_(width_) {
  const double d = params.pixel_size;
  const double column_centre = (params.x_pixels - 1) * 0.5;
  for (std::size_t j = 0; j < width_; ++j) {
    const double x = d * (static_cast<double>(j) - column_centre) - params.offset_x;
    column_x_[j] = x;
    // The pattern's shift goes with the column's phase: 0 leaves b as it was.
    const double b = x * phase_per_mm_ + params.phase_shift;
    cos_b_[j] = std::cos(b);
    sin_b_[j] = std::sin(b);
  }
  const double floor_phase = shape_.floor_depth() * t_ * phase_per_mm_;
  cos_floor_ = std::cos(floor_phase);
  sin_floor_ = std::sin(floor_phase);
  for (std::size_t j = 0; j < width_; ++j) floor_level_[j] = level(cos_floor_, sin_floor_, j);

  const double row_centre = (height_ - 1) * 0.5;
  for (int32_t i = 0; i < height_; ++i) row_y_[i] = d * (i - row_centre) - params.offset_y;

  paired_ = height_ > 1 && !shape_.has_cones();
  for (int32_t i = 0; paired_ && i < height_; ++i) paired_ = row_y_[height_ - 1 - i] == -row_y_[i];
  for (std::size_t j = 0; paired_ && j < width_; ++j)
    paired_ = column_x_[width_ - 1 - j] == -column_x_[j];
}

const double* SurfaceRows::row(int32_t i) {
  // The mirrored rows' store is only made for the callers of row(), not for
  // those that share row_angles between pictures.
  if (paired_ && !upper_half_tried_) {
    upper_half_tried_ = true;
    try {
      upper_half_.resize(static_cast<std::size_t>(height_ / 2) * width_);
      keeps_upper_half_ = true;
    } catch (const std::bad_alloc&) {
      // Only a speed-up: every row is computed then.
    }
  }
  const int32_t partner = height_ - 1 - i;
  if (keeps_upper_half_ && partner < i && partner < lower_done_)
    return &upper_half_[static_cast<std::size_t>(partner) * width_];
  const bool keep_partner = keeps_upper_half_ && i < partner;
  fill_row(i, scratch_.data(),
           keep_partner ? &upper_half_[static_cast<std::size_t>(i) * width_] : nullptr);
  if (keep_partner && i >= lower_done_) lower_done_ = i + 1;
  return scratch_.data();
}

void SurfaceRows::row_angles(int32_t i, double* z, double* cos_a, double* sin_a) const {
  // The maps show the picture upside down: the surface's y is -y here.
  const double y = -row_y_[static_cast<std::size_t>(i)];
  const double floor = shape_.floor_depth();
  // Passes of their own, so that the heights and the levels run without
  // waiting on the sine and cosine of each pixel in turn.
  for (std::size_t j = 0; j < width_; ++j) z[j] = shape_.height(column_x_[j], y);
  for (std::size_t j = 0; j < width_; ++j) {
    if (z[j] == floor) continue;
    ::sincos(z[j] * t_ * phase_per_mm_, &sin_a[j], &cos_a[j]);
  }
}

const double* SurfaceRows::row_from_angles(const double* z, const double* cos_a, const double* sin_a,
                                           bool mirror) {
  const double floor = shape_.floor_depth();
  double* levels = scratch_.data();
  const std::size_t last = width_ - 1;
  if (mirror) {
    for (std::size_t j = 0; j < width_; ++j)
      levels[last - j] = z[j] == floor ? floor_level_[last - j] : level(cos_a[j], sin_a[j], last - j);
  } else {
    for (std::size_t j = 0; j < width_; ++j)
      levels[j] = z[j] == floor ? floor_level_[j] : level(cos_a[j], sin_a[j], j);
  }
  return levels;
}

void SurfaceRows::fill_row(int32_t i, double* levels, double* mirrored) {
  row_angles(i, z_.data(), cos_a_.data(), sin_a_.data());
  const double floor = shape_.floor_depth();
  const std::size_t last = width_ - 1;
  for (std::size_t j = 0; j < width_; ++j) {
    const bool on_floor = z_[j] == floor;
    levels[j] = on_floor ? floor_level_[j] : level(cos_a_[j], sin_a_[j], j);
    if (mirrored != nullptr)
      mirrored[last - j] = on_floor ? floor_level_[last - j] : level(cos_a_[j], sin_a_[j], last - j);
  }
}

double SurfaceRows::exact_level(int32_t i, std::size_t j) const {
  const double z = shape_.height(column_x_[j], -row_y_[static_cast<std::size_t>(i)]);
  if (z == shape_.floor_depth()) return floor_level_[j];
  double sin_a = 0.0, cos_a = 0.0;
  ::sincos(z * t_ * phase_per_mm_, &sin_a, &cos_a);
  return level(cos_a, sin_a, j);
}

double SurfaceRows::exact_cosine(int32_t i, std::size_t j) const {
  const double z = shape_.height(column_x_[j], -row_y_[static_cast<std::size_t>(i)]);
  if (z == shape_.floor_depth()) return cosine(cos_floor_, sin_floor_, j);
  double sin_a = 0.0, cos_a = 0.0;
  ::sincos(z * t_ * phase_per_mm_, &sin_a, &cos_a);
  return cosine(cos_a, sin_a, j);
}
