// The flaw test of the mask, row by row: phase curvature and small loops
// through the neighbours, on three phase rows at a time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "scan/flaw_mask.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "image_processing.h"

#ifndef FRINGE_FLAW_MASK_ONCE
#define FRINGE_FLAW_MASK_ONCE
namespace fringe {

// Period count to add when stepping across a phase difference d (1/256
// period): +1 for d < -128, -1 for d >= 128, else 0.
inline int wrap(int d) { return static_cast<int>(d < -128) - static_cast<int>(d >= 128); }

// The test at one pixel: phase rows below, at and above, column x.
// The right neighbour is unwrapped via the pixel above and the upper right
// diagonal, the left one via the pixel below and the lower left diagonal.
// |A| and |B| stay below 2048, so A^2 + B^2 fits 32 bits.
inline bool flawed(const int8_t* lower, const int8_t* at, const int8_t* upper, int32_t x, int32_t limit) {
  const int b = at[x];
  const int k1 = wrap(upper[x] - b);
  const int k3 = k1 + wrap(upper[x + 1] - upper[x]) + wrap(at[x + 1] - upper[x + 1]);
  const int k4 = wrap(lower[x] - b);
  const int k6 = k4 + wrap(lower[x - 1] - lower[x]) + wrap(at[x - 1] - lower[x - 1]);
  const int across = at[x + 1] + 256 * k3 + at[x - 1] + 256 * k6 - 2 * b;
  const int along = upper[x] + 256 * k1 + lower[x] + 256 * k4 - 2 * b;
  return across * across + along * along > limit;
}

// Columns x .. width - 2 of one mask row, one at a time.
inline void flaw_row_plain(const int8_t* lower, const int8_t* at, const int8_t* upper, uint8_t* mask, int32_t x,
                           int32_t width, int32_t limit) {
  for (; x + 1 < width; ++x)
    if (flawed(lower, at, upper, x, limit)) mask[x] = 0;
}

}  // namespace fringe
#endif

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// A and B of flawed() in lanes of d, from the phase rows at column x. A step
// 256 k + (next - previous) of flawed() is the byte difference wrapped to
// -128..127, so B is the sum of the two wrapped steps from the pixel up and
// down, and A adds those on to the right and the left neighbour (the
// pixels' own values cancel): the same integers from six byte subtractions.
template <class D>
HWY_INLINE void FlawTerms(D d, const int8_t* lower, const int8_t* at, const int8_t* upper, int32_t x,
                          hn::Vec<D>& across, hn::Vec<D>& along) {
  const hn::Rebind<int8_t, D> d8;
  const auto b = hn::LoadU(d8, at + x), up = hn::LoadU(d8, upper + x), down = hn::LoadU(d8, lower + x);
  const auto up_right = hn::LoadU(d8, upper + x + 1), down_left = hn::LoadU(d8, lower + x - 1);
  const auto step = [&](hn::Vec<decltype(d8)> to, hn::Vec<decltype(d8)> from) {
    return hn::PromoteTo(d, hn::Sub(to, from));  // the byte lanes wrap
  };
  along = hn::Add(step(up, b), step(down, b));
  const auto right_turn = hn::Add(step(up_right, up), step(hn::LoadU(d8, at + x + 1), up_right));
  const auto left_turn = hn::Add(step(down_left, down), step(hn::LoadU(d8, at + x - 1), down_left));
  across = hn::Add(along, hn::Add(right_turn, left_turn));
}

// A^2 + B^2 > limit from 32-bit lanes of A and B: -1 where flawed.
template <class D32>
HWY_INLINE hn::Vec<D32> Flawed(D32 d32, hn::Vec<D32> across, hn::Vec<D32> along, int32_t limit) {
  return hn::VecFromMask(d32, hn::Gt(hn::Add(hn::Mul(across, across), hn::Mul(along, along)), hn::Set(d32, limit)));
}

