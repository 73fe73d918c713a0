// Lane masks for the last, partial vector of a row with AVX-512: the first
// `count` lanes, all of them from the vector's width on.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "cpu_features.h"

AVX512_TARGET inline __mmask8 first_of_8_lanes(int32_t count) {
  return count >= 8 ? __mmask8{0xFF} : static_cast<__mmask8>((1u << count) - 1);
}

AVX512_TARGET inline __mmask64 first_of_64_lanes(int32_t count) {
  return count >= 64 ? ~__mmask64{0} : (__mmask64{1} << count) - 1;
}
