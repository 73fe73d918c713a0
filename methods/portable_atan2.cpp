// atan2 for the methods' phase, the plain definition and its Highway kernel
// (methods/portable_atan2.h says what is computed and why).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "methods/portable_atan2.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "methods/portable_atan2.h"

#ifndef FRINGE_PORTABLE_ATAN2_ONCE
#define FRINGE_PORTABLE_ATAN2_ONCE
namespace fringe::methods::atan2_constants {

// atan(u) = u + u z P(z) / Q(z), z = u u, |u| <= 0.66 (Cephes, S. L. Moshier);
// Q's leading coefficient is 1.
constexpr double kP0 = -8.750608600031904122785E-1;
constexpr double kP1 = -1.615753718733365076637E1;
constexpr double kP2 = -7.500855792314704667340E1;
constexpr double kP3 = -1.228866684490136173410E2;
constexpr double kP4 = -6.485021904942025371773E1;
constexpr double kQ0 = 2.485846490142306297962E1;
constexpr double kQ1 = 1.650270098316988542046E2;
constexpr double kQ2 = 4.328810604912902668951E2;
constexpr double kQ3 = 4.853903996359136964868E2;
constexpr double kQ4 = 1.945506571482613964425E2;

// The intervals' bounds on |y| / |x|: the first ends where the rational
// function's accuracy does, the last starts at tan(3 pi / 8), so the middle
// one's u = (t - 1) / (t + 1) stays within (-0.21, tan(pi / 8)].
constexpr double kFirstEnd = 0.66;
constexpr double kTan3PiBy8 = 2.41421356237309504880;

// The offsets rounded to doubles and what rounding left of them: the
// correction goes into the small sum before the offset, where its bits count.
constexpr double kPiHi = 0x1.921fb54442d18p+1;
constexpr double kPiLo = 0x1.1a62633145c07p-53;
constexpr double kHalfPiHi = 0x1.921fb54442d18p+0;
constexpr double kHalfPiLo = 0x1.1a62633145c07p-54;
constexpr double kQuarterPiHi = 0x1.921fb54442d18p-1;
constexpr double kQuarterPiLo = 0x1.1a62633145c07p-55;
constexpr double kThreeQuarterPiHi = 0x1.2d97c7f3321d2p+1;
constexpr double kThreeQuarterPiLo = 0x1.a79394c9e8a0ap-54;

// Scaling by powers of two keeps |y| + |x| finite and the bounds' products
// exact enough: subnormal |x| would round 0.66 |x| to |x| itself and send
// u = 1 into the first interval.
constexpr double kLarge = 0x1p1022;
constexpr double kLargeScale = 0.25;
constexpr double kSmall = 0x1p-1000;
constexpr double kSmallScale = 0x1p200;

}  // namespace fringe::methods::atan2_constants
#endif

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// portable_atan2 of a vector of points: every lane takes the plain definition's
// operations in its order; the choices between intervals are selects.
template <class D, class V>
HWY_INLINE V Atan2Vector(D d, V y, V x) {
  using namespace fringe::methods::atan2_constants;
  const auto one = hn::Set(d, 1.0);
  const auto infinity = hn::Set(d, std::numeric_limits<double>::infinity());
  auto ax = hn::Abs(x);
  auto ay = hn::Abs(y);
  const auto both_infinite = hn::And(hn::Eq(ax, infinity), hn::Eq(ay, infinity));
  ax = hn::IfThenElse(both_infinite, one, ax);
  ay = hn::IfThenElse(both_infinite, one, ay);
  const auto larger = hn::Max(ax, ay);
  const auto scale = hn::IfThenElse(hn::Ge(larger, hn::Set(d, kLarge)), hn::Set(d, kLargeScale),
                                    hn::IfThenElse(hn::Lt(larger, hn::Set(d, kSmall)), hn::Set(d, kSmallScale), one));
  ax = hn::Mul(ax, scale);
  ay = hn::Mul(ay, scale);

  const auto left = hn::Lt(hn::CopySignToAbs(one, x), hn::Zero(d));  // x < 0, or x = -0
  const auto first = hn::Le(ay, hn::Mul(hn::Set(d, kFirstEnd), ax));
  const auto last = hn::Gt(ay, hn::Mul(hn::Set(d, kTan3PiBy8), ax));
  const auto first_den = hn::IfThenElse(hn::Eq(ax, hn::Zero(d)), one, ax);
  auto num = hn::IfThenElse(first, ay, hn::IfThenElse(last, hn::Neg(ax), hn::Sub(ay, ax)));
  const auto den = hn::IfThenElse(first, first_den, hn::IfThenElse(last, ay, hn::Add(ay, ax)));
  num = hn::IfThenElse(left, hn::Neg(num), num);
  const auto hi_right = hn::IfThenElse(first, hn::Zero(d),
                                       hn::IfThenElse(last, hn::Set(d, kHalfPiHi), hn::Set(d, kQuarterPiHi)));
  const auto lo_right = hn::IfThenElse(first, hn::Zero(d),
                                       hn::IfThenElse(last, hn::Set(d, kHalfPiLo), hn::Set(d, kQuarterPiLo)));
  const auto hi_left = hn::IfThenElse(first, hn::Set(d, kPiHi),
                                      hn::IfThenElse(last, hn::Set(d, kHalfPiHi), hn::Set(d, kThreeQuarterPiHi)));
  const auto lo_left = hn::IfThenElse(first, hn::Set(d, kPiLo),
                                      hn::IfThenElse(last, hn::Set(d, kHalfPiLo), hn::Set(d, kThreeQuarterPiLo)));
  const auto hi = hn::IfThenElse(left, hi_left, hi_right);
  const auto lo = hn::IfThenElse(left, lo_left, lo_right);

  const auto u = hn::Div(num, den);
  const auto z = hn::Mul(u, u);
  auto p = hn::Set(d, kP0);
  p = hn::Add(hn::Mul(p, z), hn::Set(d, kP1));
  p = hn::Add(hn::Mul(p, z), hn::Set(d, kP2));
  p = hn::Add(hn::Mul(p, z), hn::Set(d, kP3));
  p = hn::Add(hn::Mul(p, z), hn::Set(d, kP4));
  auto q = hn::Add(z, hn::Set(d, kQ0));
  q = hn::Add(hn::Mul(q, z), hn::Set(d, kQ1));
  q = hn::Add(hn::Mul(q, z), hn::Set(d, kQ2));
  q = hn::Add(hn::Mul(q, z), hn::Set(d, kQ3));
  q = hn::Add(hn::Mul(q, z), hn::Set(d, kQ4));
  const auto atan_u = hn::Add(u, hn::Mul(u, hn::Div(hn::Mul(z, p), q)));
  const auto angle = hn::CopySignToAbs(hn::Add(hi, hn::Add(atan_u, lo)), y);
  return hn::IfThenElse(hn::IsNaN(angle), hn::Set(d, std::numeric_limits<double>::quiet_NaN()), angle);
}

