#include "analysis/corneal_aberrations.h"

#include <cmath>
#include <cstdio>

#include "analysis/height_matrix.h"
#include "analysis/snell_power.h"
#include "analysis/zernike.h"

void summarise_aberrations(const std::vector<double>& c, CornealAberrations& a) {
  const auto at = [&c](int j) { return static_cast<std::size_t>(j) < c.size() ? c[static_cast<std::size_t>(j)] : 0.0; };
  double higher = 0.0;
  for (std::size_t j = static_cast<std::size_t>(zernike_j(3, -3)); j < c.size(); ++j) higher += c[j] * c[j];
  a.higher_order_rms_um = std::sqrt(higher);
  a.spherical_um = at(zernike_j(4, 0));
  a.coma_um = std::hypot(at(zernike_j(3, -1)), at(zernike_j(3, 1)));
  a.trefoil_um = std::hypot(at(zernike_j(3, -3)), at(zernike_j(3, 3)));
}

std::optional<CornealAberrations> corneal_aberrations(const SurfaceCells& cells, const SphereCap& sphere,
                                                      double pupil_diameter, std::string* why_not,
                                                      ZernikeFitCache* cache) {
  const auto fail = [why_not](const std::string& why) {
    if (why_not != nullptr) *why_not = why;
    return std::nullopt;
  };
  const double a = pupil_diameter / 2.0;
  if (!(a > 0.0) || !std::isfinite(a)) return fail("the pupil must be wider than 0 mm");
  if (a > cells.disc.radius)
  {
    char text[96];
    std::snprintf(text, sizeof text, "the pupil of %g mm is wider than the disc of %g mm measured", pupil_diameter,
                  2.0 * cells.disc.radius);
    return fail(text);
  }
  std::vector<double> X, Y, W;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const double u = (cells.x[i] - cells.disc.centre_x) / a, v = (cells.y[i] - cells.disc.centre_y) / a;
    if (u * u + v * v > 1.0) continue;
    X.push_back(u);
    Y.push_back(v);
    W.push_back((kCorneaIndex - 1.0) * (cells.z[i] - sphere.height(cells.x[i], cells.y[i])) * kMicronsPerMm);
  }
  ZernikeFitCache own;
  const ZernikeLeastSquares& fit = (cache != nullptr ? *cache : own).terms_at(kAberrationOrder, X, Y);
  if (!fit.problem().empty()) return fail(fit.problem());
  CornealAberrations result;
  result.pupil_diameter_mm = pupil_diameter;
  result.cells = static_cast<int>(X.size());
  result.coefficients_um = fit.solve(W);
  for (double c : result.coefficients_um)
    if (!std::isfinite(c)) return fail("the heights are not finite");
  summarise_aberrations(result.coefficients_um, result);
  return result;
}
