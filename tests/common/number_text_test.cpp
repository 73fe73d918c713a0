#include "common/number_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

struct Case {
  const char* name;
  double value;
  int precision;
  int exponent_digits;
  const char* text;
};

const Case kCases[] = {
    // Radius and diopters of the parameters dialog (3 digits).
    {"337 / 45", 337.0 / 45.0, 3, 3, "7.49"},
    {"337 / 7.5", 337.0 / 7.5, 3, 3, "44.9"},
    {"337 / 8", 337.0 / 8.0, 3, 3, "42.1"},
    // Range edits and labels (P 2, D 3), the noise box (P 2, D 2).
    {"range -5 microns", -0.005 * 1000.0, 2, 3, "-5"},
    {"range -0.005 mm", -0.005, 2, 3, "-0.005"},
    {"track position 1 of 256", 1.0 / 256.0, 2, 2, "0.0039"},
    {"track position 130 of 256", 130.0 / 256.0, 2, 2, "0.51"},
    {"0.0012345 mm in microns", 0.0012345 * 1000.0, 2, 3, "1.2"},
    // Integer part longer than P: scientific, exponent padded to D digits.
    {"101 reads back as 100", 101.0, 2, 2, "1E02"},
    {"123.456", 123.456, 2, 2, "1.2E02"},
    {"exponent padded to 4", 12346.0, 4, 4, "1.235E0004"},
    // Rounding decides the notation: 9.99 becomes 10, 99.9 becomes 100.
    {"9.99 rounds to 10", 9.99, 2, 3, "10"},
    {"99.9 rounds to 100", 99.9, 2, 3, "1E002"},
    // Exact decimal ties go to the even digit.
    {"0.125 tie", 0.125, 2, 2, "0.12"},
    {"12345 tie", 12345.0, 4, 4, "1.234E0004"},
    // The 0.00001 boundary, decided after rounding.
    {"0.00001 is fixed", 0.00001, 2, 3, "0.00001"},
    {"rounds up onto 0.00001", 0.0000099999, 2, 3, "0.00001"},
    {"just below 0.00001", 0.0000099, 2, 3, "9.9E-006"},
    {"negative small", -0.0000012345, 3, 2, "-1.23E-06"},
    // Zero, and full precision (15, 0).
    {"zero", 0.0, 2, 3, "0"},
    {"negative zero", -0.0, 15, 0, "0"},
    {"full 1/3", 1.0 / 3.0, 15, 0, "0.333333333333333"},
    {"full 15 integer digits", 123456789012345.0, 15, 0, "123456789012345"},
    {"full 16 integer digits", 1e15, 15, 0, "1E15"},
    {"full small", 2.5e-7, 15, 0, "2.5E-7"},
    {"full huge", 1e300, 15, 0, "1E300"},
    {"smallest subnormal", 4.9406564584124654e-324, 2, 2, "4.9E-324"},
};

TEST(NumberText, WorkedExamplesAndEdges) {
  for (const Case& c : kCases) {
    EXPECT_EQ(number_text(c.value, c.precision, c.exponent_digits), c.text)
        << c.name << " (P " << c.precision << ", D " << c.exponent_digits << ")";
  }
}

TEST(NumberText, NonFiniteValuesAndOutOfRangeArguments) {
  EXPECT_EQ(number_text(std::numeric_limits<double>::quiet_NaN(), 2, 2), "NAN");
  EXPECT_EQ(number_text(-std::numeric_limits<double>::infinity(), 2, 2), "-INF");
  // Precision is held to 1..17 digits, exponent digits to at least 0.
  EXPECT_EQ(number_text(7.25, 0, 0), "7");
  EXPECT_EQ(number_text(0.1, 40, -3), "0.10000000000000001");
}

// What printf writes for "%f"; the tests run in the "C" locale.
std::string printf_fixed(double value) {
  char text[kFixed6Room + 8];
  std::snprintf(text, sizeof text, "%f", value);
  return text;
}

std::string fast_fixed(double value) {
  char text[kFixed6Room];
  return std::string(text, fixed6_text(text, value));
}

