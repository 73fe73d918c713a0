#include "analysis/keratometry.h"

#include <Eigen/Dense>

#include <cmath>
#include <numbers>

#include "analysis/sphere_fit.h"
#include "analysis/surface_cells.h"
#include "analysis/refractive_power.h"

namespace {

std::optional<KeratometryResult> refuse(std::string* why_not, const std::string& reason) {
  if (why_not != nullptr) *why_not = reason;
  return std::nullopt;
}

}  // namespace

std::optional<KeratometryResult> keratometry(const std::vector<double>& x, const std::vector<double>& y,
                                             const std::vector<double>& z, double centre_x,
                                             double centre_y, double zone_radius,
                                             std::string* why_not) {
  std::vector<double> zx, zy, zz;
  const double limit = zone_radius * zone_radius;
  for (std::size_t i = 0; i < z.size() && i < x.size() && i < y.size(); ++i) {
    const double dx = x[i] - centre_x, dy = y[i] - centre_y;
    if (dx * dx + dy * dy > limit) continue;
    zx.push_back(dx);
    zy.push_back(dy);
    zz.push_back(z[i]);
  }
  if (zz.size() < 6) return refuse(why_not, "fewer than 6 cells with data in the central zone");
  if (!cells_span_plane(zx, zy)) return refuse(why_not, "the cells of the central zone lie on a line");

  const Eigen::Index n = static_cast<Eigen::Index>(zz.size());
  Eigen::MatrixXd a(n, 6);
  for (Eigen::Index i = 0; i < n; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const double u = zx[k], v = zy[k];
    a.row(i) << 1.0, u, v, u * u, u * v, v * v;
  }
  const Eigen::Map<const Eigen::VectorXd> b(zz.data(), n);
  Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(a);
  qr.setThreshold(1e-10);
  if (qr.rank() < 6) return refuse(why_not, "the cells of the central zone do not determine a quadratic");
  const Eigen::VectorXd s = qr.solve(b);

  // Curvatures of the surface bulging towards +z: the eigenvalues of
  // [[p, q], [q, r]] = -[[2d, e], [e, 2f]]; the normal curvature along
  // direction t is mean + half_difference cos(2 (t - steep)).
  const double p = -2.0 * s(3), q = -s(4), r = -2.0 * s(5);
  const double mean = (p + r) / 2.0;
  const double half_difference = std::hypot((p - r) / 2.0, q);
  const double flat = mean - half_difference;
  const double steep = mean + half_difference;
  if (!(flat * kMaxFigureRadius > 1.0))
    return refuse(why_not, "the central zone is flat or not convex: no finite flat radius");

  KeratometryResult k;
  k.flat_radius = 1.0 / flat;
  k.steep_radius = 1.0 / steep;
  k.flat_power = power_of_radius(k.flat_radius);
  k.steep_power = power_of_radius(k.steep_radius);
  k.cells = static_cast<int>(n);
  for (int i = 0; i < 6; ++i) k.coefficients[i] = s(i);
  if (half_difference > 1e-12 * steep) {
    const double steep_deg = std::atan2(q, (p - r) / 2.0) * 90.0 / std::numbers::pi;
    double axis = steep_deg + 90.0;
    axis = std::fmod(axis, 180.0);
    if (axis < 0.0) axis += 180.0;
    if (axis >= 180.0) axis -= 180.0;
    k.axis_deg = axis;
  }
  return k;
}
