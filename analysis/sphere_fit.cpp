#include "analysis/sphere_fit.h"

#include <Eigen/Dense>

#include <algorithm>
#include <limits>

#include "analysis/levenberg_marquardt.h"
#include "analysis/surface_cells.h"

namespace {

constexpr int kMaxIterations = 200;

std::optional<SphereFitResult> refuse(std::string* why_not, const std::string& reason) {
  if (why_not != nullptr) *why_not = reason;
  return std::nullopt;
}

struct Points {
  const std::vector<double>& x;
  const std::vector<double>& y;
  const std::vector<double>& z;
  std::size_t size() const { return z.size(); }
};

// Sum of squared height differences to the cap; infinite when a point lies
// beyond the cap's outline.
double cost_of(const Points& p, const SphereCap& cap) {
  double sum = 0.0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const double h = cap.height(p.x[i], p.y[i]);
    if (std::isnan(h)) return std::numeric_limits<double>::infinity();
    const double r = p.z[i] - h;
    sum += r * r;
  }
  return sum;
}

SphereCap cap_of(const Eigen::Vector4d& at) { return {at(0), at(1), at(2), at(3)}; }

// The cap's heights over (x0, y0, z0, c) for levenberg_marquardt: J^T J and
// J^T e summed point by point, the lower triangle, then mirrored.
struct CapModel {
  const Points& p;

  void normal_equations(const Eigen::Vector4d& at, Eigen::Matrix4d& jtj, Eigen::Vector4d& jtr) const {
    jtj.setZero();
    jtr.setZero();
    const SphereCap cap = cap_of(at);
    const double c = cap.curvature;
    for (std::size_t i = 0; i < p.size(); ++i) {
      const double dx = p.x[i] - cap.x0, dy = p.y[i] - cap.y0;
      const double rho_sq = dx * dx + dy * dy;
      const double w = std::sqrt(1.0 - c * c * rho_sq);
      const double h = cap.z0 - c * rho_sq / (1.0 + w);
      const double j[4] = {c * dx / w, c * dy / w, 1.0, -rho_sq / (w * (1.0 + w))};
      const double r = p.z[i] - h;
      for (int a = 0; a < 4; ++a) {
        for (int b = 0; b <= a; ++b) jtj(a, b) += j[a] * j[b];
        jtr(a) += j[a] * r;
      }
    }
    jtj = jtj.selfadjointView<Eigen::Lower>();
  }
  double cost(const Eigen::Vector4d& trial) const { return cost_of(p, cap_of(trial)); }
  void accept() const {}
  // The curvature's step is measured against the curvature alone: it is
  // never near zero for a cap that fits, and 1 would swamp it.
  static bool step_is_small(const Eigen::Vector4d& step, const Eigen::Vector4d& at) {
    return std::abs(step(0)) <= 1e-12 * (1.0 + std::abs(at(0))) &&
           std::abs(step(1)) <= 1e-12 * (1.0 + std::abs(at(1))) &&
           std::abs(step(2)) <= 1e-12 * (1.0 + std::abs(at(2))) && std::abs(step(3)) <= 1e-12 * std::abs(at(3));
  }
};

// The algebraic sphere through the points, about their mean for conditioning.
std::optional<SphereCap> algebraic_start(const Points& p, std::string* why_not) {
  const Eigen::Index n = static_cast<Eigen::Index>(p.size());
  double mx = 0.0, my = 0.0, mz = 0.0;
  for (std::size_t i = 0; i < p.size(); ++i) mx += p.x[i], my += p.y[i], mz += p.z[i];
  mx /= static_cast<double>(n);
  my /= static_cast<double>(n);
  mz /= static_cast<double>(n);
  Eigen::MatrixXd a(n, 4);
  Eigen::VectorXd b(n);
  for (Eigen::Index i = 0; i < n; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const double x = p.x[k] - mx, y = p.y[k] - my, z = p.z[k] - mz;
    a(i, 0) = x;
    a(i, 1) = y;
    a(i, 2) = z;
    a(i, 3) = 1.0;
    b(i) = -(x * x + y * y + z * z);
  }
  Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(a);
  qr.setThreshold(1e-10);
  if (qr.rank() < 4) {
    if (why_not != nullptr) *why_not = "the surface is flat: no finite radius";
    return std::nullopt;
  }
  const Eigen::Vector4d s = qr.solve(b);
  const double cx = -s(0) / 2, cy = -s(1) / 2, cz = -s(2) / 2;
  const double r_sq = cx * cx + cy * cy + cz * cz - s(3);
  if (!(r_sq > 0.0) || !std::isfinite(r_sq)) {
    if (why_not != nullptr) *why_not = "the heights fit no sphere";
    return std::nullopt;
  }
  const double r = std::sqrt(r_sq);
  // The points lie above the centre for a cap bulging towards +z.
  const bool bulges_up = cz < 0.0;
  SphereCap cap{cx + mx, cy + my, (bulges_up ? cz + r : cz - r) + mz, bulges_up ? 1.0 / r : -1.0 / r};
  return cap;
}

}  // namespace

std::optional<SphereFitResult> fit_sphere(const std::vector<double>& x, const std::vector<double>& y,
                                          const std::vector<double>& z, std::string* why_not) {
  if (x.size() != z.size() || y.size() != z.size()) return refuse(why_not, "mismatched points");
  if (z.size() < 4) return refuse(why_not, "fewer than 4 cells with data");
  if (!cells_span_plane(x, y)) return refuse(why_not, "the cells lie on a line");
  const Points p{x, y, z};
  std::optional<SphereCap> start = algebraic_start(p, why_not);
  if (!start) return std::nullopt;

  SphereCap cap = *start;
  // A start whose outline misses some points is flattened until it covers them.
  double cost = cost_of(p, cap);
  for (int k = 0; k < 60 && !std::isfinite(cost); ++k) {
    cap.curvature *= 0.9;
    cost = cost_of(p, cap);
  }
  if (!std::isfinite(cost)) return refuse(why_not, "the heights fit no sphere");

  // Levenberg-Marquardt over (x0, y0, z0, c).
  CapModel model{p};
  const MarquardtOutcome<4> fit =
      levenberg_marquardt<4>(model, Eigen::Vector4d(cap.x0, cap.y0, cap.z0, cap.curvature), cost, kMaxIterations);
  if (!fit.converged) return refuse(why_not, "the sphere fit did not converge");
  cap = cap_of(fit.at);
  if (!(std::abs(cap.curvature) * kMaxFigureRadius > 1.0))
    return refuse(why_not, "the surface is flat: no finite radius");
  SphereFitResult result{cap, 1.0 / cap.curvature, std::sqrt(fit.cost / static_cast<double>(p.size())),
                         fit.iterations};
  return result;
}
