#include "simulation/random_generator.h"

namespace {

constexpr uint64_t kMultiplier = 0x0000015A00004E35ULL;  // 1486058704437

uint64_t state = 0;

}  // namespace

void seed_random(uint32_t seed) { state = seed; }

int32_t next_random() {
  state = state * kMultiplier + 1;  // wraps modulo 2^64
  return static_cast<int32_t>((state >> 32) & 0x7FFFFFFFU);
}

int32_t random_below(int32_t n) {
  if (n == 0) return 0;
  // Both operands as 64 bits: the draw is non-negative, so the remainder is
  // in 0..|n|-1 for either sign of n, and -INT32_MIN needs no 32-bit negation.
  const int64_t draw = next_random();
  return static_cast<int32_t>(draw % static_cast<int64_t>(n));
}
