// Phase measurement along the rows: window lengths and the columns measured,
// the vector kernels against the plain definition at every target, and bad
// periods and sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <numbers>
#include <random>
#include <tuple>
#include <vector>

#include "every_target.h"
#include "fringe_image.h"
#include "scan/image_processing.h"
#include "scan/phase_angle.h"

namespace {


using Image = std::unique_ptr<GreyImage, decltype(&img_destroy)>;
Image make_image(int32_t width, int32_t height) { return Image(img_create(1, width, height), &img_destroy); }

Image copy_of(const GreyImage* source) {
  Image copy = make_image(source->width, source->height);
  img_copy(copy.get(), source);
  return copy;
}

// Random grey levels: every phase angle occurs, and every window.
Image noise_image(int32_t width, int32_t height, unsigned seed) {
  Image image = make_image(width, height);
  std::mt19937 random(seed);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) img_line(image.get(), y)[x] = static_cast<uint8_t>(random());
  return image;
}

// Number of differing pixels; the first one is reported.
int differences(const GreyImage* a, const GreyImage* b) {
  int count = 0;
  for (int32_t y = 0; y < a->height; ++y)
    for (int32_t x = 0; x < a->width; ++x)
      if (img_line(a, y)[x] != img_line(b, y)[x] && count++ == 0)
        ADD_FAILURE() << "first difference at (" << x << ", " << y << "): "
                      << int(img_line(a, y)[x]) << " vs " << int(img_line(b, y)[x]);
  return count;
}

// One row, all 0 but a single 255 at column c, measured: the nonzero bytes
// span exactly the centres of the windows that contain column c.
std::vector<uint8_t> impulse_response(int32_t width, int32_t c, double period) {
  Image row = make_image(width, 1);
  img_line(row.get(), 0)[c] = 255;
  fringe_phase(row.get(), phase_window(period), period);
  return std::vector<uint8_t>(img_line(row.get(), 0), img_line(row.get(), 0) + width);
}

// Nonzero from first to last, zero just outside.
void expect_span(const std::vector<uint8_t>& row, int32_t first, int32_t last) {
  EXPECT_EQ(row[first - 1], 0) << first;
  EXPECT_NE(row[first], 0) << first;
  EXPECT_NE(row[last], 0) << last;
  if (last + 1 < static_cast<int32_t>(row.size())) {
    EXPECT_EQ(row[last + 1], 0) << last;
  }
}

TEST(PhaseWindow, IsOddRoundedHalfToEvenAndAtMost127Taps) {
  EXPECT_EQ(phase_window(10.0), 29);
  EXPECT_EQ(phase_window(5.0), 15);
  EXPECT_EQ(phase_window(14.25), 43);  // 42.75 -> 43
  EXPECT_EQ(phase_window(14.5), 43);   // 43.5 -> 44 (even) -> 43
  EXPECT_EQ(phase_window(9.5), 27);    // 28.5 -> 28 (even) -> 27
  EXPECT_EQ(phase_window(42.6), 127);  // 127.8 -> 128 -> 127
  EXPECT_EQ(phase_window(1e300), 127);
  EXPECT_EQ(phase_window(std::numeric_limits<double>::infinity()), 127);
  EXPECT_EQ(phase_window(0.5), 1);  // 1.5 -> 2 -> 1
  EXPECT_EQ(phase_window(0.0), 1);
  EXPECT_EQ(phase_window(-5.0), 1);
  EXPECT_EQ(phase_window(std::nan("")), 1);
}

