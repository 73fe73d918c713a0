// Phase measurement along the rows: window lengths and the columns measured,
// exact phase bytes against a plain loop, and bad periods and sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "fringe_image.h"
#include "scan/cpu_features.h"
#include "scan/image_processing.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

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

// The measurement as a plain loop: kernels rebuilt every 32 columns of every
// row, each sum one tap after another, atan2 for every value. A window that
// grows measures the columns it would skip; a rebuilt window that does not
// fit ends the row; columns never measured are 0.
void plain_fringe_phase(GreyImage* plane, int32_t window, double period) {
  const int32_t w = plane->width;
  const double left = period - 5.0;
  const double right = period + 5.0;
  int32_t a = window;
  int32_t h = a / 2;
  std::vector<double> kc(128), ks(128);
  std::vector<uint8_t> r(static_cast<std::size_t>(w)), out(r.size());
  for (int32_t y = 0; y < plane->height; ++y) {
    uint8_t* row = img_line(plane, y);
    std::copy(row, row + w, r.begin());
    std::fill(out.begin(), out.end(), 0);
    const auto measure = [&](int32_t start) {
      double re = 0.0, im = 0.0;
      for (int32_t i = 0; i < a; ++i) {
        re += r[start + i] * kc[i];
        im += r[start + i] * ks[i];
      }
      const double value = re == 0.0 && im == 0.0 ? 0.0 : std::nearbyint(std::atan2(-im, re) * 128 / kPi);
      out[start + h] = static_cast<uint8_t>(static_cast<int>(value));
    };
    bool measured = false;
    for (int32_t j = 0; j <= w - a; ++j) {
      if (j % 32 == 0) {
        double lp = j <= w / 2 ? left + j / (0.5 * w) * (period - left)
                               : period + (j - 0.5 * w) / (0.5 * w) * (right - period);
        if (!(lp >= 5.0)) lp = 5.0;
        const int32_t old_half = h;
        a = static_cast<int32_t>(std::nearbyint(std::min(3.0 * lp, 128.0)));
        if (a % 2 == 0) --a;
        h = a / 2;
        for (int32_t i = 0; i < a; ++i) {
          const int32_t t = i - h;
          const double weight = 0.54 + 0.46 * std::cos(2.0 * kPi * t / a);
          kc[i] = weight * std::cos(2.0 * kPi * t / lp);
          ks[i] = weight * std::sin(2.0 * kPi * t / lp);
        }
        if (j > w - a) break;
        if (measured)
          for (int32_t c = j + old_half; c < j + h; ++c) measure(c - h);
      }
      measure(j);
      measured = true;
    }
    for (int32_t s = 0; s < std::min(h, w); ++s) out[s] = out[w - 1 - s] = 0;
    std::copy(out.begin(), out.end(), row);
  }
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
    const double angle = (k + 0.5) * kPi / 128;
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
      const double near = (k + 0.5 + off) * kPi / 128;
      re.push_back(300.0 * std::cos(near));
      im.push_back(-300.0 * std::sin(near));
    }
  }
  // Quotients min / max of |Re|, |Im| a few float steps either side of each
  // rounding boundary tan((k + 0.5) pi / 128) within an octant, in all eight
  // octants, and the diagonals, where the quotient is 1.
  for (int k = 0; k < 32; ++k)
    for (int steps = -3; steps <= 3; ++steps) {
      float t = static_cast<float>(std::tan((k + 0.5) * kPi / 128));
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
      const double angle = k * kPi / 32 + 0.01;
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
  for (SimdLevel level : {SimdLevel::avx512, SimdLevel::avx2, SimdLevel::sse2}) {
    simd_ceiling() = level;
    std::vector<uint8_t> bytes(re.size());
    phase_bytes(re.data(), im.data(), count, bytes.data());
    simd_ceiling() = SimdLevel::avx512;
    int wrong = 0;
    for (int32_t i = 0; i < count; ++i) {
      const double value =
          re[i] == 0.0 && im[i] == 0.0 ? 0.0 : std::nearbyint(std::atan2(-im[i], re[i]) * 128 / kPi);
      const auto expected = std::isfinite(value) ? static_cast<uint8_t>(static_cast<int>(value)) : uint8_t{0};
      if (bytes[i] != expected && wrong++ < 5)
        ADD_FAILURE() << "level " << static_cast<int>(level) << " re " << re[i] << " im " << im[i] << ": "
                      << int(bytes[i]) << " instead of " << int(expected);
    }
    EXPECT_EQ(wrong, 0);
    const uint8_t* axes = bytes.data() + count - 25 - 16;  // index: 4 * re + im
    for (int i : {0, 1, 4, 5}) EXPECT_EQ(axes[i], 0) << i;  // Re = Im = 0
    EXPECT_EQ(axes[12], 0x80);  // Re < 0, Im = +0: angle -pi, -128
    EXPECT_EQ(axes[13], 0x80);  // Re < 0, Im = -0: angle pi, 128 stored as -128
    EXPECT_EQ(axes[2], 0xC0);   // Re = 0, Im > 0: -64
    EXPECT_EQ(axes[3], 0x40);   // Re = 0, Im < 0: 64
  }
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
  plain_fringe_phase(expected.get(), 29, 10.0);
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
  plain_fringe_phase(expected.get(), 29, 10.0);
  EXPECT_EQ(differences(noise.get(), expected.get()), 0);
  const std::vector<uint8_t> end = impulse_response(650, 640, 10.0);
  expect_span(end, 620, 627);
  EXPECT_TRUE(std::all_of(end.begin() + 628, end.end(), [](uint8_t v) { return v == 0; }));
}

