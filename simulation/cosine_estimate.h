// A cosine for vectors of doubles, within 1e-15 of the C library's cos for
// arguments up to kCosineEstimateRange in magnitude. Not the C library's
// bits: the synthesis uses it only where the grey byte it leads to lies
// clear of a rounding boundary, and takes std::cos everywhere else.
#pragma once

#include <cmath>

// Arguments beyond this magnitude (and not-a-number) are not estimated: the
// reduction by pi / 2 below keeps its accuracy only while k * kPio2High is
// exact, k below 2^20.
constexpr double kCosineEstimateRange = 1e5;

namespace cosine_detail {

constexpr double kTwoOverPi = 0.63661977236758134308;
// pi / 2 split: the high part has 33 significant bits, so k * kPio2High is
// exact for |k| < 2^20; the low part carries the rest to ~1e-21.
constexpr double kPio2High = 1.57079632673412561417e+00;
constexpr double kPio2Low = 6.07710050650619224932e-11;
// Adding and removing 1.5 * 2^52 rounds to an integer (below 2^51).
constexpr double kRoundingShift = 6755399441055744.0;
// Minimax series of sin and cos on [-pi/4, pi/4] (the classic kernel
// coefficients), error below 2^-58 relative.
constexpr double kS1 = -1.66666666666666324348e-01, kS2 = 8.33333333332248946124e-03,
                 kS3 = -1.98412698298579493134e-04, kS4 = 2.75573137070700676789e-06,
                 kS5 = -2.50507602534068634195e-08, kS6 = 1.58969099521155010221e-10;
constexpr double kC1 = 4.16666666666666019037e-02, kC2 = -1.38888888888741095749e-03,
                 kC3 = 2.48015872894767294178e-05, kC4 = -2.75573143513906633035e-07,
                 kC5 = 2.08757232129817482790e-09, kC6 = -1.13596475577881948265e-11;

}  // namespace cosine_detail

// cos(phi) lane by lane for |phi| <= kCosineEstimateRange; other lanes hold
// an unspecified value. Vec is a GCC vector of doubles (or double itself).
// Vectors go in and out by reference, so that the calling convention does
// not depend on the instruction set of the caller.
template <typename Vec>
inline __attribute__((always_inline)) void cosine_estimate(const Vec& phi, Vec& result) {
  using namespace cosine_detail;
  const Vec k = (phi * kTwoOverPi + kRoundingShift) - kRoundingShift;  // nearest, halves to even
  const Vec r = (phi - k * kPio2High) - k * kPio2Low;                 // |r| <= pi / 4 (nearly)
  // The series in powers of z = r^2, summed in pairs (short chains of
  // dependent operations; the rounding of the sum is of no concern here).
  const Vec z = r * r;
  const Vec z2 = z * z;
  const Vec z4 = z2 * z2;
  const Vec cos_series = (kC1 + kC2 * z) + z2 * (kC3 + kC4 * z) + z4 * (kC5 + kC6 * z);
  const Vec sin_series = (kS1 + kS2 * z) + z2 * (kS3 + kS4 * z) + z4 * (kS5 + kS6 * z);
  const Vec cos_r = (1.0 - 0.5 * z) + z2 * cos_series;
  const Vec sin_r = r + (r * z) * sin_series;
  // Quadrant k mod 4: cos, -sin, -cos, sin.
  const Vec half = k * 0.5;
  const Vec odd = half - ((half + kRoundingShift) - kRoundingShift);  // +-0.5 for odd k, else 0
  const Vec quarter = k * 0.25;
  const Vec q = quarter - ((quarter + kRoundingShift) - kRoundingShift);  // k/4 - round(k/4)
  // k mod 4 = 1 or 2 gives q = 0.25 or +-0.5 (0.5 rounds to even); 0 and 3
  // give 0 and -0.25.
  const Vec magnitude = odd != 0.0 ? sin_r : cos_r;
  result = ((q == 0.25) | (q == 0.5) | (q == -0.5)) ? -magnitude : magnitude;
}
