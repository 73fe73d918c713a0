// class_levels (colour_classes.h) in vectors: a whole map is 65536 levels,
// and the division of each takes most of its drawing time.
#include "render/colour_classes.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "render/class_levels.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// class_level lane by lane: both limits and the level's own range checked,
// the level rounded to nearest (halves to even, as lrint in the default
// mode) by adding and removing 1.5 * 2^52; the rest of a column value by
// value.
void ClassLevels(const double* values, int n, double min, double max, int16_t* levels) {
  const hn::ScalableTag<double> d;
  const hn::Rebind<int32_t, decltype(d)> d32;
  const hn::Rebind<int16_t, decltype(d)> d16;
  const int lanes = static_cast<int>(hn::Lanes(d));
  const double range = max - min;
  const auto shift = hn::Set(d, 6755399441055744.0);
  const auto none = hn::Set(d, -1.0);
  int i = 0;
  for (; i + lanes <= n; i += lanes) {
    const auto v = hn::LoadU(d, values + i);
    const auto level = hn::Div(hn::Mul(hn::Sub(v, hn::Set(d, min)), hn::Set(d, 255.0)), hn::Set(d, range));
    const auto rounded = hn::Sub(hn::Add(level, shift), shift);
    const auto inside = hn::And(hn::Ge(v, hn::Set(d, min)), hn::Le(v, hn::Set(d, max)));
    const auto valid = hn::And(inside, hn::And(hn::Ge(level, hn::Zero(d)), hn::Le(level, hn::Set(d, 255.0))));
    const auto result =
        range == 0.0 ? hn::IfThenElse(inside, hn::Set(d, 1.0), none) : hn::IfThenElse(valid, rounded, none);
    hn::StoreU(hn::DemoteTo(d16, hn::DemoteTo(d32, result)), d16, levels + i);
  }
  for (; i < n; ++i) levels[i] = static_cast<int16_t>(class_level(values[i], min, max));
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fringe {
HWY_EXPORT(ClassLevels);
}  // namespace fringe

void class_levels(const double* values, int n, double min, double max, int16_t* levels) {
  HWY_DYNAMIC_DISPATCH(fringe::ClassLevels)(values, n, min, max, levels);
}
#endif
