#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include <immintrin.h>

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
template <typename Lanes>
inline __attribute__((always_inline)) void wrap_lanes(Lanes& k, const Lanes& d) {
  k = (d >= 128) - (d < -128);
}

// A and B of the test (see flawed) in lanes of any width, from the widened
// phase rows: b at the pixels, then their right and left neighbours and the
// pixels above, above right, below and below left.
template <typename Lanes>
inline __attribute__((always_inline)) void flaw_terms(const Lanes& b, const Lanes& right, const Lanes& left,
                                                      const Lanes& up, const Lanes& up_right, const Lanes& down,
                                                      const Lanes& down_left, Lanes& across, Lanes& along) {
  Lanes k1, k3a, k3b, k4, k6a, k6b;
  wrap_lanes(k1, up - b);
  wrap_lanes(k3a, up_right - up);
  wrap_lanes(k3b, right - up_right);
  wrap_lanes(k4, down - b);
  wrap_lanes(k6a, down_left - down);
  wrap_lanes(k6b, left - down_left);
  const Lanes k3 = k1 + k3a + k3b;
  const Lanes k6 = k4 + k6a + k6b;
  across = right + 256 * k3 + left + 256 * k6 - 2 * b;
  along = up + 256 * k1 + down + 256 * k4 - 2 * b;
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
  Ints8 across, along;
  flaw_terms(b, right, left, up, up_right, down, down_left, across, along);
  const Ints8 bad = across * across + along * along > limit;
  const Bytes8 clear = __builtin_convertvector(bad, Bytes8);  // -1 where flawed
  Bytes8 keep;
  std::memcpy(&keep, mask + x, sizeof keep);
  keep &= ~clear;
  std::memcpy(mask + x, &keep, sizeof keep);
}

// Columns x .. width - 2 of one mask row (x >= 1); the three phase rows are
// copies with room beyond the row.
inline __attribute__((always_inline)) void flaw_row_of(const int8_t* lower, const int8_t* at,
                                                       const int8_t* upper, uint8_t* mask,
                                                       int32_t x, int32_t width, int32_t limit) {
  for (; x + kLanes <= width - 1; x += kLanes) {
    uint64_t valid;  // most of a row lies outside the evaluation area
    std::memcpy(&valid, mask + x, sizeof valid);
    if (valid != 0) flaw_block(lower, at, upper, mask, x, limit);
  }
  for (; x + 1 < width; ++x)
    if (flawed(lower, at, upper, x, limit)) mask[x] = 0;
}

// Sixteen pixels at a time in 16-bit lanes, which hold every term (|A|, |B|
// below 2048); A^2 + B^2 is formed in 32 bits by multiply-adding the pairs
// (A, B). The same integers as flaw_block, so the same decisions.
using Words16 = int16_t __attribute__((vector_size(32)));
__attribute__((target("avx2"))) inline Words16 widen16(const int8_t* p) {
  return reinterpret_cast<Words16>(_mm256_cvtepi8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
}
__attribute__((target("avx2"))) void flaw_block16(const int8_t* lower, const int8_t* at, const int8_t* upper,
                                                  uint8_t* mask, int32_t x, int32_t limit) {
  __m128i keep = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + x));
  if (_mm_testz_si128(keep, keep)) return;  // most of a row lies outside the evaluation area
  Words16 across_words, along_words;
  flaw_terms(widen16(at + x), widen16(at + x + 1), widen16(at + x - 1), widen16(upper + x), widen16(upper + x + 1),
             widen16(lower + x), widen16(lower + x - 1), across_words, along_words);
  const auto across = reinterpret_cast<__m256i>(across_words);
  const auto along = reinterpret_cast<__m256i>(along_words);
  // (A, B) pairs, lanes 0-3 and 8-11, then 4-7 and 12-15: the packs below
  // undo the interleaving.
  const __m256i low_pairs = _mm256_unpacklo_epi16(across, along);
  const __m256i high_pairs = _mm256_unpackhi_epi16(across, along);
  const __m256i threshold = _mm256_set1_epi32(limit);
  const __m256i bad_low = _mm256_cmpgt_epi32(_mm256_madd_epi16(low_pairs, low_pairs), threshold);
  const __m256i bad_high = _mm256_cmpgt_epi32(_mm256_madd_epi16(high_pairs, high_pairs), threshold);
  const __m256i bad_words = _mm256_packs_epi32(bad_low, bad_high);
  const __m256i bad_bytes = _mm256_permute4x64_epi64(_mm256_packs_epi16(bad_words, bad_words), 0x08);
  keep = _mm_andnot_si128(_mm256_castsi256_si128(bad_bytes), keep);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(mask + x), keep);
}

