// The phase bytes of filter responses in vectors, for every target
// (docs/vector-layer.md). Included by the files whose kernels need them,
// once per target, as Highway's skeleton-inl.h shows.
//
// The bytes are phase_byte()'s (phase_angle.h), computed without atan2 and
// without a series, in single precision at twice the lanes of the doubles.
// Within an octant the angle is atan(t), t = min(|Re|, |Im|) / max(|Re|,
// |Im|) in 0..1, psi = atan(t) * 128 / pi in 0..32 units, and the whole angle
// in units is psi, 64 - psi (steeper than the diagonal), 128 minus that
// (Re < 0) and the negative of that (Im > 0): integers plus or minus psi, so
// the byte is that integer plus or minus round(psi). round(psi) is the cell
// c = floor(psi_a) of a rough psi_a(t) = t (43.12 - 11.13 t), within 0.16 of
// psi and below 32 on 0..1, plus one where t lies above the boundary
// tan((c + 0.5) pi / 128) of that cell: one table lookup of 32 boundaries.
// Re and Im go to floats before the division; t and the boundaries are then
// within 2.5e-7 of their true values, so a t more than kBoundaryMargin from
// its cell's boundary lies on the same side of it as the true quotient, and
// its psi more than 3.6e-5 units from the half unit: far beyond the few ulp
// by which the C library's atan2 and the scaling by 128 / pi move the value.
// Closer ones (about 2e-4 of all, some 250 per camera picture), responses
// whose larger magnitude is not a float well inside its range (0, a
// subnormal, beyond 2^60, not a number) and quotients that are not numbers
// are computed again with phase_byte() itself, atan2 and all.
#if defined(FRINGE_SCAN_PHASE_ANGLE_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef FRINGE_SCAN_PHASE_ANGLE_INL_H_
#undef FRINGE_SCAN_PHASE_ANGLE_INL_H_
#else
#define FRINGE_SCAN_PHASE_ANGLE_INL_H_
#endif

#include <hwy/highway.h>

#include <cstddef>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "scan/phase_angle.h"

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

namespace phase_angle {
constexpr float kRoughPsiLinear = 43.12F;
constexpr float kRoughPsiSquare = 11.13F;
constexpr float kBoundaryMargin = 2e-6F;
constexpr int32_t kCells = 32;
// The larger magnitude's range in which the floats' quotient is as exact as
// said above.
constexpr float kSmallest = 0x1p-60F;
constexpr float kLargest = 0x1p60F;

// tan((c + 0.5) pi / 128) of the cells c = 0..31 as floats.
struct CellBoundaries {
  alignas(64) float tangent[kCells];
};
inline const CellBoundaries& cell_boundaries() {
  static const CellBoundaries boundaries = [] {
    CellBoundaries b{};
    for (int32_t c = 0; c < kCells; ++c)
      b.tangent[c] = static_cast<float>(std::tan((c + 0.5) * std::numbers::pi / 128));
    return b;
  }();
  return boundaries;
}
}  // namespace phase_angle

#if HWY_TARGET != HWY_SCALAR
// The boundaries of the cells `cell` (0..31): in registers where a vector
// holds at least eight floats (a lookup in each group of Lanes(df) and the
// group chosen by the cell), else gathered from memory.
template <class DF, class VI>
HWY_INLINE hn::Vec<DF> CellBoundary(DF df, VI cell) {
  namespace pa = phase_angle;
  const float* table = pa::cell_boundaries().tangent;
  const hn::RebindToSigned<DF> di;
  const auto lanes = static_cast<int32_t>(hn::Lanes(df));
  if (hn::MaxLanes(df) < 8 || lanes < 8) return hn::GatherIndex(df, table, cell);
  const auto index = hn::IndicesFromVec(df, hn::And(cell, hn::Set(di, lanes - 1)));
  auto boundary = hn::TableLookupLanes(hn::LoadU(df, table), index);
  for (int32_t group = lanes; group < pa::kCells; group += lanes)
    boundary = hn::IfThenElse(hn::RebindMask(df, hn::Gt(cell, hn::Set(di, group - 1))),
                              hn::TableLookupLanes(hn::LoadU(df, table + group), index), boundary);
  return boundary;
}

