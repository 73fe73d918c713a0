#include "simulation/synthesis_kernels.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "simulation/synthesis_kernels.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#include <numbers>

#include "simulation/cosine_estimate.h"
#include "simulation/grey_levels.h"
#include "simulation/random_generator.h"

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DD = hn::ScalableTag<double>;
using VD = hn::Vec<DD>;
using DU = hn::RebindToUnsigned<DD>;
using VU = hn::Vec<DU>;

// The most lanes this target's vectors hold (SVE's length is the
// processor's, up to 256 bytes).
constexpr std::size_t kMaxDoubles = HWY_MAX_BYTES / sizeof(double);

// Appends the columns j + k of the lanes k set in `mask` to `listed`.
template <class M>
HWY_INLINE std::size_t list_lanes(DD d, M mask, std::size_t j, uint32_t* listed, std::size_t count) {
  if (HWY_LIKELY(hn::AllFalse(d, mask))) return count;
  uint8_t bits[8] = {};
  hn::StoreMaskBits(d, mask, bits);
  for (std::size_t k = 0; k < hn::Lanes(d); ++k)
    if ((bits[k / 8] >> (k % 8) & 1) != 0) listed[count++] = static_cast<uint32_t>(j + k);
  return count;
}

// Levels clamped to 0 .. 254 (not-a-number to 0) truncated to bytes, as
// grey_byte does.
HWY_INLINE void store_grey_bytes(DD d, VD v, uint8_t* out) {
  const hn::Rebind<int32_t, DD> d32;
  const hn::Rebind<uint8_t, DD> d8;
  const VD low = hn::IfThenElseZero(hn::Gt(v, hn::Zero(d)), v);
  const VD top = hn::Set(d, 254.0);
  const VD clamped = hn::IfThenElse(hn::Lt(low, top), low, top);
  hn::StoreU(hn::DemoteTo(d8, hn::DemoteTo(d32, clamped)), d8, out);
}

// The lanes of v within `margin` of an integer (levels lie far below 2^51).
HWY_INLINE hn::Mask<DD> near_integers(DD d, VD v, VD margin) {
  const VD shift = hn::Set(d, kRoundingShift);
  const VD distance = hn::Sub(v, hn::Sub(hn::Add(v, shift), shift));
  return hn::And(hn::Lt(distance, margin), hn::Gt(distance, hn::Neg(margin)));
}

// The sphere's unshifted phases 2 pi (x + z t) / P of columns with x and
// r^2 = x^2 + y^2 = r_sq. Every sqrt is correctly rounded: the C library's
// to the last bit. Outside the sphere (and for not-a-number) the root of 0
// is taken; those columns keep the floor level.
HWY_INLINE VD SpherePhases(DD d, const SphereGeometry& g, VD x, VD r_sq) {
  const VD rest = hn::Sub(hn::Set(d, g.radius_sq), r_sq);
  const VD z = hn::Sub(hn::Sqrt(hn::IfThenElseZero(hn::Gt(rest, hn::Zero(d)), rest)), hn::Set(d, g.radius));
  return hn::Div(hn::Mul(hn::Set(d, 2.0 * std::numbers::pi), hn::Add(x, hn::Mul(z, hn::Set(d, g.t)))),
                 hn::Set(d, g.period_mm));
}

// Stores the levels of columns j.. from their unshifted phases (the floor
// level outside the sphere) and lists the columns whose shifted phase lies
// beyond the estimate's range; returns the count listed so far.
HWY_INLINE std::size_t StoreSphereLevels(DD d, const SphereGeometry& g, std::size_t j, VD r_sq, VD phases,
                                         double* levels, uint32_t* listed, std::size_t count) {
  // The shift is added after the division, as SphereGeometry::phase adds
  // it; the range check below takes the shifted phase the cosine sees.
  const VD phi = hn::Add(phases, hn::Set(d, g.phase_shift));
  const VD c = CosineEstimate(d, phi);
  const VD level = hn::Sub(hn::Mul(hn::Add(hn::Mul(hn::Set(d, g.contrast), c), hn::Set(d, 1.0)), hn::Set(d, 127.0)),
                           hn::Set(d, g.shift));
  const auto inside = hn::Lt(r_sq, hn::Set(d, g.radius_sq));
  hn::StoreU(hn::IfThenElse(inside, level, hn::LoadU(d, g.floor_level + j)), d, levels + j);
  const VD range = hn::Set(d, kCosineEstimateRange);
  const auto within = hn::And(hn::Le(phi, range), hn::Ge(phi, hn::Neg(range)));
  return list_lanes(d, hn::AndNot(within, inside), j, listed, count);
}

