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

// out[i] = (a[i] + 2 b[i] + c[i]) div 4 for i in [0, n), a vector of Bytes
// at a time. The sum needs 10 bits; all four buffers have room for a vector
// less one byte beyond n. (By value vectors of 32 bytes and more would change the
// calling convention between widths, so they stay inside.)
using Bytes16 = uint8_t __attribute__((vector_size(16)));
using Words16 = uint16_t __attribute__((vector_size(32)));

template <typename Bytes, typename Words>
inline __attribute__((always_inline)) void binomial_line_of(const uint8_t* a, const uint8_t* b, const uint8_t* c,
                                                            uint8_t* out, int32_t n) {
  constexpr int32_t lanes = sizeof(Bytes);
  for (int32_t i = 0; i < n; i += lanes) {
    Bytes va, vb, vc;
    std::memcpy(&va, a + i, sizeof va);
    std::memcpy(&vb, b + i, sizeof vb);
    std::memcpy(&vc, c + i, sizeof vc);
    const Words sum = __builtin_convertvector(va, Words) + (__builtin_convertvector(vb, Words) << 1) +
                      __builtin_convertvector(vc, Words);
    const Bytes result = __builtin_convertvector(sum >> 2, Bytes);
    std::memcpy(out + i, &result, sizeof result);
  }
}

using BinomialLine = void (*)(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, int32_t);
void binomial_line_sse2(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* out, int32_t n) {
  binomial_line_of<Bytes16, Words16>(a, b, c, out, n);
}
__attribute__((target("avx2"))) void binomial_line_avx2(const uint8_t* a, const uint8_t* b, const uint8_t* c,
                                                        uint8_t* out, int32_t n) {
  binomial_line_of<Bytes16, Words16>(a, b, c, out, n);
}
// 32 pixels at a time in 16-bit lanes (the compiler would widen the bytes
// in halves).
AVX512_TARGET void binomial_line_avx512(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* out,
                                        int32_t n) {
  for (int32_t i = 0; i < n; i += 32) {
    const __m512i middle = widened(b + i);
    const __m512i sum =
        _mm512_add_epi16(_mm512_add_epi16(widened(a + i), widened(c + i)), _mm512_add_epi16(middle, middle));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                        _mm512_maskz_cvtepi16_epi8(kAllWords, _mm512_maskz_srli_epi16(kAllWords, sum, 2)));
  }
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

// Writes `n` bytes of `from` over `to`; returns whether any of them differed.
bool store_line(uint8_t* to, const uint8_t* from, int32_t n) {
  if (n <= 0 || std::memcmp(to, from, static_cast<std::size_t>(n)) == 0) return false;
  std::memcpy(to, from, static_cast<std::size_t>(n));
  return true;
}

}  // namespace

bool smooth_binomial(GreyImage* plane, const GreyImage* from) {
  if (plane == nullptr || plane->type != 1) return false;
  if (from != nullptr && (from->type != 1 || from->width != plane->width || from->height != plane->height ||
                          from->stride != plane->stride))
    return false;
  const int32_t width = plane->width;
  const int32_t height = plane->height;
  const auto row_bytes = static_cast<std::size_t>(width);
  const BinomialLine binomial_line = widest_binomial_line();
  bool changed = false;
  Line copy{};
  Line result{};

  // Along each row, from a copy of the row; columns 0 and width - 1 stay.
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = img_line(plane, y);
    if (from != nullptr) std::memcpy(row, img_line(from, y), static_cast<std::size_t>(plane->stride));
    std::memcpy(copy.data(), row, row_bytes);
    binomial_line(copy.data(), copy.data() + 1, copy.data() + 2, result.data(), width - 2);
    changed |= store_line(row + 1, result.data(), width - 2);
  }

  // Along each column, done a row at a time: row y is built from copies of
  // rows y - 1, y and y + 1 as the row pass left them. Rows 0 and height - 1 stay.
  if (height < 3) return changed;
  std::array<Line, 3> lines{};
  uint8_t* lower = lines[0].data();
  uint8_t* middle = lines[1].data();
  uint8_t* upper = lines[2].data();
  std::memcpy(lower, img_line(plane, 0), row_bytes);
  std::memcpy(middle, img_line(plane, 1), row_bytes);
  for (int32_t y = 1; y + 1 < height; ++y) {
    std::memcpy(upper, img_line(plane, y + 1), row_bytes);
    binomial_line(lower, middle, upper, result.data(), width);
    changed |= store_line(img_line(plane, y), result.data(), width);
    uint8_t* const free_line = lower;  // rotate: the old row y - 1 is done with
    lower = middle;
    middle = upper;
    upper = free_line;
  }
  return changed;
}
