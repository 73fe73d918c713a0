// The phase bytes of filter responses in vectors, for every target
// (docs/vector-layer.md). Included by the files whose kernels need them,
// once per target, as Highway's skeleton-inl.h shows.
//
// The bytes are phase_byte()'s (phase_angle.h), computed without atan2:
// octant reduction, a reduction by pi / 4 beyond tan(pi / 8), a short series
// and the rounding. The series is within 2.1e-7 rad of the true angle, that
// is 8.6e-6 units of 1/256 period; the additions and products around it move
// the value by a few ulp more, and the C library's atan2 and the scaling by
// 128 / pi lie within a few ulp of the true angle as well. So wherever the
// value in units lies more than kTieMargin (23 times the series' error) from
// a half unit, both round to the same integer: the byte cannot flip. Every
// vector holding a value within that margin of a half unit, or one that is
// not a number, is computed again with phase_byte() itself, atan2 and all
// (some 4e-4 of all values, about 500 per camera image).
#if defined(FRINGE_SCAN_PHASE_ANGLE_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef FRINGE_SCAN_PHASE_ANGLE_INL_H_
#undef FRINGE_SCAN_PHASE_ANGLE_INL_H_
#else
#define FRINGE_SCAN_PHASE_ANGLE_INL_H_
#endif

#include <hwy/highway.h>

#include <cstddef>
#include <cstdint>
#include <numbers>

#include "scan/phase_angle.h"

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

namespace phase_angle {
// atan(sqrt(z)) / sqrt(z) on 0 <= z <= tan^2(pi / 8): a Chebyshev interpolant
// in z written as a power series.
constexpr double kSeries[] = {0.99999942316816282, -0.33322528092498932, 0.19677712909107442,
                              -0.11100372207640549};
constexpr double kTanPiOver8 = 0.41421356237309504880;
constexpr double kTieMargin = 2e-4;
// Adding 1.5 * 2^52 to a double of magnitude below 2^51 rounds it to an
// integer (to nearest, halves to even: the default rounding mode) and leaves
// that integer in the low bits of the sum's bit pattern, two's complement:
// the low byte is the phase byte (128 and -128 alike give 0x80).
constexpr double kRoundingShift = 6755399441055744.0;
}  // namespace phase_angle

// The bytes of the responses re[0 .. Lanes(d)), im[0 .. Lanes(d)) into out.
template <class D>
HWY_INLINE void PhaseBytesVector(D d, const double* HWY_RESTRICT re, const double* HWY_RESTRICT im,
                                 uint8_t* HWY_RESTRICT out) {
  namespace pa = phase_angle;
  const hn::RebindToUnsigned<D> du64;
  const hn::Rebind<uint8_t, D> du8;
  const auto zero = hn::Zero(d);
  const auto x = hn::LoadU(d, re);
  const auto y = hn::Neg(hn::LoadU(d, im));
  const auto ax = hn::Abs(x);
  const auto ay = hn::Abs(y);
  const auto steep = hn::Gt(ay, ax);
  const auto num = hn::IfThenElse(steep, ax, ay);
  const auto den = hn::IfThenElse(steep, ay, ax);  // num / den in 0..1
  // Beyond tan(pi / 8): u = (t - 1) / (t + 1) with t = num / den, whose angle
  // is pi / 4 less.
  const auto upper = hn::Gt(num, hn::Mul(hn::Set(d, pa::kTanPiOver8), den));
  const auto u = hn::Div(hn::IfThenElse(upper, hn::Sub(num, den), num),
                         hn::IfThenElse(upper, hn::Add(num, den), den));
  const auto z = hn::Mul(u, u);
  // Products and sums apart, never fused: the bytes are the same on every
  // target.
  auto series = hn::Set(d, pa::kSeries[3]);
  series = hn::Add(hn::Mul(series, z), hn::Set(d, pa::kSeries[2]));
  series = hn::Add(hn::Mul(series, z), hn::Set(d, pa::kSeries[1]));
  series = hn::Add(hn::Mul(series, z), hn::Set(d, pa::kSeries[0]));
  auto angle = hn::Mul(u, series);
  angle = hn::IfThenElse(upper, hn::Add(angle, hn::Set(d, std::numbers::pi / 4)), angle);
  angle = hn::IfThenElse(steep, hn::Sub(hn::Set(d, std::numbers::pi / 2), angle), angle);
  angle = hn::IfThenElse(hn::Lt(x, zero), hn::Sub(hn::Set(d, std::numbers::pi), angle), angle);
  angle = hn::IfThenElse(hn::Lt(y, zero), hn::Neg(angle), angle);
  // Re = Im = 0 has no phase: byte 0. The larger magnitude is 0 just then
  // (and where it is not a number the byte is 0 as well, as with atan2):
  // units 0 give byte 0 and are no tie.
  const auto units = hn::IfThenElseZero(hn::Gt(den, zero), hn::Mul(angle, hn::Set(d, 128.0 / std::numbers::pi)));
  const auto shift = hn::Set(d, pa::kRoundingShift);
  const auto shifted = hn::Add(units, shift);
  const auto off = hn::Sub(units, hn::Sub(shifted, shift));  // -0.5 .. 0.5, NaN
  hn::StoreU(hn::TruncateTo(du8, hn::BitCast(du64, shifted)), du8, out);
  const auto safe = hn::Set(d, 0.5 - pa::kTieMargin);
  const auto clear = hn::And(hn::Lt(off, safe), hn::Gt(off, hn::Neg(safe)));  // NaN is not
  if (HWY_UNLIKELY(!hn::AllTrue(d, clear)))
    for (size_t k = 0; k < hn::Lanes(d); ++k) out[k] = phase_byte(re[k], im[k]);
}

// The bytes of `count` responses; the last count mod Lanes(d) by definition.
template <class D>
HWY_INLINE void PhaseBytesOf(D d, const double* HWY_RESTRICT re, const double* HWY_RESTRICT im,
                             size_t count, uint8_t* HWY_RESTRICT out) {
  const size_t lanes = hn::Lanes(d);
  size_t i = 0;
  for (; i + lanes <= count; i += lanes) PhaseBytesVector(d, re + i, im + i, out + i);
  for (; i < count; ++i) out[i] = phase_byte(re[i], im[i]);
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#endif  // include guard per target
