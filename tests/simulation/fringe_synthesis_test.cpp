#include "simulation/fringe_synthesis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "scan/grey_image.h"
#include "every_target.h"
#include "simulation/dark_level_shift.h"
#include "simulation/plain_synthesis.h"
#include "simulation/random_generator.h"
#include "simulation/shaped_random.h"
#include "temp_dir.h"

namespace {

using Rows = std::vector<std::vector<uint8_t>>;

// 41 x 33 pixels of 0.25 mm around a 4 mm sphere: the corners lie on the flat
// floor, and the apex falls on pixel (20, 16).
SimParams small_sphere() {
  SimParams p;
  p.x_pixels = 41;
  p.y_pixels = 33;
  p.pixel_size = 0.25;
  p.fringe_period = 4.0;
  p.radius = 4.0;
  return p;
}

// Noise-free grey level before clamping, worked out pixel by pixel.
double clean_level(const SimParams& p, int row, int column) {
  const double d = p.pixel_size;
  const double x = d * (column - (p.x_pixels - 1) * 0.5) - p.offset_x;
  const double y = d * (row - (p.y_pixels - 1) * 0.5) - p.offset_y;
  const double r_sq = x * x + y * y;
  const double r2 = p.radius * p.radius;
  const double z = r_sq < r2 ? std::sqrt(r2 - r_sq) - p.radius : -p.radius;
  const double t = std::tan(std::numbers::pi * p.alpha_deg / 180.0);
  const double phi = 2.0 * std::numbers::pi * (x + z * t) / (d * p.fringe_period);
  return (p.dynamic * std::cos(phi) + 1.0) * 127.0 - dark_level_shift(p.dynamic, 32);
}

// Rows of the bitmap, bottom row first, without padding.
Rows load_rows(const char* path) {
  GreyImage* image = nullptr;
  EXPECT_EQ(img_load_bmp(&image, path), 0);
  Rows rows;
  if (image == nullptr) return rows;
  EXPECT_EQ(image->type, 1);
  for (int32_t i = 0; i < image->height; ++i)
    rows.emplace_back(img_line(image, i), img_line(image, i) + image->width);
  img_destroy(image);
  return rows;
}

Rows synthesize(const SimParams& p, uint32_t seed, int32_t max_noise = 64, int32_t additive_range = 5) {
  seed_random(seed);
  EXPECT_EQ(synthesize_fringe_image(p, "./sim00.bmp", max_noise, additive_range), 0);
  return load_rows("./sim00.bmp");
}

std::pair<int, int> level_range(const Rows& rows) {
  int low = 255, high = 0;
  for (const auto& row : rows)
    for (uint8_t level : row) low = std::min<int>(low, level), high = std::max<int>(high, level);
  return {low, high};
}

// The draw that follows `count` draws after seeding.
int32_t draw_after(uint32_t seed, int count) {
  seed_random(seed);
  for (int k = 0; k < count; ++k) next_random();
  return next_random();
}

}  // namespace

TEST(FringeSynthesis, NoiseFreeImageFollowsTheSphereWhateverTheSeed) {
  TempDir dir;
  const SimParams p = small_sphere();
  const Rows image = synthesize(p, 1);
  // 41 pixels pad to a 44-byte stride: 54 + 1024 + 44 * 33 bytes, grey ramp.
  const std::string bytes = read_file_bytes("sim00.bmp");
  EXPECT_EQ(bytes.size(), 2530U);
  EXPECT_EQ(bytes.substr(54 + 4 * 200, 4), std::string("\xC8\xC8\xC8\0", 4));

  EXPECT_EQ(synthesize(p, 987654), image);
  for (int i = 0; i < p.y_pixels; ++i)
    for (int j = 0; j < p.x_pixels; ++j)
      ASSERT_EQ(image[i][j], static_cast<int>(clean_level(p, i, j))) << "row " << i << " column " << j;
  EXPECT_EQ(image[16][20], 254);  // the apex: phase 0

  // The shaped value is still drawn, once per pixel.
  const int32_t expected = draw_after(1, 41 * 33);
  seed_random(1);
  synthesize_fringe_image(p, "./sim00.bmp", 64, 5);
  EXPECT_EQ(next_random(), expected);
}

TEST(FringeSynthesis, ContrastIsClampedAndSetsTheGreyRange) {
  TempDir dir;
  SimParams p = small_sphere();
  const Rows full = synthesize(p, 1);
  for (double dynamic : {0.0, -0.5, std::nan("")}) {
    p.dynamic = dynamic;
    EXPECT_EQ(level_range(synthesize(p, 1)), std::pair(32, 32)) << dynamic;
  }
  p.dynamic = 7.0;
  EXPECT_EQ(synthesize(p, 1), full);
  p.dynamic = 0.5;  // from the dark level 32 up to 32 + 127
  const Rows half = synthesize(p, 1);
  EXPECT_EQ(level_range(half), std::pair(32, 159));
  EXPECT_EQ(half[16][20], 159);
}

