#include "analysis/curvature_maps.h"

#include <cmath>

#include "analysis/reference_sphere.h"
#include "analysis/refractive_power.h"
#include "analysis/snell_power.h"
#include "analysis/vector_2d.h"

namespace {

// Closer to the centre than this (mm) a point counts as the centre.
constexpr double kCentre = 1e-9;

// The surface along the meridian through the disc's centre at one point.
struct Meridian {
  bool valid = false;   // the cap has a height there
  bool centre = false;  // at the centre: only `laplacian` is set
  double laplacian = 0.0;
  double slope = 0.0;   // dz/dr
  double bend = 0.0;    // d^2z/dr^2
  double sign = 1.0;    // of the cap's curvature
};

Meridian meridian_at(const ReconstructedSurface& s, double x, double y, bool with_bend) {
  Meridian m;
  const double a = s.disc.radius;
  const SphereCap& cap = s.cap;
  const double c = cap.curvature;
  m.sign = c < 0.0 ? -1.0 : 1.0;
  const double u = x - s.disc.centre_x, v = y - s.disc.centre_y;
  const double dx = x - cap.x0, dy = y - cap.y0;
  const double rho_sq = dx * dx + dy * dy;
  const double w_sq = 1.0 - c * c * rho_sq;
  if (!(w_sq > 0.0) || !(a > 0.0)) return m;
  m.valid = true;
  const double w = std::sqrt(w_sq);
  const int terms = s.basis.terms();
  const double r = vector_length({u, v});
  if (r < kCentre) {
    // Laplacian of the cap: -c (1 + w^2) / w^3; of the terms: in disc units
    // over a^2.
    m.centre = true;
    m.laplacian = -c * (1.0 + w_sq) / (w_sq * w);
    for (int j = 0; j < terms; ++j)
      m.laplacian += s.coefficients[static_cast<std::size_t>(j)] * s.basis.centre_laplacian(j) / (a * a);
    return m;
  }
  // r times the radial slope: of the cap, the gradient -c (dx, dy) / w along
  // (u, v); of each term, rho dZ/drho.
  double rate = -c * (dx * u + dy * v) / w;
  double rates[kMaxZernikeTerms], bends[kMaxZernikeTerms];
  if (with_bend)
    s.basis.radial_rates_and_bends(u / a, v / a, rates, bends);
  else
    s.basis.radial_rates(u / a, v / a, rates);
  for (int j = 0; j < terms; ++j) rate += s.coefficients[static_cast<std::size_t>(j)] * rates[j];
  m.slope = rate / r;
  if (with_bend) {
    // r^2 times the second derivative: of the cap, (u, v) H (u, v) with the
    // Hessian H = -(c / w) I - (c^3 / w^3) (dx, dy) (dx, dy)^T; of each term,
    // rho^2 d^2Z/drho^2 (the same in disc units, since r / rho = a).
    const double along = dx * u + dy * v;
    double r_sq_bend = -c * r * r / w - c * c * c * along * along / (w_sq * w);
    for (int j = 0; j < terms; ++j) r_sq_bend += s.coefficients[static_cast<std::size_t>(j)] * bends[j];
    m.bend = r_sq_bend / (r * r);
  }
  return m;
}

double axial_of(const ReconstructedSurface& s, const Meridian& m, double x, double y) {
  if (!m.valid) return std::nan("");
  if (m.centre) return kDioptersTimesRadius * std::abs(m.laplacian) / 2.0;
  if (m.slope == 0.0) return std::nan("");
  const double r = vector_length({x - s.disc.centre_x, y - s.disc.centre_y});
  return kDioptersTimesRadius * std::abs(m.slope) / (r * std::sqrt(1.0 + m.slope * m.slope));
}

double tangential_of(const Meridian& m) {
  if (!m.valid) return std::nan("");
  if (m.centre) return kDioptersTimesRadius * std::abs(m.laplacian) / 2.0;
  const double stretch = 1.0 + m.slope * m.slope;
  return -m.sign * kDioptersTimesRadius * m.bend / (stretch * std::sqrt(stretch));
}

double refractive_of(const ReconstructedSurface& s, const Meridian& m, double x, double y, double z,
                     double centre_z) {
  if (!m.valid) return std::nan("");
  if (m.centre) return kDioptersTimesRadius * std::abs(m.laplacian) / 2.0;
  const double r = vector_length({x - s.disc.centre_x, y - s.disc.centre_y});
  return snell_power(r, -m.sign * m.slope, m.sign * (centre_z - z));
}

}  // namespace

double reconstructed_height(const ReconstructedSurface& s, double x, double y) {
  double values[kMaxZernikeTerms];
  const double a = s.disc.radius;
  s.basis.values((x - s.disc.centre_x) / a, (y - s.disc.centre_y) / a, values);
  double z = s.cap.height(x, y);
  for (int j = 0; j < s.basis.terms(); ++j) z += s.coefficients[static_cast<std::size_t>(j)] * values[j];
  return z;
}

double refractive_power(const ReconstructedSurface& s, double x, double y) {
  const double centre_z = reconstructed_height(s, s.disc.centre_x, s.disc.centre_y);
  return refractive_of(s, meridian_at(s, x, y, false), x, y, reconstructed_height(s, x, y), centre_z);
}

double axial_power(const ReconstructedSurface& s, double x, double y) {
  return axial_of(s, meridian_at(s, x, y, false), x, y);
}

double tangential_power(const ReconstructedSurface& s, double x, double y) {
  return tangential_of(meridian_at(s, x, y, true));
}

CurvatureMaps curvature_maps(const ReconstructedSurface& s, double field, double mask_radius) {
  CurvatureMaps maps{HeightMatrix(kMapSide, kMapSide, std::nan("")), HeightMatrix(kMapSide, kMapSide, std::nan("")),
                     HeightMatrix(kMapSide, kMapSide, std::nan(""))};
  if (!(field > 0.0 && std::isfinite(field))) return maps;
  const double centre_z = reconstructed_height(s, s.disc.centre_x, s.disc.centre_y);
  const double step = field / kMapSide;
  const double centre = field * 0.5;
  for (int x = 0; x < kMapSide; ++x) {
    double* axial = maps.axial.column(x);
    double* tangential = maps.tangential.column(x);
    double* refractive = maps.refractive.column(x);
    for (int y = 0; y < kMapSide; ++y)
      if (in_evaluation_mask(field, centre, centre, mask_radius, x, y)) {
        const double cx = cell_x_mm(x, step), cy = cell_y_mm(y, step);
        const Meridian m = meridian_at(s, cx, cy, true);
        axial[y] = axial_of(s, m, cx, cy);
        tangential[y] = tangential_of(m);
        refractive[y] = refractive_of(s, m, cx, cy, reconstructed_height(s, cx, cy), centre_z);
      }
  }
  return maps;
}
