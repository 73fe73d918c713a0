// The biconic surface and its fringe pictures.
#include "simulation/surface.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "scan/grey_image.h"
#include "simulation/dark_level_shift.h"
#include "simulation/fringe_synthesis.h"
#include "simulation/random_generator.h"
#include "temp_dir.h"

namespace {

Surface biconic(double rx, double ry, double axis, double q) {
  return {.model = SurfaceModel::biconic, .rx = rx, .ry = ry, .axis_deg = axis, .q = q};
}

TEST(Biconic, MeridiansFollowTheirConicsAndTheAxis) {
  // Along the axis direction the radius is rx, across it ry; the conic
  // section is z = -(R - sqrt(R^2 - (1 + q) r^2)) / (1 + q).
  const double q = -0.2;
  const BiconicShape shape(biconic(7.6, 7.9, 30.0, q));
  const double t = 30.0 * std::numbers::pi / 180.0;
  const auto meridian = [q](double r, double radius) {
    return -(radius - std::sqrt(radius * radius - (1.0 + q) * r * r)) / (1.0 + q);
  };
  for (double r : {0.5, 2.0, 3.2, -2.5}) {
    EXPECT_NEAR(shape.height(r * std::cos(t), r * std::sin(t)), meridian(r, 7.6), 1e-14) << r;
    EXPECT_NEAR(shape.height(-r * std::sin(t), r * std::cos(t)), meridian(r, 7.9), 1e-14) << r;
  }
  EXPECT_EQ(shape.height(0.0, 0.0), 0.0);
  // Opposite points have exactly the same height (the synthesis pairs them).
  for (double x : {0.013, -1.7, 4.2})
    for (double y : {0.0, 0.31, -3.9}) EXPECT_EQ(shape.height(x, y), shape.height(-x, -y));
}

TEST(Biconic, EqualRadiiWithoutConicIsTheSphereAndOutsideLiesOnTheFloor) {
  const BiconicShape sphere(biconic(7.5, 7.5, 17.0, 0.0));
  for (double r : {0.0, 1.0, 3.3, 6.0, 7.4}) {
    const double x = r * 0.6, y = -r * 0.8;
    EXPECT_NEAR(sphere.height(x, y), std::sqrt(56.25 - r * r) - 7.5, 1e-13) << r;
  }
  EXPECT_EQ(sphere.height(7.5, 0.0), -7.5);  // the root's argument is 0 there
  EXPECT_EQ(sphere.height(8.0, 3.0), -7.5);
  // A strongly oblate conic leaves its outline early; the floor is -max(rx, ry).
  const BiconicShape oblate(biconic(2.0, 3.0, 0.0, 3.0));
  EXPECT_EQ(oblate.floor_depth(), -3.0);
  EXPECT_LT(oblate.height(0.9, 0.0), -0.2);
  EXPECT_EQ(oblate.height(1.1, 0.0), -3.0);  // 1 - 4 (1.1 / 2)^2 < 0
  // A paraboloid (q = -1) has no outline.
  const BiconicShape paraboloid(biconic(5.0, 5.0, 0.0, -1.0));
  EXPECT_DOUBLE_EQ(paraboloid.height(40.0, 0.0), -160.0);
}

TEST(Biconic, ProblemsNameTheFaultyNumber) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    Surface surface;
    std::string problem;
  } cases[] = {
      {biconic(7.6, 7.9, 30.0, -0.2), ""},
      {biconic(0.1, 1000.0, -725.0, 10.0), ""},
      {biconic(0.0, 7.9, 0.0, 0.0), "Rx must lie between 0.1 and 1000 mm (read 0)"},
      {biconic(-7.6, 7.9, 0.0, 0.0), "Rx must lie between 0.1 and 1000 mm (read -7.6)"},
      {biconic(7.6, nan, 0.0, 0.0), "Ry must lie between 0.1 and 1000 mm (read nan)"},
      {biconic(7.6, inf, 0.0, 0.0), "Ry must lie between 0.1 and 1000 mm (read inf)"},
      {biconic(7.6, 1000.5, 0.0, 0.0), "Ry must lie between 0.1 and 1000 mm (read 1000.5)"},
      {biconic(7.6, 7.9, inf, 0.0), "the axis must be a finite angle in degrees (read inf)"},
      {biconic(7.6, 7.9, 0.0, 1e9), "Q must lie between -10 and 10 (read 1e+09)"},
      {biconic(7.6, 7.9, 0.0, -10.5), "Q must lie between -10 and 10 (read -10.5)"},
      {biconic(7.6, 7.9, 0.0, nan), "Q must lie between -10 and 10 (read nan)"},
      // The sphere model has the set radius; its numbers are not used.
      {Surface{.model = SurfaceModel::sphere, .rx = -1.0, .ry = nan}, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(surface_problem(c.surface), c.problem) << c.problem;
}

// ---- Pictures ---------------------------------------------------------------

// 61 x 45 pixels of 0.1 mm, period 4 pixels: a small picture with the floor
// in its corners for the oblate biconic below.
SimParams small_picture(const Surface& surface) {
  SimParams p;
  p.x_pixels = 61;
  p.y_pixels = 45;
  p.pixel_size = 0.1;
  p.fringe_period = 4.0;
  p.surface = surface;
  return p;
}

// The level written out directly: the surface at (x, -y), because the maps
// show the picture's bottom row at the top, and one cosine of the phase.
double direct_level(const SimParams& p, int row, int column) {
  const BiconicShape shape(p.surface);
  const double x = p.pixel_size * (column - (p.x_pixels - 1) * 0.5) - p.offset_x;
  const double y = p.pixel_size * (row - (p.y_pixels - 1) * 0.5) - p.offset_y;
  const double z = shape.height(x, -y);
  const double t = std::tan(std::numbers::pi * p.alpha_deg / 180.0);
  const double phi = 2.0 * std::numbers::pi * (x + z * t) / (p.pixel_size * p.fringe_period);
  return (p.dynamic * std::cos(phi) + 1.0) * 127.0 - dark_level_shift(p.dynamic, 32);
}

std::vector<std::vector<uint8_t>> picture_of(const SimParams& p, uint32_t seed) {
  seed_random(seed);
  EXPECT_EQ(synthesize_fringe_image(p, "./sim00.bmp", 64, 5), 0);
  GreyImage* image = nullptr;
  EXPECT_EQ(img_load_bmp(&image, "./sim00.bmp"), 0);
  std::vector<std::vector<uint8_t>> rows;
  for (int32_t i = 0; image != nullptr && i < image->height; ++i)
    rows.emplace_back(img_line(image, i), img_line(image, i) + image->width);
  img_destroy(image);
  return rows;
}

TEST(BiconicPicture, LevelsFollowTheSurfaceCentredOrNot) {
  TempDir dir;
  // Centred, the synthesis shares each sine and cosine between opposite
  // pixels; moved off centre, it works out every pixel. Both must match the
  // direct level (the cosine is formed as cos a cos b - sin a sin b, so a
  // byte may differ where the level lies within rounding of an integer).
  for (const Surface& surface : {biconic(2.6, 2.9, 30.0, -0.2), biconic(1.6, 1.4, 101.0, 2.0)})
    for (double offset : {0.0, 0.23}) {
      SimParams p = small_picture(surface);
      p.dynamic = 0.8;
      p.offset_x = offset;
      p.offset_y = -offset / 2;
      const auto rows = picture_of(p, 1);
      ASSERT_EQ(rows.size(), 45u);
      int floor_pixels = 0;
      for (int i = 0; i < p.y_pixels; ++i)
        for (int j = 0; j < p.x_pixels; ++j) {
          const double level = direct_level(p, i, j);
          const double byte = std::clamp(level, 0.0, 254.0);
          ASSERT_NEAR(rows[i][j], byte, 1.0) << i << " " << j;
          if (std::abs(byte - std::floor(byte)) > 1e-9 && std::abs(byte - std::ceil(byte)) > 1e-9) {
            ASSERT_EQ(rows[i][j], static_cast<int>(byte)) << i << " " << j;
          }
          const double x = p.pixel_size * (j - 30) - p.offset_x;
          const double y = p.pixel_size * (i - 22) - p.offset_y;
          floor_pixels += BiconicShape(surface).height(x, -y) == -std::max(surface.rx, surface.ry);
        }
      if (surface.q > 0) {
        EXPECT_GT(floor_pixels, 100) << "the oblate one shows its floor";
      }
    }
}

TEST(BiconicPicture, TheAxisTurnsThePictureAndTheNoiseDrawsAsForTheSphere) {
  TempDir dir;
  SimParams p = small_picture(biconic(2.0, 3.0, 0.0, 0.0));
  p.noise = 0.6;
  const auto at_0 = picture_of(p, 5);
  p.surface.axis_deg = 180.0;
  EXPECT_EQ(picture_of(p, 5), at_0) << "the axis is 180-periodic";
  p.surface.axis_deg = 90.0;
  EXPECT_NE(picture_of(p, 5), at_0);
  // Three draws per pixel with noise, as the sphere takes them.
  seed_random(5);
  for (int k = 0; k < 3 * 61 * 45; ++k) next_random();
  const int32_t expected = next_random();
  seed_random(5);
  synthesize_fringe_image(p, "./sim00.bmp", 64, 5);
  EXPECT_EQ(next_random(), expected);
}

TEST(BiconicPicture, NumbersThatAreNotUsableStillGiveAPicture) {
  // The runs refuse such surfaces; the synthesis itself must not fault.
  TempDir dir;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const Surface& s : {biconic(0.0, 7.9, 0.0, 0.0), biconic(nan, 7.9, nan, nan),
                           biconic(1e300, 1e-300, 1e308, -1e300)}) {
    SimParams p = small_picture(s);
    EXPECT_EQ(picture_of(p, 1).size(), 45u);
  }
}

}  // namespace
