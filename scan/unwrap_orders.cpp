#include <immintrin.h>

#include <cstddef>
#include <memory>
#include <new>

#include "image_processing.h"
#include "scan/cpu_features.h"
#include "scan/lane_masks.h"

namespace {

// Mask values that are not orders.
constexpr uint8_t kExcluded = 0;
constexpr uint8_t kNotReached = 255;
constexpr int kStartOrder = 128;

struct PixelAt {
  uint16_t x;
  uint16_t y;
};

}  // namespace

namespace {

// The order a step from a pixel of order `order` and phase p to a neighbour
// of phase byte `there` gives it: one more where the phase falls by more than
// half a period, one less where it rises by half a period or more.
inline int next_order(int order, int p, uint8_t there) {
  const int d = static_cast<int8_t>(there) - p;
  return order + static_cast<int>(d < -128) - static_cast<int>(d >= 128);
}
// Beyond 1..254 an order would read as excluded or not reached: the pixel
// keeps 255 (no phase) unless another neighbour reaches it.
inline bool holds_order(int next) { return next > kExcluded && next < kNotReached; }

// Whether no pixel of the outermost rows and columns can be reached: then
// the fill never steps off the picture and needs no bounds.
bool border_unreachable(const GreyImage* mask) {
  const int32_t width = mask->width;
  const int32_t height = mask->height;
  if (width < 3 || height < 3) return false;  // the start pixel would lie on the border
  const uint8_t* first = img_line(mask, 0);
  const uint8_t* last = img_line(mask, height - 1);
  for (int32_t x = 0; x < width; ++x)
    if (first[x] == kNotReached || last[x] == kNotReached) return false;
  for (int32_t y = 1; y < height - 1; ++y) {
    const uint8_t* row = img_line(mask, y);
    if (row[0] == kNotReached || row[width - 1] == kNotReached) return false;
  }
  return true;
}

// The fill inside a border it cannot reach: pixels by their offset from the
// first one (both planes have the same stride), without bounds, in the same
// order as the bounded fill below. (Marking and pushing without branches is
// four times slower: the processor then waits for every pixel's loads
// before it can pop the next.)
void fill_inside_border(uint8_t* mask_pixels, const uint8_t* phase_pixels, std::ptrdiff_t stride,
                        uint32_t start, uint32_t* stack) {
  std::size_t top = 0;
  stack[top++] = start;
  while (top > 0) {
    const uint32_t here = stack[--top];
    uint8_t* const at = mask_pixels + here;
    const uint8_t* const phase_at = phase_pixels + here;
    const int order = *at;
    const int p = static_cast<int8_t>(*phase_at);
    const auto visit = [&](std::ptrdiff_t step) {
      uint8_t* const m = at + step;
      if (*m != kNotReached) return;
      const int next = next_order(order, p, phase_at[step]);
      if (!holds_order(next)) return;
      *m = static_cast<uint8_t>(next);
      stack[top++] = static_cast<uint32_t>(static_cast<std::ptrdiff_t>(here) + step);
    };
    visit(-stride);
    visit(stride);
    visit(-1);
    visit(1);
  }
}

}  // namespace

