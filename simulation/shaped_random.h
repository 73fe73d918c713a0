// Random integers whose distribution is bent by a shape function.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "simulation/random_generator.h"

// Maps u in [0, 1) to a real factor; the synthesis uses square_shape.
using RandomShape = double (*)(double u);

// u * u: pushes the results of shaped_random towards lo.
inline double square_shape(double u) { return u * u; }

// lo + span * shape(r / span) for a remainder r in 0..span-1, rounded to
// nearest with halves to even. A value beyond the int range saturates at its
// end; a shape value that is not a number gives lo.
inline int32_t shaped_value(int32_t lo, int64_t span, uint32_t r, RandomShape shape) {
  const double u = static_cast<double>(r) / static_cast<double>(span);
  const double value = std::nearbyint(static_cast<double>(lo) + static_cast<double>(span) * shape(u));
  if (std::isnan(value)) return lo;
  if (value <= static_cast<double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  if (value >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

// An integer lo + (hi - lo) * shape(u), rounded to nearest with halves to even,
// where u = r / (hi - lo) and r is one draw modulo (hi - lo), so 0 <= u < 1.
// When hi <= lo it returns 0 and draws nothing.
// hi - lo is taken in 64 bits, so the full int range (e.g. -(2^31-1) to
// 2^31-1) does not overflow; such a span still fits 32 unsigned bits.
inline int32_t shaped_random(int32_t lo, int32_t hi, RandomShape shape) {
  if (hi <= lo) return 0;
  const int64_t span = static_cast<int64_t>(hi) - lo;  // 1 .. 2^32 - 1
  const uint32_t r = static_cast<uint32_t>(next_random()) % static_cast<uint32_t>(span);
  return shaped_value(lo, span, r, shape);
}

// shaped_random(lo, hi, shape) for many draws over one range, as the
// synthesis takes one per pixel: the same values and the same draws, with the
// value of every remainder worked out once when the range is small.
class ShapedRandomTable {
 public:
  ShapedRandomTable(int32_t lo, int32_t hi, RandomShape shape)
      : lo_(lo), span_(hi > lo ? static_cast<int64_t>(hi) - lo : 0), shape_(shape) {
    if (span_ > 0 && span_ <= kMaxTabulated) {
      values_.resize(static_cast<size_t>(span_));
      for (uint32_t r = 0; r < values_.size(); ++r) values_[r] = shaped_value(lo_, span_, r, shape_);
    }
  }

  int32_t operator()() const {
    if (span_ == 0) return 0;
    const uint32_t r = static_cast<uint32_t>(next_random()) % static_cast<uint32_t>(span_);
    return values_.empty() ? shaped_value(lo_, span_, r, shape_) : values_[r];
  }

 private:
  static constexpr int64_t kMaxTabulated = 65536;

  int32_t lo_;
  int64_t span_;  // hi - lo, or 0 when hi <= lo
  RandomShape shape_;
  std::vector<int32_t> values_;
};
