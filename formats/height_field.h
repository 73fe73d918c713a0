// Height fields as other tools take them: a regular grid of heights with its
// spacing, in which a cell without data is NaN.
//
// Orientation: row 0 is the top row as the workbench's maps show it, column 0
// the left column. For a profile that is the engine's row 0 (its grid as the
// file holds it), for the residual map its row y = 0. x grows to the right,
// y upwards (towards row 0).
#pragma once

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "analysis/height_matrix.h"

struct HeightField {
  int cols = 0;         // cells per row
  int rows = 0;
  double step_x = 0.0;  // mm from one column to the next
  double step_y = 0.0;  // mm from one row to the next
  std::vector<double> heights;  // mm, cols * rows, row 0 first; NaN where no data
  std::string title;            // one line, for the formats that carry one
  // Values beside the heights, cols * rows each in the heights' order, for
  // the formats that carry more than one value a cell (XYZ, PLY): the
  // measurement's quality ("modulation", "fit_residual"). None: the files
  // are what they always were.
  struct Channel {
    std::string name;            // a word: letters, digits and underscores
    std::vector<double> values;  // NaN where there is none
  };
  std::vector<Channel> channels;

  double at(int col, int row) const {
    return heights[static_cast<std::size_t>(row) * static_cast<std::size_t>(cols) +
                   static_cast<std::size_t>(col)];
  }
  bool has_data(int col, int row) const { return !std::isnan(at(col, row)); }
  // Position of a cell's centre from the field's centre, mm: x to the right,
  // y up.
  double x_of(int col) const { return (col - (cols - 1) * 0.5) * step_x; }
  double y_of(int row) const { return ((rows - 1) * 0.5 - row) * step_y; }
};

// Empty when `field` holds cols x rows heights (neither negative); else why
// not: "a height field of 3 x 2 cells holds 5 heights". Whatever copies the
// heights whole into a grid of its size checks this first.
std::string height_field_size_mismatch(const HeightField& field);

// The residual map of a channel (measured minus sphere, 256 x 256 cells over
// field_x x field_y mm), cell (x, y) in column x, row y. A cell has no data
// outside the evaluation mask of radius mask_radius (mm) round the field's
// centre (analysis/reference_sphere.h: in_evaluation_mask), and where the
// measured map has no height (kNoHeight): there the residual holds 0.0 or a
// difference to a missing height.
HeightField residual_field(const HeightMatrix& residual, const HeightMatrix& measured,
                           double field_x, double field_y, double mask_radius, std::string title);

// The engine's profile grid (analysis/height_text_file.h: read_profile_grid),
// all of it, with its own spacing. Heights at or below depth_limit (mm, the
// engine's DepthLimit, which marks points without data and bounds the rest)
// have no data.
HeightField profile_field(const HeightMatrix& grid, double step_x, double step_y,
                          double depth_limit, std::string title);
