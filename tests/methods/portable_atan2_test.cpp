#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <iostream>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "every_target.h"
#include "method_frames.h"
#include "methods/phase_stepping.h"
#include "methods/portable_atan2.h"
#include "scan/default_par.h"

using namespace fringe::methods;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kTan3PiBy8 = 2.41421356237309504880;

struct Point {
  double y;
  double x;
};

// The points of each family of arguments the kernel must take alike.
std::vector<Point> edge_points() {
  const double specials[] = {0.0,     -0.0,   1.0,    -1.0,    0x1p-1074, -0x1p-1074, 0x1p-1022, -0x1p-1022,
                             1e-300,  1e300,  0x1.fffffffffffffp1023,     -0x1.fffffffffffffp1023,
                             kInf,    -kInf,  kNaN,   -kNaN,   0.66,      kTan3PiBy8, 3.0,       -7.5};
  std::vector<Point> points;
  for (const double y : specials)
    for (const double x : specials) points.push_back({y, x});
  return points;
}

// Ratios a few ulp either side of the intervals' bounds, at magnitudes from
// subnormal to near overflow.
std::vector<Point> boundary_points(std::mt19937_64& random) {
  std::vector<Point> points;
  std::uniform_int_distribution<int> exponent(-1074, 1023);
  for (int i = 0; i < 200000; ++i) {
    double x = std::ldexp(1.0 + 0x1p-30 * static_cast<double>(random() % (1u << 30)), exponent(random));
    double y = x * (i % 3 == 0 ? 0.66 : i % 3 == 1 ? kTan3PiBy8 : 1.0);
    for (int step = static_cast<int>(random() % 9); step > 4; --step) y = std::nextafter(y, kInf);
    for (int step = static_cast<int>(random() % 9); step > 4; --step) y = std::nextafter(y, 0.0);
    if (random() & 1) std::swap(x, y);
    points.push_back({random() & 1 ? -y : y, random() & 1 ? -x : x});
  }
  return points;
}

std::vector<Point> circle_points(std::mt19937_64& random) {
  std::vector<Point> points;
  std::uniform_real_distribution<double> angle(-M_PI, M_PI);
  std::uniform_real_distribution<double> exponent(-60.0, 60.0);
  for (int i = 0; i < 1000000; ++i) {
    const double a = angle(random);
    const double r = std::exp2(exponent(random));
    points.push_back({r * std::sin(a), r * std::cos(a)});
  }
  return points;
}

// Any two doubles: exponents far apart give tiny and huge ratios.
std::vector<Point> wide_points(std::mt19937_64& random) {
  std::vector<Point> points;
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-1074, 1024);
  for (int i = 0; i < 500000; ++i)
    points.push_back({std::ldexp(mantissa(random), exponent(random)), std::ldexp(mantissa(random), exponent(random))});
  return points;
}

std::vector<Point> subnormal_points(std::mt19937_64& random) {
  std::vector<Point> points;
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  for (int i = 0; i < 200000; ++i)
    points.push_back({std::ldexp(mantissa(random), -1022 - static_cast<int>(random() % 53)),
                      std::ldexp(mantissa(random), -1022 - static_cast<int>(random() % 53))});
  return points;
}

// What the phase stepping sums are: integers times sines and cosines.
std::vector<Point> sum_points(std::mt19937_64& random) {
  std::vector<Point> points;
  std::uniform_int_distribution<int> level(-70000, 70000);
  for (int i = 0; i < 500000; ++i) {
    const double k = 0.7071067811865476;
    points.push_back({level(random) * k + level(random), level(random) + level(random) * k});
  }
  return points;
}

struct Family {
  const char* name;
  std::function<std::vector<Point>(std::mt19937_64&)> make;
};

const Family kFamilies[] = {
    {"edges", [](std::mt19937_64&) { return edge_points(); }},
    {"reduction boundaries", boundary_points},
    {"circle", circle_points},
    {"any two doubles", wide_points},
    {"subnormals", subnormal_points},
    {"phase sums", sum_points},
};

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The distance of `value` from the true `reference` in units of the last
// place of the reference rounded to double.
double ulps(double value, long double reference) {
  const double rounded = std::fabs(static_cast<double>(reference));
  const double unit = rounded < 0x1p-1022 ? 0x1p-1074 : std::nextafter(rounded, kInf) - rounded;
  return static_cast<double>(std::fabs(static_cast<long double>(value) - reference) / unit);
}

