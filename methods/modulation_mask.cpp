// The modulation mask a vector of pixels at a time (Highway).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "methods/modulation_mask.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#include "methods/modulation_mask.h"

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// modulation_mask_plain a vector at a time (the same two comparisons), the
// last columns plainly.
void ModulationMask(const double* modulation, int32_t first, int32_t end, double least_modulation, uint8_t mark,
                    uint8_t* out) {
  const hn::ScalableTag<double> d;
  const hn::Rebind<int32_t, decltype(d)> di;
  const hn::Rebind<uint8_t, decltype(d)> du8;
  const auto lanes = static_cast<int32_t>(hn::Lanes(d));
  const auto least = hn::Set(d, least_modulation);
  const auto marked = hn::Set(d, static_cast<double>(mark));
  int32_t x = first;
  for (; x + lanes <= end; x += lanes) {
    const auto b = hn::LoadU(d, modulation + x);
    const auto usable = hn::And(hn::Gt(b, hn::Zero(d)), hn::Ge(b, least));
    hn::StoreU(hn::DemoteTo(du8, hn::DemoteTo(di, hn::IfThenElseZero(usable, marked))), du8, out + x);
  }
  fringe::methods::modulation_mask_plain(modulation, x, end, least_modulation, mark, out);
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fringe {
HWY_EXPORT(ModulationMask);
}  // namespace fringe

namespace fringe::methods {

void modulation_mask_plain(const double* modulation, int32_t first, int32_t end, double least_modulation,
                           uint8_t mark, uint8_t* out) {
  for (int32_t x = first; x < end; ++x) {
    const double b = modulation[x];
    out[x] = b > 0.0 && b >= least_modulation ? mark : 0;
  }
}

void modulation_mask(const double* modulation, int32_t first, int32_t end, double least_modulation, uint8_t mark,
                     uint8_t* out) {
  HWY_DYNAMIC_DISPATCH(fringe::ModulationMask)(modulation, first, end, least_modulation, mark, out);
}

void mark_modulated(PhaseField& field, uint8_t mark) {
  for (int32_t y = 0; y < field.height; ++y) {
    const RowRun run = field.runs[static_cast<std::size_t>(y)];
    if (!run.empty())
      modulation_mask(field.modulation.data() + field.at(0, y), run.first, run.end, field.least_modulation, mark,
                      field.data.data() + field.at(0, y));
  }
}

}  // namespace fringe::methods
#endif  // HWY_ONCE
