#include "simulation/shaped_random.h"

#include <cmath>
#include <limits>

#include "simulation/random_generator.h"

double square_shape(double u) { return u * u; }

int32_t shaped_random(int32_t lo, int32_t hi, RandomShape shape) {
  if (hi <= lo) return 0;
  const int64_t span = static_cast<int64_t>(hi) - lo;  // 1 .. 2^32 - 1
  // Same as random_below(span) while span fits an int; wider spans keep the
  // plain draw, which is always below them.
  const int64_t r = next_random() % span;
  const double u = static_cast<double>(r) / static_cast<double>(span);
  const double value = std::nearbyint(static_cast<double>(lo) + static_cast<double>(span) * shape(u));
  if (std::isnan(value)) return lo;
  if (value <= static_cast<double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  if (value >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}
