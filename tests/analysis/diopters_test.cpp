// Radius and refractive power of the sphere: 337 / value, both pulled into
// the range of eye-sized spheres, three significant digits. The worked
// examples run through the dialog's boxes; here the edges.
#include <gtest/gtest.h>

#include "common/errors.h"
#include "analysis/diopters.h"

namespace {

TEST(Diopters, ValuesOutsideTheRangeAreClampedBeforeDividing) {
  struct Case {
    const char* typed;
    const char* radius;
    const char* diopters;
  };
  const Case from_radius[] = {
      {"6.7", "6.7", "50.3"}, {"9.6", "9.6", "35.1"}, {"0", "6.7", "50.3"},
      {"-8", "6.7", "50.3"},  {"1e300", "9.6", "35.1"},
      {" 7.555 ", "7.55", "44.6"},  // the double nearest 7.555 lies below it
  };
  for (const Case& c : from_radius) {
    const RadiusDiopters t = radius_to_diopters(c.typed);
    EXPECT_EQ(t.radius, c.radius) << c.typed;
    EXPECT_EQ(t.diopters, c.diopters) << c.typed;
  }
  const Case from_diopters[] = {
      {"0", "9.63", "35"}, {"-45", "9.63", "35"}, {"45.0", "7.49", "45"}, {"42.125", "8", "42.1"},
  };
  for (const Case& c : from_diopters) {
    const RadiusDiopters t = diopters_to_radius(c.typed);
    EXPECT_EQ(t.radius, c.radius) << c.typed;
    EXPECT_EQ(t.diopters, c.diopters) << c.typed;
  }
  EXPECT_EQ(radius_of_diopters("20", kShortRadiusPrecision), "9.6");
  EXPECT_EQ(radius_of_diopters("99", kShortRadiusPrecision), "6.7");
}

TEST(Diopters, TextThatIsNotANumberIsAConversionError) {
  for (const char* text : {"", "abc", "7,5", "nan", "inf", "7.5mm"}) {
    EXPECT_THROW(radius_to_diopters(text), ConversionError) << text;
    EXPECT_THROW(diopters_to_radius(text), ConversionError) << text;
    EXPECT_THROW(radius_of_diopters(text, kDioptersPrecision), ConversionError) << text;
  }
}

}  // namespace