namespace {

// The fill by sweeps. Where the order steps between neighbours add up to the
// same along every path (no noisy spot or hole the phase winds around), the
// orders do not depend on the order of the visits: then sweeping row by row
// away from the start, each row taking orders from the row before it and then
// along itself, gives every pixel the order the visiting fill gives it, with
// 64 pixels at a time. Afterwards every pair of neighbours is checked; where
// the steps do not add up, or an order would leave 1..254 (then the visiting
// order decides which pixels are reached), the sweeps are undone and the
// visiting fill runs.

// Sweeps over all rows after the first pair, for holes whose far side is
// reached only by going back towards the start, before the visiting fill
// takes over.
constexpr int kMoreSweeps = 8;

// Lanes with an order: 1..254, that is value - 1 below 254 without sign.
AVX512_TARGET inline __mmask64 with_order(__m512i values) {
  return _mm512_cmplt_epu8_mask(_mm512_sub_epi8(values, _mm512_set1_epi8(1)), _mm512_set1_epi8(static_cast<char>(kNotReached - 1)));
}

// The order step from phase bytes `from` to `to` (next_order), in byte lanes:
// +1 where the signed difference lies below -128 (the bytes fall and their
// wrapped difference is positive), -1 from 128 on (they rise and it is
// negative).
AVX512_TARGET inline __m512i order_steps(__m512i from, __m512i to) {
  const __m512i wrapped = _mm512_sub_epi8(to, from);
  const __m512i zero = _mm512_setzero_si512();
  const __mmask64 up = _mm512_cmplt_epi8_mask(to, from) & _mm512_cmpgt_epi8_mask(wrapped, zero);
  const __mmask64 down = _mm512_cmpgt_epi8_mask(to, from) & _mm512_cmplt_epi8_mask(wrapped, zero);
  return _mm512_mask_mov_epi8(_mm512_maskz_mov_epi8(up, _mm512_set1_epi8(1)), down, _mm512_set1_epi8(-1));
}

// Whether the plane holds nothing but 0 and 255 (no orders, no other marks).
AVX512_TARGET bool only_unmarked(const GreyImage* mask) {
  __mmask64 other = 0;
  for (int32_t y = 0; y < mask->height; ++y) {
    const uint8_t* const row = img_line(mask, y);
    for (int32_t x = 0; x < mask->width; x += 64) {
      const __mmask64 lanes = first_of_64_lanes(mask->width - x);
      const __m512i values = _mm512_maskz_loadu_epi8(lanes, row + x);
      other |= lanes & with_order(values);
    }
  }
  return other == 0;
}

// The pixels of `row` not reached yet that have a next pixel along the row
// with an order (the one before them for step +1, after them for -1) take
// their orders from it, and so on along the row.
AVX512_TARGET void spread_along_row(uint8_t* row, const uint8_t* phase, int32_t width) {
  const __m512i not_reached = _mm512_set1_epi8(static_cast<char>(kNotReached));
  const auto walk = [row, phase](int32_t x, int32_t end, int32_t step) {
    for (; x != end && row[x] == kNotReached; x += step) {
      const int next = next_order(row[x - step], static_cast<int8_t>(phase[x - step]), phase[x]);
      if (!holds_order(next)) break;
      row[x] = static_cast<uint8_t>(next);
    }
    return x + step;  // x is not a start: it has an order, or cannot take one
  };
  // Forwards: pixels 1.. after one with an order.
  for (int32_t x = 1; x < width;) {
    const __mmask64 lanes = first_of_64_lanes(width - x);
    const __mmask64 starts = _mm512_mask_cmpeq_epi8_mask(lanes, _mm512_maskz_loadu_epi8(lanes, row + x), not_reached) &
                             with_order(_mm512_maskz_loadu_epi8(lanes, row + x - 1));
    x = starts == 0 ? x + 64 : walk(x + __builtin_ctzll(starts), width, 1);
  }
  // Backwards: pixels ..width - 2 before one with an order.
  for (int32_t last = width - 2; last >= 0;) {
    const int32_t base = last >= 63 ? last - 63 : 0;
    const __mmask64 lanes = first_of_64_lanes(last - base + 1);
    const __mmask64 starts =
        _mm512_mask_cmpeq_epi8_mask(lanes, _mm512_maskz_loadu_epi8(lanes, row + base), not_reached) &
        with_order(_mm512_maskz_loadu_epi8(lanes, row + base + 1));
    last = starts == 0 ? base - 1 : walk(base + 63 - __builtin_clzll(starts), -1, -1);
  }
}

// The pixels of `row` not reached yet whose neighbour in the row `from`
// beside it has an order take theirs from it, then the others of `row` from
// them. Whether any pixel took an order.
AVX512_TARGET bool orders_from_row(uint8_t* row, const uint8_t* phase, const uint8_t* from,
                                   const uint8_t* from_phase, int32_t width) {
  const __m512i not_reached = _mm512_set1_epi8(static_cast<char>(kNotReached));
  __mmask64 taken = 0;
  for (int32_t x = 0; x < width; x += 64) {
    const __mmask64 lanes = first_of_64_lanes(width - x);
    const __m512i here = _mm512_maskz_loadu_epi8(lanes, row + x);
    const __m512i there = _mm512_maskz_loadu_epi8(lanes, from + x);
    const __mmask64 open = _mm512_mask_cmpeq_epi8_mask(lanes, here, not_reached) & with_order(there);
    if (open == 0) continue;
    const __m512i next = _mm512_add_epi8(
        there, order_steps(_mm512_maskz_loadu_epi8(lanes, from_phase + x), _mm512_maskz_loadu_epi8(lanes, phase + x)));
    const __mmask64 take = open & with_order(next);
    _mm512_mask_storeu_epi8(row + x, take, next);
    taken |= take;
  }
  if (taken != 0) spread_along_row(row, phase, width);
  return taken != 0;
}

// Rows first..last (in the direction of `step`), each from the row before it;
// none where first lies beyond last.
AVX512_TARGET bool sweep(GreyImage* mask, const GreyImage* phase, int32_t first, int32_t last, int32_t step) {
  bool taken = false;
  for (int32_t y = first; y != last + step; y += step)
    taken |= orders_from_row(img_line(mask, y), img_line(phase, y), img_line(mask, y - step),
                             img_line(phase, y - step), mask->width);
  return taken;
}

enum class Pairs { agree, unreached_neighbour, disagree };

// Pairs of neighbours a, b in 64 lanes: both with an order must agree both
// ways (b's is a's plus the step from a to b, and the other way round, which
// fails for a difference of exactly half a period); one with an order beside
// one not reached means the fill is not finished.
struct PairLanes {
  __mmask64 disagree = 0;
  __mmask64 unreached = 0;

