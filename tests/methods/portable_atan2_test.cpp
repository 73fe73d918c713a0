#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <iostream>
#include <limits>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

#include "every_target.h"
#include "method_frames.h"
#include "methods/evaluated_field.h"
#include "methods/phase_stepping.h"
#include "methods/portable_atan2.h"

using namespace fringe::methods;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMax = 0x1.fffffffffffffp1023, kTiny = 0x1p-1074, kTan3PiBy8 = 2.41421356237309504880;

struct Point {
  double y, x;
};
using Random = std::mt19937_64;

double scaled(Random& r, int least, int most) {  // a mantissa in (-1, 1) at an exponent in [least, most]
  return std::ldexp(std::uniform_real_distribution<double>(-1.0, 1.0)(r),
                    std::uniform_int_distribution<int>(least, most)(r));
}
const double kSpecials[] = {0.0,  -0.0,  1.0,  -1.0,  kTiny, -kTiny, 0x1p-1022, -0x1p-1022, 1e-300, 1e300,
                            kMax, -kMax, kInf, -kInf, kNaN,  -kNaN,  0.66,      kTan3PiBy8, 3.0,    -7.5};

// The families of arguments the kernel must take alike: `count` points of `point(random, i)`.
const struct Family {
  const char* name;
  int count;
  std::function<Point(Random&, int)> point;
  std::vector<Point> make(Random& random) const {
    std::vector<Point> points;
    for (int i = 0; i < count; ++i) points.push_back(point(random, i));
    return points;
  }
} kFamilies[] = {
    {"edges", 400, [](Random&, int i) { return Point{kSpecials[i / 20], kSpecials[i % 20]}; }},
    // Ratios a few ulp either side of the intervals' bounds, at magnitudes
    // from subnormal to near overflow.
    {"reduction boundaries", 200000,
     [](Random& r, int i) {
       double x = std::ldexp(1.0 + 0x1p-30 * static_cast<double>(r() % (1u << 30)),
                             std::uniform_int_distribution<int>(-1074, 1023)(r));
       double y = x * (i % 3 == 0 ? 0.66 : i % 3 == 1 ? kTan3PiBy8 : 1.0);
       for (int step = static_cast<int>(r() % 9); step > 4; --step) y = std::nextafter(y, kInf);
       for (int step = static_cast<int>(r() % 9); step > 4; --step) y = std::nextafter(y, 0.0);
       if (r() & 1) std::swap(x, y);
       return Point{r() & 1 ? -y : y, r() & 1 ? -x : x};
     }},
    {"circle", 1000000,
     [](Random& r, int) {
       const double a = std::uniform_real_distribution<double>(-std::numbers::pi, std::numbers::pi)(r);
       const double radius = std::exp2(std::uniform_real_distribution<double>(-60.0, 60.0)(r));
       return Point{radius * std::sin(a), radius * std::cos(a)};
     }},
    // Exponents far apart give tiny and huge ratios.
    {"any two doubles", 500000, [](Random& r, int) { return Point{scaled(r, -1074, 1024), scaled(r, -1074, 1024)}; }},
    {"subnormals", 200000, [](Random& r, int) { return Point{scaled(r, -1074, -1022), scaled(r, -1074, -1022)}; }},
    // What the phase stepping sums are: integers times sines and cosines.
    {"phase sums", 500000,
     [](Random& r, int) {
       std::uniform_int_distribution<int> level(-70000, 70000);
       return Point{level(r) * 0.7071067811865476 + level(r), level(r) + level(r) * 0.7071067811865476};
     }},
};

// The distance of `value` from the true `reference` in units of the last
// place of the reference rounded to double.
double ulps(double value, long double reference) {
  const double rounded = std::fabs(static_cast<double>(reference));
  const double unit = rounded < 0x1p-1022 ? 0x1p-1074 : std::nextafter(rounded, kInf) - rounded;
  return static_cast<double>(std::fabs(static_cast<long double>(value) - reference) / unit);
}

