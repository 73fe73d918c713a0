// A cosine for vectors of doubles, within 1e-10 of the C library's cos for
// arguments up to kCosineEstimateRange in magnitude. Not the C library's
// bits: the synthesis uses it only where the grey byte it leads to lies
// clear of a rounding boundary, and takes std::cos everywhere else.
//
// Included by kernels after <hwy/highway.h>, once per target (the guard
// toggles with HWY_TARGET_TOGGLE, as Highway's -inl headers do).
#if defined(FRINGE_COSINE_ESTIMATE_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef FRINGE_COSINE_ESTIMATE_H_
#undef FRINGE_COSINE_ESTIMATE_H_
#else
#define FRINGE_COSINE_ESTIMATE_H_
#endif

#include <hwy/highway.h>

// Arguments beyond this magnitude (and not-a-number) are not estimated: the
// reduction by pi below keeps its accuracy only while k * kPiHigh is exact,
// k below 2^20.
#ifndef FRINGE_COSINE_ESTIMATE_CONSTANTS
#define FRINGE_COSINE_ESTIMATE_CONSTANTS
constexpr double kCosineEstimateRange = 1e5;

namespace cosine_detail {

constexpr double kOneOverPi = 0.31830988618379067154;
// pi split: the high part has 33 significant bits, so k * kPiHigh is exact
// for |k| < 2^20; the low part carries the rest to ~1e-20.
constexpr double kPiHigh = 3.14159265346825122833e+00;
constexpr double kPiLow = 1.21542010130123844986e-10;
// Adding and removing 1.5 * 2^52 rounds to an integer (below 2^51).
constexpr double kShift = 6755399441055744.0;
// The Taylor series of cos beyond 1 - r^2 / 2, to r^14: on |r| <= pi / 2
// the terms left out add up to less than 7e-11.
constexpr double kC2 = 1.0 / 24, kC3 = -1.0 / 720, kC4 = 1.0 / 40320, kC5 = -1.0 / 3628800,
                 kC6 = 1.0 / 479001600, kC7 = -1.0 / 87178291200;

}  // namespace cosine_detail
#endif

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// cos(phi) lane by lane for |phi| <= kCosineEstimateRange; other lanes hold
// an unspecified value. Products and sums apart (no fused multiply-add), so
// that every target gives the same bits.
template <class D, class V = hn::Vec<D>>
HWY_INLINE V CosineEstimate(D d, V phi) {
  using namespace cosine_detail;
  const V shift = hn::Set(d, kShift);
  const V k = hn::Sub(hn::Add(hn::Mul(phi, hn::Set(d, kOneOverPi)), shift), shift);  // nearest, halves to even
  const V r = hn::Sub(hn::Sub(phi, hn::Mul(k, hn::Set(d, kPiHigh))), hn::Mul(k, hn::Set(d, kPiLow)));
  // The series in powers of z = r^2, summed in pairs (short chains of
  // dependent operations; the rounding of the sum is of no concern here).
  const V z = hn::Mul(r, r);
  const V z2 = hn::Mul(z, z);
  const V z4 = hn::Mul(z2, z2);
  const V head = hn::Add(hn::Sub(hn::Set(d, 1.0), hn::Mul(hn::Set(d, 0.5), z)),
                         hn::Mul(z2, hn::Add(hn::Set(d, kC2), hn::Mul(hn::Set(d, kC3), z))));
  const V tail = hn::Add(hn::Add(hn::Set(d, kC4), hn::Mul(hn::Set(d, kC5), z)),
                         hn::Mul(z2, hn::Add(hn::Set(d, kC6), hn::Mul(hn::Set(d, kC7), z))));
  const V cos_r = hn::Add(head, hn::Mul(z4, tail));
  // cos(phi) = (-1)^k cos(r): k - 2 round(k / 2) is +-1 for odd k, else 0
  // (halves round to even).
  const V half = hn::Sub(hn::Add(hn::Mul(k, hn::Set(d, 0.5)), shift), shift);
  const V odd = hn::Sub(k, hn::Mul(hn::Set(d, 2.0), half));
  return hn::IfThenElse(hn::Ne(odd, hn::Zero(d)), hn::Neg(cos_r), cos_r);
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#endif  // FRINGE_COSINE_ESTIMATE_H_ toggle
