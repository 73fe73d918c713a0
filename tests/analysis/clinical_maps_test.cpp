// The maps beside axial and tangential power: refractive power by Snell's
// law and the elevation against the best-fit sphere and toric ellipsoid,
// each against its closed form.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

#include "analysis/curvature_maps.h"
#include "analysis/elevation_map.h"
#include "analysis/snell_power.h"
#include "analysis/surface_figures.h"

namespace {

constexpr double kField = 10.24;  // mm: 0.04 mm cells
constexpr double kMask = 3.3;

HeightMatrix map_of(const std::function<double(double, double)>& height) {
  HeightMatrix map;
  for (int c = 0; c < kMapSide; ++c)
    for (int r = 0; r < kMapSide; ++r) map(c, r) = height(cell_x_mm(c, 0.04), cell_y_mm(r, 0.04));
  return map;
}

// The biconic of the simulation, z towards the camera.
double biconic(double x, double y, double rx, double ry, double axis_deg, double q) {
  const double t = axis_deg * std::numbers::pi / 180.0;
  const double u = x * std::cos(t) + y * std::sin(t), v = y * std::cos(t) - x * std::sin(t);
  const double cx = 1.0 / rx, cy = 1.0 / ry;
  return -(cx * u * u + cy * v * v) / (1.0 + std::sqrt(1.0 - (1.0 + q) * (cx * cx * u * u + cy * cy * v * v)));
}

// A sphere of radius R refracts the ray r from the axis to the axis at
// R + R sin(theta') / sin(delta) behind its apex (the law of sines in the
// triangle of the point, the centre and the crossing), sin theta = r / R.
double sphere_refractive_power(double R, double r, double n) {
  const double theta = std::asin(r / R);
  const double theta_in = std::asin(r / (R * n));
  const double L = R + R * std::sin(theta_in) / std::sin(theta - theta_in);
  return 337.0 * n / ((n - 1.0) * L);
}

TEST(SnellPower, SphereAgainstTheLawOfSinesAndTheCorneaOfTheTextbooks) {
  for (double R : {6.5, 7.5, 8.4})
    for (double r : {0.2, 1.0, 2.5, 3.5, 4.5}) {
      const double sag = R - std::sqrt(R * R - r * r);
      const double slope = r / std::sqrt(R * R - r * r);
      EXPECT_NEAR(snell_power(r, slope, sag), sphere_refractive_power(R, r, kCorneaIndex), 1e-10) << R << " " << r;
    }
  // Paraxially the keratometric 337 / R; the sphere's spherical aberration
  // adds about 2.8 D at 3.5 mm on 7.8 mm.
  EXPECT_NEAR(snell_power(1e-4, 1e-4 / 7.8, 0.0), 337.0 / 7.8, 1e-6);
  EXPECT_NEAR(sphere_refractive_power(7.8, 3.5, kCorneaIndex), 45.75, 0.01);
  // A prolate cornea (7.8 mm, Q = -0.2) at the 7 mm zone: refractive above
  // axial above tangential, as topographers show them.
  const double R = 7.8, Q = -0.2, r = 3.5;
  const double root = std::sqrt(R * R - (1.0 + Q) * r * r);
  const double refractive = snell_power(r, r / root, r * r / (R + root));
  const double axial_radius = std::sqrt(R * R - Q * r * r);
  const double tangential_radius = std::pow(axial_radius, 3.0) / (R * R);
  EXPECT_NEAR(refractive, 44.73, 0.01);
  EXPECT_NEAR(337.0 / axial_radius, 42.36, 0.01);
  EXPECT_NEAR(337.0 / tangential_radius, 40.72, 0.01);
  // Flat gives 0; rising outwards diverges.
  EXPECT_EQ(snell_power(2.0, 0.0, 0.0), 0.0);
  EXPECT_LT(snell_power(2.0, -0.1, 0.0), 0.0);
}

TEST(RefractiveMap, ASphereOffTheDiscCentreAndOneWithTerms) {
  // A cap centred on the disc: the map is the closed form at every cell.
  const ZernikeBasis basis(4);
  const EvaluationDisc disc{0.0, 0.0, 3.2, 3.3};
  const ReconstructedSurface sphere{{0.0, 0.0, 0.1, 1.0 / 7.7}, basis, std::vector<double>(15, 0.0), disc};
  const CurvatureMaps maps = curvature_maps(sphere, kField, kMask);
  int checked = 0;
  double worst = 0.0;
  for (int c = 0; c < kMapSide; ++c)
    for (int row = 0; row < kMapSide; ++row) {
      const double p = maps.refractive(c, row);
      if (std::isnan(p)) continue;
      const double r = std::hypot(cell_x_mm(c, 0.04), cell_y_mm(row, 0.04));
      worst = std::max(worst, std::abs(p - sphere_refractive_power(7.7, r, kCorneaIndex)));
      ++checked;
      EXPECT_NEAR(maps.axial(c, row), 337.0 / 7.7, 1e-9);
    }
  EXPECT_GT(checked, 20000);
  EXPECT_LT(worst, 1e-9);
  EXPECT_DOUBLE_EQ(refractive_power(sphere, 0.0, 0.0), 337.0 / 7.7);  // the axial limit
  // The map and the point function agree where terms are added.
  std::vector<double> terms(15, 0.0);
  terms[4] = 2e-3;   // defocus-like
  terms[12] = 1e-3;  // spherical
  const ReconstructedSurface shaped{{0.1, -0.2, 0.0, 1.0 / 7.7}, basis, terms, disc};
  const CurvatureMaps shaped_maps = curvature_maps(shaped, kField, kMask);
  for (auto [c, row] : {std::pair{100, 140}, {128, 60}, {200, 128}})
    EXPECT_DOUBLE_EQ(shaped_maps.refractive(c, row),
                     refractive_power(shaped, cell_x_mm(c, 0.04), cell_y_mm(row, 0.04)));
}

TEST(ElevationMaps, ABiconicIsZeroAgainstItsOwnToricAndSaddleShapedAgainstTheSphere) {
  struct Case {
    double rx, ry, axis, q;
  } cases[] = {{7.6, 7.9, 30.0, -0.2}, {7.8, 7.8, 0.0, 0.0}, {7.2, 8.1, 115.0, -0.45}};
  for (const Case& c : cases) {
    const HeightMatrix measured = map_of([&](double x, double y) { return biconic(x, y, c.rx, c.ry, c.axis, c.q); });
    const SurfaceFigures f = surface_figures({measured, measured, kField, kMask});
    ASSERT_TRUE(f.elevation_to_toric && f.elevation_to_sphere) << f.conic_note;
    double toric = 0.0, sphere_min = 0.0, sphere_max = 0.0;
    int cells = 0;
    for (int x = 0; x < kMapSide; ++x)
      for (int y = 0; y < kMapSide; ++y) {
        const double e = (*f.elevation_to_toric)(x, y);
        if (std::isnan(e)) continue;
        ++cells;
        toric = std::max(toric, std::abs(e));
        sphere_min = std::min(sphere_min, (*f.elevation_to_sphere)(x, y));
        sphere_max = std::max(sphere_max, (*f.elevation_to_sphere)(x, y));
      }
    EXPECT_EQ(cells, f.cells);
    EXPECT_LT(toric, 1e-4) << c.rx << " " << c.ry;  // microns
    if (c.rx == c.ry && c.q == 0.0) {
      EXPECT_LT(sphere_max - sphere_min, 1e-4);
    } else {
      // 0.3 mm of astigmatism stands out by microns at the disc's edge.
      EXPECT_GT(sphere_max, 0.5);
      EXPECT_LT(sphere_min, -0.5);
    }
  }
  // A bump stands out positive: the map is measured less reference.
  SurfaceCells cells;
  cells.x = {0.0, 1.0};
  cells.y = {0.0, 0.0};
  cells.z = {0.002, -0.001};
  cells.column = {127, 152};
  cells.row = {127, 127};
  const HeightMatrix e = elevation_map(cells, [](double, double) { return 0.0; });
  EXPECT_DOUBLE_EQ(e(127, 127), 2.0);
  EXPECT_DOUBLE_EQ(e(152, 127), -1.0);
  EXPECT_TRUE(std::isnan(e(0, 0)));
}

}  // namespace
