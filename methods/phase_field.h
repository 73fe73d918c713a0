// The phase of the evaluated field as the methods build it: which pixels are
// evaluated (the rows' runs of the evaluation ellipse), the wrapped phase the
// height adds (carrier removed) with the pixels that have data, and the
// unwrapped phase the heights come from.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "scan.h"

namespace fringe::methods {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// An angle wrapped into (-pi, pi].
inline double wrap_phase(double angle) {
  double r = angle - kTwoPi * std::nearbyint(angle / kTwoPi);
  if (r <= -std::numbers::pi) r += kTwoPi;
  else if (r > std::numbers::pi) r -= kTwoPi;
  return r;
}

// a - b wrapped into (-pi, pi] for a, b in [-pi, pi]: one turn at most, so
// one correction (the same value wrap_phase gives, faster).
inline double wrapped_difference(double a, double b) {
  const double d = a - b;
  if (d > std::numbers::pi) return d - kTwoPi;
  if (d <= -std::numbers::pi) return d + kTwoPi;
  return d;
}

// The columns [first, end) of a row inside the evaluated field; empty when
// first == end.
struct RowRun {
  int32_t first = 0;
  int32_t end = 0;
  bool empty() const { return first >= end; }
};

// Planes of width x height, row y at y * width. Only pixels of the runs are
// ever written; `modulation` and `data` are 0 elsewhere.
struct PhaseField {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<RowRun> runs;     // one per row
  std::vector<double> psi;         // wrapped phase of the last period measured, carrier removed
  std::vector<double> modulation;  // the least modulation of the periods measured so far
  // Below this modulation a pixel is dark, or saturated flat: its sinusoid
  // has no angle worth measuring.
  double least_modulation = 0.0;
  std::vector<double> phase;    // unwrapped phase
  std::vector<uint8_t> data;    // 1 where `phase` holds a value (another value: none)
  // The samples' mean squared deviation from the fitted sinusoid, grey
  // levels squared, the largest of the periods measured so far, of the one
  // row of each band of 4 rows a measurement's quality takes it of
  // (QualityCells::is_deviation_row): band j's at j * width. Made (height
  // div 4 rows of width) only for several periods with the quality asked for.
  std::vector<double> deviation;
  int32_t ellipse[4] = {};      // centre and semi-axes the runs were made for

  // Whether pixel i has a usable modulation (never where it is zero).
  bool modulated(std::size_t i) const {
    const double b = modulation[i];
    return b > 0.0 && b >= least_modulation;
  }
  std::size_t at(int32_t x, int32_t y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
  }
};

// The carrier's phase at column x for a period of `lambda` pixels, zero at
// column width div 2: removed from every measured phase.
inline double carrier_phase(int32_t x, int32_t centre, double lambda) {
  return kTwoPi * static_cast<double>(x - centre) / lambda;
}
// carrier_phase of columns 0 .. width - 1 wrapped into (-pi, pi], so that a
// measured angle (in [-pi, pi]) less the carrier wraps by one correction.
inline void wrapped_carrier(int32_t width, double lambda, double* out) {
  for (int32_t x = 0; x < width; ++x) out[x] = wrap_phase(carrier_phase(x, width / 2, lambda));
}

}  // namespace fringe::methods
