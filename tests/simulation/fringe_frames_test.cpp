// Frame sets of shifted fringes and the error sources of a picture.
#include "simulation/fringe_frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

#include "every_target.h"
#include "scan/grey_image.h"
#include "simulation/dark_level_shift.h"
#include "simulation/error_synthesis.h"
#include "simulation/fringe_synthesis.h"
#include "simulation/plain_synthesis.h"
#include "simulation/random_generator.h"
#include "simulation/shaped_random.h"

namespace {


// A 4 mm sphere on 0.25 mm pixels (floor in the corners); 41 columns leave
// a tail after every vector width.
SimParams sphere(int32_t width = 41, int32_t height = 33, double offset_x = 0.0, double offset_y = 0.0) {
  SimParams p;
  p.x_pixels = width;
  p.y_pixels = height;
  p.pixel_size = 0.25;
  p.fringe_period = 4.0;
  p.radius = 4.0;
  p.offset_x = offset_x;
  p.offset_y = offset_y;
  return p;
}

SimParams biconic(int32_t height = 33, double offset_x = 0.0) {
  SimParams p = sphere(37, height, offset_x);
  p.pixel_size = 0.1;
  p.surface = {.model = SurfaceModel::biconic, .rx = 2.6, .ry = 2.9, .axis_deg = 30.0, .q = -0.2};
  return p;
}

// The sphere's cosine written out directly, the shift added after the division.
double sphere_cosine(const SimParams& p, int row, int column) {
  const double d = p.pixel_size;
  const double x = d * (column - (p.x_pixels - 1) * 0.5) - p.offset_x;
  const double y = d * (row - (p.y_pixels - 1) * 0.5) - p.offset_y;
  const double r_sq = x * x + y * y, r2 = p.radius * p.radius;
  const double z = r_sq < r2 ? std::sqrt(r2 - r_sq) - p.radius : -p.radius;
  const double t = std::tan(std::numbers::pi * p.alpha_deg / 180.0);
  return std::cos(2.0 * std::numbers::pi * (x + z * t) / (d * p.fringe_period) + p.phase_shift);
}

double level_of(const SimParams& p, double c) {
  return (p.dynamic * c + 1.0) * 127.0 - dark_level_shift(p.dynamic, 32);
}
int byte_of(double v) { return !(v > 0.0) ? 0 : v > 254.0 ? 254 : static_cast<int>(v); }

// Every sample, row 0 first: bytes of type 1, 16-bit samples of type 2.
std::vector<int> samples(const GreyImage* image) {
  std::vector<int> out;
  for (int32_t i = 0; i < image->height; ++i)
    for (int32_t j = 0; j < image->width; ++j) {
      uint16_t s = img_line(image, i)[j];
      if (image->type == 2) std::memcpy(&s, img_line(image, i) + 2 * j, sizeof s);
      out.push_back(s);
    }
  return out;
}

std::vector<int> picture(const SimParams& p, uint64_t state = 1) {
  const GreyImageOwner image = make_fringe_picture(p, 64, 5, state);
  EXPECT_TRUE(image);
  return image ? samples(image.get()) : std::vector<int>{};
}

// Frame k of n is the plain picture shifted by 2 pi k / n, period by period,
// the generator running on from frame to frame; frame 0 of a one-period set is
// the unshifted picture. Rows off centre (no mirrored rows or pixel pairs),
// an even height, rows narrower than a vector, and fine fringes whose phases
// leave the cosine estimate's range.
TEST(FringeFrames, EveryFrameIsThePictureOfItsShiftAtEveryTarget) {
  const struct {
    const char* name;
    SimParams params;
    FrameSet set;
    double noise;
  } cases[] = {
      {"sphere off centre, noisy", sphere(41, 32, 0.3, -0.55), {3, {}}, 0.5},
      {"biconic off centre, noisy", biconic(30, -0.07), {3, {}}, 0.6},
      {"three columns", sphere(3, 4), {4, {}}, 0.3},
      {"sphere, 4 steps", sphere(), {4, {}}, 0.0},
      {"biconic, 4 steps, one period given", biconic(), {4, {6.0}}, 0.0},
      {"sphere, two periods, noisy", sphere(), {3, {8.0, 4.0}}, 0.4},
      {"sphere, fine fringes", sphere(), {2, {1e-13}}, 0.0},
      {"biconic, two periods, noisy", biconic(), {5, {3.0, 6.5}}, 0.8},
  };
  for (const auto& c : cases) {
    SimParams p = c.params;
    p.noise = c.noise;
    std::vector<std::vector<int>> expected;
    uint64_t plain_state = 77;
    for (const double period : c.set.periods.empty() ? std::vector{p.fringe_period} : c.set.periods)
      for (int k = 0; k < c.set.steps; ++k) {
        SimParams frame = p;
        frame.fringe_period = period;
        frame.phase_shift = 2.0 * std::numbers::pi * k / c.set.steps;
        expected.push_back(samples(plain_fringe_picture(frame, 64, 5, plain_state).get()));
      }
    if (c.set.periods.empty()) {
      EXPECT_EQ(picture(p, 77), expected[0]) << c.name << ": frame 0";
    }
    for_every_target([&] {
      uint64_t state = 77;
      const std::vector<GreyImageOwner> frames = make_fringe_frames(p, c.set, 64, 5, state);
      ASSERT_EQ(frames.size(), expected.size()) << c.name;
      EXPECT_EQ(state, plain_state) << c.name;
      for (std::size_t f = 0; f < frames.size(); ++f) {
        ASSERT_EQ(frames[f]->type, 1);
        EXPECT_EQ(samples(frames[f].get()), expected[f]) << c.name << ", frame " << f;
      }
    });
  }
}

TEST(FringeFrames, SetsThatCannotBeMadeAreEmptyAndDrawNothing) {
  SimParams p = sphere();
  p.errors.blur = 2.0;
  uint64_t state = 9;
  EXPECT_TRUE(make_fringe_frames(p, {0, {}}, 64, 5, state).empty());
  for (const int32_t width : {0, 4097}) {
    p.x_pixels = width;
    EXPECT_TRUE(make_fringe_frames(p, {3, {}}, 64, 5, state).empty()) << width;
  }
  EXPECT_EQ(state, 9u);
}

// ---- Error sources ----------------------------------------------------------

// At every target: the shifted sphere, gamma and ambient by their
// definitions, drawing exactly the noise of a picture without errors; shifts
// carrying the phases beyond the cosine estimate's range (up to 1e5; far out
// its reduction by pi loses grey levels) at the C library's cosine; samples of
// 9 to 16 bits scaled from the levels and clamped, rows aligned to 4 bytes;
// at contrast 0 the dark floor, whatever the blur.
TEST(FrameErrors, ShiftGammaAmbientAndDepthFollowTheirDefinitions) {
  const struct {
    double shift, dynamic, gamma, ambient, noise, blur;
    int bits;
  } cases[] = {
      {std::numbers::pi, 1.0, 1.0, 0.0, 0.0, 0.0, 8}, {4.2, 1.0, 1.0, 0.0, 0.0, 0.0, 8},   {0.0, 0.8, 0.45, 0.0, 0.0, 0.0, 8},
      {std::numbers::pi / 2, 0.8, 1.0, 17.5, 0.0, 0.0, 8}, {0.0, 0.8, 1.8, 9.0, 0.6, 0.0, 8},   {-2e5, 1.0, 1.0, 0.0, 0.5, 0.0, 8},
      {1e5 - 3.0, 1.0, 1.0, 0.0, 0.5, 0.0, 8}, {-4e10, 1.0, 1.0, 0.0, 0.5, 0.0, 8}, {1e15, 1.0, 1.0, 0.0, 0.5, 0.0, 8},
      {0.0, 1.0, 1.0, 0.0, 0.0, 0.0, 9},       {0.0, 1.0, 1.0, 0.0, 0.0, 0.0, 16},  {0.0, 1.0, 1.0, 60.0, 0.0, 0.0, 12},
      {0.0, 1.0, 1.0, 300.0, 0.0, 0.0, 16},    {0.0, 0.0, 1.0, 0.0, 0.0, 3.7, 8},   {0.0, 0.0, 1.0, 0.0, 0.0, 3.7, 16}};
  for_every_target([&] {
    for (const auto& c : cases) {
      SimParams p = sphere();
      p.phase_shift = c.shift;
      p.dynamic = c.dynamic;
      p.noise = c.noise;
      p.errors.gamma = c.gamma;
      p.errors.ambient = c.ambient;
      p.errors.blur = c.blur;
      p.errors.bits = c.bits;
      seed_random(42);
      uint64_t state = random_state;
      const GreyImageOwner image = make_fringe_picture(p, 64, 5, state);
      ASSERT_TRUE(image);
      ASSERT_EQ(image->type, c.bits == 8 ? 1 : 2);
      EXPECT_EQ(image->stride % 4, 0);
      EXPECT_GE(image->stride, (c.bits == 8 ? 1 : 2) * p.x_pixels);
      const std::vector<int> got = samples(image.get());
      const double top = std::pow(2.0, c.bits) - 1.0;
      seed_random(42);
      for (int i = 0; i < p.y_pixels; ++i)
        for (int j = 0; j < p.x_pixels; ++j) {
          const double cosine = sphere_cosine(p, i, j);
          const double shaped = c.gamma == 1.0 ? cosine : 2.0 * std::pow((1.0 + cosine) / 2.0, c.gamma) - 1.0;
          double v = level_of(p, shaped) + c.ambient;
          if (c.noise == 0.0) {
            shaped_random(-64, 64, square_shape);
          } else {
            const double s = random_below(2) == 0 ? -1.0 : 1.0;
            const int32_t amount = random_below(5);
            v = v + amount * s + shaped_random(-64, 64, square_shape) * p.noise * v / 255.0;
          }
          const int want = c.bits == 8 ? byte_of(v) : static_cast<int>(std::clamp(v * top / 254.0, 0.0, top));
          ASSERT_EQ(got[i * p.x_pixels + j], want) << &c - cases << ": row " << i << " column " << j;
        }
      EXPECT_EQ(state, random_state) << "the draws of a picture without errors, no more";
    }
  });
  const struct {
    double v;
    int bits, sample;
  } deep[] = {{-3.0, 16, 0}, {std::nan(""), 12, 0}, {254.0, 16, 65535}, {1e9, 12, 4095}, {127.0, 12, 2047}};
  for (const auto& d : deep) EXPECT_EQ(deep_sample(d.v, d.bits), d.sample) << d.v << " at " << d.bits;
}

// Weights summing to one (up to rounding), the radius ceil(4 sigma).
TEST(FrameErrors, BlurWeightsAreTheNormalisedGaussian) {
  for (const double sigma : {0.3, 2.5, 50.0}) {
    const std::vector<double> w = blur_weights(sigma);
    ASSERT_EQ(w.size(), static_cast<std::size_t>(std::ceil(4.0 * sigma)) + 1) << sigma;
    double total = w[0];
    for (std::size_t d = 1; d < w.size(); ++d) {
      total += 2.0 * w[d];
      EXPECT_NEAR(w[d] / w[0], std::exp(-double(d * d) / (2.0 * sigma * sigma)), 1e-15) << sigma;
    }
    EXPECT_NEAR(total, 1.0, 1e-14) << sigma;
  }
  for (const double none : {0.0, -1.0, std::nan("")}) EXPECT_TRUE(blur_weights(none).empty()) << none;
}

// A step about 0 along either axis: a direct weighted sum (edges replicated),
// exactly opposite values on its two sides.
TEST(FrameErrors, BlurredEdgeIsTheWeightedSumAndSymmetric) {
  const std::vector<double> w = blur_weights(2.0);
  const long n = 20;
  const auto step = [&](long k) { return std::clamp(k, 0L, n - 1) < n / 2 ? -100.25 : 100.25; };
  for (const bool along_rows : {true, false}) {
    const std::size_t width = along_rows ? n : 3, height = along_rows ? 3 : n;
    std::vector<double> levels(width * height);
    for (std::size_t i = 0; i < height; ++i)
      for (std::size_t j = 0; j < width; ++j) levels[i * width + j] = step(static_cast<long>(along_rows ? j : i));
    blur_levels(levels, width, height, w);
    const auto at = [&](long k) { return along_rows ? levels[width + k] : levels[k * width + 1]; };
    for (long k = 0; k < n; ++k) {
      double direct = 0.0;
      for (long d = -8; d <= 8; ++d) direct += w[static_cast<std::size_t>(std::abs(d))] * step(k + d);
      EXPECT_NEAR(at(k), direct, 1e-12) << k;
    }
    for (long k = 0; k < n / 2; ++k) EXPECT_EQ(at(n / 2 - 1 - k), -at(n / 2 + k)) << k;
    EXPECT_LT(at(n / 2 - 1), at(n / 2));
  }
}

// The picture's blur is the blur of its own noise-free levels.
TEST(FrameErrors, BlurredPictureIsTheBlurOfItsLevels) {
  for (const SimParams& base : {sphere(), biconic()}) {
    SimParams p = base;
    p.errors.bits = 16;
    const std::vector<int> sharp = picture(p);
    p.errors.blur = 1.5;
    const std::vector<int> got = picture(p);
    std::vector<double> levels(sharp.begin(), sharp.end());
    for (double& v : levels) v = v * 254.0 / 65535.0;
    blur_levels(levels, static_cast<std::size_t>(p.x_pixels), static_cast<std::size_t>(p.y_pixels), blur_weights(1.5));
    int changed = 0;
    for (std::size_t k = 0; k < got.size(); ++k) {
      ASSERT_NEAR(got[k], levels[k] * 65535.0 / 254.0, 2.0) << k;  // the sharp samples were truncated
      changed += got[k] != sharp[k];
    }
    EXPECT_GT(changed, static_cast<int>(got.size()) / 2);
  }
}

// Settings refuse wild values; the synthesis must still neither fault nor
// read beyond its rows on the smallest pictures, and draw as ever.
TEST(FrameErrors, TinyPicturesTakeAnyBlur) {
  for (const auto& [width, height] : {std::pair{1, 1}, {3, 2}, {2, 3}, {1, 7}})
    for (const double blur : {0.0, 0.2, 7.5, 50.0})
      for (const SimParams& base : {sphere(), biconic()}) {
        SimParams p = base;
        p.x_pixels = width;
        p.y_pixels = height;
        p.noise = 0.5;
        p.errors.blur = blur;
        p.errors.gamma = 1.3;
        uint64_t state = 5;
        const GreyImageOwner image = make_fringe_picture(p, 64, 5, state);
        ASSERT_TRUE(image) << width << "x" << height << " blur " << blur;
        EXPECT_EQ(state, jumped_state(5, random_jump(3ULL * width * height)));
        if (width == 1 && height == 1) {
          p.errors.blur = 0.0;  // one pixel: its own neighbours
          EXPECT_EQ(picture(p, 5), samples(image.get()));
        }
      }
}

}  // namespace