TEST(PhaseBytes, EqualRoundedAtan2AlsoNextToEveryRoundingBoundary) {
  std::vector<double> re, im;
  for (int k = -129; k <= 128; ++k) {
    const double angle = (k + 0.5) * std::numbers::pi / 128;
    for (double scale : {1.0, 1000.0, 12345.678})
      for (int nudge = -2; nudge <= 2; ++nudge) {
        double x = std::cos(angle) * scale, y = -std::sin(angle) * scale;
        for (int n = 0; n < std::abs(nudge); ++n) x = std::nextafter(x, nudge > 0 ? 1e9 : -1e9);
        re.push_back(x);
        im.push_back(y);
      }
    // Either side of the width within which the fast angle defers to atan2
    // (2e-4 units), and far inside it.
    for (double off : {-2.1e-4, -1.9e-4, -1e-6, 1e-6, 1.9e-4, 2.1e-4, 0.25, -0.25}) {
      const double near = (k + 0.5 + off) * std::numbers::pi / 128;
      re.push_back(300.0 * std::cos(near));
      im.push_back(-300.0 * std::sin(near));
    }
  }
  // Quotients min / max of |Re|, |Im| a few float steps either side of each
  // rounding boundary tan((k + 0.5) pi / 128) within an octant, in all eight
  // octants, and the diagonals, where the quotient is 1.
  for (int k = 0; k < 32; ++k)
    for (int steps = -3; steps <= 3; ++steps) {
      float t = static_cast<float>(std::tan((k + 0.5) * std::numbers::pi / 128));
      for (int n = 0; n < std::abs(steps); ++n) t = std::nextafter(t, steps > 0 ? 2.0F : 0.0F);
      for (int octant = 0; octant < 8; ++octant) {
        const double a = 700.0, b = 700.0 * t;
        const double x = octant & 1 ? b : a, y = octant & 1 ? a : b;
        re.push_back(octant & 2 ? -x : x);
        im.push_back(octant & 4 ? -y : y);
      }
    }
  for (double x : {3.0, -3.0})
    for (double y : {3.0, -3.0}) {
      re.push_back(x);
      im.push_back(y);
    }
  // Responses whose quotient would need a subnormal or overflowing divisor,
  // at angles all round.
  for (double scale : {1e-300, 1e-291, 1e-289, 1e300, 1e308})
    for (int k = 0; k < 64; ++k) {
      const double angle = k * std::numbers::pi / 32 + 0.01;
      re.push_back(scale * std::cos(angle));
      im.push_back(scale * std::sin(angle));
    }
  std::mt19937 random(7);
  std::uniform_real_distribution<double> any(-3e4, 3e4);
  for (int i = 0; i < 100000; ++i) {
    re.push_back(any(random));
    im.push_back(any(random));
  }
  // Axes, signed zeros and the both-zero response.
  for (double x : {0.0, -0.0, 5.0, -5.0})
    for (double y : {0.0, -0.0, 5.0, -5.0}) {
      re.push_back(x);
      im.push_back(y);
    }
  // Responses no filter gives, but the function takes: every byte as atan2.
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double x : {nan, inf, -inf, 1.0, 1e-310})
    for (double y : {nan, inf, -inf, -1.0, 1e-310}) {
      re.push_back(x);
      im.push_back(y);
    }
  const auto count = static_cast<int32_t>(re.size());
  std::vector<uint8_t> expected(re.size());
  for (int32_t i = 0; i < count; ++i) {
    const double value =
        re[i] == 0.0 && im[i] == 0.0 ? 0.0 : std::nearbyint(std::atan2(-im[i], re[i]) * 128 / std::numbers::pi);
    expected[i] = std::isfinite(value) ? static_cast<uint8_t>(static_cast<int>(value)) : uint8_t{0};
  }
  const auto wrong = [&](const std::vector<uint8_t>& bytes, int32_t first) {
    int count_wrong = 0;
    for (std::size_t k = 0; k < bytes.size(); ++k) {
      const std::size_t i = first + k;
      if (bytes[k] != expected[i] && count_wrong++ < 5)
        ADD_FAILURE() << "re " << re[i] << " im " << im[i] << ": " << int(bytes[k]) << " instead of "
                      << int(expected[i]);
    }
    return count_wrong;
  };
  std::vector<uint8_t> plain(re.size());
  for (int32_t i = 0; i < count; ++i) plain[i] = phase_byte(re[i], im[i]);
  EXPECT_EQ(wrong(plain, 0), 0) << "phase_byte";
  for_every_target([&] {
    std::vector<uint8_t> bytes(re.size());
    phase_bytes(re.data(), im.data(), count, bytes.data());
    EXPECT_EQ(wrong(bytes, 0), 0);
    // Runs that start and end inside a vector: the rest by definition.
    for (const auto& [first, length] : {std::pair{1, 1}, std::pair{3, 6}, std::pair{count - 12, 11}}) {
      std::vector<uint8_t> part(static_cast<std::size_t>(length));
      phase_bytes(re.data() + first, im.data() + first, length, part.data());
      EXPECT_EQ(wrong(part, first), 0) << first << " + " << length;
    }
    const uint8_t* axes = bytes.data() + count - 25 - 16;  // index: 4 * re + im
    for (int i : {0, 1, 4, 5}) EXPECT_EQ(axes[i], 0) << i;  // Re = Im = 0
    EXPECT_EQ(axes[12], 0x80);  // Re < 0, Im = +0: angle -pi, -128
    EXPECT_EQ(axes[13], 0x80);  // Re < 0, Im = -0: angle pi, 128 stored as -128
    EXPECT_EQ(axes[2], 0xC0);   // Re = 0, Im > 0: -64
    EXPECT_EQ(axes[3], 0x40);   // Re = 0, Im < 0: 64
  });
}

