#include "analysis/surface_cells.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/reference_sphere.h"

SurfaceCells surface_cells(const HeightMatrix& measured, double field, double mask_radius) {
  SurfaceCells cells;
  cells.disc.mask_radius = mask_radius;
  if (!(field > 0.0 && std::isfinite(field))) return cells;
  cells.step = field / kMapSide;
  cells.disc.radius = mask_radius - kMaskEdgeMargin;
  const double centre = field * 0.5;
  const int nx = std::min(kMapSide, measured.nx());
  const int ny = std::min(kMapSide, measured.ny());
  for (int x = 0; x < nx; ++x) {
    const double* column = measured.column(x);
    for (int y = 0; y < ny; ++y) {
      if (!in_evaluation_mask(field, centre, centre, mask_radius, x, y)) continue;
      const double z = column[y];
      if (z == kNoHeight || !std::isfinite(z)) continue;
      cells.x.push_back(cell_x_mm(x, cells.step));
      cells.y.push_back(cell_y_mm(y, cells.step));
      cells.z.push_back(z);
      cells.column.push_back(x);
      cells.row.push_back(y);
    }
  }
  return cells;
}

bool cells_span_plane(const std::vector<double>& x, const std::vector<double>& y) {
  const std::size_t n = std::min(x.size(), y.size());
  if (n < 3) return false;
  // The second moments about the mean: a line leaves their matrix singular.
  double mx = 0.0, my = 0.0;
  for (std::size_t i = 0; i < n; ++i) mx += x[i], my += y[i];
  mx /= static_cast<double>(n);
  my /= static_cast<double>(n);
  double sxx = 0.0, syy = 0.0, sxy = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double dx = x[i] - mx, dy = y[i] - my;
    sxx += dx * dx;
    syy += dy * dy;
    sxy += dx * dy;
  }
  const double determinant = sxx * syy - sxy * sxy;
  return determinant > 1e-12 * (sxx + syy) * (sxx + syy);
}

namespace {

std::string radius_text(double radius) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", radius);
  return text;
}

}  // namespace

std::string mask_cells_text(int cells, const EvaluationDisc& disc) {
  const std::string mask = radius_text(disc.mask_radius);
  const std::string counted = radius_text(std::max(0.0, disc.radius));
  std::string text = std::to_string(cells) + " cells with data inside the mask of radius " + mask + " mm";
  if (counted != mask) text += " (counted in the disc of radius " + counted + " mm)";
  return text;
}