  AVX512_TARGET void check(__m512i a, __m512i b, __m512i phase_a, __m512i phase_b, __mmask64 a_ordered,
                           __mmask64 b_ordered) {
    const __m512i not_reached = _mm512_set1_epi8(static_cast<char>(kNotReached));
    // Half a period apart: the wrapped difference is -128.
    const __mmask64 opposite =
        _mm512_cmpeq_epi8_mask(_mm512_sub_epi8(phase_b, phase_a), _mm512_set1_epi8(static_cast<char>(0x80)));
    disagree |= a_ordered & b_ordered &
                (_mm512_cmpneq_epi8_mask(b, _mm512_add_epi8(a, order_steps(phase_a, phase_b))) | opposite);
    unreached |= (a_ordered & _mm512_cmpeq_epi8_mask(b, not_reached)) |
                 (b_ordered & _mm512_cmpeq_epi8_mask(a, not_reached));
  }
};

// Every pixel against its right and its lower neighbour.
AVX512_TARGET Pairs check_plane(const GreyImage* mask, const GreyImage* phase) {
  const int32_t width = mask->width;
  const int32_t height = mask->height;
  PairLanes pairs;
  for (int32_t y = 0; y < height && pairs.disagree == 0; ++y) {
    const uint8_t* const orders = img_line(mask, y);
    const uint8_t* const phases = img_line(phase, y);
    // The last row has no lower neighbours: their lanes stay empty.
    const bool below = y + 1 < height;
    const uint8_t* const lower_orders = img_line(mask, below ? y + 1 : y);
    const uint8_t* const lower_phases = img_line(phase, below ? y + 1 : y);
    for (int32_t x = 0; x < width; x += 64) {
      const __mmask64 lanes = first_of_64_lanes(width - x);
      const __mmask64 right_lanes = first_of_64_lanes(width - 1 - x);
      const __mmask64 lower_lanes = below ? lanes : 0;
      const __m512i a = _mm512_maskz_loadu_epi8(lanes, orders + x);
      const __m512i right = _mm512_maskz_loadu_epi8(right_lanes, orders + x + 1);
      const __m512i lower = _mm512_maskz_loadu_epi8(lower_lanes, lower_orders + x);
      const __mmask64 a_ordered = with_order(a);
      const __mmask64 right_ordered = with_order(right);
      const __mmask64 lower_ordered = with_order(lower);
      if ((a_ordered | right_ordered | lower_ordered) == 0) continue;
      const __m512i phase_a = _mm512_maskz_loadu_epi8(lanes, phases + x);
      pairs.check(a, right, phase_a, _mm512_maskz_loadu_epi8(right_lanes, phases + x + 1), a_ordered, right_ordered);
      pairs.check(a, lower, phase_a, _mm512_maskz_loadu_epi8(lower_lanes, lower_phases + x), a_ordered,
                  lower_ordered);
    }
  }
  return pairs.disagree != 0 ? Pairs::disagree : pairs.unreached != 0 ? Pairs::unreached_neighbour : Pairs::agree;
}

// Every order back to 255, as before the sweeps.
AVX512_TARGET void undo_sweeps(GreyImage* mask) {
  for (int32_t y = 0; y < mask->height; ++y) {
    uint8_t* const row = img_line(mask, y);
    for (int32_t x = 0; x < mask->width; x += 64) {
      const __mmask64 lanes = first_of_64_lanes(mask->width - x);
      _mm512_mask_storeu_epi8(row + x, lanes & with_order(_mm512_maskz_loadu_epi8(lanes, row + x)),
                              _mm512_set1_epi8(static_cast<char>(kNotReached)));
    }
  }
}

// The fill by sweeps; false (the plane as before) where it cannot be sure to
// give the visiting fill's orders.
AVX512_TARGET bool unwrap_by_sweeps(GreyImage* mask, const GreyImage* phase, int32_t start_x, int32_t start_y) {
  const int32_t height = mask->height;
  if (!only_unmarked(mask)) return false;
  uint8_t* const start_row = img_line(mask, start_y);
  start_row[start_x] = kStartOrder;
  spread_along_row(start_row, img_line(phase, start_y), mask->width);
  sweep(mask, phase, start_y + 1, height - 1, 1);
  sweep(mask, phase, start_y - 1, 0, -1);
  for (int more = 0;; ++more) {
    const Pairs pairs = check_plane(mask, phase);
    if (pairs == Pairs::agree) return true;
    if (pairs == Pairs::disagree || more == kMoreSweeps) break;
    const bool down = sweep(mask, phase, 1, height - 1, 1);
    const bool up = sweep(mask, phase, height - 2, 0, -1);
    if (!down && !up) break;  // an order outside 1..254 left a pixel unreached
  }
  undo_sweeps(mask);
  return false;
}

}  // namespace

