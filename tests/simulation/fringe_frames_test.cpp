// Frame sets of shifted fringes and the error sources of a picture.
#include "simulation/fringe_frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <string>
#include <utility>
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

// 41 x 33 pixels of 0.25 mm around a 4 mm sphere (floor in the corners,
// apex on pixel (16, 20)); 41 columns leave a tail after every vector width.
SimParams small_sphere() {
  SimParams p;
  p.x_pixels = 41;
  p.y_pixels = 33;
  p.pixel_size = 0.25;
  p.fringe_period = 4.0;
  p.radius = 4.0;
  return p;
}

SimParams small_biconic() {
  SimParams p = small_sphere();
  p.x_pixels = 37;
  p.pixel_size = 0.1;
  p.surface = {.model = SurfaceModel::biconic, .rx = 2.6, .ry = 2.9, .axis_deg = 30.0, .q = -0.2};
  return p;
}

// The sphere's cosine written out directly, the shift added after the division.
double sphere_cosine(const SimParams& p, int row, int column) {
  const double d = p.pixel_size;
  const double x = d * (column - (p.x_pixels - 1) * 0.5) - p.offset_x;
  const double y = d * (row - (p.y_pixels - 1) * 0.5) - p.offset_y;
  const double r_sq = x * x + y * y;
  const double r2 = p.radius * p.radius;
  const double z = r_sq < r2 ? std::sqrt(r2 - r_sq) - p.radius : -p.radius;
  const double t = std::tan(std::numbers::pi * p.alpha_deg / 180.0);
  return std::cos(2.0 * std::numbers::pi * (x + z * t) / (d * p.fringe_period) + p.phase_shift);
}

double level_of(const SimParams& p, double c) { return (p.dynamic * c + 1.0) * 127.0 - dark_level_shift(p.dynamic, 32); }

int byte_of(double v) { return !(v > 0.0) ? 0 : v > 254.0 ? 254 : static_cast<int>(v); }

// Every sample of a picture, row 0 first: bytes of type 1, 16-bit samples of type 2.
std::vector<int> samples(const GreyImage* image) {
  std::vector<int> out;
  for (int32_t i = 0; i < image->height; ++i)
    for (int32_t j = 0; j < image->width; ++j) {
      if (image->type == 1) {
        out.push_back(img_line(image, i)[j]);
      } else {
        uint16_t s = 0;
        std::memcpy(&s, img_line(image, i) + 2 * j, sizeof s);
        out.push_back(s);
      }
    }
  return out;
}

std::vector<int> picture(const SimParams& p, uint64_t& state) {
  const GreyImageOwner image = make_fringe_picture(p, 64, 5, state);
  EXPECT_TRUE(image);
  return image ? samples(image.get()) : std::vector<int>{};
}
std::vector<int> picture(const SimParams& p) {
  uint64_t state = 1;
  return picture(p, state);
}

TEST(FringeFrames, StepShiftIsTwoPiKOverNInThatOrder) {
  const std::pair<int, int> steps[] = {{0, 4}, {1, 3}, {2, 3}, {3, 8}, {5, 7}, {11, 12}};
  for (const auto& [k, n] : steps)
    EXPECT_EQ(phase_step_shift(k, n), 2.0 * std::numbers::pi * k / n) << k << "/" << n;
  EXPECT_EQ(phase_step_shift(1, 4), std::numbers::pi / 2);
}

// The shifted sphere written out pixel by pixel; a shift of pi turns the
// apex (phase 0, brightest) dark.
TEST(FringeFrames, PhaseShiftMovesTheFringesOfThePlainDefinition) {
  for (const double shift : {0.0, std::numbers::pi / 2, std::numbers::pi, 4.2}) {
    SimParams p = small_sphere();
    p.phase_shift = shift;
    uint64_t state = 1;
    const std::vector<int> got = samples(plain_fringe_picture(p, 64, 5, state).get());
    for (int i = 0; i < p.y_pixels; ++i)
      for (int j = 0; j < p.x_pixels; ++j)
        ASSERT_EQ(got[i * p.x_pixels + j], byte_of(level_of(p, sphere_cosine(p, i, j))))
            << "shift " << shift << " row " << i << " column " << j;
    if (shift == std::numbers::pi) {
      EXPECT_EQ(got[16 * 41 + 20], 0);
    }
  }
}

struct SetCase {
  const char* name;
  SimParams params;
  FrameSet set;
  double noise;
};

