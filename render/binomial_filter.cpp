#include "render/binomial_filter.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <immintrin.h>

#include "render/row_smoothing.h"
#include "scan/cpu_features.h"
#include "scan/word_lanes.h"

namespace {

using Bytes16 = uint8_t __attribute__((vector_size(16)));
using Words16 = uint16_t __attribute__((vector_size(32)));

// sum += (16 bytes from p, widened) * 2^shift. By reference: a 32-byte vector
// passed by value would change the calling convention between SSE and AVX.
inline void add_words(Words16& sum, const uint8_t* p, int shift) {
  Bytes16 bytes;
  std::memcpy(&bytes, p, sizeof bytes);
  sum += __builtin_convertvector(bytes, Words16) << shift;
}

// Of an interior row's 3 x 3 sum at pixel k, everything but the pixel to its
// left: t[k] = up[k-1] + 2 up[k] + up[k+1] + 4 mid[k] + 2 mid[k+1]
// + down[k-1] + 2 down[k] + down[k+1], for k = 1 .. w-2, pixels `step` bytes
// apart. These are all known before the row is written (the row above is
// already smoothed, mid[k] and mid[k+1] are not yet), so they are summed 16
// pixels at a time; at most 14 * 255 = 3570, which fits 16 bits.

// The known terms of an 8-bit row thirty-two pixels at a time, from k = 1;
// returns the first k left over.
AVX512_TARGET int known_terms_avx512(const uint8_t* up, const uint8_t* mid, const uint8_t* down, int w,
                                     uint16_t* t) {
  int k = 1;
  // Loads reach pixel k + 32, which must stay inside the row (<= w - 1).
  for (; k + 32 <= w - 1; k += 32) {
    // The corners once, the edge neighbours twice, the pixel itself four times.
    const __m512i corners = _mm512_add_epi16(_mm512_add_epi16(widened(up + k - 1), widened(up + k + 1)),
                                             _mm512_add_epi16(widened(down + k - 1), widened(down + k + 1)));
    const __m512i edges =
        _mm512_add_epi16(_mm512_add_epi16(widened(up + k), widened(down + k)), widened(mid + k + 1));
    const __m512i centre = widened(mid + k);
    const __m512i centre_twice = _mm512_add_epi16(centre, centre);
    const __m512i sum = _mm512_add_epi16(_mm512_add_epi16(corners, _mm512_add_epi16(edges, edges)),
                                         _mm512_add_epi16(centre_twice, centre_twice));
    _mm512_storeu_si512(t + k, sum);
  }
  return k;
}

void known_terms(const uint8_t* up, const uint8_t* mid, const uint8_t* down, int w, int step, uint16_t* t) {
  int k = 1;
  if (step == 1 && cpu_has_avx512()) k = known_terms_avx512(up, mid, down, w, t);
  if (step == 1) {
    // Loads reach pixel k + 16, which must stay inside the row (<= w - 1).
    for (; k + 16 <= w - 1; k += 16) {
      Words16 sum = {};
      add_words(sum, up + k - 1, 0);
      add_words(sum, up + k, 1);
      add_words(sum, up + k + 1, 0);
      add_words(sum, mid + k, 2);
      add_words(sum, mid + k + 1, 1);
      add_words(sum, down + k - 1, 0);
      add_words(sum, down + k, 1);
      add_words(sum, down + k + 1, 0);
      std::memcpy(t + k, &sum, sizeof sum);
    }
  }
  for (; k < w - 1; ++k) {
    const int at = k * step;
    t[k] = static_cast<uint16_t>(up[at - step] + 2 * up[at] + up[at + step] + 4 * mid[at] +
                                 2 * mid[at + step] + down[at - step] + 2 * down[at] + down[at + step]);
  }
}

// The horizontal 1-2-1 of a top or bottom row; returns whether it changed a byte.
bool smooth_border_row(Picture& picture, int y, int channel, std::vector<uint8_t>& before) {
  uint8_t* row = picture.row(y);
  const auto bytes = static_cast<std::size_t>(picture.bytes_per_line());
  if (bytes == 0) return false;
  before.assign(row, row + bytes);
  smooth_row_121(row + channel, picture.width(), picture.bytes_per_pixel());
  return std::memcmp(before.data(), row, bytes) != 0;
}

// One pass over one channel; returns whether any byte changed. `terms` holds
// at least width values, `before` is scratch space.
bool binomial_pass(Picture& picture, int channel, std::vector<uint16_t>& terms, std::vector<uint8_t>& before) {
  const int w = picture.width();
  const int h = picture.height();
  const int s = picture.bytes_per_pixel();
  const auto row_bytes = static_cast<std::size_t>(picture.bytes_per_line());
  bool changed = false;
  for (int j = 1; j < h - 1 && w > 0; ++j) {
    const uint8_t* up = picture.row(j - 1) + channel;
    uint8_t* middle = picture.row(j) + channel;
    const uint8_t* down = picture.row(j + 1) + channel;
    before.assign(picture.row(j), picture.row(j) + row_bytes);
    known_terms(up, middle, down, w, s, terms.data());
    // Left to right, each result entering the next sum as its left pixel:
    // (t[k] + 2 * left) / 16, rounded down.
    unsigned left = smooth_vertical_121(up[0], middle[0], down[0]);
    middle[0] = static_cast<uint8_t>(left);
    for (int k = 1; k < w - 1; ++k) {
      left = (terms[k] + 2 * left) >> 4;
      middle[k * s] = static_cast<uint8_t>(left);
    }
    if (w > 1) {
      const int at = (w - 1) * s;
      middle[at] = smooth_vertical_121(up[at], middle[at], down[at]);
    }
    changed |= std::memcmp(before.data(), picture.row(j), row_bytes) != 0;
  }
  if (h < 1) return changed;
  changed |= smooth_border_row(picture, 0, channel, before);
  changed |= smooth_border_row(picture, h - 1, channel, before);
  return changed;
}

// ---- Passes side by side --------------------------------------------------
//
// A row's pass is a chain of dependent steps along the row (each result is
// the next pixel's left neighbour), so one row at a time leaves the processor
// waiting. Pass q + 1 needs of pass q only the rows up to one below the row it
// works on, and the top and bottom rows' own smoothing depends on nothing but
// those rows: so kGroup passes can run together, pass q + 1 two rows behind
// pass q, their chains interleaved, each pass still seeing exactly the rows it
// would see on its own.
constexpr int kGroup = 3;

struct RowJob {
  const uint8_t* up;
  uint8_t* middle;
  const uint8_t* down;
  const uint16_t* terms;
  unsigned left;
};

// ---- The chain of an 8-bit row, sixteen pixels at a time --------------------
//
// l[k] = (t[k] + 2 l[k-1]) >> 4 forgets its start quickly: a difference in
// l[k-1] shrinks eightfold per step (a floor may keep a last unit alive,
// seldom for long). So every pixel of a block is first guessed from the five
// terms up to it, all lanes at once; then the block is checked against the
// true left neighbour: where the recurrence reproduces every guess, the
// guesses are the chain's values (lane by lane, by induction from the true
// neighbour). Where it does not, the recurrence is applied to the whole block
// again until nothing changes, at most once per lane, since each application
// makes one more lane exact. The guesses never wait for the block before, so
// the blocks of a row overlap in the processor.
//
// The guesses start five pixels back from t / 14, the recurrence's fixed
// point (the weighted mean of the neighbours the terms hold), raised by
// kStartAbove. The raise matters. In a flat stretch at level v (all nine
// neighbours v, so t = 14 v) both v and v - 1 repeat themselves under the
// floor. The chain holds v there when it enters at v or from above (a
// stretch that reaches the left border, as an overexposed area may, or that
// follows brighter pixels), and the rows below keep it, while a guess from
// below stops at v - 1: every block of the stretch would be chained again
// lane by lane, twenty times the work.
// Only the first row of a stretch entered from below settles at v - 1, where
// a guess from above stops one too high. Off such stretches, a unit too many
// vanishes at the next step unless the sum's remainder is 14 or 15.
constexpr int kLookBack = 5;
constexpr int kStartAbove = 2;
// t / 14 as (t * kFixedPoint) >> 16, rounded down; at most 255 + kStartAbove.
constexpr int kFixedPoint = 65536 / 14;

// Pixels k .. end - 1 of the chain one at a time from `left`; returns the
// last value.
inline unsigned chain_one_by_one(const uint16_t* t, uint8_t* middle, int k, int end, unsigned left) {
  for (; k < end; ++k) {
    left = (t[k] + 2 * left) >> 4;
    middle[k] = static_cast<uint8_t>(left);
  }
  return left;
}

// The block's values as the recurrence gives them from `before`, the value
// left of the block: (t + 2 * [before, c0 .. c14]) >> 4.
__attribute__((target("avx2"))) inline __m256i chain_step(__m256i terms, __m256i values, unsigned before) {
  const __m256i low_to_high = _mm256_permute2x128_si256(values, values, 0x08);  // [0, c0..c7]
  __m256i left = _mm256_alignr_epi8(values, low_to_high, 14);                   // [0, c0 .. c14]
  left = _mm256_or_si256(left, _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(before))));
  return _mm256_srli_epi16(_mm256_add_epi16(terms, _mm256_add_epi16(left, left)), 4);
}

