// The noise-free grey levels of a fringe picture of a surface other than the
// plain sphere (see surface.h: a biconic, or either model with cones), row by
// row, for the synthesis. The plain sphere keeps its own rows in
// sphere_rows.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "simulation/sim_params.h"
#include "simulation/surface.h"

class SurfaceRows {
 public:
  // Pixel (row i, column j) lies at x = d (j - (W - 1) / 2) - offset_x,
  // y = d (i - (H - 1) / 2) - offset_y from the apex (d the pixel size, row 0
  // the bottom row of the picture). The picture's y runs opposite to the
  // maps' (they show its bottom row at the top), so the surface is taken at
  // (x, -y). A height z shifts the vertical fringes by z tan(alpha):
  // level = (contrast cos(2 pi (x + z tan alpha) / P + s) + 1) 127 - shift
  // with P the fringe period in mm, s the pattern's phase shift (taken into
  // the column's phase b = 2 pi x / P + s) and
  // shift = dark_level_shift(contrast, floor).
  SurfaceRows(const SimParams& params, double contrast, int dark_floor);

  // The W levels of row i, valid until the next call. A row above the
  // centre is asked for after its mirror below it (0, H-1, 1, H-2, ... or
  // 0, 1, 2, ...), which lets a mirrored row come from its partner's work.
  const double* row(int32_t i);
  // Rows are never taken as equal: the surface need not be mirror-symmetric
  // about the x axis.
  bool same_levels(int32_t, int32_t) const { return false; }
  // The level of pixel j of row i, worked out alone: the same bits as row()
  // gives for it.
  double exact_level(int32_t i, std::size_t j) const;
  // The cosine of the fringes' phase at pixel j of row i as exact_level
  // takes it (cos(a + b) in its angle-sum form): exact_level is
  // (contrast * exact_cosine + 1) * 127 - shift to the bit.
  double exact_cosine(int32_t i, std::size_t j) const;
  double contrast() const { return contrast_; }
  double shift() const { return shift_; }

  // Pictures of one geometry that differ in their phase shift only share
  // each row's heights and height phases a (their sines and cosines):
  // row_angles works them out for row i into the caller's work rows (width
  // each), and row_from_angles turns them into the levels of this object's
  // shift, of row i itself or, with `mirror`, of row H-1-i when paired(). The
  // levels are the ones row() gives, valid until the next call.
  void row_angles(int32_t i, double* z, double* cos_a, double* sin_a) const;
  const double* row_from_angles(const double* z, const double* cos_a, const double* sin_a, bool mirror);
  // Whether pixel (i, j) and pixel (H-1-i, W-1-j) lie at opposite points
  // and the surface has the same height there (never with cones).
  bool paired() const { return paired_; }

 private:
  // The level at column j of a height whose phase 2 pi z tan(alpha) / P has
  // this cosine and sine: cos(a + b) = cos a cos b - sin a sin b, with b the
  // column's phase. One sine and cosine of a serve both pixels of a
  // mirrored pair, which halves the work as the sphere's mirrored rows do.
  double cosine(double cos_a, double sin_a, std::size_t j) const { return cos_a * cos_b_[j] - sin_a * sin_b_[j]; }
  double level(double cos_a, double sin_a, std::size_t j) const {
    return (contrast_ * cosine(cos_a, sin_a, j) + 1.0) * 127.0 - shift_;
  }
  // Row i into `levels` and, when `mirrored` is not null, row H-1-i into it.
  void fill_row(int32_t i, double* levels, double* mirrored);

  SurfaceShape shape_;
  std::size_t width_;
  int32_t height_;
  double contrast_;
  double shift_;
  double phase_per_mm_;  // 2 pi / P
  double t_;             // tan(alpha)
  std::vector<double> column_x_;
  std::vector<double> row_y_;
  std::vector<double> cos_b_, sin_b_;  // of 2 pi x / P + phase_shift per column
  double cos_floor_ = 1.0, sin_floor_ = 0.0;  // of the floor's height phase a
  std::vector<double> floor_level_;    // per column
  // Pixel (i, j) and pixel (H-1-i, W-1-j) lie at exactly opposite points
  // (the apex at the picture's centre), where the surface has the same height.
  bool paired_ = false;
  // Row H-1-i in slot i, for i < lower_done_; made by the first row() call.
  std::vector<double> upper_half_;
  bool upper_half_tried_ = false;
  bool keeps_upper_half_ = false;  // upper_half_ was made: row() takes mirrored rows from it
  int32_t lower_done_ = 0;
  std::vector<double> scratch_;
  std::vector<double> z_, cos_a_, sin_a_;  // work rows of fill_row: heights, cos a, sin a
};