KernelRow EstimateSphereRow(const SphereGeometry& geometry, double y_sq, double* levels, uint32_t* listed) {
  // A copy no store through `levels` can alias: its numbers stay in registers.
  const SphereGeometry g = geometry;
  const DD d;
  const std::size_t lanes = hn::Lanes(d);
  const VD y = hn::Set(d, y_sq);
  KernelRow row{0, 0};
  std::size_t j = 0;
  for (; j + lanes <= g.width; j += lanes) {
    const VD r_sq = hn::Add(hn::LoadU(d, g.column_x_sq + j), y);
    const VD phases = SpherePhases(d, g, hn::LoadU(d, g.column_x + j), r_sq);
    row.listed = StoreSphereLevels(d, g, j, r_sq, phases, levels, listed, row.listed);
  }
  row.done = j;
  return row;
}

std::size_t SpherePhaseRow(const SphereGeometry& geometry, double y_sq, double* phases) {
  const SphereGeometry g = geometry;
  const DD d;
  const std::size_t lanes = hn::Lanes(d);
  const VD y = hn::Set(d, y_sq);
  std::size_t j = 0;
  for (; j + lanes <= g.width; j += lanes) {
    const VD r_sq = hn::Add(hn::LoadU(d, g.column_x_sq + j), y);
    hn::StoreU(SpherePhases(d, g, hn::LoadU(d, g.column_x + j), r_sq), d, phases + j);
  }
  return j;
}

KernelRow ShiftedSphereRow(const SphereGeometry& geometry, double y_sq, const double* phases, double* levels,
                           uint32_t* listed) {
  const SphereGeometry g = geometry;
  const DD d;
  const std::size_t lanes = hn::Lanes(d);
  const VD y = hn::Set(d, y_sq);
  KernelRow row{0, 0};
  std::size_t j = 0;
  for (; j + lanes <= g.width; j += lanes) {
    const VD r_sq = hn::Add(hn::LoadU(d, g.column_x_sq + j), y);
    row.listed = StoreSphereLevels(d, g, j, r_sq, hn::LoadU(d, phases + j), levels, listed, row.listed);
  }
  row.done = j;
  return row;
}

KernelRow EstimateRayRow(const double* columns, std::size_t width, double per_column, double phase_shift,
                         double contrast, double dark_shift, double* levels, uint32_t* listed) {
  const DD d;
  const std::size_t lanes = hn::Lanes(d);
  const VD scale = hn::Set(d, per_column);
  const VD shift = hn::Set(d, phase_shift);
  const VD range = hn::Set(d, kCosineEstimateRange);
  KernelRow row{0, 0};
  std::size_t j = 0;
  for (; j + lanes <= width; j += lanes) {
    const VD u = hn::LoadU(d, columns + j);
    const auto lit = hn::Eq(u, u);  // not a number: dark
    // The product, then the sum, as the plain definition takes them.
    const VD phi = hn::Add(hn::Mul(scale, hn::IfThenElseZero(lit, u)), shift);
    const VD c = CosineEstimate(d, phi);
    const VD level = hn::Sub(hn::Mul(hn::Add(hn::Mul(hn::Set(d, contrast), c), hn::Set(d, 1.0)), hn::Set(d, 127.0)),
                             hn::Set(d, dark_shift));
    hn::StoreU(hn::IfThenElseZero(lit, level), d, levels + j);
    const auto within = hn::And(hn::Le(phi, range), hn::Ge(phi, hn::Neg(range)));
    row.listed = list_lanes(d, hn::AndNot(within, lit), j, listed, row.listed);
  }
  row.done = j;
  return row;
}