TEST(FringeSynthesis, OffsetsMoveTheSphereRightAndUp) {
  TempDir dir;
  SimParams p = small_sphere();
  const Rows centred = synthesize(p, 1);
  p.offset_x = 3 * p.pixel_size;
  p.offset_y = 5 * p.pixel_size;
  const Rows moved = synthesize(p, 1);
  // Row 0 is the bottom row: moving up means larger row indices.
  for (int i = 5; i < p.y_pixels; ++i)
    for (int j = 3; j < p.x_pixels; ++j) ASSERT_EQ(moved[i][j], centred[i - 5][j - 3]);
  EXPECT_EQ(moved[16 + 5][20 + 3], 254);
}

TEST(FringeSynthesis, NoiseDrawsSignAmountAndShapedValuePerPixel) {
  TempDir dir;
  SimParams p = small_sphere();
  p.dynamic = 0.6;
  p.noise = 0.8;
  const Rows image = synthesize(p, 42);
  seed_random(42);
  for (int i = 0; i < p.y_pixels; ++i)
    for (int j = 0; j < p.x_pixels; ++j) {
      double v = clean_level(p, i, j);
      const double s = random_below(2) == 0 ? -1.0 : 1.0;
      const int32_t amount = random_below(5);
      const int32_t n = shaped_random(-64, 64, square_shape);
      v = std::clamp(v + amount * s + n * p.noise * v / 255.0, 0.0, 254.0);
      ASSERT_EQ(image[i][j], static_cast<int>(v)) << "row " << i << " column " << j;
    }
  EXPECT_NE(synthesize(p, 43), image);

  // Heavy noise saturates both ends but never reaches 255.
  p.dynamic = 1.0;
  p.noise = 1.0;
  EXPECT_EQ(level_range(synthesize(p, 7, 100000, 200)), std::pair(0, 254));
  EXPECT_LE(level_range(synthesize(p, 7, std::numeric_limits<int32_t>::max(), 5)).second, 254);
}

// The plain definition draws and rounds as the generator's functions do, and
// every vector target gives its bytes and generator state, on pictures that
// send lanes down every side path: phases beyond the cosine estimate's range
// (fine fringes) or not a number (no fringe period), contrast 0 (every
// noise-free level an integer), spans of the shaped value that are and are
// not powers of two or tabulated, a negative additive bound, and widths that
// leave a tail after the last full vector.
TEST(FringeSynthesis, EveryTargetDrawsAndRoundsAsThePlainDefinition) {
  TempDir dir;
  struct Case {
    const char* name;
    double dynamic, noise, fringe_period;
    int32_t width, max_noise, additive_range;
  };
  const Case cases[] = {
      {"fine fringes, noise-free", 1.0, 0.0, 1e-13, 41, 64, 5},
      {"fine fringes, noisy", 0.9, 0.7, 1e-13, 43, 64, 5},
      {"no fringe period", 1.0, 0.5, 0.0, 41, 64, 5},
      {"contrast 0", 0.0, 1.0, 4.0, 41, 64, 5},
      {"span not a power of two", 0.8, 1.0, 4.0, 45, 50, 5},
      {"span beyond the table", 1.0, 0.9, 4.0, 41, 100000, -7},
      {"huge span and bound", 1.0, 1.0, 4.0, 47, std::numeric_limits<int32_t>::max(),
       std::numeric_limits<int32_t>::min()},
      {"sign and amount only", 0.6, 0.3, 4.0, 41, 0, 9},
      {"sign and shaped value only", 0.6, 0.3, 4.0, 41, 3, 0},
  };
  const auto grey = [](double v) { return !(v > 0.0) ? 0 : v > 254.0 ? 254 : static_cast<int>(v); };
  for (const Case& c : cases) {
    SimParams p = small_sphere();
    p.dynamic = c.dynamic;
    p.noise = c.noise;
    p.fringe_period = c.fringe_period;
    p.x_pixels = c.width;
    Rows expected(static_cast<std::size_t>(p.y_pixels), std::vector<uint8_t>(static_cast<std::size_t>(c.width)));
    seed_random(5);
    for (int i = 0; i < p.y_pixels; ++i)
      for (int j = 0; j < p.x_pixels; ++j) {
        const double v = clean_level(p, i, j);
        if (c.noise == 0.0) {
          shaped_random(-c.max_noise, c.max_noise, square_shape);
          expected[i][j] = static_cast<uint8_t>(grey(v));
          continue;
        }
        const double s = random_below(2) == 0 ? -1.0 : 1.0;
        const int32_t amount = random_below(c.additive_range);
        const int32_t n = c.max_noise > 0 ? shaped_random(-c.max_noise, c.max_noise, square_shape) : 0;
        expected[i][j] = static_cast<uint8_t>(grey(v + amount * s + n * p.noise * v / 255.0));
      }
    const uint64_t state_after = random_state;
    uint64_t plain_state = 5;
    const GreyImageOwner plain = plain_fringe_picture(p, c.max_noise, c.additive_range, plain_state);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain_state, state_after) << c.name;
    for (int i = 0; i < p.y_pixels; ++i)
      ASSERT_EQ(Rows::value_type(img_line(plain.get(), i), img_line(plain.get(), i) + c.width), expected[i])
          << c.name << ", row " << i;
    for_every_target([&] {
      uint64_t state = 5;
      const GreyImageOwner image = make_fringe_picture(p, c.max_noise, c.additive_range, state);
      ASSERT_TRUE(image);
      EXPECT_EQ(state, plain_state) << c.name;
      for (int i = 0; i < p.y_pixels; ++i)
        ASSERT_EQ(Rows::value_type(img_line(image.get(), i), img_line(image.get(), i) + c.width), expected[i])
            << c.name << ", row " << i;
    });
  }
}

