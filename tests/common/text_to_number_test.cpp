#include "common/text_to_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "common/errors.h"

namespace {

std::string conversion_message(void (*call)(const std::string&), const std::string& text) {
  try {
    call(text);
  } catch (const ConversionError& error) {
    return error.what();
  }
  return "no error";
}

TEST(TextToDouble, AcceptsWhatAUserTypes) {
  EXPECT_EQ(text_to_double("7.5"), 7.5);
  EXPECT_EQ(text_to_double("  -0.5 "), -0.5);
  EXPECT_EQ(text_to_double("+2E02"), 200.0);
  EXPECT_EQ(text_to_double("1e-3"), 0.001);
  EXPECT_EQ(text_to_double(".5"), 0.5);
  EXPECT_EQ(text_to_double("5."), 5.0);
  EXPECT_EQ(text_to_double("\t12\r\n"), 12.0);
  // Too small for a double is zero of its sign; too large is an error below.
  EXPECT_EQ(text_to_double("1e-999"), 0.0);
  EXPECT_TRUE(std::signbit(text_to_double("-0.0001e-400")));
}

TEST(TextToDouble, RejectsEverythingElseWithTheTextInTheMessage) {
  const auto call = [](const std::string& text) { text_to_double(text); };
  EXPECT_EQ(conversion_message(call, "abc"), "'abc' is not a valid floating point value");
  EXPECT_EQ(conversion_message(call, ""), "'' is not a valid floating point value");
  for (const char* text : {"   ", "1.2.3", "12abc", "1,5", "1e", "1e+", ".", "-", "+-5", "--5",
                           "inf", "-nan", "0x10", "1 000", "1e999", "-1e400"}) {
    EXPECT_THROW(text_to_double(text), ConversionError) << text;
  }
}

TEST(TextToInt, DigitsWithOptionalSignWithinRange) {
  EXPECT_EQ(text_to_int("1280"), 1280);
  EXPECT_EQ(text_to_int(" +7 "), 7);
  EXPECT_EQ(text_to_int("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(text_to_int("2147483647"), 2147483647);
  const auto call = [](const std::string& text) { text_to_int(text); };
  EXPECT_EQ(conversion_message(call, "12.5"), "'12.5' is not a valid integer value");
  for (const char* text : {"", "abc", "2147483648", "-2147483649", "1e3", "+", "- 1", "0x1F", "7 7"}) {
    EXPECT_THROW(text_to_int(text), ConversionError) << text;
  }
}

// The exception-free readers take exactly what the throwing ones take, to
// the same value (sign of zero included).
TEST(NumberFromText, AgreesWithTheThrowingReaders) {
  for (const char* text : {"7.5", "  -0.5 ", "+2E02", ".5", "5.", "\t12\r\n", "1e-999", "-0.0001e-400", "1280",
                           " +7 ", "-2147483648", "2147483648", "", "   ", "abc", "1.2.3", "1e", "inf", "-nan",
                           "0x10", "1 000", "1e999", "-1e400", "+-5", "- 1", "12.5"}) {
    const std::optional<double> real = double_from_text(text);
    try {
      const double thrown = text_to_double(text);
      ASSERT_TRUE(real.has_value()) << text;
      EXPECT_EQ(std::memcmp(&thrown, &*real, sizeof thrown), 0) << text;
    } catch (const ConversionError&) {
      EXPECT_FALSE(real.has_value()) << text;
    }
    const std::optional<int> integer = int_from_text(text);
    try {
      EXPECT_EQ(std::optional<int>(text_to_int(text)), integer) << text;
    } catch (const ConversionError&) {
      EXPECT_FALSE(integer.has_value()) << text;
    }
  }
}

}  // namespace