// Columns 1 .. width - 2 of one mask row: flawed() with the same integers,
// so the same decisions, in 16-bit lanes (|A|, |B| at most 768) and their
// squares in 32 bits; the last columns plainly.
void FlawRow(const int8_t* lower, const int8_t* at, const int8_t* upper, uint8_t* mask, int32_t width,
             int32_t limit) {
#if HWY_TARGET == HWY_SCALAR
  const hn::ScalableTag<int32_t> d;  // one lane: no pairs of 16-bit lanes
#else
  const hn::ScalableTag<int16_t> d;
  const hn::Repartition<int32_t, decltype(d)> d32;
#endif
  const hn::Rebind<int8_t, decltype(d)> d8;
  const hn::Rebind<uint8_t, decltype(d)> du8;
  const auto lanes = static_cast<int32_t>(hn::Lanes(d));
  int32_t x = 1;
  for (; x + lanes <= width - 1; x += lanes) {
    const auto keep = hn::LoadU(du8, mask + x);
    if (hn::AllTrue(du8, hn::Eq(keep, hn::Zero(du8)))) continue;  // most of a row lies outside the evaluation area
    hn::Vec<decltype(d)> across, along;
    FlawTerms(d, lower, at, upper, x, across, along);
#if HWY_TARGET == HWY_SCALAR
    const auto clear = Flawed(d, across, along, limit);
#else
    // Each 32-bit lane holds a pair of pixels: the half of lower address
    // sign-extended, and the other half, are tested apart and their answers
    // put back in their halves, so no lane moves.
    const auto a = hn::BitCast(d32, across);
    const auto b = hn::BitCast(d32, along);
    const auto first = Flawed(d32, hn::ShiftRight<16>(hn::ShiftLeft<16>(a)), hn::ShiftRight<16>(hn::ShiftLeft<16>(b)), limit);
    const auto second = Flawed(d32, hn::ShiftRight<16>(a), hn::ShiftRight<16>(b), limit);
    const auto clear = hn::OddEven(hn::BitCast(d, second), hn::BitCast(d, first));
#endif
    hn::StoreU(hn::AndNot(hn::BitCast(du8, hn::DemoteTo(d8, clear)), keep), du8, mask + x);  // 0xFF: flawed
  }
  flaw_row_plain(lower, at, upper, mask, x, width, limit);
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fringe {
HWY_EXPORT(FlawRow);
}  // namespace fringe

namespace {

// A row copy: the widest row.
using Line = std::array<int8_t, kMaxImageSide>;

bool same_shape(const GreyImage* a, const GreyImage* b) {
  return a->type == b->type && a->width == b->width && a->height == b->height;
}

}  // namespace

void flaw_mask(GreyImage* mask, const GreyImage* phase, int32_t threshold) {
  if (mask == nullptr || phase == nullptr || mask->type != 1 || !same_shape(mask, phase)) return;
  const int32_t width = mask->width;
  const int32_t height = mask->height;
  const auto row_bytes = static_cast<std::size_t>(width);
  // The square in 64 bits: any int32 threshold, a negative one acting like
  // its absolute value. A^2 + B^2 never exceeds 2 * 2047^2, so clamping the
  // limit to 32 bits changes no decision.
  const auto limit = static_cast<int32_t>(std::min<int64_t>(int64_t{threshold} * threshold, INT32_MAX));
  const auto flaw_row = HWY_DYNAMIC_DISPATCH(fringe::FlawRow);

  // Phase bytes are signed; row y + 1 lies above row y in the picture.
  std::array<Line, 3> lines{};
  int8_t* lower = lines[0].data();
  int8_t* at = lines[1].data();
  int8_t* upper = lines[2].data();
  if (height >= 3) {
    std::memcpy(lower, img_line(phase, 0), row_bytes);
    std::memcpy(at, img_line(phase, 1), row_bytes);
  }
  for (int32_t y = 1; y + 1 < height; ++y) {
    std::memcpy(upper, img_line(phase, y + 1), row_bytes);
    uint8_t* m = img_line(mask, y);
    flaw_row(lower, at, upper, m, width, limit);
    m[0] = 0;
    m[width - 1] = 0;
    int8_t* const done = lower;  // rotate the row copies
    lower = at;
    at = upper;
    upper = done;
  }
  std::memset(img_line(mask, 0), 0, row_bytes);
  std::memset(img_line(mask, height - 1), 0, row_bytes);
}
#endif  // HWY_ONCE
