// The fringe orders by sweeps, a vector of pixels at a time. Where the order
// steps between neighbours add up to the same along every path (no noisy
// spot or hole the phase winds around), the orders do not depend on the
// order of the visits: then sweeping row by row away from the start, each
// row taking orders from the row before it and then along itself, gives
// every pixel the order the visiting fill (unwrap_orders.cpp) gives it.
// Afterwards every pair of neighbours is checked; where the steps do not add
// up, or an order would leave 1..254 (then the visiting order decides which
// pixels are reached), the sweeps are undone and the visiting fill runs. The
// visiting fill is the definition; this is its shortcut, tested against it
// at every target.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "scan/unwrap_sweeps.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#include <cstdint>

#include "image_processing.h"

#ifndef FRINGE_UNWRAP_SWEEPS_ONCE
#define FRINGE_UNWRAP_SWEEPS_ONCE
namespace fringe {

// Mask values that are not orders.
constexpr uint8_t kExcluded = 0;
constexpr uint8_t kNotReached = 255;
constexpr uint8_t kStartOrder = 128;

// Sweeps over all rows after the first pair, for holes whose far side is
// reached only by going back towards the start, before the visiting fill
// takes over.
constexpr int kMoreSweeps = 8;

inline bool has_order(uint8_t value) { return value != kExcluded && value != kNotReached; }

// The order step from phase byte `from` to `to`: +1 where the signed
// difference lies below -128, -1 from 128 on (next_order of the fill).
inline int order_step(uint8_t from, uint8_t to) {
  const int d = static_cast<int8_t>(to) - static_cast<int8_t>(from);
  return static_cast<int>(d < -128) - static_cast<int>(d >= 128);
}

// The order of pixel `to` reached from a pixel of order `order`; 0 where it
// would leave 1..254 (the pixel is not reached that way).
inline uint8_t order_from(uint8_t order, uint8_t from, uint8_t to) {
  const int next = order + order_step(from, to);
  return next > kExcluded && next < kNotReached ? static_cast<uint8_t>(next) : kExcluded;
}

enum class Pairs { agree, unreached_neighbour, disagree };

// One pair of neighbours a, b: both with an order must agree both ways (b's
// is a's plus the step from a to b, and the other way round, which fails for
// a difference of exactly half a period); one with an order beside one not
// reached means the fill is not finished.
inline Pairs pair_of(uint8_t a, uint8_t b, uint8_t phase_a, uint8_t phase_b) {
  if (has_order(a) && has_order(b)) {
    const bool opposite = static_cast<uint8_t>(phase_b - phase_a) == 0x80;
    return opposite || b != static_cast<uint8_t>(a + order_step(phase_a, phase_b)) ? Pairs::disagree
                                                                                  : Pairs::agree;
  }
  if ((has_order(a) && b == kNotReached) || (has_order(b) && a == kNotReached)) return Pairs::unreached_neighbour;
  return Pairs::agree;
}

}  // namespace fringe
#endif

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D8 = hn::ScalableTag<uint8_t>;

// Lanes with an order: 1..254.
HWY_INLINE hn::Mask<D8> WithOrder(D8 d, hn::Vec<D8> v) {
  return hn::And(hn::Ne(v, hn::Zero(d)), hn::Ne(v, hn::Set(d, kNotReached)));
}

// order_step in byte lanes: +1 where the bytes fall (signed) and their
// wrapped difference is positive, -1 where they rise and it is negative.
HWY_INLINE hn::Vec<D8> OrderSteps(D8 d, hn::Vec<D8> from, hn::Vec<D8> to) {
  const hn::RebindToSigned<D8> di;
  const auto f = hn::BitCast(di, from), t = hn::BitCast(di, to);
  const auto wrapped = hn::Sub(t, f);
  const auto zero = hn::Zero(di);
  const auto up = hn::And(hn::Lt(t, f), hn::Gt(wrapped, zero));
  const auto down = hn::And(hn::Gt(t, f), hn::Lt(wrapped, zero));
  return hn::BitCast(d, hn::IfThenElse(up, hn::Set(di, 1), hn::IfThenElseZero(down, hn::Set(di, -1))));
}

// Whether the plane holds nothing but 0 and 255 (no orders, no other marks).
bool OnlyUnmarked(const GreyImage* mask) {
  const D8 d;
  const auto lanes = static_cast<int32_t>(hn::Lanes(d));
  for (int32_t y = 0; y < mask->height; ++y) {
    const uint8_t* const row = img_line(mask, y);
    int32_t x = 0;
    for (; x + lanes <= mask->width; x += lanes)
      if (!hn::AllFalse(d, WithOrder(d, hn::LoadU(d, row + x)))) return false;
    for (; x < mask->width; ++x)
      if (has_order(row[x])) return false;
  }
  return true;
}

