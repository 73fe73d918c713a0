// Pixel bytes in 16-bit lanes with AVX-512: the scan's and the display's
// smoothing sum neighbouring pixels 32 at a time.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "cpu_features.h"

// Every lane of a 32-lane operation.
constexpr __mmask32 kAllWords = ~__mmask32{0};

// The 32 bytes from p, widened to 16 bits.
AVX512_TARGET inline __m512i widened(const uint8_t* p) {
  return _mm512_maskz_cvtepu8_epi16(kAllWords, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}