// The interior pixels k = 1 .. w - 2 of one row of an 8-bit picture, the
// chain started from `left` (the row's new first pixel).
__attribute__((target("avx2"))) void chain_8bit_avx2(const uint16_t* t, uint8_t* middle, int w, unsigned left) {
  // The guesses start from t[k - kLookBack], which must be a term (k - kLookBack >= 1).
  int k = std::max(1, std::min(kLookBack + 1, w - 1));
  left = chain_one_by_one(t, middle, 1, k, left);
  for (; k + 16 <= w - 1; k += 16) {
    __m256i guess = _mm256_add_epi16(
        _mm256_mulhi_epu16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(t + k - kLookBack)),
                           _mm256_set1_epi16(kFixedPoint)),
        _mm256_set1_epi16(kStartAbove));
    for (int back = kLookBack - 1; back >= 0; --back) {
      const __m256i terms = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t + k - back));
      guess = _mm256_srli_epi16(_mm256_add_epi16(terms, _mm256_add_epi16(guess, guess)), 4);
    }
    const __m256i terms = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t + k));
    // The guesses, not the recurrence's copy of them, go on: then the next
    // block waits for this one only where a guess was wrong.
    __m256i next = chain_step(terms, guess, left);
    while (_mm256_movemask_epi8(_mm256_cmpeq_epi16(next, guess)) != -1) {
      guess = next;
      next = chain_step(terms, guess, left);
    }
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(guess, guess), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(middle + k), _mm256_castsi256_si128(bytes));
    left = static_cast<unsigned>(_mm256_extract_epi16(guess, 15));
  }
  chain_one_by_one(t, middle, k, w - 1, left);
}

