#include "analysis/local_slope.h"

#include <Eigen/Dense>
#include <cmath>

#include "analysis/refractive_power.h"
#include "analysis/surface_cells.h"

LocalSlopes::LocalSlopes(const HeightMatrix& measured, double field, double window)
    : measured_(measured), step_(field / kMapSide), window_(window) {}

std::optional<Slope> LocalSlopes::at(double x, double y) const {
  if (!(step_ > 0.0) || !std::isfinite(x) || !std::isfinite(y)) return std::nullopt;
  // Cell (c, r) lies at ((c - 127.5) step, (127.5 - r) step).
  const int reach = static_cast<int>(std::ceil(window_ / step_)) + 1;
  const int c0 = static_cast<int>(std::lround(x / step_ + 127.5));
  const int r0 = static_cast<int>(std::lround(127.5 - y / step_));
  Eigen::Matrix<double, 10, 10> normal = Eigen::Matrix<double, 10, 10>::Zero();
  Eigen::Matrix<double, 10, 1> right = Eigen::Matrix<double, 10, 1>::Zero();
  int cells = 0;
  double z_ref = 0.0;
  bool have_ref = false;
  for (int c = c0 - reach; c <= c0 + reach; ++c) {
    if (c < 0 || c >= measured_.nx()) continue;
    for (int r = r0 - reach; r <= r0 + reach; ++r) {
      if (r < 0 || r >= measured_.ny()) continue;
      const double z = measured_(c, r);
      if (z == kNoHeight || !std::isfinite(z)) continue;
      // In window units, so that the normal equations stay well scaled.
      const double u = (cell_x_mm(c, step_) - x) / window_, v = (cell_y_mm(r, step_) - y) / window_;
      if (u * u + v * v > 1.0) continue;
      if (!have_ref) {
        z_ref = z;  // heights about one of them: the sums keep their digits
        have_ref = true;
      }
      const double t[10] = {1.0, u, v, u * u, u * v, v * v, u * u * u, u * u * v, u * v * v, v * v * v};
      const Eigen::Map<const Eigen::Matrix<double, 10, 1>> term(t);
      normal.noalias() += term * term.transpose();
      right.noalias() += term * (z - z_ref);
      ++cells;
    }
  }
  if (cells < 30) return std::nullopt;
  const Eigen::LDLT<Eigen::Matrix<double, 10, 10>> solver(normal);
  if (solver.info() != Eigen::Success) return std::nullopt;
  const Eigen::Matrix<double, 10, 1> a = solver.solve(right);
  if (!a.allFinite()) return std::nullopt;
  return Slope{a(1) / window_, a(2) / window_};
}

double local_axial_power(const LocalSlopes& slopes, double cx, double cy, double x, double y) {
  const double dx = x - cx, dy = y - cy;
  const double r = std::sqrt(dx * dx + dy * dy);
  const std::optional<Slope> g = slopes.at(x, y);
  if (!g || r < 1e-9) return std::nan("");
  const double s = (g->x * dx + g->y * dy) / r;
  return kDioptersTimesRadius * std::abs(s) / (r * std::sqrt(1.0 + s * s));
}
