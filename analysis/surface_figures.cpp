#include "analysis/surface_figures.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "analysis/curvature_maps.h"
#include "analysis/elevation_map.h"
#include "analysis/local_slope.h"
#include "analysis/reference_sphere.h"
#include "analysis/refractive_power.h"

namespace {

// The best-fit sphere's figure and its residual map.
void add_sphere(const SurfaceMaps& maps, const SurfaceCells& cells, const SphereFitResult& fit,
                SurfaceFigures& f) {
  f.sphere = SphereFigure{fit.radius, power_of_radius(fit.radius), fit.cap.x0, fit.cap.y0, fit.cap.z0,
                          fit.rms * kMicronsPerMm};
  HeightMatrix residual(kMapSide, kMapSide, 0.0);
  // Mask cells without data keep the no-height value, as in the residual map.
  const double centre = maps.field * 0.5;
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y)
      if (in_evaluation_mask(maps.field, centre, centre, maps.mask_radius, x, y)) residual(x, y) = kNoHeight;
  for (std::size_t i = 0; i < cells.size(); ++i)
    residual(cells.column[i], cells.row[i]) = cells.z[i] - fit.cap.height(cells.x[i], cells.y[i]);
  f.sphere_residual = std::move(residual);
}

// The conic fit, started from the best-fit sphere, and the keratometry read
// off it.
void add_conic_and_keratometry(const SurfaceCells& cells, const std::optional<SphereFitResult>& sphere,
                               SurfaceFigures& f) {
  if (!sphere) {
    f.conic_note = f.keratometry_note = "no best-fit sphere to start from: " + f.sphere_note;
    return;
  }
  std::string why;
  const std::optional<ConicFitResult> conic = fit_conic(cells.x, cells.y, cells.z, sphere->cap, &why);
  if (!conic) {
    f.conic_note = why;
    f.keratometry_note = "no conic fit: " + why;
    return;
  }
  f.conic = ConicFigure{conic->flat_radius, conic->steep_radius, conic->axis_deg, conic->q,
                        conic->surface.x0,  conic->surface.y0,   conic->rms * kMicronsPerMm};
  f.toric = conic->surface;
  f.keratometry = keratometry(*conic, cells.disc, kKeratometryZoneRadius, &why);
  if (!f.keratometry) f.keratometry_note = why;
}

}  // namespace

