// Zernike terms over the unit disc in the OSA/ANSI convention: single index
// j = (n (n + 2) + m) / 2 for radial order n = 0, 1, ... and azimuthal
// frequency m = -n, -n + 2, ..., n; orthonormal over the disc,
//   Z_j = sqrt(2 (n + 1) / (1 + delta_m0)) R_n^|m|(rho) cos(m theta)   (m >= 0)
//   Z_j = sqrt(2 (n + 1))               R_n^|m|(rho) sin(|m| theta)  (m < 0)
// with theta counter-clockwise from the x axis, so that the mean of Z_i Z_j
// over the disc is 1 for i = j and 0 otherwise. A term's coefficient is then
// its RMS over the disc.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

// Radial orders the fits take; order N has (N + 1) (N + 2) / 2 terms.
constexpr int kMaxZernikeOrder = 10;
constexpr int kDefaultZernikeOrder = 6;

struct ZernikeIndex {
  int n = 0;
  int m = 0;
};

// Terms of orders 0..order: (order + 1) (order + 2) / 2; 0 for a negative order.
constexpr int zernike_terms(int order) { return order < 0 ? 0 : (order + 1) * (order + 2) / 2; }
constexpr int kMaxZernikeTerms = zernike_terms(kMaxZernikeOrder);
// j of (n, m); n >= 0, |m| <= n, n - m even.
int zernike_j(int n, int m);
// (n, m) of j >= 0.
ZernikeIndex zernike_nm(int j);
// The usual name of term j for j = 0..14 ("piston", "vertical tilt", ...,
// "primary spherical aberration", ...); empty beyond.
std::string zernike_name(int j);

// The terms of orders 0..order as polynomials in the disc coordinates
// (X, Y) = (x, y) / disc radius, evaluated without sine, cosine or roots
// (rho^|m| cos m theta is the real and rho^|m| sin |m| theta the imaginary
// part of (X + iY)^|m|), so they are smooth at the centre and may be taken a
// little outside the disc.
class ZernikeBasis {
 public:
  // order is clamped to 0..kMaxZernikeOrder.
  explicit ZernikeBasis(int order);

  int order() const { return order_; }
  int terms() const { return static_cast<int>(terms_.size()); }

  // Z_j(X, Y) for every j into values[0 .. terms() - 1].
  void values(double X, double Y, double* values) const;
  // rho dZ_j/drho at (X, Y) into rates[0 .. terms() - 1]: the radial
  // derivative times rho, a polynomial too (0 at the centre).
  void radial_rates(double X, double Y, double* rates) const;
  // radial_rates and, into bends[0 .. terms() - 1], rho^2 d^2Z_j/drho^2:
  // the second radial derivative times rho^2, a polynomial too (0 at the
  // centre). One pass over the terms serves both.
  void radial_rates_and_bends(double X, double Y, double* rates, double* bends) const;
  // The Laplacian (in X, Y) of term j at the centre: only m = 0 terms have one.
  double centre_laplacian(int j) const;

 private:
  struct Term {
    int n, m;
    double norm;
    std::vector<double> radial;  // R_n^|m| / rho^|m| as a polynomial in rho^2, lowest power first
    std::vector<double> rate;    // rho dR/drho / rho^|m| as a polynomial in rho^2
    std::vector<double> bend;    // rho^2 d^2R/drho^2 / rho^|m| as a polynomial in rho^2
  };
  void angular_parts(double X, double Y, double* cos_part, double* sin_part) const;
  // norm · part(u) · angular factor of every term at (X, Y), into `out`, and
  // of `second_part` into `second_out` when that is given (one pass for both).
  void evaluate(double X, double Y, std::vector<double> Term::*part, double* out,
                std::vector<double> Term::*second_part = nullptr, double* second_out = nullptr) const;
  int order_;
  std::vector<Term> terms_;
};

// Least-squares Zernike coefficients of values taken at points of the disc
// (X, Y in disc units). The normal equations of the points are formed and
// factorised once; each set of values is then a cheap solve. With the terms
// nearly orthonormal over any well-filled disc, the normal equations lose
// no digits that matter.
class ZernikeLeastSquares {
 public:
  ZernikeLeastSquares(const ZernikeBasis& basis, const std::vector<double>& X,
                      const std::vector<double>& Y);
  ~ZernikeLeastSquares();
  ZernikeLeastSquares(const ZernikeLeastSquares&) = delete;
  ZernikeLeastSquares& operator=(const ZernikeLeastSquares&) = delete;

  // Empty when the fit is determined; otherwise why not ("fewer cells (12)
  // than terms (28)", "the cells do not determine the terms").
  const std::string& problem() const { return problem_; }

  // Coefficients (in the unit of the values) for values[i] at point i; empty
  // when problem() is not empty or the sizes differ.
  std::vector<double> solve(const std::vector<double>& values) const;
  // RMS of values less the fitted terms at the points.
  double rms_left(const std::vector<double>& values, const std::vector<double>& coefficients) const;

 private:
  struct Factors;
  std::unique_ptr<Factors> factors_;
  std::string problem_;
};

// A Zernike fit kept from one call to the next: the basis of the last order
// and the factorised normal equations of the last points. Points and order
// as the last call's (the same cells, as most runs of a study have) take
// them from here instead of forming them again; the coefficients are the
// same bits either way. One per thread.
class ZernikeFitCache {
 public:
  ZernikeFitCache();
  ~ZernikeFitCache();
  ZernikeFitCache(const ZernikeFitCache&) = delete;
  ZernikeFitCache& operator=(const ZernikeFitCache&) = delete;

  // The fit of `order`'s terms at the points (X, Y), formed when the order or
  // the points differ from the last call's.
  const ZernikeLeastSquares& terms_at(int order, const std::vector<double>& X, const std::vector<double>& Y);
  const ZernikeBasis& basis() const { return *basis_; }

 private:
  std::unique_ptr<ZernikeBasis> basis_;
  std::vector<double> X_, Y_;
  std::unique_ptr<ZernikeLeastSquares> terms_;
};