void unwrap_orders(GreyImage* mask, const GreyImage* phase) {
  if (mask == nullptr || phase == nullptr || mask->type != 1 || phase->type != 1 ||
      mask->width != phase->width || mask->height != phase->height)
    return;
  const int32_t width = mask->width;
  const int32_t height = mask->height;
  const int32_t start_x = width / 2;
  const int32_t start_y = height / 2;
  uint8_t* start = img_line(mask, start_y) + start_x;
  if (*start != kNotReached) return;
  if (cpu_has_avx512() && unwrap_by_sweeps(mask, phase, start_x, start_y)) return;

  // Every pixel is marked before it is pushed, so it is pushed at most once.
  const std::size_t room = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) + 32;
  if (mask->stride == phase->stride && border_unreachable(mask)) {
    const std::unique_ptr<uint32_t[]> stack(new (std::nothrow) uint32_t[room]);
    if (!stack) return;
    *start = kStartOrder;
    fill_inside_border(mask->pixels, phase->pixels, mask->stride,
                       static_cast<uint32_t>(start - mask->pixels), stack.get());
    return;
  }
  const std::unique_ptr<PixelAt[]> stack(new (std::nothrow) PixelAt[room]);
  if (!stack) return;
  *start = kStartOrder;
  std::size_t top = 0;
  stack[top++] = {static_cast<uint16_t>(start_x), static_cast<uint16_t>(start_y)};

  uint8_t* const mask_pixels = mask->pixels;
  const uint8_t* const phase_pixels = phase->pixels;
  const std::ptrdiff_t mask_stride = mask->stride;
  const std::ptrdiff_t phase_stride = phase->stride;
  while (top > 0) {
    const PixelAt here = stack[--top];
    const int32_t x = here.x;
    const int32_t y = here.y;
    uint8_t* const at = mask_pixels + y * mask_stride + x;
    const uint8_t* const phase_at = phase_pixels + y * phase_stride + x;
    const int order = *at;
    const int p = static_cast<int8_t>(*phase_at);
    const auto visit = [&](uint8_t* m, const uint8_t* phase_there, int32_t to_x, int32_t to_y) {
      if (*m != kNotReached) return;
      const int next = next_order(order, p, *phase_there);
      if (!holds_order(next)) return;
      *m = static_cast<uint8_t>(next);
      stack[top++] = {static_cast<uint16_t>(to_x), static_cast<uint16_t>(to_y)};
    };
    if (y > 0) visit(at - mask_stride, phase_at - phase_stride, x, y - 1);
    if (y < height - 1) visit(at + mask_stride, phase_at + phase_stride, x, y + 1);
    if (x > 0) visit(at - 1, phase_at - 1, x - 1, y);
    if (x < width - 1) visit(at + 1, phase_at + 1, x + 1, y);
  }
}