// The bytes of the responses re[0 .. 2 Lanes(d)), im[0 .. 2 Lanes(d)) into
// out, as floats of twice the lanes.
template <class D>
HWY_INLINE void PhaseBytesVector(D d, const double* HWY_RESTRICT re, const double* HWY_RESTRICT im,
                                 uint8_t* HWY_RESTRICT out) {
  namespace pa = phase_angle;
  const hn::Repartition<float, D> df;
  const hn::Rebind<float, D> dh;
  const hn::RebindToSigned<decltype(df)> di;
  const hn::RebindToUnsigned<decltype(df)> du;
  const hn::Rebind<uint8_t, decltype(df)> du8;
  const size_t n = hn::Lanes(d);
  const auto floats = [&](const double* v) {
    return hn::Combine(df, hn::DemoteTo(dh, hn::LoadU(d, v + n)), hn::DemoteTo(dh, hn::LoadU(d, v)));
  };
  const auto zero = hn::Zero(df);
  const auto x = floats(re);
  const auto y = hn::Neg(floats(im));
  const auto ax = hn::Abs(x);
  const auto ay = hn::Abs(y);
  const auto steep = hn::Gt(ay, ax);
  const auto num = hn::IfThenElse(steep, ax, ay);
  const auto den = hn::IfThenElse(steep, ay, ax);  // num / den in 0..1
  const auto t = hn::Div(num, den);
  // Products and sums apart, never fused: the same cells on every target.
  const auto rough = hn::Mul(t, hn::Sub(hn::Set(df, pa::kRoughPsiLinear), hn::Mul(hn::Set(df, pa::kRoughPsiSquare), t)));
  const auto cell = hn::And(hn::ConvertTo(di, rough), hn::Set(di, pa::kCells - 1));  // a NaN's index is any
  const auto boundary = CellBoundary(df, cell);
  auto units = hn::Sub(cell, hn::VecFromMask(di, hn::RebindMask(di, hn::Gt(t, boundary))));  // +1 above
  units = hn::IfThenElse(hn::RebindMask(di, steep), hn::Sub(hn::Set(di, 64), units), units);
  units = hn::IfThenElse(hn::RebindMask(di, hn::Lt(x, zero)), hn::Sub(hn::Set(di, 128), units), units);
  units = hn::IfThenElse(hn::RebindMask(di, hn::Lt(y, zero)), hn::Neg(units), units);
  // Outside the range (Re = Im = 0 included) the byte is computed again.
  const auto measured = hn::And(hn::Ge(den, hn::Set(df, pa::kSmallest)), hn::Le(den, hn::Set(df, pa::kLargest)));
  // The low byte of the units: -128 and 128 alike give 0x80.
  hn::StoreU(hn::TruncateTo(du8, hn::BitCast(du, units)), du8, out);
  const auto clear =
      hn::And(measured, hn::Ge(hn::Abs(hn::Sub(t, boundary)), hn::Set(df, pa::kBoundaryMargin)));  // NaN is not
  if (HWY_UNLIKELY(!hn::AllTrue(df, clear))) {
    HWY_ALIGN int32_t flags[hn::MaxLanes(df)];
    hn::Store(hn::VecFromMask(di, hn::RebindMask(di, clear)), di, flags);
    for (size_t k = 0; k < 2 * n; ++k)
      if (flags[k] == 0) out[k] = phase_byte(re[k], im[k]);
  }
}

// The bytes of `count` responses; the last count mod 2 Lanes(d) through a
// copy of their own, filled up with zeros.
template <class D>
HWY_INLINE void PhaseBytesOf(D d, const double* HWY_RESTRICT re, const double* HWY_RESTRICT im,
                             size_t count, uint8_t* HWY_RESTRICT out) {
  const size_t lanes = 2 * hn::Lanes(d);
  size_t i = 0;
  for (; i + lanes <= count; i += lanes) PhaseBytesVector(d, re + i, im + i, out + i);
  if (i == count) return;
  HWY_ALIGN double re_rest[2 * hn::MaxLanes(d)] = {};
  HWY_ALIGN double im_rest[2 * hn::MaxLanes(d)] = {};
  uint8_t bytes[2 * hn::MaxLanes(d)];
  for (size_t k = i; k < count; ++k) {
    re_rest[k - i] = re[k];
    im_rest[k - i] = im[k];
  }
  PhaseBytesVector(d, re_rest, im_rest, bytes);
  for (size_t k = i; k < count; ++k) out[k] = bytes[k - i];
}
#else
// One lane: the definition itself.
template <class D>
HWY_INLINE void PhaseBytesOf(D, const double* HWY_RESTRICT re, const double* HWY_RESTRICT im, size_t count,
                             uint8_t* HWY_RESTRICT out) {
  for (size_t i = 0; i < count; ++i) out[i] = phase_byte(re[i], im[i]);
}
#endif

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#endif  // include guard per target
