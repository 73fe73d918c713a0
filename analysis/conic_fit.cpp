#include "analysis/conic_fit.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "analysis/levenberg_marquardt.h"
#include "analysis/surface_cells.h"
#include "analysis/vector_2d.h"

namespace {

constexpr int kMaxIterations = 100;
constexpr int kParameters = 7;  // x0, y0, z0, a, b, d, Q

using Vector = Eigen::Matrix<double, kParameters, 1>;
using Matrix = Eigen::Matrix<double, kParameters, kParameters>;

std::optional<ConicFitResult> refuse(std::string* why_not, const std::string& reason) {
  if (why_not != nullptr) *why_not = reason;
  return std::nullopt;
}

// The model's terms at one point: N, M and the root W = sqrt(1 - (1 + Q) M).
struct Terms {
  double u, v;  // from the apex
  double p, r;  // C (u, v)
  double n, m;
  double w_sq;
};

Terms terms_at(const ConicSurface& s, double x, double y) {
  Terms t;
  t.u = x - s.x0;
  t.v = y - s.y0;
  t.p = s.a * t.u + s.b * t.v;
  t.r = s.b * t.u + s.d * t.v;
  t.n = t.u * t.p + t.v * t.r;
  t.m = t.p * t.p + t.r * t.r;
  t.w_sq = 1.0 - (1.0 + s.q) * t.m;
  return t;
}

ConicSurface surface_of(const Vector& p) { return {p(0), p(1), p(2), p(3), p(4), p(5), p(6)}; }

Vector parameters_of(const ConicSurface& s) {
  Vector p;
  p << s.x0, s.y0, s.z0, s.a, s.b, s.d, s.q;
  return p;
}

struct Points {
  const std::vector<double>& x;
  const std::vector<double>& y;
  const std::vector<double>& z;
  std::size_t size() const { return z.size(); }
};

// The sum of squared height differences e = z - height, infinite when a
// point lies where the surface has no height; and with it J^T J and J^T e of
// the heights' derivatives J over the parameters (both are wanted at every
// point the fit accepts, and a trial is rarely refused). With S = 1 + W and
// s = N / S the sag (height z0 - s):
//   ds/dN = 1 / S,  ds/dM = N (1 + Q) / (2 W S^2),  ds/dQ = N M / (2 W S^2),
// and N, M depend on the apex through (u, v) and on a, b, d directly.
// The rows of J and e are made a block at a time and their products summed
// by Eigen's matrix product, which keeps the sums in registers and vectors
// (summed point by point into the 28 entries, they went through memory).
constexpr Eigen::Index kBlockRows = 256;
using JacobianBlock = Eigen::Matrix<double, kBlockRows, kParameters>;
using ResidualBlock = Eigen::Matrix<double, kBlockRows, 1>;

double evaluate(const Points& p, const ConicSurface& s, Matrix& jtj, Vector& jte) {
  jtj.setZero();
  jte.setZero();
  const double k = 1.0 + s.q;
  double sum = 0.0;
  JacobianBlock j;
  ResidualBlock e;
  const Eigen::Index n = static_cast<Eigen::Index>(p.size());
  for (Eigen::Index start = 0; start < n; start += kBlockRows) {
    const Eigen::Index rows = std::min(kBlockRows, n - start);
    for (Eigen::Index row = 0; row < rows; ++row) {
      const auto i = static_cast<std::size_t>(start + row);
      const Terms t = terms_at(s, p.x[i], p.y[i]);
      if (!(t.w_sq > 0.0)) return std::numeric_limits<double>::infinity();
      const double w = std::sqrt(t.w_sq);
      const double root_sum = 1.0 + w;
      const double residual = p.z[i] - (s.z0 - t.n / root_sum);
      sum += residual * residual;
      e(row) = residual;
      const double ds_dn = 1.0 / root_sum;
      const double common = t.n / (2.0 * w * root_sum * root_sum);
      const double ds_dm = common * k;
      j(row, 0) = ds_dn * 2.0 * t.p + ds_dm * 2.0 * (t.p * s.a + t.r * s.b);
      j(row, 1) = ds_dn * 2.0 * t.r + ds_dm * 2.0 * (t.p * s.b + t.r * s.d);
      j(row, 2) = 1.0;
      j(row, 3) = -(ds_dn * t.u * t.u + ds_dm * 2.0 * t.p * t.u);
      j(row, 4) = -(ds_dn * 2.0 * t.u * t.v + ds_dm * 2.0 * (t.p * t.v + t.r * t.u));
      j(row, 5) = -(ds_dn * t.v * t.v + ds_dm * 2.0 * t.r * t.v);
      j(row, 6) = -common * t.m;
    }
    const auto rows_j = j.topRows(rows);
    jtj.noalias() += rows_j.transpose() * rows_j;
    jte.noalias() += rows_j.transpose() * e.head(rows);
  }
  return sum;
}

bool step_is_small(const Vector& step, const Vector& at) {
  for (int k = 0; k < kParameters; ++k)
    if (!(std::abs(step(k)) <= 1e-12 * (1.0 + std::abs(at(k))))) return false;
  return true;
}

// The conic's heights for levenberg_marquardt: a trial is evaluated with its
// J^T J and J^T e at once, which are kept when the trial is taken.
struct ConicModel {
  const Points& points;
  Matrix jtj;  // at the point taken last
  Vector jte;
  Matrix trial_jtj;
  Vector trial_jte;

