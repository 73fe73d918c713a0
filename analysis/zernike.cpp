#include "analysis/zernike.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>

namespace {

double factorial(int k) {
  double f = 1.0;
  for (int i = 2; i <= k; ++i) f *= i;
  return f;
}

// Horner's rule over coefficients of u^0, u^1, ...
double polynomial(const std::vector<double>& c, double u) {
  double sum = 0.0;
  for (auto it = c.rbegin(); it != c.rend(); ++it) sum = sum * u + *it;
  return sum;
}

// Fits whose normal equations are worse conditioned than this are refused:
// the coefficients would keep fewer than about five significant digits.
constexpr double kMinReciprocalCondition = 1e-10;

}  // namespace

int zernike_j(int n, int m) { return (n * (n + 2) + m) / 2; }

ZernikeIndex zernike_nm(int j) {
  int n = 0;
  while (zernike_terms(n) <= j) ++n;
  return {n, 2 * j - n * (n + 2)};
}

std::string zernike_name(int j) {
  static const char* const kNames[] = {
      "piston",
      "vertical tilt",
      "horizontal tilt",
      "oblique astigmatism",
      "defocus",
      "vertical astigmatism",
      "vertical trefoil",
      "vertical coma",
      "horizontal coma",
      "oblique trefoil",
      "oblique quadrafoil",
      "oblique secondary astigmatism",
      "primary spherical aberration",
      "vertical secondary astigmatism",
      "vertical quadrafoil",
  };
  if (j < 0 || j >= static_cast<int>(std::size(kNames))) return "";
  return kNames[j];
}

ZernikeBasis::ZernikeBasis(int order) : order_(std::clamp(order, 0, kMaxZernikeOrder)) {
  const int count = zernike_terms(order_);
  terms_.reserve(static_cast<std::size_t>(count));
  for (int j = 0; j < count; ++j) {
    const ZernikeIndex nm = zernike_nm(j);
    Term t{nm.n, nm.m, std::sqrt(2.0 * (nm.n + 1) / (nm.m == 0 ? 2.0 : 1.0)), {}, {}, {}};
    const int a = std::abs(nm.m);
    const int half = (nm.n - a) / 2;
    t.radial.assign(static_cast<std::size_t>(half) + 1, 0.0);
    t.rate.assign(static_cast<std::size_t>(half) + 1, 0.0);
    t.bend.assign(static_cast<std::size_t>(half) + 1, 0.0);
    for (int k = 0; k <= half; ++k) {
      const double c = (k % 2 == 0 ? 1.0 : -1.0) * factorial(nm.n - k) /
                       (factorial(k) * factorial((nm.n + a) / 2 - k) * factorial(half - k));
      t.radial[static_cast<std::size_t>(half - k)] = c;
      t.rate[static_cast<std::size_t>(half - k)] = c * (nm.n - 2 * k);
      t.bend[static_cast<std::size_t>(half - k)] = c * (nm.n - 2 * k) * (nm.n - 2 * k - 1);
    }
    terms_.push_back(std::move(t));
  }
}

void ZernikeBasis::angular_parts(double X, double Y, double* cos_part, double* sin_part) const {
  cos_part[0] = 1.0;
  sin_part[0] = 0.0;
  for (int m = 1; m <= order_; ++m) {
    cos_part[m] = cos_part[m - 1] * X - sin_part[m - 1] * Y;
    sin_part[m] = cos_part[m - 1] * Y + sin_part[m - 1] * X;
  }
}

void ZernikeBasis::evaluate(double X, double Y, std::vector<double> Term::*part, double* out,
                            std::vector<double> Term::*second_part, double* second_out) const {
  double c[kMaxZernikeOrder + 1], s[kMaxZernikeOrder + 1];
  angular_parts(X, Y, c, s);
  const double u = X * X + Y * Y;
  for (std::size_t j = 0; j < terms_.size(); ++j) {
    const Term& t = terms_[j];
    const double angular = t.m >= 0 ? c[t.m] : s[-t.m];
    out[j] = t.norm * polynomial(t.*part, u) * angular;
    if (second_out != nullptr) second_out[j] = t.norm * polynomial(t.*second_part, u) * angular;
  }
}

void ZernikeBasis::values(double X, double Y, double* values) const { evaluate(X, Y, &Term::radial, values); }

