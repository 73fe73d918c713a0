// The noise of the synthesis pixel by pixel: which draws of the generator a
// pixel takes and what it does with them. The plain definition the vector
// kernels (synthesis_kernels.h) are held to.
#pragma once

#include <cmath>
#include <cstdint>

#include "simulation/grey_levels.h"
#include "simulation/random_generator.h"
#include "simulation/shaped_random.h"

// The generator's step: one draw (random_generator.h).
constexpr RandomJump kOneDraw{0x0000015A00004E35ULL, 1};

struct Noise {
  double weight;            // m, 0 <= m <= 1
  bool additive;            // an amount is drawn (its bound is not 0)
  double additive_bound;    // |bound| of the amount, as random_below takes it
  bool proportional;        // a shaped value is drawn (max noise > 0)
  int32_t low;              // -M
  double span;              // 2 M, as the shaped draw takes it
  double additive_inverse;  // 1 / additive_bound, rounded
  double span_inverse;      // 1 / span, rounded
  bool span_power_of_two;   // then span_inverse is exact
  int draws;                // per pixel: 1 to 3

  // v + amount * s + n * m * v / 255, in that order.
  double value(double v, double s, int32_t amount, int32_t n) const {
    return v + amount * s + n * weight * v / 255.0;
  }
  // How near an integer a noisy value may lie before the estimate of its
  // level could move it across.
  double margin(double contrast, int32_t n) const {
    return contrast > 0.0 ? kLevelMargin * (1.0 + std::fabs(n * weight) / 255.0) : 0.0;
  }
};

// The noise of weight m (0..1), proportional noise from -max_noise to
// max_noise (none for 0 or less) and additive noise below |additive_range|.
inline Noise pixel_noise(double m, int32_t max_noise, int32_t additive_range) {
  // -M is only formed when M is positive: INT32_MIN has no negation, and M
  // of 0 or less leaves hi <= lo, which draws nothing.
  const bool proportional = max_noise > 0;
  Noise noise{};
  noise.weight = m;
  noise.additive = additive_range != 0;
  // |n| as random_below takes it: INT32_MIN has a magnitude of 2^31.
  noise.additive_bound = additive_range < 0 ? -static_cast<double>(additive_range) : additive_range;
  noise.proportional = proportional;
  noise.low = proportional ? -max_noise : 0;
  noise.span = proportional ? 2.0 * max_noise : 0.0;
  noise.draws = 1 + (noise.additive ? 1 : 0) + (proportional ? 1 : 0);
  noise.additive_inverse = noise.additive ? 1.0 / noise.additive_bound : 0.0;
  noise.span_inverse = proportional ? 1.0 / noise.span : 0.0;
  const auto span_bits = static_cast<uint64_t>(2 * int64_t{max_noise});
  noise.span_power_of_two = proportional && (span_bits & (span_bits - 1)) == 0;
  return noise;
}

// The three values of one pixel's draws (a draw not taken gives 0).
struct PixelDraws {
  double sign;  // -1 or +1
  int32_t amount;
  int32_t n;
};

// Draws of the pixel whose first draw leaves the generator at `state`: the
// sign (-1)^k with k = draw mod 2 + 1, the additive amount as random_below
// gives it, the shaped value as shaped_random gives it.
inline PixelDraws draws_at(const Noise& noise, uint64_t state) {
  PixelDraws d{};
  d.sign = (draw_of_state(state) % 2) + 1 == 1 ? -1.0 : 1.0;
  if (noise.additive) {
    state = jumped_state(state, kOneDraw);
    d.amount = static_cast<int32_t>(static_cast<uint32_t>(draw_of_state(state)) %
                                    static_cast<uint32_t>(noise.additive_bound));
  }
  if (noise.proportional) {
    state = jumped_state(state, kOneDraw);
    const uint32_t r = static_cast<uint32_t>(draw_of_state(state)) % static_cast<uint32_t>(noise.span);
    d.n = static_cast<int32_t>(std::nearbyint(noise.low + noise.span * square_shape(r / noise.span)));
  }
  return d;
}

// The grey byte of a pixel of exact level v whose first draw leaves the
// generator at `state`.
inline uint8_t noisy_grey(const Noise& noise, double v, uint64_t state) {
  const PixelDraws d = draws_at(noise, state);
  return grey_byte(noise.value(v, d.sign, d.amount, d.n));
}