KernelRow CleanGreyRow(const double* levels, std::size_t width, double margin, uint8_t* line, uint32_t* listed) {
  const DD d;
  const std::size_t lanes = hn::Lanes(d);
  const VD margins = hn::Set(d, margin);
  KernelRow row{0, 0};
  std::size_t j = 0;
  for (; j + lanes <= width; j += lanes) {
    const VD v = hn::LoadU(d, levels + j);
    store_grey_bytes(d, v, line + j);
    row.listed = list_lanes(d, near_integers(d, v, margins), j, listed, row.listed);
  }
  row.done = j;
  return row;
}

// state * multiplier mod 2^64 lane by lane, from the 32-bit halves (only
// AVX-512 multiplies 64-bit lanes).
HWY_INLINE VU times(DU du, VU state, uint64_t multiplier) {
#if HWY_TARGET == HWY_SCALAR
  return hn::Set(du, hn::GetLane(state) * multiplier);
#else
  const hn::Repartition<uint32_t, DU> d32;
  const VU low = hn::Set(du, multiplier & 0xFFFFFFFFU);
  const VU high = hn::Set(du, multiplier >> 32);
  const VU cross = hn::Add(hn::MulEven(hn::BitCast(d32, hn::ShiftRight<32>(state)), hn::BitCast(d32, low)),
                           hn::MulEven(hn::BitCast(d32, state), hn::BitCast(d32, high)));
  return hn::Add(hn::MulEven(hn::BitCast(d32, state), hn::BitCast(d32, low)), hn::ShiftLeft<32>(cross));
#endif
}
HWY_INLINE VU jumped(DU du, VU state, const RandomJump& jump) {
  return hn::Add(times(du, state, jump.multiplier), hn::Set(du, jump.increment));
}

// Draws as doubles: the 31 bits of each state's draw, placed in a double's
// mantissa under 2^52 and the 2^52 taken off again (exact).
HWY_INLINE VD draw_values(DD d, VU bits_below_32) {
  const DU du;
  const VU placed = hn::Or(bits_below_32, hn::Set(du, 0x4330000000000000ULL));
  return hn::Sub(hn::BitCast(d, placed), hn::Set(d, 4503599627370496.0));  // 2^52
}

// a mod bound for integers 0 <= a < 2^31 held as doubles, bound 1 .. 2^32,
// with `inverse` the double nearest 1 / bound: the quotient a * inverse,
// rounded down, is the integer quotient or one off it (the product's error
// is far below 1 for quotients below 2^31), and one correction either way
// makes the remainder exact. Every step is exact in doubles.
HWY_INLINE VD remainder_of(DD d, VD a, VD bound, VD inverse) {
  const VD shift = hn::Set(d, kRoundingShift);
  const VD estimate = hn::Mul(a, inverse);
  VD q = hn::Sub(hn::Add(estimate, shift), shift);
  q = hn::IfThenElse(hn::Gt(q, estimate), hn::Sub(q, hn::Set(d, 1.0)), q);
  VD r = hn::Sub(a, hn::Mul(q, bound));
  r = hn::IfThenElse(hn::Lt(r, hn::Zero(d)), hn::Add(r, bound), r);
  return hn::IfThenElse(hn::Ge(r, bound), hn::Sub(r, bound), r);
}

