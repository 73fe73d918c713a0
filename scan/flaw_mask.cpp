#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "cpu_features.h"
#include "image_processing.h"

namespace {

// A row copy: the widest row plus room to read a block beyond it.
using Line = std::array<int8_t, kMaxImageSide + 16>;

// Eight pixels at a time: phase bytes widened to 32-bit lanes.
using Bytes8 = int8_t __attribute__((vector_size(8)));
using Ints8 = int32_t __attribute__((vector_size(32)));
constexpr int32_t kLanes = 8;

// Period count to add when stepping across a phase difference d (1/256
// period): +1 for d < -128, -1 for d >= 128, else 0.
inline int wrap(int d) { return static_cast<int>(d < -128) - static_cast<int>(d >= 128); }

// The test at one pixel: phase rows below, at and above, column x.
// The right neighbour is unwrapped via the pixel above and the upper right
// diagonal, the left one via the pixel below and the lower left diagonal.
// |A| and |B| stay below 2048, so A^2 + B^2 fits 32 bits.
inline bool flawed(const int8_t* lower, const int8_t* at, const int8_t* upper, int32_t x,
                   int32_t limit) {
  const int b = at[x];
  const int k1 = wrap(upper[x] - b);
  const int k3 = k1 + wrap(upper[x + 1] - upper[x]) + wrap(at[x + 1] - upper[x + 1]);
  const int k4 = wrap(lower[x] - b);
  const int k6 = k4 + wrap(lower[x - 1] - lower[x]) + wrap(at[x - 1] - lower[x - 1]);
  const int across = at[x + 1] + 256 * k3 + at[x - 1] + 256 * k6 - 2 * b;
  const int along = upper[x] + 256 * k1 + lower[x] + 256 * k4 - 2 * b;
  return across * across + along * along > limit;
}

// Lane helpers take and give vectors by reference: passing an AVX-sized
// vector by value would depend on the instruction set the caller uses.
inline __attribute__((always_inline)) void widen(Ints8& lanes, const int8_t* p) {
  Bytes8 bytes;
  std::memcpy(&bytes, p, sizeof bytes);
  lanes = __builtin_convertvector(bytes, Ints8);
}
// wrap(d) in lanes; comparisons give -1 for true: (d >= 128) - (d < -128).
inline __attribute__((always_inline)) void wrap_lanes(Ints8& k, const Ints8& d) {
  k = (d >= 128) - (d < -128);
}

// The same test for the kLanes pixels from column x on.
inline __attribute__((always_inline)) void flaw_block(const int8_t* lower, const int8_t* at,
                                                      const int8_t* upper, uint8_t* mask,
                                                      int32_t x, int32_t limit) {
  Ints8 b, right, left, up, up_right, down, down_left;
  widen(b, at + x);
  widen(right, at + x + 1);
  widen(left, at + x - 1);
  widen(up, upper + x);
  widen(up_right, upper + x + 1);
  widen(down, lower + x);
  widen(down_left, lower + x - 1);
  Ints8 k1, k3a, k3b, k4, k6a, k6b;
  wrap_lanes(k1, up - b);
  wrap_lanes(k3a, up_right - up);
  wrap_lanes(k3b, right - up_right);
  wrap_lanes(k4, down - b);
  wrap_lanes(k6a, down_left - down);
  wrap_lanes(k6b, left - down_left);
  const Ints8 k3 = k1 + k3a + k3b;
  const Ints8 k6 = k4 + k6a + k6b;
  const Ints8 across = right + 256 * k3 + left + 256 * k6 - 2 * b;
  const Ints8 along = up + 256 * k1 + down + 256 * k4 - 2 * b;
  const Ints8 bad = across * across + along * along > limit;
  const Bytes8 clear = __builtin_convertvector(bad, Bytes8);  // -1 where flawed
  Bytes8 keep;
  std::memcpy(&keep, mask + x, sizeof keep);
  keep &= ~clear;
  std::memcpy(mask + x, &keep, sizeof keep);
}

// Columns 1 .. width - 2 of one mask row; the three phase rows are copies
// with room beyond the row.
inline __attribute__((always_inline)) void flaw_row_of(const int8_t* lower, const int8_t* at,
                                                       const int8_t* upper, uint8_t* mask,
                                                       int32_t width, int32_t limit) {
  int32_t x = 1;
  for (; x + kLanes <= width - 1; x += kLanes) {
    uint64_t valid;  // most of a row lies outside the evaluation area
    std::memcpy(&valid, mask + x, sizeof valid);
    if (valid != 0) flaw_block(lower, at, upper, mask, x, limit);
  }
  for (; x + 1 < width; ++x)
    if (flawed(lower, at, upper, x, limit)) mask[x] = 0;
}

__attribute__((target("avx2"))) void flaw_row_avx2(const int8_t* lower, const int8_t* at,
                                                   const int8_t* upper, uint8_t* mask,
                                                   int32_t width, int32_t limit) {
  flaw_row_of(lower, at, upper, mask, width, limit);
}
void flaw_row_sse2(const int8_t* lower, const int8_t* at, const int8_t* upper, uint8_t* mask,
                   int32_t width, int32_t limit) {
  flaw_row_of(lower, at, upper, mask, width, limit);
}

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
  const auto flaw_row = cpu_has_avx2() ? flaw_row_avx2 : flaw_row_sse2;

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