// The same thirty-two pixels at a time with AVX-512: the left neighbours
// by a word permutation, the check by a lane mask.
AVX512_TARGET inline __m512i chain_step_avx512(__m512i terms, __m512i values, unsigned before) {
  alignas(64) static constexpr uint16_t kLeftOf[32] = {0,  0,  1,  2,  3,  4,  5,  6,  7,  8,  9,
                                                       10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                                                       21, 22, 23, 24, 25, 26, 27, 28, 29, 30};
  __m512i left = _mm512_permutexvar_epi16(_mm512_load_si512(kLeftOf), values);  // [c0, c0 .. c30]
  left = _mm512_mask_set1_epi16(left, 1, static_cast<int16_t>(before));        // [before, c0 .. c30]
  return _mm512_maskz_srli_epi16(kAllWords, _mm512_add_epi16(terms, _mm512_add_epi16(left, left)), 4);
}

AVX512_TARGET void chain_8bit_avx512(const uint16_t* t, uint8_t* middle, int w, unsigned left) {
  int k = std::max(1, std::min(kLookBack + 1, w - 1));
  left = chain_one_by_one(t, middle, 1, k, left);
  for (; k + 32 <= w - 1; k += 32) {
    __m512i guess = _mm512_add_epi16(
        _mm512_mulhi_epu16(_mm512_loadu_si512(t + k - kLookBack), _mm512_set1_epi16(kFixedPoint)),
        _mm512_set1_epi16(kStartAbove));
    for (int back = kLookBack - 1; back >= 0; --back) {
      const __m512i terms = _mm512_loadu_si512(t + k - back);
      guess = _mm512_maskz_srli_epi16(kAllWords, _mm512_add_epi16(terms, _mm512_add_epi16(guess, guess)), 4);
    }
    const __m512i terms = _mm512_loadu_si512(t + k);
    __m512i next = chain_step_avx512(terms, guess, left);
    while (_mm512_cmpneq_epi16_mask(next, guess) != 0) {
      guess = next;
      next = chain_step_avx512(terms, guess, left);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(middle + k), _mm512_maskz_cvtepi16_epi8(kAllWords, guess));
    left = static_cast<unsigned>(_mm_extract_epi16(_mm512_maskz_extracti32x4_epi32(0xF, guess, 3), 7));
  }
  chain_one_by_one(t, middle, k, w - 1, left);
}