// The single-precision quotient holds only where the larger magnitude is a
// float well inside its range: responses on either side of the range's ends
// (2^-60, 2^60), a minor part that vanishes as a float with either sign, and
// runs of every length up to four vectors of the widest target from every
// start, whose last values go through the zero-filled copy.
TEST(PhaseBytes, RangeEdgesVanishingPartsAndEveryRunLength) {
  std::vector<double> re, im;
  for (double large : {0x1p-61, 0x1p-60, 0x1.000002p-60, 0x1p-59, 0x1p59, 0x1p60, 0x1.000002p60, 0x1p61})
    for (double t : {0.0, -1e-300, 1e-300, 0.0123, 0.41421356, 0.7, 1.0})
      for (int octant = 0; octant < 8; ++octant) {
        const double a = large, b = large * t;
        const double x = octant & 1 ? b : a, y = octant & 1 ? a : b;
        re.push_back(octant & 2 ? -x : x);
        im.push_back(octant & 4 ? -y : y);
      }
  std::mt19937 random(11);
  std::uniform_real_distribution<double> any(-500.0, 500.0);
  while (re.size() % 64 != 0 || re.size() < 1024) {
    re.push_back(any(random));
    im.push_back(any(random));
  }
  const auto count = static_cast<int32_t>(re.size());
  std::vector<uint8_t> expected(re.size());
  for (int32_t i = 0; i < count; ++i) expected[i] = phase_byte(re[i], im[i]);
  for_every_target([&] {
    std::vector<uint8_t> bytes(re.size());
    phase_bytes(re.data(), im.data(), count, bytes.data());
    for (int32_t i = 0; i < count; ++i) ASSERT_EQ(bytes[i], expected[i]) << "re " << re[i] << " im " << im[i];
    for (int32_t first = 0; first < 17; ++first)
      for (int32_t length = 1; length <= 64; ++length) {
        std::vector<uint8_t> part(static_cast<std::size_t>(length) + 1, 0xAB);
        phase_bytes(re.data() + first, im.data() + first, length, part.data());
        for (int32_t k = 0; k < length; ++k) ASSERT_EQ(part[k], expected[first + k]) << first << " + " << length;
        ASSERT_EQ(part[length], 0xAB) << "written past the run: " << first << " + " << length;
      }
  });
}