void PortableAtan2Row(const double* y, const double* x, int32_t count, double* out) {
  const hn::ScalableTag<double> d;
  const auto lanes = static_cast<int32_t>(hn::Lanes(d));
  int32_t i = 0;
  for (; i + lanes <= count; i += lanes) hn::StoreU(Atan2Vector(d, hn::LoadU(d, y + i), hn::LoadU(d, x + i)), d, out + i);
  fringe::methods::portable_atan2_row_plain(y, x, count, out, i);
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fringe {
HWY_EXPORT(PortableAtan2Row);
}  // namespace fringe

namespace fringe::methods {

double portable_atan2(double y, double x) {
  using namespace atan2_constants;
  double ax = std::fabs(x);
  double ay = std::fabs(y);
  if (ax == std::numeric_limits<double>::infinity() && ay == std::numeric_limits<double>::infinity()) {
    ax = 1.0;
    ay = 1.0;
  }
  // std::max and hn::Max disagree only where an argument is NaN, and then
  // the angle is NaN at any scale.
  const double larger = std::max(ax, ay);
  const double scale = larger >= kLarge ? kLargeScale : larger < kSmall ? kSmallScale : 1.0;
  ax = ax * scale;
  ay = ay * scale;

  const bool left = std::copysign(1.0, x) < 0.0;
  double num;
  double den;
  double hi;
  double lo;
  if (ay <= kFirstEnd * ax) {
    num = ay;
    den = ax == 0.0 ? 1.0 : ax;  // both zero: the angle of the axis
    hi = left ? kPiHi : 0.0;
    lo = left ? kPiLo : 0.0;
  } else if (ay > kTan3PiBy8 * ax) {
    num = -ax;
    den = ay;
    hi = kHalfPiHi;
    lo = kHalfPiLo;
  } else {
    num = ay - ax;
    den = ay + ax;
    hi = left ? kThreeQuarterPiHi : kQuarterPiHi;
    lo = left ? kThreeQuarterPiLo : kQuarterPiLo;
  }
  if (left) num = -num;

  const double u = num / den;
  const double z = u * u;
  double p = kP0;
  p = p * z + kP1;
  p = p * z + kP2;
  p = p * z + kP3;
  p = p * z + kP4;
  double q = z + kQ0;
  q = q * z + kQ1;
  q = q * z + kQ2;
  q = q * z + kQ3;
  q = q * z + kQ4;
  const double atan_u = u + u * (z * p / q);
  const double angle = std::copysign(hi + (atan_u + lo), y);
  return std::isnan(angle) ? std::numeric_limits<double>::quiet_NaN() : angle;
}

void portable_atan2_row_plain(const double* y, const double* x, int32_t count, double* out, int32_t from) {
  for (int32_t i = from; i < count; ++i) out[i] = portable_atan2(y[i], x[i]);
}

void portable_atan2_row(const double* y, const double* x, int32_t count, double* out) {
  HWY_DYNAMIC_DISPATCH(fringe::PortableAtan2Row)(y, x, count, out);
}

}  // namespace fringe::methods
#endif  // HWY_ONCE
