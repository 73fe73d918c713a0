// Pictures through a pinhole system: each way of making them gives the same
// bytes and leaves the generator at the same state, pixels the projector
// does not light or whose ray misses the sphere are dark, and a pixel's grey
// level is the one its ray, the surface and the projector's column give.
#include "simulation/ray_synthesis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "optics/pinhole_rig.h"
#include "optics/ray_surface.h"
#include "simulation/dark_level_shift.h"
#include "simulation/fringe_frames.h"
#include "simulation/fringe_synthesis.h"
#include "simulation/grey_levels.h"
#include "simulation/plain_synthesis.h"
#include "simulation/random_generator.h"

namespace {

SimParams pinhole_params() {
  SimParams p;
  p.x_pixels = 320;
  p.y_pixels = 256;
  p.system = default_pinhole_system(320, 256);
  // A small picture of the same field: pixels four times as large.
  p.system.camera.lens.pitch_mm *= 4.0;
  p.pixel_size = 0.04;
  return p;
}

bool same_pixels(const GreyImage& a, const GreyImage& b) {
  if (a.type != b.type || a.width != b.width || a.height != b.height) return false;
  for (int32_t i = 0; i < a.height; ++i)
    if (std::memcmp(img_line(&a, i), img_line(&b, i), static_cast<std::size_t>(a.width) * a.type) != 0) return false;
  return true;
}

TEST(RaySynthesis, EveryPathGivesTheSameBytesAndDraws) {
  const struct {
    const char* name;
    double noise;
    FrameErrors errors;
  } cases[] = {{"clean", 0.0, {}}, {"noisy", 0.4, {}}, {"errors", 0.2, {.gamma = 2.2, .blur = 1.0, .bits = 12, .ambient = 5}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimParams p = pinhole_params();
    p.noise = c.noise;
    p.errors = c.errors;
    uint64_t a = seeded_state(7), b = seeded_state(7), d = seeded_state(7);
    const FrameSet set{4, {}};
    const std::vector<GreyImageOwner> frames = make_fringe_frames(p, set, 64, 5, a);
    std::vector<double> shifts;
    for (int k = 0; k < 4; ++k) shifts.push_back(phase_step_shift(k, 4));
    const std::vector<GreyImageOwner> shifted = make_shifted_pictures(p, shifts, 64, 5, b);
    ASSERT_EQ(frames.size(), 4u);
    ASSERT_EQ(shifted.size(), 4u);
    for (int k = 0; k < 4; ++k) {
      SimParams one = p;
      one.phase_shift = shifts[static_cast<std::size_t>(k)];
      const GreyImageOwner plain = plain_fringe_picture(one, 64, 5, d);
      EXPECT_TRUE(same_pixels(*frames[static_cast<std::size_t>(k)], *plain)) << k;
      EXPECT_TRUE(same_pixels(*shifted[static_cast<std::size_t>(k)], *plain)) << k;
    }
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, d);
  }
}

TEST(RaySynthesis, PixelsFollowTheirRaysAndUnlitOnesAreDark) {
  SimParams p = pinhole_params();
  p.radius = 4.0;  // the sphere's outline well inside the picture
  uint64_t generator = seeded_state(1);
  const GreyImageOwner picture = make_fringe_picture(p, 64, 5, generator);
  ASSERT_TRUE(picture);
  const PinholeRig rig(p.system, 0.0, 0.0);
  const double shift = dark_level_shift(1.0, kDarkFloor);
  int dark = 0, lit = 0;
  for (int32_t i = 0; i < p.y_pixels; i += 7)
    for (int32_t j = 0; j < p.x_pixels; j += 5) {
      const uint8_t grey = img_line(picture.get(), i)[j];
      const Ray ray = *rig.camera_ray({static_cast<double>(j), static_cast<double>(i)});
      const std::optional<double> t = ray_sphere(ray, 4.0);
      if (!t) {
        EXPECT_EQ(grey, 0) << j << ", " << i;
        ++dark;
        continue;
      }
      const double u = rig.projector_pixel(ray.at(*t))->x - p.system.projector.lens.principal_x;
      const double level = (std::cos(2.0 * std::numbers::pi * u / p.system.projector.period) + 1.0) * 127.0 - shift;
      // The byte of the level, unless the level lies on a boundary.
      if (near_integer(level, 1e-6)) continue;
      EXPECT_EQ(grey, grey_byte(level)) << j << ", " << i;
      ++lit;
    }
  EXPECT_GT(dark, 100);
  EXPECT_GT(lit, 500);

  // A projector that lights only a strip: the rest of the sphere is dark.
  p.system.projector.width = 200;
  p.system.projector.lens.principal_x = 99.5;
  const ProjectorColumns columns = projector_columns(p);
  const std::size_t apex = static_cast<std::size_t>(128) * 320 + 160;
  EXPECT_FALSE(std::isnan(columns.column[apex]));
  EXPECT_TRUE(std::isnan(columns.column[apex + 50]));  // 2 mm right, on the sphere, beyond the lit strip of 1.4 mm
  EXPECT_FALSE(std::isnan(columns.column[apex + 25]));  // 1 mm right: within it
}

}  // namespace
