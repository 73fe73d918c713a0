// The Zernike terms: indices and names, the textbook polynomials, their
// orthonormality over the disc, and least squares that give back the
// coefficients a surface was made from.
#include "analysis/zernike.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace {

TEST(ZernikeIndex, SingleIndexOfOrderAndFrequency) {
  struct Case {
    int j, n, m;
    const char* name;
  } cases[] = {
      {0, 0, 0, "piston"},
      {1, 1, -1, "vertical tilt"},
      {2, 1, 1, "horizontal tilt"},
      {3, 2, -2, "oblique astigmatism"},
      {4, 2, 0, "defocus"},
      {5, 2, 2, "vertical astigmatism"},
      {6, 3, -3, "vertical trefoil"},
      {7, 3, -1, "vertical coma"},
      {8, 3, 1, "horizontal coma"},
      {9, 3, 3, "oblique trefoil"},
      {12, 4, 0, "primary spherical aberration"},
      {14, 4, 4, "vertical quadrafoil"},
      {15, 5, -5, ""},
      {24, 6, 0, ""},
      {65, 10, 10, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(zernike_nm(c.j).n, c.n) << c.j;
    EXPECT_EQ(zernike_nm(c.j).m, c.m) << c.j;
    EXPECT_EQ(zernike_j(c.n, c.m), c.j);
    EXPECT_EQ(zernike_name(c.j), c.name);
  }
  EXPECT_EQ(zernike_terms(6), 28);
  EXPECT_EQ(zernike_terms(10), 66);
  EXPECT_EQ(zernike_terms(0), 1);
  EXPECT_EQ(ZernikeBasis(-3).terms(), 1);
  EXPECT_EQ(ZernikeBasis(12).terms(), 66);
}

TEST(ZernikeBasis, TextbookPolynomialsAtAPoint) {
  const ZernikeBasis basis(4);
  const double rho = 0.7, theta = 40.0 * std::numbers::pi / 180.0;
  std::vector<double> z(15);
  basis.values(rho * std::cos(theta), rho * std::sin(theta), z.data());
  const double r2 = rho * rho;
  const double expected[] = {
      1.0,
      2.0 * rho * std::sin(theta),
      2.0 * rho * std::cos(theta),
      std::sqrt(6.0) * r2 * std::sin(2 * theta),
      std::sqrt(3.0) * (2 * r2 - 1),
      std::sqrt(6.0) * r2 * std::cos(2 * theta),
      std::sqrt(8.0) * r2 * rho * std::sin(3 * theta),
      std::sqrt(8.0) * (3 * r2 * rho - 2 * rho) * std::sin(theta),
      std::sqrt(8.0) * (3 * r2 * rho - 2 * rho) * std::cos(theta),
      std::sqrt(8.0) * r2 * rho * std::cos(3 * theta),
      std::sqrt(10.0) * r2 * r2 * std::sin(4 * theta),
      std::sqrt(10.0) * (4 * r2 * r2 - 3 * r2) * std::sin(2 * theta),
      std::sqrt(5.0) * (6 * r2 * r2 - 6 * r2 + 1),
      std::sqrt(10.0) * (4 * r2 * r2 - 3 * r2) * std::cos(2 * theta),
      std::sqrt(10.0) * r2 * r2 * std::cos(4 * theta),
  };
  for (int j = 0; j < 15; ++j) EXPECT_NEAR(z[j], expected[j], 1e-14) << "j = " << j;
}

// Gauss-Legendre nodes and weights on [0, 1].
void gauss_legendre(int count, std::vector<double>& nodes, std::vector<double>& weights) {
  nodes.assign(count, 0.0);
  weights.assign(count, 0.0);
  for (int i = 0; i < count; ++i) {
    double x = std::cos(std::numbers::pi * (i + 0.75) / (count + 0.5));
    double derivative = 0.0;
    for (int k = 0; k < 100; ++k) {
      double p0 = 1.0, p1 = x;
      for (int n = 2; n <= count; ++n) {
        const double p2 = ((2 * n - 1) * x * p1 - (n - 1) * p0) / n;
        p0 = p1;
        p1 = p2;
      }
      derivative = count * (x * p1 - p0) / (x * x - 1.0);
      const double step = p1 / derivative;
      x -= step;
      if (std::abs(step) < 1e-16) break;
    }
    nodes[i] = (x + 1.0) / 2.0;
    weights[i] = 1.0 / ((1.0 - x * x) * derivative * derivative);
  }
}

TEST(ZernikeBasis, OrthonormalOverTheDisc) {
  // Mean of Z_i Z_j over the disc on a polar grid: 64 angles are exact for
  // the products' frequencies up to 20, 24 Gauss-Legendre radii for their
  // polynomials in rho up to degree 21 (with the area weight rho).
  const ZernikeBasis basis(kMaxZernikeOrder);
  const int k = basis.terms();
  std::vector<double> nodes, weights;
  gauss_legendre(24, nodes, weights);
  const int angles = 64;
  std::vector<double> gram(static_cast<std::size_t>(k * k), 0.0), z(k);
  for (std::size_t r = 0; r < nodes.size(); ++r)
    for (int a = 0; a < angles; ++a) {
      const double theta = 2.0 * std::numbers::pi * a / angles;
      basis.values(nodes[r] * std::cos(theta), nodes[r] * std::sin(theta), z.data());
      // Area element rho drho dtheta over the disc's area pi.
      const double w = weights[r] * nodes[r] * (2.0 * std::numbers::pi / angles) / std::numbers::pi;
      for (int i = 0; i < k; ++i)
        for (int j = 0; j < k; ++j) gram[static_cast<std::size_t>(i * k + j)] += w * z[i] * z[j];
    }
  for (int i = 0; i < k; ++i)
    for (int j = 0; j < k; ++j)
      ASSERT_NEAR(gram[static_cast<std::size_t>(i * k + j)], i == j ? 1.0 : 0.0, 1e-12) << i << ", " << j;
}

TEST(ZernikeBasis, RadialRatesAndCentreLaplaciansMatchDifferences) {
  const ZernikeBasis basis(kMaxZernikeOrder);
  const int k = basis.terms();
  std::vector<double> rates(k), plus(k), minus(k), z0(k), zx(k), zy(k), zmx(k), zmy(k);
  const double h = 1e-5;
  for (auto [rho, theta] : {std::pair{0.35, 0.3}, {0.8, 2.2}, {1.004, -1.1}}) {
    const double c = std::cos(theta), s = std::sin(theta);
    basis.radial_rates(rho * c, rho * s, rates.data());
    basis.values((rho + h) * c, (rho + h) * s, plus.data());
    basis.values((rho - h) * c, (rho - h) * s, minus.data());
    for (int j = 0; j < k; ++j)
      EXPECT_NEAR(rates[j], rho * (plus[j] - minus[j]) / (2 * h), 1e-6 * (1 + std::abs(rates[j]))) << j;
  }
  const double d = 1e-4;
  basis.values(0, 0, z0.data());
  basis.values(d, 0, zx.data());
  basis.values(-d, 0, zmx.data());
  basis.values(0, d, zy.data());
  basis.values(0, -d, zmy.data());
  for (int j = 0; j < k; ++j) {
    const double laplacian = (zx[j] + zmx[j] + zy[j] + zmy[j] - 4 * z0[j]) / (d * d);
    EXPECT_NEAR(basis.centre_laplacian(j), laplacian, 1e-4 * (1 + std::abs(laplacian))) << j;
  }
  basis.radial_rates(0.0, 0.0, rates.data());
  for (int j = 0; j < k; ++j) EXPECT_EQ(rates[j], 0.0) << j;
}

// Points of the default evaluation disc (3.2 mm) at the map's cell centres.
void disc_points(std::vector<double>& X, std::vector<double>& Y) {
  for (int x = 0; x < 256; ++x)
    for (int y = 0; y < 256; ++y) {
      const double u = (x - 127.5) * 0.04, v = (127.5 - y) * 0.04;
      if (u * u + v * v < 3.2 * 3.2) {
        X.push_back(u / 3.2);
        Y.push_back(v / 3.2);
      }
    }
}

TEST(ZernikeLeastSquares, GivesBackTheCoefficientsOfItsOwnSurface) {
  std::vector<double> X, Y;
  disc_points(X, Y);
  std::mt19937 random(7);
  std::uniform_real_distribution<double> coefficient(-2.0, 2.0);
  for (int order : {0, 2, 6, 10}) {
    const ZernikeBasis basis(order);
    const int k = basis.terms();
    std::vector<double> truth(k);
    for (double& c : truth) c = coefficient(random);
    std::vector<double> values(X.size()), z(k);
    for (std::size_t i = 0; i < X.size(); ++i) {
      basis.values(X[i], Y[i], z.data());
      for (int j = 0; j < k; ++j) values[i] += truth[j] * z[j];
    }
    const ZernikeLeastSquares fit(basis, X, Y);
    ASSERT_EQ(fit.problem(), "") << order;
    const std::vector<double> found = fit.solve(values);
    ASSERT_EQ(found.size(), truth.size());
    for (int j = 0; j < k; ++j) EXPECT_NEAR(found[j], truth[j], 1e-11) << "order " << order << " j " << j;
    EXPECT_LT(fit.rms_left(values, found), 1e-12);
  }
}

TEST(ZernikeLeastSquares, TooFewOrDegeneratePointsAreRefused) {
  const ZernikeBasis basis(6);
  std::vector<double> X(27, 0.1), Y(27, 0.2);
  EXPECT_EQ(ZernikeLeastSquares(basis, X, Y).problem(), "fewer cells (27) than terms (28)");
  // Many points, all on one line: the terms are not determined.
  X.clear();
  Y.clear();
  for (int i = 0; i < 500; ++i) {
    X.push_back(-0.9 + i * 0.0036);
    Y.push_back(0.5 * X.back());
  }
  const ZernikeLeastSquares line(basis, X, Y);
  EXPECT_EQ(line.problem(), "the cells do not determine the terms");
  EXPECT_TRUE(line.solve(std::vector<double>(500, 1.0)).empty());
  EXPECT_TRUE(std::isnan(line.rms_left(std::vector<double>(500, 1.0), std::vector<double>(28, 0.0))));
}

}  // namespace
