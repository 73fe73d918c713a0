// The cells of a channel's measured heights that the surface figures use
// (best-fit sphere, keratometry, Zernike terms, axial power): those the
// residual map counts as inside the evaluation mask (in_evaluation_mask, as
// masked_difference decides it) and that have a height (not kNoHeight).
//
// A cell's position is its centre in mm from the map's centre, which lies
// between cells 127 and 128: x to the right, y up as the map is shown. The
// map's rows run from the top, so cell (column, row) lies at
//   x = (column - 127.5) * step,  y = (127.5 - row) * step,
// with step = field / 256 (mm per cell, both axes).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "analysis/height_matrix.h"

// How far inside the mask radius setting the evaluation mask ends, mm.
constexpr double kMaskEdgeMargin = 0.1;

inline double cell_x_mm(int column, double step) { return (column - 127.5) * step; }
inline double cell_y_mm(int row, double step) { return (127.5 - row) * step; }

// The evaluation disc: the mask's centre (the field's centre, which the
// profile run passes to the mask as field / 2 from the map's edges) and its
// radius (mask radius setting less kMaskEdgeMargin), in the cell frame above.
// The cells the mask keeps are those whose top-left corner lies strictly
// inside the disc, so a cell centre may lie up to half a cell diagonal
// outside it.
struct EvaluationDisc {
  double centre_x = 0.0;     // mm
  double centre_y = 0.0;     // mm
  double radius = 0.0;       // mm; 0 or less: no cell
  double mask_radius = 0.0;  // the mask radius setting it was made from, mm
};

// How every report counts the cells (the surface window and `fringe
// analyse` alike): the set radius of the mask, and the radius of the disc
// the cells are counted in where that differs:
//   "20081 cells with data inside the mask of radius 3.3 mm (counted in the
//   disc of radius 3.2 mm)"
// Radii with at most six significant digits; a disc with no room is of
// radius 0.
std::string mask_cells_text(int cells, const EvaluationDisc& disc);

// Cells as parallel arrays, in map order (x outer, rows inner).
struct SurfaceCells {
  double step = 0.0;  // mm per cell
  EvaluationDisc disc;
  std::vector<double> x, y, z;      // mm
  std::vector<int> column, row;     // where each lies on the map
  std::size_t size() const { return z.size(); }
};

// The cells of `measured` (heights in mm) for a map of width `field` (mm)
// and the mask radius setting `mask_radius` (mm). A field that is not
// positive and finite gives no cell.
SurfaceCells surface_cells(const HeightMatrix& measured, double field, double mask_radius);

// Whether the cells' positions span a plane: false for fewer than three
// cells or cells on one line (no fit over them is determined).
bool cells_span_plane(const std::vector<double>& x, const std::vector<double>& y);
