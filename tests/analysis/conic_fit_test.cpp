// The best-fit conic surface, the keratometry read off it and the tangential
// power map: surfaces made from known parameters come back to rounding, the
// keratometry follows the closed form, the axis turns with the surface, and
// every kind of bad input is marked not available.
#include "analysis/conic_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <random>

#include "analysis/curvature_maps.h"
#include "analysis/reference_sphere.h"
#include "analysis/surface_figures.h"

namespace {

constexpr double kField = 10.24;  // mm: 0.04 mm cells
constexpr double kMask = 3.3;     // mm: a disc of 3.2 mm

struct Biconic {
  double rx, ry, axis_deg, q;
  double x0 = 0.0, y0 = 0.0, z0 = 0.0;
};

// The biconic as the simulation writes it: turned coordinates, the sag of
// both meridians under one root, bulging towards +z.
double biconic_height(const Biconic& b, double x, double y) {
  const double t = b.axis_deg * std::numbers::pi / 180.0;
  const double u = x - b.x0, v = y - b.y0;
  const double xr = u * std::cos(t) + v * std::sin(t);
  const double yr = v * std::cos(t) - u * std::sin(t);
  const double cx = 1 / b.rx, cy = 1 / b.ry;
  const double root = std::sqrt(1 - (1 + b.q) * (cx * cx * xr * xr + cy * cy * yr * yr));
  return b.z0 - (cx * xr * xr + cy * yr * yr) / (1 + root);
}

// A map with height(x, y) at every cell centre: column c at x = (c - 127.5)
// 0.04 mm to the right, row r at y = (127.5 - r) 0.04 mm up as the map is shown.
HeightMatrix map_of(const std::function<double(double, double)>& height) {
  HeightMatrix map;
  for (int c = 0; c < kMapSide; ++c)
    for (int r = 0; r < kMapSide; ++r) map(c, r) = height((c - 127.5) * 0.04, (127.5 - r) * 0.04);
  return map;
}

SurfaceFigures figures_of(const HeightMatrix& measured, double mask = kMask) {
  HeightMatrix sphere;
  perfect_sphere(7.5, kField, kMapSide, 0.0, 0.0, 0.0, sphere);
  return surface_figures({measured, sphere, kField, mask});
}

SurfaceFigures figures_of(const Biconic& b) {
  return figures_of(map_of([&](double x, double y) { return biconic_height(b, x, y); }));
}

// Degrees between two axes, 180 periodic.
double axis_difference(double a, double b) {
  const double d = std::fmod(std::abs(a - b), 180.0);
  return std::min(d, 180.0 - d);
}

void expect_recovered(const Biconic& b, const SurfaceFigures& f) {
  ASSERT_TRUE(f.conic) << f.conic_note;
  const double flat = std::max(b.rx, b.ry), steep = std::min(b.rx, b.ry);
  EXPECT_NEAR(f.conic->flat_radius_mm, flat, 1e-7);
  EXPECT_NEAR(f.conic->steep_radius_mm, steep, 1e-7);
  EXPECT_NEAR(f.conic->q, b.q, 1e-6);
  EXPECT_NEAR(f.conic->apex_x_mm, b.x0, 1e-8);
  EXPECT_NEAR(f.conic->apex_y_mm, b.y0, 1e-8);
  EXPECT_LT(f.conic->rms_um, 1e-6);
  ASSERT_TRUE(f.conic->axis_deg);
  const double flat_axis = b.rx > b.ry ? b.axis_deg : b.axis_deg + 90.0;
  EXPECT_LT(axis_difference(*f.conic->axis_deg, flat_axis), 1e-5) << *f.conic->axis_deg;
  EXPECT_GE(*f.conic->axis_deg, 0.0);
  EXPECT_LT(*f.conic->axis_deg, 180.0);

  // Keratometry: the axial radius of each principal meridian 1.5 mm out.
  ASSERT_TRUE(f.keratometry) << f.keratometry_note;
  const KeratometryResult& k = *f.keratometry;
  EXPECT_NEAR(k.flat_radius, std::sqrt(flat * flat - b.q * 2.25), 1e-7);
  EXPECT_NEAR(k.steep_radius, std::sqrt(steep * steep - b.q * 2.25), 1e-7);
  EXPECT_DOUBLE_EQ(k.flat_power, 337.0 / k.flat_radius);
  EXPECT_DOUBLE_EQ(k.steep_power, 337.0 / k.steep_radius);
  ASSERT_TRUE(k.axis_deg);
  EXPECT_EQ(*k.axis_deg, *f.conic->axis_deg);
}

TEST(ConicFit, GivesBackTheBiconicItWasMadeFrom) {
  // Named cases: the edges of the eye's range, decentred and raised apexes,
  // axes at the wrap-around, and Rx the flat or the steep meridian.
  const Biconic cases[] = {
      {7.6, 7.9, 30.0, -0.2},
      {9.6, 9.1, 0.0, 0.3, 0.1, -0.05, 0.002},
      {6.7, 7.2, 179.8, -0.6, -0.2, 0.15, -0.01},
      {8.0, 7.9, 90.0, 0.0},
      {7.0, 7.5, 135.0, -0.35, 0.3, 0.3, 0.0},
  };
  for (const Biconic& b : cases) {
    SCOPED_TRACE(testing::Message() << b.rx << "/" << b.ry << " at " << b.axis_deg << ", Q " << b.q);
    expect_recovered(b, figures_of(b));
  }
  // Random draws over the range the figures are made for.
  std::mt19937 random(20261210);
  std::uniform_real_distribution<double> radius(6.7, 9.1), difference(0.1, 0.5), axis(0.0, 180.0),
      conic(-0.6, 0.3), offset(-0.2, 0.2);
  for (int draw = 0; draw < 12; ++draw) {
    const double r = radius(random), d = difference(random);
    const bool rx_flat = draw % 2 == 0;
    const Biconic b{rx_flat ? r + d : r, rx_flat ? r : r + d, axis(random), conic(random),
                    offset(random), offset(random), 0.0};
    SCOPED_TRACE(testing::Message() << "draw " << draw << ": " << b.rx << "/" << b.ry << " at " << b.axis_deg
                                    << ", Q " << b.q);
    expect_recovered(b, figures_of(b));
  }
}

TEST(ConicFit, TheAxisTurnsWithTheSurfaceAndYRunsUpTheMap) {
  // The flat meridian (8.0 mm) along 20 degrees, then the surface turned by
  // 30 degrees counter-clockwise as the map is shown.
  const SurfaceFigures f = figures_of(Biconic{8.0, 7.6, 20.0, -0.1});
  const SurfaceFigures turned = figures_of(Biconic{8.0, 7.6, 50.0, -0.1});
  ASSERT_TRUE(f.conic && f.conic->axis_deg && turned.conic && turned.conic->axis_deg);
  EXPECT_NEAR(*turned.conic->axis_deg - *f.conic->axis_deg, 30.0, 1e-6);
  // On the map a flat meridian at 45 degrees runs from the lower left to the
  // upper right: up the map is to lower rows. Along it the heights fall more
  // slowly than along the other diagonal.
  const SurfaceFigures diagonal = figures_of(Biconic{8.2, 7.4, 45.0, 0.0});
  ASSERT_TRUE(diagonal.conic && diagonal.conic->axis_deg);
  EXPECT_NEAR(*diagonal.conic->axis_deg, 45.0, 1e-6);
  const HeightMatrix map = map_of([](double x, double y) { return biconic_height({8.2, 7.4, 45.0, 0.0}, x, y); });
  EXPECT_GT(map(128 + 50, 127 - 50), map(128 + 50, 128 + 50)) << "upper right lies on the flat meridian";
}

TEST(Keratometry, ASphereReadsItsOwnRadius) {
  // The old quadratic read a sphere about 1 % steep; the conic reads it as it is.
  for (double radius : {6.7, 7.5, 8.3, 9.6}) {
    for (double sign : {1.0, -1.0}) {
      const SphereCap cap{0.05, -0.03, 0.0, sign / radius};
      const SurfaceFigures f = figures_of(map_of([&](double x, double y) { return cap.height(x, y); }));
      ASSERT_TRUE(f.conic) << f.conic_note;
      EXPECT_NEAR(f.conic->flat_radius_mm, sign * radius, 1e-7);
      EXPECT_NEAR(f.conic->steep_radius_mm, sign * radius, 1e-7);
      EXPECT_NEAR(f.conic->q, 0.0, 1e-6);
      EXPECT_FALSE(f.conic->axis_deg) << "a sphere has no flat meridian";
      if (sign > 0) {
        ASSERT_TRUE(f.keratometry) << f.keratometry_note;
        EXPECT_NEAR(f.keratometry->flat_radius, radius, 1e-7);
        EXPECT_NEAR(f.keratometry->steep_radius, radius, 1e-7);
        EXPECT_FALSE(f.keratometry->axis_deg);
      } else {
        EXPECT_FALSE(f.keratometry);
        EXPECT_EQ(f.keratometry_note,
                  "the surface is hollow: keratometry reads a cap bulging towards the camera");
      }
    }
  }
  // The closed form itself: a paraboloid's meridian reads flatter with distance.
  EXPECT_DOUBLE_EQ(axial_radius_of_meridian(7.5, 0.0, 1.5), 7.5);
  EXPECT_DOUBLE_EQ(axial_radius_of_meridian(7.5, -1.0, 1.5), std::sqrt(7.5 * 7.5 + 2.25));
  EXPECT_DOUBLE_EQ(axial_radius_of_meridian(-7.5, 0.5, 1.5), -std::sqrt(7.5 * 7.5 - 1.125));
  EXPECT_TRUE(std::isnan(axial_radius_of_meridian(1.0, 1.0, 1.5)));
}

TEST(ConicFitBadInput, EachKindIsMarkedNotAvailableWithItsReason) {
  // A small mask: the zone of 3 mm leaves the disc of 1.1 mm, the fit holds.
  const Biconic eye{7.6, 7.9, 30.0, -0.2};
  const HeightMatrix good = map_of([&](double x, double y) { return biconic_height(eye, x, y); });
  SurfaceFigures f = figures_of(good, 1.2);
  EXPECT_TRUE(f.conic) << f.conic_note;
  EXPECT_FALSE(f.keratometry);
  EXPECT_EQ(f.keratometry_note,
            "the zone of radius 1.500 mm about the apex leaves the mask disc (radius 1.100 mm, apex 0.000 mm "
            "from its centre)");
  // So does an apex far off the centre.
  Biconic off = eye;
  off.x0 = 1.9;
  f = figures_of(off);
  ASSERT_TRUE(f.conic) << f.conic_note;
  EXPECT_NEAR(f.conic->apex_x_mm, 1.9, 1e-8);
  EXPECT_FALSE(f.keratometry);

  // Seven cells: a sphere, but fewer than the conic's 8.
  HeightMatrix seven(kMapSide, kMapSide, kNoHeight);
  for (auto [c, r] : {std::pair{127, 127}, {128, 128}, {127, 129}, {130, 127}, {126, 125}, {129, 131}, {125, 128}})
    seven(c, r) = good(c, r);
  f = figures_of(seven);
  EXPECT_TRUE(f.sphere) << f.sphere_note;
  EXPECT_EQ(f.conic_note, "fewer than 8 cells with data");
  EXPECT_EQ(f.keratometry_note, "no conic fit: fewer than 8 cells with data");

  // A shallow cap with a strong fourth-order term: Q runs far beyond any eye's.
  for (double quartic : {5e-5, -5e-5}) {
    f = figures_of(map_of([&](double x, double y) {
      const double rho_sq = x * x + y * y;
      return -rho_sq / 100.0 - quartic * rho_sq * rho_sq;
    }));
    EXPECT_FALSE(f.conic) << f.conic->q;
    EXPECT_TRUE(f.conic_note.starts_with("the conic constant ran away (Q ")) << f.conic_note;
  }

  // A cylinder: flat along one meridian.
  f = figures_of(map_of([](double, double y) { return -y * y / 16.0; }));
  EXPECT_FALSE(f.conic);
  EXPECT_FALSE(f.keratometry);

  // A saddle left after the sphere fit found a start.
  f = figures_of(map_of([](double x, double y) { return -x * x / 12.0 + y * y / 40.0; }));
  EXPECT_FALSE(f.conic);
  if (f.sphere) {
    EXPECT_EQ(f.conic_note, "the surface is flat in some direction or a saddle: no finite radius");
  }

  // Heights that are not numbers never become figures.
  HeightMatrix broken = good;
  broken(128, 128) = std::numeric_limits<double>::infinity();
  f = figures_of(broken);
  EXPECT_FALSE(f.conic && !std::isfinite(f.conic->q));
}

TEST(TangentialPower, TheMeridiansOwnCurvature) {
  // On a sphere both maps show its power everywhere.
  const SphereCap cap{0.0, 0.0, 0.0, 1 / 7.8};
  const SurfaceFigures f = figures_of(map_of([&](double x, double y) { return cap.height(x, y); }));
  ASSERT_TRUE(f.tangential_power) << f.axial_note;
  int shown = 0;
  for (int c = 0; c < kMapSide; ++c)
    for (int r = 0; r < kMapSide; ++r)
      if (!std::isnan((*f.tangential_power)(c, r))) {
        ASSERT_NEAR((*f.tangential_power)(c, r), 337.0 / 7.8, 1e-6) << c << ", " << r;
        ++shown;
      }
  EXPECT_EQ(shown, f.cells);

  // A decentred cap with terms: -z'' / (1 + z'^2)^(3/2) along the meridian
  // through the centre, by differences of the reconstructed height, for a
  // cap bulging up and one hollow.
  const ZernikeBasis basis(6);
  std::vector<double> coefficients(28, 0.0);
  coefficients[4] = 0.002;
  coefficients[5] = -0.001;
  coefficients[8] = 0.0005;
  coefficients[12] = 0.0007;
  coefficients[24] = -0.0003;
  for (double sign : {1.0, -1.0}) {
    const ReconstructedSurface surface{{0.1, -0.05, 0.0, sign / 7.5}, basis, coefficients, {0.0, 0.0, 3.2}};
    std::vector<double> z(28);
    const auto height = [&](double x, double y) {
      basis.values(x / 3.2, y / 3.2, z.data());
      double h = surface.cap.height(x, y);
      for (int j = 0; j < 28; ++j) h += coefficients[j] * z[j];
      return h;
    };
    for (auto [r, theta] : {std::pair{0.3, 0.4}, {1.7, 2.0}, {3.1, -2.5}}) {
      const double c = std::cos(theta), s = std::sin(theta), h = 1e-3;
      const auto along = [&](double t) { return height(t * c, t * s); };
      const double slope = (along(r + h) - along(r - h)) / (2 * h);
      const double bend = (along(r + h) - 2 * along(r) + along(r - h)) / (h * h);
      const double expected = -sign * 337.0 * bend / std::pow(1 + slope * slope, 1.5);
      EXPECT_NEAR(tangential_power(surface, r * c, r * s), expected, 1e-4 * std::abs(expected)) << r;
    }
    // At the centre both maps give the mean of the principal curvatures.
    EXPECT_EQ(tangential_power(surface, 0.0, 0.0), axial_power(surface, 0.0, 0.0));
  }
}

}  // namespace
