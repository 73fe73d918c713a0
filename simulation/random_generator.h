// The process-wide pseudo-random source of the fringe image synthesis.
//
// A 64-bit linear congruential generator: each draw sets
// state = state * 0x0000015A00004E35 + 1 (mod 2^64) and returns bits 32..62 of
// the new state, a value in 0..2147483647. Seeding with 1 gives the draws
// 346, 13854878, 1621890440, ... One seed yields one image; the workbench
// seeds with the calendar time in seconds, so runs differ from second to second.
//
// The draws are defined here, inline, because the synthesis takes up to
// three of them per pixel of a megapixel image.
#pragma once

#include <cstdint>

// The generator's whole state; change it only through the functions below.
inline uint64_t random_state = 0;

// Sets the low 32 bits of the state to `seed` and the high 32 bits to 0.
void seed_random(uint32_t seed);
// The state seed_random(seed) gives, for a generator of the caller's own.
constexpr uint64_t seeded_state(uint32_t seed) { return seed; }

// Advances the state once and returns a value in 0..2147483647.
inline int32_t next_random() {
  random_state = random_state * 0x0000015A00004E35ULL + 1;  // wraps modulo 2^64
  return static_cast<int32_t>((random_state >> 32) & 0x7FFFFFFFU);
}

// The state after `count` more draws is multiplier * state + increment
// (mod 2^64): a stretch of draws can be worked out side by side.
struct RandomJump {
  uint64_t multiplier;
  uint64_t increment;
};
RandomJump random_jump(uint64_t count);

// The state of the generator `count` draws after `state`.
inline uint64_t jumped_state(uint64_t state, const RandomJump& jump) {
  return state * jump.multiplier + jump.increment;  // wraps modulo 2^64
}

// The value a draw gives when the generator reaches `state`.
inline int32_t draw_of_state(uint64_t state) { return static_cast<int32_t>((state >> 32) & 0x7FFFFFFFU); }

// One draw modulo n, or 0 without a draw when n is 0.
// For n > 0 the value lies in 0..n-1. For n < 0 it is the draw modulo |n|,
// 0..|n|-1 (the remainder of a non-negative draw keeps the draw's sign), so a
// negative bound never yields a negative value and INT32_MIN is safe.
inline int32_t random_below(int32_t n) {
  if (n == 0) return 0;
  // |n| as unsigned 32 bits: no overflow for INT32_MIN, and the same
  // remainder as the signed one since the draw is not negative.
  const uint32_t magnitude = n < 0 ? 0U - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
  return static_cast<int32_t>(static_cast<uint32_t>(next_random()) % magnitude);
}
