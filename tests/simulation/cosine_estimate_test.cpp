// The cosine estimate the synthesis takes where a grey byte lies clear of a
// rounding boundary: its distance from the C library's cos is what the
// synthesis's margin is built on (1e-10).
#include "simulation/cosine_estimate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using Quad = double __attribute__((vector_size(32)));

TEST(CosineEstimate, WithinOneE10OfTheLibraryOverItsRange) {
  std::mt19937_64 random(2);
  std::uniform_real_distribution<double> anywhere(-kCosineEstimateRange, kCosineEstimateRange);
  std::uniform_real_distribution<double> near_zero(-4.0, 4.0);
  double worst = 0.0;
  double worst_at = 0.0;
  const auto check = [&](double phi) {
    double estimate = 0.0;
    cosine_estimate(phi, estimate);
    const double error = std::fabs(estimate - std::cos(phi));
    if (error > worst) {
      worst = error;
      worst_at = phi;
    }
  };
  for (int i = 0; i < 2000000; ++i) check(i % 2 == 0 ? anywhere(random) : near_zero(random));
  // Odd multiples of pi / 2 (where the reduced argument is largest and the
  // series least accurate), multiples of pi / 4, their neighbours and the ends.
  for (int k = -400; k <= 400; ++k) {
    const double edge = k * 0.78539816339744830962;
    check(edge);
    check(std::nextafter(edge, 1e9));
    check(std::nextafter(edge, -1e9));
  }
  for (double phi : {0.0, -0.0, kCosineEstimateRange, -kCosineEstimateRange, 1e-300}) check(phi);
  EXPECT_LE(worst, 1e-10) << "at " << worst_at;

  // Four lanes give what one lane gives.
  const Quad phi = {0.3, -1234.5, 99999.0, 1.5707963267948966};
  Quad lanes;
  cosine_estimate(phi, lanes);
  for (int k = 0; k < 4; ++k) {
    double one = 0.0;
    cosine_estimate(phi[k], one);
    EXPECT_EQ(lanes[k], one) << k;
  }
}

}  // namespace
