// Grey levels of the engine (8 bits) from the samples of a camera picture,
// and the 16-bit levels of frames that keep their depth.
//
// * 16 bits to 8: round(v / 257). 257 is odd, so there is never a half to
//   round; a 16-bit sample that is 257 times an 8-bit one gives that one back.
// * Grey from colour: 0.299 R + 0.587 G + 0.114 B, rounded to the nearest
//   level, halves to even. The sum is taken exactly in integers
//   (299 R + 587 G + 114 B over 1000, or over 257000 for 16-bit samples), so
//   no binary fraction of 0.299 can tip a rounding, and a 16-bit colour picture
//   whose samples are 257 times an 8-bit one's gives the same grey levels.
// * Kept at 16 bits (frames): grey samples as they are; grey from colour by
//   the same weights over 1000, rounded halves to even.
// * Alpha (a second sample of grey, a fourth of colour) is ignored.
//
// Inline: they run once per pixel of pictures of up to 4096 x 4096.
#pragma once

#include <cstddef>
#include <cstdint>

// n / d rounded to the nearest integer, halves to even (d > 0).
constexpr uint32_t divide_rounded(uint32_t n, uint32_t d) {
  const uint32_t q = n / d;
  const uint32_t r = n % d;
  return 2 * r > d || (2 * r == d && (q & 1U) != 0) ? q + 1 : q;
}

// 0..65535 to 0..255.
constexpr uint8_t grey_from_16(uint32_t v) { return static_cast<uint8_t>((v + 128) / 257); }

// 0.299 R + 0.587 G + 0.114 B of 8-bit samples.
constexpr uint8_t grey_from_rgb8(uint32_t r, uint32_t g, uint32_t b) {
  return static_cast<uint8_t>(divide_rounded(299 * r + 587 * g + 114 * b, 1000));
}

// The same of 16-bit samples, to 8 bits in one rounding.
constexpr uint8_t grey_from_rgb16(uint32_t r, uint32_t g, uint32_t b) {
  return static_cast<uint8_t>(divide_rounded(299 * r + 587 * g + 114 * b, 257000));
}

// The same to 16 bits: 0.299 R + 0.587 G + 0.114 B of 16-bit samples
// (at most 65535 000, so the sum fits 32 bits).
constexpr uint16_t grey16_from_rgb16(uint32_t r, uint32_t g, uint32_t b) {
  return static_cast<uint16_t>(divide_rounded(299 * r + 587 * g + 114 * b, 1000));
}

// How the samples of one row are stored.
enum class SampleLayout {
  bytes,           // 8 bits
  words,           // 16 bits in the machine's order
  big_endian_words // 16 bits, high byte first (PNG)
};

// Grey levels of `count` pixels of `channels` interleaved samples each
// (1 grey, 2 grey + alpha, 3 RGB, 4 RGBA) into `grey`.
void grey_row(const uint8_t* samples, SampleLayout layout, int channels, std::size_t count,
              uint8_t* grey);

// The same, keeping 16-bit levels: grey samples as stored (8-bit ones as
// their levels 0..255), colour by grey16_from_rgb16.
void grey_row16(const uint8_t* samples, SampleLayout layout, int channels, std::size_t count,
                uint16_t* grey);