TEST(PortableAtan2, EveryTargetEqualsThePlainDefinitionBitForBit) {
  std::mt19937_64 random(11);
  for (const Family& family : kFamilies) {
    SCOPED_TRACE(family.name);
    const std::vector<Point> points = family.make(random);
    // An odd length leaves a tail shorter than any vector.
    const auto count = static_cast<int32_t>(points.size() % 2 == 0 ? points.size() - 1 : points.size());
    std::vector<double> y(points.size()), x(points.size()), expected(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
      y[i] = points[i].y;
      x[i] = points[i].x;
      expected[i] = portable_atan2(y[i], x[i]);
    }
    std::vector<double> plain(points.size(), -7.0);
    portable_atan2_row_plain(y.data(), x.data(), count, plain.data());
    for (int32_t i = 0; i < count; ++i) ASSERT_TRUE(same_bits(plain[i], expected[i])) << "element " << i;
    const int ran = for_every_target([&] {
      std::vector<double> out(points.size() + 1, -7.0);
      portable_atan2_row(y.data(), x.data(), count, out.data());
      for (int32_t i = 0; i < count; ++i)
        ASSERT_TRUE(same_bits(out[i], expected[i]))
            << "atan2(" << y[i] << ", " << x[i] << "): " << out[i] << " against " << expected[i];
      for (std::size_t i = static_cast<std::size_t>(count); i < out.size(); ++i)
        ASSERT_EQ(out[i], -7.0) << "wrote past the run";
      // In place of either argument, as the phase stepping calls it.
      std::vector<double> in_place = y;
      portable_atan2_row(in_place.data(), x.data(), count, in_place.data());
      for (int32_t i = 0; i < count; ++i) ASSERT_TRUE(same_bits(in_place[i], expected[i])) << "element " << i;
      in_place = x;
      portable_atan2_row(y.data(), in_place.data(), count, in_place.data());
      for (int32_t i = 0; i < count; ++i) ASSERT_TRUE(same_bits(in_place[i], expected[i])) << "element " << i;
    });
    EXPECT_GE(ran, 1);
  }
}

TEST(PortableAtan2, WithinTwoUnitsInTheLastPlaceOfTheTrueAngle) {
  std::mt19937_64 random(12);
  for (const Family& family : kFamilies) {
    SCOPED_TRACE(family.name);
    double worst = 0.0;
    double worst_library = 0.0;
    Point worst_at{};
    for (const Point& p : family.make(random)) {
      if (std::isnan(p.y) || std::isnan(p.x)) continue;
      const long double reference = std::atan2(static_cast<long double>(p.y), static_cast<long double>(p.x));
      const double angle = portable_atan2(p.y, p.x);
      const double error = ulps(angle, reference);
      if (error > worst) {
        worst = error;
        worst_at = p;
      }
      // The C library's atan2 lies within about half a unit of the truth,
      // so the two are whole units apart, two at most.
      worst_library = std::max(worst_library, ulps(angle, std::atan2(p.y, p.x)));
    }
    std::cout << "[          ] " << family.name << ": " << worst << " ulp from atan2l, " << worst_library
              << " ulp from atan2\n";
    EXPECT_LE(worst, 2.0) << "at atan2(" << worst_at.y << ", " << worst_at.x << ")";
    EXPECT_LE(worst_library, 2.0);
  }
}

