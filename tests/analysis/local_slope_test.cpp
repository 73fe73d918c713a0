// Slopes from local cubic fits: exact on cubic surfaces, close on a steep
// narrow bump, absent without data.
#include "analysis/local_slope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "analysis/surface_cells.h"

namespace {

HeightMatrix map_of(const std::function<double(double, double)>& height) {
  HeightMatrix map;
  for (int c = 0; c < kMapSide; ++c)
    for (int r = 0; r < kMapSide; ++r) map(c, r) = height(cell_x_mm(c, 0.04), cell_y_mm(r, 0.04));
  return map;
}

TEST(LocalSlopes, CubicsExactlyANarrowConeCloselyAndNothingWithoutData) {
  // A cubic is fitted exactly anywhere, at cell centres or between them.
  const HeightMatrix cubic = map_of([](double x, double y) { return 0.01 * x * x * x - 0.02 * x * y + 0.3 * y; });
  const LocalSlopes cubic_slopes(cubic, 10.24);
  for (auto [x, y] : {std::pair{1.0, -2.0}, {0.013, 0.77}, {-3.0, 0.0}}) {
    const auto g = cubic_slopes.at(x, y);
    ASSERT_TRUE(g);
    EXPECT_NEAR(g->x, 0.03 * x * x - 0.02 * y, 1e-10);
    EXPECT_NEAR(g->y, -0.02 * x + 0.3, 1e-10);
  }
  // The sphere's axial power 3 mm out is its power; a cone of 20 microns
  // and sigma 0.5 mm on its flank is followed to a few thousandths of a
  // dioptre.
  const auto sphere = [](double x, double y) { return std::sqrt(7.8 * 7.8 - x * x - y * y) - 7.8; };
  const auto cone = [](double x, double y) {
    return 0.02 * std::exp(-((x - 0.3) * (x - 0.3) + (y + 2.7) * (y + 2.7)) / 0.5);
  };
  const HeightMatrix sphere_map = map_of(sphere);
  const LocalSlopes on_sphere(sphere_map, 10.24);
  EXPECT_NEAR(local_axial_power(on_sphere, 0.0, 0.0, 0.0, -3.0), 337.0 / 7.8, 1e-4);
  const HeightMatrix cone_map = map_of([&](double x, double y) { return sphere(x, y) + cone(x, y); });
  const LocalSlopes on_cone(cone_map, 10.24);
  const double x = 0.0, y = -3.0, h = 1e-6;
  const double s = -(sphere(x, y + h) + cone(x, y + h) - sphere(x, y - h) - cone(x, y - h)) / (2.0 * h);
  EXPECT_NEAR(local_axial_power(on_cone, 0.0, 0.0, x, y), 337.0 * std::abs(s) / (3.0 * std::sqrt(1.0 + s * s)), 0.01);
  // No data in the window, and the centre itself.
  HeightMatrix holes = map_of(sphere);
  for (int c = 100; c < 140; ++c)
    for (int r = 100; r < 140; ++r) holes(c, r) = kNoHeight;
  EXPECT_FALSE(LocalSlopes(holes, 10.24).at(0.0, 0.0));
  EXPECT_TRUE(std::isnan(local_axial_power(on_sphere, 0.0, 0.0, 0.0, 0.0)));
  EXPECT_FALSE(LocalSlopes(holes, 0.0).at(1.0, 1.0));
}

}  // namespace