// The pixels of `row` not reached yet that have a next pixel along the row
// with an order (the one before them for step +1, after them for -1) take
// their orders from it, and so on along the row.
void SpreadAlongRow(uint8_t* row, const uint8_t* phase, int32_t width) {
  const D8 d;
  const auto lanes = static_cast<int32_t>(hn::Lanes(d));
  const auto not_reached = hn::Set(d, kNotReached);
  // Walks from x in the direction of step while pixels take orders; returns
  // the next pixel to look at (x itself has an order, or cannot take one).
  const auto walk = [row, phase](int32_t x, int32_t end, int32_t step) {
    for (; x != end && row[x] == kNotReached; x += step) {
      const uint8_t next = order_from(row[x - step], phase[x - step], phase[x]);
      if (next == kExcluded) break;
      row[x] = next;
    }
    return x + step;
  };
  // Forwards: pixels 1.. after one with an order.
  for (int32_t x = 1; x < width;) {
    if (x + lanes <= width) {
      const auto starts = hn::And(hn::Eq(hn::LoadU(d, row + x), not_reached), WithOrder(d, hn::LoadU(d, row + x - 1)));
      const intptr_t first = hn::FindFirstTrue(d, starts);
      x = first < 0 ? x + lanes : walk(x + static_cast<int32_t>(first), width, 1);
    } else {
      x = row[x] == kNotReached && has_order(row[x - 1]) ? walk(x, width, 1) : x + 1;
    }
  }
  // Backwards: pixels ..width - 2 before one with an order, a vector at a
  // time skipping those without a start.
  for (int32_t last = width - 2; last >= 0;) {
    if (last + 1 >= lanes) {
      const int32_t base = last + 1 - lanes;
      const auto starts =
          hn::And(hn::Eq(hn::LoadU(d, row + base), not_reached), WithOrder(d, hn::LoadU(d, row + base + 1)));
      if (hn::AllFalse(d, starts)) {
        last = base - 1;
        continue;
      }
    }
    last = row[last] == kNotReached && has_order(row[last + 1]) ? walk(last, -1, -1) : last - 1;
  }
}

// The pixels of `row` not reached yet whose neighbour in the row `from`
// beside it has an order take theirs from it, then the others of `row` from
// them. Whether any pixel took an order.
bool OrdersFromRow(uint8_t* row, const uint8_t* phase, const uint8_t* from, const uint8_t* from_phase,
                   int32_t width) {
  const D8 d;
  const auto lanes = static_cast<int32_t>(hn::Lanes(d));
  const auto not_reached = hn::Set(d, kNotReached);
  bool taken = false;
  int32_t x = 0;
  for (; x + lanes <= width; x += lanes) {
    const auto here = hn::LoadU(d, row + x);
    const auto there = hn::LoadU(d, from + x);
    const auto open = hn::And(hn::Eq(here, not_reached), WithOrder(d, there));
    if (hn::AllFalse(d, open)) continue;
    const auto next = hn::Add(there, OrderSteps(d, hn::LoadU(d, from_phase + x), hn::LoadU(d, phase + x)));
    const auto take = hn::And(open, WithOrder(d, next));
    hn::BlendedStore(next, take, d, row + x);
    taken = taken || !hn::AllFalse(d, take);
  }
  for (; x < width; ++x) {
    if (row[x] != kNotReached || !has_order(from[x])) continue;
    const uint8_t next = order_from(from[x], from_phase[x], phase[x]);
    if (next == kExcluded) continue;
    row[x] = next;
    taken = true;
  }
  if (taken) SpreadAlongRow(row, phase, width);
  return taken;
}