TEST(PortableAtan2, QuadrantsAndSignsAreAtan2s) {
  const double pi = 0x1.921fb54442d18p+1;
  const double half_pi = 0x1.921fb54442d18p+0;
  const double quarter_pi = 0x1.921fb54442d18p-1;
  const double three_quarter_pi = 0x1.2d97c7f3321d2p+1;
  const struct {
    double y, x, angle;
  } cases[] = {
      {0.0, 0.0, 0.0},       {-0.0, 0.0, -0.0},      {0.0, -0.0, pi},        {-0.0, -0.0, -pi},
      {0.0, 5.0, 0.0},       {-0.0, 5.0, -0.0},      {0.0, -5.0, pi},        {-0.0, -5.0, -pi},
      {3.0, 0.0, half_pi},   {3.0, -0.0, half_pi},   {-3.0, 0.0, -half_pi},  {-3.0, -0.0, -half_pi},
      {1.0, 1.0, quarter_pi}, {-1.0, 1.0, -quarter_pi}, {1.0, -1.0, three_quarter_pi},
      {-1.0, -1.0, -three_quarter_pi}, {0x1p-1074, 0x1p-1074, quarter_pi},
      {0x1.fffffffffffffp1023, 0x1.fffffffffffffp1023, quarter_pi},
      {kInf, 1.0, half_pi},  {-kInf, -1.0, -half_pi}, {1.0, kInf, 0.0},     {-1.0, kInf, -0.0},
      {1.0, -kInf, pi},      {-1.0, -kInf, -pi},      {kInf, kInf, quarter_pi}, {-kInf, -kInf, -three_quarter_pi},
      {0x1p-1074, 0x1.fffffffffffffp1023, 0.0}, {0x1.fffffffffffffp1023, 0x1p-1074, half_pi},
  };
  for (const auto& c : cases) {
    const double angle = portable_atan2(c.y, c.x);
    EXPECT_TRUE(same_bits(angle, c.angle)) << "atan2(" << c.y << ", " << c.x << ") = " << angle;
    EXPECT_TRUE(same_bits(angle, std::atan2(c.y, c.x))) << "atan2(" << c.y << ", " << c.x << ")";
  }
  const double nans[][2] = {{kNaN, 1.0}, {1.0, kNaN}, {-kNaN, -kNaN}, {kNaN, 0.0}, {kInf, kNaN}, {kNaN, -kInf}};
  for (const auto& n : nans) {
    const double angle = portable_atan2(n[0], n[1]);
    EXPECT_TRUE(same_bits(angle, kNaN)) << "atan2(" << n[0] << ", " << n[1] << ") = " << angle;
  }

  // Each quadrant's angles within it, and the angle odd in y bit for bit.
  std::mt19937_64 random(13);
  for (const Family& family : kFamilies) {
    SCOPED_TRACE(family.name);
    for (const Point& p : family.make(random)) {
      if (std::isnan(p.y) || std::isnan(p.x)) continue;
      const double angle = portable_atan2(p.y, p.x);
      ASSERT_TRUE(same_bits(portable_atan2(-p.y, p.x), -angle)) << "atan2(" << p.y << ", " << p.x << ")";
      ASSERT_EQ(std::signbit(angle), std::signbit(p.y)) << "atan2(" << p.y << ", " << p.x << ")";
      ASSERT_LE(std::fabs(angle), pi);
      if (p.y != 0.0 && p.x != 0.0) {
        if (p.x > 0.0) ASSERT_LE(std::fabs(angle), half_pi) << "atan2(" << p.y << ", " << p.x << ")";
        else ASSERT_GE(std::fabs(angle), half_pi) << "atan2(" << p.y << ", " << p.x << ")";
      }
    }
  }
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
  const auto from_bits = [](uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  };
  const int32_t count = 300001;
  std::vector<double> y(count), x(count);
  for (int32_t i = 0; i < count; ++i) {
    y[i] = from_bits(next());
    // Every other x shares y's exponent but for a few binades.
    x[i] = i % 2 == 0 ? from_bits(next())
                      : from_bits((next() & 0x800fffffffffffffu) |
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
  FrameRecipe recipe;
  recipe.width = 77;
  recipe.height = 5;
  recipe.bits = 12;
  recipe.steps = 8;
  recipe.periods = {9.5};
  recipe.shift = [](int32_t x, int32_t y) { return 0.23 * x * x / 77.0 + 0.4 * y; };
  const auto frames = make_method_frames(recipe);
  const auto pointers = frame_pointers(frames);
  ScnPar par = kDefaultScnPar;
  par.MaskRadius = 1e6;
  std::vector<double> sines, cosines;
  for (int k = 0; k < recipe.steps; ++k) {
    sines.push_back(std::sin(phase_step(k, recipe.steps)));
    cosines.push_back(std::cos(phase_step(k, recipe.steps)));
  }
  std::vector<double> carrier(static_cast<std::size_t>(recipe.width));
  wrapped_carrier(recipe.width, 9.5, carrier.data());
  for_every_target([&] {
    PhaseField field;
    evaluated_field(field, recipe.width, recipe.height, par);
    std::vector<double> work;
    phase_step_period(pointers, 9.5, true, field, work);
    for (int32_t y = 0; y < recipe.height; ++y) {
      std::vector<const uint8_t*> rows;
      for (const GreyImage* frame : pointers) rows.push_back(img_line(frame, y));
      std::vector<double> s(carrier.size()), c(carrier.size()), b(carrier.size());
      double largest = 0.0;
      phase_step_sums_plain(rows.data(), recipe.steps, true, sines.data(), cosines.data(), 0, recipe.width, s.data(),
                            c.data(), b.data(), largest);
      for (int32_t x = 0; x < recipe.width; ++x) {
        ASSERT_GT(b[static_cast<std::size_t>(x)], 0.0);
        const double expected = wrapped_difference(
            portable_atan2(-s[static_cast<std::size_t>(x)], c[static_cast<std::size_t>(x)]),
            carrier[static_cast<std::size_t>(x)]);
        ASSERT_TRUE(same_bits(field.psi[field.at(x, y)], expected)) << "x " << x << " y " << y;
      }
    }
  });
}

}  // namespace
