#include "analysis/axial_power.h"

#include <cmath>

#include "analysis/reference_sphere.h"
#include "analysis/refractive_power.h"

namespace {

// Closer to the centre than this (mm) a point counts as the centre.
constexpr double kCentre = 1e-9;

}  // namespace

double axial_power(const ReconstructedSurface& s, double x, double y) {
  const double a = s.disc.radius;
  const SphereCap& cap = s.cap;
  const double c = cap.curvature;
  const double u = x - s.disc.centre_x, v = y - s.disc.centre_y;
  const double dx = x - cap.x0, dy = y - cap.y0;
  const double rho_sq = dx * dx + dy * dy;
  const double w_sq = 1.0 - c * c * rho_sq;
  if (!(w_sq > 0.0) || !(a > 0.0)) return std::nan("");
  const double w = std::sqrt(w_sq);
  const int terms = s.basis.terms();
  const double r = std::hypot(u, v);
  if (r < kCentre) {
    // Laplacian of the cap: -c (1 + w^2) / w^3; of the terms: in disc units
    // over a^2.
    double laplacian = -c * (1.0 + w_sq) / (w_sq * w);
    for (int j = 0; j < terms; ++j)
      laplacian += s.coefficients[static_cast<std::size_t>(j)] * s.basis.centre_laplacian(j) / (a * a);
    return kDioptersTimesRadius * std::abs(laplacian) / 2.0;
  }
  // r times the radial slope: of the cap, the gradient -c (dx, dy) / w along
  // (u, v); of each term, rho dZ/drho.
  double rate = -c * (dx * u + dy * v) / w;
  double rates[kMaxZernikeTerms];
  s.basis.radial_rates(u / a, v / a, rates);
  for (int j = 0; j < terms; ++j) rate += s.coefficients[static_cast<std::size_t>(j)] * rates[j];
  const double slope = rate / r;
  if (slope == 0.0) return std::nan("");
  return kDioptersTimesRadius * std::abs(slope) / (r * std::sqrt(1.0 + slope * slope));
}

HeightMatrix axial_power_map(const ReconstructedSurface& s, double field, double mask_radius) {
  HeightMatrix map(kMapSide, kMapSide, std::nan(""));
  if (!(field > 0.0 && std::isfinite(field))) return map;
  const double step = field / kMapSide;
  const double centre = field * 0.5;
  for (int x = 0; x < kMapSide; ++x) {
    double* column = map.column(x);
    for (int y = 0; y < kMapSide; ++y)
      if (in_evaluation_mask(field, centre, centre, mask_radius, x, y))
        column[y] = axial_power(s, cell_x_mm(x, step), cell_y_mm(y, step));
  }
  return map;
}