  void normal_equations(const Vector&, Matrix& to_jtj, Vector& to_jte) const {
    to_jtj = jtj;
    to_jte = jte;
  }
  double cost(const Vector& trial) { return evaluate(points, surface_of(trial), trial_jtj, trial_jte); }
  void accept() {
    jtj = trial_jtj;
    jte = trial_jte;
  }
  static bool step_is_small(const Vector& step, const Vector& at) { return ::step_is_small(step, at); }
};

// Degrees in 0 <= angle < 180.
double half_turn(double degrees) {
  double a = std::fmod(degrees, 180.0);
  if (a < 0.0) a += 180.0;
  return a >= 180.0 ? a - 180.0 : a;
}

}  // namespace

double ConicSurface::height(double x, double y) const {
  const Terms t = terms_at(*this, x, y);
  if (!(t.w_sq > 0.0)) return std::nan("");
  return z0 - t.n / (1.0 + std::sqrt(t.w_sq));
}

std::optional<ConicFitResult> fit_conic(const std::vector<double>& x, const std::vector<double>& y,
                                        const std::vector<double>& z, const SphereCap& start,
                                        std::string* why_not) {
  if (x.size() != z.size() || y.size() != z.size()) return refuse(why_not, "mismatched points");
  if (z.size() < 8) return refuse(why_not, "fewer than 8 cells with data");
  if (!cells_span_plane(x, y)) return refuse(why_not, "the cells lie on a line");
  const Points points{x, y, z};

  ConicSurface surface{start.x0, start.y0, start.z0, start.curvature, 0.0, start.curvature, 0.0};
  Matrix jtj;
  Vector jte;
  double cost = evaluate(points, surface, jtj, jte);
  // A start whose outline misses some points is flattened until it covers them.
  for (int k = 0; k < 60 && !std::isfinite(cost) && std::isfinite(surface.a); ++k) {
    surface.a *= 0.9;
    surface.d *= 0.9;
    cost = evaluate(points, surface, jtj, jte);
  }
  if (!std::isfinite(cost)) return refuse(why_not, "the heights fit no conic surface");

  // Levenberg-Marquardt over the seven parameters.
  ConicModel model{points, jtj, jte, {}, {}};
  const MarquardtOutcome<kParameters> fit =
      levenberg_marquardt<kParameters>(model, parameters_of(surface), cost, kMaxIterations);
  if (!fit.converged) return refuse(why_not, "the conic fit did not converge");
  const Vector& at = fit.at;
  surface = surface_of(at);
  cost = fit.cost;
  const int iterations = fit.iterations;
  if (!at.allFinite()) return refuse(why_not, "the heights fit no conic surface");

  // Principal curvatures mean -+ half_difference; the flat one is the
  // smaller in size.
  const double mean = (surface.a + surface.d) / 2.0;
  const double half_difference = vector_length({(surface.a - surface.d) / 2.0, surface.b});
  const double flat = std::abs(mean) - half_difference;
  if (!(flat * kMaxFigureRadius > 1.0))
    return refuse(why_not, "the surface is flat in some direction or a saddle: no finite radius");
  if (!(std::abs(surface.q) <= kMaxFittedConic))
    return refuse(why_not, "the conic constant ran away (Q " + std::to_string(surface.q) + ")");

  const double sign = mean > 0.0 ? 1.0 : -1.0;
  ConicFitResult result;
  result.surface = surface;
  result.flat_radius = sign / flat;
  result.steep_radius = sign / (std::abs(mean) + half_difference);
  result.q = surface.q;
  result.rms = std::sqrt(cost / static_cast<double>(points.size()));
  result.iterations = iterations;
  if (std::abs(result.flat_radius - result.steep_radius) >= kSphereLikeRadiusDifference) {
    // The larger eigenvalue mean + half_difference lies along this angle; it
    // is the steep meridian of a cap bulging towards +z, the flat one of a
    // hollow cap.
    const double larger_deg =
        std::atan2(surface.b, (surface.a - surface.d) / 2.0) * 90.0 / std::numbers::pi;
    result.axis_deg = half_turn(sign > 0.0 ? larger_deg + 90.0 : larger_deg);
  }
  return result;
}