std::vector<SetCase> set_cases() {
  // Rows off centre (no mirrored row shares its levels, no pixel pairs with
  // its opposite), an even height, and rows narrower than a vector.
  SimParams moved = small_sphere();
  moved.y_pixels = 32;
  moved.offset_x = 0.3;
  moved.offset_y = -0.55;
  SimParams narrow = small_sphere();
  narrow.x_pixels = 3;
  narrow.y_pixels = 4;
  SimParams moved_biconic = small_biconic();
  moved_biconic.y_pixels = 30;
  moved_biconic.offset_x = -0.07;
  return {
      {"sphere off centre, noisy", moved, {3, {}}, 0.5},
      {"biconic off centre, noisy", moved_biconic, {3, {}}, 0.6},
      {"biconic off centre", moved_biconic, {4, {}}, 0.0},
      {"sphere off centre", moved, {4, {5.0}}, 0.0},
      {"three columns", narrow, {4, {}}, 0.3},
      {"sphere, 4 steps", small_sphere(), {4, {}}, 0.0},
      {"sphere, 3 steps, noisy", small_sphere(), {3, {}}, 0.7},
      {"sphere, two periods", small_sphere(), {3, {8.0, 4.0}}, 0.4},
      {"sphere, fine fringes", small_sphere(), {2, {1e-13}}, 0.0},
      {"biconic, 4 steps", small_biconic(), {4, {}}, 0.0},
      {"biconic, two periods, noisy", small_biconic(), {5, {3.0, 6.5}}, 0.8},
  };
}

// Each frame of a set is the picture of its shift and period, the generator
// running on from frame to frame; frame 0 of a one-period set is the
// unshifted picture.
TEST(FringeFrames, EveryFrameIsThePictureOfItsShiftAtEveryTarget) {
  for (const SetCase& c : set_cases()) {
    SimParams p = c.params;
    p.noise = c.noise;
    // One by one, plainly.
    std::vector<std::vector<int>> expected;
    uint64_t plain_state = 77;
    const std::vector<double> periods = c.set.periods.empty() ? std::vector{p.fringe_period} : c.set.periods;
    for (const double period : periods)
      for (int k = 0; k < c.set.steps; ++k) {
        SimParams frame = p;
        frame.fringe_period = period;
        frame.phase_shift = phase_step_shift(k, c.set.steps);
        expected.push_back(samples(plain_fringe_picture(frame, 64, 5, plain_state).get()));
      }
    if (c.set.periods.empty()) {
      uint64_t state = 77;
      EXPECT_EQ(picture(p, state), expected[0]) << c.name << ": frame 0";
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

// The cosine estimate holds only for phases up to 1e5: a shift that carries
// them beyond must send every pixel to the C library's cosine.
TEST(FringeFrames, LargeShiftsLeaveTheEstimateAtEveryTarget) {
  // Far out (1e12 and more) the estimate's reduction by pi loses grey levels.
  for (const double shift : {-2e5, 1e5 - 3.0, 3e5, -4e10, 1e12, 1e15}) {
    SimParams p = small_sphere();
    p.phase_shift = shift;
    p.noise = 0.5;
    uint64_t plain_state = 3;
    const std::vector<int> plain = samples(plain_fringe_picture(p, 64, 5, plain_state).get());
    for_every_target([&] {
      uint64_t state = 3;
      EXPECT_EQ(picture(p, state), plain) << shift;
    });
  }
}

// ---- Error sources ----------------------------------------------------------

TEST(FrameErrors, GammaAndAmbientFollowTheirDefinitionWithTheSameNoise) {
  struct Case {
    double gamma, ambient, noise;
  };
  for (const Case c : {Case{2.2, 0.0, 0.0}, {0.45, 0.0, 0.0}, {1.0, 17.5, 0.0}, {1.8, 9.0, 0.6}}) {
    SimParams p = small_sphere();
    p.dynamic = 0.8;
    p.noise = c.noise;
    p.errors.gamma = c.gamma;
    p.errors.ambient = c.ambient;
    seed_random(42);
    const uint64_t start = random_state;
    uint64_t state = start;
    const std::vector<int> got = picture(p, state);
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
          const int32_t n = shaped_random(-64, 64, square_shape);
          v = v + amount * s + n * p.noise * v / 255.0;
        }
        ASSERT_EQ(got[i * p.x_pixels + j], byte_of(v)) << c.gamma << " " << c.ambient << " " << i << " " << j;
      }
    EXPECT_EQ(state, random_state) << "the draws of a picture without errors, no more";
  }
}

TEST(FrameErrors, DeepSamplesScaleTheLevelsAndClamp) {
  struct Case {
    int bits;
    double ambient;
  };
  for (const Case c : {Case{12, 0.0}, {16, 0.0}, {9, 0.0}, {12, 60.0}, {16, 300.0}}) {
    SimParams p = small_sphere();
    p.errors.bits = c.bits;
    p.errors.ambient = c.ambient;
    uint64_t state = 1;
    const GreyImageOwner image = make_fringe_picture(p, 64, 5, state);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->type, 2);
    EXPECT_EQ(image->stride % 4, 0);
    EXPECT_GE(image->stride, 2 * p.x_pixels);
    const std::vector<int> got = samples(image.get());
    const double top = std::pow(2.0, c.bits) - 1.0;
    for (int i = 0; i < p.y_pixels; ++i)
      for (int j = 0; j < p.x_pixels; ++j) {
        const double v = (level_of(p, sphere_cosine(p, i, j)) + c.ambient) * top / 254.0;
        ASSERT_EQ(got[i * p.x_pixels + j], static_cast<int>(std::clamp(v, 0.0, top))) << c.bits << " " << i << " " << j;
      }
    // The apex: level 254 plus the ambient, the depth's top at least.
    EXPECT_EQ(got[16 * 41 + 20], static_cast<int>(top));
  }
  EXPECT_EQ(deep_sample(-3.0, 16), 0);
  EXPECT_EQ(deep_sample(std::nan(""), 12), 0);
  EXPECT_EQ(deep_sample(254.0, 16), 65535);
  EXPECT_EQ(deep_sample(1e9, 12), 4095);
  EXPECT_EQ(deep_sample(127.0, 12), 2047);  // 2047.5 truncated
}

