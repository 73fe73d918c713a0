#include "common/json_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

TEST(JsonText, NumbersReadBackExactlyAndNonFiniteIsNull) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.1, "0.1"},
      {17.0, "17"},
      {-0.0, "-0"},
      {0.00001, "1e-05"},
      {0.1 + 0.2, "0.30000000000000004"},
      {-7.8125, "-7.8125"},
      {std::numeric_limits<double>::quiet_NaN(), "null"},
      {std::numeric_limits<double>::infinity(), "null"},
      {-std::numeric_limits<double>::infinity(), "null"},
  };
  for (const auto& c : cases) EXPECT_EQ(json_number(c.value), c.text) << c.value;
}

TEST(JsonText, StringsEscapeQuotesBackslashesAndControlCharacters) {
  const struct {
    std::string text;
    std::string json;
  } cases[] = {
      {"", R"("")"},
      {"sphere", R"("sphere")"},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"C:\\work", R"("C:\\work")"},
      {"a\nb\tc\r", R"("a\u000ab\u0009c\u000d")"},
      {std::string("\x01\x1f", 2), R"("\u0001\u001f")"},
      {std::string("nul\0in", 6), R"("nul\u0000in")"},
      // DEL and UTF-8 need no escape.
      {"\x7f", "\"\x7f\""},
      {"\xc2\xb5m", "\"\xc2\xb5m\""},
  };
  for (const auto& c : cases) EXPECT_EQ(json_string(c.text), c.json) << c.json;
}

}  // namespace