TEST(FringePhase, DefaultRowWindowsGrowFrom15To43TapsAndStopAtColumn1237) {
  // 15 taps around column 40 (local periods 5.0 and 5.25), 43 around 1230.
  expect_span(impulse_response(1280, 40, 10.0), 33, 47);
  expect_span(impulse_response(1280, 1230, 10.0), 1209, 1251);
  // The last window starts at 1237 (centre 1258); 1259..1279 stay 0.
  const std::vector<uint8_t> end = impulse_response(1280, 1270, 10.0);
  EXPECT_NE(end[1258], 0);
  EXPECT_TRUE(std::all_of(end.begin() + 1259, end.end(), [](uint8_t v) { return v == 0; }));

  Image fringes(make_sphere_fringes(SphereFringes{}), &img_destroy);
  fringe_phase(fringes.get(), 29, 10.0);
  for (int32_t y : {0, 511, 1023}) {
    const uint8_t* row = img_line(fringes.get(), y);
    EXPECT_TRUE(std::all_of(row, row + 21, [](uint8_t v) { return v == 0; })) << y;
    EXPECT_TRUE(std::all_of(row + 1259, row + 1280, [](uint8_t v) { return v == 0; })) << y;
  }
}

TEST(FringePhase, ColumnsWhereTheWindowGrowsCarryMeasuredPhases) {
  // Where the kernels grow, the first centre of the new window lies one
  // column beyond the last centre of the old one: 14 columns per default row.
  std::vector<int32_t> skipped;
  for (int32_t j = 32, old_half = 7; j <= 1216; j += 32) {
    const double lp = j <= 640 ? 5.0 + j / 640.0 * 5.0 : 10.0 + (j - 640.0) / 640.0 * 5.0;
    const int32_t half = phase_window(lp) / 2;
    for (int32_t c = j + old_half; c < j + half; ++c) skipped.push_back(c);
    old_half = half;
  }
  ASSERT_EQ(skipped.size(), 14u);
  EXPECT_EQ(skipped[0], 103);
  EXPECT_EQ(skipped[1], 168);
  EXPECT_EQ(skipped[2], 265);
  EXPECT_EQ(skipped[13], 1204);

  // The whole plane equals the plain loop, which measures those columns.
  Image source(make_sphere_fringes(SphereFringes{}), &img_destroy);
  Image measured = copy_of(source.get());
  Image expected = copy_of(source.get());
  fringe_phase(measured.get(), 29, 10.0);
  fringe_phase_plain(expected.get(), 29, 10.0);
  EXPECT_EQ(differences(measured.get(), expected.get()), 0);
  int grey_levels_left = 0;
  for (int32_t y = 0; y < 1024; ++y)
    for (int32_t c : skipped) grey_levels_left += img_line(measured.get(), y)[c] == img_line(source.get(), y)[c];
  EXPECT_LT(grey_levels_left, 1024 * 14 / 20);  // chance agreements only
}

TEST(FringePhase, RowEndsWhereTheRebuiltWindowNoLongerFits) {
  // Width 650: at column 608 the window grows from 41 to 43 taps and would
  // end at 650; the row ends with the last 41-tap window (start 607, centre
  // 627). Column 628 has no measurement, 629..649 are the border (21).
  Image noise = noise_image(650, 40, 3);
  Image expected = copy_of(noise.get());
  fringe_phase(noise.get(), 29, 10.0);
  fringe_phase_plain(expected.get(), 29, 10.0);
  EXPECT_EQ(differences(noise.get(), expected.get()), 0);
  const std::vector<uint8_t> end = impulse_response(650, 640, 10.0);
  expect_span(end, 620, 627);
  EXPECT_TRUE(std::all_of(end.begin() + 628, end.end(), [](uint8_t v) { return v == 0; }));
}

TEST(FringePhase, BadPeriodsKeepWindowsWithin15To127Taps) {
  // Local periods below 5 pixels, or not a number, become 5: 15 taps.
  for (double period : {std::nan(""), 0.0, -3.0, std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity()}) {
    const std::vector<uint8_t> row = impulse_response(300, 100, period);
    expect_span(row, 93, 107);
    EXPECT_EQ(row[6], 0);
  }
  // A period of 60 pixels would need up to 195 taps; the kernels hold 127.
  expect_span(impulse_response(1280, 600, 60.0), 537, 663);
}

