#include <algorithm>
#include <array>
#include <cstring>

#include <immintrin.h>

#include "cpu_features.h"
#include "image_processing.h"
#include "word_lanes.h"

namespace {

// Bytes of a line copy: the widest row plus room for the last block of 32.
constexpr int32_t kLineRoom = kMaxImageSide + 64;
using Line = std::array<uint8_t, kLineRoom>;

// out[i] = (a[i] + 2 b[i] + c[i]) div 4 for i in [0, n); returns whether
// some out[i] differs from b[i] (the pixel it replaces). Reads and writes
// [0, n) alone, so out may be a row of the plane, and b the very bytes it
// replaces: each vector is read before it is written. The sum needs 10 bits.
// (By value vectors of 32 bytes and more would change the calling
// convention between widths, so they stay inside.)
using Bytes16 = uint8_t __attribute__((vector_size(16)));
using Words16 = uint16_t __attribute__((vector_size(32)));

template <typename Bytes, typename Words>
inline __attribute__((always_inline)) Bytes binomial_of(const uint8_t* a, const uint8_t* b, const uint8_t* c,
                                                        uint8_t* out) {
  Bytes va, vb, vc;
  std::memcpy(&va, a, sizeof va);
  std::memcpy(&vb, b, sizeof vb);
  std::memcpy(&vc, c, sizeof vc);
  const Words sum = __builtin_convertvector(va, Words) + (__builtin_convertvector(vb, Words) << 1) +
                    __builtin_convertvector(vc, Words);
  const Bytes result = __builtin_convertvector(sum >> 2, Bytes);
  std::memcpy(out, &result, sizeof result);
  return result ^ vb;
}

template <typename Bytes, typename Words>
inline __attribute__((always_inline)) bool binomial_line_of(const uint8_t* a, const uint8_t* b, const uint8_t* c,
                                                            uint8_t* out, int32_t n) {
  constexpr int32_t lanes = sizeof(Bytes);
  Bytes differ{};
  int32_t i = 0;
  for (; i + lanes <= n; i += lanes) differ |= binomial_of<Bytes, Words>(a + i, b + i, c + i, out + i);
  if (i < n) {  // the last bytes through a vector's room
    const auto rest = static_cast<std::size_t>(n - i);
    uint8_t ta[lanes] = {}, tb[lanes] = {}, tc[lanes] = {}, tout[lanes];
    std::memcpy(ta, a + i, rest);
    std::memcpy(tb, b + i, rest);
    std::memcpy(tc, c + i, rest);
    differ |= binomial_of<Bytes, Words>(ta, tb, tc, tout);  // 0 beyond n: no difference
    std::memcpy(out + i, tout, rest);
  }
  uint8_t bytes[lanes];
  std::memcpy(bytes, &differ, sizeof bytes);
  uint8_t any = 0;
  for (uint8_t v : bytes) any |= v;
  return any != 0;
}

using BinomialLine = bool (*)(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, int32_t);
bool binomial_line_sse2(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* out, int32_t n) {
  return binomial_line_of<Bytes16, Words16>(a, b, c, out, n);
}
__attribute__((target("avx2"))) bool binomial_line_avx2(const uint8_t* a, const uint8_t* b, const uint8_t* c,
                                                        uint8_t* out, int32_t n) {
  return binomial_line_of<Bytes16, Words16>(a, b, c, out, n);
}
// 32 pixels at a time in 16-bit lanes (the compiler would widen the bytes
// in halves); the last ones through lane masks.
AVX512_TARGET inline __attribute__((always_inline)) __mmask32 binomial_avx512(const uint8_t* a, const uint8_t* b,
                                                                              const uint8_t* c, uint8_t* out,
                                                                              __mmask32 lanes) {
  const __m256i middle_bytes = _mm256_maskz_loadu_epi8(lanes, b);
  const __m512i middle = _mm512_maskz_cvtepu8_epi16(kAllWords, middle_bytes);
  const __m512i sum = _mm512_add_epi16(
      _mm512_add_epi16(_mm512_maskz_cvtepu8_epi16(kAllWords, _mm256_maskz_loadu_epi8(lanes, a)),
                       _mm512_maskz_cvtepu8_epi16(kAllWords, _mm256_maskz_loadu_epi8(lanes, c))),
      _mm512_add_epi16(middle, middle));
  const __m256i result = _mm512_maskz_cvtepi16_epi8(kAllWords, _mm512_maskz_srli_epi16(kAllWords, sum, 2));
  _mm256_mask_storeu_epi8(out, lanes, result);
  return _mm256_mask_cmpneq_epi8_mask(lanes, result, middle_bytes);
}
AVX512_TARGET bool binomial_line_avx512(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* out,
                                        int32_t n) {
  __mmask32 differ = 0;
  int32_t i = 0;
  for (; i + 32 <= n; i += 32) differ |= binomial_avx512(a + i, b + i, c + i, out + i, kAllWords);
  if (i < n) differ |= binomial_avx512(a + i, b + i, c + i, out + i, (__mmask32{1} << (n - i)) - 1);
  return differ != 0;
}

BinomialLine widest_binomial_line() {
  switch (simd_level()) {
    case SimdLevel::avx512:
      return binomial_line_avx512;
    case SimdLevel::avx2:
      return binomial_line_avx2;
    default:
      return binomial_line_sse2;
  }
}

}  // namespace

bool smooth_binomial(GreyImage* plane, const GreyImage* from) {
  if (plane == nullptr || plane->type != 1) return false;
  if (from == plane) from = nullptr;
  if (from != nullptr && (from->type != 1 || from->width != plane->width || from->height != plane->height ||
                          from->stride != plane->stride))
    return false;
  const int32_t width = plane->width;
  const int32_t height = plane->height;
  const auto row_bytes = static_cast<std::size_t>(width);
  const BinomialLine binomial_line = widest_binomial_line();
  bool changed = false;

  // Along each row into a ring of three row copies, from the source row
  // (which in place is the plane's row, not yet replaced); columns 0 and
  // width - 1 stay as the source has them. Along each column, row y - 1 as
  // soon as row y has had its row pass (one sweep): it is built from the
  // ring's three rows straight into the plane. Rows 0 and height - 1 keep
  // their row pass alone; the rows' padding stays as the source has it.
  std::array<Line, 3> passed{};
  const auto padding = static_cast<std::size_t>(plane->stride) - row_bytes;
  for (int32_t y = 0; y < height && width > 0; ++y) {
    uint8_t* row = img_line(plane, y);
    const uint8_t* source = from != nullptr ? img_line(from, y) : row;
    uint8_t* along = passed[y % 3].data();
    if (width > 2) {
      along[0] = source[0];
      along[width - 1] = source[width - 1];
      changed |= binomial_line(source, source + 1, source + 2, along + 1, width - 2);
    } else {
      std::memcpy(along, source, row_bytes);
    }
    if (from != nullptr) std::memcpy(row + width, source + width, padding);
    if (y == 0 || y == height - 1) std::memcpy(row, along, row_bytes);
    if (y < 2) continue;
    const int32_t middle = y - 1;
    changed |= binomial_line(passed[(middle - 1) % 3].data(), passed[middle % 3].data(), along,
                             img_line(plane, middle), width);
  }
  return changed;
}
