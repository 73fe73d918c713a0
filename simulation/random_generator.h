// The process-wide pseudo-random source of the fringe image synthesis.
//
// A 64-bit linear congruential generator: each draw sets
// state = state * 0x0000015A00004E35 + 1 (mod 2^64) and returns bits 32..62 of
// the new state, a value in 0..2147483647. Seeding with 1 gives the draws
// 346, 13854878, 1621890440, ... The workbench seeds it with the calendar
// time in seconds, so one seed yields one image.
#pragma once

#include <cstdint>

// Sets the low 32 bits of the state to `seed` and the high 32 bits to 0.
void seed_random(uint32_t seed);

// Advances the state once and returns a value in 0..2147483647.
int32_t next_random();

// One draw modulo n, or 0 without a draw when n is 0.
// For n > 0 the value lies in 0..n-1. For n < 0 it is the draw modulo |n|,
// 0..|n|-1 (the remainder of a non-negative draw keeps the draw's sign), so a
// negative bound never yields a negative value and INT32_MIN is safe.
int32_t random_below(int32_t n);
