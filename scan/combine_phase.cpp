// Orders and phase bytes into the 16-bit plane of the unwrapped phase: the
// row kernel works in 16-bit lanes.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "scan/combine_phase.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#include <cstring>

#include "image_processing.h"

#ifndef FRINGE_COMBINE_PHASE_ONCE
#define FRINGE_COMBINE_PHASE_ONCE
namespace fringe {

// The pixels [from, width) of a row: order * 256 + signed phase byte as
// 16-bit words in the machine's byte order. Orders 1..254 give 128..65151,
// never 0: 0 means no phase (order 0 excluded, 255 not reached).
inline void combine_row_plain(const uint8_t* orders, const uint8_t* phases, uint8_t* target, int32_t width,
                              int32_t from = 0) {
  for (int32_t x = from; x < width; ++x) {
    const uint8_t order = orders[x];
    const auto value = order == 0 || order == 255
                           ? uint16_t{0}
                           : static_cast<uint16_t>(order * 256 + static_cast<int8_t>(phases[x]));
    std::memcpy(target + 2 * x, &value, sizeof value);
  }
}

}  // namespace fringe
#endif

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// combine_row_plain a vector of 16-bit lanes at a time: the order shifted
// into the high byte plus the sign-extended phase byte, modulo 2^16 (exact:
// the value fits), cleared where the order is 0 or 255; the rest plainly.
void CombineRow(const uint8_t* orders, const uint8_t* phases, uint8_t* target, int32_t width) {
  const hn::ScalableTag<uint16_t> du16;
  const hn::RebindToSigned<decltype(du16)> di16;
  const hn::Rebind<uint8_t, decltype(du16)> du8;
  const hn::Rebind<int8_t, decltype(du16)> di8;
  const auto lanes = static_cast<int32_t>(hn::Lanes(du16));
  const auto none = hn::Zero(du16);
  const auto all = hn::Set(du16, 255);
  int32_t x = 0;
  for (; x + lanes <= width; x += lanes) {
    const auto order = hn::PromoteTo(du16, hn::LoadU(du8, orders + x));
    const auto phase = hn::BitCast(du16, hn::PromoteTo(di16, hn::LoadU(di8, reinterpret_cast<const int8_t*>(phases + x))));
    const auto value = hn::Add(hn::ShiftLeft<8>(order), phase);
    const auto without = hn::Or(hn::Eq(order, none), hn::Eq(order, all));
    hn::StoreU(hn::IfThenZeroElse(without, value), du16, reinterpret_cast<uint16_t*>(target + 2 * x));
  }
  combine_row_plain(orders, phases, target, width, x);
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fringe {
HWY_EXPORT(CombineRow);
}  // namespace fringe

void combine_phase(GreyImage* out, const GreyImage* mask, const GreyImage* phase) {
  if (out == nullptr || mask == nullptr || phase == nullptr) return;
  if (out->type != 2 || mask->type != 1 || phase->type != 1) return;
  if (out->width != mask->width || out->height != mask->height ||
      phase->width != mask->width || phase->height != mask->height)
    return;
  for (int32_t y = 0; y < out->height; ++y)
    HWY_DYNAMIC_DISPATCH(fringe::CombineRow)(img_line(mask, y), img_line(phase, y), img_line(out, y), out->width);
}
#endif