// The row at every target, and its plain definition, give the scalar's bits:
// with an odd length (a tail shorter than any vector), writing nothing past
// the run, and with the result in place of either argument, as the phase
// stepping calls it.
TEST(PortableAtan2, EveryTargetEqualsThePlainDefinitionBitForBit) {
  Random random(11);
  for (const Family& family : kFamilies) {
    SCOPED_TRACE(family.name);
    const std::vector<Point> points = family.make(random);
    const auto count = static_cast<int32_t>(points.size() - (points.size() % 2 == 0 ? 1 : 0));
    std::vector<double> y, x, expected;
    for (const Point& p : points) y.push_back(p.y), x.push_back(p.x), expected.push_back(portable_atan2(p.y, p.x));
    const auto expect_row = [&](const std::vector<double>& out, const char* how) {
      for (int32_t i = 0; i < count; ++i)
        ASSERT_TRUE(same_bits(out[i], expected[i]))
            << how << ": atan2(" << y[i] << ", " << x[i] << "): " << out[i] << " against " << expected[i];
    };
    std::vector<double> plain(points.size(), -7.0);
    portable_atan2_row_plain(y.data(), x.data(), count, plain.data());
    expect_row(plain, "plain");
    const int ran = for_every_target([&] {
      std::vector<double> out(points.size() + 1, -7.0);
      portable_atan2_row(y.data(), x.data(), count, out.data());
      expect_row(out, "row");
      for (std::size_t i = count; i < out.size(); ++i) ASSERT_EQ(out[i], -7.0) << "wrote past the run";
      std::vector<double> in_place = y;
      portable_atan2_row(in_place.data(), x.data(), count, in_place.data());
      expect_row(in_place, "in place of y");
      in_place = x;
      portable_atan2_row(y.data(), in_place.data(), count, in_place.data());
      expect_row(in_place, "in place of x");
    });
    EXPECT_GE(ran, 1);
  }
}

// Within two units in the last place of the true angle (and of the C
// library's, which lies within about half a unit of the truth, so the two are
// whole units apart), inside the argument's quadrant, and odd in y bit for bit.
TEST(PortableAtan2, AccurateInItsQuadrantAndOddInY) {
  const double pi = 0x1.921fb54442d18p+1, half = 0x1.921fb54442d18p+0;
  Random random(12);
  for (const Family& family : kFamilies) {
    double worst = 0.0, worst_library = 0.0;
    Point worst_at{};
    for (const Point& p : family.make(random)) {
      if (std::isnan(p.y) || std::isnan(p.x)) continue;
      const double angle = portable_atan2(p.y, p.x), size = std::fabs(angle);
      const double error = ulps(angle, std::atan2(static_cast<long double>(p.y), static_cast<long double>(p.x)));
      if (error > worst) worst = error, worst_at = p;
      worst_library = std::max(worst_library, ulps(angle, std::atan2(p.y, p.x)));
      const bool quadrant = p.y == 0.0 || p.x == 0.0 || (p.x > 0.0 ? size <= half : size >= half);
      ASSERT_TRUE(same_bits(portable_atan2(-p.y, p.x), -angle) && std::signbit(angle) == std::signbit(p.y) &&
                  size <= pi && quadrant)
          << family.name << ": atan2(" << p.y << ", " << p.x << ") = " << angle;
    }
    std::cout << "[          ] " << family.name << ": " << worst << " ulp from atan2l, " << worst_library
              << " ulp from atan2\n";
    EXPECT_LE(worst, 2.0) << family.name << " at atan2(" << worst_at.y << ", " << worst_at.x << ")";
    EXPECT_LE(worst_library, 2.0) << family.name;
  }
}

