// The cosine estimate the synthesis takes where a grey byte lies clear of a
// rounding boundary: its distance from the C library's cos is what the
// synthesis's margin is built on (1e-10), and every target gives the same
// bits.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "tests/simulation/cosine_estimate_test.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#include <cstddef>
#include <vector>

#include "simulation/cosine_estimate.h"

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The estimates of phi[0 .. n - 1], whole vectors and then one lane at a time.
void EstimateCosines(const double* phi, std::size_t n, double* out) {
  const hn::ScalableTag<double> d;
  std::size_t i = 0;
  for (; i + hn::Lanes(d) <= n; i += hn::Lanes(d)) hn::StoreU(CosineEstimate(d, hn::LoadU(d, phi + i)), d, out + i);
  const hn::CappedTag<double, 1> one;
  for (; i < n; ++i) hn::StoreU(CosineEstimate(one, hn::LoadU(one, phi + i)), one, out + i);
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "every_target.h"

namespace fringe {
HWY_EXPORT(EstimateCosines);
}  // namespace fringe

namespace {

std::vector<double> estimates(const std::vector<double>& phi) {
  std::vector<double> out(phi.size());
  HWY_DYNAMIC_DISPATCH(fringe::EstimateCosines)(phi.data(), phi.size(), out.data());
  return out;
}

TEST(CosineEstimate, WithinOneE10OfTheLibraryOverItsRangeAndTheSameAtEveryTarget) {
  std::mt19937_64 random(2);
  std::uniform_real_distribution<double> anywhere(-kCosineEstimateRange, kCosineEstimateRange);
  std::uniform_real_distribution<double> near_zero(-4.0, 4.0);
  std::vector<double> phi;
  for (int i = 0; i < 2000000; ++i) phi.push_back(i % 2 == 0 ? anywhere(random) : near_zero(random));
  // Odd multiples of pi / 2 (where the reduced argument is largest and the
  // series least accurate), multiples of pi / 4, their neighbours and the ends.
  for (int k = -400; k <= 400; ++k) {
    const double edge = k * 0.78539816339744830962;
    phi.insert(phi.end(), {edge, std::nextafter(edge, 1e9), std::nextafter(edge, -1e9)});
  }
  phi.insert(phi.end(), {0.0, -0.0, kCosineEstimateRange, -kCosineEstimateRange, 1e-300, 0.3});  // 0.3: a tail

  const std::vector<double> reference = estimates(phi);
  double worst = 0.0;
  double worst_at = 0.0;
  for (std::size_t i = 0; i < phi.size(); ++i) {
    const double error = std::fabs(reference[i] - std::cos(phi[i]));
    if (error > worst) worst = error, worst_at = phi[i];
  }
  EXPECT_LE(worst, 1e-10) << "at " << worst_at;
  for_every_target([&] { EXPECT_EQ(estimates(phi), reference); });
}

}  // namespace
#endif