// The interior pixels of `count` rows at once, chains interleaved.
template <int count>
inline void recurrences(RowJob* jobs, int w, int s) {
  if (s == 1 && cpu_has_avx512()) {
    for (int r = 0; r < count; ++r) chain_8bit_avx512(jobs[r].terms, jobs[r].middle, w, jobs[r].left);
    return;
  }
  if (s == 1 && cpu_has_avx2()) {
    for (int r = 0; r < count; ++r) chain_8bit_avx2(jobs[r].terms, jobs[r].middle, w, jobs[r].left);
    return;
  }
  unsigned left[kGroup];
  for (int r = 0; r < count; ++r) left[r] = jobs[r].left;
  for (int k = 1; k < w - 1; ++k) {
#pragma GCC unroll 3
    for (int r = 0; r < count; ++r) {
      left[r] = (jobs[r].terms[k] + 2 * left[r]) >> 4;
      jobs[r].middle[k * s] = static_cast<uint8_t>(left[r]);
    }
  }
}

// kGroup passes (or `passes` fewer) over one channel of a picture at least 4
// rows high and 3 wide. Returns whether the last of them changed a byte.
bool grouped_passes(Picture& picture, int channel, int passes, std::vector<std::vector<uint16_t>>& terms,
                    std::vector<uint8_t>& before) {
  const int w = picture.width();
  const int h = picture.height();
  const int s = picture.bytes_per_pixel();
  const auto row_bytes = static_cast<std::size_t>(picture.bytes_per_line());
  bool changed = false;
  const auto border = [&](int y, int pass) {
    const bool last = pass == passes;
    const bool moved = smooth_border_row(picture, y, channel, before);
    if (last) changed |= moved;
  };
  for (int t = 1; t <= (h - 2) + 2 * (passes - 1); ++t) {
    RowJob jobs[kGroup];
    int count = 0;
    int last_row = -1;  // the row the last pass works on in this step
    for (int q = 1; q <= passes; ++q) {
      const int j = t - 2 * (q - 1);
      if (j < 1 || j > h - 2) continue;
      // The previous pass's own smoothing of the top row, before this pass
      // reads it, and of the bottom row, after the previous pass is done
      // with it (its last interior row was two steps ago).
      if (q > 1 && j == 1) border(0, q - 1);
      if (q > 1 && j == h - 2) border(h - 1, q - 1);
      RowJob& job = jobs[count];
      job.up = picture.row(j - 1) + channel;
      job.middle = picture.row(j) + channel;
      job.down = picture.row(j + 1) + channel;
      job.terms = terms[static_cast<std::size_t>(count)].data();
      known_terms(job.up, job.middle, job.down, w, s, terms[static_cast<std::size_t>(count)].data());
      if (q == passes) {
        last_row = j;
        before.assign(picture.row(j), picture.row(j) + row_bytes);
      }
      job.left = smooth_vertical_121(job.up[0], job.middle[0], job.down[0]);
      job.middle[0] = static_cast<uint8_t>(job.left);
      ++count;
    }
    switch (count) {
      case 1:
        recurrences<1>(jobs, w, s);
        break;
      case 2:
        recurrences<2>(jobs, w, s);
        break;
      case 3:
        recurrences<3>(jobs, w, s);
        break;
      default:
        break;
    }
    for (int r = 0; r < count; ++r) {
      const int at = (w - 1) * s;
      jobs[r].middle[at] = smooth_vertical_121(jobs[r].up[at], jobs[r].middle[at], jobs[r].down[at]);
    }
    if (last_row >= 0) changed |= std::memcmp(before.data(), picture.row(last_row), row_bytes) != 0;
  }
  border(0, passes);
  border(h - 1, passes);
  return changed;
}

}  // namespace

void binomial_filter(Picture& picture, int passes) {
  const int runs = std::min(passes, kMaxBinomialPasses);
  std::vector<uint16_t> terms(static_cast<std::size_t>(picture.width()));
  std::vector<uint8_t> before;
  if (picture.height() < 4 || picture.width() < 3) {
    for (int pass = 0; pass < runs; ++pass) {
      bool changed = false;
      for (int channel = 0; channel < picture.bytes_per_pixel(); ++channel)
        changed |= binomial_pass(picture, channel, terms, before);
      if (!changed) break;
    }
    return;
  }
  // Groups of passes: once the last pass of a group changes nothing, so would
  // every later one (a pass is a fixed function of the picture), and an
  // earlier pass of the group that changed nothing was followed only by
  // passes that changed nothing either.
  std::vector<std::vector<uint16_t>> group_terms(kGroup, terms);
  for (int done = 0; done < runs;) {
    const int group = std::min(kGroup, runs - done);
    bool changed = false;
    for (int channel = 0; channel < picture.bytes_per_pixel(); ++channel)
      changed |= grouped_passes(picture, channel, group, group_terms, before);
    done += group;
    if (!changed) break;
  }
}