// Thirty-two pixels at a time with AVX-512: the same 16-bit terms as
// flaw_block16, the pairs (A, B) put side by side in pixel order so that the
// sums of squares and the lane masks follow the pixels.
using Words32 = int16_t __attribute__((vector_size(64)));
AVX512_TARGET inline Words32 widen32(const int8_t* p) {
  return reinterpret_cast<Words32>(_mm512_cvtepi8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))));
}
AVX512_TARGET void flaw_block32(const int8_t* lower, const int8_t* at, const int8_t* upper, uint8_t* mask,
                                int32_t x, int32_t limit) {
  const __m256i valid = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mask + x));
  if (_mm256_testz_si256(valid, valid)) return;
  alignas(64) static constexpr uint16_t kFirstPairs[32] = {0, 32, 1, 33, 2,  34, 3,  35, 4,  36, 5,
                                                           37, 6, 38, 7, 39, 8,  40, 9,  41, 10, 42,
                                                           11, 43, 12, 44, 13, 45, 14, 46, 15, 47};
  alignas(64) static constexpr uint16_t kLastPairs[32] = {16, 48, 17, 49, 18, 50, 19, 51, 20, 52, 21,
                                                          53, 22, 54, 23, 55, 24, 56, 25, 57, 26, 58,
                                                          27, 59, 28, 60, 29, 61, 30, 62, 31, 63};
  Words32 across_words, along_words;
  flaw_terms(widen32(at + x), widen32(at + x + 1), widen32(at + x - 1), widen32(upper + x), widen32(upper + x + 1),
             widen32(lower + x), widen32(lower + x - 1), across_words, along_words);
  const auto across = reinterpret_cast<__m512i>(across_words);
  const auto along = reinterpret_cast<__m512i>(along_words);
  const __m512i first = _mm512_permutex2var_epi16(across, _mm512_load_si512(kFirstPairs), along);
  const __m512i last = _mm512_permutex2var_epi16(across, _mm512_load_si512(kLastPairs), along);
  const __m512i threshold = _mm512_set1_epi32(limit);
  const __mmask16 bad_first = _mm512_cmpgt_epi32_mask(_mm512_madd_epi16(first, first), threshold);
  const __mmask16 bad_last = _mm512_cmpgt_epi32_mask(_mm512_madd_epi16(last, last), threshold);
  const __mmask32 bad = static_cast<__mmask32>(bad_first) | (static_cast<__mmask32>(bad_last) << 16);
  _mm256_mask_storeu_epi8(mask + x, bad, _mm256_setzero_si256());
}

// Columns 1 .. width - 2 of one mask row, kWide at a time, then one by one.
template <int32_t kWide, void (*kBlock)(const int8_t*, const int8_t*, const int8_t*, uint8_t*, int32_t, int32_t)>
void flaw_row_in_blocks(const int8_t* lower, const int8_t* at, const int8_t* upper, uint8_t* mask, int32_t width,
                        int32_t limit) {
  int32_t x = 1;
  for (; x + kWide <= width - 1; x += kWide) kBlock(lower, at, upper, mask, x, limit);
  flaw_row_of(lower, at, upper, mask, x, width, limit);
}

void flaw_row_sse2(const int8_t* lower, const int8_t* at, const int8_t* upper, uint8_t* mask,
                   int32_t width, int32_t limit) {
  flaw_row_of(lower, at, upper, mask, 1, width, limit);
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
  const auto flaw_row = cpu_has_avx512() ? flaw_row_in_blocks<32, flaw_block32>
                        : cpu_has_avx2()   ? flaw_row_in_blocks<16, flaw_block16>
                                           : flaw_row_sse2;

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