TEST(FringePhase, MatchesThePlainLoopOnNoiseForManyWidthsAndPeriods) {
  struct Case {
    int32_t width;
    double period;
  };
  for (const Case& c : {Case{1280, 10.0}, Case{97, 10.0}, Case{522, 10.0}, Case{333, 7.3},
                        Case{1000, 25.0}, Case{4096, 12.0}, Case{700, 40.0}, Case{64, 3.0},
                        Case{300, 1e300}}) {
    Image noise = noise_image(c.width, 6, static_cast<unsigned>(c.width));
    Image expected = copy_of(noise.get());
    fringe_phase(noise.get(), phase_window(c.period), c.period);
    plain_fringe_phase(expected.get(), phase_window(c.period), c.period);
    EXPECT_EQ(differences(noise.get(), expected.get()), 0) << c.width << " / " << c.period;
  }
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

// Every variant the processor has (AVX-512, AVX2, SSE2) against the widest:
// the phase of a sphere image and of noise, and the flaw mask of that noise.
TEST(FringePhase, Sse2Avx2AndAvx512VariantsGiveTheSameBytes) {
  Image fringes(make_sphere_fringes(SphereFringes{}), &img_destroy);
  Image noise = noise_image(333, 50, 21);
  const auto run = [&](SimdLevel level) {
    simd_ceiling() = level;
    std::vector<Image> out;
    out.push_back(copy_of(fringes.get()));
    out.push_back(copy_of(noise.get()));
    out.push_back(make_image(333, 50));
    for (int32_t y = 0; y < 50; ++y) std::fill(img_line(out[2].get(), y), img_line(out[2].get(), y) + 333, 255);
    fringe_phase(out[0].get(), 29, 10.0);
    fringe_phase(out[1].get(), 29, 10.0);
    flaw_mask(out[2].get(), out[1].get(), 1000);
    simd_ceiling() = SimdLevel::avx512;
    return out;
  };
  const std::vector<Image> widest = run(SimdLevel::avx512);
  for (SimdLevel level : {SimdLevel::avx2, SimdLevel::sse2}) {
    const std::vector<Image> other = run(level);
    for (std::size_t k = 0; k < widest.size(); ++k)
      EXPECT_EQ(differences(widest[k].get(), other[k].get()), 0) << static_cast<int>(level) << " / " << k;
  }
}

}  // namespace