// Every pixel against its right and its lower neighbour.
Pairs CheckPlane(const GreyImage* mask, const GreyImage* phase) {
  const D8 d;
  const auto lanes = static_cast<int32_t>(hn::Lanes(d));
  const int32_t width = mask->width;
  const int32_t height = mask->height;
  const auto not_reached = hn::Set(d, kNotReached);
  auto disagree = hn::FirstN(d, 0);
  auto unreached = hn::FirstN(d, 0);
  bool plain_disagree = false, plain_unreached = false;
  const auto note = [&](Pairs pairs) {
    plain_disagree = plain_disagree || pairs == Pairs::disagree;
    plain_unreached = plain_unreached || pairs == Pairs::unreached_neighbour;
  };
  const auto check = [&](hn::Vec<D8> a, hn::Vec<D8> b, hn::Vec<D8> phase_a, hn::Vec<D8> phase_b) {
    const auto a_ordered = WithOrder(d, a), b_ordered = WithOrder(d, b);
    // Half a period apart: the wrapped difference is -128.
    const auto opposite = hn::Eq(hn::Sub(phase_b, phase_a), hn::Set(d, 0x80));
    const auto differ = hn::Or(hn::Ne(b, hn::Add(a, OrderSteps(d, phase_a, phase_b))), opposite);
    disagree = hn::Or(disagree, hn::And(hn::And(a_ordered, b_ordered), differ));
    unreached = hn::Or(unreached, hn::Or(hn::And(a_ordered, hn::Eq(b, not_reached)),
                                         hn::And(b_ordered, hn::Eq(a, not_reached))));
  };
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* const orders = img_line(mask, y);
    const uint8_t* const phases = img_line(phase, y);
    const bool below = y + 1 < height;
    const uint8_t* const lower_orders = below ? img_line(mask, y + 1) : nullptr;
    const uint8_t* const lower_phases = below ? img_line(phase, y + 1) : nullptr;
    int32_t x = 0;
    // Vectors whose right neighbours lie in the row.
    for (; x + lanes < width; x += lanes) {
      const auto a = hn::LoadU(d, orders + x);
      const auto right = hn::LoadU(d, orders + x + 1);
      // The last row has no lower neighbours: its own pixels stand in, and
      // agree with themselves.
      const auto lower = below ? hn::LoadU(d, lower_orders + x) : a;
      if (hn::AllFalse(d, hn::Or(hn::Or(WithOrder(d, a), WithOrder(d, right)), WithOrder(d, lower)))) continue;
      const auto phase_a = hn::LoadU(d, phases + x);
      check(a, right, phase_a, hn::LoadU(d, phases + x + 1));
      if (below) check(a, lower, phase_a, hn::LoadU(d, lower_phases + x));
    }
    for (; x < width; ++x) {
      if (x + 1 < width) note(pair_of(orders[x], orders[x + 1], phases[x], phases[x + 1]));
      if (below) note(pair_of(orders[x], lower_orders[x], phases[x], lower_phases[x]));
    }
    if (plain_disagree || !hn::AllFalse(d, disagree)) return Pairs::disagree;
  }
  return plain_unreached || !hn::AllFalse(d, unreached) ? Pairs::unreached_neighbour : Pairs::agree;
}

// Every order back to 255, as before the sweeps.
void UndoSweeps(GreyImage* mask) {
  const D8 d;
  const auto lanes = static_cast<int32_t>(hn::Lanes(d));
  for (int32_t y = 0; y < mask->height; ++y) {
    uint8_t* const row = img_line(mask, y);
    int32_t x = 0;
    for (; x + lanes <= mask->width; x += lanes)
      hn::BlendedStore(hn::Set(d, kNotReached), WithOrder(d, hn::LoadU(d, row + x)), d, row + x);
    for (; x < mask->width; ++x)
      if (has_order(row[x])) row[x] = kNotReached;
  }
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fringe {
HWY_EXPORT(OnlyUnmarked);
HWY_EXPORT(OrdersFromRow);
HWY_EXPORT(SpreadAlongRow);
HWY_EXPORT(CheckPlane);
HWY_EXPORT(UndoSweeps);

namespace {

// Rows first..last (in the direction of `step`), each from the row before it;
// none where first lies beyond last.
bool sweep(GreyImage* mask, const GreyImage* phase, int32_t first, int32_t last, int32_t step) {
  const auto orders_from_row = HWY_DYNAMIC_DISPATCH(OrdersFromRow);
  bool taken = false;
  for (int32_t y = first; y != last + step; y += step)
    taken |= orders_from_row(img_line(mask, y), img_line(phase, y), img_line(mask, y - step),
                             img_line(phase, y - step), mask->width);
  return taken;
}

}  // namespace
}  // namespace fringe

bool unwrap_by_sweeps(GreyImage* mask, const GreyImage* phase) {
  using namespace fringe;
  if (mask == nullptr || phase == nullptr || mask->type != 1 || phase->type != 1 || mask->width != phase->width ||
      mask->height != phase->height)
    return false;
  const int32_t width = mask->width;
  const int32_t height = mask->height;
  uint8_t* const start_row = img_line(mask, height / 2);
  if (start_row[width / 2] != kNotReached || !HWY_DYNAMIC_DISPATCH(OnlyUnmarked)(mask)) return false;
  start_row[width / 2] = kStartOrder;
  HWY_DYNAMIC_DISPATCH(SpreadAlongRow)(start_row, img_line(phase, height / 2), width);
  sweep(mask, phase, height / 2 + 1, height - 1, 1);
  sweep(mask, phase, height / 2 - 1, 0, -1);
  for (int more = 0;; ++more) {
    const Pairs pairs = HWY_DYNAMIC_DISPATCH(CheckPlane)(mask, phase);
    if (pairs == Pairs::agree) return true;
    if (pairs == Pairs::disagree || more == kMoreSweeps) break;
    const bool down = sweep(mask, phase, 1, height - 1, 1);
    const bool up = sweep(mask, phase, height - 2, 0, -1);
    if (!down && !up) break;  // an order outside 1..254 left a pixel unreached
  }
  HWY_DYNAMIC_DISPATCH(UndoSweeps)(mask);
  return false;
}
#endif  // HWY_ONCE
