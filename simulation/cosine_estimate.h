// A cosine for vectors of doubles, within 1e-10 of the C library's cos for
// arguments up to kCosineEstimateRange in magnitude. Not the C library's
// bits: the synthesis uses it only where the grey byte it leads to lies
// clear of a rounding boundary, and takes std::cos everywhere else.
#pragma once

#include <cmath>

// Arguments beyond this magnitude (and not-a-number) are not estimated: the
// reduction by pi below keeps its accuracy only while k * kPiHigh is exact,
// k below 2^20.
constexpr double kCosineEstimateRange = 1e5;

namespace cosine_detail {

constexpr double kOneOverPi = 0.31830988618379067154;
// pi split: the high part has 33 significant bits, so k * kPiHigh is exact
// for |k| < 2^20; the low part carries the rest to ~1e-20.
constexpr double kPiHigh = 3.14159265346825122833e+00;
constexpr double kPiLow = 1.21542010130123844986e-10;
// Adding and removing 1.5 * 2^52 rounds to an integer (below 2^51).
constexpr double kRoundingShift = 6755399441055744.0;
// The Taylor series of cos beyond 1 - r^2 / 2, to r^14: on |r| <= pi / 2
// the terms left out add up to less than 7e-11.
constexpr double kC2 = 1.0 / 24, kC3 = -1.0 / 720, kC4 = 1.0 / 40320, kC5 = -1.0 / 3628800,
                 kC6 = 1.0 / 479001600, kC7 = -1.0 / 87178291200;

}  // namespace cosine_detail

// cos(phi) lane by lane for |phi| <= kCosineEstimateRange; other lanes hold
// an unspecified value. Vec is a GCC vector of doubles (or double itself).
// Vectors go in and out by reference, so that the calling convention does
// not depend on the instruction set of the caller.
template <typename Vec>
inline __attribute__((always_inline)) void cosine_estimate(const Vec& phi, Vec& result) {
  using namespace cosine_detail;
  const Vec k = (phi * kOneOverPi + kRoundingShift) - kRoundingShift;  // nearest, halves to even
  const Vec r = (phi - k * kPiHigh) - k * kPiLow;                     // |r| <= pi / 2 (nearly)
  // The series in powers of z = r^2, summed in pairs (short chains of
  // dependent operations; the rounding of the sum is of no concern here).
  const Vec z = r * r;
  const Vec z2 = z * z;
  const Vec z4 = z2 * z2;
  const Vec head = (1.0 - 0.5 * z) + z2 * (kC2 + kC3 * z);
  const Vec tail = (kC4 + kC5 * z) + z2 * (kC6 + kC7 * z);
  const Vec cos_r = head + z4 * tail;
  // cos(phi) = (-1)^k cos(r): k - 2 round(k / 2) is +-1 for odd k, else 0
  // (halves round to even).
  const Vec half = (k * 0.5 + kRoundingShift) - kRoundingShift;
  const Vec odd = k - 2.0 * half;
  result = odd != 0.0 ? -cos_r : cos_r;
}