TEST(FringePhase, ImagesWithoutAFittingWindowComeOutZero) {
  for (const auto& [width, window, period] : {std::tuple{20, 29, 10.0}, std::tuple{14, 13, 4.0},
                                              std::tuple{1, 1, 10.0}, std::tuple{126, 127, 60.0}}) {
    Image noise = noise_image(width, 3, 11);
    fringe_phase(noise.get(), window, period);
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < width; ++x) ASSERT_EQ(img_line(noise.get(), y)[x], 0) << width;
  }
  // An all-black image has Re = Im = 0 everywhere.
  Image black = make_image(1280, 8);
  fringe_phase(black.get(), 29, 10.0);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 1280; ++x) ASSERT_EQ(img_line(black.get(), y)[x], 0);
  // A 16-bit plane is not an image of grey levels.
  Image wide(img_create(2, 64, 2), &img_destroy);
  img_line(wide.get(), 1)[7] = 9;
  fringe_phase(wide.get(), 29, 10.0);
  fringe_phase(nullptr, 29, 10.0);
  EXPECT_EQ(img_line(wide.get(), 1)[7], 9);
}

// At every target the vector path gives the plain definition's bytes: real
// fringes and noise, heights that leave a partial group of eight rows, rows
// ending where a rebuilt window no longer fits (650, 97, 64), the columns a
// growing window would skip, and every window width the plans use (15 to 127
// taps over periods 10 to 40 on 1280 columns).
TEST(FringePhase, EveryTargetGivesThePlainDefinitionsBytes) {
  struct Case {
    GreyImage* image;
    double period;
  };
  std::vector<Case> cases = {{make_sphere_fringes(SphereFringes{}), 10.0},
                             {make_sphere_fringes(SphereFringes{700, 517, 0.01, 6.0, 30.0, 7.0}), 6.0}};
  for (const auto& [width, period] : {std::pair{1280, 10.0}, std::pair{1280, 20.0}, std::pair{1280, 30.0},
                                      std::pair{1280, 40.0}, std::pair{650, 10.0}, std::pair{97, 10.0},
                                      std::pair{522, 10.0}, std::pair{333, 7.3}, std::pair{1000, 25.0},
                                      std::pair{4096, 12.0}, std::pair{700, 40.0}, std::pair{64, 3.0},
                                      std::pair{300, 1e300}})
    cases.push_back({noise_image(width, 11, static_cast<unsigned>(width)).release(), period});
  std::vector<Image> expected;
  for (const Case& c : cases) {
    expected.push_back(copy_of(c.image));
    fringe_phase_plain(expected.back().get(), phase_window(c.period), c.period);
  }
  for_every_target([&] {
    for (std::size_t k = 0; k < cases.size(); ++k) {
      Image measured = copy_of(cases[k].image);
      fringe_phase(measured.get(), phase_window(cases[k].period), cases[k].period);
      EXPECT_EQ(differences(measured.get(), expected[k].get()), 0)
          << cases[k].image->width << " / " << cases[k].period;
    }
  });
  for (const Case& c : cases) img_destroy(c.image);
}

// The flaw mask of a measured phase is the same at every target.
TEST(FringePhase, FlawMaskOfTheMeasuredPhaseIsTheSameAtEveryTarget) {
  Image noise = noise_image(333, 50, 21);
  fringe_phase(noise.get(), 29, 10.0);
  const auto mask_of = [&] {
    Image mask = make_image(333, 50);
    for (int32_t y = 0; y < 50; ++y) std::fill(img_line(mask.get(), y), img_line(mask.get(), y) + 333, 255);
    flaw_mask(mask.get(), noise.get(), 1000);
    return mask;
  };
  const Image first = mask_of();
  for_every_target([&] { EXPECT_EQ(differences(mask_of().get(), first.get()), 0); });
}

}  // namespace
