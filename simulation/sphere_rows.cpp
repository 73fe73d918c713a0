#include "simulation/sphere_rows.h"

#include "simulation/dark_level_shift.h"
#include "simulation/synthesis_kernels.h"

SphereRows::SphereRows(const SimParams& params, double contrast, int dark_floor) {
  const auto width = static_cast<std::size_t>(params.x_pixels);
  column_x_.resize(width);
  column_x_sq_.resize(width);
  floor_level_.resize(width);
  row_y_sq_.resize(static_cast<std::size_t>(params.y_pixels));
  scratch_.resize(width);
  listed_.resize(width);
  geometry_ = {column_x_.data(),
               column_x_sq_.data(),
               floor_level_.data(),
               width,
               params.radius,
               params.radius * params.radius,
               std::tan(std::numbers::pi * params.alpha_deg / 180.0),
               params.pixel_size * params.fringe_period,
               contrast,
               dark_level_shift(contrast, dark_floor),
               params.phase_shift};
  const double d = params.pixel_size;
  const double column_centre = (params.x_pixels - 1) * 0.5;
  for (std::size_t j = 0; j < width; ++j) {
    const double x = d * (static_cast<double>(j) - column_centre) - params.offset_x;
    column_x_[j] = x;
    column_x_sq_[j] = x * x;
    floor_level_[j] = geometry_.level(x, -params.radius);
  }
  const double row_centre = (params.y_pixels - 1) * 0.5;
  for (int32_t i = 0; i < params.y_pixels; ++i) {
    const double y = d * (i - row_centre) - params.offset_y;
    row_y_sq_[static_cast<std::size_t>(i)] = y * y;
  }
}

const double* SphereRows::row(int32_t i) {
  const double y_sq = row_y_sq_[static_cast<std::size_t>(i)];
  double* levels = scratch_.data();
  const KernelRow done = estimate_sphere_row(geometry_, y_sq, levels, listed_.data());
  for (std::size_t k = 0; k < done.listed; ++k) levels[listed_[k]] = geometry_.exact_level(y_sq, listed_[k]);
  for (std::size_t j = done.done; j < geometry_.width; ++j) levels[j] = geometry_.exact_level(y_sq, j);
  return levels;
}

std::size_t SphereRows::phases(int32_t i, double* phases) const {
  return sphere_phase_row(geometry_, row_y_sq_[static_cast<std::size_t>(i)], phases);
}

const double* SphereRows::row_from_phases(int32_t i, const double* phases, std::size_t done) {
  const double y_sq = row_y_sq_[static_cast<std::size_t>(i)];
  double* levels = scratch_.data();
  const KernelRow made = shifted_sphere_row(geometry_, y_sq, phases, levels, listed_.data());
  // Both kernels take the same whole vectors at one target; should the
  // dispatch change between the two calls, the columns beyond either's
  // vectors are worked out exactly.
  const std::size_t end = made.done < done ? made.done : done;
  std::size_t k = 0;
  for (; k < made.listed && listed_[k] < end; ++k) levels[listed_[k]] = geometry_.exact_level(y_sq, listed_[k]);
  for (std::size_t j = end; j < geometry_.width; ++j) levels[j] = geometry_.exact_level(y_sq, j);
  return levels;
}