KernelRow NoisyGreyRow(const Noise& noise, double margin, const double* levels, std::size_t width,
                       uint64_t first, uint8_t* line, uint32_t* listed) {
  const DD d;
  const DU du;
  const std::size_t lanes = hn::Lanes(d);
  const RandomJump pixel = random_jump(static_cast<uint64_t>(noise.draws));
  const RandomJump step = random_jump(static_cast<uint64_t>(noise.draws) * lanes);
  // The lanes start a pixel's draws apart and step a vector's pixels.
  HWY_ALIGN uint64_t starts[kMaxDoubles];
  for (std::size_t k = 0; k < lanes; ++k, first = jumped_state(first, pixel)) starts[k] = first;
  VU states = hn::Load(du, starts);
  const VU low_31 = hn::Set(du, 0x7FFFFFFFU);
  const VD shift = hn::Set(d, kRoundingShift);
  const VD margins = hn::Set(d, margin);
  const VD additive_bound = hn::Set(d, noise.additive_bound);
  const VD additive_inverse = hn::Set(d, noise.additive_inverse);
  const VD span = hn::Set(d, noise.span);
  const VD span_inverse = hn::Set(d, noise.span_inverse);
  const VD low = hn::Set(d, static_cast<double>(noise.low));
  const VD weight = hn::Set(d, noise.weight);
  KernelRow row{0, 0};
  std::size_t j = 0;
  for (; j + lanes <= width; j += lanes) {
    // (-1)^k with k = draw mod 2 + 1: -1 for an even draw, +1 for an odd one.
    const VD odd = draw_values(d, hn::And(hn::ShiftRight<32>(states), hn::Set(du, 1)));
    const VD sign = hn::Sub(hn::Mul(hn::Set(d, 2.0), odd), hn::Set(d, 1.0));
    VU next = states;
    VD amount = hn::Zero(d);
    VD n = hn::Zero(d);
    if (noise.additive) {
      next = jumped(du, next, kOneDraw);
      amount = remainder_of(d, draw_values(d, hn::And(hn::ShiftRight<32>(next), low_31)), additive_bound,
                            additive_inverse);
    }
    if (noise.proportional) {
      next = jumped(du, next, kOneDraw);
      const VD r = remainder_of(d, draw_values(d, hn::And(hn::ShiftRight<32>(next), low_31)), span, span_inverse);
      // r / span as shaped_value divides, or by the exact reciprocal when
      // the span is a power of two (which gives the same quotient).
      const VD u = noise.span_power_of_two ? hn::Mul(r, span_inverse) : hn::Div(r, span);
      const VD shaped = hn::Add(low, hn::Mul(span, hn::Mul(u, u)));
      n = hn::Sub(hn::Add(shaped, shift), shift);  // nearest, halves to even
    }
    const VD v = hn::LoadU(d, levels + j);
    const VD noisy =
        hn::Add(hn::Add(v, hn::Mul(amount, sign)), hn::Div(hn::Mul(hn::Mul(n, weight), v), hn::Set(d, 255.0)));
    store_grey_bytes(d, noisy, line + j);
    row.listed = list_lanes(d, near_integers(d, noisy, margins), j, listed, row.listed);
    states = jumped(du, states, step);
  }
  row.done = j;
  return row;
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fringe {
HWY_EXPORT(EstimateSphereRow);
HWY_EXPORT(SpherePhaseRow);
HWY_EXPORT(ShiftedSphereRow);
HWY_EXPORT(EstimateRayRow);
HWY_EXPORT(CleanGreyRow);
HWY_EXPORT(NoisyGreyRow);
}  // namespace fringe

KernelRow estimate_sphere_row(const SphereGeometry& g, double y_sq, double* levels, uint32_t* listed) {
  return HWY_DYNAMIC_DISPATCH(fringe::EstimateSphereRow)(g, y_sq, levels, listed);
}
std::size_t sphere_phase_row(const SphereGeometry& g, double y_sq, double* phases) {
  return HWY_DYNAMIC_DISPATCH(fringe::SpherePhaseRow)(g, y_sq, phases);
}
KernelRow shifted_sphere_row(const SphereGeometry& g, double y_sq, const double* phases, double* levels,
                             uint32_t* listed) {
  return HWY_DYNAMIC_DISPATCH(fringe::ShiftedSphereRow)(g, y_sq, phases, levels, listed);
}
KernelRow estimate_ray_row(const double* columns, std::size_t width, double per_column, double phase_shift,
                           double contrast, double dark_shift, double* levels, uint32_t* listed) {
  return HWY_DYNAMIC_DISPATCH(fringe::EstimateRayRow)(columns, width, per_column, phase_shift, contrast, dark_shift,
                                                      levels, listed);
}
KernelRow clean_grey_row(const double* levels, std::size_t width, double margin, uint8_t* line,
                         uint32_t* listed) {
  return HWY_DYNAMIC_DISPATCH(fringe::CleanGreyRow)(levels, width, margin, line, listed);
}
KernelRow noisy_grey_row(const Noise& noise, double margin, const double* levels, std::size_t width,
                         uint64_t first, uint8_t* line, uint32_t* listed) {
  return HWY_DYNAMIC_DISPATCH(fringe::NoisyGreyRow)(noise, margin, levels, width, first, line, listed);
}
#endif
