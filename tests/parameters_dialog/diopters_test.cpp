// Radius and refractive power of the sphere: 337 / value, both pulled into
// the range of eye-sized spheres, three significant digits.
#include <gtest/gtest.h>

#include "common/errors.h"
#include "parameters_dialog/diopters.h"

namespace {

TEST(Diopters, RadiusGivesPowerWithinTheLimits) {
  struct Case {
    const char* typed;
    const char* radius;
    const char* diopters;
  };
  const Case cases[] = {
      {"8.0", "8", "42.1"},    {"7.5", "7.5", "44.9"},  {"5", "6.7", "50.3"},
      {"12", "9.6", "35.1"},   {"6.7", "6.7", "50.3"},  {"9.6", "9.6", "35.1"},
      {"-3", "6.7", "50.3"},   {"0", "6.7", "50.3"},    {"1e300", "9.6", "35.1"},
      {" 7.555 ", "7.55", "44.6"},  // 7.555 is 7.55499... as a double
  };
  for (const Case& c : cases) {
    const RadiusDiopters t = radius_to_diopters(c.typed);
    EXPECT_EQ(t.radius, c.radius) << c.typed;
    EXPECT_EQ(t.diopters, c.diopters) << c.typed;
  }
}

TEST(Diopters, PowerGivesRadiusWithinTheLimits) {
  struct Case {
    const char* typed;
    const char* radius;
    const char* diopters;
  };
  const Case cases[] = {
      {"60", "6.74", "50"}, {"20", "9.63", "35"}, {"45", "7.49", "45"},
      {"45.0", "7.49", "45"}, {"0", "9.63", "35"},  // no division by zero
      {"-45", "9.63", "35"},  {"42.125", "8", "42.1"},
  };
  for (const Case& c : cases) {
    const RadiusDiopters t = diopters_to_radius(c.typed);
    EXPECT_EQ(t.radius, c.radius) << c.typed;
    EXPECT_EQ(t.diopters, c.diopters) << c.typed;
  }
}

TEST(Diopters, EnterFormGivesOnlyTheRadiusAtTheChosenPrecision) {
  EXPECT_EQ(radius_of_diopters("45", kDioptersPrecision), "7.49");
  EXPECT_EQ(radius_of_diopters("45", kShortRadiusPrecision), "7.5");
  EXPECT_EQ(radius_of_diopters("20", kShortRadiusPrecision), "9.6");
  EXPECT_EQ(radius_of_diopters("99", kShortRadiusPrecision), "6.7");
}

TEST(Diopters, TextThatIsNotANumberIsAConversionError) {
  for (const char* text : {"", "abc", "7,5", "nan", "inf", "7.5mm"}) {
    EXPECT_THROW(radius_to_diopters(text), ConversionError) << text;
    EXPECT_THROW(diopters_to_radius(text), ConversionError) << text;
    EXPECT_THROW(radius_of_diopters(text, 3), ConversionError) << text;
  }
  try {
    radius_to_diopters("abc");
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid floating point value");
  }
}

TEST(Diopters, ClampCatchesEveryValueOutsideTheRange) {
  EXPECT_EQ(clamped_radius(6.6999999), kMinRadius);
  EXPECT_EQ(clamped_radius(9.6000001), kMaxRadius);
  EXPECT_EQ(clamped_radius(8.25), 8.25);
  EXPECT_EQ(clamped_radius(std::nan("")), kMinRadius);
  EXPECT_EQ(clamped_diopters(std::nan("")), kMinDiopters);
  EXPECT_EQ(clamped_diopters(50.5), kMaxDiopters);
  EXPECT_EQ(clamped_diopters(34.9), kMinDiopters);
}

}  // namespace