SurfaceFigures surface_figures(const SurfaceMaps& maps, const FigureOptions& options) {
  if (options.zernike_order < 0 || options.zernike_order > kMaxZernikeOrder)
    throw std::invalid_argument("the Zernike order must lie between 0 and " +
                                std::to_string(kMaxZernikeOrder) + " (read " +
                                std::to_string(options.zernike_order) + ")");
  SurfaceFigures f;
  const SurfaceCells cells = surface_cells(maps.measured, maps.field, maps.mask_radius);
  f.cells = static_cast<int>(cells.size());
  f.disc = cells.disc;
  if (cells.size() == 0) {
    const std::string none = "no cell with data inside the evaluation mask";
    f.sphere_note = f.conic_note = f.keratometry_note = f.zernike_note = f.axial_note = f.aberrations_note =
        f.indices_note = none;
    return f;
  }

  std::string why;
  const std::optional<SphereFitResult> fit = fit_sphere(cells.x, cells.y, cells.z, &why);
  if (fit)
    add_sphere(maps, cells, *fit, f);
  else
    f.sphere_note = why;

  add_conic_and_keratometry(cells, fit, f);

  // One factorisation serves the table and the reconstruction of the axial map.
  const double a = f.disc.radius;
  std::vector<double> X(cells.size()), Y(cells.size());
  for (std::size_t i = 0; i < cells.size(); ++i) {
    X[i] = (cells.x[i] - f.disc.centre_x) / a;
    Y[i] = (cells.y[i] - f.disc.centre_y) / a;
  }
  FigureCache own;
  FigureCache& cache = options.cache != nullptr ? *options.cache : own;
  const ZernikeLeastSquares& terms = cache.residual.terms_at(options.zernike_order, X, Y);
  const ZernikeBasis& basis = cache.residual.basis();
  std::vector<double> to_best_fit;
  if (fit && terms.problem().empty()) {
    to_best_fit.resize(cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i)
      to_best_fit[i] = cells.z[i] - fit->cap.height(cells.x[i], cells.y[i]);
  }

  const bool sphere_covers = maps.set_sphere.nx() >= std::min(kMapSide, maps.measured.nx()) &&
                             maps.set_sphere.ny() >= std::min(kMapSide, maps.measured.ny());
  if (!terms.problem().empty()) {
    f.zernike_note = terms.problem();
  } else if (options.reference == ZernikeReference::set_sphere && !sphere_covers) {
    f.zernike_note = "the set sphere's map is smaller than the measured one";
  } else if (options.reference == ZernikeReference::best_fit_sphere && !fit) {
    f.zernike_note = "no best-fit sphere: " + f.sphere_note;
  } else {
    std::vector<double> values = to_best_fit;
    if (options.reference == ZernikeReference::set_sphere) {
      values.resize(cells.size());
      for (std::size_t i = 0; i < cells.size(); ++i)
        values[i] = cells.z[i] - maps.set_sphere(cells.column[i], cells.row[i]);
    }
    const std::vector<double> coefficients = terms.solve(values);
    ZernikeFigure z{options.zernike_order, options.reference, coefficients,
                    terms.rms_left(values, coefficients) * kMicronsPerMm};
    for (double& c : z.coefficients_um) c *= kMicronsPerMm;
    bool finite = std::isfinite(z.rms_um);
    for (double c : z.coefficients_um) finite = finite && std::isfinite(c);
    if (finite)
      f.zernike = std::move(z);
    else
      f.zernike_note = "the heights are not finite";
  }

  if (options.power_maps && fit)
    f.elevation_to_sphere = elevation_map(cells, [&](double x, double y) { return fit->cap.height(x, y); });
  if (options.power_maps && f.toric)
    f.elevation_to_toric = elevation_map(cells, [&](double x, double y) { return f.toric->height(x, y); });

  if (fit) {
    std::string why_not;
    f.aberrations = corneal_aberrations(cells, fit->cap, options.pupil_diameter, &why_not, &cache.pupil);
    if (!f.aberrations) f.aberrations_note = why_not;
  } else {
    f.aberrations_note = "no best-fit sphere: " + f.sphere_note;
  }

  std::optional<ReconstructedSurface> surface;
  if (!fit)
    f.axial_note = "no best-fit sphere: " + f.sphere_note;
  else if (!terms.problem().empty())
    f.axial_note = "no Zernike terms: " + terms.problem();
  else
    surface.emplace(ReconstructedSurface{fit->cap, basis, terms.solve(to_best_fit), f.disc});

  // The indices read the axial power off local fits of the measured heights,
  // which follow a cone of a millimetre where the terms of the whole disc
  // smooth it away; SRAX reads the reconstruction (keratoconus_indices.h).
  if (!f.keratometry) {
    f.indices_note = "no keratometry: " + f.keratometry_note;
  } else {
    const LocalSlopes slopes(maps.measured, maps.field);
    const double cx = f.disc.centre_x, cy = f.disc.centre_y;
    std::string why_not;
    // SRAX looks for the steepest semi-meridians on the smooth reconstruction.
    const PowerAt smooth = [&](double x, double y) { return axial_power(*surface, x, y); };
    f.indices = keratoconus_indices(
        [&](double x, double y) { return local_axial_power(slopes, cx, cy, x, y); },
        f.keratometry->steep_power - f.keratometry->flat_power, &why_not, surface ? &smooth : nullptr);
    if (!f.indices) f.indices_note = why_not;
  }
  if (!options.power_maps) {
    f.axial_note = "not asked for";
  } else if (surface) {
    CurvatureMaps powers = curvature_maps(*surface, maps.field, maps.mask_radius);
    f.axial_power = std::move(powers.axial);
    f.tangential_power = std::move(powers.tangential);
    f.refractive_power = std::move(powers.refractive);
  }
  return f;
}