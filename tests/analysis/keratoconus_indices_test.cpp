// The screening indices on constructed axial maps, and their cut-offs.
#include "analysis/keratoconus_indices.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;

// The angle (degrees) from `to` to the direction of (x, y), in -180..180.
double angle_from(double x, double y, double to) {
  double d = std::atan2(y, x) * 180.0 / kPi - to;
  while (d > 180.0) d -= 360.0;
  while (d < -180.0) d += 360.0;
  return d;
}

// A bow tie of two lobes of `lobe` D on 43 D, along `up` and `down` degrees.
PowerAt bow_tie(double up, double down, double lobe) {
  return [=](double x, double y) {
    const double a = angle_from(x, y, up), b = angle_from(x, y, down);
    return 43.0 + lobe * (std::exp(-a * a / 800.0) + std::exp(-b * b / 800.0));
  };
}

TEST(KeratoconusIndices, EachIndexOnAMapMadeForIt) {
  // Uniform: K is the power, nothing is skewed or inferior.
  auto k = keratoconus_indices([](double, double) { return 44.5; }, 0.0);
  ASSERT_TRUE(k);
  EXPECT_NEAR(k->central_k_D, 44.5, 1e-12);
  EXPECT_EQ(k->i_s_D, 0.0);
  EXPECT_EQ(k->srax_deg, 0.0);
  EXPECT_EQ(k->kisa_percent, 0.0);

  // Steeper downwards by 0.5 D/mm: the five points lie at 3 sin(210 + 30 p)
  // mm, so I-S = 0.5 * 2 * 3 * (0.5 + 0.866 + 1 + 0.866 + 0.5) / 5; the mean
  // over the central disc is the centre's power.
  k = keratoconus_indices([](double, double y) { return 43.0 - 0.5 * y; }, 1.0);
  ASSERT_TRUE(k);
  const double mean_sine = (2.0 * 0.5 + 2.0 * std::sqrt(3.0) / 2.0 + 1.0) / 5.0;
  EXPECT_NEAR(k->i_s_D, 3.0 * mean_sine, 1e-12);
  EXPECT_NEAR(k->central_k_D, 43.0, 1e-12);
  EXPECT_EQ(k->i_s_category, IndexCategory::keratoconus);

  // A bow tie skewed by 11.3 degrees, steepening a central K of 43 + lobes.
  k = keratoconus_indices(bow_tie(80.4, 249.1, 2.0), 1.6);
  ASSERT_TRUE(k);
  EXPECT_NEAR(k->srax_deg, 11.3, 0.05);
  EXPECT_EQ(k->srax_category, IndexCategory::normal);
  k = keratoconus_indices(bow_tie(100.0, 235.0, 2.0), 1.6);
  ASSERT_TRUE(k);
  EXPECT_NEAR(k->srax_deg, 45.0, 0.05);
  EXPECT_EQ(k->srax_category, IndexCategory::keratoconus);
  EXPECT_STREQ(index_category_name(k->srax_category, true), "abnormal");
  // KISA% is the product of the four over 3.
  EXPECT_NEAR(k->kisa_percent, k->central_k_D * k->i_s_D * 1.6 * k->srax_deg * 100.0 / 300.0, 1e-9);
  // The same skew the other way round reads the same.
  const auto mirrored = keratoconus_indices(bow_tie(80.0, 215.0, 2.0), 1.6);
  ASSERT_TRUE(mirrored);
  EXPECT_NEAR(mirrored->srax_deg, 45.0, 0.05);

  // SRAX from a second, smooth power when given; the other indices not.
  const PowerAt other = bow_tie(80.4, 249.1, 2.0);
  const auto split = keratoconus_indices(bow_tie(100.0, 235.0, 2.0), 1.6, nullptr, &other);
  ASSERT_TRUE(split);
  EXPECT_NEAR(split->srax_deg, 11.3, 0.05);
  EXPECT_EQ(split->i_s_D, k->i_s_D);

  // A map that does not reach 3 mm.
  std::string why;
  EXPECT_FALSE(keratoconus_indices([](double x, double y) { return x * x + y * y < 4.0 ? 43.0 : std::nan(""); }, 1.0,
                                   &why));
  EXPECT_EQ(why, "the axial map does not reach 3 mm from the centre");
}

TEST(KeratoconusIndices, PublishedCutOffs) {
  struct Case {
    double value;
    IndexCategory k, i_s, kisa;
  } cases[] = {
      {0.0, IndexCategory::normal, IndexCategory::normal, IndexCategory::normal},
      {1.39, IndexCategory::normal, IndexCategory::normal, IndexCategory::normal},
      {1.4, IndexCategory::normal, IndexCategory::suspect, IndexCategory::normal},
      {1.9, IndexCategory::normal, IndexCategory::suspect, IndexCategory::normal},
      {1.91, IndexCategory::normal, IndexCategory::keratoconus, IndexCategory::normal},
      {47.19, IndexCategory::normal, IndexCategory::keratoconus, IndexCategory::normal},
      {47.2, IndexCategory::suspect, IndexCategory::keratoconus, IndexCategory::normal},
      {48.7, IndexCategory::suspect, IndexCategory::keratoconus, IndexCategory::normal},
      {48.71, IndexCategory::keratoconus, IndexCategory::keratoconus, IndexCategory::normal},
      {60.0, IndexCategory::keratoconus, IndexCategory::keratoconus, IndexCategory::suspect},
      {100.0, IndexCategory::keratoconus, IndexCategory::keratoconus, IndexCategory::suspect},
      {100.5, IndexCategory::keratoconus, IndexCategory::keratoconus, IndexCategory::keratoconus},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(central_k_category(c.value), c.k) << c.value;
    EXPECT_EQ(i_s_category(c.value), c.i_s) << c.value;
    EXPECT_EQ(kisa_category(c.value), c.kisa) << c.value;
  }
  EXPECT_EQ(srax_category(21.0), IndexCategory::normal);
  EXPECT_EQ(srax_category(21.01), IndexCategory::keratoconus);
  EXPECT_STREQ(index_category_name(IndexCategory::suspect), "suspect");
  EXPECT_STREQ(index_category_name(IndexCategory::keratoconus), "keratoconus");
}

}  // namespace
