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

TrueFigures true_figures(const SimParams& params, const HeightMatrix& measured, double field, double mask_radius,
                         double pupil_diameter, bool maps) {
  TrueFigures t;
  const SurfaceShape shape(params.surface, params.radius);
  const HeightAt height = [&](double x, double y) { return shape.height(x - params.offset_x, y + params.offset_y); };
  t.cells = surface_cells(measured, field, mask_radius);
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
