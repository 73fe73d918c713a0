// The noise-free grey levels of a fringe picture of the sphere, row by row,
// for the synthesis (other surfaces: surface_rows.h).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

#include "simulation/sim_params.h"

// What a row's levels are made of: per column x and x squared (mm from the
// apex) and the level on the flat floor z = -R around the sphere; the sphere
// and the fringes.
struct SphereGeometry {
  const double* column_x;
  const double* column_x_sq;
  const double* floor_level;
  std::size_t width;
  double radius;
  double radius_sq;
  double t;          // tan(alpha)
  double period_mm;  // fringe period on the flat, mm
  double contrast;
  double shift;
  double phase_shift;  // radians, added after the division (0: the unshifted fringes, bit for bit)

  // Height z moves the vertical fringes sideways by z * t; phase 0 at the apex
  // (phase_shift there, for a shifted pattern).
  double phase(double x, double z) const {
    return 2.0 * std::numbers::pi * (x + z * t) / period_mm + phase_shift;
  }
  double level(double x, double z) const { return (contrast * std::cos(phase(x, z)) + 1.0) * 127.0 - shift; }
  // The level of column j in a row of y squared y_sq with the C library's
  // sqrt and cos: z is 0 at the apex and falls to -R at the rim. The plain
  // definition of every level of the sphere.
  double exact_level(double y_sq, std::size_t j) const {
    const double r_sq = column_x_sq[j] + y_sq;
    return r_sq < radius_sq ? level(column_x[j], std::sqrt(radius_sq - r_sq) - radius) : floor_level[j];
  }
  // The cosine exact_level's level is made of (the floor's included):
  // exact_level is (contrast * exact_cosine + 1) * 127 - shift to the bit.
  double exact_cosine(double y_sq, std::size_t j) const {
    const double r_sq = column_x_sq[j] + y_sq;
    const double z = r_sq < radius_sq ? std::sqrt(radius_sq - r_sq) - radius : -radius;
    return std::cos(phase(column_x[j], z));
  }
};

// Pixel (row i, column j) lies at x = d (j - (W - 1) / 2) - offset_x,
// y = d (i - (H - 1) / 2) - offset_y from the apex (d the pixel size, row 0
// the bottom row of the picture). Everything that depends on the column alone
// is worked out once.
class SphereRows {
 public:
  SphereRows(const SimParams& params, double contrast, int dark_floor);

  // Levels of row i, valid until the next call: estimated in vectors
  // (estimate_sphere_row), where that cannot change a grey byte only.
  const double* row(int32_t i);
  // The same levels in two steps, for pictures of one geometry that differ
  // in their phase shift only: row i's unshifted phases into `phases`
  // (width doubles; the columns [0, done) the vectors made, done returned),
  // then, from another SphereRows of the same geometry and any shift, the
  // levels row(i) gives (valid until the next call).
  std::size_t phases(int32_t i, double* phases) const;
  const double* row_from_phases(int32_t i, const double* phases, std::size_t done);
  // Whether rows i and k have the same levels: their y squared are equal.
  bool same_levels(int32_t i, int32_t k) const { return row_y_sq_[i] == row_y_sq_[k]; }
  // The C library's level of pixel j of row i.
  double exact_level(int32_t i, std::size_t j) const { return geometry_.exact_level(row_y_sq_[i], j); }
  // The cosine of pixel j of row i's phase, as exact_level takes it.
  double exact_cosine(int32_t i, std::size_t j) const { return geometry_.exact_cosine(row_y_sq_[i], j); }
  double contrast() const { return geometry_.contrast; }
  double shift() const { return geometry_.shift; }

 private:
  std::vector<double> column_x_;     // mm right of the apex
  std::vector<double> column_x_sq_;
  std::vector<double> floor_level_;  // level where r >= R
  std::vector<double> row_y_sq_;     // (mm above the apex) squared
  std::vector<double> scratch_;
  std::vector<uint32_t> listed_;     // columns the vectors leave to exact_level
  SphereGeometry geometry_{};
};
