#include <emmintrin.h>

#include <cstring>

#include "image_processing.h"

namespace {

// The value of one pixel: order * 256 + signed phase byte. Orders 1..254 give
// 128..65151, never 0: 0 means no phase (order 0 excluded, 255 not reached).
inline uint16_t combined(uint8_t order, uint8_t phase) {
  return order == 0 || order == 255 ? 0 : static_cast<uint16_t>(order * 256 + static_cast<int8_t>(phase));
}

}  // namespace

void combine_phase(GreyImage* out, const GreyImage* mask, const GreyImage* phase) {
  if (out == nullptr || mask == nullptr || phase == nullptr) return;
  if (out->type != 2 || mask->type != 1 || phase->type != 1) return;
  if (out->width != mask->width || out->height != mask->height ||
      phase->width != mask->width || phase->height != mask->height)
    return;
  const int32_t width = out->width;
  const __m128i zero = _mm_setzero_si128();
  const __m128i all_ones = _mm_set1_epi8(-1);
  for (int32_t y = 0; y < out->height; ++y) {
    const uint8_t* orders = img_line(mask, y);
    const uint8_t* phases = img_line(phase, y);
    uint8_t* target = img_line(out, y);
    int32_t x = 0;
    // Sixteen pixels at a time in 16-bit lanes: the order byte as the high
    // byte plus the sign-extended phase byte, modulo 2^16 (exact: the value
    // fits), cleared where the order is 0 or 255.
    for (; x + 16 <= width; x += 16) {
      const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(orders + x));
      const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(phases + x));
      const __m128i sign = _mm_cmpgt_epi8(zero, p);
      const __m128i none = _mm_or_si128(_mm_cmpeq_epi8(m, zero), _mm_cmpeq_epi8(m, all_ones));
      const __m128i low = _mm_add_epi16(_mm_unpacklo_epi8(zero, m), _mm_unpacklo_epi8(p, sign));
      const __m128i high = _mm_add_epi16(_mm_unpackhi_epi8(zero, m), _mm_unpackhi_epi8(p, sign));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(target + 2 * x),
                       _mm_andnot_si128(_mm_unpacklo_epi8(none, none), low));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(target + 2 * x + 16),
                       _mm_andnot_si128(_mm_unpackhi_epi8(none, none), high));
    }
    for (; x < width; ++x) {
      const uint16_t value = combined(orders[x], phases[x]);
      std::memcpy(target + 2 * x, &value, sizeof value);
    }
  }
}