TEST(PortableAtan2, SpecialValuesAreAtan2s) {
  const double pi = 0x1.921fb54442d18p+1, half = 0x1.921fb54442d18p+0, quarter = 0x1.921fb54442d18p-1;
  const double three_quarters = 0x1.2d97c7f3321d2p+1;
  const struct {
    double y, x, angle;
  } cases[] = {
      {0.0, 0.0, 0.0},     {-0.0, 0.0, -0.0},    {0.0, -0.0, pi},      {-0.0, -0.0, -pi},   {0.0, 5.0, 0.0},
      {-0.0, 5.0, -0.0},   {0.0, -5.0, pi},      {-0.0, -5.0, -pi},    {3.0, 0.0, half},    {3.0, -0.0, half},
      {-3.0, 0.0, -half},  {-3.0, -0.0, -half},  {1.0, 1.0, quarter},  {-1.0, 1.0, -quarter},
      {1.0, -1.0, three_quarters}, {-1.0, -1.0, -three_quarters},  {kTiny, kTiny, quarter}, {kMax, kMax, quarter},
      {kInf, 1.0, half},   {-kInf, -1.0, -half}, {1.0, kInf, 0.0},     {-1.0, kInf, -0.0},  {1.0, -kInf, pi},
      {-1.0, -kInf, -pi},  {kInf, kInf, quarter}, {-kInf, -kInf, -three_quarters}, {kTiny, kMax, 0.0},
      {kMax, kTiny, half},
      // Not-a-number in either: the one quiet NaN, whatever the processor's own.
      {kNaN, 1.0, kNaN},   {1.0, kNaN, kNaN},    {-kNaN, -kNaN, kNaN}, {kNaN, 0.0, kNaN},   {kInf, kNaN, kNaN},
      {kNaN, -kInf, kNaN},
  };
  for (const auto& c : cases)
    EXPECT_TRUE(same_bits(portable_atan2(c.y, c.x), c.angle)) << c.y << ", " << c.x << ": " << portable_atan2(c.y, c.x);
}

// The bits themselves, the same on every processor (x86-64 and aarch64 alike,
// at each of their targets): a checksum of the angles of points made from
// raw bit patterns (any double, NaN and infinities included) and of points
// whose exponents lie close, so every interval is taken.
TEST(PortableAtan2, TheSameBitsOnEveryProcessor) {
  uint64_t state = 0x9e3779b97f4a7c15u;
  const auto next = [&state] {  // splitmix64: the same sequence everywhere
    uint64_t z = (state += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
  };
  const int32_t count = 300001;
  std::vector<double> y(count), x(count);
  for (int32_t i = 0; i < count; ++i) {
    y[i] = std::bit_cast<double>(next());
    // Every other x shares y's exponent but for a few binades.
    x[i] = std::bit_cast<double>(
        i % 2 == 0 ? next()
                   : (next() & 0x800fffffffffffffu) |
                         ((next() % 9 + (std::bit_cast<uint64_t>(y[i]) >> 52 & 0x7ff) + 0x7fb) % 0x7ff) << 52);
  }
  for_every_target([&] {
    std::vector<double> out(count);
    portable_atan2_row(y.data(), x.data(), count, out.data());
    uint64_t checksum = 0xcbf29ce484222325u;  // FNV-1a over the angles' bits
    for (const double angle : out) checksum = (checksum ^ std::bit_cast<uint64_t>(angle)) * 0x100000001b3u;
    EXPECT_EQ(checksum, 0xae2412485b6e2b38u);
  });
}

// The phase a period gives is this angle of its sums, the carrier removed,
// wherever the modulation is positive, at every target.
TEST(PortableAtan2, PhaseSteppingTakesTheAngleOfItsSums) {
  const FrameRecipe recipe{.width = 77, .height = 5, .bits = 12, .steps = 8, .periods = {9.5},
                           .shift = [](int32_t x, int32_t y) { return 0.23 * x * x / 77.0 + 0.4 * y; }};
  const auto frames = make_method_frames(recipe);
  const auto pointers = frame_pointers(frames);
  const StepTables t(8);
  std::vector<double> carrier(77);
  wrapped_carrier(77, 9.5, carrier.data());
  for_every_target([&] {
    PhaseField field;
    evaluated_field(field, 77, 5, par_with_radius(1e6));
    std::vector<double> work;
    phase_step_period(pointers, 9.5, true, field, work);
    for (int32_t y = 0; y < 5; ++y) {
      std::vector<const uint8_t*> rows;
      for (const GreyImage* frame : pointers) rows.push_back(img_line(frame, y));
      std::vector<double> s(77), c(77), b(77);
      double largest = 0.0;
      phase_step_sums_plain(rows.data(), 8, true, t.sines.data(), t.cosines.data(), 0, 77, s.data(), c.data(),
                            b.data(), largest);
      for (int32_t x = 0; x < 77; ++x) {
        ASSERT_GT(b[x], 0.0);
        ASSERT_TRUE(same_bits(field.psi[field.at(x, y)], wrapped_difference(portable_atan2(-s[x], c[x]), carrier[x])))
            << "x " << x << " y " << y;
      }
    }
  });
}

}  // namespace
