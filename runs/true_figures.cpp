#include "runs/true_figures.h"

#include <cmath>

#include "analysis/conic_fit.h"
#include "analysis/elevation_map.h"
#include "analysis/keratometry.h"
#include "analysis/meridian_powers.h"
#include "analysis/sphere_fit.h"
#include "simulation/surface.h"

double true_height(const SimParams& params, double x, double y) {
  const SurfaceShape shape(params.surface, params.radius);
  return shape.height(x - params.offset_x, y + params.offset_y);
}

namespace {

// The truth over `cells` (their heights filled here).
TrueFigures truth_at(const SimParams& params, SurfaceCells at, double pupil_diameter, bool maps) {
  TrueFigures t;
  const SurfaceShape shape(params.surface, params.radius);
  const HeightAt height = [&](double x, double y) { return shape.height(x - params.offset_x, y + params.offset_y); };
  t.cells = std::move(at);
  SurfaceCells& cells = t.cells;
  for (std::size_t i = 0; i < cells.size(); ++i) cells.z[i] = height(cells.x[i], cells.y[i]);
  std::string why;
  const std::optional<SphereFitResult> sphere = fit_sphere(cells.x, cells.y, cells.z, &why);
  if (!sphere) {
    t.aberrations_note = t.indices_note = "no best-fit sphere: " + why;
    return t;
  }
  t.aberrations = corneal_aberrations(cells, sphere->cap, pupil_diameter, &why);
  if (!t.aberrations) t.aberrations_note = why;

  const double cx = cells.disc.centre_x, cy = cells.disc.centre_y;
  const PowerAt axial = [&](double x, double y) { return meridian_powers(height, cx, cy, x, y).axial; };
  const std::optional<ConicFitResult> conic = fit_conic(cells.x, cells.y, cells.z, sphere->cap, &why);
  std::optional<KeratometryResult> k;
  if (conic) k = keratometry(*conic, cells.disc, kKeratometryZoneRadius, &why);
  if (!k) {
    t.indices_note = "no keratometry: " + why;
  } else {
    t.indices = keratoconus_indices(axial, k->steep_power - k->flat_power, &why);
    if (!t.indices) t.indices_note = why;
  }
  if (!maps) return t;
  t.elevation_to_sphere = elevation_map(cells, [&](double x, double y) { return sphere->cap.height(x, y); });
  if (conic)
    t.elevation_to_toric = elevation_map(cells, [&](double x, double y) { return conic->surface.height(x, y); });
  HeightMatrix a(kMapSide, kMapSide, std::nan("")), g = a, r = a;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const MeridianPowers p = meridian_powers(height, cx, cy, cells.x[i], cells.y[i]);
    a(cells.column[i], cells.row[i]) = p.axial;
    g(cells.column[i], cells.row[i]) = p.tangential;
    r(cells.column[i], cells.row[i]) = p.refractive;
  }
  t.axial_power = std::move(a);
  t.tangential_power = std::move(g);
  t.refractive_power = std::move(r);
  return t;
}

}  // namespace

TrueFigures true_figures(const SimParams& params, const HeightMatrix& measured, double field, double mask_radius,
                         double pupil_diameter, bool maps) {
  return truth_at(params, surface_cells(measured, field, mask_radius), pupil_diameter, maps);
}

const TrueFigures& TrueFiguresCache::of(const SimParams& params, const HeightMatrix& measured, double field,
                                        double mask_radius, double pupil_diameter) {
  SurfaceCells cells = surface_cells(measured, field, mask_radius);
  const SurfaceCells& last = truth_.cells;
  // The cells' places say everything of them but their heights, which the
  // truth takes from the surface; step and disc follow from field and mask.
  const bool same = held_ && params.surface == surface_ && params.radius == radius_ &&
                    params.offset_x == offset_x_ && params.offset_y == offset_y_ && pupil_diameter == pupil_ &&
                    cells.step == last.step && cells.disc.centre_x == last.disc.centre_x &&
                    cells.disc.centre_y == last.disc.centre_y && cells.disc.radius == last.disc.radius &&
                    cells.disc.mask_radius == last.disc.mask_radius &&
                    cells.x == last.x && cells.y == last.y;
  if (same) return truth_;
  held_ = false;  // a throw below leaves nothing half kept
  truth_ = truth_at(params, std::move(cells), pupil_diameter, false);
  surface_ = params.surface;
  radius_ = params.radius;
  offset_x_ = params.offset_x;
  offset_y_ = params.offset_y;
  pupil_ = pupil_diameter;
  held_ = true;
  return truth_;
}