TEST(Fixed6Text, EqualsPrintfAtTheEdges) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> values = {
      0.0, -0.0, -10.0, 1.0, -1.0, 0.04, 0.01,
      // Tiny values of either sign, subnormals included: "0.000000" / "-0.000000".
      1e-7, -1e-7, -4.9e-7, -5.1e-7, 4.9406564584124654e-324, -4.9406564584124654e-324, DBL_MIN,
      -DBL_MIN, static_cast<double>(FLT_MIN), static_cast<double>(-FLT_TRUE_MIN),
      // Decimal ties: at six decimals exactly the odd multiples of 1/128.
      0.0078125, -0.0078125, 0.0234375, 0.0390625, 1.9921875, -7.0078125, 12345.0078125,
      8191.9921875, -10.0078125,
      // Floats from 2^23 on are integers; the largest below the integer path's end.
      8388608.0, 16777216.0, -16777218.0, 123456792.0, 1.0e12, 17592186044416.0,
      // Where the integer path ends and to_chars takes over.
      1.79999999e13, -1.79999999e13, 1.8e13, 4503599627370495.5, 1e15, 1e300, DBL_MAX, -DBL_MAX,
      static_cast<double>(FLT_MAX), static_cast<double>(-FLT_MAX), inf, -inf, nan, -nan};
  // Each tie and its two neighbouring doubles.
  for (int k = -4001; k <= 4001; k += 2) {
    const double tie = k / 128.0;
    values.insert(values.end(), {tie, std::nextafter(tie, -inf), std::nextafter(tie, inf)});
  }
  // Values a rounding boundary apart from a decimal (x.xxxxxx5) and their neighbours.
  for (double v : {0.0000005, 0.1234565, -3.0000005, 99.9999995, 0.0000015})
    values.insert(values.end(), {v, std::nextafter(v, -inf), std::nextafter(v, inf)});
  for (double value : values) EXPECT_EQ(fast_fixed(value), printf_fixed(value)) << std::hexfloat << value;
}

// Heights are floats widened to double; steps and sphere heights doubles.
// std::to_chars, which the height files used before, gives the same text.
TEST(Fixed6Text, EqualsPrintfOnRandomFloatsAndDoubles) {
  std::mt19937_64 random(13);
  std::uniform_real_distribution<double> log_magnitude(-12.0, 15.0);
  int wrong = 0;
  for (int i = 0; i < 200000; ++i) {
    const double magnitude = std::pow(10.0, log_magnitude(random));
    const double value = (random() & 1) != 0 ? -magnitude : magnitude;
    const double as_float = static_cast<double>(static_cast<float>(value));
    uint64_t bits = random();
    double any;
    std::memcpy(&any, &bits, sizeof any);
    for (double v : {value, as_float, any}) {
      char text[kFixed6Room];
      const std::string chars(text, std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 6).ptr);
      const std::string fast = fast_fixed(v);
      if ((fast != printf_fixed(v) || fast != chars) && wrong++ < 5) ADD_FAILURE() << std::hexfloat << v;
    }
  }
  EXPECT_EQ(wrong, 0);
}

// Doubles next to a decimal half (k + 1/2 millionths) at every magnitude up to
// and beyond where the product in doubles stops deciding: the product rounds
// near the half, and only the exact path may decide those.
TEST(Fixed6Text, EqualsPrintfNextToHalvesAtEveryMagnitude) {
  std::mt19937_64 random(29);
  int wrong = 0;
  for (int i = 0; i < 100000; ++i) {
    const int digits = 1 + static_cast<int>(random() % 15);  // k below 10^digits
    const auto k = static_cast<double>(random() % static_cast<uint64_t>(std::pow(10.0, digits)));
    double v = (k + 0.5) / 1e6;
    if ((random() & 1) != 0) v = -v;
    for (int step = 0; step < 3; ++step) v = std::nextafter(v, (random() & 1) != 0 ? 1e300 : -1e300);
    for (double w : {v, std::nextafter(v, 1e300), std::nextafter(v, -1e300)})
      if (fast_fixed(w) != printf_fixed(w) && wrong++ < 5) ADD_FAILURE() << std::hexfloat << w;
  }
  EXPECT_EQ(wrong, 0);
}

}  // namespace