// Weights summing to one (up to rounding), the radius ceil(4 sigma).
TEST(FrameErrors, BlurWeightsAreTheNormalisedGaussian) {
  for (const double sigma : {0.3, 1.0, 2.5, 50.0}) {
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

// A step along either axis: a direct weighted sum (edges replicated), a step
// about 0 blurred to exactly opposite values on its two sides, and a
// constant that stays exactly so.
TEST(FrameErrors, BlurredEdgeIsSymmetricAndConstantsStay) {
  const std::vector<double> w = blur_weights(2.0);
  const std::size_t n = 20;
  const double a = -100.25, b = 100.25;
  for (const bool along_rows : {true, false}) {
    const std::size_t width = along_rows ? n : 3, height = along_rows ? 3 : n;
    std::vector<double> levels(width * height);
    for (std::size_t i = 0; i < height; ++i)
      for (std::size_t j = 0; j < width; ++j) levels[i * width + j] = (along_rows ? j : i) < n / 2 ? a : b;
    blur_levels(levels, width, height, w);
    const auto at = [&](std::size_t k) { return along_rows ? levels[width + k] : levels[k * width + 1]; };
    for (std::size_t k = 0; k < n; ++k) {
      double direct = 0.0;
      for (int d = -8; d <= 8; ++d) {
        const long m = std::clamp<long>(static_cast<long>(k) + d, 0, static_cast<long>(n) - 1);
        direct += w[static_cast<std::size_t>(std::abs(d))] * (static_cast<std::size_t>(m) < n / 2 ? a : b);
      }
      EXPECT_NEAR(at(k), direct, 1e-12) << k;
    }
    for (std::size_t k = 0; k < n / 2; ++k) EXPECT_EQ(at(n / 2 - 1 - k), -at(n / 2 + k)) << k;
    EXPECT_LT(at(n / 2 - 1), at(n / 2));
  }
  // Contrast 0: every level is the dark floor, whatever the blur and depth.
  for (const int bits : {8, 16}) {
    SimParams p = small_sphere();
    p.dynamic = 0.0;
    p.errors.blur = 3.7;
    p.errors.bits = bits;
    const std::vector<int> got = picture(p);
    const int floor = bits == 8 ? 32 : deep_sample(32.0, 16);
    EXPECT_EQ(std::count(got.begin(), got.end(), floor), static_cast<long>(got.size())) << bits;
  }
}

// The picture's blur is the blur of its own noise-free levels.
TEST(FrameErrors, BlurredPictureIsTheBlurOfItsLevels) {
  for (const SimParams& base : {small_sphere(), small_biconic()}) {
    SimParams p = base;
    p.errors.bits = 16;
    const std::vector<int> sharp = picture(p);
    p.errors.blur = 1.5;
    const std::vector<int> got = picture(p);
    const auto width = static_cast<std::size_t>(p.x_pixels), height = static_cast<std::size_t>(p.y_pixels);
    std::vector<double> levels(sharp.begin(), sharp.end());
    for (double& v : levels) v = v * 254.0 / 65535.0;
    blur_levels(levels, width, height, blur_weights(1.5));
    int changed = 0;
    for (std::size_t k = 0; k < got.size(); ++k) {
      ASSERT_NEAR(got[k], levels[k] * 65535.0 / 254.0, 2.0) << k;  // the sharp samples were truncated
      changed += got[k] != sharp[k];
    }
    EXPECT_GT(changed, static_cast<int>(got.size()) / 2);
  }
}

// Settings refuse wild values; the synthesis must still neither fault nor
// read beyond its rows on the smallest pictures.
TEST(FrameErrors, TinyPicturesTakeAnyBlur) {
  const std::pair<int, int> sizes[] = {{1, 1}, {3, 2}, {2, 3}, {1, 7}};
  for (const auto& [width, height] : sizes)
    for (const double blur : {0.0, 0.2, 1.0, 7.5, 50.0})
      for (const SimParams& base : {small_sphere(), small_biconic()}) {
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
          uint64_t again = 5;
          EXPECT_EQ(picture(p, again), samples(image.get()));
        }
      }
}

TEST(FringeFrames, SetsThatCannotBeMadeAreEmptyAndDrawNothing) {
  SimParams p = small_sphere();
  p.errors.blur = 2.0;
  uint64_t state = 9;
  EXPECT_TRUE(make_fringe_frames(p, {0, {}}, 64, 5, state).empty());
  EXPECT_EQ(state, 9u);
  for (const int32_t width : {0, 4097}) {
    p.x_pixels = width;
    EXPECT_TRUE(make_fringe_frames(p, {3, {}}, 64, 5, state).empty()) << width;
    EXPECT_EQ(state, 9u);
  }
}

}  // namespace
