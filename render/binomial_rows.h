// The two steps of a binomial pass over an interior row of an 8-bit
// picture, in vectors (Highway, chosen at run time); binomial_filter.cpp
// holds their plain definitions, which take every other picture.
#pragma once

#include <cstdint>

// Of an interior row's 3 x 3 sum at pixel k, everything but the pixel to its
// left: t[k] = up[k-1] + 2 up[k] + up[k+1] + 4 mid[k] + 2 mid[k+1]
// + down[k-1] + 2 down[k] + down[k+1], from k = 1 on in whole vectors (at
// most 14 * 255 = 3570, which fits 16 bits). Returns the first k left over.
int known_terms_8bit(const uint8_t* up, const uint8_t* mid, const uint8_t* down, int w, uint16_t* t);

// The chain l[k] = (t[k] + 2 l[k-1]) >> 4 of the interior pixels
// k = 1 .. w - 2 of one row, written to middle[k], started from `left` (the
// row's new first pixel).
void chain_8bit(const uint16_t* t, uint8_t* middle, int w, unsigned left);

// Pixels k .. end - 1 of the chain one at a time from `left`; returns the
// last value. The plain definition of chain_8bit.
inline unsigned chain_one_by_one(const uint16_t* t, uint8_t* middle, int k, int end, unsigned left) {
  for (; k < end; ++k) {
    left = (t[k] + 2 * left) >> 4;
    middle[k] = static_cast<uint8_t>(left);
  }
  return left;
}