// Other surfaces take their levels from SurfaceRows and the same noise
// kernels: every target against the plain definition, camera-wide rows
// (their tails after the last whole vector included).
TEST(FringeSynthesis, SurfacesAtEveryTargetAsThePlainDefinition) {
  SimParams p;
  p.x_pixels = 333;
  p.y_pixels = 61;
  p.surface = {.model = SurfaceModel::biconic, .rx = 7.6, .ry = 7.9, .axis_deg = 30.0, .q = -0.2};
  for (const double noise : {0.0, 0.7}) {
    p.noise = noise;
    uint64_t plain_state = 9;
    const GreyImageOwner plain = plain_fringe_picture(p, 64, 5, plain_state);
    ASSERT_TRUE(plain);
    for_every_target([&] {
      uint64_t state = 9;
      const GreyImageOwner image = make_fringe_picture(p, 64, 5, state);
      ASSERT_TRUE(image);
      EXPECT_EQ(state, plain_state);
      for (int i = 0; i < p.y_pixels; ++i)
        ASSERT_TRUE(std::equal(img_line(image.get(), i), img_line(image.get(), i) + p.x_pixels,
                               img_line(plain.get(), i)))
            << "noise " << noise << ", row " << i;
    });
  }
}

TEST(FringeSynthesis, MaxNoiseOfZeroOrLessLeavesOnlyTheAdditiveNoise) {
  TempDir dir;
  SimParams p = small_sphere();
  p.noise = 1.0;
  const Rows clean = synthesize(p, 1, 0, 0);
  for (int32_t max_noise : {0, -5, std::numeric_limits<int32_t>::min()})
    for (int32_t additive_range : {5, -5}) {
      const Rows image = synthesize(p, 3, max_noise, additive_range);
      for (int i = 0; i < p.y_pixels; ++i)
        for (int j = 0; j < p.x_pixels; ++j)
          ASSERT_LE(std::abs(image[i][j] - clean[i][j]), 5) << max_noise << " " << additive_range;
    }
  // Two draws per pixel: sign and amount.
  const int32_t expected = draw_after(3, 2 * 41 * 33);
  seed_random(3);
  synthesize_fringe_image(p, "./sim00.bmp", -1, 5);
  EXPECT_EQ(next_random(), expected);
}

TEST(FringeSynthesis, FailuresWriteNothingOrReportTheWriter) {
  TempDir dir;
  write_file_bytes("sim00.bmp", "earlier");
  const std::pair<int32_t, int32_t> sizes[] = {{0, 10}, {10, 0}, {-3, 10}, {10, -1}, {4097, 10}, {10, 4097}};
  for (auto [width, height] : sizes) {
    SimParams p = small_sphere();
    p.x_pixels = width;
    p.y_pixels = height;
    seed_random(1);
    EXPECT_EQ(synthesize_fringe_image(p, "./sim00.bmp", 64, 5), kSynthesisNoImage);
    EXPECT_EQ(next_random(), 346);  // nothing drawn
  }
  EXPECT_EQ(read_file_bytes("sim00.bmp"), "earlier");
  EXPECT_EQ(synthesize_fringe_image(small_sphere(), "./missing/sim00.bmp", 64, 5), -1);

  // A zero pixel size or fringe period gives no phase: every pixel clamps to 0.
  SimParams p = small_sphere();
  p.pixel_size = 0.0;
  EXPECT_EQ(level_range(synthesize(p, 1)), std::pair(0, 0));
  p = small_sphere();
  p.fringe_period = 0.0;
  EXPECT_EQ(level_range(synthesize(p, 1)), std::pair(0, 0));
}