void ZernikeBasis::radial_rates(double X, double Y, double* rates) const { evaluate(X, Y, &Term::rate, rates); }

void ZernikeBasis::radial_rates_and_bends(double X, double Y, double* rates, double* bends) const {
  evaluate(X, Y, &Term::rate, rates, &Term::bend, bends);
}

double ZernikeBasis::centre_laplacian(int j) const {
  if (j < 0 || j >= terms()) return 0.0;
  const Term& t = terms_[static_cast<std::size_t>(j)];
  // Z = norm (r0 + r1 rho^2 + ...) near the centre, and the Laplacian of
  // rho^2 = X^2 + Y^2 is 4.
  if (t.m != 0 || t.radial.size() < 2) return 0.0;
  return 4.0 * t.norm * t.radial[1];
}

struct ZernikeLeastSquares::Factors {
  Eigen::MatrixXd design;  // terms x points: column i holds every Z_j at point i
  Eigen::LDLT<Eigen::MatrixXd> normal;
};

ZernikeLeastSquares::ZernikeLeastSquares(const ZernikeBasis& basis, const std::vector<double>& X,
                                         const std::vector<double>& Y) {
  const Eigen::Index k = basis.terms();
  const Eigen::Index n = static_cast<Eigen::Index>(std::min(X.size(), Y.size()));
  if (n < k) {
    problem_ = "fewer cells (" + std::to_string(n) + ") than terms (" + std::to_string(k) + ")";
    return;
  }
  factors_ = std::make_unique<Factors>();
  Factors& f = *factors_;
  f.design.resize(k, n);
  for (Eigen::Index i = 0; i < n; ++i)
    basis.values(X[static_cast<std::size_t>(i)], Y[static_cast<std::size_t>(i)], f.design.col(i).data());
  Eigen::MatrixXd gram = Eigen::MatrixXd::Zero(k, k);
  gram.selfadjointView<Eigen::Lower>().rankUpdate(f.design);
  f.normal.compute(gram.selfadjointView<Eigen::Lower>());
  if (f.normal.info() != Eigen::Success || !(f.normal.rcond() > kMinReciprocalCondition)) {
    problem_ = "the cells do not determine the terms";
    factors_.reset();
  }
}

ZernikeLeastSquares::~ZernikeLeastSquares() = default;

std::vector<double> ZernikeLeastSquares::solve(const std::vector<double>& values) const {
  if (!factors_ || static_cast<Eigen::Index>(values.size()) != factors_->design.cols()) return {};
  const Eigen::Map<const Eigen::VectorXd> b(values.data(), static_cast<Eigen::Index>(values.size()));
  const Eigen::VectorXd x = factors_->normal.solve(factors_->design * b);
  return std::vector<double>(x.data(), x.data() + x.size());
}

double ZernikeLeastSquares::rms_left(const std::vector<double>& values,
                                     const std::vector<double>& coefficients) const {
  if (!factors_ || static_cast<Eigen::Index>(values.size()) != factors_->design.cols() ||
      static_cast<Eigen::Index>(coefficients.size()) != factors_->design.rows() || values.empty())
    return std::nan("");
  const Eigen::Map<const Eigen::VectorXd> b(values.data(), static_cast<Eigen::Index>(values.size()));
  const Eigen::Map<const Eigen::VectorXd> a(coefficients.data(),
                                            static_cast<Eigen::Index>(coefficients.size()));
  const Eigen::VectorXd left = b - factors_->design.transpose() * a;
  return std::sqrt(left.squaredNorm() / static_cast<double>(left.size()));
}

ZernikeFitCache::ZernikeFitCache() = default;
ZernikeFitCache::~ZernikeFitCache() = default;

const ZernikeLeastSquares& ZernikeFitCache::terms_at(int order, const std::vector<double>& X,
                                                     const std::vector<double>& Y) {
  if (basis_ == nullptr || basis_->order() != std::clamp(order, 0, kMaxZernikeOrder)) {
    terms_.reset();
    basis_ = std::make_unique<ZernikeBasis>(order);
  }
  if (terms_ == nullptr || X != X_ || Y != Y_) {
    terms_.reset();
    terms_ = std::make_unique<ZernikeLeastSquares>(*basis_, X, Y);
    X_ = X;
    Y_ = Y;
  }
  return *terms_;
}
